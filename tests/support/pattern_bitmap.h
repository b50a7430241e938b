#pragma once
// The tests' one patterned bitmap: neighbouring pixels differ, so a wrong sample, a turned or
// mirrored picture, or a row out of place shows.

#include "formats/bitmap.h"

#include <gtest/gtest.h>
#include <QRgb>
#include <cstdint>
#include <vector>

// At 24 or 32 bits every byte follows the pattern; at 1, 4 or 8 bits the indices do, into a
// palette of distinct colours.
inline Bitmap PatternBitmap(int width, int height, int bitCount = 24) {
    Bitmap bitmap;
    bitmap.create(width, height, bitCount);
    if (bitCount <= 8) {
        std::vector<QRgb> palette;
        for (int i = 0; i < (1 << bitCount); ++i)
            palette.push_back(qRgb(i * 37 % 256, i * 11 % 256, 255 - i));
        bitmap.setPalette(palette);
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* row = bitmap.scanLine(y);
        for (int i = 0; i < bitmap.stride(); ++i) row[i] = uint8_t(i * 7 + y * 13 + (i ^ y));
    }
    return bitmap;
}

// The pixels of a bitmap as 0xRRGGBB, for comparisons that print where they differ.
inline QRgb PixelAt(const Bitmap& bitmap, int x, int y) {
    return bitmap.pixelColor(x, y) & 0xFFFFFF;
}

// Whether two 24-bit bitmaps hold the same size and pixels; says where they first differ.
inline ::testing::AssertionResult SamePixels(const Bitmap& a, const Bitmap& b) {
    if (a.width() != b.width() || a.height() != b.height())
        return ::testing::AssertionFailure()
               << a.width() << "x" << a.height() << " vs " << b.width() << "x" << b.height();
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x)
            if (PixelAt(a, x, y) != PixelAt(b, x, y))
                return ::testing::AssertionFailure()
                       << "at " << x << "," << y << ": " << std::hex << PixelAt(a, x, y) << " vs "
                       << PixelAt(b, x, y);
    return ::testing::AssertionSuccess();
}
