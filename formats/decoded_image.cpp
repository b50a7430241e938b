#include "formats/decoded_image.h"

#include "formats/file_io.h"
#include "formats/picture_formats.h"

std::unique_ptr<Graphic> DecodedImage::clone() const {
    auto copy = std::make_unique<DecodedImage>(kind_, decoder_);
    copy->bytes_ = bytes_;
    copy->bitmap_ = bitmap_;
    return copy;
}

void DecodedImage::loadFromFile(const QString& path) {
    QByteArray bytes = ReadFileBytes(path);
    bitmap_ = decoder_(bytes, path);
    bytes_ = std::move(bytes);
}

void DecodedImage::saveToFile(const QString& path) const {
    WriteWholeFile(path, bytes_, true);
}

void DecodedImage::stretchDraw(Bitmap& target, const QRect& rect) const {
    StretchBitmapInto(bitmap_, target, rect.x(), rect.y(), rect.width(), rect.height());
}

void RegisterDecodedImageKind(GraphicKind kind, DecodedImage::Decoder decoder,
                              std::initializer_list<const char*> extensions,
                              const QString& description) {
    SetGraphicFactory(kind,
                      [kind, decoder] { return std::make_unique<DecodedImage>(kind, decoder); });
    for (const char* extension : extensions)
        RegisterPictureFormat(QString::fromLatin1(extension), description, kind);
}
