#pragma once
// Reading a logger's text export: the encoding, the separator and decimal
// mark, the header row past the metadata lines, the meaning and unit of each
// column, and the dates and clock times of the rows. Everything here guesses
// from a sample of the file's first lines; the engineer can change each
// guess, and the whole file is read with the settings that result
// (LoggerSeries.h).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tov::logger {

enum class Encoding { Utf8, Utf8Bom, Cp932, Cp1252 };
enum class Separator { Comma, Semicolon, Tab, Spaces };
enum class DecimalMark { Point, Comma };
enum class DateOrder { YMD, MDY, DMY };
enum class TimeUnit { Seconds, Minutes };
// The level column: depth to water below the pipe top (already h'), or a
// height of water over the sensor (a level or a pressure), which needs a
// reference to become h'.
enum class LevelKind { DepthBelowTop, OverSensor };
// New units go at the end: profiles keep the number.
enum class LevelUnit { M, Cm, Mm, KPa, Pa, HPa, Psi, MH2O, CmH2O, MmH2O, Ft, In, Bar, InH2O, FtH2O, MPa, KgfCm2 };
inline constexpr int kLevelUnitCount = 17;
enum class FlowUnit { M3PerS, LPerS, LPerMin, Cm3PerS, MlPerMin, Gpm };
inline constexpr int kFlowUnitCount = 6;

// What is read where. Column indexes count from 0; -1 is "none".
struct Columns {
  int date = -1, time = -1, dateTime = -1, millis = -1, elapsed = -1, level = -1, flow = -1;
  DateOrder dateOrder = DateOrder::YMD;
  // The dates fit both the month-first and the day-first order and the
  // file names neither: the order must be chosen before the file is read.
  bool dateOrderUnknown = false;
  TimeUnit elapsedUnit = TimeUnit::Seconds;
  LevelKind levelKind = LevelKind::DepthBelowTop;
  LevelUnit levelUnit = LevelUnit::M;
  FlowUnit flowUnit = FlowUnit::LPerMin;
  // A unit the file names that is not known here ("" when none): it must
  // be chosen before the file is read, never taken as metres.
  std::string unknownUnit;
  bool operator==(const Columns&) const = default;
};

struct Layout {
  Encoding encoding = Encoding::Utf8;
  Separator separator = Separator::Comma;
  DecimalMark decimal = DecimalMark::Point;
  int headerRow = -1;    // line index (from 0) of the column names; -1 none
  int firstDataRow = 0;  // line index of the first data row
  bool operator==(const Layout&) const = default;
};

// --- encoding -------------------------------------------------------------
// A byte-order mark gives UTF-8 with it; otherwise valid UTF-8 is UTF-8,
// bytes that CP932 cannot hold (or a Latin-1 "°" before a letter) are
// Western European (CP1252, which holds Latin-1), and anything else CP932.
// *mixed is set when the sample holds both valid UTF-8 sequences and bytes
// that are not UTF-8.
Encoding detectEncoding(std::string_view head, bool* mixed = nullptr);
// NUL bytes or many control characters: not a text export.
bool looksBinary(std::string_view head);
// UTF-16 text: a byte-order mark, or text whose every other byte is zero.
enum class Utf16 { None, LittleEndian, BigEndian };
Utf16 detectUtf16(std::string_view head);
// UTF-16 as UTF-8, piece by piece (a pair or a surrogate cut between two
// pieces is kept for the next; the byte-order mark is dropped).
class Utf16Decoder {
public:
  explicit Utf16Decoder(Utf16 order) : bigEndian_(order == Utf16::BigEndian) {}
  std::string decode(std::string_view bytes);

private:
  bool bigEndian_;
  bool started_ = false;
  std::string carry_;
  unsigned high_ = 0;  // a high surrogate waiting for its low one
};
// One line as UTF-8 (the byte-order mark removed).
std::string toUtf8(std::string_view line, Encoding encoding);

// --- fields ---------------------------------------------------------------
// Splits a line at the separator; double quotes group a field and are
// removed; blanks around a field are dropped. Spaces: any run of blanks.
std::vector<std::string> splitFields(std::string_view line, Separator separator);
// A plain decimal number in the mark given (a comma mark also takes points
// when it is the only mark), with an optional sign and exponent.
std::optional<double> parseNumber(std::string_view text, DecimalMark mark);

// --- dates and clock times ------------------------------------------------
struct Stamp {
  std::optional<long> day;  // days since 1970-01-01 when a date is given
  double seconds = 0;       // of the day (a clock time), or 0 for a date only
  bool hasClock = false;
};
// "hh:mm", "hh:mm:ss", "hh:mm:ss.fff", with "AM"/"PM" or "午前"/"午後"
// before or after the clock ("11:45:00 午前", "午後 1:00", "AM 9:05").
// A clock that cannot exist (10:00:60, 24:30) is none; 24:00:00 is the
// day's end.
std::optional<double> parseClock(std::string_view text);
// "2026/11/03", "2026-11-03", "11/03/26" (MDY), "03.11.2026" (DMY) ...; a
// two-digit year is 20yy. A date that cannot exist (2026/02/29, 04/31) is none.
std::optional<long> parseDate(std::string_view text, DateOrder order);
// A date, a clock time, or both ("2026-11-03T10:00:00", "11/03/26 10:00:00 AM").
std::optional<Stamp> parseStamp(std::string_view text, DateOrder order);
// The order that reads every sample date (a part above 12 decides, or
// dates a day apart that are a month apart in the other order); YMD when
// the year comes first, MDY for slashes, DMY for dots. *sure is false where
// the dates fit both MDY and DMY and nothing decides (dots are day first).
DateOrder guessDateOrder(const std::vector<std::string>& dates, bool* sure = nullptr);
// The order a text names: "Date (MM/DD/YYYY)", "dd.mm.yyyy", "TT.MM.JJJJ",
// "年/月/日"; nothing when it names none.
std::optional<DateOrder> dateOrderNamed(std::string_view utf8Text);
// What --date-order takes: ymd, mdy, dmy.
std::optional<DateOrder> dateOrderFromName(std::string_view name);
// hh:mm:ss of seconds of the day (wrapped into one day).
std::string clockText(double secondsOfDay, bool withSeconds);
// "2026/11/03" of days since 1970-01-01.
std::string dateText(long day);
void civilFromDays(long day, int* year, int* month, int* dayOfMonth);

// A moment the engineer types: a clock time, a date with a clock time
// ("2026-08-05T09:50:00", "2026/08/05 09:50:00"), or elapsed seconds.
struct Moment {
  std::optional<long> day;  // days since 1970-01-01 when a date is given
  double seconds = 0;       // of the day, or elapsed seconds
  bool elapsed = false;     // typed as a plain number of seconds: no moment of a record of clock times
  bool operator==(const Moment&) const = default;
};
// The most seconds a moment typed as a number may hold (about 31 years).
inline constexpr double kMaxMomentSeconds = 1e9;
// Nothing for a text that is none of these, a clock or date that cannot
// exist, or a number beyond kMaxMomentSeconds.
std::optional<Moment> parseMoment(std::string_view text);

// The offset from UTC a text gives ("Date Time, GMT+09:00", "UTC-5",
// "GMT-07:00"), in seconds; nothing when it gives none.
std::optional<double> utcOffsetFromText(std::string_view text);

// --- units ----------------------------------------------------------------
// Metres of water per unit.
double levelUnitToMetres(LevelUnit unit);
// Cubic metres a second per unit; seconds per unit.
double flowUnitToM3PerS(FlowUnit unit);
bool isPressureUnit(LevelUnit unit);
// mH2O, cmH2O, mmH2O, inH2O, ftH2O: a pressure written as a column of water.
bool isWaterColumnUnit(LevelUnit unit);
const char* levelUnitName(LevelUnit unit);
const char* flowUnitName(FlowUnit unit);

// --- guessing ---------------------------------------------------------------
// The separator, decimal mark and header row of the sample lines (raw bytes,
// line ends removed, in the encoding given). Nothing when no block of rows
// with a number or a clock time in them is found.
// A separator given is used instead of guessing one.
std::optional<Layout> guessLayout(const std::vector<std::string>& lines, Encoding encoding,
                                  std::optional<Separator> separator = std::nullopt);
// The columns, from the header's names (UTF-8; empty when there is no
// header) and some data rows. `steady` also looks for a flow column.
// *reason says why the level column is read as it is (shown beside it).
Columns guessColumns(const std::vector<std::string>& names,
                     const std::vector<std::vector<std::string>>& rows, bool steady, std::string* reason = nullptr);
// The unit a column's name gives, when it names one.
std::optional<LevelUnit> levelUnitFromName(std::string_view utf8Name);
// A unit written alone ("kPa", "cmWS", "ft"), as unit lines give it.
std::optional<LevelUnit> levelUnitFromToken(std::string_view utf8Token);
// A unit the name gives in brackets that is not a known one ("" when none).
std::string unknownUnitInName(std::string_view utf8Name);

// What the lines before the data say about the level: a unit ("UNIT: kPa",
// "Reference level = 1045.000 cm" of the first channel that has one),
// whether the values are depths below a reference ("depth to water"), and
// the order of the dates ("Date format: DD/MM/YYYY").
struct Metadata {
  std::optional<LevelUnit> levelUnit;
  std::string unknownUnit;
  bool depthBelowTop = false;
  std::optional<DateOrder> dateOrder;
};
Metadata readMetadata(const std::vector<std::string>& utf8Lines);
// The columns with what the metadata says where the names say nothing
// (unitFromName: the level column's name gives its unit).
void applyMetadata(Columns& columns, const Metadata& metadata, bool unitFromName, std::string* reason = nullptr);
// "管頭からの深さ", "センサー上の水位", "センサー上の圧力" for the level column as set.
std::string levelMeaningText(const Columns& columns);
// What --level-meaning names: below-top (h'), above-sensor, pressure (a
// level over the sensor given in a pressure unit).
enum class LevelMeaning { BelowTop, AboveSensor, Pressure };
std::optional<LevelMeaning> levelMeaningFromName(std::string_view name);
std::optional<FlowUnit> flowUnitFromName(std::string_view utf8Name);

} // namespace tov::logger
