#include "dialogs/qt/CFontsDialog.h"

#include <QFontDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/qt/DialogWidgets.h"

namespace tov {

namespace {

QColor toQColor(long colour) {
  const auto c = static_cast<unsigned long>(colour);
  return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

ChosenFont fromQFont(const QFont& font) { return {utf8(font.family()), font.pointSizeF(), font.underline()}; }

} // namespace

std::optional<FontChoice> chooseFontWithDialog(QWidget* parent, const FontSetting& font) {
  QFont initial(qtext(font.faceName));
  initial.setPointSizeF(font.pointSize);
  initial.setUnderline(font.underline != 0);
  QFontDialog dialog(initial, parent);
  dialog.setObjectName(QStringLiteral("fontChooser"));
  dialog.setOption(QFontDialog::DontUseNativeDialog);
  const ChosenFont shown = fromQFont(dialog.currentFont());
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return FontChoice{shown, fromQFont(dialog.selectedFont())};
}

CFontsDialog::CFontsDialog(FontsModel& model, Settings& settings, QWidget* parent, FontChooser fontChooser,
                           ColourChooser colourChooser)
    : QDialog(parent), model_(model), settings_(settings), fontChooser_(std::move(fontChooser)),
      colourChooser_(std::move(colourChooser)) {
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(8);
  int column = 1;
  for (const char* heading : {"書体", "サイズ", "色"})
    grid->addWidget(new QLabel(QString::fromUtf8(heading), this), 0, column++);
  int line = 1;
  for (int slot : FontsModel::rowSlots()) {
    Row& row = rows_.at(static_cast<std::size_t>(slot - 1));
    row.button = new QPushButton(QString::fromUtf8(FontsModel::slotName(slot)), this);
    row.button->setObjectName(QStringLiteral("fontButton%1").arg(slot));
    row.button->setAutoDefault(false);
    connect(row.button, &QPushButton::clicked, this, [this, slot] { onChooseFont(slot); });
    row.face = new QLineEdit(this);
    row.face->setObjectName(QStringLiteral("face%1").arg(slot));
    row.face->setReadOnly(true);
    row.face->setFocusPolicy(Qt::NoFocus);
    row.face->setMinimumWidth(row.face->fontMetrics().horizontalAdvance(QStringLiteral("ＭＳ Ｐゴシック ＭＳ")));
    row.size = new QLineEdit(this);
    row.size->setObjectName(QStringLiteral("size%1").arg(slot));
    row.size->setReadOnly(true);
    row.size->setFocusPolicy(Qt::NoFocus);
    row.size->setFixedWidth(row.size->fontMetrics().horizontalAdvance(QStringLiteral(" 000     (000.0)")) + 16);
    row.colour = new QPushButton(QStringLiteral("■"), this);
    row.colour->setObjectName(QStringLiteral("colour%1").arg(slot));
    row.colour->setToolTip(QStringLiteral("色"));
    row.colour->setAutoDefault(false);
    row.colour->setFixedWidth(row.colour->fontMetrics().horizontalAdvance(QStringLiteral("■")) + 24);
    connect(row.colour, &QPushButton::clicked, this, [this, slot] { onChooseColour(slot); });
    grid->addWidget(row.button, line, 0);
    grid->addWidget(row.face, line, 1);
    grid->addWidget(row.size, line, 2);
    grid->addWidget(row.colour, line, 3);
    grid->addWidget(noteLabel(this, QString::fromUtf8(FontsModel::slotNote(slot))), line, 4);
    ++line;
  }
  grid->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(dialogButtons(*this, nullptr));
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setUpSettingsDialog(*this, "fontsDialog", "フォント");
  refresh();
}

void CFontsDialog::onChooseFont(int slot) {
  if (const auto choice = fontChooser_(this, model_.font(slot))) {
    model_.chooseFont(slot, choice->chosen, choice->shown);
    refresh();
  }
}

void CFontsDialog::onChooseColour(int slot) {
  if (const auto chosen = colourChooser_(this, static_cast<Colour>(model_.font(slot).colour))) {
    model_.chooseColour(slot, *chosen);
    refresh();
  }
}

void CFontsDialog::refresh() {
  for (int slot = 1; slot <= kFontSlotCount; ++slot) {
    const Row& row = rows_.at(static_cast<std::size_t>(slot - 1));
    const FontSetting& font = model_.font(slot);
    setTextIfChanged(row.face, font.faceName);
    setTextIfChanged(row.size, FontsModel::sizeText(font.pointSize));
    QPalette palette = row.colour->palette();
    palette.setColor(QPalette::ButtonText, toQColor(font.colour));
    row.colour->setPalette(palette);
  }
}

void CFontsDialog::accept() {
  model_.storeFonts(settings_);
  QDialog::accept();
}

void CFontsDialog::reject() {
  if (model_.confirmCancel()) QDialog::reject();
}

bool runFontsEditor(QWidget* parent, Settings& settings) {
  FontsModel model;
  model.openFonts(settings);
  CFontsDialog dialog(model, settings, parent);
  return dialog.exec() == QDialog::Accepted;
}

} // namespace tov
