#pragma once
// Locale-independent number conversion and printf-style formatting.
//
// Every number the program reads from text or writes as text goes through
// these functions. They never look at the process locale (LC_NUMERIC may be
// de_DE, which would write "1,5"), and they write exponents the way the
// program's files have always held them: a sign and at least three digits
// ("%.2E" of 2.15e-6 is "2.15E-006", "%g" of 0.00001 is "1e-005").
#include <string>
#include <string_view>

namespace tov {

// printf-style formatting with the C locale and three-digit exponents.
// Supports the conversions d i u ld lu x X o c s f F e E g G and %%, with
// flags, width and precision (including '*'). Arguments are checked by the
// compiler as for printf.
// (mingw's "printf" is the Microsoft runtime's, which lacks %zu; this is
// the C99 one of every other compiler.)
#ifdef __MINGW32__
#define TOV_PRINTF_FORMAT gnu_printf
#else
#define TOV_PRINTF_FORMAT printf
#endif
std::string cformat(const char* format, ...) __attribute__((format(TOV_PRINTF_FORMAT, 1, 2)));

// Plain decimal conversion as C's atof: leading white space is skipped, the
// longest valid prefix is converted, and text without a number gives 0.
double toDouble(std::string_view text);
// As C's atoi / atol (decimal, leading white space and sign, stops at the
// first non-digit; no number gives 0; out-of-range values saturate).
int toInt(std::string_view text);
long toLong(std::string_view text);
// As C's strtol with base 0: "0x" prefix hexadecimal, a leading 0 octal,
// otherwise decimal; parsing stops at the first character that does not fit.
long toLongAutoBase(std::string_view text);

// Builds the k format: "%%.%dE" with digits capped at 8 (and at least 0),
// then formats k with it. formatPermeability(2.1508e-6, 2) == "2.15E-006".
std::string formatPermeability(double k, int digits);

} // namespace tov
