#include "dialogs/qt/DialogWidgets.h"

#include <algorithm>

#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include "dialogs/qt/CancelQuestion.h"
#include "dialogs/qt/EnterKeyFilter.h"

namespace tov {

QLineEdit* numberEdit(QWidget* parent, const char* objectName, int digits) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromUtf8(objectName));
  const int width = edit->fontMetrics().horizontalAdvance(QString(digits, QLatin1Char('0'))) + 16;
  edit->setFixedWidth(width);
  return edit;
}

static QComboBox* combo(QWidget* parent, const char* objectName, const std::vector<std::string>& entries,
                        bool editable) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QString::fromUtf8(objectName));
  box->setEditable(editable);
  if (editable) box->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& entry : entries) box->addItem(qtext(entry));
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  return box;
}

QComboBox* editableCombo(QWidget* parent, const char* objectName, const std::vector<std::string>& entries) {
  return combo(parent, objectName, entries, true);
}

QComboBox* listCombo(QWidget* parent, const char* objectName, const std::vector<std::string>& entries) {
  return combo(parent, objectName, entries, false);
}

QLabel* noteLabel(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  // Between the text and the background: quieter than a label, still easy
  // to read.
  QPalette palette = label->palette();
  const QColor ink = palette.color(QPalette::WindowText);
  const QColor paper = palette.color(QPalette::Window);
  palette.setColor(QPalette::WindowText, QColor((ink.red() * 2 + paper.red()) / 3, (ink.green() * 2 + paper.green()) / 3,
                                                (ink.blue() * 2 + paper.blue()) / 3));
  label->setPalette(palette);
  return label;
}

QString unbrokenParentheses(const QString& text) {
  QString out;
  out.reserve(text.size() * 2);
  int depth = 0;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c == u'(' || c == u'\uFF08') ++depth;
    if (c == u')' || c == u'\uFF09') depth = std::max(0, depth - 1);
    out += depth > 0 && c == u' ' ? QChar(0x00A0) : c;
    // Japanese text breaks between any two of its characters (and after
    // "〜"): inside, a word joiner stands beside each of them. Numbers stay
    // as they are, to be copied.
    auto wide = [](QChar x) { return x.unicode() >= 0x2E80; };
    if (depth > 0 && i + 1 < text.size() && !c.isHighSurrogate() && (wide(c) || wide(text[i + 1])))
      out += QChar(0x2060);
  }
  return out;
}

void setTextIfChanged(QLineEdit* edit, const std::string& value) {
  const QString wanted = qtext(value);
  if (edit->text() != wanted) edit->setText(wanted);
}

void setTextIfChanged(QComboBox* combo, const std::string& value) {
  const QString wanted = qtext(value);
  if (combo->currentText() != wanted) combo->setEditText(wanted);
}

void setListIndex(QComboBox* combo, int index) { combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1); }

std::pair<QPushButton*, QPushButton*> okCancelButtons(QDialog& dialog) {
  auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), &dialog);
  cancel->setObjectName(QStringLiteral("cancelButton"));
  // accept and reject are virtual: a dialog's own checks run.
  QObject::connect(ok, &QPushButton::clicked, &dialog, &QDialog::accept);
  // ｷｬﾝｾﾙ asks first where the dialog has the question installed.
  QObject::connect(cancel, &QPushButton::clicked, &dialog, [&dialog] {
    if (mayCancel(dialog)) dialog.reject();
  });
  return {ok, cancel};
}

void setUpGrid(QTableView& grid) {
  grid.setSelectionBehavior(QAbstractItemView::SelectRows);
  grid.setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid.setShowGrid(true);
  grid.setWordWrap(false);
  grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  grid.verticalHeader()->setDefaultAlignment(Qt::AlignRight | Qt::AlignVCenter);
  grid.verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  grid.verticalHeader()->setDefaultSectionSize(grid.fontMetrics().height() + 6);
  grid.horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QHBoxLayout* dialogButtons(QDialog& dialog, QPushButton* standardButton) {
  const auto [ok, cancel] = okCancelButtons(dialog);
  auto* row = new QHBoxLayout;
  if (standardButton) row->addWidget(standardButton);
  row->addStretch(1);
  row->addWidget(ok);
  row->addWidget(cancel);
  return row;
}

void setUpSettingsDialog(QDialog& dialog, const char* objectName, const char* title) {
  dialog.setObjectName(QString::fromUtf8(objectName));
  dialog.setWindowTitle(QString::fromUtf8(title));
  dialog.setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  dialog.setModal(true);
  installEnterKeyFilter(dialog);
}

} // namespace tov
