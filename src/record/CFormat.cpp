#include "record/CFormat.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>
#include <cwchar>

namespace tov {
namespace {

// The "C" locale as an object, created once and kept for the whole run.
locale_t cLocale() {
  static const locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// Switches the calling thread to the C locale for the lifetime of the guard
// (the process-wide locale and other threads are not affected).
class CLocaleScope {
public:
  CLocaleScope() {
    locale_t c = cLocale();
    if (c != static_cast<locale_t>(nullptr)) previous_ = uselocale(c);
  }
  ~CLocaleScope() {
    if (previous_ != static_cast<locale_t>(nullptr)) uselocale(previous_);
  }
  CLocaleScope(const CLocaleScope&) = delete;
  CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
  locale_t previous_ = static_cast<locale_t>(nullptr);
};

// One conversion, with '*' already resolved.
struct Conversion {
  bool left = false;   // '-'
  bool plus = false;   // '+'
  bool space = false;  // ' '
  bool alt = false;    // '#'
  bool zero = false;   // '0'
  int width = -1;      // -1: none
  int precision = -1;  // -1: none
  enum Length { None, HH, H, L, LL, J, Z, T, BigL } length = None;
  char conversion = 0;
};

// Builds "%[flags][width][.precision]" followed by `tail`.
std::string specText(const Conversion& s, bool withWidth, const char* tail) {
  std::string f = "%";
  if (s.left) f += '-';
  if (s.plus) f += '+';
  if (s.space) f += ' ';
  if (s.alt) f += '#';
  if (s.zero && withWidth) f += '0';
  if (withWidth && s.width >= 0) f += std::to_string(s.width);
  if (s.precision >= 0) {
    f += '.';
    f += std::to_string(s.precision);
  }
  f += tail;
  return f;
}

// snprintf of one value into a string (the caller holds the C locale).
template <typename T>
std::string formatOne(const std::string& pattern, T value) {
  char small[128];
  int n = std::snprintf(small, sizeof small, pattern.c_str(), value);
  if (n < 0) return std::string();
  if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, static_cast<std::size_t>(n));
  std::string big(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(big.data(), big.size(), pattern.c_str(), value);
  big.resize(static_cast<std::size_t>(n));
  return big;
}

// Widens the exponent of an e/E/g/G result to a sign and at least three
// digits ("1e-05" -> "1e-005"). Texts without an exponent are unchanged.
void widenExponent(std::string& text) {
  std::size_t e = text.find_last_of("eE");
  if (e == std::string::npos || e + 1 >= text.size()) return;
  std::size_t digits = e + 1;
  if (text[digits] == '+' || text[digits] == '-') {
    ++digits;
  } else {
    text.insert(digits, 1, '+');
    ++digits;
  }
  std::size_t count = text.size() - digits;
  if (count < 3) text.insert(digits, 3 - count, '0');
}

// Pads a finished floating-point text to the width of the pattern.
void applyWidth(std::string& text, const Conversion& s) {
  if (s.width < 0 || text.size() >= static_cast<std::size_t>(s.width)) return;
  std::size_t pad = static_cast<std::size_t>(s.width) - text.size();
  if (s.left) {
    text.append(pad, ' ');
    return;
  }
  bool finite = text.find_first_of("0123456789") != std::string::npos &&
                text.find_first_of("iInN") == std::string::npos;
  if (s.zero && finite) {
    std::size_t at = (!text.empty() && (text[0] == '-' || text[0] == '+' || text[0] == ' ')) ? 1 : 0;
    text.insert(at, pad, '0');
  } else {
    text.insert(0, pad, ' ');
  }
}

std::string formatInteger(const Conversion& s, va_list& args) {
  const bool isSigned = s.conversion == 'd' || s.conversion == 'i';
  char conv[2] = {s.conversion, '\0'};
  switch (s.length) {
  case Conversion::LL:
  case Conversion::J:
    if (isSigned) return formatOne(specText(s, true, (std::string("ll") + conv).c_str()), va_arg(args, long long));
    return formatOne(specText(s, true, (std::string("ll") + conv).c_str()), va_arg(args, unsigned long long));
  case Conversion::L:
  case Conversion::Z:
  case Conversion::T:
    if (isSigned) return formatOne(specText(s, true, (std::string("l") + conv).c_str()), va_arg(args, long));
    return formatOne(specText(s, true, (std::string("l") + conv).c_str()), va_arg(args, unsigned long));
  case Conversion::HH:
    if (isSigned) return formatOne(specText(s, true, conv), static_cast<int>(static_cast<signed char>(va_arg(args, int))));
    return formatOne(specText(s, true, conv), static_cast<unsigned>(static_cast<unsigned char>(va_arg(args, unsigned))));
  case Conversion::H:
    if (isSigned) return formatOne(specText(s, true, conv), static_cast<int>(static_cast<short>(va_arg(args, int))));
    return formatOne(specText(s, true, conv), static_cast<unsigned>(static_cast<unsigned short>(va_arg(args, unsigned))));
  default:
    if (isSigned) return formatOne(specText(s, true, conv), va_arg(args, int));
    return formatOne(specText(s, true, conv), va_arg(args, unsigned));
  }
}

std::string formatFloating(const Conversion& s, va_list& args) {
  long double value = s.length == Conversion::BigL ? va_arg(args, long double)
                                             : static_cast<long double>(va_arg(args, double));
  char conv[3] = {'L', s.conversion, '\0'};
  const bool exponent = s.conversion == 'e' || s.conversion == 'E' || s.conversion == 'g' ||
                        s.conversion == 'G';
  if (!exponent) return formatOne(specText(s, true, conv), value);
  std::string text = formatOne(specText(s, false, conv), value);
  widenExponent(text);
  applyWidth(text, s);
  return text;
}

std::string vformat(const char* format, va_list& args) {
  std::string out;
  if (format == nullptr) return out;
  CLocaleScope cLocaleForThisThread;
  const char* p = format;
  while (*p != '\0') {
    if (*p != '%') {
      const char* q = std::strchr(p, '%');
      std::size_t n = q ? static_cast<std::size_t>(q - p) : std::strlen(p);
      out.append(p, n);
      p += n;
      continue;
    }
    const char* start = p++;
    if (*p == '%') {
      out += '%';
      ++p;
      continue;
    }
    Conversion s;
    for (;; ++p) {
      if (*p == '-') s.left = true;
      else if (*p == '+') s.plus = true;
      else if (*p == ' ') s.space = true;
      else if (*p == '#') s.alt = true;
      else if (*p == '0') s.zero = true;
      else if (*p == '\'') continue;  // grouping: the C locale has none
      else break;
    }
    if (*p == '*') {
      int w = va_arg(args, int);
      if (w < 0) {
        s.left = true;
        s.width = w == INT_MIN ? INT_MAX : -w;
      } else {
        s.width = w;
      }
      ++p;
    } else {
      long w = 0;
      bool any = false;
      while (*p >= '0' && *p <= '9') {
        if (w < INT_MAX / 10) w = w * 10 + (*p - '0');
        any = true;
        ++p;
      }
      if (any) s.width = static_cast<int>(w);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        int pr = va_arg(args, int);
        s.precision = pr < 0 ? -1 : pr;
        ++p;
      } else {
        long pr = 0;
        while (*p >= '0' && *p <= '9') {
          if (pr < INT_MAX / 10) pr = pr * 10 + (*p - '0');
          ++p;
        }
        s.precision = static_cast<int>(pr);
      }
    }
    if (s.left) s.zero = false;
    switch (*p) {
    case 'h':
      ++p;
      if (*p == 'h') { s.length = Conversion::HH; ++p; } else s.length = Conversion::H;
      break;
    case 'l':
      ++p;
      if (*p == 'l') { s.length = Conversion::LL; ++p; } else s.length = Conversion::L;
      break;
    case 'q': s.length = Conversion::LL; ++p; break;
    case 'j': s.length = Conversion::J; ++p; break;
    case 'z': s.length = Conversion::Z; ++p; break;
    case 't': s.length = Conversion::T; ++p; break;
    case 'L': s.length = Conversion::BigL; ++p; break;
    default: break;
    }
    s.conversion = *p;
    switch (s.conversion) {
    case 'd': case 'i': case 'u': case 'x': case 'X': case 'o':
      out += formatInteger(s, args);
      break;
    case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A':
      out += formatFloating(s, args);
      break;
    case 'c': {
      Conversion t = s;
      t.precision = -1;
      if (s.length == Conversion::L) out += formatOne(specText(t, true, "lc"), va_arg(args, wint_t));
      else out += formatOne(specText(t, true, "c"), va_arg(args, int));
      break;
    }
    case 's':
      if (s.length == Conversion::L) {
        const wchar_t* text = va_arg(args, const wchar_t*);
        out += formatOne(specText(s, true, "ls"), text ? text : L"(null)");
      } else {
        const char* text = va_arg(args, const char*);
        out += formatOne(specText(s, true, "s"), text ? text : "(null)");
      }
      break;
    case 'p':
      out += formatOne(specText(s, true, "p"), va_arg(args, void*));
      break;
    case 'n':
      // Writing through an argument pointer is never wanted here: skip it.
      (void)va_arg(args, void*);
      break;
    case '\0':
      // A format that ends inside a conversion: keep the text as written.
      out.append(start);
      return out;
    default:
      // Unknown conversion: copy it as it stands.
      out.append(start, static_cast<std::size_t>(p - start + 1));
      break;
    }
    ++p;
  }
  return out;
}

const char* skipBlanks(const char* p) {
  while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r') ++p;
  return p;
}

long parseLong(std::string_view text, int base) {
  std::string s(text);
  locale_t c = cLocale();
  if (c == static_cast<locale_t>(nullptr)) return 0;
  // strtol saturates at LONG_MIN / LONG_MAX on overflow.
  return strtol_l(skipBlanks(s.c_str()), nullptr, base, c);
}

} // namespace

std::string cformat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string s = vformat(format, args);
  va_end(args);
  return s;
}

double toDouble(std::string_view text) {
  // Only plain decimal text is read: [sign] digits [. digits] [e|E [sign] digits].
  // Hexadecimal, "inf" and "nan", which strtod would also accept, read as 0.
  std::size_t i = 0;
  const std::size_t n = text.size();
  auto isDigit = [&](std::size_t at) { return at < n && text[at] >= '0' && text[at] <= '9'; };
  while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\v' ||
                   text[i] == '\f' || text[i] == '\r'))
    ++i;
  const std::size_t start = i;
  if (i < n && (text[i] == '+' || text[i] == '-')) ++i;
  std::size_t digits = 0;
  while (isDigit(i)) { ++i; ++digits; }
  if (i < n && text[i] == '.') {
    ++i;
    while (isDigit(i)) { ++i; ++digits; }
  }
  if (digits == 0) return 0.0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
    if (isDigit(j)) {
      while (isDigit(j)) ++j;
      i = j;
    }
  }
  const std::string number(text.substr(start, i - start));
  locale_t c = cLocale();
  if (c == static_cast<locale_t>(nullptr)) return 0.0;
  return strtod_l(number.c_str(), nullptr, c);
}

int toInt(std::string_view text) {
  long v = parseLong(text, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

long toLong(std::string_view text) { return parseLong(text, 10); }

long toLongAutoBase(std::string_view text) { return parseLong(text, 0); }

std::string formatPermeability(double k, int digits) {
  if (digits > 8) digits = 8;
  if (digits < 0) digits = 0;
  std::string format = cformat("%%.%dE", digits);
  return cformat(format.c_str(), k);
}

} // namespace tov
