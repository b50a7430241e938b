#pragma once
// Windows bitmap files: the bitmap graphic kind, BMP reading and the BMP save.

#include "formats/bitmap.h"
#include "formats/graphic.h"

#include <QByteArray>
#include <QString>

// Decodes a BMP file's bytes into a bitmap at the file's own depth where the program's bitmap
// has it (1, 4, 8, 24 or 32 bits; 16-bit files become 24-bit). Throws "Bitmap image is not
// valid" for anything it cannot read, and refuses images over kMaxBitmapBytes first.
Bitmap DecodeBmp(const QByteArray& bytes);
// A BMP file of the bitmap at its own depth (bottom-up rows, uncompressed).
QByteArray EncodeBmp(const Bitmap& bitmap);
// Writes the bitmap as a BMP file, replacing an existing one only once the new one is complete.
void SaveBitmapAsBmp(const Bitmap& bitmap, const QString& path);

class BitmapGraphic : public Graphic {
public:
    BitmapGraphic() = default;
    explicit BitmapGraphic(Bitmap bitmap) : bitmap_(std::move(bitmap)) {}

    GraphicKind kind() const override { return GraphicKind::Bitmap; }
    std::unique_ptr<Graphic> clone() const override;
    int width() const override { return bitmap_.width(); }
    int height() const override { return bitmap_.height(); }
    void loadFromFile(const QString& path) override;
    void saveToFile(const QString& path) const override;
    void stretchDraw(Bitmap& target, const QRect& rect) const override;
    Bitmap toBitmap() const override { return bitmap_; }

    Bitmap& bitmap() { return bitmap_; }
    const Bitmap& bitmap() const { return bitmap_; }

private:
    Bitmap bitmap_;
};
