// What a logger import asks of the test it writes into, and what OK writes.
#include "dialogs/ImportTargetModel.h"

#include <algorithm>
#include <cmath>

#include "dialogs/HeadingsModel.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "record/Permeability.h"

namespace tov {

using namespace logger;

namespace {

// ho typed beyond this (m) is no level of a borehole (見出し's check).
constexpr double kMostRestLevel = 1000;

bool blank(const std::string& text) { return text.find_first_not_of(" \t") == std::string::npos; }

} // namespace

ImportTargetModel::ImportTargetModel(const TestRecord& target, int digitsPermeability)
    : target_(target), digits_(digitsPermeability) {
  const int formula = target.fieldInt(F_formulaKind);
  formula_ = formula >= 0 && formula <= 4 ? formula : 0;
  const bool sized = target.fieldValue(F_sectionLength) >= 0.001 && target.fieldValue(F_boreDiameter) >= 0.001 &&
                     (steady() || target.fieldValue(F_equivalentDiameter) > 0);
  asks_ = !sized || !target.fieldIsNumber(F_equilibriumLevel);
  sizes_ = {target.field(F_sectionLength), target.field(F_boreDiameter), target.field(F_equivalentDiameter)};
  // L from the depths, as 見出し gives it.
  if (!target.fieldIsNumber(F_sectionLength) && target.fieldIsNumber(F_depthFrom) && target.fieldIsNumber(F_depthTo))
    sizes_[0] = cformat("%.2f", std::fabs(target.fieldValue(F_depthTo) - target.fieldValue(F_depthFrom)));
}

const std::array<const char*, 5>& ImportTargetModel::formulaNames() {
  static const std::array<const char*, 5> names{"近似式 (L/D>=4)・難透水層なし", "基本式・難透水層なし",
                                                "近似式 (L/D>=4)・難透水層あり", "基本式・難透水層あり",
                                                "定常法（流量の列から）"};
  return names;
}

void ImportTargetModel::proposeMethod(ImportSession& session) {
  if (!asks_ || !blank(target_.field(F_formulaKind))) return;
  session.setSteady(true);
  setFormula(session.settings().columns.flow >= 0 ? 4 : formula_, session);
}

void ImportTargetModel::setFormula(int formula, ImportSession& session) {
  formula_ = std::clamp(formula, 0, 4);
  session.setSteady(steady());
}

void ImportTargetModel::typeRestLevel(std::string text) {
  restTyped_ = !blank(text);
  restLevel_ = restTyped_ ? std::move(text) : std::string();
}

const std::string& ImportTargetModel::restLevelLeft() {
  if (restTyped_) restLevel_ = HeadingsModel::normaliseLevelSign(restLevel_);
  return restLevel_;
}

std::string ImportTargetModel::restLevelShown(const ImportSession& session,
                                              const std::optional<TestRecord>& written) const {
  if (restTyped_) return restLevel_;
  if (written) return written->equilibriumLevel();
  TestRecord probe = target_;
  session.fillHeadings(probe, !keepTyped_);
  return probe.field(F_equilibriumLevel);
}

std::string ImportTargetModel::problem() const {
  if (!asks_) return {};
  struct Named { const std::string* text; const char* name; };
  for (const Named size : {Named{&sizes_[0], "試験区間長さ L"}, Named{&sizes_[1], "試験区間孔径 D"},
                           Named{&sizes_[2], "等価内径 de"}}) {
    if (blank(*size.text) || (steady() && size.text == &sizes_[2])) continue;
    const auto value = parseNumber(*size.text, DecimalMark::Point);
    if (!value || !(*value >= 0.001) || *value > 1000) return std::string(size.name) + " は 0.001〜1000 m の数値で入力してください.";
  }
  if (restTyped_) {
    const auto value = parseNumber(HeadingsModel::normaliseLevelSign(restLevel_), DecimalMark::Point);
    if (!value || !(std::fabs(*value) <= kMostRestLevel)) return "平衡水位 ho は -1000〜1000 m の数値で入力してください.";
  }
  return {};
}

bool ImportTargetModel::write(const ImportSession& session, TestRecord& record, std::string* error) const {
  if (!session.apply(record, error)) return false;
  const bool typedOk = asks_ && problem().empty();
  if (asks_) record.setField(F_formulaKind, std::to_string(formula_));
  if (typedOk) {
    const int fields[] = {F_sectionLength, F_boreDiameter, F_equivalentDiameter};
    for (std::size_t i = 0; i < sizes_.size(); ++i)
      if (!blank(sizes_[i]) && !(steady() && fields[i] == F_equivalentDiameter)) record.setField(fields[i], sizes_[i]);
  }
  session.fillHeadings(record, !keepTyped_);
  if (typedOk && restTyped_) {
    record.setField(F_equilibriumLevel, HeadingsModel::normaliseLevelSign(restLevel_));
    record.deriveAllRows();
  }
  setAnalysisBySuggestion(record, digits_);
  return true;
}

std::optional<TestRecord> ImportTargetModel::written(const ImportSession& session) const {
  if (!session.series()) return std::nullopt;
  TestRecord record = target_;
  std::string error;
  if (!write(session, record, &error)) return std::nullopt;
  return record;
}

std::vector<std::string> ImportTargetModel::warnings(const ImportSession& session,
                                                    const std::optional<TestRecord>& written) const {
  std::vector<std::string> texts;
  if (const std::string typed = problem(); !typed.empty()) texts.push_back(typed);
  if (!written) return texts;
  for (std::string& text : session.warnings(*written, &target_))
    if (text != messageText(IDS_NO_EQUILIBRIUM)) texts.push_back(std::move(text));
  return texts;
}

std::string ImportTargetModel::outcome(const TestRecord& r) {
  const bool isSteady = r.fieldInt(F_formulaKind) == Steady;
  if (isNumberText(r.permeabilityText())) {
    const std::string k = "OK で k " + r.permeabilityText() + " を書きます";
    if (isSteady)
      return k + " (定常時の点 " + r.field(F_point1Row) + " 行: Q " + r.field(F_pointS1) + " m³/s, s " + r.field(F_pointS2) +
             " m)";
    return k + " (推奨区間 " + r.field(F_point1Row) + "〜" + r.field(F_point2Row) + " 行)";
  }
  if (!r.fieldIsNumber(F_equilibriumLevel))
    return "k は書きません: 平衡水位 ho がありません (記録に試験前の静止した水位がなく、試験にもありません). "
           "ho を入力すると k を求めます.";
  std::string missing;
  if (!(r.fieldValue(F_sectionLength) >= 0.001)) missing += "試験区間長さ L・";
  if (!(r.fieldValue(F_boreDiameter) >= 0.001)) missing += "試験区間孔径 D・";
  if (!isSteady && !(r.fieldValue(F_equivalentDiameter) > 0)) missing += "等価内径 de・";
  if (!missing.empty())
    return "k は書きません: " + missing.substr(0, missing.size() - std::string("・").size()) + " がありません";
  if (isSteady) return "k は書きません: 定常時の点の Q か s が 0 です";
  return "k は書きません: s が直線的に減る区間がありません";
}

} // namespace tov
