// The view as an engineer uses it: zoom steps and fits, the keys that move
// within a page and turn pages, the page number in the status bar, the
// window on the screen and between runs, printing that equals the export,
// PDF output from the window, message box icons and Qt's Japanese texts.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPrinter>
#include <QProcess>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTranslator>
#include <QWheelEvent>

#include <tuple>

#include "app/CMainFrame.h"
#include "app/CTovApp.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "cli/ExportJob.h"
#include "qt/FileChooser.h"
#include "qt/MessageBoxSink.h"
#include "app/ShellLogic.h"
#include "files/Settings.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnv;
using testing::TempDir;

fs::path sample(const char* name) { return fs::path(TOV_SOURCE_DIR) / "samples" / name; }

// Saves to whatever the test says and remembers what it was offered.
class AnsweringChooser : public FileChooser {
public:
  std::optional<fs::path> chooseOpenFile(QWidget*, const fs::path&, const QStringList&) override { return {}; }
  std::optional<fs::path> chooseSaveFile(QWidget*, const fs::path& file, const QStringList& filters) override {
    offered = file;
    offeredFilters = filters;
    return answer;
  }
  std::optional<fs::path> answer;
  fs::path offered;
  QStringList offeredFilters;
};

// A first start in a private install folder and a main window on a test.
class View : public ::testing::Test {
protected:
  void SetUp() override {
    theViewState() = ViewState{};
    theSettings().loadSettings(true);
    frame.view().OnInitialUpdate();
    sink.reported.clear();
  }
  // A copy: an open test is locked, and test programs run side by side.
  void open(const char* name) {
    const fs::path copy = openFolder / name;
    fs::copy_file(sample(name), copy, fs::copy_options::overwrite_existing);
    ASSERT_TRUE(doc.openDocumentFile(copy));
    sink.reported.clear();
  }
  TempDir openFolder;
  // The view alone at a size (its viewport is the whole of it without scroll bars).
  CTovView& viewSized(int width, int height) {
    CTovView& view = frame.view();
    view.setParent(nullptr);
    view.resize(width, height);
    view.show();
    QCoreApplication::processEvents();
    return view;
  }
  void TearDown() override { frame.view().close(); }

  TempDir root;
  ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  AnsweringChooser chooser;
  CTovDoc doc{record, chooser, nullptr};
  CMainFrame frame{doc, nullptr};
};

TEST(ViewZoom, StepsAndFits) {
  // {from, step in, step out}: between steps to the neighbours; the limits hold.
  for (auto [from, in, out] : {std::tuple{100, 110, 90}, {103, 110, 100}, {400, 400, 300}, {kMinZoom, 25, kMinZoom}})
    EXPECT_EQ(std::pair(nextZoomStep(from, 1), nextZoomStep(from, -1)), std::pair(in, out)) << from;
  // 210 mm on 794 pixels at 96 dpi is 100 %.
  struct Fit { int pixels; double mm; int percent; };
  for (const Fit& f : {Fit{794, 210, 100}, {793, 210, 99}, {50, 297, kMinZoom}, {20000, 210, kMaxZoom}, {800, 0, 100}})
    EXPECT_EQ(zoomToFit(f.pixels, f.mm, 96), f.percent) << f.pixels << " px, " << f.mm << " mm";
}

TEST_F(View, FitsFollowTheViewportAndZoomStaysAcrossPages) {
  open("long.tvd");
  CTovView& view = viewSized(900, 600);
  const int pad = 2 * CTovView::kSheetPadding;
  view.setZoomMode(ZoomMode::FitWidth);
  // The sheet fills the width beside the vertical scroll bar, to within a step of 1 %.
  const int room = view.viewport()->width() - pad;
  EXPECT_LE(view.sheetRect().width(), room);
  EXPECT_GT(view.sheetRect().width(), room * 0.98);
  // Narrower: fitted again.
  const int wide = view.zoomPercent();
  view.resize(600, 600);
  QCoreApplication::processEvents();
  EXPECT_LT(view.zoomPercent(), wide);
  EXPECT_LE(view.sheetRect().width(), view.viewport()->width() - pad);

  view.setZoomMode(ZoomMode::FitPage);
  QCoreApplication::processEvents();  // the scroll bars go
  EXPECT_LE(view.sheetRect().height(), view.viewport()->height() - pad);
  EXPECT_FALSE(view.verticalScrollBar()->isVisible());
  EXPECT_NEAR(view.sheetRect().center().x(), view.viewport()->width() / 2, 1);  // centred on the desk

  // Menu steps leave the fit; the zoom is kept when the page turns.
  frame.onCommand(ID_ZOOM_ACTUAL);
  EXPECT_EQ(view.zoomPercent(), 100);
  EXPECT_EQ(view.sheetRect().width(), static_cast<int>(210 * view.screenDpi() / 25.4));
  frame.onCommand(ID_ZOOM_IN);
  EXPECT_EQ(view.zoomPercent(), 110);
  QTest::keyClick(&view, Qt::Key_PageDown);
  EXPECT_EQ(theViewState().currentPage, 2);
  EXPECT_EQ(view.zoomPercent(), 110);
  frame.onCommand(ID_ZOOM_OUT);
  frame.onCommand(ID_ZOOM_OUT);
  EXPECT_EQ(frame.zoomStatus(), QStringLiteral("90%"));

  // Ctrl + wheel zooms by a step; the wheel alone scrolls.
  for (auto modifiers : {Qt::ControlModifier, Qt::NoModifier}) {
    QWheelEvent event(QPointF(100, 100), view.mapToGlobal(QPointF(100, 100)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view.viewport(), &event);
  }
  EXPECT_EQ(view.zoomPercent(), 75);
  EXPECT_GT(view.verticalScrollBar()->value(), 0);
}

TEST_F(View, KeysMoveWithinThePageAndTurnedPagesShowTheirTop) {
  open("long.tvd");
  CTovView& view = viewSized(700, 500);
  QScrollBar* bar = view.verticalScrollBar();
  ASSERT_GT(bar->maximum(), 500);  // an A4 sheet at 100 % is taller than the view
  QTest::keyClick(&view, Qt::Key_End);
  EXPECT_EQ(bar->value(), bar->maximum());
  QTest::keyClick(&view, Qt::Key_Home);
  EXPECT_EQ(bar->value(), 0);
  QTest::keyClick(&view, Qt::Key_Space);
  const int screen = bar->value();
  EXPECT_GT(screen, view.viewport()->height() / 2);
  EXPECT_LE(screen, view.viewport()->height());
  QTest::keyClick(&view, Qt::Key_Space, Qt::ShiftModifier);
  EXPECT_EQ(bar->value(), 0);

  // Turning the page shows the new page's top; staying on the last page
  // keeps the place. The status bar says which page of how many.
  QTest::keyClick(&view, Qt::Key_End);
  QTest::keyClick(&view, Qt::Key_PageDown);
  EXPECT_EQ(theViewState().currentPage, 2);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(frame.pageStatus(), QStringLiteral("2 / 4"));
  frame.onCommand(ID_GRAPH_PAGE);
  EXPECT_EQ(frame.pageStatus(), QStringLiteral("1 / 4"));
  theViewState().currentPage = 4;
  frame.onCommand(ID_TABLE_PAGE);
  frame.onCommand(ID_TABLE_PAGE);
  QTest::keyClick(&view, Qt::Key_Down);
  QTest::keyClick(&view, Qt::Key_Down);
  QTest::keyClick(&view, Qt::Key_End);
  QTest::keyClick(&view, Qt::Key_Down);  // on the last page already
  EXPECT_EQ(frame.pageStatus(), QStringLiteral("4 / 4"));
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(View, WindowFitsTheScreenAndComesBackAsItWas) {
  const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(frame.width(), free.width());
  EXPECT_LE(frame.height(), free.height());
  EXPECT_TRUE(free.contains(frame.geometry().topLeft()));

  QSettings settings(QString::fromStdString((root / "tov.ini").string()), QSettings::IniFormat);
  frame.resize(500, 400);
  frame.view().setZoom(150);
  frame.saveWindowSettings(settings);
  frame.view().setZoomMode(ZoomMode::FitWidth);
  CMainFrame other(doc, nullptr);
  other.restoreWindowSettings(settings);
  EXPECT_EQ(other.size(), QSize(500, 400));
  EXPECT_EQ(theViewState().zoomMode, ZoomMode::Fixed);
  EXPECT_EQ(other.zoomStatus(), QStringLiteral("150%"));
}

// Pages of a PDF as images at 100 dpi (pdftoppm).
std::vector<QImage> rasterise(const fs::path& pdf, const fs::path& folder, const std::string& stem) {
  std::vector<QImage> pages;
  QProcess process;
  process.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("100"), QStringLiteral("-png"),
                                             QString::fromStdString(pdf.string()),
                                             QString::fromStdString((folder / stem).string())});
  if (!process.waitForFinished(60000) || process.exitCode() != 0) return pages;
  for (int page = 1;; ++page) {
    QImage image(QString::fromStdString((folder / cformat("%s-%d.png", stem.c_str(), page)).string()));
    if (image.isNull()) break;
    pages.push_back(image.convertToFormat(QImage::Format_RGB32));
  }
  return pages;
}

long differingPixels(const QImage& a, const QImage& b) {
  long n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (std::abs(qGray(a.pixel(x, y)) - qGray(b.pixel(x, y))) > 64) ++n;
  return n;
}

// Through the print path to a PDF file, on the printer's paper: each page,
// rasterised, is the page the exporter writes for that paper.
TEST_F(View, PrintedPagesAreTheExportedPages) {
  if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty()) GTEST_SKIP() << "pdftoppm is needed";
  struct Case { const char* test; QPageSize::PageSizeId size; const char* paper; };
  for (const Case& c : {Case{"long.tvd", QPageSize::A4, "A4"}, {"steady.tvd", QPageSize::JisB5, "B5"}}) {
    SCOPED_TRACE(c.test);
    open(c.test);
    TempDir out;
    QPrinter printer(QPrinter::HighResolution);  // as the view's printer starts
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString((out / "printed.pdf").string()));
    printer.setPageSize(QPageSize(c.size));
    printer.setPageMargins(QMarginsF(10, 10, 10, 10), QPageLayout::Millimeter);  // a printer's own margins
    frame.view().printPages(printer);
    EXPECT_TRUE(sink.reported.empty());
    ASSERT_TRUE(writePdf(out / "exported.pdf", record, theSettings(), *paperSizeByName(c.paper)));

    const auto printed = rasterise(out / "printed.pdf", out.path(), "p");
    const auto exported = rasterise(out / "exported.pdf", out.path(), "e");
    ASSERT_EQ(printed.size(), static_cast<std::size_t>(pageCount(record)));
    ASSERT_EQ(printed.size(), exported.size());
    for (std::size_t i = 0; i < printed.size(); ++i) {
      ASSERT_EQ(printed[i].size(), exported[i].size()) << "page " << i + 1;
      // Within the anti-aliasing of a few edges.
      EXPECT_LE(differingPixels(printed[i], exported[i]), printed[i].width() * printed[i].height() / 2000)
          << "page " << i + 1;
    }
  }
}

TEST_F(View, LandscapePaperIsRefusedNotCutOff) {
  TempDir out;
  const fs::path pdf = out / "landscape.pdf";
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(pdf.string()));
  printer.setPageOrientation(QPageLayout::Landscape);
  theViewState().currentPage = 2;
  frame.view().printPages(printer);
  EXPECT_EQ(sink.reported, std::vector<std::string>{messageText(IDS_LANDSCAPE_REFUSED)});
  EXPECT_FALSE(fs::exists(pdf));
  // The screen shows the paper upright.
  EXPECT_LT(theViewState().paperWidthMm, theViewState().paperHeightMm);
}

TEST_F(View, PdfOutputOffersTheTestsNameAndWritesEveryPage) {
  TempDir work;
  fs::copy_file(sample("long.tvd"), work / "B-3.tvd");
  ASSERT_TRUE(doc.openDocumentFile(work / "B-3.tvd"));
  chooser.answer = work / "report";  // typed without the extension
  frame.onCommand(ID_FILE_EXPORT_PDF);
  EXPECT_EQ(chooser.offered, work / "B-3.pdf");
  EXPECT_EQ(chooser.offeredFilters, QStringList{QStringLiteral("PDF (*.pdf)")});
  ASSERT_TRUE(fs::exists(work / "report.pdf"));
  EXPECT_TRUE(sink.asked.empty());

  // The name typed was not the file that exists: asked first; No keeps it.
  const auto before = fs::last_write_time(work / "report.pdf");
  sink.answers = {false};
  frame.onCommand(ID_FILE_EXPORT_PDF);
  EXPECT_EQ(sink.asked, std::vector<std::string>{messageText(IDS_CONFIRM_OVERWRITE, (work / "report.pdf").string())});
  EXPECT_EQ(fs::last_write_time(work / "report.pdf"), before);

  // An untitled test is offered "無題.pdf" in the last folder of Open.
  doc.onNewDocument();
  writeLastFolder(theSettings().installFolderPath(), LastFolder{work.path().string(), ""});
  chooser.answer.reset();
  frame.onCommand(ID_FILE_EXPORT_PDF);
  EXPECT_EQ(chooser.offered, work / "無題.pdf");
  EXPECT_EQ(pdfTarget("/a/b.PDF"), fs::path("/a/b.PDF"));
  EXPECT_EQ(pdfTarget("/a/b.tvd"), fs::path("/a/b.tvd.pdf"));
}

TEST(MessageBoxes, FailuresWarnQuestionsAskAndQtSpeaksJapanese) {
  EXPECT_EQ(reportIcon(messageText(IDS_FILE_NOT_FOUND, "/x.tvd")), QMessageBox::Warning);
  EXPECT_EQ(reportIcon(messageText(IDS_LANDSCAPE_REFUSED)), QMessageBox::Warning);
  EXPECT_EQ(reportIcon(messageText(IDS_NO_IMPORT)), QMessageBox::Information);
  EXPECT_EQ(reportIcon(messageText(IDS_IMPORTED, "12")), QMessageBox::Information);

  QTranslator* japanese = installJapaneseTranslations(*QCoreApplication::instance());
  ASSERT_NE(japanese, nullptr) << "Qt's Japanese translations (qt6-translations-l10n) are not installed";
  QMessageBox box(QMessageBox::Question, QStringLiteral("Tov"), QStringLiteral("?"),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Ok);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
  EXPECT_EQ(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
  EXPECT_NE(QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?"),
            QStringLiteral("%1 already exists.\nDo you want to replace it?"));
  QCoreApplication::removeTranslator(japanese);
  delete japanese;
}

} // namespace
} // namespace tov
