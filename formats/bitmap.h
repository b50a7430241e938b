#pragma once
// The program's device-independent bitmap: 1, 4, 8 (with a palette of up to 256 entries), 24 or
// 32 bits per pixel, rows padded to 4 bytes as in a Windows DIB. Rows are kept top-down in
// memory; 24-bit pixels are B, G, R and 32-bit pixels B, G, R, X, so a BMP or DIB row is a plain
// copy. Copies never share pixels.

#include <QImage>
#include <QRgb>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

// The largest pixel matrix any decoder allocates; a file may claim far more.
inline constexpr uint64_t kMaxBitmapBytes = uint64_t(1) << 30;

class Bitmap {
public:
    Bitmap() = default;
    Bitmap(const Bitmap& other);
    Bitmap& operator=(const Bitmap& other);
    Bitmap(Bitmap&&) noexcept = default;
    Bitmap& operator=(Bitmap&&) noexcept = default;

    static bool isValidBitCount(int bitCount);
    // Bytes of one padded row, 0 when the width or bit count is unusable.
    static uint64_t strideFor(uint32_t width, int bitCount);
    // Bytes the pixel matrix needs, computed in 64 bits so no claim can wrap.
    static uint64_t matrixBytes(uint32_t width, uint32_t height, int bitCount);

    // Allocates a zeroed matrix. False (and the bitmap left as it was) when the bit count is
    // invalid, one row or the matrix exceeds kMaxBitmapBytes or memory is short. Width or height 0 gives
    // an empty bitmap and succeeds.
    bool tryCreate(int width, int height, int bitCount);
    // Like tryCreate, but throws PixError("Out of memory") where tryCreate fails.
    void create(int width, int height, int bitCount);
    void clear();

    bool isEmpty() const { return width_ == 0 || height_ == 0; }
    int width() const { return width_; }
    int height() const { return height_; }
    int bitCount() const { return bitCount_; }
    int stride() const { return stride_; }
    uint64_t byteCount() const { return uint64_t(stride_) * uint64_t(height_); }

    uint8_t* scanLine(int y) { return pixels_.get() + size_t(y) * size_t(stride_); }
    const uint8_t* scanLine(int y) const { return pixels_.get() + size_t(y) * size_t(stride_); }
    uint8_t* bits() { return pixels_.get(); }
    const uint8_t* bits() const { return pixels_.get(); }

    // Palette of 1-, 4- and 8-bit bitmaps, as opaque QRgb values.
    const std::vector<QRgb>& palette() const { return palette_; }
    void setPalette(std::vector<QRgb> colours) { palette_ = std::move(colours); }

    // Colour of one pixel, whatever the depth (slow; for tests and odd paths).
    QRgb pixelColor(int x, int y) const;

    // A 24-bit copy (palette looked up, the X byte of 32-bit pixels dropped).
    Bitmap toRgb24() const;
    // For display only: the pixels as a QImage (deep copy).
    QImage toQImage() const;
    // A 24-bit bitmap of a QImage's colours (alpha dropped, composed over nothing).
    static Bitmap fromQImage(const QImage& image);

    bool operator==(const Bitmap& other) const;

private:
    int width_ = 0;
    int height_ = 0;
    int bitCount_ = 24;
    int stride_ = 0;
    // malloc'd: a zeroed matrix comes from calloc, which maps large blocks lazily, so a file that
    // claims a huge image but fills a little of it costs only what it fills.
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t[], Free> pixels_;
    std::vector<QRgb> palette_;
};

// The source index target index i takes when targetSize pixels sample sourceSize by pixel
// centres: floor((2i + 1) * sourceSize / (2 * targetSize)). targetSize must be positive.
inline int PixelCentreSource(int i, int sourceSize, int targetSize) {
    return int(((2 * uint64_t(i) + 1) * uint64_t(sourceSize)) / (2 * uint64_t(targetSize)));
}

// A colour seen through its alpha over what lies under it, to the nearest level: how every
// transparent pixel is shown (an icon over its picture; PNG, WebP, HEIF and TIFF alpha over
// white, since blank is white).
inline uint8_t BlendOver(unsigned colour, unsigned alpha, unsigned under) {
    return uint8_t((colour * alpha + under * (255 - alpha) + 127) / 255);
}
// Pixels of B, G, R, A (alpha not premultiplied) over white, as B, G, R.
void ComposeBgraOverWhite(const uint8_t* bgra, uint8_t* bgr, size_t pixels);

// Every drawing writes whole 24- or 32-bit pixels; throws PixError for a target of another
// depth instead of overrunning its rows.
void RequireDrawableTarget(const Bitmap& target);

// Nearest-neighbour stretch by pixel centres: target x takes source
// floor((2x + 1) * srcW / (2 * dstW)), likewise for y. The result is 24-bit; white when the
// source is empty.
Bitmap StretchBitmap(const Bitmap& source, int targetWidth, int targetHeight);
// The same, drawn into a rectangle of an existing 24- or 32-bit bitmap (clipped to it); another
// target depth throws.
void StretchBitmapInto(const Bitmap& source, Bitmap& target, int left, int top, int width,
                       int height);
