#pragma once
// Many tests in one run: each test read, its pages written to a PDF of its
// own, to one PDF of all tests with a bookmark per test, or to PNG pages,
// and a row of the summary table made; the tests are spread over the cores
// (one test per task), but for the combined PDF, which one writer draws test
// after test so that each font is embedded once. The outputs are the same
// bytes whatever the number of threads: per-test files do not depend on each
// other, and the combined PDF and the table are put together in the order of
// the tests.
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cli/ExportJob.h"
#include "batch/BatchTypes.h"
#include "batch/SummaryTable.h"
#include "files/Settings.h"

namespace tov {

// PdfFile: the one test's PDF is the output itself (a file named .pdf).
enum class BatchOutput { None, PdfEach, PdfCombined, PdfFile, Png };

struct BatchOptions {
  std::vector<std::filesystem::path> tests;
  BatchOutput output = BatchOutput::None;
  // The folder of per-test PDFs or PNG pages (made when missing), or the
  // combined PDF, or the one test's PDF.
  std::filesystem::path outputPath;
  std::filesystem::path table;  // .csv or .xlsx; empty for none
  CsvEncoding csvEncoding = CsvEncoding::Utf8WithBom;
  PaperSize paper = a4Paper();
  int dpi = 150;     // PNG only
  int threads = 0;   // 0: one per core
};

// The threads a batch uses: the number asked for (at least 1), else one per
// core, never more than the tests.
int batchThreadCount(int asked, std::size_t tests);

// The files a command reads beside its tests: the settings file, the font
// files and the analysis settings of the install folder. No output may be
// one of them.
std::vector<std::filesystem::path> settingsFilesRead(const Settings& settings);

// Runs the batch with the settings (read once by the caller). Before
// anything is written, every output is checked against every file the
// batch reads and against the other outputs (findOutputClash): a clash
// refuses the whole batch. onTestDone is
// called once per test as it finishes, from the worker threads but never
// two at a time. A set cancel flag stops the batch after the tests under
// way; then neither the combined PDF nor the table is written.
BatchResult runBatch(const BatchOptions& options, const Settings& settings,
                     const std::function<void(const BatchTestResult&)>& onTestDone = {},
                     const std::atomic<bool>* cancel = nullptr);

// The PDF file `pdf` (a PdfBook's) written to `output` with a bookmark per
// test opening its first page (0-based), and the title and creator as given;
// written under a temporary name and renamed. "" on success, else the reason.
struct PdfBookmark {
  std::string title;
  int page = 0;
};
std::string writeBookmarkedPdf(const std::filesystem::path& output, const std::filesystem::path& pdf,
                               const std::vector<PdfBookmark>& marks, const std::string& title,
                               const std::string& creator);

} // namespace tov
