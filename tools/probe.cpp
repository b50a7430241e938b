// pixolet-probe: runs the program's codecs on files, for developers and the tests.
//   decode FILE OUT.ppm            load FILE as the program does, write its pixels as PPM
//   encode jpeg Q|bmp|tiff IN OUT  load IN (a .ppm is read raw) and write it with our writers
//   encode emf IN OUT              the same through the metafile writer (a 1920 x 1080 pixel,
//                                  508 x 286 mm screen as the reference device)
// Messages the program would show go to stderr, one per line. Exit 0 on success, 1 when the
// load or write failed (the error's text on stderr), 2 on bad usage.

#include "formats/bitmap.h"
#include "formats/bmp.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/host.h"
#include "formats/jpeg.h"
#include "formats/jpeg_writer.h"
#include "formats/metafile.h"
#include "formats/picture.h"
#include "formats/tiff_writer.h"

#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <cctype>
#include <cstring>


namespace {

class StderrHost final : public FormatHost {
public:
    void processMessages() override {}
    void showMessage(const QString& text) override {
        std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    }
    void beginHourglass() override {}
    void endHourglass() override {}
    void gifProgress(double) override {}
};

int usage() {
    std::fprintf(stderr,
                 "usage: pixolet-probe decode FILE OUT.ppm\n"
                 "       pixolet-probe encode jpeg Q|bmp|tiff IN OUT\n"
                 "       pixolet-probe encode emf IN OUT\n");
    return 2;
}

void writePpm(const Bitmap& source, const QString& path) {
    const Bitmap rgb = source.toRgb24();
    QByteArray out = QByteArray("P6\n") + QByteArray::number(rgb.width()) + ' ' +
                     QByteArray::number(rgb.height()) + "\n255\n";
    for (int y = 0; y < rgb.height(); ++y) {
        const uint8_t* row = rgb.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x) {
            out.append(char(row[3 * x + 2]));
            out.append(char(row[3 * x + 1]));
            out.append(char(row[3 * x]));
        }
    }
    WriteWholeFile(path, out, true);
}

// A binary PPM with maxval 255, the form cjpeg and djpeg exchange.
Bitmap readPpm(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) throw PixError(QStringLiteral("Cannot open file %1").arg(path));
    const QByteArray bytes = file.readAll();
    qsizetype pos = 0;
    auto token = [&]() -> QByteArray {
        while (pos < bytes.size()) {
            if (bytes[pos] == '#') {
                while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
            } else if (std::isspace(uchar(bytes[pos]))) {
                ++pos;
            } else {
                break;
            }
        }
        const qsizetype start = pos;
        while (pos < bytes.size() && !std::isspace(uchar(bytes[pos]))) ++pos;
        return bytes.mid(start, pos - start);
    };
    const QByteArray magic = token();
    const int width = token().toInt(), height = token().toInt(), maxval = token().toInt();
    ++pos;
    if (magic != "P6" || width <= 0 || height <= 0 || maxval != 255 ||
        bytes.size() - pos < qsizetype(width) * height * 3)
        throw PixError(QStringLiteral("Not a binary PPM with maxval 255: %1").arg(path));
    Bitmap out;
    out.create(width, height, 24);
    const uchar* src = reinterpret_cast<const uchar*>(bytes.constData() + pos);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = out.scanLine(y);
        for (int x = 0; x < width; ++x, src += 3) {
            row[3 * x] = src[2];
            row[3 * x + 1] = src[1];
            row[3 * x + 2] = src[0];
        }
    }
    return out;
}

Picture loadInput(const QString& path) {
    Picture picture;
    if (path.endsWith(QLatin1String(".ppm"), Qt::CaseInsensitive)) {
        picture.assign(readPpm(path));
    } else {
        LoadPictureFile(path, picture);
    }
    return picture;
}

int run(const QStringList& args) {
    if (args.size() == 3 && args[0] == QLatin1String("decode")) {
        Picture picture;
        LoadPictureFile(args[1], picture);
        if (picture.isEmpty()) throw PixError(QStringLiteral("No picture came out"));
        writePpm(picture.graphic()->toBitmap(), args[2]);
        return 0;
    }
    if (args.size() == 5 && args[0] == QLatin1String("encode") && args[1] == QLatin1String("jpeg")) {
        bool ok = false;
        const int quality = args[2].toInt(&ok);
        if (!ok) return usage();
        const Picture picture = loadInput(args[3]);
        WriteJpegFile(args[4], picture, quality,
                      [](const QString& line) { std::printf("%s\n", line.toLocal8Bit().constData()); });
        return 0;
    }
    if (args.size() == 4 && args[0] == QLatin1String("encode") && args[1] == QLatin1String("emf")) {
        const Picture picture = loadInput(args[2]);
        if (picture.isEmpty()) throw PixError(QStringLiteral("No picture came out"));
        WriteMetafile(args[3], picture.graphic()->toBitmap(), MetafileScreenMetrics(),
                      [](const QString& line) { std::printf("%s\n", line.toLocal8Bit().constData()); });
        return 0;
    }
    if (args.size() == 4 && args[0] == QLatin1String("encode") &&
        (args[1] == QLatin1String("bmp") || args[1] == QLatin1String("tiff"))) {
        const Picture picture = loadInput(args[2]);
        if (picture.isEmpty()) throw PixError(QStringLiteral("No picture came out"));
        if (args[1] == QLatin1String("bmp")) {
            SaveBitmapAsBmp(picture.graphic()->toBitmap(), args[3]);
            return 0;
        }
        SaveBitmapAsTiff(picture.graphic()->toBitmap(), args[3]);
        return 0;
    }
    return usage();
}

// Qt's own diagnostics (a missing runtime folder and the like) would mix with the messages.
void quietQt(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQt);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    StderrHost host;
    setFormatHost(&host);
    InitPictureFormats();
    QStringList args = app.arguments();
    args.removeFirst();
    try {
        return run(args);
    } catch (const PixError& e) {
        std::fprintf(stderr, "%s\n", e.text().toLocal8Bit().constData());
    } catch (const SilentAbort&) {
        // The reader has shown its messages already.
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 1;
}
