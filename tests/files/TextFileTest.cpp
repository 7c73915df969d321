#include "files/TextFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <tuple>

#ifndef _WIN32
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include "files/FileIdentity.h"
#include "files/Platform.h"
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
    auto name = utf8Path(entry.path().filename());
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
  EXPECT_EQ(result.detail, "ディスクの空きが足りません");
  EXPECT_FALSE(std::filesystem::exists(dir / "f.txt"));
  EXPECT_TRUE(strayFiles(dir.path(), {"folder"}).empty());
  EXPECT_EQ(writeTextLines(dir / "f.txt", {"caf\u00e9"}).status, WriteStatus::CannotEncode);
#ifdef _WIN32
  // A file another program holds (a table open in a spreadsheet) or a
  // read-only one is not replaced: its bytes stay, no temporary is left.
  const struct { const char* name; bool held; WriteStatus status; const char* reason; } rows[] = {
      {"held.csv", true, WriteStatus::WriteFailed, "ほかのプログラムが使用中です"},
      {"read-only.csv", false, WriteStatus::CannotCreate, "書き込みの権限がありません"}};
  for (const auto& r : rows) {
    writeBytes(dir / r.name, "old");
    std::optional<testing::HeldFile> holder;
    if (r.held) ASSERT_TRUE(holder.emplace(dir / r.name).held());
    else std::filesystem::permissions(dir / r.name, std::filesystem::perms(0444));
    result = writeFileBytes(dir / r.name, "new");
    holder.reset();
    EXPECT_EQ(result.status, r.status) << r.name;
    EXPECT_EQ(result.detail, r.reason) << r.name;
    EXPECT_EQ(readBytes(dir / r.name), "old") << r.name;
  }
  EXPECT_TRUE(strayFiles(dir.path(), {"folder", "held.csv", "read-only.csv"}).empty());
#endif
}

TEST(TextFile, ReplacingKeepsPermissionBitsAndFollowsLinks) {
#ifdef _WIN32
  GTEST_SKIP() << "no POSIX mode bits on Windows, and no symbolic links without extra rights";
#endif
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

// Saves and exports alike refuse a target that is no regular file and leave
// it as it was: a FIFO (not on Windows), a device (Linux: root only), a folder.
TEST(TextFile, TargetsThatAreNotRegularFilesAreRefusedUntouched) {
  TempDir dir;
  std::filesystem::create_directory(dir / "folder");
  std::vector<std::filesystem::path> targets = {dir / "folder"};
#ifndef _WIN32
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  targets.push_back(dir / "fifo");
#endif
  if (auto device = testing::nullDevice(dir.path(), "null"); !device.empty()) targets.push_back(device);
  // What a replacement would change: the kind, the mode, the file itself.
  auto identity = [](const std::filesystem::path& path) {
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    const FileFacts facts = fileFacts(path).value_or(FileFacts{});
    return std::tuple(status.type(), status.permissions(), facts.volume, facts.index);
  };
  for (const auto& target : targets) {
    SCOPED_TRACE(target.string());
    const auto before = identity(target);
    EXPECT_FALSE(writeFileBytes(target, "x").ok());
    OutputBatch batch;
    EXPECT_FALSE(batch.add(dir / "ok.png", "fine") && batch.add(target, "x"));
    EXPECT_EQ(batch.failedFile(), target);
    EXPECT_FALSE(batch.reason().empty());
    EXPECT_EQ(identity(target), before);
  }
  EXPECT_TRUE(strayFiles(dir.path(), {"fifo", "folder", "null"}).empty());
}

// A batch renames nothing until every file was written; a full disk
// anywhere (the injection point of the writer) leaves no file at all and
// names the file with the reason.
TEST(TextFile, OutputBatchIsAllOrNothing) {
  const struct { long long failAfter; bool ok; } cases[] = {{-1, true}, {0, false}, {4, false}, {9, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failAfter);
    TempDir dir;
    writeBytes(dir / "p-2.png", "old");
    std::vector<std::string> made;
    {
      OutputBatch batch;
      batch.setTemporaryHooks([&](const std::string& t) { made.push_back(t); }, {});
      setWriteFailureAfterBytesForTesting(c.failAfter);
      bool ok = batch.add(dir / "p-1.png", "page one") && batch.add(dir / "p-2.png", "page two!!");
      setWriteFailureAfterBytesForTesting(-1);
      ok = ok && batch.commit();
      EXPECT_EQ(ok, c.ok);
      EXPECT_EQ(batch.reason(), ok ? "" : "ディスクの空きが足りません");
    }
    EXPECT_FALSE(made.empty());
    EXPECT_EQ(readBytes(dir / "p-2.png"), c.ok ? "page two!!" : "old");
    EXPECT_EQ(std::filesystem::exists(dir / "p-1.png"), c.ok);
    EXPECT_TRUE(strayFiles(dir.path(), {"p-1.png", "p-2.png"}).empty());
  }
}

// A hard-linked file is written through (both names see the new bytes);
// root saving another user's file keeps that user as its owner.
TEST(TextFile, SavingKeepsLinksOwnerAndMode) {
  TempDir dir;
  writeBytes(dir / "a.tvd", "old");
  std::filesystem::create_hard_link(dir / "a.tvd", dir / "b.tvd");
  ASSERT_TRUE(writeFileBytes(dir / "a.tvd", "new content").ok());
  EXPECT_EQ(readBytes(dir / "b.tvd"), "new content");
  EXPECT_EQ(fileFacts(dir / "a.tvd")->index, fileFacts(dir / "b.tvd")->index);  // still one file
  EXPECT_TRUE(strayFiles(dir.path(), {"a.tvd", "b.tvd"}).empty());

#ifdef _WIN32
  GTEST_SKIP() << "no POSIX owner and mode on Windows";
#else
  if (::geteuid() != 0) GTEST_SKIP() << "owner change needs root";
  writeBytes(dir / "c.tvd", "old");
  ASSERT_EQ(::chown((dir / "c.tvd").c_str(), 65534, 65534), 0);
  ::chmod((dir / "c.tvd").c_str(), 0604);
  ASSERT_TRUE(writeFileBytes(dir / "c.tvd", "new").ok());
  struct stat st {};
  ::stat((dir / "c.tvd").c_str(), &st);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
#endif
}

// A hard-linked test saved where the room runs out: both names keep the
// old bytes whole (never a truncated test), or both show all the new ones.
// Runs on a small tmpfs (root), and through the full-disk hook anywhere.
TEST(TextFile, AHardLinkedSaveOnAFullDiskKeepsTheOldBytes) {
  const std::string oldBytes(6000, 'o'), newBytes(40000, 'n');
  auto check = [&](const std::filesystem::path& folder, bool fits) {
    writeBytes(folder / "a.tvd", oldBytes);
    std::filesystem::create_hard_link(folder / "a.tvd", folder / "b.tvd");
    const WriteResult result = writeFileBytes(folder / "a.tvd", newBytes);
    EXPECT_EQ(result.ok(), fits) << result.detail;
    for (const char* name : {"a.tvd", "b.tvd"})
      EXPECT_TRUE(readBytes(folder / name) == (fits ? newBytes : oldBytes)) << name << ": " << readBytes(folder / name).size();
    EXPECT_TRUE(strayFiles(folder, {"a.tvd", "b.tvd", "filler"}).empty());
  };
  {
    TempDir dir;
    setWriteFailureAfterBytesForTesting(10000);
    check(dir.path(), false);
    setWriteFailureAfterBytesForTesting(-1);
  }
#ifdef _WIN32
  GTEST_SKIP() << "no small file system to mount on Windows: the full-disk hook only";
#else
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  TempDir dir;
  if (::mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "no tmpfs mount here: " << std::strerror(errno);
  for (const bool fits : {false, true}) {
    // 20 kB free: the 40 kB do not fit. 56 kB free: they do, but not twice
    // (a complete copy beside the file would leave no room to rewrite it).
    writeBytes(dir / "filler", std::string(256 * 1024 - (fits ? 56 : 20) * 1024, 'f'));
    check(dir.path(), fits);
    for (const char* name : {"a.tvd", "b.tvd", "filler"}) std::filesystem::remove(dir / name);
  }
  ::umount(dir.path().c_str());
#endif
}

// A name of 83 Japanese characters and ".tvd" (253 bytes, the limit is 255)
// is saved: its temporary's name stays within the limit too.
TEST(TextFile, ATestWithA253ByteNameIsSaved) {
  TempDir dir;
  std::string name;
  for (int i = 0; i < 83; ++i) name += "試";
  name += ".tvd";
  ASSERT_EQ(name.size(), 253u);
  const std::filesystem::path file = dir.path() / std::u8string(name.begin(), name.end());
  for (const char* content : {"first", "second"}) {
    const WriteResult result = writeFileBytes(file, content);
    EXPECT_TRUE(result.ok()) << result.detail;
    EXPECT_EQ(readBytes(file), content);
  }
  OutputBatch batch;
  EXPECT_TRUE(batch.add(file, "third") && batch.commit()) << batch.reason();
  EXPECT_EQ(readBytes(file), "third");
  EXPECT_TRUE(strayFiles(dir.path(), {name}).empty());
}

// A link in the test's place is written through, also when its target is
// not there yet; a target that cannot be made is refused. The link stays.
TEST(TextFile, ALinkInTheTestsPlaceIsNeverReplaced) {
#ifdef _WIN32
  GTEST_SKIP() << "no symbolic links on Windows without extra rights";
#endif
  TempDir dir;
  std::filesystem::create_directories(dir / "real");
  std::filesystem::create_symlink("real/t.tvd", dir / "t.tvd");
  std::filesystem::create_symlink(dir / "missing" / "t.tvd", dir / "u.tvd");
  const struct { const char* name; bool ok; } rows[] = {{"t.tvd", true}, {"u.tvd", false}};
  for (const auto& r : rows) {
    EXPECT_EQ(writeFileBytes(dir / r.name, "new").ok(), r.ok) << r.name;
    EXPECT_TRUE(std::filesystem::is_symlink(dir / r.name)) << r.name;
  }
  EXPECT_EQ(readBytes(dir / "real" / "t.tvd"), "new");
}

// The one rule of every command: no output is a file it reads, by any
// spelling or link, nor another output (also one not made yet); distinct
// files pass.
TEST(TextFile, NoOutputIsAnInputOrAnotherOutput) {
  TempDir dir;
  writeBytes(dir / "in.tvd", "x");
  std::filesystem::create_directories(dir / "sub");
  const std::filesystem::path in = dir / "in.tvd", spelled = dir / "sub" / ".." / "in.tvd";
  const struct { std::vector<std::filesystem::path> outputs; bool clash; bool withOutput; } rows[] = {
      {{dir / "out.pdf"}, false, false},
      {{spelled}, true, false},
      {{dir / "hard.tvd"}, true, false},
      {{dir / "link.tvd"}, true, false},
      {{dir / "out.xlsx", dir / "sub" / ".." / "out.xlsx"}, true, true},  // not made yet
      {{dir / "sub", dir / "sub" / "x.pdf", dir / "sub/"}, true, true},   // a folder named twice
      {{dir / "a.pdf", dir / "b.pdf", dir / "sub"}, false, false},
  };
  std::filesystem::create_hard_link(in, dir / "hard.tvd");
#ifndef _WIN32
  std::filesystem::create_symlink("in.tvd", dir / "link.tvd");
#endif
  for (const auto& r : rows) {
#ifdef _WIN32
    if (r.outputs.front() == dir / "link.tvd") continue;  // no symbolic links without extra rights
#endif
    const auto clash = findOutputClash({dir / "other.tvd", in}, r.outputs);
    ASSERT_EQ(clash.has_value(), r.clash) << utf8Path(r.outputs.front());
    if (clash) {
      EXPECT_EQ(clash->otherIsOutput, r.withOutput);
      EXPECT_EQ(clash->other, r.withOutput ? r.outputs.front() : in);
    }
  }
}

// Scratch files a library makes by name lie in a folder made for them, of
// a name nobody can guess, that only the user may enter: never one that
// was there, never through a link.
TEST(TextFile, PrivateFoldersAreNewAndTheUsersOwn) {
  TempDir dir;
  const auto a = makePrivateFolder(dir.path(), "tov-"), b = makePrivateFolder(dir.path(), "tov-");
  ASSERT_TRUE(a && b);
  EXPECT_NE(*a, *b);
  EXPECT_TRUE(utf8Path(a->filename()).starts_with("tov-"));
#ifndef _WIN32
  EXPECT_EQ(std::filesystem::status(*a).permissions() & std::filesystem::perms::all, std::filesystem::perms::owner_all);
#endif
  EXPECT_TRUE(removeEmptyFolder(*a));
  EXPECT_FALSE(std::filesystem::exists(*a));
  EXPECT_FALSE(makePrivateFolder(dir / "missing", "tov-").has_value());
}

} // namespace
} // namespace tov
