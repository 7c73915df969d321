// The summary workbook and its post-processing (each sheet's numbers in
// their shortest form, the archive re-deflated). The input is cut at each
// 0xff into fields; a field's first byte says what it is:
//   low two bits 0: a text cell; 1, 2: a number (or exponent) cell of the
//   text, as a test's field would give it; 3: a number cell of the next 8
//   bytes' bit pattern (NaN, infinities, subnormals too); bit 4 set repeats
//   the text past the 32,767 characters a cell may hold.
// The fields fill rows of 20 cells. The workbook written, every entry of its
// archive inflates with its checksum, every finite number reads back as the
// very double written, every text is well-formed UTF-8 within the limit, and
// post-processing it again changes nothing. The raw input also goes through
// the post-processing as an archive and as a sheet: it ends, and what it
// makes is made again the same.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <zlib.h>

#include "FuzzSupport.h"
#include "batch/SummaryTable.h"
#include "batch/WorkbookNumbers.h"
#include "files/Platform.h"
#include "files/TextFile.h"
#include "record/Messages.h"

using tov::fuzz::fail;

namespace {

constexpr std::size_t kColumns = 20;

std::uint32_t le(const std::string& z, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(z[at + static_cast<std::size_t>(i)]);
  return v;
}

// Every entry of a zip archive by name, inflated and its CRC checked;
// a finding when the archive is not what a reader can open.
std::map<std::string, std::string> entriesOf(const std::string& zip) {
  const auto eocd = zip.rfind(std::string("PK\5\6", 4));
  if (eocd == std::string::npos || eocd + 22 > zip.size()) fail("the workbook has no end of its directory");
  std::map<std::string, std::string> entries;
  std::size_t entry = le(zip, eocd + 16, 4);
  for (std::size_t i = 0, count = le(zip, eocd + 10, 2); i < count; ++i) {
    if (entry + 46 > zip.size() || le(zip, entry, 4) != 0x02014b50) fail("a directory entry is broken");
    const std::size_t nameSize = le(zip, entry + 28, 2);
    const std::size_t local = le(zip, entry + 42, 4);
    const std::size_t packed = le(zip, entry + 20, 4), size = le(zip, entry + 24, 4);
    if (local + 30 > zip.size() || le(zip, local, 4) != 0x04034b50) fail("a local header is broken");
    if (le(zip, local + 18, 4) != packed || le(zip, local + 22, 4) != size || le(zip, local + 14, 4) != le(zip, entry + 16, 4))
      fail("a local header disagrees with the directory");
    const std::size_t data = local + 30 + le(zip, local + 26, 2) + le(zip, local + 28, 2);
    if (data + packed > zip.size()) fail("an entry runs past the archive");
    std::string out(size, '\0');
    if (le(zip, entry + 10, 2) == 8) {
      z_stream s{};
      inflateInit2(&s, -MAX_WBITS);
      s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
      s.avail_in = static_cast<uInt>(packed);
      s.next_out = reinterpret_cast<Bytef*>(out.data());
      s.avail_out = static_cast<uInt>(out.size());
      const int rc = inflate(&s, Z_FINISH);
      inflateEnd(&s);
      if (rc != Z_STREAM_END || s.total_out != size) fail("an entry does not inflate to its size");
    } else {
      out = zip.substr(data, packed);
    }
    if (crc32(0, reinterpret_cast<const Bytef*>(out.data()), static_cast<uInt>(out.size())) != le(zip, entry + 16, 4))
      fail("an entry's checksum is wrong");
    entries[zip.substr(entry + 46, nameSize)] = out;
    entry += 46 + nameSize + le(zip, entry + 30, 2) + le(zip, entry + 32, 2);
  }
  return entries;
}

// The untyped cells (numbers) of a sheet: name → value text.
std::map<std::string, std::string> numberCells(const std::string& xml) {
  std::map<std::string, std::string> cells;
  for (std::size_t at = xml.find("<c r=\""); at != std::string::npos; at = xml.find("<c r=\"", at + 1)) {
    const auto nameEnd = xml.find('"', at + 6);
    const auto tagEnd = xml.find('>', at);
    if (nameEnd == std::string::npos || tagEnd == std::string::npos) break;
    if (xml.compare(tagEnd - 1, 1, "/") == 0 || xml.substr(at, tagEnd - at).find(" t=\"") != std::string::npos) continue;
    const auto end = xml.find("</v>", tagEnd);
    if (xml.compare(tagEnd + 1, 3, "<v>") != 0 || end == std::string::npos) continue;
    cells[xml.substr(at + 6, nameEnd - at - 6)] = xml.substr(tagEnd + 4, end - tagEnd - 4);
  }
  return cells;
}

std::string cellName(std::size_t row, std::size_t column) {
  std::string letters;
  for (std::size_t c = column + 1; c > 0; c = (c - 1) / 26) letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters + std::to_string(row + 1);
}

// The characters (UTF-16 units, as the spreadsheet counts them) of a
// cell's text as the sheet holds it: an entity ("&amp;") or a character
// written "_x0010_" is one.
std::size_t cellUnits(std::string_view xml) {
  auto hex = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); };
  std::size_t units = 0;
  for (std::size_t at = 0; at < xml.size(); ++units) {
    const auto lead = static_cast<unsigned char>(xml[at]);
    if (xml.compare(at, 2, "_x") == 0 && at + 7 <= xml.size() && xml[at + 6] == '_' && hex(xml[at + 2]) &&
        hex(xml[at + 3]) && hex(xml[at + 4]) && hex(xml[at + 5])) {
      at += 7;
    } else if (lead == '&' && xml.find(';', at) != std::string_view::npos) {
      at = xml.find(';', at) + 1;
    } else {
      const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      if (length == 4) ++units;  // a surrogate pair
      at += length;
    }
  }
  return units;
}

std::filesystem::path scratchFolder() {
  static const std::filesystem::path folder = [] {
    std::error_code ec;
    const std::filesystem::path shm("/dev/shm");
    const auto made = tov::makePrivateFolder(std::filesystem::is_directory(shm, ec) ? shm : std::filesystem::temp_directory_path(), "tov-fuzz-");
    if (!made) fail("no scratch folder");
    std::atexit([] { std::filesystem::remove_all(folder); });
    return *made;
  }();
  return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  // The post-processing of whatever it is given.
  if (const auto once = tov::withShortestNumbers(input)) {
    const auto twice = tov::withShortestNumbers(*once);
    if (!twice || *twice != *once) fail("post-processing a processed archive changes it");
  }
  const std::string sheet = tov::shortestNumbers(input);
  if (tov::shortestNumbers(sheet) != sheet) fail("shortest numbers are not shortest");
  if (numberCells(sheet).size() != numberCells(input).size()) fail("shortest numbers lost a cell");

  // A workbook of the fields.
  tov::SummaryTable table;
  table.header.assign(kColumns, "h");
  std::map<std::string, double> numbers;  // cell name → the double written
  std::size_t cell = 0;
  for (std::size_t at = 0; at < input.size();) {
    std::size_t end = input.find('\xff', at);
    if (end == std::string::npos) end = input.size();
    std::string field = input.substr(at, end - at);
    at = end + 1;
    if (field.empty()) continue;
    const auto kind = static_cast<unsigned char>(field[0]);
    field.erase(0, 1);
    tov::TableCell c;
    if ((kind & 3) == 3 && field.size() >= 8) {
      std::memcpy(&c.value, field.data(), 8);
      c.kind = tov::TableCell::Kind::Number;
      char text[32];
      c.text.assign(text, std::to_chars(text, text + sizeof text, c.value).ptr);
    } else if ((kind & 3) != 0) {
      const auto value = tov::parseWholeNumber(field);
      c = value ? tov::TableCell{field, (kind & 3) == 2 ? tov::TableCell::Kind::Exponent : tov::TableCell::Kind::Number, *value}
                : tov::TableCell{field, tov::TableCell::Kind::Text, 0};
    } else {
      c.text = field;
      if ((kind & 0x10) && !field.empty())
        while (c.text.size() < 40000) c.text += field;
    }
    const std::size_t row = cell / kColumns, column = cell % kColumns;
    if (column == 0) table.rows.emplace_back();
    if (c.kind != tov::TableCell::Kind::Text && std::isfinite(c.value)) numbers[cellName(row + 1, column)] = c.value;
    table.rows.back().push_back(c);
    ++cell;
  }
  const std::filesystem::path book = scratchFolder() / "k.xlsx";
  std::vector<std::string> notes;
  if (const std::string error = tov::writeXlsx(book, table, &notes); !error.empty()) {
    std::fprintf(stderr, "%s\n", error.c_str());
    fail("the workbook was not written");
  }
  const auto bytes = tov::readFileBytes(book);
  if (!bytes) fail("the workbook cannot be read back");
  const auto again = tov::withShortestNumbers(*bytes);
  if (!again || *again != *bytes) fail("post-processing the workbook again changes it");
  auto entries = entriesOf(*bytes);
  const auto cells = numberCells(entries["xl/worksheets/sheet1.xml"]);
  if (cells.size() != numbers.size()) fail("the sheet holds other numbers than were written");
  for (const auto& [name, value] : numbers) {
    const auto found = cells.find(name);
    double read = 0;
    if (found == cells.end()) fail("a number is missing from the sheet");
    const auto parsed = std::from_chars(found->second.data(), found->second.data() + found->second.size(), read);
    if (parsed.ec != std::errc() || parsed.ptr != found->second.data() + found->second.size() || read != value) {
      std::fprintf(stderr, "%s: %.17g written, \"%s\" read\n", name.c_str(), value, found->second.c_str());
      fail("a number reads back as another");
    }
  }
  const std::string& shared = entries["xl/sharedStrings.xml"];
  if (!tov::isValidUtf8(shared)) fail("the shared strings are not UTF-8");
  for (const unsigned char c : shared)
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') fail("the shared strings hold a character XML does not allow");
  for (std::size_t at = shared.find("<t"); at != std::string::npos; at = shared.find("<t", at + 1)) {
    const auto open = shared.find('>', at), close = shared.find("</t>", at);
    if (open == std::string::npos || close == std::string::npos) break;
    if (cellUnits(std::string_view(shared).substr(open + 1, close - open - 1)) > 32767)
      fail("a text is longer than a cell may hold");
  }
  std::filesystem::remove(book);
  return 0;
}
