// What both analysis dialogs share: the counts at opening, the cursor and
// the chosen rows, the redraws of the previews and their mapping.
#include "dialogs/AnalysisModel.h"

#include <utility>

#include "analysis/AutoScales.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "render/Primitives.h"

namespace tov {

void AnalysisModel::openAnalysis(const TestRecord& record, int digitsPermeability) {
  working_ = record;
  digits_ = digitsPermeability;
  timeRows_ = working_.countRows(C_time);
  completeRows_ = 0;
  while (completeRows_ < kRows && rowComplete(completeRows_ + 1)) ++completeRows_;
  if (completeRows_ < timeRows_) reportMessage(IDS_MISSING_INPUT, missingValueName());
  active_ = 1;
  scalesTyped_ = false;
  pendingGrids_.clear();
  shown_ = Shown{};
  openFields();
  validateScales(false);
  opened_ = working_;
  openedChosen_ = chosen_;
  afterOpening();
  // The previews are drawn once the dialog is on the screen.
  redrawPending_ = true;
}

void AnalysisModel::applyAutoScales() {
  const ScaleTexts texts = autoScales(working_);
  if (texts.empty()) return;
  takingScales_ = true;
  takeScales(texts);
  takingScales_ = false;
  scalesTyped_ = false;
  redrawPreviews();
}

void AnalysisModel::takeScales(const std::map<int, std::string>& texts) {
  for (const auto& [field, value] : texts) setText(field, value);
}

void AnalysisModel::autoScalesAtFirstAnalysis() {
  if (scalesAreDefault(working_)) applyAutoScales();
}

void AnalysisModel::storeIfChanged(TestRecord& record, int field) const {
  if (text(field) != opened_.field(field)) record.setField(field, text(field));
}

bool AnalysisModel::pointsChanged() const {
  return chosen_ != openedChosen_ || text(F_permeabilityText) != opened_.field(F_permeabilityText) ||
         text(F_gradientText) != opened_.field(F_gradientText);
}

void AnalysisModel::storeCode(TestRecord& record, int field, int value, int opened) {
  const std::string code = cformat("%d", value);
  const std::string& stored = record.field(field);
  if (value != opened || (!stored.empty() && stored != code)) record.setField(field, code);
}

void AnalysisModel::setText(int field, std::string text) {
  if (field >= F_graphATimeFrom && field <= F_graphBLevelGrid2 && !takingScales_ && text != working_.field(field))
    scalesTyped_ = true;
  working_.setField(field, std::move(text));
}

void AnalysisModel::moveCursor(int step) {
  if (step > 0 && cursor_ < completeRows_) ++cursor_;
  if (step < 0 && cursor_ > 1) --cursor_;
  redrawPreviews();
  if (cursor_ >= 1) {
    chosen_[index(active_)] = cursor_;
    fillPointEdits(active_, cursor_);
  }
}

void AnalysisModel::drawGraph() {
  highlighted_ = chosen_;
  redrawPreviews(0);
  // The cursor goes back to the point being moved, so that the arrows go
  // on from where that point is.
  cursor_ = chosen_[index(active_)];
}

bool AnalysisModel::redrawPreviews(int shownCursor) {
  const bool kept = validateScales(true);
  shown_.drawn = true;
  shown_.highlighted = highlighted_;
  shown_.cursor = shownCursor;
  shown_.ranges = ranges_;
  redrawPending_ = false;
  return kept;
}

void AnalysisModel::fieldLeft(int field) {
  if (isScaleRangeField(field)) redrawPending_ = true;
  if (isGridField(field)) pendingGrids_.insert(field);
}

bool AnalysisModel::runPendingChecks() {
  bool kept = true;
  for (int field : std::exchange(pendingGrids_, {})) kept = checkGridSpacing(field) && kept;
  if (redrawPending_) kept = redrawPreviews() && kept;
  return kept;
}

void AnalysisModel::drawPreview(Surface& surface, PreviewGraph graph, int width, int height) const {
  if (!shown_.drawn || width <= 0 || height <= 0) return;
  surface.intersectClipRect(DeviceRect{0, 0, width, height});
  drawPoints(surface, graph, shown_, width, height);
  surface.resetClip();
}

DevicePoint AnalysisModel::mapToArea(const AxisRange& range, double t, double value, int width, int height) {
  const double x = interpolate(t, range.timeFrom, range.timeTo, kInset, width - kInset);
  const double up = interpolate(value, range.valueFrom, range.valueTo, kInset, height - kInset);
  return DevicePoint{static_cast<int>(x), static_cast<int>(height - up)};
}

std::string AnalysisModel::timeLabel(const std::string& from) {
  std::size_t characters = 0;
  for (const char c : from)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++characters;
  return characters <= 1 ? " " + from : from;
}

bool AnalysisModel::checkPair(int fromField, int toField, bool fails, const char* fromReset, const char* toReset) {
  if (!fails) return false;
  working_.setField(fromField, fromReset);
  working_.setField(toField, toReset);
  return true;
}

} // namespace tov
