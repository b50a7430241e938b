// The GIF decoder on files built here: layout and tables, the LZW corner cases (both decoding
// paths: linear for plain images, row by row for interlaced ones), every error text, progress
// and pending messages, the 8-bit BMP stream and the TGifBitmap picture kind.

#include "formats/gif/gif.h"
#include "formats/gif/gif_bitmap.h"
#include "formats/picture_formats.h"
#include "test_gif_builder.h"

#include "support/memory.h"
#include "support/recording_host.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>

using namespace giftest;

namespace {

std::unique_ptr<TGifFile> read(const QByteArray& bytes) {
    auto gif = std::make_unique<TGifFile>();
    ByteReader r(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    ReadGifStream(r, *gif);
    return gif;
}

// The error text reading the bytes raises, or "" when they read.
QString readError(const QByteArray& bytes) {
    RecordingHost host;
    try {
        read(bytes);
    } catch (const EGifException& e) {
        EXPECT_EQ(host.hourglassDepth, 0);
        return e.text();
    }
    EXPECT_EQ(host.hourglassDepth, 0);
    return {};
}

std::vector<uint8_t> pixelsOf(const TGifSubImage& image) {
    const uint8_t* p = image.pixels.data();
    return {p, p + size_t(image.width()) * size_t(image.height())};
}

Gif oneFrame(int w, int h, int colours, uint32_t seed, bool interlaced = false) {
    Gif g;
    g.globalTable = rampTable(colours);
    Frame f;
    f.width = w;
    f.height = h;
    f.interlaced = interlaced;
    f.pixels = noiseImage(w, h, colours, seed, colours);
    f.minCodeSize = unsigned(std::max(2, bitsFor(size_t(colours))));
    g.frames.push_back(f);
    return g;
}

// A frame whose code stream is given code by code (width w each).
Gif handMade(int w, int h, unsigned cs, const std::vector<std::pair<unsigned, unsigned>>& codes) {
    Gif g = oneFrame(w, h, 1 << cs, 1);
    g.frames[0].minCodeSize = cs;
    g.frames[0].rawCodes = true;
    g.frames[0].codeBytes = packCodes(codes);
    return g;
}

}  // namespace

TEST(GifTables, ColourTablesStartBySize) {
    const TColorTable two(2), sixteen(16), grey(256), other(8);
    EXPECT_EQ(two.count, 2);
    EXPECT_EQ(two.entries[0], (TGifRgb{0, 0, 0}));
    EXPECT_EQ(two.entries[1], (TGifRgb{255, 255, 255}));
    EXPECT_EQ(two.entries[2], (TGifRgb{0, 0, 0}));
    EXPECT_EQ(TColorTable(0).entries[1], (TGifRgb{255, 255, 255}));
    EXPECT_EQ(sixteen.entries[1], (TGifRgb{128, 0, 0}));
    EXPECT_EQ(sixteen.entries[8], (TGifRgb{192, 192, 192}));
    EXPECT_EQ(sixteen.entries[15], (TGifRgb{255, 255, 255}));
    EXPECT_EQ(grey.entries[77], (TGifRgb{77, 77, 77}));
    EXPECT_EQ(other.entries[1], (TGifRgb{0, 0, 0}));
    EXPECT_EQ(other.count, 8);
}

TEST(GifTables, MissingTablesGiveTheBlackAndWhiteDefault) {
    Gif g = oneFrame(5, 3, 2, 1);
    g.globalTable.clear();
    g.globalBitsIfNone = 1;
    RecordingHost host;
    const Bitmap b = FirstImageBitmap(*read(build(g)));
    ASSERT_EQ(b.palette().size(), 256u);
    EXPECT_EQ(b.palette()[0], qRgb(0, 0, 0));
    EXPECT_EQ(b.palette()[1], qRgb(255, 255, 255));
    EXPECT_EQ(b.palette()[2], qRgb(0, 0, 0));

    // A local table overwrites its own count of entries; the rest keep the first contents that
    // the global count chose (256: the grey ramp).
    Gif l = oneFrame(5, 3, 4, 1);
    l.globalTable.clear();
    l.globalBitsIfNone = 8;
    l.frames[0].localTable = rampTable(4, 3);
    const Bitmap lb = FirstImageBitmap(*read(build(l)));
    EXPECT_EQ(lb.palette()[3], qRgb(l.frames[0].localTable[3].r, l.frames[0].localTable[3].g,
                                    l.frames[0].localTable[3].b));
    EXPECT_EQ(lb.palette()[200], qRgb(200, 200, 200));
}

TEST(GifHeader, OnlyTheVersionIsTested) {
    const Gif g = oneFrame(9, 4, 16, 2);
    QByteArray bytes = build(g);
    const std::vector<uint8_t> expected = pixelsOf(read(bytes)->image(1));
    for (const char* header : {"XYZ89a", "GIF87a", "GIF87A", "GIF89A"}) {
        bytes.replace(0, 6, header);
        auto gif = read(bytes);
        EXPECT_EQ(QByteArray(gif->header.data(), 6), QByteArray(header));
        EXPECT_EQ(pixelsOf(gif->image(1)), expected) << header;
    }
    for (const char* header : {"GIF90a", "GIF89b", "GIF8"}) {
        bytes.replace(0, 6, QByteArray(header).leftJustified(6, '\0'));
        EXPECT_EQ(readError(bytes), "Gif Version must be 87a or 89a") << header;
    }
    EXPECT_EQ(readError(QByteArray()), "Gif Version must be 87a or 89a");
    EXPECT_EQ(QByteArray(TGifFile().header.data(), 6), "GIF87a");
}

TEST(GifLzw, OddStreamsDecodeLikePlainOnes) {
    RecordingHost host;
    for (bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced" : "plain");
        Gif g = oneFrame(130, 120, 256, 3, interlaced);
        const std::vector<uint8_t>& want = g.frames[0].pixels;
        EXPECT_EQ(pixelsOf(read(build(g))->image(1)), want);
        g.frames[0].lzw.leadingClear = false;  // no clear code at the start
        EXPECT_EQ(pixelsOf(read(build(g))->image(1)), want);
        g.frames[0].lzw = {};
        g.frames[0].lzw.deferredClear = true;  // 12-bit codes on a full table, no clear
        EXPECT_EQ(pixelsOf(read(build(g))->image(1)), want);
        g.frames[0].lzw.endCode = false;  // data just ends
        g.frames[0].subBlockSize = 1;
        EXPECT_EQ(pixelsOf(read(build(g))->image(1)), want);
    }
}

TEST(GifLzw, InterlacedRowsFillInPassOrder) {
    RecordingHost host;
    for (int h : {1, 2, 3, 5, 8, 9, 12, 17}) {
        Gif g = oneFrame(3, h, 4, uint32_t(h), true);
        EXPECT_EQ(pixelsOf(read(build(g))->image(1)), g.frames[0].pixels) << h;
    }
    // Height 3: rows 0, 2, 1. Data for two rows fills rows 0 and 2.
    Gif g = oneFrame(4, 3, 4, 7, true);
    const std::vector<uint8_t> all = g.frames[0].pixels;
    g.frames[0].rawCodes = true;
    std::vector<uint8_t> fileOrder = framePixelsInFileOrder(g.frames[0]);
    fileOrder.resize(8);
    g.frames[0].codeBytes = lzwEncode(fileOrder, 2);
    const auto gif = read(build(g));
    const std::vector<uint8_t> got = pixelsOf(gif->image(1));
    EXPECT_EQ(gif->image(1).rowsStored, 2);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + 4, all.begin()));
    EXPECT_TRUE(std::equal(got.begin() + 8, got.end(), all.begin() + 8));
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 4, got.begin() + 8), std::vector<uint8_t>(4, 0));
}

TEST(GifLzw, TruncatedDataKeepsTheDecodedUpperRows) {
    RecordingHost host;
    for (bool interlaced : {false, true}) {
        const Gif g = oneFrame(40, 30, 16, 5, interlaced);
        const QByteArray whole = build(g);
        const std::vector<int> order = interlaced ? interlaceOrder(30) : interlaceOrder(1);
        int lastRows = 0;
        // Every cut from inside the image data on: rows decoded only grow, each equals the
        // original, and the rest (a partial row too) stay 0.
        for (qsizetype cut = 13 + 48 + 10 + 3; cut <= whole.size();
             ++cut) {  // from the first data byte
            const auto gif = read(whole.left(cut));
            ASSERT_EQ(gif->imageCount(), 1);
            const TGifSubImage& im = gif->image(1);
            ASSERT_GE(im.rowsStored, lastRows);
            lastRows = im.rowsStored;
            std::vector<bool> stored(30, false);
            for (int i = 0; i < im.rowsStored; ++i)
                stored[size_t(interlaced ? order[size_t(i)] : i)] = true;
            for (int y = 0; y < 30; ++y)
                for (int x = 0; x < 40; ++x)
                    ASSERT_EQ(im.pixels.rowData(uint32_t(y + 1))[x],
                              stored[size_t(y)] ? g.frames[0].pixels[size_t(y * 40 + x)] : 0)
                        << "cut " << cut << " at " << x << "," << y;
        }
        EXPECT_EQ(lastRows, 30);
    }
}

TEST(GifErrors, EveryTextExactly) {
    // Minimum code size outside 2..9.
    for (unsigned cs : {0u, 1u, 10u, 12u}) {
        Gif g = handMade(2, 2, 2, {{4, 3}, {1, 3}, {5, 3}});
        g.frames[0].minCodeSize = cs;
        EXPECT_EQ(readError(build(g)), "Bad code Size") << cs;
    }
    for (bool interlaced : {false, true}) {
        // End code right after a clear code; a code above the next free code.
        Gif a = handMade(2, 2, 2, {{4, 3}, {5, 3}});
        Gif b = handMade(2, 2, 2, {{4, 3}, {1, 3}, {7, 3}});
        Gif c = handMade(2, 2, 2, {{4, 3}, {1, 3}, {6, 3}, {5, 3}});  // 6 = the code being defined
        a.frames[0].interlaced = b.frames[0].interlaced = c.frames[0].interlaced = interlaced;
        EXPECT_EQ(readError(build(a)), "Bad code");
        EXPECT_EQ(readError(build(b)), "Bad code");
        EXPECT_EQ(readError(build(c)), "");
        // More pixels than width x height fail once the row past the last is complete.
        Gif more = oneFrame(4, 3, 4, 1, interlaced);
        more.frames[0].rawCodes = true;
        std::vector<uint8_t> px = framePixelsInFileOrder(more.frames[0]);
        px.resize(px.size() + 3);
        more.frames[0].codeBytes = lzwEncode(px, 2);
        EXPECT_EQ(readError(build(more)), "") << "a part row past the end is dropped";
        px.resize(px.size() + 1);
        more.frames[0].codeBytes = lzwEncode(px, 2);
        EXPECT_EQ(readError(build(more)), "Dynamic array index out of bounds");
    }
    // An image without any data sub-block.
    Gif none = oneFrame(3, 3, 4, 1);
    none.frames[0].noData = true;
    EXPECT_EQ(readError(build(none)), "List index out of bounds (0)");
    // An extension label that is none of the four.
    Gif ext = oneFrame(3, 3, 4, 1);
    ext.frames[0].extraExtensions = {0x21, 0xAB, 0x01, 0x00, 0x00};
    EXPECT_EQ(readError(build(ext)), "Unrecognized extension block.\r\nCode = $AB");
    // A claim past 1 GiB is refused before any allocation.
    Gif big = oneFrame(1, 1, 4, 1);
    big.frames[0].width = big.frames[0].height = 65535;
    EXPECT_EQ(readError(build(big)),
              "error in TBigByteArray.create: Not enough contiguous memory available\r\n requested "
              "memory block: 4294836225 bytes");

    TGifFile gif;
    try {
        TGifSubImage wrong(&gif, 12);
        ADD_FAILURE();
    } catch (const EGifException& e) {
        EXPECT_EQ(e.text(), "Number of colors (12) wrong; must be a power of 2");
    }
    try {
        FirstImageBitmap(gif);
        ADD_FAILURE();
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "List index out of bounds (0)");
    }
    TByteArray2D m(3, 2);
    EXPECT_THROW(m.setRow(3, TBigByteArray(3)), EIndexOutOfBounds);
    try {
        m.setRow(1, TBigByteArray(2));
        ADD_FAILURE();
    } catch (const EGifException& e) {
        EXPECT_EQ(e.text(), "Row doesn't have equal number of elements as Matrix row");
    }
    TBigByteArray a(4);
    EXPECT_THROW(a.set(5, 1), EIndexOutOfBounds);
    EXPECT_THROW(a.set(0, 1), EIndexOutOfBounds);
}

TEST(GifErrors, ZeroSizedImagesDoNotCrash) {
    RecordingHost host;
    Gif empty = handMade(0, 0, 2, {{5, 3}});
    const auto gif = read(build(empty));
    const Bitmap b = FirstImageBitmap(*gif);
    EXPECT_TRUE(b.isEmpty());
    EXPECT_EQ(readError(build(handMade(0, 4, 2, {{4, 3}, {1, 3}, {5, 3}}))),
              "Dynamic array index out of bounds");
    EXPECT_EQ(readError(build(handMade(1, 0, 2, {{4, 3}, {1, 3}, {5, 3}}))),
              "Dynamic array index out of bounds");
}

TEST(GifStream, FramesExtensionsAndWhereReadingStops) {
    RecordingHost host;
    Gif g;
    g.globalTable = rampTable(16);
    g.screenWidth = 50;
    g.screenHeight = 40;
    for (int i = 0; i < 3; ++i) {
        Frame f;
        f.width = 10 + 7 * i;
        f.height = 5 + 3 * i;
        f.pixels = noiseImage(f.width, f.height, 16, uint32_t(i), 16);
        f.minCodeSize = 4;
        f.gce = true;
        f.disposal = i + 1;
        f.transparentIndex = i == 1 ? 3 : -1;
        if (i == 2) f.localTable = rampTable(16, 4);
        g.frames.push_back(f);
    }
    // Before the first frame: a comment, an application block, plain text and a GCE that the
    // frame's own GCE overrides.
    g.frames[0].extraExtensions = {0x21, 0xFE, 2,    'h', 'i',  1,    '!',  0,   0x21, 0xFF, 11,
                                   'N',  'E',  'T',  'S', 'C',  'A',  'P',  'E', '2',  '.',  '0',
                                   3,    1,    0,    0,   0,    0x21, 0x01, 12,  0,    0,    0,
                                   0,    0,    0,    0,   0,    0,    0,    0,   0,    1,    'x',
                                   0,    0x21, 0xF9, 4,   0x1D, 0,    0,    9,   0};
    const QByteArray bytes = build(g);
    const auto gif = read(bytes);
    ASSERT_EQ(gif->imageCount(), 3);
    const TGifSubImage& first = gif->image(1);
    ASSERT_EQ(first.extensions.count(), 5);
    EXPECT_EQ(first.extensions.at(0).kind, TExtensionKind::Comment);
    EXPECT_EQ(first.extensions.at(0).subBlocks, (QList<QByteArray>{"hi", "!"}));
    EXPECT_EQ(first.extensions.at(1).kind, TExtensionKind::Application);
    EXPECT_EQ(first.extensions.at(1).data.mid(1, 8), "NETSCAPE");
    EXPECT_EQ(first.extensions.at(1).subBlocks.size(), 1);
    EXPECT_EQ(first.extensions.at(2).kind, TExtensionKind::PlainText);
    EXPECT_EQ(first.extensions.at(2).data.size(), 13);
    EXPECT_EQ(first.extensions.at(2).subBlocks, (QList<QByteArray>{"x"}));
    EXPECT_EQ(first.extensions.at(3).data.size(), 6);
    EXPECT_EQ(first.disposalMethod, 1);  // the last GCE counts
    EXPECT_FALSE(first.transparent);
    EXPECT_TRUE(gif->image(2).transparent);
    EXPECT_EQ(gif->image(2).disposalMethod, 2);
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(pixelsOf(gif->image(i)), g.frames[size_t(i - 1)].pixels);
    EXPECT_EQ(gif->screen.screenWidth, 50);
    // The first frame, at its own size, not the screen's.
    const Bitmap b = FirstImageBitmap(*gif);
    EXPECT_EQ(b.width(), 10);
    EXPECT_EQ(b.height(), 5);
    EXPECT_EQ(gif->image(3).colorTable().entries[5].red, rampTable(16, 4)[5].r);
    try {
        gif->image(4);
        ADD_FAILURE();
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "List index out of bounds (3)");
    }

    // No trailer, junk after a frame, the end inside an extension: the frames read are kept.
    const qsizetype afterFirst = bytes.indexOf("\x21\xF9\x04\x09");  // the second frame's GCE
    ASSERT_GT(afterFirst, 100);
    for (const QByteArray& cut : {bytes.left(bytes.size() - 1), bytes.left(afterFirst) + "junk",
                                  bytes.left(afterFirst + 3), bytes.left(afterFirst + 1)}) {
        const auto part = read(cut);
        EXPECT_GE(part->imageCount(), 1);
        EXPECT_EQ(pixelsOf(part->image(1)), g.frames[0].pixels);
    }
    EXPECT_EQ(host.hourglassDepth, 0);
    EXPECT_GT(host.hourglassCount, 0);
}

TEST(GifHost, RowsReportProgressAndLetMessagesRun) {
    for (int h : {200, 201, 203}) {
        for (bool interlaced : {false, true}) {
            RecordingHost host;
            const auto gif = read(build(oneFrame(3, h, 4, 1, interlaced)));
            EXPECT_EQ(host.processCount, h);  // after every row
            if (h <= 200) {
                EXPECT_TRUE(host.progress.empty());
                continue;
            }
            ASSERT_EQ(host.progress.size(), size_t(h));
            const std::vector<int> order = interlaced ? interlaceOrder(h) : std::vector<int>{};
            for (int i = 0; i < h; ++i)
                EXPECT_DOUBLE_EQ(host.progress[size_t(i)],
                                 double((interlaced ? order[size_t(i)] : i) + 1) / h);
        }
    }
    // Conversion to a bitmap reports from 501 rows on: 1 - (k - 1) / height per row written.
    RecordingHost host;
    const auto tall = read(build(oneFrame(2, 501, 4, 1)));
    host.progress.clear();
    FirstImageBitmap(*tall);
    ASSERT_EQ(host.progress.size(), 501u);
    EXPECT_NEAR(host.progress.front(), 1.0 / 501, 1e-12);
    EXPECT_DOUBLE_EQ(host.progress.back(), 1.0);
    const auto short500 = read(build(oneFrame(2, 500, 4, 1)));
    host.progress.clear();
    FirstImageBitmap(*short500);
    EXPECT_TRUE(host.progress.empty());
}

TEST(GifBmp, StreamLayout) {
    RecordingHost host;
    Gif g = oneFrame(5, 3, 4, 9);
    const auto gif = read(build(g));
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    GifImageToBmpStream(gif->image(1), stream);
    EXPECT_EQ(stream.pos(), 0);
    const QByteArray b = stream.data();
    auto u32 = [&b](int at) {
        return uint32_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 |
                        uint8_t(b[at + 3]) << 24);
    };
    auto u16 = [&b](int at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); };
    ASSERT_EQ(b.size(), 1078 + 8 * 3);
    EXPECT_EQ(b.left(2), "BM");
    EXPECT_EQ(u32(2), 5u * 3 + 819);
    EXPECT_EQ(u32(6), 0u);
    EXPECT_EQ(u32(10), 1078u);
    EXPECT_EQ(u32(14), 40u);
    EXPECT_EQ(u32(18), 5u);
    EXPECT_EQ(u32(22), 3u);
    EXPECT_EQ(u16(26), 1);
    EXPECT_EQ(u16(28), 8);
    EXPECT_EQ(u32(30), 0u);
    EXPECT_EQ(u32(34), 0u);
    EXPECT_EQ(u32(38), 143u);
    EXPECT_EQ(u32(42), 143u);
    EXPECT_EQ(u32(46), 0u);
    EXPECT_EQ(u32(50), 0u);
    EXPECT_EQ(uint8_t(b[54 + 4 * 2 + 0]), g.globalTable[2].b);  // blue, green, red
    EXPECT_EQ(uint8_t(b[54 + 4 * 2 + 2]), g.globalTable[2].r);
    EXPECT_EQ(b.mid(54 + 4 * 4, 4), QByteArray(4, '\0'));  // past the count
    for (int k = 0; k < 3; ++k) {                          // bottom row first, padded to 8
        const QByteArray row = b.mid(1078 + 8 * k, 8);
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(uint8_t(row[x]), g.frames[0].pixels[size_t((2 - k) * 5 + x)]);
        EXPECT_EQ(row.mid(5), QByteArray(3, '\0'));
    }
}

TEST(GifBitmapKind, RegisteredLoadsDrawsAndSaves) {
    ResetPictureFormats();
    InitGifModule();
    const PictureFormatEntry* entry = FindPictureFormat("GIF");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->description, "GIF-Format");
    EXPECT_EQ(entry->kind, GraphicKind::GifBitmap);

    QTemporaryDir dir;
    const Gif g = oneFrame(6, 4, 16, 3);
    const QString path = dir.filePath("a.gif");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(build(g));
    f.close();

    RecordingHost host;
    std::unique_ptr<Graphic> graphic = MakeGraphic(GraphicKind::GifBitmap);
    ASSERT_NE(graphic, nullptr);
    graphic->loadFromFile(path);
    EXPECT_EQ(graphic->kind(), GraphicKind::GifBitmap);
    EXPECT_EQ(graphic->width(), 6);
    const Bitmap bmp = graphic->toBitmap();
    EXPECT_EQ(bmp.bitCount(), 8);
    EXPECT_EQ(bmp.scanLine(3)[5], g.frames[0].pixels[23]);
    EXPECT_EQ(bmp.pixelColor(5, 3),
              qRgb(g.globalTable[g.frames[0].pixels[23]].r, g.globalTable[g.frames[0].pixels[23]].g,
                   g.globalTable[g.frames[0].pixels[23]].b));

    Bitmap canvas;
    canvas.create(12, 8, 24);
    graphic->stretchDraw(canvas, QRect(0, 0, 12, 8));
    EXPECT_EQ(canvas.pixelColor(11, 7), bmp.pixelColor(5, 3));
    EXPECT_EQ(canvas.pixelColor(2, 0), bmp.pixelColor(1, 0));
    graphic->draw(canvas, 6, 4);
    EXPECT_EQ(canvas.pixelColor(6, 4), bmp.pixelColor(0, 0));

    // Saved: the very bytes of the BMP stream.
    graphic->saveToFile(dir.filePath("a.bmp"));
    QFile saved(dir.filePath("a.bmp"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QBuffer stream;
    stream.open(QIODevice::ReadWrite);
    GifImageToBmpStream(read(build(g))->image(1), stream);
    EXPECT_EQ(saved.readAll(), stream.data());
    EXPECT_TRUE(graphic->clone()->toBitmap() == bmp);

    try {
        graphic->loadFromFile(dir.filePath("missing.gif"));
        ADD_FAILURE();
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "Cannot open file " + dir.filePath("missing.gif"));
    }
    ShutdownGifModule();
    EXPECT_EQ(FindPictureFormat("gif"), nullptr);
    ResetPictureFormats();
}

TEST(GifRobustness, AHugeClaimCostsWhatTheDataFills) {
    // 23430 x 30117 (705 MB of pixels, under the limit) with data for one row: the image loads
    // and draws as a thumbnail, and the rows it never fills take no memory.
    RecordingHost host;
    const uint32_t w = 23430, h = 30117;
    Gif g;
    g.globalTable = {{200, 10, 20}, {1, 2, 3}};
    Frame f;
    f.width = int(w);
    f.height = int(h);
    f.minCodeSize = 2;
    f.rawCodes = true;
    f.codeBytes = lzwEncode(std::vector<uint8_t>(w + 5, 1), 2, {.endCode = false});
    g.frames = {f};
    const QByteArray bytes = build(g);
    ASSERT_LT(bytes.size(), 2000);

    const bool measured = ResetPeakResident();
    const long before = ResidentMiB();
    {
        const auto gif = read(bytes);
        const Bitmap bitmap = FirstImageBitmap(*gif);
        ASSERT_EQ(bitmap.width(), int(w));
        ASSERT_EQ(bitmap.height(), int(h));
        EXPECT_EQ(bitmap.pixelColor(int(w) - 1, 0), qRgb(1, 2, 3));
        EXPECT_EQ(bitmap.pixelColor(4, 1), qRgb(200, 10, 20));  // the cut row is cleared
        EXPECT_EQ(bitmap.pixelColor(int(w) - 1, int(h) - 1), qRgb(200, 10, 20));
        const Bitmap thumb = StretchBitmap(bitmap, 40, 30);
        EXPECT_EQ(thumb.pixelColor(39, 29), qRgb(200, 10, 20));
        if (measured) {
            EXPECT_LT(PeakResidentMiB() - before, 200);
        }
    }
}

TEST(GifRobustness, MutatedFilesFailCleanly) {
    RecordingHost host;
    std::vector<QByteArray> seeds = {build(oneFrame(20, 12, 16, 1)),
                                     build(oneFrame(9, 17, 4, 2, true))};
    Gif anim = oneFrame(8, 8, 8, 3);
    anim.frames.push_back(anim.frames[0]);
    anim.frames[1].localTable = rampTable(8);
    seeds.push_back(build(anim));
    Rng rng(12345);
    for (int i = 0; i < 3000; ++i) {
        QByteArray bytes = seeds[size_t(i) % seeds.size()];
        const int edits = 1 + int(rng.below(4));
        for (int e = 0; e < edits; ++e) {
            const qsizetype at = qsizetype(rng.below(uint32_t(bytes.size())));
            if (rng.below(4) == 0)
                bytes.truncate(at + 1);
            else
                bytes[at] = char(rng.below(256));
        }
        try {
            const auto gif = read(bytes);
            if (gif->imageCount() > 0 && gif->image(1).width() * gif->image(1).height() < (1 << 22))
                FirstImageBitmap(*gif);
        } catch (const PixError&) {
        }
    }
    EXPECT_EQ(host.hourglassDepth, 0);
}

TEST(GifByteBuffer, SupplyRunsAcrossSubBlocks) {
    TByteBuffer b;
    EXPECT_THROW(b.reset(), EListIndexError);
    const uint8_t one[] = {1, 2}, two[] = {3};
    b.addSubBlock(one, 2);
    b.addSubBlock(two, 1);
    EXPECT_EQ(b.totalLength(), 3u);
    b.reset();
    EXPECT_EQ(b.nextByte(), 1);
    EXPECT_EQ(b.nextByte(), 2);
    EXPECT_EQ(b.nextByte(), 3);
    EXPECT_EQ(b.currentSubBlock(), 2);
    try {
        b.nextByte();
        ADD_FAILURE();
    } catch (const EListIndexError& e) {
        EXPECT_EQ(e.text(), "List index out of bounds (2)");
    }
}
