#pragma once
// The exporter's building blocks: the command line, paper sizes, rendering
// pages to images and to one PDF, and the summary of a test. The command-line
// entry (Exporter.h) runs them on the program's record and settings; tests
// and benchmarks call them on records and settings of their own.
#include <QImage>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "files/Settings.h"
#include "record/TestRecord.h"
#include "render/Page.h"

class QIODevice;
class QPageLayout;
class QPagedPaintDevice;

namespace tov {

// The resolution pages are printed and written to PDF at, whichever way
// they go: the print dialog, print preview, "PDF出力..." or --export-pdf.
inline constexpr int kPrintDpi = 600;

// A sheet of paper, portrait, in millimetres.
struct PaperSize {
  std::string name;  // "A4", ..., or "WxH" as given
  double widthMm = 210.0;
  double heightMm = 297.0;
  // The whole millimetres the footer is centred on.
  int wholeWidthMm() const { return static_cast<int>(widthMm); }
  bool operator==(const PaperSize&) const = default;
};

PaperSize a4Paper();
// The paper of a page layout (a printer's, a PDF writer's), portrait, named
// by its page size.
PaperSize paperOf(const QPageLayout& layout);
// "A4", "A3", "B4", "B5" (JIS B series, as used for Japanese reports),
// "Letter" (case-insensitive), or "WxH" in millimetres (each 10 to 2000).
std::optional<PaperSize> paperSizeByName(std::string_view name);

enum class JobKind { ExportPdf, ExportPng, Summary, SummaryTable, Help, Version };

struct CommandLineJob {
  JobKind kind = JobKind::Help;
  std::string output;  // the PDF file, or the prefix of the PNG files
  std::string input;   // the test file (the first of inputs)
  PaperSize paper = a4Paper();
  int dpi = 150;       // PNG only
  // Many tests: files and folders, the table beside or instead of an export.
  std::vector<std::string> inputs;
  std::string table;     // --summary-table OUT.csv|OUT.xlsx
  bool combine = false;  // one PDF of every test
  bool recursive = false;
  bool cp932 = false;    // the CSV in CP932 instead of UTF-8
  int threads = 0;       // 0: one per core
};

// The job the arguments (without the program name) ask for; nothing, with
// *error set, when they are incomplete or hold an unknown option.
std::optional<CommandLineJob> parseCommandLine(const std::vector<std::string>& args, std::string* error);

// The option list printed by --help, and the version line.
const std::string& commandLineHelp();
const std::string& versionText();

// The size of the paper in pixels at the resolution.
QSize paperPixelSize(const PaperSize& paper, int dpi);

// The one page loop of printing and PDF output: pages first..last on the
// device, one per sheet, from the paper's top left corner (the layout
// carries its own margins). beforePage runs before each page is drawn.
// False when the device could not be painted on.
bool paintPageRange(QPagedPaintDevice& device, const PageInputs& inputs, int first, int last,
                    const std::function<void(int page)>& beforePage = {});

// One page on white paper at the resolution (logical dpi set to it).
QImage renderPageImage(const TestRecord& record, const Settings& settings, int page,
                       const PaperSize& paper, int dpi);
// The same into an image that is kept (made anew only when its size changes).
void renderPageInto(QImage& image, const TestRecord& record, const Settings& settings, int page,
                    const PaperSize& paper, int dpi);

// The PDF's title: the graph title as the page draws it, without the
// blanks around it; a blank title (a full-width space, as a heading left
// empty holds) gives the survey name and the test's number instead, and
// without those `fallback` (the file's name).
std::string pdfTitle(const TestRecord& record, const std::string& fallback = {});

// Every page as PDF onto the device (open for writing); `title` as
// pdfTitle's fallback.
bool paintPdf(QIODevice& device, const TestRecord& record, const Settings& settings, const PaperSize& paper,
              int dpi = kPrintDpi, const std::string& title = {});

// The pages of many tests into one PDF document, one test after the other,
// drawn by one writer: each font is embedded once, as one subset for all the
// pages, and memory does not grow with the tests but by their pages' bytes.
// Used from one thread (the one that made it).
class PdfBook {
public:
  PdfBook(QIODevice& device, const PaperSize& paper, int dpi = kPrintDpi);
  ~PdfBook();
  PdfBook(const PdfBook&) = delete;
  PdfBook& operator=(const PdfBook&) = delete;
  // Draws every page of the test after the pages so far; false when the
  // device could not be painted on (the book is then unusable).
  bool add(const TestRecord& record, const Settings& settings);
  // The pages drawn so far: the index of the next test's first page.
  int pageCount() const { return pages_; }
  // Ends the document; false when it could not be completed.
  bool finish();
  // A page could not be added (the device took no more): the book is unusable.
  bool failed() const { return failed_; }

private:
  QIODevice& device_;
  PaperSize paper_;
  int dpi_;
  int pages_ = 0;
  bool failed_ = false;
  struct Writer;
  std::unique_ptr<Writer> writer_;
};

// Every page into one PDF. The file appears only when complete (made in
// memory, written and checked under a temporary name in its folder, then
// renamed); a target that is not a regular file is refused; failures are
// reported through the message sink, naming the file and the reason, and
// give false.
bool writePdf(const std::filesystem::path& output, const TestRecord& record, const Settings& settings,
              const PaperSize& paper, int dpi = kPrintDpi);

// The most memory one page image may take: a larger image is refused
// before anything is drawn.
inline constexpr long long kMaxImageBytes = 1LL << 30;
// Why a page at the resolution is too large, with the resolution that fits
// the paper ("2400 dpi の A3 は大きすぎます…"); nothing when it fits.
std::optional<std::string> imageTooLargeText(const PaperSize& paper, int dpi);

// The prefix the PNG pages of the test get: a prefix naming a folder
// ("out/" or an existing folder) gets the test's name in that folder.
std::string pngPrefixFor(const std::string& prefix, const std::string& input);
// The file names PREFIX-1.png ... PREFIX-n.png, one per page.
std::vector<std::filesystem::path> pngPagePaths(const std::string& prefix, int pages);
// Every page as PNG at the resolution. A page image larger than
// kMaxImageBytes is refused before drawing. All pages are written under
// temporary names first and renamed only when all succeeded; failures are
// reported through the message sink and give false.
bool writePngPages(const std::string& prefix, const TestRecord& record, const Settings& settings,
                   const PaperSize& paper, int dpi);

// Lets the calling thread's page image (and its share of the memory budget
// all threads' images share) go; a thread that is done exporting calls it.
void releasePageImage();

// A few lines about a test: survey name, formula, geometry, readings,
// a, the stored k and k computed again from the stored values, pages.
std::string summaryText(const TestRecord& record, const Settings& settings);

// Runs a parsed job on the program's record and settings; the exit code.
// A job over many tests (several inputs, a folder, a table or --combine) is
// run as a batch (runBatchJob).
int runJob(const CommandLineJob& job);
bool isBatchJob(const CommandLineJob& job);
// 0 when every test was done, 1 when some failed, an output would be an
// input, or no test was found.
int runBatchJob(const CommandLineJob& job);

} // namespace tov
