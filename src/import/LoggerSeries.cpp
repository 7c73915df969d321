#include "import/LoggerSeries.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "files/Platform.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov::logger {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File openRegular(const std::filesystem::path& path, std::uintmax_t* size, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    *error = "ファイルが見つかりません\n( " + utf8Path(path) + " )";
    return nullptr;
  }
  *size = std::filesystem::file_size(path, ec);
  File file(openFile(path, "rb"));
  if (!file) *error = "ファイルを読めません\n( " + utf8Path(path) + " )";
  return file;
}

std::string longLineMessage(std::size_t line) {
  return std::to_string(line) + " 行目が長すぎます（" + std::to_string(kMaxLineBytes) +
         " 文字まで）. 測定データのファイルではないようです";
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

std::string trimmedFixed(double value, int decimals);

std::string momentTextOf(bool hasClock, std::optional<long> firstDay, double t) {
  if (!hasClock) return trimmedFixed(t, 3) + " s";
  const long dayIndex = static_cast<long>(std::floor(t / 86400.0));
  if (firstDay) return dateText(*firstDay + dayIndex) + " " + clockText(t, true);
  if (dayIndex > 0) return std::to_string(dayIndex + 1) + " 日目 " + clockText(t, true);
  return clockText(t, true);
}

// The days (as momentTextOf names them) on which a clock time falls
// within [first, last] of a record's times, and their times.
std::vector<double> clockOnDays(double clock, double first, double last, double tolerance) {
  std::vector<double> times;
  // The days counted from the first on which it falls, never stepped to.
  const double lowest = std::ceil((first - tolerance - clock) / 86400.0);
  const double highest = std::floor((last + tolerance - clock) / 86400.0);
  if (!(lowest <= highest)) return times;
  for (double n = lowest; n <= highest && times.size() < 1000; ++n) times.push_back(clock + n * 86400.0);
  return times;
}

std::string daysText(bool hasClock, std::optional<long> firstDay, const std::vector<double>& times) {
  std::string text;
  for (std::size_t i = 0; i < times.size() && i < 8; ++i) {
    std::string moment = momentTextOf(hasClock, firstDay, times[i]);
    // The date (or "N 日目") without the clock, which is the same on each.
    if (const std::size_t space = moment.rfind(' '); space != std::string::npos) moment.resize(space);
    else moment = "1 日目";
    text += (text.empty() ? "" : ", ") + moment;
  }
  if (times.size() > 8) text += " ...";
  return text;
}

// Splits without allocating when the line has no quotes.
void fastSplit(std::string_view line, Separator separator, std::vector<std::string>& scratch,
               std::vector<std::string_view>& fields) {
  fields.clear();
  if (line.find('"') != std::string_view::npos || separator == Separator::Spaces) {
    scratch = splitFields(line, separator);
    for (const std::string& field : scratch) fields.emplace_back(field);
    return;
  }
  const char mark = separator == Separator::Comma ? ',' : separator == Separator::Semicolon ? ';' : '\t';
  std::size_t begin = 0;
  while (true) {
    const std::size_t end = line.find(mark, begin);
    std::string_view field = line.substr(begin, end == std::string_view::npos ? std::string_view::npos : end - begin);
    while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
    while (!field.empty() && (field.back() == ' ' || field.back() == '\r' || field.back() == '\t'))
      field.remove_suffix(1);
    fields.push_back(field);
    if (end == std::string_view::npos) break;
    begin = end + 1;
  }
}

std::string_view fieldAt(const std::vector<std::string_view>& fields, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < fields.size() ? fields[static_cast<std::size_t>(index)]
                                                                        : std::string_view();
}

// A row this far (s) from the rows before it, and from the usual step
// times a hundred, is held until the next row says whether the record
// goes on from it (a gap) or it stands alone (a clock gone wrong).
constexpr double kFarSeconds = 3600;

// The text of a field for a message: at most 40 bytes, cut between characters.
std::string shownField(std::string_view text) {
  if (text.size() > 40) {
    std::size_t cut = 40;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return std::string(text.substr(0, cut)) + "...";
  }
  return std::string(text);
}

// Builds the series row by row.
class SeriesBuilder {
public:
  SeriesBuilder(const ImportSettings& settings, const Window& window, bool summerTime)
      : settings_(settings), window_(window), summerTime_(summerTime) {
    const Columns& c = settings.columns;
    levelScale_ = levelUnitToMetres(c.levelUnit);
    flowScale_ = flowUnitToM3PerS(c.flowUnit);
    series_.hasClock = c.dateTime >= 0 || c.time >= 0;
  }

  // False with *error set when the file must be refused.
  bool line(std::string_view text, std::string* error) {
    ++series_.lines;
    if (text.size() > kMaxLineBytes) {
      *error = longLineMessage(series_.lines);
      return false;
    }
    if (series_.lines <= static_cast<std::size_t>(settings_.layout.firstDataRow)) return true;
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    if (text.find_first_not_of(" \t,;") == std::string_view::npos) return true;
    if (isFooter(text)) {
      ++series_.footerLines;
      return true;
    }
    // A row in CP932 or CP1252 with bytes beyond ASCII ("午前" beside the
    // clock) is read as UTF-8, as its names are.
    const Encoding encoding = settings_.layout.encoding;
    if ((encoding == Encoding::Cp932 || encoding == Encoding::Cp1252) &&
        std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
      converted_ = toUtf8(text, encoding);
      text = converted_;
    }
    fastSplit(text, settings_.layout.separator, scratch_, fields_);
    const auto time = timeOf();
    const auto level = parseNumber(fieldAt(fields_, settings_.columns.level), settings_.layout.decimal);
    std::optional<double> flow;
    if (settings_.columns.flow >= 0) flow = parseNumber(fieldAt(fields_, settings_.columns.flow), settings_.layout.decimal);
    if (!time || !level || (settings_.columns.flow >= 0 && !flow)) {
      if (series_.skippedRows++ == 0) {
        series_.firstSkippedLine = series_.lines;
        series_.firstSkippedText = !time    ? "時刻「" + shownField(timeText()) + "」"
                                   : !level ? "水位「" + shownField(fieldAt(fields_, settings_.columns.level)) + "」"
                                            : "流量「" + shownField(fieldAt(fields_, settings_.columns.flow)) + "」";
      }
      return true;
    }
    const double at = *time + clockShift_;
    if (!seenAny_ && !windowBounds(at, error)) return false;
    if (!inWindow(at)) return true;
    Row row{at, *level * levelScale_, flow ? *flow * flowScale_ : 0.0, series_.lines};
    return place(row, error);
  }

  std::size_t linesRead() const { return series_.lines; }
  // The rows past the window's end need not be read.
  bool done() const { return done_; }

  std::optional<Series> finish(std::string* error) {
    // A last row far after the rest, with nothing after it to go on from it.
    if (held_) leaveOut(*held_), held_.reset();
    if (!windowChecked(error)) return std::nullopt;
    if (series_.time.empty()) {
      *error = series_.lines <= static_cast<std::size_t>(settings_.layout.firstDataRow) + 1 && series_.skippedRows == 0
                   ? "データの行がありません"
                   : "時間と水位の読めるデータの行がありません（列と単位の指定を確かめてください）";
      return std::nullopt;
    }
    series_.firstDay = firstDay_;
    // A gap: a step over five times the largest of the three before it.
    const std::vector<double>& t = series_.time;
    for (std::size_t i = 2; i < t.size(); ++i) {
      double usual = t[i - 1] - t[i - 2];
      if (i >= 3) usual = std::max(usual, t[i - 2] - t[i - 3]);
      if (i >= 4) usual = std::max(usual, t[i - 3] - t[i - 4]);
      const double step = t[i] - t[i - 1];
      if (usual > 0 && step > 5 * usual && step > usual + 1) {
        ++series_.gaps;
        if (step > series_.largestGap) series_.largestGap = step, series_.largestGapAt = t[i - 1];
      }
    }
    return std::move(series_);
  }

private:
  struct Row {
    double at, level, flow;
    std::size_t line;
  };

  // Where a row with its time and level goes: left out (a duplicate, out
  // of order, or alone far from the record's time), held until the next
  // row says, or kept.
  bool place(Row row, std::string* error) {
    if (held_) {
      const Row held = *held_;
      held_.reset();
      if (row.at < held.at - 1e-9) {
        leaveOut(held);  // the record comes back: the held row stood alone
      } else {
        // The record goes on from the held row: a gap, unless the one row
        // before it stands alone far before the rest.
        if (series_.time.size() == 1 && held.at - series_.time[0] > std::max(kFarSeconds, 100 * (row.at - held.at)))
          dropFirst();
        if (!keep(held, error)) return false;
      }
    }
    if (!series_.time.empty()) {
      const double previous = series_.time.back();
      const std::size_t n = series_.time.size();
      const double step = n >= 2 ? previous - series_.time[n - 2] : 0;
      // A clock change (where the zone has summer time): an hour back or
      // on where the next sample was due.
      if (summerTime_ && series_.hasClock && step > 0 && step < 1800) {
        const double tolerance = std::max(0.5 * step, 0.5);
        for (const double hour : {3600.0, -3600.0})
          if (std::abs(row.at + hour - (previous + step)) <= tolerance) {
            clockShift_ += hour;
            row.at += hour;
            ++(hour > 0 ? series_.clockBack : series_.clockForward);
            if (series_.clockBack + series_.clockForward == 1) series_.firstClockChangeLine = row.line;
            break;
          }
      }
      if (std::abs(row.at - previous) < 1e-9) {
        ++series_.duplicates;
        return true;
      }
      if (row.at < previous) {
        if (n == 1 && previous - row.at > kFarSeconds) {
          dropFirst();  // the first row stood alone far after the rest
        } else {
          // Kept out, never sorted in: the record's order stands.
          if (series_.outOfOrder++ == 0) series_.firstOutOfOrderLine = row.line;
          if (series_.outOfOrderLines.size() < 5) series_.outOfOrderLines.push_back(row.line);
          return true;
        }
      } else if (row.at - previous > std::max(kFarSeconds, 100 * step)) {
        held_ = row;
        return true;
      }
    }
    return keep(row, error);
  }

  bool keep(const Row& row, std::string* error) {
    if (series_.time.size() >= kMaxSamples) {
      *error = messageText(IDS_TOO_MANY_ROWS, {std::to_string(kMaxSamples / 10000),
                                               momentTextOf(series_.hasClock, firstDay_, series_.time.front()),
                                               momentTextOf(series_.hasClock, firstDay_, row.at)});
      return false;
    }
    if (series_.time.empty()) firstKeptLine_ = row.line;
    series_.time.push_back(row.at);
    series_.level.push_back(row.level);
    if (settings_.columns.flow >= 0) series_.flow.push_back(row.flow);
    return true;
  }

  void leaveOut(const Row& row) {
    if (series_.outOfTime++ == 0) series_.firstOutOfTimeLine = row.line, series_.firstOutOfTimeAt = row.at;
  }

  void dropFirst() {
    leaveOut(Row{series_.time.front(), series_.level.front(), 0, firstKeptLine_});
    series_.time.erase(series_.time.begin());
    series_.level.erase(series_.level.begin());
    if (!series_.flow.empty()) series_.flow.erase(series_.flow.begin());
  }

  // The text of the time's fields of the current row.
  std::string timeText() const {
    const Columns& c = settings_.columns;
    std::string text;
    for (const int column : {c.dateTime, c.date, c.time, c.elapsed, c.millis})
      if (column >= 0) {
        if (!text.empty()) text += ' ';
        text += fieldAt(fields_, column);
      }
    return text;
  }

  // The window's bounds on the series' scale, at the first row read;
  // false where the window cannot be a part of this record.
  bool windowBounds(double at, std::string* error) {
    seenAny_ = true;
    seenFirst_ = seenLast_ = at;
    if (!window_.from && !window_.to) return true;
    for (const auto* moment : {&window_.from, &window_.to})
      if (*moment && (*moment)->elapsed && series_.hasClock) {
        *error = messageText(IDS_NUMBER_ON_CLOCK_RECORD, trimmedFixed((*moment)->seconds, 3));
        return false;
      }
    from_ = bound(window_.from, at);
    to_ = bound(window_.to, from_.value_or(at));
    if (from_ && to_ && *to_ < *from_) {
      *error = messageText(IDS_WINDOW_REVERSED, {shownMoment(window_.from), shownMoment(window_.to)});
      return false;
    }
    return true;
  }

  std::string shownMoment(const std::optional<Moment>& m) const {
    if (!m) return std::string();
    if (!series_.hasClock) return trimmedFixed(m->seconds, 3) + " s";
    return (m->day ? dateText(*m->day) + " " : std::string()) + clockText(m->seconds, true);
  }

  // A bound of the window on the series' scale: a date on the rows' dates,
  // a clock time alone at its first time from the record's first row (or
  // from the window's start), elapsed seconds as they are.
  std::optional<double> bound(const std::optional<Moment>& moment, double after) const {
    if (!moment) return std::nullopt;
    if (!series_.hasClock || !moment->day) {
      if (!series_.hasClock) return moment->seconds;
      return moment->seconds + 86400.0 * std::ceil((after - 1 - moment->seconds) / 86400.0);
    }
    if (!firstDay_) return std::nullopt;  // refused when the reading ends
    return static_cast<double>(*moment->day - *firstDay_) * 86400.0 + moment->seconds;
  }

  bool inWindow(double at) {
    if (!window_.from && !window_.to) return true;
    seenLast_ = std::max(seenLast_, at);
    if ((from_ && at < *from_ - 1e-9) || (to_ && at > *to_ + 1e-9)) {
      ++series_.outsideWindow;
      // Past the end of a window whose end cannot fall on a later day (a
      // window with nothing in it reads on, to name the record's end).
      if (to_ && at > *to_ + 1e-9 && (window_.to->day || !series_.hasClock) && !series_.time.empty()) done_ = true;
      return false;
    }
    return true;
  }

  // A window whose bounds the record cannot place: a date in a record
  // without dates, a clock time that falls on several of its days, or
  // nothing inside it.
  bool windowChecked(std::string* error) const {
    if (!window_.from && !window_.to) return true;
    for (const auto* moment : {&window_.from, &window_.to}) {
      if (!*moment || !seenAny_) continue;
      if ((*moment)->day && (!series_.hasClock || !firstDay_)) {
        *error = messageText(IDS_RECORD_WITHOUT_DATES);
        return false;
      }
      if (!(*moment)->day && series_.hasClock) {
        const auto times = clockOnDays((*moment)->seconds, seenFirst_, seenLast_, 1.0);
        if (times.size() > 1) {
          *error = messageText(IDS_WINDOW_CLOCK_ON_DAYS,
                               {clockText((*moment)->seconds, true), daysText(true, firstDay_, times)});
          return false;
        }
      }
    }
    if (series_.time.empty() && series_.outsideWindow > 0) {
      *error = messageText(IDS_WINDOW_EMPTY, {shownMoment(window_.from), shownMoment(window_.to),
                                              momentTextOf(series_.hasClock, firstDay_, seenFirst_),
                                              momentTextOf(series_.hasClock, firstDay_, seenLast_)});
      return false;
    }
    return true;
  }

  // A line after the data that holds no digit and begins a footer or a
  // section ("END OF DATA FILE ...", "[Footer]") and no field separator.
  bool isFooter(std::string_view text) const {
    if (series_.time.empty()) return false;
    if (text.find_first_of("0123456789") != std::string_view::npos) return false;
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    const bool opens = text.starts_with("[") || text.starts_with("END") || text.starts_with("End") ||
                       text.starts_with("end");
    const char mark = settings_.layout.separator == Separator::Comma       ? ','
                      : settings_.layout.separator == Separator::Semicolon ? ';'
                      : settings_.layout.separator == Separator::Tab       ? '\t'
                                                                            : '\0';
    return opens && (mark == '\0' || text.find(mark) == std::string_view::npos);
  }

  std::optional<double> timeOf() {
    const Columns& c = settings_.columns;
    std::optional<double> seconds;
    std::optional<long> day;
    if (c.dateTime >= 0) {
      const auto stamp = parseStamp(fieldAt(fields_, c.dateTime), c.dateOrder);
      if (!stamp || !stamp->hasClock) return std::nullopt;
      day = stamp->day;
      seconds = stamp->seconds;
    } else if (c.time >= 0) {
      seconds = parseClock(fieldAt(fields_, c.time));
      if (c.date >= 0) {
        day = parseDate(fieldAt(fields_, c.date), c.dateOrder);
        if (!day) return std::nullopt;
      }
    } else if (c.elapsed >= 0) {
      seconds = parseNumber(fieldAt(fields_, c.elapsed), settings_.layout.decimal);
      if (seconds && c.elapsedUnit == TimeUnit::Minutes) *seconds *= 60.0;
    }
    if (!seconds) return std::nullopt;
    if (c.millis >= 0) {
      const auto ms = parseNumber(fieldAt(fields_, c.millis), settings_.layout.decimal);
      if (!ms) return std::nullopt;
      *seconds += *ms / 1000.0;
    }
    if (!series_.hasClock) return seconds;
    if (day) {
      if (!firstDay_) firstDay_ = *day;
      return *seconds + static_cast<double>(*day - *firstDay_) * 86400.0;
    }
    // Clock times without a date: past midnight the day goes on.
    if (lastClock_ && *seconds + 43200.0 < *lastClock_) dayOffset_ += 86400.0;
    lastClock_ = *seconds;
    return *seconds + dayOffset_;
  }

  const ImportSettings& settings_;
  const Window window_;
  const bool summerTime_;
  std::optional<Row> held_;
  std::size_t firstKeptLine_ = 0;
  bool seenAny_ = false, done_ = false;
  double seenFirst_ = 0, seenLast_ = 0;
  std::optional<double> from_, to_;
  Series series_;
  double levelScale_ = 1, flowScale_ = 1;
  std::vector<std::string> scratch_;
  std::vector<std::string_view> fields_;
  std::string converted_;
  std::optional<long> firstDay_;
  std::optional<double> lastClock_;
  double dayOffset_ = 0;
  double clockShift_ = 0;
};

std::string trimmedFixed(double value, int decimals) {
  std::string text = cformat("%.*f", decimals, value);
  if (text.find('.') != std::string::npos) {
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  }
  if (text == "-0") text = "0";
  return text;
}

std::string flowText(double q) {
  if (!(q > 0)) return "0";
  const int exponent = static_cast<int>(std::floor(std::log10(q)));
  const double mantissa = q / std::pow(10.0, exponent);
  std::string text = trimmedFixed(mantissa, 4);
  if (exponent != 0) text += "E" + std::to_string(exponent);
  return text;
}

} // namespace

std::optional<FileHead> readHead(const std::filesystem::path& path, std::string* error) {
  std::uintmax_t size = 0;
  const File file = openRegular(path, &size, error);
  if (!file) return std::nullopt;
  FileHead head;
  head.bytes.resize(kHeadBytes);
  const std::size_t got = std::fread(head.bytes.data(), 1, kHeadBytes, file.get());
  head.bytes.resize(got);
  head.wholeFile = got < kHeadBytes;
  if (got == 0) {
    *error = "ファイルが空です";
    return std::nullopt;
  }
  if (isXmlFile(head.bytes)) {
    // The lines the XML gives, as many as a text file's sample holds.
    std::rewind(file.get());
    XleInfo info;
    std::size_t bytes = 0;
    bool more = false;
    head.lines.clear();
    const bool ok = readXleLines(
        [&](char* buffer, std::size_t size) { return std::fread(buffer, 1, size, file.get()); },
        [&](std::string_view line) {
          if (static_cast<int>(head.lines.size()) >= kHeadLines || bytes > kHeadBytes) {
            more = true;
            return false;
          }
          head.lines.emplace_back(line);
          bytes += line.size() + 1;
          return true;
        },
        error, &info);
    if (!ok) return std::nullopt;
    head.bytes.clear();
    for (const std::string& line : head.lines) head.bytes += line + "\n";
    head.wholeFile = !more;
    head.xle = std::move(info);
    if (head.lines.empty()) {
      *error = "データの行がありません";
      return std::nullopt;
    }
    return head;
  }
  // UTF-16 text is read as UTF-8 (the whole file too: readSeries).
  if (const Utf16 utf16 = detectUtf16(head.bytes); utf16 != Utf16::None) {
    if (!head.wholeFile && head.bytes.size() % 2 != 0) head.bytes.pop_back();
    head.bytes = Utf16Decoder(utf16).decode(head.bytes);
    head.utf16 = true;
  }
  if (looksBinary(head.bytes)) {
    *error = "テキストのファイルではありません（バイナリ）. ロガーのソフトで CSV かテキストに書き出してください";
    return std::nullopt;
  }
  std::size_t begin = 0;
  while (begin < head.bytes.size() && static_cast<int>(head.lines.size()) < kHeadLines) {
    std::size_t end = head.bytes.find('\n', begin);
    if (end == std::string::npos) {
      if (!head.wholeFile) {
        if (head.bytes.size() - begin > kMaxLineBytes) {
          *error = longLineMessage(head.lines.size() + 1);
          return std::nullopt;
        }
        break;  // cut by the end of the sample
      }
      end = head.bytes.size();
    }
    std::string_view line(head.bytes.data() + begin, end - begin);
    if (line.size() > kMaxLineBytes) {
      *error = longLineMessage(head.lines.size() + 1);
      return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    head.lines.emplace_back(line);
    begin = end + 1;
  }
  return head;
}

bool isXmlFile(std::string_view head) { return looksLikeXml(head.substr(0, kHeadBytes)); }

std::optional<Series> readSeries(const std::filesystem::path& path, const ImportSettings& settings,
                                 std::string* error, const Progress& progress, const Window& window, bool summerTime) {
  std::uintmax_t size = 0;
  const File file = openRegular(path, &size, error);
  if (!file) return std::nullopt;
  SeriesBuilder builder(settings, window, summerTime);
  std::vector<char> buffer(std::max<std::size_t>(kHeadBytes, 1 << 20));
  Utf16 utf16 = Utf16::None;
  {
    const std::size_t got = std::fread(buffer.data(), 1, kHeadBytes, file.get());
    std::rewind(file.get());
    const std::string_view head(buffer.data(), got);
    utf16 = detectUtf16(head);
    if (isXmlFile(head)) {
      // The XML's lines, one sample each, through the same builder.
      std::uintmax_t done = 0;
      bool failed = false, cancelled = false;
      XleInfo info;
      const bool ok = readXleLines(
          [&](char* buffer, std::size_t bytes) {
            const std::size_t n = std::fread(buffer, 1, bytes, file.get());
            done += n;
            if (progress && !progress(done, size)) cancelled = true;
            return n;
          },
          [&](std::string_view line) {
            if (cancelled || builder.done()) return false;
            if (!builder.line(line, error)) return !(failed = true);
            return true;
          },
          error, &info);
      if (cancelled) {
        *error = "取り込みを中止しました";
        return std::nullopt;
      }
      if (!ok || failed) return std::nullopt;
      auto series = builder.finish(error);
      if (series && info.truncated) series->xmlCutAtLine = info.truncatedLine;
      return series;
    }
  }
  std::string carry, decoded;
  std::optional<Utf16Decoder> decoder;
  if (utf16 != Utf16::None) decoder.emplace(utf16);
  std::uintmax_t done = 0;
  while (true) {
    const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file.get());
    if (got == 0) break;
    done += got;
    std::string_view chunk(buffer.data(), got);
    if (decoder) {
      decoded = decoder->decode(chunk);
      chunk = decoded;
    }
    std::size_t begin = 0;
    while (begin < chunk.size()) {
      const std::size_t end = chunk.find('\n', begin);
      if (end == std::string_view::npos) {
        if (carry.size() + (chunk.size() - begin) > kMaxLineBytes + 1) {
          *error = longLineMessage(builder.linesRead() + 1);
          return std::nullopt;
        }
        carry.append(chunk.substr(begin));
        break;
      }
      bool ok;
      if (!carry.empty()) {
        carry.append(chunk.substr(begin, end - begin));
        ok = builder.line(carry, error);
        carry.clear();
      } else {
        ok = builder.line(chunk.substr(begin, end - begin), error);
      }
      if (!ok) return std::nullopt;
      begin = end + 1;
      if (builder.done()) break;
    }
    if (builder.done()) break;
    if (progress && !progress(done, size)) {
      *error = "取り込みを中止しました";
      return std::nullopt;
    }
  }
  if (std::ferror(file.get())) {
    *error = "ファイルを読めません\n( " + utf8Path(path) + " )";
    return std::nullopt;
  }
  if (!carry.empty() && !builder.done() && !builder.line(carry, error)) return std::nullopt;
  return builder.finish(error);
}

std::optional<Series> readSeriesText(std::string_view text, const ImportSettings& settings, std::string* error,
                                     const Window& window, bool summerTime) {
  SeriesBuilder builder(settings, window, summerTime);
  std::string decoded;
  if (isXmlFile(text.substr(0, kHeadBytes))) {
    bool failed = false;
    if (!readXleText(text, [&](std::string_view line) { return builder.line(line, error) || !(failed = true); },
                     error) ||
        failed)
      return std::nullopt;
    return builder.finish(error);
  }
  if (const Utf16 utf16 = detectUtf16(text.substr(0, kHeadBytes)); utf16 != Utf16::None) {
    decoded = Utf16Decoder(utf16).decode(text);
    text = decoded;
  }
  std::size_t begin = 0;
  while (begin < text.size() && !builder.done()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    if (!builder.line(text.substr(begin, end - begin), error)) return std::nullopt;
    begin = end + 1;
  }
  return builder.finish(error);
}

std::size_t detectStart(const std::vector<double>& level) {
  const std::size_t n = level.size();
  if (n < 5) return 0;
  std::vector<double> steps(n);
  steps[0] = 0;
  std::size_t jump = 1;
  for (std::size_t i = 1; i < n; ++i) {
    steps[i] = level[i] - level[i - 1];
    if (std::abs(steps[i]) > std::abs(steps[jump])) jump = i;
  }
  std::vector<double> sizes(n - 1);
  for (std::size_t i = 1; i < n; ++i) sizes[i - 1] = std::abs(steps[i]);
  const double noise = median(sizes);
  const double big = std::abs(steps[jump]);
  // A change: ten times the usual step, and at least 5 mm.
  if (big < 10 * noise || big < 0.005) return 0;
  const double part = std::max(0.2 * big, 10 * noise);
  // A bail or an injection that takes a few samples: back to its first step.
  std::size_t begin = jump;
  while (begin > 1 && steps[begin - 1] * steps[jump] > 0 && std::abs(steps[begin - 1]) > part) --begin;
  if (begin < 3) return 0;
  // The stretch before it must be quiet: no more spread than a fifth of the change.
  const std::size_t from = begin > 30 ? begin - 30 : 0;
  const auto [low, high] = std::minmax_element(level.begin() + static_cast<std::ptrdiff_t>(from),
                                               level.begin() + static_cast<std::ptrdiff_t>(begin));
  if (*high - *low > 0.2 * big) return 0;
  // ... and on to its last step.
  std::size_t start = jump;
  while (start + 1 < n && steps[start + 1] * steps[jump] > 0 && std::abs(steps[start + 1]) > part) ++start;
  return start;
}

std::size_t nearestSample(const std::vector<double>& time, double at) {
  if (time.empty()) return 0;
  const auto it = std::lower_bound(time.begin(), time.end(), at);
  if (it == time.begin()) return 0;
  if (it == time.end()) return time.size() - 1;
  const std::size_t i = static_cast<std::size_t>(it - time.begin());
  return at - time[i - 1] <= time[i] - at ? i - 1 : i;
}

ScheduleKind effectiveSchedule(const Series& series, std::size_t start, const Schedule& schedule) {
  if (schedule.kind != ScheduleKind::Automatic) return schedule.kind;
  const std::size_t count = start < series.time.size() ? series.time.size() - start : 0;
  return count <= static_cast<std::size_t>(kRowCount) ? ScheduleKind::Every : ScheduleKind::Logarithmic;
}

std::vector<std::size_t> scheduleSamples(const Series& series, std::size_t start, const Schedule& schedule) {
  std::vector<std::size_t> rows;
  const std::size_t n = series.time.size();
  if (start >= n) return rows;
  const ScheduleKind kind = effectiveSchedule(series, start, schedule);
  if (kind == ScheduleKind::Every) {
    for (std::size_t i = start; i < n && rows.size() < static_cast<std::size_t>(kRowCount); ++i) rows.push_back(i);
    return rows;
  }
  const double t0 = series.time[start];
  const double span = series.time[n - 1] - t0;
  const auto first = series.time.begin() + static_cast<std::ptrdiff_t>(start);
  auto nearestAfterStart = [&](double at) {
    const auto it = std::lower_bound(first, series.time.end(), at);
    if (it == first) return start;
    if (it == series.time.end()) return n - 1;
    const std::size_t i = static_cast<std::size_t>(it - series.time.begin());
    return at - series.time[i - 1] <= series.time[i] - at ? i - 1 : i;
  };
  auto pick = [&](const std::vector<double>& targets) {
    std::vector<std::size_t> picked;
    for (const double target : targets) {
      const std::size_t i = nearestAfterStart(t0 + target);
      if (picked.empty() || picked.back() < i) picked.push_back(i);
    }
    return picked;
  };
  if (kind == ScheduleKind::Interval) {
    const double step = schedule.interval > 0 ? schedule.interval : 60;
    std::vector<double> targets;
    for (int k = 0; k < kRowCount && k * step <= span + 1e-9; ++k) targets.push_back(k * step);
    return pick(targets);
  }
  // Log-spaced: from the first step after the start to the end of the record.
  if (start + 1 >= n || !(span > 0)) return {start};
  const double firstStep = std::max(series.time[start + 1] - t0, span * 1e-6);
  auto logTargets = [&](int count) {
    std::vector<double> targets{0.0};
    for (int k = 0; k < count - 1; ++k)
      targets.push_back(firstStep * std::pow(span / firstStep, count > 2 ? static_cast<double>(k) / (count - 2) : 1.0));
    return targets;
  };
  // Where samples are sparse at first, several targets share one sample:
  // more targets until the 120 rows are used.
  constexpr std::size_t kRows = kRowCount;
  rows = pick(logTargets(kRowCount));
  int low = kRowCount, high = 20000;
  if (rows.size() < kRows) {
    if (auto most = pick(logTargets(high)); most.size() <= kRows) return most;
    while (high - low > 1) {
      const int middle = (low + high) / 2;
      auto picked = pick(logTargets(middle));
      if (picked.size() <= kRows) low = middle, rows.swap(picked);
      else high = middle;
    }
  }
  return rows;
}

std::optional<std::vector<double>> depthBelowTop(const Series& series, const Columns& columns,
                                                 const Reference& reference, std::string* error) {
  std::vector<double> depth(series.level.size());
  if (columns.levelKind == LevelKind::DepthBelowTop) {
    depth = series.level;
    return depth;
  }
  if (reference.kind == ReferenceKind::SensorDepth) {
    for (std::size_t i = 0; i < depth.size(); ++i) depth[i] = reference.depth - series.level[i];
    return depth;
  }
  if (reference.kind == ReferenceKind::DepthAtTime && !series.time.empty()) {
    const double tolerance = std::max(60.0, 2 * usualStep(series));
    std::string why;
    const auto at = timeOfMoment(series, reference.moment(), tolerance, &why);
    if (!at) {
      *error = "基準の時刻: " + why;
      return std::nullopt;
    }
    const std::size_t i = nearestSample(series.time, *at);
    if (std::abs(series.time[i] - *at) > tolerance) {
      *error = "基準の時刻 " + momentText(series, *at) + " のデータがありません";
      return std::nullopt;
    }
    for (std::size_t k = 0; k < depth.size(); ++k) depth[k] = reference.depth + (series.level[i] - series.level[k]);
    return depth;
  }
  *error = "水位計の値を管口からの水位 h' にするには、センサーの深さ (管口から) か、ある時刻の管口からの水位 h' が必要です.";
  return std::nullopt;
}

void writeReadings(TestRecord& record, const Series& series, const std::vector<double>& depth, std::size_t start,
                   const std::vector<std::size_t>& rows, bool steady) {
  record.readings.clear();
  int row = 0;
  for (const std::size_t i : rows) {
    if (i >= series.time.size() || row >= kRowCount) break;
    ++row;
    record.setCell(row, C_time, trimmedFixed(series.time[i] - series.time[start], 3));
    record.setCell(row, C_pipeLevel, trimmedFixed(depth[i], 4));
    if (series.hasClock) record.setCell(row, C_clockTime, clockText(series.time[i], false));
    if (steady && i < series.flow.size()) record.setCell(row, C_flow, flowText(series.flow[i]));
  }
  record.deriveAllRows();
}

std::optional<std::vector<double>> compensatedLevel(const Series& level, const Series& baro, std::string* error,
                                                     double* driftPerHour) {
  if (level.time.empty() || baro.time.size() < 2 || !level.hasClock || !baro.hasClock) {
    *error = "気圧のファイルには時刻の入った行が 2 行以上必要です（水位の記録にも時刻が必要です）";
    return std::nullopt;
  }
  // The barometric record's times on the level's scale (both count from the
  // midnight of their own first date).
  double shift = 0;
  if (level.firstDay && baro.firstDay) shift = static_cast<double>(*baro.firstDay - *level.firstDay) * 86400.0;
  if (level.utcOffset && baro.utcOffset) shift += *level.utcOffset - *baro.utcOffset;
  const std::vector<double>& bt = baro.time;
  std::vector<double> steps;
  for (std::size_t i = 1; i < bt.size() && i < 1000; ++i) steps.push_back(bt[i] - bt[i - 1]);
  const double hold = median(steps);
  const double from = bt.front() + shift, to = bt.back() + shift;
  if (level.time.front() < from - hold - 1e-9 || level.time.back() > to + hold + 1e-9) {
    *error = "気圧の記録 (" + momentText(level, from) + "〜" + momentText(level, to) + ") が水位の記録 (" +
             momentText(level, level.time.front()) + "〜" + momentText(level, level.time.back()) + ") を覆っていません";
    return std::nullopt;
  }
  auto airAt = [&](double t) {
    const double local = t - shift;
    const auto it = std::lower_bound(bt.begin(), bt.end(), local);
    if (it == bt.begin()) return baro.level.front();
    if (it == bt.end()) return baro.level.back();
    const std::size_t i = static_cast<std::size_t>(it - bt.begin());
    const double span = bt[i] - bt[i - 1];
    const double w = span > 0 ? (local - bt[i - 1]) / span : 1.0;
    return baro.level[i - 1] + w * (baro.level[i] - baro.level[i - 1]);
  };
  std::vector<double> out(level.level.size());
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = level.level[i] - airAt(level.time[i]);
  if (driftPerHour) {
    const double hours = (level.time.back() - level.time.front()) / 3600.0;
    *driftPerHour = hours > 0 ? (airAt(level.time.back()) - airAt(level.time.front())) / hours : 0.0;
  }
  return out;
}

QuietStretch quietStretch(const Series& series, std::size_t start) {
  QuietStretch quiet;
  if (start < 4 || start > series.time.size()) return quiet;
  const std::size_t end = start - 3;  // the last few samples may hold the bail's beginning
  quiet.minutes = (series.time[end - 1] - series.time[0]) / 60.0;
  if (end < 10 || quiet.minutes < 10) return quiet;
  double st = 0, sl = 0;
  for (std::size_t i = 0; i < end; ++i) st += series.time[i] - series.time[0], sl += series.level[i];
  const double n = static_cast<double>(end), meanT = st / n, meanL = sl / n;
  double stt = 0, stl = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const double dt = series.time[i] - series.time[0] - meanT;
    stt += dt * dt, stl += dt * (series.level[i] - meanL);
  }
  if (!(stt > 0)) return quiet;
  const double slope = stl / stt;
  double residuals = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const double r = series.level[i] - (meanL + slope * (series.time[i] - series.time[0] - meanT));
    residuals += r * r;
  }
  quiet.perHour = slope * 3600.0;
  quiet.standardError = std::sqrt(residuals / std::max(1.0, n - 2) / stt) * 3600.0;
  return quiet;
}

double usualStep(const Series& series) {
  std::vector<double> steps;
  for (std::size_t k = 1; k < series.time.size() && k < 1000; ++k) steps.push_back(series.time[k] - series.time[k - 1]);
  return median(steps);
}

std::string momentText(const Series& series, double t) { return momentTextOf(series.hasClock, series.firstDay, t); }

std::optional<double> timeOfMoment(const Series& series, const Moment& moment, double tolerance, std::string* error) {
  if (series.time.empty()) return std::nullopt;
  const double first = series.time.front(), last = series.time.back();
  auto notInRecord = [&](const std::string& shown) {
    *error = messageText(IDS_MOMENT_NOT_IN_RECORD, {shown, momentText(series, first), momentText(series, last)});
    return std::nullopt;
  };
  if (series.hasClock && moment.elapsed) {
    *error = messageText(IDS_NUMBER_ON_CLOCK_RECORD, trimmedFixed(moment.seconds, 3));
    return std::nullopt;
  }
  if (!series.hasClock) {
    if (moment.day) {
      *error = messageText(IDS_RECORD_WITHOUT_DATES);
      return std::nullopt;
    }
    if (moment.seconds < first - tolerance || moment.seconds > last + tolerance)
      return notInRecord(trimmedFixed(moment.seconds, 3) + " s");
    return moment.seconds;
  }
  if (moment.day) {
    if (!series.firstDay) {
      *error = messageText(IDS_RECORD_WITHOUT_DATES);
      return std::nullopt;
    }
    const double t = static_cast<double>(*moment.day - *series.firstDay) * 86400.0 + moment.seconds;
    if (t < first - tolerance || t > last + tolerance)
      return notInRecord(dateText(*moment.day) + " " + clockText(moment.seconds, true));
    return t;
  }
  const auto times = clockOnDays(moment.seconds, first, last, tolerance);
  if (times.empty()) return notInRecord(clockText(moment.seconds, true));
  if (times.size() > 1) {
    std::string example = clockText(moment.seconds, true);
    if (series.firstDay) {
      std::string date = dateText(*series.firstDay + static_cast<long>(std::floor(times.back() / 86400.0)));
      std::replace(date.begin(), date.end(), '/', '-');
      example = date + "T" + example;
    }
    *error = messageText(IDS_CLOCK_ON_DAYS, {clockText(moment.seconds, true), std::to_string(times.size()),
                                             daysText(true, series.firstDay, times), example});
    return std::nullopt;
  }
  return times.front();
}

std::optional<double> driftBeforeStart(const Series& series, std::size_t start) {
  if (start < 10 || start > series.time.size()) return std::nullopt;
  // The quiet stretch: the samples before the start, less the last few.
  const std::size_t end = start - 3;
  const double span = series.time[end - 1] - series.time[0];
  // Less than ten minutes cannot tell a drift from the noise.
  if (!(span >= 600)) return std::nullopt;
  double st = 0, sl = 0, stt = 0, stl = 0;
  for (std::size_t i = 0; i < end; ++i) {
    const double t = series.time[i] - series.time[0];
    st += t, sl += series.level[i], stt += t * t, stl += t * series.level[i];
  }
  const double n = static_cast<double>(end);
  const double d = n * stt - st * st;
  if (!(d > 0)) return std::nullopt;
  return (n * stl - st * sl) / d * 3600.0;
}

std::string seriesReport(const Series& series) {
  std::string text;
  if (series.duplicates > 0)
    text += "同じ時刻の行が " + std::to_string(series.duplicates) + " 行あります（最初の行を使います）\n";
  if (series.clockBack > 0)
    text += "時計が 1 時間戻されています（" + std::to_string(series.firstClockChangeLine) +
            " 行目. 夏時間の終わり）. 経過時間は続けて数えました\n";
  if (series.clockForward > 0)
    text += "時計が 1 時間進められています（" + std::to_string(series.firstClockChangeLine) +
            " 行目. 夏時間の始まり）. 経過時間は続けて数えました\n";
  if (series.outOfOrder > 0) {
    std::string lines;
    for (const std::size_t line : series.outOfOrderLines) lines += (lines.empty() ? "" : ", ") + std::to_string(line);
    if (series.outOfOrder > series.outOfOrderLines.size()) lines += " ほか";
    text += "時刻の順でない行が " + std::to_string(series.outOfOrder) + " 行あります（" + lines +
            " 行目. 取り込みません）\n";
  }
  if (series.gaps > 0)
    text += "記録の途切れが " + std::to_string(series.gaps) + " か所あります（最大 " +
            trimmedFixed(series.largestGap, 1) + " 秒、" +
            momentText(series, series.largestGapAt) +
            " の後）\n";
  if (series.outOfTime > 0)
    text += messageText(IDS_ROWS_OUT_OF_TIME, {std::to_string(series.outOfTime), std::to_string(series.firstOutOfTimeLine),
                                               momentText(series, series.firstOutOfTimeAt)}) +
            "\n";
  if (series.skippedRows > 0)
    text += "読めない行が " + std::to_string(series.skippedRows) + " 行あります（" +
            std::to_string(series.firstSkippedLine) + " 行目から" +
            (series.firstSkippedText.empty() ? std::string() : " " + series.firstSkippedText) + ". 取り込みません）\n";
  return text;
}

bool localZoneHasSummerTime() {
  // Mid-January and mid-July of this year: one of them is summer.
  std::tm now{};
  if (!localTime(std::time(nullptr), &now)) return false;
  const std::time_t year = static_cast<std::time_t>(now.tm_year - 70) * 31556952;  // from 1970, on average
  std::tm january{}, july{};
  if (!localTime(year + 14 * 86400, &january) || !localTime(year + 196 * 86400, &july)) return false;
  return january.tm_isdst != july.tm_isdst;
}

std::optional<double> parseTimeArgument(std::string_view text) {
  if (const auto clock = parseClock(text)) return clock;
  return parseNumber(text, DecimalMark::Point);
}

} // namespace tov::logger
