// Reading and replaying metafiles built here: the gate, natural sizes, the device-context model
// (mapping, world transform, SaveDC, clipping, regions), every DIB depth of the blit records, and
// stretch-drawing into a rectangle.

#include "formats/errors.h"
#include "formats/metafile/metafile.h"
#include "formats/metafile/metafile_canvas.h"
#include "formats/picture_formats.h"
#include "metafile_test_files.h"
#include "support/memory.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255),
    kBlack(0, 0, 0), kYellow(255, 255, 0), kCyan(0, 255, 255), kMagenta(255, 0, 255);

QColor at(const Bitmap& b, int x, int y) {
    return QColor(b.pixelColor(x, y));
}

MetafileGraphic load(const QByteArray& bytes) {
    MetafileGraphic g;
    g.loadFromBytes(bytes);
    return g;
}

QString errorOf(const QByteArray& bytes) {
    try {
        load(bytes);
    } catch (const PixError& e) {
        return e.text();
    }
    return QString();
}

// 48 x 24 in 12-pixel blocks: top row red, green, blue, white; bottom row black, yellow, cyan,
// magenta; the 1-bit DIB alternates red and blue.
const std::vector<QColor> kEight = {kRed, kGreen, kBlue, kWhite, kBlack, kYellow, kCyan, kMagenta};
int blocks(int x, int y) {
    return x / 12 + 4 * (y / 12);
}
int checks(int x, int y) {
    return (x / 12 + y / 12) % 2;
}

QByteArray stretchDibitsFile(const TestDib& dib, int width, int height, U_POINTL dest = {0, 0},
                             U_POINTL destSize = {48, 24}) {
    EmfBuilder emf(48, 24);
    std::vector<char> bits = dib.bits;
    emf.add(
        U_EMRSTRETCHDIBITS_set(U_RECTL{0, 0, 47, 23}, dest, destSize,
                               U_POINTL{0, 0}, U_POINTL{width, height}, U_DIB_RGB_COLORS, U_SRCCOPY,
                               reinterpret_cast<PU_BITMAPINFO>(const_cast<char*>(dib.info.data())),
                               uint32_t(bits.size()), bits.data()));
    return emf.finish();
}

void expectBlocks(const Bitmap& b, const std::vector<QColor>& palette, int (*pattern)(int, int),
                  const std::string& what) {
    ASSERT_EQ(b.width(), 48) << what;
    ASSERT_EQ(b.height(), 24) << what;
    for (int by = 0; by < 2; ++by)
        for (int bx = 0; bx < 4; ++bx) {
            // Every pixel of the block, corners included: drawing at natural size is 1:1.
            for (int y = by * 12; y < by * 12 + 12; ++y)
                for (int x = bx * 12; x < bx * 12 + 12; ++x)
                    if (at(b, x, y) != palette[size_t(pattern(x, y))]) {
                        ADD_FAILURE() << what << ": pixel " << x << "," << y << " is "
                                      << at(b, x, y).name().toStdString();
                        return;
                    }
        }
}

TEST(MetafileBlits, StretchDibitsKeepsEveryDepthsColours) {
    expectBlocks(
        load(stretchDibitsFile(MakeDib(48, 24, 1, {kRed, kBlue}, checks), 48, 24)).toBitmap(),
        {kRed, kBlue}, checks, "1-bit");
    for (int depth : {4, 8, 16, 24, 32}) {
        const QByteArray file = stretchDibitsFile(MakeDib(48, 24, depth, kEight, blocks), 48, 24);
        expectBlocks(load(file).toBitmap(), kEight, blocks, std::to_string(depth) + "-bit");
    }
    expectBlocks(
        load(stretchDibitsFile(MakeDib(48, 24, 8, kEight, blocks, U_BI_RLE8), 48, 24)).toBitmap(),
        kEight, blocks, "RLE8");
    expectBlocks(
        load(stretchDibitsFile(MakeDib(48, 24, 4, kEight, blocks, U_BI_RLE4), 48, 24)).toBitmap(),
        kEight, blocks, "RLE4");
    expectBlocks(
        load(stretchDibitsFile(MakeDib(48, 24, 24, kEight, blocks, 0, true), 48, 24)).toBitmap(),
        kEight, blocks, "top-down 24-bit");
}

TEST(MetafileBlits, NegativeDestinationSizesMirrorTheSource) {
    const TestDib dib = MakeDib(48, 24, 24, kEight, blocks);
    struct Case {
        U_POINTL dest, size;
        bool flipX, flipY;
    };
    for (const Case& c : {Case{{48, 0}, {-48, 24}, true, false}, Case{{0, 24}, {48, -24}, false, true},
                          Case{{48, 24}, {-48, -24}, true, true}}) {
        const Bitmap b = load(stretchDibitsFile(dib, 48, 24, c.dest, c.size)).toBitmap();
        ASSERT_EQ(b.width(), 48);
        int wrong = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 48; ++x) {
                const int sx = c.flipX ? 47 - x : x, sy = c.flipY ? 23 - y : y;
                if (at(b, x, y) != kEight[size_t(blocks(sx, sy))]) ++wrong;
            }
        EXPECT_EQ(wrong, 0) << c.flipX << c.flipY;
    }
}

TEST(MetafileBlits, BitBltAndSetDibitsToDevicePlaceTheSource) {
    const TestDib dib = MakeDib(48, 24, 24, kEight, blocks);
    std::vector<char> bits = dib.bits;
    auto* info = reinterpret_cast<PU_BITMAPINFO>(const_cast<char*>(dib.info.data()));
    const U_XFORM identity = xform_set(1, 0, 0, 1, 0, 0);
    {
        EmfBuilder emf(48, 24);
        emf.add(U_EMRBITBLT_set(U_RECTL{0, 0, 47, 23}, U_POINTL{0, 0}, U_POINTL{48, 24},
                                U_POINTL{0, 0}, identity, Colour(kWhite), U_DIB_RGB_COLORS,
                                U_SRCCOPY, info, uint32_t(bits.size()), bits.data()));
        expectBlocks(load(emf.finish()).toBitmap(), kEight, blocks, "BITBLT");
    }
    {
        EmfBuilder emf(48, 24);
        emf.add(U_EMRSETDIBITSTODEVICE_set(U_RECTL{0, 0, 47, 23}, U_POINTL{0, 0}, U_POINTL{0, 0},
                                           U_POINTL{48, 24}, U_DIB_RGB_COLORS, 0, 24, info,
                                           uint32_t(bits.size()), bits.data()));
        expectBlocks(load(emf.finish()).toBitmap(), kEight, blocks, "SETDIBITSTODEVICE");
    }
    {
        // STRETCHBLT of the top-left block over the whole picture.
        EmfBuilder emf(48, 24);
        emf.add(U_EMRSTRETCHBLT_set(U_RECTL{0, 0, 47, 23}, U_POINTL{0, 0}, U_POINTL{48, 24},
                                    U_POINTL{12, 0}, U_POINTL{12, 12}, identity, Colour(kWhite),
                                    U_DIB_RGB_COLORS, U_SRCCOPY, info, uint32_t(bits.size()),
                                    bits.data()));
        const Bitmap b = load(emf.finish()).toBitmap();
        EXPECT_EQ(at(b, 0, 0), kGreen);
        EXPECT_EQ(at(b, 47, 23), kGreen);
    }
}

TEST(MetafileBlits, DibClaimingMoreThanItCarriesDrawsNoGarbage) {
    // The header claims 48 x 24 but only four rows of bits follow: nothing outside the record
    // is read (ASan), and the rows that exist are drawn.
    TestDib dib = MakeDib(48, 24, 24, kEight, blocks);
    dib.bits.resize(size_t(48 * 3) * 4);
    const Bitmap b = load(stretchDibitsFile(dib, 48, 24)).toBitmap();
    EXPECT_EQ(at(b, 0, 23), kBlack);  // bottom-up: the first stored rows are the bottom ones
    EXPECT_EQ(at(b, 20, 23), kYellow);
}

TEST(MetafileDeviceContext, MappingWorldTransformSaveDcAndClip) {
    EmfBuilder emf(48, 24);
    // Logical 100 x 50 onto the 48 x 24 device pixels.
    emf.add(U_EMRSETMAPMODE_set(U_MM_ANISOTROPIC))
        .add(U_EMRSETWINDOWEXTEX_set(U_SIZEL{100, 50}))
        .add(U_EMRSETVIEWPORTEXTEX_set(U_SIZEL{48, 24}))
        .add(NullPen(1))
        .add(U_EMRSELECTOBJECT_set(1))
        .add(SolidBrush(2, kRed))
        .add(U_EMRSELECTOBJECT_set(2))
        .add(U_EMRSAVEDC_set())
        .add(SolidBrush(3, kGreen))
        .add(U_EMRSELECTOBJECT_set(3))
        .add(U_EMRRESTOREDC_set(-1))
        .add(Rect(0, 0, 50, 50))  // left half, red: the green brush went with the restore
        .add(SolidBrush(4, kBlue))
        .add(U_EMRSELECTOBJECT_set(4))
        .add(U_EMRSETWORLDTRANSFORM_set(xform_set(1, 0, 0, 1, 75, 0)))
        .add(Rect(0, 0, 25, 25))  // shifted by the world transform: top of the right quarter
        .add(U_EMRSETWORLDTRANSFORM_set(xform_set(1, 0, 0, 1, 0, 0)))
        .add(U_EMRINTERSECTCLIPRECT_set(U_RECTL{50, 25, 75, 50}))
        .add(SolidBrush(5, kBlack))
        .add(U_EMRSELECTOBJECT_set(5))
        .add(Rect(0, 0, 100, 50));  // only the clip's quarter turns black
    const Bitmap b = load(emf.finish()).toBitmap();
    EXPECT_EQ(at(b, 5, 5), kRed);
    EXPECT_EQ(at(b, 5, 20), kRed);
    EXPECT_EQ(at(b, 42, 5), kBlue);
    EXPECT_EQ(at(b, 30, 5), kWhite);
    EXPECT_EQ(at(b, 30, 18), kBlack);
    EXPECT_EQ(at(b, 42, 18), kWhite);
}

TEST(MetafileDeviceContext, PathsPolyPolygonsAndRegions) {
    EmfBuilder emf(48, 24);
    const U_POINT16 square[4] = {{0, 0}, {12, 0}, {12, 12}, {0, 12}};
    const U_POINT16 two[8] = {{24, 0},  {36, 0},  {36, 12}, {24, 12},
                              {36, 12}, {48, 12}, {48, 24}, {36, 24}};
    const uint32_t counts[2] = {4, 4};
    U_RECTL clipRect{0, 12, 12, 24};
    const U_RGNDATAHEADER rdh = rgndataheader_set(1, clipRect);
    PU_RGNDATA region = rgndata_set(rdh, &clipRect);
    emf.add(NullPen(1))
        .add(U_EMRSELECTOBJECT_set(1))
        .add(SolidBrush(2, kRed))
        .add(U_EMRSELECTOBJECT_set(2))
        .add(U_EMRBEGINPATH_set())
        .add(U_EMRPOLYGON16_set(U_RECTL{0, 0, 12, 12}, 4, square))
        .add(U_EMRENDPATH_set())
        .add(U_EMRFILLPATH_set(U_RECTL{0, 0, 12, 12}))
        .add(SolidBrush(3, kBlue))
        .add(U_EMRSELECTOBJECT_set(3))
        .add(U_EMRPOLYPOLYGON16_set(U_RECTL{24, 0, 48, 24}, 2, counts, 8, two))
        .add(U_EMREXTSELECTCLIPRGN_set(U_RGN_COPY, region))
        .add(SolidBrush(4, kGreen))
        .add(U_EMRSELECTOBJECT_set(4))
        .add(Rect(0, 0, 48, 24));
    free(region);
    const Bitmap b = load(emf.finish()).toBitmap();
    EXPECT_EQ(at(b, 6, 6), kRed);
    EXPECT_EQ(at(b, 30, 6), kBlue);
    EXPECT_EQ(at(b, 42, 18), kBlue);
    EXPECT_EQ(at(b, 42, 6), kWhite);
    EXPECT_EQ(at(b, 6, 18), kGreen);   // inside the clip region
    EXPECT_EQ(at(b, 18, 18), kWhite);  // outside it
}

TEST(MetafileDeviceContext, TextIsDrawnInTheTextColour) {
    EmfBuilder emf(96, 48);
    U_LOGFONT font =
        logfont_set(-30, 0, 0, 0, U_FW_BOLD, 0, 0, 0, U_ANSI_CHARSET, U_OUT_DEFAULT_PRECIS,
                    U_CLIP_DEFAULT_PRECIS, U_DEFAULT_QUALITY, U_DEFAULT_PITCH, nullptr);
    const char16_t face[] = u"Arial";
    std::memcpy(font.lfFaceName, face, sizeof face);
    const uint16_t text[] = {'H', 'H', 'H'};
    emf.add(U_EMREXTCREATEFONTINDIRECTW_set(1, reinterpret_cast<const char*>(&font), nullptr))
        .add(U_EMRSELECTOBJECT_set(1))
        .add(U_EMRSETTEXTCOLOR_set(Colour(kBlue)))
        .add(U_EMRSETBKMODE_set(U_TRANSPARENT))
        .add(U_EMRSETTEXTALIGN_set(U_TA_TOP | U_TA_LEFT));
    uint32_t advances[] = {22, 22, 22};
    auto etext = reinterpret_cast<PU_EMRTEXT>(
        emrtext_set(U_POINTL{4, 4}, 3, 2, const_cast<uint16_t*>(text), 0, U_RCL_DEF, advances));
    emf.add(U_EMREXTTEXTOUTW_set(U_RCL_DEF, U_GM_COMPATIBLE, 1, 1, etext));
    free(etext);
    const Bitmap b = load(emf.finish()).toBitmap();
    int blue = 0, other = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            const QColor c = at(b, x, y);
            if (c == kBlue)
                ++blue;
            else if (c != kWhite && (c.red() != c.green() || c.blue() < c.red()))
                ++other;
        }
    EXPECT_GT(blue, 60);  // three bold capitals about 22 pixels tall
    EXPECT_EQ(other, 0);  // only blue and its blends with white
    // The glyphs start at the reference point: nothing left of x = 4 or above y = 4.
    for (int y = 0; y < b.height(); ++y) EXPECT_EQ(at(b, 2, y), kWhite);
}

TEST(MetafileDraw, StretchDrawReplaysScaledIntoTheRectangleOnly) {
    const MetafileGraphic g = load(stretchDibitsFile(MakeDib(48, 24, 24, kEight, blocks), 48, 24));
    for (int depth : {24, 32}) {
        Bitmap target;
        target.create(120, 70, depth);
        std::fill(target.bits(), target.bits() + target.byteCount(), uint8_t(0xFF));
        g.stretchDraw(target, QRect(10, 10, 96, 48));
        EXPECT_EQ(at(target, 5, 5), kWhite);
        EXPECT_EQ(at(target, 110, 65), kWhite);
        EXPECT_EQ(at(target, 10, 10), kRed);
        EXPECT_EQ(at(target, 10 + 24 * 2 + 12, 10 + 12), kBlue);
        EXPECT_EQ(at(target, 10 + 95, 10 + 47), kMagenta);
        EXPECT_EQ(at(target, 10 + 96, 10 + 48), kWhite);
    }
    // A rectangle partly outside the target is clipped, not wrapped.
    Bitmap small;
    small.create(30, 30, 24);
    std::fill(small.bits(), small.bits() + small.byteCount(), uint8_t(0xFF));
    g.stretchDraw(small, QRect(-48, -24, 96, 48));
    EXPECT_EQ(at(small, 0, 0), kCyan);
    EXPECT_EQ(at(small, 29, 10), kMagenta);
    // draw() uses the natural size at the given corner.
    Bitmap canvas;
    canvas.create(60, 30, 24);
    g.draw(canvas, 5, 3);
    EXPECT_EQ(at(canvas, 5, 3), kRed);
    EXPECT_EQ(at(canvas, 52, 26), kMagenta);
}

TEST(MetafileGate, RefusesWhatIsNotAMetafile) {
    EXPECT_EQ(errorOf(QByteArray()), "Metafile is not valid");
    EXPECT_EQ(errorOf(QByteArray("\x89PNG\r\n\x1a\n", 8) + QByteArray(100, 0)),
              "Metafile is not valid");
    EXPECT_EQ(errorOf(QByteArray(200, '\x01')), "Metafile is not valid");
    // A WMF header that says it is 10 words long.
    WmfBuilder wmf;
    QByteArray bad = wmf.finish(false, 0, 0, 0, 0, 0, 1);
    bad[2] = 10;
    EXPECT_EQ(errorOf(bad), "Metafile is not valid");
    // An EMF whose header signature is wrong.
    QByteArray emf = stretchDibitsFile(MakeDib(48, 24, 8, kEight, blocks), 48, 24);
    emf[40] = 'X';
    EXPECT_EQ(errorOf(emf), "Metafile is not valid");

    MetafileGraphic g;
    try {
        g.loadFromFile("/nonexistent/folder/x.emf");
        ADD_FAILURE() << "no error";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "Cannot open file /nonexistent/folder/x.emf");
    }
}

TEST(MetafileGate, EveryPrefixLoadsOrFailsCleanly) {
    WmfBuilder w;
    w.record(0x02FC, {0, 0x00FF, 0, 0});  // red brush
    w.record(0x012D, {0});
    w.record(0x041B, {20, 20, 0, 0});
    w.record(0x0324, {3, 0, 0, 30, 0, 15, 20});
    const QByteArray files[] = {
        stretchDibitsFile(MakeDib(48, 24, 4, kEight, blocks, U_BI_RLE4), 48, 24),
        w.finish(true, 0, 0, 48, 24, 96, 2),
    };
    for (const QByteArray& file : files) {
        for (qsizetype n = 0; n <= file.size(); ++n) {
            // A copy of exactly n bytes, so ASan sees any read past it.
            const QByteArray prefix(file.constData(), n);
            MetafileGraphic g;
            try {
                g.loadFromBytes(prefix);
            } catch (const PixError& e) {
                ASSERT_EQ(e.text(), "Metafile is not valid") << n;
                continue;
            }
            if (g.width() > 0 && g.height() > 0) g.toBitmap();
        }
    }
}

TEST(MetafileGate, PolyPolygonWhoseCountsDoNotAddUpIsDroppedAndTheRestPlays) {
    EmfBuilder emf(48, 24);
    const U_POINT16 pts[4] = {{0, 0}, {48, 0}, {48, 24}, {0, 24}};
    const uint32_t counts[1] = {4};
    char* poly = U_EMRPOLYPOLYGON16_set(U_RECTL{0, 0, 48, 24}, 1, counts, 4, pts);
    // Say 400 points in the polygon, 4 in the record.
    reinterpret_cast<U_EMRPOLYPOLYGON16*>(poly)->aPolyCounts[0] = 400;
    emf.add(NullPen(1))
        .add(U_EMRSELECTOBJECT_set(1))
        .add(SolidBrush(2, kRed))
        .add(U_EMRSELECTOBJECT_set(2));
    emf.add(poly).add(Rect(0, 0, 12, 12));
    const MetafileGraphic g = load(emf.finish());
    EXPECT_TRUE(g.isDamaged());
    const Bitmap b = g.toBitmap();
    EXPECT_EQ(at(b, 6, 6), kRed);
    EXPECT_EQ(at(b, 30, 18), kWhite);
}

TEST(MetafileSanity, AbsurdCoordinatesWidthsAndFontsAreRefusedQuickly) {
    EmfBuilder emf(48, 24);
    U_LOGFONT font =
        logfont_set(-2000000000, 0, 0, 0, 0, 0, 0, 0, U_ANSI_CHARSET, 0, 0, 0, 0, nullptr);
    const uint16_t text[] = {'A'};
    uint32_t advance[] = {10};
    auto etext = reinterpret_cast<PU_EMRTEXT>(
        emrtext_set(U_POINTL{0, 0}, 1, 2, const_cast<uint16_t*>(text), 0, U_RCL_DEF, advance));
    emf.add(U_EMRCREATEPEN_set(1, logpen_set(U_PS_DASH, U_POINT{2000000000, 0}, Colour(kBlack))))
        .add(U_EMRSELECTOBJECT_set(1))
        .add(U_EMRELLIPSE_set(U_RECTL{-2000000000, -2000000000, 2000000000, 2000000000}))
        .add(U_EMRSETWORLDTRANSFORM_set(xform_set(1e30f, 0, 0, 1e30f, 0, 0)))
        .add(Rect(0, 0, 10, 10))
        .add(U_EMRSETWORLDTRANSFORM_set(xform_set(1, 0, 0, 1, 0, 0)))
        .add(U_EMREXTCREATEFONTINDIRECTW_set(2, reinterpret_cast<const char*>(&font), nullptr))
        .add(U_EMRSELECTOBJECT_set(2))
        .add(U_EMREXTTEXTOUTW_set(U_RCL_DEF, U_GM_COMPATIBLE, 1, 1, etext))
        .add(U_EMRSAVEDC_set());
    free(etext);
    for (int i = 0; i < 10000; ++i) emf.add(U_EMRSAVEDC_set());
    emf.add(U_EMRRESTOREDC_set(-20000)).add(NullPen(3)).add(U_EMRSELECTOBJECT_set(3));
    emf.add(SolidBrush(4, kGreen)).add(U_EMRSELECTOBJECT_set(4)).add(Rect(0, 0, 48, 24));
    const Bitmap b = load(emf.finish()).toBitmap();
    EXPECT_EQ(at(b, 20, 10), kGreen);  // the last, sane rectangle still lands
}

// Two characters whose em is `em` logical units in a 64 x 48 frame, `width` wide on average (0:
// the font's own width).
QByteArray bigTextFile(int em, int width, const uint16_t (&text)[2] = {'P', 'U'},
                       bool inPath = false) {
    EmfBuilder emf(64, 48);
    U_LOGFONT font = logfont_set(-em, width, 0, 0, 0, 0, 0, 0, U_ANSI_CHARSET, 0, 0, 0, 0, nullptr);
    const char16_t face[] = u"Courier New";
    std::memcpy(font.lfFaceName, face, sizeof face);
    uint32_t advances[] = {uint32_t(em), uint32_t(em)};
    auto etext = reinterpret_cast<PU_EMRTEXT>(
        emrtext_set(U_POINTL{0, 0}, 2, 2, const_cast<uint16_t*>(text), 0, U_RCL_DEF, advances));
    emf.add(U_EMREXTCREATEFONTINDIRECTW_set(1, reinterpret_cast<const char*>(&font), nullptr))
        .add(U_EMRSELECTOBJECT_set(1))
        .add(U_EMRSETBKMODE_set(U_TRANSPARENT))
        .add(U_EMRSETTEXTALIGN_set(U_TA_TOP | U_TA_LEFT));
    if (inPath)
        emf.add(SolidBrush(2, kBlack)).add(U_EMRSELECTOBJECT_set(2)).add(U_EMRBEGINPATH_set());
    emf.add(U_EMREXTTEXTOUTW_set(U_RCL_DEF, U_GM_COMPATIBLE, 1, 1, etext));
    if (inPath) emf.add(U_EMRENDPATH_set()).add(U_EMRFILLPATH_set(U_RCL_DEF));
    free(etext);
    return emf.finish();
}

TEST(MetafileSanity, HugeTextCostsLittleMemoryAndOutlinesKeepTheirSize) {
    // A Devanagari mark in a font without it, with an em of 18,000 pixels: Qt kept the image of
    // what it drew in its glyph cache, 1.3 GB and 6 s from a file of 2 KB.
    const MetafileGraphic huge = load(bigTextFile(20000, 0, {0x0955, 0x0955}));
    const bool measured = ResetPeakResident();
    const long before = ResidentMiB();
    QImage thumbnail(60, 44, QImage::Format_RGB32);
    thumbnail.fill(Qt::white);
    huge.render(thumbnail, QRect(0, 0, 60, 44));
    if (measured && before >= 0) EXPECT_LT(PeakResidentMiB() - before, 100);

    // Large glyphs drawn as outlines still take the width the font asks for: the P's ink, drawn
    // ten-fold (an em of 300 pixels, the U placed 300 pixels on).
    auto inkWidth = [](const QByteArray& file) {
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(Qt::white);
        load(file).render(image, image.rect());
        int right = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < 300; ++x)
                if (qGray(image.pixel(x, y)) < 128) right = std::max(right, x);
        return right;
    };
    const int plain = inkWidth(bigTextFile(30, 0)), narrow = inkWidth(bigTextFile(30, 6));
    EXPECT_GT(plain, 0);
    EXPECT_LT(narrow, plain * 3 / 4);
    // Text made into a path and filled has the size of text drawn (it was a third larger).
    EXPECT_NEAR(inkWidth(bigTextFile(30, 0, {'P', 'U'}, true)), plain, 2);
}

// A scene whose shapes reach thousands of pixels past a 48 x 24 target: filled polygons (solid
// and hatched), a wide pen with round joins, a dashed pen, a patterned pen and a one-pixel line.
QImage drawFarReachingScene(const QRectF& targetClip) {
    QImage image(48, 24, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    MetafileCanvas canvas(painter, QTransform(), targetClip, QPointF(4, 4), false);
    DcState& dc = canvas.dc();
    dc.world = QTransform::fromScale(50, 50);  // logical units of 50 pixels
    dc.fillRule = Qt::WindingFill;
    dc.pen.null = true;
    dc.brush = LogicalBrush{LogicalBrush::Kind::Solid, kGreen, 0, {}, false};
    canvas.polygon(QPolygonF({{-100, -80}, {0.5, 0.2}, {100, -90}, {90, 100}, {0.2, 0.4}}));
    dc.brush = LogicalBrush{LogicalBrush::Kind::Hatched, kBlue, 3, {}, false};
    canvas.polygon(QPolygonF({{-100, 0.3}, {100, 0.25}, {100, 100}, {-100, 100}}));
    dc.pen = LogicalPen{};
    dc.pen.cosmetic = false;
    dc.pen.width = 0.12;
    dc.pen.color = kRed;
    canvas.polyline(QPolygonF({{-90, 0.1}, {0.3, 0.05}, {0.6, 0.3}, {90, -60}}));
    dc.pen.style = 1;  // dashed
    dc.pen.color = kMagenta;
    dc.pen.width = 0.05;
    canvas.polyline(QPolygonF({{-80, 0.42}, {80, 0.2}}));
    dc.pen.style = 0;
    dc.pen.hatch = 2;
    dc.pen.width = 0.08;
    canvas.polyline(QPolygonF({{0.1, -70}, {0.15, 70}}));
    dc.pen = LogicalPen{};
    dc.pen.color = kBlack;
    canvas.polyline(QPolygonF({{-100, -1}, {100, 1}}));
    return image;
}

TEST(MetafileSanity, ShapesReachingFarPastTheTargetDrawAsIfUncut) {
    // With a 48 x 24 clip the shapes reach far past it and are cut before Qt rasterizes them;
    // with a clip of 6000 pixels they are drawn whole. What shows must match.
    const QImage cut = drawFarReachingScene(QRectF(0, 0, 48, 24));
    const QImage whole = drawFarReachingScene(QRectF(-3000, -3000, 6048, 6024));
    int differing = 0;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 48; ++x)
            if (cut.pixel(x, y) != whole.pixel(x, y)) ++differing;
    // Cut outlines rasterize like whole ones but for a few edge pixels (dashes and joins are
    // computed in another order); a wrong mapping or brush would differ in hundreds.
    EXPECT_LE(differing, 6);
    // The scene is not blank: each colour shows somewhere.
    QSet<QRgb> colours;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 48; ++x) colours.insert(cut.pixel(x, y));
    for (QColor c : {kGreen, kBlue, kRed, kMagenta, kBlack})
        EXPECT_TRUE(colours.contains(c.rgb())) << c.name().toStdString();
}

// WMF: word-built files, placeable and not.
QByteArray halfRedWmf(bool placeable) {
    WmfBuilder w;
    if (!placeable) {
        w.record(0x020B, {0, 0});    // SETWINDOWORG 0,0
        w.record(0x020C, {32, 64});  // SETWINDOWEXT 64 x 32
    }
    w.record(0x02FA, {5, 0, 0, 0, 0});  // null pen
    w.record(0x012D, {0});
    w.record(0x02FC, {0, 0x00FF, 0, 0});  // solid red brush
    w.record(0x012D, {1});
    if (placeable)
        w.record(0x041B, {480, 480, 0, 0});  // left half of 960 x 480 units
    else
        w.record(0x041B, {32, 32, 0, 0});
    return w.finish(placeable, 0, 0, 960, 480, 1440, 2);
}

TEST(MetafileWmf, PlaceableAndPlainFilesGetTheirNaturalSizeAndPlay) {
    for (bool placeable : {true, false}) {
        const MetafileGraphic g = load(halfRedWmf(placeable));
        EXPECT_TRUE(g.isWmf());
        // 960 units at 1440 per inch is 2/3 inch, 64 pixels at 96 dpi; the plain file's window
        // extent counts as pixels.
        EXPECT_EQ(g.width(), 64) << placeable;
        EXPECT_EQ(g.height(), 32) << placeable;
        const Bitmap b = g.toBitmap();
        EXPECT_EQ(at(b, 5, 5), kRed) << placeable;
        EXPECT_EQ(at(b, 31, 31), kRed) << placeable;
        EXPECT_EQ(at(b, 40, 5), kWhite) << placeable;
    }
    ScreenMetrics hiDpi;
    hiDpi.logicalDpi = 192;
    MetafileGraphic big(hiDpi);
    big.loadFromBytes(halfRedWmf(true));
    EXPECT_EQ(big.width(), 128);
}

TEST(MetafileWmf, DibStretchBltAndRegionsPlay) {
    const TestDib dib = MakeDib(48, 24, 8, kEight, blocks);
    WmfBuilder w;
    std::vector<uint16_t> params = {
        uint16_t(U_SRCCOPY & 0xFFFF), uint16_t(U_SRCCOPY >> 16), 24, 48, 0, 0, 24, 48, 0, 0};
    std::vector<char> packed(dib.info);
    packed.insert(packed.end(), dib.bits.begin(), dib.bits.end());
    for (size_t i = 0; i + 1 < packed.size(); i += 2)
        params.push_back(uint16_t(uint8_t(packed[i]) | (uint8_t(packed[i + 1]) << 8)));
    w.record(0x0B41, params);  // DIBSTRETCHBLT
    // A one-scan region over the bottom-left block, filled green.
    w.record(0x02FC, {0, 0xFF00, 0, 0});
    w.record(0x06FF, {0, 6, 0, 0, 0, 1, 0, 0, 12, 12, 24, 2, 12, 24, 0, 12, 2});
    w.record(0x0228, {1, 0});
    const Bitmap b = load(w.finish(true, 0, 0, 48, 24, 96, 4)).toBitmap();
    EXPECT_EQ(at(b, 18, 6), kGreen);  // from the DIB
    EXPECT_EQ(at(b, 30, 18), kCyan);
    EXPECT_EQ(at(b, 6, 18), kGreen);  // the region

    // SETDIBTODEV has no raster operation before its fields.
    WmfBuilder d;
    std::vector<uint16_t> fields = {0, 24, 0, 0, 0, 24, 48, 0, 0};
    fields.insert(fields.end(), params.begin() + 10, params.end());
    d.record(0x0D33, fields);
    const Bitmap direct = load(d.finish(true, 0, 0, 48, 24, 96, 1)).toBitmap();
    EXPECT_EQ(at(direct, 18, 6), kGreen);
    EXPECT_EQ(at(direct, 42, 18), kMagenta);
}

TEST(MetafileWmf, BitFieldDibsFindTheirBitsAfterTheMasks) {
    // The masks after a 40-byte header are 12 bytes for bit fields, 16 with alpha bit fields:
    // the bits start after them, wherever the record puts the DIB.
    struct Case {
        int bitCount;
        uint32_t compression;
        std::vector<uint32_t> masks;
        uint32_t pixel;  // red
    };
    const std::vector<Case> cases = {
        {16, 3, {0xF800, 0x07E0, 0x001F}, 0xF800},
        {32, 6, {0xFF0000, 0x00FF00, 0x0000FF, 0xFF000000}, 0xFFFF0000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.compression);
        std::vector<uint8_t> dib;
        auto put32 = [&dib](uint32_t v) {
            for (int i = 0; i < 4; ++i) dib.push_back(uint8_t(v >> (8 * i)));
        };
        const int width = 48, height = 24, bytesPerPixel = c.bitCount / 8;
        const int stride = (width * bytesPerPixel + 3) / 4 * 4;
        put32(40), put32(width), put32(height);
        put32(1u | (uint32_t(c.bitCount) << 16));
        put32(c.compression), put32(uint32_t(stride * height)), put32(0), put32(0), put32(0),
            put32(0);
        for (uint32_t m : c.masks) put32(m);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < stride / bytesPerPixel; ++x)
                for (int i = 0; i < bytesPerPixel; ++i) dib.push_back(uint8_t(c.pixel >> (8 * i)));
        WmfBuilder w;
        std::vector<uint16_t> params = {uint16_t(U_SRCCOPY & 0xFFFF), uint16_t(U_SRCCOPY >> 16),
                                        24, 48, 0, 0, 24, 48, 0, 0};
        for (size_t i = 0; i + 1 < dib.size(); i += 2)
            params.push_back(uint16_t(dib[i] | (dib[i + 1] << 8)));
        w.record(0x0B41, params);  // DIBSTRETCHBLT
        const Bitmap b = load(w.finish(true, 0, 0, 48, 24, 96, 1)).toBitmap();
        EXPECT_EQ(at(b, 0, 0), kRed);
        EXPECT_EQ(at(b, 47, 23), kRed);
    }
}

TEST(MetafileFile, SavesTheBytesAsLoadedAndRegistersItsFactory) {
    QTemporaryDir dir;
    const QByteArray wmf = halfRedWmf(true);
    const QString source = dir.filePath("in.wmf"), copy = dir.filePath("copy.wmf");
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(wmf);
    f.close();
    ResetPictureFormats();
    InitMetafileModule();
    std::unique_ptr<Graphic> g = MakeGraphic(GraphicKind::Metafile);
    ASSERT_TRUE(g);
    g->loadFromFile(source);
    g->saveToFile(copy);
    QFile back(copy);
    ASSERT_TRUE(back.open(QIODevice::ReadOnly));
    EXPECT_EQ(back.readAll(), wmf);
    const std::unique_ptr<Graphic> twin = g->clone();
    EXPECT_EQ(twin->toBitmap(), g->toBitmap());
    ResetPictureFormats();
}

}  // namespace
