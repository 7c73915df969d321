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

std::string escapedControls(std::string_view text, bool keepLineBreaks) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t' && !(keepLineBreaks && c == '\n')) || byte == 0x7f) {
      static const char hex[] = "0123456789abcdef";
      out += "\\x";
      out += hex[byte >> 4];
      out += hex[byte & 15];
    } else {
      out += c;
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
