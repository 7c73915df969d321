#include "dialogs/qt/CLinesMarginsDialog.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "dialogs/SettingsSave.h"
#include "dialogs/qt/CancelQuestion.h"
#include "dialogs/qt/DialogWidgets.h"

namespace tov {

namespace {

using F = LinesField;

std::size_t at(F field) { return static_cast<std::size_t>(field); }

QColor toQColor(Colour c) { return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF)); }
Colour fromQColor(const QColor& c) {
  return static_cast<Colour>(c.red()) | (static_cast<Colour>(c.green()) << 8) | (static_cast<Colour>(c.blue()) << 16);
}

QGroupBox* group(QWidget* parent, const char* title, const char* name) {
  auto* box = new QGroupBox(QString::fromUtf8(title), parent);
  box->setObjectName(QString::fromUtf8(name));
  return box;
}

QLabel* label(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

} // namespace

std::optional<Colour> chooseColourWithDialog(QWidget* parent, Colour initial) {
  QColorDialog dialog(toQColor(initial), parent);
  dialog.setObjectName(QStringLiteral("colourChooser"));
  dialog.setOption(QColorDialog::DontUseNativeDialog);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return fromQColor(dialog.selectedColor());
}

CLinesMarginsDialog::CLinesMarginsDialog(LinesMarginsModel& model, DisplaySettings& target, QWidget* parent,
                                         ColourChooser chooser)
    : QDialog(parent), model_(model), target_(target), chooser_(std::move(chooser)) {
  auto* left = new QVBoxLayout;
  left->addWidget(widthsGroup());
  left->addWidget(gridGroup(1));
  left->addWidget(gridGroup(2));
  left->addStretch(1);
  auto* right = new QVBoxLayout;
  right->addWidget(plotGroup());
  right->addWidget(marginsGroup());
  right->addWidget(contractorGroup());
  right->addStretch(1);
  auto* columns = new QHBoxLayout;
  columns->addLayout(left);
  columns->addLayout(right);
  // Created after the fields, so that the focus starts in the first field
  // and Tab reaches the button after the last one.
  auto* standard = new QPushButton(QStringLiteral("標準の設定"), this);
  standard->setObjectName(QStringLiteral("standardButton"));
  connect(standard, &QPushButton::clicked, this, [this] {
    model_.restoreStandard();
    refresh();
  });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(dialogButtons(*this, standard));
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setUpSettingsDialog(*this, "linesMarginsDialog", "線種/マージン/社名");
  installCancelQuestion(*this);
  refresh();
}

QLineEdit* CLinesMarginsDialog::edit(LinesField field, const char* name, int digits) {
  QLineEdit* e = numberEdit(this, name, digits);
  fields_[at(field)] = e;
  connect(e, &QLineEdit::textEdited, this, [this, field](const QString& value) {
    model_.setText(field, utf8(value));
    if (field == F::GridColour) showFieldColour();
  });
  return e;
}

QWidget* CLinesMarginsDialog::widthsGroup() {
  QGroupBox* box = group(this, "線の太さ", "widthsGroup");
  auto* grid = new QGridLayout(box);
  grid->addWidget(label(box, "外枠"), 0, 0);
  grid->addWidget(label(box, "太さ"), 0, 1);
  grid->addWidget(edit(F::FrameLineWidth, "frameLineWidth"), 0, 2);
  grid->addWidget(label(box, "罫線"), 1, 0);
  grid->addWidget(label(box, "太さ"), 1, 1);
  grid->addWidget(edit(F::RuleLineWidth, "ruleLineWidth"), 1, 2);
  grid->addWidget(noteLabel(box, QStringLiteral("単位 ピクセル")), 0, 3, 2, 1, Qt::AlignRight | Qt::AlignBottom);
  grid->setColumnStretch(3, 1);
  return box;
}

QWidget* CLinesMarginsDialog::gridGroup(int grid) {
  const bool second = grid == 2;
  QGroupBox* box = group(this, second ? "グラフグリッド２" : "グラフグリッド１", second ? "grid2Group" : "grid1Group");
  auto* layout = new QGridLayout(box);
  layout->addWidget(label(box, "太さ"), 0, 0);
  layout->addWidget(edit(second ? F::Grid2Width : F::Grid1Width, second ? "grid2Width" : "grid1Width"), 0, 1);
  layout->addWidget(label(box, "実線部"), 0, 2);
  layout->addWidget(edit(second ? F::Grid2Solid : F::Grid1Solid, second ? "grid2Solid" : "grid1Solid"), 0, 3);
  layout->addWidget(label(box, "空白部"), 0, 4);
  layout->addWidget(edit(second ? F::Grid2Blank : F::Grid1Blank, second ? "grid2Blank" : "grid1Blank"), 0, 5);
  layout->setColumnStretch(6, 1);
  layout->addWidget(noteLabel(box, QStringLiteral("空白部＝0 で実線")), 1, 2, 1, 5);
  if (!second) return box;

  colourMode_ = new QRadioButton(QStringLiteral("カラー"), box);
  colourMode_->setObjectName(QStringLiteral("colourMode"));
  blackAndWhiteMode_ = new QRadioButton(QStringLiteral("白黒"), box);
  blackAndWhiteMode_->setObjectName(QStringLiteral("blackAndWhiteMode"));
  auto* modes = new QButtonGroup(this);
  modes->addButton(colourMode_, kColourMode);
  modes->addButton(blackAndWhiteMode_, kBlackAndWhiteMode);
  connect(modes, &QButtonGroup::idClicked, this, [this](int mode) {
    model_.setGridColourMode(mode);
    refresh();
  });
  QLineEdit* colour = edit(F::GridColour, "gridColour", 9);
  colour->installEventFilter(this);
  auto* choose = new QPushButton(QStringLiteral("色"), box);
  choose->setObjectName(QStringLiteral("chooseColourButton"));
  choose->setAutoDefault(false);
  choose->setFixedWidth(choose->fontMetrics().horizontalAdvance(QStringLiteral("色")) + 28);
  connect(choose, &QPushButton::clicked, this, &CLinesMarginsDialog::onChooseColour);

  auto* row = new QHBoxLayout;
  row->addWidget(colourMode_);
  row->addWidget(colour);
  row->addWidget(choose);
  row->addSpacing(16);
  row->addWidget(blackAndWhiteMode_);
  row->addStretch(1);
  layout->addLayout(row, 2, 0, 1, 7);
  layout->addWidget(noteLabel(box, QStringLiteral("カラー(灰色)の時は実線")), 3, 0, 1, 7);
  return box;
}

QWidget* CLinesMarginsDialog::plotGroup() {
  QGroupBox* box = group(this, "データプロット", "plotGroup");
  auto* grid = new QGridLayout(box);
  grid->addWidget(label(box, "サイズ"), 0, 0);
  grid->addWidget(edit(F::PlotSize, "plotSize"), 0, 1);
  grid->addWidget(label(box, "mm"), 0, 2);
  grid->addWidget(label(box, "折れ線太さ"), 1, 0);
  grid->addWidget(edit(F::PolylineWidth, "polylineWidth"), 1, 1);
  grid->addWidget(label(box, "傾き線太さ"), 2, 0);
  grid->addWidget(edit(F::SlopeLineWidth, "slopeLineWidth"), 2, 1);
  grid->setColumnStretch(3, 1);
  return box;
}

QWidget* CLinesMarginsDialog::marginsGroup() {
  QGroupBox* box = group(this, "マージン", "marginsGroup");
  auto* grid = new QGridLayout(box);
  grid->addWidget(label(box, "トップ"), 0, 0);
  grid->addWidget(edit(F::TopMargin, "topMargin"), 0, 1);
  grid->addWidget(label(box, "mm"), 0, 2);
  grid->addWidget(label(box, "レフト"), 1, 0);
  grid->addWidget(edit(F::LeftMargin, "leftMargin"), 1, 1);
  grid->addWidget(label(box, "mm"), 1, 2);
  grid->setColumnStretch(3, 1);
  return box;
}

QWidget* CLinesMarginsDialog::contractorGroup() {
  QGroupBox* box = group(this, "名称", "contractorGroup");
  auto* layout = new QVBoxLayout(box);
  layout->addWidget(label(box, "調査業者名"));
  auto* name = new QLineEdit(box);
  name->setObjectName(QStringLiteral("contractorName"));
  name->setMinimumWidth(name->fontMetrics().horizontalAdvance(QStringLiteral("株式会社株式会社株式会社")));
  fields_[at(F::ContractorName)] = name;
  connect(name, &QLineEdit::textEdited, this,
          [this](const QString& value) { model_.setText(F::ContractorName, utf8(value)); });
  layout->addWidget(name);
  return box;
}

void CLinesMarginsDialog::showFieldColour() {
  QLineEdit* colour = fields_[at(F::GridColour)];
  QPalette palette = colour->palette();
  palette.setColor(QPalette::Active, QPalette::Text, toQColor(model_.fieldColour()));
  palette.setColor(QPalette::Inactive, QPalette::Text, toQColor(model_.fieldColour()));
  colour->setPalette(palette);
}

void CLinesMarginsDialog::onChooseColour() {
  if (const auto chosen = chooser_(this, model_.fieldColour())) {
    model_.setChosenColour(*chosen);
    refresh();
  }
}

void CLinesMarginsDialog::refresh() {
  for (int n = 0; n < kLinesFieldCount; ++n) setTextIfChanged(fields_[static_cast<std::size_t>(n)], model_.text(static_cast<F>(n)));
  colourMode_->setChecked(model_.gridColourMode() == kColourMode);
  blackAndWhiteMode_->setChecked(model_.gridColourMode() == kBlackAndWhiteMode);
  fields_[at(F::GridColour)]->setEnabled(model_.colourFieldEnabled());
  fields_[at(F::Grid2Solid)]->setEnabled(model_.grid2DashEnabled());
  fields_[at(F::Grid2Blank)]->setEnabled(model_.grid2DashEnabled());
  showFieldColour();
  if (const auto focus = model_.takeFocusRequest()) {
    QLineEdit* edit = fields_[at(*focus)];
    edit->setFocus(Qt::OtherFocusReason);
    edit->selectAll();
  }
}

bool CLinesMarginsDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == fields_[at(F::GridColour)] && event->type() == QEvent::FocusIn) showFieldColour();
  return QDialog::eventFilter(watched, event);
}

void CLinesMarginsDialog::accept() {
  if (!model_.storeSettings(target_)) {
    refresh();
    return;
  }
  QDialog::accept();
}

bool runLinesMarginsEditor(QWidget* parent, Settings& settings) {
  LinesMarginsModel model;
  model.openSettings(settings.display);
  DisplaySettings stored = settings.display;
  CLinesMarginsDialog dialog(model, stored, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  settings.display = stored;
  saveSettingsReporting(settings);
  return true;
}

} // namespace tov
