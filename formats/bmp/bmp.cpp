#include "formats/bmp/bmp.h"

#include "formats/byte_reader.h"
#include "formats/bmp/dib.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/host.h"

#include <algorithm>
#include <cstring>

namespace {

PixError notValid() { return PixError(QStringLiteral("Bitmap image is not valid")); }

// Everything the headers say that the pixels need.
struct BmpInfo {
    DibHeader dib;
    uint32_t pixelOffset = 0;
    std::vector<QRgb> palette;
};

BmpInfo readInfo(ByteReader& r, size_t fileSize) {
    BmpInfo info;
    if (r.readU8() != 'B' || r.readU8() != 'M') throw notValid();
    r.skip(8);  // file size and reserved words: often wrong in real files, never needed
    info.pixelOffset = r.readU32le();
    if (r.failed()) throw notValid();
    DibHeader& h = info.dib;
    if (!ReadDibHeader(r, h)) throw notValid();
    const uint32_t hs = h.headerSize;
    if (!h.core() && !h.os2() && hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124)
        throw notValid();
    if (h.width <= 0 || h.height == 0 || !DibLayoutValid(h)) throw notValid();

    if (h.bitCount <= 8) {
        uint32_t count = h.colourTableEntries();
        // An OS/2 file may hold fewer entries than its depth allows: the pixels start sooner.
        const size_t paletteStart = r.position();
        if (h.core() && info.pixelOffset > paletteStart)
            count = std::min<uint32_t>(count, uint32_t((info.pixelOffset - paletteStart) / 3));
        info.palette = ReadDibColourTable(r, h, count);
        if (r.failed()) throw notValid();
    }
    // An offset into the headers or the palette cannot be meant: the pixels follow the palette.
    if (info.pixelOffset < r.position()) info.pixelOffset = uint32_t(r.position());
    if (info.pixelOffset >= fileSize) throw notValid();
    return info;
}

// A file that ends inside the last row's padding still counts as whole; one that ends earlier is
// damaged. Checked before allocating, so a tiny file cannot claim a gigabyte.
void checkRowsPresent(const DibHeader& h, size_t available) {
    if (h.stride() * (h.rows() - 1) + h.usedRowBytes() > available) throw notValid();
}

// Rows of an uncompressed file: the file's row padding is the bitmap's.
void readUncompressed(const DibHeader& h, ByteReader& r, Bitmap& out) {
    const int bpp = h.bitCount;
    const uint64_t fileStride = h.stride();
    const size_t used = size_t(h.usedRowBytes());
    const DibChannels channels(h.effectiveMasks());
    const int64_t w = h.width;
    const uint32_t rows = h.rows();
    for (uint32_t i = 0; i < rows; ++i) {
        const uint8_t* src = r.current() + fileStride * i;
        uint8_t* dst = out.scanLine(h.topDown() ? int(i) : int(rows - 1 - i));
        switch (bpp) {
            case 1:
            case 4:
            case 8:
            case 24: std::memcpy(dst, src, used); break;
            case 2:
                for (int64_t x = 0; x < w; ++x) {
                    const uint8_t v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                    dst[x >> 1] |= (x & 1) ? v : uint8_t(v << 4);
                }
                break;
            case 16:
            case 32: {
                const int step = bpp == 16 ? 3 : 4;
                for (int64_t x = 0; x < w; ++x, dst += step) {
                    const uint32_t p = DibPixel(src, x, bpp);
                    dst[0] = channels.blue(p), dst[1] = channels.green(p), dst[2] = channels.red(p);
                }
                break;
            }
        }
    }
}

// Run-length rows (RLE8 or RLE4), bottom-up as the format has them or top-down as a few writers
// make them, decoded straight into the bitmap: rows no run reaches are never touched.
void readRunLength(const DibHeader& h, ByteReader& r, Bitmap& out) {
    const bool rle4 = h.compression == kBiRle4;
    const int64_t rows = h.rows();
    WalkDibRunLength(r, rle4, h.width, rows,
                     [&](int64_t x, int64_t y, int64_t n, uint8_t first, uint8_t second) {
                         uint8_t* row = out.scanLine(int(h.topDown() ? y : rows - 1 - y));
                         if (!rle4) {
                             std::memset(row + x, first, size_t(n));
                             return;
                         }
                         for (int64_t i = 0; i < n; ++i) {
                             const uint8_t index = (i & 1) ? second : first;
                             uint8_t& pair = row[(x + i) >> 1];
                             pair = ((x + i) & 1) ? uint8_t((pair & 0xF0) | index)
                                                  : uint8_t((pair & 0x0F) | (index << 4));
                         }
                     });
}

void putU16(QByteArray& out, uint16_t v) {
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

void putU32(QByteArray& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xFF));
}

}  // namespace

Bitmap DecodeBmp(const QByteArray& bytes) {
    ByteReader r(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    const BmpInfo info = readInfo(r, r.size());
    const DibHeader& h = info.dib;
    const int depth = h.bitCount == 2 ? 4 : h.bitCount == 16 ? 24 : h.bitCount;
    if (Bitmap::matrixBytes(uint32_t(h.width), h.rows(), depth) > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(uint64_t(h.width), h.rows()));
    r.seek(info.pixelOffset);
    if (!h.runLength()) checkRowsPresent(h, r.remaining());
    Bitmap out;
    out.create(int(h.width), int(h.rows()), depth);
    if (h.runLength()) {
        readRunLength(h, r, out);
    } else {
        readUncompressed(h, r, out);
    }
    if (depth <= 8) out.setPalette(info.palette);
    return out;
}

QByteArray EncodeBmp(const Bitmap& bitmap) {
    const int bitCount = bitmap.bitCount();
    const uint32_t paletteEntries = bitCount <= 8 ? (1u << bitCount) : 0;
    const uint32_t stride = uint32_t(bitmap.stride());
    const uint32_t imageBytes = stride * uint32_t(bitmap.height());
    const uint32_t offset = 14 + 40 + 4 * paletteEntries;

    QByteArray out;
    out.reserve(int(offset + imageBytes));
    out.append("BM");
    putU32(out, offset + imageBytes);
    putU32(out, 0);
    putU32(out, offset);
    putU32(out, 40);
    putU32(out, uint32_t(bitmap.width()));
    putU32(out, uint32_t(bitmap.height()));  // positive: rows bottom-up
    putU16(out, 1);
    putU16(out, uint16_t(bitCount));
    putU32(out, kBiRgb);
    putU32(out, imageBytes);
    putU32(out, 0);
    putU32(out, 0);
    putU32(out, 0);  // colours used: the full table follows
    putU32(out, 0);
    for (uint32_t i = 0; i < paletteEntries; ++i) {
        const QRgb c = i < bitmap.palette().size() ? bitmap.palette()[i] : qRgb(0, 0, 0);
        out.append(char(qBlue(c)));
        out.append(char(qGreen(c)));
        out.append(char(qRed(c)));
        out.append('\0');
    }
    const size_t used = (size_t(bitmap.width()) * size_t(bitCount) + 7) / 8;
    QByteArray row(int(stride), '\0');
    for (int y = bitmap.height() - 1; y >= 0; --y) {
        std::memcpy(row.data(), bitmap.scanLine(y), used);
        if (bitCount == 32) {
            for (int x = 0; x < bitmap.width(); ++x) row[4 * x + 3] = '\0';
        }
        out.append(row);
    }
    return out;
}

void SaveBitmapAsBmp(const Bitmap& bitmap, const QString& path) {
    // A picture of width or height 0 has no pixels a BMP could hold; no reader would take one.
    if (bitmap.isEmpty()) {
        formatHost().showMessage(
            QStringLiteral("The picture is empty: nothing was written to %1").arg(path));
        return;
    }
    WriteWholeFile(path, EncodeBmp(bitmap), true);
}

std::unique_ptr<Graphic> BitmapGraphic::clone() const {
    return std::make_unique<BitmapGraphic>(bitmap_);
}

void BitmapGraphic::loadFromFile(const QString& path) { bitmap_ = DecodeBmp(ReadFileBytes(path)); }

void BitmapGraphic::saveToFile(const QString& path) const { SaveBitmapAsBmp(bitmap_, path); }

void BitmapGraphic::stretchDraw(Bitmap& target, const QRect& rect) const {
    StretchBitmapInto(bitmap_, target, rect.x(), rect.y(), rect.width(), rect.height());
}
