// The data-table pages: the ruled table of readings (40 rows to a page)
// for the unsteady and the steady method, and the text of each cell.
#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "files/TextCodec.h"
#include "record/CFormat.h"
#include "render/Page.h"
#include "render/Primitives.h"

namespace tov {

namespace {

constexpr int kRowsPerTablePage = 40;
constexpr double kTableTop = 5.0;
constexpr double kHeaderBottom = 20.0;
constexpr double kTableBottom = 190.0;

// One column of a table: its header lines and the field it shows.
struct TableColumn {
  std::string line1, line2, line3;
  int field = 0;
  bool pipeWordColumn = false;  // line 1 is the pipe-word text of the h' column
};

std::string pipeWordText(const DisplaySettings& ds) {
  return ds.pipeWord == 1 ? "パイプ天端からの" : "管口からの";
}

// Column kinds shared by both tables.
TableColumn clockColumn() { return {"測定時刻", "", "時 分", TF_clockTime, false}; }
TableColumn timeColumn() { return {"経過時間", "t", "s", TF_time, false}; }
TableColumn pipeLevelColumn(const DisplaySettings& ds) {
  return {pipeWordText(ds), "水位 " + ds.levelLetter + "'", "m", TF_pipeLevel, true};
}
TableColumn levelColumn(const DisplaySettings& ds) {
  return {"水位測定管内", "水位 " + ds.levelLetter, "GL m", TF_level, false};
}
TableColumn headDifferenceColumn() { return {"水位差", "s", "m", TF_headDifference, false}; }
TableColumn flowColumn() { return {"流量", "Q", "m3/s", TF_flow, false}; }

int cellColumnOf(int field) {
  switch (field) {
    case TF_clockTime: return C_clockTime;
    case TF_time: return C_time;
    case TF_pipeLevel: return C_pipeLevel;
    case TF_level: return C_level;
    case TF_headDifference: return C_headDifference;
    case TF_flow: return C_flow;
    default: return 0;
  }
}

void drawRuling(Surface& s, const DisplaySettings& ds, const std::vector<double>& bounds) {
  const double x0 = bounds.front();
  const double xN = bounds.back();
  const int frame = ds.frameLineWidth;
  const int rule = ds.ruleLineWidth;
  lineMm(s, x0, kTableTop, xN, kTableTop, PS_SOLID, frame, kBlack);
  lineMm(s, x0, kTableBottom, xN, kTableBottom, PS_SOLID, frame, kBlack);
  lineMm(s, x0, kTableTop, x0, kTableBottom, PS_SOLID, frame, kBlack);
  lineMm(s, xN, kTableTop, xN, kTableBottom, PS_SOLID, frame, kBlack);

  lineMm(s, x0, kHeaderBottom, xN, kHeaderBottom, PS_SOLID, rule, kBlack);
  for (std::size_t i = 1; i + 1 < bounds.size(); ++i)
    lineMm(s, bounds[i], kTableTop, bounds[i], kTableBottom, PS_SOLID, rule, kBlack);
}

void drawHeaders(Surface& s, const DisplaySettings& ds, const std::vector<double>& bounds,
                 const std::vector<TableColumn>& columns) {
  for (std::size_t c = 0; c < columns.size(); ++c) {
    const double xa = bounds[c];
    const double xb = bounds[c + 1];
    const TableColumn& col = columns[c];
    if (col.pipeWordColumn && ds.pipeWord == 1)
      spreadTextMm(s, xa + 1.0, xb - 3.0, 6.0, 6.0, 2.0, 0.0, col.line1);
    else if (!col.line1.empty())
      textInBoxMm(s, xa, 6.0, xb, 10.0, col.line1);
    if (!col.line2.empty()) textInBoxMm(s, xa, 10.0, xb, 15.0, col.line2);
    if (!col.line3.empty()) textInBoxMm(s, xa, 15.0, xb, 19.5, col.line3);
  }
}

// The rows of one table page, with the bottom y of each row's texts.
void drawRows(Surface& s, const PageInputs& in, const std::vector<double>& bounds,
              const std::vector<TableColumn>& columns, int tablePage, double charHeight) {
  const double pitch = (kTableBottom - kHeaderBottom) / 44.5;
  s.setTextAlign(TA_CENTER | TA_BOTTOM);

  const long firstLong = static_cast<long>(tablePage) * kRowsPerTablePage - (kRowsPerTablePage - 1);
  if (firstLong < 1 || firstLong > kRowCount) return;
  const int first = static_cast<int>(firstLong);
  const int last = std::min(first + kRowsPerTablePage - 1, kRowCount);

  std::vector<double> bottoms;
  double y = kHeaderBottom;
  for (int r = first; r <= last; ++r) {
    if ((r - first) % 5 == 0) y += pitch / 2.0;
    y += pitch;
    bottoms.push_back(y - 0.5);
  }

  auto drawCell = [&](double x, double yBottom, int row, int field, int maxBytes = kMaxDrawnTextBytes) {
    const std::string text = formatCell(in, row, field);
    if (!text.empty()) textAtMm(s, x, yBottom, std::string_view(text).substr(0, cp932PrefixLength(text, maxBytes)));
  };

  // Clock times first, a millimetre left of the first column's centre. A
  // clock time is text as typed: it is drawn cut to what its column holds
  // (a half-width character is half as wide as the font is high).
  const double clockX = (bounds[0] + bounds[1]) * 0.5 - 1.0;
  const double clockBytes = charHeight > 0.0 ? 2.0 * (bounds[1] - bounds[0]) / charHeight : kMaxDrawnTextBytes;
  const int clockMaxBytes = static_cast<int>(std::min<double>(clockBytes, kMaxDrawnTextBytes));
  for (int r = first; r <= last; ++r)
    drawCell(clockX, bottoms[static_cast<std::size_t>(r - first)], r, TF_clockTime, clockMaxBytes);

  for (int r = first; r <= last; ++r) {
    const double yBottom = bottoms[static_cast<std::size_t>(r - first)];
    for (std::size_t c = 1; c < columns.size(); ++c)
      drawCell((bounds[c] + bounds[c + 1]) * 0.5, yBottom, r, columns[c].field);
  }
}

void drawTable(Surface& s, const PageInputs& in, const std::vector<double>& bounds,
               const std::vector<TableColumn>& columns, int tablePage, double charHeight) {
  drawRuling(s, in.settings, bounds);
  drawHeaders(s, in.settings, bounds, columns);
  drawRows(s, in, bounds, columns, tablePage, charHeight);
}

// The flow in the table's chosen notation.
std::string formatFlow(const DisplaySettings& ds, double value, const std::string& stored) {
  const int digits = std::clamp(ds.digitsFlow, 0, 8);
  if (ds.tableFlowFormat == 2) return cformat(tableCellFormat(digits), value);

  const std::string exponentFormat = cformat("%%.%dE ", digits);
  const std::string text = cformat(exponentFormat.c_str(), value);
  const std::size_t e = text.find('E');
  const std::string mantissa = e == std::string::npos ? stored : text.substr(0, e);
  const int exponent = e == std::string::npos ? 0 : toInt(std::string_view(text).substr(e + 1));
  if (ds.tableFlowFormat == 1) return mantissa + cformat("E%+d", exponent);
  return mantissa + cformat("×10%+d", exponent);
}

} // namespace

const char* tableCellFormat(int digits) {
  static constexpr std::array<const char*, 9> formats = {
      "%7.0f", "%7.1f", "%7.2f", "%7.3f", "%8.4f", "%9.5f", "%10.6f", "%11.7f", "%12.8f",
  };
  return formats[static_cast<std::size_t>(std::clamp(digits, 0, 8))];
}

std::string formatCell(const PageInputs& in, int row, int field) {
  if (row < 1 || row > kRowCount) return {};
  const int column = cellColumnOf(field);
  if (column == 0) return {};
  const std::string& stored = in.record.cell(row, column);
  if (field == TF_clockTime) return stored;
  // A cell without a number, or with one no page can show, stays empty.
  const auto drawn = drawnValue(stored);
  if (!isNumberText(stored) || !drawn) return {};

  const double value = *drawn;
  const DisplaySettings& ds = in.settings;
  switch (field) {
    case TF_time: return cformat(tableCellFormat(ds.digitsTime), value);
    case TF_pipeLevel: return cformat(tableCellFormat(ds.digitsPipeLevel), value);
    case TF_level: return cformat(tableCellFormat(ds.digitsLevel), value);
    case TF_headDifference: return cformat(tableCellFormat(ds.digitsHeadDifference), value);
    case TF_flow: return formatFlow(ds, value, stored);
    default: return {};
  }
}

void drawUnsteadyTable(Surface& s, const PageInputs& in, double charHeight, int tablePage) {
  const std::vector<double> bounds = {10, 40, 70, 100, 130, 160};
  const DisplaySettings& ds = in.settings;
  const std::vector<TableColumn> columns = {
      clockColumn(), timeColumn(), pipeLevelColumn(ds), levelColumn(ds), headDifferenceColumn(),
  };
  drawTable(s, in, bounds, columns, tablePage, charHeight);
}

void drawSteadyTable(Surface& s, const PageInputs& in, double charHeight, int tablePage) {
  const std::vector<double> bounds = {10, 31, 52, 82, 110, 137, 160};
  const DisplaySettings& ds = in.settings;
  const std::vector<TableColumn> columns = {
      clockColumn(), timeColumn(), flowColumn(), pipeLevelColumn(ds), levelColumn(ds), headDifferenceColumn(),
  };
  drawTable(s, in, bounds, columns, tablePage, charHeight);
}

} // namespace tov
