#pragma once
// A logger's record read whole: one time and one level (and flow) per data
// row, read as a stream in bounded memory; the start of the test at the
// sudden change; the schedule that picks at most 120 real samples; the
// conversion of the level to h' and the readings written into a test.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "import/LoggerFormat.h"
#include "import/XleReader.h"
#include "record/TestRecord.h"

namespace tov::logger {

// Limits that keep a hostile file from taking the machine.
inline constexpr std::size_t kMaxLineBytes = 8192;
inline constexpr std::size_t kMaxSamples = 2'000'000;
inline constexpr std::size_t kHeadBytes = 256 * 1024;
inline constexpr int kHeadLines = 400;

// The first lines of a file (raw bytes, line ends removed).
struct FileHead {
  std::vector<std::string> lines;
  bool wholeFile = false;  // the sample holds the whole file
  bool utf16 = false;      // UTF-16 text: the bytes and lines are as UTF-8
  std::string bytes;       // the sampled bytes
  // An XML export (.xle): the lines are those it gives (UTF-8), and what
  // it says besides its samples.
  std::optional<XleInfo> xle;
};
// Nothing, with *error set, when the file cannot be read, is binary or has
// a line longer than kMaxLineBytes within the sample.
std::optional<FileHead> readHead(const std::filesystem::path& path, std::string* error);

enum class ReferenceKind { None, SensorDepth, DepthAtTime };
struct Reference {
  ReferenceKind kind = ReferenceKind::None;
  double depth = 0;     // m below the pipe top (the sensor's, or the water's at `at`)
  double at = -1;       // seconds of the day (clock) or elapsed seconds, for DepthAtTime
  std::optional<long> day;  // the date of `at` (days since 1970-01-01) when one was given
  bool atElapsed = false;   // `at` typed as a plain number (Moment::elapsed)
  Reference() = default;
  Reference(ReferenceKind k, double d, double a, std::optional<long> date = std::nullopt)
      : kind(k), depth(d), at(a), day(date) {}
  Reference(ReferenceKind k, double d, const Moment& moment)
      : kind(k), depth(d), at(moment.seconds), day(moment.day), atElapsed(moment.elapsed) {}
  Moment moment() const { return Moment{day, at, atElapsed}; }
  bool operator==(const Reference&) const = default;
};

// The part of a long record to read: from and to a moment (each optional).
struct Window {
  std::optional<Moment> from, to;
  bool operator==(const Window&) const = default;
};

enum class ScheduleKind { Automatic, Logarithmic, Interval, Every };
struct Schedule {
  ScheduleKind kind = ScheduleKind::Automatic;
  double interval = 60;  // s, for Interval
  bool operator==(const Schedule&) const = default;
};

// Everything the engineer can set; what a profile saves.
struct ImportSettings {
  Layout layout;
  Columns columns;
  Reference reference;
  Schedule schedule;
  bool operator==(const ImportSettings&) const = default;
};

// The whole record. Times are seconds: from the first date's midnight when
// the rows carry clock times, else the elapsed seconds as written.
struct Series {
  std::vector<double> time;
  std::vector<double> level;  // metres (of the level column's unit), as read
  std::vector<double> flow;   // m3/s, empty without a flow column
  bool hasClock = false;
  std::size_t lines = 0;          // lines read in all
  std::size_t skippedRows = 0;    // data rows without a time or a level
  std::size_t firstSkippedLine = 0;
  std::string firstSkippedText;   // what the first of them holds that could not be read ("時刻「2026/02/29 10:00」")
  std::optional<long> firstDay;   // the date of time 0 (days since 1970-01-01), when the rows carry one
  std::optional<double> utcOffset;  // s, when the file names its time zone ("GMT+09:00")
  std::size_t duplicates = 0;     // rows with the time of the row before
  std::size_t outOfOrder = 0;     // rows earlier than the row before (left out, the order kept)
  std::size_t firstOutOfOrderLine = 0;
  std::vector<std::size_t> outOfOrderLines;  // the first few of them
  // Clock changes: the clock set back by an hour (the hour repeats) or on
  // by an hour, with the sample step unchanged; t runs on through them.
  // Only where the time zone has summer time (readSeries).
  std::size_t clockBack = 0, clockForward = 0;
  std::size_t firstClockChangeLine = 0;
  std::size_t footerLines = 0;    // "END OF DATA FILE ...", "[...]" after the data
  std::size_t outsideWindow = 0;  // rows left out by the window read
  std::size_t xmlCutAtLine = 0;   // an .xle that ends inside its data: the line of the cut
  std::size_t outOfTime = 0;      // rows alone far from the record's time (a date a year ahead), left out
  std::size_t firstOutOfTimeLine = 0;
  double firstOutOfTimeAt = 0;
  std::size_t gaps = 0;           // steps over five times the usual step
  double largestGap = 0;
  double largestGapAt = 0;
};

// Return false to cancel; called with the bytes read so far and the total.
using Progress = std::function<bool(std::uintmax_t done, std::uintmax_t total)>;

// Reads the whole file with the settings, or the part of it in the window
// (the rows outside are read past, never kept): memory grows with the
// samples kept, never with the file. An XML file (isXmlFile) is read
// through XleReader as the lines it gives, UTF-16 text as UTF-8. A row
// alone far from the record's time is left out (outOfTime); an hour
// skipped or repeated is a clock change only with `summerTime` (the zone
// has it), else a gap or rows out of order. Nothing, with *error set, when
// it cannot be read, is cancelled, has a line over kMaxLineBytes, more than
// kMaxSamples rows in the window, a window it cannot place, or no row with
// a time and a level.
std::optional<Series> readSeries(const std::filesystem::path& path, const ImportSettings& settings,
                                 std::string* error, const Progress& progress = {}, const Window& window = {},
                                 bool summerTime = true);
// The same for text already in memory (tests, the fuzz target).
std::optional<Series> readSeriesText(std::string_view text, const ImportSettings& settings, std::string* error,
                                     const Window& window = {}, bool summerTime = true);
// The one rule of whether a file is XML, on its first kHeadBytes bytes
// (the preview and the whole reading alike): looksLikeXml.
bool isXmlFile(std::string_view head);

// A time of the series as the engineer reads it: "2026/11/03 10:00:00"
// when the rows carry dates, "2 日目 10:00:00" past the first day of clock
// times without dates, "10:00:00", or "12.5 s" of elapsed time.
std::string momentText(const Series& series, double t);
// The time of the series at a moment typed by the engineer: a clock time
// alone must fall on one day of the record only (else the days are
// listed and a date asked for); a date is matched to the rows' dates.
// Nothing, with *error set, when it is not within `tolerance` seconds of
// the record.
std::optional<double> timeOfMoment(const Series& series, const Moment& moment, double tolerance, std::string* error);

// The index of the sample where the test starts: just after the sudden
// change of the level that comes out of a quiet stretch; 0 when the record
// begins with the test already running.
std::size_t detectStart(const std::vector<double>& level);
// The sample nearest a time (seconds of the series' scale).
std::size_t nearestSample(const std::vector<double>& time, double at);

// The samples that become the readings: from `start`, at most 120, each a
// real sample; log-spaced times by default, every sample when there are no
// more than 120.
std::vector<std::size_t> scheduleSamples(const Series& series, std::size_t start, const Schedule& schedule);
ScheduleKind effectiveSchedule(const Series& series, std::size_t start, const Schedule& schedule);

// h' of every sample (m below the pipe top). Nothing, with *error set, when
// a level over the sensor has no reference or the reference time is not in
// the record.
std::optional<std::vector<double>> depthBelowTop(const Series& series, const Columns& columns,
                                                 const Reference& reference, std::string* error);

// Writes the scheduled samples into the reading table (t from the start,
// h', 時刻 "hh:mm" when the record has clock times, Q for the steady
// method) and derives h and s; every other row is emptied.
void writeReadings(TestRecord& record, const Series& series, const std::vector<double>& depth,
                   std::size_t start, const std::vector<std::size_t>& rows, bool steady);

// The barometric logger's air pressure (in metres of water, its series
// read with its own settings) subtracted from the level: taken to each of
// the level's times linearly between its samples, the first and last held
// for at most one of its steps beyond them; when both files name their time
// zone, the clocks are matched through it. Nothing, with *error set, when
// its record does not cover the level's. *driftPerHour: the air pressure's
// change over the level's record, in metres of water an hour.
std::optional<std::vector<double>> compensatedLevel(const Series& level, const Series& baro, std::string* error,
                                                     double* driftPerHour = nullptr);
// The change of the level an hour over the quiet samples before the start
// (a drift of the air pressure in a record that holds it); nothing when
// they span less than ten minutes.
std::optional<double> driftBeforeStart(const Series& series, std::size_t start);
// The quiet stretch before the start: its length, and the level's change
// an hour fitted over it with the fit's standard error (nothing when it
// spans less than ten minutes).
struct QuietStretch {
  double minutes = 0;
  std::optional<double> perHour;  // m/h of the level column
  double standardError = 0;       // m/h
};
QuietStretch quietStretch(const Series& series, std::size_t start);

// The findings worth telling: duplicates, rows out of order, gaps, skipped rows.
std::string seriesReport(const Series& series);

// A clock text "hh:mm[:ss]" or a plain number of seconds as seconds.
std::optional<double> parseTimeArgument(std::string_view text);
// True when this computer's time zone has summer time (its offset in
// January and in July differ): a record whose file names no zone is taken
// to be in it.
bool localZoneHasSummerTime();
// The median step between the first thousand samples (0 for fewer than two).
double usualStep(const Series& series);

} // namespace tov::logger
