// Many tests in one run, over the cores.
// qpdf's smart pointers as std::shared_ptr, without its old holder type.
#define POINTERHOLDER_TRANSITION 4
#include "cli/BatchJob.h"

#include <QTemporaryFile>

#include <qpdf/Pl_String.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include <pthread.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/InterruptCleanup.h"
#include "batch/BatchInputs.h"
#include "files/AnalysisIni.h"
#include "files/FileIdentity.h"
#include "files/Platform.h"
#include "files/TextFile.h"
#include "files/TvdFile.h"
#include "qt/QtSurface.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "render/Page.h"

namespace fs = std::filesystem;

namespace tov {

namespace {

// The combined PDF's pages go to its temporary through the system's write
// call: the reason of a write that fails is kept (a file device of Qt loses
// it when a write stops part way, as on a full disk).
class DescriptorDevice : public QIODevice {
public:
  explicit DescriptorDevice(int fd) : fd_(fd) { open(QIODevice::WriteOnly); }
  // The system's error of the first write that failed; 0 while none has.
  int failure() const { return failure_; }

protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    qint64 done = 0;
    while (done < size && failure_ == 0) {
#ifdef _WIN32
      const auto n = ::_write(fd_, data + done, static_cast<unsigned>(std::min<qint64>(size - done, 1 << 30)));
#else
      const auto n = ::write(fd_, data + done, static_cast<std::size_t>(size - done));
#endif
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) failure_ = n < 0 ? errno : EIO;
      else done += n;
    }
    return failure_ == 0 ? done : -1;
  }

private:
  int fd_;
  int failure_ = 0;
};

std::string joined(const std::vector<std::string>& texts) {
  std::string out;
  for (const std::string& text : texts) {
    std::string line = text;
    std::replace(line.begin(), line.end(), '\n', ' ');
    if (!out.empty()) out += " / ";
    out += line;
  }
  return out;
}

// One test: read, drawn to its outputs, its row made. Runs on a worker.
BatchTestResult runOne(const BatchOptions& options, const Settings& settings, const AnalysisSettings& analysis,
                       int index, const std::string& name, PdfBook* book, int* firstPage,
                       const std::function<std::string()>& bookFailure) {
  BatchTestResult result;
  result.index = index;
  result.file = options.tests[static_cast<std::size_t>(index)];
  RecordingMessageSink said;  // what this test's reading and writing say
  ThreadMessageSink scoped(said);
  auto record = std::make_unique<TestRecord>();
  if (loadTestFile(result.file, *record) != LoadStatus::Ok) {
    result.reason = said.reported.empty() ? std::string("読めません") : joined(said.reported);
    return result;
  }
  result.readNotes = joined(said.reported);
  result.warnings = result.readNotes;
  said.reported.clear();
  record->fillScaleDefaults(settings.display.headingDefaults());
  repairScalesForDrawing(*record);
  result.pages = pageCount(*record);
  result.row = summaryRow(*record, utf8Path(result.file.filename()), settings.display.digitsPermeability, analysis);
  const std::string& checks = result.row[SC_warnings].text;
  if (!checks.empty()) result.warnings += (result.warnings.empty() ? "" : " / ") + checks;

  bool written = true;
  switch (options.output) {
    case BatchOutput::PdfEach:
    case BatchOutput::PdfFile: {
      const fs::path pdf =
          options.output == BatchOutput::PdfFile ? options.outputPath : options.outputPath / pathFromUtf8(name + ".pdf");
      written = writePdf(pdf, *record, settings, options.paper);
      if (written) result.written.push_back(pdf);
      break;
    }
    case BatchOutput::PdfCombined: {
      if (!book) break;  // the combined PDF cannot be written: said once, at the end
      *firstPage = book->pageCount();
      // The pages of a test the disk took no more of are not in the PDF.
      const std::string before = bookFailure ? bookFailure() : std::string();
      written = book->add(*record, settings) && before.empty() && (!bookFailure || bookFailure().empty());
      const std::string why = written || !bookFailure ? std::string() : bookFailure();
      if (!written) said.reported.push_back("PDF を作れません" + (why.empty() ? why : " (" + why + ")"));
      break;
    }
    case BatchOutput::Png: {
      const std::string prefix = utf8Path(options.outputPath / pathFromUtf8(name));
      written = writePngPages(prefix, *record, settings, options.paper, options.dpi);
      if (written) {
        const auto paths = pngPagePaths(prefix, result.pages);
        result.written.assign(paths.begin(), paths.end());
      }
      break;
    }
    case BatchOutput::None:
      break;
  }
  if (!written) {
    result.reason = joined(said.reported);
    return result;
  }
  result.ok = true;
  return result;
}

// What the batch reads and writes, checked by the one rule before anything
// is written: an output that is one of the tests or of the settings files
// (another spelling, a link), or another output (the table named as the
// combined PDF or as the PDFs' folder), or a PDF under a test's name,
// refuses the whole batch. "" when every output is free.
std::string outputClash(const BatchOptions& options, const std::vector<std::string>& names, const Settings& settings) {
  if (options.output == BatchOutput::PdfCombined && isTestFileName(options.outputPath))
    return messageText(IDS_OUTPUT_NAMED_AS_TEST, shownPath(options.outputPath));
  std::vector<fs::path> inputs = options.tests;
  const std::vector<fs::path> settingsFiles = settingsFilesRead(settings);
  inputs.insert(inputs.end(), settingsFiles.begin(), settingsFiles.end());
  std::vector<fs::path> outputs;
  if (options.output != BatchOutput::None) outputs.push_back(options.outputPath);
  if (options.output == BatchOutput::PdfEach)
    for (const std::string& name : names) outputs.push_back(options.outputPath / pathFromUtf8(name + ".pdf"));
  if (options.output == BatchOutput::Png) {
    // The pages that already exist in the output folder, NAME-n.png for any
    // page n (how many pages a test has is known once it is read).
    const std::set<std::string> named(names.begin(), names.end());
    auto isPageName = [&](const std::string& file) {
      if (!file.ends_with(".png")) return false;
      std::size_t dash = file.size() - 4;
      while (dash > 0 && file[dash - 1] >= '0' && file[dash - 1] <= '9') --dash;
      return dash > 1 && dash < file.size() - 4 && file[dash - 1] == '-' && named.count(file.substr(0, dash - 1)) > 0;
    };
    std::error_code ec;
    for (fs::directory_iterator it(options.outputPath, ec), end; !ec && it != end; it.increment(ec))
      if (isPageName(utf8Path(it->path().filename()))) outputs.push_back(it->path());
  }
  if (!options.table.empty()) outputs.push_back(options.table);
  const auto clash = findOutputClash(inputs, outputs);
  return clash ? outputClashText(*clash) : std::string();
}

} // namespace

int batchThreadCount(int asked, std::size_t tests) {
  int threads = asked > 0 ? asked : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  threads = std::min(threads, 64);
  return std::max(1, std::min(threads, static_cast<int>(std::max<std::size_t>(tests, 1))));
}

std::vector<fs::path> settingsFilesRead(const Settings& settings) {
  std::vector<fs::path> files{hostPath(settings.location.settingsPath()),
                              settings.installFolderPath() / kAnalysisSettingsFile};
  for (int slot = 1; slot <= kFontSlotCount; ++slot) files.push_back(hostPath(settings.location.fontPath(slot)));
  return files;
}

BatchResult runBatch(const BatchOptions& options, const Settings& settings,
                     const std::function<void(const BatchTestResult&)>& onTestDone, const std::atomic<bool>* cancel) {
  BatchResult batch;
  const std::size_t count = options.tests.size();
  const std::vector<std::string> names = uniqueOutputNames(options.tests);
  // Held over the whole batch: the exports' own guards come and go on the
  // workers while the handlers stay installed.
  InterruptCleanup guard;
  const AnalysisSettings analysis = readAnalysisSettings(settings.installFolderPath());
  if (std::string refused = outputClash(options, names, settings); !refused.empty()) {
    batch.failures.push_back(std::move(refused));
    return batch;
  }

  if ((options.output == BatchOutput::PdfEach || options.output == BatchOutput::Png) && count > 0) {
    std::error_code ec;
    fs::create_directories(options.outputPath, ec);
    if (!fs::is_directory(options.outputPath)) {
      batch.failures.push_back(shownPath(options.outputPath) + ": フォルダを作れません" +
                               (ec ? " (" + failureReason(ec.value()) + ")" : std::string()));
      return batch;
    }
  }

  std::vector<std::optional<BatchTestResult>> results(count);
  // The combined PDF is drawn by one writer on this thread, test after test,
  // so that each font is embedded once for all pages, into a temporary file
  // beside the output (not memory: memory stays flat however many tests). A
  // target that cannot be written is said at the end, as any failure of the
  // combined PDF; the tests and the table are still done.
  const bool combined = options.output == BatchOutput::PdfCombined;
  QTemporaryFile combinedFile;  // made exclusively, under a name nobody can guess
  std::optional<DescriptorDevice> pages;
  std::optional<PdfBook> book;
  std::string combinedError;
  if (combined && count > 0) {
    combinedError = refusedTargetReason(options.outputPath);
    const fs::path folder = options.outputPath.has_parent_path() ? options.outputPath.parent_path() : fs::path(".");
    combinedFile.setFileTemplate(QString::fromStdString(utf8Path(folder / ".tov-pages-XXXXXX.pdf")));
    bool opened = false;
    if (combinedError.empty()) {
      WriterSection section;  // made and told at once: an interrupt removes it
      opened = combinedFile.open();
      if (opened) guard.add(combinedFile.fileName().toStdString());
    }
    if (combinedError.empty() && !opened) {
      std::error_code ec;
      combinedError = !fs::exists(folder, ec)         ? failureReason(ENOENT)
                      : !fs::is_directory(folder, ec) ? failureReason(ENOTDIR)
                                                      : "一時ファイルを作れません (" +
                                                            combinedFile.errorString().toStdString() + ")";
    }
    if (combinedError.empty()) {
      pages.emplace(combinedFile.handle());
      book.emplace(*pages, options.paper);
    }
  }
  // Why the combined PDF's temporary took no more pages: a full disk is
  // said as such, as every other writer says it.
  const std::function<std::string()> bookFailure = [&pages]() -> std::string {
    return pages && pages->failure() != 0 ? failureReason(pages->failure()) : std::string();
  };
  std::vector<int> firstPages(count, 0);
  std::atomic<std::size_t> next{0};
  std::mutex doneMutex;
  auto work = [&] {
    // The labels every page and test repeat are laid out once per worker.
    const ThreadSurfaceCache texts;
    for (;;) {
      if (cancel && cancel->load()) return;
      const std::size_t i = next.fetch_add(1);
      if (i >= count) return;
      BatchTestResult result = runOne(options, settings, analysis, static_cast<int>(i), names[i],
                                      book ? &*book : nullptr, &firstPages[i], combined ? bookFailure : nullptr);
      std::lock_guard lock(doneMutex);
      results[i] = std::move(result);
      if (onTestDone) onTestDone(*results[i]);
    }
  };
  const int threads = combined ? 1 : batchThreadCount(options.threads, count);
  std::vector<std::thread> workers;
  for (int t = 1; t < threads; ++t)
    workers.emplace_back([&work] {
#ifndef _WIN32
      // Interrupts are handled on the calling thread only, which waits for
      // the workers' writers (see InterruptCleanup). Windows handles them on
      // a thread of its own.
      sigset_t interrupts;
      sigemptyset(&interrupts);
      for (const int signal : {SIGHUP, SIGINT, SIGQUIT, SIGTERM}) sigaddset(&interrupts, signal);
      ::pthread_sigmask(SIG_BLOCK, &interrupts, nullptr);
#endif
      work();
    });
  work();
  releasePageImage();  // the workers may still wait for its share of the memory
  for (auto& worker : workers) worker.join();

  for (auto& result : results)
    if (result) batch.tests.push_back(std::move(*result));
  batch.cancelled = batch.tests.size() < count;
  if (batch.cancelled) return batch;

  if (combined) {
    std::vector<PdfBookmark> marks;
    for (const auto& test : batch.tests) {
      if (!test.ok) continue;
      const std::size_t i = static_cast<std::size_t>(test.index);
      marks.push_back({names[i], firstPages[i]});
    }
    if (!combinedError.empty()) {
      batch.failures.push_back(shownPath(options.outputPath) + ": " + combinedError);
    } else if (book && (book->failed() || !bookFailure().empty())) {
      // The disk filled while the pages were drawn: said once, with why.
      const std::string why = bookFailure();
      batch.failures.push_back(shownPath(options.outputPath) + ": PDF を作れませんでした" +
                               (why.empty() ? std::string() : " (" + why + ")"));
    } else if (!marks.empty()) {
      std::string error;
      if (!book->finish() || !bookFailure().empty()) {
        const std::string why = bookFailure();
        error = why.empty() ? std::string("PDF を作れませんでした") : why;
      } else {
        book.reset();
        error = writeBookmarkedPdf(options.outputPath, pathFromUtf8(combinedFile.fileName().toStdString()), marks,
                                   "透水試験 " + cformat("%zu 件", marks.size()), versionText());
      }
      if (!error.empty()) batch.failures.push_back(shownPath(options.outputPath) + ": " + error);
    }
  }
  if (!options.table.empty()) {
    SummaryTable table;
    table.header = summaryHeader();
    for (const auto& test : batch.tests)
      if (test.ok) table.rows.push_back(test.row);
    const auto format = tableFormatOf(options.table);
    std::string error;
    if (!format) error = "表の形式は拡張子 .csv か .xlsx で指定してください";
    else if (*format == TableFormat::Csv) error = writeCsv(options.table, table, options.csvEncoding);
    else error = writeXlsx(options.table, table, &batch.notes);
    if (!error.empty()) batch.failures.push_back(shownPath(options.table) + ": " + error);
  }
  return batch;
}

std::string writeBookmarkedPdf(const fs::path& output, const fs::path& pdf, const std::vector<PdfBookmark>& marks,
                               const std::string& title, const std::string& creator) {
  if (const std::string refused = refusedTargetReason(output); !refused.empty()) return refused;
  // Made in memory and written through the checked writer, as the single
  // exports are: a short write on a full disk is caught.
  std::string bytes;
  try {
    QPDF out;
    out.setSuppressWarnings(true);
    out.processFile(utf8Path(pdf).c_str());  // read as needed, not all at once (qpdf takes UTF-8 names)
    const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(out).getAllPages();
    std::vector<QPDFObjectHandle> firstPages;
    for (const PdfBookmark& mark : marks) {
      if (mark.page < 0 || static_cast<std::size_t>(mark.page) >= pages.size()) return "PDF のページが足りません";
      firstPages.push_back(pages[static_cast<std::size_t>(mark.page)].getObjectHandle());
    }
    // The bookmarks: one item per test, opening its first page.
    QPDFObjectHandle outlines = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
    outlines.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
    std::vector<QPDFObjectHandle> items;
    for (std::size_t i = 0; i < firstPages.size(); ++i) {
      QPDFObjectHandle item = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
      item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(marks[i].title));
      item.replaceKey("/Parent", outlines);
      QPDFObjectHandle destination = QPDFObjectHandle::newArray();
      destination.appendItem(firstPages[i]);
      destination.appendItem(QPDFObjectHandle::newName("/Fit"));
      item.replaceKey("/Dest", destination);
      items.push_back(item);
    }
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (i > 0) items[i].replaceKey("/Prev", items[i - 1]);
      if (i + 1 < items.size()) items[i].replaceKey("/Next", items[i + 1]);
    }
    if (!items.empty()) {
      outlines.replaceKey("/First", items.front());
      outlines.replaceKey("/Last", items.back());
      outlines.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(items.size())));
      QPDFObjectHandle root = out.getRoot();
      root.replaceKey("/Outlines", outlines);
      root.replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
    }
    QPDFObjectHandle info = out.makeIndirectObject(QPDFObjectHandle::newDictionary());
    info.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(title));
    info.replaceKey("/Creator", QPDFObjectHandle::newUnicodeString(creator));
    out.getTrailer().replaceKey("/Info", info);

    std::error_code ec;
    const auto size = fs::file_size(pdf, ec);
    if (!ec) bytes.reserve(static_cast<std::size_t>(size) + (1 << 16));
    Pl_String into("pdf", nullptr, bytes);
    QPDFWriter writer(out);
    writer.setOutputPipeline(&into);
    writer.setDeterministicID(true);  // the same tests give the same file
    writer.write();
  } catch (const std::exception& e) {
    return e.what();
  }
  if (bytes.empty()) return "PDF を作れませんでした";
  InterruptCleanup cleanup;
  OutputBatch batch;
  batch.setTemporaryHooks([&cleanup](const std::string& path) { cleanup.add(path); },
                          [&cleanup](const std::string& path) { cleanup.forget(path); });
  if (!batch.add(output, bytes) || !batch.commit()) return batch.reason();
  return {};
}

} // namespace tov
