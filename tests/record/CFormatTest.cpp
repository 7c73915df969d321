// Number formatting and parsing: C-locale results with three-digit
// exponents, identical whatever the process locale says.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <string>

#include "record/CFormat.h"
#include "support/TestSupport.h"

namespace {

using tov::cformat;

struct Formatted {
  std::string actual;
  const char* expected;
};

// Every row is formatted afresh, so the same table can be checked under
// different locales.
std::vector<Formatted> formattingCases() {
  return {
      {cformat("%.2E", 2.1508e-6), "2.15E-006"}, {cformat("%E", 1.23456e-5), "1.234560E-005"},
      {cformat("%e", 1.5), "1.500000e+000"},       {cformat("%.3e", -12345.678), "-1.235e+004"},
      {cformat("%g", 0.00001), "1e-005"},          {cformat("%g", 1e100), "1e+100"},
      {cformat("%g", 1e-300), "1e-300"},           {cformat("%g", 2.3), "2.3"},
      {cformat("%g", -0.7), "-0.7"},               {cformat("%g", 1234567.0), "1.23457e+006"},
      {cformat("%G", 1.5e-20), "1.5E-020"},        {cformat("%#g", 1e-5), "1.00000e-005"},
      {cformat("%.g", 0.05), "0.05"},              {cformat("%g", 0.0), "0"},
      // Width and flags apply to the text with the widened exponent.
      {cformat("%12.2E", 2.1508e-6), "   2.15E-006"}, {cformat("%-12.2E|", 2.1508e-6), "2.15E-006   |"},
      {cformat("%012.2E", -2.1508e-6), "-002.15E-006"}, {cformat("%+012.2E", 2.1508e-6), "+002.15E-006"},
      {cformat("%+.1e", 3.0), "+3.0e+000"},          {cformat("%5.2E", 2.1508e-6), "2.15E-006"},
      {cformat("%*.*E", 11, 1, 2.1508e-6), "   2.2E-006"}, {cformat("%*g|", -8, 0.5), "0.5     |"},
      {cformat("%10g", INFINITY), "       inf"},     {cformat("%010E", -INFINITY), "      -INF"},
      // Fixed forms and the other conversions.
      {cformat("%.1f", 1.25), "1.2"},   {cformat("%.2f", 1.5), "1.50"},   {cformat("%.3f", 0.0125), "0.013"},
      {cformat("%f", 1e6), "1000000.000000"}, {cformat("%8.3f|", -2.5), "  -2.500|"},
      {cformat("%.*f", 2, 3.14159), "3.14"},  {cformat("%d %i %+d % d", -42, 7, 5, 3), "-42 7 +5  3"},
      {cformat("%05d|%-5d|%5d", 42, 42, -42), "00042|42   |  -42"},
      {cformat("%u %ld %lu %lld", 4000000000u, -2000000000L, 4000000000UL, -3000000000LL),
       "4000000000 -2000000000 4000000000 -3000000000"},
      {cformat("%x %X %o %#x", 255, 255, 8, 26), "ff FF 10 0x1a"},
      {cformat("%s|%5s|%-5s|%.2s", "ab", "ab", "ab", "abcd"), "ab|   ab|ab   |ab"},
      {cformat("%c%c", 'o', 'k'), "ok"}, {cformat("100%%"), "100%"}, {cformat("%%.%dE", 2), "%.2E"},
      {cformat("日本語 %d 件", 3), "日本語 3 件"}, {cformat("%s", "透水係数"), "透水係数"},
  };
}

void expectAll(const std::vector<Formatted>& cases) {
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(CFormat, FormatsWithThreeDigitExponentsAndFlags) { expectAll(formattingCases()); }

TEST(CFormat, LongTextsAreNotCut) {
  std::string long_(1000, 'x');
  EXPECT_EQ(cformat("[%s]", long_.c_str()), "[" + long_ + "]");
  EXPECT_EQ(cformat("%f", 1e300).size(), 301u + 7u);
  EXPECT_EQ(cformat("%300d", 1).size(), 300u);
}

TEST(CFormat, PermeabilityFormatCapsDigits) {
  const struct { double k; int digits; const char* expected; } rows[] = {
      {2.1508e-6, 2, "2.15E-006"}, {2.1508e-6, 0, "2E-006"}, {2.1508e-6, -3, "2E-006"},
      {4.7623e-6, 3, "4.762E-006"}, {1.23456789012e-4, 8, "1.23456789E-004"},
      {1.23456789012e-4, 12, "1.23456789E-004"}, {0.0, 2, "0.00E+000"}, {-999999.9, 2, "-1.00E+006"},
  };
  for (const auto& r : rows) EXPECT_EQ(tov::formatPermeability(r.k, r.digits), r.expected) << r.k << " " << r.digits;
}

struct Parsed {
  const char* text;
  double value;
};

const Parsed kDoubles[] = {
    {"1.5", 1.5},        {"1,5", 1.0},      {"  12", 12.0},     {"\t-3.25", -3.25},
    {"+3", 3.0},         {"-.5", -0.5},     {".5", 0.5},        {"1.5E-5", 1.5e-5},
    {"2.5e+3xyz", 2500}, {"", 0.0},         {"abc", 0.0},       {"   ", 0.0},
    {"1abc", 1.0},       {"-", 0.0},        {"1e", 1.0},        {"0.0001", 0.0001},
    {"1e+", 1.0},        {"5.", 5.0},       {".", 0.0},         {"-1.5e3", -1500.0},
    {"0x10", 0.0},       {"inf", 0.0},      {"-nan", 0.0},      {"+-1", 0.0},
    // Out of range as strtod, also where the exponent itself overflows a long.
    {"1e309", HUGE_VAL}, {"-1e309", -HUGE_VAL}, {"1e-400", 0.0},
    {"000000000001e300000000000000000000", HUGE_VAL}, {"0.001e-9223372036854775808", 0.0},
};

TEST(CFormat, ToDoubleReadsTheLongestDecimalPrefix) {
  for (const auto& p : kDoubles) EXPECT_DOUBLE_EQ(tov::toDouble(p.text), p.value) << p.text;
  // A view is read only up to its end, never past it.
  std::string_view cut = std::string_view("12345", 2);
  EXPECT_DOUBLE_EQ(tov::toDouble(cut), 12.0);
}

TEST(CFormat, IntegerConversionsSaturateAndFollowC) {
  const struct { const char* text; int value; } ints[] = {
      {"42", 42},   {"  -7", -7},    {"+3", 3},       {"12.9", 12},  {"", 0},
      {"abc", 0},   {"0x10", 0},     {"010", 10},     {"4 5", 4},    {"- 4", 0},
      {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN},
      {"2147483648", INT_MAX},           {"-2147483649", INT_MIN},
  };
  for (const auto& r : ints) EXPECT_EQ(tov::toInt(r.text), r.value) << r.text;

  // Rows: text, toLong, toLongAutoBase.
  const struct { const char* text; long decimal, autoBase; } longs[] = {
#if LONG_MAX > 0x7fffffffL
      {"-3000000000", -3000000000L, -3000000000L},
#else  // long has 32 bits on Windows
      {"-3000000000", LONG_MIN, LONG_MIN},
#endif
      {"999999999999999999999999", LONG_MAX, LONG_MAX},
      {"0x1F", 0, 31}, {"0X1f", 0, 31}, {"010", 10, 8}, {" -0x10", 0, -16}, {"09", 9, 0},
      {"", 0, 0},      {"z", 0, 0},     {"0xZ", 0, 0},  {"1e3", 1, 1},
  };
  for (const auto& r : longs) {
    EXPECT_EQ(tov::toLong(r.text), r.decimal) << r.text;
    EXPECT_EQ(tov::toLongAutoBase(r.text), r.autoBase) << r.text;
  }
}

// Under a locale whose decimal separator is a comma, the results are the
// same as under the C locale, and the thread's locale is left as it was.
TEST(CFormat, GermanLocaleChangesNothing) {
#ifdef _WIN32
  const char* name = "German_Germany.1252";
#else
  const char* name = "de_DE.UTF-8";
#endif
  tov::testing::ScopedLocale german(name);
  if (!german.available()) GTEST_SKIP() << name << " is not installed";
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
  ASSERT_STREQ(buffer, "1,5");  // the locale really writes a decimal comma

  expectAll(formattingCases());
  for (const auto& p : kDoubles) EXPECT_DOUBLE_EQ(tov::toDouble(p.text), p.value) << p.text;
  EXPECT_EQ(tov::formatPermeability(2.1508e-6, 2), "2.15E-006");
  EXPECT_EQ(tov::toInt("1,5"), 1);
  std::snprintf(buffer, sizeof buffer, "%.1f", 1.5);
  EXPECT_STREQ(buffer, "1,5");
}

} // namespace
