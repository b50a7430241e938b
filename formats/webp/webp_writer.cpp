#include "formats/webp/webp_writer.h"

#include "formats/errors.h"

#include <webp/encode.h>
#include <QtGlobal>
#include <memory>

QByteArray EncodeWebp(const Bitmap& bitmap, int quality) {
    const Bitmap rgb = bitmap.bitCount() == 24 ? Bitmap() : bitmap.toRgb24();
    const Bitmap& source = bitmap.bitCount() == 24 ? bitmap : rgb;
    if (source.isEmpty()) throw PixError(QStringLiteral("Cannot write an empty picture as WebP"));
    if (source.width() > WEBP_MAX_DIMENSION || source.height() > WEBP_MAX_DIMENSION)
        throw PixError(QStringLiteral("A picture of %1 x %2 pixels is too large for WebP: at most "
                                      "%3 pixels a side")
                           .arg(source.width())
                           .arg(source.height())
                           .arg(WEBP_MAX_DIMENSION));
    uint8_t* encoded = nullptr;
    const size_t size = WebPEncodeBGR(source.bits(), source.width(), source.height(),
                                      source.stride(), float(qBound(1, quality, 100)), &encoded);
    const std::unique_ptr<uint8_t, void (*)(void*)> release(encoded, WebPFree);
    if (size == 0 || !encoded) throw PixError(QStringLiteral("Cannot write the picture as WebP"));
    return QByteArray(reinterpret_cast<const char*>(encoded), qsizetype(size));
}
