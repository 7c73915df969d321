// Tests and settings that no page can show: each is read as the program
// reads it and every page is drawn at 600 dpi, and no page may record more
// primitives or text than a bound far above any real page (counts, not
// times). Each row is named for the fault it guards; the files under
// tests/render/hostile/ are inputs the fuzz targets found, minimised.
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string>
#include <vector>

#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "render/Primitives.h"
#include "render/RecordingSurface.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;

constexpr int kDpi = 600;
// A real page at 600 dpi records some thousands of primitives and a few
// thousand bytes of text. The finest grids a file can ask for come to about
// 650 000 dashes, the largest settings to about 900 000; the longest texts
// to 12 500 bytes.
constexpr std::size_t kMaxPrimitivesPerPage = 1500000;
constexpr std::size_t kMaxTextBytesPerPage = 30000;

fs::path sample(const char* name) { return fs::path(TOV_SOURCE_DIR) / "samples" / name; }

// What one page drew.
struct PageWork {
  std::size_t primitives = 0;
  std::size_t textBytes = 0;
  int longestText = 0;  // in CP932 bytes
};

PageWork workOf(const RecordingSurface& s) {
  PageWork w;
  w.primitives = s.lines().size() + s.circles().size();
  auto text = [&](const std::string& t) {
    w.textBytes += t.size();
    w.longestText = std::max(w.longestText, cp932Length(t));
  };
  for (const auto& t : s.texts()) text(t.text);
  for (const auto& t : s.drawTexts()) text(t.text);
  return w;
}

// Reads the test file and draws every page; checks each page's work.
void expectBoundedPages(const fs::path& file, const DisplaySettings& settings = firstStartDisplaySettings()) {
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  TestRecord record;
  ASSERT_EQ(loadTestFile(file, record), LoadStatus::Ok);
  record.fillScaleDefaults(settings.headingDefaults());
  repairScalesForDrawing(record);
  std::array<FontSetting, kFontSlotCount> fonts{};
  for (int slot = 1; slot <= kFontSlotCount; ++slot) fonts[static_cast<std::size_t>(slot - 1)] = defaultFontSetting(slot);
  const PageInputs inputs{record, settings, fonts, 210};
  RecordingSurface surface(kDpi, kDpi);
  for (int page = 1; page <= pageCount(record); ++page) {
    surface.clear();
    renderPage(surface, inputs, page);
    const PageWork w = workOf(surface);
    EXPECT_LE(w.primitives, kMaxPrimitivesPerPage) << "page " << page;
    EXPECT_LE(w.textBytes, kMaxTextBytesPerPage) << "page " << page;
    EXPECT_LE(w.longestText, kMaxDrawnTextBytes) << "page " << page;
  }
}

// Stands for 10 MB of text in a field of a row (the rows stay small, since
// every test process builds them all).
const std::string kTenMegabytes = "<10 MB>";

// A sample test with fields and reading cells replaced, as CP932 bytes.
struct Hostile {
  std::string name;
  const char* sample = "unsteady.tvd";
  std::vector<std::pair<int, std::string>> fields;   // field number, text
  std::vector<std::pair<int, std::string>> columns;  // column, text for each of the 120 rows
};

std::string hostileBytes(const Hostile& h) {
  std::vector<std::string> lines;
  const std::string bytes = testing::readBytes(sample(h.sample));
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = bytes.find("\r\n", at);
    lines.push_back(bytes.substr(at, end - at));
    at = end == std::string::npos ? bytes.size() : end + 2;
  }
  for (const auto& [number, text] : h.fields) {
    std::string& line = lines.at(static_cast<std::size_t>(number + 1));
    line = text;
    if (const auto at = line.find(kTenMegabytes); at != std::string::npos)
      line.replace(at, kTenMegabytes.size(), std::string(10 << 20, 'A'));
  }
  if (!h.columns.empty()) {
    std::vector<std::string> cells(kColumnCount, "1");
    for (const auto& [column, text] : h.columns) cells.at(static_cast<std::size_t>(column - 1)) = text;
    std::string row;
    for (int column = 0; column < kColumnCount; ++column) row += (column ? "," : "") + cells[static_cast<std::size_t>(column)];
    lines.resize(103);  // the tag, "$$Z", the 100 fields, "$$A"
    lines.insert(lines.end(), kRowCount, row);
  }
  std::string out;
  for (const auto& line : lines) out += line + "\r\n";
  return out;
}

std::vector<Hostile> hostileTests() {
  std::vector<Hostile> rows;
  // Axis ends that overflow, come near it, or lie below anything drawable,
  // alone and as both ends, on both graphs of both methods.
  const std::vector<std::pair<std::string, std::string>> values = {
      {"Overflow", "1e309"}, {"NegativeOverflow", "-1e309"}, {"Huge", "1e308"}, {"Denormal", "1e-320"}};
  const std::vector<std::pair<std::string, std::pair<int, int>>> axes = {
      {"UpperTime", {F_graphATimeFrom, F_graphATimeTo}}, {"UpperValue", {F_graphAValueFrom, F_graphAValueTo}},
      {"LowerTime", {F_graphBTimeFrom, F_graphBTimeTo}}, {"LowerLevel", {F_graphBLevelFrom, F_graphBLevelTo}}};
  for (const char* method : {"unsteady.tvd", "steady.tvd"}) {
    const std::string m = std::string(method) == "steady.tvd" ? "Steady" : "Unsteady";
    for (const auto& [valueName, value] : values) {
      for (const auto& [axisName, ends] : axes) {
        rows.push_back({m + axisName + "StartOf" + valueName, method, {{ends.first, value}}, {}});
        rows.push_back({m + axisName + "EndOf" + valueName, method, {{ends.second, value}}, {}});
        rows.push_back({m + axisName + "FromMinusToPlus" + valueName, method,
                        {{ends.first, "-" + value}, {ends.second, value}}, {}});
      }
    }
    // Label steps and grid intervals of every axis, huge and as small as a number gets.
    for (const auto& [valueName, value] : std::vector<std::pair<std::string, std::string>>{
             {"Huge", "1e308"}, {"Overflow", "1e309"}, {"Denormal", "1e-320"}}) {
      Hostile h{m + "StepsAndGrids" + valueName, method, {}, {}};
      for (int number : {F_graphATimeStep, F_graphATimeGrid1, F_graphATimeGrid2, F_graphAValueStep,
                         F_graphAValueGrid1, F_graphAValueGrid2, F_graphBTimeStep, F_graphBTimeGrid1,
                         F_graphBTimeGrid2, F_graphBLevelStep, F_graphBLevelGrid1, F_graphBLevelGrid2})
        h.fields.emplace_back(number, value);
      rows.push_back(h);
    }
    // The most lines a file can ask for: a log axis over every decade a
    // page draws, with every sub line, and grids at the finest steps.
    rows.push_back({m + "FinestGridsOverEveryDecade", method,
                    {{F_graphAValueFrom, "1e-7"}, {F_graphAValueTo, "1e15"}, {F_graphAValueStep, "2"},
                     {F_graphAValueGrid2, "3"}, {F_grid2WhenGrid1Small, "0"}, {F_graphATimeGrid1, "2"},
                     {F_graphATimeGrid2, "1.9"}, {F_graphAValueGrid1, "0.0001"}, {F_graphBTimeGrid1, "2"},
                     {F_graphBTimeGrid2, "1.9"}, {F_graphBLevelGrid1, "0.0001"}, {F_graphBLevelGrid2, "0.0002"},
                     {F_graphATimeStep, "0.0001"}, {F_graphBTimeStep, "0.0001"}, {F_graphBLevelStep, "0.0001"}},
                    {}});
    // Every reading, analysis point and heading number at 1e308.
    rows.push_back({m + "ReadingsOf1e308", method,
                    {{F_pointT1, "1e308"}, {F_pointT2, "1e308"}, {F_pointS1, "1e308"}, {F_pointS2, "1e308"},
                     {F_gradientText, "1e308"}, {F_collarElevation, "1e308"}, {F_depthFrom, "1e308"},
                     {F_depthTo, "1e308"}, {F_footerLeft, "1e308"}, {F_footerTop, "1e309"}},
                    {{C_time, "1e308"}, {C_pipeLevel, "1e308"}, {C_level, "1e308"}, {C_headDifference, "1e308"},
                     {C_flow, "1e308"}}});
    // Clock times as long as a row line may be.
    rows.push_back({m + "LongestClockTimes", method, {}, {{C_time, "1"}, {C_clockTime, std::string(2590, '8')}}});
  }
  // A field of 10 MB in each place that draws a field's text its own way.
  const std::string& huge = kTenMegabytes;
  const std::vector<std::pair<std::string, int>> textFields = {
      {"SurveyName", F_surveyName},   {"IdLabel", F_testIdNumberLabel},   {"GraphTitle", F_graphTitle},
      {"TablePrefix", F_tablePagePrefix}, {"ContractorName", F_contractorName}};
  for (const auto& [name, number] : textFields) rows.push_back({"TenMegabyte" + name, "unsteady.tvd", {{number, huge}}, {}});
  rows.push_back({"TenMegabyteGeologyName", "unsteady.tvd", {{F_showGeology, "1"}, {F_geologyName, huge}}, {}});
  rows.push_back({"TenMegabyteSteadyFlow", "steady.tvd", {{F_steadyFlow, "1" + huge + "E-5"}}, {}});
  rows.push_back({"TenMegabytePermeability", "unsteady.tvd", {{F_permeabilityText, "1" + huge + "E-5"}}, {}});
  return rows;
}

class BoundedPages : public ::testing::TestWithParam<Hostile> {};

TEST_P(BoundedPages, EveryPageDrawsWithinBounds) {
  testing::TempDir dir;
  const fs::path file = dir / "hostile.tvd";
  testing::writeBytes(file, hostileBytes(GetParam()));
  expectBoundedPages(file);
}

INSTANTIATE_TEST_SUITE_P(Hostile, BoundedPages, ::testing::ValuesIn(hostileTests()),
                         [](const auto& info) { return info.param.name; });

// Inputs the fuzz targets found.
TEST(BoundedPagesFound, FilesFromFuzzingDrawWithinBounds) {
  const fs::path folder = fs::path(TOV_SOURCE_DIR) / "tests" / "render" / "hostile";
  int files = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    SCOPED_TRACE(entry.path().filename().string());
    expectBoundedPages(entry.path());
    ++files;
  }
  EXPECT_GT(files, 0);
}

// Settings no page can hold, on the longest sample and the steady one.
TEST(BoundedPagesSettings, SettingsBeyondAnyPageDrawWithinBounds) {
  DisplaySettings huge = firstStartDisplaySettings();
  huge.graphWidth = huge.upperGraphHeight = huge.lowerGraphHeight = INT_MAX;
  huge.frameLineWidth = huge.ruleLineWidth = huge.polylineWidth = huge.slopeLineWidth = INT_MAX;
  huge.grid1Width = huge.grid2Width = INT_MAX;
  huge.grid1Solid = huge.grid1Blank = huge.grid2Solid = huge.grid2Blank = 1;
  huge.plotSize = 1e300;
  for (const char* name : {"long.tvd", "steady.tvd"}) {
    SCOPED_TRACE(name);
    expectBoundedPages(sample(name), huge);
  }
  // A page draws them at the largest sizes it can show.
  const DisplaySettings drawn = drawnSettings(huge);
  EXPECT_EQ(drawn.graphWidth, kMaxDrawnPlotMm);
  EXPECT_EQ(drawn.frameLineWidth, kMaxDrawnPenWidth);
  EXPECT_EQ(drawn.plotSize, kMaxDrawnPointMm);
  EXPECT_EQ(drawnSettings(firstStartDisplaySettings()), firstStartDisplaySettings());
}

} // namespace
} // namespace tov
