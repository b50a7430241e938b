// StretchPicture and StretchPicturePart: the one stretch every window uses. A part must hold
// exactly the pixels the same rectangle has in the whole, for every graphic kind, since the
// preview paints parts of a virtual size that is never made whole.

#include "formats/bmp/bmp.h"
#include "formats/bmp/ico.h"
#include "formats/errors.h"
#include "formats/gif/gif_bitmap.h"
#include "formats/jpeg/jpeg.h"
#include "formats/metafile/metafile.h"
#include "formats/picture.h"
#include "formats/text_utils.h"
#include "metafile_test_files.h"
#include "support/pattern_bitmap.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>

namespace {

constexpr QRgb kWhite = 0xFFFFFFFF;

// The rectangle part of a bitmap, white where it lies outside.
Bitmap cut(const Bitmap& whole, const QRect& part) {
    Bitmap out;
    out.create(part.width(), part.height(), 24);
    for (int y = 0; y < part.height(); ++y)
        for (int x = 0; x < part.width(); ++x) {
            const int sx = part.x() + x, sy = part.y() + y;
            const QRgb c = sx >= 0 && sy >= 0 && sx < whole.width() && sy < whole.height()
                               ? whole.pixelColor(sx, sy)
                               : kWhite;
            uint8_t* p = out.scanLine(y) + 3 * x;
            p[0] = uint8_t(qBlue(c)), p[1] = uint8_t(qGreen(c)), p[2] = uint8_t(qRed(c));
        }
    return out;
}

QString failureOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const PixError& e) {
        return e.text();
    }
    return "no error";
}

Picture jpegPicture(const Bitmap& pixels) {
    auto jpeg = std::make_unique<JpegImage>();
    jpeg->loadFromData(EncodeJpeg(pixels, 85));
    Picture p;
    p.setGraphic(std::move(jpeg));
    return p;
}

Picture iconPicture() {
    QImage image(5, 4, QImage::Format_ARGB32);
    image.fill(qRgba(200, 100, 50, 255));
    for (int y = 0; y < 4; ++y) image.setPixel(0, y, qRgba(0, 0, 0, 0));
    image.setPixel(4, 3, qRgba(0, 0, 255, 128));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    EXPECT_TRUE(QImageWriter(&buffer, "ico").write(image));
    QTemporaryDir dir;
    const QString path = dir.filePath("a.ico");
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    auto icon = std::make_unique<IconGraphic>();
    icon->loadFromFile(path);
    Picture p;
    p.setGraphic(std::move(icon));
    return p;
}

// A 48 x 24 EMF: a filled rectangle and an ellipse, whose anti-aliased edge catches any
// difference in how a part is replayed.
Picture metafilePicture() {
    EmfBuilder emf(48, 24);
    emf.add(SolidBrush(1, QColor(20, 160, 40)));
    emf.add(U_EMRSELECTOBJECT_set(1));
    emf.add(NullPen(2));
    emf.add(U_EMRSELECTOBJECT_set(2));
    emf.add(Rect(2, 2, 20, 12));
    emf.add(U_EMRELLIPSE_set(U_RECTL{10, 5, 45, 22}));
    auto graphic = std::make_unique<MetafileGraphic>(ScreenMetrics());
    graphic->loadFromBytes(emf.finish());
    Picture p;
    p.setGraphic(std::move(graphic));
    return p;
}

// Every part of a grid of odd rectangles, some reaching past the whole, equals the same cut
// of the whole.
void expectPartsMatchTheWhole(const Picture& source, int w, int h, const char* what) {
    const Bitmap whole = StretchPicture(source, w, h);
    ASSERT_EQ(whole.width(), w);
    ASSERT_EQ(whole.height(), h);
    for (const QRect part :
         {QRect(0, 0, w, h), QRect(1, 1, 7, 5), QRect(w / 3, h / 2, 13, 11),
          QRect(w - 5, h - 3, 9, 7), QRect(-4, -2, 6, 5), QRect(0, h - 1, w, 1)}) {
        const Bitmap got = StretchPicturePart(source, w, h, part);
        EXPECT_TRUE(got == cut(whole, part))
            << what << " part " << part.x() << "," << part.y() << " " << part.width() << "x"
            << part.height() << " of " << w << "x" << h;
    }
}

}  // namespace

TEST(StretchPicture, RastersAreSampledByPixelCentres) {
    const Bitmap source = PatternBitmap(13, 9, 24);
    Picture p;
    p.assign(source);
    const Bitmap out = StretchPicture(p, 5, 4);
    ASSERT_EQ(out.bitCount(), 24);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(out.pixelColor(x, y),
                      source.pixelColor((2 * x + 1) * 13 / 10, (2 * y + 1) * 9 / 8));
}

TEST(StretchPicture, BlankIsWhite) {
    const Bitmap empty = StretchPicture(Picture(), 3, 2);
    ASSERT_EQ(empty.width(), 3);
    EXPECT_EQ(empty.pixelColor(2, 1), kWhite);
    EXPECT_EQ(StretchBitmap(Bitmap(), 3, 2).pixelColor(2, 1), kWhite);

    // An icon stays at its size in the corner; its transparent column and the rest show white.
    const Bitmap icon = StretchPicture(iconPicture(), 9, 7);
    EXPECT_EQ(icon.pixelColor(0, 0), kWhite);
    EXPECT_EQ(icon.pixelColor(1, 0), qRgb(200, 100, 50));
    EXPECT_EQ(icon.pixelColor(5, 0), kWhite);
    EXPECT_EQ(icon.pixelColor(1, 4), kWhite);
    EXPECT_EQ(icon.pixelColor(4, 3), qRgb(127, 127, 255));

    const Bitmap emf = StretchPicture(metafilePicture(), 96, 48);
    EXPECT_EQ(emf.pixelColor(0, 0), kWhite);
    EXPECT_EQ(emf.pixelColor(10, 10), qRgb(20, 160, 40));
}

TEST(StretchPicture, SizesZeroNegativeAndTooLarge) {
    Picture p;
    p.assign(PatternBitmap(4, 4, 8));
    EXPECT_TRUE(StretchPicture(p, 0, 10).isEmpty());
    EXPECT_TRUE(StretchPicture(p, 10, 0).isEmpty());
    EXPECT_EQ(failureOf([&] { StretchPicture(p, -1, 10); }), "Range check error");
    EXPECT_EQ(failureOf([&] { StretchPicture(p, 10, -1); }), "Range check error");
    EXPECT_EQ(failureOf([&] { StretchPicturePart(p, 10, 10, QRect(0, 0, -2, 3)); }),
              "Range check error");
    // Refused before anything is allocated, with the limit named.
    EXPECT_EQ(failureOf([&] { StretchPicture(p, 20000, 20000); }),
              "A picture of 20000 x 20000 pixels is too large: at most 1024 MB can be made");
    EXPECT_EQ(failureOf([&] { StretchPicture(p, INT_MAX, INT_MAX); }),
              QString("A picture of %1 x %1 pixels is too large: at most 1024 MB can be made")
                  .arg(INT_MAX));
    // A part of a huge virtual size is only as large as itself.
    EXPECT_EQ(StretchPicturePart(p, 16000, 12000, QRect(15990, 11990, 20, 20)).width(), 20);
}

TEST(StretchPicturePart, RastersOfEveryDepthMatchTheWhole) {
    for (int depth : {1, 4, 8, 24, 32}) {
        Picture p;
        p.assign(PatternBitmap(17, 11, depth));
        expectPartsMatchTheWhole(p, 41, 23, "bitmap");
        expectPartsMatchTheWhole(p, 9, 5, "bitmap shrunk");
    }
    Picture gif;
    gif.setGraphic(std::make_unique<TGifBitmap>(PatternBitmap(15, 7, 8)));
    expectPartsMatchTheWhole(gif, 37, 29, "gif bitmap");
}

TEST(StretchPicturePart, JpegMatchesTheWholeAndDecodesOnce) {
    const Picture streamed = jpegPicture(PatternBitmap(61, 35, 24));
    const Picture kept = streamed;
    // The first whole stretch streams the scanlines; the parts then decode once and keep.
    expectPartsMatchTheWhole(kept, 47, 31, "jpeg");
    const auto* jpeg = static_cast<const JpegImage*>(kept.graphic());
    EXPECT_EQ(jpeg->decodeCount(), 2);
    for (int i = 0; i < 5; ++i) StretchPicturePart(kept, 470, 310, QRect(i * 30, 7, 31, 17));
    StretchPicture(kept, 100, 60);
    EXPECT_EQ(jpeg->decodeCount(), 2);

    // Parts first: one decode, and the whole samples the kept pixels.
    const Picture partsFirst = streamed;
    const Bitmap part = StretchPicturePart(partsFirst, 47, 31, QRect(3, 4, 20, 10));
    EXPECT_TRUE(part == cut(StretchPicture(partsFirst, 47, 31), QRect(3, 4, 20, 10)));
    EXPECT_EQ(static_cast<const JpegImage*>(partsFirst.graphic())->decodeCount(), 1);
}

TEST(StretchPicturePart, IconAndMetafileMatchTheWhole) {
    expectPartsMatchTheWhole(iconPicture(), 23, 13, "icon");
    expectPartsMatchTheWhole(iconPicture(), 3, 2, "icon larger than the target");
    expectPartsMatchTheWhole(metafilePicture(), 97, 53, "metafile");
    expectPartsMatchTheWhole(metafilePicture(), 31, 17, "metafile shrunk");
}

// A target of 1, 4 or 8 bits would be written 3 bytes a pixel while its rows are narrower: every
// drawing entry refuses it before touching a byte.
TEST(StretchTarget, BelowTwentyFourBitsIsRefusedUntouched) {
    const Bitmap source = PatternBitmap(16, 4, 24);
    Picture raster, jpeg = jpegPicture(source), icon = iconPicture(), emf = metafilePicture();
    raster.assign(source);
    for (int depth : {1, 4, 8}) {
        Bitmap target;
        target.create(8, 2, depth);
        const QByteArray before(reinterpret_cast<const char*>(target.bits()),
                                int(target.byteCount()));
        const QRect rect(0, 0, 8, 2);
        EXPECT_THROW(StretchBitmapInto(source, target, 0, 0, 8, 2), PixError) << depth;
        EXPECT_THROW(DecodeJpegStretched(static_cast<const JpegImage*>(jpeg.graphic())->data(),
                                         target, rect),
                     PixError);
        for (const Picture* p : {&raster, &jpeg, &icon, &emf}) {
            EXPECT_THROW(p->stretchDraw(target, rect), PixError) << depth;
            EXPECT_THROW(p->draw(target, 0, 0), PixError) << depth;
        }
        EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(target.bits()), int(target.byteCount())),
                  before);
    }
    Bitmap wide;
    wide.create(8, 2, 32);
    StretchBitmapInto(source, wide, 0, 0, 8, 2);
    EXPECT_EQ(wide.pixelColor(7, 1), source.pixelColor(15, 3));
}
