#include "record/CFormat.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>
#include <cwchar>

namespace tov {
namespace {

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

// snprintf of one value into a string. Only conversions that no locale
// touches (integers, characters, narrow strings, pointers) come here.
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

// std::to_chars of one value with a precision; exact like the C library's
// printf, and it never looks at a locale.
template <typename T>
std::string toChars(T value, std::chars_format form, int precision) {
  std::string text(128, '\0');
  for (;;) {
    auto r = std::to_chars(text.data(), text.data() + text.size(), value, form, precision);
    if (r.ec == std::errc()) {
      text.resize(static_cast<std::size_t>(r.ptr - text.data()));
      return text;
    }
    text.resize(text.size() * 4 + static_cast<std::size_t>(precision));
  }
}

// The digits of a floating-point conversion as printf writes them under the
// C locale, before sign flags and width.
template <typename T>
std::string floatingDigits(T value, const Conversion& s) {
  const char c = static_cast<char>(s.conversion | 0x20);  // lower case
  if (!std::isfinite(value)) return std::isnan(value) ? (std::signbit(value) ? "-nan" : "nan")
                                                      : (value < 0 ? "-inf" : "inf");
  if (c == 'a') {
    std::string text = s.precision < 0 ? std::string(128, '\0') : std::string();
    if (s.precision < 0) {
      auto r = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::hex);
      text.resize(static_cast<std::size_t>(r.ptr - text.data()));
    } else {
      text = toChars(value, std::chars_format::hex, s.precision);
    }
    const std::size_t at = text[0] == '-' ? 1 : 0;
    text.insert(at, "0x");
    if (s.alt && text.find('.') == std::string::npos) text.insert(text.find('p'), 1, '.');
    return text;
  }
  const int precision = s.precision < 0 ? 6 : s.precision;
  std::string text;
  if (c == 'f') {
    text = toChars(value, std::chars_format::fixed, precision);
    if (s.alt && precision == 0) text += '.';
  } else if (c == 'e') {
    text = toChars(value, std::chars_format::scientific, precision);
    if (s.alt && precision == 0) text.insert(text.find('e'), 1, '.');
  } else if (!s.alt) {
    text = toChars(value, std::chars_format::general, precision == 0 ? 1 : precision);
  } else {
    // "%#g" keeps its trailing zeros: the rule of %g without the trimming.
    const int p = precision == 0 ? 1 : precision;
    std::string e = toChars(value, std::chars_format::scientific, p - 1);
    const int x = std::atoi(e.c_str() + e.find('e') + 1);
    if (x == p && std::fabs(value) < std::pow(10.0L, p)) {
      // Rounding carried into a new digit ("%#g" of 999999.5): the C
      // library writes the carried form with no digits after the point.
      text = toChars(value, std::chars_format::scientific, 0);
      text.insert(text.find('e'), 1, '.');
    } else if (p > x && x >= -4) {
      text = toChars(value, std::chars_format::fixed, p - 1 - x);
      if (text.find('.') == std::string::npos) text += '.';
    } else {
      text = e;
      if (text.find('.') == std::string::npos) text.insert(text.find('e'), 1, '.');
    }
  }
  return text;
}

std::string formatFloating(const Conversion& s, va_list& args) {
  // Hexadecimal forms are written from the long double, as printf's "%La"
  // does (0xcp-3 for 1.5): that is how this formatter has always written them.
  const bool hex = s.conversion == 'a' || s.conversion == 'A';
  std::string text = s.length == Conversion::BigL ? floatingDigits(va_arg(args, long double), s)
                     : hex ? floatingDigits(static_cast<long double>(va_arg(args, double)), s)
                           : floatingDigits(va_arg(args, double), s);
  if (text[0] != '-') {
    if (s.plus) text.insert(0, 1, '+');
    else if (s.space) text.insert(0, 1, ' ');
  }
  if (s.conversion >= 'A' && s.conversion <= 'Z')
    for (char& ch : text)
      if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  const char c = static_cast<char>(s.conversion | 0x20);
  if (c == 'e' || c == 'g') widenExponent(text);
  applyWidth(text, s);
  return text;
}

std::string vformat(const char* format, va_list& args) {
  std::string out;
  if (format == nullptr) return out;
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
      // wint_t may be narrower than int (Windows) and arrives promoted.
      using WideArgument = std::conditional_t<(sizeof(wint_t) < sizeof(int)), int, wint_t>;
      if (s.length == Conversion::L) {
        const auto wide = static_cast<wint_t>(va_arg(args, WideArgument));
        // As under the C locale: only ASCII converts, anything else writes nothing.
        if (wide < 0x80) out += formatOne(specText(t, true, "c"), static_cast<int>(wide));
      } else {
        out += formatOne(specText(t, true, "c"), va_arg(args, int));
      }
      break;
    }
    case 's':
      if (s.length == Conversion::L) {
        const wchar_t* text = va_arg(args, const wchar_t*);
        // As under the C locale: the characters written (up to the precision)
        // must be ASCII, else the conversion writes nothing.
        std::string narrow;
        bool ascii = true;
        if (text == nullptr) narrow = "(null)";
        for (const wchar_t* w = text; w && *w != L'\0'; ++w) {
          if (s.precision >= 0 && narrow.size() >= static_cast<std::size_t>(s.precision)) break;
          if (static_cast<unsigned long>(*w) >= 0x80) { ascii = false; break; }
          narrow += static_cast<char>(*w);
        }
        if (ascii) out += formatOne(specText(s, true, "s"), narrow.c_str());
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

int digitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// As strtol for base 10 and base 0, saturating at LONG_MIN / LONG_MAX.
long parseLong(std::string_view text, int base) {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\v' ||
                   text[i] == '\f' || text[i] == '\r'))
    ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (base == 0) {
    if (i + 2 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
        digitValue(text[i + 2]) < 16) {
      base = 16;
      i += 2;
    } else if (i < n && text[i] == '0') {
      base = 8;
    } else {
      base = 10;
    }
  }
  const unsigned long limit = negative ? static_cast<unsigned long>(LONG_MAX) + 1u
                                       : static_cast<unsigned long>(LONG_MAX);
  unsigned long magnitude = 0;
  bool overflow = false;
  for (; i < n && digitValue(text[i]) < base; ++i) {
    const unsigned d = static_cast<unsigned>(digitValue(text[i]));
    if (overflow || magnitude > (limit - d) / static_cast<unsigned>(base)) overflow = true;
    else magnitude = magnitude * static_cast<unsigned>(base) + d;
  }
  if (overflow) return negative ? LONG_MIN : LONG_MAX;
  if (!negative) return static_cast<long>(magnitude);
  return magnitude == limit ? LONG_MIN : -static_cast<long>(magnitude);
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
  std::string_view number = text.substr(start, i - start);
  const bool negative = number[0] == '-';
  if (number[0] == '+' || number[0] == '-') number.remove_prefix(1);
  double value = 0.0;
  const auto r = std::from_chars(number.data(), number.data() + number.size(), value);
  if (r.ec == std::errc::result_out_of_range) {
    // As strtod: too large gives infinity, too small zero. The decimal
    // position of the first significant digit tells which.
    long position = 0;
    bool seen = false, point = false;
    std::size_t k = 0;
    for (; k < number.size() && number[k] != 'e' && number[k] != 'E'; ++k) {
      if (number[k] == '.') point = true;
      else if (!seen && number[k] != '0') { seen = true; if (!point) ++position; }
      else if (seen && !point) ++position;
      else if (!seen && point) --position;
    }
    if (k < number.size()) {
      // The exponent saturates at the range of long; adding it must too.
      const long exponent = parseLong(number.substr(k + 1), 10);
      if (exponent > 0 && position > LONG_MAX - exponent) position = LONG_MAX;
      else if (exponent < 0 && position < LONG_MIN - exponent) position = LONG_MIN;
      else position += exponent;
    }
    value = position > 0 ? HUGE_VAL : 0.0;
  }
  return negative ? -value : value;
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
