#include "dialogs/LinesMarginsModel.h"

#include "dialogs/FieldCheck.h"
#include "record/CFormat.h"
#include "render/Primitives.h"

namespace tov {

namespace {

using F = LinesField;

struct IntSetting {
  F field;
  int DisplaySettings::*member;
  int standard;
};
const IntSetting kIntegers[] = {
    {F::FrameLineWidth, &DisplaySettings::frameLineWidth, 2},
    {F::RuleLineWidth, &DisplaySettings::ruleLineWidth, 1},
    {F::Grid1Width, &DisplaySettings::grid1Width, 1},
    {F::Grid1Solid, &DisplaySettings::grid1Solid, 5},
    {F::Grid1Blank, &DisplaySettings::grid1Blank, 0},
    {F::Grid2Width, &DisplaySettings::grid2Width, 1},
    {F::Grid2Solid, &DisplaySettings::grid2Solid, 5},
    {F::Grid2Blank, &DisplaySettings::grid2Blank, 5},
    {F::PolylineWidth, &DisplaySettings::polylineWidth, 1},
    {F::SlopeLineWidth, &DisplaySettings::slopeLineWidth, 1},
    {F::TopMargin, &DisplaySettings::topMargin, 20},
    {F::LeftMargin, &DisplaySettings::leftMargin, 25},
};

constexpr const char* kStandardColour = "0xc0c0c0";
constexpr const char* kStandardPlotSize = "1.0";

} // namespace

void LinesMarginsModel::openSettings(const DisplaySettings& settings) {
  for (const IntSetting& i : kIntegers) setText(i.field, cformat("%d", settings.*i.member));
  setText(F::GridColour, settings.gridColour);
  setText(F::PlotSize, cformat("%.1f", settings.plotSize));
  setText(F::ContractorName, settings.defaultContractorName);
  setGridColourMode(settings.gridColourMode);
  focus_.reset();
}

void LinesMarginsModel::restoreStandard() {
  for (const IntSetting& i : kIntegers) setText(i.field, cformat("%d", i.standard));
  setText(F::GridColour, kStandardColour);
  setText(F::PlotSize, kStandardPlotSize);
  setGridColourMode(kColourMode);
}

void LinesMarginsModel::setGridColourMode(int mode) {
  mode_ = mode;
  // In colour the second grid is a solid line.
  if (mode_ == kColourMode) setText(F::Grid2Blank, "0");
}

Colour LinesMarginsModel::fieldColour() const { return parseColourText(text(F::GridColour)) & 0xFFFFFFu; }

void LinesMarginsModel::setChosenColour(Colour colour) {
  setText(F::GridColour, cformat("0x%06x", static_cast<unsigned>(colour & 0xFFFFFFu)));
}

bool LinesMarginsModel::storeSettings(DisplaySettings& settings) {
  FieldCheck check;
  std::array<int, kLinesFieldCount> values{};
  double plotSize = 0.0;
  for (int n = 0; n < kLinesFieldCount; ++n) {
    const auto field = static_cast<F>(n);
    switch (field) {
    case F::GridColour:
    case F::ContractorName: check.encodable(n, text(field)); break;
    case F::PlotSize: check.number(n, text(field), plotSize); break;
    default: check.integer(n, text(field), values[static_cast<std::size_t>(n)]); break;
    }
  }
  if (!check.ok()) {
    focus_ = static_cast<F>(*check.failedField());
    return false;
  }
  for (const IntSetting& i : kIntegers) settings.*i.member = values[index(i.field)];
  settings.gridColour = text(F::GridColour);
  settings.gridColourMode = mode_;
  settings.plotSize = plotSize;
  settings.defaultContractorName = text(F::ContractorName);
  return true;
}

std::optional<LinesField> LinesMarginsModel::takeFocusRequest() {
  auto focus = focus_;
  focus_.reset();
  return focus;
}

} // namespace tov
