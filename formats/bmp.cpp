#include "bmp.h"

#include "byte_reader.h"
#include "errors.h"
#include "file_io.h"
#include "host.h"

#include <algorithm>
#include <cstring>

namespace {

PixError notValid() { return PixError(QStringLiteral("Bitmap image is not valid")); }

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6;

// Everything the headers say that the pixels need.
struct BmpInfo {
    uint32_t headerSize = 0;
    uint32_t width = 0;
    uint32_t height = 0;  // absolute: top-down files store it negated
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = kBiRgb;
    uint32_t pixelOffset = 0;
    uint32_t masks[3] = {0, 0, 0};  // red, green, blue
    std::vector<QRgb> palette;
};

uint32_t lowestBit(uint32_t mask) {
    uint32_t shift = 0;
    while (shift < 32 && !(mask & (1u << shift))) ++shift;
    return shift;
}

// One channel of a bit-field pixel widened to 8 bits: a short channel is scaled so its maximum
// becomes 255 (v * 255 / max, rounded down, as Pillow does; 5 bits give 0, 8, 16 ... 255), a long
// one keeps its top 8 bits.
struct Channel {
    uint32_t mask = 0;
    uint32_t shift = 0;
    int bits = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (!mask) return;
        shift = lowestBit(mask);
        uint32_t v = mask >> shift;
        while (v) {
            ++bits;
            v >>= 1;
        }
    }
    uint8_t operator()(uint32_t pixel) const {
        if (!bits) return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return uint8_t(v >> (bits - 8));
        return uint8_t(v * 255 / ((1u << bits) - 1));
    }
};

BmpInfo readInfo(ByteReader& r, size_t fileSize) {
    BmpInfo info;
    if (r.readU8() != 'B' || r.readU8() != 'M') throw notValid();
    r.skip(8);  // file size and reserved words: often wrong in real files, never needed
    info.pixelOffset = r.readU32le();
    info.headerSize = r.readU32le();
    if (r.failed()) throw notValid();
    const uint32_t hs = info.headerSize;
    const bool core = hs == 12;
    // 16 and 64 are OS/2's second header, the rest Windows' versions.
    const bool os2v2 = hs == 16 || hs == 64;
    if (!core && !os2v2 && hs != 40 && hs != 52 && hs != 56 && hs != 108 && hs != 124)
        throw notValid();
    ByteReader h = r.sub(hs - 4);
    if (r.failed()) throw notValid();
    int64_t width = 0, height = 0;
    if (core) {
        width = h.readU16le();
        height = h.readU16le();
        h.skip(2);
        info.bitCount = h.readU16le();
    } else {
        width = int32_t(h.readU32le());
        height = int32_t(h.readU32le());
        h.skip(2);
        info.bitCount = h.readU16le();
        if (hs >= 20) info.compression = h.readU32le();
    }
    if (h.failed() || width <= 0 || height == 0) throw notValid();
    info.width = uint32_t(width);
    info.topDown = height < 0;
    info.height = uint32_t(height < 0 ? -height : height);
    // OS/2's compression 3 and 4 are Huffman 1D and RLE24, which nobody else writes.
    if (os2v2 && info.compression > kBiRle4) throw notValid();

    const int bpp = info.bitCount;
    const uint32_t c = info.compression;
    const bool paletted = bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8;
    bool valid = false;
    if (c == kBiRgb) valid = paletted || bpp == 16 || bpp == 24 || bpp == 32;
    if (c == kBiRle8) valid = bpp == 8;
    if (c == kBiRle4) valid = bpp == 4;
    if (c == kBiBitfields || c == kBiAlphaBitfields) valid = bpp == 16 || bpp == 32;
    if (!valid) throw notValid();

    if (c == kBiBitfields || c == kBiAlphaBitfields) {
        // From the 52-byte header on the masks are part of it; after the 40-byte one they follow.
        ByteReader m = hs >= 52 ? ByteReader(h.data() + 36, 12) : r.sub(c == kBiAlphaBitfields ? 16 : 12);
        for (uint32_t& mask : info.masks) mask = m.readU32le();
        if (m.failed() || r.failed()) throw notValid();
    } else if (bpp == 16) {
        info.masks[0] = 0x7C00, info.masks[1] = 0x03E0, info.masks[2] = 0x001F;
    } else if (bpp == 32) {
        info.masks[0] = 0xFF0000, info.masks[1] = 0xFF00, info.masks[2] = 0xFF;
    }

    if (paletted) {
        const uint32_t most = 1u << bpp;
        uint32_t count = most;
        if (hs >= 36) {
            ByteReader used(h.data() + 28, 4);
            const uint32_t clrUsed = used.readU32le();
            if (clrUsed && clrUsed < most) count = clrUsed;
        }
        const uint32_t entryBytes = core ? 3 : 4;
        // An OS/2 file may hold fewer entries than its depth allows: the pixels start sooner.
        const size_t paletteStart = r.position();
        if (core && info.pixelOffset > paletteStart)
            count = std::min<uint32_t>(count, uint32_t((info.pixelOffset - paletteStart) / entryBytes));
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t b = r.readU8(), g = r.readU8(), red = r.readU8();
            if (!core) r.readU8();
            info.palette.push_back(qRgb(red, g, b));
        }
        if (r.failed()) throw notValid();
    }
    // An offset into the headers or the palette cannot be meant: the pixels follow the palette.
    if (info.pixelOffset < r.position()) info.pixelOffset = uint32_t(r.position());
    if (info.pixelOffset >= fileSize) throw notValid();
    return info;
}

// A file that ends inside the last row's padding still counts as whole; one that ends earlier is
// damaged. Checked before allocating, so a tiny file cannot claim a gigabyte.
void checkRowsPresent(const BmpInfo& info, size_t available) {
    const uint64_t bpp = uint64_t(info.bitCount);
    const uint64_t fileStride = ((uint64_t(info.width) * bpp + 31) / 32) * 4;
    const uint64_t used = (uint64_t(info.width) * bpp + 7) / 8;
    if (fileStride * (info.height - 1) + used > available) throw notValid();
}

// Rows of an uncompressed file: the file's row padding is the bitmap's.
void readUncompressed(const BmpInfo& info, ByteReader& r, Bitmap& out) {
    const int bpp = info.bitCount;
    const uint64_t fileStride = ((uint64_t(info.width) * uint64_t(bpp) + 31) / 32) * 4;
    const size_t used = size_t((uint64_t(info.width) * uint64_t(bpp) + 7) / 8);
    const Channel red(info.masks[0]), green(info.masks[1]), blue(info.masks[2]);
    const int w = int(info.width);
    for (uint32_t i = 0; i < info.height; ++i) {
        const uint8_t* src = r.current() + fileStride * i;
        uint8_t* dst = out.scanLine(info.topDown ? int(i) : int(info.height - 1 - i));
        switch (bpp) {
            case 1:
            case 4:
            case 8:
            case 24: std::memcpy(dst, src, used); break;
            case 2:
                for (int x = 0; x < w; ++x) {
                    const uint8_t v = (src[x >> 2] >> (6 - 2 * (x & 3))) & 3;
                    dst[x >> 1] |= (x & 1) ? v : uint8_t(v << 4);
                }
                break;
            case 16:
                for (int x = 0; x < w; ++x, dst += 3) {
                    const uint32_t p = uint32_t(src[2 * x]) | (uint32_t(src[2 * x + 1]) << 8);
                    dst[0] = blue(p), dst[1] = green(p), dst[2] = red(p);
                }
                break;
            case 32:
                for (int x = 0; x < w; ++x, dst += 4) {
                    const uint8_t* s = src + 4 * x;
                    const uint32_t p = uint32_t(s[0]) | (uint32_t(s[1]) << 8) |
                                       (uint32_t(s[2]) << 16) | (uint32_t(s[3]) << 24);
                    dst[0] = blue(p), dst[1] = green(p), dst[2] = red(p);
                }
                break;
        }
    }
}

// Run-length rows (RLE8 or RLE4), bottom-up as the format has them or top-down as a few writers
// make them. Pixels the data never reaches keep index 0; runs past the
// row's end are cut; data that ends early leaves the rest unset rather than failing.
void readRunLength(const BmpInfo& info, ByteReader& r, Bitmap& out) {
    const bool rle4 = info.compression == kBiRle4;
    const int64_t w = info.width, h = info.height;
    int64_t x = 0, y = 0;  // y counts rows in file order
    auto put = [&](uint8_t index) {
        if (x < w && y < h) {
            uint8_t* row = out.scanLine(int(info.topDown ? y : h - 1 - y));
            if (rle4) {
                row[x >> 1] |= (x & 1) ? (index & 0x0F) : uint8_t(index << 4);
            } else {
                row[x] = index;
            }
        }
        ++x;
    };
    while (y < h) {
        const uint8_t count = r.readU8();
        const uint8_t value = r.readU8();
        if (r.failed()) break;
        if (count) {
            const int64_t n = std::min<int64_t>(count, std::max<int64_t>(0, w - x));
            for (int64_t i = 0; i < n; ++i) put(rle4 ? ((i & 1) ? value & 0x0F : value >> 4) : value);
            x += count - n;
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += r.readU8();
            y += r.readU8();
        } else {
            const size_t bytes = rle4 ? (size_t(value) + 1) / 2 : value;
            ByteReader run = r.sub(bytes);
            for (int i = 0; i < value; ++i) {
                const size_t at = size_t(rle4 ? i / 2 : i);
                if (at >= run.size()) break;
                const uint8_t b = run.data()[at];
                put(rle4 ? ((i & 1) ? b & 0x0F : b >> 4) : b);
            }
            if (bytes & 1) r.skip(1);  // runs are padded to 16 bits
        }
    }
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
    const int depth = info.bitCount == 2 ? 4 : info.bitCount == 16 ? 24 : info.bitCount;
    if (Bitmap::matrixBytes(info.width, info.height, depth) > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(info.width, info.height));
    r.seek(info.pixelOffset);
    const bool runLength = info.compression == kBiRle8 || info.compression == kBiRle4;
    if (!runLength) checkRowsPresent(info, r.remaining());
    Bitmap out;
    out.create(int(info.width), int(info.height), depth);
    if (runLength) {
        readRunLength(info, r, out);
    } else {
        readUncompressed(info, r, out);
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
