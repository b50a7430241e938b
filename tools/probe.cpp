// pixolet-probe: runs the program's codecs on files, for developers and the tests.
//   decode FILE [OUT.ppm]          load FILE as the program does and decode every pixel; with
//                                  OUT, write them as a binary PPM
//   encode jpeg Q|bmp|tiff IN OUT  load IN (a .ppm is read raw) and write it with our writers
//   encode emf IN OUT              the same through the metafile writer (a 1920 x 1080 pixel,
//                                  508 x 286 mm screen as the reference device)
// The folder save from a command line is pixolet-batch, the program's own tool.
// Messages the program would show go to stderr, one per line. Exit 0 on success, 1 when the
// load or write failed (the error's text on stderr), 2 on bad usage.

#include "convert/output_types.h"
#include "formats/bitmap.h"
#include "formats/bmp/bmp.h"
#include "formats/decoded_image.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/host.h"
#include "formats/jpeg/jpeg.h"
#include "formats/jpeg/jpeg_writer.h"
#include "formats/metafile/metafile.h"
#include "formats/picture.h"
#include "formats/tiff/tiff_writer.h"

#include <QGuiApplication>
#include <QIODevice>
#include <algorithm>
#include <array>
#include <cstdio>
#include <cctype>
#include <cstring>
#include <vector>


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
                 "usage: pixolet-probe decode FILE [OUT.ppm]\n"
                 "       pixolet-probe encode jpeg Q|bmp|tiff IN OUT\n"
                 "       pixolet-probe encode emf IN OUT\n");
    return 2;
}

// One row of any depth as R, G, B bytes.
void rgbRow(const Bitmap& bitmap, int y, const std::array<QRgb, 256>& colours, uint8_t* out) {
    const uint8_t* row = bitmap.scanLine(y);
    const int width = bitmap.width();
    switch (bitmap.bitCount()) {
        case 24:
        case 32: {
            const int step = bitmap.bitCount() / 8;
            for (int x = 0; x < width; ++x, row += step, out += 3) {
                out[0] = row[2];
                out[1] = row[1];
                out[2] = row[0];
            }
            return;
        }
        case 8:
            for (int x = 0; x < width; ++x, out += 3) {
                const QRgb c = colours[row[x]];
                out[0] = uint8_t(qRed(c));
                out[1] = uint8_t(qGreen(c));
                out[2] = uint8_t(qBlue(c));
            }
            return;
        default:
            for (int x = 0; x < width; ++x, out += 3) {
                const QRgb c = bitmap.pixelColor(x, y);
                out[0] = uint8_t(qRed(c));
                out[1] = uint8_t(qGreen(c));
                out[2] = uint8_t(qBlue(c));
            }
    }
}

// A binary PPM straight from the bitmap's rows, a block of rows per write: no full-size copy.
void writePpm(const Bitmap& bitmap, const QString& path) {
    std::array<QRgb, 256> colours{};
    const std::vector<QRgb>& palette = bitmap.palette();
    std::copy_n(palette.begin(), std::min(palette.size(), colours.size()), colours.begin());
    WriteWholeFile(
        path,
        [&](QIODevice& out) {
            const QByteArray header = QByteArray("P6\n") + QByteArray::number(bitmap.width()) + ' ' +
                                      QByteArray::number(bitmap.height()) + "\n255\n";
            if (out.write(header) != header.size()) throw PixError(CannotCreateFileText(path));
            const size_t rowBytes = size_t(bitmap.width()) * 3;
            const int rowsPerBlock = int(std::max<size_t>(1, (size_t(1) << 20) / std::max<size_t>(rowBytes, 1)));
            std::vector<uint8_t> block(rowBytes * size_t(rowsPerBlock));
            for (int y = 0; y < bitmap.height(); y += rowsPerBlock) {
                const int rows = std::min(rowsPerBlock, bitmap.height() - y);
                for (int i = 0; i < rows; ++i) rgbRow(bitmap, y + i, colours, block.data() + size_t(i) * rowBytes);
                const qint64 bytes = qint64(rowBytes) * rows;
                if (out.write(reinterpret_cast<const char*>(block.data()), bytes) != bytes)
                    throw PixError(CannotCreateFileText(path));
            }
        },
        true);
}

// The picture's decoded pixels without a copy where the graphic keeps them (a GIF or BMP
// bitmap, a JPEG's decoded pixels, a PNG, WebP or HEIF picture); other kinds are rendered once
// into keep.
const Bitmap& decodedPixels(const Picture& picture, Bitmap& keep) {
    const Graphic* graphic = picture.graphic();
    if (graphic->kind() == GraphicKind::Bitmap)
        return static_cast<const BitmapGraphic*>(graphic)->bitmap();
    if (graphic->kind() == GraphicKind::Jpeg)
        return static_cast<const JpegImage*>(graphic)->decodedBitmap();
    if (graphic->kind() == GraphicKind::Png || graphic->kind() == GraphicKind::WebP ||
        graphic->kind() == GraphicKind::Heif)
        return static_cast<const DecodedImage*>(graphic)->bitmap();
    keep = graphic->toBitmap();
    return keep;
}

// A binary PPM with maxval 255, the form cjpeg and djpeg exchange.
Bitmap readPpm(const QString& path) {
    const QByteArray bytes = ReadFileBytes(path);
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

// A file the TIFF reader refused; its messages are on stderr already.
struct RejectedInput {};

Picture loadInput(const QString& path) {
    Picture picture;
    if (path.endsWith(QLatin1String(".ppm"), Qt::CaseInsensitive)) {
        picture.assign(readPpm(path));
    } else {
        // A rejected TIFF has already shown why.
        if (LoadPictureFile(path, picture) == LoadOutcome::Rejected) throw RejectedInput();
    }
    return picture;
}

void printResult(WriteOutcome outcome, const QString& path) {
    const QString line = ResultLine(outcome, path);
    if (!line.isEmpty()) std::printf("%s\n", line.toLocal8Bit().constData());
}

int run(const QStringList& args) {
    if ((args.size() == 2 || args.size() == 3) && args[0] == QLatin1String("decode")) {
        Picture picture;
        if (LoadPictureFile(args[1], picture) == LoadOutcome::Rejected) return 1;
        if (picture.isEmpty()) throw PixError(QStringLiteral("No picture came out"));
        Bitmap rendered;
        const Bitmap& pixels = decodedPixels(picture, rendered);
        if (args.size() == 3) writePpm(pixels, args[2]);
        return 0;
    }
    if (args.size() == 5 && args[0] == QLatin1String("encode") && args[1] == QLatin1String("jpeg")) {
        bool ok = false;
        const int quality = args[2].toInt(&ok);
        if (!ok) return usage();
        const Picture picture = loadInput(args[3]);
        printResult(WriteJpegFile(args[4], picture, quality), args[4]);
        return 0;
    }
    if (args.size() == 4 && args[0] == QLatin1String("encode") && args[1] == QLatin1String("emf")) {
        const Picture picture = loadInput(args[2]);
        if (picture.isEmpty()) throw PixError(QStringLiteral("No picture came out"));
        printResult(WriteMetafile(args[3], picture.graphic()->toBitmap(), MetafileScreenMetrics()),
                    args[3]);
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
    } catch (const RejectedInput&) {
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    return 1;
}
