// WriteMetafile: what it records (checked with libUEMF's own record layouts), that our reader
// gets the pixels back at (0, 0), and that it never replaces a file.

#include "formats/errors.h"
#include "formats/metafile/metafile.h"
#include "support/pattern_bitmap.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

extern "C" {
#include <uemf.h>
#include <uemf_endian.h>
#include <uemf_safe.h>
}

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(MetafileWrite, RecordsHeaderOneStretchDibitsAndEofThatLibUemfAccepts) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.emf");
    const Bitmap picture = PatternBitmap(37, 23);  // odd width: DIB rows are padded
    ScreenMetrics screen;
    screen.widthPixels = 1280;
    screen.heightPixels = 1024;
    screen.widthMillimetres = 338;
    screen.heightMillimetres = 270;
    EXPECT_EQ(WriteMetafile(path, picture, screen), WriteOutcome::Written);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"out.emf"});

    const QByteArray bytes = readAll(path);
    const char* base = bytes.constData();
    const char* limit = base + bytes.size();
    std::vector<uint32_t> types;
    size_t offset = 0;
    const U_EMRSTRETCHDIBITS* blit = nullptr;
    while (offset < size_t(bytes.size())) {
        uint32_t size = 0, type = 0;
        ASSERT_TRUE(U_emf_record_sizeok(base + offset, limit, &size, &type, U_LE));
        ASSERT_TRUE(U_emf_record_safe(base + offset));
        types.push_back(type);
        if (type == U_EMR_STRETCHDIBITS)
            blit = reinterpret_cast<const U_EMRSTRETCHDIBITS*>(base + offset);
        offset += size;
    }
    EXPECT_EQ(types, (std::vector<uint32_t>{U_EMR_HEADER, U_EMR_STRETCHDIBITS, U_EMR_EOF}));

    const auto* header = reinterpret_cast<const U_EMRHEADER*>(base);
    EXPECT_EQ(header->rclFrame.left, 0);
    EXPECT_EQ(header->rclFrame.top, 0);
    EXPECT_EQ(header->rclFrame.right, 33800);
    EXPECT_EQ(header->rclFrame.bottom, 27000);
    EXPECT_EQ(header->szlDevice.cx, 1280);
    EXPECT_EQ(header->szlDevice.cy, 1024);
    EXPECT_EQ(header->szlMillimeters.cx, 338);
    EXPECT_EQ(header->szlMillimeters.cy, 270);
    EXPECT_EQ(header->nDescription, 0u);
    EXPECT_EQ(header->nBytes, uint32_t(bytes.size()));
    EXPECT_EQ(header->nRecords, 3u);

    ASSERT_NE(blit, nullptr);
    EXPECT_EQ(blit->Dest.x, 0);
    EXPECT_EQ(blit->Dest.y, 0);
    EXPECT_EQ(blit->cDest.x, 37);
    EXPECT_EQ(blit->cDest.y, 23);
    EXPECT_EQ(blit->cSrc.x, 37);
    EXPECT_EQ(blit->cSrc.y, 23);
    EXPECT_EQ(blit->dwRop, uint32_t(U_SRCCOPY));
    const auto* bmi = reinterpret_cast<const U_BITMAPINFOHEADER*>(
        reinterpret_cast<const char*>(blit) + blit->offBmiSrc);
    EXPECT_EQ(bmi->biBitCount, 24);
    EXPECT_EQ(bmi->biWidth, 37);
    EXPECT_EQ(bmi->biHeight, 23);  // bottom-up
    const char* bits = reinterpret_cast<const char*>(blit) + blit->offBitsSrc;
    ASSERT_EQ(blit->cbBitsSrc, uint32_t(picture.stride() * 23));
    for (int y = 0; y < 23; ++y)
        ASSERT_EQ(
            0, std::memcmp(bits + size_t(22 - y) * picture.stride(), picture.scanLine(y), 37 * 3))
            << y;
}

TEST(MetafileWrite, ReadsBackWithThePixelsIntactAtTheOrigin) {
    QTemporaryDir dir;
    const QString path = dir.filePath("back.emf");
    const Bitmap picture = PatternBitmap(64, 40);
    const ScreenMetrics screen;  // 1920 x 1080 pixels, 508 x 286 mm, 96 dpi
    WriteMetafile(path, picture, screen);
    MetafileGraphic g(screen);
    g.loadFromFile(path);
    // The frame is the whole screen: 50800 x 28600 hundredths of a millimetre at 96 dpi.
    EXPECT_EQ(g.width(), 1920);
    EXPECT_EQ(g.height(), 1081);
    const Bitmap back = g.toBitmap();
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            ASSERT_EQ(back.pixelColor(x, y), picture.pixelColor(x, y)) << x << "," << y;
    EXPECT_EQ(back.pixelColor(70, 10), qRgb(255, 255, 255));
    EXPECT_EQ(back.pixelColor(10, 45), qRgb(255, 255, 255));

    // A 32-bit picture is written as its 24-bit colours.
    Bitmap wide;
    wide.create(5, 3, 32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            uint8_t* p = wide.scanLine(y) + 4 * x;
            p[0] = 10, p[1] = uint8_t(20 * x), p[2] = uint8_t(30 * y), p[3] = 0;
        }
    WriteMetafile(dir.filePath("wide.emf"), wide, screen);
    MetafileGraphic w(screen);
    w.loadFromFile(dir.filePath("wide.emf"));
    EXPECT_EQ(w.toBitmap().pixelColor(4, 2), qRgb(60, 80, 10));
}

TEST(MetafileWrite, NeverReplacesAFileAndReportsFailures) {
    QTemporaryDir dir;
    const QString path = dir.filePath("taken.emf");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("keep me");
    }
    EXPECT_EQ(WriteMetafile(path, PatternBitmap(4, 4), ScreenMetrics()),
              WriteOutcome::AlreadyExisted);
    EXPECT_EQ(readAll(path), QByteArray("keep me"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"taken.emf"});

    const QString nowhere = dir.filePath("missing/folder/x.emf");
    try {
        WriteMetafile(nowhere, PatternBitmap(4, 4), ScreenMetrics());
        ADD_FAILURE() << "no error";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "Cannot create file " + nowhere);
    }
}

TEST(MetafileWrite, EmptyPictureGivesAValidEmptyMetafile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("empty.emf");
    EXPECT_EQ(WriteMetafile(path, Bitmap(), ScreenMetrics()), WriteOutcome::Written);
    MetafileGraphic g;
    g.loadFromFile(path);
    EXPECT_EQ(g.width(), 1920);
}

}  // namespace
