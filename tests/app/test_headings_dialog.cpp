// The headings editor driven through its widgets: the Enter key under the
// three settings, a whole entry through the menu command that ends with the
// new k on the graph page, and the follow-up's pipe message and k rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "qt/FileChooser.h"
#include "app/ShellLogic.h"
#include "dialogs/qt/CHeadingsDialog.h"
#include "files/Settings.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"
#include "render/Page.h"
#include "render/RecordingSurface.h"
#include "support/TestSupport.h"
#include "app/DialogTestSupport.h"

namespace tov {
namespace {

using Said = std::vector<std::string>;
using namespace dialogtest;

class HeadingsDialogTest : public ::testing::Test {
protected:
  void SetUp() override {
    theSettings().loadSettings(true);
    sink.reported.clear();
  }
  void TearDown() override {
    theSettings().display.enterKeyMode = 1;
  }
  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
};

TEST_F(HeadingsDialogTest, EnterFollowsTheKeySetting) {
  const struct { int mode; bool closes; const char* focusAfter; } rows[] = {
      {0, true, "surveyNameLabel"}, {1, false, "surveyName"}, {2, false, "surveyNameLabel"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.mode);
    theSettings().display.enterKeyMode = r.mode;
    HeadingsModel model;
    model.openHeadings(record, theSettings().display.headingDefaults(), {});
    CHeadingsDialog dialog(model);
    showActive(dialog);
    auto* first = child<QLineEdit>(dialog, "surveyNameLabel");
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Return);
    EXPECT_EQ(dialog.isVisible(), !r.closes);
    EXPECT_EQ(dialog.result(), r.closes ? QDialog::Accepted : QDialog::Rejected);
    if (!r.closes) {
      EXPECT_EQ(QApplication::focusWidget()->objectName().toStdString(), r.focusAfter);
    }
  }
}

TEST_F(HeadingsDialogTest, AWholeEntryEndsWithTheNewKOnTheGraphPage) {
  // A test with readings and a gradient from an earlier analysis.
  record.set_gradientText("0.0184");
  record.set_permeabilityText("old");
  record.set_formulaKind("4");
  for (int row = 1; row <= 3; ++row) {
    record.setCell(row, C_time, cformat("%d", row * 30));
    record.setCell(row, C_pipeLevel, "2.5");
  }
  NoFiles chooser;
  CTovDoc doc(record, chooser, nullptr);
  CMainFrame frame(doc, nullptr);
  theSettings().display.enterKeyMode = 1;

  whenOpen<CHeadingsDialog>([](CHeadingsDialog& dialog) {
    showActive(dialog);
    type(dialog, "surveyName", "○○地区");
    type(dialog, "depthFrom", "3");
    type(dialog, "depthTo", "5.5");
    EXPECT_EQ(child<QLineEdit>(dialog, "depthFrom")->text(), QStringLiteral("-3"));
    EXPECT_EQ(child<QLineEdit>(dialog, "sectionLength")->text(), QStringLiteral("2.50"));
    type(dialog, "equilibriumLevel", "1.2");
    EXPECT_EQ(child<QLineEdit>(dialog, "equilibriumLevel")->text(), QStringLiteral("-1.2"));
    type(dialog, "pipeTopHeight", "0.5");
    type(dialog, "boreDiameter", "0.066");
    type(dialog, "equivalentDiameter", "0.05");
    // The relevant fields of the unsteady formula only.
    clickIndicator(child<QCheckBox>(dialog, "relevantOnly"));
    EXPECT_FALSE(child<QLineEdit>(dialog, "equivalentDiameter")->isEnabled());
    clickIndicator(child<QRadioButton>(dialog, "formula0"));
    EXPECT_TRUE(child<QLineEdit>(dialog, "equivalentDiameter")->isEnabled());
    EXPECT_FALSE(child<QLineEdit>(dialog, "steadyLevel")->isEnabled());
    QTest::mouseClick(child<QPushButton>(dialog, "okButton"), Qt::LeftButton);
  });
  frame.onCommand(ID_HEADINGS);

  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.surveyName(), "○○地区");
  EXPECT_EQ(record.depthTo(), "-5.5");
  EXPECT_EQ(record.formulaKind(), "0");
  EXPECT_TRUE(doc.isModified());
  // h and s from the new pipe top and level.
  EXPECT_EQ(record.cell(1, C_level), "-2");
  EXPECT_EQ(record.cell(1, C_headDifference), "0.8");
  const double k = computePermeability(0, 2.5 / 0.066, 0.05, 2.5, 0.0184, 0, 0);
  const std::string kText = formatPermeability(k, theSettings().display.digitsPermeability);
  EXPECT_EQ(record.permeabilityText(), kText);
  RecordingSurface surface;
  renderPage(surface, pageInputsFrom(record, theSettings(), 210), 1);
  EXPECT_NE(surface.allText().find(kText.substr(0, kText.find('E')) + "×10"), std::string::npos) << kText;
}

TEST(HeadingsFollowUp, PipeMessageAndKOnlyFromUsableGeometry) {
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  const Said pipe{messageText(IDS_BAD_PIPE_VALUE)};
  const struct { const char* pipeTop; const char* kind; const char* L; const char* D; const char* So; bool message; bool newK; } rows[] = {
      {"0.5", "0", "1", "0.066", "", false, true},
      {"", "0", "1", "0.066", "", false, true},
      {"  ", "0", "1", "0.066", "", true, true},   // blanks are no height
      {"GL+0.5", "0", "1", "0.066", "", true, true},
      {"0.5", "0", "0.0009", "0.066", "", false, false},
      {"0.5", "1", "1", "0", "", false, false},
      {"0.5", "4", "1", "0.066", "0.0009", false, false},
      {"0.5", "4", "1", "0.066", "0.5", false, true},
      {"0.5", "9", "1", "0.066", "", false, true},  // taken as 0
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::Message() << "'" << r.pipeTop << "' kind " << r.kind << " L " << r.L);
    sink.reported.clear();
    TestRecord record;
    record.set_pipeTopHeight(r.pipeTop);
    record.set_formulaKind(r.kind);
    record.set_sectionLength(r.L);
    record.set_boreDiameter(r.D);
    record.set_equivalentDiameter("0.05");
    record.set_gradientText("0.001");
    record.set_steadyFlow("1E-5");
    record.set_steadyHeadDifference(r.So);
    record.set_permeabilityText("kept");
    headingsFollowUp(record, 2);
    EXPECT_EQ(sink.reported, r.message ? pipe : Said{});
    EXPECT_EQ(record.pipeTopHeight(), r.pipeTop);
    EXPECT_EQ(record.permeabilityText() != "kept", r.newK);
  }
}

} // namespace
} // namespace tov
