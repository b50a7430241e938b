#include "photo.h"

#include "formats/bitmap.h"
#include "formats/jpeg/jpeg.h"

#include <QImage>
#include <QString>
#include <algorithm>

QByteArray PhotoLikeJpeg(int width, int height, int quality) {
    const QString corpus = qEnvironmentVariable("PIXOLET_CORPUS", PIXOLET_CORPUS_DIR);
    QImage source(corpus + "/jpeg/pillow/flower.jpg");
    if (source.isNull()) {
        source = QImage(64, 48, QImage::Format_RGB32);
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) source.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) % 256));
    }
    const QImage big = source.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                           .convertToFormat(QImage::Format_RGB32);
    Bitmap bitmap;
    bitmap.create(width, height, 24);
    uint32_t seed = 1;
    for (int y = 0; y < height; ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(big.constScanLine(y));
        uint8_t* dst = bitmap.scanLine(y);
        for (int x = 0; x < width; ++x, dst += 3) {
            seed = seed * 1664525 + 1013904223;
            const int n = int(seed >> 28) - 8;
            dst[0] = uint8_t(std::clamp(qBlue(src[x]) + n, 0, 255));
            dst[1] = uint8_t(std::clamp(qGreen(src[x]) + n, 0, 255));
            dst[2] = uint8_t(std::clamp(qRed(src[x]) + n, 0, 255));
        }
    }
    return EncodeJpeg(bitmap, quality);
}
