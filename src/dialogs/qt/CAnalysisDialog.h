#pragma once
// The analysis dialogs "解析/目盛り  〔非定常法〕 " and "解析/目盛り  〔定常法〕":
// the widgets over an AnalysisModel. Every event goes to a model operation;
// the dialog then shows what the model holds.
#include <QDialog>
#include <QWidget>

#include <map>

#include "dialogs/AnalysisModel.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace tov {

// A preview area, drawn by the model on the QPainter surface.
class AnalysisPreview : public QWidget {
  Q_OBJECT
public:
  AnalysisPreview(const AnalysisModel& model, PreviewGraph graph, QWidget* parent = nullptr);
  // The first graph large enough to judge curvature (with its residuals),
  // both half of a dialog that fits a 1366 x 768 screen; on a smaller
  // screen they give up height first.
  QSize sizeHint() const override { return graph_ == PreviewGraph::First ? QSize{660, 250} : QSize{660, 110}; }

protected:
  void paintEvent(QPaintEvent* event) override;

private:
  const AnalysisModel& model_;
  PreviewGraph graph_;
};

// What both dialogs have: the point edits, the previews with their axis
// labels, the arrow, graph and recompute buttons, OK and ｷｬﾝｾﾙ.
class CAnalysisDialog : public QDialog {
  Q_OBJECT
public:
  AnalysisModel& model() { return model_; }

  // OK: the checks the edits just left made due, then the store (the
  // dialog stays open when one of them replaced a value).
  void accept() override;

protected:
  CAnalysisDialog(AnalysisModel& model, QWidget* parent);

  // An edit showing a record field; `name` is its object name.
  QLineEdit* fieldEdit(int field, const char* name, QWidget* parent, const char* widthText = "-00000.000");
  // A preview with its axis end values around it.
  QWidget* previewPane(PreviewGraph graph, const QString& valueName, QWidget* parent);
  // "←", "→", "グラフ描画" and "計算更新".
  QLayout* buttonRow(QWidget* parent);
  // The "検討事項" list.
  QListWidget* checksList(QWidget* parent);
  // Puts OK and ｷｬﾝｾﾙ under the body and sets up the keys.
  void finish(QLayout* body);
  // Shows the model's state.
  virtual void refresh();
  // Grows the dialog to its widgets' wanted size, within the screen.
  void growToFit();
  // Runs a model operation, then shows the state.
  template <class F> void apply(F&& operation) {
    operation();
    refresh();
  }

  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

  // The focus left a field's edit: the checks it makes due run once the
  // focus has settled.
  void fieldLeft(int field);

  AnalysisModel& model_;
  std::map<int, QLineEdit*> edits_;
  AnalysisPreview* previews_[2] = {};
  QLabel* labels_[2][4] = {};
  QPushButton* okButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QListWidget* checks_ = nullptr;

private:
  bool firstShow_ = true;
};

class CUnsteadyAnalysisDialog : public CAnalysisDialog {
  Q_OBJECT
public:
  CUnsteadyAnalysisDialog(UnsteadyAnalysisModel& model, QWidget* parent = nullptr);

protected:
  void refresh() override;

public:
  // "ページに近似直線と R² を印刷" as the engineer left it.
  bool fitOnPage() const;
  void setFitOnPage(bool on);

private:
  QWidget* pointBox();
  QWidget* reviewBox();
  QWidget* graphBox(bool first);
  QButtonGroup* choiceGroup(int field, const std::vector<const char*>& captions, QWidget* parent, const char* name);

  UnsteadyAnalysisModel& unsteady_;
  QLabel* fitText_ = nullptr;
  QLabel* bandText_ = nullptr;
  QLabel* suggestionText_ = nullptr;
  QLabel* spreadText_ = nullptr;
  QLabel* typeCurvesText_ = nullptr;
  QCheckBox* fitOnPage_ = nullptr;
  QCheckBox* recordRest_ = nullptr;
  QLabel* restText_ = nullptr;
  QRadioButton* pointRadios_[2] = {};
  std::map<int, QButtonGroup*> choices_;
  QCheckBox* grid2Check_ = nullptr;
};

class CSteadyAnalysisDialog : public CAnalysisDialog {
  Q_OBJECT
public:
  CSteadyAnalysisDialog(SteadyAnalysisModel& model, QWidget* parent = nullptr);

protected:
  void refresh() override;
  // A click on a preview picks the row whose circle is nearest.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

private:
  QWidget* pointBox();
  QWidget* graphBox(bool first);
  // A Q mantissa edit with its exponent picker (or, for the grids, the
  // step's exponent shown beside it).
  QWidget* flowCell(int field, const char* name, QWidget* parent);

  SteadyAnalysisModel& steady_;
  std::map<int, QComboBox*> pickers_;
  QLabel* gridExponents_[2] = {};
  QLabel* suggestionText_ = nullptr;
};

// The analysis command: the dialog of the test's method on a copy of the
// record's analysis fields; on OK they go back into the record.
bool runAnalysisEditor(QWidget* parent, TestRecord& record);

} // namespace tov
