#include "dialogs/PageFormatModel.h"

#include <algorithm>

#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

namespace {

using F = PageField;

struct RecordField {
  F field;
  int number;
};
const RecordField kFields[] = {
    {F::GraphPrefix, F_graphPagePrefix}, {F::GraphNumber, F_graphPageNumber}, {F::GraphSuffix, F_graphPageSuffix},
    {F::TablePrefix, F_tablePagePrefix}, {F::TableNumber, F_tablePageNumber}, {F::TableSuffix, F_tablePageSuffix},
    {F::FooterTop, F_footerTop},         {F::FooterLeft, F_footerLeft},
};

constexpr double kMmPerPoint = 25.4 / 72.0;

} // namespace

const std::vector<std::string>& PageFormatModel::listEntries(PageField field) {
  static const std::vector<std::string> none;
  static const std::vector<std::string> graphPrefix{kNoPrefix, "-", "("};
  static const std::vector<std::string> prefix{"", "-", "("};
  static const std::vector<std::string> suffix{"", "-", ")"};
  switch (field) {
  case F::GraphPrefix: return graphPrefix;
  case F::TablePrefix: return prefix;
  case F::GraphSuffix:
  case F::TableSuffix: return suffix;
  default: return none;
  }
}

void PageFormatModel::openPageFormat(const TestRecord& record, int paperHeightMm) {
  for (const RecordField& f : kFields) setText(f.field, record.field(f.number));
  centred_ = record.fieldInt(F_footerCentred) != 0;
  paperHeightMm_ = paperHeightMm;
  if (text(F::FooterTop).empty() && text(F::FooterLeft).empty()) restoreStandard();
  refreshSample(PageRow::Graph);
  refreshSample(PageRow::Table);
  openedTexts_ = texts_;
  openedCentred_ = centred_;
}

void PageFormatModel::restoreStandard() {
  // Near the paper's bottom edge, where the whole footer still prints.
  setText(F::FooterTop, cformat("%d", std::max(paperHeightMm_ - kFooterBottomSpaceMm, 0)));
  setText(F::FooterLeft, kDefaultFooterLeft);
  centred_ = true;
}

void PageFormatModel::refreshSample(PageRow row) {
  const bool graph = row == PageRow::Graph;
  samples_[graph ? 0 : 1] = graph ? text(F::GraphPrefix) + text(F::GraphNumber) + text(F::GraphSuffix)
                                  : text(F::TablePrefix) + text(F::TableNumber) + text(F::TableSuffix);
}

void PageFormatModel::fieldLostFocus(PageField field) {
  const bool graph = field == F::GraphPrefix || field == F::GraphNumber || field == F::GraphSuffix;
  const bool table = field == F::TablePrefix || field == F::TableNumber || field == F::TableSuffix;
  if (!graph && !table) return;
  if (field == F::GraphPrefix || field == F::TablePrefix) {
    if (field == F::GraphPrefix && text(field).find("無し") != std::string::npos) setText(field, "");
    // An opening bracket or dash closes itself when nothing follows yet.
    const F suffix = graph ? F::GraphSuffix : F::TableSuffix;
    if (text(suffix).empty()) {
      if (text(field) == "(") setText(suffix, ")");
      if (text(field) == "-") setText(suffix, "-");
    }
  }
  refreshSample(graph ? PageRow::Graph : PageRow::Table);
}

bool PageFormatModel::footerMayBeOffPaper(double footerFontPoints) const {
  return toInt(text(F::FooterTop)) + footerFontPoints * kMmPerPoint > paperHeightMm_;
}

void PageFormatModel::storePageFormat(TestRecord& record, double footerFontPoints) {
  const bool unchanged = texts_ == openedTexts_ && centred_ == openedCentred_;
  if (!unchanged) {
    fieldLostFocus(F::GraphPrefix);
    fieldLostFocus(F::TablePrefix);
    for (const RecordField& f : kFields) record.setField(f.number, text(f.field));
    record.setField(F_footerCentred, cformat("%d", centred_ ? 1 : 0));
  }
  if (footerMayBeOffPaper(footerFontPoints)) reportMessage(IDS_FOOTER_OFF_PAPER, text(F::FooterTop));
}

} // namespace tov
