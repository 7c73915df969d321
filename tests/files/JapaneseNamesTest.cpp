// Tests in folders and files named in Japanese go through the whole core:
// on Windows a path made from (or shown as) narrow text takes the ANSI code
// page, so each step below lost or garbled such a name there.
#include <gtest/gtest.h>

#include "batch/BatchInputs.h"
#include "batch/SummaryTable.h"
#include "files/FileIdentity.h"
#include "files/LockFile.h"
#include "files/Platform.h"
#include "files/Recovery.h"
#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
using testing::readBytes;
using testing::ScopedEnv;
using testing::TempDir;

struct JapaneseName {
  const char* folder;
  const char* file;
};

// Kanji, kana, a full-width digit; then CP932's 0x5C trail bytes (ソ, 表),
// half-width kana and an NEC special character.
const JapaneseName kNames[] = {
    {"試験データ", "透水試験_ボーリング１.tvd"},
    {"ソース表", "ﾃｽﾄ①.tvd"},
};

class JapaneseNames : public ::testing::TestWithParam<JapaneseName> {
protected:
  TempDir dir;
  RecordingMessageSink sink;
  ScopedMessageSink guard{sink};
  // Recovery files go to the user's data folder of the system.
  ScopedEnv xdg{"XDG_DATA_HOME", utf8Path(dir / "data")};
  ScopedEnv local{"LOCALAPPDATA", utf8Path(dir / "data")};
};

TEST_P(JapaneseNames, OpenSaveLockRecoverAndExportKeepTheName) {
  const std::string file = GetParam().file;
  const fs::path folder = dir / GetParam().folder;
  const fs::path test = folder / pathFromUtf8(file);
  ASSERT_TRUE(fs::create_directories(folder));

  TestRecord record;
  record.set_surveyName("試験");
  record.setCell(1, 1, "30");
  record.setCell(1, 2, "1.25");
  ASSERT_TRUE(saveTestFile(test, record));
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(utf8Path(entry.path().filename()));
  EXPECT_EQ(names, std::vector<std::string>{file});

  // Open it, locked while open, change a heading, save and read it again.
  const LockResult lock = acquireLock(test);
  ASSERT_EQ(lock.state, LockState::Acquired);
  EXPECT_EQ(lockPathFor(test), folder / pathFromUtf8(".~lock." + file + "#"));
  EXPECT_EQ(acquireLock(test).state, LockState::HeldByOther) << "the lock is read back by its name";
  TestRecord opened;
  ASSERT_EQ(openTestFile(test, opened), LoadStatus::Ok);
  EXPECT_EQ(opened, record);
  opened.set_surveyName("現場Ａ");
  ASSERT_TRUE(saveTestFile(test, opened));
  TestRecord reopened;
  ASSERT_EQ(openTestFile(test, reopened), LoadStatus::Ok);
  EXPECT_EQ(reopened, opened);

  // Its recovery file names the test so that it is found again.
  ASSERT_TRUE(writeRecovery(newRecoveryFile(), opened, utf8Path(test), identityOf(test)));
  const auto left = leftRecoveries();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(pathFromUtf8(left[0].testPath), test);
  ASSERT_TRUE(left[0].base);
  EXPECT_FALSE(changedOnDisk(pathFromUtf8(left[0].testPath), *left[0].base));
  removeRecovery(left[0].file);

  // Exported: found in its folder, named in the summary table.
  const BatchInputs inputs = collectTests({folder}, false);
  EXPECT_EQ(inputs.tests, std::vector<fs::path>{test});
  EXPECT_EQ(inputs.problems, std::vector<std::string>{});
  EXPECT_EQ(uniqueOutputNames({test}), std::vector<std::string>{utf8Path(test.stem())});
  const SummaryTable table{summaryHeader(), {summaryRow(reopened, utf8Path(test.filename()), 2)}};
  const fs::path csv = folder / pathFromUtf8("一覧表.csv");
  EXPECT_EQ(writeCsv(csv, table, CsvEncoding::Cp932), "");
  EXPECT_NE(readBytes(csv).find(*utf8ToCp932(file)), std::string::npos);

  // A missing test is named as it was asked for.
  TestRecord missing;
  EXPECT_EQ(openTestFile(folder / pathFromUtf8("無い" + file), missing), LoadStatus::NotFound);
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_NE(sink.reported[0].find("無い" + file), std::string::npos) << sink.reported[0];

  releaseLock(test);
  EXPECT_FALSE(fs::exists(lockPathFor(test)));
}

INSTANTIATE_TEST_SUITE_P(Names, JapaneseNames, ::testing::ValuesIn(kNames));

} // namespace
} // namespace tov
