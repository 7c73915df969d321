// Rendering speed of the pages (on the recording surface, which costs no
// rasterisation, on a screen-resolution image through the QPainter surface,
// and as the window paints them, with a new surface each time), of a whole
// four-page PDF export, and of the worst pages a test file can ask for at
// 600 dpi.
#include <QApplication>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>

#include "cli/ExportJob.h"
#include "qt/QtSurface.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "render/RecordingSurface.h"

namespace fs = std::filesystem;

namespace {

fs::path scratch;  // the private install folder and the PDF output

// The sample tests of the source tree this program was built from.
fs::path samplePath(const char* name) { return fs::path(TOV_SAMPLES_DIR) / name; }

// A loaded sample with first-start settings.
struct Loaded {
  tov::TestRecord record;
  tov::Settings settings{record};
  explicit Loaded(const char* name, int rows = 0) {
    if (tov::loadTestFile(samplePath(name), record) != tov::LoadStatus::Ok) {
      std::fprintf(stderr, "cannot read %s\n", samplePath(name).c_str());
      std::exit(1);
    }
    // Continue the readings to the wanted count, 100 s apart, levels still falling.
    for (int r = record.countRows(tov::C_time) + 1; r <= rows && r <= tov::kRowCount; ++r) {
      const double t = tov::toDouble(record.cell(r - 1, tov::C_time)) + 100.0;
      const double pipe = tov::toDouble(record.cell(r - 1, tov::C_pipeLevel)) + 0.001;
      record.setCell(r, tov::C_time, tov::cformat("%g", t));
      record.setCell(r, tov::C_pipeLevel, tov::cformat("%.3f", pipe));
      record.setCell(r, tov::C_clockTime, "15.00");
    }
    record.deriveAllRows();
    settings.loadSettings(false);
    tov::repairScalesForDrawing(record);
  }
};

Loaded& test120() {
  static Loaded t("long.tvd", 120);
  return t;
}
Loaded& test85() {
  static Loaded t("long.tvd");
  return t;
}

void renderRecording(benchmark::State& state, int page) {
  Loaded& t = test120();
  const tov::PageInputs inputs = tov::pageInputsFrom(t.record, t.settings, 210);
  tov::RecordingSurface surface(96, 96);
  for (auto _ : state) {
    surface.clear();
    tov::renderPage(surface, inputs, page);
    benchmark::DoNotOptimize(surface.lines().size());
  }
  // What a page is made of, for reading the figures.
  state.counters["lines"] = static_cast<double>(surface.lines().size());
  state.counters["circles"] = static_cast<double>(surface.circles().size());
  state.counters["texts"] = static_cast<double>(surface.texts().size() + surface.drawTexts().size());
}

void renderScreenImage(benchmark::State& state, int page, bool antialiased) {
  Loaded& t = test120();
  const tov::PageInputs inputs = tov::pageInputsFrom(t.record, t.settings, 210);
  const QSize size = tov::paperPixelSize(tov::a4Paper(), 96);
  QImage image(size, QImage::Format_RGB32);
  image.setDotsPerMeterX(3780);  // 96 dpi
  image.setDotsPerMeterY(3780);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, antialiased);
  tov::QtSurface surface(painter);
  for (auto _ : state) {
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    tov::renderPage(surface, inputs, page);
  }
}

// As the window paints: a new painter and surface on each paint of the
// sheet, with the layout the view keeps between paints.
void renderWindowPaint(benchmark::State& state, int page) {
  Loaded& t = test120();
  const tov::PageInputs inputs = tov::pageInputsFrom(t.record, t.settings, 210);
  const QSize size = tov::paperPixelSize(tov::a4Paper(), 96);
  QImage image(size, QImage::Format_RGB32);
  tov::QtSurfaceCache kept;
  for (auto _ : state) {
    QPainter painter(&image);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    tov::QtSurface surface(painter, 96, 96, &kept);
    tov::renderPage(surface, inputs, page);
  }
}

void BM_GraphPage_Recording(benchmark::State& state) { renderRecording(state, 1); }
void BM_TablePage_Recording(benchmark::State& state) { renderRecording(state, 2); }
// The exporter draws antialiased; the desktop view may not.
void BM_GraphPage_Image96dpi(benchmark::State& state) { renderScreenImage(state, 1, true); }
void BM_TablePage_Image96dpi(benchmark::State& state) { renderScreenImage(state, 2, true); }
void BM_GraphPage_Image96dpiAliased(benchmark::State& state) { renderScreenImage(state, 1, false); }
void BM_TablePage_Image96dpiAliased(benchmark::State& state) { renderScreenImage(state, 2, false); }
void BM_GraphPage_WindowPaint96dpi(benchmark::State& state) { renderWindowPaint(state, 1); }
void BM_TablePage_WindowPaint96dpi(benchmark::State& state) { renderWindowPaint(state, 2); }

// The most a test file can ask of a page: the log s axis over every decade a
// page draws (1e-7 to 1e15) with every sub line, the finest grids on the
// other axes, readings of the largest values drawn, and clock times as long
// as a row line holds (cut when drawn).
Loaded& worstTest() {
  static Loaded t("long.tvd", 120);
  static const bool made = [] {
    const std::pair<int, const char*> fields[] = {
        {tov::F_graphAValueFrom, "1e-7"}, {tov::F_graphAValueTo, "1e15"}, {tov::F_graphAValueStep, "2"},
        {tov::F_graphAValueGrid2, "3"}, {tov::F_grid2WhenGrid1Small, "0"}, {tov::F_graphATimeGrid1, "2"},
        {tov::F_graphATimeGrid2, "1.9"}, {tov::F_graphBTimeGrid1, "2"}, {tov::F_graphBTimeGrid2, "1.9"},
        {tov::F_graphBLevelGrid1, "0.0001"}, {tov::F_graphBLevelGrid2, "0.0002"}};
    for (const auto& [number, text] : fields) t.record.setField(number, text);
    for (int row = 1; row <= tov::kRowCount; ++row) {
      t.record.setCell(row, tov::C_clockTime, std::string(2590, '8'));
      for (int column : {tov::C_pipeLevel, tov::C_level, tov::C_headDifference})
        t.record.setCell(row, column, "999999999999999");  // the largest values drawn
    }
    return true;
  }();
  (void)made;
  return t;
}

void renderWorst600dpi(benchmark::State& state, int page, int gridWidth) {
  Loaded& t = worstTest();
  tov::DisplaySettings settings = t.settings.display;
  settings.grid1Width = settings.grid2Width = gridWidth;
  const tov::PageInputs inputs = tov::pageInputsFrom(t.record, t.settings, 210);
  const tov::PageInputs withWidth{inputs.record, settings, inputs.fonts, inputs.paperWidthMm};
  const QSize size = tov::paperPixelSize(tov::a4Paper(), 600);
  QImage image(size, QImage::Format_RGB32);
  image.setDotsPerMeterX(23622);  // 600 dpi
  image.setDotsPerMeterY(23622);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing, true);
  tov::QtSurface surface(painter);
  for (auto _ : state) {
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    tov::renderPage(surface, withWidth, page);
  }
  tov::RecordingSurface recording(600, 600);
  tov::renderPage(recording, withWidth, page);
  state.counters["primitives"] = static_cast<double>(recording.lines().size() + recording.circles().size());
}

void BM_WorstGraphPage_Image600dpi(benchmark::State& state) { renderWorst600dpi(state, 1, 1); }
// Grid lines two pixels wide cannot be drawn as one patterned line each.
void BM_WorstGraphPage_Image600dpiGridWidth2(benchmark::State& state) { renderWorst600dpi(state, 1, 2); }
void BM_WorstTablePage_Image600dpi(benchmark::State& state) { renderWorst600dpi(state, 2, 1); }

void BM_PdfExport_FourPages(benchmark::State& state) {
  Loaded& t = test85();
  const fs::path out = scratch / "bench.pdf";
  for (auto _ : state) {
    if (!tov::writePdf(out, t.record, t.settings, tov::a4Paper())) state.SkipWithError("the PDF was not written");
  }
  state.counters["pages"] = tov::pageCount(t.record);
}

BENCHMARK(BM_GraphPage_Recording)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TablePage_Recording)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GraphPage_Image96dpi)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TablePage_Image96dpi)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GraphPage_Image96dpiAliased)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TablePage_Image96dpiAliased)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GraphPage_WindowPaint96dpi)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TablePage_WindowPaint96dpi)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PdfExport_FourPages)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorstGraphPage_Image600dpi)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorstGraphPage_Image600dpiGridWidth2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorstTablePage_Image600dpi)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::random_device rd;
  scratch = fs::temp_directory_path() / ("tov-bench-" + std::to_string(rd()));
  fs::create_directories(scratch);
  ::setenv("TOV_ROOT", (scratch / "drives").c_str(), 1);
  QApplication app(argc, argv);  // widgets: the analysis dialog is measured too
  tov::RecordingMessageSink quiet;  // first-start notices are not measured
  tov::ScopedMessageSink scoped(quiet);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(scratch, ec);
  return 0;
}
