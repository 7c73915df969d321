// The analysis dialogs driven through their widgets: the command on the
// sample tests (points moved, k recomputed, OK), what reaches the graph
// page, the arrow keys, and the checks of a scale edit that is left.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>
#include <QTest>
#include <QTextLayout>
#include <QTimer>

#include <functional>
#include <memory>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/CTovView.h"
#include "analysis/Analysis.h"
#include "qt/FileChooser.h"
#include "dialogs/qt/CAnalysisDialog.h"
#include "dialogs/qt/DialogWidgets.h"
#include "files/Settings.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"
#include "render/Page.h"
#include "render/RecordingSurface.h"
#include "support/FieldRecords.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;

class NoFiles : public FileChooser {
public:
  std::optional<fs::path> chooseOpenFile(QWidget*, const fs::path&, const QStringList&) override { return {}; }
  std::optional<fs::path> chooseSaveFile(QWidget*, const fs::path&, const QStringList&) override { return {}; }
};

template <class T> T* child(QWidget* dialog, const char* name) {
  T* widget = dialog->findChild<T*>(QString::fromUtf8(name));
  EXPECT_NE(widget, nullptr) << name;
  return widget;
}
void click(QWidget* dialog, const char* name) { QTest::mouseClick(child<QAbstractButton>(dialog, name), Qt::LeftButton); }

// The texts of the graph page of a record.
std::vector<std::string> graphPageTexts(const TestRecord& record) {
  RecordingSurface surface;
  renderPage(surface, pageInputsFrom(record, theSettings(), 280), 1);
  std::vector<std::string> texts;
  for (const RecordedText& t : surface.texts()) texts.push_back(t.text);
  return texts;
}
// A label's text as it reads (without the no-break spaces and word
// joiners that keep its brackets on one line).
QString readAs(const QLabel* label) { return label->text().replace(QChar(0x00A0), u' ').remove(QChar(0x2060)); }
bool contains(const std::vector<std::string>& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class AnalysisDialog : public ::testing::Test {
protected:
  void SetUp() override {
    theSettings().loadSettings(true);
    theSettings().display.digitsPermeability = 4;
  }
  void load(const char* name) {
    ASSERT_EQ(loadTestFile(fs::path(TOV_SOURCE_DIR) / "samples" / name, record), LoadStatus::Ok);
  }
  // Runs the analysis command of the window; `drive` works the dialog once
  // it is open.
  void runCommand(std::function<void(CAnalysisDialog*)> drive) {
    bool driven = false;
    QTimer::singleShot(0, [&] {
      auto* dialog = qobject_cast<CAnalysisDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      QTest::qWait(20);  // the first showing draws the previews
      drive(dialog);
      driven = true;
      if (dialog->isVisible()) dialog->reject();
    });
    frame.onCommand(ID_ANALYSIS);
    EXPECT_TRUE(driven);
  }

  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  NoFiles files;
  CTovDoc doc{record, files, nullptr};
  CMainFrame frame{doc, nullptr};
};

TEST_F(AnalysisDialog, UnsteadyPointMovedAndRecomputedReachesTheRecordAndTheGraphPage) {
  load("unsteady.tvd");
  const TestRecord before = record;
  runCommand([](CAnalysisDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("解析/目盛り  〔非定常法〕 "));
    click(dialog, "point2Radio");
    click(dialog, "rightButton");
    EXPECT_EQ(child<QLineEdit>(dialog, "pointT2")->text(), QStringLiteral("1350"));
    click(dialog, "recomputeButton");
    EXPECT_EQ(child<QLineEdit>(dialog, "gradientText")->text(), QStringLiteral("0.000822095"));
    click(dialog, "okButton");
  });
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.point1Row(), "12");
  EXPECT_EQ(record.point2Row(), "27");
  EXPECT_EQ(record.pointT2(), "1350");
  EXPECT_EQ(record.pointS2(), "0.234");
  EXPECT_EQ(record.gradientText(), "0.000822095");
  EXPECT_EQ(record.permeabilityText(), "2.0134E-006");
  EXPECT_TRUE(doc.isModified());
  EXPECT_TRUE(record.readings == before.readings);

  const auto texts = graphPageTexts(record);
  EXPECT_TRUE(contains(texts, "   2.0134×10")) << "k on the page";
  EXPECT_TRUE(contains(texts, "-6"));
  EXPECT_TRUE(contains(texts, "t2=1350(s)"));
}

TEST_F(AnalysisDialog, SuggestedSegmentSetsThePointsShowsItsFitAndReachesThePage) {
  load("unsteady.tvd");
  runCommand([](CAnalysisDialog* dialog) {
    click(dialog, "suggestButton");
    // The sample's first rows fall faster: the segment is the later line,
    // from where the early bump has died out (rows 6〜30 and k +2.4 % once).
    EXPECT_EQ(child<QLineEdit>(dialog, "pointT1")->text(), QStringLiteral("180"));
    EXPECT_EQ(child<QLineEdit>(dialog, "pointT2")->text(), QStringLiteral("1800"));
    EXPECT_TRUE(readAs(child<QLabel>(dialog, "fitText")).contains(QStringLiteral("(n 17)  点 1, 2 は近似直線上の点")));
    EXPECT_TRUE(child<QLabel>(dialog, "suggestionText")->text().startsWith(QStringLiteral("推奨区間 14〜30 行")));
    EXPECT_TRUE(child<QLabel>(dialog, "spreadText")->text().startsWith(QStringLiteral("照合: 区間の取り方による k の幅 2.0058E-006〜")));  // k digits 4
    // Said once: the points on the line in the fit's text, not again beside the button.
    EXPECT_FALSE(child<QLabel>(dialog, "suggestionText")->text().contains(QStringLiteral("近似直線上の点")));
    click(dialog, "okButton");
  });
  EXPECT_EQ(record.point1Row(), "14");
  EXPECT_EQ(record.point2Row(), "30");
  // The stored points lie on the fitted line: their k is the fitted k, and
  // the page prints it.
  const AnalysisReport report = analyseRecord(record, AnalysisSettings{});
  ASSERT_TRUE(report.fittedK && report.pointsOnLine);
  EXPECT_EQ(record.permeabilityText(), formatPermeability(*report.fittedK, 4));
  const std::string k = record.permeabilityText();
  EXPECT_TRUE(contains(graphPageTexts(record), "   " + k.substr(0, k.find('E')) + "×10"));
  // The page prints the fit, its k and interval only by choice, k as the
  // page writes it, ×10 with the exponent raised.
  const std::string caption = "   (参考) 近似直線 " + fitCaption(*report.segment);
  const std::string fitted = formatPermeability(report.fittedInterval->k, 2);
  EXPECT_FALSE(contains(graphPageTexts(record), caption));
  theAnalysisSettings().fitOnPage = true;
  EXPECT_TRUE(contains(graphPageTexts(record), caption));
  EXPECT_TRUE(contains(graphPageTexts(record), "   k "));
  EXPECT_TRUE(contains(graphPageTexts(record), fitted.substr(0, fitted.find('E')) + "×10"));
  for (const std::string& text : graphPageTexts(record)) EXPECT_EQ(text.find("E-0"), std::string::npos) << text;
  theAnalysisSettings().fitOnPage = false;
}

// A record whose ho is written 5 cm off: 推奨区間 takes the record's own ho
// and says so, the switch takes the written one back and again, the type
// curves stand beside the k as cross-checks, and the page draws and names
// the ho the stored points are of.
TEST_F(AnalysisDialog, TheRecordsOwnHoIsShownSwitchedAndReachesThePage) {
  fieldrecords::Shape shape;
  shape.restOff = 0.05;
  record = fieldrecords::make(shape);
  record.fillScaleDefaults(theSettings().display.headingDefaults());
  runCommand([](CAnalysisDialog* dialog) {
    click(dialog, "suggestButton");
    auto* check = child<QCheckBox>(dialog, "recordRestCheck");
    EXPECT_TRUE(check->isVisible() && check->isChecked());
    EXPECT_TRUE(child<QLabel>(dialog, "restText")->text().startsWith(QStringLiteral("s の ho: 記録から求めた GL-1.000m")));
    const QStringList curves = child<QLabel>(dialog, "typeCurvesText")->text().split('\n');
    ASSERT_EQ(curves.size(), 2);
    EXPECT_TRUE(curves[0].startsWith(QStringLiteral("照合: 標準曲線 CBP k "))) << curves[0].toStdString();
    EXPECT_TRUE(curves[1].startsWith(QStringLiteral("照合: 標準曲線 KGS k "))) << curves[1].toStdString();
    const QString ownS1 = child<QLineEdit>(dialog, "pointS1")->text(), ownK = child<QLineEdit>(dialog, "permeabilityText")->text();
    click(dialog, "recordRestCheck");
    EXPECT_FALSE(check->isChecked());
    EXPECT_TRUE(child<QLabel>(dialog, "restText")->text().startsWith(QStringLiteral("s の ho: 記入の GL-0.950m")));
    EXPECT_NE(child<QLineEdit>(dialog, "pointS1")->text(), ownS1);
    EXPECT_NE(child<QLineEdit>(dialog, "permeabilityText")->text(), ownK);
    click(dialog, "recordRestCheck");
    EXPECT_EQ(child<QLineEdit>(dialog, "pointS1")->text(), ownS1);
    EXPECT_EQ(child<QLineEdit>(dialog, "permeabilityText")->text(), ownK);
    click(dialog, "okButton");
  });
  EXPECT_EQ(analyseRecord(record, AnalysisSettings{}).pointsRest.source, RestSource::Record);
  const auto texts = graphPageTexts(record);
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
    return t.starts_with("-0.950m(記入) -1.000m(記録から)");
  }));
  EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
    return t.starts_with("※ グラフの s、s1、s2 と k は記録から求めた平衡水位 ho GL-1.000m による");
  }));
}

TEST_F(AnalysisDialog, SteadyPointMovedAndRecomputedKeepsTheQScales) {
  load("steady.tvd");
  const TestRecord before = record;
  runCommand([](CAnalysisDialog* dialog) {
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("解析/目盛り  〔定常法〕"));
    EXPECT_EQ(child<QComboBox>(dialog, "graphAValueToExponent")->currentText(), QStringLiteral("E-5"));
    for (const char* button : {"leftButton", "leftButton", "leftButton", "rightButton"}) click(dialog, button);
    EXPECT_EQ(child<QLineEdit>(dialog, "pointT1")->text(), QStringLiteral("1440"));
    click(dialog, "recomputeButton");
    click(dialog, "okButton");
  });
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.point1Row(), "14");
  EXPECT_EQ(record.point2Row(), before.point2Row());
  EXPECT_EQ(record.pointS1(), "1.51E-5");
  EXPECT_EQ(record.gradientText(), "1.48149");
  EXPECT_EQ(record.permeabilityText(), "5.4629E-006");
  // The Q scales as they were written, values and spelling.
  for (int field = F_graphAValueFrom; field <= F_graphAValueGrid2; ++field)
    EXPECT_EQ(record.field(field), before.field(field)) << field;

  const auto texts = graphPageTexts(record);
  EXPECT_TRUE(contains(texts, "   5.4629×10"));
}

// The wrong steady k through the window: a t typed for the point (Tab,
// 計算更新, OK) kept the first row's Q, and OK stored that Q as Qo with a k
// 60 % high. The point is always a row: Home, End and a click on the
// preview pick one, a typed t the nearest.
TEST_F(AnalysisDialog, SteadyTypedTTakesTheNearestRowAndOkStoresItsQoAndK) {
  load("steady.tvd");
  runCommand([](CAnalysisDialog* dialog) {
    auto* t = child<QLineEdit>(dialog, "pointT1");
    auto* draw = child<QPushButton>(dialog, "drawButton");
    draw->setFocus();
    QTest::keyClick(draw, Qt::Key_Home);
    EXPECT_EQ(t->text(), QStringLiteral("0"));
    QTest::keyClick(draw, Qt::Key_End);
    EXPECT_EQ(t->text(), QStringLiteral("1800"));
    // A click on row 5's circle (t 240, Q 1.48E-5).
    auto* preview = child<QWidget>(dialog, "firstPreview");
    const AxisRange r = dialog->model().axisRange(PreviewGraph::First);
    const int inset = AnalysisModel::kInset;
    const int x = inset + static_cast<int>((240 - r.timeFrom) / (r.timeTo - r.timeFrom) * (preview->width() - 2 * inset));
    const int y = preview->height() - inset -
                  static_cast<int>((1.48e-5 - r.valueFrom) / (r.valueTo - r.valueFrom) * (preview->height() - 2 * inset));
    QTest::mouseClick(preview, Qt::LeftButton, {}, QPoint(x, y));
    EXPECT_EQ(t->text(), QStringLiteral("240"));

    t->setFocus();
    t->selectAll();
    QTest::keyClicks(t, QStringLiteral("1000"));  // row 12 (t 1080) is the nearest
    QTest::keyClick(t, Qt::Key_Tab);
    click(dialog, "recomputeButton");
    EXPECT_EQ(t->text(), QStringLiteral("1080"));
    EXPECT_EQ(child<QLineEdit>(dialog, "pointS1")->text(), QStringLiteral("1.49E-5"));
    if (const char* shots = std::getenv("TOV_SHOTS")) {
      QTest::qWait(300);
      dialog->screen()->grabWindow(0).save(QString::fromUtf8(shots) + "/steady-analysis.png");
    }
    click(dialog, "okButton");
  });
  EXPECT_TRUE(sink.reported.empty());
  EXPECT_EQ(record.point1Row(), "12");
  EXPECT_EQ(record.pointT1(), "1080");
  EXPECT_EQ(record.pointS1(), "1.49E-5");
  EXPECT_EQ(record.steadyFlow(), "1.49E-5");
  EXPECT_EQ(record.steadyHeadDifference(), "1.496");
  ASSERT_TRUE(permeabilityFromHeadings(record));
  EXPECT_EQ(record.permeabilityText(), formatPermeability(*permeabilityFromHeadings(record), 4));
  const std::string k = record.permeabilityText();
  EXPECT_TRUE(contains(graphPageTexts(record), "   " + k.substr(0, k.find('E')) + "×10"));
}

// 推奨点 in the window: the point and k in one action, the reason beside.
TEST_F(AnalysisDialog, SteadySuggestedPointSetsThePointAndK) {
  load("steady.tvd");
  runCommand([](CAnalysisDialog* dialog) {
    QTest::keyClick(child<QPushButton>(dialog, "drawButton"), Qt::Key_Home);
    click(dialog, "suggestButton");
    EXPECT_EQ(child<QLineEdit>(dialog, "pointT1")->text(), QStringLiteral("1620"));
    EXPECT_TRUE(child<QLabel>(dialog, "suggestionText")->text().startsWith(QStringLiteral("推奨点 行 15")));
    EXPECT_FALSE(child<QLineEdit>(dialog, "permeabilityText")->text().isEmpty());
    click(dialog, "okButton");
  });
  EXPECT_EQ(record.point1Row(), "15");
  EXPECT_EQ(record.permeabilityText(), formatPermeability(*permeabilityFromHeadings(record), 4));
}

TEST_F(AnalysisDialog, CancelKeepsTheRecord) {
  load("unsteady.tvd");
  const TestRecord before = record;
  runCommand([](CAnalysisDialog* dialog) {
    click(dialog, "rightButton");
    click(dialog, "recomputeButton");
    click(dialog, "cancelButton");
  });
  EXPECT_TRUE(record == before);
  EXPECT_FALSE(doc.isModified());
}

class ShownDialog : public AnalysisDialog {
protected:
  void open() {
    load("unsteady.tvd");
    model.openAnalysis(record, 2);
    dialog = std::make_unique<CUnsteadyAnalysisDialog>(model);
    dialog->show();
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QTest::qWait(10);
  }
  UnsteadyAnalysisModel model;
  std::unique_ptr<CUnsteadyAnalysisDialog> dialog;
};

TEST_F(ShownDialog, ArrowKeysStepTheCursorUnlessAnEditHasTheFocus) {
  open();
  const int start = model.cursorRow();
  QPushButton* ok = child<QPushButton>(dialog.get(), "okButton");
  ok->setFocus();
  QTest::keyClick(ok, Qt::Key_Right);
  QTest::keyClick(ok, Qt::Key_Right);
  EXPECT_EQ(model.cursorRow(), start + 2);
  QRadioButton* radio = child<QRadioButton>(dialog.get(), "point1Radio");
  radio->setFocus();
  QTest::keyClick(radio, Qt::Key_Left);
  EXPECT_EQ(model.cursorRow(), start + 1);
  EXPECT_EQ(model.chosenRow(1), start + 1);
  EXPECT_TRUE(radio->isChecked());

  QLineEdit* edit = child<QLineEdit>(dialog.get(), "pointT1");
  edit->setFocus();
  edit->setCursorPosition(0);
  QTest::keyClick(edit, Qt::Key_Right);
  EXPECT_EQ(edit->cursorPosition(), 1);
  EXPECT_EQ(model.cursorRow(), start + 1);
}

TEST_F(ShownDialog, ScaleEditsAreCheckedWhenLeftAndBeforeOk) {
  open();
  QLineEdit* from = child<QLineEdit>(dialog.get(), "graphAValueFrom");
  from->setFocus();
  from->selectAll();
  QTest::keyClicks(from, "0.000005");
  child<QLineEdit>(dialog.get(), "graphATimeStep")->setFocus();
  QTest::qWait(10);
  EXPECT_EQ(sink.reported, (std::vector<std::string>{"目盛りが異常です"}));
  EXPECT_EQ(from->text(), QStringLiteral("0.01"));
  EXPECT_EQ(child<QLabel>(dialog.get(), "firstValueFrom")->text(), QStringLiteral("0.01"));

  // An unusable range still in its edit when Enter presses OK: reset and
  // reported, and the dialog stays open.
  theSettings().display.enterKeyMode = 0;
  sink.reported.clear();
  QLineEdit* to = child<QLineEdit>(dialog.get(), "graphBTimeTo");
  to->setFocus();
  to->selectAll();
  QTest::keyClicks(to, "-5");
  QTest::keyClick(to, Qt::Key_Return);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(to->text(), QStringLiteral("10000"));
  EXPECT_EQ(sink.reported.size(), 1u);
  QTest::keyClick(to, Qt::Key_Return);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

// The 照合 texts wrapped inside their parentheses: "(95 %" at a line's end,
// "2.0298E-006〜2.0848E-006)" on the next. Laid out as a word-wrapped label
// lays them out, at every width from 150 to 600 pixels, no line ends
// inside brackets.
TEST(ReviewTexts, NoLineEndsInsideParentheses) {
  const char* rows[] = {
      "照合: 行 6〜30 の近似直線 a 0.000840021  k 2.0573E-006 (95 % 2.0298E-006〜2.0848E-006)",
      "照合: 区間の取り方による k の幅 2.0058E-006〜2.2773E-006 (210 区間)",
      "s/H0 範囲 0.15〜0.25 (s 0.486〜0.81 m): 区間は一部が s/H0 範囲内",
  };
  QTextOption wrap;
  wrap.setWrapMode(QTextOption::WordWrap);
  for (const char* row : rows) {
    const QString text = unbrokenParentheses(QString::fromUtf8(row));
    for (int width = 150; width <= 600; width += 5) {
      QTextLayout layout(text, QApplication::font());
      layout.setTextOption(wrap);
      layout.beginLayout();
      int depth = 0, at = 0;
      for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        for (; at < line.textStart() + line.textLength(); ++at) {
          if (text[at] == u'(') ++depth;
          if (text[at] == u')') --depth;
        }
        EXPECT_TRUE(depth == 0 || at == text.size()) << row << " at " << width << " px: a line ends at " << at;
      }
      layout.endLayout();
    }
  }
}

// Each preview's axis labels cover the place of their values: the Q-t
// preview's "0" stood three quarters down its frame (where the unsteady
// preview's residuals begin), so 1.1E-5 read as about 0.8E-5.
TEST_F(AnalysisDialog, SteadyPreviewLabelsSitAtTheirValues) {
  load("steady.tvd");
  SteadyAnalysisModel model;
  model.openAnalysis(record, 2);
  CSteadyAnalysisDialog dialog(model);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::qWait(20);
  const struct { const char* preview; const char* label; bool vertical; bool atStart; } rows[] = {
      {"firstPreview", "firstValueTo", true, false},   {"firstPreview", "firstValueFrom", true, true},
      {"secondPreview", "secondValueTo", true, false}, {"secondPreview", "secondValueFrom", true, true},
      {"firstPreview", "firstTimeFrom", false, true},  {"secondPreview", "secondTimeTo", false, false},
  };
  for (const auto& r : rows) {
    auto* preview = child<QWidget>(&dialog, r.preview);
    auto* label = child<QLabel>(&dialog, r.label);
    const int inset = AnalysisModel::kInset;
    // The text's extent in the preview's coordinates.
    const QRect text = QStyle::alignedRect(label->layoutDirection(), label->alignment(),
                                           label->fontMetrics().size(0, label->text()), label->contentsRect());
    const QRect shown(label->mapTo(&dialog, text.topLeft()) - preview->mapTo(&dialog, QPoint(0, 0)), text.size());
    if (r.vertical) {
      const int value = r.atStart ? preview->height() - inset : inset;  // y grows downwards
      EXPECT_TRUE(value >= shown.top() && value <= shown.bottom()) << r.label << " " << shown.top() << ".." << shown.bottom() << " value " << value;
    } else {
      const int value = r.atStart ? inset : preview->width() - inset;
      EXPECT_TRUE(value >= shown.left() && value <= shown.right()) << r.label << " " << shown.left() << ".." << shown.right() << " value " << value;
    }
  }
}

} // namespace
} // namespace tov
