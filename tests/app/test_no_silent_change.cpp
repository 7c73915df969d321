// OK without a change in any editor of the test leaves the test as it was:
// saved again it is byte for byte the same file, and it is not marked
// modified. Also the headings follow-up, which recomputes k only from
// inputs that changed.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QTest>
#include <QTimer>

#include <map>

#include "app/CMainFrame.h"
#include "app/CTovDoc.h"
#include "app/ShellLogic.h"
#include "files/Settings.h"
#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "app/DialogTestSupport.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;

// A version-300 test (centimetres): k "1.5E-3" cm/s and an empty a; with
// or without the derived h and s.
std::string version300Bytes(bool derived) {
  std::map<int, std::string> fields{{21, "50"}, {22, "5"}, {23, "6.6"}, {24, "150"}, {27, "-2.5"},
                                    {33, "1"},  {40, "2"}, {41, "4"},   {42, "1.5E-3"}};
  std::string text = "$$_TOVKARBO300\r\n$$Z\r\n";
  for (int number = 1; number <= 100; ++number) text += (fields.count(number) ? fields[number] : "") + "\r\n";
  text += "$$A\r\n";
  const char* rows[] = {"0,120,9.00,-70,180,", "30,150,9.01,-100,150,", "60,170,9.02,-120,130,",
                        "120,190,9.03,-140,110,"};
  for (std::string row : rows) {
    if (!derived) row = row.substr(0, row.find(',', row.find(',', row.find(',') + 1) + 1)) + ",,,";
    text += row + "\r\n";
  }
  return *utf8ToCp932(text);
}

class NoSilentChange : public ::testing::Test {
protected:
  void SetUp() override { theSettings().loadSettings(true); }

  // Opens the file as the program does, presses OK in the editor of the
  // command without touching anything, and saves.
  std::string okWithoutChange(const fs::path& file, int command) {
    EXPECT_TRUE(doc.openDocumentFile(copyToOpen(file)));
    QTimer::singleShot(0, [] {
      if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        QTest::qWait(20);
        auto* ok = dialog->findChild<QAbstractButton*>(QStringLiteral("okButton"));
        if (ok) QTest::mouseClick(ok, Qt::LeftButton);
        if (dialog->isVisible()) dialog->reject();
      }
    });
    frame.onCommand(command);
    const fs::path out = root.path() / "out.tvd";
    EXPECT_TRUE(saveTestFile(out, record));
    return testing::readBytes(out);
  }
  // A copy to open: an open test is locked, and test programs run side by side.
  fs::path copyToOpen(const fs::path& original) {
    const fs::path file = root.path() / ("open-" + original.filename().string());
    fs::copy_file(original, file, fs::copy_options::overwrite_existing);
    return file;
  }
  std::string openedAndSaved(const fs::path& original) {
    EXPECT_TRUE(doc.openDocumentFile(copyToOpen(original)));
    const fs::path out = root.path() / "plain.tvd";
    EXPECT_TRUE(saveTestFile(out, record));
    return testing::readBytes(out);
  }

  testing::TempDir root;
  testing::ScopedEnv env{"TOV_ROOT", root.path().string()};
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TestRecord& record = theRecord();  // the one the settings fill, as in the program
  dialogtest::NoFiles files;
  CTovDoc doc{record, files, nullptr};
  CMainFrame frame{doc, nullptr};
};

TEST_F(NoSilentChange, OkInEachEditorOfEachSampleKeepsTheFileByteForByte) {
  const fs::path v300 = root.path() / "v300.tvd", underived = root.path() / "underived.tvd";
  testing::writeBytes(v300, version300Bytes(true));
  testing::writeBytes(underived, version300Bytes(false));
  const fs::path samples = fs::path(TOV_SOURCE_DIR) / "samples";
  // A file without derived h and s gets them from the follow-ups, which is
  // no change of the test.
  const struct { fs::path file; int readings; bool derived; } tests[] = {
      {samples / "unsteady.tvd", ID_UNSTEADY_READINGS, true}, {samples / "long.tvd", ID_UNSTEADY_READINGS, true},
      {samples / "steady.tvd", ID_STEADY_READINGS, true},     {v300, ID_UNSTEADY_READINGS, true},
      {underived, ID_UNSTEADY_READINGS, false},
  };
  for (const auto& test : tests) {
    const std::string plain = openedAndSaved(test.file);
    for (int command : {int{ID_HEADINGS}, test.readings, int{ID_ANALYSIS}, int{ID_PAGE_FORMAT}}) {
      SCOPED_TRACE(test.file.filename().string() + " command " + std::to_string(command));
      const std::string after = okWithoutChange(test.file, command);
      if (test.derived) {
        EXPECT_EQ(after, plain);
      }
      EXPECT_FALSE(doc.isModified());
    }
  }
  // The version-300 test keeps its k through the headings.
  EXPECT_NE(openedAndSaved(v300).find("1.500000E-005"), std::string::npos);
}

TEST(KFollowUp, HeadingsRecomputeKOnlyFromAChangedCompleteInput) {
  const struct { const char* name; int kind; const char* a; const char* k; int field; const char* value; const char* expected; } rows[] = {
      {"nothing changed", 1, "0.001", "1.50E-005", 0, "", "1.50E-005"},
      {"L changed", 1, "0.001", "1.50E-005", F_sectionLength, "2", "1.48E-006"},
      {"version 300: no a", 2, "", "1.500000E-005", F_sectionLength, "2", "1.500000E-005"},
      {"new test: a of 0", 0, "0", "", F_boreDiameter, "0.05", ""},
      {"steady, Qo changed", 4, "", "1.00E-006", F_steadyFlow, "2E-5", "2.17E-005"},
      {"steady, Qo emptied", 4, "", "1.00E-006", F_steadyFlow, "", "1.00E-006"},
  };
  for (const auto& r : rows) {
    TestRecord before;
    before.set_formulaKind(cformat("%d", r.kind));
    before.set_sectionLength("1");
    before.set_boreDiameter("0.066");
    before.set_equivalentDiameter("0.05");
    before.set_gradientText(r.a);
    before.set_steadyFlow("1E-5");
    before.set_steadyHeadDifference("0.5");
    before.set_permeabilityText(r.k);
    TestRecord after = before;
    if (r.field) after.setField(r.field, r.value);
    headingsFollowUp(after, before, 2);
    EXPECT_EQ(after.permeabilityText(), r.expected) << r.name;
  }
}

} // namespace
} // namespace tov
