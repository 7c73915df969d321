#pragma once
// One import of a logger file into a test: the guesses made on opening, the
// settings the engineer changes, the whole record read, the proposed start
// and the schedule, and the readings written into the test. The dialog and
// the command line both work through it. Profiles keep settings under a
// name in the install folder; the settings of the last file of a layout
// are remembered there too.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "import/LoggerSeries.h"

namespace tov::logger {

class ImportSession {
public:
  explicit ImportSession(bool steady) : steady_(steady) {}

  // Reads the file's first lines and guesses everything. False, with
  // *error set, for a file that cannot be imported.
  bool open(const std::filesystem::path& path, std::string* error);
  const std::filesystem::path& path() const { return path_; }
  bool steady() const { return steady_; }
  // The method chosen for a new test: the steady method reads the flow
  // column (guessed from the names; the other columns stay as set). When
  // that changes the columns, the record is to be read again (readAll).
  void setSteady(bool steady);
  bool encodingMixed() const { return mixed_; }

  // Changing how the text is read guesses the columns again.
  void setEncoding(Encoding encoding);
  void setSeparator(Separator separator);
  void setDecimal(DecimalMark mark);
  void setHeaderRow(int row);
  // The rest can be set directly (columns, units, reference, schedule);
  // setting a whole profile keeps the layout's guessed header row when the
  // profile's header row does not hold names in this file.
  ImportSettings& settings() { return settings_; }
  const ImportSettings& settings() const { return settings_; }
  void applyProfile(const ImportSettings& profile);

  // The sample as UTF-8 lines, the column names and the rows of a preview.
  std::vector<std::string> rawLines(int max) const;
  std::vector<std::string> columnNames() const;
  std::vector<std::vector<std::string>> previewRows(int max) const;
  int sampleLineCount() const { return static_cast<int>(head_.lines.size()); }
  // A key for the layout: the header's names, or the number of columns.
  std::string layoutKey() const;
  // What is missing before the whole file can be read ("" when nothing).
  std::string columnsProblem() const;

  // The file's offset from UTC in seconds, when its time column's name or
  // a line above the data names it ("Date Time, GMT+09:00").
  std::optional<double> utcOffset() const;
  // The level column's meaning as set, and why it was guessed so.
  std::string levelMeaning() const;
  const std::string& levelReason() const { return levelReason_; }
  // The unit of the level column chosen by the engineer (clears an unknown
  // unit the file named).
  void setLevelUnit(LevelUnit unit);
  // The order of the dates chosen by the engineer (answers dates that fit
  // both orders).
  void setDateOrder(DateOrder order);

  // An XML export (.xle): its lines are made by the reader, so the
  // encoding, separator and header row are not the engineer's to change.
  bool isXml() const { return head_.xle.has_value(); }
  // UTF-16 text: read as such, its encoding is not the engineer's to change.
  bool textDecoded() const { return head_.utf16; }
  // What --level-meaning names, as the dialog's choice of the level
  // column's meaning sets it. False, with *error set, for "pressure" when
  // the level's unit is not a pressure (a column of water counts as one).
  bool setLevelMeaning(LevelMeaning meaning, std::string* error);
  // The part of a long record to read (the whole file when empty); taken
  // by the next readAll.
  void setWindow(const Window& window) { window_ = window; }
  const Window& window() const { return window_; }

  // Reads the whole file (or its window) and proposes the start.
  bool readAll(std::string* error, const Progress& progress = {});
  // The barometric logger's file: its air pressure is subtracted from the
  // level (LoggerSeries.h compensatedLevel). An empty path removes it.
  // False, with *error set, when it cannot be read or does not cover the
  // record (read first: the record is needed to check that).
  bool setBarometer(const std::filesystem::path& path, std::string* error);
  const std::filesystem::path& barometerPath() const { return baroPath_; }
  // The level as read, before the air pressure was subtracted (empty
  // without a barometric file).
  const std::vector<double>& rawLevel() const { return rawLevel_; }
  // The air pressure's change over the record in kPa an hour, from the
  // barometric file (or the level before the start when the level is a
  // pressure and there is none); nothing when it cannot be seen.
  std::optional<double> pressureDriftKPaPerHour() const;
  const Series* series() const { return series_ ? &*series_ : nullptr; }
  std::size_t start() const { return start_; }
  std::size_t proposedStart() const { return proposedStart_; }
  void setStart(std::size_t index);
  // The start at a clock time (or elapsed seconds without clock times); a
  // clock time that falls on several days of the record is refused with
  // the days listed unless the moment has its date.
  bool setStartAt(const Moment& at, std::string* error);
  bool setStartAt(double at, std::string* error) { return setStartAt(Moment{std::nullopt, at}, error); }
  double timeOfDay(std::size_t index) const;
  // "2026/11/03 10:02:00" (LoggerSeries.h momentText) of a sample.
  std::string momentOf(std::size_t index) const;
  // Where the reference of the level is on the record ("" when it is not a
  // time, or not found: then *error says why).
  std::string referenceMoment(std::string* error) const;

  std::vector<std::size_t> scheduled() const;
  // h' of every sample, or nothing with *error set.
  std::optional<std::vector<double>> depths(std::string* error) const;
  // Writes the readings into the record (the other fields stay). False,
  // with *error set, for an unsteady test of fewer than three rows.
  bool apply(TestRecord& record, std::string* error) const;
  // The headings the record can take from the file: 平衡水位 ho (the
  // level before the start), Sp (the change at the start), 試験年月日 and
  // 試験方法 (回復 or 注水 by the direction of the change). Only empty
  // ones unless `overwrite` (an import into a test or a template takes
  // the record's own); the names of the headings filled. Call after apply
  // (the rows' h and s are derived again).
  std::vector<std::string> fillHeadings(TestRecord& record, bool overwrite) const;
  // True when the record has a quiet stretch before the start that gives
  // 平衡水位 ho (otherwise the test's own ho stays and gives s).
  bool equilibriumFromRecord() const;
  // What the data contradict in the readings written (s rising through
  // the test, the first s far from Sp, no k although the sizes are there,
  // h' above the pipe top, a drift of the quiet level before the start
  // that would move k, and, given the test as it was before the import,
  // its typed 試験方法 against the direction of the change at the start):
  // each a text; empty when nothing.
  std::vector<std::string> warnings(const TestRecord& record, const TestRecord* before = nullptr) const;
  // Duplicates, gaps, rows out of order and skipped rows, the air
  // pressure's drift or that it could not be checked ("" when none).
  std::string report() const;

private:
  void guessColumns();
  bool compensate(std::string* error);
  std::optional<std::string> airWarning(const TestRecord& record) const;
  // The static depth (median before the start) and the change of h' at
  // the start; nothing without a quiet stretch or a depth.
  std::optional<std::pair<double, double>> staticAndChange() const;
  bool slowTest() const;

  bool steady_;
  std::filesystem::path path_;
  FileHead head_;
  bool mixed_ = false;
  ImportSettings settings_;
  std::optional<Series> series_;
  std::size_t start_ = 0, proposedStart_ = 0;
  std::string levelReason_;
  Metadata metadata_;
  std::filesystem::path baroPath_;
  std::optional<Series> baro_;
  std::vector<double> rawLevel_;
  Window window_;
};

// The analysis of a test whose readings were replaced: the template's
// chosen points, a and k (and the steady method's Qo, hs, So) are emptied;
// the unsteady analysis is set by the suggested segment as the analysis
// dialog's 推奨区間 does, the steady one at the steady point
// (analysis/SteadyPoint) with its Qo, hs and So. s is read from ho: a test
// without a written ho gets no k. Scales still as a new test has them are
// set from the readings. digits: the digits of k (the program's setting).
void setAnalysisBySuggestion(TestRecord& record, int digitsPermeability);

// --- profiles ---------------------------------------------------------------
std::vector<std::string> profileLines(const ImportSettings& settings);
std::optional<ImportSettings> profileFromLines(const std::vector<std::string>& lines);
// The folder of the named profiles in the install folder.
std::filesystem::path profileFolder(const std::filesystem::path& installFolder);
// A name the profile file can carry (no path characters, not empty, 1..40 characters).
bool isProfileName(const std::string& name);
bool saveProfile(const std::filesystem::path& installFolder, const std::string& name,
                 const ImportSettings& settings, std::string* error);
// A profile by name (in the install folder) or by file path.
std::optional<ImportSettings> loadProfile(const std::filesystem::path& installFolder, const std::string& nameOrFile,
                                          std::string* error);
std::vector<std::string> profileNames(const std::filesystem::path& installFolder);
// The settings last used for a layout, kept in the install folder.
void rememberLayout(const std::filesystem::path& installFolder, const std::string& key, const ImportSettings& settings);
std::optional<ImportSettings> recallLayout(const std::filesystem::path& installFolder, const std::string& key);

// Sensor and reference depths within the range of the readings (m).
inline constexpr double kMaxReferenceDepth = 10000.0;
// False for a flat record: no change of the level of 5 mm or more.
bool levelChanges(const std::vector<double>& level);

} // namespace tov::logger
