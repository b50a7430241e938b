#include "formats/errors.h"
#include "formats/tiff_reader.h"
#include "formats/tiff_writer.h"
#include "support/recording_host.h"
#include "test_tiff_support.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

Bitmap rgbBitmap(int w, int h, int bitCount = 24) {
    Bitmap b;
    b.create(w, h, bitCount);
    const int step = bitCount / 8;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.scanLine(y) + step * x;
            p[0] = uint8_t(x * 40 + 1);  // blue
            p[1] = uint8_t(y * 60 + 2);  // green
            p[2] = uint8_t(x * y + 3);   // red
            if (step == 4) p[3] = 0xEE;  // must not reach the file
        }
    }
    return b;
}

Bitmap paletteBitmap(int w, int h, int bitCount) {
    Bitmap b;
    b.create(w, h, bitCount);
    std::vector<QRgb> colours;
    for (int i = 0; i < (1 << bitCount); ++i) colours.push_back(qRgb(i, 255 - i, (i * 7) & 255));
    b.setPalette(colours);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int index = (x * 3 + y * 5) % (1 << bitCount);
            uint8_t* row = b.scanLine(y);
            if (bitCount == 8) row[x] = uint8_t(index);
            if (bitCount == 4) row[x / 2] |= uint8_t((x & 1) ? index : index << 4);
            if (bitCount == 1) row[x / 8] |= uint8_t(index << (7 - x % 8));
        }
    }
    return b;
}

QByteArray tiffBytes(const Bitmap& bitmap) {
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    WriteTiffToStream(bitmap, buffer);
    return buffer.data();
}

uint16_t le16(const QByteArray& b, int at) {
    return uint16_t(uint8_t(b[at]) | (uint8_t(b[at + 1]) << 8));
}
uint32_t le32(const QByteArray& b, int at) {
    return uint32_t(le16(b, at)) | (uint32_t(le16(b, at + 2)) << 16);
}

struct Entry {
    uint16_t tag, type;
    uint32_t count, value;
    bool operator==(const Entry&) const = default;
};

// The directory as the file states it, read without the program's reader.
std::vector<Entry> directoryOf(const QByteArray& file) {
    const int at = int(le32(file, 4));
    std::vector<Entry> out;
    for (int i = 0; i < le16(file, at); ++i) {
        const int e = at + 2 + 12 * i;
        out.push_back({le16(file, e), le16(file, e + 2), le32(file, e + 4), le32(file, e + 8)});
    }
    EXPECT_EQ(le32(file, at + 2 + 12 * int(out.size())), 0u) << "next directory offset";
    return out;
}

uint32_t valueOf(const std::vector<Entry>& dir, uint16_t tag) {
    for (const Entry& e : dir)
        if (e.tag == tag) return e.value;
    ADD_FAILURE() << "no tag " << tag;
    return 0;
}

const QByteArray kConstantBlocks = QByteArray::fromHex("6d0300000a000000" "6d0300000a000000");

}  // namespace

TEST(TiffWriteLayout, RgbTwoByTwoByteForByte) {
    const Bitmap b = rgbBitmap(2, 2);
    const QByteArray f = tiffBytes(b);
    ASSERT_EQ(f.size(), 238);
    EXPECT_EQ(f.left(8), QByteArray::fromHex("49492a0034000000"));
    EXPECT_EQ(f.mid(8, 16), kConstantBlocks);
    EXPECT_EQ(f.mid(24, 6), QByteArray::fromHex("080008000800"));
    EXPECT_EQ(f.mid(30, 10), QByteArray("Vendrulask"));
    // Top-left pixel first, as R, G, B; the bottom row last.
    EXPECT_EQ(f.mid(40, 3), QByteArray::fromHex("030201"));
    EXPECT_EQ(f.mid(49, 3), QByteArray::fromHex("043e29"));
    const std::vector<Entry> expected{
        {254, 4, 1, 0},  {256, 3, 1, 2},  {257, 3, 1, 2},  {258, 3, 3, 24}, {259, 3, 1, 1},
        {262, 3, 1, 2},  {273, 4, 1, 40}, {277, 3, 1, 3},  {278, 4, 1, 2},  {279, 4, 1, 12},
        {282, 5, 1, 8},  {283, 5, 1, 16}, {284, 3, 1, 1},  {296, 3, 1, 2},  {305, 2, 10, 30}};
    EXPECT_EQ(directoryOf(f), expected);
}

TEST(TiffWriteLayout, ThirtyTwoBitEqualsTwentyFourAndOddDataGivesOddDirectory) {
    EXPECT_EQ(tiffBytes(rgbBitmap(5, 3, 32)), tiffBytes(rgbBitmap(5, 3, 24)));
    const QByteArray f = tiffBytes(rgbBitmap(3, 1));
    EXPECT_EQ(le32(f, 4), 49u);
    EXPECT_EQ(f.size(), 49 + 186);
    // Nothing in the bitmap is changed by the writer's byte swapping.
    const Bitmap b = rgbBitmap(4, 4);
    const Bitmap copy = b;
    tiffBytes(b);
    EXPECT_TRUE(b == copy);
}

TEST(TiffWriteLayout, EightBitPalette) {
    const Bitmap b = paletteBitmap(10, 3, 8);
    const QByteArray f = tiffBytes(b);
    const std::vector<Entry> dir = directoryOf(f);
    ASSERT_EQ(dir.size(), 15u);
    EXPECT_EQ(dir.back(), (Entry{320, 3, 768, 8}));
    EXPECT_EQ(valueOf(dir, 256), 10u);
    EXPECT_EQ(valueOf(dir, 258), 8u);
    EXPECT_EQ(valueOf(dir, 262), 3u);
    EXPECT_EQ(valueOf(dir, 282), 1544u);
    EXPECT_EQ(valueOf(dir, 283), 1552u);
    EXPECT_EQ(valueOf(dir, 305), 1560u);
    EXPECT_EQ(valueOf(dir, 273), 1570u);
    EXPECT_EQ(valueOf(dir, 279), 30u);
    EXPECT_EQ(le32(f, 4), 1600u);
    // Colour i: red at 8 + 2i, green 512 bytes on, blue 1024; the colour in the high byte.
    EXPECT_EQ(le16(f, 8 + 2 * 200), 200 * 256);
    EXPECT_EQ(le16(f, 8 + 512 + 2 * 200), 55 * 256);
    EXPECT_EQ(le16(f, 8 + 1024 + 2 * 255), ((255 * 7) & 255) * 256);
    EXPECT_EQ(f.mid(1544, 16), kConstantBlocks);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(f.mid(1570 + 10 * y, 10),
                  QByteArray(reinterpret_cast<const char*>(b.scanLine(y)), 10));
    }
}

TEST(TiffWriteLayout, FourBitWidthRoundsDownToFour) {
    const Bitmap b = paletteBitmap(10, 3, 4);
    const QByteArray f = tiffBytes(b);
    const std::vector<Entry> dir = directoryOf(f);
    EXPECT_EQ(valueOf(dir, 256), 8u);
    EXPECT_EQ(valueOf(dir, 279), 12u);
    EXPECT_EQ(dir.back(), (Entry{320, 3, 48, 8}));
    EXPECT_EQ(valueOf(dir, 273), 34u + 96u);
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(f.mid(130 + 4 * y, 4), QByteArray(reinterpret_cast<const char*>(b.scanLine(y)), 4));
    }
    EXPECT_EQ(le32(f, 4), 142u);
}

TEST(TiffWriteLayout, RepeatableAndNothingForAnEmptyBitmap) {
    const Bitmap b = rgbBitmap(9, 4);
    EXPECT_EQ(tiffBytes(b), tiffBytes(b));
    EXPECT_TRUE(tiffBytes(Bitmap()).isEmpty());
    QTemporaryDir tmp;
    const QString path = tmp.filePath("empty.tif");
    SaveBitmapAsTiff(Bitmap(), path);
    EXPECT_TRUE(QFileInfo(path).isFile());
    EXPECT_EQ(QFileInfo(path).size(), 0);
}

// The fixed layout has no 1-bit form; writing nothing would leave an empty file that no reader
// opens, so 1-bit bitmaps (and 4-bit ones too narrow to keep a column) go out as 8-bit.
TEST(TiffWriteLayout, OneBitAndNarrowFourBitBecomeEightBit) {
    for (const auto& [w, bits] : std::vector<std::pair<int, int>>{{9, 1}, {3, 4}}) {
        const Bitmap b = paletteBitmap(w, 2, bits);
        const QByteArray f = tiffBytes(b);
        const std::vector<Entry> dir = directoryOf(f);
        EXPECT_EQ(valueOf(dir, 258), 8u) << bits;
        EXPECT_EQ(valueOf(dir, 256), uint32_t(w)) << bits;
        QTemporaryDir tmp;
        const QString path = tmp.filePath("a.tif");
        SaveBitmapAsTiff(b, path);
        Bitmap back;
        RecordingHost host;
        ASSERT_TRUE(ReadTiffIntoBitmap(path, back));
        EXPECT_EQ(rgbBytes(back), rgbBytes(b)) << bits;
    }
}

TEST(TiffWriteRoundTrip, ReaderGivesBackThePixels) {
    RecordingHost host;
    QTemporaryDir tmp;
    const std::vector<Bitmap> bitmaps{rgbBitmap(7, 5), rgbBitmap(6, 3, 32), paletteBitmap(10, 4, 8),
                                      paletteBitmap(8, 3, 4)};
    for (const Bitmap& b : bitmaps) {
        const QString path = tmp.filePath("r.tif");
        SaveBitmapAsTiff(b, path);
        Bitmap back;
        ASSERT_TRUE(ReadTiffIntoBitmap(path, back)) << b.bitCount();
        EXPECT_EQ(back.bitCount(), b.bitCount() == 32 ? 24 : b.bitCount());
        EXPECT_EQ(rgbBytes(back), rgbBytes(b)) << b.bitCount();
    }
    EXPECT_TRUE(host.messages.isEmpty()) << host.messages.join('|').toStdString();
}

// libtiff must take every file without complaint and decode the pixels we meant; Pillow
// decodes them too. libtiff's one remark is about the software text: the layout stores the
// 10 bytes without a closing zero, which it notes as a warning and otherwise accepts.
TEST(TiffWriteReference, LibtiffAndPillowReadEveryLayout) {
    if (!programAvailable("tiffinfo") || !programAvailable("tiffcp") || !programAvailable("tiffdump"))
        GTEST_SKIP() << "libtiff tools not installed";
    if (!pillowAvailable()) GTEST_SKIP() << "Pillow not installed";
    QTemporaryDir tmp;
    struct Case {
        const char* name;
        Bitmap bitmap;
        int expectWidth;
    };
    std::vector<Case> cases{{"rgb", rgbBitmap(7, 5), 7},
                            {"rgb32", rgbBitmap(5, 3, 32), 5},
                            {"wide", rgbBitmap(70000, 1), 70000},
                            {"pal8", paletteBitmap(10, 3, 8), 10},
                            {"pal4", paletteBitmap(10, 3, 4), 8},
                            {"bilevel", paletteBitmap(9, 2, 1), 9}};
    QStringList files;
    for (const Case& c : cases) {
        const QString path = tmp.filePath(QString(c.name) + ".tif");
        SaveBitmapAsTiff(c.bitmap, path);
        files << path;
        const QString copy = tmp.filePath(QString(c.name) + "-copy.tif");
        for (const QStringList& args : {QStringList{"tiffinfo", "-D", path}, QStringList{"tiffdump", path},
                                        QStringList{"tiffcp", "-c", "none", path, copy}}) {
            QByteArray out, err;
            EXPECT_EQ(runProgram(args[0], args.mid(1), &out, &err), 0) << c.name << " " << args[0].toStdString();
            QStringList remarks;
            for (const QByteArray& line : err.split('\n')) {
                if (!line.isEmpty() && !line.contains("\"Software\" does not end in null byte"))
                    remarks << QString::fromUtf8(line);
            }
            EXPECT_TRUE(remarks.isEmpty()) << c.name << ": " << remarks.join('\n').toStdString();
        }
        files << copy;
    }
    const std::vector<PillowPage> pages = describeWithPillow(files, tmp.path());
    ASSERT_EQ(pages.size(), files.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        const Case& c = cases[i / 2];
        SCOPED_TRACE(files[int(i)].toStdString());
        ASSERT_TRUE(pages[i].ok);
        EXPECT_EQ(pages[i].width, c.expectWidth);
        Bitmap expected = c.bitmap.toRgb24();
        if (c.expectWidth != c.bitmap.width()) {
            Bitmap cut;
            cut.create(c.expectWidth, expected.height(), 24);
            for (int y = 0; y < cut.height(); ++y)
                std::memcpy(cut.scanLine(y), expected.scanLine(y), size_t(c.expectWidth) * 3);
            expected = cut;
        }
        EXPECT_TRUE(pages[i].rgb == rgbBytes(expected));
    }
}

namespace {

// Takes `capacity` bytes, then reports what a full disk reports.
class FillingDevice : public QIODevice {
public:
    explicit FillingDevice(qint64 capacity) : capacity_(capacity) { open(QIODevice::WriteOnly); }
    bool isSequential() const override { return false; }
    qint64 size() const override { return written_; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 len) override {
        const qint64 room = std::max<qint64>(capacity_ - pos(), 0);
        const qint64 n = std::min(len, room);
        written_ = std::max(written_, pos() + n);
        if (n == 0) setErrorString("No space left on device");
        return n == 0 ? -1 : n;  // a short count first, then the error
    }

private:
    qint64 capacity_;
    qint64 written_ = 0;
};

}  // namespace

// Every write is checked: a file cut short by a full disk is an error, never a quiet success.
TEST(TiffWriteFaults, ShortWritesAreErrors) {
    const Bitmap b = rgbBitmap(6, 4);
    const qint64 full = tiffBytes(b).size();
    for (qint64 capacity : {qint64(0), qint64(4), qint64(30), qint64(41), full - 100, full - 1}) {
        FillingDevice device(capacity);
        EXPECT_THROW(WriteTiffToStream(b, device), PixError) << capacity;
    }
    FillingDevice roomy(full);
    EXPECT_NO_THROW(WriteTiffToStream(b, roomy));
}

TEST(TiffWriteFaults, FilesThatCannotBeWrittenRaiseCannotCreate) {
    const Bitmap b = rgbBitmap(20, 20);
    QTemporaryDir tmp;
    const QString missing = tmp.filePath("no/such/folder/a.tif");
    try {
        SaveBitmapAsTiff(b, missing);
        ADD_FAILURE() << "no error";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "Cannot create file " + missing);
    }
    if (QFileInfo("/dev/full").exists()) {
        try {
            SaveBitmapAsTiff(b, "/dev/full");
            ADD_FAILURE() << "no error on /dev/full";
        } catch (const PixError& e) {
            EXPECT_EQ(e.text(), QStringLiteral("Cannot create file /dev/full"));
        }
        struct stat st {};
        ASSERT_EQ(stat("/dev/full", &st), 0);
        EXPECT_TRUE(S_ISCHR(st.st_mode)) << "the device must be left alone";
    }
}

// A regular file that hits the size limit half way is removed, not left as a short picture.
TEST(TiffWriteFaults, HalfWrittenFileIsRemoved) {
    QTemporaryDir tmp;
    const QString path = tmp.filePath("big.tif");
    const Bitmap b = rgbBitmap(200, 200);
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        SaveBitmapAsTiff(b, path);
    } catch (const PixError& e) {
        threw = e.text() == "Cannot create file " + path;
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(threw);
    EXPECT_FALSE(QFileInfo::exists(path));
}
