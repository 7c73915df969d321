#pragma once
// The standard checks a dialog runs on its fields when OK is pressed: an
// integer, an integer within a range, a number, a text of at most so many
// characters. The first field that fails is reported with the standard
// message and remembered, so that the dialog can put the focus on it and
// stay open; every later check then fails without a word.
#include <optional>
#include <string_view>

namespace tov {

// An integer as a dialog field holds it: optional blanks, an optional sign,
// digits, optional blanks; nothing else. Nothing for anything else and for
// values outside int.
std::optional<int> parseIntegerField(std::string_view text);
// A decimal number as a dialog field holds it (blanks around it allowed,
// nothing after it). Nothing for anything else, and for inf and nan.
std::optional<double> parseNumberField(std::string_view text);

class FieldCheck {
public:
  // "整数を入力してください。"
  bool integer(int field, std::string_view text, int& value);
  // Not an integer: as integer(); outside min..max:
  // "%1 から %2 までの整数を入力してください。"
  bool integerInRange(int field, std::string_view text, int min, int max, int& value);
  // "数字を入力してください。"
  bool number(int field, std::string_view text, double& value);
  // More than maxChars characters, counted as the settings files count them
  // (CP932 bytes: a full-width character counts 2):
  // "%1 文字以内で入力してください。"
  bool maxChars(int field, std::string_view text, int maxChars);
  // Fails the field with a message of the caller's own (already reported).
  void fail(int field);

  bool ok() const { return !failedField_; }
  // The first field that failed.
  std::optional<int> failedField() const { return failedField_; }

private:
  bool failWith(int field, int messageId);
  std::optional<int> failedField_;
};

} // namespace tov
