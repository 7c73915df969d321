#include "files/TextCodec.h"

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace tov {

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;
constexpr const char* kGetaMark = "\xE3\x80\x93";  // U+3013 〓

// The conversion tables, built once from the system's converter (iconv, or
// code page 932 on Windows) by
// converting every code on its own: the decoder looks a character up by its
// bytes, the encoder by its code point. A table look-up per character runs
// at hundreds of MB/s, where a converter call per character does not.
struct Cp932Tables {
  // UTF-8 of each single byte (empty: not a character) and of each lead and
  // trail byte pair (index lead << 8 | trail).
  std::array<std::string, 256> single;
  std::vector<std::string> pair = std::vector<std::string>(65536);
  // CP932 of each code point of the Basic Multilingual Plane: 0 when CP932
  // cannot hold it, else the byte (below 0x100) or lead << 8 | trail.
  std::vector<std::uint16_t> encode = std::vector<std::uint16_t>(65536, 0);
  bool encodesNul = true;
};


#ifndef _WIN32
// The system's converter (iconv), one call on a whole input; false when it
// fails or converts only part of it.
class SystemConverter {
public:
  SystemConverter() : from_(iconv_open("UTF-8", "CP932")), to_(iconv_open("CP932", "UTF-8")) {
    if (from_ == reinterpret_cast<iconv_t>(-1) || to_ == reinterpret_cast<iconv_t>(-1)) {
      close();
      throw std::runtime_error("iconv cannot convert between CP932 and UTF-8");
    }
  }
  ~SystemConverter() { close(); }
  SystemConverter(const SystemConverter&) = delete;
  SystemConverter& operator=(const SystemConverter&) = delete;

  // CP932 bytes to UTF-8.
  bool decode(std::string_view in, std::string& out) { return convertWhole(from_, in, out); }
  // One character (UTF-8) to CP932; `cp` is its code point.
  bool encode(char32_t, std::string_view in, std::string& out) { return convertWhole(to_, in, out); }

private:
  static bool convertWhole(iconv_t cd, std::string_view in, std::string& out) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    size_t inLeft = in.size();
    char buffer[16];
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0) return false;
    out.assign(buffer, static_cast<size_t>(outPtr - buffer));
    return true;
  }
  void close() {
    if (from_ != reinterpret_cast<iconv_t>(-1)) iconv_close(from_);
    if (to_ != reinterpret_cast<iconv_t>(-1)) iconv_close(to_);
    from_ = to_ = reinterpret_cast<iconv_t>(-1);
  }
  iconv_t from_;
  iconv_t to_;
};
#endif

#ifdef _WIN32
// The system's converter (code page 932 of Windows), strict: bytes that are
// not a CP932 character and characters CP932 cannot hold fail rather than
// turning into a default or "best fit" character.
class SystemConverter {
public:
  bool decode(std::string_view in, std::string& out) {
    // Windows gives the unassigned single bytes 0x80, 0xA0 and 0xFD-0xFF
    // code points of their own (U+0080, U+F8F0-U+F8F3); they are no CP932
    // characters in files, as on every other system.
    if (in.size() == 1 && isWindowsOnlyByte(static_cast<unsigned char>(in[0]))) return false;
    wchar_t wide[4];
    const int n = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, in.data(), static_cast<int>(in.size()), wide, 4);
    if (n <= 0) return false;
    out.clear();
    for (int i = 0; i < n; ++i) {
      char32_t cp = static_cast<char16_t>(wide[i]);
      if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(wide[i + 1]) - 0xDC00);
        ++i;
      }
      out += utf8Of(cp);
    }
    return true;
  }
  bool encode(char32_t cp, std::string_view, std::string& out) {
    if (cp == 0x80 || (cp >= 0xF8F0 && cp <= 0xF8F3)) return false;
    // The JIS forms of nine characters that CP932 writes as its own (one way
    // only: reading gives the CP932 character). Windows has them only as
    // "best fit"; every other converter writes them, and so do we.
    static constexpr struct { char32_t cp; const char* bytes; } kJisForms[] = {
        {0x00A2, "\x81\x91"}, {0x00A3, "\x81\x92"}, {0x00A5, "\x5C"},     {0x00AC, "\x81\xCA"},
        {0x2014, "\x81\x5C"}, {0x2016, "\x81\x61"}, {0x203E, "\x7E"},     {0x2212, "\x81\x7C"},
        {0x301C, "\x81\x60"},
    };
    for (const auto& form : kJisForms)
      if (form.cp == cp) {
        out = form.bytes;
        return true;
      }
    const wchar_t wide = static_cast<wchar_t>(cp);
    char bytes[8];
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, &wide, 1, bytes, sizeof bytes, nullptr, &usedDefault);
    if (n <= 0 || usedDefault) return false;
    out.assign(bytes, static_cast<size_t>(n));
    return true;
  }

private:
  static bool isWindowsOnlyByte(unsigned char b) { return b == 0x80 || b == 0xA0 || b >= 0xFD; }
};
#endif

Cp932Tables buildTables() {
  Cp932Tables t;
  SystemConverter converter;
  std::string out;
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    if (b < 0x80) t.single[static_cast<size_t>(b)] = std::string(1, byte);
    else if (!isCp932LeadByte(static_cast<unsigned char>(b)) && converter.decode(std::string_view(&byte, 1), out))
      t.single[static_cast<size_t>(b)] = out;
  }
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!isCp932LeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
      if (converter.decode(std::string_view(bytes, 2), out) && !out.empty())
        t.pair[static_cast<size_t>(lead << 8 | trail)] = out;
    }
  }
  for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    const std::string ch = utf8Of(cp);
    // A character the converter drops (converts to nothing) is one CP932
    // cannot hold.
    if (!converter.encode(cp, ch, out) || out.empty() || out.size() > 2) continue;
    const auto b0 = static_cast<unsigned char>(out[0]);
    t.encode[cp] = out.size() == 1 ? b0 : static_cast<std::uint16_t>(b0 << 8 | static_cast<unsigned char>(out[1]));
  }
  return t;
}

const Cp932Tables& tables() {
  static const Cp932Tables t = buildTables();
  return t;
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

std::string utf8Of(char32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

std::optional<std::string> utf8ToCp932(std::string_view utf8, std::string* offending) {
  if (allAscii(utf8)) return std::string(utf8);
  const Cp932Tables& t = tables();
  std::string out;
  out.reserve(utf8.size());
  for (size_t pos = 0; pos < utf8.size();) {
    const auto b0 = static_cast<unsigned char>(utf8[pos]);
    if (b0 < 0x80) {
      out.push_back(static_cast<char>(b0));
      ++pos;
      continue;
    }
    size_t length;
    char32_t cp = decodeUtf8(utf8, pos, &length);
    if (cp == kInvalid) {
      if (offending) *offending = "\xEF\xBF\xBD";  // U+FFFD: the input was not UTF-8
      return std::nullopt;
    }
    const std::uint16_t code = cp < 0x10000 ? t.encode[cp] : 0;
    if (code == 0) {
      if (offending) *offending = std::string(utf8.substr(pos, length));
      return std::nullopt;
    }
    if (code >= 0x100) out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
    pos += length;
  }
  return out;
}

std::string cp932ToUtf8(std::string_view bytes, bool* hadInvalid) {
  if (allAscii(bytes)) return std::string(bytes);
  const Cp932Tables& t = tables();
  std::string out;
  out.reserve(bytes.size() * 3 / 2);
  for (size_t pos = 0; pos < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[pos]);
    if (b < 0x80) {
      // A run of ASCII at once.
      size_t end = pos + 1;
      while (end < bytes.size() && static_cast<unsigned char>(bytes[end]) < 0x80) ++end;
      out.append(bytes.substr(pos, end - pos));
      pos = end;
      continue;
    }
    if (isCp932LeadByte(b)) {
      if (pos + 1 < bytes.size()) {
        const auto trail = static_cast<unsigned char>(bytes[pos + 1]);
        const std::string& ch = t.pair[static_cast<size_t>(b << 8 | trail)];
        if (!ch.empty()) {
          out += ch;
          pos += 2;
          continue;
        }
        // One 〓 per undecodable character: a lead byte takes its trail
        // byte with it (an unassigned double-byte code), anything else is
        // one byte, so the ASCII that follows a stray byte survives.
        out += kGetaMark;
        if (hadInvalid) *hadInvalid = true;
        pos += isTrailByte(trail) ? 2 : 1;
        continue;
      }
    } else if (const std::string& ch = t.single[b]; !ch.empty()) {
      out += ch;
      ++pos;
      continue;
    }
    out += kGetaMark;
    if (hadInvalid) *hadInvalid = true;
    ++pos;
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
