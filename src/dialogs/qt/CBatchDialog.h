#pragma once
// ファイル → 一括処理...: many tests at once. Files or a folder are chosen,
// the tests are listed as they are read (name, No., method, k, warnings)
// with a progress bar and a cancel button, and then written to PDF (one per
// test, or one for all with a bookmark per test) or to the summary table.
// A double click on a test opens it in the window; the list stays open.
#include <QDialog>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <vector>

#include "cli/BatchJob.h"
#include "dialogs/BatchModel.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;

namespace tov {

class CBatchDialog : public QDialog {
  Q_OBJECT
public:
  // openTest opens a test in the window (true when it was opened).
  CBatchDialog(QWidget* parent, const Settings& settings,
               std::function<bool(const std::filesystem::path&)> openTest);
  ~CBatchDialog() override;

  // Reads these tests (files and folders) as 「ファイルを選ぶ」 would.
  void readTests(const std::vector<std::filesystem::path>& inputs);
  // Writes what was read: PDFs (the folder, or the file when combined), or
  // the table. The file choosers of the buttons end here.
  void exportPdf(const std::filesystem::path& output, bool combined);
  void writeTable(const std::filesystem::path& output, CsvEncoding encoding);
  // True while tests are read or written.
  bool busy() const { return worker_.joinable(); }
  // Waits until the work under way is done (tests).
  void waitUntilDone();
  const std::vector<BatchTestResult>& results() const { return model_.results(); }

protected:
  void reject() override;

private:
  void chooseFiles();
  void chooseFolder();
  void choosePdf();
  void chooseTable();
  void openRow(int row);
  void start(BatchOptions options, bool listing);
  void testDone(const BatchTestResult& result, bool listing);
  void finished(const BatchResult& result, bool listing);
  void updateButtons();

  const Settings& settings_;
  std::function<bool(const std::filesystem::path&)> openTest_;
  BatchModel model_;
  std::thread worker_;
  std::atomic<bool> cancel_{false};
  int done_ = 0;

  QCheckBox* recursive_ = nullptr;
  QTableWidget* list_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QRadioButton* separate_ = nullptr;
  QRadioButton* combined_ = nullptr;
  QPushButton* pdfButton_ = nullptr;
  QPushButton* tableButton_ = nullptr;
  QPushButton* filesButton_ = nullptr;
  QPushButton* folderButton_ = nullptr;
};

} // namespace tov
