#include "app/PagePng.h"

#include <QIODevice>

#include <png.h>
#include <zlib.h>

#include <cmath>
#include <csetjmp>
#include <vector>

namespace tov {

namespace {

void writeData(png_structp png, png_bytep data, png_size_t length) {
  auto* device = static_cast<QIODevice*>(png_get_io_ptr(png));
  if (device->write(reinterpret_cast<const char*>(data), static_cast<qint64>(length)) != static_cast<qint64>(length))
    png_error(png, "write failed");
}

void flushData(png_structp) {}

// libpng reports errors by a long jump; nothing with a destructor may live
// between setjmp and the calls that can fail.
bool writeRows(png_structp png, png_infop info, const QImage& image, bool toGrey, unsigned char* greyRow) {
  if (setjmp(png_jmpbuf(png))) return false;
  const bool grey = image.format() == QImage::Format_Grayscale8;
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
               grey || toGrey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, static_cast<png_uint_32>(image.dotsPerMeterX()),
               static_cast<png_uint_32>(image.dotsPerMeterY()), PNG_RESOLUTION_METER);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_write_info(png, info);
  if (!grey && !toGrey) {
    // RGB32 holds 0xffRRGGBB words: B, G, R, 0xff in memory on this machine.
    png_set_bgr(png);
    png_set_filler(png, 0, PNG_FILLER_AFTER);
  }
  const int width = image.width(), height = image.height();
  for (int y = 0; y < height; ++y) {
    if (toGrey) {
      const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
      for (int x = 0; x < width; ++x) greyRow[x] = static_cast<unsigned char>(line[x] & 0xFF);
      png_write_row(png, greyRow);
    } else {
      png_write_row(png, const_cast<png_bytep>(image.constScanLine(y)));
    }
  }
  png_write_end(png, nullptr);
  return true;
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
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  png_set_write_fn(png, &device, writeData, flushData);
  const bool toGrey = image.format() == QImage::Format_RGB32 && isGreyPage(image);
  std::vector<unsigned char> greyRow(toGrey ? static_cast<std::size_t>(image.width()) : 0);
  const bool ok = writeRows(png, info, image, toGrey, greyRow.data());
  png_destroy_write_struct(&png, &info);
  return ok;
}

} // namespace tov
