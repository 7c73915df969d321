#include "dialogs/FieldCheck.h"

#include <cmath>
#include <string>

#include "files/TextCodec.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

std::optional<int> parseIntegerField(std::string_view text) {
  text = trimmed(text);
  std::size_t i = 0;
  const bool negative = !text.empty() && text[0] == '-';
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) ++i;
  if (i == text.size()) return std::nullopt;
  long long value = 0;
  for (; i < text.size(); ++i) {
    if (!isDigit(text[i])) return std::nullopt;
    value = value * 10 + (text[i] - '0');
    if (value > 2147483648LL) return std::nullopt;
  }
  if (negative) value = -value;
  if (value > 2147483647LL || value < -2147483648LL) return std::nullopt;
  return static_cast<int>(value);
}

std::optional<double> parseNumberField(std::string_view text) {
  text = trimmed(text);
  // Digits with at most one point, then an optional exponent.
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  std::size_t digits = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (isDigit(text[i])) {
      ++digits;
    } else if (text[i] == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    if (j < text.size() && (text[j] == '-' || text[j] == '+')) ++j;
    const std::size_t firstDigit = j;
    while (j < text.size() && isDigit(text[j])) ++j;
    if (j == firstDigit) return std::nullopt;
    i = j;
  }
  if (i != text.size()) return std::nullopt;
  const double value = toDouble(text);
  if (!std::isfinite(value)) return std::nullopt;
  return value;
}

bool FieldCheck::failWith(int field, int messageId) {
  reportMessage(messageId);
  failedField_ = field;
  return false;
}

void FieldCheck::fail(int field) {
  if (!failedField_) failedField_ = field;
}

bool FieldCheck::integer(int field, std::string_view text, int& value) {
  if (failedField_) return false;
  const auto parsed = parseIntegerField(text);
  if (!parsed) return failWith(field, IDS_ENTER_INTEGER);
  value = *parsed;
  return true;
}

bool FieldCheck::integerInRange(int field, std::string_view text, int min, int max, int& value) {
  int parsed = 0;
  if (!integer(field, text, parsed)) return false;
  if (parsed < min || parsed > max) {
    messageSink().report(messageText(IDS_ENTER_INTEGER_RANGE, {cformat("%d", min), cformat("%d", max)}));
    failedField_ = field;
    return false;
  }
  value = parsed;
  return true;
}

bool FieldCheck::number(int field, std::string_view text, double& value) {
  if (failedField_) return false;
  const auto parsed = parseNumberField(text);
  if (!parsed) return failWith(field, IDS_ENTER_NUMBER);
  value = *parsed;
  return true;
}

bool FieldCheck::maxChars(int field, std::string_view text, int maxChars) {
  if (failedField_) return false;
  if (cp932Length(text) <= maxChars) return true;
  reportMessage(IDS_ENTER_AT_MOST_CHARS, cformat("%d", maxChars));
  failedField_ = field;
  return false;
}

} // namespace tov
