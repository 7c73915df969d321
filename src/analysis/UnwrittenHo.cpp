// 検討事項 of a test without a written ho.
#include "analysis/UnwrittenHo.h"

#include <algorithm>

#include "analysis/LineFit.h"
#include "analysis/Samples.h"
#include "record/CFormat.h"
#include "record/Permeability.h"

namespace tov {

bool restLevelUnwritten(const TestRecord& record) {
  return record.field(F_equilibriumLevel).find_first_not_of(" \t") == std::string::npos;
}

void restateForUnwrittenHo(const TestRecord& record, std::vector<Check>& checks) {
  if (!restLevelUnwritten(record)) return;
  const std::string& k = record.permeabilityText();
  const std::string missing = "平衡水位 ho が記入されていません (s は ho を 0 として求めています)";
  const std::string tail = isNumberText(k) ? ". k " + k + " は ho の記入なしに求めたものです. ho を見出しに記入してください."
                                           : ". k は ho を見出しに記入してから求めてください.";
  if (record.fieldInt(F_formulaKind) == Steady) {
    const bool sized = geometryOf(record).usable();
    if (sized && !isNumberText(k) && !steadyFlowSamples(record).empty())
      checks.push_back({CheckKind::RestLevel, 0.0, missing + tail});
    return;
  }
  const auto restNote = [](const Check& c) { return c.kind == CheckKind::RestLevel || c.kind == CheckKind::RestSensitive; };
  const auto first = std::find_if(checks.begin(), checks.end(), restNote);
  if (first == checks.end()) return;
  std::string text = missing;
  if (first->kind == CheckKind::RestLevel)
    text += ". 回復の記録は s = " + cformat("%.3f", first->value) + " m に向かっています";
  const Check note{CheckKind::RestLevel, first->kind == CheckKind::RestLevel ? first->value : 0.0, text + tail};
  const auto at = first - checks.begin();
  std::erase_if(checks, restNote);
  checks.insert(checks.begin() + at, note);
}

} // namespace tov
