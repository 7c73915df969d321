#pragma once
// A level logger's XML export (the ".xle" of Solinst's Levelogger software)
// read with expat, a streaming XML parser, and handed on as the lines of a
// text export: a few lines on the instrument and its channels, a header
// "Date,Time,ms,LEVEL (m),TEMPERATURE (°C)" and one line per sample. The
// rest of the import (guesses, the whole record, the dialog) then reads it
// as it reads any CSV. Any other XML is refused with a message that says
// so. The declared encoding is honoured (UTF-8, UTF-16, ISO-8859-1, and
// Shift_JIS/CP932 and windows-1252 through handlers of ours); a file that
// declares ISO-8859-1 but holds CP932 text (as Japanese Windows writes it)
// is read as CP932.
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tov::logger {

// True when the bytes begin an XML document: "<" and a name, "?" or "!"
// after an optional byte-order mark and blanks, in UTF-8 (or an 8-bit
// code) or UTF-16. The preview and the whole reading both decide by it
// (LoggerSeries isXmlFile).
bool looksLikeXml(std::string_view head);

struct XleChannel {
  int number = 0;
  std::string identification;  // "LEVEL", "TEMPERATURE", "CONDUCTIVITY"
  std::string unit;            // as written: "m", "kPa", "Deg C"
  double offset = 0;           // the level offset the logger was given (subtracted from the values)
  std::string offsetUnit;
};

// What the file says besides its samples.
struct XleInfo {
  std::string instrument;  // type, model and serial number
  std::string location;
  std::vector<XleChannel> channels;
  bool truncated = false;  // the XML ends inside the data (a cut download): the samples before are read
  std::size_t truncatedLine = 0;
};

// Gives at most `size` bytes of the file into `buffer`; 0 at its end.
using ChunkSource = std::function<std::size_t(char* buffer, std::size_t size)>;

// Reads the XML from `source`, handing each line to `line` (false stops
// the reading, without an error). False, with *error set, for XML that is
// not well formed (before any sample) or not an .xle. *info, when given,
// receives what the file says besides its samples.
bool readXleLines(const ChunkSource& source, const std::function<bool(std::string_view)>& line, std::string* error,
                  XleInfo* info = nullptr);
// The same for a document in memory.
bool readXleText(std::string_view text, const std::function<bool(std::string_view)>& line, std::string* error,
                 XleInfo* info = nullptr);

} // namespace tov::logger
