// What a logger import writes into a new test: the method, ho and the sizes
// it asks for, and the analysis it sets. Each row is a fault found by
// importing into a new test as a new user would.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Analysis.h"
#include "dialogs/ImportTargetModel.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

using logger::ImportSession;

// A recovery (k 2.0E-006 in L 1, D 0.066, de 0.05, the basic formula) as
// depth to water below the pipe top every 2 s: `quiet` seconds at the
// static depth 2.000 m first (0: the record starts with the test running).
std::string recoveryFile(double quiet) {
  std::string text = "Date,Time,Depth to water (m)\n";
  for (int i = 0; i <= 1500; ++i) {
    const double t = i * 2.0;
    const double depth = t < quiet ? 2.0 : 2.0 + 1.5 * std::pow(10.0, -8.154559e-4 * (t - quiet));
    text += "2026/11/03," + logger::clockText(36000 + t, true) + "," + cformat("%.4f", depth) + "\n";
  }
  return text;
}

// A steady test (k 3.0E-006, L 1, D 0.066, So 2.000) every minute, the
// level held at the pipe top and Q settling: `quiet` minutes at the static
// depth 2.000 m first, and `after` minutes with the pump stopped (Q 0, the
// water falling back) at the end.
std::string steadyFile(int quiet, int after) {
  const double steadyQ = 0.66383;  // L/min
  std::string text = "時刻,水位(m),流量(L/min)\n";
  auto line = [&](int minute, double depth, double q) {
    text += logger::clockText(36000 + minute * 60.0, true) + cformat(",%.3f,%.4f\n", depth, q);
  };
  for (int m = 0; m < quiet; ++m) line(m, 2.0, 0);
  for (int m = 0; m < 30; ++m) line(quiet + m, 0.0, steadyQ * (1 + 0.6 * std::exp(-m / 4.0)));
  for (int m = 0; m < after; ++m) line(quiet + 30 + m, 2.0 - 1.2 * std::exp(-m / 2.0), 0);
  return text;
}

TEST(ImportTargetModel, ANewTestGetsWhatKNeeds) {
  const struct Row {
    const char* fault;
    std::string file;
    const char* typedHo;     // "" none
    int formula;             // proposed for the new test
    const char* ho;          // written
    double k;                // 0: none written
    const char* outcome;     // how it begins
    int steadyRow;           // the steady point, the settled rows' middle Q (0: unsteady)
  } rows[] = {
      {"a record without a rest level wrote k from an ho it inferred", recoveryFile(0), "", 0, "", 0,
       "k は書きません: 平衡水位 ho がありません", 0},
      {"no field took the ho such a record needs", recoveryFile(0), "2", 0, "-2", 2.0e-6, "OK で k 2.0", 0},
      {"the record's static level did not fill ho", recoveryFile(120), "", 0, "-2.000", 2.0e-6, "OK で k 2.0", 0},
      {"a steady file into a new test read no flow and set no k", steadyFile(0, 0), "2.0", 4, "-2.0", 3.0e-6,
       "OK で k 3.0", 29},
      {"a steady record went on past the test: its point at Q 0", steadyFile(5, 6), "", 4, "-2.000", 3.0e-6,
       "OK で k 3.0", 29},
      // Without ho the level held at the pipe top has no s: the last flowing row.
      {"a steady import without ho wrote k from s = h'", steadyFile(0, 0), "", 4, "", 0,
       "k は書きません: 平衡水位 ho がありません", 30},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    testing::TempDir dir;
    testing::writeBytes(dir / "logger.csv", row.file);
    ImportSession session(false);
    std::string error;
    ASSERT_TRUE(session.open(dir / "logger.csv", &error)) << error;
    ImportTargetModel model(TestRecord{}, 2);
    ASSERT_TRUE(model.asks());
    ASSERT_TRUE(session.readAll(&error)) << error;
    model.proposeMethod(session);
    EXPECT_EQ(model.formula(), row.formula);
    EXPECT_EQ(session.steady(), row.formula == 4);
    // Only a flow column to read makes the record be read again.
    EXPECT_EQ(session.series() == nullptr, row.formula == 4);
    if (!session.series()) {
      ASSERT_TRUE(session.readAll(&error)) << error;
    }
    model.setSize(ImportTargetModel::Size::Length, "1.0");
    model.setSize(ImportTargetModel::Size::Bore, "0.066");
    model.setSize(ImportTargetModel::Size::EquivalentDiameter, "0.05");
    if (row.formula == 0) model.setFormula(1, session);  // the recovery's formula
    model.typeRestLevel(row.typedHo);
    EXPECT_EQ(model.restLevelShown(session), *row.typedHo ? row.typedHo : row.ho);
    EXPECT_EQ(model.problem(), "");
    TestRecord written;
    ASSERT_TRUE(model.write(session, written, &error)) << error;
    EXPECT_EQ(written.equilibriumLevel(), row.ho);
    EXPECT_EQ(written.fieldInt(F_formulaKind), row.formula == 4 ? 4 : 1);
    if (row.k > 0) {
      EXPECT_NEAR(written.fieldValue(F_permeabilityText) / row.k, 1.0, 0.03) << written.permeabilityText();
    } else {
      EXPECT_EQ(written.permeabilityText(), "");
    }
    EXPECT_EQ(written, model.written(session));
    EXPECT_EQ(model.restLevelShown(session, written), model.restLevelShown(session));
    const std::string outcome = ImportTargetModel::outcome(written);
    EXPECT_EQ(outcome.rfind(row.outcome, 0), 0u) << outcome;
    // A missing ho is said by the outcome, not asked as a contradiction.
    for (const std::string& warning : model.warnings(session, written))
      EXPECT_NE(warning, messageText(IDS_NO_EQUILIBRIUM));
    // The steady analysis dialog opens at the point; the page has scales of the data.
    EXPECT_EQ(row.steadyRow > 0 ? written.fieldInt(F_point1Row) : 0, row.steadyRow);
    EXPECT_NE(written.field(F_graphATimeTo), "10000");
    EXPECT_NE(written.field(F_graphATimeTo), "");
    if (row.formula == 4) {
      EXPECT_EQ(written.field(F_graphAValueTo).find('E') != std::string::npos, true) << written.field(F_graphAValueTo);
      EXPECT_EQ(written.field(F_steadyFlow), row.k > 0 ? written.cell(row.steadyRow, C_flow) : "");
    }
    // 検討事項 never speaks of a difference from an ho never written.
    for (const Check& check : analyseRecord(written, AnalysisSettings{}).checks)
      EXPECT_EQ(check.text.find("違う"), std::string::npos) << check.text;
  }
}

// The values typed for a new test are checked before OK.
TEST(ImportTargetModel, TypedValuesThatCannotBeUsedAreRefused) {
  const struct { const char* what; ImportTargetModel::Size size; const char* text; const char* ho; bool refused; } rows[] = {
      {"L of 0", ImportTargetModel::Size::Length, "0", "", true},
      {"D not a number", ImportTargetModel::Size::Bore, "abc", "", true},
      {"ho not a number", ImportTargetModel::Size::Length, "1.0", "x2", true},
      {"ho beyond 1000 m", ImportTargetModel::Size::Length, "1.0", "2000", true},
      {"sizes and ho usable", ImportTargetModel::Size::Length, "1.0", "+0.5", false},
  };
  for (const auto& row : rows) {
    ImportTargetModel model(TestRecord{}, 2);
    model.setSize(row.size, row.text);
    model.typeRestLevel(row.ho);
    EXPECT_EQ(!model.problem().empty(), row.refused) << row.what << ": " << model.problem();
  }
  // Leaving ho: a number without a sign lies below the ground, as in 見出し.
  ImportTargetModel model(TestRecord{}, 2);
  model.typeRestLevel("1.5");
  EXPECT_EQ(model.restLevelLeft(), "-1.5");
}

} // namespace
} // namespace tov
