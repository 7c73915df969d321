// The summary workbook is the same file on Linux and on Windows: both builds
// run this and compare the bytes with the same figures.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "batch/SummaryTable.h"
#include "support/TestSupport.h"

namespace {

std::uint64_t fnv1a(std::string_view bytes) {
  std::uint64_t hash = 0xcbf29ce484222325u;
  for (const unsigned char c : bytes) hash = (hash ^ c) * 0x100000001b3u;
  return hash;
}

} // namespace

// The Windows build's library is compiled from the same source by another
// compiler against another C library (printf, gmtime, file functions): none
// of that may show in the file. Figures taken from the Linux build; a new
// libxlsxwriter or zlib may change them, and then both builds must still
// agree. The temporary folder is named in Japanese: on Windows the library
// opens its files by ANSI names only, and once failed there.
TEST(SummaryWorkbook, IsTheSameBytesOnEveryPlatform) {
  using K = tov::TableCell::Kind;
  tov::SummaryTable table{{"ファイル", "No.", "D (m)", "k (m/s)", "z"}, {}};
  const double ks[] = {2.15e-6, 1.5e-5, 3.0e-9, 0.000123};
  for (int i = 0; i < 4; ++i)
    table.rows.push_back({{"試験" + std::to_string(i) + ".tvd", K::Text, 0},
                          {"A-" + std::to_string(i), K::Text, 0},
                          {"0.086", K::Number, 0.086 + i},
                          {"2.15E-006", K::Exponent, ks[i]},
                          {"-8.3", K::Number, -8.3 * i}});
  tov::testing::TempDir dir;
  const std::filesystem::path scratch = dir.path() / u8"一時フォルダ";
  std::filesystem::create_directory(scratch);
#ifdef _WIN32
  const wchar_t* old = _wgetenv(L"TMP");
  struct Restore {
    std::wstring value;
    ~Restore() { _wputenv_s(L"TMP", value.c_str()); }
  } restore{old ? old : L""};
  _wputenv_s(L"TMP", scratch.c_str());
#else
  tov::testing::ScopedEnv tmpdir("TMPDIR", scratch.string());
#endif
  ASSERT_EQ(std::filesystem::temp_directory_path() / "", scratch / "");
  const std::string error = tov::writeXlsx(dir / "k.xlsx", table);
  if (error.starts_with("この版は .xlsx を書けません")) GTEST_SKIP() << "built without the workbook writer";
  ASSERT_EQ(error, "");
  const std::string bytes = tov::testing::readBytes(dir / "k.xlsx");
  EXPECT_EQ(bytes.size(), 5792u);
  EXPECT_EQ(fnv1a(bytes), 0xab88e70e3cdf0089u);

  // The window runs in the user's locale: a decimal comma there once went
  // into the sheet's numbers and column widths ("14,7"), which spreadsheet
  // programs refuse.
#ifdef _WIN32
  tov::testing::ScopedLocale german("German_Germany.1252");
#else
  tov::testing::ScopedLocale german("de_DE.UTF-8");
#endif
  if (!german.available()) GTEST_SKIP() << "no German locale installed";
  ASSERT_EQ(tov::writeXlsx(dir / "k-de.xlsx", table), "");
  EXPECT_EQ(tov::testing::readBytes(dir / "k-de.xlsx"), bytes);
}
