#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/mman.h>
#include <unistd.h>

#include "files/TvdFile.h"
#include "record/Messages.h"
#include "render/Page.h"
#include "render/RecordingSurface.h"

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

[[noreturn]] void finding(const char* what, std::size_t amount, int page) {
  std::fprintf(stderr, "page %d: %zu %s, more than a page may hold\n", page, amount, what);
  std::abort();
}

} // namespace

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

void drawEveryPage(const TestRecord& record, const DisplaySettings& settings, const Fonts& fonts) {
  const PageInputs inputs{record, settings, fonts, 210};
  RecordingSurface surface(kFuzzDpi, kFuzzDpi);
  const int pages = pageCount(record);
  for (int page = 1; page <= pages; ++page) {
    surface.clear();
    renderPage(surface, inputs, page);
    const std::size_t primitives = surface.lines().size() + surface.circles().size();
    if (primitives > kMaxPrimitivesPerPage) finding("lines and circles", primitives, page);
    std::size_t text = 0;
    for (const auto& t : surface.texts()) text += t.text.size();
    for (const auto& t : surface.drawTexts()) text += t.text.size();
    if (text > kMaxTextBytesPerPage) finding("bytes of text", text, page);
  }
}

} // namespace tov::fuzz
