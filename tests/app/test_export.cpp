// The exporter: the command line, the summary of the sample tests, PDF and
// PNG output, and the failures that must leave no output behind. The
// process tests run the built tov program.
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sstream>
#include <thread>

#include "cli/ExportJob.h"
#include "cli/Exporter.h"
#include "cli/WindowStart.h"
#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;
using tov::testing::ScopedEnv;
using tov::testing::TempDir;

namespace {

fs::path sample(const char* name) { return fs::path(TOV_SOURCE_DIR) / "samples" / name; }
fs::path tovProgram() { return fs::path(TOV_BINARY_DIR) / "tov"; }

std::vector<std::string> filesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Pages of a PDF: pdfinfo when installed, else the page objects counted.
int pdfPageCount(const fs::path& pdf) {
  const QString pdfinfo = QStandardPaths::findExecutable(QStringLiteral("pdfinfo"));
  if (!pdfinfo.isEmpty()) {
    QProcess p;
    p.start(pdfinfo, {QString::fromStdString(pdf.string())});
    if (p.waitForFinished(30000) && p.exitCode() == 0) {
      const auto m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(QString::fromUtf8(p.readAllStandardOutput()));
      if (m.hasMatch()) return m.captured(1).toInt();
    }
    return -1;
  }
  QFile f(QString::fromStdString(pdf.string()));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  return static_cast<int>(QString::fromLatin1(f.readAll()).count(QRegularExpression(QStringLiteral("/Type\\s*/Page(?!s)"))));
}

// A record and settings as a first start in a private install folder gives them.
struct LoadedTest {
  TempDir root;
  ScopedEnv env{"TOV_ROOT", root.path().string()};
  tov::RecordingMessageSink messages;
  tov::ScopedMessageSink scoped{messages};
  tov::TestRecord record;
  tov::Settings settings{record};

  explicit LoadedTest(const char* name) {
    EXPECT_EQ(tov::loadTestFile(sample(name), record), tov::LoadStatus::Ok) << name;
    settings.loadSettings(false);
    tov::repairScalesForDrawing(record);
    messages.reported.clear();  // what a first start says is not the exporter's business
  }
};

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};

// Runs the program without a display (unless `display` names one).
RunResult runTov(const QStringList& args, const fs::path& root, const QString& display = {}) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TOV_ROOT"), QString::fromStdString(root.string()));
  env.remove(QStringLiteral("DISPLAY"));
  env.remove(QStringLiteral("WAYLAND_DISPLAY"));
  env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // the program must manage without a display on its own
  if (!display.isEmpty()) env.insert(QStringLiteral("DISPLAY"), display);
  p.setProcessEnvironment(env);
  p.start(QString::fromStdString(tovProgram().string()), args);
  RunResult r;
  if (!p.waitForFinished(120000)) return r;
  r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
  r.out = p.readAllStandardOutput().toStdString();
  r.err = p.readAllStandardError().toStdString();
  return r;
}

#define REQUIRE_TOV_PROGRAM()                                                       \
  if (!fs::exists(tovProgram())) GTEST_SKIP() << "build the tov target to run the process tests"

QString q(const fs::path& p) { return QString::fromStdString(p.string()); }

} // namespace

TEST(ExportCommandLine, ParsesJobsPaperAndResolution) {
  std::string error;
  auto job = tov::parseCommandLine({"--export-png", "out/p", "t.tvd", "--dpi", "72", "--paper", "b4"}, &error);
  ASSERT_TRUE(job) << error;
  EXPECT_EQ(job->kind, tov::JobKind::ExportPng);
  EXPECT_EQ(job->output, "out/p");
  EXPECT_EQ(job->input, "t.tvd");
  EXPECT_EQ(job->dpi, 72);
  EXPECT_EQ(std::pair(job->paper.widthMm, job->paper.heightMm), std::pair(257.0, 364.0));  // JIS B4
  job = tov::parseCommandLine({"--export-pdf", "o.pdf", "t.tvd"}, &error);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->paper, tov::a4Paper());
  job = tov::parseCommandLine({"--summary", "t.tvd", "--paper", "215.9x279.4"}, &error);
  ASSERT_TRUE(job);
  EXPECT_EQ(job->paper.wholeWidthMm(), 215);  // the footer centres on whole millimetres
  EXPECT_EQ(tov::paperSizeByName("Letter")->wholeWidthMm(), 215);
  EXPECT_TRUE(tov::parseCommandLine({"--version"}, &error));
}

TEST(ExportCommandLine, RefusesIncompleteOrUnknownArguments) {
  const std::vector<std::vector<std::string>> bad = {
      {},                                            // no job
      {"--export-pdf"},                              // no output
      {"--export-pdf", "o.pdf"},                     // no test
      {"--summary", "a.tvd", "b.tvd"},               // two tests to one summary
      {"--export-pdf", "o.pdf", "a.tvd", "--frobnicate"},
      {"--export-png", "p", "a.tvd", "--dpi", "0"},
      {"--export-png", "p", "a.tvd", "--dpi", "12x"},
      {"--export-png", "p", "a.tvd", "--paper", "A9"},
      {"--export-png", "p", "a.tvd", "--paper", "5x297"},
      {"--export-pdf", "o.pdf", "a.tvd", "--dpi", "300"},  // resolution belongs to PNG
      {"--summary", "a.tvd", "--export-pdf", "o.pdf"},     // two jobs
  };
  for (const auto& args : bad) {
    std::string error;
    EXPECT_FALSE(tov::parseCommandLine(args, &error)) << ::testing::PrintToString(args);
    EXPECT_FALSE(error.empty());
  }

  // Which arguments run without a window: any job or export option (so that
  // "-h" or a stray "--paper A4 x.tvd" is answered on the terminal), not a
  // test file to open.
  const std::pair<std::vector<const char*>, bool> runs[] = {
      {{"tov", "-h"}, true}, {{"tov", "--paper", "A4", "x.tvd"}, true}, {{"tov", "x.tvd", "--dpi", "9"}, true},
      {{"tov", "x.tvd"}, false}, {{"tov"}, false}};
  for (const auto& [args, job] : runs) {
    std::vector<char*> argv;
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    EXPECT_EQ(tov::isCommandLineJob(static_cast<int>(argv.size()), argv.data()), job) << ::testing::PrintToString(args);
  }
}

TEST(ExportCommandLine, WindowStartTakesOneTestFile) {
  struct Row { std::vector<std::string> args; std::optional<std::string> file; };
  const Row rows[] = {
      {{}, ""}, {{"a.tvd"}, "a.tvd"}, {{"--", "-odd.tvd"}, "-odd.tvd"},
      {{"--bogus"}, std::nullopt}, {{"a.tvd", "-x"}, std::nullopt}, {{"a.tvd", "b.tvd"}, std::nullopt},
      {{"-platform", "xcb"}, std::nullopt},  // Qt's own options are not the program's
  };
  for (const Row& r : rows) {
    std::string error;
    EXPECT_EQ(tov::parseWindowArguments(r.args, &error), r.file) << ::testing::PrintToString(r.args);
    EXPECT_EQ(error.empty(), r.file.has_value());
  }
}

TEST(ExportSummary, SamplesAgreeWithTheirOwnCalculation) {
  struct Expect { const char* file; const char* kind; const char* readings; const char* pages; };
  for (const Expect& e : {Expect{"unsteady.tvd", "計算式: 0 ", "測定データ数: 30\n", "ページ数: 2\n"},
                          Expect{"steady.tvd", "計算式: 4 ", "測定データ数: 16\n", "ページ数: 2\n"},
                          Expect{"long.tvd", "計算式: 1 ", "測定データ数: 85\n", "ページ数: 4\n"}}) {
    LoadedTest t(e.file);
    const std::string text = tov::summaryText(t.record, t.settings);
    // The stored k is what the stored gradient and geometry give.
    const std::string k = t.record.permeabilityText();
    ASSERT_FALSE(k.empty());
    for (const std::string& part : {std::string(e.kind), std::string(e.readings), std::string(e.pages),
                                    "k (記録): " + k + " m/s", "k (再計算): " + k + " m/s"})
      EXPECT_NE(text.find(part), std::string::npos) << part << " in\n" << text;
  }
}

// Scripts read the summary by its labels and their places: the older lines
// keep theirs, a line per type curve follows them all, with the model's
// name, k to the k digits, its interval, Ss and the residual in mm (or why
// there is no curve); a steady test has none.
TEST(ExportSummary, LinesKeepTheirPlacesAndTypeCurvesFollowThem) {
  const std::vector<std::string> head{"調査名", "試験方法", "計算式", "試験区間長さ L", "試験区間孔径 D", "等価内径 de",
                                      "測定データ数"};
  const std::vector<std::string> unsteady{"勾配 a", "透水係数 k (記録)", "透水係数 k (再計算)", "近似直線", "推奨区間",
                                          "区間の取り方による k の幅", "s/H0 範囲内の行の k", "検討事項", "ページ数"};
  std::vector<std::string> withoutDe = unsteady;  // no k: none of the band's rows either
  std::erase(withoutDe, "s/H0 範囲内の行の k");
  const std::vector<std::string> steady{"log(2L/D)", "定常時の流量 Qo", "定常時の水位差 So", "透水係数 k (記録)",
                                        "透水係数 k (再計算)", "検討事項", "ページ数"};
  const std::string fit = "\\d\\.\\d{%1}E-\\d{3} \\(95 % \\S+〜\\S+\\) m/s, Ss \\d\\.\\dE-\\d{3}( \\(範囲の端\\))? 1/m, "
                          "残差 \\d+\\.\\d mm \\(n \\d+\\)";
  struct Row {
    const char* file;
    int digits;
    bool withoutDe;
    const std::vector<std::string>& labels;  // after the head
    std::vector<std::string> curves;         // what follows "標準曲線: "
  };
  const Row rows[] = {
      {"unsteady.tvd", 2, false, unsteady, {"CBP k " + fit, "KGS k " + fit}},
      {"unsteady.tvd", 3, false, unsteady, {"CBP k " + fit, "KGS k " + fit}},
      {"unsteady.tvd", 2, true, withoutDe, {"なし \\(試験区間長さ L、孔径 D、等価内径 de が必要です\\)"}},
      {"steady.tvd", 2, false, steady, {}},
  };
  for (const Row& r : rows) {
    LoadedTest t(r.file);
    if (r.withoutDe) t.record.set_equivalentDiameter("");
    t.settings.display.digitsPermeability = r.digits;
    std::vector<std::string> labels, curves;
    std::istringstream lines(tov::summaryText(t.record, t.settings));
    for (std::string line; std::getline(lines, line);) {
      const std::string label = line.substr(0, line.find(": "));
      if (label == "標準曲線") curves.push_back(line.substr(label.size() + 2));
      else if (labels.empty() || labels.back() != label) labels.push_back(label);
      EXPECT_TRUE(label == "標準曲線" || curves.empty()) << "an older line after a type curve: " << line;
    }
    std::vector<std::string> expected = head;
    expected.insert(expected.end(), r.labels.begin(), r.labels.end());
    EXPECT_EQ(labels, expected) << r.file;
    ASSERT_EQ(curves.size(), r.curves.size()) << r.file;
    for (std::size_t i = 0; i < curves.size(); ++i) {
      std::string pattern = "^" + r.curves[i] + "$";
      for (auto at = pattern.find("%1"); at != std::string::npos; at = pattern.find("%1"))
        pattern.replace(at, 2, std::to_string(r.digits));
      EXPECT_TRUE(QRegularExpression(QString::fromStdString(pattern)).match(QString::fromStdString(curves[i])).hasMatch())
          << r.file << " digits " << r.digits << ": " << curves[i];
    }
  }
}

TEST(ExportSummary, UnusableGeometryIsSaidNotComputed) {
  LoadedTest t("unsteady.tvd");
  t.record.set_boreDiameter("0");
  EXPECT_NE(tov::summaryText(t.record, t.settings).find("k (再計算): (計算できません)"), std::string::npos);
}

TEST(ExportFiles, PngPagesHaveThePaperSizeAndResolution) {
  LoadedTest t("long.tvd");
  TempDir out;
  const std::string prefix = (out / "long").string();
  const auto paper = *tov::paperSizeByName("A3");
  ASSERT_TRUE(tov::writePngPages(prefix, t.record, t.settings, paper, 40));
  EXPECT_EQ(filesIn(out.path()), (std::vector<std::string>{"long-1.png", "long-2.png", "long-3.png", "long-4.png"}));
  const QSize expected = tov::paperPixelSize(paper, 40);
  EXPECT_EQ(expected, QSize(468, 661));  // 297 x 420 mm at 40 dpi
  for (const auto& p : tov::pngPagePaths(prefix, 4)) {
    QImage image(q(p));
    ASSERT_FALSE(image.isNull()) << p;
    EXPECT_EQ(image.size(), expected);
    EXPECT_EQ(qRound(image.dotsPerMeterX() * 0.0254), 40);
    // Pages are ordinary files, not left private as their temporaries were.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(fs::status(p).permissions(), static_cast<fs::perms>(0666 & ~mask)) << p;
  }
  EXPECT_TRUE(t.messages.reported.empty());
}

TEST(ExportFiles, PdfHoldsEveryPage) {
  TempDir out;
  for (auto [name, pages] : {std::pair{"long.tvd", 4}, std::pair{"steady.tvd", 2}}) {
    LoadedTest t(name);
    const fs::path pdf = out / (std::string(name) + ".pdf");
    ASSERT_TRUE(tov::writePdf(pdf, t.record, t.settings, tov::a4Paper(), 150));
    EXPECT_EQ(pdfPageCount(pdf), pages) << name;
  }
  // Nothing but the finished files is left in the folder.
  EXPECT_EQ(filesIn(out.path()), (std::vector<std::string>{"long.tvd.pdf", "steady.tvd.pdf"}));

  // A graph title of 4 MB is drawn cut, and the PDF's title with it.
  LoadedTest huge("steady.tvd");
  huge.record.set_graphTitle(std::string(4 << 20, 'x'));
  ASSERT_TRUE(tov::writePdf(out / "huge.pdf", huge.record, huge.settings, tov::a4Paper(), 72));
  EXPECT_LT(fs::file_size(out / "huge.pdf"), 200000u);
}

// A heading left empty holds a full-width space: the PDF was titled with
// it. The title is the graph title without blanks around it, or the survey
// and the test's number, or the file's name.
TEST(ExportFiles, PdfTitleIsNeverBlank) {
  const struct { const char* graphTitle; const char* survey; const char* number; const char* title; } rows[] = {
      {" 透水試験 ", "調査", "B-2", "透水試験"},
      {"　", "県道調査", "B-2", "県道調査 B-2"},
      {"", "　", "B-2", "B-2"},
      {"\t", "", "", "B-3 試験"},
  };
  for (const auto& r : rows) {
    tov::TestRecord record;
    record.set_graphTitle(r.graphTitle), record.set_surveyName(r.survey), record.set_testIdNumber(r.number);
    EXPECT_EQ(tov::pdfTitle(record, "B-3 試験"), r.title) << r.graphTitle;
  }
}

// The text a PDF reader takes from an exported test, page by page: titles,
// a label spread character by character, the vertical axis label, the
// formula's result, the readings and the footers (the texts go to the PDF
// as laid-out glyph runs, a row of them as one run).
TEST(ExportFiles, PdfTextReadsAsDrawn) {
  const QString pdftotext = QStandardPaths::findExecutable(QStringLiteral("pdftotext"));
  if (pdftotext.isEmpty()) GTEST_SKIP() << "pdftotext is not installed";
  LoadedTest t("unsteady.tvd");
  TempDir out;
  const fs::path pdf = out / "u.pdf";
  ASSERT_TRUE(tov::writePdf(pdf, t.record, t.settings, tov::a4Paper()));
  const std::pair<int, const char*> rows[] = {
      {1, "現場透水試験測定結果図"}, {1, "調 査 位 置"}, {1, "県道改良工事に伴う地質調査業務"},
      {1, "-8.00〜-9.00m"},          {1, "水位差 s(m)"}, {1, "=2.01×10"},
      {1, "(付図-1)"},               {2, "現場透水試験測定結果表"}, {2, "水位測定管内"},
      {2, "-5.529"},                 {2, "(付表-1)"},   {2, "株式会社"}};
  for (const auto& [page, text] : rows) {
    QProcess p;
    p.start(pdftotext, {"-f", QString::number(page), "-l", QString::number(page), q(pdf), "-"});
    ASSERT_TRUE(p.waitForFinished(60000));
    const std::string body = p.readAllStandardOutput().toStdString();
    EXPECT_NE(body.find(text), std::string::npos) << "page " << page << ": " << text;
  }
}

TEST(ExportFiles, UnwritableOutputIsReportedAndLeavesNothing) {
  LoadedTest t("unsteady.tvd");
  TempDir out;
  tov::testing::writeBytes(out / "plain", "a file, not a folder");
  const fs::path blocked = out / "plain" / "x.pdf";
  EXPECT_FALSE(tov::writePdf(blocked, t.record, t.settings, tov::a4Paper(), 72));
  EXPECT_FALSE(tov::writePngPages((out / "plain" / "x").string(), t.record, t.settings, tov::a4Paper(), 30));
  ASSERT_EQ(t.messages.reported.size(), 2u);
  EXPECT_EQ(t.messages.reported[0], tov::messageText(tov::IDS_WRITE_FAILED_DETAIL, blocked.string() + ": フォルダ名が異常です"));
  EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{"plain"});
}

TEST(ExportProcess, WritesPdfAndPngWithoutADisplay) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  auto run = [&](const QStringList& args) {
    const RunResult r = runTov(args, root.path());
    EXPECT_EQ(r.exitCode, 0) << args.join(' ').toStdString() << ": " << r.err;
    return r;
  };
  run({"--export-pdf", q(out / "long.pdf"), q(sample("long.tvd"))});
  EXPECT_EQ(pdfPageCount(out / "long.pdf"), 4);
  run({"--export-png", q(out / "u"), q(sample("unsteady.tvd")), "--dpi", "50", "--paper", "B5"});
  EXPECT_EQ(filesIn(out.path()), (std::vector<std::string>{"long.pdf", "u-1.png", "u-2.png"}));
  EXPECT_EQ(QImage(q(out / "u-2.png")).size(), tov::paperPixelSize(*tov::paperSizeByName("B5"), 50));

  RunResult r = run({"--summary", q(sample("steady.tvd"))});
  EXPECT_NE(r.out.find("調査名: 県道改良工事に伴う地質調査業務\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("k (再計算): 5.42E-006 m/s"), std::string::npos) << r.out;
  EXPECT_EQ(run({"--version"}).out, "Tov Version 5  R102\n");
  r = run({"--help"});
  for (const char* option : {"--export-pdf", "--export-png", "--summary", "--paper", "--dpi", "--version"})
    EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

// A second CJK font beside the IPA fonts (a common dependency of printing)
// must not take the pages over in any locale: under Japanese the IPA fonts
// report their family as IPA明朝, which the lookup by "IPAMincho" missed,
// so the pages fell back to the other CJK font and DejaVu Serif. The window
// runs under Japanese; the command line under the user's locale.
TEST(ExportProcess, PageFontsAreTheIpaFontsInEveryLocaleBesideAnotherCjkFont) {
  REQUIRE_TOV_PROGRAM();
  const QString pdffonts = QStandardPaths::findExecutable(QStringLiteral("pdffonts"));
  if (pdffonts.isEmpty()) GTEST_SKIP() << "pdffonts (poppler-utils) is not installed";
  TempDir root, fonts, out;
  for (const char* file : {"/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf",
                           "/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf",
                           "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
                           "/usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf",
                           "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf"}) {
    ASSERT_TRUE(fs::exists(file)) << file << ": scripts/setup.sh installs it";
    fs::create_symlink(file, fonts / fs::path(file).filename().string());
  }
  const fs::path config = fonts / "fonts.conf";
  std::ofstream(config) << "<?xml version=\"1.0\"?>\n<fontconfig><dir>" << fonts.path().string() << "</dir><cachedir>"
                        << (fonts / "cache").string() << "</cachedir></fontconfig>\n";
  const struct { const char* variable; const char* locale; } rows[] = {
      {"LANG", "C.UTF-8"}, {"LANG", "ja_JP.UTF-8"}, {"LC_ALL", "ja_JP.UTF-8"}, {"LANGUAGE", "ja"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.variable) + "=" + r.locale);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANG", "LC_ALL", "LANGUAGE", "DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    env.insert(QString::fromLatin1(r.variable), QString::fromLatin1(r.locale));
    env.insert(QStringLiteral("FONTCONFIG_FILE"), q(config));
    env.insert(QStringLiteral("TOV_ROOT"), q(root.path()));
    const fs::path pdf = out / (std::string(r.variable) + "-" + r.locale + ".pdf");
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(q(tovProgram()), {"--export-pdf", q(pdf), q(sample("unsteady.tvd"))});
    ASSERT_TRUE(p.waitForFinished(120000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    p.start(pdffonts, {q(pdf)});
    ASSERT_TRUE(p.waitForFinished(30000));
    std::vector<std::string> names;
    for (const QString& line : QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n')).mid(2))
      if (!line.trimmed().isEmpty()) names.push_back(line.section(QLatin1Char(' '), 0, 0).toStdString());
    EXPECT_EQ(names, std::vector<std::string>{"IPAMincho"});
  }
}

// A test cut short is summarised as far as it was read, and the summary
// says so first (it read as a whole test before).
TEST(ExportProcess, SummaryOfATestCutShortSaysSo) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  const std::string whole = tov::testing::readBytes(sample("steady.tvd"));
  const struct { std::string bytes; int message; const char* rows; } rows[] = {
      {whole.substr(0, whole.find("$$A")), tov::IDS_TVD_NO_READINGS, "測定データ数: 0\n"},
      {whole.substr(0, whole.size() - 3), tov::IDS_TVD_CUT_SHORT, nullptr},
      {whole, 0, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.message);
    tov::testing::writeBytes(out / "cut.tvd", r.bytes);
    const RunResult result = runTov({"--summary", q(out / "cut.tvd")}, root.path());
    EXPECT_EQ(result.exitCode, 0) << result.err;
    const std::string said = r.message ? "読み込み: " + tov::messageText(r.message, "cut.tvd") + "\n" : "";
    EXPECT_EQ(result.out.substr(0, said.size() + std::string("調査名: 県").size()), said + "調査名: 県") << result.out;
    if (r.rows) {
      EXPECT_NE(result.out.find(r.rows), std::string::npos) << result.out;
    }
  }
}

// A test's texts reach the terminal escaped as file names do: a survey name
// holding a terminal's escapes (retitle, clear the screen) or a CR that
// would overwrite its line acts on nothing.
TEST(ExportProcess, SummaryShowsATestsTextsEscaped) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  tov::TestRecord record;
  ASSERT_EQ(tov::loadTestFile(sample("steady.tvd"), record), tov::LoadStatus::Ok);
  record.set_surveyName("\x1b]0;retitled\x07\x1b[2J\x1b" "c調査\rname\x7f");
  tov::testing::writeBytes(out / "hostile.tvd", *tov::utf8ToCp932(tov::buildTestFileText(record)));
  const RunResult result = runTov({"--summary", q(out / "hostile.tvd")}, root.path());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_NE(result.out.find("調査名: \\x1b]0;retitled\\x07\\x1b[2J\\x1bc調査\\x0dname\\x7f\n"), std::string::npos)
      << result.out;
  for (const char c : result.out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << int(c);
}

// Without a display: a bad command line is answered with the usage and
// status 2 before any window is tried; a good one says in one line that the
// window needs a display.
TEST(ExportProcess, CommandLineIsCheckedBeforeTheDisplay) {
  REQUIRE_TOV_PROGRAM();
  TempDir root;
  for (const QStringList& args : {QStringList{"--bogus"}, QStringList{"a.tvd", "b.tvd"}, QStringList{"a.tvd", "-v"}}) {
    const RunResult r = runTov(args, root.path());
    EXPECT_EQ(r.exitCode, 2) << args.join(' ').toStdString() << ": " << r.err;
    EXPECT_NE(r.err.find("使い方: tov"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.rfind("tov: ", 0), 0u) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  EXPECT_NE(runTov({"--bogus"}, root.path()).err.find("--bogus"), std::string::npos);
  // No display named, and one that is not there.
  for (const QString& display : {QString(), QStringLiteral(":4711")}) {
    const RunResult r = runTov({q(sample("unsteady.tvd"))}, root.path(), display);
    EXPECT_EQ(r.exitCode, 1) << display.toStdString();
    EXPECT_EQ(r.err, tov::kNoDisplayLine) << display.toStdString();
  }
}

TEST(ExportProcess, BadInputFailsWithTheMessageAndNoOutput) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out;
  tov::testing::writeBytes(out / "wrong.tvd", "$$_NOTATEST\r\n$$Z\r\n");
  tov::testing::writeBytes(out / "plain", "x");
  const fs::path missing = out / "missing.tvd";

  struct Case { QStringList args; std::string message; };
  const std::vector<Case> cases = {
      {{"--export-pdf", q(out / "a.pdf"), q(missing)}, tov::messageText(tov::IDS_FILE_NOT_FOUND, missing.string())},
      {{"--export-png", q(out / "a"), q(out / "wrong.tvd")}, tov::messageText(tov::IDS_NOT_TOV_DATA)},
      {{"--summary", q(out / "wrong.tvd")}, tov::messageText(tov::IDS_NOT_TOV_DATA)},
      {{"--export-pdf", q(out / "plain" / "a.pdf"), q(sample("unsteady.tvd"))},
       tov::messageText(tov::IDS_WRITE_FAILED_DETAIL, (out / "plain" / "a.pdf").string() + ": フォルダ名が異常です")},
      {{"--export-png", q(out / "plain" / "a"), q(sample("unsteady.tvd"))},
       tov::messageText(tov::IDS_WRITE_FAILED_DETAIL, (out / "plain" / "a-1.png").string() + ": フォルダ名が異常です")},
      {{"--export-pdf", q(out / "a.pdf"), q(sample("unsteady.tvd")), "--colour"}, "--colour"},
  };
  for (const Case& c : cases) {
    const RunResult r = runTov(c.args, root.path());
    EXPECT_GT(r.exitCode, 0) << c.args.join(' ').toStdString();
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(filesIn(out.path()), (std::vector<std::string>{"plain", "wrong.tvd"})) << c.args.join(' ').toStdString();
  }
}

// Exports aimed at what is no regular file, into a full file system or
// beyond the memory budget: a non-zero exit, the message naming the file
// and the reason, no file left, a node left as it was.
TEST(ExportProcess, FailedTargetsLeaveNothingAndSaySo) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, out, full;
  ASSERT_EQ(::mkfifo((out / "fifo.pdf").c_str(), 0600), 0);
  const bool root_ = ::geteuid() == 0;
  const bool device = root_ && ::mknod((out / "dev.pdf").c_str(), S_IFCHR | 0600, makedev(1, 7)) == 0;
  // A file system with room for a few pages of nothing.
  const bool mounted = root_ && ::mount("tovtest", full.path().c_str(), "tmpfs", 0, "size=16k") == 0;
  if (mounted) tov::testing::writeBytes(full / "filler", std::string(8192, 'x'));
  struct Case { QStringList args; std::string message; bool when; };
  const std::vector<Case> cases = {
      {{"--export-pdf", q(out / "fifo.pdf"), q(sample("unsteady.tvd"))}, "fifo.pdf: 名前付きパイプ(FIFO)です", true},
      {{"--export-pdf", q(out / "dev.pdf"), q(sample("unsteady.tvd"))}, "dev.pdf: デバイスです", device},
      {{"--export-pdf", q(full / "a.pdf"), q(sample("unsteady.tvd"))}, "a.pdf: ディスクの空きが足りません", mounted},
      {{"--export-png", q(full / "a"), q(sample("unsteady.tvd")), "--dpi", "300"}, ": ディスクの空きが足りません", mounted},
      {{"--export-pdf", q(full / "all.pdf"), "--combine", q(sample("unsteady.tvd")), q(sample("long.tvd"))},
       "all.pdf: PDF を作れませんでした (ディスクの空きが足りません)", mounted},
      {{"--export-png", q(out / "big"), q(sample("unsteady.tvd")), "--dpi", "2400", "--paper", "A3"},
       "2400 dpi の A3 は大きすぎます", true},
      {{"--export-png", q(out / "big"), q(sample("unsteady.tvd")), "--dpi", "2400", "--paper", "1000x1000"},
       "1000x1000 は大きすぎます", true},
  };
  struct stat before {};
  ::stat((out / "fifo.pdf").c_str(), &before);
  for (const Case& c : cases) {
    if (!c.when) continue;
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const RunResult r = runTov(c.args, root.path());
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(filesIn(out.path()).size(), device ? 2u : 1u);
    if (mounted) {
      EXPECT_EQ(filesIn(full.path()), std::vector<std::string>{"filler"});
    }
  }
  struct stat after {};
  ::stat((out / "fifo.pdf").c_str(), &after);
  EXPECT_TRUE(S_ISFIFO(after.st_mode) && after.st_ino == before.st_ino);
  if (mounted) ::umount(full.path().c_str());
  if (!device || !mounted) GTEST_SKIP() << "device and full file system cases need root";
}

// A prefix naming a folder gets the pages named after the test.
TEST(ExportFiles, PngPrefixOfAFolderTakesTheTestsName) {
  TempDir out;
  const struct { std::string prefix, input, expected; } cases[] = {
      {(out / "").string(), "/a/unsteady.tvd", (out / "unsteady").string()},
      {out.path().string(), "b.tvd", (out / "b").string()},
      {(out / "x").string(), "b.tvd", (out / "x").string()},
      {(out / "new" / "").string(), "b.tvd", (out / "new" / "b").string()},
  };
  for (const auto& c : cases) EXPECT_EQ(tov::pngPrefixFor(c.prefix, c.input), c.expected) << c.prefix;
}

// An export ended by SIGHUP, SIGINT, SIGQUIT or SIGTERM leaves neither a temporary nor a file
// under its final name. The test asks for the finest grids a file can hold,
// drawn two pixels wide, so that an export runs long enough to be caught.
TEST(ExportProcess, InterruptedExportsLeaveNoTemporary) {
  REQUIRE_TOV_PROGRAM();
  TempDir root, in;
  // A first run makes the install folder; then the grid lines get wider.
  ASSERT_EQ(runTov({"--summary", q(sample("long.tvd"))}, root.path()).exitCode, 0);
  auto linesOf = [](const fs::path& file) {
    const std::string text = tov::testing::readBytes(file);
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 2)
      lines.push_back(text.substr(at, (end = text.find("\r\n", at)) - at));
    return lines;
  };
  const fs::path sys = root / "C" / "Rundalk" / "Tov5" / "Sys.ndx";
  std::vector<std::string> lines = linesOf(sys);
  lines.at(37) = lines.at(40) = "2";  // grid 1 and grid 2 widths
  tov::testing::writeBytes(sys, tov::testing::crlfLines(lines));
  lines = linesOf(sample("long.tvd"));
  const std::pair<int, const char*> fields[] = {{48, "1e-7"}, {49, "1e15"}, {52, "3"}, {65, "0"}, {46, "2"},
                                                {47, "1.9"}, {56, "2"}, {57, "1.9"}, {61, "0.0001"}, {62, "0.0002"}};
  for (const auto& [number, text] : fields) lines.at(static_cast<std::size_t>(number + 1)) = text;
  tov::testing::writeBytes(in / "fine.tvd", tov::testing::crlfLines(lines));

  // The pages are interrupted once a page's temporary is there (the batch
  // keeps them until the last page is drawn); the PDF, made in memory, while
  // it is being drawn.
  struct Case {
    const char* option;
    int signal;
  };
  // Halfway through an uninterrupted PDF export of the same test, timed
  // here: a fixed delay is passed on a fast, idle machine.
  std::chrono::steady_clock::duration pdfMidway;
  {
    TempDir scratch;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runTov({"--export-pdf", q(scratch / "x"), q(in / "fine.tvd"), "--paper", "A4"}, root.path()).exitCode, 0);
    pdfMidway = (std::chrono::steady_clock::now() - start) / 2;
  }
  for (const Case& c : {Case{"--export-png", SIGHUP}, Case{"--export-pdf", SIGINT}, Case{"--export-png", SIGQUIT},
                        Case{"--export-png", SIGTERM}}) {
    SCOPED_TRACE(std::string(c.option) + " " + ::strsignal(c.signal));
    TempDir out;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOV_ROOT"), q(root.path()));
    p.setProcessEnvironment(env);
    p.setChildProcessModifier([] {
      const rlimit none{0, 0};
      ::setrlimit(RLIMIT_CORE, &none);  // SIGQUIT would leave a core file
    });
    const bool png = std::string(c.option) == "--export-png";
    p.start(QString::fromStdString(tovProgram().string()),
            {c.option, q(out / "x"), q(in / "fine.tvd"), png ? "--dpi" : "--paper", png ? "600" : "A4"});
    ASSERT_TRUE(p.waitForStarted());
    const pid_t pid = static_cast<pid_t>(p.processId());
    const auto started = std::chrono::steady_clock::now();
    auto writing = [&] {
      if (png) return !filesIn(out.path()).empty();
      return std::chrono::steady_clock::now() - started > pdfMidway;
    };
    bool seen = false;
    for (int wait = 0; wait < 12000 && !seen && ::kill(pid, 0) == 0; ++wait) {
      seen = writing();
      if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(seen) << "the export ended before it could be interrupted";
    ::kill(pid, c.signal);
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(filesIn(out.path()), std::vector<std::string>{});
  }
}
