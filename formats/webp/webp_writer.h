#pragma once
// WebP output through libwebp: the picture as a lossy WebP of a chosen quality.

#include "formats/bitmap.h"

#include <QByteArray>

// The bitmap (any depth; drawn as 24 bits) as a whole lossy WebP file at quality 1..100
// (libwebp's scale, like JPEG's). Throws PixError for an empty bitmap, one larger than WebP
// allows (16383 pixels a side), or when libwebp fails.
QByteArray EncodeWebp(const Bitmap& bitmap, int quality);
