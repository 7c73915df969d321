// Opening the unsteady analysis dialog on a 120-row test, as the analysis
// command does, up to the dialog painted once it is on the screen: the
// model opened, the widgets made and filled, shown, and every event its
// showing queues handled (the previews drawn). The goal is under 50 ms.
#include <QApplication>
#include <QEvent>

#include <benchmark/benchmark.h>

#include "FullTable.h"
#include "analysis/Analysis.h"
#include "dialogs/AnalysisModel.h"
#include "dialogs/qt/CAnalysisDialog.h"

namespace {

// Counts the paints of the first preview.
class PaintCounter : public QObject {
public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

void BM_UnsteadyAnalysisDialog_Open120Rows(benchmark::State& state) {
  const tov::TestRecord record = fullTable();
  const tov::AnalysisSettings settings;
  int paints = 0;
  for (auto _ : state) {
    tov::UnsteadyAnalysisModel model;
    model.setAnalysisSettings(settings);
    model.openAnalysis(record, 4);
    tov::CUnsteadyAnalysisDialog dialog(model);
    dialog.setFitOnPage(settings.fitOnPage);
    PaintCounter counter;
    if (QWidget* preview = dialog.findChild<QWidget*>(QStringLiteral("firstPreview")))
      preview->installEventFilter(&counter);
    dialog.show();
    QApplication::processEvents();
    QApplication::processEvents();
    if (counter.paints == 0) state.SkipWithError("the preview was not painted");
    paints = counter.paints;
    dialog.hide();
  }
  state.counters["previewPaints"] = paints;
}
BENCHMARK(BM_UnsteadyAnalysisDialog_Open120Rows)->Unit(benchmark::kMillisecond);

} // namespace
