// The standard field checks of the dialogs: what counts as an integer or a
// number, the range and length messages, and that only the first failing
// field is reported.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "dialogs/FieldCheck.h"
#include "record/Messages.h"

namespace tov {
namespace {

TEST(FieldCheck, IntegersAndNumbersAsTyped) {
  const struct { const char* text; std::optional<int> integer; std::optional<double> number; } rows[] = {
      {"12", 12, 12.0},        {" -7 ", -7, -7.0},     {"+3", 3, 3.0},          {"", {}, {}},
      {"1.5", {}, 1.5},        {"1.", {}, 1.0},        {".5", {}, 0.5},         {"1e3", {}, 1000.0},
      {"2147483647", 2147483647, 2147483647.0},       {"2147483648", {}, 2147483648.0},
      {"-2147483648", -2147483647 - 1, -2147483648.0}, {"12a", {}, {}},         {"1 2", {}, {}},
      {"-", {}, {}},           {"e5", {}, {}},         {"1e", {}, {}},          {"0x10", {}, {}},
      {"1e999", {}, {}},       {"nan", {}, {}},        {"１２", {}, {}},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(parseIntegerField(r.text), r.integer) << r.text;
    EXPECT_EQ(parseNumberField(r.text), r.number) << r.text;
  }
}

TEST(FieldCheck, ReportsTheFirstFailingFieldOnly) {
  RecordingMessageSink sink;
  ScopedMessageSink scoped(sink);
  FieldCheck check;
  int i = 0;
  double d = 0;
  EXPECT_TRUE(check.integerInRange(1, "200", 0, 200, i));
  EXPECT_EQ(i, 200);
  EXPECT_TRUE(check.maxChars(2, "ＡＢ", 4));  // a full-width character counts 2
  EXPECT_FALSE(check.integerInRange(3, "250", 0, 200, i));
  EXPECT_FALSE(check.number(4, "x", d));  // after a failure: silent
  EXPECT_EQ(check.failedField(), 3);
  EXPECT_EQ(sink.reported, std::vector<std::string>{"0 から 200 までの整数を入力してください。"});

  const struct { std::function<bool(FieldCheck&)> run; const char* message; } rows[] = {
      {[&](FieldCheck& c) { return c.integer(5, "1.5", i); }, "整数を入力してください。"},
      {[&](FieldCheck& c) { return c.integerInRange(5, "", 1, 9, i); }, "整数を入力してください。"},
      {[&](FieldCheck& c) { return c.number(5, "", d); }, "数字を入力してください。"},
      {[&](FieldCheck& c) { return c.maxChars(5, "ＡＢＣ", 5); }, "5 文字以内で入力してください。"},
  };
  for (const auto& r : rows) {
    sink.reported.clear();
    FieldCheck fresh;
    EXPECT_FALSE(r.run(fresh));
    EXPECT_EQ(fresh.failedField(), 5);
    EXPECT_EQ(sink.reported, std::vector<std::string>{r.message});
  }
}

} // namespace
} // namespace tov
