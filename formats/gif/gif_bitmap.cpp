#include "formats/gif/gif_bitmap.h"

#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/gif/gif.h"
#include "formats/picture_formats.h"


void TGifBitmap::loadFromFile(const QString& path) {
    const QByteArray bytes = ReadFileBytes(path);
    ByteReader stream(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    Bitmap loaded;
    {
        TGifFile gif;
        ReadGifStream(stream, gif);
        loaded = FirstImageBitmap(gif);  // image 1, through the 8-bit BMP stream
    }
    bitmap_ = std::move(loaded);
}

void TGifBitmap::saveToFile(const QString& path) const {
    WriteWholeFile(path, [this](QIODevice& out) { WriteBmp8Stream(bitmap_, out); }, true);
}

void TGifBitmap::stretchDraw(Bitmap& target, const QRect& rect) const {
    StretchBitmapInto(bitmap_, target, rect.x(), rect.y(), rect.width(), rect.height());
}

void InitGifModule() {
    SetGraphicFactory(GraphicKind::GifBitmap, [] { return std::make_unique<TGifBitmap>(); });
    RegisterPictureFormat(QStringLiteral("gif"), QStringLiteral("GIF-Format"),
                          GraphicKind::GifBitmap);
}

void ShutdownGifModule() {
    UnregisterPictureFormats(GraphicKind::GifBitmap);
}
