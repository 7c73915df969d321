// The tester register editor: opening M.mst into the grid, the in-place
// editor's moves, ↑ ↓ 削除, the import from the previous version's register,
// and OK's save with its duplicate report.
#include <gtest/gtest.h>

#include "dialogs/TesterRegisterModel.h"
#include "files/TextCodec.h"
#include "record/CFormat.h"
#include "record/Messages.h"
#include "support/TestSupport.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
using testing::crlfLines;
using testing::readBytes;
using testing::writeBytes;
using Said = std::vector<std::string>;

std::string cp932(const std::vector<std::string>& lines) { return utf8ToCp932(crlfLines(lines)).value(); }

class RegisterTest : public ::testing::Test {
protected:
  void open(const std::vector<std::string>& lines) {
    writeBytes(file, cp932(lines));
    model.openRegister(file, previous);
  }
  std::vector<std::string> names(int rows) const {
    std::vector<std::string> out;
    for (int row = 1; row <= rows; ++row) out.push_back(model.name(row));
    return out;
  }

  testing::TempDir dir;
  fs::path file = dir / "M.mst";
  fs::path previous = dir / "old" / "M.mst";
  RecordingMessageSink sink;
  ScopedMessageSink scoped{sink};
  TesterRegisterModel model;
};

TEST_F(RegisterTest, OpeningFillsTheGridAndSelectsTheNextRow) {
  open({"山田", "", "鈴木"});
  EXPECT_EQ(model.rowCount(), 80);
  EXPECT_EQ(names(4), (Said{"山田", "", "鈴木", ""}));
  EXPECT_EQ(model.selectedRow(), 4);
  EXPECT_FALSE(model.importAvailable());
  EXPECT_FALSE(model.isModified());
  EXPECT_TRUE(sink.reported.empty());

  fs::remove(file);
  fs::create_directories(previous.parent_path());
  writeBytes(previous, "x\r\n");
  model.openRegister(file, previous);
  EXPECT_EQ(sink.reported, Said{messageText(IDS_FILE_NOT_FOUND, file.string())});
  EXPECT_EQ(model.rowCount(), 80);
  EXPECT_EQ(model.selectedRow(), 1);
  EXPECT_TRUE(model.importAvailable());

  EXPECT_EQ(TesterRegisterModel::previousRegisterFile("C:\\Rundalk\\Tov5"), "C:\\Rundalk\\Tov4\\M.mst");
  EXPECT_EQ(TesterRegisterModel::previousRegisterFile("D:\\v5\\Tov5"), "D:\\v4\\Tov4\\M.mst");
  EXPECT_EQ(TesterRegisterModel::previousRegisterFile("D:\\TOV5"), "D:\\TOV5\\M.mst");
}

TEST_F(RegisterTest, SaveSkipsGapsAndReportsDuplicates) {
  open({"山田", "鈴木", "", "佐藤"});
  ASSERT_TRUE(model.storeRegister());
  EXPECT_EQ(readBytes(file), cp932({"山田", "鈴木", "佐藤"}));
  EXPECT_TRUE(sink.reported.empty());

  // Rows 1 and 2 the same name: both written, one report line.
  open({"山田", "山田", "Kato"});
  ASSERT_TRUE(model.storeRegister());
  EXPECT_EQ(readBytes(file), cp932({"山田", "山田", "Kato"}));
  EXPECT_EQ(sink.reported, Said{"同じデータがあります\n 2行目と 1行目 [山田]　\n"});

  // Nine rows of one name: 36 duplicates, the first six reported.
  sink.reported.clear();
  open(std::vector<std::string>(9, "A"));
  ASSERT_TRUE(model.storeRegister());
  EXPECT_EQ(sink.reported, Said{"同じデータがあります\n"
                                " 2行目と 1行目 [A]　\n 3行目と 1行目 [A]　\n 3行目と 2行目 [A]　\n"
                                " 4行目と 1行目 [A]　\n 4行目と 2行目 [A]　\n 4行目と 3行目 [A]　\n"});

  // Two-digit rows.
  sink.reported.clear();
  std::vector<std::string> rows{"a", "b", "c", "d", "e", "f", "g", "h", "i", "j", "k", "c"};
  open(rows);
  ASSERT_TRUE(model.storeRegister());
  EXPECT_EQ(sink.reported, Said{"同じデータがあります\n12行目と 3行目 [c]　\n"});
}

TEST_F(RegisterTest, EveryNameOfALongRegisterIsKept) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 85; ++i) lines.push_back(cformat("試験者%d", i));
  open(lines);
  EXPECT_EQ(model.rowCount(), 86);  // and one row for a new name
  EXPECT_EQ(model.name(85), "試験者85");
  ASSERT_TRUE(model.openCellEditor(86));
  model.commitCell("新人");
  ASSERT_TRUE(model.storeRegister());
  lines.push_back("新人");
  EXPECT_EQ(readBytes(file), cp932(lines));
}

TEST_F(RegisterTest, MovingAndDeletingRows) {
  std::vector<std::string> lines;
  for (int i = 1; i <= 80; ++i) lines.push_back(cformat("n%d", i));
  open(lines);
  model.selectRow(5);
  ASSERT_TRUE(model.deleteSelectedRow());
  EXPECT_EQ(model.rowCount(), 81);
  EXPECT_EQ(names(6)[4], "n6");
  EXPECT_EQ(model.name(79), "n80");
  EXPECT_EQ(model.name(80), "");
  EXPECT_TRUE(model.isModified());

  open({"A", "B", "C"});
  model.selectRow(1);
  EXPECT_FALSE(model.moveUp());
  EXPECT_FALSE(model.isModified());
  model.selectRow(3);
  EXPECT_FALSE(model.moveDown());  // the last name stays before the empty rows
  model.selectRow(2);
  ASSERT_TRUE(model.moveDown());
  EXPECT_EQ(model.selectedRow(), 3);
  EXPECT_EQ(model.takeRowToShow(), 3);
  EXPECT_EQ(names(3), (Said{"A", "C", "B"}));
  ASSERT_TRUE(model.moveUp());
  ASSERT_TRUE(model.moveUp());
  EXPECT_EQ(names(3), (Said{"B", "A", "C"}));
  EXPECT_TRUE(model.isModified());
}

TEST_F(RegisterTest, InPlaceEditorAndTheCancelQuestion) {
  open({"A", "B"});
  EXPECT_TRUE(model.confirmCancel());
  EXPECT_TRUE(sink.asked.empty());
  // Leaving the text as it was, or Escape, is no change.
  ASSERT_TRUE(model.openCellEditor(2));
  EXPECT_TRUE(model.inPlaceEditing());
  model.commitCell("B");
  EXPECT_FALSE(model.inPlaceEditing());
  ASSERT_TRUE(model.openCellEditor(2));
  model.cancelCellEditor();
  EXPECT_TRUE(model.confirmCancel());
  ASSERT_TRUE(model.openCellEditor(2));
  model.commitCell("B\t2");
  EXPECT_EQ(model.name(2), "B2");  // no control character is stored
  EXPECT_FALSE(model.confirmCancel());
  sink.answers.push_back(true);
  EXPECT_TRUE(model.confirmCancel());
  EXPECT_EQ(sink.asked, Said(2, messageText(IDS_DISCARD_CHANGES)));

  EXPECT_FALSE(model.openCellEditor(0));
  EXPECT_FALSE(model.openCellEditor(81));
  const struct { RegisterKey key; int row; int next; } moves[] = {
      {RegisterKey::Enter, 3, 4}, {RegisterKey::Down, 3, 4}, {RegisterKey::Up, 3, 2},
      {RegisterKey::Enter, 80, 0}, {RegisterKey::Down, 80, 0}, {RegisterKey::Up, 1, 0}};
  for (const auto& m : moves) EXPECT_EQ(model.rowAfter(m.key, m.row).value_or(0), m.next) << m.row;
}

TEST_F(RegisterTest, SheetOperations) {
  open({"A", "B", "C"});
  model.insertRow(2);
  EXPECT_EQ(names(4), (Said{"A", "", "B", "C"}));
  model.deleteRows({1, 2});
  model.clearRows({2});
  EXPECT_EQ(names(2), (Said{"B", ""}));
  EXPECT_EQ(model.copyRows({1, 2}), "B\n\n");
  ASSERT_TRUE(model.pasteNames(79, "山田\t1\r\n鈴木\n佐藤\n"));
  EXPECT_EQ(model.rowCount(), 82);  // rows added for the names, and one empty row after them
  EXPECT_EQ(model.name(81), "佐藤");
  // A name the file cannot hold refuses the whole paste.
  EXPECT_FALSE(model.pasteNames(1, "X\n\xf0\x9f\x98\x80"));
  EXPECT_EQ(model.name(1), "B");
  ASSERT_EQ(sink.reported.size(), 1u);
  EXPECT_NE(sink.reported[0].find("2 行目 技術者"), std::string::npos);
  EXPECT_TRUE(model.isModified());
}

TEST_F(RegisterTest, ImportFromThePreviousVersion) {
  fs::create_directories(previous.parent_path());
  // "**" lines count for the position, empty lines do not.
  writeBytes(previous, cp932({"**,header", "山田,1", "", "新人,2", "鈴木"}));
  open({"山田", "鈴木", "佐藤"});
  ASSERT_TRUE(model.importAvailable());
  EXPECT_EQ(model.importPrevious(), 1);
  EXPECT_EQ(sink.reported, Said{"旧バージョンからの追加データ数=[ 1 ]"});
  EXPECT_EQ(names(5), (Said{"山田", "鈴木", "新人", "佐藤", ""}));
  EXPECT_EQ(model.rowCount(), 81);
  EXPECT_TRUE(model.isModified());

  // Everything present already: nothing added.
  sink.reported.clear();
  EXPECT_EQ(model.importPrevious(), 0);
  EXPECT_EQ(sink.reported, Said{messageText(IDS_NO_IMPORT)});
  EXPECT_EQ(model.rowCount(), 81);

  // A position beyond the grid: at the end.
  std::vector<std::string> old(81, "**");
  old.push_back("遠藤");
  writeBytes(previous, cp932(old));
  open({"A"});
  EXPECT_EQ(model.importPrevious(), 1);
  EXPECT_EQ(model.rowCount(), 81);
  EXPECT_EQ(model.name(81), "遠藤");
  ASSERT_TRUE(model.storeRegister());
  EXPECT_EQ(readBytes(file), cp932({"A", "遠藤"}));
}

TEST_F(RegisterTest, AFailedSaveKeepsTheNames) {
  open({"A"});
  fs::remove(file);
  fs::create_directory(file);  // a folder where the file should be
  EXPECT_FALSE(model.storeRegister());
  EXPECT_EQ(sink.reported, Said{"マスタファイルは\n保存できませんでした"});
  EXPECT_EQ(model.name(1), "A");
}

} // namespace
} // namespace tov
