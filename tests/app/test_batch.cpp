// Many tests at once: the combined PDF with its pages, texts and bookmarks
// and each font embedded once,
// per-test PDFs equal to single exports and alike on one or two threads,
// hostile files among good ones, the workbook read back against the CSV,
// PNG pages in grey where they have no colour, and the batch dialog.
#define POINTERHOLDER_TRANSITION 4
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTableWidget>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include <cmath>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

#include <poll.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include "cli/BatchJob.h"
#include "dialogs/qt/CBatchDialog.h"
#include "cli/ExportJob.h"
#include "cli/InterruptCleanup.h"
#include "batch/SummaryTable.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using tov::testing::ScopedEnv;
using tov::testing::TempDir;

namespace {

fs::path samples() { return fs::path(TOV_SOURCE_DIR) / "samples"; }
fs::path tovProgram() { return fs::path(TOV_BINARY_DIR) / "tov"; }
QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

struct RunResult {
  int exitCode = -1;
  std::string err;
};
RunResult runTov(const QStringList& args, const fs::path& root) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TOV_ROOT"), q(root));
  p.setProcessEnvironment(env);
  p.start(q(tovProgram()), args);
  RunResult r;
  if (!p.waitForFinished(300000)) return r;
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
  r.err = p.readAllStandardError().toStdString();
  return r;
}

std::string tool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  p.waitForFinished(60000);
  return p.readAllStandardOutput().toStdString();
}

std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A PDF without the second its writer stamped it with.
std::string undated(const fs::path& pdf) {
  return QString::fromLatin1(QByteArray::fromStdString(tov::testing::readBytes(pdf)))
      .replace(QRegularExpression(QStringLiteral("/CreationDate \\(D:\\d+Z\\)")), QString())
      .toLatin1()
      .toStdString();
}

#define REQUIRE_TOV_PROGRAM() \
  if (!fs::exists(tovProgram())) GTEST_SKIP() << "build the tov target to run the process tests"

// The values of a workbook's first sheet, row by row, as the CSV writes
// them (numbers compared as numbers by the caller).
std::vector<std::vector<std::string>> sheetValues(const fs::path& xlsx) {
  const QString unzip = QStandardPaths::findExecutable(QStringLiteral("unzip"));
  const std::string sheet = tool(unzip, {"-p", q(xlsx), "xl/worksheets/sheet1.xml"});
  const std::string shared = tool(unzip, {"-p", q(xlsx), "xl/sharedStrings.xml"});
  std::vector<std::string> strings;
  const QRegularExpression si(QStringLiteral("<si><t[^>]*>([^<]*)</t></si>"));
  for (auto it = si.globalMatch(QString::fromStdString(shared)); it.hasNext();)
    strings.push_back(it.next().captured(1).replace("&amp;", "&").replace("&quot;", "\"").toStdString());
  std::vector<std::vector<std::string>> rows;
  const QRegularExpression row(QStringLiteral("<row r=\"(\\d+)\"[^>]*>(.*?)</row>"));
  const QRegularExpression cell(QStringLiteral("<c r=\"([A-Z]+)\\d+\"([^>]*)>(?:<v>([^<]*)</v>)?</c>"));
  for (auto r = row.globalMatch(QString::fromStdString(sheet)); r.hasNext();) {
    const auto rm = r.next();
    std::vector<std::string> values;
    for (auto c = cell.globalMatch(rm.captured(2)); c.hasNext();) {
      const auto cm = c.next();
      int column = 0;  // "A" 0 .. "Z" 25, "AA" 26 ..
      for (const QChar letter : cm.captured(1)) column = column * 26 + (letter.unicode() - 'A' + 1);
      --column;
      values.resize(static_cast<std::size_t>(column + 1));
      const std::string v = cm.captured(3).toStdString();
      values.back() = cm.captured(2).contains(QStringLiteral("t=\"s\"")) ? strings.at(std::stoul(v)) : v;
    }
    rows.push_back(values);
  }
  return rows;
}

std::vector<std::vector<std::string>> csvValues(const std::string& bytes) {
  std::vector<std::vector<std::string>> rows;
  QString text = QString::fromUtf8(bytes.substr(3));  // after the byte-order mark
  for (const QString& line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
    std::vector<std::string> values;
    for (const QString& v : line.split(',')) values.push_back(v.toStdString());
    rows.push_back(values);
  }
  return rows;
}

} // namespace

TEST(BatchCommandLine, TakesManyTestsAndTheTable) {
  struct Row { std::vector<std::string> args; bool ok; bool batch; };
  const Row rows[] = {
      {{"--export-pdf", "out", "a.tvd", "b.tvd"}, true, true},
      {{"--export-pdf", "all.pdf", "--combine", "dir", "--summary-table", "k.xlsx", "--threads", "2"}, true, true},
      {{"--summary-table", "k.csv", "a.tvd", "--cp932", "--recursive"}, true, true},
      {{"--export-pdf", "o.pdf", "a.tvd"}, true, false},  // one test: a file as before
      {{"--export-png", "p", "a.tvd", "--combine"}, false, false},
      {{"--summary-table", "k.xlsx", "a.tvd", "--cp932"}, false, false},
      {{"--summary-table", "k.txt", "a.tvd"}, false, false},
      {{"--summary-table", "k.csv", "a.tvd", "--threads", "0"}, false, false},
      {{"--summary", "a.tvd", "--summary-table", "k.csv"}, false, false},
  };
  for (const Row& r : rows) {
    std::string error;
    const auto job = tov::parseCommandLine(r.args, &error);
    ASSERT_EQ(job.has_value(), r.ok) << ::testing::PrintToString(r.args) << error;
    if (job) {
      EXPECT_EQ(tov::isBatchJob(*job), r.batch) << ::testing::PrintToString(r.args);
    }
  }
}

// The three samples to one PDF: every page in the order of the names, the
// texts of each test on its pages, a bookmark per test at its first page;
// its table beside it.
TEST(BatchProcess, CombinedPdfHasEveryPageInOrderWithBookmarks) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  const RunResult r = runTov({"--export-pdf", q(out / "all.pdf"), "--combine", q(samples()), "--summary-table",
                        q(out / "k.csv")},
                       root.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(filesIn(out.path()), (std::vector<std::string>{"all.pdf", "k.csv"}));

  const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
  // long.tvd (B-3, 4 pages), steady.tvd (B-2, 2), unsteady.tvd (B-1, 2).
  const std::pair<int, const char*> pages[] = {{1, "B-3"}, {4, "B-3"}, {5, "B-2"}, {6, "定常法）測定記録"},
                                               {7, "B-1"}, {8, "現場透水試験測定結果表"}};
  for (const auto& [page, text] : pages) {
    const std::string body = tool(pdftotext, {"-f", QString::number(page), "-l", QString::number(page),
                                              q(out / "all.pdf"), "-"});
    EXPECT_NE(body.find(text), std::string::npos) << "page " << page << ": " << body.substr(0, 300);
  }

  QPDF pdf;
  pdf.processFile((out / "all.pdf").c_str());
  const auto pageList = QPDFPageDocumentHelper(pdf).getAllPages();
  ASSERT_EQ(pageList.size(), 8u);
  std::vector<std::pair<std::string, std::size_t>> marks;
  for (auto& item : QPDFOutlineDocumentHelper(pdf).getTopLevelOutlines()) {
    const QPDFObjectHandle target = item.getDestPage();
    std::size_t at = 0;
    while (at < pageList.size() && !(pageList[at].getObjectHandle().getObjGen() == target.getObjGen())) ++at;
    marks.emplace_back(item.getTitle(), at);
  }
  EXPECT_EQ(marks, (std::vector<std::pair<std::string, std::size_t>>{{"long", 0}, {"steady", 4}, {"unsteady", 6}}));
}

// The combined PDF holds each font once (one subset for all pages of all
// tests), not a copy per test: the three samples give as many font objects
// and embedded font files as they use fonts, and every page names them.
TEST(BatchProcess, CombinedPdfEmbedsEachFontOnce) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  const RunResult r = runTov({"--export-pdf", q(out / "all.pdf"), "--combine", q(samples())}, root.path());
  ASSERT_EQ(r.exitCode, 0) << r.err;
  QPDF pdf;
  pdf.processFile((out / "all.pdf").c_str());
  std::map<std::string, int> fonts;  // a Type0 font object per base font
  int fontFiles = 0;
  for (QPDFObjectHandle object : pdf.getAllObjects()) {
    if (!object.isDictionary() && !object.isStream()) continue;
    QPDFObjectHandle dict = object.isStream() ? object.getDict() : object;
    if (dict.getKey("/Type").isNameAndEquals("/Font") && dict.getKey("/Subtype").isNameAndEquals("/Type0"))
      ++fonts[dict.getKey("/BaseFont").getName()];
    if (dict.getKey("/Type").isNameAndEquals("/FontDescriptor") && dict.hasKey("/FontFile2")) ++fontFiles;
  }
  ASSERT_FALSE(fonts.empty());
  for (const auto& [name, count] : fonts) EXPECT_EQ(count, 1) << name;
  EXPECT_EQ(fontFiles, static_cast<int>(fonts.size()));
  auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
  ASSERT_EQ(pages.size(), 8u);
  for (std::size_t i = 0; i < pages.size(); ++i)
    EXPECT_FALSE(pages[i].getObjectHandle().getKey("/Resources").getKey("/Font").getKeys().empty()) << i;
}

// A combined PDF whose folder is missing is named with the reason at the
// end; the tests are still read and the table still written, and no
// temporary is left.
TEST(BatchProcess, AnUnwritableCombinedPdfStillLeavesTheTable) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  const RunResult r = runTov({"--export-pdf", q(out / "missing" / "all.pdf"), "--combine", q(samples()),
                              "--summary-table", q(out / "k.csv")},
                             root.path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.err.find("all.pdf: フォルダがありません"), std::string::npos) << r.err;
  EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{"k.csv"});
}

// Per-test PDFs are the single exports; one thread or two give the same
// files (the PDFs but for the second they were made in).
TEST(BatchProcess, PerTestPdfsEqualSingleExportsOnAnyThreadCount) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  for (const char* threads : {"1", "2"}) {
    const RunResult r = runTov({"--export-pdf", q(out / threads), q(samples()), "--summary-table",
                          q(out / (std::string(threads) + ".csv")), "--threads", threads},
                         root.path());
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const RunResult c = runTov({"--export-pdf", q(out / (std::string(threads) + ".pdf")), "--combine", q(samples()),
                          "--threads", threads},
                         root.path());
    ASSERT_EQ(c.exitCode, 0) << c.err;
  }
  EXPECT_EQ(tov::testing::readBytes(out / "1.csv"), tov::testing::readBytes(out / "2.csv"));
  EXPECT_EQ(tov::testing::readBytes(out / "1.pdf"), tov::testing::readBytes(out / "2.pdf"));
  for (const char* name : {"long", "steady", "unsteady"}) {
    const fs::path single = out / (std::string("single-") + name + ".pdf");
    ASSERT_EQ(runTov({"--export-pdf", q(single), q(samples() / (std::string(name) + ".tvd"))}, root.path()).exitCode, 0);
    const std::string expected = undated(single);
    EXPECT_EQ(undated(out / "1" / (std::string(name) + ".pdf")), expected) << name;
    EXPECT_EQ(undated(out / "2" / (std::string(name) + ".pdf")), expected) << name;
  }
}

// Hostile files among the samples: the good rows right and in order, each
// bad file named with its reason, a failing status, and no file that is not
// complete (no PDF of a bad file, no temporary).
TEST(BatchProcess, BadFilesAreNamedAndTheGoodOnesStillDone) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, in, out;
  for (const char* name : {"long.tvd", "steady.tvd", "unsteady.tvd"}) fs::copy_file(samples() / name, in / name);
  tov::testing::writeBytes(in / "a-wrong.tvd", "$$_NOTATEST\r\n$$Z\r\n");
  tov::testing::writeBytes(in / "b-empty.tvd", "");
  tov::testing::writeBytes(in / "c-binary.tvd", std::string("\x00\xff\xfe$$Z\x00\r\n", 9) + std::string(70000, '\xff'));
  fs::create_directories(in / "d-folder.tvd");
  const fs::path missing = in / "zz-missing.tvd";

  const RunResult r = runTov({"--export-pdf", q(out / "pdf"), q(in.path()), q(missing), "--summary-table",
                        q(out / "k.csv"), "--threads", "2"},
                       root.path());
  EXPECT_EQ(r.exitCode, 1) << r.err;
  for (const std::string bad : {"a-wrong.tvd", "b-empty.tvd", "c-binary.tvd", "zz-missing.tvd"})
    EXPECT_NE(r.err.find((in / bad).string() + ": "), std::string::npos) << bad << "\n" << r.err;
  EXPECT_NE(r.err.find(tov::messageText(tov::IDS_NOT_TOV_DATA)), std::string::npos) << r.err;
  EXPECT_EQ(filesIn(out / "pdf"), (std::vector<std::string>{"long.pdf", "steady.pdf", "unsteady.pdf"}));
  EXPECT_EQ(filesIn(out.path()), (std::vector<std::string>{"k.csv", "pdf"}));

  const auto rows = csvValues(tov::testing::readBytes(out / "k.csv"));
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1][0], "long.tvd");
  EXPECT_EQ(rows[2][0], "steady.tvd");
  EXPECT_EQ(rows[3][0], "unsteady.tvd");
  EXPECT_EQ(rows[2][tov::SC_kRecomputed], "5.42E-006");
  EXPECT_EQ(rows[3][tov::SC_testIdNumber], "B-1");

  // A table that cannot be written fails the run and leaves nothing.
  tov::testing::writeBytes(out / "plain", "x");
  const RunResult blocked = runTov({"--summary-table", q(out / "plain" / "k.xlsx"), q(in / "long.tvd")}, root.path());
  EXPECT_EQ(blocked.exitCode, 1);
  EXPECT_NE(blocked.err.find((out / "plain" / "k.xlsx").string()), std::string::npos) << blocked.err;
}

// A test read only in part (readings beyond row 120) is done, and the batch
// says so on its line as the window and --summary do.
TEST(BatchProcess, ATestReadOnlyInPartIsSaid) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, in, out;
  std::string more = tov::testing::readBytes(samples() / "long.tvd");  // 85 readings
  for (int t = 1000; t < 1040; ++t) more += std::to_string(t) + ",1.0,,,,\r\n";
  tov::testing::writeBytes(in / "more.tvd", more);
  fs::copy_file(samples() / "steady.tvd", in / "steady.tvd");
  const RunResult r = runTov({"--summary-table", q(out / "k.csv"), q(in.path())}, root.path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_NE(r.err.find((in / "more.tvd").string() + ": " + tov::messageText(tov::IDS_TVD_STOPPED, {"more.tvd", "224"})),
            std::string::npos)
      << r.err;
  EXPECT_EQ(r.err.find("steady.tvd: "), std::string::npos) << r.err;
}

// Every command refuses an output that is one of the files it reads (the
// tests, the logger file, the template, the barometer, the settings), by
// another spelling or a hard link, an output named twice, and a PDF under a
// test's name, with status 1 and before anything is written: the inputs stay
// as they were. A folder without tests is a failure too.
TEST(BatchProcess, OutputOverAnInputIsRefusedBeforeAnythingIsWritten) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, in, out;
  for (const char* name : {"long.tvd", "steady.tvd"}) fs::copy_file(samples() / name, in / name);
  tov::testing::writeBytes(in / "log.csv", "Date,Time,Level\r\n");
  fs::create_directories(in / "empty");
  fs::create_directories(out / "pdf");
  fs::create_hard_link(in / "long.tvd", out / "pdf" / "long.pdf");
  fs::create_hard_link(in / "long.tvd", out / "k.csv");
  fs::create_hard_link(in / "steady.tvd", out / "p-2.png");
  fs::create_hard_link(in / "steady.tvd", out / "all.pdf");
  fs::create_hard_link(in / "long.tvd", out / "into.tvd");
  fs::create_hard_link(in / "steady.tvd", out / "baro.tvd");
  ASSERT_EQ(runTov({"--summary", q(in / "long.tvd")}, root.path()).exitCode, 0);  // the install folder is made
  fs::path settingsFile;
  for (const auto& e : fs::recursive_directory_iterator(root.path()))
    if (e.path().filename() == "Sys.ndx") settingsFile = e.path();
  ASSERT_FALSE(settingsFile.empty());
  const std::string is = "は入力のファイル", named = "は試験データ(.tvd)の名前です", twice = "が二つの出力に指定されています";
  const QString log = q(in / "log.csv");
  const struct { QStringList args; std::string said; } cases[] = {
      // Every file a command reads is an input: the template, the barometer,
      // the settings; by another name or a hard link too.
      {{"--import-readings", log, "--output", q(in / "long.tvd"), "--into", q(in / "long.tvd")}, is},
      {{"--import-readings", log, "--output", q(out / "into.tvd"), "--into", q(in / "long.tvd")}, is},
      {{"--import-readings", log, "--output", q(in / "steady.tvd"), "--baro", q(in / "." / "steady.tvd")}, is},
      {{"--import-readings", log, "--output", q(out / "baro.tvd"), "--baro", q(in / "steady.tvd")}, is},
      {{"--export-pdf", q(settingsFile), q(in / "long.tvd")}, is},
      // No two outputs are one file: the table named as the combined PDF or
      // as the PDFs' folder (which is not made).
      {{"--export-pdf", q(out / "x.xlsx"), "--combine", q(in.path()), "--summary-table", q(out / "x.xlsx")}, twice},
      {{"--export-pdf", q(out / "s.csv"), q(in.path()), "--summary-table", q(out / "s.csv")}, twice},
      // Several tests into one PDF's name, without --combine: no folder of that name.
      {{"--export-pdf", q(out / "many.pdf"), q(in / "long.tvd"), q(in / "steady.tvd")}, "一つの PDF ファイルの名前です"},
      {{"--export-pdf", q(in / "long.tvd"), q(in / "steady.tvd")}, named},
      {{"--export-pdf", q(in / "long.tvd"), "--combine", q(in.path())}, named},
      {{"--export-pdf", q(out / "all.pdf"), "--combine", q(in.path())}, is},
      {{"--export-pdf", q(out / "pdf"), q(in.path())}, is},
      {{"--summary-table", q(out / "k.csv"), q(in.path())}, is},
      {{"--export-png", q(out / "p"), q(in / "steady.tvd")}, is},
      {{"--export-png", q(out.path()), q(in / "." / "steady.tvd")}, ""},  // steady-1.png ... are new files
      {{"--import-readings", q(in / "log.csv"), "--output", q(in / "." / "log.csv")}, is},
      {{"--summary-table", q(out / "t.csv"), q(in / "empty")}, "がありません"},
  };
  const std::string before = tov::testing::readBytes(in / "long.tvd") + tov::testing::readBytes(in / "steady.tvd") +
                             tov::testing::readBytes(in / "log.csv") + tov::testing::readBytes(settingsFile);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const auto outBefore = filesIn(out.path());
    const RunResult r = runTov(c.args, root.path());
    EXPECT_EQ(r.exitCode, c.said.empty() ? 0 : 1) << r.err;
    EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    EXPECT_EQ(tov::testing::readBytes(in / "long.tvd") + tov::testing::readBytes(in / "steady.tvd") +
                  tov::testing::readBytes(in / "log.csv") + tov::testing::readBytes(settingsFile),
              before);
    if (!c.said.empty()) {
      EXPECT_EQ(filesIn(out.path()), outBefore);
      EXPECT_EQ(filesIn(out / "pdf"), std::vector<std::string>{"long.pdf"});
    }
  }
}

// One test with a table beside its PDF: the PDF named OUT.pdf is that file,
// as the single export writes it, never a folder OUT.pdf holding it.
TEST(BatchProcess, OneTestsPdfBesideATableIsTheFileNamed) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  ASSERT_EQ(runTov({"--export-pdf", q(out / "single.pdf"), q(samples() / "long.tvd")}, root.path()).exitCode, 0);
  const RunResult r = runTov({"--export-pdf", q(out / "one.pdf"), q(samples() / "long.tvd"), "--summary-table",
                              q(out / "k.csv")},
                             root.path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(fs::is_regular_file(out / "one.pdf"));
  EXPECT_EQ(undated(out / "one.pdf"), undated(out / "single.pdf"));
  EXPECT_TRUE(fs::is_regular_file(out / "k.csv"));
}

// SIGTERM the moment a writer's temporary appears (seen by inotify), 20
// times per writer: per-test PDFs on two threads, the CSV and the workbook
// tables (whose library's scratch folder lies in TMPDIR), the import of a
// logger's file, and a save. Nothing is left behind but complete files
// under their own names.
TEST(BatchProcess, ASignalAsATemporaryAppearsLeavesNothing) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, runtime;
  fs::permissions(runtime.path(), fs::perms::owner_all);
  ASSERT_EQ(runTov({"--summary", q(samples() / "long.tvd")}, root.path()).exitCode, 0);
  // Waits for the first file made in either folder; false after 20 s.
  auto terminatedAsAFileAppears = [](const std::vector<fs::path>& folders, const std::function<pid_t()>& start) {
    const int fd = ::inotify_init1(IN_CLOEXEC);
    for (const auto& folder : folders) ::inotify_add_watch(fd, folder.c_str(), IN_CREATE);
    const pid_t child = start();
    pollfd p{fd, POLLIN, 0};
    const bool seen = ::poll(&p, 1, 20000) == 1;
    ::kill(child, SIGTERM);
    ::close(fd);
    return seen;
  };
  // A logger's file for the import: level steady, then falling.
  TempDir logger;
  std::string csv = "Date,Time,Level (m)\r\n";
  for (int i = 0; i < 600; ++i)
    csv += tov::cformat("2026/01/01,%02d:%02d:%02d,%.4f\r\n", 10 + i / 3600, i / 60 % 60, i % 60,
                        i < 60 ? 8.0 : 8.0 - 3.0 * std::exp(-(i - 60) / 120.0));
  tov::testing::writeBytes(logger / "log.csv", csv);
  const struct { const char* name; QStringList args; } writers[] = {
      {"pdf", {"--export-pdf", "OUT/pdf", q(samples()), "--threads", "2"}},
      {"csv", {"--summary-table", "OUT/k.csv", q(samples())}},
      {"xlsx", {"--summary-table", "OUT/k.xlsx", q(samples())}},
      {"import", {"--import-readings", q(logger / "log.csv"), "--output", "OUT/t.tvd", "--sensor-depth", "10",
                  "--start", "10:01:00"}},
  };
  for (const auto& w : writers) {
    int caught = 0;
    for (int run = 0; run < 20; ++run) {
      SCOPED_TRACE(std::string(w.name) + " run " + std::to_string(run));
      TempDir out, scratch;
      fs::create_directories(out / "pdf");
      QStringList args = w.args;
      for (QString& a : args) a.replace(QStringLiteral("OUT"), q(out.path()));
      QProcess p;
      QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
      env.insert(QStringLiteral("TOV_ROOT"), q(root.path()));
      env.insert(QStringLiteral("TMPDIR"), q(scratch.path()));
      env.insert(QStringLiteral("XDG_RUNTIME_DIR"), q(runtime.path()));  // not in TMPDIR
      p.setProcessEnvironment(env);
      EXPECT_TRUE(terminatedAsAFileAppears({out.path(), out / "pdf", scratch.path()}, [&] {
        p.start(q(tovProgram()), args);
        p.waitForStarted();
        return static_cast<pid_t>(p.processId());
      }));
      ASSERT_TRUE(p.waitForFinished(60000));
      if (p.exitStatus() == QProcess::CrashExit) ++caught;
      EXPECT_EQ(filesIn(scratch.path()), std::vector<std::string>{});
      for (const fs::path& folder : {out.path(), out / "pdf"})
        for (const std::string& name : filesIn(folder))
          EXPECT_TRUE(name == "pdf" || name == "k.csv" || name == "k.xlsx" || name == "t.tvd" ||
                      (name.ends_with(".pdf") && name.find(".tmp") == std::string::npos))
              << name;
    }
    EXPECT_GT(caught, 10) << w.name;  // most runs were ended by the signal
  }

  // A save: a child saving a test over and over, ended as a temporary appears.
  for (int run = 0; run < 20; ++run) {
    TempDir dir;
    tov::TestRecord record;
    ASSERT_EQ(tov::loadTestFile(samples() / "long.tvd", record), tov::LoadStatus::Ok);
    pid_t child = -1;
    const bool seen = terminatedAsAFileAppears({dir.path()}, [&] {
      child = ::fork();
      if (child == 0) {
        tov::InterruptCleanup guard;
        for (int i = 0; i < 2000; ++i) tov::saveTestFile(dir / "t.tvd", record);
        ::_exit(0);
      }
      return child;
    });
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(seen);
    for (const std::string& name : filesIn(dir.path())) EXPECT_EQ(name, "t.tvd") << "run " << run;
  }
}

// The workbook holds what the CSV holds: the same texts, the same numbers,
// k as numbers in exponent format, the header row frozen.
TEST(BatchProcess, WorkbookHoldsTheValuesOfTheCsv) {
  REQUIRE_TOV_PROGRAM();
  if (QStandardPaths::findExecutable(QStringLiteral("unzip")).isEmpty()) GTEST_SKIP() << "unzip is not installed";
  TempDir root, out;
  ASSERT_EQ(runTov({"--summary-table", q(out / "k.xlsx"), q(samples())}, root.path()).exitCode, 0);
  ASSERT_EQ(runTov({"--summary-table", q(out / "k.csv"), q(samples())}, root.path()).exitCode, 0);
  const auto csv = csvValues(tov::testing::readBytes(out / "k.csv"));
  const auto sheet = sheetValues(out / "k.xlsx");
  ASSERT_EQ(sheet.size(), csv.size());
  for (std::size_t r = 0; r < csv.size(); ++r) {
    for (std::size_t c = 0; c < csv[r].size(); ++c) {
      const std::string got = c < sheet[r].size() ? sheet[r][c] : "";
      const auto number = tov::parseWholeNumber(csv[r][c]);
      if (r > 0 && number) {
        EXPECT_DOUBLE_EQ(std::stod(got), *number) << r << "," << c;
      } else {
        EXPECT_EQ(got, csv[r][c]) << r << "," << c;
      }
    }
  }
  const QString unzip = QStandardPaths::findExecutable(QStringLiteral("unzip"));
  EXPECT_NE(tool(unzip, {"-p", q(out / "k.xlsx"), "xl/worksheets/sheet1.xml"}).find("ySplit=\"1\""), std::string::npos);
  EXPECT_NE(tool(unzip, {"-p", q(out / "k.xlsx"), "xl/styles.xml"}).find("0.00E+00"), std::string::npos);
}

// PNG pages: pixels exactly as drawn, a page without colour stored grey.
TEST(BatchPng, PagesKeepTheirPixelsAndGreyPagesAreGrey) {
  TempDir root, out;
  ScopedEnv env{"TOV_ROOT", root.path().string()};
  tov::RecordingMessageSink quiet;
  tov::ScopedMessageSink scoped{quiet};
  tov::TestRecord record;
  tov::Settings settings{record};
  ASSERT_EQ(tov::loadTestFile(samples() / "unsteady.tvd", record), tov::LoadStatus::Ok);
  settings.loadSettings(false);
  tov::repairScalesForDrawing(record);
  ASSERT_TRUE(tov::writePngPages((out / "u").string(), record, settings, tov::a4Paper(), 60));
  for (int page : {1, 2}) {
    const QImage drawn = tov::renderPageImage(record, settings, page, tov::a4Paper(), 60);
    const QImage read(q(out / ("u-" + std::to_string(page) + ".png")));
    EXPECT_EQ(read.convertToFormat(QImage::Format_RGB32), drawn) << page;
    EXPECT_EQ(read.format() == QImage::Format_Grayscale8, drawn.allGray()) << page;
  }
}

// The window's batch: the tests listed as read, the table and the combined
// PDF written, a double click opening a test.
TEST(BatchDialog, ListsTestsWritesAndOpens) {
  TempDir root, out;
  ScopedEnv env{"TOV_ROOT", root.path().string()};
  tov::RecordingMessageSink said;
  tov::ScopedMessageSink scoped{said};
  tov::TestRecord record;
  tov::Settings settings{record};
  settings.loadSettings(false);
  said.reported.clear();
  std::vector<fs::path> opened;
  tov::CBatchDialog dialog(nullptr, settings, [&](const fs::path& p) {
    opened.push_back(p);
    return true;
  });
  fs::create_directories(out / "in");
  tov::testing::writeBytes(out / "in" / "bad.tvd", "nothing");
  dialog.readTests({samples(), out / "in" / "bad.tvd"});
  dialog.waitUntilDone();
  auto* list = dialog.findChild<QTableWidget*>(QStringLiteral("testList"));
  ASSERT_TRUE(list);
  ASSERT_EQ(list->rowCount(), 4);
  const std::vector<std::vector<QString>> expected = {{"long.tvd", "B-3", "投入"}, {"steady.tvd", "B-2", "揚水"},
                                                      {"unsteady.tvd", "B-1", "汲上げ(回復)"}};
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(list->item(r, c)->text(), expected[r][c]) << r << "," << c;
  EXPECT_EQ(list->item(2, 3)->text(), QStringLiteral("2.01E-006"));
  EXPECT_TRUE(list->item(3, 4)->text().startsWith(QStringLiteral("読めません"))) << list->item(3, 4)->text().toStdString();

  dialog.writeTable(out / "k.csv", tov::CsvEncoding::Utf8WithBom);
  EXPECT_EQ(csvValues(tov::testing::readBytes(out / "k.csv")).size(), 4u);
  dialog.exportPdf(out / "all.pdf", true);
  dialog.waitUntilDone();
  EXPECT_TRUE(fs::exists(out / "all.pdf"));
  EXPECT_TRUE(said.reported.empty()) << said.reported.front();
  EXPECT_EQ(list->horizontalHeaderItem(4)->text(), QStringLiteral("検討事項"));  // the word of every other place
  dialog.show();
  emit list->cellDoubleClicked(1, 0);
  EXPECT_EQ(opened, std::vector<fs::path>{samples() / "steady.tvd"});
  EXPECT_TRUE(dialog.isVisible()) << "the list stays open beside the opened test";
}
