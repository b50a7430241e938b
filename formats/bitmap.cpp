#include "formats/bitmap.h"

#include "formats/errors.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

bool Bitmap::isValidBitCount(int bitCount) {
    return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 24 || bitCount == 32;
}

uint64_t Bitmap::strideFor(uint32_t width, int bitCount) {
    if (!isValidBitCount(bitCount)) return 0;
    return ((uint64_t(width) * uint64_t(bitCount) + 31) / 32) * 4;
}

uint64_t Bitmap::matrixBytes(uint32_t width, uint32_t height, int bitCount) {
    return strideFor(width, bitCount) * uint64_t(height);
}

Bitmap::Bitmap(const Bitmap& other)
    : width_(other.width_),
      height_(other.height_),
      bitCount_(other.bitCount_),
      stride_(other.stride_),
      palette_(other.palette_) {
    const uint64_t n = other.byteCount();
    if (other.pixels_ && n) {
        pixels_.reset(static_cast<uint8_t*>(std::malloc(n)));
        if (!pixels_) throw PixError(OutOfMemoryText());
        std::memcpy(pixels_.get(), other.pixels_.get(), n);
    }
}

Bitmap& Bitmap::operator=(const Bitmap& other) {
    if (this != &other) {
        Bitmap copy(other);
        *this = std::move(copy);
    }
    return *this;
}

bool Bitmap::tryCreate(int width, int height, int bitCount) {
    if (width < 0 || height < 0 || !isValidBitCount(bitCount)) return false;
    const uint64_t stride = strideFor(uint32_t(width), bitCount);
    const uint64_t bytes = stride * uint64_t(height);
    // A row over the limit is refused even with no rows: its stride would not fit the int the
    // row arithmetic uses.
    if (stride > kMaxBitmapBytes || bytes > kMaxBitmapBytes) return false;
    std::unique_ptr<uint8_t[], Free> pixels;
    if (bytes) {
        pixels.reset(static_cast<uint8_t*>(std::calloc(bytes, 1)));
        if (!pixels) return false;
    }
    width_ = width;
    height_ = height;
    bitCount_ = bitCount;
    stride_ = int(stride);
    pixels_ = std::move(pixels);
    palette_.clear();
    return true;
}

void Bitmap::create(int width, int height, int bitCount) {
    if (!tryCreate(width, height, bitCount)) throw PixError(OutOfMemoryText());
}

void Bitmap::clear() { *this = Bitmap(); }

void ComposeBgraOverWhite(const uint8_t* bgra, uint8_t* bgr, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i, bgra += 4, bgr += 3) {
        const unsigned a = bgra[3];
        if (a == 255) {
            bgr[0] = bgra[0];
            bgr[1] = bgra[1];
            bgr[2] = bgra[2];
        } else {
            bgr[0] = BlendOver(bgra[0], a, 255);
            bgr[1] = BlendOver(bgra[1], a, 255);
            bgr[2] = BlendOver(bgra[2], a, 255);
        }
    }
}

namespace {

// Palette index of pixel x in a 1-, 4- or 8-bit row.
unsigned paletteIndex(const uint8_t* row, size_t x, int bitCount) {
    if (bitCount == 8) return row[x];
    if (bitCount == 4) return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    return (row[x >> 3] >> (7 - (x & 7))) & 1;
}

// Every index a pixel can hold mapped to a colour; entries the palette lacks are black.
std::array<QRgb, 256> paletteTable(const std::vector<QRgb>& palette) {
    std::array<QRgb, 256> table;
    table.fill(qRgb(0, 0, 0));
    std::copy_n(palette.begin(), std::min(palette.size(), table.size()), table.begin());
    return table;
}

}  // namespace

QRgb Bitmap::pixelColor(int x, int y) const {
    const uint8_t* row = scanLine(y);
    switch (bitCount_) {
        case 24: return qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        case 32: return qRgb(row[4 * x + 2], row[4 * x + 1], row[4 * x]);
        default: {
            const unsigned index = paletteIndex(row, size_t(x), bitCount_);
            return index < palette_.size() ? palette_[index] : qRgb(0, 0, 0);
        }
    }
}

Bitmap Bitmap::toRgb24() const {
    Bitmap out;
    out.create(width_, height_, 24);
    if (isEmpty()) return out;
    if (bitCount_ == 24) {
        std::memcpy(out.bits(), bits(), byteCount());
        return out;
    }
    const std::array<QRgb, 256> colours = paletteTable(palette_);
    for (int y = 0; y < height_; ++y) {
        uint8_t* dst = out.scanLine(y);
        const uint8_t* src = scanLine(y);
        if (bitCount_ == 32) {
            for (int x = 0; x < width_; ++x) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
            }
        } else {
            for (int x = 0; x < width_; ++x) {
                const QRgb c = colours[paletteIndex(src, size_t(x), bitCount_)];
                dst[3 * x] = uint8_t(qBlue(c));
                dst[3 * x + 1] = uint8_t(qGreen(c));
                dst[3 * x + 2] = uint8_t(qRed(c));
            }
        }
    }
    return out;
}

QImage Bitmap::toQImage() const {
    if (isEmpty()) return QImage();
    if (bitCount_ == 24) {
        QImage image(bits(), width_, height_, stride_, QImage::Format_BGR888);
        return image.copy();
    }
    if (bitCount_ == 32) {
        QImage image(bits(), width_, height_, stride_, QImage::Format_RGB32);
        return image.copy();
    }
    if (bitCount_ == 8) {
        QImage image(bits(), width_, height_, stride_, QImage::Format_Indexed8);
        QList<QRgb> table(palette_.begin(), palette_.end());
        table.resize(256, qRgb(0, 0, 0));
        image.setColorTable(table);
        return image.copy();
    }
    return toRgb24().toQImage();
}

Bitmap Bitmap::fromQImage(const QImage& image) {
    Bitmap out;
    if (image.isNull()) return out;
    const QImage rgb = image.convertToFormat(QImage::Format_BGR888);
    out.create(rgb.width(), rgb.height(), 24);
    const size_t rowBytes = size_t(rgb.width()) * 3;
    for (int y = 0; y < rgb.height(); ++y) std::memcpy(out.scanLine(y), rgb.constScanLine(y), rowBytes);
    return out;
}

bool Bitmap::operator==(const Bitmap& other) const {
    if (width_ != other.width_ || height_ != other.height_ || bitCount_ != other.bitCount_)
        return false;
    if (bitCount_ <= 8 && palette_ != other.palette_) return false;
    const size_t used = (size_t(width_) * size_t(bitCount_) + 7) / 8;
    for (int y = 0; y < height_; ++y) {
        if (std::memcmp(scanLine(y), other.scanLine(y), used) != 0) return false;
    }
    return true;
}

namespace {

// Source index of every target column, by pixel centres.
std::vector<int> sampleIndices(int sourceSize, int targetSize) {
    std::vector<int> index(size_t(std::max(targetSize, 0)));
    for (int i = 0; i < targetSize; ++i) index[size_t(i)] = PixelCentreSource(i, sourceSize, targetSize);
    return index;
}

}  // namespace

void RequireDrawableTarget(const Bitmap& target) {
    if (target.bitCount() != 24 && target.bitCount() != 32)
        throw PixError(QStringLiteral("Cannot draw into a %1-bit bitmap").arg(target.bitCount()));
}

void StretchBitmapInto(const Bitmap& source, Bitmap& target, int left, int top, int width,
                       int height) {
    RequireDrawableTarget(target);
    if (source.isEmpty() || width <= 0 || height <= 0 || target.isEmpty()) return;
    const std::vector<int> xs = sampleIndices(source.width(), width);
    const std::vector<int> ys = sampleIndices(source.height(), height);
    const int x0 = std::max(0, -left), x1 = std::min(width, target.width() - left);
    const int y0 = std::max(0, -top), y1 = std::min(height, target.height() - top);
    if (x0 >= x1 || y0 >= y1) return;
    // Only the sampled pixels are read, at the source's own depth: a thumbnail of a huge
    // paletted image costs the thumbnail, not a 24-bit copy of the whole image.
    const int depth = source.bitCount();
    const std::array<QRgb, 256> colours = paletteTable(source.palette());
    const int targetBytes = target.bitCount() / 8;
    const size_t sourceBytes = size_t(depth / 8);
    for (int y = y0; y < y1; ++y) {
        const uint8_t* s = source.scanLine(ys[y]);
        uint8_t* d = target.scanLine(top + y) + size_t(left + x0) * targetBytes;
        if (y > y0 && ys[y] == ys[y - 1]) {
            // Same source row as the one above: copy the finished row.
            const uint8_t* prev = target.scanLine(top + y - 1) + size_t(left + x0) * targetBytes;
            std::memcpy(d, prev, size_t(x1 - x0) * targetBytes);
            continue;
        }
        if (depth == 24 || depth == 32) {
            for (int x = x0; x < x1; ++x, d += targetBytes) {
                const uint8_t* p = s + size_t(xs[x]) * sourceBytes;
                d[0] = p[0];
                d[1] = p[1];
                d[2] = p[2];
            }
        } else {
            for (int x = x0; x < x1; ++x, d += targetBytes) {
                const QRgb c = colours[paletteIndex(s, size_t(xs[x]), depth)];
                d[0] = uint8_t(qBlue(c));
                d[1] = uint8_t(qGreen(c));
                d[2] = uint8_t(qRed(c));
            }
        }
    }
}

Bitmap StretchBitmap(const Bitmap& source, int targetWidth, int targetHeight) {
    Bitmap out;
    out.create(std::max(targetWidth, 0), std::max(targetHeight, 0), 24);
    // Blank is white wherever the program makes a picture; a source with pixels covers it all.
    if (source.isEmpty() && !out.isEmpty()) std::memset(out.bits(), 0xFF, out.byteCount());
    StretchBitmapInto(source, out, 0, 0, targetWidth, targetHeight);
    return out;
}
