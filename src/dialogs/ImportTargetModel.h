#pragma once
// The test a logger import writes into, and what the import asks of it.
// A test that lacks what k needs (L, D, for the unsteady formulas de, and
// 平衡水位 ho) is asked for it beside the reference, with the method: one of
// the four unsteady formulas, or 定常法, which reads the flow column (a new
// test is offered 定常法 when the file names a flow column). ho shows the
// static level the record gives before the start until the engineer types
// one; with neither there is no s, so OK writes no k and the dialog says
// why. The dialog (dialogs/qt/CImportDialog) shows this model; the session
// (import/LoggerImport) reads the file.
#include <array>
#include <optional>
#include <string>
#include <vector>

#include "import/LoggerImport.h"
#include "record/TestRecord.h"

namespace tov {

class ImportTargetModel {
public:
  ImportTargetModel(const TestRecord& target, int digitsPermeability);
  const TestRecord& target() const { return target_; }

  // The method's names as the dialog lists them, by formulaKind 0 to 4.
  static const std::array<const char*, 5>& formulaNames();
  // The test lacks something k needs: the dialog asks for it.
  bool asks() const { return asks_; }
  // A new test (no formula chosen) is offered 定常法 when the file names a
  // flow column; the session then reads the record again (its series is
  // reset), else the record read stays.
  void proposeMethod(logger::ImportSession& session);
  int formula() const { return formula_; }
  bool steady() const { return formula_ == 4; }
  // The session reads the flow column for 定常法 (read the record again).
  void setFormula(int formula, logger::ImportSession& session);

  enum class Size { Length, Bore, EquivalentDiameter };
  const std::string& size(Size which) const { return sizes_[static_cast<std::size_t>(which)]; }
  void setSize(Size which, std::string text) { sizes_[static_cast<std::size_t>(which)] = std::move(text); }

  // ho (GL.m) as typed; an empty text follows the record again.
  void typeRestLevel(std::string text);
  // Leaving the field: a number without a sign is a level below the ground
  // (as in 見出し). The text shown then.
  const std::string& restLevelLeft();
  bool restLevelTyped() const { return restTyped_; }
  // What the ho field shows: the ho typed, else the one OK writes (the
  // record's static level, else the test's own ho), taken from `written`
  // (the test as OK writes it) when it is given.
  std::string restLevelShown(const logger::ImportSession& session,
                             const std::optional<TestRecord>& written = std::nullopt) const;

  // "入力済みの ho・Sp・試験年月日・試験方法を残す".
  bool keepTyped() const { return keepTyped_; }
  void setKeepTyped(bool keep) { keepTyped_ = keep; }

  // What is wrong with the values typed here ("" when nothing).
  std::string problem() const;
  // The test as OK writes it: the readings, the headings the record gives
  // (the test's typed ones replaced unless kept), the values typed here and
  // the analysis (import/LoggerImport setAnalysisBySuggestion). False, with
  // *error set, when the readings cannot be written.
  bool write(const logger::ImportSession& session, TestRecord& record, std::string* error) const;
  // The target as OK would write it (nothing when it cannot).
  std::optional<TestRecord> written(const logger::ImportSession& session) const;
  // What the data contradict in the test as OK writes it (`written`), asked
  // before OK (the values typed here first). A missing ho is not among
  // them: the ho field and the outcome say it.
  std::vector<std::string> warnings(const logger::ImportSession& session,
                                    const std::optional<TestRecord>& written) const;
  // What OK gives, from the test as it writes it: "OK で k 2.00E-006 を書きます
  // (推奨区間 12〜80 行)", or "k は書きません: " and why.
  static std::string outcome(const TestRecord& written);

private:
  TestRecord target_;
  int digits_ = 2;
  bool asks_ = false;
  int formula_ = 0;
  std::array<std::string, 3> sizes_;
  std::string restLevel_;
  bool restTyped_ = false;
  bool keepTyped_ = false;
};

} // namespace tov
