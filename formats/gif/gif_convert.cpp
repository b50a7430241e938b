// An image as an 8-bit BMP byte stream, and that stream loaded back as a palette bitmap.
#include "formats/gif/gif.h"

#include "formats/bmp/dib.h"
#include "formats/host.h"

#include <QBuffer>
#include <QIODevice>
#include <algorithm>
#include <cstring>

namespace {

void put16(uint8_t*& p, uint16_t v) {
    *p++ = uint8_t(v);
    *p++ = uint8_t(v >> 8);
}

void put32(uint8_t*& p, uint32_t v) {
    for (int i = 0; i < 4; ++i) *p++ = uint8_t(v >> (8 * i));
}

constexpr int kBmpHeaderBytes = 14 + 40 + 256 * 4;  // 1078, the pixel data offset

// File header, info header and 256 palette entries (blue, green, red, 0).
void writeBmp8Headers(QIODevice& stream, uint32_t width, uint32_t height,
                      const std::array<TGifRgb, 256>& palette) {
    uint8_t h[kBmpHeaderBytes];
    uint8_t* p = h;
    *p++ = 'B';
    *p++ = 'M';
    put32(p, width * height + 819);  // the historical size field; bitmap readers ignore it
    put16(p, 0);
    put16(p, 0);
    put32(p, kBmpHeaderBytes);
    put32(p, 40);
    put32(p, width);
    put32(p, height);  // positive: bottom row first
    put16(p, 1);
    put16(p, 8);
    put32(p, 0);    // no compression
    put32(p, 0);    // image size
    put32(p, 143);  // pixels per metre
    put32(p, 143);
    put32(p, 0);  // colours used
    put32(p, 0);  // important colours
    for (const TGifRgb& c : palette) {
        *p++ = c.blue;
        *p++ = c.green;
        *p++ = c.red;
        *p++ = 0;
    }
    stream.write(reinterpret_cast<const char*>(h), sizeof h);
}

uint32_t paddedRow(uint32_t width) {
    return (width + 3) & ~3u;
}

}  // namespace

void GifImageToBmpStream(const TGifSubImage& image, QIODevice& stream) {
    const uint32_t width = uint32_t(image.width());
    const uint32_t height = uint32_t(image.height());
    const uint32_t stride = paddedRow(width);
    if (auto* buffer = qobject_cast<QBuffer*>(&stream)) {
        const qint64 bytes = qint64(kBmpHeaderBytes) + qint64(stride) * height;
        if (buffer->pos() == 0 && buffer->buffer().capacity() < bytes)
            buffer->buffer().reserve(bytes);
    }
    writeBmp8Headers(stream, width, height, image.colorTable().entries);

    std::vector<uint8_t> row(stride, 0);
    const std::vector<uint8_t> zeroRow(stride, 0);
    for (uint32_t k = height; k >= 1; --k) {
        const bool written = k <= image.pixels.rowsWritten();
        if (written && width) std::memcpy(row.data(), image.pixels.rowData(k), width);
        stream.write(reinterpret_cast<const char*>(written ? row.data() : zeroRow.data()),
                     qint64(stride));
        if (height > 500) GifProgress(1.0 - double(k - 1) / double(height));
    }
    stream.seek(0);
}

void WriteBmp8Stream(const Bitmap& bitmap, QIODevice& stream) {
    std::array<TGifRgb, 256> palette{};
    const std::vector<QRgb>& colours = bitmap.palette();
    for (size_t i = 0; i < colours.size() && i < 256; ++i)
        palette[i] = {uint8_t(qRed(colours[i])), uint8_t(qGreen(colours[i])),
                      uint8_t(qBlue(colours[i]))};
    const uint32_t width = uint32_t(bitmap.width());
    const uint32_t height = uint32_t(bitmap.height());
    writeBmp8Headers(stream, width, height, palette);
    const uint32_t stride = paddedRow(width);
    std::vector<uint8_t> row(stride, 0);
    for (uint32_t y = height; y-- > 0;) {
        if (width) std::memcpy(row.data(), bitmap.scanLine(int(y)), width);
        stream.write(reinterpret_cast<const char*>(row.data()), qint64(stride));
    }
}

namespace {

// Loads an 8-bit bitmap from BMP bytes as they are written to it: the headers, then the rows
// (bottom row first) straight into the bitmap's scanlines, so the stream never has to exist as
// a whole (a 1 GiB image would otherwise need it and the bitmap at once). Errors are kept and
// raised by take(), never thrown through QIODevice::write.
class Bmp8Loader final : public QIODevice {
public:
    Bmp8Loader() { open(QIODevice::WriteOnly); }

    Bitmap take() {
        if (outOfMemory_) throw ENotEnoughMemory(uint64_t(stride_) * uint64_t(height_));
        if (invalid_ || headerFill_ < kBmpHeaderBytes || pixelBytes_ < stride_ * uint64_t(height_))
            throw PixError(QStringLiteral("Bitmap image is not valid"));
        return std::move(bitmap_);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 len) override {
        const auto* p = reinterpret_cast<const uint8_t*>(data);
        uint64_t n = uint64_t(len);
        if (headerFill_ < kBmpHeaderBytes) {
            const size_t k = std::min<uint64_t>(n, kBmpHeaderBytes - headerFill_);
            std::memcpy(header_ + headerFill_, p, k);
            headerFill_ += k;
            p += k;
            n -= k;
            if (headerFill_ == kBmpHeaderBytes) startPixels();
        }
        if (invalid_ || outOfMemory_) return len;
        const uint64_t total = stride_ * uint64_t(height_);
        while (n && pixelBytes_ < total) {
            const uint64_t row = pixelBytes_ / stride_, at = pixelBytes_ % stride_;
            const uint64_t k = std::min(n, stride_ - at);
            // The bitmap starts zeroed and untouched: zeros are not copied, so rows a short
            // image never filled cost no memory.
            if (!allZero(p, size_t(k)))
                std::memcpy(bitmap_.scanLine(height_ - 1 - int(row)) + at, p, size_t(k));
            pixelBytes_ += k;
            p += k;
            n -= k;
        }
        return len;
    }

private:
    static bool allZero(const uint8_t* p, size_t n) {
        return n == 0 || (p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0);
    }

    void startPixels() {
        ByteReader r(header_, sizeof header_);
        const uint16_t magic = r.readU16le();
        r.skip(8);
        const uint32_t offset = r.readU32le();
        DibHeader h;
        if (magic != 0x4D42 || offset != uint32_t(kBmpHeaderBytes) || !ReadDibHeader(r, h) ||
            h.headerSize != 40 || h.planes != 1 || h.bitCount != 8 || h.compression != kBiRgb ||
            h.width < 0 || h.height < 0) {
            invalid_ = true;
            return;
        }
        stride_ = h.stride();
        height_ = int(h.height);
        if (!bitmap_.tryCreate(int(h.width), height_, 8)) {
            outOfMemory_ = true;
            return;
        }
        bitmap_.setPalette(ReadDibColourTable(r, h, 256));
    }

    uint8_t header_[kBmpHeaderBytes];
    size_t headerFill_ = 0;
    Bitmap bitmap_;
    uint64_t stride_ = 0;
    int height_ = 0;
    uint64_t pixelBytes_ = 0;
    bool invalid_ = false;
    bool outOfMemory_ = false;
};

}  // namespace

Bitmap LoadBmp8Stream(std::span<const uint8_t> bytes) {
    Bmp8Loader loader;
    loader.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return loader.take();
}

Bitmap FirstImageBitmap(const TGifFile& gif) {
    const TGifSubImage& first = gif.image(1);
    Bmp8Loader loader;
    GifImageToBmpStream(first, loader);
    return loader.take();
}
