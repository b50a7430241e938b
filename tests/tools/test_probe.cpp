// pixolet-probe decode: the PPM it writes holds every pixel of the loaded picture in R, G, B
// order at every depth, and without OUT it decodes and writes nothing.

#include "formats/bmp/bmp.h"
#include "support/corpus.h"
#include "support/pattern_bitmap.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QByteArray expectedPpm(const Bitmap& b) {
    QByteArray out =
        "P6\n" + QByteArray::number(b.width()) + ' ' + QByteArray::number(b.height()) + "\n255\n";
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const QRgb c = b.pixelColor(x, y);
            out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
        }
    return out;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

}  // namespace

TEST(ProbeDecode, PpmHoldsEveryPixelAtEveryDepth) {
    QTemporaryDir dir;
    for (int depth : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE(depth);
        // Odd width: row padding must not reach the PPM.
        const Bitmap b = PatternBitmap(37, 5, depth);
        const QString in = dir.filePath(QString("in%1.bmp").arg(depth));
        QFile f(in);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(EncodeBmp(b));
        f.close();
        const QString out = dir.filePath(QString("out%1.ppm").arg(depth));
        QByteArray stdoutText, stderrText;
        ASSERT_EQ(runProgram(PIXOLET_PROBE, {"decode", in, out}, &stdoutText, &stderrText), 0)
            << stderrText.toStdString();
        EXPECT_TRUE(contents(out) == expectedPpm(b));
    }
}

TEST(ProbeDecode, WithoutOutputDecodesOnlyAndRejectedInputFails) {
    QTemporaryDir dir;
    const QString in = dir.filePath("in.bmp");
    QFile f(in);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(EncodeBmp(PatternBitmap(9, 4, 24)));
    f.close();
    EXPECT_EQ(runProgram(PIXOLET_PROBE, {"decode", in}), 0);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"in.bmp"});

    QFile bad(dir.filePath("bad.tif"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("II*\0not a tiff", 14);
    bad.close();
    QByteArray stdoutText, stderrText;
    EXPECT_EQ(runProgram(PIXOLET_PROBE, {"decode", bad.fileName(), dir.filePath("x.ppm")},
                         &stdoutText, &stderrText),
              1);
    EXPECT_FALSE(stderrText.isEmpty());  // the reader's own message
    EXPECT_FALSE(QFile::exists(dir.filePath("x.ppm")));
}
