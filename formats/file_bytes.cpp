#include "file_bytes.h"

#include "errors.h"

#include <QFile>
#include <QFileInfo>

QByteArray ReadFileBytes(const QString& path) {
    const auto cannotOpen = [&path] { return PixError(QStringLiteral("Cannot open file %1").arg(path)); };
    if (QFileInfo(path).isDir()) throw cannotOpen();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw cannotOpen();
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) throw cannotOpen();
    return bytes;
}
