// The summary table of many tests, and its CSV and workbook files.
#include "batch/SummaryTable.h"

#if TOV_HAS_XLSXWRITER
#include <xlsxwriter.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <charconv>
#include <cstdio>
#include <map>
#include <system_error>

#include "files/Platform.h"
#include "files/TextCodec.h"
#include "files/TextFile.h"
#include "batch/WorkbookNumbers.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"

namespace tov {

namespace {

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

TableCell textCell(std::string text) { return {std::move(text), TableCell::Kind::Text, 0}; }

// A field that holds a plain number becomes a number cell; any other text
// stays text (a depth written "GL-5m" is kept as written).
TableCell numberOrText(const std::string& field) {
  std::string text = trimmed(field);
  if (const auto value = parseWholeNumber(text)) return {std::move(text), TableCell::Kind::Number, *value};
  return textCell(std::move(text));
}

TableCell exponentOrText(const std::string& field) {
  TableCell cell = numberOrText(field);
  if (cell.kind == TableCell::Kind::Number) cell.kind = TableCell::Kind::Exponent;
  return cell;
}

std::string dateText(const TestRecord& r) {
  const std::string y = trimmed(r.testDateYear()), m = trimmed(r.testDateMonth()), d = trimmed(r.testDateDay());
  if (y.empty() && m.empty() && d.empty()) return {};
  return y + "/" + m + "/" + d;
}

bool needsQuotes(const std::string& text) { return text.find_first_of(",\"\r\n") != std::string::npos; }

// A text a spreadsheet would run as a formula ("=HYPERLINK(…)", "@SUM(…)",
// "+1+1", "-2+3") or start on a new cell: written behind an apostrophe so it
// shows as the text it is. A plain number stays a number.
std::string csvTextField(const std::string& text) {
  if (text.empty() || std::string_view("=+-@\t\r").find(text.front()) == std::string_view::npos) return text;
  double ignored = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), ignored);
  if (error == std::errc() && end == text.data() + text.size()) return text;
  return "'" + text;
}

std::string csvField(const std::string& text) {
  if (!needsQuotes(text)) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

#if TOV_HAS_XLSXWRITER
// Columns as wide as their longest text, a wide character counting two.
double displayWidth(std::string_view utf8) {
  double width = 0;
  for (unsigned char c : utf8) {
    if (c < 0x80) width += 1;
    else if (c >= 0xC0) width += 2;  // the lead byte of a wider character
  }
  return width;
}

// The exponent format with as many decimals as the text shows ("1.50E-5" 2).
std::string exponentFormat(const std::string& text) {
  const auto dot = text.find('.');
  const auto e = text.find_first_of("eE");
  std::size_t decimals = 2;
  if (dot != std::string::npos && e != std::string::npos && e > dot) decimals = e - dot - 1;
  decimals = std::min<std::size_t>(decimals, 8);
  return decimals == 0 ? "0E+00" : "0." + std::string(decimals, '0') + "E+00";
}

// The most characters (UTF-16 units, as the spreadsheet counts them) a
// cell may hold.
constexpr std::size_t kMostCellCharacters = 32767;

// "M3": a cell's name by its 0-based row and column.
std::string cellName(std::size_t row, std::size_t column) {
  std::string letters;
  for (std::size_t c = column + 1; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters + std::to_string(row + 1);
}

// The length in UTF-8 bytes of the longest start of the (valid UTF-8) text
// that is at most `units` UTF-16 units, never splitting a character; the
// text's own count of units goes to *total.
std::size_t prefixOfUnits(std::string_view utf8, std::size_t units, std::size_t* total) {
  std::size_t counted = 0, cut = utf8.size();
  for (std::size_t at = 0; at < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    const std::size_t width = length == 4 ? 2 : 1;  // a surrogate pair
    if (counted + width > units && cut == utf8.size()) cut = at;
    counted += width;
    at += length;
  }
  *total = counted;
  return cut;
}
#endif

} // namespace

const char* formulaDisplayName(int kind) {
  switch (kind) {
    case 0: return "非定常法 近似式 (低透水層なし)";
    case 1: return "非定常法 基本式 (低透水層なし)";
    case 2: return "非定常法 近似式 (低透水層あり)";
    case 3: return "非定常法 基本式 (低透水層あり)";
    case 4: return "定常法";
    default: return "不明";
  }
}

namespace {

// The text as a whole number, "nan", "inf" and "infinity" included.
std::optional<double> anyWholeNumber(std::string_view text) {
  const std::string t = trimmed(text);
  if (t.empty()) return std::nullopt;
  const char* first = t.data();
  if (*first == '+') ++first;
  double value = 0;
  const auto [end, ec] = std::from_chars(first, t.data() + t.size(), value, std::chars_format::general);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return value;
}

} // namespace

std::optional<double> parseWholeNumber(std::string_view text) {
  // "nan", "inf" and "infinity" (another program's field) are no number a
  // table can hold: they stay text.
  const auto value = anyWholeNumber(text);
  if (!value || !std::isfinite(*value)) return std::nullopt;
  return value;
}

std::vector<std::string> summaryHeader() {
  return {"ファイル", "調査名", "調査場所", "No.", "試験年月日", "試験深度 から (m)", "試験深度 まで (m)",
          "試験区間長さ L (m)", "孔径 D (m)", "試験方法", "計算式", "勾配 a (1/s)", "k 記録 (m/s)",
          "k 再計算 (m/s)", "R² (解析区間)", "推奨区間 (行)", "推奨区間の k (m/s)", "k 95 % 下限 (m/s)", "k 95 % 上限 (m/s)", "検討事項",
          "標準曲線 CBP k (m/s)", "CBP k 95 % 下限 (m/s)", "CBP k 95 % 上限 (m/s)", "CBP Ss (1/m)", "CBP 残差 (mm)",
          "標準曲線 KGS k (m/s)", "KGS k 95 % 下限 (m/s)", "KGS k 95 % 上限 (m/s)", "KGS Ss (1/m)", "KGS 残差 (mm)"};
}

namespace {

// A type curve's five cells: k, the bounds of its interval as the summary
// prints them, Ss (a text where it lies at an end of the range searched)
// and the residual in mm; a curve not found says why in its k cell.
void pushTypeCurve(std::vector<TableCell>& row, const TypeCurveFit* fit, int digits) {
  const std::size_t start = row.size();
  if (fit && !fit->found) {
    row.push_back(textCell("なし (" + fit->reason + ")"));
  } else if (fit) {
    KInterval interval;
    interval.k = fit->k, interval.low = fit->kLow, interval.high = fit->kHigh;
    const auto [low, high] = intervalBounds(interval, digits);
    for (const std::string& text : {formatPermeability(fit->k, digits), low, high})
      row.push_back(toDouble(text) > 0 ? TableCell{text, TableCell::Kind::Exponent, toDouble(text)} : textCell(""));
    const std::string storage = formatPermeability(fit->storage, 1);
    row.push_back(fit->storageAtEnd ? textCell(storage + " (範囲の端)")
                                    : TableCell{storage, TableCell::Kind::Exponent, toDouble(storage)});
    const std::string residual = cformat("%.1f", fit->rms * 1000.0);
    row.push_back({residual, TableCell::Kind::Number, toDouble(residual)});
  }
  while (row.size() < start + 5) row.push_back(textCell(""));
}

} // namespace

std::vector<TableCell> summaryRow(const TestRecord& record, const std::string& fileName, int digits,
                                  const AnalysisSettings& analysis) {
  const int stored = record.fieldInt(F_formulaKind);
  const int kind = stored > 4 || stored < 0 ? 0 : stored;
  std::vector<TableCell> row;
  // A name whose bytes are not UTF-8 (CP932 from a Japanese Windows' zip)
  // is shown as messages show it, its bytes as "\x82".
  row.push_back(textCell(escapedControls(fileName, false)));
  row.push_back(textCell(trimmed(record.surveyName())));
  row.push_back(textCell(trimmed(record.field(F_surveyLocation))));
  row.push_back(textCell(trimmed(record.field(F_testIdNumber))));
  row.push_back(textCell(dateText(record)));
  row.push_back(numberOrText(record.depthFrom()));
  row.push_back(numberOrText(record.depthTo()));
  row.push_back(numberOrText(record.sectionLength()));
  row.push_back(numberOrText(record.boreDiameter()));
  row.push_back(textCell(trimmed(record.testMethod())));
  row.push_back(textCell(cformat("%d %s", kind, formulaDisplayName(kind))));
  // The steady method has no gradient (the field holds log(2L/D) there).
  row.push_back(kind == Steady ? textCell("") : numberOrText(record.gradientText()));
  row.push_back(exponentOrText(record.permeabilityText()));
  const auto k = permeabilityFromHeadings(record);
  row.push_back(k ? exponentOrText(formatPermeability(*k, digits)) : textCell(""));

  const AnalysisReport report = analyseRecord(record, analysis, digits);
  if (report.segment && report.segment->usable)
    row.push_back(numberOrText(r2Text(report.segment->r2)));
  else
    row.push_back(textCell(""));
  const Suggestion& suggestion = report.suggestion;
  if (suggestion.found && suggestion.k) {
    row.push_back(textCell(cformat("%d〜%d", suggestion.fit.first, suggestion.fit.last)));
    // k with the k digits, the bounds rounded outward as the summary prints them.
    const auto [low, high] = intervalBounds(*suggestion.k, digits);
    for (const std::string& text : {formatPermeability(suggestion.k->k, digits), low, high}) {
      if (!(toDouble(text) > 0)) {
        row.push_back(textCell(""));
        continue;
      }
      row.push_back({text, TableCell::Kind::Exponent, toDouble(text)});
    }
  } else {
    row.push_back(textCell(suggestion.found ? cformat("%d〜%d", suggestion.fit.first, suggestion.fit.last) : ""));
    for (int i = 0; i < 3; ++i) row.push_back(textCell(""));
  }
  std::string warnings;
  for (const Check& check : report.checks) warnings += (warnings.empty() ? "" : "; ") + check.text;
  row.push_back(textCell(warnings));
  for (const TypeCurveModel model : {TypeCurveModel::Cbp, TypeCurveModel::Kgs}) {
    const auto fit = std::find_if(report.typeCurves.begin(), report.typeCurves.end(),
                                  [model](const TypeCurveFit& f) { return f.model == model; });
    pushTypeCurve(row, fit == report.typeCurves.end() ? nullptr : &*fit, digits);
  }
  return row;
}

std::string csvText(const SummaryTable& table) {
  std::string out;
  auto line = [&out](const auto& cells, auto textOf) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      if (i) out += ',';
      out += csvField(textOf(cells[i]));
    }
    out += "\r\n";
  };
  line(table.header, [](const std::string& s) { return csvTextField(s); });
  for (const auto& row : table.rows)
    line(row, [](const TableCell& c) { return c.kind == TableCell::Kind::Text ? csvTextField(c.text) : c.text; });
  return out;
}

std::optional<TableFormat> tableFormatOf(const std::filesystem::path& path) {
  std::string ext = utf8Path(path.extension());
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (ext == ".csv") return TableFormat::Csv;
  if (ext == ".xlsx") return TableFormat::Xlsx;
  return std::nullopt;
}

std::string writeCsv(const std::filesystem::path& path, const SummaryTable& table, CsvEncoding encoding) {
  std::string text = csvText(table);
  std::string bytes;
  if (encoding == CsvEncoding::Cp932) {
    // CP932 has no superscript two: R² is written R2 (as the help spells it).
    for (std::size_t at = text.find("²"); at != std::string::npos; at = text.find("²", at))
      text.replace(at, std::string("²").size(), "2");
    std::string offending;
    const auto encoded = utf8ToCp932(text, &offending);
    if (!encoded) return "Shift_JIS (CP932) で表せない文字があります: " + offending;
    bytes = *encoded;
  } else {
    bytes = "\xEF\xBB\xBF" + text;
  }
  const WriteResult result = writeFileBytes(path, bytes);
  return result.ok() ? std::string() : (result.detail.empty() ? std::string("書き込めません") : result.detail);
}

#if !TOV_HAS_XLSXWRITER
// A build without libxlsxwriter writes no workbooks and says so; the CSV
// file holds the same table.
std::string writeXlsx(const std::filesystem::path&, const SummaryTable&, std::vector<std::string>*) {
  return "この版は .xlsx を書けません. CSV で保存してください.";
}
#else
std::string writeXlsx(const std::filesystem::path& path, const SummaryTable& table, std::vector<std::string>* notes) {
  // The library writes only to a named file: a scratch file of ours, read
  // back and written to the target through the checked writer like every
  // other output (a FIFO, a device or a read-only file is refused, a link
  // is followed, the mode kept). It lies in a folder of its own that this
  // run made, of a name nobody can guess, that only the user may enter: the
  // library opens it without O_EXCL, and nobody can plant a link there.
  std::error_code ec;
  std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
  if (ec) temp = ".";
  std::optional<std::filesystem::path> folder;
  int folderErrno = 0;
  {
    WriterSection section;  // made and told at once: an interrupt removes it
    folder = makePrivateFolder(temp, "tov-");
    folderErrno = errno;
    if (folder) announceTemporary(*folder);
  }
  if (!folder) return "一覧表を作れませんでした (" + utf8Path(temp) + ": " + failureReason(folderErrno) + ")";
  const std::filesystem::path scratch = *folder / "book.xlsx";
  // The library opens its files by narrow names only (on Windows in the
  // ANSI code page); its own scratch files go into the same folder.
  const std::string tempName = narrowPath(scratch);
  const std::string fileName = "book.xlsx";
  std::string tempFolder =
      tempName.size() > fileName.size() ? tempName.substr(0, tempName.size() - fileName.size() - 1) : "";
  announceTemporary(scratch);
  auto dropScratch = [&] {
    removeFile(scratch);
    withdrawTemporary(scratch);
    removeEmptyFolder(*folder);
    withdrawTemporary(*folder);
  };
  // The library writes the numbers and column widths with printf.
  ClassicNumbers classicNumbers;
  lxw_workbook* book = nullptr;
  if (!tempName.empty()) {
    WriterSection section;
    lxw_workbook_options options{};
    options.tmpdir = tempFolder.data();
    book = workbook_new_opt(tempName.c_str(), &options);
  }
  if (!book) {
    dropScratch();
    return "一覧表を作れませんでした";
  }
  lxw_doc_properties properties{};
  properties.title = const_cast<char*>("透水試験 一覧");
  properties.created = 1;  // a fixed date: the same table gives the same file
  workbook_set_properties(book, &properties);
  lxw_worksheet* sheet = workbook_add_worksheet(book, "一覧");
  lxw_format* bold = workbook_add_format(book);
  format_set_bold(bold);
  std::map<std::string, lxw_format*> exponentFormats;
  ExactNumbers exact;  // each number cell's value, for the post-processing
  std::vector<double> widths(table.header.size(), 4.0);
  auto widen = [&widths](std::size_t column, const std::string& text) {
    if (column >= widths.size()) widths.resize(column + 1, 4.0);
    widths[column] = std::max(widths[column], std::min(displayWidth(text) + 2.0, 60.0));
  };
  const std::string shownFile = shownPath(path);
  auto note = [&](int id, std::initializer_list<std::string_view> args) {
    if (notes) notes->push_back(messageText(id, args));
  };
  // Every cell the spreadsheet can open: text that is UTF-8 and within its
  // limit (cut, with a note), numbers that are finite (else their text).
  std::string failed;
  auto writeText = [&](std::size_t r, std::size_t c, std::string text, lxw_format* format) {
    if (!isValidUtf8(text)) {
      text = escapedControls(text);
      note(IDS_CELL_NOT_UTF8, {shownFile, cellName(r, c)});
    }
    std::size_t units = 0;
    const std::size_t cut = prefixOfUnits(text, kMostCellCharacters, &units);
    if (cut < text.size()) {
      text.resize(cut);
      note(IDS_CELL_TOO_LONG, {shownFile, cellName(r, c), std::to_string(units)});
    }
    const lxw_error written =
        worksheet_write_string(sheet, static_cast<lxw_row_t>(r), static_cast<lxw_col_t>(c), text.c_str(), format);
    if (written != LXW_NO_ERROR && failed.empty()) failed = cellName(r, c) + ": " + lxw_strerror(written);
  };
  for (std::size_t c = 0; c < table.header.size(); ++c) {
    writeText(0, c, table.header[c], bold);
    widen(c, table.header[c]);
  }
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const auto row = static_cast<lxw_row_t>(r + 1);
    for (std::size_t c = 0; c < table.rows[r].size(); ++c) {
      const TableCell& cell = table.rows[r][c];
      const auto column = static_cast<lxw_col_t>(c);
      widen(c, cell.text);
      if (cell.kind == TableCell::Kind::Text || !std::isfinite(cell.value)) {
        // A number that is not finite, also a field that holds one (kept as
        // text by the row), is said: the sheet holds its text instead.
        const auto number = cell.kind == TableCell::Kind::Text ? anyWholeNumber(cell.text) : std::nullopt;
        if (cell.kind != TableCell::Kind::Text || (number && !std::isfinite(*number)))
          note(IDS_CELL_NOT_FINITE, {shownFile, cellName(r + 1, c), escapedControls(cell.text, false)});
        if (!cell.text.empty()) writeText(r + 1, c, cell.text, nullptr);
        continue;
      }
      lxw_format* format = nullptr;
      if (cell.kind == TableCell::Kind::Exponent) {
        const std::string code = exponentFormat(cell.text);
        auto& f = exponentFormats[code];
        if (!f) {
          f = workbook_add_format(book);
          format_set_num_format(f, code.c_str());
        }
        format = f;
      }
      worksheet_write_number(sheet, row, column, cell.value, format);
      exact[cellName(r + 1, c)] = cell.value;
    }
  }
  for (std::size_t c = 0; c < widths.size(); ++c)
    worksheet_set_column(sheet, static_cast<lxw_col_t>(c), static_cast<lxw_col_t>(c), widths[c], nullptr);
  worksheet_freeze_panes(sheet, 1, 0);
  lxw_error error = LXW_NO_ERROR;
  int closeErrno = 0;
  {
    WriterSection section;  // the scratch file appears here
    errno = 0;
    error = workbook_close(book);
    closeErrno = errno;
  }
  auto bytes = error == LXW_NO_ERROR && failed.empty() ? readFileBytes(scratch) : std::nullopt;
  dropScratch();
  if (!failed.empty()) return "一覧表を作れませんでした (" + failed + ")";
  if (bytes && !bytes->empty()) {
    if (auto shortest = withShortestNumbers(*bytes, exact)) bytes = std::move(shortest);
  }
  if (!bytes || bytes->empty())
    return "一覧表を作れませんでした (" + utf8Path(temp) + ": " + failureReason(closeErrno ? closeErrno : EIO) + ")";
  OutputBatch batch;
  if (!batch.add(path, *bytes) || !batch.commit()) return batch.reason();
  return {};
}
#endif

} // namespace tov
