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

#include <QGuiApplication>
#include <memory>

void InitFuzzQt() {
    static std::unique_ptr<QGuiApplication> app;
    if (app) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "pixolet-fuzz";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QGuiApplication>(argc, argv);
}
