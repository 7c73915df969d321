#include "dialogs/qt/CHeadingsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <tuple>

#include "dialogs/qt/CFormulaPicture.h"
#include "dialogs/qt/CancelQuestion.h"
#include "dialogs/qt/DialogWidgets.h"
#include "dialogs/qt/EnterKeyFilter.h"
#include "files/Platform.h"
#include "files/Settings.h"

namespace tov {

namespace {

QString qs(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }
QString u8(const char* text) { return QString::fromUtf8(text); }

// The object name of each item's widget, in the order of HeadingItem.
constexpr const char* kObjectNames[kHeadingItemCount] = {
    "surveyNameLabel", "surveyName", "surveyLocationLabel", "surveyLocation", "testIdNumberLabel", "testIdNumber",
    "testDateYear", "testDateMonth", "testDateDay", "datumKind", "collarElevation",
    "testerName", "weather", "geologyName", "nValue",
    "testMethod", "depthFrom", "depthTo", "sectionLength", "equilibriumLevel", "startHeadDifference", "steadyFlow",
    "pipeTopHeight", "upperSeparation", "lowerSeparation", "boreDiameter", "pipeInnerDiameter",
    "equivalentDiameter", "steadyLevel", "steadyHeadDifference",
    "graphTitle", "tableTitle", "contractorName",
    "flowResult", "levelResult", "headDifferenceResult",
};

// Width of a number field: room for "-1234.567".
constexpr int kNumberChars = 9;

QLabel* caption(const char* text, QWidget* parent) { return new QLabel(u8(text), parent); }

// The dialog holds some thirty fields; rows close together keep it within
// a 768-pixel-high screen at the usual font sizes.
void compact(QGridLayout* grid) {
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setVerticalSpacing(2);
}

// A unit after a field, a little quieter than the captions.
QLabel* unit(const char* text, QWidget* parent) {
  auto* label = new QLabel(u8(text), parent);
  label->setForegroundRole(QPalette::PlaceholderText);
  return label;
}

void setTextIfChanged(QWidget* widget, const std::string& value) {
  const QString wanted = qs(value);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    if (edit->text() != wanted) edit->setText(wanted);
  } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    if (combo->currentText() != wanted) combo->setEditText(wanted);
  }
}

} // namespace

CHeadingsDialog::CHeadingsDialog(HeadingsModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  setObjectName(QStringLiteral("headingsDialog"));
  setWindowTitle(QStringLiteral("見出し"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  setModal(true);

  auto* left = new QVBoxLayout;
  left->setSpacing(6);
  left->addWidget(buildIdentification());
  left->addWidget(buildGeometry());
  left->addWidget(buildTitles());
  left->addStretch(1);

  std::tie(okButton_, cancelButton_) = okCancelButtons(*this);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(okButton_);
  buttons->addWidget(cancelButton_);

  auto* right = new QVBoxLayout;
  right->addLayout(buttons);
  right->addWidget(buildFormulaPanel());
  right->addStretch(1);

  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left, 1);
  layout->addLayout(right, 0);

  setUpTabOrder();
  installEnterKeyFilter(*this);
  installCancelQuestion(*this);
  refresh();
}

QLineEdit* CHeadingsDialog::makeEdit(HeadingItem item, int widthChars) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(u8(kObjectNames[static_cast<int>(item)]));
  if (widthChars > 0) {
    const int width = edit->fontMetrics().horizontalAdvance(QString(widthChars, QLatin1Char('0'))) + 14;
    edit->setMinimumWidth(width);
  }
  connect(edit, &QLineEdit::textEdited, this, [this, item](const QString& value) { model_.setText(item, value.toStdString()); });
  fields_[static_cast<std::size_t>(item)] = edit;
  return edit;
}

QComboBox* CHeadingsDialog::makeCombo(HeadingItem item, const std::vector<std::string>& choices) {
  auto* combo = new QComboBox(this);
  combo->setObjectName(u8(kObjectNames[static_cast<int>(item)]));
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  combo->setMinimumContentsLength(8);
  for (const std::string& choice : choices) combo->addItem(qs(choice));
  connect(combo, &QComboBox::editTextChanged, this, [this, item](const QString& value) { model_.setText(item, value.toStdString()); });
  fields_[static_cast<std::size_t>(item)] = combo;
  return combo;
}

QWidget* CHeadingsDialog::buildIdentification() {
  auto* box = new QGroupBox(this);
  box->setObjectName(QStringLiteral("identificationBox"));
  auto* grid = new QGridLayout(box);
  compact(grid);

  // 調査名, 調査場所, Ｎｏ．: the item name printed on the pages, and the value.
  struct Row { const char* caption; HeadingItem label, value; };
  const Row rows[] = {{"調査名", HeadingItem::SurveyNameLabel, HeadingItem::SurveyName},
                      {"調査場所", HeadingItem::SurveyLocationLabel, HeadingItem::SurveyLocation},
                      {"Ｎｏ．", HeadingItem::TestIdNumberLabel, HeadingItem::TestIdNumber}};
  int r = 0;
  for (const Row& row : rows) {
    grid->addWidget(caption(row.caption, box), r, 0);
    QLineEdit* label = makeEdit(row.label, 8);
    label->setToolTip(QStringLiteral("ページに印刷する項目名"));
    label->setMaximumWidth(label->minimumWidth() + 30);
    grid->addWidget(label, r, 1);
    grid->addWidget(makeEdit(row.value), r, 2, 1, 4);
    ++r;
  }

  // 試験年月日 as three fields.
  auto* date = new QHBoxLayout;
  date->setSpacing(3);
  date->addWidget(makeEdit(HeadingItem::DateYear, 4));
  date->addWidget(unit("年", box));
  date->addWidget(makeEdit(HeadingItem::DateMonth, 2));
  date->addWidget(unit("月", box));
  date->addWidget(makeEdit(HeadingItem::DateDay, 2));
  date->addWidget(unit("日", box));
  date->addStretch(1);
  for (HeadingItem item : {HeadingItem::DateYear, HeadingItem::DateMonth, HeadingItem::DateDay})
    field(item)->setMaximumWidth(field(item)->minimumWidth() + 8);

  grid->addWidget(caption("試験年月日", box), r, 0);
  grid->addLayout(date, r, 1, 1, 2);
  grid->addWidget(caption("AP.TP種別", box), r + 1, 0);
  grid->addWidget(makeEdit(HeadingItem::DatumKind, 8), r + 1, 1);
  grid->addWidget(caption("孔口標高", box), r + 2, 0);
  grid->addWidget(makeEdit(HeadingItem::CollarElevation, 8), r + 2, 1);
  grid->addWidget(unit("m", box), r + 2, 2);

  // The second column: tester, weather, geology and N value.
  auto second = [&](const char* text, int row) {
    QLabel* label = caption(text, box);
    label->setContentsMargins(12, 0, 0, 0);
    grid->addWidget(label, row, 3);
  };
  second("試験者", r);
  grid->addWidget(makeCombo(HeadingItem::TesterName, model_.testerNames()), r, 4, 1, 2);
  second("天候", r + 1);
  grid->addWidget(makeCombo(HeadingItem::Weather, HeadingsModel::weatherChoices()), r + 1, 4, 1, 2);
  second("地質名", r + 2);
  grid->addWidget(makeEdit(HeadingItem::GeologyName), r + 2, 4);
  showGeology_ = new QCheckBox(QStringLiteral("表示"), box);
  showGeology_->setObjectName(QStringLiteral("showGeology"));
  grid->addWidget(showGeology_, r + 2, 5);
  second("Ｎ値", r + 3);
  grid->addWidget(makeEdit(HeadingItem::NValue), r + 3, 4);
  showNValue_ = new QCheckBox(QStringLiteral("表示"), box);
  showNValue_->setObjectName(QStringLiteral("showNValue"));
  grid->addWidget(showNValue_, r + 3, 5);
  connect(showGeology_, &QCheckBox::toggled, this, [this](bool on) { model_.setShowGeology(on); });
  connect(showNValue_, &QCheckBox::toggled, this, [this](bool on) { model_.setShowNValue(on); });

  grid->setColumnStretch(2, 1);
  grid->setColumnStretch(4, 1);
  return box;
}

QWidget* CHeadingsDialog::resultRow(HeadingItem result, QPushButton*& up, const char* upName) {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(3);
  QLineEdit* edit = makeEdit(result, kNumberChars);
  edit->setReadOnly(true);
  edit->setFocusPolicy(Qt::ClickFocus);
  edit->setBackgroundRole(QPalette::Window);
  up = new QPushButton(QStringLiteral("↑"), row);
  up->setObjectName(u8(upName));
  up->setToolTip(QStringLiteral("解析結果を上の欄へ写す"));
  up->setFixedWidth(up->fontMetrics().horizontalAdvance(QStringLiteral("↑")) + 24);
  layout->addWidget(edit, 1);
  layout->addWidget(up);
  return row;
}

QWidget* CHeadingsDialog::buildGeometry() {
  auto* box = new QGroupBox(this);
  box->setObjectName(QStringLiteral("geometryBox"));
  auto* grid = new QGridLayout(box);
  compact(grid);

  // Left: caption, field, unit in columns 0..2; right: the same in 4..6.
  auto put = [&](int row, int column, const char* text, QWidget* widget, const char* unitText) {
    if (text) grid->addWidget(caption(text, box), row, column);
    grid->addWidget(widget, row, column + 1);
    if (unitText) grid->addWidget(unit(unitText, box), row, column + 2);
  };
  put(0, 0, "試験方法", makeCombo(HeadingItem::TestMethod, HeadingsModel::testMethodChoices()), nullptr);
  put(1, 0, "試験深度　から", makeEdit(HeadingItem::DepthFrom, kNumberChars), "GL.m");
  put(2, 0, "まで", makeEdit(HeadingItem::DepthTo, kNumberChars), "GL.m");
  grid->itemAtPosition(2, 0)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  put(3, 0, "試験区間長さ Ｌ", makeEdit(HeadingItem::SectionLength, kNumberChars), "m");
  measured_ = new QComboBox(box);
  measured_->setObjectName(QStringLiteral("equilibriumMeasured"));
  for (const std::string& choice : HeadingsModel::measuredChoices()) measured_->addItem(qs(choice));
  connect(measured_, &QComboBox::activated, this, [this](int index) { model_.setEquilibriumMeasured(index); });
  put(4, 0, "平衡水位測定", measured_, nullptr);
  put(5, 0, "平衡水位 ho", makeEdit(HeadingItem::EquilibriumLevel, kNumberChars), "GL.m");
  put(6, 0, "試験開始水位差 Sp", makeEdit(HeadingItem::StartHeadDifference, kNumberChars), "m");

  // Qo as a mantissa and the exponent picker.
  auto* flow = new QWidget(box);
  auto* flowLayout = new QHBoxLayout(flow);
  flowLayout->setContentsMargins(0, 0, 0, 0);
  flowLayout->setSpacing(3);
  flowLayout->addWidget(makeEdit(HeadingItem::SteadyFlow, 5), 1);
  exponentPicker_ = new QComboBox(flow);
  exponentPicker_->setObjectName(QStringLiteral("steadyFlowExponent"));
  for (const std::string& choice : HeadingsModel::exponentChoices()) exponentPicker_->addItem(qs(choice));
  connect(exponentPicker_, &QComboBox::activated, this,
          [this] { model_.setExponent(exponentPicker_->currentText().toStdString()); });
  flowLayout->addWidget(exponentPicker_);
  put(7, 0, "定常時の流量Qo", flow, "m3/s");
  put(8, 0, "解析結果", resultRow(HeadingItem::FlowResult, flowUp_, "flowResultUp"), nullptr);

  put(0, 4, "管口の高さ", makeEdit(HeadingItem::PipeTopHeight, kNumberChars), "GL.m");
  put(1, 4, "上部離隔長 L1'", makeEdit(HeadingItem::UpperSeparation, kNumberChars), "m");
  put(2, 4, "下部離隔長 L2'", makeEdit(HeadingItem::LowerSeparation, kNumberChars), "m");
  put(3, 4, "試験区間孔径 D", makeEdit(HeadingItem::BoreDiameter, kNumberChars), "m");
  put(4, 4, "測定パイプ内径 d", makeEdit(HeadingItem::PipeInnerDiameter, kNumberChars), "m");
  put(5, 4, "等価内径 de", makeEdit(HeadingItem::EquivalentDiameter, kNumberChars), "m");
  put(6, 4, "定常時の水位 hs", makeEdit(HeadingItem::SteadyLevel, kNumberChars), "GL.m");
  put(7, 4, "解析結果", resultRow(HeadingItem::LevelResult, levelUp_, "levelResultUp"), nullptr);
  put(8, 4, "定常時の水位差So", makeEdit(HeadingItem::SteadyHeadDifference, kNumberChars), "m");
  put(9, 4, "解析結果", resultRow(HeadingItem::HeadDifferenceResult, headDifferenceUp_, "headDifferenceResultUp"), nullptr);
  for (int row : {8}) grid->itemAtPosition(row, 0)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  for (int row : {7, 9}) grid->itemAtPosition(row, 4)->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

  connect(flowUp_, &QPushButton::clicked, this, [this] {
    model_.copyFlowResultUp();
    refresh();
  });
  connect(levelUp_, &QPushButton::clicked, this, [this] {
    model_.copyLevelResultUp();
    refresh();
  });
  connect(headDifferenceUp_, &QPushButton::clicked, this, [this] {
    model_.copyHeadDifferenceResultUp();
    refresh();
  });

  for (HeadingItem item : {HeadingItem::DepthTo, HeadingItem::EquilibriumLevel, HeadingItem::SteadyLevel})
    field(item)->installEventFilter(this);

  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(5, 1);
  grid->setColumnMinimumWidth(3, 16);
  return box;
}

QWidget* CHeadingsDialog::buildTitles() {
  auto* box = new QGroupBox(this);
  box->setObjectName(QStringLiteral("titlesBox"));
  auto* grid = new QGridLayout(box);
  compact(grid);
  grid->addWidget(caption("グラフタイトル", box), 0, 0);
  grid->addWidget(makeEdit(HeadingItem::GraphTitle), 0, 1);
  grid->addWidget(caption("デ-タ表タイトル", box), 1, 0);
  grid->addWidget(makeEdit(HeadingItem::TableTitle), 1, 1);
  grid->addWidget(caption("調査業者名", box), 2, 0);
  grid->addWidget(makeEdit(HeadingItem::ContractorName), 2, 1);
  grid->setColumnStretch(1, 1);
  return box;
}

QWidget* CHeadingsDialog::buildFormulaPanel() {
  auto* box = new QGroupBox(QStringLiteral("計算式"), this);
  box->setObjectName(QStringLiteral("formulaBox"));
  auto* grid = new QGridLayout(box);
  grid->setVerticalSpacing(2);
  grid->setHorizontalSpacing(10);
  formulas_ = new QButtonGroup(this);

  int row = 0;
  auto heading = [&](const char* text, int indent) {
    auto* label = caption(text, box);
    if (indent == 0) {
      QFont bold = label->font();
      bold.setBold(true);
      label->setFont(bold);
    }
    label->setContentsMargins(indent, row == 0 ? 0 : 6, 0, 0);
    grid->addWidget(label, row++, 0, 1, 2);
  };
  auto formula = [&](int kind, const char* text) {
    auto* radio = new QRadioButton(u8(text), box);
    radio->setObjectName(QStringLiteral("formula%1").arg(kind));
    radio->setContentsMargins(0, 0, 0, 0);
    formulas_->addButton(radio, kind);
    auto* picture = new CFormulaPicture(static_cast<FormulaPicture>(kind), box);
    picture->setObjectName(QStringLiteral("formulaPicture%1").arg(kind));
    auto* cell = new QHBoxLayout;
    cell->setContentsMargins(14, 0, 0, 0);
    cell->addWidget(radio);
    grid->addLayout(cell, row, 0);
    grid->addWidget(picture, row++, 1, Qt::AlignLeft | Qt::AlignVCenter);
  };

  heading("非定常法：直線勾配法", 0);
  heading("近傍に難透水層がない", 8);
  formula(0, "近似式 (L/D>=4)");
  formula(1, "基本式");
  heading("近傍に難透水層がある", 8);
  formula(2, "近似式 (L/D>=４)");
  formula(3, "基本式");
  // The gradient the unsteady formulas use.
  auto* note = new QHBoxLayout;
  note->setContentsMargins(22, 2, 0, 0);
  note->addWidget(caption("ただし", box), 0, Qt::AlignVCenter);
  auto* gradient = new CFormulaPicture(FormulaPicture::Gradient, box);
  gradient->setObjectName(QStringLiteral("gradientPicture"));
  note->addWidget(gradient, 0, Qt::AlignVCenter);
  note->addStretch(1);
  grid->addLayout(note, row++, 0, 1, 2);
  heading("定常法", 0);
  formula(4, "定常法");

  relevantOnly_ = new QCheckBox(QStringLiteral("選択した計算式に関連する\n項目のみ有効にする"), box);
  relevantOnly_->setObjectName(QStringLiteral("relevantOnly"));
  grid->addWidget(relevantOnly_, row++, 0, 1, 2);
  grid->setRowMinimumHeight(row - 1, relevantOnly_->sizeHint().height() + 10);
  grid->setColumnStretch(1, 1);

  connect(formulas_, &QButtonGroup::idClicked, this, [this](int kind) {
    model_.setFormula(kind);
    refresh();
  });
  connect(relevantOnly_, &QCheckBox::clicked, this, [this](bool on) {
    model_.setRelevantOnly(on);
    refresh();
  });
  return box;
}

void CHeadingsDialog::setUpTabOrder() {
  using H = HeadingItem;
  QList<QWidget*> order;
  for (H item : {H::SurveyNameLabel, H::SurveyName, H::SurveyLocationLabel, H::SurveyLocation, H::TestIdNumberLabel,
                 H::TestIdNumber, H::DateYear, H::DateMonth, H::DateDay, H::DatumKind, H::CollarElevation,
                 H::TesterName, H::Weather, H::GeologyName})
    order << field(item);
  order << showGeology_ << field(H::NValue) << showNValue_;
  for (H item : {H::TestMethod, H::DepthFrom, H::DepthTo, H::SectionLength}) order << field(item);
  order << measured_;
  for (H item : {H::EquilibriumLevel, H::StartHeadDifference, H::SteadyFlow}) order << field(item);
  order << exponentPicker_;
  for (H item : {H::PipeTopHeight, H::UpperSeparation, H::LowerSeparation, H::BoreDiameter, H::PipeInnerDiameter,
                 H::EquivalentDiameter, H::SteadyLevel, H::SteadyHeadDifference, H::GraphTitle, H::TableTitle,
                 H::ContractorName})
    order << field(item);
  for (QAbstractButton* button : formulas_->buttons()) order << button;
  order << relevantOnly_ << flowUp_ << levelUp_ << headDifferenceUp_ << okButton_ << cancelButton_;
  for (int i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void CHeadingsDialog::refresh() {
  for (int i = 0; i < kHeadingItemCount; ++i) {
    const auto item = static_cast<HeadingItem>(i);
    setTextIfChanged(field(item), model_.text(item));
    field(item)->setEnabled(model_.isEnabled(item));
  }
  exponentPicker_->setCurrentIndex(std::max(0, exponentPicker_->findText(qs(model_.exponent()))));
  measured_->setCurrentIndex(model_.equilibriumMeasured());
  showGeology_->setChecked(model_.showGeology());
  showNValue_->setChecked(model_.showNValue());
  relevantOnly_->setChecked(model_.relevantOnly());
  if (QAbstractButton* button = formulas_->button(model_.formula())) button->setChecked(true);
}

void CHeadingsDialog::fieldLeft(QObject* left) {
  if (left == field(HeadingItem::DepthTo))
    model_.depthToLeft();
  else if (left == field(HeadingItem::EquilibriumLevel))
    model_.equilibriumLevelLeft();
  else if (left == field(HeadingItem::SteadyLevel))
    model_.steadyLevelLeft();
  else
    return;
  refresh();
}

bool CHeadingsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut) {
    // Leaving the field for another control of the dialog; not a list
    // that opens, nor another window that comes to the front.
    const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
    if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) fieldLeft(watched);
  }
  return QDialog::eventFilter(watched, event);
}

void CHeadingsDialog::accept() {
  // OK by the Enter key leaves the field it was pressed in, as a click on
  // OK does.
  fieldLeft(focusWidget());
  model_.acceptHeadings();
  refresh();
  QDialog::accept();
}

bool runHeadingsEditor(QWidget* parent, TestRecord& record) {
  Settings& settings = theSettings();
  HeadingsModel model;
  model.openHeadings(record, settings.display.headingDefaults(),
                     HeadingsModel::readTesterNames(hostPath(settings.location.testerRegisterFile())));
  CHeadingsDialog dialog(model, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  model.storeHeadings(record);
  return true;
}

} // namespace tov
