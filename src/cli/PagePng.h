#pragma once
// Pages as PNG, written fast: a page drawn only in greys is stored as 8-bit
// grey, and the compression is one that suits pages (mostly white paper
// with thin lines and text): a row equal to the one above stored as such,
// any other predicted from the pixel to its left, then the runs deflated.
#include <QImage>

class QIODevice;

namespace tov {

// True when every pixel has equal red, green and blue.
bool isGreyPage(const QImage& image);

// Writes an RGB32 or Grayscale8 image (its resolution included) as PNG; an
// RGB32 image of greys only as 8-bit grey. False when the device fails or
// the image has another format.
bool writePagePng(const QImage& image, QIODevice& device);

} // namespace tov
