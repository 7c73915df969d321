// The batch window's rules: what may be pressed, the list's texts of a test
// read and of one that could not be, the status line after a run, which
// tests an export and the table take, the names of the output files, and
// which test a double click opens.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dialogs/BatchModel.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace tov {
namespace {

BatchTestResult test(int index, const char* file, bool ok, const char* reason = "") {
  BatchTestResult r;
  r.index = index;
  r.file = fs::path("/data") / file;
  r.ok = ok;
  r.reason = reason;
  if (ok) {
    r.row.resize(SC_warnings + 1);
    r.row[SC_file].text = file;
    r.row[SC_testIdNumber].text = std::string("No.") + file;
    r.row[SC_testMethod].text = "回復法";
    r.row[SC_kRecorded].text = "2.15E-006";
    r.warnings = "";
  }
  return r;
}

// The model after reading these tests (ok or not).
BatchModel readModel(std::vector<BatchTestResult> results) {
  BatchModel model;
  std::vector<fs::path> files;
  for (const auto& r : results) files.push_back(r.file);
  model.setTests(files);
  BatchResult run;
  run.tests = std::move(results);
  model.finish(run, true);
  return model;
}

TEST(BatchModelTest, ButtonsFollowTheWorkAndTheTestsRead) {
  const struct { bool okRead; bool failedRead; bool working; BatchButtons expected; } rows[] = {
      {false, false, false, {false, true, false}},  // nothing read: only the choosers
      {false, true, false, {false, true, false}},   // only unreadable tests: nothing to write
      {true, true, false, {false, true, true}},
      {true, false, true, {true, false, false}},    // working: only 中止
  };
  for (const auto& row : rows) {
    std::vector<BatchTestResult> results;
    if (row.okRead) results.push_back(test(0, "a.tvd", true));
    if (row.failedRead) results.push_back(test(1, "b.tvd", false, "壊れています"));
    const BatchButtons b = readModel(results).buttons(row.working);
    EXPECT_EQ(b.cancel, row.expected.cancel);
    EXPECT_EQ(b.choose, row.expected.choose);
    EXPECT_EQ(b.outputs, row.expected.outputs) << row.okRead << row.failedRead << row.working;
  }
}

TEST(BatchModelTest, RowTextsOfReadAndUnreadableTests) {
  BatchTestResult warned = test(0, "a.tvd", true);
  warned.warnings = "水位が深度より深い";
  BatchTestResult shortRow = test(1, "c.tvd", true);
  shortRow.row.resize(2);  // a row cut short shows blanks, never reads past it
  const struct { BatchTestResult r; BatchRowText expected; } rows[] = {
      {warned, {"No.a.tvd", "回復法", "2.15E-006", "水位が深度より深い", false}},
      {test(2, "b.tvd", false, "開けません"), {"", "", "", "読めません: 開けません", true}},
      {shortRow, {"", "", "", "", false}},
  };
  for (const auto& row : rows) {
    const BatchRowText t = BatchModel::rowText(row.r);
    EXPECT_EQ(t.number, row.expected.number);
    EXPECT_EQ(t.method, row.expected.method);
    EXPECT_EQ(t.k, row.expected.k);
    EXPECT_EQ(t.warnings, row.expected.warnings);
    EXPECT_EQ(t.unreadable, row.expected.unreadable);
  }
}

TEST(BatchModelTest, StatusAfterARunAndWhatItKeeps) {
  const struct { bool listing; bool cancelled; int ok; int failed; const char* text; std::size_t kept; } rows[] = {
      {true, false, 3, 0, "3 件の試験を読みました", 3},
      {true, false, 2, 1, "2 件の試験を読みました / 読めない試験 1 件", 3},
      {false, false, 2, 1, "2 件の試験を書き出しました / 読めない試験 1 件", 2},  // writing keeps the list read
      {true, true, 1, 1, "中止しました (2 件済み) / 読めない試験 1 件", 2},
      {false, true, 0, 0, "中止しました (0 件済み)", 2},
  };
  for (const auto& row : rows) {
    BatchModel model = readModel({test(0, "x.tvd", true), test(1, "y.tvd", true)});
    BatchResult run;
    run.cancelled = row.cancelled;
    for (int i = 0; i < row.ok; ++i) run.tests.push_back(test(i, "a.tvd", true));
    for (int i = 0; i < row.failed; ++i) run.tests.push_back(test(row.ok + i, "b.tvd", false, "壊れています"));
    EXPECT_EQ(model.finish(run, row.listing), row.text);
    EXPECT_EQ(model.results().size(), row.kept) << row.text;
  }
}

TEST(BatchModelTest, ExportsAndTheTableTakeOnlyTheTestsRead) {
  const BatchModel model =
      readModel({test(0, "a.tvd", true), test(1, "b.tvd", false, "壊れています"), test(2, "c.tvd", true)});
  EXPECT_EQ(model.exportTests(), (std::vector<fs::path>{"/data/a.tvd", "/data/c.tvd"}));
  const SummaryTable table = model.summaryTable();
  EXPECT_EQ(table.header, summaryHeader());
  ASSERT_EQ(table.rows.size(), 2u);
  EXPECT_EQ(table.rows[1][SC_file].text, "c.tvd");

  testing::TempDir dir;
  std::string status;
  EXPECT_EQ(model.writeTable(dir / "一覧.csv", CsvEncoding::Utf8WithBom, status), "");
  EXPECT_EQ(status, "一覧表 (2 件) を書き出しました: " + (dir / "一覧.csv").string());
  std::stringstream csv;
  csv << std::ifstream(dir / "一覧.csv", std::ios::binary).rdbuf();
  EXPECT_EQ(csv.str().find("b.tvd"), std::string::npos);
  // A table that cannot be written says where, and leaves the status alone.
  status = "前";
  const std::string error = model.writeTable(dir / "無い" / "一覧.xlsx", CsvEncoding::Utf8WithBom, status);
  EXPECT_EQ(error.rfind((dir / "無い" / "一覧.xlsx").string() + ": ", 0), 0u) << error;
  EXPECT_EQ(status, "前");
}

TEST(BatchModelTest, OutputFileNames) {
  const struct { const char* chosen; const char* pdf; } pdfs[] = {
      {"/o/一覧", "/o/一覧.pdf"}, {"/o/一覧.PDF", "/o/一覧.PDF"}, {"/o/a.pdf.bak", "/o/a.pdf.bak.pdf"}};
  for (const auto& row : pdfs) EXPECT_EQ(BatchModel::combinedPdfFile(row.chosen), fs::path(row.pdf));

  using F = BatchTableFilter;
  const struct { F filter; const char* chosen; const char* file; CsvEncoding encoding; } tables[] = {
      {F::Xlsx, "/o/t", "/o/t.xlsx", CsvEncoding::Utf8WithBom},
      {F::CsvUtf8, "/o/t", "/o/t.csv", CsvEncoding::Utf8WithBom},
      {F::CsvShiftJis, "/o/t", "/o/t.csv", CsvEncoding::Cp932},
      {F::Xlsx, "/o/t.CSV", "/o/t.CSV", CsvEncoding::Utf8WithBom},  // the name's own kind wins
      {F::CsvShiftJis, "/o/t.txt", "/o/t.txt.csv", CsvEncoding::Cp932},
  };
  for (const auto& row : tables) {
    const BatchTableTarget t = BatchModel::tableTarget(row.filter, row.chosen);
    EXPECT_EQ(t.file, fs::path(row.file));
    EXPECT_EQ(t.encoding, row.encoding) << row.file;
  }
}

TEST(BatchModelTest, WhatADoubleClickOpensAndAFailedWriteSays) {
  const BatchModel model = readModel({test(0, "a.tvd", true), test(1, "b.tvd", false, "壊れています")});
  const struct { int row; bool working; std::optional<fs::path> opened; } rows[] = {
      {1, false, fs::path("/data/b.tvd")},  // an unreadable test opens too: the window says why
      {-1, false, std::nullopt}, {2, false, std::nullopt}, {0, true, std::nullopt},
  };
  for (const auto& row : rows) EXPECT_EQ(model.testToOpen(row.row, row.working), row.opened) << row.row;

  EXPECT_EQ(BatchModel::writeFailureText(test(0, "a.tvd", true)), "");
  EXPECT_EQ(BatchModel::writeFailureText(test(1, "b.tvd", false, "書けません")), "b.tvd: 書けません");
}

} // namespace
} // namespace tov
