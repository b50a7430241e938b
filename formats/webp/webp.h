#pragma once
// WebP pictures through libwebp: lossy, lossless, with or without alpha, and animations, of
// which the first frame is shown.

#include "formats/bitmap.h"

#include <QByteArray>
#include <QString>

// Decodes a WebP file's bytes into a 24-bit bitmap with libwebp's default decoding (fancy
// upsampling of a lossy picture's colours); alpha is composed over white like an icon's. An
// animation gives its first frame drawn on its canvas, which starts transparent. Throws
// ImageTooLargeText before allocating a picture over kMaxBitmapBytes (a picture with alpha or an
// animation needs its B, G, R, A pixels within that limit as well), and "Cannot read the WebP
// image <path>: <libwebp's reason>" for a damaged or cut-short file.
Bitmap DecodeWebp(const QByteArray& bytes, const QString& path);

// Registers "webp" for the WebP image kind.
void InitWebpModule();
