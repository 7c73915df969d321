#include "import/LoggerImport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>

#include "analysis/Analysis.h"
#include "analysis/AutoScales.h"
#include "files/Platform.h"
#include "files/TextFile.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"

namespace tov::logger {

namespace fs = std::filesystem;

namespace {

constexpr double kMetresPerKPa = 0.101972;
// A test whose readings span this long is slow: the air may move during it.
constexpr double kSlowTestSeconds = 1800;
// The quiet record needed before a slow test to see the air's drift.
constexpr double kLeastQuietMinutes = 30;
// A drift below this (m of water an hour, 0.02 kPa/h) is not told.
constexpr double kLeastDriftPerHour = 0.002;
// An estimated change of k from the drift that is a contradiction.
constexpr double kLeastAirEffectPercent = 3;
// h' more than this above the pipe top (median, m) is not water in a borehole.
constexpr double kMostAboveTop = 1.0;

} // namespace

// --- the session --------------------------------------------------------------

bool ImportSession::open(const fs::path& path, std::string* error) {
  auto head = readHead(path, error);
  if (!head) return false;
  path_ = path;
  head_ = std::move(*head);
  series_.reset();
  window_ = {};
  const Encoding encoding = detectEncoding(head_.bytes, &mixed_);
  settings_ = ImportSettings{};
  settings_.layout.encoding = encoding;
  const auto layout = guessLayout(head_.lines, encoding);
  if (!layout) {
    bool anyText = false;
    for (const std::string& line : head_.lines) anyText = anyText || line.find_first_not_of(" \t,;\"") != std::string::npos;
    *error = anyText ? "数値の列がありません（時刻と水位の並ぶ行が見つかりません）" : "データの行がありません";
    return false;
  }
  settings_.layout = *layout;
  baro_.reset();
  baroPath_.clear();
  rawLevel_.clear();
  guessColumns();
  return true;
}

namespace {

std::string fixed3(double value) {
  std::string text = cformat("%.3f", value);
  if (text == "-0.000") text = "0.000";
  return text;
}

} // namespace

void ImportSession::guessColumns() {
  std::vector<std::string> names;
  if (settings_.layout.headerRow >= 0 && settings_.layout.headerRow < sampleLineCount())
    names = splitFields(toUtf8(head_.lines[static_cast<std::size_t>(settings_.layout.headerRow)], settings_.layout.encoding),
                        settings_.layout.separator);
  std::vector<std::vector<std::string>> rows;
  for (int i = settings_.layout.firstDataRow; i < sampleLineCount() && rows.size() < 50; ++i) {
    const std::string& line = head_.lines[static_cast<std::size_t>(i)];
    // Blank lines and a footer ("END OF DATA FILE") say nothing of the columns.
    if (line.find_first_of("0123456789") == std::string::npos) continue;
    auto fields = splitFields(toUtf8(line, settings_.layout.encoding), settings_.layout.separator);
    if (settings_.layout.decimal == DecimalMark::Point)
      for (std::string& field : fields)
        if (field.find(',') != std::string::npos) field = "?";
    rows.push_back(std::move(fields));
  }
  const Reference reference = settings_.reference;
  const Schedule schedule = settings_.schedule;
  settings_.columns = logger::guessColumns(names, rows, steady_, &levelReason_);
  // What the lines above the data say where the names say nothing.
  std::vector<std::string> above;
  const int end = std::min(settings_.layout.headerRow >= 0 ? settings_.layout.headerRow : settings_.layout.firstDataRow,
                           sampleLineCount());
  for (int i = 0; i < end; ++i) above.push_back(toUtf8(head_.lines[static_cast<std::size_t>(i)], settings_.layout.encoding));
  // Dates that fit both orders in the rows guessed from: the whole sample
  // may hold the day that decides (a record over midnight).
  Columns& c = settings_.columns;
  if (const int column = c.dateTime >= 0 ? c.dateTime : c.date; c.dateOrderUnknown && column >= 0) {
    std::vector<std::string> dates;
    for (int i = settings_.layout.firstDataRow; i < sampleLineCount(); ++i) {
      auto fields = splitFields(toUtf8(head_.lines[static_cast<std::size_t>(i)], settings_.layout.encoding),
                                settings_.layout.separator);
      if (static_cast<std::size_t>(column) < fields.size()) dates.push_back(std::move(fields[static_cast<std::size_t>(column)]));
    }
    bool sure = false;
    const DateOrder order = guessDateOrder(dates, &sure);
    if (sure) c.dateOrder = order, c.dateOrderUnknown = false;
  }
  metadata_ = readMetadata(above);
  const bool unitFromName =
      settings_.columns.level >= 0 && static_cast<std::size_t>(settings_.columns.level) < names.size() &&
      levelUnitFromName(names[static_cast<std::size_t>(settings_.columns.level)]).has_value();
  applyMetadata(settings_.columns, metadata_, unitFromName, &levelReason_);
  // An .xle's level offset is taken off its values (XleReader): said beside the meaning.
  if (head_.xle && settings_.columns.level >= 3)
    for (const XleChannel& channel : head_.xle->channels)
      if (&channel - head_.xle->channels.data() == settings_.columns.level - 3 && channel.offset != 0)
        levelReason_ += cformat("（.xle のレベルオフセット %g %s を差し引いた値）", channel.offset,
                                (channel.offsetUnit.empty() ? channel.unit : channel.offsetUnit).c_str());
  settings_.reference = reference;
  settings_.schedule = schedule;
  series_.reset();
}

std::optional<double> ImportSession::utcOffset() const {
  const Columns& c = settings_.columns;
  const auto names = columnNames();
  for (const int column : {c.dateTime, c.time, c.date})
    if (column >= 0 && static_cast<std::size_t>(column) < names.size())
      if (const auto offset = utcOffsetFromText(names[static_cast<std::size_t>(column)])) return offset;
  // A line above the data: "Time zone: UTC+09:00".
  const int end = std::min(settings_.layout.firstDataRow, sampleLineCount());
  for (int i = 0; i < end; ++i) {
    const std::string line = toUtf8(head_.lines[static_cast<std::size_t>(i)], settings_.layout.encoding);
    if (line.find("GMT") == std::string::npos && line.find("UTC") == std::string::npos) continue;
    if (const auto offset = utcOffsetFromText(line)) return offset;
  }
  return std::nullopt;
}

std::string ImportSession::levelMeaning() const { return levelMeaningText(settings_.columns); }

bool ImportSession::setLevelMeaning(LevelMeaning meaning, std::string* error) {
  Columns& c = settings_.columns;
  if (meaning == LevelMeaning::Pressure && !isPressureUnit(c.levelUnit) && !isWaterColumnUnit(c.levelUnit)) {
    *error = messageText(IDS_PRESSURE_NEEDS_UNIT);
    return false;
  }
  c.levelKind = meaning == LevelMeaning::BelowTop ? LevelKind::DepthBelowTop : LevelKind::OverSensor;
  levelReason_ = "指定による";
  series_.reset();
  return true;
}

void ImportSession::setDateOrder(DateOrder order) {
  settings_.columns.dateOrder = order;
  settings_.columns.dateOrderUnknown = false;
  series_.reset();
}

void ImportSession::setLevelUnit(LevelUnit unit) {
  settings_.columns.levelUnit = unit;
  settings_.columns.unknownUnit.clear();
  series_.reset();
}

void ImportSession::setSteady(bool steady) {
  if (steady == steady_) return;
  steady_ = steady;
  // The flow column as the names give it; the columns set stay, and so
  // does the record read when no flow column is found.
  const Columns set = settings_.columns;
  const std::string reason = levelReason_;
  std::optional<Series> read = std::move(series_);
  guessColumns();
  const Columns guessed = settings_.columns;
  settings_.columns = set;
  settings_.columns.flow = steady ? guessed.flow : -1;
  if (steady) settings_.columns.flowUnit = guessed.flowUnit;
  levelReason_ = reason;
  if (settings_.columns == set) series_ = std::move(read);
}

void ImportSession::setEncoding(Encoding encoding) {
  settings_.layout.encoding = encoding;
  guessColumns();
}

void ImportSession::setSeparator(Separator separator) {
  settings_.layout.separator = separator;
  // The rows of data and the header as that separator splits them.
  if (const auto layout = guessLayout(head_.lines, settings_.layout.encoding, separator)) settings_.layout = *layout;
  guessColumns();
}

void ImportSession::setDecimal(DecimalMark mark) {
  settings_.layout.decimal = mark;
  guessColumns();
}

void ImportSession::setHeaderRow(int row) {
  row = std::clamp(row, -1, sampleLineCount() - 1);
  settings_.layout.headerRow = row;
  if (settings_.layout.firstDataRow <= row) settings_.layout.firstDataRow = row + 1;
  if (row >= 0 && settings_.layout.firstDataRow > row + 1) {
    // The data begin at the first line after the header that holds values.
    for (int i = row + 1; i < sampleLineCount(); ++i)
      if (head_.lines[static_cast<std::size_t>(i)].find_first_not_of(" \t,;") != std::string::npos) {
        settings_.layout.firstDataRow = i;
        break;
      }
  }
  guessColumns();
}

void ImportSession::applyProfile(const ImportSettings& profile) {
  const Layout guessed = settings_.layout;
  const Columns guessedColumns = settings_.columns;
  settings_ = profile;
  // A profile made for the other method: the flow column stays as guessed.
  if (!steady_) settings_.columns.flow = -1;
  else if (settings_.columns.flow < 0) settings_.columns.flow = guessedColumns.flow, settings_.columns.flowUnit = guessedColumns.flowUnit;
  // The number of metadata lines changes from file to file: keep the rows
  // found in this file unless the profile's header row holds the same names.
  if (profile.layout.headerRow != guessed.headerRow) {
    settings_.layout.headerRow = guessed.headerRow;
    settings_.layout.firstDataRow = guessed.firstDataRow;
  }
  series_.reset();
}

std::vector<std::string> ImportSession::rawLines(int max) const {
  std::vector<std::string> lines;
  for (int i = 0; i < sampleLineCount() && i < max; ++i)
    lines.push_back(toUtf8(head_.lines[static_cast<std::size_t>(i)], settings_.layout.encoding));
  return lines;
}

std::vector<std::string> ImportSession::columnNames() const {
  std::vector<std::string> names;
  if (settings_.layout.headerRow >= 0 && settings_.layout.headerRow < sampleLineCount())
    names = splitFields(toUtf8(head_.lines[static_cast<std::size_t>(settings_.layout.headerRow)], settings_.layout.encoding),
                        settings_.layout.separator);
  std::size_t width = names.size();
  for (const auto& row : previewRows(20)) width = std::max(width, row.size());
  names.resize(std::min<std::size_t>(width, 200));
  for (std::size_t i = 0; i < names.size(); ++i)
    if (names[i].empty()) names[i] = "列 " + std::to_string(i + 1);
  return names;
}

std::vector<std::vector<std::string>> ImportSession::previewRows(int max) const {
  std::vector<std::vector<std::string>> rows;
  for (int i = settings_.layout.firstDataRow; i < sampleLineCount() && static_cast<int>(rows.size()) < max; ++i) {
    auto fields = splitFields(toUtf8(head_.lines[static_cast<std::size_t>(i)], settings_.layout.encoding),
                              settings_.layout.separator);
    if (fields.size() > 200) fields.resize(200);
    rows.push_back(std::move(fields));
  }
  return rows;
}

std::string ImportSession::layoutKey() const {
  if (settings_.layout.headerRow >= 0 && settings_.layout.headerRow < sampleLineCount()) {
    std::string key = toUtf8(head_.lines[static_cast<std::size_t>(settings_.layout.headerRow)], settings_.layout.encoding);
    std::replace(key.begin(), key.end(), '\t', ' ');
    return key.substr(0, 500);
  }
  const auto rows = previewRows(1);
  return "#" + std::to_string(rows.empty() ? 0 : rows.front().size());
}

std::string ImportSession::columnsProblem() const {
  const Columns& c = settings_.columns;
  if (c.dateTime < 0 && c.time < 0 && c.elapsed < 0) return "時刻（または経過時間）の列を決められません. 列を指定してください";
  if (c.level < 0) return "水位の列を決められません. 列を指定してください";
  if (!c.unknownUnit.empty())
    return "水位の単位「" + c.unknownUnit + "」が分かりません. 単位を指定してください（m と見なしません）";
  if (c.dateOrderUnknown && (c.date >= 0 || c.dateTime >= 0)) {
    std::string example;
    for (const auto& row : previewRows(50)) {
      const int column = c.dateTime >= 0 ? c.dateTime : c.date;
      if (static_cast<std::size_t>(column) < row.size() && !row[static_cast<std::size_t>(column)].empty()) {
        example = row[static_cast<std::size_t>(column)];
        example = example.substr(0, example.find_first_of(" T"));
        break;
      }
    }
    return messageText(IDS_DATE_ORDER_UNKNOWN, example.substr(0, 40));
  }
  if (steady_ && c.flow < 0) return "流量の列を決められません. 列を指定してください";
  return {};
}

bool ImportSession::readAll(std::string* error, const Progress& progress) {
  series_.reset();
  if (const std::string problem = columnsProblem(); !problem.empty()) {
    *error = problem;
    return false;
  }
  // A file that names its offset from UTC keeps that offset all through:
  // summer time only where it names none and this computer's zone has it.
  const bool summerTime = !utcOffset() && localZoneHasSummerTime();
  auto series = readSeries(path_, settings_, error, progress, window_, summerTime);
  if (!series) return false;
  series_ = std::move(*series);
  series_->utcOffset = utcOffset();
  rawLevel_.clear();
  if (baro_ && !compensate(error)) {
    series_.reset();
    return false;
  }
  proposedStart_ = start_ = detectStart(series_->level);
  return true;
}

bool ImportSession::compensate(std::string* error) {
  if (rawLevel_.empty()) rawLevel_ = series_->level;
  Series raw = *series_;
  raw.level = rawLevel_;
  auto level = compensatedLevel(raw, *baro_, error);
  if (!level) return false;
  series_->level = std::move(*level);
  return true;
}

bool ImportSession::setBarometer(const fs::path& path, std::string* error) {
  if (path.empty()) {
    baro_.reset();
    baroPath_.clear();
    if (series_ && !rawLevel_.empty()) series_->level = rawLevel_;
    rawLevel_.clear();
    if (series_) proposedStart_ = start_ = detectStart(series_->level);
    return true;
  }
  ImportSession reader(false);
  if (!reader.open(path, error)) return false;
  // The air pressure is the level column of the barometric file.
  if (!reader.readAll(error)) return false;
  if (!reader.series()->hasClock) {
    *error = "気圧のファイルに時刻の列がありません";
    return false;
  }
  const std::optional<Series> previous = baro_;
  baro_ = *reader.series();
  if (series_ && !compensate(error)) {
    baro_ = previous;
    return false;
  }
  baroPath_ = path;
  if (series_) proposedStart_ = start_ = detectStart(series_->level);
  return true;
}

std::optional<double> ImportSession::pressureDriftKPaPerHour() const {
  if (!series_) return std::nullopt;
  if (baro_) {
    Series raw = *series_;
    if (!rawLevel_.empty()) raw.level = rawLevel_;
    std::string error;
    double drift = 0;
    if (!compensatedLevel(raw, *baro_, &error, &drift)) return std::nullopt;
    return drift / kMetresPerKPa;
  }
  // A record of absolute pressure: the quiet level before the start drifts
  // with the air.
  if (!isPressureUnit(settings_.columns.levelUnit) && settings_.columns.levelKind != LevelKind::OverSensor)
    return std::nullopt;
  const auto drift = driftBeforeStart(*series_, start_);
  if (!drift) return std::nullopt;
  return *drift / kMetresPerKPa;
}

void ImportSession::setStart(std::size_t index) {
  if (series_ && index < series_->time.size()) start_ = index;
}

double ImportSession::timeOfDay(std::size_t index) const {
  return series_ && index < series_->time.size() ? series_->time[index] : 0.0;
}

std::string ImportSession::momentOf(std::size_t index) const {
  return series_ && index < series_->time.size() ? momentText(*series_, series_->time[index]) : std::string();
}

std::string ImportSession::referenceMoment(std::string* error) const {
  const Reference& r = settings_.reference;
  if (!series_ || r.kind != ReferenceKind::DepthAtTime) return {};
  const auto at = timeOfMoment(*series_, r.moment(), std::max(60.0, 2 * usualStep(*series_)), error);
  return at ? momentText(*series_, *at) : std::string();
}

bool ImportSession::setStartAt(const Moment& at, std::string* error) {
  if (!series_ || series_->time.empty()) return false;
  std::string why;
  const auto t = timeOfMoment(*series_, at, 60, &why);
  if (!t) {
    *error = "開始時刻: " + why;
    return false;
  }
  start_ = nearestSample(series_->time, *t);
  return true;
}

std::vector<std::size_t> ImportSession::scheduled() const {
  return series_ ? scheduleSamples(*series_, start_, settings_.schedule) : std::vector<std::size_t>{};
}

std::optional<std::vector<double>> ImportSession::depths(std::string* error) const {
  if (!series_) {
    *error = "データを読んでいません";
    return std::nullopt;
  }
  if (settings_.columns.levelKind == LevelKind::OverSensor && settings_.reference.kind != ReferenceKind::None &&
      !(std::abs(settings_.reference.depth) <= kMaxReferenceDepth)) {
    *error = "センサーまたは基準の深さは -10000〜10000 m で指定してください";
    return std::nullopt;
  }
  return depthBelowTop(*series_, settings_.columns, settings_.reference, error);
}

bool ImportSession::apply(TestRecord& record, std::string* error) const {
  const auto depth = depths(error);
  if (!depth) return false;
  const auto rows = scheduled();
  if (rows.empty()) {
    *error = "開始の後にデータがありません";
    return false;
  }
  if (!steady_ && rows.size() < static_cast<std::size_t>(kLeastFitRows)) {
    *error = messageText(IDS_TOO_FEW_ROWS, {std::to_string(rows.size()), std::to_string(kLeastFitRows)});
    return false;
  }
  writeReadings(record, *series_, *depth, start_, rows, steady_);
  return true;
}

std::string ImportSession::report() const {
  std::string text = series_ ? seriesReport(*series_) : std::string();
  if (mixed_) text = "文字コードが混在しています（CP932 として読みます）\n" + text;
  if (series_ && series_->xmlCutAtLine > 0)
    text += "XML が " + std::to_string(series_->xmlCutAtLine) + " 行目で途中で終わっています（その前までを読みました）\n";
  if (series_ && series_->outsideWindow > 0)
    text += "読む範囲の外の " + std::to_string(series_->outsideWindow) + " 行は読みませんでした\n";
  if (baro_) {
    if (const auto drift = pressureDriftKPaPerHour(); drift && std::abs(*drift) >= 0.02)
      text += cformat("気圧の変化 %+.2f kPa/h（気圧のファイルで補正しました）\n", *drift);
  } else if (series_ && !steady_ && settings_.columns.levelKind == LevelKind::OverSensor) {
    // An absolute logger's level holds the air: its drift is seen in the
    // quiet record before the start, when there is enough of it.
    // A drift is seen in ten minutes when it is large; that there is none
    // takes half an hour to tell.
    const QuietStretch quiet = quietStretch(*series_, start_);
    if (quiet.perHour && std::abs(*quiet.perHour) >= kLeastDriftPerHour &&
        std::abs(*quiet.perHour) > 3 * quiet.standardError)
      text += cformat("気圧の変化 %+.2f kPa/h（試験前の水位から）\n", *quiet.perHour / kMetresPerKPa);
    else if (slowTest() && quiet.minutes < kLeastQuietMinutes)
      text += messageText(IDS_AIR_NOT_CHECKED, cformat("%.0f", std::floor(quiet.minutes))) + "\n";
    else if (quiet.perHour && slowTest())
      text += messageText(IDS_AIR_NO_DRIFT, {cformat("%.0f", std::floor(quiet.minutes)),
                                             cformat("%+.2f", *quiet.perHour / kMetresPerKPa)}) + "\n";
  }
  return text;
}

bool ImportSession::slowTest() const {
  if (!series_) return false;
  const auto rows = scheduled();
  return !rows.empty() && series_->time[rows.back()] - series_->time[start_] >= kSlowTestSeconds;
}

std::vector<std::string> ImportSession::fillHeadings(TestRecord& record, bool overwrite) const {
  std::vector<std::string> filled;
  if (!series_) return filled;
  std::string error;
  const auto depth = depths(&error);
  if (!depth || depth->empty()) return filled;
  auto put = [&](int field, const std::string& text, const char* name) {
    if (!overwrite && !record.field(field).empty()) return;
    if (record.field(field) == text) return;
    record.setField(field, text);
    filled.push_back(name);
  };
  const std::size_t start = std::min(start_, depth->size() - 1);
  if (const auto levels = staticAndChange()) {
    const auto [staticDepth, change] = *levels;
    put(F_equilibriumLevel, fixed3(record.fieldValue(F_pipeTopHeight) - staticDepth), "平衡水位 ho");
    if (!steady_) {
      put(F_startHeadDifference, fixed3(std::abs(change)), "Sp");
      if (std::abs(change) >= 0.005) put(F_testMethod, change > 0 ? "汲上げ(回復)" : "注水", "試験方法");
    }
  }
  if (series_->firstDay && start < series_->time.size()) {
    int y = 0, m = 0, d = 0;
    civilFromDays(*series_->firstDay + static_cast<long>(std::floor(series_->time[start] / 86400.0)), &y, &m, &d);
    const std::size_t before = filled.size();
    put(F_testDateYear, std::to_string(y), "試験年月日");
    put(F_testDateMonth, std::to_string(m), "試験年月日");
    put(F_testDateDay, std::to_string(d), "試験年月日");
    filled.resize(std::min(filled.size(), before + 1));
  }
  record.deriveAllRows();
  return filled;
}

bool ImportSession::equilibriumFromRecord() const { return series_ && start_ >= 3 && start_ < series_->time.size(); }

std::optional<std::pair<double, double>> ImportSession::staticAndChange() const {
  if (!equilibriumFromRecord()) return std::nullopt;
  std::string error;
  const auto depth = depths(&error);
  if (!depth || depth->size() <= start_) return std::nullopt;
  // The static level: the median of the samples before the start.
  std::vector<double> before(depth->begin() + static_cast<std::ptrdiff_t>(start_ > 60 ? start_ - 60 : 0),
                             depth->begin() + static_cast<std::ptrdiff_t>(start_));
  std::nth_element(before.begin(), before.begin() + static_cast<std::ptrdiff_t>(before.size() / 2), before.end());
  const double staticDepth = before[before.size() / 2];
  return std::pair{staticDepth, (*depth)[start_] - staticDepth};
}

std::vector<std::string> ImportSession::warnings(const TestRecord& record, const TestRecord* before) const {
  std::vector<std::string> texts;
  if (steady_) return texts;
  // A bail lowers the water (h' grows at the start), an injection raises it.
  if (const auto levels = staticAndChange(); before && levels && std::abs(levels->second) >= 0.005) {
    const std::string& method = before->testMethod();
    const bool bail = method.find("汲上") != std::string::npos || method.find("揚水") != std::string::npos ||
                      method.find("回復") != std::string::npos;
    const bool injection = method.find("注水") != std::string::npos || method.find("投入") != std::string::npos;
    if ((bail && levels->second < 0) || (injection && levels->second > 0))
      texts.push_back(messageText(IDS_METHOD_AGAINST_RECORD,
                                  {method, levels->second < 0 ? "上がっています" : "下がっています"}));
  }
  const int n = record.countRows(C_time);
  if (n < 3) return texts;
  auto s = [&](int row) { return toDouble(record.cell(row, C_headDifference)); };
  const double first = s(1), last = s(n);
  // h' far above the pipe top: an absolute level read with the sensor's
  // depth still holds the air (about 10.3 m of water).
  std::vector<double> depths;
  for (int row = 1; row <= n; ++row) depths.push_back(toDouble(record.cell(row, C_pipeLevel)));
  std::nth_element(depths.begin(), depths.begin() + static_cast<std::ptrdiff_t>(depths.size() / 2), depths.end());
  const double medianDepth = depths[depths.size() / 2];
  const bool aboveTop = medianDepth < -kMostAboveTop;
  const char* hint = aboveTop ? "（h' が管口より上です: 値に大気圧が含まれていないか確かめてください）"
                              : "（水位の列の意味を確かめてください: 管口からの水位 h' か、センサー上の水位か）";
  if (aboveTop) texts.push_back(messageText(IDS_LEVEL_ABOVE_TOP, cformat("%.2f", medianDepth)));
  if (last > first + std::max(0.005, 0.1 * first))
    texts.push_back(cformat("s が試験の間に大きくなっています（%.3f → %.3f m）", first, last) + hint);
  const double sp = record.fieldValue(F_startHeadDifference);
  if (record.fieldIsNumber(F_startHeadDifference) && sp > 0 && std::abs(first - sp) > std::max(0.05, 0.5 * sp))
    texts.push_back(cformat("最初の s (%.3f m) が Sp (%.3f m) から離れています", first, sp) + hint);
  // Whether s falls: over the rows down to a fifth of the first s (a long
  // record's tail, where s is noise or a trend, says nothing of it).
  int falling = n;
  for (int row = 2; row <= n; ++row)
    if (s(row) < 0.2 * first) {
      falling = std::max(row, 3);
      break;
    }
  const LineFit fit = fitLine(unsteadySamples(record), 1, falling);
  const bool sized = record.fieldValue(F_sectionLength) >= 0.001 && record.fieldValue(F_boreDiameter) >= 0.001;
  if (fit.usable && !(fit.a > 0) && texts.empty()) {
    texts.push_back(std::string("s が減らないので k が求まりません") + hint);
  } else if (sized && texts.empty() && record.fieldIsNumber(F_equilibriumLevel)) {
    // With the sizes there, the suggested segment must give k.
    TestRecord analysed = record;
    setAnalysisBySuggestion(analysed, 2);
    if (analysed.permeabilityText().empty()) texts.push_back(messageText(IDS_NO_K_FROM_IMPORT));
  }
  if (!equilibriumFromRecord() && !record.fieldIsNumber(F_equilibriumLevel)) texts.push_back(messageText(IDS_NO_EQUILIBRIUM));
  if (const auto air = airWarning(record)) texts.push_back(*air);
  return texts;
}

std::optional<std::string> ImportSession::airWarning(const TestRecord& record) const {
  if (!series_ || baro_ || steady_ || settings_.columns.levelKind != LevelKind::OverSensor) return std::nullopt;
  const QuietStretch quiet = quietStretch(*series_, start_);
  if (!quiet.perHour || std::abs(*quiet.perHour) < kLeastDriftPerHour || std::abs(*quiet.perHour) <= 3 * quiet.standardError)
    return std::nullopt;
  // The readings as they would be had the level not drifted since the
  // static level was taken (the middle of the samples before the start):
  // h' moves the other way from the level over the sensor.
  const std::size_t taken = start_ - std::min<std::size_t>(start_, 60) / 2;
  const double since = series_->time[start_] - series_->time[taken];
  const int n = record.countRows(C_time);
  TestRecord steadyAir = record;
  for (int row = 1; row <= n; ++row) {
    const double t = toDouble(record.cell(row, C_time)), depth = toDouble(record.cell(row, C_pipeLevel));
    steadyAir.setCell(row, C_pipeLevel, cformat("%.4f", depth + *quiet.perHour * (t + since) / 3600.0));
  }
  steadyAir.deriveAllRows();
  // Over the analysed rows (the suggested segment when set, else all).
  int first = record.fieldInt(F_point1Row), last = record.fieldInt(F_point2Row);
  if (first < 1 || last <= first || last > n) first = 1, last = n;
  const LineFit asRead = fitLine(unsteadySamples(record), first, last);
  const LineFit corrected = fitLine(unsteadySamples(steadyAir), first, last);
  if (!asRead.usable || !corrected.usable || !(asRead.a > 0) || !(corrected.a > 0)) return std::nullopt;
  const double change = (corrected.a / asRead.a - 1.0) * 100.0;
  if (std::abs(change) < kLeastAirEffectPercent) return std::nullopt;
  return messageText(IDS_AIR_DRIFT_EFFECT, {cformat("%+.4f", *quiet.perHour), cformat("%+.2f", *quiet.perHour / kMetresPerKPa),
                                            cformat("%+.0f", change)});
}

bool levelChanges(const std::vector<double>& level) {
  if (level.size() < 2) return false;
  const auto [low, high] = std::minmax_element(level.begin(), level.end());
  if (*high - *low < 0.005) return false;
  return detectStart(level) > 0 || std::abs(level.front() - level.back()) >= 0.005;
}

void setAnalysisBySuggestion(TestRecord& record, int digitsPermeability) {
  for (const int field : {F_pointT1, F_pointT2, F_pointS1, F_pointS2, F_point1Row, F_point2Row, F_gradientText,
                          F_permeabilityText, F_steadyFlow, F_steadyLevel, F_steadyHeadDifference})
    record.setField(field, "");
  const bool steady = record.fieldInt(F_formulaKind) == Steady;
  // s is read from ho: without one there is no k to set (the import says
  // why, and so does 検討事項). Without the sizes neither (the analysis
  // asks for them when it is opened).
  const bool sized = record.fieldValue(F_sectionLength) >= 0.001 && record.fieldValue(F_boreDiameter) >= 0.001;
  const bool withHo = record.fieldIsNumber(F_equilibriumLevel);
  if (steady) {
    // The steady dialog opens at the point; k, Qo, hs and So are that row's.
    if (const int row = steadyPointRow(record); row >= 1) {
      record.setField(F_point1Row, std::to_string(row));
      record.setField(F_pointT1, record.cell(row, C_time));
      record.setField(F_pointT2, record.cell(row, C_level));
      record.setField(F_pointS1, record.cell(row, C_flow));
      record.setField(F_pointS2, record.cell(row, C_headDifference));
      if (sized) {
        record.setField(F_gradientText, cformat("%g", std::log10(2 * geometryOf(record).ratio())));
        if (const auto k = withHo ? steadyPermeability(record, row) : std::nullopt) {
          record.setField(F_permeabilityText, formatPermeability(*k, digitsPermeability));
          record.setField(F_steadyFlow, record.cell(row, C_flow));
          record.setField(F_steadyLevel, record.cell(row, C_level));
          record.setField(F_steadyHeadDifference, record.cell(row, C_headDifference));
        }
      }
    }
  } else if (sized && withHo && record.countRows(C_time) >= kLeastFitRows) {
    applySuggestion(record, theAnalysisSettings(), digitsPermeability);
  }
  if (scalesAreDefault(record))
    for (const auto& [field, text] : autoScales(record)) record.setField(field, text);
}

// --- profiles -------------------------------------------------------------------

namespace {

const char* const kProfileKeys[] = {"encoding", "separator", "decimal", "header", "first", "date", "time",
                                    "datetime", "ms", "elapsed", "level", "flow", "dateorder", "elapsedunit",
                                    "levelkind", "levelunit", "flowunit", "reference", "referencedepth",
                                    "referenceat", "schedule", "interval", "referenceday", "referenceelapsed"};

std::vector<double> profileValues(const ImportSettings& s) {
  const Layout& l = s.layout;
  const Columns& c = s.columns;
  return {double(int(l.encoding)), double(int(l.separator)), double(int(l.decimal)), double(l.headerRow),
          double(l.firstDataRow), double(c.date), double(c.time), double(c.dateTime), double(c.millis),
          double(c.elapsed), double(c.level), double(c.flow), double(int(c.dateOrder)), double(int(c.elapsedUnit)),
          double(int(c.levelKind)), double(int(c.levelUnit)), double(int(c.flowUnit)),
          double(int(s.reference.kind)), s.reference.depth, s.reference.at, double(int(s.schedule.kind)),
          s.schedule.interval, s.reference.day ? double(*s.reference.day) : -1.0, double(s.reference.atElapsed)};
}

const fs::path kLayoutsFile = "ImportLayouts.txt";

} // namespace

std::vector<std::string> profileLines(const ImportSettings& settings) {
  const auto values = profileValues(settings);
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < values.size(); ++i) lines.push_back(std::string(kProfileKeys[i]) + "=" + cformat("%.10g", values[i]));
  return lines;
}

std::optional<ImportSettings> profileFromLines(const std::vector<std::string>& lines) {
  std::map<std::string, double> values;
  for (const std::string& line : lines) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const auto v = parseNumber(line.substr(eq + 1), DecimalMark::Point);
    if (v && std::abs(*v) < 1e9) values[line.substr(0, eq)] = *v;
  }
  if (values.empty()) return std::nullopt;
  ImportSettings s;
  auto get = [&](const char* key, double fallback) {
    const auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  };
  auto pick = [&](const char* key, int fallback, int highest) {
    const int v = static_cast<int>(get(key, fallback));
    return v < 0 || v > highest ? fallback : v;
  };
  auto column = [&](const char* key) { return std::clamp(static_cast<int>(get(key, -1)), -1, 199); };
  s.layout.encoding = Encoding(pick("encoding", 0, 3));
  s.layout.separator = Separator(pick("separator", 0, 3));
  s.layout.decimal = DecimalMark(pick("decimal", 0, 1));
  s.layout.headerRow = std::clamp(static_cast<int>(get("header", -1)), -1, kHeadLines);
  s.layout.firstDataRow = std::clamp(static_cast<int>(get("first", 0)), 0, kHeadLines);
  s.columns.date = column("date");
  s.columns.time = column("time");
  s.columns.dateTime = column("datetime");
  s.columns.millis = column("ms");
  s.columns.elapsed = column("elapsed");
  s.columns.level = column("level");
  s.columns.flow = column("flow");
  s.columns.dateOrder = DateOrder(pick("dateorder", 0, 2));
  s.columns.elapsedUnit = TimeUnit(pick("elapsedunit", 0, 1));
  s.columns.levelKind = LevelKind(pick("levelkind", 0, 1));
  s.columns.levelUnit = LevelUnit(pick("levelunit", 0, kLevelUnitCount - 1));
  s.columns.flowUnit = FlowUnit(pick("flowunit", 2, kFlowUnitCount - 1));
  s.reference.kind = ReferenceKind(pick("reference", 0, 2));
  s.reference.depth = get("referencedepth", 0);
  s.reference.at = get("referenceat", -1);
  if (const double day = get("referenceday", -1); day >= 0) s.reference.day = static_cast<long>(day);
  s.reference.atElapsed = get("referenceelapsed", 0) != 0;
  s.schedule.kind = ScheduleKind(pick("schedule", 0, 3));
  s.schedule.interval = std::max(0.001, get("interval", 60));
  return s;
}

fs::path profileFolder(const fs::path& installFolder) { return installFolder / "ImportProfiles"; }

bool isProfileName(const std::string& name) {
  if (name.empty() || name.size() > 120 || name == "." || name == "..") return false;
  for (const char c : name)
    if (std::strchr("/\\:*?\"<>|", c) || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

bool saveProfile(const fs::path& installFolder, const std::string& name, const ImportSettings& settings,
                 std::string* error) {
  if (!isProfileName(name)) {
    *error = "プロファイル名に使えない文字があります";
    return false;
  }
  std::error_code ec;
  fs::create_directories(profileFolder(installFolder), ec);
  const WriteResult result = writeTextLines(profileFolder(installFolder) / pathFromUtf8(name + ".txt"), profileLines(settings));
  if (!result.ok()) {
    *error = "プロファイルを保存できませんでした";
    if (!result.detail.empty()) *error += "\n" + result.detail;
    return false;
  }
  return true;
}

std::optional<ImportSettings> loadProfile(const fs::path& installFolder, const std::string& nameOrFile,
                                          std::string* error) {
  std::error_code ec;
  fs::path path = pathFromUtf8(nameOrFile);
  if (!fs::is_regular_file(path, ec)) path = profileFolder(installFolder) / pathFromUtf8(nameOrFile + ".txt");
  if (!fs::is_regular_file(path, ec) || fs::file_size(path, ec) > 64 * 1024) {
    *error = "プロファイルが見つかりません\n( " + nameOrFile + " )";
    return std::nullopt;
  }
  const auto lines = readTextLines(path);
  auto settings = lines ? profileFromLines(lines->lines) : std::nullopt;
  if (!settings) *error = "プロファイルを読めません\n( " + utf8Path(path) + " )";
  return settings;
}

std::vector<std::string> profileNames(const fs::path& installFolder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(profileFolder(installFolder), ec), end; !ec && it != end; it.increment(ec))
    if (it->path().extension() == ".txt" && names.size() < 500) names.push_back(utf8Path(it->path().stem()));
  std::sort(names.begin(), names.end());
  return names;
}

void rememberLayout(const fs::path& installFolder, const std::string& key, const ImportSettings& settings) {
  std::vector<std::string> lines;
  std::string entry = key + "\t";
  for (const std::string& line : profileLines(settings)) entry += line + "|";
  lines.push_back(entry);
  if (const auto old = readTextLines(installFolder / kLayoutsFile))
    for (const std::string& line : old->lines)
      if (line.substr(0, line.find('\t')) != key && lines.size() < 30) lines.push_back(line);
  // A key the file's code page cannot hold is not remembered.
  if (!writeTextLines(installFolder / kLayoutsFile, lines).ok()) lines.clear();
}

std::optional<ImportSettings> recallLayout(const fs::path& installFolder, const std::string& key) {
  const auto lines = readTextLines(installFolder / kLayoutsFile);
  if (!lines) return std::nullopt;
  for (const std::string& line : lines->lines) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || line.substr(0, tab) != key) continue;
    std::vector<std::string> values;
    std::size_t begin = tab + 1;
    for (std::size_t bar = line.find('|', begin); bar != std::string::npos; bar = line.find('|', begin)) {
      values.push_back(line.substr(begin, bar - begin));
      begin = bar + 1;
    }
    return profileFromLines(values);
  }
  return std::nullopt;
}

} // namespace tov::logger
