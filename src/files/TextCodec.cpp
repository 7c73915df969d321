#include "files/TextCodec.h"

#include <cerrno>
#include <iconv.h>
#include <stdexcept>

namespace tov {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;
constexpr const char* kGetaMark = "\xE3\x80\x93";  // U+3013 〓

// One open iconv descriptor, reset before each use. The program is
// single-threaded, but a thread_local instance keeps the converters safe if a
// test or a helper ever runs one on another thread.
class Iconv {
public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts all of in; appends to out. Returns false on EILSEQ/EINVAL with
  // *consumed set to the bytes converted before the failure.
  bool convert(std::string_view in, std::string& out, size_t* consumed) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
      char* outPtr = buffer;
      size_t outLeft = sizeof buffer;
      size_t r = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        if (consumed) *consumed = in.size() - inLeft;
        return false;
      }
    }
    if (consumed) *consumed = in.size();
    return true;
  }

private:
  iconv_t cd_;
};

Iconv& toCp932() {
  thread_local Iconv converter("CP932", "UTF-8");
  return converter;
}

Iconv& fromCp932() {
  thread_local Iconv converter("UTF-8", "CP932");
  return converter;
}

// Decodes one UTF-8 character at text[pos]; *length receives its byte count
// (1 for an invalid byte). Returns kInvalid for malformed input, overlong
// forms, surrogates and values above U+10FFFF.
char32_t decodeUtf8(std::string_view text, size_t pos, size_t* length) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char b0 = byte(pos);
  *length = 1;
  if (b0 < 0x80) return b0;
  size_t n;
  char32_t cp;
  if (b0 >= 0xC2 && b0 <= 0xDF) { n = 2; cp = b0 & 0x1F; }
  else if (b0 >= 0xE0 && b0 <= 0xEF) { n = 3; cp = b0 & 0x0F; }
  else if (b0 >= 0xF0 && b0 <= 0xF4) { n = 4; cp = b0 & 0x07; }
  else return kInvalid;
  if (pos + n > text.size()) return kInvalid;
  for (size_t i = 1; i < n; ++i) {
    unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) return kInvalid;
    cp = (cp << 6) | (b & 0x3F);
  }
  if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return kInvalid;
  if (cp >= 0xD800 && cp <= 0xDFFF) return kInvalid;
  *length = n;
  return cp;
}

// CP932 bytes of one character that CP932 holds: the half-width katakana
// and the two characters the converter maps onto single bytes (U+00A5 to
// 0x5C and U+203E to 0x7E) take one byte, every other non-ASCII character
// two. A character CP932 cannot hold is also counted as two.
int cp932Bytes(char32_t cp) {
  if (cp < 0x80) return 1;
  if (cp >= 0xFF61 && cp <= 0xFF9F) return 1;
  if (cp == 0xA5 || cp == 0x203E) return 1;
  return 2;
}

bool isTrailByte(unsigned char byte) {
  return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

bool allAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

} // namespace

std::optional<std::string> utf8ToCp932(std::string_view utf8, std::string* offending) {
  if (allAscii(utf8)) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  Iconv& converter = toCp932();
  for (size_t pos = 0; pos < utf8.size();) {
    size_t length;
    char32_t cp = decodeUtf8(utf8, pos, &length);
    if (cp == kInvalid) {
      if (offending) *offending = "\xEF\xBF\xBD";  // U+FFFD: the input was not UTF-8
      return std::nullopt;
    }
    std::string_view ch = utf8.substr(pos, length);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else {
      // Character by character, because the converter silently drops some
      // characters (the tag characters U+E0000..U+E007F) instead of failing.
      size_t before = out.size();
      if (!converter.convert(ch, out, nullptr) || out.size() == before) {
        if (offending) *offending = std::string(ch);
        return std::nullopt;
      }
    }
    pos += length;
  }
  return out;
}

std::string cp932ToUtf8(std::string_view bytes, bool* hadInvalid) {
  if (allAscii(bytes)) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  Iconv& converter = fromCp932();
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t consumed = 0;
    if (converter.convert(bytes.substr(pos), out, &consumed)) break;
    pos += consumed;
    // One 〓 per undecodable character: a lead byte takes its trail byte
    // with it (an unassigned double-byte code), anything else is one byte,
    // so the ASCII that follows a stray byte (a comma, a digit) survives.
    out += kGetaMark;
    if (hadInvalid) *hadInvalid = true;
    auto b = static_cast<unsigned char>(bytes[pos]);
    if (isCp932LeadByte(b) && pos + 1 < bytes.size() && isTrailByte(static_cast<unsigned char>(bytes[pos + 1])))
      pos += 2;
    else
      pos += 1;
  }
  return out;
}

bool isCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

int cp932Length(std::string_view utf8) {
  int total = 0;
  for (size_t pos = 0; pos < utf8.size();) {
    auto b = static_cast<unsigned char>(utf8[pos]);
    if (b < 0x80) {
      ++total;
      ++pos;
      continue;
    }
    size_t length;
    char32_t cp = decodeUtf8(utf8, pos, &length);
    total += cp == kInvalid ? 2 : cp932Bytes(cp);
    pos += length;
  }
  return total;
}

std::size_t cp932PrefixLength(std::string_view utf8, int maxBytes) {
  int total = 0;
  size_t pos = 0;
  while (pos < utf8.size()) {
    size_t length;
    char32_t cp = decodeUtf8(utf8, pos, &length);
    int bytes = cp == kInvalid ? 2 : cp932Bytes(cp);
    if (total + bytes > maxBytes) break;
    total += bytes;
    pos += length;
  }
  return pos;
}

} // namespace tov
