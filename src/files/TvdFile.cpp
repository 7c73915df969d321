#include "files/TvdFile.h"


#include "files/Platform.h"
#include "files/TextCodec.h"
#include "files/TextFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

namespace {

constexpr int kMaxCsvLine = 2600;  // CP932 bytes of a reading-row line the reader takes
constexpr int kMaxTagLine = 179;   // bytes of the first line that the tag check reads

bool needsQuotes(std::string_view cell) { return cell.find(',') != std::string_view::npos; }

// c1,c2,c3,c4,c5,c6 without the line end; a cell holding a comma is quoted
// (the reader drops the quotes and keeps the comma).
std::string rowLine(const TestRecord& record, int row) {
  std::string line;
  for (int column = 1; column <= kColumnCount; ++column) {
    if (column > 1) line += ',';
    const std::string& cell = record.cell(row, column);
    if (needsQuotes(cell)) {
      line += '"';
      line += cell;
      line += '"';
    } else {
      line += cell;
    }
  }
  return line;
}

bool hasLineBreakOrQuote(std::string_view text) {
  return text.find_first_of("\r\n\"") != std::string_view::npos;
}

void scaleField(TestRecord& record, int number, const char* format) {
  if (!record.fieldIsNumber(number)) return;
  record.setField(number, cformat(format, record.fieldValue(number) * 0.01));
}

// The reading shared by the Open command and the framework's open path: the
// record is replaced only when the file was read.
namespace {

// A file that is there but may not be read is not "not found".
void reportNotRead(const std::filesystem::path& path) {
  const auto facts = fileFacts(path);
  if (facts && facts->regular && !mayRead(path))
    reportMessage(IDS_CANNOT_READ, shownPath(path));
  else
    reportMessage(IDS_FILE_NOT_FOUND, shownPath(path));
}

} // namespace

LoadStatus readTestFile(const std::filesystem::path& path, TestRecord& record) {
  // The tag is checked on the first line alone, so that a large file of
  // another kind is refused without being read. What is not a regular file
  // (a folder, a FIFO, a device) is not found.
  const auto head = readFileHead(path, kMaxTagLine);
  if (!head) {
    reportNotRead(path);
    return LoadStatus::NotFound;
  }
  std::string_view first(*head);
  first = first.substr(0, first.find('\n'));
  if (first.ends_with('\r')) first.remove_suffix(1);
  if (!isAcceptedVersion(versionOf(cp932ToUtf8(first)))) {
    reportMessage(IDS_NOT_TOV_DATA);
    return LoadStatus::NotTovData;
  }

  // No more than a test can take is read; one byte more tells whether the
  // file goes on beyond it.
  const auto bytes = readFileHead(path, kMaxTestFileBytes + 1);
  if (!bytes) {
    reportNotRead(path);
    return LoadStatus::NotFound;
  }
  const bool goesOn = bytes->size() > kMaxTestFileBytes;
  std::string_view rest = std::string_view(*bytes).substr(0, kMaxTestFileBytes);

  TestRecord scratch;
  TvdLineReader reader(scratch);
  int version = 0;
  int lineNumber = 0;
  int stoppedAt = 0;  // the first line not read, when reading stopped early
  bool invalid = false;
  bool lastLineEnded = true;
  // 0x0A is never a CP932 trail byte, so lines can be split before decoding.
  while (!rest.empty()) {
    const std::size_t lf = rest.find('\n');
    if (lf == std::string_view::npos && goesOn) break;  // a line the limit cuts is not read
    std::string_view raw = rest.substr(0, lf);
    rest.remove_prefix(lf == std::string_view::npos ? rest.size() : lf + 1);
    lastLineEnded = lf != std::string_view::npos;
    ++lineNumber;
    // A CR before the LF, or ending a last line that has no LF, is part of
    // the line end: no value of the program holds a CR.
    if (raw.ends_with('\r')) raw.remove_suffix(1);
    bool bad = false;
    const std::string line = cp932ToUtf8(raw, &bad);
    invalid = invalid || bad;
    if (lineNumber == 1) version = versionOf(line);
    if (reader.beyondLastRow(line)) {
      stoppedAt = lineNumber;
      break;
    }
    reader.storeLine(line);
  }
  if (goesOn && stoppedAt == 0) stoppedAt = lineNumber + 1;
  if (!isAcceptedVersion(version)) {  // the file changed since its first line was read
    reportMessage(IDS_NOT_TOV_DATA);
    return LoadStatus::NotTovData;
  }
  if (version == 300) convertVersion300(scratch);

  if (invalid) reportMessage(IDS_BAD_ENCODING, shownPath(path));
  if (reader.sawTooLongLine()) reportMessage(IDS_TOO_MANY_CSV);
  // Beyond what a test holds: what was read is shown, and the user is told
  // before saving it over the whole file. Cut short (a copy or a write that
  // stopped): the same.
  if (stoppedAt != 0)
    messageSink().report(messageText(IDS_TVD_STOPPED, {shownPath(path.filename()), cformat("%d", stoppedAt)}));
  else if (!reader.sawReadings())
    reportMessage(IDS_TVD_NO_READINGS, shownPath(path.filename()));
  else if (!lastLineEnded)
    reportMessage(IDS_TVD_CUT_SHORT, shownPath(path.filename()));
  record = std::move(scratch);
  return LoadStatus::Ok;
}

} // namespace

int versionOf(std::string_view firstLine) {
  const int length = cp932Length(firstLine);
  if (length < 4 || length > 31) return 0;
  // Each later tag is a prefix of an earlier one, so the longest goes first.
  if (firstLine.find("$$_TOVKARBO3045") != std::string_view::npos) return 305;
  if (firstLine.find("$$_TOVKARBO304") != std::string_view::npos) return 304;
  if (firstLine.find("$$_TOVKARBO3") != std::string_view::npos) return 300;
  return 0;
}

std::string splitCsvField(std::string_view line, int index, bool* tooLong) {
  if (line.empty() || index < 1) return {};
  std::string cut;
  if (line.size() > static_cast<size_t>(kMaxCsvLine) && cp932Length(line) > kMaxCsvLine) {
    if (tooLong) *tooLong = true;
    cut = cp932Prefix(line, kMaxCsvLine);
    line = cut;
  }
  std::string field;
  int current = 1;
  bool quoted = false;
  for (char c : line) {
    if (c == '\n') break;
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      if (current == index) return field;
      ++current;
      field.clear();
    } else if (current == index) {
      field += c;
    }
  }
  return current == index ? field : std::string();
}

void TvdLineReader::readLine(std::string_view line) {
  if (line.ends_with("\r\n")) line.remove_suffix(2);
  else if (line.ends_with('\n')) line.remove_suffix(1);
  storeLine(line);
}

bool TvdLineReader::beyondLastRow(std::string_view line) const {
  return section_ == 'A' && index_ > kRowCount && !line.empty() && line.find("$$") == std::string_view::npos;
}

void TvdLineReader::storeLine(std::string_view line) {
  if (line.find("$$") != std::string_view::npos) {
    if (line.size() > 2) {
      section_ = line[2];
      index_ = 1;
      if (section_ == 'A') sawReadings_ = true;
    }
    return;
  }
  if (section_ == 'Z') {
    if (index_ >= 1 && index_ <= kFieldCount) record_.setField(index_++, std::string(line));
  } else if (section_ == 'A') {
    if (index_ >= 1 && index_ <= kRowCount) {
      for (int column = 1; column <= kColumnCount; ++column) {
        bool cut = false;
        record_.setCell(index_, column, splitCsvField(line, column, &cut));
        if (cut) tooLong_ = true;
      }
      ++index_;
    }
  }
}

void convertVersion300(TestRecord& record) {
  // Old files held lengths in centimetres.
  scaleField(record, F_sectionLength, "%.2f");
  scaleField(record, F_pipeTopHeight, "%.2f");
  scaleField(record, F_boreDiameter, "%.3f");
  scaleField(record, F_pipeInnerDiameter, "%.3f");
  for (int number : {F_pointS1, F_pointS2, F_graphAValueFrom, F_graphAValueTo, F_graphBLevelFrom,
                     F_graphBLevelTo, F_graphBLevelStep, F_graphBLevelGrid1, F_graphBLevelGrid2})
    scaleField(record, number, "%g");
  scaleField(record, F_permeabilityText, "%E");  // cm/s to m/s
  // Old formula numbers 0 and 1 are the current 0 and 2 (doubled in a wider
  // type: a number near the integer limit is no formula either way).
  record.setField(F_formulaKind, cformat("%lld", 2LL * record.fieldInt(F_formulaKind)));
  record.setField(F_equivalentDiameter, record.field(F_pipeInnerDiameter));
  record.setField(F_startHeadDifference, "");
  int rows = record.countRows(C_time);
  for (int row = 1; row <= rows; ++row) {
    for (int column : {C_pipeLevel, C_level, C_headDifference}) {
      // An empty cell stays empty rather than becoming a reading of 0.
      const std::string& cell = record.cell(row, column);
      if (isNumberText(cell)) record.setCell(row, column, cformat("%g", toDouble(cell) * 0.01));
    }
  }
}

std::string buildTestFileText(const TestRecord& record) {
  std::string text;
  text += kTvdTag;
  text += "\r\n$$Z\r\n";
  for (int number = 1; number <= kFieldCount; ++number) {
    const std::string& field = record.field(number);
    text += field;
    if (!field.ends_with("\r\n")) text += "\r\n";
  }
  text += "$$A\r\n";
  // Every row up to the last one holding text, so rows behind a row whose
  // time is not a number are kept.
  int last = record.lastRowWithText();
  for (int row = 1; row <= last; ++row) {
    text += rowLine(record, row);
    text += "\r\n";
  }
  return text;
}

std::string findUnsavableText(const TestRecord& record, int* messageId) {
  if (messageId) *messageId = IDS_UNSAVABLE_TEXT;
  for (int number = 1; number <= kFieldCount; ++number) {
    // A field is a whole line: only a line break or a section marker breaks it.
    const std::string& field = record.field(number);
    if (field.find_first_of("\r\n") != std::string::npos || field.find("$$") != std::string::npos)
      return cformat("フィールド %d", number);
  }
  int last = record.lastRowWithText();
  for (int row = 1; row <= last; ++row) {
    for (int column = 1; column <= kColumnCount; ++column) {
      const std::string& cell = record.cell(row, column);
      // "$$" anywhere in a row line would be read as a section marker.
      if (hasLineBreakOrQuote(cell) || cell.find("$$") != std::string::npos)
        return cformat("%d 行目 %d 列", row, column);
    }
    // The reader takes the first 2600 bytes of a row line only.
    if (cp932Length(rowLine(record, row)) > kMaxCsvLine) {
      if (messageId) *messageId = IDS_ROW_TOO_LONG;
      return cformat("%d 行目", row);
    }
  }
  // The reader takes no more than a test file holds: only fields of
  // hundreds of kilobytes come near it.
  const std::string text = buildTestFileText(record);
  if (cp932PrefixLength(text, static_cast<int>(kMaxTestFileBytes)) < text.size()) {
    if (messageId) *messageId = IDS_TEST_TOO_LARGE;
    return cformat("%d", cp932Length(text));
  }
  return {};
}

LoadStatus openTestFile(const std::filesystem::path& path, TestRecord& record) {
  return readTestFile(path, record);
}

LoadStatus loadTestFile(const std::filesystem::path& path, TestRecord& record) {
  return readTestFile(path, record);
}

bool saveTestFile(const std::filesystem::path& path, const TestRecord& record) {
  int messageId = IDS_UNSAVABLE_TEXT;
  std::string place = findUnsavableText(record, &messageId);
  if (!place.empty()) {
    reportMessage(messageId, place);
    return false;
  }
  std::string offending;
  auto bytes = utf8ToCp932(buildTestFileText(record), &offending);
  if (!bytes) {
    reportMessage(IDS_CANNOT_ENCODE, offending);
    return false;
  }
  if (const WriteResult written = writeFileBytes(path, *bytes); !written.ok()) {
    reportMessage(IDS_WRITE_FAILED_DETAIL, shownPath(path) + ": " + written.detail);
    return false;
  }
  return true;
}

LastFolder readLastFolder(const std::filesystem::path& installFolder) {
  LastFolder value;
  auto text = readTextLines(installFolder / "FileV.ndx");
  if (!text) return value;
  if (text->lines.size() > 0) value.folder = text->lines[0];
  if (text->lines.size() > 1) value.keptLine = text->lines[1];
  return value;
}

void writeLastFolder(const std::filesystem::path& installFolder, const LastFolder& value) {
  // A line break would shift the kept line; such a folder is not remembered.
  if (value.folder.find_first_of("\r\n") != std::string::npos ||
      value.keptLine.find_first_of("\r\n") != std::string::npos)
    return;
  (void)writeTextLines(installFolder / "FileV.ndx", {value.folder, value.keptLine});  // failure is harmless
}

} // namespace tov
