#pragma once
// The printed pages: the graph page (page 1) and the data-table pages
// (pages 2 and up, 40 readings each), and their painters.
#include <array>
#include <memory>
#include <string>

#include "files/Settings.h"
#include "record/TestRecord.h"
#include "render/Surface.h"

namespace tov {

struct AnalysisReport;

// Everything a page is drawn from.
struct PageInputs {
  const TestRecord& record;
  const DisplaySettings& settings;
  std::array<FontSetting, kFontSlotCount> fonts;  // slot N at index N - 1
  int paperWidthMm = 280;
  // Our setting (off by default): the fitted line of the chosen segment
  // and "R² 0.998 (n 12)" on the unsteady graph page.
  bool fitOnPage = false;
  // Our setting (off by default): the type curves fitted to the readings,
  // drawn over them with their k.
  bool typeCurvesOnPage = false;
  // The analysis of the record (theAnalysisSettings), made once a page at
  // its first use (pageAnalysis).
  mutable std::shared_ptr<const AnalysisReport> analysis{};

  const FontSetting& font(int slot) const { return fonts.at(static_cast<std::size_t>(slot - 1)); }
};
// The analysis the graph page shows: which ho its s are of, the fit, the
// type curves.
const AnalysisReport& pageAnalysis(const PageInputs& in);

// Inputs from the program's settings.
PageInputs pageInputsFrom(const TestRecord& record, const Settings& settings, int paperWidthMm);

// Readings / 40 + 2.
int pageCount(const TestRecord& record);

// Draws one page (1 graph, 2.. tables; any other number draws nothing),
// with the settings as drawnSettings makes them.
void renderPage(Surface& s, const PageInputs& in, int currentPage);

// The settings file holds any integer. A page draws a plot no larger than
// the largest paper (A3, 420 mm a side), lines no wider than 100 pixels and
// plotted points no larger than 10 mm; larger settings are drawn at these
// sizes (the settings themselves are not changed), so that no setting can
// make a page take unbounded work.
inline constexpr int kMaxDrawnPlotMm = 420;
inline constexpr int kMaxDrawnPenWidth = 100;
inline constexpr double kMaxDrawnPointMm = 10.0;
DisplaySettings drawnSettings(const DisplaySettings& settings);

// Before drawing: makes the scales of the first graph drawable (0.1 / 10 /
// "4" for the unsteady log axis; the unsteady left-overs cleared for a
// steady test without readings).
void repairScalesForDrawing(TestRecord& record);

// Pieces of the pages (character heights in mm).
// On the graph page 平衡水位 shows the record's own ho beside the written
// one where the graph's s are of it; the table pages' s are the written ho's.
void drawHeadingBlock(Surface& s, const PageInputs& in, bool widerLayout, bool graphPage = true);
void drawLogSTPlot(Surface& s, const PageInputs& in, double charHeight);
void drawHTPlot(Surface& s, const PageInputs& in, double charHeight);
void drawFormulaBlock(Surface& s, const PageInputs& in, double charHeight);
void drawQTPlot(Surface& s, const PageInputs& in, double charHeight);
void drawUnsteadyTable(Surface& s, const PageInputs& in, double charHeight, int tablePage);
void drawSteadyTable(Surface& s, const PageInputs& in, double charHeight, int tablePage);
void drawFooter(Surface& s, const PageInputs& in, int currentPage);
// The lines of our own the formula block adds under k (which ho the s are
// of, the fitted line, the type curves), each 1.2 character heights apart.
int formulaNoteLines(const PageInputs& in);

enum TableField : int {
  TF_clockTime = 1, TF_time = 2, TF_pipeLevel = 3, TF_level = 4, TF_headDifference = 5, TF_flow = 6,
};
// The text of one table cell.
std::string formatCell(const PageInputs& in, int row, int field);

// The number formats chosen by display digits (capped at 8; a negative
// setting is used as 0).
const char* resultNumberFormat(int digits);  // "%4.0f" .. "%9.8f"
const char* tableCellFormat(int digits);     // "%7.0f" .. "%12.8f"

} // namespace tov
