// Device-independent bitmaps as the BMP reader and the metafile blits read them: bit-field
// channels of every width against Pillow, and run-length data, each through both readers.
#include "formats/bmp/bmp.h"
#include "formats/metafile/metafile_dib.h"
#include "support/corpus.h"
#include "support/pillow.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <array>
#include <bit>

namespace {

void put16(QByteArray& b, uint16_t v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

void put32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}

// A BMP file: 14-byte file header, 40-byte info header, then `extra` (masks or colour table),
// then the pixel bits.
QByteArray bmpFile(int width, int height, int bitCount, uint32_t compression,
                   const QByteArray& extra, const QByteArray& bits, uint32_t coloursUsed = 0) {
    QByteArray f("BM");
    const uint32_t offset = 14 + 40 + uint32_t(extra.size());
    put32(f, offset + uint32_t(bits.size()));
    put32(f, 0);
    put32(f, offset);
    put32(f, 40);
    put32(f, uint32_t(width));
    put32(f, uint32_t(height));
    put16(f, 1);
    put16(f, uint16_t(bitCount));
    put32(f, compression);
    put32(f, uint32_t(bits.size()));
    put32(f, 2835);
    put32(f, 2835);
    put32(f, coloursUsed);
    put32(f, 0);
    return f + extra + bits;
}

// The DIB inside a BMP file, as a metafile record would carry it.
QImage metafileDecode(const QByteArray& file) {
    const auto* p = reinterpret_cast<const uint8_t*>(file.constData());
    const uint32_t offset = uint32_t(p[10]) | (uint32_t(p[11]) << 8);
    DibSource source{ByteReader(p + 14, offset - 14),
                     ByteReader(p + offset, size_t(file.size()) - offset)};
    return DecodeDib(source);
}

QRgb bitmapPixel(const Bitmap& rgb24, int x, int y) {
    const uint8_t* p = rgb24.scanLine(y) + 3 * x;
    return qRgb(p[2], p[1], p[0]);
}

// Widening by the largest value the channel holds, rounded down, computed apart from the
// decoder in 64 bits.
int widened(uint32_t pixel, uint32_t mask) {
    if (!mask) return 0;
    const int shift = std::countr_zero(mask);
    return int(uint64_t((pixel & mask) >> shift) * 255 / (mask >> shift));
}

struct Layout {
    QString name;
    int bitCount;
    std::array<uint32_t, 3> masks;  // red, green, blue
};

// Channels of every width from 1 to 16 bits (red carries the width under test), the layouts
// Pillow reads (5-5-5, 5-6-5, 8-8-8), 10-10-10 and a full 32-bit mask.
std::vector<Layout> layouts() {
    std::vector<Layout> out;
    for (int w = 1; w <= 16; ++w) {
        const uint32_t red = ((1u << w) - 1) << (16 - w);
        const uint32_t rest = (1u << (16 - w)) - 1;
        // The remaining bits split between green (upper) and blue (lower).
        const int restBits = 16 - w;
        const uint32_t blue = (1u << (restBits / 2)) - 1;
        out.push_back({QString("red%1").arg(w), 16, {red, rest & ~blue, blue}});
    }
    out.push_back({"555", 16, {0x7C00, 0x03E0, 0x001F}});
    out.push_back({"565", 16, {0xF800, 0x07E0, 0x001F}});
    out.push_back({"888", 32, {0xFF0000, 0x00FF00, 0x0000FF}});
    out.push_back({"101010", 32, {0x3FF00000, 0x000FFC00, 0x000003FF}});
    out.push_back({"full32", 32, {0xFFFFFFFF, 0, 0}});
    return out;
}

// Pixel values that visit every 16-bit value, or a spread of 32-bit ones with the extremes.
std::vector<uint32_t> samplePixels(int bitCount) {
    std::vector<uint32_t> p;
    if (bitCount == 16) {
        for (uint32_t v = 0; v < 65536; ++v) p.push_back(v);
        return p;
    }
    for (uint32_t k = 0; k < 4092; ++k) p.push_back(k * 0x9E3779B9u);
    for (uint32_t v : {0u, 0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu}) p.push_back(v);
    return p;
}

constexpr int kSampleWidth = 256;

QByteArray bitFieldsFile(const Layout& l, const std::vector<uint32_t>& pixels) {
    QByteArray masks, bits;
    for (uint32_t m : l.masks) put32(masks, m);
    for (uint32_t v : pixels) l.bitCount == 16 ? put16(bits, uint16_t(v)) : put32(bits, v);
    const int height = int(pixels.size()) / kSampleWidth;
    // Negative height: the first row stored is the top one, so pixel i sits at (i % w, i / w).
    return bmpFile(kSampleWidth, -height, l.bitCount, 3, masks, bits);
}

TEST(DibChannels, EveryWidthWidensAsPillowDoesInBothReaders) {
    REQUIRE_TOOLS(tool::kPillow);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<Layout> all = layouts();
    QStringList files;
    std::vector<QByteArray> contents;
    for (const Layout& l : all) {
        contents.push_back(bitFieldsFile(l, samplePixels(l.bitCount)));
        files << dir.filePath(QString("%1.bmp").arg(l.name));
        QFile f(files.back());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(contents.back());
    }
    const std::vector<Bitmap> pillow = PillowPixels(files);
    ASSERT_EQ(pillow.size(), all.size()) << "Pillow did not run";

    QStringList comparedWithPillow;
    for (size_t i = 0; i < all.size(); ++i) {
        const Layout& l = all[i];
        SCOPED_TRACE(l.name.toStdString());
        const Bitmap ours = DecodeBmp(contents[i]).toRgb24();
        const QImage blit = metafileDecode(contents[i]);
        ASSERT_EQ(blit.size(), QSize(ours.width(), ours.height()));
        const std::vector<uint32_t> pixels = samplePixels(l.bitCount);
        // Pillow 9.4 reads only the bit-field layouts it knows (5-5-5, 5-6-5 and the 8-bit
        // ones) and refuses the rest; for those the decoders must follow its rule all the same.
        const bool pillowRead = !pillow[i].isEmpty();
        if (pillowRead) {
            comparedWithPillow << l.name;
            EXPECT_TRUE(ours == pillow[i]);
        }
        int wrong = 0;
        for (size_t k = 0; k < pixels.size() && wrong < 5; ++k) {
            const int x = int(k % kSampleWidth), y = int(k / kSampleWidth);
            const QRgb expected = qRgb(widened(pixels[k], l.masks[0]),
                                       widened(pixels[k], l.masks[1]),
                                       widened(pixels[k], l.masks[2]));
            const QRgb bmp = bitmapPixel(ours, x, y);
            const QRgb metafile = blit.pixel(x, y);
            if (bmp != expected || metafile != expected) {
                ++wrong;
                ADD_FAILURE() << std::hex << "pixel " << pixels[k] << ": expected " << expected
                              << ", BMP reader " << bmp << ", metafile blit " << metafile;
            }
        }
    }
    EXPECT_EQ(comparedWithPillow, (QStringList{"red5", "555", "565", "888"}))
        << "the layouts Pillow reads changed; compare the new ones";
}

// Colour i of a 16-entry table: distinct, so an index mix-up shows.
QByteArray sixteenColours() {
    QByteArray t;
    for (int i = 0; i < 16; ++i) {
        t.append(char(i * 16));
        t.append(char(255 - i * 8));
        t.append(char(i * 5));
        t.append('\0');
    }
    return t;
}

QRgb tableColour(int i) {
    return qRgb(i * 5, 255 - i * 8, i * 16);
}

TEST(DibRunLength, BothReadersPlaceRunsDeltasAndAbsoluteRunsAlike) {
    // 7 x 4, bottom-up. Each case: the run-length data and the indices of the rows top to
    // bottom ('.' is a pixel no run reached: index 0).
    struct Case {
        const char* name;
        int bitCount;
        uint32_t compression;
        QByteArray data;
        std::array<const char*, 4> rows;
    };
    const std::vector<Case> cases = {
        {"RLE8 runs, cut at the row's end, and a delta",
         8, 1,
         QByteArray::fromHex("0305" "0A02" "0000"      // row 0: 3 x 5, then 10 x 2 cut to 4
                             "0002" "0201"             // delta: 2 right, 1 up (row 1 skipped)
                             "0207" "0000"             // row 2 from x 2
                             "00030809 0A00"           // row 3: absolute run of 3, padded
                             "0001"),
         {"89A....", "..77...", ".......", "5552222"}},
        {"RLE4 runs alternate nibbles; odd absolute runs are padded", 4, 2,
         QByteArray::fromHex("05AB" "0000"             // row 0: A B A B A
                             "00051234 5000" "0000"    // row 1: absolute 1 2 3 4 5, padded
                             "00031230" "0203" "0000"  // row 2: absolute 1 2 3, then 0 3
                             "07CD"                    // row 3: C D C D C D C
                             "0001"),
         {"CDCDCDC", "12303..", "12345..", "ABABA.."}},
        {"data that ends early leaves the rest unreached", 8, 1,
         QByteArray::fromHex("0204" "0000" "0103" "0003"),  // an absolute run cut short
         {".......", ".......", "3......", "44....."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QByteArray table = sixteenColours();
        if (c.bitCount == 8) table += QByteArray(240 * 4, '\0');
        const QByteArray file = bmpFile(7, 4, c.bitCount, c.compression, table, c.data);
        const Bitmap bmp = DecodeBmp(file);
        EXPECT_EQ(bmp.bitCount(), c.bitCount);
        const Bitmap rgb = bmp.toRgb24();
        const QImage blit = metafileDecode(file);
        ASSERT_EQ(blit.size(), QSize(7, 4));
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 7; ++x) {
                const char ch = c.rows[size_t(y)][x];
                const int index = ch == '.' ? 0 : QByteArray(1, ch).toInt(nullptr, 16);
                EXPECT_EQ(bitmapPixel(rgb, x, y), tableColour(index)) << x << "," << y;
                EXPECT_EQ(blit.pixel(x, y), tableColour(index)) << x << "," << y;
            }
    }
}

}  // namespace
