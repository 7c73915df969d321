// The page format of a test: the footer defaults, the prefix rules with the
// samples, 標準の設定, and OK with its footer warning.
#include <gtest/gtest.h>

#include "dialogs/PageFormatModel.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {
namespace {

using F = PageField;

class PageFormat : public ::testing::Test {
protected:
  void SetUp() override {
    record.set_graphPageNumber("1");
    record.set_tablePageNumber("2");
  }
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  PageFormatModel model;
};

TEST_F(PageFormat, AFooterWithoutPositionOpensNearTheBottomOfThePaperCentred) {
  for (int paper : {280, 297}) {
    model.openPageFormat(record, paper);
    EXPECT_EQ(toInt(model.text(F::FooterTop)), paper - PageFormatModel::kFooterBottomSpaceMm);
    EXPECT_EQ(model.text(F::FooterLeft), "106");
    EXPECT_TRUE(model.centred());
    EXPECT_FALSE(model.footerLeftEnabled());
    // The default footer prints whole: no warning for it.
    EXPECT_FALSE(model.footerMayBeOffPaper(9.0));
  }
  // Either position given: the fields open as they are.
  record.set_footerLeft("40");
  model.openPageFormat(record, 297);
  EXPECT_EQ(model.text(F::FooterTop), "");
  EXPECT_EQ(model.text(F::FooterLeft), "40");
  EXPECT_FALSE(model.centred());
  EXPECT_TRUE(model.footerLeftEnabled());
}

TEST_F(PageFormat, PrefixRulesWhenAPrefixIsLeft) {
  const struct {
    F prefix;
    const char *typed, *suffixBefore, *prefixAfter, *suffixAfter, *sample;
  } rows[] = {
      {F::GraphPrefix, "   <無し>", "", "", "", "1"},
      {F::GraphPrefix, "(", "", "(", ")", "(1)"},
      {F::GraphPrefix, "(", "]", "(", "]", "(1]"},
      {F::GraphPrefix, "-", "", "-", "-", "-1-"},
      {F::GraphPrefix, "(付表-", "", "(付表-", "", "(付表-1"},
      {F::TablePrefix, "(", "", "(", ")", "(2)"},
      {F::TablePrefix, "-", "", "-", "-", "-2-"},
      // Only the graph prefix has the entry that means no text.
      {F::TablePrefix, "<無し>", "", "<無し>", "", "<無し>2"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.typed);
    const bool graph = row.prefix == F::GraphPrefix;
    const F suffix = graph ? F::GraphSuffix : F::TableSuffix;
    model.openPageFormat(record, 280);
    model.setText(row.prefix, row.typed);
    model.setText(suffix, row.suffixBefore);
    model.fieldLostFocus(row.prefix);
    EXPECT_EQ(model.text(row.prefix), row.prefixAfter);
    EXPECT_EQ(model.text(suffix), row.suffixAfter);
    EXPECT_EQ(model.sample(graph ? PageRow::Graph : PageRow::Table), row.sample);
  }
}

TEST_F(PageFormat, SamplesFollowTheirRowWhenAFieldIsLeftOrTheSampleFocused) {
  model.openPageFormat(record, 280);
  EXPECT_EQ(model.sample(PageRow::Graph), "1");
  model.setText(F::GraphNumber, "5");
  model.setText(F::TableSuffix, "頁");
  EXPECT_EQ(model.sample(PageRow::Graph), "1");
  model.fieldLostFocus(F::GraphNumber);
  EXPECT_EQ(model.sample(PageRow::Graph), "5");
  EXPECT_EQ(model.sample(PageRow::Table), "2");
  model.sampleFocused(PageRow::Table);
  EXPECT_EQ(model.sample(PageRow::Table), "2頁");
}

TEST_F(PageFormat, StandardResetsOnlyTheFooterPosition) {
  record.set_graphPagePrefix("(付表-");
  record.set_footerTop("100");
  record.set_footerLeft("30");
  record.set_footerCentred("0");
  model.openPageFormat(record, 297);
  model.restoreStandard();
  EXPECT_EQ(model.text(F::FooterTop), "282");
  EXPECT_EQ(model.text(F::FooterLeft), "106");
  EXPECT_TRUE(model.centred());
  EXPECT_EQ(model.text(F::GraphPrefix), "(付表-");
  EXPECT_EQ(model.text(F::GraphNumber), "1");
}

TEST_F(PageFormat, OkStoresTheFieldsAndWarnsWhenTheFooterMayLeaveThePaper) {
  const struct {
    const char* top;
    int paper;
    bool warned;
  } rows[] = {
      {"300", 280, true}, {"280", 280, true}, {"276", 280, false}, {"100", 280, false}, {"abc", 280, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.top);
    sink.reported.clear();
    TestRecord target = record;
    model.openPageFormat(record, row.paper);
    model.setText(F::FooterTop, row.top);
    model.setCentred(false);
    model.storePageFormat(target, 9.0);
    EXPECT_EQ(target.footerTop(), row.top);  // kept all the same
    EXPECT_EQ(target.footerLeft(), "106");
    EXPECT_EQ(target.footerCentred(), "0");
    const std::vector<std::string> warning{std::string("フッタ表示位置が用紙外の可能性があります \n( ") + row.top + " mm)"};
    EXPECT_EQ(sink.reported, row.warned ? warning : std::vector<std::string>{});
  }
}

TEST_F(PageFormat, OkAppliesThePrefixRulesOfAFieldNotYetLeft) {
  model.openPageFormat(record, 280);
  model.setText(F::GraphPrefix, "   <無し>");
  model.setText(F::TablePrefix, "(");
  model.storePageFormat(record, 9.0);
  EXPECT_EQ(record.graphPagePrefix(), "");
  EXPECT_EQ(record.tablePageSuffix(), ")");
  EXPECT_EQ(record.footerCentred(), "1");
}

} // namespace
} // namespace tov
