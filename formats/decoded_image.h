#pragma once
// The graphic kind of the pictures a library decodes whole when the file is read: PNG, WebP and
// HEIF (HEIC and AVIF). It holds the file's bytes, which it saves as they came, and the picture
// as a 24-bit bitmap, already upright and composed over white, which it draws and stretches by
// nearest-neighbour pixel centres.

#include "formats/bitmap.h"
#include "formats/graphic.h"

#include <QByteArray>
#include <QString>

class DecodedImage final : public Graphic {
public:
    // Turns a file's bytes into the 24-bit picture; throws PixError with a text naming the path.
    using Decoder = Bitmap (*)(const QByteArray& bytes, const QString& path);

    DecodedImage(GraphicKind kind, Decoder decoder) : kind_(kind), decoder_(decoder) {}

    GraphicKind kind() const override { return kind_; }
    std::unique_ptr<Graphic> clone() const override;
    int width() const override { return bitmap_.width(); }
    int height() const override { return bitmap_.height(); }
    // Throws "Cannot open file %s", the decoder's own errors, or the size limit's.
    void loadFromFile(const QString& path) override;
    // The file's bytes, as read.
    void saveToFile(const QString& path) const override;
    void stretchDraw(Bitmap& target, const QRect& rect) const override;
    Bitmap toBitmap() const override { return bitmap_; }

    const Bitmap& bitmap() const { return bitmap_; }

private:
    GraphicKind kind_;
    Decoder decoder_;
    QByteArray bytes_;
    Bitmap bitmap_;
};

// Installs the kind's factory and registers its extensions (lower case, without the dot) with
// one description; the modules of the library-decoded kinds start this way.
void RegisterDecodedImageKind(GraphicKind kind, DecodedImage::Decoder decoder,
                              std::initializer_list<const char*> extensions,
                              const QString& description);
