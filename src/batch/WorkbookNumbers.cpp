// The workbook's sheets with their numbers in shortest form.
#include "batch/WorkbookNumbers.h"

#if TOV_HAS_XLSXWRITER
#include <zlib.h>

#include <charconv>
#include <cstdint>
#include <system_error>
#include <utility>

namespace tov {

namespace {

// Little-endian fields of the archive's headers.
std::uint32_t le(const std::string& z, std::size_t at, int size) {
  std::uint32_t v = 0;
  for (int i = size - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(z[at + static_cast<std::size_t>(i)]);
  return v;
}
void putLe(std::string& z, std::size_t at, std::uint32_t v, int size) {
  for (int i = 0; i < size; ++i) z[at + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

} // namespace

std::string shortestNumbers(const std::string& xml, const ExactNumbers& exact) {
  std::string out;
  std::size_t pos = 0;
  while (true) {
    const auto cell = xml.find("<c ", pos);
    const auto tagEnd = cell == std::string::npos ? cell : xml.find('>', cell);
    if (tagEnd == std::string::npos) break;
    const bool typed = xml.compare(tagEnd - 1, 1, "/") == 0 ||
                       xml.substr(cell, tagEnd - cell).find(" t=\"") != std::string::npos;
    const auto end = xml.find("</v>", tagEnd);
    if (typed || xml.compare(tagEnd + 1, 3, "<v>") != 0 || end == std::string::npos) {
      out.append(xml, pos, tagEnd + 1 - pos);
      pos = tagEnd + 1;
      continue;
    }
    const char* first = xml.data() + tagEnd + 4;
    double value = 0;
    char text[32];
    auto parsed = std::from_chars(first, xml.data() + end, value);
    if (!exact.empty()) {
      // The cell's name: r="C2" in its tag.
      const auto name = xml.find(" r=\"", cell);
      const auto nameEnd = name < tagEnd ? xml.find('"', name + 4) : std::string::npos;
      if (nameEnd < tagEnd) {
        const auto known = exact.find(xml.substr(name + 4, nameEnd - name - 4));
        if (known != exact.end() && parsed.ec == std::errc()) value = known->second;
      }
    }
    const auto written = std::to_chars(text, text + sizeof text, value);
    out.append(xml, pos, tagEnd + 4 - pos);
    if (parsed.ec == std::errc() && parsed.ptr == xml.data() + end && written.ec == std::errc())
      out.append(text, written.ptr);
    else
      out.append(first, xml.data() + end);
    pos = end;
  }
  out.append(xml, pos);
  return out;
}

namespace {

// deflate makes at most about 1032 bytes of one: a larger size claimed for
// an entry is not what it holds.
constexpr std::size_t kMostInflation = 1032;

// zlib's raw deflate streams, as a zip holds them.
std::optional<std::string> inflated(const std::string& data, std::size_t size) {
  std::string out(size, '\0');
  z_stream s{};
  if (inflateInit2(&s, -MAX_WBITS) != Z_OK) return std::nullopt;
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&s, Z_FINISH);
  inflateEnd(&s);
  if (rc != Z_STREAM_END || s.total_out != size) return std::nullopt;
  return out;
}
std::optional<std::string> deflated(const std::string& data) {
  z_stream s{};
  if (deflateInit2(&s, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return std::nullopt;
  std::string out(deflateBound(&s, static_cast<uLong>(data.size())), '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(out.data());
  s.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&s, Z_FINISH);
  deflateEnd(&s);
  if (rc != Z_STREAM_END) return std::nullopt;
  out.resize(s.total_out);
  return out;
}

} // namespace

// The workbook writer makes neither ZIP64 records nor data descriptors; an
// archive with them is left as it is.
std::optional<std::string> withShortestNumbers(const std::string& zip, const ExactNumbers& exact) {
  const auto eocd = zip.rfind(std::string("PK\5\6", 4));
  if (eocd == std::string::npos || eocd + 22 > zip.size()) return std::nullopt;
  const std::size_t count = le(zip, eocd + 10, 2);
  std::size_t entry = le(zip, eocd + 16, 4);
  std::string files, directory;
  for (std::size_t i = 0; i < count; ++i) {
    if (entry + 46 > zip.size() || le(zip, entry, 4) != 0x02014b50) return std::nullopt;
    const std::size_t nameSize = le(zip, entry + 28, 2);
    const std::size_t entrySize = 46 + nameSize + le(zip, entry + 30, 2) + le(zip, entry + 32, 2);
    const std::size_t local = le(zip, entry + 42, 4);
    std::size_t packed = le(zip, entry + 20, 4), size = le(zip, entry + 24, 4);
    if (entry + entrySize > zip.size() || local + 30 > zip.size() || le(zip, local, 4) != 0x04034b50 ||
        (le(zip, local + 6, 2) & 8) || packed == 0xFFFFFFFF || size == 0xFFFFFFFF)
      return std::nullopt;
    const std::size_t header = 30 + le(zip, local + 26, 2) + le(zip, local + 28, 2);
    if (local + header + packed > zip.size()) return std::nullopt;
    std::string localHeader = zip.substr(local, header), data = zip.substr(local + header, packed);
    std::string central = zip.substr(entry, entrySize);
    const std::string name = zip.substr(entry + 46, nameSize);
    if (name.starts_with("xl/worksheets/sheet") && name.ends_with(".xml")) {
      const auto method = le(zip, entry + 10, 2);  // 8 deflated, 0 stored
      if (method != 8 && method != 0) return std::nullopt;
      if (method == 8 ? size > packed * kMostInflation + 64 : size != packed) return std::nullopt;
      std::optional<std::string> xml = method == 8 ? inflated(data, size) : std::optional(data);
      if (!xml) return std::nullopt;
      *xml = shortestNumbers(*xml, name == "xl/worksheets/sheet1.xml" ? exact : ExactNumbers{});
      const auto packedXml = method == 8 ? deflated(*xml) : xml;
      if (!packedXml) return std::nullopt;
      data = *packedXml;
      const auto crc = crc32(0, reinterpret_cast<const Bytef*>(xml->data()), static_cast<uInt>(xml->size()));
      for (auto [part, at] : {std::pair{&localHeader, 14}, std::pair{&central, 16}}) {
        putLe(*part, static_cast<std::size_t>(at), static_cast<std::uint32_t>(crc), 4);
        putLe(*part, static_cast<std::size_t>(at) + 4, static_cast<std::uint32_t>(data.size()), 4);
        putLe(*part, static_cast<std::size_t>(at) + 8, static_cast<std::uint32_t>(xml->size()), 4);
      }
    }
    putLe(central, 42, static_cast<std::uint32_t>(files.size()), 4);
    files += localHeader + data;
    directory += central;
    entry += entrySize;
  }
  std::string end = zip.substr(eocd);
  putLe(end, 12, static_cast<std::uint32_t>(directory.size()), 4);
  putLe(end, 16, static_cast<std::uint32_t>(files.size()), 4);
  return files + directory + end;
}

} // namespace tov
#endif
