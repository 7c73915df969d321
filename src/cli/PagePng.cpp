#include "cli/PagePng.h"

#include <QIODevice>

#include <zlib.h>

#include "files/RunDeflate.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

namespace tov {

namespace {

// The compressed stream is cut into IDAT chunks of this size.
constexpr std::size_t kChunkBytes = 1u << 20;

enum Filter : unsigned char { FilterSub = 1, FilterUp = 2 };

void putBigEndian(std::string& out, quint32 value) {
  const char bytes[4] = {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
                         static_cast<char>(value)};
  out.append(bytes, 4);
}

void putChunk(std::string& out, const char type[4], const char* data, std::size_t length) {
  putBigEndian(out, static_cast<quint32>(length));
  out.append(type, 4);
  out.append(data, length);
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
  if (length) crc = crc32_z(crc, reinterpret_cast<const Bytef*>(data), length);
  putBigEndian(out, static_cast<quint32>(crc));
}

// What one row becomes before deflate: its filter byte, then the filtered
// samples. A row equal to the one above is all zeros ("up"); any other row is
// predicted from the pixel to its left ("sub").
class RowFilter {
public:
  RowFilter(const QImage& image, bool grey)
      : image_(image), grey_(grey), rgb32_(image.format() == QImage::Format_RGB32),
        row_(1 + static_cast<std::size_t>(image.width()) * (grey ? 1 : 3)) {}

  std::size_t size() const { return row_.size(); }
  bool sameAsAbove(int y) const {
    if (y == 0) return false;
    const std::size_t bytes = static_cast<std::size_t>(image_.width()) * (rgb32_ ? 4 : 1);
    return std::memcmp(image_.constScanLine(y), image_.constScanLine(y - 1), bytes) == 0;
  }
  const unsigned char* sub(int y) {
    unsigned char* out = row_.data();
    out[0] = FilterSub;
    ++out;
    const int width = image_.width();
    const unsigned char* in = image_.constScanLine(y);
    if (!rgb32_) {  // 8-bit grey
      unsigned char left = 0;
      for (int x = 0; x < width; ++x) {
        out[x] = static_cast<unsigned char>(in[x] - left);
        left = in[x];
      }
    } else if (grey_) {  // RGB32 of greys: blue stands for all three
      unsigned char left = 0;
      for (int x = 0; x < width; ++x) {
        const unsigned char v = in[4 * x];
        out[x] = static_cast<unsigned char>(v - left);
        left = v;
      }
    } else {  // RGB32 words are B, G, R, 0xff in memory on this machine
      unsigned char r0 = 0, g0 = 0, b0 = 0;
      for (int x = 0; x < width; ++x) {
        const unsigned char b = in[4 * x], g = in[4 * x + 1], r = in[4 * x + 2];
        out[3 * x] = static_cast<unsigned char>(r - r0);
        out[3 * x + 1] = static_cast<unsigned char>(g - g0);
        out[3 * x + 2] = static_cast<unsigned char>(b - b0);
        r0 = r;
        g0 = g;
        b0 = b;
      }
    }
    return row_.data();
  }

private:
  const QImage& image_;
  bool grey_, rgb32_;
  std::vector<unsigned char> row_;
};

// The zlib stream of the image's rows, each filtered as above.
std::string deflateImage(const QImage& image, bool grey) {
  RowFilter filter(image, grey);
  RunDeflate stream;
  for (int y = 0; y < image.height(); ++y) {
    if (filter.sameAsAbove(y))
      stream.addZeroRow(FilterUp, filter.size());
    else
      stream.addRow(filter.sub(y), filter.size());
  }
  return stream.finish();
}

} // namespace

bool isGreyPage(const QImage& image) {
  if (image.format() == QImage::Format_Grayscale8) return true;
  if (image.format() != QImage::Format_RGB32) return false;
  const int width = image.width(), height = image.height();
  for (int y = 0; y < height; ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    quint32 differ = 0;  // red, green, blue not all equal somewhere in the row
    for (int x = 0; x < width; ++x) differ |= (line[x] ^ (line[x] >> 8)) & 0xFFFF;
    if (differ) return false;
  }
  return true;
}

bool writePagePng(const QImage& image, QIODevice& device) {
  if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_Grayscale8) return false;
  if (image.isNull()) return false;
  const bool grey = isGreyPage(image);
  try {
    const std::string stream = deflateImage(image, grey);

    std::string png("\x89PNG\r\n\x1a\n", 8);
    std::string header;
    putBigEndian(header, static_cast<quint32>(image.width()));
    putBigEndian(header, static_cast<quint32>(image.height()));
    // 8 bits, grey (0) or RGB (2), deflate, adaptive filters, no interlace.
    header += {8, static_cast<char>(grey ? 0 : 2), 0, 0, 0};
    putChunk(png, "IHDR", header.data(), header.size());
    std::string resolution;
    putBigEndian(resolution, static_cast<quint32>(image.dotsPerMeterX()));
    putBigEndian(resolution, static_cast<quint32>(image.dotsPerMeterY()));
    resolution += '\x01';  // per metre
    putChunk(png, "pHYs", resolution.data(), resolution.size());
    for (std::size_t at = 0; at < stream.size(); at += kChunkBytes)
      putChunk(png, "IDAT", stream.data() + at, std::min(kChunkBytes, stream.size() - at));
    putChunk(png, "IEND", nullptr, 0);
    return device.write(png.data(), static_cast<qint64>(png.size())) == static_cast<qint64>(png.size());
  } catch (const std::exception&) {
    return false;  // no memory for the file's bytes
  }
}

} // namespace tov
