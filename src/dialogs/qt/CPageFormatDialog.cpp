#include "dialogs/qt/CPageFormatDialog.h"

#include <QCheckBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialogs/qt/CancelQuestion.h"
#include "dialogs/qt/DialogWidgets.h"
#include "files/Settings.h"

namespace tov {

namespace {

using F = PageField;

std::size_t at(F field) { return static_cast<std::size_t>(field); }

QLabel* label(QWidget* parent, const char* text) { return new QLabel(QString::fromUtf8(text), parent); }

} // namespace

CPageFormatDialog::CPageFormatDialog(PageFormatModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  auto* numbering = new QGridLayout;
  int column = 1;
  for (const char* heading : {"前文字", "頁(開始頁)", "後文字", "サンプル"})
    numbering->addWidget(label(this, heading), 0, column++);
  const struct {
    PageRow row;
    const char* title;
    F prefix, number, suffix;
    const char *prefixName, *numberName, *suffixName, *sampleName;
  } rows[] = {
      {PageRow::Graph, "グラフ", F::GraphPrefix, F::GraphNumber, F::GraphSuffix, "graphPrefix", "graphNumber",
       "graphSuffix", "graphSample"},
      {PageRow::Table, "データ表", F::TablePrefix, F::TableNumber, F::TableSuffix, "tablePrefix", "tableNumber",
       "tableSuffix", "tableSample"},
  };
  int line = 1;
  for (const auto& r : rows) {
    numbering->addWidget(label(this, r.title), line, 0);
    numbering->addWidget(field(r.prefix, r.prefixName), line, 1);
    numbering->addWidget(field(r.number, r.numberName), line, 2);
    numbering->addWidget(field(r.suffix, r.suffixName), line, 3);
    auto* sample = new QLineEdit(this);
    sample->setObjectName(QString::fromUtf8(r.sampleName));
    sample->setReadOnly(true);
    sample->setMinimumWidth(sample->fontMetrics().horizontalAdvance(QStringLiteral("(付表-000)")) + 24);
    sample->installEventFilter(this);
    samples_[r.row == PageRow::Graph ? 0 : 1] = sample;
    numbering->addWidget(sample, line, 4);
    ++line;
  }
  numbering->addWidget(label(this, "(付表-2) の様な表示ができます."), line, 1, 1, 4);
  numbering->setColumnStretch(4, 1);

  auto* position = new QGroupBox(QStringLiteral("表示位置"), this);
  position->setObjectName(QStringLiteral("positionGroup"));
  auto* grid = new QGridLayout(position);
  grid->addWidget(label(position, "上端から"), 0, 0);
  grid->addWidget(field(F::FooterTop, "footerTop"), 0, 1);
  grid->addWidget(label(position, "mm"), 0, 2);
  grid->addWidget(label(position, "用紙左端から"), 1, 0);
  grid->addWidget(field(F::FooterLeft, "footerLeft"), 1, 1);
  grid->addWidget(label(position, "mm"), 1, 2);
  centred_ = new QCheckBox(QStringLiteral("左右中央"), position);
  centred_->setObjectName(QStringLiteral("footerCentred"));
  connect(centred_, &QCheckBox::clicked, this, [this](bool on) {
    model_.setCentred(on);
    refresh();
  });
  grid->addWidget(centred_, 1, 3);
  auto* standard = new QPushButton(QStringLiteral("標準の設定"), position);
  standard->setObjectName(QStringLiteral("standardButton"));
  standard->setAutoDefault(false);
  connect(standard, &QPushButton::clicked, this, [this] {
    model_.restoreStandard();
    refresh();
  });
  grid->addWidget(standard, 0, 4, 2, 1, Qt::AlignRight | Qt::AlignVCenter);
  grid->setColumnStretch(4, 1);
  grid->setColumnMinimumWidth(3, 100);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(numbering);
  layout->addSpacing(6);
  layout->addWidget(position);
  layout->addLayout(dialogButtons(*this, nullptr));
  layout->setSizeConstraint(QLayout::SetFixedSize);

  setUpSettingsDialog(*this, "pageFormatDialog", "ページ書式");
  installCancelQuestion(*this);
  refresh();
}

QWidget* CPageFormatDialog::field(PageField field, const char* name) {
  QWidget* widget = nullptr;
  const auto& entries = PageFormatModel::listEntries(field);
  if (!entries.empty()) {
    QComboBox* box = editableCombo(this, name, entries);
    box->setMinimumContentsLength(7);
    connect(box, &QComboBox::editTextChanged, this, [this, field](const QString& value) { model_.setText(field, utf8(value)); });
    widget = box;
  } else {
    QLineEdit* edit = numberEdit(this, name, 5);
    connect(edit, &QLineEdit::textEdited, this, [this, field](const QString& value) { model_.setText(field, utf8(value)); });
    widget = edit;
  }
  widget->installEventFilter(this);
  fields_[at(field)] = widget;
  return widget;
}

void CPageFormatDialog::refresh() {
  for (int n = 0; n < kPageFieldCount; ++n) {
    const auto f = static_cast<F>(n);
    if (auto* edit = qobject_cast<QLineEdit*>(fields_[at(f)]))
      setTextIfChanged(edit, model_.text(f));
    else if (auto* combo = qobject_cast<QComboBox*>(fields_[at(f)]))
      setTextIfChanged(combo, model_.text(f));
  }
  setTextIfChanged(samples_[0], model_.sample(PageRow::Graph));
  setTextIfChanged(samples_[1], model_.sample(PageRow::Table));
  centred_->setChecked(model_.centred());
  fields_[at(F::FooterLeft)]->setEnabled(model_.footerLeftEnabled());
}

bool CPageFormatDialog::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusOut && static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason) {
    for (int n = 0; n < kPageFieldCount; ++n)
      if (watched == fields_[static_cast<std::size_t>(n)]) {
        model_.fieldLostFocus(static_cast<F>(n));
        refresh();
      }
  } else if (event->type() == QEvent::FocusIn) {
    if (watched == samples_[0] || watched == samples_[1]) {
      model_.sampleFocused(watched == samples_[0] ? PageRow::Graph : PageRow::Table);
      refresh();
    }
  }
  return QDialog::eventFilter(watched, event);
}

bool runPageFormatEditor(QWidget* parent, TestRecord& record, int paperHeightMm, double footerFontPoints) {
  PageFormatModel model;
  model.openPageFormat(record, paperHeightMm);
  CPageFormatDialog dialog(model, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  model.storePageFormat(record, footerFontPoints);
  return true;
}

} // namespace tov
