#include "formats/errors.h"

#include <QDir>

QString RangeCheckErrorText() { return QStringLiteral("Range check error"); }

QString OutOfMemoryText() { return QStringLiteral("Out of memory"); }

QString CannotOpenFileText(const QString& path) {
    return QStringLiteral("Cannot open file %1").arg(path);
}

QString CannotCreateFileText(const QString& path) {
    return QStringLiteral("Cannot create file %1").arg(QDir::toNativeSeparators(path));
}

QString ImageTooLargeText(uint64_t width, uint64_t height) {
    return QStringLiteral("Image is too large to load (%1 x %2 pixels)").arg(width).arg(height);
}

QString UnreadableImageText(const QString& kind, const QString& path, const QString& reason) {
    return QStringLiteral("Cannot read the %1 image %2: %3").arg(kind, path, reason);
}

QString PictureTooLargeText(uint64_t width, uint64_t height, uint64_t limitBytes) {
    return QStringLiteral("A picture of %1 x %2 pixels is too large: at most %3 MB can be made")
        .arg(width)
        .arg(height)
        .arg(limitBytes >> 20);
}
