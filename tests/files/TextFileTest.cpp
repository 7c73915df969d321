#include "files/TextFile.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace tov {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// Names in the folder other than the ones given (a leftover temporary file).
std::vector<std::string> strayFiles(const std::filesystem::path& folder, std::vector<std::string> expected) {
  std::vector<std::string> stray;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    auto name = entry.path().filename().string();
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) stray.push_back(name);
  }
  return stray;
}

TEST(TextFile, ReadsWholeLinesWithEitherLineEnd) {
  const struct { std::string bytes; std::vector<std::string> lines; } cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"a\rb\r\n", {"a\rb"}},                  // a lone CR is text
      {"a\r\nb\r", {"a", "b"}},                 // but one that ends the file ends its last line
      {"\x8e\x8e\x8c\xb1\r\n", {"試験"}},
      {std::string(5000, 'x') + "\r\ny", {std::string(5000, 'x'), "y"}},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes.substr(0, 20));
    writeBytes(dir / "f.txt", c.bytes);
    auto text = readTextLines(dir / "f.txt");
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(text->lines, c.lines);
    EXPECT_FALSE(text->hadInvalidBytes);
  }
}

TEST(TextFile, WritesCp932WithOneCrLfPerLine) {
  TempDir dir;
  ASSERT_TRUE(writeTextLines(dir / "f.txt", {"試験", "", "x\r\n", "y"}).ok());
  EXPECT_EQ(readBytes(dir / "f.txt"), "\x8e\x8e\x8c\xb1\r\n\r\nx\r\ny\r\n");
  EXPECT_TRUE(strayFiles(dir.path(), {"f.txt"}).empty());
}

// The message-level behaviour (old file intact, no temporary) is checked
// through saveTestFile; here only the statuses and the reason.
TEST(TextFile, FailuresCarryStatusAndReason) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  auto result = writeFileBytes(dir / "folder", "x");
  EXPECT_EQ(result.status, WriteStatus::CannotCreate);
  EXPECT_FALSE(result.detail.empty());
  EXPECT_EQ(writeFileBytes(dir / "no" / "f.txt", "x").status, WriteStatus::CannotCreate);
  setWriteFailureAfterBytesForTesting(3);  // the disk is full after three bytes
  result = writeFileBytes(dir / "f.txt", "abcdef");
  setWriteFailureAfterBytesForTesting(-1);
  EXPECT_EQ(result.status, WriteStatus::WriteFailed);
  EXPECT_EQ(result.detail, "No space left on device");
  EXPECT_FALSE(std::filesystem::exists(dir / "f.txt"));
  EXPECT_TRUE(strayFiles(dir.path(), {"folder"}).empty());
  EXPECT_EQ(writeTextLines(dir / "f.txt", {"caf\u00e9"}).status, WriteStatus::CannotEncode);
}

TEST(TextFile, ReplacingKeepsPermissionBitsAndFollowsLinks) {
  TempDir dir;
  writeBytes(dir / "f.txt", "old");
  std::filesystem::permissions(dir / "f.txt", std::filesystem::perms(0640));
  ASSERT_TRUE(writeFileBytes(dir / "f.txt", "new").ok());
  EXPECT_EQ(readBytes(dir / "f.txt"), "new");
  EXPECT_EQ(std::filesystem::status(dir / "f.txt").permissions(), std::filesystem::perms(0640));

  std::filesystem::create_symlink(dir / "f.txt", dir / "link.txt");
  ASSERT_TRUE(writeFileBytes(dir / "link.txt", "via link").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
  EXPECT_EQ(readBytes(dir / "f.txt"), "via link");
}

} // namespace
} // namespace tov
