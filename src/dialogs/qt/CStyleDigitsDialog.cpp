#include "dialogs/qt/CStyleDigitsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <cmath>

#include "dialogs/SettingsSave.h"
#include "dialogs/qt/CancelQuestion.h"
#include "dialogs/qt/DialogWidgets.h"

namespace tov {

namespace {

using F = StyleField;
using O = StyleOption;

std::size_t at(F field) { return static_cast<std::size_t>(field); }
std::size_t at(O option) { return static_cast<std::size_t>(option); }

// The sketch beside the sizes: a box on the page with its top and left
// measured from the margins, and its height and width.
class SizeDiagram : public QWidget {
public:
  explicit SizeDiagram(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("sizeDiagram"));
    setFixedSize(150, 130);
  }

protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink = palette().color(QPalette::WindowText);
    const QRectF page(4.5, 4.5, width() - 9.0, height() - 9.0);
    p.fillRect(page, Qt::white);
    p.setPen(QPen(ink, 1));
    p.drawRect(page);
    // The margins.
    const double mx = page.left() + 14, my = page.top() + 14;
    p.setPen(QPen(ink, 1, Qt::DotLine));
    p.drawLine(QPointF(mx, page.top()), QPointF(mx, page.bottom()));
    p.drawLine(QPointF(page.left(), my), QPointF(page.right(), my));
    // The box.
    const QRectF box(mx + 42, my + 30, 62, 44);
    p.setPen(QPen(ink, 1.5));
    p.drawRect(box);
    p.setPen(QPen(QColor(0x1f, 0x5f, 0xbf), 1));
    arrow(p, QPointF(box.left() + 10, my), QPointF(box.left() + 10, box.top()));
    arrow(p, QPointF(mx, box.top() + 12), QPointF(box.left(), box.top() + 12));
    arrow(p, QPointF(box.right() + 6, box.top()), QPointF(box.right() + 6, box.bottom()));
    arrow(p, QPointF(box.left(), box.bottom() + 6), QPointF(box.right(), box.bottom() + 6));
    QFont small = font();
    small.setPointSizeF(small.pointSizeF() * 0.8);
    p.setFont(small);
    p.setPen(ink);
    p.drawText(QPointF(box.left() + 13, my + 18), QStringLiteral("上"));
    p.drawText(QPointF(mx + 10, box.top() + 28), QStringLiteral("左"));
    p.drawText(QRectF(box.left(), box.bottom() + 8, box.width(), 16), Qt::AlignCenter, QStringLiteral("幅"));
    p.drawText(QRectF(box.left(), box.top(), box.width(), box.height()), Qt::AlignCenter, QStringLiteral("高さ"));
  }

private:
  static void arrow(QPainter& p, QPointF from, QPointF to) {
    p.drawLine(from, to);
    for (const auto& [tip, back] : {std::pair{from, to}, std::pair{to, from}}) {
      const QPointF d = back - tip;
      const double length = std::hypot(d.x(), d.y());
      if (length < 1) continue;
      const QPointF u = d / length * 5.0;
      const QPointF n(-u.y() * 0.6, u.x() * 0.6);
      QPainterPath head(tip);
      head.lineTo(tip + u + n);
      head.lineTo(tip + u - n);
      head.closeSubpath();
      p.fillPath(head, p.pen().color());
    }
  }
};

QGroupBox* group(QWidget* parent, const char* title, const char* name) {
  auto* box = new QGroupBox(QString::fromUtf8(title), parent);
  box->setObjectName(QString::fromUtf8(name));
  return box;
}

QLabel* label(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

} // namespace

CStyleDigitsDialog::CStyleDigitsDialog(StyleDigitsModel& model, DisplaySettings& target, QWidget* parent)
    : QDialog(parent), model_(model), target_(target) {
  auto* top = new QHBoxLayout;
  top->addWidget(headingsGroup(), 1);
  top->addWidget(digitsGroup());
  auto* middle = new QHBoxLayout;
  middle->addWidget(graphGroup());
  middle->addWidget(sizesGroup());
  middle->addWidget(tableGroup());
  // Created after the fields, so that the focus starts in the first field
  // and Tab reaches the button after the last one.
  auto* standard = new QPushButton(QStringLiteral("標準の設定"), this);
  standard->setObjectName(QStringLiteral("standardButton"));
  connect(standard, &QPushButton::clicked, this, [this] {
    model_.restoreStandard();
    refresh();
  });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(middle);
  layout->addLayout(dialogButtons(*this, standard));
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setUpSettingsDialog(*this, "styleDigitsDialog", "様式/桁数");
  installCancelQuestion(*this);
  refresh();
}

QLineEdit* CStyleDigitsDialog::intEdit(StyleField field, const char* name, int digits) {
  QLineEdit* edit = numberEdit(this, name, digits);
  fields_[at(field)] = edit;
  connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& value) { model_.setText(field, utf8(value)); });
  return edit;
}

QComboBox* CStyleDigitsDialog::textCombo(StyleField field, const char* name) {
  QComboBox* box = editableCombo(this, name, StyleDigitsModel::listEntries(field));
  fields_[at(field)] = box;
  connect(box, &QComboBox::editTextChanged, this, [this, field](const QString& value) { model_.setText(field, utf8(value)); });
  return box;
}

QAbstractButton* CStyleDigitsDialog::checkBox(StyleOption option, const char* name, const char* text) {
  auto* box = new QCheckBox(QString::fromUtf8(text), this);
  box->setObjectName(QString::fromUtf8(name));
  options_[at(option)] = box;
  connect(box, &QCheckBox::clicked, this, [this, option](bool on) { model_.setOption(option, on ? 1 : 0); });
  return box;
}

QComboBox* CStyleDigitsDialog::optionList(StyleOption option, const char* name) {
  QComboBox* box = listCombo(this, name, StyleDigitsModel::optionEntries(option));
  options_[at(option)] = box;
  connect(box, &QComboBox::activated, this, [this, option](int index) { model_.setOption(option, index); });
  return box;
}

QWidget* CStyleDigitsDialog::headingsGroup() {
  QGroupBox* box = group(this, "見出し 項目名初期設定", "headingsGroup");
  auto* grid = new QGridLayout(box);
  const struct {
    F field;
    const char* name;
    const char* text;
  } rows[] = {
      {F::SurveyNameLabel, "surveyNameLabel", "調査名"},
      {F::SurveyLocationLabel, "surveyLocationLabel", "調査場所"},
      {F::TestIdNumberLabel, "testIdNumberLabel", "Ｎｏ．"},
      {F::GraphTitle, "graphTitle", "グラフタイトル"},
      {F::TableTitle, "tableTitle", "データ表タイトル"},
  };
  int row = 0;
  for (const auto& r : rows) {
    grid->addWidget(label(box, r.text), row, 0);
    QComboBox* combo = textCombo(r.field, r.name);
    const bool title = r.field == F::GraphTitle || r.field == F::TableTitle;
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(title ? 30 : 10);
    if (title)
      grid->addWidget(combo, row, 1, 1, 2);
    else
      grid->addWidget(combo, row, 1, Qt::AlignLeft);
    ++row;
  }
  auto* wider = new QHBoxLayout;
  wider->addWidget(label(box, "左右の項目配置"));
  wider->addWidget(checkBox(O::WiderHeadingLayout, "widerHeadingLayout", "やや広く"));
  wider->addStretch(1);
  grid->addLayout(wider, row, 0, 1, 3);
  grid->setColumnStretch(2, 1);
  return box;
}

QWidget* CStyleDigitsDialog::digitsGroup() {
  QGroupBox* box = group(this, "小数以下表示桁数", "digitsGroup");
  auto* grid = new QGridLayout(box);
  const struct {
    F field;
    const char* name;
    const char* quantity;
    const char* symbol;
  } rows[] = {
      {F::DigitsTime, "digitsTime", "経過時間", "t"},
      {F::DigitsPipeLevel, "digitsPipeLevel", "水位", "h'"},
      {F::DigitsLevel, "digitsLevel", "水位", "h"},
      {F::DigitsHeadDifference, "digitsHeadDifference", "水位差", "s"},
      {F::DigitsFlow, "digitsFlow", "流量", "Q"},
      {F::DigitsGradient, "digitsGradient", "勾配", "a"},
      {F::DigitsPermeability, "digitsPermeability", "透水係数", "k"},
  };
  int row = 0;
  for (const auto& r : rows) {
    grid->addWidget(label(box, r.quantity), row, 0);
    grid->addWidget(label(box, r.symbol), row, 1);
    grid->addWidget(intEdit(r.field, r.name, 3), row, 2);
    ++row;
  }
  QLabel* note = noteLabel(box, QStringLiteral("計算結果に桁数変更を反映\nさせるには、\n[データ]－[解析/目盛り]の\n"
                                              "[計算更新]ボタンをクリック\nしてください．"));
  grid->addWidget(note, 0, 3, row, 1, Qt::AlignTop);
  grid->setColumnMinimumWidth(3, 0);
  grid->setHorizontalSpacing(10);
  return box;
}

QWidget* CStyleDigitsDialog::graphGroup() {
  QGroupBox* box = group(this, "グラフ", "graphGroup");
  auto* layout = new QVBoxLayout(box);
  layout->addWidget(checkBox(O::RotateAxisNames, "rotateAxisNames", "たて軸変数名（h、s、Q） 90゜回転"));
  layout->addWidget(checkBox(O::JoinReadings, "joinReadings", "データを折れ線で結ぶ"));

  QGroupBox* points = group(box, "勾配を求める２点", "gradientLineGroup");
  auto* pointsLayout = new QVBoxLayout(points);
  gradientLine_ = new QButtonGroup(this);
  const char* modes[] = {"２点を結ぶ", "２点を延長線で結ぶ", "結ばない"};
  for (int mode = 0; mode < 3; ++mode) {
    auto* radio = new QRadioButton(QString::fromUtf8(modes[mode]), points);
    radio->setObjectName(QStringLiteral("gradientLineMode%1").arg(mode));
    gradientLine_->addButton(radio, mode);
    pointsLayout->addWidget(radio);
  }
  connect(gradientLine_, &QButtonGroup::idClicked, this, [this](int mode) { model_.setOption(O::GradientLineMode, mode); });
  pointsLayout->addWidget(checkBox(O::MarkGradientPoints, "markGradientPoints", "縦線の目印を記入"));
  layout->addWidget(points);

  auto* flow = new QGridLayout;
  flow->addWidget(label(box, "流量Qの目盛り書式"), 0, 0);
  flow->addWidget(optionList(O::GraphFlowScaleFormat, "graphFlowScaleFormat"), 0, 1);
  flow->addWidget(noteLabel(box, QStringLiteral("(Q－t グラフ)")), 1, 0);
  flow->setColumnStretch(2, 1);
  layout->addLayout(flow);
  layout->addStretch(1);
  return box;
}

QWidget* CStyleDigitsDialog::sizesGroup() {
  QGroupBox* box = group(this, "サイズと表示位置 mm", "sizesGroup");
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(6);
  int column = 1;
  for (const char* heading : {"上端", "左端", "高さ", "幅"})
    grid->addWidget(label(box, heading), 0, column++, Qt::AlignHCenter);
  grid->addWidget(label(box, "logｓ、Q－t"), 1, 0);
  grid->addWidget(intEdit(F::UpperGraphTop, "upperGraphTop"), 1, 1);
  grid->addWidget(intEdit(F::UpperGraphLeft, "upperGraphLeft"), 1, 2);
  grid->addWidget(intEdit(F::UpperGraphHeight, "upperGraphHeight"), 1, 3);
  QLineEdit* width = intEdit(F::GraphWidth, "graphWidth");
  width->installEventFilter(this);
  grid->addWidget(width, 1, 4);
  grid->addWidget(label(box, "h－t"), 2, 0);
  grid->addWidget(intEdit(F::LowerGraphTop, "lowerGraphTop"), 2, 1);
  grid->addWidget(intEdit(F::LowerGraphLeft, "lowerGraphLeft"), 2, 2);
  grid->addWidget(intEdit(F::LowerGraphHeight, "lowerGraphHeight"), 2, 3);
  widthMirror_ = numberEdit(box, "widthMirror", 4);
  widthMirror_->setReadOnly(true);
  widthMirror_->setFocusPolicy(Qt::NoFocus);
  widthMirror_->setToolTip(QStringLiteral("上のグラフと同じ幅"));
  grid->addWidget(widthMirror_, 2, 4);
  grid->addWidget(label(box, "計算結果"), 3, 0);
  grid->addWidget(intEdit(F::ResultTop, "resultTop"), 3, 1);
  grid->addWidget(intEdit(F::ResultLeftUnsteady, "resultLeftUnsteady"), 3, 2);
  grid->addWidget(label(box, "非定常法"), 3, 3, 1, 2);
  grid->addWidget(intEdit(F::ResultLeftSteady, "resultLeftSteady"), 4, 2);
  grid->addWidget(label(box, "定常法"), 4, 3, 1, 2);

  auto* layout = new QHBoxLayout;
  auto* sketch = new QVBoxLayout;
  sketch->addWidget(new SizeDiagram(box));
  sketch->addWidget(noteLabel(box, QStringLiteral("表示位置はマージン\n位置からの距離")));
  sketch->addStretch(1);
  layout->addLayout(sketch);
  layout->addLayout(grid);
  auto* outer = new QVBoxLayout(box);
  outer->addLayout(layout);
  outer->addStretch(1);
  grid->setRowStretch(5, 1);
  return box;
}

QWidget* CStyleDigitsDialog::tableGroup() {
  QGroupBox* box = group(this, "データ表", "tableGroup");
  auto* grid = new QGridLayout(box);
  grid->addWidget(label(box, "水位文字"), 0, 0);
  QComboBox* letter = textCombo(F::LevelLetter, "levelLetter");
  letter->setMinimumContentsLength(4);
  grid->addWidget(letter, 0, 1);
  grid->addWidget(label(box, "管/パイプ"), 1, 0);
  grid->addWidget(optionList(O::PipeWord, "pipeWord"), 1, 1);
  grid->addWidget(label(box, "流量Qの書式"), 2, 0);
  grid->addWidget(optionList(O::TableFlowFormat, "tableFlowFormat"), 2, 1);
  grid->setRowStretch(3, 1);
  return box;
}

void CStyleDigitsDialog::refresh() {
  for (int n = 0; n < kStyleFieldCount; ++n) {
    const auto field = static_cast<F>(n);
    QWidget* widget = fields_[at(field)];
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
      setTextIfChanged(edit, model_.text(field));
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
      setTextIfChanged(combo, model_.text(field));
  }
  for (int n = 0; n < kStyleOptionCount; ++n) {
    const auto option = static_cast<O>(n);
    QWidget* widget = options_[at(option)];
    if (auto* check = qobject_cast<QCheckBox*>(widget))
      check->setChecked(model_.option(option) != 0);
    else if (auto* combo = qobject_cast<QComboBox*>(widget))
      setListIndex(combo, model_.option(option));
  }
  const int mode = model_.option(O::GradientLineMode);
  if (QAbstractButton* radio = gradientLine_->button(mode)) {
    radio->setChecked(true);
  } else {
    // A stored mode without a button: none is shown checked.
    gradientLine_->setExclusive(false);
    for (QAbstractButton* b : gradientLine_->buttons()) b->setChecked(false);
    gradientLine_->setExclusive(true);
  }
  setTextIfChanged(widthMirror_, model_.widthMirror());
  if (const auto focus = model_.takeFocusRequest()) {
    QWidget* widget = fields_[at(*focus)];
    widget->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
    if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->lineEdit()) combo->lineEdit()->selectAll();
  }
}

bool CStyleDigitsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fields_[at(F::GraphWidth)] && event->type() == QEvent::FocusOut) {
    model_.graphWidthLostFocus();
    refresh();
  }
  return QDialog::eventFilter(watched, event);
}

void CStyleDigitsDialog::accept() {
  if (!model_.storeSettings(target_)) {
    refresh();
    return;
  }
  QDialog::accept();
}

bool runStyleDigitsEditor(QWidget* parent, Settings& settings) {
  StyleDigitsModel model;
  model.openSettings(settings.display);
  DisplaySettings stored = settings.display;
  CStyleDigitsDialog dialog(model, stored, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  settings.display = stored;
  saveSettingsReporting(settings);
  return true;
}

} // namespace tov
