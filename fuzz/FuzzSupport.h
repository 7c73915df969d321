#pragma once
// Shared by the fuzz targets: an input as a file the readers open by path,
// quiet messages, the sample tests, and drawing every page of a test with a
// bound on the work a page may take.
#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "files/Settings.h"
#include "record/TestRecord.h"
#include "render/RecordingSurface.h"

namespace tov::fuzz {

// One input as a file: an anonymous memory file, reached through its
// /proc/self/fd path, rewritten for every input (no disk work).
class InputFile {
public:
  InputFile();
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  // Replaces the file's content; returns the path to open it by.
  const std::filesystem::path& write(const std::uint8_t* data, std::size_t size);

private:
  int fd_ = -1;
  std::filesystem::path path_;
};

// A finding: says what went wrong on standard error and aborts.
[[noreturn]] void fail(const char* what);

// Messages go nowhere; questions are answered No.
void silenceMessages();

// A sample test of the source tree, read as the program reads it, with the
// scale defaults of a first start filled in and repaired for drawing.
TestRecord sampleTest(const char* name);

using Fonts = std::array<FontSetting, kFontSlotCount>;
Fonts defaultFonts();

// The resolution the targets draw at: low, so that a target runs hundreds
// of inputs a second.
inline constexpr int kFuzzDpi = 40;

// Aborts (a finding) when what was drawn holds more primitives or text than
// any page may, or a text longer than any text is drawn.
void checkDrawnWork(const RecordingSurface& surface, const char* what);

// Draws every page of the test on a recording surface, checking each.
void drawEveryPage(const TestRecord& record, const DisplaySettings& settings, const Fonts& fonts);

} // namespace tov::fuzz
