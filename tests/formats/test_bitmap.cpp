#include "formats/bitmap.h"
#include "formats/byte_reader.h"
#include "formats/errors.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

Bitmap gradient(int w, int h) {
    Bitmap b;
    b.create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = uint8_t(x);
            p[1] = uint8_t(y);
            p[2] = uint8_t(x ^ y);
        }
    return b;
}

}  // namespace

TEST(BitmapLayout, RowsArePaddedToFourBytes) {
    EXPECT_EQ(Bitmap::strideFor(1, 1), 4u);
    EXPECT_EQ(Bitmap::strideFor(33, 1), 8u);
    EXPECT_EQ(Bitmap::strideFor(9, 4), 8u);
    EXPECT_EQ(Bitmap::strideFor(5, 24), 16u);
    EXPECT_EQ(Bitmap::strideFor(3, 32), 12u);
    EXPECT_EQ(Bitmap::strideFor(3, 16), 0u);
}

TEST(BitmapLayout, RefusesMatricesOverTheLimitWithoutAllocating) {
    Bitmap b;
    EXPECT_FALSE(b.tryCreate(65535, 65535, 24));
    EXPECT_TRUE(b.isEmpty());
    EXPECT_THROW(b.create(40000, 40000, 32), PixError);
    EXPECT_TRUE(b.tryCreate(0, 10, 24));
    EXPECT_TRUE(b.isEmpty());
    // No rows, but a row too wide for the stride arithmetic.
    EXPECT_FALSE(b.tryCreate(INT_MAX, 0, 32));
    EXPECT_FALSE(b.tryCreate(300000000, 0, 32));
    EXPECT_EQ(b.width(), 0);
    EXPECT_GE(b.stride(), 0);
    ASSERT_TRUE(b.tryCreate(3000, 0, 32));
    EXPECT_EQ(b.stride(), 12000);
}

TEST(BitmapLayout, CopiesNeverSharePixels) {
    Bitmap a = gradient(4, 3);
    Bitmap b = a;
    b.scanLine(0)[0] = 99;
    EXPECT_EQ(a.scanLine(0)[0], 0);
    EXPECT_FALSE(a == b);
}

TEST(BitmapConvert, PaletteDepthsBecomeRgb) {
    Bitmap b;
    b.create(10, 2, 4);
    b.setPalette({qRgb(0, 0, 0), qRgb(10, 20, 30)});
    b.scanLine(1)[4] = 0x01;  // pixel 9 of row 1
    const Bitmap rgb = b.toRgb24();
    EXPECT_EQ(rgb.pixelColor(9, 1), qRgb(10, 20, 30));
    EXPECT_EQ(rgb.pixelColor(8, 1), qRgb(0, 0, 0));
    EXPECT_EQ(b.toQImage().pixel(9, 1), qRgb(10, 20, 30));
}

TEST(BitmapStretch, SamplesPixelCentres) {
    const Bitmap src = gradient(10, 7);
    const Bitmap out = StretchBitmap(src, 3, 2);
    // x' = floor((2x+1)*10/6): 1, 5, 8; y' = floor((2y+1)*7/4): 1, 5
    EXPECT_EQ(out.pixelColor(0, 0), src.pixelColor(1, 1));
    EXPECT_EQ(out.pixelColor(1, 0), src.pixelColor(5, 1));
    EXPECT_EQ(out.pixelColor(2, 1), src.pixelColor(8, 5));
}

TEST(BitmapStretch, FullSizeKeepsEveryPixelAndDoublingRepeatsThem) {
    const Bitmap src = gradient(13, 5);
    EXPECT_TRUE(StretchBitmap(src, 13, 5) == src);
    const Bitmap big = StretchBitmap(src, 26, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 26; ++x) ASSERT_EQ(big.pixelColor(x, y), src.pixelColor(x / 2, y / 2));
}

TEST(BitmapStretch, IntoClipsToTheTarget) {
    const Bitmap src = gradient(4, 4);
    Bitmap target;
    target.create(3, 3, 24);
    StretchBitmapInto(src, target, -2, 1, 4, 4);
    EXPECT_EQ(target.pixelColor(0, 1), src.pixelColor(2, 0));
    EXPECT_EQ(target.pixelColor(0, 0), qRgb(0, 0, 0));
}

TEST(BitmapStretch, EveryDepthSamplesLikeItsRgbCopy) {
    // Paletted and 32-bit sources are sampled in place; the result must be what stretching
    // their 24-bit copy gives, palette gaps (indexes past its end) black included.
    uint32_t seed = 12345;
    for (int depth : {1, 4, 8, 32}) {
        SCOPED_TRACE(depth);
        Bitmap src;
        src.create(37, 23, depth);
        for (uint64_t i = 0; i < src.byteCount(); ++i) {
            seed = seed * 1103515245u + 12345u;
            src.bits()[i] = uint8_t(seed >> 16);
        }
        if (depth <= 8) {
            std::vector<QRgb> palette;
            const int entries = depth == 8 ? 200 : (1 << depth) - 1;
            for (int i = 0; i < entries; ++i) palette.push_back(qRgb(i, 255 - i, (i * 7) & 255));
            src.setPalette(palette);
        }
        const Bitmap rgb = src.toRgb24();
        for (int y = 0; y < src.height(); ++y)
            for (int x = 0; x < src.width(); ++x)
                ASSERT_EQ(rgb.pixelColor(x, y), src.pixelColor(x, y));
        for (auto [w, h] : {std::pair{11, 29}, std::pair{37, 23}, std::pair{80, 5}}) {
            EXPECT_TRUE(StretchBitmap(src, w, h) == StretchBitmap(rgb, w, h)) << w << "x" << h;
        }
        Bitmap target, expected;
        target.create(20, 20, 32);
        expected.create(20, 20, 32);
        StretchBitmapInto(src, target, -3, 2, 25, 15);
        StretchBitmapInto(rgb, expected, -3, 2, 25, 15);
        EXPECT_TRUE(target == expected);
    }
}

TEST(ByteReaderBounds, ShortReadsFailAndYieldZero) {
    const uint8_t data[] = {1, 2, 3};
    ByteReader r(data, sizeof data);
    EXPECT_EQ(r.readU16le(), 0x0201);
    EXPECT_FALSE(r.failed());
    EXPECT_EQ(r.readU16be(), 0);
    EXPECT_TRUE(r.failed());
    EXPECT_TRUE(r.atEnd());
    ByteReader s(data, sizeof data);
    EXPECT_TRUE(s.has(1, 2));
    EXPECT_FALSE(s.has(2, SIZE_MAX));
    EXPECT_FALSE(s.seek(4));
}
