// Every writer against the ways a write can fail: a full device, a path under a regular file, a
// name the file system refuses, a read-only folder and a full file system (the last two inside a
// mount namespace of their own). Each must end in its own error text, leave no half-written file
// and leave the files already there as they were.
#include "app/settings_file.h"
#include "formats/bmp/bmp.h"
#include "formats/bmp/ico.h"
#include "formats/errors.h"
#include "formats/gif/gif_bitmap.h"
#include "formats/jpeg/jpeg.h"
#include "formats/jpeg/jpeg_writer.h"
#include "formats/metafile/metafile.h"
#include "formats/picture.h"
#include "formats/tiff/tiff_writer.h"
#include "support/corpus.h"
#include "support/outside_tool.h"
#include "support/pattern_bitmap.h"
#include "support/recording_host.h"
#include "support/result_lines.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QTemporaryDir>
#include <functional>

namespace {

// Where a writer's result lines go: made from its outcome, as the results window makes them.
using ResultSink = std::function<void(const QString& line)>;

void Report(const ResultSink& sink, WriteOutcome outcome, const QString& path) {
    if (outcome != WriteOutcome::Refused) sink(ResultLine(outcome, path));
}

struct Outcome {
    QString error;      // the PixError text, empty when none was thrown
    QStringList lines;  // result lines the writer reported
};

struct Writer {
    QString name;
    QString extension;
    bool replaces;  // replaces an existing file (else reports it and leaves it alone)
    std::function<void(const QString& path, const ResultSink& sink)> write;
    QString errorFor(const QString& path) const {
        return extension == ".ini" ? QStringLiteral("Unable to write to %1").arg(path)
                                   : QStringLiteral("Cannot create file %1").arg(path);
    }
};

// Large enough that no writer's output fits in the full file system below.
const Bitmap& Picture200() {
    static const Bitmap bitmap = PatternBitmap(200, 200);
    return bitmap;
}

// Graphics that write themselves in their own format (a picture's save).
const MetafileGraphic& LoadedMetafile() {
    static const MetafileGraphic graphic = [] {
        QTemporaryDir dir;
        const QString path = dir.filePath("source.emf");
        WriteMetafile(path, Picture200(), ScreenMetrics{});
        MetafileGraphic g{ScreenMetrics{}};
        g.loadFromFile(path);
        return g;
    }();
    return graphic;
}

const IconGraphic& LoadedIcon() {
    static const IconGraphic graphic = [] {
        QImage image(128, 128, QImage::Format_ARGB32);
        for (int y = 0; y < 128; ++y)
            for (int x = 0; x < 128; ++x)
                image.setPixel(x, y, qRgba(x * 2, y * 2, x ^ y, 200 + (x & 7)));
        QTemporaryDir dir;
        const QString path = dir.filePath("source.ico");
        QImageWriter writer(path, "ico");
        EXPECT_TRUE(writer.write(image)) << writer.errorString().toStdString();
        IconGraphic g;
        g.loadFromFile(path);
        return g;
    }();
    return graphic;
}

TGifBitmap GifBitmap() {
    Bitmap bitmap;
    bitmap.create(400, 400, 8);
    std::vector<QRgb> palette;
    for (int i = 0; i < 256; ++i) palette.push_back(qRgb(i, 255 - i, i / 2));
    bitmap.setPalette(palette);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x) bitmap.scanLine(y)[x] = uint8_t(x * 3 + y);
    return TGifBitmap(std::move(bitmap));
}

std::vector<Writer> AllWriters() {
    return {
        {"JPEG", ".jpg", false,
         [](const QString& path, const ResultSink& sink) {
             Picture picture;
             picture.assign(Picture200());
             Report(sink, WriteJpegFile(path, picture, 75), path);
         }},
        {"BMP", ".bmp", true,
         [](const QString& path, const ResultSink&) { SaveBitmapAsBmp(Picture200(), path); }},
        {"TIFF", ".tif", true,
         [](const QString& path, const ResultSink&) { SaveBitmapAsTiff(Picture200(), path); }},
        {"EMF", ".emf", false,
         [](const QString& path, const ResultSink& sink) {
             Report(sink, WriteMetafile(path, Picture200(), ScreenMetrics{}), path);
         }},
        {"EMF graphic", ".emf", true,
         [](const QString& path, const ResultSink&) { LoadedMetafile().saveToFile(path); }},
        {"GIF bitmap", ".bmp", true,
         [](const QString& path, const ResultSink&) { GifBitmap().saveToFile(path); }},
        {"icon", ".ico", true,
         [](const QString& path, const ResultSink&) { LoadedIcon().saveToFile(path); }},
        {"JPEG image", ".jpg", true,
         [](const QString& path, const ResultSink&) {
             JpegImage jpeg;
             jpeg.assignBitmap(Picture200());
             jpeg.saveToFile(path);
         }},
        {"settings", ".ini", true,
         [](const QString& path, const ResultSink&) {
             IniFile(path).writeInteger(QStringLiteral("Frmfirst"), QStringLiteral("W"), 640);
         }},
    };
}

Outcome Attempt(const Writer& writer, const QString& path) {
    Outcome outcome;
    try {
        writer.write(path, [&outcome](const QString& line) { outcome.lines << line; });
    } catch (const PixError& e) {
        outcome.error = e.text();
    }
    return outcome;
}

QByteArray Contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList Entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

// /dev/full must be the device: a writer that renames a new file over it would have replaced it
// with a regular file, and every later run would then pass.
void RequireFullDevice() {
    const QFileInfo info("/dev/full");
    if (!info.exists()) GTEST_SKIP() << "/dev/full is absent";
    ASSERT_FALSE(info.isFile()) << "/dev/full is a regular file: a writer replaced the device";
}

TEST(WriteFaults, FullDevice) {
    RequireFullDevice();
    if (IsSkipped() || HasFatalFailure()) return;
    RecordingHost host;
    const QStringList devBefore = Entries("/dev");
    for (const Writer& writer : AllWriters()) {
        SCOPED_TRACE(writer.name.toStdString());
        const Outcome outcome = Attempt(writer, "/dev/full");
        if (writer.replaces) {
            // Every byte written to /dev/full fails; the writer must say so, not succeed.
            EXPECT_EQ(outcome.error, writer.errorFor("/dev/full"));
        } else {
            // /dev/full exists, and these writers never write into an existing name.
            EXPECT_EQ(outcome.error, "");
            EXPECT_EQ(outcome.lines, QStringList{AlreadyExistsLine("/dev/full")});
        }
    }
    // No temporary file left beside the device.
    EXPECT_EQ(Entries("/dev"), devBefore);
    EXPECT_TRUE(host.messages.isEmpty()) << host.messages.join('\n').toStdString();
    EXPECT_FALSE(QFileInfo("/dev/full").isFile()) << "a writer replaced the device";
}

TEST(WriteFaults, PathUnderRegularFileAndOverlongName) {
    RecordingHost host;
    QTemporaryDir dir;
    const QString plain = dir.path() + "/plain.txt";
    QFile file(plain);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("source");
    file.close();
    for (const Writer& writer : AllWriters()) {
        SCOPED_TRACE(writer.name.toStdString());
        const QString under = plain + "/out" + writer.extension;
        EXPECT_EQ(Attempt(writer, under).error, writer.errorFor(under));
        // 300 bytes: over the 255 a file name may have.
        const QString overlong = dir.path() + "/" + QString(296, 'n') + writer.extension;
        EXPECT_EQ(Attempt(writer, overlong).error, writer.errorFor(overlong));
    }
    EXPECT_EQ(Contents(plain), "source");
    EXPECT_EQ(Entries(dir.path()), QStringList{"plain.txt"});
}

TEST(WriteFaults, WindowSizeThroughTheSettingsFile) {
    RequireFullDevice();
    if (IsSkipped() || HasFatalFailure()) return;
    QTemporaryDir dir;
    const QString plain = dir.path() + "/plain.txt";
    QFile(plain).open(QIODevice::WriteOnly);
    for (const QString& target : {QStringLiteral("/dev/full"), plain + "/pixolet.ini"}) {
        try {
            SaveWindowSize(target, QStringLiteral("Frmfirst"), 640, 480);
            ADD_FAILURE() << "saving into " << target.toStdString() << " reported success";
        } catch (const PixError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("Unable to write to %1").arg(target));
        }
    }
}

// The folders of the next two cases are mounts made by a shell in a new mount (and user)
// namespace, which then runs this program again with only the MountedFolder tests. They see the
// folders through PIXOLET_FAULT_MOUNTS; without it they are not inside such a namespace.
const char* const kMountsVariable = "PIXOLET_FAULT_MOUNTS";

// One file name per writer: several writers share an extension.
QString FileStem(const Writer& writer) {
    return QString(writer.name).replace(' ', '_');
}

// Made by the shell before the folders are sealed: one existing file per writer.
QByteArray ExistingContents(const Writer& writer) {
    return writer.extension == ".ini" ? QByteArray("[Frmfirst]\nW=1\n")
                                      : QByteArray("existing ") + writer.name.toLatin1();
}

QString MountsRoot() {
    return qEnvironmentVariable(kMountsVariable);
}

TEST(WriteFaults, ReadOnlyAndFullFileSystems) {
    if (!qEnvironmentVariableIsEmpty(kMountsVariable)) GTEST_SKIP() << "already inside";
    REQUIRE_TOOLS(tool::kUnshare);
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath("ro") && QDir(dir.path()).mkpath("full"));
    QStringList setup;
    for (const Writer& writer : AllWriters()) {
        const QString name = "existing_" + FileStem(writer) + writer.extension;
        const QString text = QString::fromLatin1(ExistingContents(writer)).replace("\n", "\\n");
        setup << QStringLiteral("printf '%1' > \"$root/ro/%2\"").arg(text, name)
              << QStringLiteral("printf '%1' > \"$root/full/%2\"").arg(text, name);
    }
    // The full file system is filled to its last block after the existing files are made.
    const QString script =
        QStringLiteral(
            "set -e; root=\"$1\"; shift\n"
            "mount -t tmpfs -o size=256k none \"$root/ro\"\n"
            "mount -t tmpfs -o size=256k none \"$root/full\"\n"
            "%1\n"
            "mount -o remount,ro \"$root/ro\"\n"
            "dd if=/dev/zero of=\"$root/full/filler\" bs=4096 2>/dev/null || true\n"
            "export %2=\"$root\"\n"
            "exec \"$@\"\n")
            .arg(setup.join('\n'), QString::fromLatin1(kMountsVariable));
    QByteArray out, err;
    // Where mount namespaces are refused (a container without the right), say so and stop.
    if (runProgram("unshare", {"-rm", "sh", "-c", "mount -t tmpfs none \"$1\"", "sh", dir.path()},
                   &out, &err) != 0)
        GTEST_SKIP() << "no mount namespace here: " << err.toStdString();
    const int code = runProgram(
        "unshare",
        {"-rm", "sh", "-c", script, "sh", dir.path(), QCoreApplication::applicationFilePath(),
         "--gtest_filter=MountedFolder.*", "--gtest_brief=0"},
        &out, &err);
    EXPECT_EQ(code, 0) << out.toStdString() << err.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 2 tests")) << out.toStdString();
}

TEST(MountedFolder, ReadOnly) {
    if (MountsRoot().isEmpty()) GTEST_SKIP() << "run by WriteFaults.ReadOnlyAndFullFileSystems";
    RecordingHost host;
    const QString folder = MountsRoot() + "/ro";
    const QStringList before = Entries(folder);
    for (const Writer& writer : AllWriters()) {
        SCOPED_TRACE(writer.name.toStdString());
        const QString fresh = folder + "/new_" + FileStem(writer) + writer.extension;
        EXPECT_EQ(Attempt(writer, fresh).error, writer.errorFor(fresh));
        const QString existing = folder + "/existing_" + FileStem(writer) + writer.extension;
        const Outcome outcome = Attempt(writer, existing);
        if (writer.replaces) {
            EXPECT_EQ(outcome.error, writer.errorFor(existing));
        } else {
            EXPECT_EQ(outcome.error, "");
            EXPECT_EQ(outcome.lines, QStringList{AlreadyExistsLine(existing)});
        }
        EXPECT_EQ(Contents(existing), ExistingContents(writer));
    }
    EXPECT_EQ(Entries(folder), before);
}

TEST(MountedFolder, Full) {
    if (MountsRoot().isEmpty()) GTEST_SKIP() << "run by WriteFaults.ReadOnlyAndFullFileSystems";
    RecordingHost host;
    const QString folder = MountsRoot() + "/full";
    const QStringList before = Entries(folder);
    for (const Writer& writer : AllWriters()) {
        SCOPED_TRACE(writer.name.toStdString());
        // No half file under the new name: it would pass for a picture and a batch would skip
        // the name later as existing.
        const QString fresh = folder + "/new_" + FileStem(writer) + writer.extension;
        EXPECT_EQ(Attempt(writer, fresh).error, writer.errorFor(fresh));
        // The replacing writers keep the old file whole when the new one cannot be written.
        const QString existing = folder + "/existing_" + FileStem(writer) + writer.extension;
        const Outcome outcome = Attempt(writer, existing);
        if (writer.replaces) {
            EXPECT_EQ(outcome.error, writer.errorFor(existing));
        } else {
            EXPECT_EQ(outcome.lines, QStringList{AlreadyExistsLine(existing)});
        }
        EXPECT_EQ(Contents(existing), ExistingContents(writer));
    }
    EXPECT_EQ(Entries(folder), before);
}

}  // namespace
