// pixolet-batch: the folder save's lines on stdout and its exit status; the same files and lines
// for one job and many, with a damaged file in the middle too; a Ctrl-C that leaves nothing
// half-made; arguments refused with a reason; every output type of the table offered.

#include "convert/output_types.h"
#include "formats/bmp/bmp.h"
#include "formats/jpeg/jpeg.h"
#include "formats/text_utils.h"
#include "support/corpus.h"
#include "support/folder_digest.h"
#include "support/pattern_bitmap.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

namespace {

struct Outcome {
    int status = -1;
    QByteArray lines, errors;
};

Outcome runBatch(const QStringList& args) {
    Outcome o;
    o.status = runProgram(PIXOLET_BATCH, args, &o.lines, &o.errors);
    return o;
}

void copyCorpus(const QString& relative, const QString& target) {
    ASSERT_TRUE(QFile::copy(corpusDir() + '/' + relative, target)) << relative.toStdString();
}

TEST(BatchCommand, TheSameFilesAndLinesForOneJobAndMany) {
    SKIP_WITHOUT_CORPUS();
    QTemporaryDir src, work;
    ASSERT_TRUE(src.isValid() && work.isValid());
    const QStringList photos{"jpeg/pillow/flower.jpg",
                             "jpeg/image-rs/progressive-3.jpg",
                             "jpeg/pillow/hopper_orientation_5.jpg",
                             "jpeg/pillow/pil_sample_cmyk.jpg",
                             "jpeg/gdk-pixbuf/reftest-cat.jpg",
                             "jpeg/pillow/flower2.jpg"};
    for (int i = 0; i < photos.size(); ++i)
        copyCorpus(photos[i], src.filePath(QStringLiteral("p%1.jpg").arg(i)));
    SaveBitmapAsBmp(PatternBitmap(40, 30, 8), src.filePath("p2b.bmp"));
    QFile(src.filePath("notes.txt")).open(QIODevice::WriteOnly);

    // The output folder is made when missing; its name is taken out of the lines to compare.
    const auto run = [&](const QString& name, QStringList args) {
        const QString out = work.filePath(name);
        Outcome o = runBatch(QStringList{src.path(), out} + args);
        o.lines.replace(out.toUtf8(), "OUT");
        return o;
    };
    const Outcome one = run("one", {"--percent", "20", "--jpeg", "75", "--jobs", "1"});
    ASSERT_EQ(one.status, 0) << one.errors.toStdString();
    QByteArray expected;
    for (const char* name : {"p0", "p1", "p2", "p2b", "p3", "p4", "p5"})
        expected += "  Successfully Created -> OUT/" + QByteArray(name) + ".JPG\n";
    EXPECT_EQ(one.lines, expected);
    for (const QString jobs : {"3", "8"}) {
        const Outcome many = run("many" + jobs, {"--jpg", "75", "--jobs", jobs, "--percent", "20"});
        EXPECT_EQ(many.status, 0) << many.errors.toStdString();
        EXPECT_EQ(many.lines, one.lines) << jobs.toStdString();
        EXPECT_TRUE(FolderDigest(work.filePath("many" + jobs)) ==
                    FolderDigest(work.filePath("one")))
            << jobs.toStdString();
    }
    // Again into the same folder: every file is there already and stays as it was.
    const QByteArray before = FolderDigest(work.filePath("one"));
    const Outcome again = run("one", {"--percent", "20", "--jpeg", "75"});
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.lines.count("  File already exists -> OUT/"), 7);
    EXPECT_EQ(again.lines.count('\n'), 7);
    EXPECT_TRUE(FolderDigest(work.filePath("one")) == before);

    // A damaged file in the middle: status 1, its error on stderr, the files before it written
    // and none after it, for one job and for many alike.
    WriteWholeFile(src.filePath("p2c.jpg"), "not a JPEG", false);
    const Outcome stopped1 = run("stopped1", {"--size", "64x48", "--tif", "--jobs", "1"});
    EXPECT_EQ(stopped1.status, 1);
    EXPECT_EQ(stopped1.lines.count('\n'), 4);  // p0, p1, p2, p2b
    EXPECT_TRUE(stopped1.errors.contains("JPEG error")) << stopped1.errors.toStdString();
    EXPECT_EQ(FolderEntries(work.filePath("stopped1")),
              (QStringList{"p0.TIF", "p1.TIF", "p2.TIF", "p2b.TIF"}));
    const Outcome stopped3 = run("stopped3", {"--size", "64x48", "--tif", "--jobs", "3"});
    EXPECT_EQ(stopped3.status, 1);
    EXPECT_EQ(stopped3.lines, stopped1.lines);
    EXPECT_TRUE(FolderDigest(work.filePath("stopped3")) == FolderDigest(work.filePath("stopped1")));
}

// Ctrl-C ends the run once the files in flight are named: status 130, a last line that says so,
// every file with a line complete, nothing else in the folder, hidden temporaries included.
TEST(BatchCommand, CtrlCStopsAfterTheFilesInFlightAndLeavesNothingHalfMade) {
    QTemporaryDir src, out;
    ASSERT_TRUE(src.isValid() && out.isValid());
    const QByteArray jpeg = EncodeJpeg(PatternBitmap(1600, 1200), 90);
    for (int i = 0; i < 80; ++i)
        WriteWholeFile(src.filePath(QStringLiteral("p%1.jpg").arg(i, 2, 10, QChar('0'))), jpeg,
                       false);
    QProcess batch;
    batch.start(PIXOLET_BATCH,
                {src.path(), out.path(), "--percent", "100", "--bmp", "--jobs", "2"});
    ASSERT_TRUE(batch.waitForStarted());
    // The first line shows that the run is under way; then the signal.
    while (!batch.canReadLine()) ASSERT_TRUE(batch.waitForReadyRead(60000));
    ::kill(pid_t(batch.processId()), SIGINT);
    ASSERT_TRUE(batch.waitForFinished(120000));
    EXPECT_EQ(batch.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(batch.exitCode(), 130);
    const QStringList lines =
        QString::fromUtf8(batch.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_GE(lines.size(), 2);
    const int converted = int(lines.size()) - 1;
    EXPECT_LT(converted, 80);
    EXPECT_EQ(lines.last(), QStringLiteral("** Stopped: %1 of 80 files converted").arg(converted));
    QStringList expected;
    for (int i = 0; i < converted; ++i) {
        const QString name = QStringLiteral("p%1.BMP").arg(i, 2, 10, QChar('0'));
        EXPECT_EQ(lines[i], "  Successfully Created -> " + out.filePath(name));
        expected << name;
    }
    EXPECT_EQ(FolderEntries(out.path()), expected);
    const Bitmap last = DecodeBmp(ReadFileBytes(out.filePath(expected.last())));
    EXPECT_EQ(last.width(), 1600);
    EXPECT_EQ(last.height(), 1200);
}

TEST(BatchCommand, ArgumentsThatMakeNoRunAreRefusedWithAReason) {
    QTemporaryDir src, out;
    ASSERT_TRUE(src.isValid() && out.isValid());
    SaveBitmapAsBmp(PatternBitmap(10, 10), src.filePath("a.bmp"));
    const QString s = src.path(), o = out.path();
    for (const QStringList& wrong : {QStringList{s, o, "--percent", "0", "--bmp"},
                                     {s, o, "--percent", "401", "--bmp"},
                                     {s, o, "--percent", "20", "--jpeg"},
                                     {s, o, "--percent", "20", "--jpeg", "101"},
                                     {s, o, "--percent", "20", "--gif"},
                                     {s, o, "--percent", "20"},
                                     {s, o, "--bmp"},
                                     {s, o, "--percent", "20", "--size", "10x10", "--bmp"},
                                     {s, o, "--percent", "20", "--bmp", "--tif"},
                                     {s, o, "--size", "10x0", "--bmp"},
                                     {s, o, "--size", "100000x100000", "--bmp"},
                                     {s, o, "--size", "10", "--bmp"},
                                     {s, "--percent", "20", "--bmp"},
                                     {s + "/missing", o, "--percent", "20", "--bmp"},
                                     {s, o, "--percent", "20", "--bmp", "--jobs", "0"}}) {
        const Outcome r = runBatch(wrong);
        EXPECT_EQ(r.status, 2) << wrong.join(' ').toStdString();
        EXPECT_TRUE(r.errors.startsWith("pixolet-batch: ")) << r.errors.toStdString();
        EXPECT_TRUE(r.lines.isEmpty());
    }
    EXPECT_TRUE(FolderEntries(o).isEmpty());

    // Every row of the output table is offered under its extension.
    const Outcome help = runBatch({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const OutputFormat& format : OutputFormats()) {
        const QByteArray flag = "--" + AsciiLowerCase(format.dialogExtension()).toUtf8();
        EXPECT_TRUE(help.lines.contains(flag)) << flag.toStdString();
        QStringList args{s, o, "--size", "7x5", QString::fromUtf8(flag)};
        if (format.asksQuality) args << "60";
        const Outcome written = runBatch(args);
        EXPECT_EQ(written.status, 0) << flag.toStdString() << written.errors.toStdString();
        EXPECT_EQ(written.lines,
                  "  Successfully Created -> " + (o + "/a" + format.extension).toUtf8() + "\n");
    }
}

}  // namespace
