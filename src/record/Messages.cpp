#include "record/Messages.h"

#include <atomic>
#include <cstdio>
#include <unordered_map>

#include "files/Platform.h"

namespace tov {
namespace {

struct MessageEntry {
  int id;
  const char* text;
};

const MessageEntry kMessages[] = {
#include "resources/StringTable.inc"
};

const std::unordered_map<int, std::string>& messageTable() {
  static const std::unordered_map<int, std::string> table = [] {
    std::unordered_map<int, std::string> t;
    for (const MessageEntry& e : kMessages) t.emplace(e.id, e.text);
    return t;
  }();
  return table;
}

// Before the application installs its own sink: messages go to standard
// error, questions are answered No.
class StderrMessageSink : public MessageSink {
public:
  void report(const std::string& text) override { write(text); }
  bool askYesNo(const std::string& text) override {
    write(text);
    return false;
  }

private:
  static void write(const std::string& raw) {
    const std::string text = escapedControls(raw);
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
};

StderrMessageSink& defaultSink() {
  static StderrMessageSink sink;
  return sink;
}

std::atomic<MessageSink*> currentSink{nullptr};
thread_local MessageSink* threadSink = nullptr;

} // namespace

const std::string& messageText(int id) {
  static const std::string unknown;
  const auto& table = messageTable();
  auto it = table.find(id);
  return it == table.end() ? unknown : it->second;
}

std::string messageText(int id, std::string_view arg) { return messageText(id, {arg}); }

std::string messageText(int id, std::initializer_list<std::string_view> args) {
  const std::string& text = messageText(id);
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size();) {
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    const std::size_t index = static_cast<std::size_t>(next - '1');
    if (text[i] == '%' && next >= '1' && next <= '9' && index < args.size()) {
      out.append(args.begin()[index]);
      i += 2;
    } else {
      out += text[i++];
    }
  }
  return out;
}

std::string shownPath(const std::filesystem::path& path) { return escapedControls(utf8Path(path), false); }

namespace {

// The length of the well-formed UTF-8 character at text[at] (no overlong
// form, no surrogate, nothing above U+10FFFF), or 0.
std::size_t utf8CharacterAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u; };
  const unsigned lead = byte(0);
  const auto trail = [&](std::size_t i, unsigned low = 0x80, unsigned high = 0xBF) {
    return byte(i) >= low && byte(i) <= high;
  };
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return trail(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    const unsigned low = lead == 0xE0 ? 0xA0 : 0x80, high = lead == 0xED ? 0x9F : 0xBF;
    return trail(1, low, high) && trail(2) ? 3 : 0;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    const unsigned low = lead == 0xF0 ? 0x90 : 0x80, high = lead == 0xF4 ? 0x8F : 0xBF;
    return trail(1, low, high) && trail(2) && trail(3) ? 4 : 0;
  }
  return 0;
}

} // namespace

bool isValidUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8CharacterAt(text, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string escapedControls(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t length = utf8CharacterAt(text, at);
    if (length == 0 || (byte < 0x20 && c != '\t' && !(keepLineBreaks && c == '\n')) || byte == 0x7f) {
      static const char hex[] = "0123456789abcdef";
      out += "\\x";
      out += hex[byte >> 4];
      out += hex[byte & 15];
      ++at;
    } else {
      out.append(text, at, length);
      at += length;
    }
  }
  return out;
}

MessageSink& messageSink() {
  if (threadSink) return *threadSink;
  MessageSink* sink = currentSink.load();
  return sink ? *sink : defaultSink();
}

MessageSink* setMessageSink(MessageSink* sink) {
  MessageSink* previous = currentSink.exchange(sink);
  return previous ? previous : &defaultSink();
}

ThreadMessageSink::ThreadMessageSink(MessageSink& sink) : previous_(threadSink) { threadSink = &sink; }
ThreadMessageSink::~ThreadMessageSink() { threadSink = previous_; }

} // namespace tov
