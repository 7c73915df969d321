// The message table, "%1" substitution and the message sinks.
#include <gtest/gtest.h>

#include "record/Messages.h"

namespace {

TEST(Messages, TextsByNumberWithEveryPercentOneReplaced) {
  using namespace tov;
  const struct { int id; const char* arg; const char* text; } rows[] = {
      {IDS_SAVE_FAILED, nullptr, "保存できませんでした"},
      {IDS_DISCARD_CHANGES, nullptr, "データが変更されましたが、キャンセルしてよいのですか？"},
      {IDS_NOT_TOV_DATA, nullptr, "透水試験「Tov」のデータではありません"},
      {IDS_TOO_MANY_CSV, nullptr, "too many csv"}, {0, nullptr, ""}, {99999, nullptr, ""}, {99999, "x", ""},
      {IDS_FILE_NOT_FOUND, "C:/data/a.tvd", "ファイルが見つかりません\n( C:/data/a.tvd )"},
      {IDS_IMPORTED, "12", "旧バージョンからの追加データ数=[ 12 ]"},
      {IDS_FILE_NOT_FOUND, "%1%1", "ファイルが見つかりません\n( %1%1 )"},  // not expanded again
      {IDS_FILE_NOT_FOUND, "", "ファイルが見つかりません\n(  )"},
      {IDS_SAVE_FAILED, "x", "保存できませんでした"},  // without "%1" the text is unchanged
  };
  for (const auto& r : rows) EXPECT_EQ(r.arg ? messageText(r.id, r.arg) : messageText(r.id), r.text) << r.id;
  EXPECT_EQ(messageText(IDS_UNSAVABLE_TEXT).substr(0, 3), "保");  // escaped quote survives
  EXPECT_NE(messageText(IDS_UNSAVABLE_TEXT).find("\"、$$"), std::string::npos);
}

TEST(Messages, EveryNamedMessageHasText) {
  for (int id : {132, 133, 803, 804, 901, 902, 903, 904, 905, 4001, 4005, 4006, 4007, 4008, 4011,
                 4032, 4090, 32790, 32791, 32792, 60001, 60002, 60003, 60004, 60005, 60006, 60007,
                 60008, 61001, 61002, 61003, 61004}) {
    EXPECT_FALSE(tov::messageText(id).empty()) << id;
  }
}

// The program's own messages end their Japanese sentences with "。" (the
// texts kept from older installations keep theirs).
TEST(Messages, JapaneseSentencesEndWithAFullWidthStop) {
  using namespace tov;
  for (int id : {IDS_MISSING_LEVEL, IDS_MISSING_LEVEL_OR_FLOW, IDS_TIME_NOT_A_NUMBER, IDS_PASTE_PAST_LAST_ROW,
                 IDS_PASTE_PAST_LAST_COLUMN, IDS_PASTE_BAD_CELLS, IDS_TVD_NO_READINGS, IDS_TVD_CUT_SHORT}) {
    const std::string text = messageText(id);
    for (const char* halfWidth : {"す.", "ん.", "い."}) EXPECT_EQ(text.find(halfWidth), std::string::npos) << id;
    EXPECT_NE(text.find("。"), std::string::npos) << id;
  }
}

TEST(Messages, SinksAreInstalledAndRestored) {
  tov::MessageSink& original = tov::messageSink();
  {
    tov::RecordingMessageSink outer;
    tov::ScopedMessageSink guardOuter(outer);
    tov::reportMessage(tov::IDS_SAVE_FAILED);
    {
      tov::RecordingMessageSink inner;
      inner.answers = {true};
      tov::ScopedMessageSink guardInner(inner);
      tov::reportMessage(tov::IDS_FILE_NOT_FOUND, "a.tvd");
      EXPECT_TRUE(tov::messageSink().askYesNo("q1"));
      EXPECT_FALSE(tov::messageSink().askYesNo("q2"));  // queue empty: No
      ASSERT_EQ(inner.reported.size(), 1u);
      EXPECT_EQ(inner.reported[0], "ファイルが見つかりません\n( a.tvd )");
      EXPECT_EQ(inner.asked, (std::vector<std::string>{"q1", "q2"}));
    }
    tov::reportMessage(tov::IDS_NO_DATA);
    EXPECT_EQ(outer.reported, (std::vector<std::string>{"保存できませんでした", "データがありません"}));
  }
  EXPECT_EQ(&tov::messageSink(), &original);

  tov::RecordingMessageSink sink;
  tov::MessageSink* before = tov::setMessageSink(&sink);
  EXPECT_EQ(tov::setMessageSink(nullptr), &sink);
  EXPECT_EQ(&tov::messageSink(), &original);
  tov::setMessageSink(before);
}

TEST(Messages, DefaultSinkAnswersNo) {
  tov::MessageSink* previous = tov::setMessageSink(nullptr);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(tov::messageSink().askYesNo("続けますか"));
  tov::reportMessage(tov::IDS_SAVE_FAILED);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("続けますか"), std::string::npos);
  EXPECT_NE(err.find("保存できませんでした"), std::string::npos);
  tov::setMessageSink(previous);
}

} // namespace
