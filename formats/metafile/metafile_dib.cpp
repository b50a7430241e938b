#include "formats/metafile/metafile_dib.h"

#include "formats/bitmap.h"
#include "formats/bmp/dib.h"

#include <algorithm>
#include <cstring>

namespace {

// The colour table as the pixels index it: full length, missing entries black as a display
// shows them. With DIB_PAL_COLORS the entries are 16-bit indices into a logical palette, which
// is not kept: they become an even grey ramp.
std::vector<QRgb> readColourTable(ByteReader& r, const DibHeader& h, bool paletteIndices) {
    const uint32_t count = h.colourTableEntries();
    std::vector<QRgb> table;
    if (paletteIndices) {
        const uint32_t full = 1u << h.bitCount;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t index = r.readU16le();
            if (r.failed()) break;
            const int grey = full > 1 ? int(255 * (index % full) / (full - 1)) : 0;
            table.push_back(qRgb(grey, grey, grey));
        }
    } else {
        table = ReadDibColourTable(r, h, count);
    }
    table.resize(size_t(1) << h.bitCount, qRgb(0, 0, 0));
    return table;
}

bool readHeader(ByteReader& r, DibHeader& h) {
    return ReadDibHeader(r, h) && h.width > 0 && h.width <= INT32_MAX && h.height != 0 &&
           h.rows() <= uint32_t(INT32_MAX);
}

}  // namespace

DibGeometry ReadDibGeometry(ByteReader info) {
    DibHeader h;
    if (!readHeader(info, h)) return {};
    return {int(h.width), int(h.height), h.bitCount};
}

QImage DecodeDib(DibSource source, bool keepAlpha) {
    DibHeader h;
    ByteReader& info = source.info;
    if (!readHeader(info, h)) return QImage();
    if (h.compression == kBiJpeg || h.compression == kBiPng) {
        const QImage embedded = QImage::fromData(source.bits.data(), int(source.bits.size()));
        return embedded.isNull() ? QImage() : embedded.convertToFormat(QImage::Format_RGB32);
    }
    const int width = int(h.width);
    const int height = int(h.rows());
    const bool topDown = h.topDown();
    if (Bitmap::matrixBytes(uint32_t(width), uint32_t(height), 32) > kMaxBitmapBytes)
        return QImage();
    const int bc = h.bitCount;
    // Display drivers know no 2-bit bitmaps.
    if (!DibLayoutValid(h) || bc == 2) return QImage();
    std::vector<QRgb> table;
    if (bc <= 8) table = readColourTable(info, h, source.paletteIndices);
    if (source.monochrome && bc == 1) table = {qRgb(0, 0, 0), qRgb(255, 255, 255)};

    const bool alpha = keepAlpha && bc == 32;
    QImage image(width, height, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    if (image.isNull()) return QImage();

    ByteReader& bits = source.bits;
    if (h.runLength()) {
        image.fill(table[0]);
        WalkDibRunLength(bits, bc == 4, width, height,
                         [&](int64_t x, int64_t row, int64_t n, uint8_t first, uint8_t second) {
                             QRgb* line = reinterpret_cast<QRgb*>(
                                 image.scanLine(int(topDown ? row : height - 1 - row)));
                             const QRgb colours[2] = {table[first], table[second]};
                             for (int64_t i = 0; i < n; ++i) line[x + i] = colours[i & 1];
                         });
        return image;
    }
    image.fill(alpha ? 0u : 0xFF000000u);

    const DibChannels channels(h.effectiveMasks());
    const size_t stride = size_t(h.stride());
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
                    const uint32_t p = DibPixel(src, x, bc);
                    const int a = alpha ? channels.alpha(p) : 255;
                    line[x] = qRgba(channels.red(p), channels.green(p), channels.blue(p), a);
                }
                break;
        }
    }
    return image;
}
