// The folder save's engine without a window: which files a run takes, their sizes and names,
// never replacing, a refused TIFF skipped, a damaged file stopping the run, and pixels and
// bytes checked against ImageMagick and cjpeg.

#include "convert/batch.h"
#include "formats/bmp/bmp.h"
#include "formats/file_io.h"
#include "formats/jpeg/jpeg.h"
#include "formats/picture.h"
#include "support/corpus.h"
#include "support/outside_tool.h"
#include "support/pattern_bitmap.h"
#include "support/recording_host.h"
#include "support/result_lines.h"

#include <gtest/gtest.h>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class BatchTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool registered = (InitPictureFormats(), true);
        (void)registered;
        ASSERT_TRUE(src.isValid() && out.isValid());
        job.sourceFolder = src.path() + QLatin1Char('/');
        job.outputFolder = out.path() + QLatin1Char('/');
    }

    void bmp(const QString& name, int w, int h) {
        SaveBitmapAsBmp(PatternBitmap(w, h), src.filePath(name));
    }
    void copyCorpus(const QString& relative, const QString& name) {
        ASSERT_TRUE(QFile::copy(corpusDir() + QLatin1Char('/') + relative, src.filePath(name)));
    }
    QStringList run(const QString& mask = QStringLiteral("*.*")) {
        QStringList lines;
        processed = RunBatch(job, mask, working,
                             [&](WriteOutcome o, const QString& p) { lines << ResultLine(o, p); });
        return lines;
    }
    QSize outputSize(const QString& name) {
        Picture p;
        EXPECT_EQ(LoadPictureFile(out.filePath(name), p), LoadOutcome::Loaded)
            << name.toStdString();
        return {p.width(), p.height()};
    }
    QString outPath(const QString& name) { return out.filePath(name); }

    RecordingHost host;
    QTemporaryDir src, out;
    BatchJob job;
    Picture working;
    int processed = 0;
};

QByteArray hashFolder(const QString& folder) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const QString& name : QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
        hash.addData(name.toUtf8());
        hash.addData(ReadFileBytes(folder + QLatin1Char('/') + name));
    }
    return hash.result();
}

TEST_F(BatchTest, PercentAppliesToEachFilesOwnSizeAndExactSizeToAll) {
    bmp("square.bmp", 100, 100);
    bmp("wide.bmp", 640, 480);
    bmp("odd.bmp", 5, 7);
    job.type = OutputType::Bitmap;
    job.sizing.percent = 25;
    EXPECT_EQ(run().size(), 3);
    EXPECT_EQ(outputSize("square.BMP"), QSize(25, 25));
    EXPECT_EQ(outputSize("wide.BMP"), QSize(160, 120));
    // 1.25 and 1.75 round to even: 1 and 2.
    EXPECT_EQ(outputSize("odd.BMP"), QSize(1, 2));

    QDir(out.path()).removeRecursively();
    QDir().mkpath(out.path());
    job.sizing = {100, true, QSize(120, 90)};
    job.type = OutputType::Tif;
    run();
    for (const char* name : {"square.TIF", "wide.TIF", "odd.TIF"})
        EXPECT_EQ(outputSize(name), QSize(120, 90)) << name;
}

TEST_F(BatchTest, OnlyPlainImageFilesOfTheMaskInListingOrder) {
    bmp("b.bmp", 8, 8);
    bmp("A.BMP", 8, 8);
    bmp(".hidden.bmp", 8, 8);
    QDir(src.path()).mkdir("sub.bmp");
    QFile text(src.filePath("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("not an image");
    text.close();
    QString first;
    EXPECT_EQ(BatchFileNames(job.sourceFolder, "*.*", &first), (QStringList{"A.BMP", "b.bmp"}));
    EXPECT_EQ(first, "A.BMP");
    EXPECT_TRUE(BatchFileNames(job.sourceFolder, "*.GIF").isEmpty());
    EXPECT_EQ(BatchFileNames(job.sourceFolder, "*.bmp").size(), 2);

    job.type = OutputType::Jpeg;
    const QStringList lines = run();
    EXPECT_EQ(processed, 2);
    EXPECT_EQ(lines, (QStringList{CreatedLine(outPath("A.JPG")), CreatedLine(outPath("b.JPG"))}));
}

TEST_F(BatchTest, NothingIsReplacedAndSourcesStayUnchanged) {
    copyCorpus("gif/gdk-pixbuf/test-animation.gif", "a.gif");
    bmp("a.bmp", 30, 20);
    bmp("c.bmp", 30, 20);
    const QByteArray before = hashFolder(src.path());
    for (OutputType type :
         {OutputType::Jpeg, OutputType::Bitmap, OutputType::Tif, OutputType::Metafile}) {
        SCOPED_TRACE(int(type));
        job.type = type;
        const QString ext = OutputFormatOf(type).extension;
        // a.bmp and a.gif share one output name: the one listed second is left to the first.
        EXPECT_EQ(run(), (QStringList{CreatedLine(outPath("a" + ext)),
                                      AlreadyExistsLine(outPath("a" + ext)),
                                      CreatedLine(outPath("c" + ext))}));
        const QByteArray written = hashFolder(out.path());
        for (const QString& line : run())
            EXPECT_TRUE(line.startsWith(AlreadyExistsLine(QString()))) << line.toStdString();
        EXPECT_EQ(hashFolder(out.path()), written);
    }
    EXPECT_EQ(hashFolder(src.path()), before);
}

TEST_F(BatchTest, ARefusedTiffWritesNothingAndTheRunGoesOn) {
    SKIP_WITHOUT_CORPUS();
    bmp("a.bmp", 40, 40);
    copyCorpus("tiff/gdk-pixbuf/bug780269.tif", "b.tif");
    bmp("c.bmp", 40, 40);
    job.type = OutputType::Bitmap;
    std::vector<ConvertedFile> files;
    processed = RunBatch(job, "*.*", working, {},
                         [&](const QString&, const ConvertedFile& f, bool) { files.push_back(f); });
    EXPECT_EQ(processed, 3);
    ASSERT_EQ(files.size(), 3u);
    EXPECT_TRUE(files[1].skipped);
    EXPECT_FALSE(QFile::exists(outPath("b.BMP")));
    EXPECT_FALSE(host.messages.isEmpty());
    EXPECT_EQ(files[2].outputPath, outPath("c.BMP"));
    EXPECT_NE(files[2].outcome, WriteOutcome::AlreadyExisted);
}

TEST_F(BatchTest, ADamagedFileStopsTheRunKeepingWhatWasWritten) {
    bmp("a.bmp", 10, 10);
    QFile bad(src.filePath("b.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("this is not a JPEG file at all");
    bad.close();
    bmp("c.bmp", 10, 10);
    QStringList lines;
    EXPECT_ANY_THROW(RunBatch(
        job, "*.*", working, [&](WriteOutcome o, const QString& p) { lines << ResultLine(o, p); }));
    EXPECT_EQ(lines, QStringList{CreatedLine(outPath("a.JPG"))});
    EXPECT_TRUE(QFile::exists(outPath("a.JPG")));
    EXPECT_FALSE(QFile::exists(outPath("b.JPG")));
    EXPECT_FALSE(QFile::exists(outPath("c.JPG")));
}

TEST_F(BatchTest, AnEmptyNewSizeWritesNothingAndSaysSo) {
    bmp("tiny.bmp", 1, 1);
    job.sizing.percent = 1;
    QStringList lines;
    const ConvertedFile file =
        ConvertOneFile(job, "tiny.bmp", working,
                       [&](WriteOutcome o, const QString& p) { lines << ResultLine(o, p); });
    EXPECT_TRUE(file.skipped);
    EXPECT_TRUE(lines.isEmpty());
    EXPECT_EQ(host.messages.size(), 1);
    EXPECT_FALSE(QFile::exists(outPath("tiny.JPG")));
}

// The pixels before encoding are ImageMagick's -sample of the same libjpeg decode, and the
// JPEG written is cjpeg's encoding of those pixels, byte for byte.
TEST_F(BatchTest, ThumbnailsMatchImageMagickSampleAndCjpeg) {
    SKIP_WITHOUT_CORPUS();
    const QString magick = QStringLiteral("/usr/bin/convert");
    REQUIRE_TOOLS(tool::kImageMagick, tool::kCjpeg);
    const QStringList photos{"jpeg/pillow/flower.jpg", "jpeg/image-rs/progressive-3.jpg",
                             "jpeg/gdk-pixbuf/bug143608-comment.jpg",
                             "jpeg/gdk-pixbuf/reftest-cat.jpg"};
    int n = 0;
    for (const QString& photo : photos) {
        SCOPED_TRACE(photo.toStdString());
        const QString name = QStringLiteral("p%1.jpg").arg(n++);
        copyCorpus(photo, name);
        for (int percent : {20, 37, 150}) {
            SCOPED_TRACE(percent);
            QDir(out.path()).removeRecursively();
            QDir().mkpath(out.path());
            job.sizing.percent = percent;
            job.type = OutputType::Bitmap;
            const ConvertedFile bmpFile = ConvertOneFile(job, name, working, {});
            ASSERT_FALSE(bmpFile.skipped);
            const Bitmap ours = DecodeBmp(ReadFileBytes(bmpFile.outputPath));

            QByteArray ppm;
            // ImageMagick puts its sample point a hair before the pixel centre, which lands on
            // the left pixel where a centre falls exactly on a pixel edge; the offset nudged
            // past 50 % gives the centre itself.
            ASSERT_EQ(runProgram(magick,
                                 {"-define", "jpeg:dct-method=islow", "-define",
                                  "sample:offset=50.0000001", src.filePath(name), "-sample",
                                  QStringLiteral("%1x%2!").arg(ours.width()).arg(ours.height()),
                                  "-depth", "8", "+set", "comment", "ppm:-"},
                                 &ppm),
                      0);
            const QByteArray header =
                QStringLiteral("P6\n%1 %2\n255\n").arg(ours.width()).arg(ours.height()).toLatin1();
            ASSERT_TRUE(ppm.startsWith(header));
            const uint8_t* p = reinterpret_cast<const uint8_t*>(ppm.constData() + header.size());
            int differing = 0;
            for (int y = 0; y < ours.height(); ++y)
                for (int x = 0; x < ours.width(); ++x, p += 3)
                    differing +=
                        (ours.pixelColor(x, y) & 0xFFFFFF) != qRgb(p[0], p[1], p[2]) - 0xFF000000u;
            EXPECT_EQ(differing, 0);

            job.type = OutputType::Jpeg;
            job.quality = 75;
            const ConvertedFile jpgFile = ConvertOneFile(job, name, working, {});
            const QString ppmPath = out.filePath("pixels.ppm");
            QFile f(ppmPath);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(ppm);
            f.close();
            QByteArray reference;
            ASSERT_EQ(runProgram("cjpeg", {"-quality", "75", ppmPath}, &reference), 0);
            EXPECT_TRUE(ReadFileBytes(jpgFile.outputPath) == reference);
        }
    }
}

}  // namespace
