#pragma once
// PNG output through libpng: the picture as 24-bit colour, losslessly.

#include "formats/bitmap.h"

#include <QByteArray>

// The bitmap (any depth; drawn as 24 bits) as a whole PNG file: 8-bit RGB, not interlaced,
// libpng's default compression. Throws PixError for an empty bitmap or when libpng fails.
QByteArray EncodePng(const Bitmap& bitmap);
