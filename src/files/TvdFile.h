#pragma once
// The test file (".tvd"): version tag, "$$Z" with fields 1 to 100, "$$A"
// with the reading rows as comma-separated lines; CP932 with CR LF.
// Also FileV.ndx, which remembers the folder of the last opened test.
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "record/TestRecord.h"

namespace tov {

inline constexpr const char* kTvdTag = "$$_TOVKARBO3045";
// The most of a test file that is read: more than any test takes (100
// fields and 120 rows of at most 2600 bytes are 572,467 bytes), so that a
// huge or endless file costs no more time and memory than a test.
inline constexpr std::size_t kMaxTestFileBytes = 1u << 20;

// 305, 304, 300 or 0 for the first line of a file.
int versionOf(std::string_view firstLine);
inline bool isAcceptedVersion(int version) { return version >= 200 && version <= 399; }

// The index-th (from 1) comma-separated field; double quotes toggle quoting
// and are not copied. A line over 2600 characters is cut to 2600 and
// *tooLong is set (the caller reports "too many csv").
std::string splitCsvField(std::string_view line, int index, bool* tooLong = nullptr);

// Files lines into a record: "$$" lines switch the section, "Z" lines fill
// fields 1..100, "A" lines fill rows 1..120.
class TvdLineReader {
public:
  explicit TvdLineReader(TestRecord& record) : record_(record) {}
  // Strips a trailing CR LF or LF and passes the line to storeLine.
  void readLine(std::string_view line);
  void storeLine(std::string_view line);
  bool sawTooLongLine() const { return tooLong_; }
  // The "$$A" line that starts the readings came (a file cut short before
  // it holds no readings block).
  bool sawReadings() const { return sawReadings_; }
  // A line that would be a reading beyond row 120: the test holds no more.
  bool beyondLastRow(std::string_view line) const;

private:
  TestRecord& record_;
  char section_ = 0;
  int index_ = 0;
  bool tooLong_ = false;
  bool sawReadings_ = false;
};

// Converts a record read from a version-300 file (centimetres, old formula
// numbers) to the current layout.
void convertVersion300(TestRecord& record);

// The whole file as UTF-8 text with CR LF line ends (before conversion to
// CP932). Rows are written up to the last row that holds any text, so rows
// behind a row without a time are kept. A cell holding a comma is quoted.
std::string buildTestFileText(const TestRecord& record);

// Why a record cannot be written as it stands: the first field that holds
// CR, LF or "$$", the first cell that holds CR, LF, '"' or "$$", the first
// row line longer than the reader takes (2600 bytes), or a file longer than
// the reader takes (kMaxTestFileBytes), described for the user ("フィールド
// 12" / "2 行目 3 列" / "4 行目" / the file's bytes), or "" when all is
// writable. *messageId receives the message that goes with it.
std::string findUnsavableText(const TestRecord& record, int* messageId = nullptr);

enum class LoadStatus { Ok, NotFound, NotTovData };

// The Open command's reading (after the file dialog): checks the tag,
// clears the record and reads it, converts version-300 files. Reports
// "ファイルが見つかりません" / "透水試験「Tov」のデータではありません" / "too many csv"
// / the invalid-bytes warning through the message sink. On failure the record
// is unchanged. A file cut short (without its readings block, or ending inside
// a line) is read as far as it goes and reported. No more than
// kMaxTestFileBytes are read, and reading stops at a reading beyond row 120;
// either is reported, with the line where reading stopped.
LoadStatus openTestFile(const std::filesystem::path& path, TestRecord& record);
// The same for the framework's open path (recent files, command line,
// dropped files); the messages are the same.
LoadStatus loadTestFile(const std::filesystem::path& path, TestRecord& record);

// Writes the record (temporary file + rename). Refuses, with a message and
// without touching the old file, text that the layout or CP932 cannot hold;
// reports "保存できませんでした" with the file and the reason when it cannot be written.
bool saveTestFile(const std::filesystem::path& path, const TestRecord& record);

// FileV.ndx in the install folder: line 1 the last folder (host path), line
// 2 kept unchanged.
struct LastFolder {
  std::string folder;
  std::string keptLine;
};
LastFolder readLastFolder(const std::filesystem::path& installFolder);
void writeLastFolder(const std::filesystem::path& installFolder, const LastFolder& value);

} // namespace tov
