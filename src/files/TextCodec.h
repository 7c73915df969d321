#pragma once
// Conversion between the program's UTF-8 text and the CP932 bytes of every
// file on disk.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tov {

// UTF-8 to CP932. Returns nothing when a character cannot be held in CP932
// (or the input is not valid UTF-8); *offending then receives that character
// (UTF-8) so the caller can name it. Never substitutes silently.
std::optional<std::string> utf8ToCp932(std::string_view utf8, std::string* offending = nullptr);

// CP932 to UTF-8. Bytes that are not valid CP932 become U+3013 "〓" and
// *hadInvalid is set; never fails.
std::string cp932ToUtf8(std::string_view bytes, bool* hadInvalid = nullptr);

// True for a CP932 lead byte (0x81-0x9F, 0xE0-0xFC).
bool isCp932LeadByte(unsigned char byte);
// One code point as UTF-8.
std::string utf8Of(char32_t cp);

// Length of the text in CP932 bytes (rules that count bytes count these).
// A character CP932 cannot hold counts as 2 bytes.
int cp932Length(std::string_view utf8);

// The longest prefix of the text that takes at most maxBytes CP932 bytes,
// never splitting a character; its length in UTF-8 bytes. Only the prefix
// is looked at, so a long text costs no more than a short one.
std::size_t cp932PrefixLength(std::string_view utf8, int maxBytes);
inline std::string cp932Prefix(std::string_view utf8, int maxBytes) {
  return std::string(utf8.substr(0, cp932PrefixLength(utf8, maxBytes)));
}

} // namespace tov
