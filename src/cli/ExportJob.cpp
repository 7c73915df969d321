// Rendering a test's pages to PNG images and to one PDF, the summary of a
// test, and the command line that asks for them.
#include "cli/ExportJob.h"

#include <QBuffer>
#include <QFile>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>

#include <sys/stat.h>
#include <unistd.h>

#include "analysis/Analysis.h"
#include "cli/BatchJob.h"
#include "cli/CommandLineOptions.h"
#include "cli/InterruptCleanup.h"
#include "qt/QtSurface.h"
#include "cli/PagePng.h"
#include "batch/BatchInputs.h"
#include "batch/SummaryTable.h"
#include "files/FileIdentity.h"
#include "files/Platform.h"
#include "files/TextFile.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"
#include "render/Page.h"
#include "render/Primitives.h"
#include "TovVersion.h"

namespace tov {

namespace {

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

// A whole positive number, or nothing.
std::optional<int> parsePositiveInt(std::string_view text) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  int value = toInt(text);
  if (value <= 0) return std::nullopt;
  return value;
}

// A plain decimal millimetre value such as 210 or 215.9.
std::optional<double> parseMillimetres(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int dots = 0;
  for (char c : text) {
    if (c == '.') ++dots;
    else if (c < '0' || c > '9') return std::nullopt;
  }
  if (dots > 1 || text == ".") return std::nullopt;
  double value = toDouble(text);
  if (value < 10.0 || value > 2000.0) return std::nullopt;
  return value;
}

QString qstr(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

void renderOn(QPainter& painter, const PageInputs& inputs, int page) {
  // Within a ThreadSurfaceCache scope (a PDF's pages, a batch's tests) the
  // texts are laid out once for all pages.
  const int dpiX = painter.device() ? painter.device()->logicalDpiX() : 96;
  const int dpiY = painter.device() ? painter.device()->logicalDpiY() : 96;
  QtSurface surface(painter, dpiX, dpiY, ThreadSurfaceCache::forPainter(painter, dpiX, dpiY));
  renderPage(surface, inputs, page);
}

std::string valueOrDash(const std::string& text) { return text.empty() ? std::string("-") : text; }

} // namespace

PaperSize a4Paper() { return {"A4", 210.0, 297.0}; }

PaperSize paperOf(const QPageLayout& layout) {
  const QSizeF size = layout.pageSize().size(QPageSize::Millimeter);
  const QString name = layout.pageSize().name();
  return {name.toStdString(), std::min(size.width(), size.height()), std::max(size.width(), size.height())};
}

bool paintPageRange(QPagedPaintDevice& device, const PageInputs& inputs, int first, int last,
                    const std::function<void(int page)>& beforePage) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  bool ok = true;
  for (int page = first; page <= last; ++page) {
    if (page > first && !device.newPage()) {
      ok = false;
      break;
    }
    if (beforePage) beforePage(page);
    renderOn(painter, inputs, page);
  }
  return painter.end() && ok;
}

std::optional<PaperSize> paperSizeByName(std::string_view name) {
  const std::string key = lowerAscii(name);
  if (key == "a4") return a4Paper();
  if (key == "a3") return PaperSize{"A3", 297.0, 420.0};
  if (key == "b4") return PaperSize{"B4", 257.0, 364.0};
  if (key == "b5") return PaperSize{"B5", 182.0, 257.0};
  if (key == "letter") return PaperSize{"Letter", 215.9, 279.4};
  const auto x = key.find('x');
  if (x == std::string::npos) return std::nullopt;
  const auto w = parseMillimetres(std::string_view(key).substr(0, x));
  const auto h = parseMillimetres(std::string_view(key).substr(x + 1));
  if (!w || !h) return std::nullopt;
  return PaperSize{std::string(name), *w, *h};
}

std::optional<CommandLineJob> parseCommandLine(const std::vector<std::string>& args, std::string* error) {
  auto fail = [&](std::string text) -> std::optional<CommandLineJob> {
    if (error) *error = std::move(text);
    return std::nullopt;
  };
  CommandLineJob job;
  bool haveKind = false;
  bool dpiGiven = false;
  std::vector<std::string> operands;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&]() -> std::optional<std::string> {
      if (i + 1 >= args.size()) return std::nullopt;
      return args[++i];
    };
    auto setKind = [&](JobKind kind) {
      if (haveKind && job.kind != kind) return false;
      job.kind = kind;
      haveKind = true;
      return true;
    };
    if (a == "--help" || a == "-h") {
      if (!setKind(JobKind::Help)) return fail("--help は他の処理と同時に指定できません");
    } else if (a == "--version") {
      if (!setKind(JobKind::Version)) return fail("--version は他の処理と同時に指定できません");
    } else if (a == "--export-pdf" || a == "--export-png") {
      const JobKind kind = a == "--export-pdf" ? JobKind::ExportPdf : JobKind::ExportPng;
      if (haveKind && !(job.kind == JobKind::SummaryTable && !job.table.empty()))
        return fail("処理は一つだけ指定してください: " + a);
      job.kind = kind;
      haveKind = true;
      auto out = value();
      if (!out || out->empty()) return fail(a + " には出力先を指定してください");
      job.output = *out;
    } else if (a == "--summary") {
      if (haveKind) return fail("処理は一つだけ指定してください: " + a);
      setKind(JobKind::Summary);
    } else if (a == "--summary-table") {
      if (!job.table.empty() || (haveKind && job.kind != JobKind::ExportPdf && job.kind != JobKind::ExportPng))
        return fail("処理は一つだけ指定してください: " + a);
      auto out = value();
      if (!out || out->empty() || !tableFormatOf(pathFromUtf8(*out)))
        return fail("--summary-table には .csv か .xlsx のファイルを指定してください");
      job.table = *out;
      if (!haveKind) setKind(JobKind::SummaryTable);
    } else if (a == "--combine") {
      job.combine = true;
    } else if (a == "--recursive") {
      job.recursive = true;
    } else if (a == "--cp932") {
      job.cp932 = true;
    } else if (a == "--threads") {
      auto v = value();
      auto n = v ? parsePositiveInt(*v) : std::nullopt;
      if (!n || *n > 64) return fail("--threads には 1 から 64 の整数を指定してください");
      job.threads = *n;
    } else if (a == "--paper") {
      auto v = value();
      if (!v) return fail("--paper には用紙を指定してください (A4, A3, B4, B5, Letter, 幅x高さ)");
      auto paper = paperSizeByName(*v);
      if (!paper) return fail("用紙の指定が異常です: " + *v);
      job.paper = *paper;
    } else if (a == "--dpi") {
      auto v = value();
      auto dpi = v ? parsePositiveInt(*v) : std::nullopt;
      if (!dpi || *dpi < 10 || *dpi > 2400) return fail("--dpi には 10 から 2400 の整数を指定してください");
      job.dpi = *dpi;
      dpiGiven = true;
    } else if (a.size() > 1 && a[0] == '-') {
      return fail("不明なオプションです: " + a);
    } else {
      operands.push_back(a);
    }
  }
  if (!haveKind) return fail("処理を指定してください (--export-pdf, --export-png, --summary)");
  if (job.kind == JobKind::Help || job.kind == JobKind::Version) return job;
  if (operands.empty()) return fail("試験データのファイル(.tvd)を指定してください");
  if (operands.size() > 1 && job.kind == JobKind::Summary)
    return fail("--summary の試験データのファイルは一つだけ指定してください (多数なら --summary-table)");
  if (dpiGiven && job.kind != JobKind::ExportPng) return fail("--dpi は --export-png にだけ指定できます");
  if (job.combine && job.kind != JobKind::ExportPdf) return fail("--combine は --export-pdf にだけ指定できます");
  if (job.cp932 && tableFormatOf(pathFromUtf8(job.table)) != TableFormat::Csv)
    return fail("--cp932 は CSV の --summary-table にだけ指定できます");
  job.input = operands.front();
  job.inputs = operands;
  return job;
}

const std::string& commandLineHelp() {
  static const std::string text = helpText();
  return text;
}

const std::string& versionText() {
  static const std::string text = TOV_VERSION_LINE;
  return text;
}

QSize paperPixelSize(const PaperSize& paper, int dpi) {
  return {static_cast<int>(std::lround(paper.widthMm / 25.4 * dpi)),
          static_cast<int>(std::lround(paper.heightMm / 25.4 * dpi))};
}

QImage renderPageImage(const TestRecord& record, const Settings& settings, int page, const PaperSize& paper,
                       int dpi) {
  QImage image(paperPixelSize(paper, dpi), QImage::Format_RGB32);
  renderPageInto(image, record, settings, page, paper, dpi);
  return image;
}

void renderPageInto(QImage& image, const TestRecord& record, const Settings& settings, int page,
                    const PaperSize& paper, int dpi) {
  const QSize size = paperPixelSize(paper, dpi);
  if (image.size() != size || image.format() != QImage::Format_RGB32)
    image = QImage(size, QImage::Format_RGB32);
  if (image.isNull()) return;  // no memory for it: the caller reports
  const int dotsPerMetre = static_cast<int>(std::lround(dpi / 0.0254));
  image.setDotsPerMeterX(dotsPerMetre);
  image.setDotsPerMeterY(dotsPerMetre);
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  painter.setRenderHint(QPainter::TextAntialiasing, true);
  renderOn(painter, pageInputsFrom(record, settings, paper.wholeWidthMm()), page);
  painter.end();
}

namespace {

// The PDF writer's paper, margins, resolution and creator, the same for a
// test's own PDF and for a book of many tests.
void setUpPdfWriter(QPdfWriter& writer, const PaperSize& paper, int dpi) {
  writer.setResolution(dpi);
  writer.setCreator(qstr(versionText()));
  writer.setPageSize(QPageSize(QSizeF(paper.widthMm, paper.heightMm), QPageSize::Millimeter, qstr(paper.name),
                               QPageSize::ExactMatch));
  writer.setPageOrientation(QPageLayout::Portrait);
  writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

} // namespace

std::string pdfTitle(const TestRecord& record, const std::string& fallback) {
  // The title as the page draws it: a field of any length gives a short one.
  auto trimmed = [](std::string_view text) {
    static constexpr std::string_view kBlanks[] = {" ", "\t", "\xE3\x80\x80"};  // the last a full-width space
    for (bool cut = true; cut;) {
      cut = false;
      for (const std::string_view blank : kBlanks) {
        if (text.starts_with(blank)) text.remove_prefix(blank.size()), cut = true;
        if (text.ends_with(blank)) text.remove_suffix(blank.size()), cut = true;
      }
    }
    return std::string(text);
  };
  std::string title = trimmed(drawnText(record.graphTitle()));
  if (!title.empty()) return title;
  for (const std::string& part : {record.surveyName(), record.testIdNumber()}) {
    const std::string shown = trimmed(drawnText(part));
    if (shown.empty()) continue;
    title += (title.empty() ? "" : " ") + shown;
  }
  return title.empty() ? fallback : title;
}

bool paintPdf(QIODevice& device, const TestRecord& record, const Settings& settings, const PaperSize& paper,
              int dpi, const std::string& title) {
  QPdfWriter writer(&device);
  setUpPdfWriter(writer, paper, dpi);
  writer.setTitle(qstr(pdfTitle(record, title)));
  const PageInputs inputs = pageInputsFrom(record, settings, paper.wholeWidthMm());
  const ThreadSurfaceCache texts;
  return paintPageRange(writer, inputs, 1, pageCount(record));
}

struct PdfBook::Writer {
  explicit Writer(QIODevice& device) : writer(&device) {}
  QPdfWriter writer;
  QPainter painter;
};

PdfBook::PdfBook(QIODevice& device, const PaperSize& paper, int dpi) : device_(device), paper_(paper), dpi_(dpi) {}

PdfBook::~PdfBook() {
  if (writer_ && writer_->painter.isActive()) writer_->painter.end();
}

bool PdfBook::add(const TestRecord& record, const Settings& settings) {
  if (failed_) return false;
  if (!writer_) {
    writer_ = std::make_unique<Writer>(device_);
    setUpPdfWriter(writer_->writer, paper_, dpi_);
    if (!writer_->painter.begin(&writer_->writer)) {
      failed_ = true;
      return false;
    }
  }
  const PageInputs inputs = pageInputsFrom(record, settings, paper_.wholeWidthMm());
  const ThreadSurfaceCache texts;
  const int pages = tov::pageCount(record);
  for (int page = 1; page <= pages; ++page) {
    if (pages_ > 0 && !writer_->writer.newPage()) {
      failed_ = true;
      return false;
    }
    renderOn(writer_->painter, inputs, page);
    ++pages_;
  }
  return true;
}

bool PdfBook::finish() {
  if (failed_ || !writer_) return false;
  return writer_->painter.end();
}

namespace {

// The temporaries of a batch are removed by an interrupt as well.
void guardTemporaries(OutputBatch& batch, InterruptCleanup& cleanup) {
  batch.setTemporaryHooks([&cleanup](const std::string& path) { cleanup.add(path); },
                          [&cleanup](const std::string& path) { cleanup.forget(path); });
}

bool reportBatchFailure(const OutputBatch& batch) {
  reportMessage(IDS_WRITE_FAILED_DETAIL, shownPath(batch.failedFile()) + ": " + batch.reason());
  return false;
}

} // namespace

std::optional<std::string> imageTooLargeText(const PaperSize& paper, int dpi) {
  const QSize size = paperPixelSize(paper, dpi);
  const double bytes = 4.0 * size.width() * size.height();
  if (bytes <= static_cast<double>(kMaxImageBytes)) return std::nullopt;
  int fits = static_cast<int>(std::sqrt(kMaxImageBytes / 4.0 / (paper.widthMm / 25.4) / (paper.heightMm / 25.4)));
  while (fits > 1 && 4.0 * paperPixelSize(paper, fits).width() * paperPixelSize(paper, fits).height() >
                         static_cast<double>(kMaxImageBytes))
    --fits;
  return messageText(IDS_IMAGE_TOO_LARGE, {cformat("%d", dpi), paper.name, cformat("%.0f", bytes / (1 << 20)),
                                           cformat("%d", static_cast<int>(kMaxImageBytes >> 20)), cformat("%d", fits)});
}

bool writePdf(const std::filesystem::path& output, const TestRecord& record, const Settings& settings,
              const PaperSize& paper, int dpi) {
  if (const std::string refused = refusedTargetReason(output); !refused.empty()) {
    reportMessage(IDS_WRITE_FAILED_DETAIL, shownPath(output) + ": " + refused);
    return false;
  }
  // The PDF is made in memory and written through the checked writer: a
  // library writing straight to a full disk may report a short file as
  // written.
  QByteArray bytes;
  bool ok = true;
  {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    ok = paintPdf(buffer, record, settings, paper, dpi, utf8Path(output.stem()));
  }
  if (!ok || bytes.isEmpty()) {
    reportMessage(IDS_WRITE_FAILED_DETAIL, shownPath(output) + ": PDF を作れませんでした");
    return false;
  }
  InterruptCleanup cleanup;
  OutputBatch batch;
  guardTemporaries(batch, cleanup);
  if (!batch.add(output, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))) ||
      !batch.commit())
    return reportBatchFailure(batch);
  return true;
}

namespace {

// The page images of all threads share one budget (kMaxImageBytes): a
// thread waits until its image fits beside the others'.
std::mutex gBudgetMutex;
std::condition_variable gBudgetFreed;
long long gBudgetUsed = 0;

// One image per thread for every page it draws: a 600-dpi page is 140 MB,
// and fresh memory of that size costs more than drawing on it. It is kept
// (and its share of the budget) until a page of another size is wanted or
// the thread lets it go.
struct PageImage {
  QImage image;
  long long reserved = 0;
  void reserve(long long bytes) {
    if (bytes == reserved) return;
    release();
    std::unique_lock lock(gBudgetMutex);
    gBudgetFreed.wait(lock, [&] { return gBudgetUsed == 0 || gBudgetUsed + bytes <= kMaxImageBytes; });
    gBudgetUsed += bytes;
    reserved = bytes;
  }
  void release() {
    image = QImage();
    if (reserved == 0) return;
    {
      std::lock_guard lock(gBudgetMutex);
      gBudgetUsed -= reserved;
    }
    reserved = 0;
    gBudgetFreed.notify_all();
  }
  ~PageImage() { release(); }
};

PageImage& threadPageImage() {
  thread_local PageImage page;
  return page;
}

} // namespace

void releasePageImage() { threadPageImage().release(); }

std::string pngPrefixFor(const std::string& prefix, const std::string& input) {
  std::error_code ec;
  const std::string stem = utf8Path(pathFromUtf8(input).stem());
  // A folder (named with or without its "/") gets the pages named after the
  // test, not "-1.png".
  if (!prefix.empty() && (prefix.back() == '/' || std::filesystem::is_directory(pathFromUtf8(prefix), ec)))
    return utf8Path(pathFromUtf8(prefix) / pathFromUtf8(stem.empty() ? std::string("page") : stem));
  return prefix;
}

std::vector<std::filesystem::path> pngPagePaths(const std::string& prefix, int pages) {
  std::vector<std::filesystem::path> paths;
  for (int page = 1; page <= pages; ++page) paths.push_back(pathFromUtf8(prefix + cformat("-%d.png", page)));
  return paths;
}

bool writePngPages(const std::string& prefix, const TestRecord& record, const Settings& settings,
                   const PaperSize& paper, int dpi) {
  // Refused before any drawing: a page that would not fit the memory budget.
  if (const auto tooLarge = imageTooLargeText(paper, dpi)) {
    messageSink().report(*tooLarge);
    return false;
  }
  const auto paths = pngPagePaths(prefix, pageCount(record));
  for (const auto& path : paths) {
    if (const std::string refused = refusedTargetReason(path); !refused.empty()) {
      reportMessage(IDS_WRITE_FAILED_DETAIL, shownPath(path) + ": " + refused);
      return false;
    }
  }
  InterruptCleanup cleanup;  // an interrupt removes the temporaries as well
  OutputBatch batch;
  guardTemporaries(batch, cleanup);
  PageImage& page = threadPageImage();
  page.reserve(4LL * paperPixelSize(paper, dpi).width() * paperPixelSize(paper, dpi).height());
  QImage& image = page.image;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    renderPageInto(image, record, settings, static_cast<int>(i) + 1, paper, dpi);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull() || !writePagePng(image, buffer)) {
      reportMessage(IDS_WRITE_FAILED_DETAIL, shownPath(paths[i]) + ": 画像を作れませんでした");
      return false;  // the temporaries written so far go with the batch
    }
    if (!batch.add(paths[i], std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))))
      return reportBatchFailure(batch);
  }
  return batch.commit() || reportBatchFailure(batch);
}

std::string summaryText(const TestRecord& record, const Settings& settings) {
  const int stored = record.fieldInt(F_formulaKind);
  const int kind = stored > 4 || stored < 0 ? 0 : stored;
  const int digits = settings.display.digitsPermeability;
  std::string out;
  auto line = [&out](const std::string& label, const std::string& value) { out += label + ": " + value + "\n"; };
  line("調査名", valueOrDash(record.surveyName()));
  line("試験方法", valueOrDash(record.testMethod()));
  line("計算式", cformat("%d %s", kind, formulaDisplayName(kind)));
  line("試験区間長さ L", valueOrDash(record.sectionLength()) + " m");
  line("試験区間孔径 D", valueOrDash(record.boreDiameter()) + " m");
  line("等価内径 de", valueOrDash(record.equivalentDiameter()) + " m");
  line("測定データ数", cformat("%d", record.countRows(C_time)));
  if (kind == Steady) {
    line("log(2L/D)", valueOrDash(record.gradientText()));
    line("定常時の流量 Qo", valueOrDash(record.steadyFlow()) + " m3/s");
    line("定常時の水位差 So", valueOrDash(record.steadyHeadDifference()) + " m");
  } else {
    line("勾配 a", valueOrDash(record.gradientText()) + " 1/s");
  }
  line("透水係数 k (記録)", valueOrDash(record.permeabilityText()) + " m/s");

  // k again from the stored gradient, flow and geometry, as confirming the
  // headings computes it.
  const auto k = permeabilityFromHeadings(record);
  line("透水係数 k (再計算)", k ? formatPermeability(*k, digits) + " m/s" : "(計算できません)");
  // How far k can be trusted: the fit of the chosen segment, the suggested
  // segment with its k and interval, the cross-checks and the checks.
  const AnalysisReport report = analyseRecord(record, theAnalysisSettings(), digits);
  if (!report.steady) {
    if (report.segment && report.segment->usable)
      line("近似直線", cformat("%d〜%d 行, a %g, ", report.segment->first, report.segment->last, report.segment->a) +
                           fitCaption(*report.segment) +
                           (report.fittedInterval ? ", " + intervalText(*report.fittedInterval, digits) + " m/s" : ""));
    line("推奨区間", report.suggestion.summary(digits));
    if (report.suggestion.found) line("区間の取り方による k の幅", report.suggestion.spreadRange(digits));
    if (const auto& earlier = report.suggestion.earlier)
      line("前半の直線", cformat("%d〜%d 行 (n %d)", earlier->first, earlier->last, earlier->n) +
                             (report.suggestion.earlierK ? " k " + formatPermeability(*report.suggestion.earlierK, digits) : ""));
    if (report.bandK)
      line("s/H0 範囲内の行の k", cformat("%d〜%d 行 (n %d) ", report.bandFit->first, report.bandFit->last, report.bandFit->n) +
                                  formatPermeability(*report.bandK, digits) + " m/s");
  }
  if (report.checks.empty()) line("検討事項", "なし");
  for (const Check& check : report.checks) line("検討事項", check.text);
  line("ページ数", cformat("%d", pageCount(record)));
  // After every older line, which scripts read by their place: K and Ss by
  // each type curve, as cross-checks of k.
  for (const std::string& text : typeCurveTexts(report, digits)) line("標準曲線", text);
  return out;
}

int runJob(const CommandLineJob& job) {
  switch (job.kind) {
    case JobKind::Help:
      std::fputs(commandLineHelp().c_str(), stdout);
      return 0;
    case JobKind::Version:
      std::fputs((versionText() + "\n").c_str(), stdout);
      return 0;
    default:
      break;
  }
  if (isBatchJob(job)) return runBatchJob(job);
  Settings& settings = theSettings();
  settings.loadSettings(false);  // where the settings files are: they are inputs too
  // No output over a file the job reads (the test, the settings), nor a PDF
  // under a test's name ("--export-pdf a.tvd b.tvd" would turn the test
  // a.tvd into a PDF).
  std::vector<std::filesystem::path> inputs{pathFromUtf8(job.input)};
  for (const auto& file : settingsFilesRead(settings)) inputs.push_back(file);
  auto clashes = [&](const std::vector<std::filesystem::path>& outputs) {
    if (job.kind == JobKind::ExportPdf && isTestFileName(outputs.front())) {
      reportMessage(IDS_OUTPUT_NAMED_AS_TEST, shownPath(outputs.front()));
      return true;
    }
    const auto clash = findOutputClash(inputs, outputs);
    if (clash) messageSink().report(outputClashText(*clash));
    return clash.has_value();
  };
  if (job.kind == JobKind::ExportPdf && clashes({pathFromUtf8(job.output)})) return 1;
  TestRecord& record = theRecord();
  // What reading the test said (a file cut short) heads the summary.
  RecordingMessageSink loading;
  LoadStatus loaded;
  if (job.kind == JobKind::Summary) {
    ScopedMessageSink scoped(loading);
    loaded = loadTestFile(pathFromUtf8(job.input), record);
  } else {
    loaded = loadTestFile(pathFromUtf8(job.input), record);
  }
  if (loaded != LoadStatus::Ok) {
    for (const std::string& text : loading.reported) messageSink().report(text);
    return 1;
  }
  if (job.kind == JobKind::ExportPng && clashes(pngPagePaths(pngPrefixFor(job.output, job.input), pageCount(record))))
    return 1;
  settings.loadSettings(false);  // the scale defaults of the test just read
  repairScalesForDrawing(record);
  switch (job.kind) {
    case JobKind::Summary: {
      std::string text;
      for (const std::string& said : loading.reported) text += "読み込み: " + said + "\n";
      text += summaryText(record, settings);
      // The test's texts as file names are shown: a survey name holding a
      // terminal's escapes cannot retitle or clear the terminal.
      std::fputs(escapedControls(text).c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    }
    case JobKind::ExportPdf:
      return writePdf(pathFromUtf8(job.output), record, settings, job.paper) ? 0 : 1;
    case JobKind::ExportPng:
      return writePngPages(pngPrefixFor(job.output, job.input), record, settings, job.paper, job.dpi) ? 0 : 1;
    default:
      return 2;
  }
}

bool isBatchJob(const CommandLineJob& job) {
  if (job.kind == JobKind::SummaryTable || !job.table.empty() || job.combine || job.recursive ||
      job.inputs.size() > 1)
    return true;
  std::error_code ec;
  return !job.inputs.empty() && std::filesystem::is_directory(pathFromUtf8(job.inputs.front()), ec);
}

namespace {

// Progress on standard error: a bar redrawn in place on a terminal, else a
// line per test. Failures are always lines of their own.
class BatchProgress {
public:
  explicit BatchProgress(std::size_t total) : total_(total), terminal_(::isatty(2) == 1) {}
  void done(const BatchTestResult& result) {
    ++done_;
    const std::string name = shownPath(result.file);
    // What reading a test said (read only in part) is told as a failure is.
    const std::string& said = result.ok ? result.readNotes : result.reason;
    if (terminal_) {
      if (!said.empty())
        std::fprintf(stderr, "\r\033[Ktov: %s: %s\n", name.c_str(), escapedControls(said, false).c_str());
      const int width = 30;
      const int filled = total_ ? static_cast<int>(done_ * width / total_) : width;
      std::fprintf(stderr, "\r\033[K[%s%s] %zu/%zu %s", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                   std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), done_, total_,
                   shownPath(result.file.filename()).c_str());
    } else if (said.empty()) {
      std::fprintf(stderr, "[%zu/%zu] %s\n", done_, total_, name.c_str());
    } else {
      std::fprintf(stderr, "[%zu/%zu] tov: %s: %s\n", done_, total_, name.c_str(), escapedControls(said, false).c_str());
    }
    std::fflush(stderr);
  }
  void finish() {
    if (terminal_ && done_ > 0) std::fputs("\n", stderr);
  }

private:
  std::size_t total_;
  std::size_t done_ = 0;
  bool terminal_;
};

} // namespace

int runBatchJob(const CommandLineJob& job) {
  std::vector<std::filesystem::path> inputs;
  for (const std::string& input : job.inputs) inputs.push_back(pathFromUtf8(input));
  const BatchInputs found = collectTests(inputs, job.recursive);
  for (const std::string& problem : found.problems)
    std::fprintf(stderr, "tov: %s\n", escapedControls(problem, false).c_str());
  if (found.tests.empty()) return 1;  // a folder without tests: told above

  Settings& settings = theSettings();
  settings.loadSettings(false);
  BatchOptions options;
  options.tests = found.tests;
  options.paper = job.paper;
  options.dpi = job.dpi;
  options.threads = job.threads;
  options.table = pathFromUtf8(job.table);
  options.csvEncoding = job.cp932 ? CsvEncoding::Cp932 : CsvEncoding::Utf8WithBom;
  if (job.kind == JobKind::ExportPdf) options.output = job.combine ? BatchOutput::PdfCombined : BatchOutput::PdfEach;
  if (job.kind == JobKind::ExportPng) options.output = BatchOutput::Png;
  options.outputPath = pathFromUtf8(job.output);
  // An output named as a PDF file is never made a folder: one test (with a
  // table beside it) is written to it as a single export would; several
  // need --combine or a folder.
  std::error_code ec;
  if (options.output == BatchOutput::PdfEach && lowerAscii(utf8Path(options.outputPath.extension())) == ".pdf" &&
      !std::filesystem::is_directory(options.outputPath, ec)) {
    if (options.tests.size() > 1) {
      std::fprintf(stderr, "tov: %s\n",
                   escapedControls(messageText(IDS_PDF_FILE_FOR_MANY, shownPath(options.outputPath)), false).c_str());
      return 1;
    }
    options.output = BatchOutput::PdfFile;
  }

  BatchProgress progress(options.tests.size());
  const BatchResult result = runBatch(options, settings, [&](const BatchTestResult& r) { progress.done(r); });
  progress.finish();
  for (const std::string& note : result.notes) std::fprintf(stderr, "tov: %s\n", escapedControls(note, false).c_str());
  for (const std::string& failure : result.failures)
    std::fprintf(stderr, "tov: %s\n", escapedControls(failure, false).c_str());
  const int failed = result.failedTests();
  if (failed > 0) std::fprintf(stderr, "tov: %d / %zu 件の試験を処理できませんでした\n", failed, result.tests.size());
  return result.failures.empty() && failed == 0 && found.problems.empty() ? 0 : 1;
}

} // namespace tov
