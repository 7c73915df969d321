#include "files/Recovery.h"

#include <algorithm>
#include <atomic>
#include <ctime>
#include <limits>

#include "files/Platform.h"
#include "files/TextFile.h"
#include "files/TvdFile.h"
#include "record/CFormat.h"

namespace tov {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "TovRecovery 2\n";
// Written by earlier versions, without the body's length and hash.
constexpr std::string_view kOldMagic = "TovRecovery 1\n";
constexpr const char* kExtension = ".tovrec";
constexpr std::size_t kMaxRecoveryBytes = 64u << 20;
std::atomic<unsigned> gCounter{0};

std::optional<long long> wholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 19) return std::nullopt;
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > (std::numeric_limits<long long>::max() - (c - '0')) / 10) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A time may lie before 1970 (a file restored from an old archive).
std::optional<long long> signedNumber(std::string_view text) {
  if (!text.starts_with('-')) return wholeNumber(text);
  const auto value = wholeNumber(text.substr(1));
  if (!value) return std::nullopt;
  return -*value;
}

// "size time hash": decimal size and nanoseconds, 16 hex digits of hash
// (either case).
std::optional<FileIdentity> parseBase(std::string_view text) {
  const auto first = text.find(' ');
  const auto second = first == std::string_view::npos ? first : text.find(' ', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  const auto size = wholeNumber(text.substr(0, first));
  const auto time = signedNumber(text.substr(first + 1, second - first - 1));
  const std::string_view hex = text.substr(second + 1);
  if (!size || !time || hex.size() != 16) return std::nullopt;
  FileIdentity id;
  id.size = static_cast<std::uint64_t>(*size);
  id.modifiedNs = *time;
  for (char c : hex) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return std::nullopt;
    id.hash = id.hash << 4 | static_cast<std::uint64_t>(digit);
  }
  return id;
}

// A header value on one line: a backslash and a line break are written as
// "\\" and "\n" (a test's path may hold either).
std::string escapedValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

std::optional<std::string> unescapedValue(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
    } else if (i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == 'n')) {
      out += text[++i] == 'n' ? '\n' : '\\';
    } else {
      return std::nullopt;
    }
  }
  return out;
}

// "bytes hash": the body's length and its hash in 16 hex digits, read as a
// base of that size.
std::optional<FileIdentity> parseBody(std::string_view text) {
  const auto space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  return parseBase(std::string(text.substr(0, space)) + " 0 " + std::string(text.substr(space + 1)));
}

std::optional<RecoveryFile> fail(RecoveryProblem* problem, RecoveryProblem why) {
  if (problem) *problem = why;
  return std::nullopt;
}

} // namespace

fs::path recoveryFolder() { return localDataFolder() / "recovery"; }

std::string recoveryText(const TestRecord& record, const std::string& testPath, std::int64_t savedAt, long pid,
                         const std::string& host, const std::optional<FileIdentity>& base) {
  const std::string body = buildTestFileText(record);
  std::string text(kMagic);
  text += "path=" + escapedValue(testPath) + "\n";
  text += cformat("time=%lld\n", static_cast<long long>(savedAt));
  text += cformat("pid=%ld\n", pid);
  text += "host=" + escapedValue(host) + "\n";
  // Always there: a missing line is a damaged one.
  if (base)
    text += cformat("base=%llu %lld %016llx\n", static_cast<unsigned long long>(base->size),
                    static_cast<long long>(base->modifiedNs), static_cast<unsigned long long>(base->hash));
  else
    text += "base=none\n";
  text += cformat("body=%zu %016llx\n", body.size(), static_cast<unsigned long long>(contentHash(body)));
  text += "\n";
  text += body;
  return text;
}

std::optional<RecoveryFile> parseRecoveryText(std::string_view text, RecoveryProblem* problem) {
  if (problem) *problem = RecoveryProblem::None;
  if (text.starts_with(kOldMagic)) return fail(problem, RecoveryProblem::OldVersion);
  if (!text.starts_with(kMagic)) return fail(problem, RecoveryProblem::NotRecovery);
  text.remove_prefix(kMagic.size());
  RecoveryFile result;
  bool havePath = false, haveTime = false, haveBase = false;
  std::optional<FileIdentity> body;  // its size and hash
  for (;;) {
    const auto end = text.find('\n');
    if (end == std::string_view::npos) return fail(problem, RecoveryProblem::NotWhole);  // cut in its header
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + 1);
    if (line.empty()) break;
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) return fail(problem, RecoveryProblem::NotRecovery);
    const std::string_view key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "path") {
      const auto path = unescapedValue(value);
      if (!path) return fail(problem, RecoveryProblem::NotRecovery);
      result.testPath = *path;
      havePath = true;
    } else if (key == "time") {
      const auto t = wholeNumber(value);
      if (!t) return fail(problem, RecoveryProblem::NotRecovery);
      result.savedAt = *t;
      haveTime = true;
    } else if (key == "pid") {
      const auto p = wholeNumber(value);
      if (!p || *p > 0x7fffffff) return fail(problem, RecoveryProblem::NotRecovery);
      result.pid = static_cast<long>(*p);
    } else if (key == "host") {
      result.host = unescapedValue(value).value_or(std::string(value));
    } else if (key == "base") {
      // A damaged base loses the check, never the edits.
      haveBase = true;
      if (value != "none") {
        result.base = parseBase(value);
        result.baseUnknown = !result.base;
      }
    } else if (key == "body") {
      body = parseBody(value);
    }
  }
  if (!havePath || !haveTime) return fail(problem, RecoveryProblem::NotRecovery);
  // The body is restored only as it was written: its length and hash.
  if (!body || text.size() != body->size || contentHash(text) != body->hash)
    return fail(problem, RecoveryProblem::NotWhole);
  // A test of a file whose record is missing asks as a damaged one does.
  if (!haveBase && !result.testPath.empty()) result.baseUnknown = true;
  // The test as its file holds it: the tag line, then the sections.
  const auto firstEnd = text.find('\n');
  if (firstEnd == std::string_view::npos || !isAcceptedVersion(versionOf(text.substr(0, firstEnd))))
    return fail(problem, RecoveryProblem::NotRecovery);
  TvdLineReader reader(result.record);
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end == std::string_view::npos ? text.size() : end + 1);
    reader.readLine(line);
    text.remove_prefix(line.size());
  }
  return result;
}

fs::path newRecoveryFile() {
  return recoveryFolder() / pathFromUtf8(cformat("%ld-%ld-%u", currentProcessId(), static_cast<long>(std::time(nullptr)),
                                                 gCounter.fetch_add(1)) +
                                         kExtension);
}

bool writeRecovery(const fs::path& file, const TestRecord& record, const std::string& testPath,
                   const std::optional<FileIdentity>& base) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  restrictToOwner(file.parent_path());
  const std::string text =
      recoveryText(record, testPath, static_cast<std::int64_t>(std::time(nullptr)), currentProcessId(), hostName(), base);
  return writeFileBytes(file, text).ok();
}

void removeRecovery(const fs::path& file) {
  if (!file.empty()) removeFile(file);
}

std::vector<RecoveryFile> leftRecoveries(std::vector<SetAsideRecovery>* setAside) {
  std::vector<RecoveryFile> found;
  std::error_code ec;
  const std::string host = hostName();
  std::vector<SetAsideRecovery> unreadable;
  for (const auto& entry : fs::directory_iterator(recoveryFolder(), ec)) {
    if (entry.path().extension() != kExtension) continue;
    std::error_code typeError;
    if (!entry.is_regular_file(typeError)) continue;
    const auto bytes = readFileHead(entry.path(), kMaxRecoveryBytes + 1);
    RecoveryProblem problem = RecoveryProblem::NotWhole;
    auto parsed = bytes && bytes->size() <= kMaxRecoveryBytes ? parseRecoveryText(*bytes, &problem) : std::nullopt;
    if (!parsed) {
      unreadable.push_back({entry.path(), problem});
      continue;
    }
    // Another program of this host that still runs keeps its own.
    if (parsed->host == host && parsed->pid > 0 && parsed->pid != currentProcessId() &&
        processAlive(parsed->pid))
      continue;
    parsed->file = entry.path();
    found.push_back(std::move(*parsed));
  }
  // Renamed after the folder was read: the listing does not meet them twice.
  for (const SetAsideRecovery& left : unreadable) {
    fs::path aside = left.file;
    aside += ".unreadable";
    std::error_code renameError;
    fs::rename(left.file, aside, renameError);
    if (setAside) setAside->push_back({renameError ? left.file : aside, left.problem});
  }
  std::sort(found.begin(), found.end(), [](const RecoveryFile& a, const RecoveryFile& b) { return a.savedAt < b.savedAt; });
  return found;
}

std::string recoveryTimeText(std::int64_t savedAt) {
  const auto t = static_cast<std::time_t>(savedAt);
  std::tm local {};
  localTime(t, &local);
  char buffer[32];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M", &local);
  return buffer;
}

} // namespace tov
