#include "metafile_dib.h"

#include "bitmap.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5,
                   kBiAlphaBitfields = 6;

struct DibHeader {
    uint32_t headerSize = 0;
    int width = 0;
    int height = 0;  // negative: top-down
    int bitCount = 0;
    uint32_t compression = kBiRgb;
    uint32_t coloursUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    bool hasMasks = false;
};

bool readHeader(ByteReader& r, DibHeader& h) {
    h.headerSize = r.readU32le();
    if (h.headerSize == 12) {
        h.width = r.readU16le();
        h.height = int16_t(r.readU16le());
        r.readU16le();
        h.bitCount = r.readU16le();
        return !r.failed();
    }
    if (h.headerSize < 40 || h.headerSize > r.size()) return false;
    h.width = int32_t(r.readU32le());
    h.height = int32_t(r.readU32le());
    r.readU16le();
    h.bitCount = r.readU16le();
    h.compression = r.readU32le();
    r.skip(12);
    h.coloursUsed = r.readU32le();
    r.skip(4);
    if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
        // Masks sit inside a V2+ header, or right after a 40-byte one.
        const int count = (h.headerSize >= 56 || h.compression == kBiAlphaBitfields) ? 4 : 3;
        for (int i = 0; i < count; ++i) h.masks[i] = r.readU32le();
        h.hasMasks = true;
    }
    r.seek(h.headerSize + (h.hasMasks && h.headerSize == 40 ? 12 : 0));
    return !r.failed() && h.width > 0 && h.height != 0 && h.height != INT32_MIN;
}

std::vector<QRgb> readColourTable(ByteReader& r, const DibHeader& h, bool paletteIndices) {
    std::vector<QRgb> table;
    if (h.bitCount > 8) return table;
    const uint32_t full = 1u << h.bitCount;
    uint32_t count = h.coloursUsed && h.coloursUsed < full ? h.coloursUsed : full;
    table.reserve(full);
    for (uint32_t i = 0; i < count; ++i) {
        if (paletteIndices) {
            // No logical palette is kept: indices become an even grey ramp.
            const int index = r.readU16le();
            const int grey = full > 1 ? int(255 * (index % full) / (full - 1)) : 0;
            table.push_back(qRgb(grey, grey, grey));
        } else if (h.headerSize == 12) {
            uint8_t c[3] = {0, 0, 0};
            r.readBytes(c, 3);
            table.push_back(qRgb(c[2], c[1], c[0]));
        } else {
            uint8_t c[4] = {0, 0, 0, 0};
            r.readBytes(c, 4);
            table.push_back(qRgb(c[2], c[1], c[0]));
        }
    }
    // A short table: the missing entries are black, as a display would show them.
    table.resize(full, qRgb(0, 0, 0));
    return table;
}

struct MaskChannel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    int value(uint32_t pixel) const {
        if (!mask) return -1;
        return int(((pixel & mask) >> shift) * 255 / max);
    }
};

MaskChannel channel(uint32_t mask) {
    MaskChannel c;
    if (!mask) return c;
    c.mask = mask;
    c.shift = std::countr_zero(mask);
    c.max = mask >> c.shift;
    return c;
}

// Run-length bits (RLE8 and RLE4) straight into the image, rows in the order stored (bottom-up
// unless topDown); pixels the runs never reach keep colour 0.
void decodeRle(ByteReader bits, bool fourBit, bool topDown, const std::vector<QRgb>& table,
               QImage& image) {
    const int width = image.width(), height = image.height();
    int x = 0, y = 0;
    auto put = [&](uint8_t index) {
        if (x < width && y < height) {
            QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(topDown ? y : height - 1 - y));
            line[x] = table[index % table.size()];
        }
        ++x;
    };
    while (!bits.atEnd() && y < height) {
        const uint8_t count = bits.readU8();
        const uint8_t value = bits.readU8();
        if (bits.failed()) break;
        if (count > 0) {
            for (int i = 0; i < count && x < width; ++i)
                put(fourBit ? ((i & 1) ? value & 15 : value >> 4) : value);
            continue;
        }
        if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += bits.readU8();
            y += bits.readU8();
        } else {
            const int n = value;
            const int bytes = fourBit ? (n + 1) / 2 : n;
            uint8_t pair = 0;
            for (int i = 0; i < n; ++i) {
                if (!fourBit) {
                    put(bits.readU8());
                    continue;
                }
                if (!(i & 1)) pair = bits.readU8();
                put((i & 1) ? pair & 15 : pair >> 4);
            }
            if (bytes & 1) bits.readU8();
            if (bits.failed()) break;
        }
    }
}

}  // namespace

DibGeometry ReadDibGeometry(ByteReader info) {
    DibHeader h;
    if (!readHeader(info, h)) return {};
    return {h.width, h.height, h.bitCount};
}

QImage DecodeDib(DibSource source, bool keepAlpha) {
    DibHeader h;
    ByteReader& info = source.info;
    if (!readHeader(info, h)) return QImage();
    if (h.compression == kBiJpeg || h.compression == kBiPng) {
        const QImage embedded = QImage::fromData(source.bits.data(), int(source.bits.size()));
        return embedded.isNull() ? QImage() : embedded.convertToFormat(QImage::Format_RGB32);
    }
    const int width = h.width;
    const bool topDown = h.height < 0;
    const int height = topDown ? -h.height : h.height;
    if (Bitmap::matrixBytes(uint32_t(width), uint32_t(height), 32) > kMaxBitmapBytes)
        return QImage();
    const int bc = h.bitCount;
    if (bc != 1 && bc != 4 && bc != 8 && bc != 16 && bc != 24 && bc != 32) return QImage();
    std::vector<QRgb> table = readColourTable(info, h, source.paletteIndices);
    if (source.monochrome && bc == 1) table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};

    const bool alpha = keepAlpha && bc == 32;
    QImage image(width, height, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull()) return QImage();

    ByteReader& bits = source.bits;
    if ((h.compression == kBiRle8 && bc == 8) || (h.compression == kBiRle4 && bc == 4)) {
        image.fill(table[0]);
        decodeRle(bits, bc == 4, topDown, table, image);
        return image;
    }
    if (h.compression != kBiRgb && !h.hasMasks) return QImage();
    image.fill(alpha ? 0u : 0xFF000000u);

    uint32_t defaultMasks16[3] = {0x7C00, 0x03E0, 0x001F};
    uint32_t defaultMasks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    const uint32_t* masks = h.hasMasks ? h.masks : (bc == 16 ? defaultMasks16 : defaultMasks32);
    const MaskChannel red = channel(masks[0]), green = channel(masks[1]), blue = channel(masks[2]);
    const MaskChannel alphaChannel = channel(h.hasMasks ? h.masks[3] : (alpha ? 0xFF000000 : 0));

    const size_t stride = (size_t(width) * size_t(bc) + 31) / 32 * 4;
    int firstScan = std::clamp(source.firstScan, 0, height);
    int scans = source.scanCount < 0 ? height : std::min(source.scanCount, height - firstScan);
    scans = int(std::min<size_t>(size_t(scans), stride ? bits.size() / stride : 0));
    const bool plainMasks = !h.hasMasks;
    for (int i = 0; i < scans; ++i) {
        // Rows are stored bottom-up unless the height is negative.
        const int dibRow = firstScan + i;
        const int y = topDown ? dibRow : height - 1 - dibRow;
        const uint8_t* src = bits.data() + size_t(i) * stride;
        QRgb* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        switch (bc) {
            case 1:
                for (int x = 0; x < width; ++x) line[x] = table[(src[x >> 3] >> (7 - (x & 7))) & 1];
                break;
            case 4:
                for (int x = 0; x < width; ++x)
                    line[x] = table[(x & 1) ? src[x >> 1] & 15 : src[x >> 1] >> 4];
                break;
            case 8:
                for (int x = 0; x < width; ++x) line[x] = table[src[x]];
                break;
            case 24:
                for (int x = 0; x < width; ++x, src += 3) line[x] = qRgb(src[2], src[1], src[0]);
                break;
            case 32:
                if (plainMasks) {
                    if (alpha) {
                        std::memcpy(line, src, size_t(width) * 4);
                    } else {
                        for (int x = 0; x < width; ++x, src += 4)
                            line[x] = qRgb(src[2], src[1], src[0]);
                    }
                    break;
                }
                [[fallthrough]];
            case 16:
                for (int x = 0; x < width; ++x) {
                    const uint32_t p = bc == 16 ? uint32_t(src[2 * x] | (src[2 * x + 1] << 8))
                                                : uint32_t(src[4 * x]) |
                                                      (uint32_t(src[4 * x + 1]) << 8) |
                                                      (uint32_t(src[4 * x + 2]) << 16) |
                                                      (uint32_t(src[4 * x + 3]) << 24);
                    const int a = alpha ? std::max(alphaChannel.value(p), 0) : 255;
                    line[x] = qRgba(std::max(red.value(p), 0), std::max(green.value(p), 0),
                                    std::max(blue.value(p), 0), a);
                }
                break;
        }
    }
    return image;
}
