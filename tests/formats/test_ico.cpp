// Icons: which entry shows, how it is drawn, and damaged files.
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/bmp/ico.h"
#include "formats/picture.h"
#include "formats/picture_formats.h"
#include "support/corpus.h"
#include "support/outside_tool.h"

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

IconEntry entry(int w, int h, int bits) {
    IconEntry e;
    e.width = w, e.height = h, e.bitCount = bits;
    return e;
}

QString failure(const QByteArray& bytes) {
    try {
        DecodeIcon(bytes);
    } catch (const PixError& e) {
        return e.text();
    }
    return "loaded";
}

// A one-entry icon written by Qt: 4 x 3, the left column transparent, the rest opaque colours,
// one pixel half transparent.
QByteArray smallIcon() {
    QImage image(4, 3, QImage::Format_ARGB32);
    image.fill(qRgba(200, 100, 50, 255));
    for (int y = 0; y < 3; ++y) image.setPixel(0, y, qRgba(0, 0, 0, 0));
    image.setPixel(3, 2, qRgba(0, 0, 255, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "ico");
    EXPECT_TRUE(writer.write(image));
    return bytes;
}

TEST(Icon, ChoosesTheExact32EntryElseTheLargest) {
    EXPECT_EQ(ChooseIconEntry({entry(16, 16, 32), entry(32, 32, 4), entry(48, 48, 32), entry(32, 32, 8)}), 3);
    EXPECT_EQ(ChooseIconEntry({entry(16, 16, 32), entry(256, 256, 32), entry(48, 48, 32)}), 1);
    EXPECT_EQ(ChooseIconEntry({entry(16, 16, 4), entry(16, 16, 32)}), 1);
    EXPECT_EQ(ChooseIconEntry({entry(32, 16, 32), entry(24, 24, 8)}), 1);
    EXPECT_EQ(ChooseIconEntry({entry(48, 48, 8), entry(48, 48, 8)}), 0);
}

TEST(Icon, CorpusIconsShowTheExpectedEntry) {
    SKIP_WITHOUT_CORPUS();
    const std::vector<std::tuple<const char*, int, int>> cases{
        {"ico/image-rs/multiple_entries_with_different_bit_depth.ico", 32, 32},
        {"ico/pillow/pillow.ico", 32, 32},           // a 256 PNG entry, but a 32 one too
        {"ico/gdk-pixbuf/reftests/bug785447.ico", 32, 32},
        {"ico/pillow/hopper_256x256.ico", 256, 256},
        {"ico/image-rs/lenient-bpp.ico", 256, 256},  // PNG-embedded
        {"ico/gdk-pixbuf/reftests/squares.ico", 100, 100},
        {"ico/image-rs/two-entry-order-test.ico", 48, 48}};
    for (const auto& [name, w, h] : cases) {
        SCOPED_TRACE(name);
        IconGraphic icon;
        ASSERT_NO_THROW(icon.loadFromFile(corpusDir() + "/" + name));
        EXPECT_EQ(icon.width(), w);
        EXPECT_EQ(icon.height(), h);
    }
    // The 32-bit 32 x 32 entry of the mixed file is what Pillow gives for that size.
    REQUIRE_TOOLS(tool::kPillow);
    QByteArray out;
    const QString file = corpusDir() + "/ico/image-rs/multiple_entries_with_different_bit_depth.ico";
    ASSERT_EQ(runProgram("/usr/bin/python3",
                         {"-c",
                          "import sys\nfrom PIL import Image\nim=Image.open(sys.argv[1]); im.size=(32,32)\n"
                          "sys.stdout.buffer.write(im.convert('RGBA').tobytes())",
                          file},
                         &out),
              0);
    ASSERT_EQ(out.size(), 32 * 32 * 4);
    IconGraphic icon;
    icon.loadFromFile(file);
    int compared = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const uchar* p = reinterpret_cast<const uchar*>(out.constData()) + 4 * (32 * y + x);
            const QRgb c = icon.image().pixel(x, y);
            EXPECT_EQ(qAlpha(c), p[3]);
            if (p[3] == 0) continue;
            // Qt's reader goes through premultiplied values: translucent pixels may be 1 off.
            const int tolerance = p[3] == 255 ? 0 : 1;
            EXPECT_LE(std::abs(qRed(c) - p[0]), tolerance) << x << "," << y;
            EXPECT_LE(std::abs(qGreen(c) - p[1]), tolerance) << x << "," << y;
            EXPECT_LE(std::abs(qBlue(c) - p[2]), tolerance) << x << "," << y;
            ++compared;
        }
    EXPECT_GT(compared, 100);
}

TEST(Icon, DrawsUnscaledAtTheCornerOverWhatIsThere) {
    ResetPictureFormats();
    InitPictureFormats();
    QTemporaryDir dir;
    const QString path = dir.filePath("small.ico");
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(smallIcon());
    f.close();
    Picture picture;
    ASSERT_EQ(LoadPictureFile(path, picture), LoadOutcome::Loaded);
    ASSERT_EQ(picture.graphic()->kind(), GraphicKind::Icon);
    Bitmap target;
    target.create(6, 5, 24);
    std::memset(target.bits(), 0x40, target.byteCount());
    picture.stretchDraw(target, QRect(2, 1, 40, 40));  // the rectangle's size does not scale it
    EXPECT_EQ(target.pixelColor(2, 1), qRgb(0x40, 0x40, 0x40));  // transparent column
    EXPECT_EQ(target.pixelColor(3, 1), qRgb(200, 100, 50));
    EXPECT_EQ(target.pixelColor(5, 2), qRgb(200, 100, 50));
    const QRgb half = target.pixelColor(5, 3);
    EXPECT_NEAR(qBlue(half), (255 * 128 + 0x40 * 127) / 255, 1);
    EXPECT_EQ(target.pixelColor(1, 1), qRgb(0x40, 0x40, 0x40));  // outside the icon
    EXPECT_EQ(target.pixelColor(3, 4), qRgb(0x40, 0x40, 0x40));

    // Clipped to the rectangle and the target.
    Bitmap small;
    small.create(3, 3, 24);
    picture.stretchDraw(small, QRect(0, 0, 2, 2));
    EXPECT_EQ(small.pixelColor(1, 1), qRgb(200, 100, 50));
    EXPECT_EQ(small.pixelColor(2, 1), qRgb(0, 0, 0));

    // As a bitmap: over white.
    const Bitmap b = picture.graphic()->toBitmap();
    EXPECT_EQ(b.pixelColor(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(b.pixelColor(1, 0), qRgb(200, 100, 50));
}

TEST(Icon, DamagedFilesFailCleanly) {
    const QByteArray good = smallIcon();
    EXPECT_EQ(failure(good), "loaded");
    EXPECT_EQ(failure({}), "Icon image is not valid");
    EXPECT_EQ(failure(QByteArray::fromHex("000001000000")), "Icon image is not valid");  // no entries
    EXPECT_EQ(failure(QByteArray::fromHex("000003000100")), "Icon image is not valid");  // type 3
    for (qsizetype n = 0; n < good.size(); n += 3) {
        const QString text = failure(good.left(n));
        EXPECT_TRUE(text == "loaded" || text == "Icon image is not valid") << n << text.toStdString();
    }
    // The entry's image header claims 40000 x 40000.
    QByteArray huge = good;
    const int offset = uchar(huge[18]) | (uchar(huge[19]) << 8);
    huge[offset + 4] = char(0x40), huge[offset + 5] = char(0x9C), huge[offset + 6] = 0;
    huge[offset + 8] = char(0x80), huge[offset + 9] = char(0x38), huge[offset + 10] = char(0x01);
    EXPECT_EQ(failure(huge), ImageTooLargeText(40000, 40000));
}

}  // namespace
