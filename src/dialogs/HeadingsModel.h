#pragma once
// The headings editor "見出し" without its widgets: every heading of a test
// that is not a reading (identification, geometry, levels, the steady
// values, titles) as the texts the engineer types, the choice of formula,
// the level sign rule, L from the depths, the "↑" buttons that take the
// steady analysis results, the switch that leaves only the fields of the
// chosen formula enabled, and the Qo mantissa with its exponent picker.
//
// The widget half shows what the model holds and forwards each event to
// one operation here.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "record/TestRecord.h"

namespace tov {

// The texts of the dialog, one per edit or combo box.
enum class HeadingItem : int {
  SurveyNameLabel, SurveyName, SurveyLocationLabel, SurveyLocation, TestIdNumberLabel, TestIdNumber,
  DateYear, DateMonth, DateDay, DatumKind, CollarElevation,
  TesterName, Weather, GeologyName, NValue,
  TestMethod, DepthFrom, DepthTo, SectionLength, EquilibriumLevel, StartHeadDifference, SteadyFlow,
  PipeTopHeight, UpperSeparation, LowerSeparation, BoreDiameter, PipeInnerDiameter, EquivalentDiameter,
  SteadyLevel, SteadyHeadDifference,
  GraphTitle, TableTitle, ContractorName,
  // The steady analysis point's Q, h and s: shown, never stored.
  FlowResult, LevelResult, HeadDifferenceResult,
};
inline constexpr int kHeadingItemCount = static_cast<int>(HeadingItem::HeadDifferenceResult) + 1;

class HeadingsModel {
public:
  // Stored levels outside this range are reported when ho is left.
  static constexpr double kLevelLimit = 1000.0;

  // The lists of the combo boxes, in their order.
  static const std::vector<std::string>& weatherChoices();
  static const std::vector<std::string>& testMethodChoices();
  static const std::vector<std::string>& measuredChoices();  // index stored
  // The exponent picker: "x1", "E-1" .. "E-8", "".
  static const std::vector<std::string>& exponentChoices();

  // The tester register's names in order, for the 試験者 list (a missing
  // file gives none, without a message; empty lines are left out).
  static std::vector<std::string> readTesterNames(const std::filesystem::path& registerFile);

  // Opening: every text from the record; empty item labels and titles show
  // the defaults; the analysis results only for the steady method; Qo split
  // into the mantissa and the picker; the formula (outside 0..4: 0).
  void openHeadings(const TestRecord& record, const HeadingDefaults& defaults,
                    std::vector<std::string> testerNames);

  const std::string& text(HeadingItem item) const { return texts_[index(item)]; }
  void setText(HeadingItem item, std::string value) { texts_[index(item)] = std::move(value); }
  const std::vector<std::string>& testerNames() const { return testerNames_; }

  const std::string& exponent() const { return exponent_; }
  void setExponent(std::string entry) { exponent_ = std::move(entry); }
  bool showGeology() const { return showGeology_; }
  void setShowGeology(bool on) { showGeology_ = on; }
  bool showNValue() const { return showNValue_; }
  void setShowNValue(bool on) { showNValue_ = on; }
  int equilibriumMeasured() const { return equilibriumMeasured_; }
  void setEquilibriumMeasured(int index) { equilibriumMeasured_ = index == 1 ? 1 : 0; }

  // The formula (0..4) and the relevant-fields-only switch; both run the
  // enabling rule.
  int formula() const { return formula_; }
  void setFormula(int kind);
  bool relevantOnly() const { return relevantOnly_; }
  void setRelevantOnly(bool on);
  // False for the fields the switch turns off for the chosen formula.
  bool isEnabled(HeadingItem item) const;

  // A level below ground is negative: a number written without any sign
  // gets a "-" in front (after leading blanks); +5, -5 and GL5 stay.
  static std::string normaliseLevelSign(std::string_view text);

  // 試験深度 まで left: the sign rule on both depths and ho, then L from
  // the depths when both are numbers.
  void depthToLeft();
  // 平衡水位 ho left: the sign rule, and "水位データが異常です" for a level
  // beyond ±1000 (the text stays).
  void equilibriumLevelLeft();
  // 定常時の水位 hs left: the sign rule.
  void steadyLevelLeft();

  // The "↑" buttons: a non-empty analysis result goes into its field (Q
  // split into mantissa and exponent as on opening).
  void copyFlowResultUp();
  void copyLevelResultUp();
  void copyHeadDifferenceResultUp();

  // OK: the Qo text and the exponent joined, the sign rule on the levels.
  void acceptHeadings();
  // The write-back after OK: every heading into the record (not the
  // results), the codes as "%d". When nothing differs from opening the
  // record is left as it was, so OK without a change changes nothing.
  void storeHeadings(TestRecord& record) const;

  // The flow text as the Qo edit and picker will show it.
  struct FlowParts {
    std::string mantissa;
    std::string exponent;
  };
  static FlowParts splitFlow(std::string_view flow);

private:
  static std::size_t index(HeadingItem item) { return static_cast<std::size_t>(item); }
  void applySign(HeadingItem item);
  void showFlow(std::string_view flow);

  std::array<std::string, kHeadingItemCount> texts_{};
  // As opened: texts (Qo joined with its exponent) and the codes.
  std::array<std::string, kHeadingItemCount> openedTexts_{};
  std::array<int, 4> openedCodes_{};
  std::array<int, 4> codes() const;
  std::vector<std::string> testerNames_;
  std::string exponent_ = "x1";
  bool showGeology_ = false;
  bool showNValue_ = false;
  int equilibriumMeasured_ = 0;
  int formula_ = 0;
  bool relevantOnly_ = false;
};

} // namespace tov
