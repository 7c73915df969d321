// The summary table of many tests, and its CSV and workbook files.
#include "batch/SummaryTable.h"

#if TOV_HAS_XLSXWRITER
#include <xlsxwriter.h>
#include <zlib.h>
#endif

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <charconv>
#include <cstdio>
#include <map>
#include <system_error>

#include "files/Platform.h"
#include "files/TextCodec.h"
#include "files/TextFile.h"
#include "record/CFormat.h"
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

// A name beside the target that no other writer uses.
std::string temporaryFolderText(const std::filesystem::path& scratch) { return utf8Path(scratch.parent_path()); }
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

std::optional<double> parseWholeNumber(std::string_view text) {
  const std::string t = trimmed(text);
  if (t.empty()) return std::nullopt;
  const char* first = t.data();
  if (*first == '+') ++first;
  double value = 0;
  const auto [end, ec] = std::from_chars(first, t.data() + t.size(), value, std::chars_format::general);
  if (ec != std::errc() || end != t.data() + t.size()) return std::nullopt;
  return value;
}

std::vector<std::string> summaryHeader() {
  return {"ファイル", "調査名", "調査場所", "No.", "試験年月日", "試験深度 から (m)", "試験深度 まで (m)",
          "試験区間長さ L (m)", "孔径 D (m)", "試験方法", "計算式", "勾配 a (1/s)", "k 記録 (m/s)",
          "k 再計算 (m/s)", "R² (解析区間)", "推奨区間 (行)", "推奨区間の k (m/s)", "k 95 % 下限 (m/s)", "k 95 % 上限 (m/s)", "検討事項"};
}

std::vector<TableCell> summaryRow(const TestRecord& record, const std::string& fileName, int digits,
                                  const AnalysisSettings& analysis) {
  const int stored = record.fieldInt(F_formulaKind);
  const int kind = stored > 4 || stored < 0 ? 0 : stored;
  std::vector<TableCell> row;
  row.push_back(textCell(fileName));
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

  const AnalysisReport report = analyseRecord(record, analysis);
  if (report.segment && report.segment->usable)
    row.push_back(numberOrText(r2Text(report.segment->r2)));
  else
    row.push_back(textCell(""));
  const Suggestion& suggestion = report.suggestion;
  if (suggestion.found && suggestion.k) {
    row.push_back(textCell(cformat("%d〜%d", suggestion.fit.first, suggestion.fit.last)));
    for (const double k : {suggestion.k->k, suggestion.k->low, suggestion.k->high}) {
      if (!(k > 0)) {
        row.push_back(textCell(""));
        continue;
      }
      const std::string text = formatPermeability(k, 2);
      row.push_back({text, TableCell::Kind::Exponent, toDouble(text)});
    }
  } else {
    row.push_back(textCell(suggestion.found ? cformat("%d〜%d", suggestion.fit.first, suggestion.fit.last) : ""));
    for (int i = 0; i < 3; ++i) row.push_back(textCell(""));
  }
  std::string warnings;
  for (const Check& check : report.checks) warnings += (warnings.empty() ? "" : "; ") + check.text;
  row.push_back(textCell(warnings));
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
std::string writeXlsx(const std::filesystem::path&, const SummaryTable&) {
  return "この版は .xlsx を書けません。CSV で保存してください";
}
#else
namespace {

// The library stores a number with 16 significant digits, so 0.086 would be
// kept as 0.08599999999999999. The workbook's sheets are rewritten with each
// number in its shortest exact form and the zip put together again (the
// library writes neither ZIP64 records nor data descriptors; an archive with
// them is left as it is).
std::uint32_t le(const std::string& z, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(z[at + static_cast<std::size_t>(i)]);
  return v;
}
void putLe(std::string& z, std::size_t at, std::uint32_t v, int size) {
  for (int i = 0; i < size; ++i) z[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string shortestNumbers(const std::string& xml) {
  std::string out;
  std::size_t pos = 0;
  while (true) {
    const auto cell = xml.find("<c ", pos);
    const auto tagEnd = cell == std::string::npos ? cell : xml.find('>', cell);
    if (tagEnd == std::string::npos) break;
    const bool typed = xml.compare(tagEnd - 1, 1, "/") == 0 ||
                       xml.substr(cell, tagEnd - cell).find(" t=\"") != std::string::npos;
    const auto end = xml.find("</v>", tagEnd);
    if (typed || xml.compare(tagEnd + 1, 3, "<v>") != 0 || end == std::string::npos) {
      out.append(xml, pos, tagEnd + 1 - pos);
      pos = tagEnd + 1;
      continue;
    }
    const char* first = xml.data() + tagEnd + 4;
    double value = 0;
    char text[32];
    const auto parsed = std::from_chars(first, xml.data() + end, value);
    const auto written = std::to_chars(text, text + sizeof text, value);
    out.append(xml, pos, tagEnd + 4 - pos);
    if (parsed.ec == std::errc() && parsed.ptr == xml.data() + end && written.ec == std::errc())
      out.append(text, written.ptr);
    else
      out.append(first, xml.data() + end);
    pos = end;
  }
  out.append(xml, pos);
  return out;
}

// zlib's raw deflate streams, as a zip holds them.
std::optional<std::string> inflated(const std::string& data, std::size_t size) {
  std::string out(size, '\0');
  z_stream s{};
  if (inflateInit2(&s, -MAX_WBITS) != Z_OK) return std::nullopt;
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&s, Z_FINISH);
  inflateEnd(&s);
  if (rc != Z_STREAM_END || s.total_out != size) return std::nullopt;
  return out;
}
std::optional<std::string> deflated(const std::string& data) {
  z_stream s{};
  if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return std::nullopt;
  std::string out(deflateBound(&s, static_cast<uLong>(data.size())), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&s, Z_FINISH);
  deflateEnd(&s);
  if (rc != Z_STREAM_END) return std::nullopt;
  out.resize(s.total_out);
  return out;
}

// The archive again with every sheet's numbers in shortest form; nothing
// when it holds what this does not handle.
std::optional<std::string> withShortestNumbers(const std::string& zip) {
  const auto eocd = zip.rfind(std::string("PK\5\6", 4));
  if (eocd == std::string::npos || eocd + 22 > zip.size()) return std::nullopt;
  const std::size_t count = le(zip, eocd + 10, 2);
  std::size_t entry = le(zip, eocd + 16, 4);
  std::string files, directory;
  for (std::size_t i = 0; i < count; ++i) {
    if (entry + 46 > zip.size() || le(zip, entry, 4) != 0x02014b50) return std::nullopt;
    const std::size_t nameSize = le(zip, entry + 28, 2);
    const std::size_t entrySize = 46 + nameSize + le(zip, entry + 30, 2) + le(zip, entry + 32, 2);
    const std::size_t local = le(zip, entry + 42, 4);
    std::size_t packed = le(zip, entry + 20, 4), size = le(zip, entry + 24, 4);
    if (entry + entrySize > zip.size() || local + 30 > zip.size() || le(zip, local, 4) != 0x04034b50 ||
        (le(zip, local + 6, 2) & 8) || packed == 0xFFFFFFFF || size == 0xFFFFFFFF)
      return std::nullopt;
    const std::size_t header = 30 + le(zip, local + 26, 2) + le(zip, local + 28, 2);
    if (local + header + packed > zip.size()) return std::nullopt;
    std::string localHeader = zip.substr(local, header), data = zip.substr(local + header, packed);
    std::string central = zip.substr(entry, entrySize);
    const std::string name = zip.substr(entry + 46, nameSize);
    if (name.starts_with("xl/worksheets/sheet") && name.ends_with(".xml")) {
      const auto method = le(zip, entry + 10, 2);  // 8 deflated, 0 stored
      if (method != 8 && method != 0) return std::nullopt;
      std::optional<std::string> xml = method == 8 ? inflated(data, size) : std::optional(data);
      if (!xml) return std::nullopt;
      *xml = shortestNumbers(*xml);
      const auto packedXml = method == 8 ? deflated(*xml) : xml;
      if (!packedXml) return std::nullopt;
      data = *packedXml;
      const auto crc = crc32(0, reinterpret_cast<const Bytef*>(xml->data()), static_cast<uInt>(xml->size()));
      for (auto [part, at] : {std::pair{&localHeader, 14}, std::pair{&central, 16}}) {
        putLe(*part, static_cast<std::size_t>(at), static_cast<std::uint32_t>(crc), 4);
        putLe(*part, static_cast<std::size_t>(at) + 4, static_cast<std::uint32_t>(data.size()), 4);
        putLe(*part, static_cast<std::size_t>(at) + 8, static_cast<std::uint32_t>(xml->size()), 4);
      }
    }
    putLe(central, 42, static_cast<std::uint32_t>(files.size()), 4);
    files += localHeader + data;
    directory += central;
    entry += entrySize;
  }
  std::string end = zip.substr(eocd);
  putLe(end, 12, static_cast<std::uint32_t>(directory.size()), 4);
  putLe(end, 16, static_cast<std::uint32_t>(files.size()), 4);
  return files + directory + end;
}

} // namespace

std::string writeXlsx(const std::filesystem::path& path, const SummaryTable& table) {
  // The library writes only to a named file: a scratch file of ours in the
  // system's temporary folder, read back and written to the target through
  // the checked writer like every other output (a FIFO, a device or a
  // read-only file is refused, a link is followed, the mode kept).
  static std::atomic<unsigned> counter{0};
  std::error_code ec;
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path(ec) /
      cformat("tov-%ld-%u.xlsx", currentProcessId(), counter.fetch_add(1));
  // The library opens its files by narrow names only (on Windows in the
  // ANSI code page); its own scratch files go into the same folder.
  const std::string tempName = narrowPath(scratch);
  const std::string fileName = scratch.filename().string();
  std::string tempFolder =
      tempName.size() > fileName.size() ? tempName.substr(0, tempName.size() - fileName.size() - 1) : "";
  announceTemporary(scratch);
  auto dropScratch = [&] {
    removeFile(scratch);
    withdrawTemporary(scratch);
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
  std::vector<double> widths(table.header.size(), 4.0);
  auto widen = [&widths](std::size_t column, const std::string& text) {
    if (column >= widths.size()) widths.resize(column + 1, 4.0);
    widths[column] = std::max(widths[column], std::min(displayWidth(text) + 2.0, 60.0));
  };
  for (std::size_t c = 0; c < table.header.size(); ++c) {
    worksheet_write_string(sheet, 0, static_cast<lxw_col_t>(c), table.header[c].c_str(), bold);
    widen(c, table.header[c]);
  }
  for (std::size_t r = 0; r < table.rows.size(); ++r) {
    const auto row = static_cast<lxw_row_t>(r + 1);
    for (std::size_t c = 0; c < table.rows[r].size(); ++c) {
      const TableCell& cell = table.rows[r][c];
      const auto column = static_cast<lxw_col_t>(c);
      widen(c, cell.text);
      if (cell.kind == TableCell::Kind::Text) {
        if (!cell.text.empty()) worksheet_write_string(sheet, row, column, cell.text.c_str(), nullptr);
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
  auto bytes = error == LXW_NO_ERROR ? readFileBytes(scratch) : std::nullopt;
  dropScratch();
  if (bytes && !bytes->empty()) {
    if (auto shortest = withShortestNumbers(*bytes)) bytes = std::move(shortest);
  }
  if (!bytes || bytes->empty())
    return "一覧表を作れませんでした (" + temporaryFolderText(scratch) + ": " +
           failureReason(closeErrno ? closeErrno : EIO) + ")";
  OutputBatch batch;
  if (!batch.add(path, *bytes) || !batch.commit()) return batch.reason();
  return {};
}
#endif

} // namespace tov
