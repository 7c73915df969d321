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

// Bytes CP932 cannot hold, or the degree sign of "°C" (0xB0 before a
// letter, a half-width katakana in CP932 that no Japanese text puts there).
bool looksWestern(std::string_view head) {
  bool invalid = false;
  cp932ToUtf8(head, &invalid);
  if (invalid) return true;
  for (std::size_t i = 0; i + 1 < head.size(); ++i) {
    const auto c = static_cast<unsigned char>(head[i]);
    if (c >= 0x81 && c <= 0x9F) { ++i; continue; }  // a CP932 lead byte and its trail
    if (c >= 0xE0 && c <= 0xFC) { ++i; continue; }
    if (c == 0xB0 && (head[i + 1] == 'C' || head[i + 1] == 'F')) return true;
  }
  return false;
}

// CP1252 as UTF-8: Latin-1 with the printable marks of 0x80..0x9F.
std::string cp1252ToUtf8(std::string_view bytes) {
  static const char16_t kHigh[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                     0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 4);
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    const char32_t code = c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : c;
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  return out;
}

} // namespace

// --- encoding ---------------------------------------------------------------

Encoding detectEncoding(std::string_view head, bool* mixed) {
  if (mixed) *mixed = false;
  if (head.substr(0, 3) == kBom) return Encoding::Utf8Bom;
  // Each run of bytes beyond ASCII is UTF-8 when the whole run is: a CP932
  // word may hold a valid UTF-8 sequence by chance, hardly a whole run.
  std::size_t invalid = 0, utf8Runs = 0, otherRuns = 0;
  bool runValid = true, inRun = false;
  auto endRun = [&] {
    if (inRun) ++(runValid ? utf8Runs : otherRuns);
    inRun = false, runValid = true;
  };
  for (std::size_t i = 0; i < head.size();) {
    const auto c = static_cast<unsigned char>(head[i]);
    if (c < 0x80) { endRun(); ++i; continue; }
    inRun = true;
    std::size_t length = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (length == 0 || c > 0xF4) { ++invalid; runValid = false; ++i; continue; }
    if (i + length > head.size()) { inRun = false; break; }  // cut by the end of the sample
    bool ok = true;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(head[i + k]) & 0xC0) != 0x80) ok = false;
    if (ok) { i += length; } else { ++invalid; runValid = false; ++i; }
  }
  endRun();
  if (invalid == 0) return Encoding::Utf8;
  if (mixed) *mixed = utf8Runs > 0 && otherRuns > 0;
  if (looksWestern(head)) {
    if (mixed) *mixed = false;
    return Encoding::Cp1252;
  }
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

Utf16 detectUtf16(std::string_view head) {
  if (head.starts_with("\xFF\xFE")) return Utf16::LittleEndian;
  if (head.starts_with("\xFE\xFF")) return Utf16::BigEndian;
  // Without a mark: ASCII text has a zero byte in every other place.
  const std::size_t pairs = std::min<std::size_t>(head.size() / 2, 512);
  if (pairs < 2) return Utf16::None;
  std::size_t zeroEven = 0, zeroOdd = 0;
  for (std::size_t i = 0; i < pairs; ++i) {
    zeroEven += head[2 * i] == '\0';
    zeroOdd += head[2 * i + 1] == '\0';
  }
  if (zeroOdd * 10 >= pairs * 9 && zeroEven == 0) return Utf16::LittleEndian;
  if (zeroEven * 10 >= pairs * 9 && zeroOdd == 0) return Utf16::BigEndian;
  return Utf16::None;
}

std::string Utf16Decoder::decode(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2 + bytes.size() / 4);
  auto put = [&](unsigned code) { out += utf8Of(code); };
  auto unit = [&](unsigned char a, unsigned char b) {
    const unsigned code = bigEndian_ ? (a << 8 | b) : (b << 8 | a);
    if (!started_) {
      started_ = true;
      if (code == 0xFEFF) return;  // the byte-order mark
    }
    if (high_ != 0) {
      const unsigned high = high_;
      high_ = 0;
      if (code >= 0xDC00 && code <= 0xDFFF) {
        put(0x10000 + ((high - 0xD800) << 10) + (code - 0xDC00));
        return;
      }
      put(0xFFFD);
    }
    if (code >= 0xD800 && code <= 0xDBFF) high_ = code;
    else if (code >= 0xDC00 && code <= 0xDFFF) put(0xFFFD);
    else put(code);
  };
  std::size_t i = 0;
  if (!carry_.empty() && !bytes.empty()) {
    unit(static_cast<unsigned char>(carry_[0]), static_cast<unsigned char>(bytes[0]));
    carry_.clear();
    i = 1;
  }
  for (; i + 1 < bytes.size(); i += 2)
    unit(static_cast<unsigned char>(bytes[i]), static_cast<unsigned char>(bytes[i + 1]));
  if (i < bytes.size()) carry_.assign(1, bytes[i]);
  return out;
}

std::string toUtf8(std::string_view line, Encoding encoding) {
  if (line.substr(0, 3) == kBom) line.remove_prefix(3);
  if (encoding == Encoding::Cp932) return cp932ToUtf8(line);
  if (encoding == Encoding::Cp1252) return cp1252ToUtf8(line);
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
  // Either side of the clock: English exports write "10:00:00 AM", Japanese
  // ones "午前 10:00:00" or, in some, "10:00:00 午前".
  for (const auto& [word, which] : {std::pair{"AM", 1}, {"am", 1}, {"PM", 2}, {"pm", 2}, {"午前", 1}, {"午後", 2}})
    if (strip(word, which, false) || strip(word, which, true)) break;
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
    if (!s || *s < 0 || *s >= 60 || text.empty() || !isDigit(text[0])) return std::nullopt;
    seconds = *s;
  }
  int hour = *h;
  if (half != 0) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (half == 2 ? 12 : 0);
  } else if (hour > 24 || (hour == 24 && (*m != 0 || seconds != 0))) {
    return std::nullopt;  // 24:00:00 is the day's end, 24:30 no clock
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
  if (m < 1 || m > 12 || d < 1 || y < 1900 || y > 2999) return std::nullopt;
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kDays[m - 1] + (m == 2 && leap ? 1 : 0)) return std::nullopt;
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

DateOrder guessDateOrder(const std::vector<std::string>& dates, bool* sure) {
  if (sure) *sure = true;
  bool seen = false, dots = false, firstBig = false, secondBig = false;
  std::vector<std::string_view> texts;
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
    if (texts.empty() || texts.back() != date) texts.push_back(date);
  }
  if (firstBig) return DateOrder::DMY;
  if (secondBig) return DateOrder::MDY;
  if (!seen) return DateOrder::YMD;
  if (dots) return DateOrder::DMY;  // dotted dates are written day first
  // Dates of a record follow each other a day at a time: read in the
  // wrong order, the next day is a month away.
  auto follows = [&](DateOrder order) {
    std::optional<long> previous;
    for (const std::string_view text : texts) {
      const auto day = parseDate(text, order);
      if (!day) return false;
      if (previous && std::abs(*day - *previous) > 2) return false;
      previous = day;
    }
    return true;
  };
  const bool monthFirst = follows(DateOrder::MDY), dayFirst = follows(DateOrder::DMY);
  if (monthFirst != dayFirst) return monthFirst ? DateOrder::MDY : DateOrder::DMY;
  if (sure) *sure = false;
  return DateOrder::MDY;
}

std::optional<DateOrder> dateOrderNamed(std::string_view utf8Text) {
  const std::string text = lowerAscii(utf8Text);
  // Three parts, each a run of one letter (or 年, 月, 日), between marks.
  enum Part { Day, Month, Year, None };
  const bool french = contains(text, "aaaa") || contains(text, "aa/") || contains(text, "/aa");
  auto partAt = [&](std::size_t at, std::size_t* end) {
    for (const auto& [word, part] : {std::pair{"年", Year}, {"月", Month}, {"日", Day}})
      if (text.compare(at, std::strlen(word), word) == 0) {
        *end = at + std::strlen(word);
        return part;
      }
    // A run begins after no letter (each run is looked at from its start only).
    if (at > 0 && text[at - 1] >= 'a' && text[at - 1] <= 'z') return None;
    const char c = text[at];
    std::size_t i = at;
    while (i < text.size() && text[i] == c) ++i;
    *end = i;
    if (i < text.size() && text[i] >= 'a' && text[i] <= 'z') return None;
    switch (c) {
    case 'd': case 't': return Day;
    case 'm': return Month;
    case 'y': case 'a': return Year;
    case 'j': return french ? Day : Year;  // jour, or Jahr
    default: return None;
    }
  };
  for (std::size_t at = 0; at < text.size(); ++at) {
    Part parts[3] = {None, None, None};
    std::size_t pos = at;
    bool ok = true;
    for (int k = 0; k < 3 && ok; ++k) {
      if (k > 0) {
        ok = pos < text.size() && text[pos] != '\0' && std::strchr("/-.", text[pos]);
        ++pos;
      }
      if (!ok || pos >= text.size()) { ok = false; break; }
      std::size_t end = pos;
      parts[k] = partAt(pos, &end);
      ok = parts[k] != None;
      pos = end;
    }
    if (!ok || parts[0] == parts[1] || parts[1] == parts[2] || parts[0] == parts[2]) continue;
    if (parts[0] == Year && parts[1] == Month) return DateOrder::YMD;
    if (parts[0] == Month && parts[1] == Day) return DateOrder::MDY;
    if (parts[0] == Day && parts[1] == Month) return DateOrder::DMY;
  }
  return std::nullopt;
}

std::optional<DateOrder> dateOrderFromName(std::string_view name) {
  const std::string lower = lowerAscii(name);
  if (lower == "ymd") return DateOrder::YMD;
  if (lower == "mdy") return DateOrder::MDY;
  if (lower == "dmy") return DateOrder::DMY;
  return std::nullopt;
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

void civilFromDays(long z, int* y, int* m, int* d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

std::string dateText(long day) {
  int y = 0, m = 0, d = 0;
  civilFromDays(day, &y, &m, &d);
  char text[24];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d", y, m, d);
  return text;
}

std::optional<Moment> parseMoment(std::string_view text) {
  text = trim(text);
  if (text.empty() || text.size() > 64) return std::nullopt;
  if (const auto clock = parseClock(text)) return Moment{std::nullopt, *clock};
  // A date with a clock time; the date's parts year first (as ISO writes it).
  if (const auto stamp = parseStamp(text, DateOrder::YMD); stamp && stamp->day && stamp->hasClock)
    return Moment{stamp->day, stamp->seconds};
  if (const auto seconds = parseNumber(text, DecimalMark::Point); seconds && std::abs(*seconds) <= kMaxMomentSeconds)
    return Moment{std::nullopt, *seconds, true};
  return std::nullopt;
}

std::optional<double> utcOffsetFromText(std::string_view text) {
  const std::string lower = lowerAscii(text);
  for (const char* zone : {"gmt", "utc"}) {
    const std::size_t at = lower.find(zone);
    if (at == std::string::npos) continue;
    std::string_view rest = std::string_view(lower).substr(at + 3);
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    if (rest.empty() || (rest.front() != '+' && rest.front() != '-')) return 0.0;  // "GMT" alone
    const double sign = rest.front() == '-' ? -1.0 : 1.0;
    rest.remove_prefix(1);
    std::size_t count = 0;
    const auto hours = digitsValue(rest, &count);
    if (!hours || count > 2 || *hours > 14) return std::nullopt;
    rest.remove_prefix(count);
    int minutes = 0;
    if (!rest.empty() && rest.front() == ':') {
      rest.remove_prefix(1);
      const auto m = digitsValue(rest, &count);
      if (!m || count != 2 || *m > 59) return std::nullopt;
      minutes = *m;
    }
    return sign * (*hours * 3600.0 + minutes * 60.0);
  }
  return std::nullopt;
}

// --- units ------------------------------------------------------------------

double levelUnitToMetres(LevelUnit unit) {
  constexpr double kPaToMetres = 0.101972;  // rho 1000 kg/m3, g 9.80665 m/s2
  switch (unit) {
  case LevelUnit::M: case LevelUnit::MH2O: return 1.0;
  case LevelUnit::Cm: case LevelUnit::CmH2O: return 0.01;
  case LevelUnit::Mm: case LevelUnit::MmH2O: return 0.001;
  case LevelUnit::Ft: case LevelUnit::FtH2O: return 0.3048;
  case LevelUnit::In: case LevelUnit::InH2O: return 0.0254;
  case LevelUnit::KPa: return kPaToMetres;
  case LevelUnit::Pa: return kPaToMetres / 1000.0;
  case LevelUnit::HPa: return kPaToMetres / 10.0;
  case LevelUnit::Bar: return kPaToMetres * 100.0;
  case LevelUnit::Psi: return 6.894757 * kPaToMetres;
  case LevelUnit::MPa: return kPaToMetres * 1000.0;
  case LevelUnit::KgfCm2: return 10.0;  // 98.0665 kPa
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
  case FlowUnit::Gpm: return 3.785411784e-3 / 60.0;  // US gallons a minute
  }
  return 1.0;
}

bool isPressureUnit(LevelUnit unit) {
  return unit == LevelUnit::KPa || unit == LevelUnit::Pa || unit == LevelUnit::HPa || unit == LevelUnit::Psi ||
         unit == LevelUnit::Bar || unit == LevelUnit::MPa || unit == LevelUnit::KgfCm2;
}

bool isWaterColumnUnit(LevelUnit unit) {
  return unit == LevelUnit::MH2O || unit == LevelUnit::CmH2O || unit == LevelUnit::MmH2O || unit == LevelUnit::InH2O ||
         unit == LevelUnit::FtH2O;
}

const char* levelUnitName(LevelUnit unit) {
  switch (unit) {
  case LevelUnit::M: return "m";
  case LevelUnit::Cm: return "cm";
  case LevelUnit::Mm: return "mm";
  case LevelUnit::KPa: return "kPa";
  case LevelUnit::Pa: return "Pa";
  case LevelUnit::HPa: return "hPa (mbar)";
  case LevelUnit::Psi: return "psi";
  case LevelUnit::MH2O: return "mH2O";
  case LevelUnit::CmH2O: return "cmH2O";
  case LevelUnit::MmH2O: return "mmH2O";
  case LevelUnit::Ft: return "ft";
  case LevelUnit::In: return "in";
  case LevelUnit::Bar: return "bar";
  case LevelUnit::InH2O: return "inH2O";
  case LevelUnit::FtH2O: return "ftH2O";
  case LevelUnit::MPa: return "MPa";
  case LevelUnit::KgfCm2: return "kgf/cm²";
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
  case FlowUnit::Gpm: return "gpm";
  }
  return "L/min";
}

namespace {

// Lower case, no blanks, full-width brackets as ASCII.
std::string unitKey(std::string_view utf8) {
  std::string name = lowerAscii(utf8);
  std::erase(name, ' ');
  std::erase(name, '\t');
  for (const auto& [wide, narrow] : {std::pair{"（", "("}, {"）", ")"}, {"［", "["}, {"］", "]"}, {"₂", "2"}, {"²", "2"}})
    for (std::size_t at = name.find(wide); at != std::string::npos; at = name.find(wide))
      name.replace(at, std::strlen(wide), narrow);
  return name;
}

// Units of water columns written into a name, longest first so that
// "mmH2O" is never read as "mH2O".
std::optional<LevelUnit> waterColumnUnit(const std::string& name) {
  static const std::pair<const char*, LevelUnit> kWater[] = {
      {"mmh2o", LevelUnit::MmH2O}, {"mmws", LevelUnit::MmH2O}, {"mmaq", LevelUnit::MmH2O},
      {"cmh2o", LevelUnit::CmH2O}, {"cmws", LevelUnit::CmH2O}, {"cmaq", LevelUnit::CmH2O}, {"cm水", LevelUnit::CmH2O},
      {"inh2o", LevelUnit::InH2O}, {"inwc", LevelUnit::InH2O}, {"fth2o", LevelUnit::FtH2O},
      {"mh2o", LevelUnit::MH2O},   {"mws", LevelUnit::MH2O},   {"mwc", LevelUnit::MH2O},   {"maq", LevelUnit::MH2O},
      {"kpa", LevelUnit::KPa},     {"hpa", LevelUnit::HPa},    {"mbar", LevelUnit::HPa},   {"psi", LevelUnit::Psi},
      {"mpa", LevelUnit::MPa},     {"kgf/cm2", LevelUnit::KgfCm2}, {"kg/cm2", LevelUnit::KgfCm2},
      {"kgf/cm^2", LevelUnit::KgfCm2},
  };
  for (const auto& [text, unit] : kWater)
    if (contains(name, text)) return unit;
  return std::nullopt;
}

} // namespace

std::optional<LevelUnit> levelUnitFromToken(std::string_view utf8Token) {
  const std::string token = unitKey(utf8Token);
  static const std::pair<const char*, LevelUnit> kAlone[] = {
      {"m", LevelUnit::M},     {"cm", LevelUnit::Cm},   {"mm", LevelUnit::Mm},   {"ft", LevelUnit::Ft},
      {"feet", LevelUnit::Ft}, {"in", LevelUnit::In},   {"inch", LevelUnit::In}, {"pa", LevelUnit::Pa},
      {"bar", LevelUnit::Bar}, {"meter", LevelUnit::M}, {"metre", LevelUnit::M}, {"meters", LevelUnit::M},
  };
  for (const auto& [text, unit] : kAlone)
    if (token == text) return unit;
  if (const auto water = waterColumnUnit(token)) return water;
  return std::nullopt;
}

namespace {

// The tokens a name gives its unit in: in brackets, after the last comma
// or colon.
std::vector<std::string> unitTokens(const std::string& name) {
  std::vector<std::string> tokens;
  for (std::size_t open = name.find_first_of("(["); open != std::string::npos;
       open = name.find_first_of("([", open + 1)) {
    const std::size_t close = name.find_first_of(")]", open);
    if (close == std::string::npos) break;
    tokens.push_back(name.substr(open + 1, close - open - 1));
  }
  if (const std::size_t comma = name.rfind(','); comma != std::string::npos) tokens.push_back(name.substr(comma + 1));
  if (const std::size_t colon = name.rfind(':'); colon != std::string::npos) tokens.push_back(name.substr(colon + 1));
  for (std::string& token : tokens)
    if (const std::size_t cut = token.find_first_of(")]("); cut != std::string::npos) token.resize(cut);
  return tokens;
}

// A token that looks like a unit: a few letters, perhaps a digit or "/".
bool looksLikeUnit(const std::string& token) {
  if (token.empty() || token.size() > 8) return false;
  bool letter = false;
  for (const char c : token) {
    if (c >= 'a' && c <= 'z') letter = true;
    else if (!(c >= '0' && c <= '9') && c != '/' && c != '.') return false;
  }
  return letter;
}

} // namespace

std::optional<LevelUnit> levelUnitFromName(std::string_view utf8Name) {
  const std::string name = unitKey(utf8Name);
  if (const auto water = waterColumnUnit(name)) return water;
  for (const std::string& token : unitTokens(name))
    if (const auto unit = levelUnitFromToken(token)) return unit;
  return std::nullopt;
}

std::string unknownUnitInName(std::string_view utf8Name) {
  const std::string name = unitKey(utf8Name);
  if (levelUnitFromName(name)) return {};
  for (const std::string& token : unitTokens(name))
    if (looksLikeUnit(token) && !flowUnitFromName(token) && token != "°c" && token != "c") return token;
  return {};
}

std::optional<FlowUnit> flowUnitFromName(std::string_view utf8Name) {
  std::string name = lowerAscii(utf8Name);
  std::erase(name, ' ');
  if (contains(name, "ml/min") || contains(name, "cc/min")) return FlowUnit::MlPerMin;
  if (contains(name, "gpm") || contains(name, "gal/min")) return FlowUnit::Gpm;
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
  // A footer ("END OF DATA FILE ...") and the lines after the data are
  // left out: the tail is the last run of lines that read as data under
  // some separator, or the last lines when none do.
  std::vector<std::string_view> tail;
  std::size_t nonBlank = 0;
  for (const std::string& line : lines) nonBlank += !trim(line).empty();
  const std::size_t tailSize = std::clamp<std::size_t>(nonBlank / 2, 3, 30);
  auto anyDataRow = [](std::string_view line) {
    for (const Separator s : {Separator::Tab, Separator::Semicolon, Separator::Comma, Separator::Spaces})
      for (const DecimalMark m : {DecimalMark::Point, DecimalMark::Comma})
        if (isDataRow(shapeOf(line, s, m))) return true;
    return false;
  };
  for (auto it = lines.rbegin(); it != lines.rend() && tail.size() < tailSize; ++it) {
    if (trim(*it).empty()) continue;
    if (anyDataRow(*it)) tail.push_back(*it);
    else if (!tail.empty()) break;
  }
  if (tail.empty())
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
  int lastData = -1;
  for (int i = 0; i < count; ++i)
    if (isDataRow(shapes[i])) lastData = i;
  int first = -1;
  for (int i = 0; i < count && first < 0; ++i) {
    if (!isDataRow(shapes[i])) continue;
    // Three data rows in a row, or the data up to a footer that holds no
    // values and ends the data (a short file): the data rows begin here.
    int run = 0, checked = 0;
    bool footer = false;
    for (int j = i + 1; j < count && checked < 3; ++j) {
      if (shapes[j].nonEmpty == 0) continue;
      ++checked;
      if (!isDataRow(shapes[j])) {
        footer = run >= 2 && shapes[j].values == 0 && j > lastData;
        break;
      }
      ++run;
    }
    if (run == checked || footer) first = i;
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
                     bool steady, std::string* reason) {
  std::string why;
  Columns columns;
  std::size_t width = names.size();
  for (const auto& row : rows) width = std::max(width, row.size());
  enum class Kind { Empty, Number, Date, Clock, DateTime, Text };
  std::vector<std::string> dateTexts;
  for (const auto& row : rows)
    for (const std::string& field : row)
      if (splitDate(trim(field).substr(0, trim(field).find_first_of(" T")))) dateTexts.push_back(field);
  bool orderSure = true;
  columns.dateOrder = guessDateOrder(dateTexts, &orderSure);
  // Dates that fit either order: the order the names give ("Date (DD/MM/YYYY)"), else it is asked.
  for (std::size_t c = 0; c < names.size() && !orderSure; ++c)
    if (const auto named = dateOrderNamed(names[c])) columns.dateOrder = *named, orderSure = true;
  columns.dateOrderUnknown = !orderSure;
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
      // Channels of other quantities (a multi-parameter logger's density,
      // conductivity, ...) are never the level, whatever else they name.
      if (anyOf(name, {"temp", "温", "℃", "°c", "cond", "電導", "batt", "電池", "event", "detached", "coupler",
                       "end of file", "番号", "density", "密度", "salin", "塩分", "tds", "volt", "電圧", "oxygen",
                       "酸素", "turb", "濁", "g/cm3", "kg/m3"}) ||
          trimmed == "#" || trimmed == "no" || trimmed == "no." || trimmed == "id" || trimmed == "ph" ||
          trimmed == "ec" || trimmed == "do") {
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
                 trimmed == "h" || trimmed == "h'" || name.starts_with("h(") || name.starts_with("h[") ||
                 name.starts_with("h'(") || levelUnitFromName(name)) {
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
  // A column without a name may be the level; a named one only when its
  // name says level, pressure, depth or head (above).
  for (std::size_t c = 0; c < width && columns.level < 0; ++c)
    if (!taken[c] && kinds[c] == Kind::Number && !counter[c] && std::string(trim(nameOf(c))).empty())
      columns.level = static_cast<int>(c), taken[c] = true;
  if (columns.level >= 0) {
    const std::string name = nameOf(static_cast<std::size_t>(columns.level));
    // A header row may name fewer columns than the data hold.
    const std::size_t level = static_cast<std::size_t>(columns.level);
    const std::string shownName = level < names.size() ? names[level] : std::string();
    columns.levelUnit = levelUnitFromName(name).value_or(LevelUnit::M);
    columns.unknownUnit = unknownUnitInName(name);
    // A depth below a reference only when the name says so: "Depth" and
    // "Sensor Depth" of a level logger are the water over the sensor.
    const bool saysBelow = anyOf(name, {"管頭", "管口", "からの", "depth to", "dtw", "below", "btoc", "bgs", "bmp",
                                        "from top", "to water"});
    // A bare "水位" is what the sheet of a test's readings calls h' (typed
    // with elapsed times or clock times), but what a Japanese level logger
    // calls the water over its sensor (its rows carry dates).
    const bool dated = columns.dateTime >= 0 || columns.date >= 0;
    const bool bareLevel = anyOf(name, {"水位"}) && !saysBelow;
    const bool below = saysBelow || (anyOf(name, {"水位", "深"}) && !anyOf(name, {"水深", "センサ"}) && !(bareLevel && dated));
    if (isPressureUnit(columns.levelUnit)) {
      columns.levelKind = LevelKind::OverSensor;
      why = std::string("列名の単位 ") + levelUnitName(columns.levelUnit) + " から圧力";
    } else if (isWaterColumnUnit(columns.levelUnit) && !saysBelow) {
      columns.levelKind = LevelKind::OverSensor;
      why = std::string("列名の単位 ") + levelUnitName(columns.levelUnit) + " から水柱の圧力（センサー上の水位）";
    } else if (bareLevel && dated) {
      columns.levelKind = LevelKind::OverSensor;
      why = "列名「" + shownName + "」と日付のある記録（ロガー）からセンサー上の水位";
    } else if (shownName.empty()) {
      columns.levelKind = LevelKind::OverSensor;
      why = "列名がないのでセンサー上の水位";
    } else if (below && !anyOf(name, {"over", "above", "センサー上"})) {
      columns.levelKind = LevelKind::DepthBelowTop;
      why = "列名「" + shownName + "」から管口からの水位 h'";
    } else {
      columns.levelKind = LevelKind::OverSensor;
      why = "列名「" + shownName + "」に基準がないのでセンサー上の水位";
    }
  }
  if (!steady) columns.flow = -1;
  if (reason) *reason = why;
  return columns;
}

// --- metadata ---------------------------------------------------------------

Metadata readMetadata(const std::vector<std::string>& utf8Lines) {
  Metadata metadata;
  bool temperatureChannel = false;
  for (const std::string& raw : utf8Lines) {
    const std::string line = lowerAscii(trim(raw));
    if (line.empty()) continue;
    // A channel of temperature, conductivity ...: its units are not the level's.
    if (line.starts_with("[") || line.starts_with("ch") || contains(line, "identification")) {
      if (contains(line, "temp") || contains(line, "cond") || contains(line, "batt")) temperatureChannel = true;
      else if (contains(line, "level") || contains(line, "pres") || contains(line, "depth") || contains(line, "[channel"))
        temperatureChannel = contains(line, "temp");
    }
    if (line == "temperature" || line == "conductivity") temperatureChannel = true;
    if (line == "level" || line == "pressure" || line == "depth") temperatureChannel = false;
    if (!metadata.dateOrder) metadata.dateOrder = dateOrderNamed(raw);
    if (contains(line, "depth to water") || contains(line, "below top") || contains(line, "below toc") ||
        contains(raw, "管頭から"))
      metadata.depthBelowTop = true;
    if (metadata.levelUnit || temperatureChannel) continue;
    const std::size_t mark = line.find_first_of(":=");
    if (mark == std::string::npos) continue;
    const std::string key = line.substr(0, mark);
    std::string value(trim(std::string_view(raw).substr(mark + 1)));
    if (contains(key, "unit")) {
      if (value.empty() || contains(lowerAscii(value), "°") || lowerAscii(value) == "c") continue;
      if (const auto unit = levelUnitFromToken(value)) metadata.levelUnit = unit;
      else if (looksLikeUnit(unitKey(value)) && !flowUnitFromName(value) && metadata.unknownUnit.empty())
        metadata.unknownUnit = value;
    } else if (contains(key, "reference level") || contains(key, "range")) {
      // "1045.000 cm": the unit after the number.
      const std::size_t space = value.find_last_of(" \t");
      if (space == std::string::npos) continue;
      if (const auto unit = levelUnitFromToken(value.substr(space + 1))) metadata.levelUnit = unit;
    }
  }
  return metadata;
}

void applyMetadata(Columns& columns, const Metadata& metadata, bool unitFromName, std::string* reason) {
  if (columns.dateOrderUnknown && metadata.dateOrder) {
    columns.dateOrder = *metadata.dateOrder;
    columns.dateOrderUnknown = false;
  }
  if (columns.level < 0) return;
  if (metadata.levelUnit && !unitFromName) {
    columns.levelUnit = *metadata.levelUnit;
    columns.unknownUnit.clear();
    if (isPressureUnit(columns.levelUnit)) {
      columns.levelKind = LevelKind::OverSensor;
      if (reason) *reason = std::string("見出しの単位 ") + levelUnitName(columns.levelUnit) + " から圧力";
    }
  } else if (!metadata.unknownUnit.empty() && !unitFromName && columns.unknownUnit.empty()) {
    columns.unknownUnit = metadata.unknownUnit;
  }
  if (metadata.depthBelowTop && !isPressureUnit(columns.levelUnit) && columns.levelKind == LevelKind::OverSensor) {
    columns.levelKind = LevelKind::DepthBelowTop;
    if (reason) *reason = "見出しの「depth to water」から管口からの水位 h'";
  }
}

std::optional<LevelMeaning> levelMeaningFromName(std::string_view name) {
  if (name == "below-top") return LevelMeaning::BelowTop;
  if (name == "above-sensor") return LevelMeaning::AboveSensor;
  if (name == "pressure") return LevelMeaning::Pressure;
  return std::nullopt;
}

std::string levelMeaningText(const Columns& columns) {
  if (columns.levelKind == LevelKind::DepthBelowTop) return "管口からの水位 h'";
  return isPressureUnit(columns.levelUnit) ? "センサー上の圧力（水柱に換算）" : "センサー上の水位";
}

} // namespace tov::logger
