#pragma once
// The dialog "ページ書式" without its widgets: the page number of the graph
// page and of the first table page, each with a text before and after it,
// and where the footer stands on the paper. The values are fields of the
// test; OK writes them back and warns when the footer may lie off the paper.
#include <array>
#include <string>
#include <vector>

#include "record/TestRecord.h"

namespace tov {

enum class PageField : int {
  GraphPrefix, GraphNumber, GraphSuffix,
  TablePrefix, TableNumber, TableSuffix,
  FooterTop, FooterLeft,
};
inline constexpr int kPageFieldCount = static_cast<int>(PageField::FooterLeft) + 1;

// The two rows of page numbers.
enum class PageRow { Graph, Table };

class PageFormatModel {
public:
  // The graph prefix entry that stands for no text.
  static constexpr const char* kNoPrefix = "   <無し>";
  // Left edge of the footer when it is not centred (mm from the paper's
  // left edge), and the space the footer keeps from the paper's bottom edge
  // when it is placed by default.
  static constexpr const char* kDefaultFooterLeft = "106";
  static constexpr int kFooterBottomSpaceMm = 15;

  // The entries of an editable drop-down (the four prefix and suffix
  // boxes); empty for the other fields.
  static const std::vector<std::string>& listEntries(PageField field);

  // Loads the test's fields; a footer without a position gets the default
  // one for paper of this height (mm).
  void openPageFormat(const TestRecord& record, int paperHeightMm);
  // 標準の設定: the default footer position; the page numbers stay.
  void restoreStandard();
  // A field lost the focus: a prefix applies its rules, then the row's
  // sample is refreshed.
  void fieldLostFocus(PageField field);
  // A sample field received the focus: it is refreshed.
  void sampleFocused(PageRow row) { refreshSample(row); }
  // 左右中央.
  void setCentred(bool on) { centred_ = on; }
  bool centred() const { return centred_; }
  bool footerLeftEnabled() const { return !centred_; }

  // OK: the prefixes' rules as when they are left (OK may come by the Enter
  // key from inside one), the fields back into the test (左右中央 as "0" /
  // "1"), then the warning when the footer, in a font of this size
  // (points), may reach below the paper's bottom edge. When nothing was
  // changed since opening, the test is left as it was (an empty footer
  // position shown with its default stays empty).
  void storePageFormat(TestRecord& record, double footerFontPoints);
  bool footerMayBeOffPaper(double footerFontPoints) const;

  const std::string& text(PageField field) const { return texts_[index(field)]; }
  void setText(PageField field, std::string text) { texts_[index(field)] = std::move(text); }
  const std::string& sample(PageRow row) const { return samples_[row == PageRow::Graph ? 0 : 1]; }
  int paperHeightMm() const { return paperHeightMm_; }

private:
  static std::size_t index(PageField f) { return static_cast<std::size_t>(f); }
  void refreshSample(PageRow row);

  std::array<std::string, kPageFieldCount> texts_{};
  std::array<std::string, 2> samples_{};
  bool centred_ = false;
  int paperHeightMm_ = 280;
  std::array<std::string, kPageFieldCount> openedTexts_{};
  bool openedCentred_ = false;
};

} // namespace tov
