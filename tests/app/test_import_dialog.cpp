// The logger import through the window: a sample dropped on the main window
// is imported with the guesses as they are, and the readings editor shows
// the readings; a file dropped on a readings editor replaces its grid after
// the question; a level over the sensor without a reference keeps the
// dialog open with the reason.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>

#include "../import/LoggerSamples.h"
#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "qt/FileChooser.h"
#include "app/ShellLogic.h"
#include "dialogs/qt/CImportDialog.h"
#include "dialogs/qt/CReadingsDialog.h"
#include "files/Settings.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;

class NoChooser : public FileChooser {
public:
  std::optional<fs::path> chooseOpenFile(QWidget*, const fs::path&, const QStringList&) override { return {}; }
  std::optional<fs::path> chooseSaveFile(QWidget*, const fs::path&, const QStringList&) override { return {}; }
};

void dropFile(QWidget& target, const fs::path& file) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string()))});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&target, &enter);
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(&target, &drop);
}

// Acts on the modal dialog of type D once it is open; the step that opened
// it returns when `act` closes it (or when the guard rejects it).
template <class D>
void whenOpen(std::function<void(D&)> act, bool* driven, int tries = 200) {
  QTimer::singleShot(10, [act, driven, tries] {
    auto* dialog = qobject_cast<D*>(QApplication::activeModalWidget());
    if (!dialog) {  // reading the file runs the event loop before the dialog shows
      if (tries > 0) whenOpen<D>(act, driven, tries - 1);
      else ADD_FAILURE() << "no dialog";
      return;
    }
    *driven = true;
    act(*dialog);
    if (dialog->isVisible()) dialog->done(QDialog::Rejected);
  });
}

void clickOk(QDialog& dialog) {
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
}

class ImportWindow : public ::testing::Test {
protected:
  void SetUp() override {
    theSettings().loadSettings(true);
    testing::sampleHeadings(record, false);
  }
  fs::path sample(const char* name) const { return testing::loggerSamplesFolder() / name; }

  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  NoChooser chooser;
  CTovDoc doc{record, chooser, nullptr};
  CMainFrame frame{doc, nullptr};
};

TEST_F(ImportWindow, SampleDroppedOnTheWindowFillsTheReadingsEditor) {
  TOV_NEED_LOGGER_SAMPLES();
  bool imported = false, shown = false;
  whenOpen<CImportDialog>([](CImportDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("測定データの取り込み"));
    EXPECT_EQ(dialog.findChild<QComboBox*>(QStringLiteral("importEncoding"))->currentIndex(), 2);  // CP932
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("importStartTime"))->text(), QStringLiteral("10:02:00"));
    clickOk(dialog);
  }, &imported);
  dropFile(frame, sample("depth-japanese-cp932.csv"));
  ASSERT_TRUE(imported);
  EXPECT_TRUE(sink.reported.empty()) << sink.reported.front();
  EXPECT_TRUE(sink.asked.empty());  // the test had no readings: nothing to ask
  EXPECT_EQ(record.countRows(C_time), 120);
  EXPECT_EQ(record.cell(1, C_headDifference), "1.501");  // s derived from ho -2.0
  const auto k = testing::sampleK(record);
  ASSERT_TRUE(k);
  EXPECT_NEAR(*k / 2.0e-6, 1.0, 0.03);
  // One undoable step.
  EXPECT_EQ(doc.undoText(), QStringLiteral("測定データの取り込み"));

  whenOpen<CReadingsDialog>([](CReadingsDialog& dialog) {
    EXPECT_EQ(dialog.model().cell(1, 1), "0");
    EXPECT_EQ(dialog.model().cell(1, 2), "3.501");
    EXPECT_EQ(dialog.model().cell(1, 3), "10:02");
    EXPECT_EQ(dialog.model().lastFilledRow(), 120);
    dialog.done(QDialog::Rejected);
  }, &shown);
  frame.onCommand(ID_UNSTEADY_READINGS);
  EXPECT_TRUE(shown);
  doc.undo();
  EXPECT_EQ(record.countRows(C_time), 0);
}

TEST_F(ImportWindow, DroppedOnAReadingsEditorAfterTheQuestion) {
  TOV_NEED_LOGGER_SAMPLES();
  record.setCell(1, C_time, "0");
  record.setCell(1, C_pipeLevel, "1.0");
  bool editor = false;
  sink.answers = {false, true};  // 置き換えますか: No first (the dialog stays), then Yes
  whenOpen<CReadingsDialog>([&](CReadingsDialog& dialog) {
    bool import = false;
    whenOpen<CImportDialog>([&](CImportDialog& importer) {
      clickOk(importer);
      EXPECT_TRUE(importer.isVisible());
      clickOk(importer);
    }, &import);
    dropFile(dialog, sample("elapsed-seconds-cm.csv"));
    EXPECT_TRUE(import);
    EXPECT_EQ(dialog.model().lastFilledRow(), 22);
    EXPECT_EQ(dialog.model().cell(2, 2), "3.486");
    EXPECT_TRUE(dialog.model().isModified());
    dialog.accept();
  }, &editor);
  frame.onCommand(ID_UNSTEADY_READINGS);
  ASSERT_TRUE(editor);
  EXPECT_EQ(sink.asked.size(), 2u);
  EXPECT_EQ(record.countRows(C_time), 22);
  EXPECT_EQ(record.cell(22, C_time), "900");
}

TEST_F(ImportWindow, LevelOverTheSensorNeedsAReference) {
  TOV_NEED_LOGGER_SAMPLES();
  bool driven = false;
  const TestRecord before = record;
  whenOpen<CImportDialog>([&](CImportDialog& dialog) {
    clickOk(dialog);
    ASSERT_EQ(sink.reported.size(), 1u);
    EXPECT_NE(sink.reported[0].find("センサーの深さ"), std::string::npos);
    EXPECT_TRUE(dialog.isVisible());
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cancelButton")), Qt::LeftButton);
  }, &driven);
  dropFile(frame, sample("level-header-block.csv"));
  EXPECT_TRUE(driven);
  EXPECT_EQ(record, before);
}

// A steady record's plot shows its flow behind the level; a record without
// flow shows none.
TEST_F(ImportWindow, PlotShowsTheFlowOfASteadyRecord) {
  TOV_NEED_LOGGER_SAMPLES();
  for (const auto& [name, withFlow] : {std::pair{"steady-flow-lpm.csv", true}, std::pair{"elapsed-seconds-cm.csv", false}}) {
    record.setField(F_formulaKind, withFlow ? "4" : "1");  // the test's method decides whether flow is read
    bool driven = false;
    int flowPixels = -1;
    whenOpen<CImportDialog>([&](CImportDialog& dialog) {
      const QImage shot = dialog.findChild<QWidget*>(QStringLiteral("importPlot"))->grab().toImage();
      flowPixels = 0;
      for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) flowPixels += shot.pixelColor(x, y) == ImportPlot::kFlowColour;
    }, &driven);
    dropFile(frame, sample(name));
    EXPECT_TRUE(driven) << name;
    EXPECT_EQ(flowPixels > 100, withFlow) << name << ": " << flowPixels;
  }
}

} // namespace
} // namespace tov
