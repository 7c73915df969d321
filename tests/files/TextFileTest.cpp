#include "files/TextFile.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "support/TestSupport.h"

namespace tov {
namespace {

using testing::readBytes;
using testing::TempDir;
using testing::writeBytes;

// Names in the folder other than the ones given: a leftover temporary file.
std::vector<std::string> strayFiles(const std::filesystem::path& folder, std::vector<std::string> expected) {
  std::vector<std::string> stray;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    auto name = entry.path().filename().string();
    if (std::find(expected.begin(), expected.end(), name) == expected.end()) stray.push_back(name);
  }
  return stray;
}

class WriteFailureHook {
public:
  explicit WriteFailureHook(long long bytes) { setWriteFailureAfterBytesForTesting(bytes); }
  ~WriteFailureHook() { setWriteFailureAfterBytesForTesting(-1); }
};

TEST(TextFile, ReadsWholeLinesWithEitherLineEnd) {
  struct Case {
    std::string bytes;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"", {}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"\r\n\r\n", {"", ""}},
      {"a\rb\r\n", {"a\rb"}},                  // a lone CR is text
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

TEST(TextFile, NothingToReadFromAMissingFileOrAFolder) {
  TempDir dir;
  EXPECT_FALSE(readTextLines(dir / "missing.txt").has_value());
  EXPECT_FALSE(readTextLines(dir.path()).has_value());
  EXPECT_FALSE(readFileBytes(dir.path()).has_value());
}

TEST(TextFile, WritesCp932WithOneCrLfPerLine) {
  TempDir dir;
  ASSERT_TRUE(writeTextLines(dir / "f.txt", {"試験", "", "x\r\n", "y"}).ok());
  EXPECT_EQ(readBytes(dir / "f.txt"), "\x8e\x8e\x8c\xb1\r\n\r\nx\r\ny\r\n");
  EXPECT_TRUE(strayFiles(dir.path(), {"f.txt"}).empty());
}

TEST(TextFile, UnencodableTextLeavesTheOldFileAsItWas) {
  TempDir dir;
  writeBytes(dir / "f.txt", "old\r\n");
  auto result = writeTextLines(dir / "f.txt", {"ok", "caf\u00e9"});
  EXPECT_EQ(result.status, WriteStatus::CannotEncode);
  EXPECT_EQ(result.detail, "\u00e9");
  EXPECT_EQ(readBytes(dir / "f.txt"), "old\r\n");
}

TEST(TextFile, FailedWritesKeepThePreviousFileAndLeaveNoTemporary) {
  TempDir dir;
  writeBytes(dir / "old.txt", "previous\r\n");
  writeBytes(dir / "plain", "not a folder");
  std::filesystem::create_directory(dir / "folder.txt");

  struct Case {
    const char* what;
    std::filesystem::path target;
    long long failAfter;
  };
  const Case cases[] = {
      {"folder does not exist", dir / "nowhere" / "f.txt", -1},
      {"folder is a regular file", dir / "plain" / "f.txt", -1},
      {"a folder in place of the file", dir / "folder.txt", -1},
      {"disk full at the start", dir / "old.txt", 0},
      {"disk full part way", dir / "old.txt", 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    WriteFailureHook hook(c.failAfter);
    auto result = writeFileBytes(c.target, "replacement content\r\n");
    EXPECT_FALSE(result.ok());
    EXPECT_FALSE(result.detail.empty());
    EXPECT_EQ(readBytes(dir / "old.txt"), "previous\r\n");
    EXPECT_EQ(readBytes(dir / "plain"), "not a folder");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.txt"));
    EXPECT_TRUE(strayFiles(dir.path(), {"old.txt", "plain", "folder.txt"}).empty());
    EXPECT_TRUE(std::filesystem::is_empty(dir / "folder.txt"));
  }
}

TEST(TextFile, FullDiskIsReportedAsWriteFailed) {
  TempDir dir;
  WriteFailureHook hook(3);
  auto result = writeFileBytes(dir / "f.txt", "abcdef");
  EXPECT_EQ(result.status, WriteStatus::WriteFailed);
  EXPECT_FALSE(std::filesystem::exists(dir / "f.txt"));
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
