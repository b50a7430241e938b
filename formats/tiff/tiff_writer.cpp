#include "formats/tiff/tiff_writer.h"

#include "formats/errors.h"
#include "formats/file_io.h"

#include <QIODevice>
#include <cstring>
#include <vector>

namespace {

void putU16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}

void putU32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
}

// Counts what it writes, so offsets need no pos() from the device, and turns every short
// write into an error: a full disk must not end as a silently truncated file.
class TiffOutput {
public:
    explicit TiffOutput(QIODevice& device) : device_(device), start_(device.pos()) {}

    uint32_t offset() const { return uint32_t(written_); }

    void write(const void* data, uint64_t count) {
        if (count == 0) return;
        if (device_.write(static_cast<const char*>(data), qint64(count)) != qint64(count)) fail();
        written_ += count;
    }
    void write(const std::vector<uint8_t>& bytes) { write(bytes.data(), bytes.size()); }

    void patchDirectoryOffset(uint32_t directoryOffset) {
        std::vector<uint8_t> b;
        putU32(b, directoryOffset);
        if (!device_.seek(start_ + 4)) fail();
        if (device_.write(reinterpret_cast<const char*>(b.data()), 4) != 4) fail();
    }

private:
    [[noreturn]] void fail() {
        throw PixError(QStringLiteral("Cannot write TIFF data: %1").arg(device_.errorString()));
    }

    QIODevice& device_;
    qint64 start_;
    uint64_t written_ = 0;
};

void setValue(std::array<TiffTemplate::Entry, 15>& dir, uint16_t tag, uint32_t value) {
    for (TiffTemplate::Entry& e : dir) {
        if (e.tag != tag) continue;
        e.value = value;
        // A SHORT field cannot hold a size of 65536 or more; such a size goes in as a LONG.
        if (e.type == 3 && e.count == 1 && value > 0xFFFF) e.type = 4;
        return;
    }
}

void setCount(std::array<TiffTemplate::Entry, 15>& dir, uint16_t tag, uint32_t count) {
    for (TiffTemplate::Entry& e : dir) {
        if (e.tag == tag) e.count = count;
    }
}

void writeDirectory(TiffOutput& out, const std::array<TiffTemplate::Entry, 15>& dir) {
    std::vector<uint8_t> b;
    b.reserve(2 + 15 * 12 + 4);
    putU16(b, uint16_t(dir.size()));
    for (const TiffTemplate::Entry& e : dir) {
        putU16(b, e.tag);
        putU16(b, e.type);
        putU32(b, e.count);
        putU32(b, e.value);  // a SHORT lands in the first two bytes, the other two stay 0
    }
    putU32(b, 0);
    out.write(b);
}

std::vector<uint8_t> resolutionBlock() {
    std::vector<uint8_t> b;
    putU32(b, TiffTemplate::resolution[0]);
    putU32(b, TiffTemplate::resolution[1]);
    return b;
}

// The palette layout has 4 and 8 bits only: 1-bit bitmaps, and 4-bit ones whose width would
// round down to nothing, go out as 8-bit with the same colours.
Bitmap toEightBit(const Bitmap& source) {
    Bitmap out;
    out.create(source.width(), source.height(), 8);
    out.setPalette(source.palette());
    for (int y = 0; y < source.height(); ++y) {
        const uint8_t* s = source.scanLine(y);
        uint8_t* d = out.scanLine(y);
        for (int x = 0; x < source.width(); ++x) {
            d[x] = source.bitCount() == 1
                       ? uint8_t((s[x >> 3] >> (7 - (x & 7))) & 1)
                       : uint8_t((x & 1) ? (s[x >> 1] & 0x0F) : (s[x >> 1] >> 4));
        }
    }
    return out;
}

void writePaletteTiff(const Bitmap& bitmap, TiffOutput& out) {
    const int bits = bitmap.bitCount();
    const uint32_t colours = 1u << bits;
    const uint32_t height = uint32_t(bitmap.height());
    // 4-bit rows are cut to a multiple of 4 pixels, up to three right-hand columns dropped.
    const uint32_t writtenWidth =
        bits == 4 ? uint32_t(bitmap.width()) & ~3u : uint32_t(bitmap.width());
    const uint32_t rowBytes = bits == 4 ? writtenWidth / 2 : writtenWidth;

    auto dir = TiffTemplate::paletteDirectory;
    setValue(dir, 256, writtenWidth);
    setValue(dir, 257, height);
    setValue(dir, 258, uint32_t(bits));
    setValue(dir, 278, height);
    setValue(dir, 279, rowBytes * height);
    setCount(dir, 320, 3 * colours);

    out.write(TiffTemplate::header.data(), TiffTemplate::header.size());
    std::vector<uint8_t> colourMap;
    colourMap.reserve(6 * colours);
    const std::vector<QRgb>& palette = bitmap.palette();
    for (int channel = 0; channel < 3; ++channel) {
        for (uint32_t i = 0; i < colours; ++i) {
            const QRgb c = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
            const int v = channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c);
            putU16(colourMap, uint16_t(v * 256));
        }
    }
    out.write(colourMap);
    std::vector<uint8_t> blocks = resolutionBlock();
    const uint32_t xResolution = out.offset();
    out.write(blocks);
    const uint32_t yResolution = out.offset();
    out.write(blocks);
    const uint32_t software = out.offset();
    out.write(TiffTemplate::software.data(), TiffTemplate::software.size());

    const uint32_t pixels = out.offset();
    for (uint32_t y = 0; y < height; ++y) out.write(bitmap.scanLine(int(y)), rowBytes);

    setValue(dir, 273, pixels);
    setValue(dir, 282, xResolution);
    setValue(dir, 283, yResolution);
    setValue(dir, 305, software);
    const uint32_t directory = out.offset();
    writeDirectory(out, dir);
    out.patchDirectoryOffset(directory);
}

void writeRgbTiff(const Bitmap& bitmap, TiffOutput& out) {
    const uint32_t width = uint32_t(bitmap.width());
    const uint32_t height = uint32_t(bitmap.height());
    const int step = bitmap.bitCount() / 8;

    auto dir = TiffTemplate::rgbDirectory;
    setValue(dir, 256, width);
    setValue(dir, 257, height);
    setValue(dir, 278, height);
    setValue(dir, 279, width * 3 * height);

    out.write(TiffTemplate::header.data(), TiffTemplate::header.size());
    std::vector<uint8_t> blocks = resolutionBlock();
    const uint32_t xResolution = out.offset();
    out.write(blocks);
    const uint32_t yResolution = out.offset();
    out.write(blocks);
    const uint32_t bitsPerSample = out.offset();
    std::vector<uint8_t> bps;
    for (uint16_t v : TiffTemplate::rgbBitsPerSample) putU16(bps, v);
    out.write(bps);
    const uint32_t software = out.offset();
    out.write(TiffTemplate::software.data(), TiffTemplate::software.size());

    // One working row: B, G, R (and X) become R, G, B; the bitmap itself is never touched.
    const uint32_t pixels = out.offset();
    std::vector<uint8_t> row(size_t(width) * 3);
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* s = bitmap.scanLine(int(y));
        uint8_t* d = row.data();
        for (uint32_t x = 0; x < width; ++x, s += step, d += 3) {
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
        out.write(row.data(), row.size());
    }

    setValue(dir, 258, bitsPerSample);
    setValue(dir, 273, pixels);
    setValue(dir, 282, xResolution);
    setValue(dir, 283, yResolution);
    setValue(dir, 305, software);
    const uint32_t directory = out.offset();
    writeDirectory(out, dir);
    out.patchDirectoryOffset(directory);
}

}  // namespace

void WriteTiffToStream(const Bitmap& bitmap, QIODevice& device) {
    if (bitmap.isEmpty()) return;
    TiffOutput out(device);
    switch (bitmap.bitCount()) {
        case 1:
            writePaletteTiff(toEightBit(bitmap), out);
            break;
        case 4:
            if (bitmap.width() < 4) {
                writePaletteTiff(toEightBit(bitmap), out);
            } else {
                writePaletteTiff(bitmap, out);
            }
            break;
        case 8:
            writePaletteTiff(bitmap, out);
            break;
        default:
            writeRgbTiff(bitmap, out);
            break;
    }
}

void SaveBitmapAsTiff(const Bitmap& bitmap, const QString& path) {
    WriteWholeFile(path, [&bitmap](QIODevice& out) { WriteTiffToStream(bitmap, out); }, true);
}
