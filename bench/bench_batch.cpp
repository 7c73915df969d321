// Many tests in one process: 100 tests to PDFs and the summary table on two
// threads (target: under 1 s), 100 and 1,000 tests to one combined PDF (its
// size and the process's peak memory beside the time; target: 1,000 tests
// under 100 MiB), and one page to PNG at 600 dpi (target: under 300 ms a
// page).
#include <QBuffer>

#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/BatchJob.h"
#include "cli/ExportJob.h"
#include "cli/PagePng.h"
#include "files/TvdFile.h"
#include "render/Page.h"

namespace fs = std::filesystem;

namespace {

fs::path samples() { return TOV_SAMPLES_DIR; }

const fs::path& benchFolder() {
  static const fs::path folder = [] {
    // Beside the private install folder, removed with it at the end.
    const char* root = std::getenv("TOV_ROOT");
    fs::path f = fs::path(root ? root : "/tmp").parent_path() / "batch";
    fs::create_directories(f / "tests");
    // 100 tests: the three samples by turns (a third of them four pages long).
    const char* names[] = {"unsteady.tvd", "steady.tvd", "long.tvd"};
    for (int i = 0; i < 100; ++i)
      fs::copy_file(samples() / names[i % 3], f / "tests" / ("t" + std::to_string(1000 + i) + ".tvd"));
    return f;
  }();
  return folder;
}

// The folder of `count` tests (the samples by turns), made on first use.
fs::path testsFolder(int count) {
  if (count == 100) return benchFolder() / "tests";
  const fs::path f = benchFolder() / ("tests" + std::to_string(count));
  if (!fs::exists(f)) {
    fs::create_directories(f);
    const char* names[] = {"unsteady.tvd", "steady.tvd", "long.tvd"};
    for (int i = 0; i < count; ++i)
      fs::copy_file(samples() / names[i % 3], f / ("t" + std::to_string(10000 + i) + ".tvd"));
  }
  return f;
}

// The process's peak resident memory so far, in MiB.
double peakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

struct BenchSettings {
  tov::TestRecord unused;
  tov::Settings settings{unused};
  BenchSettings() { settings.loadSettings(false); }
};
BenchSettings& benchSettings() {
  static BenchSettings s;
  return s;
}

void BM_Batch100TestsToPdfsAndTable(benchmark::State& state) {
  tov::BatchOptions options;
  for (const auto& e : fs::directory_iterator(benchFolder() / "tests")) options.tests.push_back(e.path());
  std::sort(options.tests.begin(), options.tests.end());
  options.output = tov::BatchOutput::PdfEach;
  options.outputPath = benchFolder() / "pdf";
  options.table = benchFolder() / "k.xlsx";
  options.threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    const tov::BatchResult result = tov::runBatch(options, benchSettings().settings);
    if (!result.allDone()) state.SkipWithError("the batch failed");
  }
  state.counters["tests"] = static_cast<double>(options.tests.size());
}

// The tests (state.range(0): 100 or 1,000) to one PDF, each font embedded
// once. Counters: the PDF's bytes and the process's peak memory (run alone
// with --benchmark_filter for a peak of this benchmark only).
void BM_BatchTestsToOnePdf(benchmark::State& state) {
  tov::BatchOptions options;
  for (const auto& e : fs::directory_iterator(testsFolder(static_cast<int>(state.range(0)))))
    options.tests.push_back(e.path());
  std::sort(options.tests.begin(), options.tests.end());
  options.output = tov::BatchOutput::PdfCombined;
  options.outputPath = benchFolder() / "all.pdf";
  options.threads = 2;
  for (auto _ : state) {
    if (!tov::runBatch(options, benchSettings().settings).allDone()) state.SkipWithError("the batch failed");
  }
  std::error_code ec;
  state.counters["bytes"] = static_cast<double>(fs::file_size(options.outputPath, ec));
  state.counters["peakMiB"] = peakMiB();
}

// The unsteady sample as the pages draw it; nothing when it cannot be read.
std::optional<tov::TestRecord> drawableSample(benchmark::State& state) {
  tov::TestRecord record;
  if (tov::loadTestFile(samples() / "unsteady.tvd", record) != tov::LoadStatus::Ok) {
    state.SkipWithError("no sample");
    return std::nullopt;
  }
  record.fillScaleDefaults(benchSettings().settings.display.headingDefaults());
  tov::repairScalesForDrawing(record);
  return record;
}

bool writePng(const QImage& image, qint64* bytes = nullptr) {
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  const bool ok = tov::writePagePng(image, buffer);
  if (bytes) *bytes = buffer.size();
  return ok;
}

// A page drawn (on the image of the pages before), and written as PNG (grey
// where it has no colour).
void pngPage600dpi(benchmark::State& state, int page) {
  const auto record = drawableSample(state);
  if (!record) return;
  qint64 bytes = 0;
  QImage image;
  for (auto _ : state) {
    tov::renderPageInto(image, *record, benchSettings().settings, page, tov::a4Paper(), 600);
    if (!writePng(image, &bytes)) state.SkipWithError("not written");
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
void BM_GraphPageToPng600dpi(benchmark::State& state) { pngPage600dpi(state, 1); }
void BM_TablePageToPng600dpi(benchmark::State& state) { pngPage600dpi(state, 2); }

// The two halves of the graph page apart: drawing only, and writing a drawn
// page.
void BM_GraphPageDraw600dpi(benchmark::State& state) {
  const auto record = drawableSample(state);
  if (!record) return;
  QImage image;
  for (auto _ : state) tov::renderPageInto(image, *record, benchSettings().settings, 1, tov::a4Paper(), 600);
}
void BM_GraphPagePngOnly600dpi(benchmark::State& state) {
  const auto record = drawableSample(state);
  if (!record) return;
  QImage image;
  tov::renderPageInto(image, *record, benchSettings().settings, 1, tov::a4Paper(), 600);
  for (auto _ : state)
    if (!writePng(image)) state.SkipWithError("not written");
}
BENCHMARK(BM_GraphPageDraw600dpi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GraphPagePngOnly600dpi)->Unit(benchmark::kMillisecond);

BENCHMARK(BM_Batch100TestsToPdfsAndTable)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BatchTestsToOnePdf)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_GraphPageToPng600dpi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TablePageToPng600dpi)->Unit(benchmark::kMillisecond);

} // namespace
