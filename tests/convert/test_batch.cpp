// The folder save's engine without a window: which files a run takes, their sizes and names,
// never replacing, skipped files saying why, a damaged file stopping the run, one worker and
// many giving the same files and lines, a stop leaving nothing half-made, and pixels and bytes
// checked against ImageMagick and cjpeg.

#include "convert/batch.h"
#include "formats/bmp/bmp.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/jpeg/jpeg.h"
#include "formats/picture.h"
#include "support/corpus.h"
#include "support/folder_digest.h"
#include "support/outside_tool.h"
#include "support/pattern_bitmap.h"
#include "support/recording_host.h"
#include "support/result_lines.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    // The result lines of a run, skipped files' included; also in `lines` when the run throws.
    QStringList run(const QString& mask = QStringLiteral("*.*")) {
        lines.clear();
        BatchRun batch;
        batch.results = [&](WriteOutcome o, const QString& p) { lines << ResultLine(o, p); };
        batch.skipped = [&](const QString& s, const QString& why) { lines << SkippedLine(s, why); };
        batch.stop = &stop;
        batch.workers = workers;
        batch.afterFile = afterFile;
        summary = RunBatch(job, mask, working, batch);
        processed = summary.processed;
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
    int workers = 0;
    QStringList lines;
    BatchStop stop;
    AfterFile afterFile;
    BatchSummary summary;
};

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
    SKIP_WITHOUT_CORPUS();
    copyCorpus("gif/gdk-pixbuf/test-animation.gif", "a.gif");
    bmp("a.bmp", 30, 20);
    bmp("c.bmp", 30, 20);
    const QByteArray before = FolderDigest(src.path());
    for (OutputType type :
         {OutputType::Jpeg, OutputType::Bitmap, OutputType::Tif, OutputType::Metafile}) {
        SCOPED_TRACE(int(type));
        job.type = type;
        const QString ext = OutputFormatOf(type).extension;
        // a.bmp and a.gif share one output name: the one listed second is left to the first.
        EXPECT_EQ(run(), (QStringList{CreatedLine(outPath("a" + ext)),
                                      AlreadyExistsLine(outPath("a" + ext)),
                                      CreatedLine(outPath("c" + ext))}));
        const QByteArray written = FolderDigest(out.path());
        for (const QString& line : run())
            EXPECT_TRUE(line.startsWith(AlreadyExistsLine(QString()))) << line.toStdString();
        EXPECT_EQ(FolderDigest(out.path()), written);
    }
    EXPECT_EQ(FolderDigest(src.path()), before);
}

// A refused TIFF and a new size without pixels each get a line saying why, the run goes on, and
// the person is told once for the run, not once per file.
TEST_F(BatchTest, EverySkippedFileSaysWhyAndTheRunTellsOnce) {
    SKIP_WITHOUT_CORPUS();
    bmp("a.bmp", 40, 40);
    copyCorpus("tiff/gdk-pixbuf/bug780269.tif", "b.tif");
    copyCorpus("tiff/libtiffpic/depth/flower-minisblack-06.tif", "c.tif");  // 6-bit grey: no reader takes it
    bmp("d.bmp", 1, 1);
    bmp("e.bmp", 40, 40);
    job.type = OutputType::Bitmap;
    job.sizing.percent = 2;  // 40 -> 1, but 1 -> 0
    const QStringList lines = run();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], CreatedLine(outPath("a.BMP")));
    const QStringList skipped{"b.tif", "c.tif", "d.bmp"};
    for (int i = 0; i < 3; ++i) {
        const QString& line = lines[i + 1];
        EXPECT_TRUE(line.startsWith("  Skipped -> " + src.filePath(skipped[i]) + "  (") &&
                    line.endsWith(")") && line.size() > 20 + src.filePath(skipped[i]).size())
            << line.toStdString();
    }
    EXPECT_TRUE(lines[3].contains("has no pixels")) << lines[3].toStdString();
    EXPECT_EQ(lines[4], CreatedLine(outPath("e.BMP")));
    EXPECT_EQ(summary.skipped, 3);
    EXPECT_EQ(summary.converted, 2);
    EXPECT_EQ(
        host.messages,
        QStringList{"3 files were not converted. The results list names each one and says why."});
    EXPECT_EQ(FolderEntries(out.path()), (QStringList{"a.BMP", "e.BMP"}));

    // A single skipped file names itself and the reader's reason in the message.
    host.messages.clear();
    QDir(out.path()).removeRecursively();
    QDir().mkpath(out.path());
    run("b.tif");
    ASSERT_EQ(host.messages.size(), 1);
    EXPECT_TRUE(host.messages[0].startsWith(src.filePath("b.tif") + " was not converted: "))
        << host.messages[0].toStdString();
}

TEST_F(BatchTest, ADamagedFileStopsTheRunKeepingWhatWasWritten) {
    bmp("a.bmp", 10, 10);
    QFile bad(src.filePath("b.jpg"));
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("this is not a JPEG file at all");
    bad.close();
    bmp("c.bmp", 10, 10);
    QStringList lines;
    BatchRun batch;
    batch.results = [&](WriteOutcome o, const QString& p) { lines << ResultLine(o, p); };
    EXPECT_ANY_THROW(RunBatch(job, "*.*", working, batch));
    EXPECT_EQ(lines, QStringList{CreatedLine(outPath("a.JPG"))});
    EXPECT_TRUE(QFile::exists(outPath("a.JPG")));
    EXPECT_FALSE(QFile::exists(outPath("b.JPG")));
    EXPECT_FALSE(QFile::exists(outPath("c.JPG")));
}

// The run on many workers writes the same bytes and the same lines, in the same order, as on
// one, whatever order the workers finish in; with a damaged file in the middle, both stop at it
// with the files before it written, none after it, and no temporary left behind. The TIFFs read
// side by side share no colour tables.
TEST_F(BatchTest, ManyWorkersWriteWhatOneWritesAndStopAtTheSameFile) {
    SKIP_WITHOUT_CORPUS();
    const QStringList corpus{"jpeg/pillow/flower.jpg",
                             "jpeg/image-rs/progressive-3.jpg",
                             "jpeg/pillow/pil_sample_cmyk.jpg",
                             "jpeg/pillow/hopper_orientation_6.jpg",
                             "jpeg/pillow/hopper_gray.jpg",
                             "jpeg/libjpeg-turbo/testimgari.jpg",
                             "jpeg/gdk-pixbuf/premature-end.jpg",
                             "gif/pillow/hopper.gif",
                             "tiff/image-rs/l1.tiff",
                             "tiff/derived/multipage-MM.tiff",
                             "tiff/libtiffpic/depth/flower-minisblack-06.tif",
                             "emf/libemf2svg/test-092.emf",
                             "bmp/bmpsuite/g/pal8.bmp",
                             "bmp/bmpsuite/g/pal4.bmp"};
    for (int i = 0; i < corpus.size(); ++i) {
        const QString suffix = QFileInfo(corpus[i]).suffix().left(3);
        copyCorpus(corpus[i], QStringLiteral("f%1.%2").arg(i, 2, 10, QChar('0')).arg(suffix));
    }
    const QString outFolder = job.outputFolder;
    // The lines and bytes of a run into a fresh folder, with that folder's name taken out.
    struct Run {
        QStringList lines;
        QByteArray bytes;
        bool threw = false;
        QStringList entries;
    };
    const auto runWith = [&](int n) {
        QTemporaryDir into;
        job.outputFolder = into.path() + '/';
        workers = n;
        Run r;
        try {
            run();
        } catch (const PixError&) {
            r.threw = true;
        }
        r.lines = lines.replaceInStrings(into.path(), "OUT");
        r.bytes = FolderDigest(into.path());
        r.entries = FolderEntries(into.path());
        return r;
    };
    for (const auto& [type, percent] :
         {std::pair{OutputType::Jpeg, 37}, {OutputType::Tif, 150}, {OutputType::Metafile, 50}}) {
        SCOPED_TRACE(OutputFormatOf(type).extension.toStdString());
        job.type = type;
        job.sizing.percent = percent;
        const Run one = runWith(1);
        EXPECT_FALSE(one.threw);
        EXPECT_EQ(one.lines.size(), corpus.size());
        EXPECT_EQ(one.lines.filter("  Skipped -> ").size(), 1);  // the 6-bit grey TIFF
        EXPECT_EQ(one.entries.size(), corpus.size() - 1);
        for (int n : {2, 5}) {
            const Run many = runWith(n);
            EXPECT_EQ(many.lines, one.lines) << n;
            EXPECT_TRUE(many.bytes == one.bytes) << n;
        }
    }

    WriteWholeFile(src.filePath("f06x.jpg"), "not a JPEG at all", false);
    job.type = OutputType::Jpeg;
    job.sizing.percent = 20;
    const Run one = runWith(1);
    ASSERT_TRUE(one.threw);
    // f00 to f06 are done; f06x stops the run; nothing after it.
    ASSERT_EQ(one.lines.size(), 7);
    EXPECT_EQ(one.lines.last(), CreatedLine("OUT/f06.JPG"));
    EXPECT_EQ(one.entries.size(), 7);
    for (int n : {2, 5}) {
        const Run many = runWith(n);
        EXPECT_TRUE(many.threw) << n;
        EXPECT_EQ(many.lines, one.lines) << n;
        EXPECT_EQ(many.entries, one.entries) << n;
        EXPECT_TRUE(many.bytes == one.bytes) << n;
    }
    job.outputFolder = outFolder;
}

// A stop ends the run once the files in flight are named: what has a line is there whole, what
// has none is not there, no temporary stays, and the working picture is the last one named.
TEST_F(BatchTest, AStopEndsTheRunAfterTheFilesInFlight) {
    for (int i = 0; i < 12; ++i)
        bmp(QStringLiteral("p%1.bmp").arg(i, 2, 10, QChar('0')), 300, 200 + i);
    job.type = OutputType::Tif;
    workers = 3;
    int seen = 0;
    afterFile = [&](const QString&, const ConvertedFile&, bool) {
        if (++seen == 2) stop.request();
    };
    const QStringList lines = run();
    EXPECT_TRUE(summary.stopped);
    // The two before the request, and at most one per worker already under way.
    EXPECT_GE(summary.converted, 2);
    EXPECT_LE(summary.converted, 2 + workers);
    EXPECT_EQ(summary.processed, summary.converted);
    EXPECT_EQ(lines.size(), summary.converted);
    QStringList expected;
    for (int i = 0; i < summary.converted; ++i)
        expected << QStringLiteral("p%1.TIF").arg(i, 2, 10, QChar('0'));
    EXPECT_EQ(FolderEntries(out.path()), expected);
    EXPECT_EQ(outputSize(expected.last()), QSize(300, 200 + summary.converted - 1));
    EXPECT_EQ(working.height(), 200 + summary.converted - 1);

    // A stop asked before the run starts nothing at all.
    QDir(out.path()).removeRecursively();
    QDir().mkpath(out.path());
    afterFile = {};
    EXPECT_TRUE(run().isEmpty());
    EXPECT_TRUE(summary.stopped);
    EXPECT_EQ(summary.processed, 0);
    EXPECT_TRUE(FolderEntries(out.path()).isEmpty());
}

TEST_F(BatchTest, AnEmptyNewSizeWritesNothingAndSaysSo) {
    bmp("tiny.bmp", 1, 1);
    job.sizing.percent = 1;
    QStringList lines;
    const ConvertedFile file =
        ConvertOneFile(job, "tiny.bmp", working,
                       [&](WriteOutcome o, const QString& p) { lines << ResultLine(o, p); });
    EXPECT_TRUE(file.skipped);
    EXPECT_EQ(file.skipReason, "its new size, 0 x 0, has no pixels");
    EXPECT_TRUE(lines.isEmpty());
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
