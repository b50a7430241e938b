#pragma once
// JPEG images through libjpeg: the JPEG image graphic kind, decoding and encoding.

#include "formats/bitmap.h"
#include "formats/graphic.h"

#include <QByteArray>
#include <QString>

// What a JPEG header says.
struct JpegHeader {
    int width = 0;
    int height = 0;
    int components = 0;
    bool grayscale = false;
    bool progressive = false;
};

// Reads the header only; throws "JPEG error #%d" (libjpeg's message number).
JpegHeader ReadJpegHeader(const QByteArray& data);
// The Exif orientation (1..8) of the APP1 segments before the frame; 1 (as stored) when there
// is none or it cannot be read. Never reads outside data, whatever the segments claim.
int ReadJpegOrientation(const QByteArray& data);
// Whether an Exif orientation swaps the width and the height (5..8: turned a quarter).
inline bool OrientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}
// The stored pixels turned and mirrored upright for an Exif orientation; 1 or an unknown value
// returns them as they are. Any depth in; 24-bit out unless nothing changes.
Bitmap OrientBitmap(const Bitmap& stored, int orientation);
// Decodes at full size with libjpeg's defaults (accurate integer IDCT, fancy upsampling, block
// smoothing) into a 24-bit bitmap. Greyscale and CMYK files come out as RGB. Warnings (a
// truncated file among them) are ignored; errors throw "JPEG error #%d".
Bitmap DecodeJpeg(const QByteArray& data);
// Decodes every row but keeps only those a nearest-neighbour stretch into rect needs, so no
// full-size bitmap is made. Same pixels as DecodeJpeg followed by StretchBitmapInto; with an
// Exif orientation (2..8), as if OrientBitmap had turned the decoded pixels in between.
void DecodeJpegStretched(const QByteArray& data, Bitmap& target, const QRect& rect,
                         int orientation = 1);
// Baseline colour JPEG of a bitmap (any depth; taken as 24-bit RGB) with libjpeg's defaults and
// the quality, 1..100.
QByteArray EncodeJpeg(const Bitmap& bitmap, int quality);

class JpegImage : public Graphic {
public:
    JpegImage() = default;
    JpegImage(const JpegImage& other);
    JpegImage& operator=(const JpegImage&) = delete;

    GraphicKind kind() const override { return GraphicKind::Jpeg; }
    std::unique_ptr<Graphic> clone() const override;
    int width() const override { return width_; }
    int height() const override { return height_; }
    // Keeps the file's bytes and reads only the header; the pixels wait for their first use.
    void loadFromFile(const QString& path) override;
    void loadFromData(QByteArray data);
    // Writes the compressed data (compressing the assigned bitmap first if there is none).
    void saveToFile(const QString& path) const override;
    void stretchDraw(Bitmap& target, const QRect& rect) const override;
    Bitmap toBitmap() const override;

    // Assign a bitmap: kept as 24-bit pixels until compressed.
    void assignBitmap(const Bitmap& bitmap);
    void setQuality(int quality) { quality_ = quality; }
    int quality() const { return quality_; }
    // Encodes the pixels at the quality and keeps the result as the image's data.
    void compress();
    const QByteArray& data() const { return data_; }
    bool isDecoded() const { return decoded_; }
    // The decoded pixels, decoded on first use and kept.
    const Bitmap& decodedBitmap() const { return pixels(); }
    // How often the data was decoded in full or streamed.
    int decodeCount() const { return decodes_; }
    bool grayscale() const { return header_.grayscale; }
    bool progressive() const { return header_.progressive; }
    // The file's Exif orientation; width() and height() and every pixel drawn are upright.
    int orientation() const { return orientation_; }

private:
    const Bitmap& pixels() const;

    QByteArray data_;
    JpegHeader header_;
    int width_ = 0;
    int height_ = 0;
    int quality_ = 75;
    int orientation_ = 1;
    mutable Bitmap bitmap_;
    mutable bool decoded_ = false;
    mutable int draws_ = 0;
    mutable int decodes_ = 0;
};

// The JPEG module's start-up: the JPEG image factory and the "jpeg" and "jpg" entries.
void InitJpegModule();
void ShutdownJpegModule();
