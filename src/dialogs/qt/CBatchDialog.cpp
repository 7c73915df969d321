#include "dialogs/qt/CBatchDialog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "qt/FileChooser.h"
#include "batch/BatchInputs.h"
#include "dialogs/qt/DialogWidgets.h"
#include "dialogs/qt/EnterKeyFilter.h"
#include "record/Messages.h"

namespace fs = std::filesystem;

namespace tov {

namespace {

enum ListColumn { LC_name, LC_number, LC_method, LC_k, LC_warnings, LC_count };

QPushButton* button(QWidget* parent, const char* name, const QString& text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

} // namespace

CBatchDialog::CBatchDialog(QWidget* parent, const Settings& settings,
                           std::function<bool(const fs::path&)> openTest)
    : QDialog(parent), settings_(settings), openTest_(std::move(openTest)) {
  setObjectName(QStringLiteral("batchDialog"));
  setWindowTitle(QStringLiteral("一括処理"));
  setWindowFlag(Qt::WindowContextHelpButtonHint, false);
  // Not modal: the window beside it shows the tests opened from the list.
  setModal(false);

  auto* layout = new QVBoxLayout(this);
  auto* choose = new QHBoxLayout;
  filesButton_ = button(this, "chooseFiles", QStringLiteral("ファイルを選ぶ..."));
  folderButton_ = button(this, "chooseFolder", QStringLiteral("フォルダを選ぶ..."));
  recursive_ = new QCheckBox(QStringLiteral("下のフォルダも"), this);
  recursive_->setObjectName(QStringLiteral("recursive"));
  choose->addWidget(filesButton_);
  choose->addWidget(folderButton_);
  choose->addWidget(recursive_);
  choose->addStretch();
  layout->addLayout(choose);

  list_ = new QTableWidget(0, LC_count, this);
  list_->setObjectName(QStringLiteral("testList"));
  list_->setHorizontalHeaderLabels({QStringLiteral("ファイル"), QStringLiteral("No."), QStringLiteral("試験方法"),
                                    QStringLiteral("k (m/s)"), QStringLiteral("検討事項")});
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
  list_->horizontalHeader()->setSectionResizeMode(LC_warnings, QHeaderView::Stretch);
  list_->setColumnWidth(LC_name, list_->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 22);
  list_->setToolTip(QStringLiteral("ダブルクリックで試験を開きます"));
  layout->addWidget(list_, 1);
  connect(list_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { openRow(row); });

  auto* progressRow = new QHBoxLayout;
  progress_ = new QProgressBar(this);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setRange(0, 1);
  progress_->setValue(0);
  cancelButton_ = button(this, "cancelWork", QStringLiteral("中止"));
  connect(cancelButton_, &QPushButton::clicked, this, [this] { cancel_ = true; });
  progressRow->addWidget(progress_, 1);
  progressRow->addWidget(cancelButton_);
  layout->addLayout(progressRow);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("status"));
  layout->addWidget(status_);

  auto* outputs = new QGroupBox(QStringLiteral("書き出し"), this);
  auto* outputsLayout = new QHBoxLayout(outputs);
  separate_ = new QRadioButton(QStringLiteral("試験ごとの PDF"), outputs);
  separate_->setObjectName(QStringLiteral("pdfSeparate"));
  combined_ = new QRadioButton(QStringLiteral("一つの PDF (試験ごとにしおり)"), outputs);
  combined_->setObjectName(QStringLiteral("pdfCombined"));
  combined_->setChecked(true);
  pdfButton_ = button(outputs, "exportPdf", QStringLiteral("PDF出力..."));
  tableButton_ = button(outputs, "writeTable", QStringLiteral("一覧表 (CSV/Excel)..."));
  outputsLayout->addWidget(separate_);
  outputsLayout->addWidget(combined_);
  outputsLayout->addWidget(pdfButton_);
  outputsLayout->addStretch();
  outputsLayout->addWidget(tableButton_);
  layout->addWidget(outputs);

  auto* closeRow = new QHBoxLayout;
  auto* close = button(this, "closeDialog", QStringLiteral("閉じる"));
  closeRow->addStretch();
  closeRow->addWidget(close);
  layout->addLayout(closeRow);

  connect(filesButton_, &QPushButton::clicked, this, &CBatchDialog::chooseFiles);
  connect(folderButton_, &QPushButton::clicked, this, &CBatchDialog::chooseFolder);
  connect(pdfButton_, &QPushButton::clicked, this, &CBatchDialog::choosePdf);
  connect(tableButton_, &QPushButton::clicked, this, &CBatchDialog::chooseTable);
  connect(close, &QPushButton::clicked, this, &CBatchDialog::reject);
  installEnterKeyFilter(*this);
  resize(860, 520);
  updateButtons();
}

CBatchDialog::~CBatchDialog() {
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

void CBatchDialog::reject() {
  cancel_ = true;
  waitUntilDone();
  QDialog::reject();
}

void CBatchDialog::waitUntilDone() {
  if (!worker_.joinable()) return;
  worker_.join();
  // What the worker posted before it ended.
  QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void CBatchDialog::updateButtons() {
  const BatchButtons enabled = model_.buttons(busy());
  cancelButton_->setEnabled(enabled.cancel);
  filesButton_->setEnabled(enabled.choose);
  folderButton_->setEnabled(enabled.choose);
  pdfButton_->setEnabled(enabled.outputs);
  tableButton_->setEnabled(enabled.outputs);
}

void CBatchDialog::chooseFiles() {
  const QStringList files = QFileDialog::getOpenFileNames(this, QStringLiteral("試験データを選ぶ"), QString(),
                                                          QStringLiteral("透水試験データ (*.tvd *.TVD)"));
  if (files.isEmpty()) return;
  std::vector<fs::path> inputs;
  for (const QString& file : files) inputs.push_back(toPath(file));
  std::sort(inputs.begin(), inputs.end());
  readTests(inputs);
}

void CBatchDialog::chooseFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("試験データのフォルダを選ぶ"));
  if (!folder.isEmpty()) readTests({toPath(folder)});
}

void CBatchDialog::choosePdf() {
  if (combined_->isChecked()) {
    const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("PDF出力"), QStringLiteral("試験一覧.pdf"),
                                                      QStringLiteral("PDF (*.pdf)"));
    if (!file.isEmpty()) exportPdf(BatchModel::combinedPdfFile(toPath(file)), true);
  } else {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("PDF を書き出すフォルダ"));
    if (!folder.isEmpty()) exportPdf(toPath(folder), false);
  }
}

void CBatchDialog::chooseTable() {
  const QString excel = QStringLiteral("Excel (*.xlsx)");
  const QString utf8 = QStringLiteral("CSV UTF-8 (*.csv)");
  const QString sjis = QStringLiteral("CSV Shift_JIS (*.csv)");
  QString filter = excel;
  const QString file = QFileDialog::getSaveFileName(this, QStringLiteral("一覧表"), QStringLiteral("試験一覧.xlsx"),
                                                    excel + ";;" + utf8 + ";;" + sjis, &filter);
  if (file.isEmpty()) return;
  const BatchTableFilter kind = filter == excel  ? BatchTableFilter::Xlsx
                                : filter == sjis ? BatchTableFilter::CsvShiftJis
                                                 : BatchTableFilter::CsvUtf8;
  const BatchTableTarget target = BatchModel::tableTarget(kind, toPath(file));
  writeTable(target.file, target.encoding);
}

void CBatchDialog::readTests(const std::vector<fs::path>& inputs) {
  if (busy()) return;
  const BatchInputs found = collectTests(inputs, recursive_->isChecked());
  for (const std::string& problem : found.problems) messageSink().report(problem);
  model_.setTests(found.tests);
  const auto& tests = model_.tests();
  list_->setRowCount(static_cast<int>(tests.size()));
  for (std::size_t i = 0; i < tests.size(); ++i) {
    auto* name = new QTableWidgetItem(toQString(tests[i].filename()));
    name->setToolTip(toQString(tests[i]));
    list_->setItem(static_cast<int>(i), LC_name, name);
    for (int c = 1; c < LC_count; ++c) list_->setItem(static_cast<int>(i), c, new QTableWidgetItem);
  }
  if (tests.empty()) {
    updateButtons();
    return;
  }
  BatchOptions options;
  options.tests = tests;
  start(std::move(options), true);
}

void CBatchDialog::exportPdf(const fs::path& output, bool combined) {
  if (busy()) return;
  BatchOptions options;
  options.tests = model_.exportTests();
  if (options.tests.empty()) return;
  options.output = combined ? BatchOutput::PdfCombined : BatchOutput::PdfEach;
  options.outputPath = output;
  start(std::move(options), false);
}

void CBatchDialog::writeTable(const fs::path& output, CsvEncoding encoding) {
  if (busy()) return;
  std::string status;
  const std::string error = model_.writeTable(output, encoding, status);
  if (!error.empty()) {
    messageSink().report(error);
    return;
  }
  status_->setText(qtext(status));
}

void CBatchDialog::start(BatchOptions options, bool listing) {
  cancel_ = false;
  done_ = 0;
  progress_->setRange(0, static_cast<int>(options.tests.size()));
  progress_->setValue(0);
  status_->setText(qtext(BatchModel::workingText(listing)));
  QPointer<CBatchDialog> self(this);
  // The worker reads its own copy: the window beside the list may change
  // the settings meanwhile.
  worker_ = std::thread([this, options = std::move(options), listing, settings = Settings(settings_)] {
    BatchResult result = runBatch(
        options, settings,
        [this, listing](const BatchTestResult& r) {
          QMetaObject::invokeMethod(this, [this, r, listing] { testDone(r, listing); }, Qt::QueuedConnection);
        },
        &cancel_);
    QMetaObject::invokeMethod(this, [this, result = std::move(result), listing] { finished(result, listing); },
                              Qt::QueuedConnection);
  });
  updateButtons();
}

void CBatchDialog::testDone(const BatchTestResult& r, bool listing) {
  progress_->setValue(++done_);
  const int row = r.index;
  if (!listing) {
    const std::string failure = BatchModel::writeFailureText(r);
    if (!failure.empty()) status_->setText(qtext(failure));
    return;
  }
  if (row < 0 || row >= list_->rowCount()) return;
  const BatchRowText text = BatchModel::rowText(r);
  list_->item(row, LC_number)->setText(qtext(text.number));
  list_->item(row, LC_method)->setText(qtext(text.method));
  list_->item(row, LC_k)->setText(qtext(text.k));
  list_->item(row, LC_warnings)->setText(qtext(text.warnings));
  list_->item(row, LC_warnings)->setToolTip(qtext(text.warnings));
  if (text.unreadable)
    for (int c = 0; c < LC_count; ++c) list_->item(row, c)->setForeground(QColor(0xB0, 0x00, 0x00));
}

void CBatchDialog::finished(const BatchResult& result, bool listing) {
  if (worker_.joinable()) worker_.join();
  status_->setText(qtext(model_.finish(result, listing)));
  std::string notes;
  for (const std::string& note : result.notes) notes += (notes.empty() ? "" : "\n") + note;
  if (!notes.empty()) messageSink().report(notes);
  for (const std::string& failure : result.failures) messageSink().report(failure);
  updateButtons();
}

void CBatchDialog::openRow(int row) {
  const auto test = model_.testToOpen(row, busy());
  // The list stays open beside the window that shows the test.
  if (test && openTest_) openTest_(*test);
}

} // namespace tov
