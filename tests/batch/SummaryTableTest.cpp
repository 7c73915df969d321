// The summary table's cells, its CSV in both encodings, and the tests a
// batch finds in the folders given.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <regex>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "batch/BatchInputs.h"
#include "batch/SummaryTable.h"
#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "support/FieldRecords.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using tov::TableCell;
using tov::testing::TempDir;

TEST(SummaryTable, NumbersAreReadWholeAndWithoutTheLocale) {
  tov::testing::ScopedLocale german("de_DE.UTF-8");
  const std::pair<const char*, std::optional<double>> rows[] = {
      {"1.5", 1.5}, {" -6.0 ", -6.0}, {"1.50E-5", 1.5e-5}, {"+2", 2.0},
      {"GL-5m", std::nullopt}, {"1,5", std::nullopt}, {"", std::nullopt}, {"0x10", std::nullopt}, {"-", std::nullopt},
      // Another program's field: no number a workbook can hold.
      {"nan", std::nullopt}, {"inf", std::nullopt}, {"-Infinity", std::nullopt}, {"1e999", std::nullopt}};
  for (const auto& [text, value] : rows) EXPECT_EQ(tov::parseWholeNumber(text), value) << text;
}

TEST(SummaryTable, RowsHoldTheRecordsValuesAndKinds) {
  struct Row {
    int formula;
    const char* gradient;
    const char* bore;
    const char* depthFrom;
    TableCell gradientCell, depthCell;
    bool recomputed;
  };
  using K = TableCell::Kind;
  const Row rows[] = {
      {0, "0.000821881", "0.066", "-8.0", {"0.000821881", K::Number, 0.000821881}, {"-8.0", K::Number, -8.0}, true},
      // The steady method has no gradient; a depth written as text stays text.
      {4, "1.1", "0.066", "GL-5m", {"", K::Text, 0}, {"GL-5m", K::Text, 0}, true},
      // No bore diameter: k cannot be computed again.
      {0, "0.0008", "", "-8", {"0.0008", K::Number, 0.0008}, {"-8", K::Number, -8}, false},
  };
  for (const Row& r : rows) {
    tov::TestRecord record;
    record.setField(tov::F_surveyName, "調査, \"A\"");
    record.setField(tov::F_testDateYear, "2024");
    record.setField(tov::F_testDateMonth, "5");
    record.setField(tov::F_testDateDay, "14");
    record.setField(tov::F_formulaKind, std::to_string(r.formula));
    record.setField(tov::F_gradientText, r.gradient);
    record.setField(tov::F_boreDiameter, r.bore);
    record.setField(tov::F_sectionLength, "1.0");
    record.setField(tov::F_equivalentDiameter, "0.05");
    record.setField(tov::F_steadyFlow, "1.5E-5");
    record.setField(tov::F_steadyHeadDifference, "2.5");
    record.setField(tov::F_depthFrom, r.depthFrom);
    record.setField(tov::F_permeabilityText, "2.01E-006");
    const auto row = tov::summaryRow(record, "a.tvd", 2);
    ASSERT_EQ(row.size(), tov::summaryHeader().size());
    EXPECT_EQ(row[tov::SC_testDate].text, "2024/5/14");
    EXPECT_EQ(row[tov::SC_gradient], r.gradientCell) << r.formula;
    EXPECT_EQ(row[tov::SC_depthFrom], r.depthCell);
    EXPECT_EQ(row[tov::SC_kRecorded], (TableCell{"2.01E-006", K::Exponent, 2.01e-6}));
    EXPECT_EQ(row[tov::SC_kRecomputed].kind == K::Exponent, r.recomputed) << row[tov::SC_kRecomputed].text;
  }
}

// The sample's chosen rows fit with R² 0.99996: never shown as a perfect fit.
TEST(SummaryTable, FitIsCutNotRounded) {
  tov::TestRecord record;
  ASSERT_EQ(tov::loadTestFile(fs::path(TOV_SOURCE_DIR) / "samples" / "unsteady.tvd", record), tov::LoadStatus::Ok);
  EXPECT_EQ(tov::summaryRow(record, "u.tvd", 2)[tov::SC_r2].text, "0.9999");
}

// The type curves' columns come after every older one (whose places stay),
// five a model: k and its bounds to the k digits, Ss, the residual; a
// curve not found says why, a steady test has none.
TEST(SummaryTable, TypeCurvesFollowTheOlderColumns) {
  using K = TableCell::Kind;
  tov::TestRecord unsteady, steady;
  ASSERT_EQ(tov::loadTestFile(fs::path(TOV_SOURCE_DIR) / "samples" / "unsteady.tvd", unsteady), tov::LoadStatus::Ok);
  ASSERT_EQ(tov::loadTestFile(fs::path(TOV_SOURCE_DIR) / "samples" / "steady.tvd", steady), tov::LoadStatus::Ok);
  fieldrecords::Shape four;
  four.times = {0, 5, 10, 15};
  struct Row {
    const tov::TestRecord& record;
    int digits;
    const char* k;  // the pattern of both k cells
    K kind;         // of the k and residual cells
  };
  const Row rows[] = {
      {unsteady, 2, "\\d\\.\\d{2}E-\\d{3}", K::Exponent},
      {unsteady, 4, "\\d\\.\\d{4}E-\\d{3}", K::Exponent},
      {fieldrecords::make(four), 2, "なし \\(行が 4 行しかありません.*", K::Text},
      {steady, 2, "", K::Text},
  };
  const auto header = tov::summaryHeader();
  EXPECT_EQ(header[tov::SC_warnings], "検討事項");
  EXPECT_EQ(header[tov::SC_cbpK], "標準曲線 CBP k (m/s)");
  EXPECT_EQ(header[tov::SC_kgsResidual], "KGS 残差 (mm)");
  for (const Row& r : rows) {
    const auto row = tov::summaryRow(r.record, "t.tvd", r.digits);
    ASSERT_EQ(row.size(), header.size());
    for (const int column : {tov::SC_cbpK, tov::SC_kgsK}) {
      EXPECT_TRUE(std::regex_match(row[column].text, std::regex(r.k))) << row[column].text;
      EXPECT_EQ(row[column].kind, r.kind) << row[column].text;
      EXPECT_EQ(row[column + 4].kind == K::Number, r.kind == K::Exponent) << row[column + 4].text;
      if (r.kind != K::Exponent) continue;
      EXPECT_LT(row[column + 1].value, row[column].value);
      EXPECT_GT(row[column + 2].value, row[column].value);
    }
  }
}

TEST(SummaryTable, CsvQuotesAndEncodes) {
  tov::SummaryTable table{{"ファイル", "調査名"}, {{{"a.tvd"}, {"調査, \"A\"\n二行"}}, {{"b.tvd"}, {"①"}}}};
  EXPECT_EQ(tov::csvText(table), "ファイル,調査名\r\na.tvd,\"調査, \"\"A\"\"\n二行\"\r\nb.tvd,①\r\n");
  TempDir dir;
  EXPECT_EQ(tov::writeCsv(dir / "u.csv", table, tov::CsvEncoding::Utf8WithBom), "");
  EXPECT_EQ(tov::testing::readBytes(dir / "u.csv"), "\xEF\xBB\xBF" + tov::csvText(table));
  EXPECT_EQ(tov::writeCsv(dir / "s.csv", table, tov::CsvEncoding::Cp932), "");
  EXPECT_EQ(tov::cp932ToUtf8(tov::testing::readBytes(dir / "s.csv")), tov::csvText(table));
  // A character CP932 cannot hold fails the write and leaves no file.
  table.rows[1][1].text = "한";
  EXPECT_NE(tov::writeCsv(dir / "bad.csv", table, tov::CsvEncoding::Cp932), "");
  EXPECT_FALSE(fs::exists(dir / "bad.csv"));
  // The format by the extension.
  EXPECT_EQ(tov::tableFormatOf("k.XLSX"), tov::TableFormat::Xlsx);
  EXPECT_EQ(tov::tableFormatOf("k.csv"), tov::TableFormat::Csv);
  EXPECT_EQ(tov::tableFormatOf("k.xls"), std::nullopt);
}

// The header's R² (and a check's) once made every CP932 table fail.
TEST(SummaryTable, ACp932TableWritesRSquaredAsR2) {
  tov::TestRecord record;
  ASSERT_EQ(tov::loadTestFile(fs::path(TOV_SOURCE_DIR) / "samples" / "unsteady.tvd", record), tov::LoadStatus::Ok);
  const tov::SummaryTable table{tov::summaryHeader(), {tov::summaryRow(record, "u.tvd", 2)}};
  TempDir dir;
  ASSERT_EQ(tov::writeCsv(dir / "s.csv", table, tov::CsvEncoding::Cp932), "");
  const std::string text = tov::cp932ToUtf8(tov::testing::readBytes(dir / "s.csv"));
  EXPECT_NE(text.find("R2 (解析区間)"), std::string::npos);
  EXPECT_EQ(table.rows[0].size(), table.header.size());
  EXPECT_EQ(table.header[tov::SC_warnings], "検討事項");
  EXPECT_EQ(table.header[tov::SC_suggestedK], "推奨区間の k (m/s)");
}

// A survey name a spreadsheet would run ("=HYPERLINK(…)", "@SUM(…)") is
// written as text; numbers, also negative ones, stay numbers.
TEST(SummaryTable, CsvInjectionCellsAreWrittenAsText) {
  using K = TableCell::Kind;
  const struct { TableCell cell; const char* written; } rows[] = {
      {{"=HYPERLINK(\"http://x\",\"y\")"}, "\"'=HYPERLINK(\"\"http://x\"\",\"\"y\"\")\""},
      {{"@SUM(A1:A2)"}, "'@SUM(A1:A2)"},
      {{"+1+2"}, "'+1+2"},
      {{"-2+3"}, "'-2+3"},
      {{"\tx"}, "'\tx"},
      {{"\rx"}, "\"'\rx\""},
      {{"-1.5"}, "-1.5"},
      {{"調査=A"}, "調査=A"},
      {{"-1.5", K::Number, -1.5}, "-1.5"},
      {{"2.15E-006", K::Exponent, 2.15e-6}, "2.15E-006"},
  };
  for (const auto& r : rows) {
    const tov::SummaryTable table{{"x"}, {{r.cell}}};
    EXPECT_EQ(tov::csvText(table), std::string("x\r\n") + r.written + "\r\n") << r.cell.text;
  }
}

// A shell command's exit status and standard output.
std::pair<int, std::string> shell(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  for (char buffer[4096]; pipe && std::fgets(buffer, sizeof buffer, pipe);) out += buffer;
  const int status = pipe ? ::pclose(pipe) : -1;
  return {status, out};
}

// Whether this build writes workbooks (the Windows cross build has no
// libxlsxwriter yet and says so for every target).
bool writesWorkbooks() {
  TempDir dir;
  return tov::writeXlsx(dir / "probe.xlsx", {{"x"}, {}}).find(".xlsx を書けません") == std::string::npos;
}

// The workbook goes through the checked writer: a FIFO or a device named
// k.xlsx is refused and left as it is (in Japanese), a read-only file keeps
// its mode (refused for a user, written by root), a link stays a link.
// Windows has no FIFOs and gives a user no links; its device is NUL.
TEST(SummaryTable, WorkbookTargetsAreCheckedLikeEveryOutput) {
  if (!writesWorkbooks()) GTEST_SKIP() << "this build writes no .xlsx workbooks";
  const tov::SummaryTable table{{"x"}, {{{"a"}}}};
  TempDir dir;
  const bool root = tov::testing::runsAsRoot();
  const fs::path device = tov::testing::nullDevice(dir.path(), "dev.xlsx");
  tov::testing::writeBytes(dir / "ro.xlsx", "old");
  fs::permissions(dir / "ro.xlsx", fs::perms(0444));
  using T = fs::file_type;
  struct Row { fs::path path; const char* reason; T kind; };
  std::vector<Row> rows = {{dir / "ro.xlsx", root ? "" : "書き込みの権限がありません", T::regular}};
  if (!device.empty()) rows.push_back({device, "デバイスです", fs::symlink_status(device).type()});
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir / "fifo.xlsx").c_str(), 0644), 0);
  tov::testing::writeBytes(dir / "real.xlsx", "old");
  fs::create_symlink(dir / "real.xlsx", dir / "link.xlsx");
  rows.push_back({dir / "fifo.xlsx", "名前付きパイプ(FIFO)です", T::fifo});
  rows.push_back({dir / "link.xlsx", "", T::symlink});
#endif
#ifndef _WIN32
  // The scratch workbook is never written through a link planted where a
  // predictable name would be.
  const fs::path temp = dir / "tmp";
  fs::create_directories(temp);
  tov::testing::writeBytes(dir / "victim", "victim");
  for (int n = 0; n < 4; ++n)
    fs::create_symlink(dir / "victim", temp / ("tov-" + std::to_string(::getpid()) + "-" + std::to_string(n) + ".xlsx"));
  const tov::testing::ScopedEnv tmpdir("TMPDIR", temp.string());
#endif
  for (const auto& r : rows) {
    EXPECT_EQ(tov::writeXlsx(r.path, table), r.reason) << r.path;
    std::error_code ec;
    EXPECT_EQ(fs::symlink_status(r.path, ec).type(), r.kind) << r.path;
  }
#ifndef _WIN32
  EXPECT_EQ(tov::testing::readBytes(dir / "victim"), "victim");
  EXPECT_EQ(std::distance(fs::directory_iterator(temp), fs::directory_iterator()), 4);  // the links alone
#endif
  EXPECT_EQ(fs::status(dir / "ro.xlsx").permissions(), fs::perms(0444));
#ifndef _WIN32
  EXPECT_EQ(tov::testing::readBytes(dir / "real.xlsx").substr(0, 2), "PK");  // written through the link
#endif
  EXPECT_EQ(tov::testing::readBytes(dir / "ro.xlsx").substr(0, 2), root ? "PK" : "ol");
}

// D typed as 0.086 was stored as 0.08599999999999999, a number of 17 digits
// as another: the workbook holds each number in its shortest exact form, and
// the zip put together again is sound.
TEST(SummaryTable, AWorkbookKeepsNumbersAsTyped) {
  if (!writesWorkbooks()) GTEST_SKIP() << "this build writes no .xlsx workbooks";
#ifdef _WIN32
  GTEST_SKIP() << "no unzip among Windows' programs (the workbook's bytes are Linux's: SummaryWorkbook.*)";
#endif
  if (std::system("unzip -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "unzip is not installed";
  using K = TableCell::Kind;
  const struct { TableCell cell; const char* stored; } rows[] = {
      {{"0.086", K::Number, 0.086}, "<v>0.086</v>"},
      {{"2.15E-006", K::Exponent, 2.15e-6}, "<v>2.15e-06</v>"},
      {{"-8.3", K::Number, -8.3}, "<v>-8.3</v>"},
      // 17 significant digits: the writer's 16 would be another number.
      {{"1.0946299933262814e-18", K::Number, 1.0946299933262814e-18}, "<v>1.0946299933262814e-18</v>"},
  };
  tov::SummaryTable table{{"D", "k", "z"}, {{}}};
  for (const auto& r : rows) table.rows[0].push_back(r.cell);
  TempDir dir;
  const fs::path xlsx = dir / "k.xlsx";
  ASSERT_EQ(tov::writeXlsx(xlsx, table), "");
  const auto [testStatus, testOutput] = shell("unzip -t '" + xlsx.string() + "'");
  EXPECT_EQ(testStatus, 0) << testOutput;
  const std::string sheet = shell("unzip -p '" + xlsx.string() + "' xl/worksheets/sheet1.xml").second;
  for (const auto& r : rows) EXPECT_NE(sheet.find(r.stored), std::string::npos) << r.cell.text << "\n" << sheet;
}

// Every cell opens in a reader that parses it: a number that is not finite
// is its text, bytes that are not UTF-8 are shown as "\x82", a text beyond
// 32,767 characters (UTF-16 units, a pair for 😀) is cut, a control
// character is escaped by the writer; each change but the last is a note.
TEST(SummaryTable, EveryWorkbookCellOpens) {
  if (!writesWorkbooks()) GTEST_SKIP() << "this build writes no .xlsx workbooks";
#ifdef _WIN32
  GTEST_SKIP() << "no unzip among Windows' programs";
#endif
  if (std::system("unzip -v >/dev/null 2>&1") != 0) GTEST_SKIP() << "unzip is not installed";
  using K = TableCell::Kind;
  std::string smiles;
  for (int i = 0; i < 20000; ++i) smiles += "😀";
  const struct { TableCell cell; std::string shared; int note; const char* noted; } rows[] = {
      {{"nan", K::Number, std::nan("")}, "<t>nan</t>", tov::IDS_CELL_NOT_FINITE, "nan"},
      {{"inf", K::Exponent, HUGE_VAL}, "<t>inf</t>", tov::IDS_CELL_NOT_FINITE, "inf"},
      {{"-inf", K::Text, 0}, "<t>-inf</t>", tov::IDS_CELL_NOT_FINITE, "-inf"},  // a field, as the row keeps it
      {{"\x82\xa0.tvd", K::Text, 0}, "<t>\\x82\\xa0.tvd</t>", tov::IDS_CELL_NOT_UTF8, ""},
      {{std::string(40000, 'a'), K::Text, 0}, "<t>" + std::string(32767, 'a') + "</t>", tov::IDS_CELL_TOO_LONG, "40000"},
      {{smiles, K::Text, 0}, "<t>" + smiles.substr(0, 16383 * 4) + "</t>", tov::IDS_CELL_TOO_LONG, "40000"},
      {{"a\x01" "b", K::Text, 0}, "<t>a_x0001_b</t>", 0, ""},
  };
  tov::SummaryTable table{{"x"}, {}};
  for (const auto& r : rows) table.rows.push_back({r.cell});
  TempDir dir;
  const fs::path xlsx = dir / "k.xlsx";
  std::vector<std::string> notes;
  ASSERT_EQ(tov::writeXlsx(xlsx, table, &notes), "");
  EXPECT_EQ(shell("unzip -t '" + xlsx.string() + "'").first, 0);
  const std::string shared = shell("unzip -p '" + xlsx.string() + "' xl/sharedStrings.xml").second;
  const std::string sheet = shell("unzip -p '" + xlsx.string() + "' xl/worksheets/sheet1.xml").second;
  EXPECT_TRUE(tov::isValidUtf8(shared));
  EXPECT_EQ(sheet.find("<v>nan"), std::string::npos);
  EXPECT_EQ(sheet.find("<v>inf"), std::string::npos);
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < std::size(rows); ++i) {
    const auto& r = rows[i];
    EXPECT_NE(shared.find(r.shared), std::string::npos) << i;
    if (r.note) expected.push_back(tov::messageText(r.note, {tov::shownPath(xlsx), "A" + std::to_string(i + 2), r.noted}));
  }
  EXPECT_EQ(notes, expected);
}

TEST(BatchInputs, FoldersGiveTheirTestsSortedByName) {
  TempDir dir;
  for (const char* name : {"b.tvd", "a.TVD", "notes.txt", "sub/c.tvd", "sub/deeper/d.tvd", "empty/x.csv"}) {
    fs::create_directories((dir / name).parent_path());
    tov::testing::writeBytes(dir / name, "x");
  }
  fs::create_directories(dir / "folder.tvd");  // a folder is not a test
  auto names = [&](const tov::BatchInputs& found) {
    std::vector<std::string> out;
    for (const auto& p : found.tests) out.push_back(fs::relative(p, dir.path()).generic_string());
    return out;
  };
  struct Row { std::vector<fs::path> inputs; bool recursive; std::vector<std::string> tests; std::size_t problems; };
  const Row rows[] = {
      {{dir.path()}, false, {"a.TVD", "b.tvd"}, 0},
      {{dir.path()}, true, {"a.TVD", "b.tvd", "sub/c.tvd", "sub/deeper/d.tvd"}, 0},
      // Files keep the order given; a missing file is reported when read.
      {{dir / "b.tvd", dir / "sub", dir / "missing.tvd"}, false, {"b.tvd", "sub/c.tvd", "missing.tvd"}, 0},
      {{dir / "empty"}, false, {}, 1},
  };
  for (const Row& r : rows) {
    const auto found = tov::collectTests(r.inputs, r.recursive);
    EXPECT_EQ(names(found), r.tests);
    EXPECT_EQ(found.problems.size(), r.problems);
  }
  EXPECT_EQ(tov::uniqueOutputNames({"x/a.tvd", "y/a.tvd", "a (2).tvd", "z/a.tvd"}),
            (std::vector<std::string>{"a", "a (2)", "a (2) (2)", "a (3)"}));
}
