#include "fuzz_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <unistd.h>

QString WriteFuzzInput(const uint8_t* data, size_t size, const QString& extension) {
    static const QString folder = [] {
        const QString shm = QStringLiteral("/dev/shm");
        return QDir(shm).exists() ? shm : QDir::tempPath();
    }();
    const QString path = QStringLiteral("%1/pixolet-fuzz-%2%3").arg(folder).arg(getpid()).arg(extension);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    return path;
}

void FuzzBytesDecoder(const uint8_t* data, size_t size, BytesDecoder decode) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    RunQuietly([&] {
        const Bitmap picture = decode(bytes, QStringLiteral("fuzz"));
        Bitmap target;
        target.create(40, 30, 24);
        StretchBitmapInto(picture, target, 0, 0, 40, 30);
    });
}

#include <QGuiApplication>

void InitFuzzQt() {
    // Never destroyed: libFuzzer ends the process through exit(), after Qt's own statics are
    // gone, and a QGuiApplication torn down then crashes. A static pointer keeps it reachable,
    // so the leak check does not count it.
    static QGuiApplication* app = nullptr;
    if (app) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "pixolet-fuzz";
    static char* argv[] = {name, nullptr};
    app = new QGuiApplication(argc, argv);
}
