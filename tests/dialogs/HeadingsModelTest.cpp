// The headings editor's rules: opening from the record, the level sign rule
// and L from the depths, the ho range message, the Qo mantissa and exponent
// (never cutting an exponent the picker does not list, also when taken up
// from the steady result), the enabling rule and the write-back.
#include <gtest/gtest.h>

#include <tuple>

#include "dialogs/HeadingsModel.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

using H = HeadingItem;
using Said = std::vector<std::string>;

HeadingDefaults defaults() {
  HeadingDefaults d;
  d.graphTitle = "現場透水試験";
  d.tableTitle = "測定データ";
  d.surveyNameLabel = "調査名";
  d.surveyLocationLabel = "調査位置";
  d.testIdNumberLabel = "No.";
  d.contractorName = "株式会社";
  return d;
}

class HeadingsModelTest : public ::testing::Test {
protected:
  void open() { model.openHeadings(record, defaults(), {}); }
  // OK and the write-back into a copy of the record.
  TestRecord stored() {
    model.acceptHeadings();
    TestRecord out = record;
    model.storeHeadings(out);
    return out;
  }

  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord record;
  HeadingsModel model;
};

TEST_F(HeadingsModelTest, LevelSignRule) {
  const struct { const char* typed; const char* shown; } rows[] = {
      {"5", "-5"}, {"5.0", "-5.0"}, {".5", "-.5"}, {"0", "-0"},
      {"+5", "+5"}, {"-5", "-5"}, {"1e-3", "1e-3"}, {"GL5", "GL5"}, {"abc", "abc"}, {"", ""},
      // The sign goes in front of the number, not of the blanks ("- 5" reads as 0).
      {" 5", " -5"},
  };
  for (const auto& r : rows) EXPECT_EQ(HeadingsModel::normaliseLevelSign(r.typed), r.shown) << r.typed;
}

TEST_F(HeadingsModelTest, LeavingTheDepthsSignsThemAndFillsL) {
  const struct { const char* from; const char* to; const char* ho; const char* fromShown; const char* toShown;
                 const char* hoShown; const char* length; } rows[] = {
      {"3", "5.5", "2", "-3", "-5.5", "-2", "2.50"},
      {"-3", "-5.5", "", "-3", "-5.5", "", "2.50"},
      {"5", "8", "", "-5", "-8", "", "3.00"},
      {"+5", "8", "", "+5", "-8", "", "13.00"},  // the plus sign is meant: L from +5
      {"GL3", "5", "", "GL3", "-5", "", "old"},   // no number: L stays
      {"3", "", "", "-3", "", "", "old"},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.from);
    open();
    model.setText(H::SectionLength, "old");
    model.setText(H::DepthFrom, r.from);
    model.setText(H::DepthTo, r.to);
    model.setText(H::EquilibriumLevel, r.ho);
    model.depthToLeft();
    EXPECT_EQ(model.text(H::DepthFrom), r.fromShown);
    EXPECT_EQ(model.text(H::DepthTo), r.toShown);
    EXPECT_EQ(model.text(H::EquilibriumLevel), r.hoShown);
    EXPECT_EQ(model.text(H::SectionLength), r.length);
  }
  // OK signs the four levels, L is left as it is.
  open();
  model.setText(H::DepthFrom, "1");
  model.setText(H::DepthTo, "2");
  model.setText(H::EquilibriumLevel, "0.5");
  model.setText(H::SteadyLevel, "1.25");
  const TestRecord out = stored();
  EXPECT_EQ(std::vector<std::string>({out.depthFrom(), out.depthTo(), out.equilibriumLevel(), out.steadyLevel()}),
            std::vector<std::string>({"-1", "-2", "-0.5", "-1.25"}));
  EXPECT_EQ(out.sectionLength(), "");
  EXPECT_TRUE(sink.reported.empty());
}

TEST_F(HeadingsModelTest, LevelBeyondAThousandMetresIsReportedWhenLeft) {
  const struct { const char* typed; const char* shown; bool reported; } rows[] = {
      {"-1200", "-1200", true}, {"1200", "-1200", true}, {"+1000.5", "+1000.5", true},
      {"-1000", "-1000", false}, {"999", "-999", false}, {"abc", "abc", false}, {"", "", false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.typed);
    sink.reported.clear();
    open();
    model.setText(H::EquilibriumLevel, r.typed);
    model.equilibriumLevelLeft();
    EXPECT_EQ(model.text(H::EquilibriumLevel), r.shown);
    EXPECT_EQ(sink.reported, r.reported ? Said{"水位データが異常です"} : Said{});
  }
  // hs only gets its sign.
  model.setText(H::SteadyLevel, "3");
  model.steadyLevelLeft();
  EXPECT_EQ(model.text(H::SteadyLevel), "-3");
}

TEST_F(HeadingsModelTest, OpeningShowsDefaultsResultsAndTheFormula) {
  record.set_surveyName("調査A");
  record.set_testIdNumberLabel("孔番");
  record.set_formulaKind("7");
  record.set_pointS1("4.1E-6");
  record.set_showGeology("1");
  record.set_showNValue("2");
  record.set_equilibriumMeasured("1");
  model.openHeadings(record, defaults(), {"山田", "鈴木"});
  EXPECT_EQ(model.text(H::SurveyName), "調査A");
  EXPECT_EQ(model.text(H::SurveyNameLabel), "調査名");
  EXPECT_EQ(model.text(H::SurveyLocationLabel), "調査位置");
  EXPECT_EQ(model.text(H::TestIdNumberLabel), "孔番");
  EXPECT_EQ(model.text(H::GraphTitle), "現場透水試験");
  EXPECT_EQ(model.text(H::TableTitle), "測定データ");
  EXPECT_EQ(model.text(H::ContractorName), "");
  EXPECT_EQ(model.formula(), 0);
  EXPECT_EQ(model.text(H::FlowResult), "");  // results only for the steady method
  EXPECT_TRUE(model.showGeology());
  EXPECT_FALSE(model.showNValue());
  EXPECT_EQ(model.equilibriumMeasured(), 1);
  EXPECT_EQ(model.testerNames(), (Said{"山田", "鈴木"}));

  for (auto [kind, expected] : {std::pair{"3", 3}, {"-1", 0}}) {
    record.set_formulaKind(kind);
    open();
    EXPECT_EQ(model.formula(), expected) << kind;
  }
  record.set_formulaKind("4");
  record.set_pointT2("-1.25");
  record.set_pointS2("2.3");
  open();
  EXPECT_EQ(model.text(H::FlowResult), "4.1E-6");
  EXPECT_EQ(model.text(H::LevelResult), "-1.25");
  EXPECT_EQ(model.text(H::HeadDifferenceResult), "2.3");

  // The write-back: labels shown as defaults are kept, the codes as "%d",
  // the results never.
  model.setFormula(2);
  model.setShowNValue(true);
  model.setEquilibriumMeasured(0);
  model.setText(H::FlowResult, "changed");
  const TestRecord out = stored();
  EXPECT_EQ(out.surveyNameLabel(), "調査名");
  EXPECT_EQ(out.graphTitle(), "現場透水試験");
  EXPECT_EQ(out.formulaKind(), "2");
  EXPECT_EQ(out.showGeology(), "1");
  EXPECT_EQ(out.showNValue(), "1");
  EXPECT_EQ(out.equilibriumMeasured(), "0");
  EXPECT_EQ(out.pointS1(), "4.1E-6");
}

TEST_F(HeadingsModelTest, FlowMantissaAndExponent) {
  const struct { const char* stored; const char* edit; const char* exponent; const char* choose; const char* saved; } rows[] = {
      {"3.2E-6", "3.2", "E-6", nullptr, "3.2E-6"},
      {"3.2E-6", "3.2", "E-6", "x1", "3.2"},
      {"3.2E-6", "3.2", "E-6", "", "3.2"},
      {"2.5E-5", "2.5", "E-5", "E-8", "2.5E-8"},
      {"7", "7", "x1", "E-3", "7E-3"},
      // Exponents the picker does not list stay whole in the edit.
      {"3.2E-9", "3.2E-9", "x1", nullptr, "3.2E-9"},
      {"1.5E+1", "1.5E+1", "x1", "E-2", "1.5E+1"},
      {"2E-05", "2E-05", "x1", nullptr, "2E-05"},
      {"2.5E-", "2.5E-", "x1", nullptr, "2.5E-"},
      {"2.5E-5 ", "2.5E-5 ", "x1", nullptr, "2.5E-5 "},
      {"1.2e-6", "1.2e-6", "x1", "E-4", "1.2e-6"},
      {"abc", "abc", "x1", "E-4", "abc"},
      {"", "", "x1", "E-4", ""},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.stored) + " / " + (r.choose ? r.choose : "-"));
    record.set_steadyFlow(r.stored);
    open();
    EXPECT_EQ(model.text(H::SteadyFlow), r.edit);
    EXPECT_EQ(model.exponent(), r.exponent);
    if (r.choose) model.setExponent(r.choose);
    EXPECT_EQ(stored().steadyFlow(), r.saved);
  }
  // The "↑" button splits the steady result the same way.
  record.set_formulaKind("4");
  for (auto [result, edit, exponent] : {std::tuple{"4.1E-7", "4.1", "E-7"}, {"4.1E-12", "4.1E-12", "x1"}}) {
    record.set_pointS1(result);
    open();
    model.copyFlowResultUp();
    EXPECT_EQ(model.text(H::SteadyFlow), edit);
    EXPECT_EQ(model.exponent(), exponent);
  }
  // Typed with its exponent, any entry selected: saved as typed; a blank
  // after the mantissa does not keep the exponent apart.
  for (auto [typed, saved] : {std::pair{"3.2E-6", "3.2E-6"}, {"4.5 ", "4.5E-7"}}) {
    open();
    model.setText(H::SteadyFlow, typed);
    model.setExponent("E-7");
    EXPECT_EQ(stored().steadyFlow(), saved) << typed;
  }
}

TEST_F(HeadingsModelTest, RelevantFieldsOnlyFollowTheFormula) {
  const std::vector<H> unsteadyOnly{H::StartHeadDifference, H::PipeInnerDiameter, H::EquivalentDiameter};
  const std::vector<H> steadyOnly{H::SteadyFlow, H::SteadyLevel, H::SteadyHeadDifference};
  auto enabled = [&](const std::vector<H>& items) {
    std::vector<bool> out;
    for (H item : items) out.push_back(model.isEnabled(item));
    return out;
  };
  const std::vector<bool> on(3, true), off(3, false);
  open();
  model.setFormula(4);
  EXPECT_EQ(enabled(unsteadyOnly), on);  // the switch starts off
  model.setRelevantOnly(true);
  EXPECT_EQ(enabled(unsteadyOnly), off);
  EXPECT_EQ(enabled(steadyOnly), on);
  model.setFormula(1);
  EXPECT_EQ(enabled(unsteadyOnly), on);
  EXPECT_EQ(enabled(steadyOnly), off);
  model.setRelevantOnly(false);
  EXPECT_EQ(enabled(steadyOnly), on);
}

TEST_F(HeadingsModelTest, TesterNamesComeFromTheRegisterFile) {
  testing::TempDir dir;
  testing::writeBytes(dir / "M.mst", "\x8e\x52\x93\x63\r\n\r\nSuzuki\r\n");  // 山田, an empty line, Suzuki
  EXPECT_EQ(HeadingsModel::readTesterNames(dir / "M.mst"), (Said{"山田", "Suzuki"}));
  EXPECT_TRUE(HeadingsModel::readTesterNames(dir / "missing.mst").empty());
  EXPECT_TRUE(sink.reported.empty());
}

} // namespace
} // namespace tov
