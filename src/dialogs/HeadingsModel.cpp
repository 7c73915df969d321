#include "dialogs/HeadingsModel.h"

#include <algorithm>
#include <cmath>

#include "files/TesterRegister.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

namespace {

// The record field each text is loaded from and stored into (0: none).
constexpr int kFieldOf[kHeadingItemCount] = {
    F_surveyNameLabel, F_surveyName, F_surveyLocationLabel, F_surveyLocation, F_testIdNumberLabel, F_testIdNumber,
    F_testDateYear, F_testDateMonth, F_testDateDay, F_datumKind, F_collarElevation,
    F_testerName, F_weather, F_geologyName, F_nValue,
    F_testMethod, F_depthFrom, F_depthTo, F_sectionLength, F_equilibriumLevel, F_startHeadDifference, F_steadyFlow,
    F_pipeTopHeight, F_upperSeparation, F_lowerSeparation, F_boreDiameter, F_pipeInnerDiameter,
    F_equivalentDiameter, F_steadyLevel, F_steadyHeadDifference,
    F_graphTitle, F_tableTitle, F_contractorName,
    0, 0, 0,
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

bool hasExponentLetter(std::string_view text) { return text.find_first_of("Ee") != std::string_view::npos; }

} // namespace

const std::vector<std::string>& HeadingsModel::weatherChoices() {
  static const std::vector<std::string> choices{"快晴",         "晴",           "くもり",       "雨", "晴時々くもり",
                                                "くもり時々雨", "晴一時くもり", "くもり一時雨", ""};
  return choices;
}

const std::vector<std::string>& HeadingsModel::testMethodChoices() {
  static const std::vector<std::string> choices{"汲上げ(回復)", "投入", "揚水", "注水"};
  return choices;
}

const std::vector<std::string>& HeadingsModel::measuredChoices() {
  static const std::vector<std::string> choices{"試験前", "試験後"};
  return choices;
}

const std::vector<std::string>& HeadingsModel::exponentChoices() {
  static const std::vector<std::string> choices{"x1",  "E-1", "E-2", "E-3", "E-4",
                                                "E-5", "E-6", "E-7", "E-8", ""};
  return choices;
}

std::vector<std::string> HeadingsModel::readTesterNames(const std::filesystem::path& registerFile) {
  std::vector<std::string> names;
  if (auto read = readTesterRegister(registerFile)) {
    for (std::string& name : *read)
      if (!name.empty()) names.push_back(std::move(name));
  }
  return names;
}

HeadingsModel::FlowParts HeadingsModel::splitFlow(std::string_view flow) {
  // Only a number whose exponent is one of the picker's entries is split;
  // any other text (E-9, E+1, E-05, a text that is no number) stays whole
  // in the Qo edit, so that joining on OK gives it back unchanged.
  const std::string exponent = splitFlowText(flow, 1);
  const std::string mantissa = splitFlowText(flow, 0);
  const auto& choices = exponentChoices();
  const bool listed = exponent.size() > 1 && std::find(choices.begin(), choices.end(), exponent) != choices.end();
  if (listed && !mantissa.empty() && mantissa.size() < flow.size()) return {mantissa, exponent};
  return {std::string(flow), "x1"};
}

void HeadingsModel::showFlow(std::string_view flow) {
  FlowParts parts = splitFlow(flow);
  setText(HeadingItem::SteadyFlow, std::move(parts.mantissa));
  exponent_ = std::move(parts.exponent);
}

void HeadingsModel::openHeadings(const TestRecord& record, const HeadingDefaults& defaults,
                                 std::vector<std::string> testerNames) {
  for (int i = 0; i < kHeadingItemCount; ++i) texts_[static_cast<std::size_t>(i)] = record.field(kFieldOf[i]);
  auto fallBack = [this](HeadingItem item, const std::string& defaultText) {
    if (text(item).empty()) setText(item, defaultText);
  };
  fallBack(HeadingItem::SurveyNameLabel, defaults.surveyNameLabel);
  fallBack(HeadingItem::SurveyLocationLabel, defaults.surveyLocationLabel);
  fallBack(HeadingItem::TestIdNumberLabel, defaults.testIdNumberLabel);
  fallBack(HeadingItem::GraphTitle, defaults.graphTitle);
  fallBack(HeadingItem::TableTitle, defaults.tableTitle);

  const int kind = record.fieldInt(F_formulaKind);
  if (kind == 4) {
    setText(HeadingItem::FlowResult, record.pointS1());
    setText(HeadingItem::LevelResult, record.pointT2());
    setText(HeadingItem::HeadDifferenceResult, record.pointS2());
  }
  showFlow(record.steadyFlow());
  showGeology_ = record.fieldInt(F_showGeology) == 1;
  showNValue_ = record.fieldInt(F_showNValue) == 1;
  equilibriumMeasured_ = record.fieldInt(F_equilibriumMeasured) == 1 ? 1 : 0;
  testerNames_ = std::move(testerNames);
  formula_ = (kind >= 0 && kind <= 4) ? kind : 0;
  relevantOnly_ = false;
  openedTexts_ = texts_;
  openedTexts_[index(HeadingItem::SteadyFlow)] = record.steadyFlow();
  openedCodes_ = codes();
}

std::array<int, 4> HeadingsModel::codes() const {
  return {formula_, equilibriumMeasured_, showGeology_ ? 1 : 0, showNValue_ ? 1 : 0};
}

void HeadingsModel::setFormula(int kind) { formula_ = (kind >= 0 && kind <= 4) ? kind : 0; }

void HeadingsModel::setRelevantOnly(bool on) { relevantOnly_ = on; }

bool HeadingsModel::isEnabled(HeadingItem item) const {
  if (!relevantOnly_) return true;
  if (formula_ == 4)
    return item != HeadingItem::StartHeadDifference && item != HeadingItem::PipeInnerDiameter &&
           item != HeadingItem::EquivalentDiameter;
  return item != HeadingItem::SteadyFlow && item != HeadingItem::SteadyLevel &&
         item != HeadingItem::SteadyHeadDifference;
}

std::string HeadingsModel::normaliseLevelSign(std::string_view text) {
  if (!isNumberText(text) || text.find_first_of("+-") != std::string_view::npos) return std::string(text);
  // The sign goes before the number, not before the blanks in front of it
  // ("- 5" would read as 0).
  std::size_t at = 0;
  while (at < text.size() && isBlank(text[at])) ++at;
  std::string withSign(text);
  withSign.insert(at, 1, '-');
  return withSign;
}

void HeadingsModel::applySign(HeadingItem item) { setText(item, normaliseLevelSign(text(item))); }

void HeadingsModel::depthToLeft() {
  applySign(HeadingItem::DepthFrom);
  applySign(HeadingItem::DepthTo);
  applySign(HeadingItem::EquilibriumLevel);
  const std::string& from = text(HeadingItem::DepthFrom);
  const std::string& to = text(HeadingItem::DepthTo);
  if (isNumberText(from) && isNumberText(to))
    setText(HeadingItem::SectionLength, cformat("%.2f", std::fabs(toDouble(to) - toDouble(from))));
}

void HeadingsModel::equilibriumLevelLeft() {
  applySign(HeadingItem::EquilibriumLevel);
  const double level = toDouble(text(HeadingItem::EquilibriumLevel));
  if (level < -kLevelLimit || level > kLevelLimit) reportMessage(IDS_BAD_LEVEL);
}

void HeadingsModel::steadyLevelLeft() { applySign(HeadingItem::SteadyLevel); }

void HeadingsModel::copyFlowResultUp() {
  if (!text(HeadingItem::FlowResult).empty()) showFlow(text(HeadingItem::FlowResult));
}

void HeadingsModel::copyLevelResultUp() {
  if (!text(HeadingItem::LevelResult).empty()) setText(HeadingItem::SteadyLevel, text(HeadingItem::LevelResult));
}

void HeadingsModel::copyHeadDifferenceResultUp() {
  if (!text(HeadingItem::HeadDifferenceResult).empty())
    setText(HeadingItem::SteadyHeadDifference, text(HeadingItem::HeadDifferenceResult));
}

void HeadingsModel::acceptHeadings() {
  // A mantissa without an exponent of its own takes the picker's entry
  // ("x1" and the empty entry add nothing; an empty Qo stays empty).
  std::string flow = text(HeadingItem::SteadyFlow);
  if (isNumberText(flow) && !hasExponentLetter(flow) && exponent_.find('E') != std::string::npos) {
    while (!flow.empty() && isBlank(flow.back())) flow.pop_back();
    setText(HeadingItem::SteadyFlow, flow + exponent_);
  }
  applySign(HeadingItem::DepthFrom);
  applySign(HeadingItem::DepthTo);
  applySign(HeadingItem::EquilibriumLevel);
  applySign(HeadingItem::SteadyLevel);
}

void HeadingsModel::storeHeadings(TestRecord& record) const {
  // OK without a change leaves the test as it was (labels shown with their
  // defaults stay empty, an empty code is not written as "0").
  if (texts_ == openedTexts_ && codes() == openedCodes_) return;
  for (int i = 0; i < kHeadingItemCount; ++i)
    if (kFieldOf[i]) record.setField(kFieldOf[i], texts_[static_cast<std::size_t>(i)]);
  record.set_formulaKind(cformat("%d", formula_));
  record.set_equilibriumMeasured(cformat("%d", equilibriumMeasured_));
  record.set_showGeology(cformat("%d", showGeology_ ? 1 : 0));
  record.set_showNValue(cformat("%d", showNValue_ ? 1 : 0));
}

} // namespace tov
