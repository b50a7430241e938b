#include "formats/png/png_writer.h"

#include "formats/errors.h"

#include <png.h>

QByteArray EncodePng(const Bitmap& bitmap) {
    const Bitmap rgb = bitmap.bitCount() == 24 ? Bitmap() : bitmap.toRgb24();
    const Bitmap& source = bitmap.bitCount() == 24 ? bitmap : rgb;
    if (source.isEmpty()) throw PixError(QStringLiteral("Cannot write an empty picture as PNG"));
    // libpng's simplified interface keeps its error handling (and its longjmp) to itself.
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(source.width());
    image.height = png_uint_32(source.height());
    image.format = PNG_FORMAT_BGR;  // the bitmap's byte order
    // The largest file the picture can make, so one pass writes it; only what is written is
    // touched.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
    QByteArray out(qsizetype(size), Qt::Uninitialized);
    if (!png_image_write_to_memory(&image, out.data(), &size, 0, source.bits(),
                                   png_int_32(source.stride()), nullptr)) {
        const QString reason = QString::fromUtf8(image.message);
        png_image_free(&image);
        throw PixError(QStringLiteral("Cannot write the picture as PNG: %1").arg(reason));
    }
    out.truncate(qsizetype(size));
    return out;
}
