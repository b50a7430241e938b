// The picture holder, the format registry and LoadPictureFile's routing.
#include "formats/bmp/bmp.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/jpeg/jpeg.h"
#include "formats/picture.h"
#include "formats/picture_formats.h"
#include "formats/tiff/tiff_writer.h"
#include "support/recording_host.h"
#include "support/corpus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

Bitmap solid(int w, int h, QRgb colour) {
    Bitmap b;
    b.create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            b.scanLine(y)[3 * x] = uint8_t(qBlue(colour));
            b.scanLine(y)[3 * x + 1] = uint8_t(qGreen(colour));
            b.scanLine(y)[3 * x + 2] = uint8_t(qRed(colour));
        }
    return b;
}

QString loadFailure(const QString& path, Picture& picture) {
    try {
        (void)LoadPictureFile(path, picture);
    } catch (const PixError& e) {
        return e.text();
    }
    return "loaded";
}

class PictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetPictureFormats();
        InitPictureFormats();
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + "/";
    }
    QString write(const QString& name, const QByteArray& bytes) {
        QFile f(folder + name);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return folder + name;
    }

    QTemporaryDir dir;
    QString folder;
    RecordingHost host;
};

TEST_F(PictureTest, RegistryHoldsTheStartUpEntriesInOrder) {
    std::vector<std::tuple<QString, QString, GraphicKind>> expected{
        {"wmf", "Metafiles", GraphicKind::Metafile},
        {"emf", "Enhanced Metafiles", GraphicKind::Metafile},
        {"ico", "Icons", GraphicKind::Icon},
        {"bmp", "Bitmaps", GraphicKind::Bitmap},
        {"jpeg", "JPEG Image File", GraphicKind::Jpeg},
        {"jpg", "JPEG Image File", GraphicKind::Jpeg},
        {"jpe", "JPEG Image File", GraphicKind::Jpeg}};
    expected.emplace_back("gif", "GIF-Format", GraphicKind::GifBitmap);
    expected.emplace_back("png", "PNG Image", GraphicKind::Png);
    expected.emplace_back("webp", "WebP Image", GraphicKind::WebP);
    for (const char* heif : {"heic", "heif", "avif"})
        expected.emplace_back(heif, "HEIF Image", GraphicKind::Heif);
    const auto& registry = PictureFormatRegistry();
    ASSERT_EQ(registry.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(registry[i].extension, std::get<0>(expected[i]));
        EXPECT_EQ(registry[i].description, std::get<1>(expected[i]));
        EXPECT_EQ(registry[i].kind, std::get<2>(expected[i]));
    }
    // The JPEG module's shutdown takes its entries away again.
    ShutdownJpegModule();
    EXPECT_EQ(FindPictureFormat("JPG"), nullptr);
    Picture p;
    EXPECT_EQ(loadFailure(write("x.jpg", "data"), p), "Unknown picture file extension (.jpg)");
}

TEST_F(PictureTest, SupportedExtensionsAreTheSixThenTheNewKindsAnyCase) {
    EXPECT_EQ(SupportedImageExtensions(),
              (QStringList{".JPG", ".GIF", ".BMP", ".ICO", ".EMF", ".TIF", ".JPEG", ".JPE", ".TIFF",
                           ".PNG", ".WEBP", ".HEIC", ".HEIF", ".AVIF"}));
    for (const char* yes :
         {"photo.jpg", "photo.Jpg", "PHOTO.JPG", "/a/b.c/x.gif", "x.tif", "x.Emf", ".bmp", "a.jpeg",
          "a.JPE", "scan.TIFF", "a.png", "a.WebP", "IMG_1.HEIC", "a.heif", "a.avif"})
        EXPECT_TRUE(IsSupportedImageFile(yes)) << yes;
    for (const char* no :
         {"a.wmf", "a.jfif", "a.apng", "noext", "/folder.jpg/file", "a.jpg.txt", ""})
        EXPECT_FALSE(IsSupportedImageFile(no)) << no;
    EXPECT_EQ(ExtractFileExtension("/x.y/scan.TIFF"), ".TIFF");
    EXPECT_EQ(ExtractFileExtension("/x.y/scan"), "");
}

TEST_F(PictureTest, RoutesByExtensionThroughTheRegistry) {
    const QByteArray jpeg = EncodeJpeg(solid(8, 6, qRgb(10, 200, 30)), 90);
    Picture p;
    for (const char* name : {"a.jpeg", "b.JpG", "c.jpe"}) {
        ASSERT_EQ(LoadPictureFile(write(name, jpeg), p), LoadOutcome::Loaded) << name;
        ASSERT_FALSE(p.isEmpty());
        EXPECT_EQ(p.graphic()->kind(), GraphicKind::Jpeg);
    }

    // Both spellings of TIFF reach the TIFF reader, which speaks for itself.
    EXPECT_EQ(LoadPictureFile(write("a.tiff", QByteArray("II*\0", 4)), p), LoadOutcome::Rejected);
    EXPECT_EQ(LoadPictureFile(write("scan.TIFF", "x"), p), LoadOutcome::Rejected);
    EXPECT_EQ(host.messages, QStringList({"<" + folder + "a.tiff> is not a valid TIFF file",
                                          "<" + folder + "scan.TIFF> is not a valid TIFF file"}));
    EXPECT_EQ(loadFailure(write("noext", "x"), p), "Unknown picture file extension (.)");
    // The library-read kinds name the file they could not read.
    EXPECT_EQ(loadFailure(write("a.png", "not a png"), p),
              "Cannot read the PNG image " + folder + "a.png: Not a PNG file");
    EXPECT_TRUE(loadFailure(write("a.webp", "RIFF"), p)
                    .startsWith("Cannot read the WebP image " + folder + "a.webp: "));
    EXPECT_TRUE(loadFailure(write("a.heic", "x"), p)
                    .startsWith("Cannot read the HEIF image " + folder + "a.heic: "));
    EXPECT_EQ(loadFailure(write("a.wmf", "not a metafile"), p), "Metafile is not valid");
    EXPECT_EQ(loadFailure(write("a.emf", "not a metafile"), p), "Metafile is not valid");
    EXPECT_EQ(loadFailure(write("a.bmp", "BMnot"), p), "Bitmap image is not valid");
    EXPECT_EQ(loadFailure(write("a.ico", "\0\0\1\0"), p), "Icon image is not valid");
    EXPECT_EQ(loadFailure(folder + "missing.bmp", p), "Cannot open file " + folder + "missing.bmp");
    EXPECT_EQ(p.graphic()->kind(), GraphicKind::Jpeg);  // every failure left the last picture
}

TEST_F(PictureTest, ReducesRunsOfSeparatorsBeforeLoading) {
    Picture p;
    const Bitmap b = solid(3, 2, qRgb(1, 2, 3));
    write("a.bmp", EncodeBmp(b));
    ASSERT_EQ(LoadPictureFile(folder + "/a.bmp", p), LoadOutcome::Loaded);
    EXPECT_TRUE(p.graphic()->toBitmap() == b);
    p.clear();
    ASSERT_EQ(LoadPictureFile(QString(folder).replace("/", "///") + "a.bmp", p), LoadOutcome::Loaded);
    EXPECT_EQ(p.width(), 3);
    // The message names the reduced path.
    EXPECT_EQ(loadFailure(folder + "//gone.bmp", p), "Cannot open file " + folder + "gone.bmp");
}

TEST_F(PictureTest, FailingLoadKeepsThePreviousGraphicAndTellsNoObserver) {
    Picture p;
    int changes = 0;
    p.addObserver([&changes] { ++changes; });
    ASSERT_EQ(LoadPictureFile(write("good.bmp", EncodeBmp(solid(5, 4, qRgb(9, 9, 9)))), p), LoadOutcome::Loaded);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(host.processCount, 1);  // step 6: pending messages run once per load
    const QByteArray truncated = EncodeJpeg(solid(8, 8, qRgb(0, 0, 0)), 50).left(20);
    EXPECT_TRUE(loadFailure(write("bad.jpg", truncated), p).startsWith("JPEG error #"));
    EXPECT_EQ(loadFailure(write("bad.bmp", "BM"), p), "Bitmap image is not valid");
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(host.processCount, 1);
    ASSERT_EQ(p.graphic()->kind(), GraphicKind::Bitmap);
    EXPECT_EQ(p.width(), 5);
}

TEST_F(PictureTest, CopiesNeverSharePixelsAndObserversStayPut) {
    Picture a;
    a.assign(solid(4, 4, qRgb(255, 0, 0)));
    int aChanges = 0;
    a.addObserver([&aChanges] { ++aChanges; });
    Picture b = a;
    b.bitmap().scanLine(0)[0] = 77;
    b.changed();
    EXPECT_EQ(a.graphic()->toBitmap().scanLine(0)[0], 0);
    EXPECT_EQ(aChanges, 0);
    Picture c;
    c.assign(a);
    EXPECT_TRUE(c.graphic()->toBitmap() == a.graphic()->toBitmap());
    EXPECT_NE(static_cast<BitmapGraphic*>(c.graphic())->bitmap().bits(),
              static_cast<BitmapGraphic*>(a.graphic())->bitmap().bits());
    a = b;
    EXPECT_EQ(aChanges, 1);
    EXPECT_EQ(a.graphic()->toBitmap().scanLine(0)[0], 77);
}

TEST_F(PictureTest, MovesTakeTheGraphicAndLeaveEveryObserverWithItsPicture) {
    Picture a, b;
    a.assign(solid(4, 4, qRgb(255, 0, 0)));
    b.assign(solid(2, 2, qRgb(0, 0, 255)));
    int aChanges = 0, bChanges = 0;
    a.addObserver([&aChanges] { ++aChanges; });
    b.addObserver([&bChanges] { ++bChanges; });

    b = std::move(a);
    EXPECT_EQ(b.width(), 4);
    EXPECT_TRUE(a.isEmpty());
    EXPECT_EQ(bChanges, 1);  // the target's own control repaints
    EXPECT_EQ(aChanges, 1);  // and the emptied source's
    b.changed();
    EXPECT_EQ(bChanges, 2);
    EXPECT_EQ(aChanges, 1);

    // A moved-into new picture starts without observers; the source keeps its own.
    Picture c(std::move(b));
    EXPECT_EQ(c.width(), 4);
    c.changed();
    EXPECT_EQ(bChanges, 2);
    b.assign(solid(1, 1, 0));
    EXPECT_EQ(bChanges, 3);
    EXPECT_EQ(aChanges, 1);
}

TEST_F(PictureTest, ThePicturesBitmapReplacesAnotherKind) {
    Picture p;
    int changes = 0;
    const int id = p.addObserver([&changes] { ++changes; });
    p.setGraphic(std::make_unique<JpegImage>());
    static_cast<JpegImage*>(p.graphic())->loadFromData(EncodeJpeg(solid(6, 6, qRgb(5, 5, 5)), 75));
    Bitmap& bitmap = p.bitmap();
    EXPECT_TRUE(bitmap.isEmpty());
    EXPECT_EQ(p.graphic()->kind(), GraphicKind::Bitmap);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(&p.bitmap(), &bitmap);  // already a bitmap: the same one, no change
    EXPECT_EQ(changes, 2);
    p.removeObserver(id);
    p.clear();
    EXPECT_EQ(changes, 2);
}

TEST_F(PictureTest, DrawsAndSavesInTheGraphicsOwnFormat) {
    Picture p;
    p.assign(solid(4, 2, qRgb(0, 0, 255)));
    Bitmap canvas;
    canvas.create(8, 4, 24);
    p.stretchDraw(canvas, QRect(0, 0, 8, 4));
    EXPECT_EQ(canvas.pixelColor(7, 3), qRgb(0, 0, 255));
    Bitmap small;
    small.create(6, 6, 24);
    p.draw(small, 3, 3);
    EXPECT_EQ(small.pixelColor(2, 3), qRgb(0, 0, 0));
    EXPECT_EQ(small.pixelColor(5, 4), qRgb(0, 0, 255));

    p.saveToFile(folder + "saved.bmp");
    EXPECT_EQ(ReadFileBytes(folder + "saved.bmp"), EncodeBmp(p.graphic()->toBitmap()));
    const QByteArray jpeg = EncodeJpeg(solid(4, 4, qRgb(1, 1, 1)), 80);
    ASSERT_EQ(LoadPictureFile(write("in.jpg", jpeg), p), LoadOutcome::Loaded);
    p.saveToFile(folder + "saved.jpg");
    EXPECT_EQ(ReadFileBytes(folder + "saved.jpg"), jpeg);  // the file's own bytes, not re-encoded
}

TEST_F(PictureTest, GifFilesGoToTheGifDecoderInAnyCase) {
    SKIP_WITHOUT_CORPUS();
    const QStringList gifs = corpusFiles("gif/pillow", {".gif"});
    ASSERT_FALSE(gifs.isEmpty());
    const QByteArray bytes = ReadFileBytes(gifs.first());
    for (const char* name : {"a.gif", "a.GIF", "a.Gif"}) {
        Picture p;
        ASSERT_EQ(LoadPictureFile(write(name, bytes), p), LoadOutcome::Loaded);
        ASSERT_FALSE(p.isEmpty());
        EXPECT_EQ(p.graphic()->kind(), GraphicKind::Bitmap) << name;
    }
}

TEST_F(PictureTest, TifFilesGoToTheTiffReaderAndAnEmptyResultEndsQuietly) {
    Picture p;
    p.assign(solid(2, 2, qRgb(1, 1, 1)));
    write("a.tif", "this is not a tiff file");
    EXPECT_EQ(LoadPictureFile(folder + "a.tif", p), LoadOutcome::Rejected);
    EXPECT_FALSE(host.messages.isEmpty());  // the reader said why itself
    EXPECT_EQ(p.graphic()->kind(), GraphicKind::Bitmap);
}

TEST_F(PictureTest, RejectedOrMissingTifLeavesThePictureAsItWas) {
    const QByteArray jpeg = EncodeJpeg(solid(6, 5, qRgb(200, 10, 10)), 90);
    Picture p;
    ASSERT_EQ(LoadPictureFile(write("held.jpg", jpeg), p), LoadOutcome::Loaded);
    int changes = 0;
    p.addObserver([&changes] { ++changes; });

    write("bad.tif", "II*\0 this is not a tiff file");
    EXPECT_EQ(LoadPictureFile(folder + "bad.tif", p), LoadOutcome::Rejected);
    ASSERT_FALSE(p.isEmpty());
    EXPECT_EQ(p.graphic()->kind(), GraphicKind::Jpeg);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(loadFailure(folder + "missing.tif", p), "Cannot open file " + folder + "missing.tif");
    EXPECT_EQ(p.graphic()->kind(), GraphicKind::Jpeg);
    EXPECT_EQ(changes, 0);

    SaveBitmapAsTiff(solid(3, 2, qRgb(5, 6, 7)), folder + "good.tif");
    EXPECT_EQ(LoadPictureFile(folder + "good.tif", p), LoadOutcome::Loaded);
    EXPECT_EQ(p.graphic()->kind(), GraphicKind::Bitmap);
    EXPECT_EQ(p.graphic()->toBitmap().pixelColor(2, 1), qRgb(5, 6, 7));
    EXPECT_EQ(changes, 1);
}

}  // namespace
