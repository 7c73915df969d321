#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "files/TextCodec.h"
#include "files/TvdFile.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "render/Primitives.h"

namespace tov::fuzz {

namespace {

// What one page may hold at the fuzzing resolution: far more than any real
// page, far less than a page that runs away with a value.
constexpr std::size_t kMaxPrimitivesPerPage = 500000;
constexpr std::size_t kMaxTextBytesPerPage = 200000;

class NoMessages : public MessageSink {
public:
  void report(const std::string&) override {}
  bool askYesNo(const std::string&) override { return false; }
};

[[noreturn]] void finding(const char* what, std::size_t amount, const char* where) {
  std::fprintf(stderr, "%s: %zu %s, more than may be drawn\n", where, amount, what);
  std::abort();
}

} // namespace

void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

InputFile::InputFile() {
  fd_ = ::memfd_create("tov-fuzz-input", MFD_CLOEXEC);
  if (fd_ < 0) {
    std::perror("memfd_create");
    std::abort();
  }
  path_ = "/proc/self/fd/" + std::to_string(fd_);
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

const std::filesystem::path& InputFile::write(const std::uint8_t* data, std::size_t size) {
  if (::ftruncate(fd_, 0) != 0) std::abort();
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pwrite(fd_, data + done, size - done, static_cast<off_t>(done));
    if (n <= 0) std::abort();
    done += static_cast<std::size_t>(n);
  }
  return path_;
}

void silenceMessages() {
  static NoMessages sink;
  setMessageSink(&sink);
}

TestRecord sampleTest(const char* name) {
  TestRecord record;
  const std::filesystem::path path = std::filesystem::path(TOV_SOURCE_DIR) / "samples" / name;
  if (loadTestFile(path, record) != LoadStatus::Ok) {
    std::fprintf(stderr, "cannot read the sample %s\n", path.c_str());
    std::abort();
  }
  record.fillScaleDefaults(firstStartDisplaySettings().headingDefaults());
  repairScalesForDrawing(record);
  return record;
}

Fonts defaultFonts() {
  Fonts fonts{};
  for (int slot = 1; slot <= kFontSlotCount; ++slot) fonts[static_cast<std::size_t>(slot - 1)] = defaultFontSetting(slot);
  return fonts;
}

void checkDrawnWork(const RecordingSurface& surface, const char* what) {
  const std::size_t primitives = surface.lines().size() + surface.circles().size();
  if (primitives > kMaxPrimitivesPerPage) finding("lines and circles", primitives, what);
  std::size_t text = 0;
  auto count = [&](const std::string& t) {
    text += t.size();
    const int bytes = cp932Length(t);
    if (bytes > kMaxDrawnTextBytes) finding("CP932 bytes in one text", static_cast<std::size_t>(bytes), what);
  };
  for (const auto& t : surface.texts()) count(t.text);
  for (const auto& t : surface.drawTexts()) count(t.text);
  if (text > kMaxTextBytesPerPage) finding("bytes of text", text, what);
}

void drawEveryPage(const TestRecord& record, const DisplaySettings& settings, const Fonts& fonts) {
  const PageInputs inputs{record, settings, fonts, 210};
  RecordingSurface surface(kFuzzDpi, kFuzzDpi);
  const int pages = pageCount(record);
  for (int page = 1; page <= pages; ++page) {
    surface.clear();
    renderPage(surface, inputs, page);
    const std::string where = "page " + std::to_string(page);
    checkDrawnWork(surface, where.c_str());
  }
}

} // namespace tov::fuzz
