#pragma once
// The settings dialog "線種/マージン/社名" without its widgets: the widths of
// the page frame and the table rules, the two kinds of graph grid line with
// their dash patterns and the colour of the second, the plotted points, the
// polyline and the gradient line, the page margins and the contractor name
// given to tests that have none.
//
// In colour mode the second grid is drawn solid in the grid colour: its gap
// is set to 0 and its dash fields are unavailable. In black-and-white mode
// the colour field is unavailable instead.
#include <array>
#include <optional>
#include <string>

#include "files/Settings.h"
#include "render/Surface.h"

namespace tov {

// The dialog's text fields, in the order OK checks them.
enum class LinesField : int {
  FrameLineWidth, RuleLineWidth,
  Grid1Width, Grid1Solid, Grid1Blank,
  Grid2Width, Grid2Solid, Grid2Blank,
  GridColour,
  PlotSize, PolylineWidth, SlopeLineWidth,
  TopMargin, LeftMargin,
  ContractorName,
};
inline constexpr int kLinesFieldCount = static_cast<int>(LinesField::ContractorName) + 1;

inline constexpr int kColourMode = 0;
inline constexpr int kBlackAndWhiteMode = 1;

class LinesMarginsModel {
public:
  // Loads the settings into the dialog (and applies the grid mode).
  void openSettings(const DisplaySettings& settings);
  // 標準の設定: the standard values, then colour mode; nothing is stored.
  void restoreStandard();
  // The radio buttons カラー / 白黒.
  void setGridColourMode(int mode);
  int gridColourMode() const { return mode_; }
  bool colourFieldEnabled() const { return mode_ == kColourMode; }
  bool grid2DashEnabled() const { return mode_ != kColourMode; }

  // The colour the colour field's text denotes (black when it names none):
  // the field's text is shown in it and the chooser starts from it.
  Colour fieldColour() const;
  // The chooser's colour, written into the field as "0x%06x".
  void setChosenColour(Colour colour);

  // OK: false (with the message, and the field to focus) when a field is
  // refused; otherwise every value goes into the settings.
  bool storeSettings(DisplaySettings& settings);

  const std::string& text(LinesField field) const { return texts_[index(field)]; }
  void setText(LinesField field, std::string text) { texts_[index(field)] = std::move(text); }
  // The field that is to receive the focus; reading it clears it.
  std::optional<LinesField> takeFocusRequest();

private:
  static std::size_t index(LinesField f) { return static_cast<std::size_t>(f); }

  std::array<std::string, kLinesFieldCount> texts_{};
  int mode_ = kColourMode;
  std::optional<LinesField> focus_;
};

} // namespace tov
