#pragma once
// The test record: everything one permeability-test document holds.
//
// 100 numbered text fields (the number is the line position in the saved
// file, so the numbering is a file contract) and a reading table of 120 rows
// by 6 text cells. Every value is text, converted to a number where it is
// used.
#include <array>
#include <string>
#include <string_view>

namespace tov {

inline constexpr int kFieldCount = 100;
inline constexpr int kRowCount = 120;
inline constexpr int kColumnCount = 6;

// Field numbers. Fields without a name are unused but kept.
enum Field : int {
  F_surveyName = 1, F_surveyLocation = 2, F_testIdNumber = 3,
  F_testDateYear = 4, F_testDateMonth = 5, F_testDateDay = 6,
  F_datumKind = 7, F_collarElevation = 8, F_geologyName = 9, F_nValue = 10,
  F_testerName = 11, F_testMethod = 12,
  F_surveyNameLabel = 15, F_surveyLocationLabel = 16, F_testIdNumberLabel = 17,
  F_weather = 18, F_equilibriumMeasured = 19, F_equivalentDiameter = 20,
  F_pipeTopHeight = 21, F_pipeInnerDiameter = 22, F_boreDiameter = 23,
  F_sectionLength = 24, F_depthFrom = 25, F_depthTo = 26,
  F_equilibriumLevel = 27, F_startHeadDifference = 28,
  F_tableTitle = 30, F_graphTitle = 31, F_contractorName = 32,
  F_formulaKind = 33, F_showGeology = 34, F_showNValue = 35,
  F_pointT1 = 36, F_pointT2 = 37, F_pointS1 = 38, F_pointS2 = 39,
  F_point1Row = 40, F_point2Row = 41, F_permeabilityText = 42,
  F_graphATimeFrom = 43, F_graphATimeTo = 44, F_graphATimeStep = 45,
  F_graphATimeGrid1 = 46, F_graphATimeGrid2 = 47,
  F_graphAValueFrom = 48, F_graphAValueTo = 49, F_graphAValueStep = 50,
  F_graphAValueGrid1 = 51, F_graphAValueGrid2 = 52,
  F_graphBTimeFrom = 53, F_graphBTimeTo = 54, F_graphBTimeStep = 55,
  F_graphBTimeGrid1 = 56, F_graphBTimeGrid2 = 57,
  F_graphBLevelFrom = 58, F_graphBLevelTo = 59, F_graphBLevelStep = 60,
  F_graphBLevelGrid1 = 61, F_graphBLevelGrid2 = 62,
  F_gradientText = 63, F_grid2WhenGrid1Small = 65,
  F_steadyFlow = 66, F_steadyLevel = 67, F_steadyHeadDifference = 68,
  F_upperSeparation = 70, F_lowerSeparation = 71,
  F_previewTimeFrom = 72, F_previewTimeTo = 73,
  F_previewLevelBottom = 74, F_previewLevelTop = 75,
  F_graphPagePrefix = 81, F_graphPageSuffix = 82, F_graphPageNumber = 83,
  F_tablePagePrefix = 84, F_tablePageSuffix = 85, F_tablePageNumber = 86,
  F_footerTop = 87, F_footerLeft = 88, F_footerCentred = 89,
};

// Reading-table columns.
enum Column : int {
  C_time = 1, C_pipeLevel = 2, C_clockTime = 3, C_level = 4, C_headDifference = 5, C_flow = 6,
};

// -1 blank (empty or only white space); 1 when the first non-blank
// character is one of "1234567890.+-"; 0 otherwise.
int classifyNumberText(std::string_view text);
inline bool isNumberText(std::string_view text) { return classifyNumberText(text) > 0; }

// Splits a flow text ("2.5E-6") at the first 'E'. part 0: mantissa (the
// whole text when it has no 'E' or begins with it); part 1: "E" + exponent
// (empty without 'E'); part 2: the exponent text alone. A text that fails
// the number check gives "" for every part.
std::string splitFlowText(std::string_view text, int part);

// The texts that fill empty title and label fields (from the settings).
struct HeadingDefaults {
  std::string graphTitle;
  std::string tableTitle;
  std::string surveyNameLabel;
  std::string surveyLocationLabel;
  std::string testIdNumberLabel;
  std::string contractorName;
};

class ReadingTable {
public:
  // Rows 1..120, columns 1..6. Out-of-range access reads "" and writes nothing.
  const std::string& cell(int row, int column) const;
  void setCell(int row, int column, std::string text);
  void clear();
  bool operator==(const ReadingTable&) const = default;

private:
  std::array<std::array<std::string, kColumnCount>, kRowCount> cells_{};
};

class TestRecord {
public:
  // Defined out of line: clang 14 crashes evaluating an inline default
  // constructor of this size for the process-wide record (theRecord()).
  TestRecord();

  // Fields 1..100. Out-of-range access reads "" and writes nothing.
  const std::string& field(int number) const;
  void setField(int number, std::string text);
  double fieldValue(int number) const;   // toDouble of the field
  int fieldInt(int number) const;        // toInt of the field
  bool fieldIsNumber(int number) const;  // classifyNumberText(field) > 0

  const std::string& cell(int row, int column) const { return readings.cell(row, column); }
  void setCell(int row, int column, std::string text) { readings.setCell(row, column, std::move(text)); }

  // Consecutive rows from row 1 whose cell in `column` holds a number; at
  // most 120; a column outside 1..6 gives 0. countRows(1) is the row count.
  int countRows(int column = C_time) const;
  // Index of the last row that holds any text in any column (0 if none).
  int lastRowWithText() const;
  // h = pipeTopHeight - h', s = |equilibriumLevel - h|, written with "%g";
  // empty when t or h' is not a number. Rows outside 1..120 are ignored.
  void deriveReadingRow(int row);
  // deriveReadingRow for rows 1..countRows(1).
  void deriveAllRows();
  // Every field and every cell becomes "".
  void clearRecord();
  // Puts usable defaults into unset scale fields and empty titles/labels.
  void fillScaleDefaults(const HeadingDefaults& defaults);

  // Named access to the fields (the numbers above stay the contract).
#define TOV_FIELD(name, number) \
  const std::string& name() const { return field(number); } \
  void set_##name(std::string text) { setField(number, std::move(text)); }
  TOV_FIELD(surveyName, F_surveyName)
  TOV_FIELD(surveyLocation, F_surveyLocation)
  TOV_FIELD(testIdNumber, F_testIdNumber)
  TOV_FIELD(testDateYear, F_testDateYear)
  TOV_FIELD(testDateMonth, F_testDateMonth)
  TOV_FIELD(testDateDay, F_testDateDay)
  TOV_FIELD(datumKind, F_datumKind)
  TOV_FIELD(collarElevation, F_collarElevation)
  TOV_FIELD(geologyName, F_geologyName)
  TOV_FIELD(nValue, F_nValue)
  TOV_FIELD(testerName, F_testerName)
  TOV_FIELD(testMethod, F_testMethod)
  TOV_FIELD(surveyNameLabel, F_surveyNameLabel)
  TOV_FIELD(surveyLocationLabel, F_surveyLocationLabel)
  TOV_FIELD(testIdNumberLabel, F_testIdNumberLabel)
  TOV_FIELD(weather, F_weather)
  TOV_FIELD(equilibriumMeasured, F_equilibriumMeasured)
  TOV_FIELD(equivalentDiameter, F_equivalentDiameter)
  TOV_FIELD(pipeTopHeight, F_pipeTopHeight)
  TOV_FIELD(pipeInnerDiameter, F_pipeInnerDiameter)
  TOV_FIELD(boreDiameter, F_boreDiameter)
  TOV_FIELD(sectionLength, F_sectionLength)
  TOV_FIELD(depthFrom, F_depthFrom)
  TOV_FIELD(depthTo, F_depthTo)
  TOV_FIELD(equilibriumLevel, F_equilibriumLevel)
  TOV_FIELD(startHeadDifference, F_startHeadDifference)
  TOV_FIELD(tableTitle, F_tableTitle)
  TOV_FIELD(graphTitle, F_graphTitle)
  TOV_FIELD(contractorName, F_contractorName)
  TOV_FIELD(formulaKind, F_formulaKind)
  TOV_FIELD(showGeology, F_showGeology)
  TOV_FIELD(showNValue, F_showNValue)
  TOV_FIELD(pointT1, F_pointT1)
  TOV_FIELD(pointT2, F_pointT2)
  TOV_FIELD(pointS1, F_pointS1)
  TOV_FIELD(pointS2, F_pointS2)
  TOV_FIELD(point1Row, F_point1Row)
  TOV_FIELD(point2Row, F_point2Row)
  TOV_FIELD(permeabilityText, F_permeabilityText)
  TOV_FIELD(graphATimeFrom, F_graphATimeFrom)
  TOV_FIELD(graphATimeTo, F_graphATimeTo)
  TOV_FIELD(graphATimeStep, F_graphATimeStep)
  TOV_FIELD(graphATimeGrid1, F_graphATimeGrid1)
  TOV_FIELD(graphATimeGrid2, F_graphATimeGrid2)
  TOV_FIELD(graphAValueFrom, F_graphAValueFrom)
  TOV_FIELD(graphAValueTo, F_graphAValueTo)
  TOV_FIELD(graphAValueStep, F_graphAValueStep)
  TOV_FIELD(graphAValueGrid1, F_graphAValueGrid1)
  TOV_FIELD(graphAValueGrid2, F_graphAValueGrid2)
  TOV_FIELD(graphBTimeFrom, F_graphBTimeFrom)
  TOV_FIELD(graphBTimeTo, F_graphBTimeTo)
  TOV_FIELD(graphBTimeStep, F_graphBTimeStep)
  TOV_FIELD(graphBTimeGrid1, F_graphBTimeGrid1)
  TOV_FIELD(graphBTimeGrid2, F_graphBTimeGrid2)
  TOV_FIELD(graphBLevelFrom, F_graphBLevelFrom)
  TOV_FIELD(graphBLevelTo, F_graphBLevelTo)
  TOV_FIELD(graphBLevelStep, F_graphBLevelStep)
  TOV_FIELD(graphBLevelGrid1, F_graphBLevelGrid1)
  TOV_FIELD(graphBLevelGrid2, F_graphBLevelGrid2)
  TOV_FIELD(gradientText, F_gradientText)
  TOV_FIELD(grid2WhenGrid1Small, F_grid2WhenGrid1Small)
  TOV_FIELD(steadyFlow, F_steadyFlow)
  TOV_FIELD(steadyLevel, F_steadyLevel)
  TOV_FIELD(steadyHeadDifference, F_steadyHeadDifference)
  TOV_FIELD(upperSeparation, F_upperSeparation)
  TOV_FIELD(lowerSeparation, F_lowerSeparation)
  TOV_FIELD(previewTimeFrom, F_previewTimeFrom)
  TOV_FIELD(previewTimeTo, F_previewTimeTo)
  TOV_FIELD(previewLevelBottom, F_previewLevelBottom)
  TOV_FIELD(previewLevelTop, F_previewLevelTop)
  TOV_FIELD(graphPagePrefix, F_graphPagePrefix)
  TOV_FIELD(graphPageSuffix, F_graphPageSuffix)
  TOV_FIELD(graphPageNumber, F_graphPageNumber)
  TOV_FIELD(tablePagePrefix, F_tablePagePrefix)
  TOV_FIELD(tablePageSuffix, F_tablePageSuffix)
  TOV_FIELD(tablePageNumber, F_tablePageNumber)
  TOV_FIELD(footerTop, F_footerTop)
  TOV_FIELD(footerLeft, F_footerLeft)
  TOV_FIELD(footerCentred, F_footerCentred)
#undef TOV_FIELD

  bool operator==(const TestRecord&) const = default;

  ReadingTable readings;

private:
  std::array<std::string, kFieldCount> fields_{};
};

// The one record of the running program. Code that works on a record takes
// it as a parameter, so tests can use records of their own.
TestRecord& theRecord();

} // namespace tov
