#include "formats/errors.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "support/recording_host.h"
#include "test_tiff_support.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <QBuffer>
#include <QTemporaryDir>
#include <csignal>

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

const QByteArray kConstantBlocks = QByteArray::fromHex(
    "6d0300000a000000"
    "6d0300000a000000");

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
        {254, 4, 1, 0}, {256, 3, 1, 2},  {257, 3, 1, 2}, {258, 3, 3, 24}, {259, 3, 1, 1},
        {262, 3, 1, 2}, {273, 4, 1, 40}, {277, 3, 1, 3}, {278, 4, 1, 2},  {279, 4, 1, 12},
        {282, 5, 1, 8}, {283, 5, 1, 16}, {284, 3, 1, 1}, {296, 3, 1, 2},  {305, 2, 10, 30}};
    EXPECT_EQ(directoryOf(f), expected);
}

TEST(TiffWriteLayout, DepthsOddSizesAndRepeats) {
    EXPECT_EQ(tiffBytes(rgbBitmap(5, 3, 32)), tiffBytes(rgbBitmap(5, 3, 24)));
    const QByteArray odd = tiffBytes(rgbBitmap(3, 1));
    EXPECT_EQ(le32(odd, 4), 49u);  // no padding byte before the directory
    EXPECT_EQ(odd.size(), 49 + 186);
    const Bitmap b = rgbBitmap(9, 4);
    const Bitmap copy = b;
    EXPECT_EQ(tiffBytes(b), tiffBytes(b));
    EXPECT_TRUE(b == copy) << "the colour swap must happen in a copy";
    EXPECT_TRUE(tiffBytes(Bitmap()).isEmpty());
}

TEST(TiffWriteLayout, PaletteLayouts) {
    // 8-bit, width 10: 256 colours (count 768) at 8, then the blocks, rows of 10 bytes at 1570.
    const Bitmap b8 = paletteBitmap(10, 3, 8);
    const QByteArray f8 = tiffBytes(b8);
    const std::vector<Entry> d8 = directoryOf(f8);
    ASSERT_EQ(d8.size(), 15u);
    EXPECT_EQ(d8.back(), (Entry{320, 3, 768, 8}));
    EXPECT_EQ(std::vector<uint32_t>({valueOf(d8, 256), valueOf(d8, 258), valueOf(d8, 262),
                                     valueOf(d8, 282), valueOf(d8, 283), valueOf(d8, 305),
                                     valueOf(d8, 273), valueOf(d8, 279), le32(f8, 4)}),
              std::vector<uint32_t>({10, 8, 3, 1544, 1552, 1560, 1570, 30, 1600}));
    // The colour in the high byte: red i at 8 + 2i, green 512 bytes on, blue 1024.
    EXPECT_EQ(le16(f8, 8 + 2 * 200), 200 * 256);
    EXPECT_EQ(le16(f8, 8 + 512 + 2 * 200), 55 * 256);
    EXPECT_EQ(le16(f8, 8 + 1024 + 2 * 255), 249 * 256);
    EXPECT_EQ(f8.mid(1544, 16), kConstantBlocks);
    EXPECT_EQ(f8.mid(1570 + 20, 10), QByteArray(reinterpret_cast<const char*>(b8.scanLine(2)), 10));
    // 4-bit, width 10: written 8 wide, rows of 4 bytes after a 16-colour map.
    const Bitmap b4 = paletteBitmap(10, 3, 4);
    const QByteArray f4 = tiffBytes(b4);
    const std::vector<Entry> d4 = directoryOf(f4);
    EXPECT_EQ(d4.back(), (Entry{320, 3, 48, 8}));
    EXPECT_EQ(
        std::vector<uint32_t>({valueOf(d4, 256), valueOf(d4, 279), valueOf(d4, 273), le32(f4, 4)}),
        std::vector<uint32_t>({8, 12, 130, 142}));
    EXPECT_EQ(f4.mid(130 + 8, 4), QByteArray(reinterpret_cast<const char*>(b4.scanLine(2)), 4));
}

// The fixed layout has no 1-bit form. Writing nothing would leave an empty file that no reader
// opens, so 1-bit bitmaps, and 4-bit ones too narrow to keep a column, go out as 8-bit.
TEST(TiffWriteLayout, OneBitAndNarrowFourBitBecomeEightBit) {
    for (const auto& [w, bits] : std::vector<std::pair<int, int>>{{9, 1}, {3, 4}}) {
        const std::vector<Entry> dir = directoryOf(tiffBytes(paletteBitmap(w, 2, bits)));
        EXPECT_EQ(valueOf(dir, 258), 8u) << bits;
        EXPECT_EQ(valueOf(dir, 256), uint32_t(w)) << bits;
    }
}

// libtiff takes every layout, and libtiff, Pillow and our reader decode the pixels we meant.
// libtiff's one remark is about the software text: the layout stores its 10 bytes without a
// closing zero, which libtiff notes as a warning and otherwise accepts.
TEST(TiffWriteReference, LibtiffPillowAndOurReaderAgree) {
    REQUIRE_TOOLS(tool::kTiffinfo, tool::kTiffcp, tool::kTiffdump, tool::kPillow);
    QTemporaryDir tmp;
    RecordingHost host;
    std::vector<Bitmap> expected;
    QStringList files;
    for (Bitmap b : {rgbBitmap(7, 5), rgbBitmap(5, 3, 32), rgbBitmap(70000, 1),
                     paletteBitmap(10, 3, 8), paletteBitmap(10, 3, 4), paletteBitmap(9, 2, 1)}) {
        const QString path = tmp.filePath(QStringLiteral("%1.tif").arg(files.size()));
        const QString copy = tmp.filePath(QStringLiteral("%1-copy.tif").arg(files.size()));
        SaveBitmapAsTiff(b, path);
        for (const QStringList& args :
             {QStringList{"tiffinfo", "-D", path}, QStringList{"tiffdump", path},
              QStringList{"tiffcp", "-c", "none", path, copy}}) {
            QByteArray err;
            EXPECT_EQ(runProgram(args[0], args.mid(1), nullptr, &err), 0)
                << args.join(' ').toStdString();
            for (const QByteArray& line : err.split('\n'))
                EXPECT_TRUE(line.isEmpty() ||
                            line.contains("\"Software\" does not end in null byte"))
                    << args[0].toStdString() << ": " << line.toStdString();
        }
        // What the file should hold: the colours, 4-bit rows cut to a multiple of 4 pixels.
        const Bitmap full = b.toRgb24();
        Bitmap rgb;
        rgb.create(b.bitCount() == 4 ? b.width() & ~3 : b.width(), b.height(), 24);
        for (int y = 0; y < rgb.height(); ++y)
            std::memcpy(rgb.scanLine(y), full.scanLine(y), size_t(rgb.width()) * 3);
        // Our reader takes up to 65535 pixels a side; the wider file is for other programs.
        Bitmap back;
        host.messages.clear();
        if (b.width() > 65535) {
            EXPECT_FALSE(ReadTiffIntoBitmap(path, back));
            EXPECT_EQ(host.messages, QStringList{"Out Of Memory "});
        } else {
            EXPECT_TRUE(ReadTiffIntoBitmap(path, back)) << host.messages.join('|').toStdString();
            EXPECT_EQ(rgbBytes(back), rgbBytes(rgb)) << "our reader, bit count " << b.bitCount();
        }
        files << path << copy;
        expected.push_back(rgb);
        expected.push_back(rgb);
    }
    const std::vector<PillowPage> pages = describeWithPillow(files, tmp.path());
    ASSERT_EQ(pages.size(), files.size());
    for (size_t i = 0; i < pages.size(); ++i) {
        ASSERT_TRUE(pages[i].ok) << files[int(i)].toStdString();
        EXPECT_TRUE(pages[i].rgb == rgbBytes(expected[i])) << files[int(i)].toStdString();
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

QString saveError(const Bitmap& b, const QString& path) {
    try {
        SaveBitmapAsTiff(b, path);
    } catch (const PixError& e) {
        return e.text();
    }
    return QString();
}

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

// A folder that is missing, a full device, a file that hits the size limit half way: each is
// "Cannot create file"; the half-written regular file is removed (it would pass for a picture),
// the device is left alone.
TEST(TiffWriteFaults, FilesThatCannotBeWrittenRaiseCannotCreate) {
    const Bitmap b = rgbBitmap(200, 200);
    QTemporaryDir tmp;
    const QString missing = tmp.filePath("no/such/folder/a.tif");
    EXPECT_EQ(saveError(b, missing), "Cannot create file " + missing);
    if (QFileInfo::exists("/dev/full")) {
        EXPECT_EQ(saveError(b, "/dev/full"), "Cannot create file /dev/full");
        struct stat st {};
        EXPECT_TRUE(stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode));
    }
    const QString big = tmp.filePath("big.tif");
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = saveError(b, big);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(error, "Cannot create file " + big);
    EXPECT_FALSE(QFileInfo::exists(big));
}
