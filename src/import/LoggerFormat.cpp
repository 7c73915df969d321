#include "import/LoggerFormat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <utility>

#include "files/TextCodec.h"

namespace tov::logger {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trim(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Leading digits as a number; the count of digits in *count.
std::optional<int> digitsValue(std::string_view text, std::size_t* count = nullptr) {
  std::size_t i = 0;
  long value = 0;
  while (i < text.size() && isDigit(text[i]) && i < 9) value = value * 10 + (text[i++] - '0');
  if (count) *count = i;
  if (i == 0) return std::nullopt;
  return static_cast<int>(value);
}

// Days from 1970-01-01 of a civil date (proleptic Gregorian).
long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// Three date parts and the mark between them; nothing unless the whole
// text is digits separated twice by one of "/-.".
struct DateParts {
  std::array<int, 3> value{};
  std::array<std::size_t, 3> digits{};
  char mark = 0;
};

std::optional<DateParts> splitDate(std::string_view text) {
  DateParts parts;
  std::size_t pos = 0;
  for (int i = 0; i < 3; ++i) {
    std::size_t count = 0;
    const auto v = digitsValue(text.substr(pos), &count);
    if (!v || count > 4) return std::nullopt;
    parts.value[i] = *v;
    parts.digits[i] = count;
    pos += count;
    if (i < 2) {
      if (pos >= text.size()) return std::nullopt;
      const char mark = text[pos];
      if (mark != '/' && mark != '-' && mark != '.') return std::nullopt;
      if (parts.mark && parts.mark != mark) return std::nullopt;
      parts.mark = mark;
      ++pos;
    }
  }
  if (pos != text.size()) return std::nullopt;
  return parts;
}

} // namespace

// --- encoding ---------------------------------------------------------------

Encoding detectEncoding(std::string_view head, bool* mixed) {
  if (mixed) *mixed = false;
  if (head.substr(0, 3) == kBom) return Encoding::Utf8Bom;
  std::size_t valid = 0, invalid = 0;
  for (std::size_t i = 0; i < head.size();) {
    const auto c = static_cast<unsigned char>(head[i]);
    if (c < 0x80) { ++i; continue; }
    std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (length == 0 || c > 0xF4) { ++invalid; ++i; continue; }
    if (i + length > head.size()) break;  // cut by the end of the sample
    bool ok = true;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(head[i + k]) & 0xC0) != 0x80) ok = false;
    if (ok) { ++valid; i += length; } else { ++invalid; ++i; }
  }
  if (invalid == 0) return Encoding::Utf8;
  if (mixed) *mixed = valid > 0 && valid >= invalid / 4;
  return Encoding::Cp932;
}

bool looksBinary(std::string_view head) {
  std::size_t control = 0;
  for (const char ch : head) {
    const auto c = static_cast<unsigned char>(ch);
    if (c == 0) return true;
    if (c < 0x20 && c != '\t' && c != '\r' && c != '\n' && c != '\f' && c != 0x1A) ++control;
  }
  return control * 100 > head.size();
}

std::string toUtf8(std::string_view line, Encoding encoding) {
  if (line.substr(0, 3) == kBom) line.remove_prefix(3);
  if (encoding == Encoding::Cp932) return cp932ToUtf8(line);
  return std::string(line);
}

// --- fields -----------------------------------------------------------------

std::vector<std::string> splitFields(std::string_view line, Separator separator) {
  std::vector<std::string> fields;
  const char mark = separator == Separator::Comma ? ',' : separator == Separator::Semicolon ? ';' : '\t';
  const bool spaces = separator == Separator::Spaces;
  std::string field;
  bool quoted = false, any = false;
  auto finish = [&] {
    fields.emplace_back(trim(field));
    field.clear();
    any = false;
  };
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      if (quoted && i + 1 < line.size() && line[i + 1] == '"') { field += '"'; ++i; }
      else quoted = !quoted;
      any = true;
      continue;
    }
    if (!quoted && spaces && (c == ' ' || c == '\t')) {
      if (any) finish();
      continue;
    }
    if (!quoted && !spaces && c == mark) { finish(); continue; }
    if (c == '\r' || c == '\n') continue;
    field += c;
    if (!isBlank(c)) any = true;
  }
  if (!spaces || any) finish();
  return fields;
}

std::optional<double> parseNumber(std::string_view text, DecimalMark mark) {
  text = trim(text);
  if (text.empty() || text.size() > 64) return std::nullopt;
  char buffer[65];
  std::size_t n = 0;
  bool comma = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+' && n == 0) continue;
    if (c == ',') {
      if (mark != DecimalMark::Comma || comma) return std::nullopt;
      comma = true;
      c = '.';
    }
    buffer[n++] = c;
  }
  double value = 0;
  const auto [end, error] = std::from_chars(buffer, buffer + n, value);
  if (error != std::errc() || end != buffer + n || !std::isfinite(value)) return std::nullopt;
  return value;
}

// --- dates and clock times --------------------------------------------------

std::optional<double> parseClock(std::string_view text) {
  text = trim(text);
  int half = 0;  // 1 AM, 2 PM
  auto strip = [&](std::string_view word, int which, bool front) {
    if (front ? text.substr(0, word.size()) == word
              : text.size() >= word.size() && text.substr(text.size() - word.size()) == word) {
      text = front ? text.substr(word.size()) : text.substr(0, text.size() - word.size());
      text = trim(text);
      half = which;
      return true;
    }
    return false;
  };
  strip("AM", 1, false) || strip("am", 1, false) || strip("PM", 2, false) || strip("pm", 2, false) ||
      strip("午前", 1, true) || strip("午後", 2, true);
  std::size_t count = 0;
  const auto h = digitsValue(text, &count);
  if (!h || count > 2 || count >= text.size() || text[count] != ':') return std::nullopt;
  text.remove_prefix(count + 1);
  const auto m = digitsValue(text, &count);
  if (!m || count != 2 || *m > 59) return std::nullopt;
  text.remove_prefix(count);
  double seconds = 0;
  if (!text.empty()) {
    if (text[0] != ':') return std::nullopt;
    text.remove_prefix(1);
    const auto s = parseNumber(text, DecimalMark::Comma);
    if (!s || *s < 0 || *s >= 61 || text.empty() || !isDigit(text[0])) return std::nullopt;
    seconds = *s;
  }
  int hour = *h;
  if (half != 0) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (half == 2 ? 12 : 0);
  } else if (hour > 24) {
    return std::nullopt;
  }
  return hour * 3600.0 + *m * 60.0 + seconds;
}

std::optional<long> parseDate(std::string_view text, DateOrder order) {
  const auto parts = splitDate(trim(text));
  if (!parts) return std::nullopt;
  int y = 0, m = 0, d = 0;
  if (parts->digits[0] == 4 || order == DateOrder::YMD) {
    y = parts->value[0], m = parts->value[1], d = parts->value[2];
    if (parts->digits[0] != 4 && parts->digits[0] != 2) return std::nullopt;
  } else if (order == DateOrder::MDY) {
    m = parts->value[0], d = parts->value[1], y = parts->value[2];
  } else {
    d = parts->value[0], m = parts->value[1], y = parts->value[2];
  }
  if (y < 100) y += 2000;
  if (m < 1 || m > 12 || d < 1 || d > 31 || y < 1900 || y > 2999) return std::nullopt;
  return daysFromCivil(y, m, d);
}

std::optional<Stamp> parseStamp(std::string_view text, DateOrder order) {
  text = trim(text);
  if (text.empty() || text.size() > 64) return std::nullopt;
  if (const auto clock = parseClock(text)) return Stamp{std::nullopt, *clock, true};
  if (const auto day = parseDate(text, order)) return Stamp{day, 0, false};
  std::size_t split = text.find_first_of(" T");
  if (split == std::string_view::npos) return std::nullopt;
  const auto day = parseDate(text.substr(0, split), order);
  const auto clock = parseClock(text.substr(split + 1));
  if (!day || !clock) return std::nullopt;
  return Stamp{day, *clock, true};
}

DateOrder guessDateOrder(const std::vector<std::string>& dates) {
  bool seen = false, dots = false, firstBig = false, secondBig = false;
  for (const std::string& text : dates) {
    std::string_view date = trim(text);
    date = date.substr(0, date.find_first_of(" T"));
    const auto parts = splitDate(date);
    if (!parts) continue;
    seen = true;
    if (parts->digits[0] == 4) return DateOrder::YMD;
    dots = dots || parts->mark == '.';
    firstBig = firstBig || parts->value[0] > 12;
    secondBig = secondBig || parts->value[1] > 12;
  }
  if (firstBig) return DateOrder::DMY;
  if (secondBig) return DateOrder::MDY;
  if (!seen) return DateOrder::YMD;
  return dots ? DateOrder::DMY : DateOrder::MDY;
}

std::string clockText(double secondsOfDay, bool withSeconds) {
  long total = std::lround(std::floor(secondsOfDay + (withSeconds ? 0.5 : 0.0)));
  total = ((total % 86400) + 86400) % 86400;
  char text[16];
  if (withSeconds)
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  else
    std::snprintf(text, sizeof text, "%02ld:%02ld", total / 3600, total / 60 % 60);
  return text;
}

// --- units ------------------------------------------------------------------

double levelUnitToMetres(LevelUnit unit) {
  constexpr double kPaToMetres = 0.101972;  // rho 1000 kg/m3, g 9.80665 m/s2
  switch (unit) {
  case LevelUnit::M: case LevelUnit::MH2O: return 1.0;
  case LevelUnit::Cm: case LevelUnit::CmH2O: return 0.01;
  case LevelUnit::Mm: return 0.001;
  case LevelUnit::KPa: return kPaToMetres;
  case LevelUnit::Pa: return kPaToMetres / 1000.0;
  case LevelUnit::HPa: return kPaToMetres / 10.0;
  case LevelUnit::Psi: return 6.894757 * kPaToMetres;
  }
  return 1.0;
}

double flowUnitToM3PerS(FlowUnit unit) {
  switch (unit) {
  case FlowUnit::M3PerS: return 1.0;
  case FlowUnit::LPerS: return 1e-3;
  case FlowUnit::LPerMin: return 1e-3 / 60.0;
  case FlowUnit::Cm3PerS: return 1e-6;
  case FlowUnit::MlPerMin: return 1e-6 / 60.0;
  }
  return 1.0;
}

bool isPressureUnit(LevelUnit unit) {
  return unit == LevelUnit::KPa || unit == LevelUnit::Pa || unit == LevelUnit::HPa || unit == LevelUnit::Psi;
}

const char* levelUnitName(LevelUnit unit) {
  switch (unit) {
  case LevelUnit::M: return "m";
  case LevelUnit::Cm: return "cm";
  case LevelUnit::Mm: return "mm";
  case LevelUnit::KPa: return "kPa";
  case LevelUnit::Pa: return "Pa";
  case LevelUnit::HPa: return "hPa";
  case LevelUnit::Psi: return "psi";
  case LevelUnit::MH2O: return "mH2O";
  case LevelUnit::CmH2O: return "cmH2O";
  }
  return "m";
}

const char* flowUnitName(FlowUnit unit) {
  switch (unit) {
  case FlowUnit::M3PerS: return "m3/s";
  case FlowUnit::LPerS: return "L/s";
  case FlowUnit::LPerMin: return "L/min";
  case FlowUnit::Cm3PerS: return "cm3/s";
  case FlowUnit::MlPerMin: return "mL/min";
  }
  return "L/min";
}

std::optional<LevelUnit> levelUnitFromName(std::string_view utf8Name) {
  std::string name = lowerAscii(utf8Name);
  std::erase(name, ' ');
  for (const auto& [wide, narrow] : {std::pair{"（", "("}, {"）", ")"}, {"［", "["}, {"］", "]"}})
    for (std::size_t at = name.find(wide); at != std::string::npos; at = name.find(wide))
      name.replace(at, std::strlen(wide), narrow);
  if (contains(name, "cmh2o") || contains(name, "cmaq") || contains(name, "cm水")) return LevelUnit::CmH2O;
  if (contains(name, "mh2o") || contains(name, "mwc") || contains(name, "maq")) return LevelUnit::MH2O;
  if (contains(name, "kpa")) return LevelUnit::KPa;
  if (contains(name, "hpa") || contains(name, "mbar")) return LevelUnit::HPa;
  if (contains(name, "psi")) return LevelUnit::Psi;
  // A unit in brackets, or after the last comma.
  std::vector<std::string> tokens;
  for (std::size_t open = name.find_first_of("(["); open != std::string::npos;
       open = name.find_first_of("([", open + 1)) {
    const std::size_t close = name.find_first_of(")]", open);
    if (close == std::string::npos) break;
    tokens.push_back(name.substr(open + 1, close - open - 1));
  }
  if (const std::size_t comma = name.rfind(','); comma != std::string::npos) tokens.push_back(name.substr(comma + 1));
  if (const std::size_t colon = name.rfind(':'); colon != std::string::npos) tokens.push_back(name.substr(colon + 1));
  for (std::string token : tokens) {
    if (const std::size_t cut = token.find_first_of(")]"); cut != std::string::npos) token.resize(cut);
    if (token == "m") return LevelUnit::M;
    if (token == "cm") return LevelUnit::Cm;
    if (token == "mm") return LevelUnit::Mm;
    if (token == "pa") return LevelUnit::Pa;
  }
  return std::nullopt;
}

std::optional<FlowUnit> flowUnitFromName(std::string_view utf8Name) {
  std::string name = lowerAscii(utf8Name);
  std::erase(name, ' ');
  if (contains(name, "ml/min") || contains(name, "cc/min")) return FlowUnit::MlPerMin;
  if (contains(name, "l/min") || contains(name, "ℓ/min") || contains(name, "lpm") || contains(name, "リットル/分"))
    return FlowUnit::LPerMin;
  if (contains(name, "cm3/s") || contains(name, "cm³/s") || contains(name, "cc/s") || contains(name, "ml/s"))
    return FlowUnit::Cm3PerS;
  if (contains(name, "l/s") || contains(name, "ℓ/s")) return FlowUnit::LPerS;
  if (contains(name, "m3/s") || contains(name, "m³/s")) return FlowUnit::M3PerS;
  return std::nullopt;
}

// --- guessing ---------------------------------------------------------------

namespace {

int countOutsideQuotes(std::string_view line, char mark) {
  int count = 0;
  bool quoted = false;
  for (const char c : line) {
    if (c == '"') quoted = !quoted;
    else if (c == mark && !quoted) ++count;
  }
  return count;
}

bool isValueField(std::string_view field, DecimalMark mark) {
  if (parseNumber(field, mark)) return true;
  return parseStamp(field, DateOrder::YMD) || parseStamp(field, DateOrder::MDY) ||
         parseStamp(field, DateOrder::DMY);
}

struct RowShape {
  int values = 0;
  int nonEmpty = 0;
  int fields = 0;
};

RowShape shapeOf(std::string_view line, Separator separator, DecimalMark mark) {
  RowShape shape;
  const auto fields = splitFields(line, separator);
  shape.fields = static_cast<int>(fields.size());
  for (const std::string& field : fields) {
    if (field.empty()) continue;
    ++shape.nonEmpty;
    if (isValueField(field, mark)) ++shape.values;
  }
  return shape;
}

bool isDataRow(const RowShape& shape) { return shape.values >= 2 && shape.values * 2 >= shape.nonEmpty; }

} // namespace

std::optional<Layout> guessLayout(const std::vector<std::string>& lines, Encoding encoding,
                                  std::optional<Separator> separator) {
  Layout layout;
  layout.encoding = encoding;
  // The separator: the mark that every one of the last lines holds equally often.
  std::vector<std::string_view> tail;
  std::size_t nonBlank = 0;
  for (const std::string& line : lines) nonBlank += !trim(line).empty();
  const std::size_t tailSize = std::clamp<std::size_t>(nonBlank / 2, 3, 30);
  for (auto it = lines.rbegin(); it != lines.rend() && tail.size() < tailSize; ++it)
    if (!trim(*it).empty()) tail.push_back(*it);
  if (tail.empty()) return std::nullopt;
  auto steady = [&](char mark) {
    const int first = countOutsideQuotes(tail.front(), mark);
    if (first == 0) return false;
    int same = 0;
    for (const std::string_view line : tail) same += countOutsideQuotes(line, mark) == first;
    return same * 10 >= static_cast<int>(tail.size()) * 8;
  };
  layout.separator = steady('\t')  ? Separator::Tab
                     : steady(';') ? Separator::Semicolon
                     : steady(',') ? Separator::Comma
                                   : Separator::Spaces;
  if (separator) layout.separator = *separator;
  layout.decimal = DecimalMark::Point;
  if (layout.separator != Separator::Comma) {
    for (const std::string_view line : tail)
      for (const std::string& field : splitFields(line, layout.separator))
        if (field.find(',') != std::string::npos && field.find('.') == std::string::npos &&
            parseNumber(field, DecimalMark::Comma))
          layout.decimal = DecimalMark::Comma;
  }
  // The first row that begins a run of data rows.
  std::vector<RowShape> shapes;
  shapes.reserve(lines.size());
  for (const std::string& line : lines) shapes.push_back(shapeOf(line, layout.separator, layout.decimal));
  const int count = static_cast<int>(lines.size());
  int first = -1;
  for (int i = 0; i < count && first < 0; ++i) {
    if (!isDataRow(shapes[i])) continue;
    int run = 0, checked = 0;
    for (int j = i + 1; j < count && checked < 3; ++j) {
      if (shapes[j].nonEmpty == 0) continue;
      ++checked;
      run += isDataRow(shapes[j]);
    }
    if (run == checked) first = i;
  }
  if (first < 0) return std::nullopt;
  layout.firstDataRow = first;
  layout.headerRow = -1;
  for (int i = first - 1; i >= 0; --i) {
    if (shapes[i].nonEmpty == 0) continue;
    if (shapes[i].values == 0 && (shapes[i].nonEmpty >= 2 || shapes[first].nonEmpty == 1)) layout.headerRow = i;
    break;
  }
  return layout;
}

Columns guessColumns(const std::vector<std::string>& names, const std::vector<std::vector<std::string>>& rows,
                     bool steady) {
  Columns columns;
  std::size_t width = names.size();
  for (const auto& row : rows) width = std::max(width, row.size());
  enum class Kind { Empty, Number, Date, Clock, DateTime, Text };
  std::vector<std::string> dateTexts;
  for (const auto& row : rows)
    for (const std::string& field : row)
      if (splitDate(trim(field).substr(0, trim(field).find_first_of(" T")))) dateTexts.push_back(field);
  columns.dateOrder = guessDateOrder(dateTexts);
  std::vector<Kind> kinds(width, Kind::Empty);
  std::vector<bool> counter(width, true), increasing(width, true);
  for (std::size_t c = 0; c < width; ++c) {
    std::optional<double> previous;
    for (const auto& row : rows) {
      if (c >= row.size() || row[c].empty()) continue;
      Kind kind = Kind::Text;
      if (const auto v = parseNumber(row[c], DecimalMark::Comma)) {
        kind = Kind::Number;
        if (previous && *v != *previous + 1) counter[c] = false;
        if (previous && !(*v > *previous)) increasing[c] = false;
        previous = v;
      } else if (const auto stamp = parseStamp(row[c], columns.dateOrder)) {
        kind = stamp->day && stamp->hasClock ? Kind::DateTime : stamp->day ? Kind::Date : Kind::Clock;
      }
      if (kinds[c] == Kind::Empty) kinds[c] = kind;
      else if (kinds[c] != kind) kinds[c] = Kind::Text;
    }
    if (!previous) counter[c] = false;
  }
  auto nameOf = [&](std::size_t c) { return c < names.size() ? lowerAscii(names[c]) : std::string(); };
  auto anyOf = [](const std::string& name, std::initializer_list<const char*> words) {
    for (const char* word : words)
      if (contains(name, word)) return true;
    return false;
  };
  std::vector<bool> taken(width, false);
  for (std::size_t c = 0; c < width; ++c) {
    const int index = static_cast<int>(c);
    const std::string name = nameOf(c);
    switch (kinds[c]) {
    case Kind::DateTime: if (columns.dateTime < 0) columns.dateTime = index, taken[c] = true; break;
    case Kind::Date: if (columns.date < 0) columns.date = index, taken[c] = true; break;
    case Kind::Clock: if (columns.time < 0) columns.time = index, taken[c] = true; break;
    case Kind::Number: {
      const std::string trimmed(trim(name));
      if (anyOf(name, {"temp", "温", "℃", "°c", "cond", "電導", "batt", "電池", "event", "detached", "coupler",
                       "end of file", "番号"}) ||
          trimmed == "#" || trimmed == "no" || trimmed == "no." || trimmed == "id") {
        taken[c] = true;
      } else if (trimmed == "ms" || anyOf(name, {"msec", "millisec", "ミリ秒", "(ms)", "[ms]"})) {
        if (columns.millis < 0) columns.millis = index, taken[c] = true;
      } else if (anyOf(name, {"流量", "flow"}) || trimmed == "q" || name.starts_with("q(") || name.starts_with("q[") ||
                 flowUnitFromName(name)) {
        if (columns.flow < 0) {
          columns.flow = index, taken[c] = true;
          columns.flowUnit = flowUnitFromName(name).value_or(FlowUnit::LPerMin);
        }
      } else if (anyOf(name, {"経過", "elapsed", "秒", "sec"}) || trimmed == "t" || name.starts_with("t(") ||
                 name.starts_with("t[") || name.starts_with("time(") || name.starts_with("time [") ||
                 name.starts_with("time[")) {
        if (columns.elapsed < 0) {
          columns.elapsed = index, taken[c] = true;
          columns.elapsedUnit = anyOf(name, {"min", "分"}) && !anyOf(name, {"秒"}) ? TimeUnit::Minutes : TimeUnit::Seconds;
        }
      } else if (anyOf(name, {"水位", "level", "depth", "深", "pres", "圧", "head", "水頭", "water", "wl"}) ||
                 levelUnitFromName(name)) {
        if (columns.level < 0) columns.level = index, taken[c] = true;
      }
      break;
    }
    default: break;
    }
  }
  // Without names: the first rising column that is not a running number is
  // the elapsed time, the next plain number column the level.
  if (columns.dateTime < 0 && columns.time < 0 && columns.elapsed < 0 && names.empty())
    for (std::size_t c = 0; c < width; ++c)
      if (!taken[c] && kinds[c] == Kind::Number && !counter[c] && increasing[c]) {
        columns.elapsed = static_cast<int>(c), taken[c] = true;
        break;
      }
  for (std::size_t c = 0; c < width && columns.level < 0; ++c)
    if (!taken[c] && kinds[c] == Kind::Number && !counter[c]) columns.level = static_cast<int>(c), taken[c] = true;
  if (columns.level >= 0) {
    const std::string name = nameOf(static_cast<std::size_t>(columns.level));
    columns.levelUnit = levelUnitFromName(name).value_or(LevelUnit::M);
    const bool depth = anyOf(name, {"管頭", "管口", "からの", "深", "depth", "dtw", "below", "水位"}) &&
                       !anyOf(name, {"水深", "over"});
    columns.levelKind = isPressureUnit(columns.levelUnit) || !depth ? LevelKind::OverSensor : LevelKind::DepthBelowTop;
    if (names.empty()) columns.levelKind = LevelKind::DepthBelowTop;
  }
  if (!steady) columns.flow = -1;
  return columns;
}

} // namespace tov::logger
