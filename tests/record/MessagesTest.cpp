// The message table, "%1" substitution and the message sinks.
#include <gtest/gtest.h>

#include "record/Messages.h"

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "support/TestSupport.h"

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

// The texts older installations show, word for word: their readings
// editors' messages and warnings, the file, scale and setup messages, and
// the standard checks of the dialogs' fields.
const struct { int id; const char* text; } kKeptTexts[] = {
    {132, "データが変更されましたが、キャンセルしてよいのですか？"},
    {133, "フッタ表示位置が用紙外の可能性があります \n( %1 mm)"},
    {803, "旧バージョンからの追加データはありませんでした"},
    {804, "旧バージョンからの追加データ数=[ %1 ]"},
    {901, "追加できません."},
    {902, "最大行数です. 追加できません."},
    {903, "データが無い、または不正です."},
    {904, "上書きできません."},
    {905, "上書きできません. 指定行が範囲外です."},
    {907, "上書きできません、同じ %1 がありません."},
    {908, "同じ %1データがあります.\n修正なら上書きしてください."},
    {4001, "これ以上データを扱えません"},
    {4005, "保存できませんでした"},
    {4006, "数値が異常です"},
    {4007, "データがありません"},
    {4008, "目盛りが異常です"},
    {4011, "試験区間、直径などのデータがありません、または異常です"},
    {4013, "未入力データがあります\n( %1 )"},
    {4032, "実行できませんでした"},
    {4090, "ハードウェア、デバイスエラー"},
    {32790, "ファイルが見つかりません\n( %1 )"},
    {32791, "グリッドきざみ(網目の間隔）の値が小さすぎます"},
    {32792, "透水試験「Tov」のデータではありません"},
    {60001, "ドライブ名が異常です"},
    {60002, "フォルダ名またはドライブ名が異常です"},
    {60003, "拡張子を tvd(TVD)にして下さい"},
    {60004, "too many csv"},
    {60005, "Can't create font"},
    {60006, "パイプ(管)の値が異常です"},
    {60007, "マスタファイルは\n"},
    {60008, "同じデータがあります"},
    {61010, "整数を入力してください。"},
    {61011, "数字を入力してください。"},
    {61012, "%1 から %2 までの整数を入力してください。"},
    {61013, "%1 文字以内で入力してください。"},
    {61020, "h'が未記入の行があります."},
    {61021, "h'、Q が未記入の行があります."},
    {61022, "同じ経過時間tがあります.."},
    {61200, "水位データが異常です"},
};

// What is wrong with the sentence style of one of the program's own texts,
// or "": sentences end as those of 901 to 908 do, with "." (or "？" for a
// question), ". " between two on a line, never "。". A last line "( ... )" or
// "%n" is the detail the caller fills in, not a sentence; a text that ends
// in "%n" takes its ending from the text put there.
std::string sentenceStyleFault(const std::string& text) {
  if (text.find("。") != std::string::npos) return "a full-width stop";
  std::string body = text;
  const std::regex detail(R"(\n(\( .* \)|%\d)$)");
  for (std::smatch m; std::regex_search(body, m, detail);) body.erase(static_cast<std::size_t>(m.position(0)));
  const std::string question = "？";
  const bool endsWithPlaceholder = body.size() >= 2 && body[body.size() - 2] == '%';
  if (!body.ends_with(".") && !body.ends_with(question) && !endsWithPlaceholder) return "no stop at the end";
  for (std::size_t i = 0; i + 1 < body.size(); ++i) {
    // A stop after Japanese text or a closing bracket ends a sentence.
    const bool stop = body[i + 1] == '.' && (static_cast<unsigned char>(body[i]) >= 0x80 || body[i] == ')');
    const bool asked = body.compare(i, question.size(), question) == 0;
    const std::size_t after = i + (asked ? question.size() : stop ? 2 : 0);
    if ((stop || asked) && after < body.size() && body[after] != ' ' && body[after] != '\n')
      return "no blank after a sentence";
  }
  return {};
}

TEST(Messages, KeptTextsWordForWordAndOursInTheirSentenceStyle) {
  std::map<int, const char*> kept;
  for (const auto& k : kKeptTexts) {
    EXPECT_EQ(tov::messageText(k.id), k.text) << k.id;
    kept[k.id] = k.text;
  }
  const std::string table = tov::testing::readBytes(std::filesystem::path(TOV_SOURCE_DIR) / "resources/StringTable.inc");
  const std::regex entry(R"(\{(\d+), ")");
  std::map<std::string, int> numberOfText;
  int ours = 0;
  for (auto it = std::sregex_iterator(table.begin(), table.end(), entry); it != std::sregex_iterator(); ++it) {
    const int id = std::stoi((*it)[1]);
    const std::string& text = tov::messageText(id);
    // One text, one number: the same words twice would be two messages read as one.
    EXPECT_TRUE(numberOfText.emplace(text, id).second) << id << " repeats " << numberOfText[text];
    if (kept.count(id)) continue;
    ++ours;
    EXPECT_EQ(sentenceStyleFault(text), "") << id << ": " << text;
  }
  EXPECT_GT(ours, 30);
  // The check itself sees each fault it names.
  for (const char* wrong : {"保存できません。", "保存できません", "保存できません.上書きしますか？",
                            "上書きしますか？保存します.", "読めません\n( %1 )"})
    EXPECT_NE(sentenceStyleFault(wrong), "") << wrong;
  for (const char* right : {"読めません.\n( %1 )", "%1 行目 %2: %3", "a (1.5 MB).\n続けますか？\n%1\n( %2 )"})
    EXPECT_EQ(sentenceStyleFault(right), "") << right;
}

// Two texts under one number let the first win: a question of one dialog
// asked in another's place (OK with a pending reading asked whether to open
// read-only, and いいえ dropped the reading). Every number has one text and
// one name, and each text has exactly the placeholders its callers fill.
TEST(Messages, OneTextPerNumberAndPlaceholdersAsCallersFillThem) {
  namespace fs = std::filesystem;
  const fs::path root = TOV_SOURCE_DIR;
  std::map<int, int> textsPerNumber;
  const std::string table = tov::testing::readBytes(root / "resources/StringTable.inc");
  const std::regex entry(R"(\{(\d+), ")");
  for (auto it = std::sregex_iterator(table.begin(), table.end(), entry); it != std::sregex_iterator(); ++it)
    ++textsPerNumber[std::stoi((*it)[1])];
  for (const auto& [id, count] : textsPerNumber) EXPECT_EQ(count, 1) << "texts under " << id;

  std::map<std::string, int> idOfName;
  std::map<int, std::string> nameOfId;
  const std::string header = tov::testing::readBytes(root / "src/record/Messages.h");
  const std::regex named(R"((IDS_\w+) = (\d+),)");
  for (auto it = std::sregex_iterator(header.begin(), header.end(), named); it != std::sregex_iterator(); ++it) {
    const int id = std::stoi((*it)[2]);
    EXPECT_TRUE(nameOfId.emplace(id, (*it)[1]).second) << (*it)[1] << " and " << nameOfId[id] << " are " << id;
    idOfName[(*it)[1]] = id;
    EXPECT_EQ(textsPerNumber.count(id), 1u) << (*it)[1] << " has no text";
  }
  ASSERT_GT(idOfName.size(), 60u);

  // The highest "%n" of each text against the arguments of every call in the sources.
  auto placeholders = [](const std::string& text) {
    int highest = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
      if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') highest = std::max(highest, text[i + 1] - '0');
    return highest;
  };
  const std::regex call(R"((messageText|reportMessage)\((IDS_\w+)\s*([,)]))");
  int calls = 0;
  for (const auto& file : fs::recursive_directory_iterator(root / "src")) {
    if (file.path().extension() != ".cpp" && file.path().extension() != ".h") continue;
    const std::string source = tov::testing::readBytes(file.path());
    for (auto it = std::sregex_iterator(source.begin(), source.end(), call); it != std::sregex_iterator(); ++it) {
      const std::string name = (*it)[2];
      ASSERT_TRUE(idOfName.count(name)) << name;
      int args = 0;
      if ((*it)[3] == ",") {
        // Count the arguments: one, or the entries of a braced list (commas at depth one).
        std::size_t i = static_cast<std::size_t>(it->position(3) + 1);
        while (source[i] == ' ' || source[i] == '\n') ++i;
        if (source[i] != '{') {
          args = 1;
        } else {
          args = 1;
          int depth = 0;
          bool quoted = false;
          for (++i; i < source.size(); ++i) {
            const char c = source[i];
            if (quoted) {
              if (c == '\\') ++i;
              else if (c == '"') quoted = false;
            } else if (c == '"') quoted = true;
            else if (c == '(' || c == '{') ++depth;
            else if (c == ')' || (c == '}' && depth > 0)) --depth;
            else if (c == '}') break;
            else if (c == ',' && depth == 0) ++args;
          }
        }
      }
      // messageText(id) alone is the raw text (e.g. to compare with a shown one).
      if (args == 0 && (*it)[1] == "messageText") continue;
      ++calls;
      EXPECT_EQ(placeholders(tov::messageText(idOfName[name])), args)
          << name << " in " << file.path().filename() << " is given " << args << " arguments";
    }
  }
  EXPECT_GT(calls, 60);
}

// A file name with a terminal's escape or a line break cannot move the
// cursor or fake a line on standard error, nor make it text that is not UTF-8.
TEST(Messages, ControlCharactersInNamesAreShownEscaped) {
  const struct { const char* text; bool keepLines; const char* shown; } rows[] = {
      {"a\x1b[2Jb.tvd", true, "a\\x1b[2Jb.tvd"}, {"a\nb", true, "a\nb"}, {"a\nb", false, "a\\x0ab"},
      {"a\rb\x7f", true, "a\\x0db\\x7f"}, {"表\tx", false, "表\tx"},
      // Bytes that are not UTF-8: a CP932 name, an overlong '/', a surrogate, a cut character.
      {"\x95\\.tvd", false, "\\x95\\.tvd"}, {"a\xc0\xaf" "b", false, "a\\xc0\\xafb"},
      {"\xed\xa0\x80", false, "\\xed\\xa0\\x80"}, {"表\xe8\xa1", false, "表\\xe8\\xa1"},
  };
  for (const auto& r : rows) EXPECT_EQ(tov::escapedControls(r.text, r.keepLines), r.shown) << r.text;
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
