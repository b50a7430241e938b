// JPEG through libjpeg: decoding against djpeg, encoding against cjpeg, damaged input, the
// lazy decode and the streaming stretch, and the JPEG writer.
#include "formats/bmp/bmp.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/jpeg/jpeg.h"
#include "formats/jpeg/jpeg_writer.h"
#include "formats/picture.h"
#include "formats/picture_formats.h"
#include "support/corpus.h"
#include "support/outside_tool.h"
#include "support/pattern_bitmap.h"
#include "support/recording_host.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
#include <cstdio>
}

namespace {

// A binary PPM (P6) or PGM (P5) as a 24-bit bitmap; empty when it is neither.
Bitmap parseNetpbm(const QByteArray& bytes) {
    qsizetype pos = 0;
    auto token = [&]() {
        while (pos < bytes.size() && std::isspace(uchar(bytes[pos]))) ++pos;
        const qsizetype start = pos;
        while (pos < bytes.size() && !std::isspace(uchar(bytes[pos]))) ++pos;
        return bytes.mid(start, pos - start);
    };
    const QByteArray magic = token();
    const int w = token().toInt(), h = token().toInt(), maxval = token().toInt();
    ++pos;
    const int channels = magic == "P6" ? 3 : magic == "P5" ? 1 : 0;
    Bitmap out;
    if (!channels || maxval != 255 || w <= 0 || h <= 0 ||
        bytes.size() - pos < qsizetype(w) * h * channels)
        return out;
    out.create(w, h, 24);
    const uchar* p = reinterpret_cast<const uchar*>(bytes.constData()) + pos;
    for (int y = 0; y < h; ++y) {
        uint8_t* row = out.scanLine(y);
        for (int x = 0; x < w; ++x, p += channels) {
            row[3 * x + 2] = p[0];
            row[3 * x + 1] = p[channels == 3 ? 1 : 0];
            row[3 * x] = p[channels == 3 ? 2 : 0];
        }
    }
    return out;
}

QByteArray toPpm(const Bitmap& bitmap) {
    QByteArray out = "P6\n" + QByteArray::number(bitmap.width()) + " " +
                     QByteArray::number(bitmap.height()) + "\n255\n";
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const QRgb c = bitmap.pixelColor(x, y);
            out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));
        }
    }
    return out;
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Smooth gradients plus a little deterministic noise: something like a photograph.
Bitmap testPicture(int w, int h) {
    Bitmap b;
    b.create(w, h, 24);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            seed = seed * 1103515245 + 12345;
            const int noise = int((seed >> 16) & 15) - 8;
            uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = uint8_t(std::clamp(x * 255 / w + noise, 0, 255));
            p[1] = uint8_t(std::clamp(y * 255 / h + noise, 0, 255));
            p[2] = uint8_t(std::clamp((x + y) * 127 / (w + h) + 64 + noise, 0, 255));
        }
    }
    return b;
}

QString jpegErrorText(int code) {
    return QStringLiteral("JPEG error #%1").arg(code);
}

class JpegTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetPictureFormats();
        InitPictureFormats();
        ASSERT_TRUE(dir.isValid());
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    RecordingHost host;
};

TEST_F(JpegTest, DecodesEveryCorpusFileDjpegReadsToTheSamePixels) {
    SKIP_WITHOUT_CORPUS();
    REQUIRE_TOOLS(tool::kDjpeg);
    // Greyscale files (djpeg writes PGM) and Adobe CMYK files (djpeg converts them as we do) are
    // among them.
    int compared = 0;
    for (const QString& file : corpusFiles("jpeg", {".jpg", ".jpeg"})) {
        // djpeg would spend minutes on a 64250 x 64250 claim that the program refuses at once.
        try {
            const JpegHeader h = ReadJpegHeader(ReadFileBytes(file));
            if (Bitmap::matrixBytes(uint32_t(h.width), uint32_t(h.height), 24) > kMaxBitmapBytes)
                continue;
        } catch (const PixError&) {
        }
        QByteArray out;
        // djpeg exits 2 after warnings (a truncated file) but has written the whole picture.
        const int rc = runProgram("djpeg", {"-ppm", file}, &out);
        const Bitmap reference = parseNetpbm(out);
        if (rc < 0 || rc == 1 || reference.isEmpty()) continue;
        SCOPED_TRACE(file.toStdString());
        Bitmap ours;
        ASSERT_NO_THROW(ours = DecodeJpeg(ReadFileBytes(file)));
        EXPECT_TRUE(ours == reference);
        ++compared;
    }
    EXPECT_GE(compared, 40);  // the corpus has 46 such files: a silent skip would be a fault
}

TEST_F(JpegTest, GreyscaleFlagComesFromTheHeader) {
    SKIP_WITHOUT_CORPUS();
    JpegImage grey;
    grey.loadFromFile(corpusDir() + "/jpeg/pillow/hopper_gray.jpg");
    EXPECT_TRUE(grey.grayscale());
    JpegImage progressive;
    progressive.loadFromFile(corpusDir() + "/jpeg/image-rs/progressive-cat.jpg");
    EXPECT_TRUE(progressive.progressive());
    EXPECT_FALSE(progressive.grayscale());
}

TEST_F(JpegTest, EncodingIsByteIdenticalToCjpeg) {
    REQUIRE_TOOLS(tool::kCjpeg);
    const Bitmap picture = testPicture(97, 61);
    writeFile(path("in.ppm"), toPpm(picture));
    for (int quality : {1, 10, 24, 25, 50, 75, 90, 100}) {
        SCOPED_TRACE(quality);
        // Below 25 the plain tables would exceed 8 bits; the program always limits them to
        // baseline values, which cjpeg does only when asked.
        QStringList args{"-quality", QString::number(quality)};
        if (quality < 25) args << "-baseline";
        QByteArray reference;
        ASSERT_EQ(runProgram("cjpeg", args << path("in.ppm"), &reference), 0);
        EXPECT_EQ(EncodeJpeg(picture, quality), reference);
    }
}

TEST_F(JpegTest, DamagedDataFailsWithTheLibraryMessageNumber) {
    JpegImage image;
    writeFile(path("empty.jpg"), {});
    try {
        image.loadFromFile(path("empty.jpg"));
        FAIL() << "an empty file loaded";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), jpegErrorText(JERR_INPUT_EMPTY));
    }
    try {
        image.loadFromData("GIF89a not a jpeg at all");
        FAIL() << "garbage loaded";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), jpegErrorText(JERR_NO_SOI));
    }
    // SOI and a frame header claiming 60000 x 60000: refused before any pixel memory exists.
    const QByteArray huge = QByteArray::fromHex("FFD8FFDB004300" + QByteArray(64, 1).toHex() +
                                                "FFC0000B08EA60EA6001011100"
                                                "FFDA000801010000003F00FFD9");
    try {
        image.loadFromData(huge);
        FAIL() << "a 60000 x 60000 picture loaded";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), ImageTooLargeText(60000, 60000));
    }
}

TEST_F(JpegTest, EveryTruncationLoadsOrFailsCleanly) {
    const QByteArray whole = EncodeJpeg(testPicture(40, 24), 80);
    int decoded = 0;
    for (qsizetype n = 0; n < whole.size(); n += 7) {
        SCOPED_TRACE(n);
        JpegImage image;
        try {
            image.loadFromData(whole.left(n));
            // The scan is cut: libjpeg warns, pads with grey, and the warning is ignored.
            const Bitmap b = image.toBitmap();
            EXPECT_EQ(b.width(), 40);
            ++decoded;
        } catch (const PixError& e) {
            EXPECT_TRUE(e.text().startsWith("JPEG error #")) << e.text().toStdString();
        }
    }
    EXPECT_GT(decoded, 0);
}

TEST_F(JpegTest, LoadReadsTheHeaderAndDecodesOnFirstUse) {
    const QByteArray data = EncodeJpeg(testPicture(33, 17), 90);
    writeFile(path("a.jpg"), data);
    JpegImage image;
    image.loadFromFile(path("a.jpg"));
    EXPECT_EQ(image.width(), 33);
    EXPECT_EQ(image.height(), 17);
    EXPECT_FALSE(image.isDecoded());
    EXPECT_EQ(image.data(), data);
    EXPECT_TRUE(image.toBitmap() == DecodeJpeg(data));
    EXPECT_TRUE(image.isDecoded());
}

TEST_F(JpegTest, StreamedStretchGivesTheSamePixelsAsDecodeThenStretch) {
    std::vector<QByteArray> files{EncodeJpeg(testPicture(101, 67), 85)};
    if (corpusAvailable()) {
        for (const char* name : {"/jpeg/pillow/pil_sample_cmyk.jpg", "/jpeg/pillow/hopper_gray.jpg",
                                 "/jpeg/image-rs/progressive-cat.jpg"})
            files.push_back(ReadFileBytes(corpusDir() + name));
    }
    const std::vector<QRect> rects{QRect(0, 0, 20, 13), QRect(3, 2, 50, 40), QRect(-7, -5, 60, 33),
                                   QRect(10, 10, 250, 170), QRect(0, 0, 1, 1)};
    for (const QByteArray& data : files) {
        const Bitmap full = DecodeJpeg(data);
        for (const QRect& rect : rects) {
            SCOPED_TRACE(rect.width());
            Bitmap expected, streamed;
            expected.create(64, 48, 24);
            streamed.create(64, 48, 24);
            StretchBitmapInto(full, expected, rect.x(), rect.y(), rect.width(), rect.height());
            DecodeJpegStretched(data, streamed, rect);
            EXPECT_TRUE(streamed == expected);

            // The graphic streams its first draw and keeps the pixels for the next one.
            JpegImage image;
            image.loadFromData(data);
            Bitmap first, second;
            first.create(64, 48, 24);
            second.create(64, 48, 24);
            image.stretchDraw(first, rect);
            EXPECT_FALSE(image.isDecoded());
            image.stretchDraw(second, rect);
            EXPECT_TRUE(image.isDecoded());
            EXPECT_TRUE(first == expected);
            EXPECT_TRUE(second == expected);
        }
    }
}

// The streamed stretch skips the rows no target line takes (whole block rows at small sizes,
// everything above a cut-off top, everything below the last row drawn): every sampling,
// progressive, arithmetic, CMYK, grey and truncated file of the corpus still gives the pixels of
// a full decode, at every reduction and in every orientation.
TEST_F(JpegTest, StreamedStretchSkippingRowsGivesTheFullDecodesPixels) {
    SKIP_WITHOUT_CORPUS();
    int compared = 0;
    for (const QString& path : corpusFiles("jpeg", {".jpg", ".jpeg"})) {
        SCOPED_TRACE(path.toStdString());
        const QByteArray data = ReadFileBytes(path);
        Bitmap full;
        try {
            full = DecodeJpeg(data);
        } catch (const PixError&) {
            continue;  // damaged beyond decoding: the full decode fails the same way
        }
        if (full.width() > 2000 || full.height() > 2000) continue;
        ++compared;
        for (int orientation : {1, 3, 6}) {
            const Bitmap upright = OrientBitmap(full, orientation);
            const int uw = upright.width(), uh = upright.height();
            for (const QRect& rect :
                 {QRect(0, 0, (uw + 2) / 3, (uh + 2) / 3), QRect(0, 0, (uw + 8) / 9, (uh + 8) / 9),
                  QRect(0, 0, std::max(1, uw / 40), std::max(1, uh / 40)),
                  QRect(0, -uh / 2, uw / 2, uh / 2 + 3), QRect(0, 0, 48, 5)}) {
                SCOPED_TRACE(testing::Message()
                             << "orientation " << orientation << " rect " << rect.x() << ","
                             << rect.y() << " " << rect.width() << "x" << rect.height());
                const int tw = std::max(1, rect.width()),
                          th = std::max(1, rect.height() + rect.y());
                Bitmap expected, streamed;
                expected.create(tw, th, 24);
                streamed.create(tw, th, 24);
                StretchBitmapInto(upright, expected, rect.x(), rect.y(), rect.width(),
                                  rect.height());
                DecodeJpegStretched(data, streamed, rect, orientation);
                EXPECT_TRUE(streamed == expected);
            }
        }
    }
    EXPECT_GT(compared, 40);
}

TEST_F(JpegTest, WriterNeverReplacesAFileAndReportsEachOutcome) {
    Picture source;
    source.assign(testPicture(30, 20));
    Picture kept;
    ASSERT_EQ(WriteJpegFile(path("out.jpg"), source, 60, &kept), WriteOutcome::Written);
    const QByteArray written = ReadFileBytes(path("out.jpg"));
    EXPECT_EQ(written, EncodeJpeg(source.graphic()->toBitmap(), 60));
    ASSERT_FALSE(kept.isEmpty());
    EXPECT_EQ(kept.graphic()->kind(), GraphicKind::Jpeg);
    EXPECT_EQ(static_cast<const JpegImage*>(kept.graphic())->data(), written);

    // The second time the encoding still happens, the file stays as it was.
    source.assign(testPicture(10, 10));
    EXPECT_EQ(WriteJpegFile(path("out.jpg"), source, 60, &kept), WriteOutcome::AlreadyExisted);
    EXPECT_EQ(ReadFileBytes(path("out.jpg")), written);
    EXPECT_EQ(kept.width(), 10);

    for (int bad : {0, 101, -5}) {
        try {
            WriteJpegFile(path("q.jpg"), source, bad);
            FAIL() << "quality " << bad << " accepted";
        } catch (const PixError& e) {
            EXPECT_EQ(e.text(), "Range check error");
        }
    }
    EXPECT_FALSE(QFile::exists(path("q.jpg")));

    // Nothing to encode: said once, nothing written, refused.
    Picture empty;
    empty.bitmap().create(0, 5, 24);
    EXPECT_EQ(WriteJpegFile(path("empty.jpg"), empty, 75), WriteOutcome::Refused);
    EXPECT_FALSE(QFile::exists(path("empty.jpg")));
    EXPECT_EQ(host.messages.size(), 1);

    try {
        WriteJpegFile(path("no/such/folder/x.jpg"), source, 75);
        FAIL() << "wrote into a missing folder";
    } catch (const PixError& e) {
        EXPECT_TRUE(e.text().startsWith("Cannot create file ")) << e.text().toStdString();
    }
}

}  // namespace

// ---- Exif orientation ------------------------------------------------------------------------

namespace {

// An Exif APP1 segment whose IFD0 holds the entries (tag, type, count, value), in either byte
// order, placed right after the SOI marker.
struct ExifEntry {
    uint16_t tag, type;
    uint32_t count, value;
};
QByteArray withExif(const QByteArray& jpeg, const std::vector<ExifEntry>& entries, bool little) {
    QByteArray tiff;
    const auto put16 = [&](uint16_t v) {
        if (little)
            tiff.append(char(v & 0xFF)).append(char(v >> 8));
        else
            tiff.append(char(v >> 8)).append(char(v & 0xFF));
    };
    const auto put32 = [&](uint32_t v) {
        if (little) {
            put16(uint16_t(v & 0xFFFF));
            put16(uint16_t(v >> 16));
        } else {
            put16(uint16_t(v >> 16));
            put16(uint16_t(v & 0xFFFF));
        }
    };
    tiff.append(little ? "II" : "MM");
    put16(42);
    put32(8);
    put16(uint16_t(entries.size()));
    for (const ExifEntry& e : entries) {
        put16(e.tag);
        put16(e.type);
        put32(e.count);
        if (e.type == 3) {
            put16(uint16_t(e.value));
            put16(0);
        } else
            put32(e.value);
    }
    put32(0);
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1", 2);
    const int length = int(body.size()) + 2;
    segment.append(char(length >> 8)).append(char(length & 0xFF)).append(body);
    return jpeg.left(2) + segment + jpeg.mid(2);
}

// The upright picture by Qt's own transforms, an oracle independent of ours.
QImage uprightByQt(const QImage& stored, int orientation) {
    QTransform quarter;
    quarter.rotate(90);
    switch (orientation) {
        case 2:
            return stored.mirrored(true, false);
        case 3:
            return stored.mirrored(true, true);
        case 4:
            return stored.mirrored(false, true);
        case 5:
            return stored.transformed(quarter).mirrored(true, false);
        case 6:
            return stored.transformed(quarter);
        case 7:
            return stored.transformed(quarter).mirrored(false, true);
        case 8:
            return stored.transformed(QTransform().rotate(270));
        default:
            return stored;
    }
}

TEST(JpegOrientation, EachOrientationTurnsAndMirrorsAsQtWould) {
    const Bitmap stored = PatternBitmap(5, 3);
    for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(orientation);
        const Bitmap upright = OrientBitmap(stored, orientation);
        EXPECT_EQ(
            upright.toQImage().convertToFormat(QImage::Format_RGB32),
            uprightByQt(stored.toQImage(), orientation).convertToFormat(QImage::Format_RGB32));
    }
    EXPECT_EQ(OrientBitmap(stored, 9), stored);
}

TEST(JpegOrientation, ATurnedPhotoIsUprightInSizeDecodeAndStreamedStretch) {
    const QByteArray plain = EncodeJpeg(PatternBitmap(48, 32), 90);
    const Bitmap storedPixels = DecodeJpeg(plain);
    for (const bool little : {true, false}) {
        for (const int orientation : {3, 6, 8}) {
            SCOPED_TRACE(testing::Message() << orientation << (little ? " II" : " MM"));
            // Another tag before it, as cameras write them.
            const QByteArray tagged =
                withExif(plain, {{0x010F, 2, 4, 0}, {0x0112, 3, 1, uint32_t(orientation)}}, little);
            EXPECT_EQ(ReadJpegOrientation(tagged), orientation);
            const Bitmap upright = OrientBitmap(storedPixels, orientation);

            JpegImage streamed;
            streamed.loadFromData(tagged);
            EXPECT_EQ(streamed.width(), upright.width());
            EXPECT_EQ(streamed.height(), upright.height());
            // The first draw (a batch's) streams; the expected pixels sample the upright ones.
            Bitmap drawn, expected;
            drawn.create(20, 30, 24);
            expected.create(20, 30, 24);
            streamed.stretchDraw(drawn, QRect(0, 0, 20, 30));
            StretchBitmapInto(upright, expected, 0, 0, 20, 30);
            EXPECT_EQ(drawn, expected);

            JpegImage kept;
            kept.loadFromData(tagged);
            EXPECT_EQ(kept.toBitmap(), upright);
        }
    }
}

TEST_F(JpegTest, StreamedStretchOfATurnedPhotoSamplesTheUprightPixels) {
    // Not square, odd sides, so a swapped or flipped index shows.
    std::vector<QByteArray> files{EncodeJpeg(PatternBitmap(37, 23), 95)};
    if (corpusAvailable()) {
        for (const char* name :
             {"/jpeg/pillow/pil_sample_cmyk.jpg", "/jpeg/pillow/hopper_gray.jpg"})
            files.push_back(ReadFileBytes(corpusDir() + name));
    }
    const std::vector<QRect> rects{QRect(0, 0, 20, 13),   QRect(3, 2, 50, 40),
                                   QRect(-7, -5, 60, 33), QRect(10, 10, 250, 170),
                                   QRect(0, 0, 1, 1),     QRect(60, 0, 9, 9)};
    for (const QByteArray& data : files) {
        const Bitmap full = DecodeJpeg(data);
        for (int orientation = 1; orientation <= 8; ++orientation) {
            const Bitmap upright = OrientBitmap(full, orientation);
            for (const QRect& rect : rects) {
                SCOPED_TRACE(testing::Message()
                             << "orientation " << orientation << " rect " << rect.x() << ","
                             << rect.y() << " " << rect.width() << "x" << rect.height());
                Bitmap expected, streamed;
                expected.create(64, 48, 24);
                streamed.create(64, 48, 24);
                // Outside the rectangle both keep what was there.
                std::memset(expected.bits(), 0x5A, size_t(expected.byteCount()));
                std::memset(streamed.bits(), 0x5A, size_t(streamed.byteCount()));
                StretchBitmapInto(upright, expected, rect.x(), rect.y(), rect.width(),
                                  rect.height());
                DecodeJpegStretched(data, streamed, rect, orientation);
                EXPECT_TRUE(streamed == expected);
            }
        }
    }
}

TEST(JpegOrientation, PhotosWithoutATurnAreDecodedAsBefore) {
    const QByteArray plain = EncodeJpeg(PatternBitmap(40, 24), 85);
    const Bitmap stored = DecodeJpeg(plain);
    const std::vector<QByteArray> unturned = {
        plain,
        withExif(plain, {{0x0112, 3, 1, 1}}, true),   // upright already
        withExif(plain, {{0x010F, 2, 4, 0}}, false),  // no orientation entry
        withExif(plain, {{0x0112, 3, 1, 9}}, true),   // no such orientation
        withExif(plain, {{0x0112, 4, 1, 6}}, true),   // a LONG, not a SHORT
        withExif(plain, {{0x0112, 3, 2, 6}}, false),  // two values
    };
    for (size_t i = 0; i < unturned.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ReadJpegOrientation(unturned[i]), 1);
        JpegImage image;
        image.loadFromData(unturned[i]);
        EXPECT_EQ(image.width(), 40);
        EXPECT_EQ(image.toBitmap(), stored);
    }
}

TEST(JpegOrientation, DamagedExifBlocksAreIgnoredWithoutReadingOutside) {
    const QByteArray plain = EncodeJpeg(PatternBitmap(16, 8), 75);
    const QByteArray tagged = withExif(plain, {{0x0112, 3, 1, 6}}, true);
    // Every cut of the file: the segment or its directory running past the end.
    for (qsizetype n = 0; n < 80; ++n) {
        const QByteArray cut = tagged.left(n);  // a copy, so ASan sees its real end
        const int orientation = ReadJpegOrientation(cut);
        EXPECT_TRUE(orientation == 1 || (orientation == 6 && n >= 38)) << n;
    }
    // The directory's offset and its count pointing far outside the segment.
    QByteArray farOffset = tagged;
    farOffset[2 + 4 + 6 + 4] = char(0xF0);  // IFD0 offset, low byte of a little-endian word
    farOffset[2 + 4 + 6 + 7] = char(0x7F);
    EXPECT_EQ(ReadJpegOrientation(farOffset), 1);
    QByteArray manyEntries = tagged;
    manyEntries[2 + 4 + 6 + 8] = char(0xFF);
    manyEntries[2 + 4 + 6 + 9] = char(0xFF);
    EXPECT_EQ(ReadJpegOrientation(manyEntries), 6)
        << "the entry is found before the count runs out";
    QByteArray longSegment = tagged;
    longSegment[4] = char(0x7F);  // the segment's length beyond the file
    EXPECT_EQ(ReadJpegOrientation(longSegment), 1);
    EXPECT_EQ(ReadJpegOrientation(QByteArray("\xFF\xD8\xFF\xE1\x00\x01", 6)), 1);
}

}  // namespace
