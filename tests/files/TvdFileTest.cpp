#include "files/TvdFile.h"

#include <chrono>
#include <future>
#include <map>
#include <random>
#include <tuple>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "files/TextCodec.h"
#include "files/TextFile.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

std::string emptyLines(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += "\r\n";
  return text;
}

std::string emptyRecordBytes() { return "$$_TOVKARBO3045\r\n$$Z\r\n" + emptyLines(100) + "$$A\r\n"; }

using Fields = std::map<int, std::string>;

// A file in CP932: the tag, fields by number (the rest empty), row lines.
std::string tvdBytes(const std::string& tag, const Fields& fields,
                     const std::vector<std::string>& rows) {
  std::string text = tag + "\r\n$$Z\r\n";
  for (int number = 1; number <= 100; ++number) {
    auto it = fields.find(number);
    text += (it == fields.end() ? "" : it->second) + "\r\n";
  }
  text += "$$A\r\n";
  for (const auto& row : rows) text += row + "\r\n";
  return *utf8ToCp932(text);
}

void setRow(TestRecord& record, int row, std::array<const char*, 6> cells) {
  for (int column = 1; column <= 6; ++column) record.setCell(row, column, cells[column - 1]);
}

TestRecord sampleRecord() {
  TestRecord record;
  record.set_surveyName("試験");
  record.set_sectionLength("1.50");
  record.setField(100, "最後");
  setRow(record, 1, {"30", "1.25", "10.30", "-0.75", "2.25", ""});
  setRow(record, 2, {"60", "1.0", "10:31", "-0.5", "2.5", "2.5E-6"});
  return record;
}

std::string onlyFile(const std::filesystem::path& folder) {
  std::string names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names += entry.path().filename().string() + " ";
  return names;
}

class FileTest : public ::testing::Test {
protected:
  TempDir dir;
  RecordingMessageSink sink;
  ScopedMessageSink guard{sink};
};

// --- The file layout, byte for byte -------------------------------------

TEST(TvdLayout, WritesGoldenBytesThatReadBackIdentical) {
  TestRecord quoted, gap, longRow, quoteInField;
  quoteInField.setField(1, "\"A\"地区");  // a field is a whole line: quotes are kept as they are
  longRow.setCell(1, 1, std::string(2595, 'x'));  // with five commas: exactly 2600
  setRow(quoted, 1, {"1,5", "2", "", "", "", ""});
  setRow(gap, 1, {"30", "1.25", "", "", "", ""});
  setRow(gap, 2, {"abc", "1.0", "", "", "", ""});
  setRow(gap, 4, {"90", "0.5", "10:32", "", "", ""});
  const std::string rowsFile = "$$_TOVKARBO3045\r\n$$Z\r\n\x8e\x8e\x8c\xb1\r\n" + emptyLines(22) + "1.50\r\n" +
                               emptyLines(75) + "\x8d\xc5\x8c\xe3\r\n$$A\r\n"
                               "30,1.25,10.30,-0.75,2.25,\r\n60,1.0,10:31,-0.5,2.5,2.5E-6\r\n";

  const struct { const char* what; TestRecord record; std::string bytes; } cases[] = {
      {"empty record", TestRecord{}, emptyRecordBytes()},
      {"record with rows", sampleRecord(), rowsFile},
      {"cell with a comma is quoted", quoted, emptyRecordBytes() + "\"1,5\",2,,,,\r\n"},
      {"rows behind a row without a time are kept", gap,
       emptyRecordBytes() + "30,1.25,,,,\r\nabc,1.0,,,,\r\n,,,,,\r\n90,0.5,10:32,,,\r\n"},
      {"double quotes in a field", quoteInField, "$$_TOVKARBO3045\r\n$$Z\r\n\"A\"\x92\x6e\x8b\xe6\r\n" + emptyLines(99) + "$$A\r\n"},
      {"a row line of the longest length read back", longRow, emptyRecordBytes() + std::string(2595, 'x') + ",,,,,\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    ASSERT_TRUE(saveTestFile(dir / "t.tvd", c.record));
    EXPECT_EQ(readBytes(dir / "t.tvd"), c.bytes);
    TestRecord loaded;
    ASSERT_EQ(openTestFile(dir / "t.tvd", loaded), LoadStatus::Ok);
    EXPECT_EQ(loaded, c.record);
  }
}

TEST(TvdLayout, VersionTags) {
  const std::pair<const char*, int> cases[] = {
      {"$$_TOVKARBO3045", 305}, {"$$_TOVKARBO304", 304}, {"$$_TOVKARBO300", 300},
      {"$$_TOVKARBO3", 300},    {"$$_TOVKARBO2", 0},     {"", 0},
      {"$$_TOVKARBO3045                 ", 0},  // longer than 31
      {"  $$_TOVKARBO304", 304},
      {"$$_TOVKARBO3045 試験データです", 305},  // 30 bytes in the file's code page
  };
  for (const auto& [line, version] : cases) EXPECT_EQ(versionOf(line), version) << line;
}

TEST(TvdLayout, SplitsCommaSeparatedCells) {
  const struct { const char* line; int index; const char* cell; } cases[] = {
      {"30,1.25,10.30,-0.75,2.25,", 1, "30"}, {"30,1.25,10.30,-0.75,2.25,", 5, "2.25"},
      {"30,1.25,10.30,-0.75,2.25,", 6, ""},   {"30,1.25", 4, ""},
      {"\"1,5\",2", 1, "1,5"},                 {"\"1,5\",2", 2, "2"},
      {"", 1, ""},                             {"a,,c", 2, ""},
      {"a,,c", 3, "c"},                        {"a,b\nc,d", 3, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(splitCsvField(c.line, c.index), c.cell) << c.line << " #" << c.index;

  bool tooLong = false;
  std::string longLine = std::string(2599, 'x') + "あ,b";
  EXPECT_EQ(splitCsvField(longLine, 1, &tooLong), std::string(2599, 'x'));  // never half a character
  EXPECT_TRUE(tooLong);
  EXPECT_EQ(splitCsvField(longLine, 2, nullptr), "");
}

// --- Reading --------------------------------------------------------------

TEST_F(FileTest, ReadsCurrentAndVersion304FilesWithoutConversion) {
  const Fields fields = {{1, "試験"}, {24, "150"}, {33, "1"}, {100, "最後"}};
  TestRecord expected;
  for (const auto& [number, text] : fields) expected.setField(number, text);
  setRow(expected, 1, {"30", "120", "10.30", "", "", ""});
  for (const char* tag : {"$$_TOVKARBO3045", "$$_TOVKARBO304"}) {
    SCOPED_TRACE(tag);
    writeBytes(dir / "t.tvd", tvdBytes(tag, fields, {"30,120,10.30,,,"}));
    TestRecord record;
    record.set_weather("before");  // cleared before reading
    ASSERT_EQ(openTestFile(dir / "t.tvd", record), LoadStatus::Ok);
    EXPECT_EQ(record, expected);
  }
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(FileTest, ConvertsVersion300Files) {
  writeBytes(dir / "t.tvd",
             tvdBytes("$$_TOVKARBO300",
                      {{21, "50"}, {22, "5"}, {23, "6.6"}, {24, "150"}, {28, "3"}, {33, "1"},
                       {38, "25"}, {42, "1.5E-3"}, {48, ""}, {62, "abc"}},
                      {"30,120,10.30,-70,230,", "60,,10.31,,,", "x,100,,,,"}));
  TestRecord record;
  ASSERT_EQ(loadTestFile(dir / "t.tvd", record), LoadStatus::Ok);
  const std::pair<int, const char*> fields[] = {
      {F_pipeTopHeight, "0.50"}, {F_pipeInnerDiameter, "0.050"}, {F_boreDiameter, "0.066"},
      {F_sectionLength, "1.50"}, {F_equivalentDiameter, "0.050"}, {F_startHeadDifference, ""},
      {F_formulaKind, "2"},      {F_pointS1, "0.25"}, {F_permeabilityText, "1.500000E-005"},
      {F_graphAValueFrom, ""},   {F_graphBLevelGrid2, "abc"},
  };
  for (auto [number, text] : fields) EXPECT_EQ(record.field(number), text) << "field " << number;
  // Empty cells are not turned into readings of 0; rows from the first one
  // without a time are not converted.
  const std::tuple<int, int, const char*> cells[] = {
      {1, 2, "1.2"}, {1, 3, "10.30"}, {1, 4, "-0.7"}, {1, 5, "2.3"}, {2, 2, ""}, {2, 4, ""}, {3, 2, "100"}};
  for (auto [row, column, text] : cells) EXPECT_EQ(record.cell(row, column), text) << row << "," << column;
  // A formula number whose double overflows an int is doubled all the same.
  writeBytes(dir / "t.tvd", tvdBytes("$$_TOVKARBO3", {{33, "1555265526"}}, {}));
  ASSERT_EQ(loadTestFile(dir / "t.tvd", record), LoadStatus::Ok);
  EXPECT_EQ(record.formulaKind(), "3110531052");
}

// What the Open command reads from files with long, surplus or invalid lines.
TEST_F(FileTest, LongSurplusAndInvalidLines) {
  const std::string longText = std::string(3000, 'a') + "試験", longCell(2700, '1');
  std::vector<std::string> manyRows;
  for (int i = 1; i <= 125; ++i) manyRows.push_back(std::to_string(i) + ",1");
  std::string surplus = tvdBytes(kTvdTag, {{100, "last"}}, manyRows);
  surplus.replace(surplus.find("$$A"), 0, "extra\r\n");  // an extra field line before "$$A"
  std::string invalid = tvdBytes(kTvdTag, {{1, "A"}, {2, "ok"}}, {"30,1.0,,,,"});
  invalid.replace(invalid.find("A\r\n"), 1, "\x80\x85\x40\xff");
  const std::string whole = tvdBytes(kTvdTag, {{1, "A"}, {2, "ok"}}, {"30,1.0,,,,", "60,0.9,,,,"});
  using Cells = std::vector<std::tuple<int, int, std::string>>;  // row, column, text
  const struct { const char* what; std::string bytes; Fields fields; Cells cells; std::vector<std::string> reported; } cases[] = {
      {"a long field does not shift later fields", tvdBytes(kTvdTag, {{1, longText}, {2, "second"}}, {"30,1.0,,,,"}),
       {{1, longText}, {2, "second"}}, {{1, 1, "30"}}, {}},
      {"lines beyond field 100 are ignored; a reading beyond row 120 stops the reading and says so", surplus,
       {{100, "last"}}, {{120, 1, "120"}}, {messageText(IDS_TVD_STOPPED, {"t.tvd", "225"})}},
      {"a too long row line is reported once and cut", tvdBytes(kTvdTag, {}, {longCell + ",2", longCell + ",3"}),
       {}, {{1, 1, std::string(2600, '1')}, {1, 2, ""}}, {"too many csv"}},
      {"invalid bytes warn and become geta marks", invalid, {{1, "〓〓〓"}, {2, "ok"}}, {{1, 1, "30"}},
       {messageText(IDS_BAD_ENCODING, (dir / "t.tvd").string())}},
      // Cut short: what was read is shown, and the cut is said.
      {"a file cut before its readings", whole.substr(0, whole.find("$$A")), {{1, "A"}, {2, "ok"}}, {{1, 1, ""}},
       {messageText(IDS_TVD_NO_READINGS, "t.tvd")}},
      {"a file cut inside its fields", whole.substr(0, whole.find("ok") + 2), {{1, "A"}, {2, "ok"}}, {},
       {messageText(IDS_TVD_NO_READINGS, "t.tvd")}},
      {"a file cut inside a reading", whole.substr(0, whole.size() - 5), {{2, "ok"}}, {{1, 1, "30"}, {2, 2, "0.9"}},
       {messageText(IDS_TVD_CUT_SHORT, "t.tvd")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sink.reported.clear();
    writeBytes(dir / "t.tvd", c.bytes);
    TestRecord record;
    ASSERT_EQ(openTestFile(dir / "t.tvd", record), LoadStatus::Ok);
    for (const auto& [number, text] : c.fields) EXPECT_EQ(record.field(number), text) << "field " << number;
    for (const auto& [row, column, text] : c.cells) EXPECT_EQ(record.cell(row, column), text) << row << "," << column;
    EXPECT_EQ(sink.reported, c.reported);
  }
}

// A file beyond what a test holds (a logger's whole record pasted in, a
// file grown without end) is read no further than a test goes: what was
// read is shown and the line where reading stopped is named.
TEST_F(FileTest, AFileBeyondWhatATestHoldsIsReadNoFurther) {
  std::vector<std::string> readings, blankAfter;
  for (int i = 1; i <= 100000; ++i) readings.push_back(std::to_string(i) + ",1.0,,,,");
  for (int i = 1; i <= 130; ++i) blankAfter.push_back(i <= 120 ? std::to_string(i) + ",1.0,,,," : "");
  const struct { const char* what; std::string bytes; int lastRow; std::vector<std::string> reported; } cases[] = {
      {"readings far beyond row 120", tvdBytes(kTvdTag, {{1, "first"}}, readings), 120,
       {messageText(IDS_TVD_STOPPED, {"t.tvd", "224"})}},
      {"one endless field line", tvdBytes(kTvdTag, {{1, "first"}, {2, std::string(2u << 20, 'a')}}, {"30,1.0,,,,"}), 0,
       {messageText(IDS_TVD_STOPPED, {"t.tvd", "4"})}},
      {"blank lines after row 120 say nothing", tvdBytes(kTvdTag, {{1, "first"}}, blankAfter), 120, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sink.reported.clear();
    writeBytes(dir / "t.tvd", c.bytes);
    TestRecord record;
    ASSERT_EQ(loadTestFile(dir / "t.tvd", record), LoadStatus::Ok);
    EXPECT_EQ(record.surveyName(), "first");
    EXPECT_EQ(record.lastRowWithText(), c.lastRow);
    EXPECT_EQ(sink.reported, c.reported);
  }
}

// The largest test the program saves reads back whole, without a word; a
// byte more is refused on saving rather than cut on reading.
TEST_F(FileTest, TheLargestTestSavedReadsBackWhole) {
  TestRecord record;
  for (int row = 1; row <= kRowCount; ++row) setRow(record, row, {"1", "2", "3", "4", "5", ""});
  for (int row = 1; row <= kRowCount; ++row) record.setCell(row, 6, std::string(2590, '6'));  // a row line of 2600 bytes
  for (int number = 1; number <= kFieldCount; ++number) record.setField(number, std::string(7000, 'x'));
  const std::size_t size = utf8ToCp932(buildTestFileText(record))->size();
  ASSERT_LT(size, kMaxTestFileBytes);
  record.setField(kFieldCount, std::string(7000 + kMaxTestFileBytes - size, 'x'));
  for (const std::size_t extra : {std::size_t{0}, std::size_t{1}}) {
    SCOPED_TRACE(extra);
    sink.reported.clear();
    record.setField(1, std::string(7000 + extra, 'x'));
    const bool saved = saveTestFile(dir / "t.tvd", record);
    EXPECT_EQ(saved, extra == 0);
    if (!saved) {
      EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_TEST_TOO_LARGE, std::to_string(kMaxTestFileBytes + extra))});
      continue;
    }
    TestRecord back;
    ASSERT_EQ(loadTestFile(dir / "t.tvd", back), LoadStatus::Ok);
    EXPECT_EQ(back, record);
    EXPECT_TRUE(sink.reported.empty());
  }
}

#ifndef _WIN32
// A huge test file costs the memory of a test: 256 MB of one endless line
// (a sparse file, no disk) was taken into memory twice over.
TEST_F(FileTest, AHugeTestFileCostsNoMoreMemoryThanATest) {
  writeBytes(dir / "t.tvd", tvdBytes(kTvdTag, {{1, "first"}}, {"30,1.0,,,,"}));
  std::filesystem::resize_file(dir / "t.tvd", 256u << 20);
  const pid_t child = ::fork();
  if (child == 0) {
    rusage before {}, after {};
    ::getrusage(RUSAGE_SELF, &before);
    TestRecord record;
    const bool read = loadTestFile(dir / "t.tvd", record) == LoadStatus::Ok && record.surveyName() == "first";
    ::getrusage(RUSAGE_SELF, &after);
    ::_exit(!read ? 2 : after.ru_maxrss - before.ru_maxrss < 32 * 1024 ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: more than 32 MB taken, 2: not read";
}
#endif

TEST_F(FileTest, UnreadableOrForeignFilesLeaveTheRecordUnchanged) {
  writeBytes(dir / "empty.tvd", "");
  writeBytes(dir / "other.tvd", "hello\r\n$$Z\r\nx\r\n");
  writeBytes(dir / "old2.tvd", "$$_TOVKARBO2\r\n");
  std::filesystem::create_directory(dir / "folder.tvd");
  const std::pair<const char*, LoadStatus> cases[] = {
      {"missing.tvd", LoadStatus::NotFound},  {"folder.tvd", LoadStatus::NotFound},
      {"empty.tvd", LoadStatus::NotTovData},  {"other.tvd", LoadStatus::NotTovData},
      {"old2.tvd", LoadStatus::NotTovData},
  };
  const TestRecord before = sampleRecord();
  for (const auto& [name, status] : cases) {
    const std::string path = (dir / name).string();
    const std::string message =
        status == LoadStatus::NotFound ? messageText(IDS_FILE_NOT_FOUND, path) : messageText(IDS_NOT_TOV_DATA);
    for (auto load : {openTestFile, loadTestFile}) {
      SCOPED_TRACE(path);
      sink.reported.clear();
      TestRecord record = before;
      EXPECT_EQ(load(path, record), status);
      EXPECT_EQ(record, before);
      EXPECT_EQ(sink.reported, std::vector<std::string>{message});
    }
  }
}

// A FIFO would block the open until a writer came, and a FIFO or a device
// may never end: every reader refuses them as not found, at once. (Windows
// has no FIFOs; its device NUL is in every folder.)
TEST_F(FileTest, FifosAndDevicesAreNotFoundAndNeverWaitedFor) {
  const std::filesystem::path fifo = dir / "pipe.tvd";
#ifdef _WIN32
  const std::vector<std::filesystem::path> paths = {testing::nullDevice(dir.path(), "")};
#else
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(fifo, dir / "link.tvd");
  const std::vector<std::filesystem::path> paths = {fifo, dir / "link.tvd", std::filesystem::path("/dev/zero")};
#endif
  for (const std::filesystem::path& path : paths) {
    SCOPED_TRACE(path);
    sink.reported.clear();
    TestRecord record = sampleRecord();
    auto reading = std::async(std::launch::async, [&] {
      return std::tuple(loadTestFile(path, record), readTextLines(path).has_value());
    });
    if (reading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      // Let a reader blocked on the FIFO go, as often as it opens it, so
      // that the test can end.
      while (reading.wait_for(std::chrono::milliseconds(10)) != std::future_status::ready) {
#ifndef _WIN32
        const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0) ::close(writer);
#endif
      }
      FAIL() << "reading waited";
    }
    EXPECT_EQ(reading.get(), std::tuple(LoadStatus::NotFound, false));
    EXPECT_EQ(record, sampleRecord());
    EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_FILE_NOT_FOUND, path.string())});
  }
}

// --- Saving ---------------------------------------------------------------

// Random records of Japanese text, commas, blanks and empty cells come back
// exactly as they were saved.
TEST_F(FileTest, SavedRecordsReadBackIdentical) {
  const std::vector<std::string> pieces = {"", "a", "Z", "0", "1.5", "-3", "E-6", ",", " ", "試験", "汲上げ(回復)",
                                           "ｱｲ", "ソ", "表", "①", "髙", "$", "%", "\\", "~", "〓", "、"};
  std::mt19937 rng(20240601);
  auto upTo = [&](std::size_t most) { return std::uniform_int_distribution<std::size_t>(0, most)(rng); };
  auto text = [&](int maxPieces) {
    std::string s;
    for (std::size_t n = upTo(maxPieces); n > 0; --n) s += pieces[upTo(pieces.size() - 1)];
    return s.find("$$") == std::string::npos ? s : std::string();
  };
  for (int iteration = 0; iteration < 200; ++iteration) {
    TestRecord record;
    for (int number = 1; number <= 100; ++number)
      if (rng() % 3 == 0) record.setField(number, text(6));
    for (int row = 1, rows = static_cast<int>(upTo(120)); row <= rows; ++row)
      for (int column = 1; column <= 6; ++column)
        if (rng() % 2 == 0) record.setCell(row, column, text(3));
    ASSERT_EQ(findUnsavableText(record), "") << iteration;
    ASSERT_TRUE(saveTestFile(dir / "t.tvd", record)) << iteration;
    TestRecord loaded;
    ASSERT_EQ(openTestFile(dir / "t.tvd", loaded), LoadStatus::Ok);
    ASSERT_EQ(loaded, record) << "iteration " << iteration;
  }
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(FileTest, RefusesTextTheFileCannotHoldAndKeepsTheOldFile) {
  // A field number, or 0 for the cell at row, column.
  const struct { const char* what; int field; int row, column; std::string text; std::string message; } cases[] = {
      {"emoji", 1, 0, 0, "k😀k", messageText(IDS_CANNOT_ENCODE, "😀")},
      {"accented letter in a cell", 0, 2, 3, "caf\u00e9", messageText(IDS_CANNOT_ENCODE, "\u00e9")},
      {"section marker in a field", 12, 0, 0, "a$$Z", messageText(IDS_UNSAVABLE_TEXT, "フィールド 12")},
      {"line feed in a field", 5, 0, 0, "a\nb", messageText(IDS_UNSAVABLE_TEXT, "フィールド 5")},
      {"CR LF at the end of a field", 7, 0, 0, "a\r\n", messageText(IDS_UNSAVABLE_TEXT, "フィールド 7")},
      {"quote in a cell", 0, 3, 2, "\"", messageText(IDS_UNSAVABLE_TEXT, "3 行目 2 列")},
      {"CR in a cell", 0, 1, 6, "a\rb", messageText(IDS_UNSAVABLE_TEXT, "1 行目 6 列")},
      {"section marker in a cell", 0, 4, 1, "$$A", messageText(IDS_UNSAVABLE_TEXT, "4 行目 1 列")},
      {"row line of 2601 bytes", 0, 3, 3, std::string(2596, 'x'), messageText(IDS_ROW_TOO_LONG, "3 行目")},
  };
  const std::string old = "old file\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sink.reported.clear();
    writeBytes(dir / "t.tvd", old);
    TestRecord record = sampleRecord();
    if (c.field) record.setField(c.field, c.text);
    else record.setCell(c.row, c.column, c.text);
    EXPECT_FALSE(saveTestFile(dir / "t.tvd", record));
    EXPECT_EQ(sink.reported, std::vector<std::string>{c.message});
    EXPECT_EQ(readBytes(dir / "t.tvd"), old);
    EXPECT_EQ(onlyFile(dir.path()), "t.tvd ");
  }
}

TEST_F(FileTest, FailedSavesReportAndKeepThePreviousFile) {
  writeBytes(dir / "plain", "x");
  std::filesystem::create_directory(dir / "folder.tvd");
  const TestRecord record = sampleRecord();
  ASSERT_TRUE(saveTestFile(dir / "t.tvd", TestRecord{}));
  const std::string previous = readBytes(dir / "t.tvd");

  const struct { const char* what; std::filesystem::path target; long long failAfter; const char* reason; } cases[] = {
      {"missing folder", dir / "nowhere" / "t.tvd", -1, "フォルダがありません"},
      {"folder is a file", dir / "plain" / "t.tvd", -1, "フォルダ名が異常です"},
      {"folder in place of the file", dir / "folder.tvd", -1, "フォルダです"},
      {"disk full", dir / "t.tvd", 40, "ディスクの空きが足りません"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    sink.reported.clear();
    setWriteFailureAfterBytesForTesting(c.failAfter);
    EXPECT_FALSE(saveTestFile(c.target, record));
    setWriteFailureAfterBytesForTesting(-1);
    EXPECT_EQ(sink.reported, std::vector<std::string>{"保存できませんでした.\n( " + c.target.string() + ": " + c.reason + " )"});
    EXPECT_EQ(readBytes(dir / "t.tvd"), previous);
    EXPECT_EQ(onlyFile(dir.path()).size(), std::string("t.tvd plain folder.tvd ").size());
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder.tvd"));
  }
}

// --- FileV.ndx --------------------------------------------------------------

TEST_F(FileTest, LastFolderIsRememberedInTwoCp932Lines) {
  EXPECT_EQ(readLastFolder(dir.path()).folder, "");
  EXPECT_EQ(readLastFolder(dir.path()).keptLine, "");

  writeBytes(dir / "FileV.ndx", "D:\\old\r\nkept \x8e\x8e\r\n");
  LastFolder value = readLastFolder(dir.path());
  EXPECT_EQ(value.folder, "D:\\old");
  EXPECT_EQ(value.keptLine, "kept 試");

  value.folder = "/home/user/データ";
  writeLastFolder(dir.path(), value);
  EXPECT_EQ(readBytes(dir / "FileV.ndx"), "/home/user/\x83\x66\x81\x5b\x83\x5e\r\nkept \x8e\x8e\r\n");

  // A rewrite that cannot be done leaves the file and says nothing.
  value.folder = "/home/caf\u00e9";
  writeLastFolder(dir.path(), value);
  writeLastFolder(dir / "missing", value);
  EXPECT_EQ(readLastFolder(dir.path()).folder, "/home/user/データ");
  EXPECT_TRUE(sink.reported.empty());
}

// A test that is there but may not be read says so, not "not found" (as a
// user without the right; root, who may read anything, checks as nobody;
// on Windows, one another program holds shared with nobody).
TEST(TvdFile, AnUnreadableTestIsNotReportedAsMissing) {
  TempDir dir;
  writeBytes(dir / "t.tvd", "$$_VER5\r\n");
  const std::string expected = messageText(IDS_CANNOT_READ, (dir / "t.tvd").string());
  auto said = [&] {
    RecordingMessageSink sink;
    ScopedMessageSink scoped(sink);
    TestRecord record;
    loadTestFile(dir / "t.tvd", record);
    return sink.reported.empty() ? std::string() : sink.reported.front();
  };
#ifdef _WIN32
  const testing::HeldFile held(dir / "t.tvd");
  ASSERT_TRUE(held.held());
  EXPECT_EQ(said(), expected);
#else
  ::chmod(dir.path().c_str(), 0755);
  ::chmod((dir / "t.tvd").c_str(), 0);
  if (::geteuid() != 0) {
    EXPECT_EQ(said(), expected);
    return;
  }
  int pipe[2];
  ASSERT_EQ(::pipe(pipe), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setuid(65534) != 0) ::_exit(2);
    const std::string text = said();
    ::_exit(::write(pipe[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 3);
  }
  ::close(pipe[1]);
  std::string text(4096, '\0');
  const ssize_t n = ::read(pipe[0], text.data(), text.size());
  ::close(pipe[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the check as nobody did not run";
  EXPECT_EQ(text.substr(0, n > 0 ? static_cast<std::size_t>(n) : 0), expected);
#endif
}

} // namespace
} // namespace tov

// A test whose name holds a line break (or a terminal's escape) is named on
// one line when it cannot be found: the name cannot fake a line of its own.
TEST(TvdFile, AMissingTestsNameIsShownOnOneLine) {
  for (const char* name : {"a\nb.tvd", "a\x1b[2Jb.tvd"}) {
    tov::RecordingMessageSink sink;
    tov::ScopedMessageSink scoped(sink);
    tov::TestRecord record;
    const std::filesystem::path path = std::filesystem::path("/nonexistent") / name;
    EXPECT_NE(tov::loadTestFile(path, record), tov::LoadStatus::Ok);
    ASSERT_EQ(sink.reported.size(), 1u);
    EXPECT_EQ(sink.reported[0], tov::messageText(tov::IDS_FILE_NOT_FOUND, tov::escapedControls(path.string(), false)));
  }
}
