#include "dialogs/qt/CAnalysisDialog.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShortcut>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>
#include <tuple>

#include "qt/QtSurface.h"
#include "dialogs/qt/CancelQuestion.h"
#include "dialogs/qt/DialogWidgets.h"
#include "dialogs/qt/EnterKeyFilter.h"
#include "analysis/Analysis.h"
#include "files/Settings.h"
#include "record/Messages.h"

namespace tov {

namespace {

// The record field an edit shows, as a property of the edit.
constexpr const char* kFieldProperty = "tovField";
// How much the edits of the points and of the scales show.
constexpr const char* kPointWidth = "-0.000000000";

QString qs(const std::string& text) { return qtext(text); }

QLabel* caption(const char* text, QWidget* parent, Qt::Alignment align = Qt::AlignLeft | Qt::AlignVCenter) {
  auto* label = new QLabel(QString::fromUtf8(text), parent);
  label->setAlignment(align);
  return label;
}

// The captions over the columns of a scale table.
void scaleHeaders(QGridLayout* grid, QWidget* parent) {
  const char* headers[] = {"から", "まで", "きざみ", "ｸﾞﾘｯﾄﾞ1", "ｸﾞﾘｯﾄﾞ2"};
  for (int i = 0; i < 5; ++i) grid->addWidget(caption(headers[i], parent, Qt::AlignCenter), 0, i + 1);
  grid->setColumnStretch(6, 1);
}

} // namespace

// ----------------------------------------------------------------- preview

AnalysisPreview::AnalysisPreview(const AnalysisModel& model, PreviewGraph graph, QWidget* parent)
    : QWidget(parent), model_(model), graph_(graph) {
  setObjectName(graph == PreviewGraph::First ? QStringLiteral("firstPreview") : QStringLiteral("secondPreview"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 120);
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void AnalysisPreview::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  {
    QtSurface surface(painter);
    model_.drawPreview(surface, graph_, width(), height());
    surface.flush();
  }
  painter.setClipping(false);
  painter.setPen(QColor(0xa0, 0xa0, 0xa0));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

// ------------------------------------------------------------------ common

CAnalysisDialog::CAnalysisDialog(AnalysisModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);
  std::tie(okButton_, cancelButton_) = okCancelButtons(*this);

  // Left and Right step the cursor like the arrow buttons wherever the
  // focus is not in an edit (an edit keeps them for its text cursor).
  auto* left = new QShortcut(QKeySequence(Qt::Key_Left), this);
  auto* right = new QShortcut(QKeySequence(Qt::Key_Right), this);
  connect(left, &QShortcut::activated, this, [this] { apply([this] { model_.moveCursor(-1); }); });
  connect(right, &QShortcut::activated, this, [this] { apply([this] { model_.moveCursor(+1); }); });
}

QLineEdit* CAnalysisDialog::fieldEdit(int field, const char* name, QWidget* parent, const char* widthText) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromUtf8(name));
  edit->setProperty(kFieldProperty, field);
  edit->setFixedWidth(edit->fontMetrics().horizontalAdvance(QString::fromUtf8(widthText)) + 14);
  connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& value) {
    apply([&] { model_.setText(field, value.toStdString()); });
  });
  edit->installEventFilter(this);
  edits_[field] = edit;
  return edit;
}

QWidget* CAnalysisDialog::previewPane(PreviewGraph graph, const QString& valueName, QWidget* parent) {
  const int g = graph == PreviewGraph::First ? 0 : 1;
  const QString prefix = g == 0 ? QStringLiteral("first") : QStringLiteral("second");
  auto* pane = new QWidget(parent);
  auto* grid = new QGridLayout(pane);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setHorizontalSpacing(4);
  grid->setVerticalSpacing(1);
  previews_[g] = new AnalysisPreview(model_, graph, pane);
  previews_[g]->setMinimumSize(660, g == 0 ? 170 : 80);

  const char* names[4] = {"TimeFrom", "TimeTo", "ValueFrom", "ValueTo"};
  for (int i = 0; i < 4; ++i) {
    auto* label = new QLabel(pane);
    label->setObjectName(prefix + QString::fromUtf8(names[i]));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    labels_[g][i] = label;
  }
  grid->addWidget(labels_[g][3], 0, 0, Qt::AlignRight | Qt::AlignTop);
  grid->addWidget(new QLabel(valueName, pane), 1, 0, Qt::AlignRight | Qt::AlignVCenter);
  grid->addWidget(labels_[g][2], 2, 0, Qt::AlignRight | Qt::AlignBottom);
  grid->addWidget(previews_[g], 0, 1, 3, 3);
  grid->addWidget(labels_[g][0], 3, 1, Qt::AlignLeft | Qt::AlignTop);
  grid->addWidget(new QLabel(QStringLiteral("t"), pane), 3, 2, Qt::AlignHCenter | Qt::AlignTop);
  grid->addWidget(labels_[g][1], 3, 3, Qt::AlignRight | Qt::AlignTop);
  grid->setRowStretch(1, 1);
  grid->setColumnStretch(2, 1);
  // Both panes alike, whatever their labels hold.
  grid->setColumnMinimumWidth(0, pane->fontMetrics().horizontalAdvance(QStringLiteral("-0.00E-00")));
  pane->setFixedWidth(pane->fontMetrics().horizontalAdvance(QStringLiteral("-0.00E-00")) + 4 + 660);
  // The preview whole above the time labels (the spanning preview alone
  // does not make the rows tall enough).
  pane->setMinimumHeight(previews_[g]->minimumHeight() + pane->fontMetrics().height() + 6);
  pane->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  return pane;
}

QLayout* CAnalysisDialog::buttonRow(QWidget* parent) {
  auto* leftButton = new QPushButton(QStringLiteral("←"), parent);
  leftButton->setObjectName(QStringLiteral("leftButton"));
  auto* rightButton = new QPushButton(QStringLiteral("→"), parent);
  rightButton->setObjectName(QStringLiteral("rightButton"));
  auto* drawButton = new QPushButton(QStringLiteral("グラフ描画"), parent);
  drawButton->setObjectName(QStringLiteral("drawButton"));
  for (QPushButton* arrow : {leftButton, rightButton}) {
    arrow->setAutoRepeat(true);
    arrow->setMaximumWidth(arrow->fontMetrics().horizontalAdvance(QStringLiteral("←")) * 3 + 16);
  }
  connect(leftButton, &QPushButton::clicked, this, [this] { apply([this] { model_.moveCursor(-1); }); });
  connect(rightButton, &QPushButton::clicked, this, [this] { apply([this] { model_.moveCursor(+1); }); });
  connect(drawButton, &QPushButton::clicked, this, [this] { apply([this] { model_.drawGraph(); }); });
  auto* autoScale = new QPushButton(QStringLiteral("自動目盛り"), parent);
  autoScale->setObjectName(QStringLiteral("autoScaleButton"));
  autoScale->setToolTip(QStringLiteral("測定データに合わせて両グラフの目盛りを設定します"));
  connect(autoScale, &QPushButton::clicked, this, [this] { apply([this] { model_.applyAutoScales(); }); });
  auto* row = new QHBoxLayout;
  row->addWidget(leftButton);
  row->addWidget(rightButton);
  row->addSpacing(8);
  row->addWidget(drawButton);
  row->addWidget(autoScale);
  row->addStretch(1);
  return row;
}

QListWidget* CAnalysisDialog::checksList(QWidget* parent) {
  checks_ = new QListWidget(parent);
  checks_->setObjectName(QStringLiteral("checksList"));
  checks_->setFocusPolicy(Qt::NoFocus);
  checks_->setSelectionMode(QAbstractItemView::NoSelection);
  checks_->setWordWrap(true);
  checks_->setFixedWidth(checks_->fontMetrics().horizontalAdvance(QStringLiteral("０")) * 26);
  // The notes of a record can be many and long: the list scrolls.
  checks_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  checks_->setMinimumHeight(checks_->fontMetrics().lineSpacing() * 4 + 8);
  checks_->setMaximumHeight(checks_->fontMetrics().lineSpacing() * 8 + 8);
  return checks_;
}

void CAnalysisDialog::finish(QLayout* body) {
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body, 1);
  layout->addLayout(buttons);
  installEnterKeyFilter(*this);
  installCancelQuestion(*this);
  refresh();
}

void CAnalysisDialog::refresh() {
  for (const auto& [field, edit] : edits_) setTextIfChanged(edit, model_.text(field));
  for (int g = 0; g < 2; ++g) {
    const PreviewLabels& texts = model_.previewLabels(g == 0 ? PreviewGraph::First : PreviewGraph::Second);
    const std::string* values[4] = {&texts.timeFrom, &texts.timeTo, &texts.valueFrom, &texts.valueTo};
    for (int i = 0; i < 4; ++i)
      if (labels_[g][i]) labels_[g][i]->setText(qs(*values[i]));
    if (previews_[g]) previews_[g]->update();
  }
  if (checks_) {
    QStringList texts;
    for (const std::string& text : model_.checkTexts()) texts << qs(text);
    if (texts.isEmpty()) texts << QStringLiteral("なし");
    QStringList shown;
    for (int i = 0; i < checks_->count(); ++i) shown << checks_->item(i)->text();
    if (shown != texts) {
      checks_->clear();
      checks_->addItems(texts);
      // Every check seen without scrolling: the list as tall as its texts.
      const QFontMetrics metrics = checks_->fontMetrics();
      const int width = checks_->width() - 2 * checks_->frameWidth() - 8;
      int height = 2 * checks_->frameWidth() + 6;
      for (int i = 0; i < checks_->count(); ++i) {
        const int h = metrics.boundingRect(QRect(0, 0, width, 10000), Qt::TextWordWrap, texts[i]).height() + 4;
        checks_->item(i)->setSizeHint(QSize(width, h));
        height += h;
      }
      checks_->setFixedHeight(std::max(height, metrics.lineSpacing() * 4 + 8));
    }
  }
  // After the method's own texts are set.
  QTimer::singleShot(0, this, [this] { growToFit(); });
}

void CAnalysisDialog::growToFit() {
  // The layout's own minimum does not count the word-wrapped texts at
  // their height: the dialog grows to what its widgets ask for, within the
  // screen.
  // Its title bar counted (a title bar's height while the window manager's
  // frame is not known yet), and put back where its title bar and its
  // bottom are on the screen when it grew past them (at 1366x768 it nearly
  // fills the screen).
  const QScreen* shown = screen();
  const QRect outer = frameGeometry();
  const int above = std::max(geometry().top() - outer.top(), style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this));
  const int below = std::max(outer.bottom() - geometry().bottom(), 0);
  QSize wanted = sizeHint();
  if (shown) wanted = wanted.boundedTo(shown->availableGeometry().size() - QSize(outer.width() - width(), above + below));
  if (wanted.height() <= height() && wanted.width() <= width()) return;
  resize(wanted.expandedTo(size()));
  if (!shown || !isVisible()) return;
  const QRect free = shown->availableGeometry();
  const QRect inner = geometry();
  const int x = std::max(free.left(), std::min(inner.left(), free.right() + 1 - inner.width()));
  const int y = std::max(free.top() + above, std::min(inner.top(), free.bottom() + 1 - below - inner.height()));
  if (x != inner.left() || y != inner.top()) setGeometry(x, y, inner.width(), inner.height());
}

void CAnalysisDialog::fieldLeft(int field) {
  model_.fieldLeft(field);
  QTimer::singleShot(0, this, [this] { apply([this] { model_.runPendingChecks(); }); });
}

bool CAnalysisDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
    bool isField = false;
    const int field = watched->property(kFieldProperty).toInt(&isField);
    if (isField) fieldLeft(field);
  }
  return QDialog::eventFilter(watched, event);
}

void CAnalysisDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!firstShow_) return;
  firstShow_ = false;
  // Grown before the window is mapped: a resize just after it races the
  // window manager's placing (on X11 the dialog could land at 0,0 with its
  // title bar above the screen).
  growToFit();
  // The previews are drawn once the dialog is on the screen.
  QTimer::singleShot(0, this, [this] { apply([this] { model_.runPendingChecks(); }); });
}

void CAnalysisDialog::accept() {
  // OK ends the edit that has the focus as leaving it would.
  if (QWidget* focus = focusWidget()) {
    bool isField = false;
    const int field = focus->property(kFieldProperty).toInt(&isField);
    if (isField) model_.fieldLeft(field);
  }
  const bool kept = model_.runPendingChecks();
  refresh();
  if (kept) QDialog::accept();
}

// ---------------------------------------------------------------- unsteady

CUnsteadyAnalysisDialog::CUnsteadyAnalysisDialog(UnsteadyAnalysisModel& model, QWidget* parent)
    : CAnalysisDialog(model, parent), unsteady_(model) {
  setObjectName(QStringLiteral("unsteadyAnalysisDialog"));
  setWindowTitle(QStringLiteral("解析/目盛り  〔非定常法〕 "));
  auto* body = new QVBoxLayout;
  auto* top = new QHBoxLayout;
  top->addWidget(pointBox());
  top->addWidget(reviewBox(), 1);
  body->addLayout(top);
  body->addWidget(graphBox(true), 3);
  body->addWidget(graphBox(false), 2);
  // The s axis ends where the residuals below it begin.
  if (QLabel* from = labels_[0][2]) {
    from->setAlignment(Qt::AlignRight | Qt::AlignTop);
    from->setMinimumHeight(from->fontMetrics().height() + AnalysisModel::kResidualStrip);
  }
  finish(body);
}

QWidget* CUnsteadyAnalysisDialog::reviewBox() {
  auto* box = new QGroupBox(QStringLiteral("照合 (参考) と検討事項"), this);
  box->setObjectName(QStringLiteral("reviewBox"));
  auto* grid = new QGridLayout(box);
  grid->setVerticalSpacing(2);
  auto label = [box](const char* name) {
    auto* l = new QLabel(box);
    l->setObjectName(QString::fromUtf8(name));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return l;
  };
  fitText_ = label("fitText");
  bandText_ = label("bandText");
  spreadText_ = label("spreadText");
  typeCurvesText_ = label("typeCurvesText");
  suggestionText_ = label("suggestionText");
  suggestionText_->setWordWrap(true);
  auto* suggest = new QPushButton(QStringLiteral("推奨区間"), box);
  suggest->setObjectName(QStringLiteral("suggestButton"));
  suggest->setToolTip(QStringLiteral("直線とみなせる区間のうち最も後のものを解析点 1, 2 にします"));
  connect(suggest, &QPushButton::clicked, this, [this] { apply([this] { unsteady_.applySuggestion(); }); });
  fitOnPage_ = new QCheckBox(QStringLiteral("ページに近似直線、その k と区間、R² を印刷"), box);
  fitOnPage_->setObjectName(QStringLiteral("fitOnPageCheck"));
  for (QLabel* l : {fitText_, bandText_, spreadText_, typeCurvesText_, suggestionText_}) {
    l->setWordWrap(true);
    l->setMinimumWidth(l->fontMetrics().horizontalAdvance(QStringLiteral("０")) * 25);
  }
  // The suggestion (rows) first, then the cross-checks, then the head
  // band on a line of its own.
  grid->addWidget(suggest, 0, 0, Qt::AlignTop);
  grid->addWidget(suggestionText_, 0, 1);
  grid->addWidget(fitText_, 1, 0, 1, 2);
  grid->addWidget(spreadText_, 2, 0, 1, 2);
  grid->addWidget(typeCurvesText_, 3, 0, 1, 2);
  grid->addWidget(bandText_, 4, 0, 1, 2);
  auto* checks = new QVBoxLayout;
  checks->setSpacing(2);
  checks->addWidget(caption("検討事項", box));
  checks->addWidget(checksList(box));
  checks->addWidget(fitOnPage_);
  grid->addLayout(checks, 0, 2, 6, 1);
  grid->setRowStretch(5, 1);
  grid->setColumnStretch(1, 1);
  return box;
}

bool CUnsteadyAnalysisDialog::fitOnPage() const { return fitOnPage_ && fitOnPage_->isChecked(); }
void CUnsteadyAnalysisDialog::setFitOnPage(bool on) {
  if (fitOnPage_) fitOnPage_->setChecked(on);
}

QWidget* CUnsteadyAnalysisDialog::pointBox() {
  auto* box = new QGroupBox(QStringLiteral("解析点"), this);
  auto* grid = new QGridLayout(box);
  auto* group = new QButtonGroup(box);
  for (int point = 1; point <= 2; ++point) {
    auto* radio = new QRadioButton(QString::number(point), box);
    radio->setObjectName(point == 1 ? QStringLiteral("point1Radio") : QStringLiteral("point2Radio"));
    group->addButton(radio, point);
    pointRadios_[point - 1] = radio;
    const int row = point - 1;
    grid->addWidget(radio, row, 0);
    grid->addWidget(caption("t", box, Qt::AlignRight | Qt::AlignVCenter), row, 1);
    grid->addWidget(fieldEdit(point == 1 ? F_pointT1 : F_pointT2, point == 1 ? "pointT1" : "pointT2", box, kPointWidth),
                    row, 2);
    grid->addWidget(caption("s", box, Qt::AlignRight | Qt::AlignVCenter), row, 3);
    grid->addWidget(fieldEdit(point == 1 ? F_pointS1 : F_pointS2, point == 1 ? "pointS1" : "pointS2", box, kPointWidth),
                    row, 4);
  }
  connect(group, &QButtonGroup::idClicked, this, [this](int point) { apply([&] { unsteady_.selectPoint(point); }); });
  grid->addWidget(caption("a", box, Qt::AlignRight | Qt::AlignVCenter), 0, 6);
  grid->addWidget(fieldEdit(F_gradientText, "gradientText", box, kPointWidth), 0, 7);
  grid->addWidget(caption("ｋ", box, Qt::AlignRight | Qt::AlignVCenter), 1, 6);
  grid->addWidget(fieldEdit(F_permeabilityText, "permeabilityText", box, "-0.00000000E-000"), 1, 7);
  auto* recompute = new QPushButton(QStringLiteral("計算更新"), box);
  recompute->setObjectName(QStringLiteral("recomputeButton"));
  connect(recompute, &QPushButton::clicked, this, [this] { apply([this] { model_.recomputePermeability(); }); });
  grid->addWidget(recompute, 1, 8);
  // The one k of the test; every other k shown is a cross-check.
  auto* recorded = caption("↑ 試験の k (保存・印刷)", box);
  recorded->setObjectName(QStringLiteral("recordedKCaption"));
  grid->addWidget(recorded, 2, 6, 1, 4);
  grid->addLayout(buttonRow(box), 2, 0, 1, 5);
  // The ho the points' s (and so a and k) are of, where the record gives
  // one of its own.
  recordRest_ = new QCheckBox(QStringLiteral("記録から求めた ho で s を取る"), box);
  recordRest_->setObjectName(QStringLiteral("recordRestCheck"));
  recordRest_->setToolTip(QStringLiteral("解析点の s、a、k を、記録の回復が向かう平衡水位 ho で求めます"));
  connect(recordRest_, &QCheckBox::clicked, this, [this](bool on) { apply([&] { unsteady_.setRecordRest(on); }); });
  restText_ = new QLabel(box);
  restText_->setObjectName(QStringLiteral("restText"));
  restText_->setWordWrap(true);
  restText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  grid->addWidget(recordRest_, 3, 0, 1, 5);
  grid->addWidget(restText_, 4, 0, 1, 10);
  grid->setRowStretch(5, 1);  // the rows at the top, whatever the box's height
  grid->setColumnMinimumWidth(5, 16);
  grid->setColumnStretch(9, 1);
  return box;
}

QButtonGroup* CUnsteadyAnalysisDialog::choiceGroup(int field, const std::vector<const char*>& captions, QWidget* parent,
                                                   const char* name) {
  auto* group = new QButtonGroup(parent);
  for (int i = 0; i < static_cast<int>(captions.size()); ++i) {
    auto* radio = new QRadioButton(QString::fromUtf8(captions[static_cast<std::size_t>(i)]), parent);
    radio->setObjectName(QString::fromUtf8(name) + QString::number(i));
    group->addButton(radio, i);
  }
  connect(group, &QButtonGroup::idClicked, this,
          [this, field](int value) { apply([&] { unsteady_.setChoice(field, value); }); });
  choices_[field] = group;
  return group;
}

QWidget* CUnsteadyAnalysisDialog::graphBox(bool first) {
  auto* box = new QGroupBox(first ? QStringLiteral("log s-t グラフ") : QStringLiteral("h-t グラフ"), this);
  box->setObjectName(first ? QStringLiteral("firstGraphBox") : QStringLiteral("secondGraphBox"));
  auto* scales = new QGridLayout;
  scales->setVerticalSpacing(4);
  scaleHeaders(scales, box);
  scales->addWidget(caption("ｔ", box), 1, 0);
  const char* timeNames[2][5] = {
      {"graphATimeFrom", "graphATimeTo", "graphATimeStep", "graphATimeGrid1", "graphATimeGrid2"},
      {"graphBTimeFrom", "graphBTimeTo", "graphBTimeStep", "graphBTimeGrid1", "graphBTimeGrid2"}};
  const int timeField = first ? F_graphATimeFrom : F_graphBTimeFrom;
  for (int i = 0; i < 5; ++i) scales->addWidget(fieldEdit(timeField + i, timeNames[first ? 0 : 1][i], box), 1, i + 1);

  if (first) {
    scales->addWidget(caption("ｓ", box), 2, 0);
    scales->addWidget(fieldEdit(F_graphAValueFrom, "graphAValueFrom", box), 2, 1);
    scales->addWidget(fieldEdit(F_graphAValueTo, "graphAValueTo", box), 2, 2);
    grid2Check_ = new QCheckBox(
        QStringLiteral("グリッド2のきざ\nみ線をグリッド1\nの値1～5 の時\nのみ描画"), box);
    grid2Check_->setObjectName(QStringLiteral("grid2WhenGrid1Small"));
    connect(grid2Check_, &QCheckBox::clicked, this,
            [this](bool on) { apply([&] { unsteady_.setChoice(F_grid2WhenGrid1Small, on ? 1 : 0); }); });
    scales->addWidget(grid2Check_, 3, 1, 1, 2, Qt::AlignLeft | Qt::AlignTop);

    auto column = [&](QButtonGroup* group) {
      auto* layout = new QVBoxLayout;
      layout->setSpacing(2);
      for (QAbstractButton* button : group->buttons()) layout->addWidget(button);
      layout->addStretch(1);
      return layout;
    };
    scales->addLayout(column(choiceGroup(F_graphAValueStep, {"1", "1,2,5", "1-9"}, box, "graphAValueStep")), 2, 3, 2, 1);
    scales->addWidget(caption("1-9", box, Qt::AlignHCenter | Qt::AlignVCenter), 2, 4);
    scales->addLayout(
        column(choiceGroup(F_graphAValueGrid2, {"1", "1,2", "1-5", "1-8", "無し"}, box, "graphAValueGrid2")), 2, 5, 2,
        1);
    scales->setRowStretch(4, 1);
  } else {
    scales->addWidget(caption("ｈ", box), 2, 0);
    const char* names[5] = {"graphBLevelFrom", "graphBLevelTo", "graphBLevelStep", "graphBLevelGrid1",
                            "graphBLevelGrid2"};
    for (int i = 0; i < 5; ++i) scales->addWidget(fieldEdit(F_graphBLevelFrom + i, names[i], box), 2, i + 1);
    scales->setRowStretch(3, 1);
  }

  // The preview takes most of the width: curvature must be seen.
  auto* layout = new QHBoxLayout(box);
  layout->addWidget(previewPane(first ? PreviewGraph::First : PreviewGraph::Second,
                                first ? QStringLiteral("s") : QStringLiteral("h"), box),
                    3);
  layout->addSpacing(8);
  layout->addLayout(scales, 1);
  return box;
}

void CUnsteadyAnalysisDialog::refresh() {
  CAnalysisDialog::refresh();
  if (pointRadios_[0]) pointRadios_[unsteady_.activePoint() == 2 ? 1 : 0]->setChecked(true);
  for (const auto& [field, group] : choices_)
    if (QAbstractButton* button = group->button(unsteady_.choice(field))) button->setChecked(true);
  if (grid2Check_) grid2Check_->setChecked(unsteady_.choice(F_grid2WhenGrid1Small) != 0);
  if (fitText_) {
    fitText_->setText(unbrokenParentheses(qs(unsteady_.fitText())));
    bandText_->setText(unbrokenParentheses(qs(unsteady_.bandText())));
    spreadText_->setText(unbrokenParentheses(qs(unsteady_.spreadText())));
    typeCurvesText_->setText(unbrokenParentheses(qs(unsteady_.typeCurvesText())));
    suggestionText_->setText(unbrokenParentheses(qs(unsteady_.suggestionText())));
  }
  if (recordRest_) {
    recordRest_->setVisible(unsteady_.recordRestAvailable());
    recordRest_->setChecked(unsteady_.recordRest());
    const std::string rest = unsteady_.restText();
    restText_->setText(qs(rest));
    restText_->setVisible(!rest.empty());
  }
}

// ------------------------------------------------------------------ steady

CSteadyAnalysisDialog::CSteadyAnalysisDialog(SteadyAnalysisModel& model, QWidget* parent)
    : CAnalysisDialog(model, parent), steady_(model) {
  setObjectName(QStringLiteral("steadyAnalysisDialog"));
  setWindowTitle(QStringLiteral("解析/目盛り  〔定常法〕"));
  auto* body = new QVBoxLayout;
  body->addWidget(pointBox());
  body->addWidget(graphBox(true), 3);
  body->addWidget(graphBox(false), 2);
  for (AnalysisPreview* preview : previews_) {
    preview->installEventFilter(this);
    preview->setCursor(Qt::PointingHandCursor);
    preview->setToolTip(QStringLiteral("クリックした点の行を解析点にします"));
  }
  finish(body);
}

void CSteadyAnalysisDialog::keyPressEvent(QKeyEvent* event) {
  // Home and End take the point to the first and the last reading; an edit
  // or a picker with the focus keeps them for itself.
  if (event->modifiers() == Qt::NoModifier && (event->key() == Qt::Key_Home || event->key() == Qt::Key_End)) {
    const int row = event->key() == Qt::Key_Home ? 1 : steady_.completeRows();
    apply([this, row] { steady_.moveCursorTo(row); });
    return;
  }
  CAnalysisDialog::keyPressEvent(event);
}

bool CSteadyAnalysisDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonPress) {
    for (int g = 0; g < 2; ++g) {
      if (watched != previews_[g]) continue;
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() != Qt::LeftButton) break;
      const QPoint at = mouse->position().toPoint();
      const int row = steady_.rowAt(g == 0 ? PreviewGraph::First : PreviewGraph::Second, at.x(), at.y(),
                                    previews_[g]->width(), previews_[g]->height());
      if (row >= 1) apply([this, row] { steady_.moveCursorTo(row); });
      return true;
    }
  }
  return CAnalysisDialog::eventFilter(watched, event);
}

QWidget* CSteadyAnalysisDialog::pointBox() {
  auto* box = new QGroupBox(QStringLiteral("解析点"), this);
  auto* layout = new QVBoxLayout(box);
  struct PointEdit {
    const char* caption;
    int field;
    const char* name;
  };
  const PointEdit points[] = {{"t", F_pointT1, "pointT1"},
                              {"h", F_pointT2, "pointT2"},
                              {"Q", F_pointS1, "pointS1"},
                              {"s", F_pointS2, "pointS2"}};
  auto* values = new QHBoxLayout;
  for (const PointEdit& p : points) {
    values->addWidget(caption(p.caption, box, Qt::AlignRight | Qt::AlignVCenter));
    values->addWidget(fieldEdit(p.field, p.name, box, kPointWidth));
    values->addSpacing(10);
  }
  auto* suggest = new QPushButton(QStringLiteral("推奨点"), box);
  suggest->setObjectName(QStringLiteral("suggestButton"));
  suggest->setToolTip(QStringLiteral("Q の落ち着いた最後の 3 点のうち Q が中央の行を解析点にし、k を計算します"));
  connect(suggest, &QPushButton::clicked, this, [this] { apply([this] { steady_.applySuggestion(); }); });
  values->addWidget(suggest);
  values->addStretch(1);
  auto* results = new QHBoxLayout;
  results->addWidget(caption("log(2L/D)", box, Qt::AlignRight | Qt::AlignVCenter));
  results->addWidget(fieldEdit(F_gradientText, "gradientText", box, kPointWidth));
  results->addSpacing(10);
  results->addWidget(caption("ｋ", box, Qt::AlignRight | Qt::AlignVCenter));
  results->addWidget(fieldEdit(F_permeabilityText, "permeabilityText", box, "-0.00000000E-000"));
  auto* recompute = new QPushButton(QStringLiteral("計算更新"), box);
  recompute->setObjectName(QStringLiteral("recomputeButton"));
  connect(recompute, &QPushButton::clicked, this, [this] { apply([this] { model_.recomputePermeability(); }); });
  results->addWidget(recompute);
  results->addStretch(1);
  suggestionText_ = new QLabel(box);
  suggestionText_->setObjectName(QStringLiteral("suggestionText"));
  suggestionText_->setWordWrap(true);
  suggestionText_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  auto* left = new QVBoxLayout;
  left->addLayout(values);
  left->addLayout(results);
  left->addWidget(suggestionText_);
  left->addLayout(buttonRow(box));
  auto* checks = new QVBoxLayout;
  checks->addWidget(caption("検討事項", box));
  checks->addWidget(checksList(box));
  auto* row = new QHBoxLayout;
  row->addLayout(left, 1);
  row->addLayout(checks);
  layout->addLayout(row);
  return box;
}

QWidget* CSteadyAnalysisDialog::flowCell(int field, const char* name, QWidget* parent) {
  auto* cell = new QWidget(parent);
  auto* row = new QHBoxLayout(cell);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(2);
  row->addWidget(fieldEdit(field, name, cell, "-00.00"), 1);
  if (field == F_graphAValueGrid1 || field == F_graphAValueGrid2) {
    // The grids count in the step's exponent.
    auto* shown = new QLabel(cell);
    shown->setObjectName(QString::fromUtf8(name) + QStringLiteral("Exponent"));
    shown->setMinimumWidth(shown->fontMetrics().horizontalAdvance(QStringLiteral("E-8")) + 4);
    gridExponents_[field == F_graphAValueGrid1 ? 0 : 1] = shown;
    row->addWidget(shown);
    return cell;
  }
  auto* picker = new QComboBox(cell);
  picker->setObjectName(QString::fromUtf8(name) + QStringLiteral("Exponent"));
  picker->setToolTip(QStringLiteral("倍率"));
  for (const char* choice : SteadyAnalysisModel::exponentChoices()) picker->addItem(QString::fromUtf8(choice));
  connect(picker, &QComboBox::activated, this, [this, field, picker] {
    apply([&] { steady_.setExponent(field, picker->currentText().toStdString()); });
    fieldLeft(field);
  });
  pickers_[field] = picker;
  row->addWidget(picker);
  return cell;
}

QWidget* CSteadyAnalysisDialog::graphBox(bool first) {
  auto* box = new QGroupBox(first ? QStringLiteral("Q-t グラフ") : QStringLiteral("h-t グラフ"), this);
  box->setObjectName(first ? QStringLiteral("firstGraphBox") : QStringLiteral("secondGraphBox"));
  auto* scales = new QGridLayout;
  scales->setVerticalSpacing(4);
  scaleHeaders(scales, box);
  scales->addWidget(caption("ｔ", box), 1, 0);
  if (first) {
    const char* names[5] = {"graphATimeFrom", "graphATimeTo", "graphATimeStep", "graphATimeGrid1", "graphATimeGrid2"};
    const char* flowNames[5] = {"graphAValueFrom", "graphAValueTo", "graphAValueStep", "graphAValueGrid1",
                                "graphAValueGrid2"};
    scales->addWidget(caption("Q", box), 2, 0);
    for (int i = 0; i < 5; ++i) {
      QWidget* flow = flowCell(F_graphAValueFrom + i, flowNames[i], box);
      QLineEdit* time = fieldEdit(F_graphATimeFrom + i, names[i], box);
      time->setFixedWidth(flow->sizeHint().width());  // a column as wide as the Q cell under it
      scales->addWidget(time, 1, i + 1);
      scales->addWidget(flow, 2, i + 1);
    }
  } else {
    // The time axis is the Q - t graph's: its ends and step are shown here.
    const char* names[5] = {"graphBTimeFrom", "graphBTimeTo", "graphBTimeStep", "graphBTimeGrid1", "graphBTimeGrid2"};
    for (int i = 0; i < 5; ++i) {
      QLineEdit* edit = fieldEdit(F_graphBTimeFrom + i, names[i], box);
      if (i < 3) {
        edit->setReadOnly(true);
        edit->setFocusPolicy(Qt::NoFocus);
      }
      scales->addWidget(edit, 1, i + 1);
    }
    scales->addWidget(caption("ｈ", box), 2, 0);
    const char* levelNames[5] = {"graphBLevelFrom", "graphBLevelTo", "graphBLevelStep", "graphBLevelGrid1",
                                 "graphBLevelGrid2"};
    for (int i = 0; i < 5; ++i) scales->addWidget(fieldEdit(F_graphBLevelFrom + i, levelNames[i], box), 2, i + 1);
  }
  scales->setRowStretch(4, 1);

  auto* layout = new QHBoxLayout(box);
  layout->addWidget(previewPane(first ? PreviewGraph::First : PreviewGraph::Second,
                                first ? QStringLiteral("Q") : QStringLiteral("h"), box),
                    3);
  layout->addSpacing(8);
  layout->addLayout(scales, 1);
  return box;
}

void CSteadyAnalysisDialog::refresh() {
  CAnalysisDialog::refresh();
  for (const auto& [field, picker] : pickers_) {
    const QString wanted = qs(steady_.exponent(field));
    int index = picker->findText(wanted);
    if (index < 0) {
      picker->addItem(wanted);
      index = picker->count() - 1;
    }
    picker->setCurrentIndex(index);
  }
  for (QLabel* shown : gridExponents_)
    if (shown) shown->setText(qs(steady_.exponent(F_graphAValueStep)));
  if (suggestionText_) {
    suggestionText_->setText(unbrokenParentheses(qs(steady_.suggestionText())));
    suggestionText_->setVisible(!steady_.suggestionText().empty());
  }
}

// ----------------------------------------------------------------- command

bool runAnalysisEditor(QWidget* parent, TestRecord& record) {
  const int digits = theSettings().display.digitsPermeability;
  std::unique_ptr<AnalysisModel> model;
  std::unique_ptr<CAnalysisDialog> dialog;
  // Our own settings, beside Sys.ndx: read afresh, so a changed file counts.
  const std::filesystem::path folder = theSettings().installFolderPath();
  AnalysisSettings& settings = theAnalysisSettings();
  settings = readAnalysisSettings(folder);
  if (record.fieldInt(F_formulaKind) == 4) {
    auto steady = std::make_unique<SteadyAnalysisModel>();
    steady->setAnalysisSettings(settings);
    steady->openAnalysis(record, digits);
    dialog = std::make_unique<CSteadyAnalysisDialog>(*steady, parent);
    model = std::move(steady);
  } else {
    auto unsteady = std::make_unique<UnsteadyAnalysisModel>();
    unsteady->setAnalysisSettings(settings);
    unsteady->openAnalysis(record, digits);
    dialog = std::make_unique<CUnsteadyAnalysisDialog>(*unsteady, parent);
    model = std::move(unsteady);
  }
  auto* unsteadyDialog = qobject_cast<CUnsteadyAnalysisDialog*>(dialog.get());
  if (unsteadyDialog) unsteadyDialog->setFitOnPage(settings.fitOnPage);
  if (dialog->exec() != QDialog::Accepted) return false;
  model->storeAnalysis(record);
  if (unsteadyDialog && unsteadyDialog->fitOnPage() != settings.fitOnPage) {
    settings.fitOnPage = unsteadyDialog->fitOnPage();
    if (!writeAnalysisSettings(folder, settings)) reportMessage(IDS_SAVE_FAILED);
  }
  return true;
}

} // namespace tov
