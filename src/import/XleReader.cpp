#include "import/XleReader.h"

#include <expat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <set>

#include "files/TextCodec.h"
#include "import/LoggerFormat.h"
#include "record/CFormat.h"
#include "record/Messages.h"

namespace tov::logger {

namespace {

// The most text kept of one element: a sample's values are short, a
// note or a location a line; a longer text is cut, never held whole.
constexpr std::size_t kMaxElementText = 1024;
// An .xle nests its elements four deep; deeper than this is no .xle (and
// each level costs the parser memory).
constexpr std::size_t kMaxDepth = 64;
// The longest stretch of the file without an event of the parser (one
// comment, tag with its attributes, declaration): expat holds it whole
// and, before 2.6, parses it again with each piece fed.
constexpr std::size_t kMaxToken = 1 << 20;
// The bytes fed at a time; more while a long token is open, so that it is
// parsed again a few times only.
constexpr std::size_t kFeedBytes = 1 << 16;
// Distinct attribute names (expat keeps each for good): an .xle has a few.
constexpr std::size_t kMaxAttributeNames = 256;

std::string lowerAscii(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

std::string trimmed(std::string_view text) {
  while (!text.empty() && std::strchr(" \t\r\n", text.front())) text.remove_prefix(1);
  while (!text.empty() && std::strchr(" \t\r\n", text.back())) text.remove_suffix(1);
  return std::string(text);
}

// A name or value for a line of the text export: no separator, no quote,
// no line break inside.
std::string plain(std::string_view text) {
  std::string out = trimmed(text);
  for (char& c : out)
    if (c == ',' || c == '"' || c == '\r' || c == '\n' || c == '\t') c = ' ';
  return out;
}

// "Ch12_data_header" -> 12; "ch3" -> 3 (with the prefix given).
int channelNumber(std::string_view name, std::string_view prefix, std::string_view suffix) {
  const std::string lower = lowerAscii(name);
  if (!lower.starts_with(prefix) || !lower.ends_with(suffix)) return 0;
  const std::string_view digits = std::string_view(lower).substr(prefix.size(), lower.size() - prefix.size() - suffix.size());
  int number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc() || end != digits.data() + digits.size() || number < 1 || number > 99) return 0;
  return number;
}

// The one code point of a short UTF-8 text (U+FFFD when it is not one).
int codePointOf(std::string_view utf8) {
  if (utf8.empty()) return 0xFFFD;
  const auto c = static_cast<unsigned char>(utf8[0]);
  if (c < 0x80) return c;
  int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
  if (length == 0 || static_cast<int>(utf8.size()) < length) return 0xFFFD;
  int code = c & (0x3F >> (length - 1));
  for (int i = 1; i < length; ++i) code = (code << 6) | (static_cast<unsigned char>(utf8[i]) & 0x3F);
  return code;
}

// CP932 (Shift_JIS) and windows-1252 for expat, which knows UTF-8, UTF-16,
// ISO-8859-1 and US-ASCII itself.
int XMLCALL convertCp932(void*, const char* bytes) { return codePointOf(cp932ToUtf8(std::string_view(bytes, 2))); }

// EUC-JP: two bytes of JIS X 0208 (each 0xA1-0xFE) become the CP932 pair
// by the usual arithmetic; 0x8E before a half-width katakana; the three
// bytes of JIS X 0212 (0x8F ...) are beyond CP932.
int XMLCALL convertEucJp(void*, const char* bytes) {
  const auto b1 = static_cast<unsigned char>(bytes[0]), b2 = static_cast<unsigned char>(bytes[1]);
  if (b1 == 0x8E) return b2 >= 0xA1 && b2 <= 0xDF ? 0xFF61 + (b2 - 0xA1) : 0xFFFD;
  if (b1 == 0x8F || b2 < 0xA1 || b2 > 0xFE) return 0xFFFD;
  const int j1 = b1 - 0x80, j2 = b2 - 0x80;
  int s1 = ((j1 - 0x21) >> 1) + 0x81;
  if (s1 > 0x9F) s1 += 0x40;
  int s2 = j1 & 1 ? j2 + 0x1F + (j2 + 0x1F >= 0x7F ? 1 : 0) : j2 + 0x7E;
  const char pair[2] = {static_cast<char>(s1), static_cast<char>(s2)};
  return codePointOf(cp932ToUtf8(std::string_view(pair, 2)));
}

int XMLCALL unknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
  const std::string encoding = lowerAscii(name ? name : "");
  const bool cp932 = encoding == "shift_jis" || encoding == "shift-jis" || encoding == "sjis" ||
                     encoding == "windows-31j" || encoding == "cp932" || encoding == "ms_kanji" ||
                     encoding == "x-sjis" || encoding == "csshiftjis";
  const bool cp1252 = encoding == "windows-1252" || encoding == "cp1252" || encoding == "x-cp1252";
  const bool eucJp = encoding == "euc-jp" || encoding == "eucjp" || encoding == "x-euc-jp" ||
                     encoding == "cseucpkdfmtjapanese";
  if (eucJp) {
    for (int b = 0; b < 256; ++b)
      info->map[b] = b < 0x80 ? b : b == 0x8E ? -2 : b == 0x8F ? -3 : b >= 0xA1 && b <= 0xFE ? -2 : 0xFFFD;
    info->data = nullptr;
    info->convert = convertEucJp;
    info->release = nullptr;
    return XML_STATUS_OK;
  }
  if (!cp932 && !cp1252) return XML_STATUS_ERROR;
  static const int kHigh1252[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  for (int b = 0; b < 256; ++b) {
    if (b < 0x80) info->map[b] = b;
    else if (cp1252) info->map[b] = b < 0xA0 ? kHigh1252[b - 0x80] : b;
    else if (isCp932LeadByte(static_cast<unsigned char>(b))) info->map[b] = -2;
    else if (b >= 0xA1 && b <= 0xDF) info->map[b] = 0xFF61 + (b - 0xA1);  // half-width katakana
    else info->map[b] = 0xFFFD;
  }
  info->data = nullptr;
  info->convert = cp932 ? convertCp932 : nullptr;
  info->release = nullptr;
  return XML_STATUS_OK;
}

// The encoding the XML declaration names ("" when none), from its first bytes.
std::string declaredEncoding(std::string_view head) {
  if (!head.starts_with("<?xml") && !head.starts_with("\xEF\xBB\xBF<?xml")) return {};
  const std::size_t end = head.find("?>");
  const std::string declaration = lowerAscii(head.substr(0, end));
  const std::size_t at = declaration.find("encoding");
  if (at == std::string::npos) return {};
  const std::size_t quote = declaration.find_first_of("\"'", at);
  if (quote == std::string::npos) return {};
  const std::size_t close = declaration.find(declaration[quote], quote + 1);
  if (close == std::string::npos) return {};
  return declaration.substr(quote + 1, close - quote - 1);
}

class XleParser {
public:
  XleParser(const std::function<bool(std::string_view)>& line, XleInfo* info) : line_(line), info_(info) {}

  bool parse(const ChunkSource& source, std::string* error) {
    std::vector<char> buffer(kFeedBytes);
    std::size_t got = source(buffer.data(), buffer.size());
    // A file that says ISO-8859-1 (or nothing, without being UTF-8) but
    // holds CP932 text is read as CP932: Japanese Windows writes it so.
    std::string_view head(buffer.data(), got);
    // Blank lines before the declaration (which must come first) are
    // passed over; their lines still count.
    std::size_t blanks = 0;
    while (blanks < head.size() && std::strchr(" \t\r\n", head[blanks]) && head[blanks] != '\0') ++blanks;
    if (blanks > 0 && head.substr(blanks).starts_with("<?xml")) {
      skippedLines_ = static_cast<std::size_t>(std::count(head.begin(), head.begin() + blanks, '\n'));
      head.remove_prefix(blanks);
    } else {
      blanks = 0;
    }
    const std::string declared = declaredEncoding(head);
    const char* forced = nullptr;
    if ((declared.empty() || declared == "iso-8859-1" || declared == "latin1" || declared == "us-ascii") &&
        !head.starts_with("\xFF\xFE") && !head.starts_with("\xFE\xFF") &&
        detectEncoding(head) == Encoding::Cp932)
      forced = "Shift_JIS";
    parser_ = XML_ParserCreate(forced);
    if (!parser_) {
      *error = messageText(IDS_XML_MALFORMED, {"1", "memory"});
      return false;
    }
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &XleParser::onStart, &XleParser::onEnd);
    XML_SetCharacterDataHandler(parser_, &XleParser::onText);
    XML_SetUnknownEncodingHandler(parser_, unknownEncoding, nullptr);
    // Every other event only marks how far the parser has come; a
    // document type (and with it any entity) is no part of an .xle.
    XML_SetDefaultHandlerExpand(parser_, &XleParser::onOther);
    XML_SetCommentHandler(parser_, &XleParser::onComment);
    XML_SetProcessingInstructionHandler(parser_, &XleParser::onInstruction);
    XML_SetCdataSectionHandler(parser_, &XleParser::onMark, &XleParser::onMark);
    XML_SetXmlDeclHandler(parser_, &XleParser::onDeclaration);
    XML_SetStartDoctypeDeclHandler(parser_, &XleParser::onDoctype);
    bool ok = true;
    std::size_t offset = blanks;
    while (true) {
      const bool last = got == 0;
      const std::size_t size = got - offset;
      if (XML_Parse(parser_, buffer.data() + offset, static_cast<int>(size), last) == XML_STATUS_ERROR) {
        ok = failed(error, last);
        break;
      }
      fed_ += size;
      offset = 0;
      if (stopped_ || notXle_) break;
      if (last) break;
      // A long token open: fed in larger pieces, up to the limit.
      const std::size_t open = fed_ - std::min(fed_, marked_);
      if (open > kMaxToken) {
        failure_ = messageText(IDS_XML_TOKEN_TOO_LONG, {std::to_string(markedLine_ + skippedLines_),
                                                         std::to_string(kMaxToken >> 20)});
        ok = false;
        break;
      }
      const std::size_t want = std::clamp(open, kFeedBytes, kMaxToken);
      if (buffer.size() < want) buffer.resize(want);
      got = source(buffer.data(), want);
    }
    if (!failure_.empty()) {
      *error = failure_;
      ok = false;
    } else if (notXle_) {
      *error = messageText(IDS_XML_NOT_XLE);
      ok = false;
    }
    XML_ParserFree(parser_);
    parser_ = nullptr;
    return ok;
  }

private:
  // Expat's error: refused before any sample, a cut end after them.
  bool failed(std::string* error, bool last) {
    const XML_Error code = XML_GetErrorCode(parser_);
    if (code == XML_ERROR_ABORTED) return failure_.empty() && !notXle_;  // stopped by the reader
    const auto lineNumber = static_cast<std::size_t>(XML_GetCurrentLineNumber(parser_)) + skippedLines_;
    if (notXle_) return false;
    if (samples_ > 0 && (last || code == XML_ERROR_UNCLOSED_TOKEN || code == XML_ERROR_PARTIAL_CHAR ||
                         code == XML_ERROR_NO_ELEMENTS)) {
      if (info_) info_->truncated = true, info_->truncatedLine = lineNumber;
      return true;
    }
    const char* text = XML_ErrorString(code);
    *error = messageText(IDS_XML_MALFORMED, {std::to_string(lineNumber), text ? text : "?"});
    return false;
  }

  // Refuses the file with the text given.
  void refuse(std::string text) {
    if (failure_.empty()) failure_ = std::move(text);
    stopped_ = true;
    XML_StopParser(parser_, XML_FALSE);
  }

  // How far the parser has come: the end of the current event.
  void mark() {
    const XML_Index at = XML_GetCurrentByteIndex(parser_);
    if (at < 0) return;
    marked_ = static_cast<std::size_t>(at) + static_cast<std::size_t>(std::max(0, XML_GetCurrentByteCount(parser_)));
    markedLine_ = static_cast<std::size_t>(XML_GetCurrentLineNumber(parser_));
  }
  static void XMLCALL onOther(void* self, const XML_Char*, int) { static_cast<XleParser*>(self)->mark(); }
  static void XMLCALL onComment(void* self, const XML_Char*) { static_cast<XleParser*>(self)->mark(); }
  static void XMLCALL onInstruction(void* self, const XML_Char*, const XML_Char*) {
    static_cast<XleParser*>(self)->mark();
  }
  static void XMLCALL onMark(void* self) { static_cast<XleParser*>(self)->mark(); }
  static void XMLCALL onDeclaration(void* self, const XML_Char*, const XML_Char*, int) {
    static_cast<XleParser*>(self)->mark();
  }
  static void XMLCALL onDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
    auto* parser = static_cast<XleParser*>(self);
    parser->notXle_ = true;
    XML_StopParser(parser->parser_, XML_FALSE);
  }

  static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** attributes) {
    auto* parser = static_cast<XleParser*>(self);
    parser->mark();
    parser->start(name, attributes);
  }
  static void XMLCALL onEnd(void* self, const XML_Char* name) {
    auto* parser = static_cast<XleParser*>(self);
    parser->mark();
    parser->end(name);
  }
  static void XMLCALL onText(void* self, const XML_Char* text, int length) {
    auto* parser = static_cast<XleParser*>(self);
    parser->mark();
    parser->markedLine_ += static_cast<std::size_t>(std::count(text, text + length, '\n'));
    if (parser->text_.size() < kMaxElementText)
      parser->text_.append(text, std::min<std::size_t>(static_cast<std::size_t>(length), kMaxElementText - parser->text_.size()));
  }

  void stop() {
    stopped_ = true;
    XML_StopParser(parser_, XML_FALSE);
  }

  std::string lineText() const {
    return std::to_string(static_cast<std::size_t>(XML_GetCurrentLineNumber(parser_)) + skippedLines_);
  }

  void start(std::string_view name, const XML_Char** attributes) {
    text_.clear();
    if (path_.empty() && lowerAscii(name) != "body_xle") {
      notXle_ = true;
      XML_StopParser(parser_, XML_FALSE);
      return;
    }
    if (path_.size() >= kMaxDepth) {
      refuse(messageText(IDS_XML_TOO_DEEP, {lineText(), std::to_string(kMaxDepth)}));
      return;
    }
    for (int i = 0; attributes && attributes[i]; i += 2)
      if (attributeNames_.insert(std::hash<std::string_view>{}(attributes[i])).second &&
          attributeNames_.size() > kMaxAttributeNames) {
        notXle_ = true;
        XML_StopParser(parser_, XML_FALSE);
        return;
      }
    path_.emplace_back(name);
    // A channel is declared once, before the samples (a header after them
    // declares nothing: its samples are refused as undeclared).
    if (const int number = channelNumber(name, "ch", "_data_header"); number && !headerWritten_) {
      if (const auto it = declared_.find(number); it != declared_.end()) {
        refuse(messageText(IDS_XLE_CHANNEL_TWICE, {std::to_string(number), it->second, std::string(name)}));
        return;
      }
      declared_.emplace(number, std::string(name));
      channel_ = &channelAt(number);
    }
    if (channel_ && lowerAscii(name) == "offset") {
      for (int i = 0; attributes && attributes[i] && attributes[i + 1]; i += 2) {
        const std::string key = lowerAscii(attributes[i]);
        if (key == "val") {
          if (const auto value = parseNumber(attributes[i + 1], DecimalMark::Point)) channel_->offset = *value;
        } else if (key == "unit") {
          channel_->offsetUnit = plain(attributes[i + 1]);
        }
      }
    }
    if (lowerAscii(name) == "log") sample_.clear();
  }

  void end(std::string_view name) {
    if (path_.empty()) return;
    const std::string lower = lowerAscii(name);
    const std::string parent = path_.size() >= 2 ? lowerAscii(path_[path_.size() - 2]) : std::string();
    const std::string value = trimmed(text_);
    text_.clear();
    if (channelNumber(lower, "ch", "_data_header")) {
      channel_ = nullptr;
    } else if (channel_ && lower == "identification") {
      channel_->identification = plain(value);
    } else if (channel_ && lower == "unit" && parent.ends_with("_data_header")) {
      channel_->unit = plain(value);
    } else if (parent == "instrument_info" &&
               (lower == "instrument_type" || lower == "model_number" || lower == "serial_number")) {
      if (!instrument_.empty()) instrument_ += ' ';
      instrument_ += plain(value);
    } else if (parent == "instrument_info_data_header" && (lower == "location" || lower == "project_id")) {
      if (!location_.empty() && !value.empty()) location_ += " / ";
      location_ += plain(value);
    } else if (parent == "log") {
      if (lower == "date" || lower == "time" || lower == "ms") {
        sample_[lower] = value;
      } else if (const int number = channelNumber(lower, "ch", "")) {
        // A channel without a header has no unit and no place among the
        // columns: never guessed.
        if (!declared_.count(number)) {
          refuse(messageText(IDS_XLE_CHANNEL_UNDECLARED, {std::string(name), lineText()}));
          return;
        }
        const std::string key = "ch" + std::to_string(number);
        if (sample_.count(key)) {
          refuse(messageText(IDS_XML_MALFORMED, {lineText(), "channel " + std::to_string(number) + " twice in one <Log>"}));
          return;
        }
        sample_[key] = value;
      }
    } else if (lower == "log") {
      writeSample();
    }
    path_.pop_back();
  }

  XleChannel& channelAt(int number) {
    for (XleChannel& channel : channels_)
      if (channel.number == number) return channel;
    XleChannel channel;
    channel.number = number;
    channels_.push_back(channel);
    std::sort(channels_.begin(), channels_.end(), [](const XleChannel& a, const XleChannel& b) { return a.number < b.number; });
    channel_ = nullptr;  // the vector moved: found again where needed
    for (XleChannel& c : channels_)
      if (c.number == number) return c;
    return channels_.front();
  }

  bool emit(const std::string& text) {
    if (stopped_) return false;
    if (!line_(text)) {
      stop();
      return false;
    }
    return true;
  }

  // The lines above the data: the instrument, the place, each channel
  // with its unit and offset; then the names.
  // The offset in its channel's unit ("150" "cm" on a level in m: 1.5);
  // nothing where the units cannot be converted.
  static std::optional<double> offsetInUnit(const XleChannel& channel) {
    if (channel.offset == 0 || channel.offsetUnit.empty() || lowerAscii(channel.offsetUnit) == lowerAscii(channel.unit))
      return channel.offset;
    const auto from = levelUnitFromToken(channel.offsetUnit), to = levelUnitFromToken(channel.unit);
    if (!from || !to) return std::nullopt;
    return channel.offset * levelUnitToMetres(*from) / levelUnitToMetres(*to);
  }

  void writeHeader() {
    headerWritten_ = true;
    offsets_.clear();
    for (const XleChannel& channel : channels_) {
      const auto offset = offsetInUnit(channel);
      if (!offset) {
        refuse(messageText(IDS_XLE_OFFSET_UNIT, {std::to_string(channel.number),
                                                 cformat("%g %s", channel.offset, channel.offsetUnit.c_str()),
                                                 channel.unit.empty() ? "?" : channel.unit}));
        return;
      }
      offsets_.push_back(*offset);
    }
    if (info_) {
      info_->instrument = instrument_;
      info_->location = location_;
      info_->channels = channels_;
    }
    emit("Levelogger .xle" + (instrument_.empty() ? std::string() : ": " + instrument_));
    if (!location_.empty()) emit("Location: " + location_);
    std::string names = "Date,Time,ms";
    for (const XleChannel& channel : channels_) {
      std::string name = channel.identification.empty() ? "ch" + std::to_string(channel.number) : channel.identification;
      if (!channel.unit.empty()) name += " (" + channel.unit + ")";
      std::string note = "Channel " + std::to_string(channel.number) + ": " + name;
      if (channel.offset != 0)
        note += cformat(", offset %g %s", channel.offset, channel.offsetUnit.empty() ? channel.unit.c_str() : channel.offsetUnit.c_str());
      emit(note);
      names += "," + name;
    }
    emit(names);
  }

  void writeSample() {
    if (!headerWritten_) writeHeader();
    if (stopped_) return;
    ++samples_;
    auto field = [&](const char* key) {
      const auto it = sample_.find(key);
      return it == sample_.end() ? std::string() : plain(it->second);
    };
    std::string text = field("date") + "," + field("time") + "," + field("ms");
    for (std::size_t k = 0; k < channels_.size(); ++k) {
      std::string value = field(("ch" + std::to_string(channels_[k].number)).c_str());
      // The values hold the offset the logger was given (in its own unit):
      // without it they are the water over the sensor again.
      if (offsets_[k] != 0)
        if (const auto number = parseNumber(value, DecimalMark::Point)) value = cformat("%.10g", *number - offsets_[k]);
      text += "," + value;
    }
    emit(text);
  }

  const std::function<bool(std::string_view)>& line_;
  XleInfo* info_;
  XML_Parser parser_ = nullptr;
  std::vector<std::string> path_;
  std::string text_;
  std::vector<XleChannel> channels_;
  XleChannel* channel_ = nullptr;
  std::string instrument_, location_;
  std::map<std::string, std::string> sample_;
  std::map<int, std::string> declared_;  // channel number: its header's element
  std::vector<double> offsets_;          // each channel's offset in its unit
  std::set<std::size_t> attributeNames_;
  std::string failure_;
  std::size_t fed_ = 0, marked_ = 0, markedLine_ = 1, skippedLines_ = 0;
  bool headerWritten_ = false;
  bool stopped_ = false;
  bool notXle_ = false;
  std::size_t samples_ = 0;
};

} // namespace

bool looksLikeXml(std::string_view head) {
  using namespace std::string_view_literals;
  // UTF-16 without its mark: "<" and a zero byte; with it, the text as UTF-8.
  for (const std::string_view start : {"<\0"sv, "\0<"sv})
    if (head.starts_with(start)) return true;
  if (const Utf16 order = detectUtf16(head); order != Utf16::None) {
    const std::string text = Utf16Decoder(order).decode(head.substr(0, 4096));
    return !text.empty() && text.find('\0') == std::string::npos && looksLikeXml(text);
  }
  if (head.starts_with("\xEF\xBB\xBF"sv)) head.remove_prefix(3);
  while (!head.empty() && std::strchr(" \t\r\n", head.front()) && head.front() != '\0') head.remove_prefix(1);
  if (head.size() < 2 || head[0] != '<') return false;
  const char next = head[1];
  return next == '?' || next == '!' || (next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z') || next == '_';
}

bool readXleLines(const ChunkSource& source, const std::function<bool(std::string_view)>& line, std::string* error,
                  XleInfo* info) {
  XleParser parser(line, info);
  return parser.parse(source, error);
}

bool readXleText(std::string_view text, const std::function<bool(std::string_view)>& line, std::string* error,
                 XleInfo* info) {
  std::size_t at = 0;
  return readXleLines(
      [&](char* buffer, std::size_t size) {
        const std::size_t n = std::min(size, text.size() - at);
        std::memcpy(buffer, text.data() + at, n);
        at += n;
        return n;
      },
      line, error, info);
}

} // namespace tov::logger
