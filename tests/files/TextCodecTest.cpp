#include "files/TextCodec.h"

#include <gtest/gtest.h>

namespace tov {
namespace {

struct CodecCase {
  const char* utf8;
  const char* cp932;
};

TEST(TextCodec, ConvertsBothWaysWithoutLoss) {
  const CodecCase cases[] = {
      {"", ""},
      {"30,1.25,10.30", "30,1.25,10.30"},
      {"現場透水試験", "\x8c\xbb\x8f\xea\x93\xa7\x90\x85\x8e\x8e\x8c\xb1"},
      {"ｱｲｳ", "\xb1\xb2\xb3"},          // half-width katakana: one byte each
      {"①Ⅰ", "\x87\x40\x87\x54"},        // NEC special characters
      {"髙", "\xfb\xfc"},                  // IBM extension
      {"ソ表", "\x83\x5c\x95\x5c"},        // trail byte 0x5C
      {"〓", "\x81\xac"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    auto bytes = utf8ToCp932(c.utf8);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, c.cp932);
    bool invalid = false;
    EXPECT_EQ(cp932ToUtf8(c.cp932, &invalid), c.utf8);
    EXPECT_FALSE(invalid);
  }
}

TEST(TextCodec, RefusesAndNamesCharactersCp932CannotHold) {
  const struct { std::string text; std::string offending; } cases[] = {
      {"k😀k", "😀"},
      {"caf\u00e9", "\u00e9"},
      // iconv drops the tag characters without an error; they must still be refused.
      {"a\U000E0041b", "\U000E0041"},
      {"ab\xff", "\xEF\xBF\xBD"},  // not UTF-8 at all
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string offending;
    EXPECT_FALSE(utf8ToCp932(c.text, &offending).has_value());
    EXPECT_EQ(offending, c.offending);
  }
}

TEST(TextCodec, InvalidBytesBecomeGetaMarkAndKeepFollowingAscii) {
  const CodecCase cases[] = {
      {"a〓b", "a\x80" "b"},
      {"〓,1", "\xa0,1"},
      {"〓,2", "\x85\x40,2"},   // unassigned double-byte code: one mark
      {"〓,3", "\x82,3"},       // lead byte without a trail byte
      {"x〓", "x\x82"},         // lead byte at the end
      {"〓〓", "\xfd\xff"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.utf8);
    bool invalid = false;
    EXPECT_EQ(cp932ToUtf8(c.cp932, &invalid), c.utf8);
    EXPECT_TRUE(invalid);
  }
}

TEST(TextCodec, ByteCountsMatchTheEncoderForEveryCharacter) {
  for (char32_t cp = 1; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    std::string ch;
    if (cp < 0x80) {
      ch = static_cast<char>(cp);
    } else if (cp < 0x800) {
      ch = {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    } else {
      ch = {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
            static_cast<char>(0x80 | (cp & 0x3F))};
    }
    auto bytes = utf8ToCp932(ch);
    int expected = bytes ? static_cast<int>(bytes->size()) : 2;
    ASSERT_EQ(cp932Length(ch), expected) << "U+" << std::hex << static_cast<unsigned>(cp);
  }
  EXPECT_EQ(cp932Length("😀"), 2);
  EXPECT_EQ(cp932Length("ab試験ｱ"), 7);
}

TEST(TextCodec, PrefixNeverSplitsACharacter) {
  const struct { const char* text; int bytes; const char* prefix; } prefixes[] = {
      {"あいう", 5, "あい"}, {"aあ", 2, "a"}, {"ｱｲｳ", 2, "ｱｲ"}, {"abc", 0, ""}, {"abc", 10, "abc"}};
  for (const auto& p : prefixes) EXPECT_EQ(cp932Prefix(p.text, p.bytes), p.prefix) << p.text << " " << p.bytes;
  // Lead bytes are 0x81-0x9F and 0xE0-0xFC.
  for (auto [byte, lead] : {std::pair{0x80, false}, {0x81, true}, {0x9F, true}, {0xA0, false}, {0xDF, false},
                            {0xE0, true}, {0xFC, true}, {0xFD, false}})
    EXPECT_EQ(isCp932LeadByte(static_cast<unsigned char>(byte)), lead) << std::hex << byte;
}

} // namespace
} // namespace tov
