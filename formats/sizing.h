#pragma once
// The percentage sizing rule shared by the preview, the viewer and the batch, and the limit on
// the bitmaps a new size may ask for.

#include <QSize>
#include <QString>
#include <cstdint>

// length × (percent ÷ 100): the factor is formed first in extended precision, the product is
// rounded to the nearest integer with halves to even (50 % of 5 is 2, of 7 is 4). Throws PixError
// "Range check error" for a result outside the signed 32-bit range.
int ScaledLength(int length, int percent);

// A width × height picture at percent: each side by ScaledLength (the slider's preview, the
// batch and the viewer's zoom).
QSize ScaledSize(int width, int height, int percent);

// Whether a width × height bitmap at 24 bits a pixel (rows padded to 4 bytes) stays within
// kMaxBitmapBytes. Negative sizes never fit; a zero side always does (the bitmap is empty).
bool Fits24BitBitmap(int64_t width, int64_t height);

// The plain message shown when a new size would need a bitmap over the limit.
QString BitmapOverLimitText(int64_t width, int64_t height);

// The plain message shown when a typed width or height is negative.
QString NegativeSizeText();

// Why a picture cannot be drawn at a new size (a negative side, or a bitmap over the limit): the
// plain message to show, or empty when it can.
QString NewSizeRefusal(int64_t width, int64_t height);
