// PNG, WebP and HEIF through their libraries: pixels against Pillow (HEIF against libheif's own
// converter), transparency over white, the size limit, and damaged files naming themselves.
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/heif/heif.h"
#include "formats/picture.h"
#include "formats/picture_formats.h"
#include "formats/png/png.h"
#include "formats/webp/webp.h"
#include "support/corpus.h"
#include "support/library_samples.h"
#include "support/outside_tool.h"
#include "support/pattern_bitmap.h"
#include "support/pillow.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <png.h>

namespace {

QString failureOf(const std::function<void()>& decode) {
    try {
        decode();
    } catch (const PixError& e) {
        return e.text();
    }
    return QStringLiteral("decoded");
}

// A picture turned a quarter clockwise: target (x, y) is source (y, h - 1 - x).
Bitmap turnedClockwise(const Bitmap& source) {
    Bitmap out;
    out.create(source.height(), source.width(), 24);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x)
            std::memcpy(out.scanLine(y) + 3 * x, source.scanLine(source.height() - 1 - x) + 3 * y,
                        3);
    return out;
}

// The PNG suite is not part of every corpus: where it is missing the files made below still
// cover each colour type, depth and interlace.
QStringList pngSuite() {
    return corpusFiles("png/pngsuite", {".png"});
}

// Pillow's pixels over white against ours, file by file.
void expectPillowPixels(const QStringList& files,
                        const std::function<Bitmap(const QByteArray&, const QString&)>& decode) {
    const std::vector<Bitmap> pillow = PillowPixels(files, true);
    ASSERT_EQ(pillow.size(), size_t(files.size())) << "Pillow did not run";
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        ASSERT_GT(pillow[size_t(i)].width(), 0);
        EXPECT_TRUE(SamePixels(decode(ReadFileBytes(files[i]), files[i]), pillow[size_t(i)]));
    }
}

TEST(Png, EveryColourTypeDepthAndInterlaceAsPillowShowsItOverWhite) {
    REQUIRE_TOOLS(tool::kPillow);
    QTemporaryDir dir;
    const QStringList files = WritePngMatrix(dir.path());
    ASSERT_EQ(files.size(), 52);
    expectPillowPixels(files, DecodePng);
}

TEST(Png, PngSuiteDecodesAsPillowShowsItOverWhite) {
    SKIP_WITHOUT_CORPUS();
    REQUIRE_TOOLS(tool::kPillow);
    if (pngSuite().isEmpty()) GTEST_SKIP() << "the corpus holds no png/pngsuite";
    QStringList valid;
    for (const QString& path : pngSuite())
        if (!QFileInfo(path).fileName().startsWith('x')) valid << path;
    // Every colour type and depth, Adam7, tRNS, 16 bits, odd sizes, chunk orders and zlib levels.
    ASSERT_GE(valid.size(), 150);
    expectPillowPixels(valid, DecodePng);
}

TEST(Png, PngSuiteBrokenFilesNameThemselvesAndTheFault) {
    SKIP_WITHOUT_CORPUS();
    if (pngSuite().isEmpty()) GTEST_SKIP() << "the corpus holds no png/pngsuite";
    int broken = 0;
    for (const QString& path : pngSuite()) {
        if (!QFileInfo(path).fileName().startsWith('x')) continue;
        ++broken;
        const QString text = failureOf([&] { DecodePng(ReadFileBytes(path), path); });
        EXPECT_TRUE(text.startsWith("Cannot read the PNG image " + path + ": "))
            << text.toStdString();
        EXPECT_GT(text.size(), QString("Cannot read the PNG image " + path + ": ").size());
    }
    EXPECT_EQ(broken, 14);
}

quint32 crc32Of(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const char* type, const QByteArray& data) {
    QByteArray out(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), out.data());
    const QByteArray body = QByteArray(type, 4) + data;
    out += body;
    QByteArray crc(4, '\0');
    qToBigEndian<quint32>(crc32Of(body), crc.data());
    return out + crc;
}

TEST(Png, AClaimOverTheLimitIsRefusedBeforeAnythingIsMade) {
    QByteArray ihdr(13, '\0');
    qToBigEndian<quint32>(70000, ihdr.data());
    qToBigEndian<quint32>(70000, ihdr.data() + 4);
    ihdr[8] = 8;  // 8-bit RGB
    ihdr[9] = 2;
    const QByteArray file = QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", ihdr) +
                            pngChunk("IDAT", QByteArray(16, '\0')) + pngChunk("IEND", {});
    EXPECT_EQ(failureOf([&] { DecodePng(file, "big.png"); }).toStdString(),
              "Image is too large to load (70000 x 70000 pixels)");
}

TEST(WebP, LossyLosslessAlphaAndAnAnimationsFirstFrameAsPillowShowsThem) {
    REQUIRE_TOOLS(tool::kPillow);
    QTemporaryDir dir;
    // Lossy and lossless, with and without alpha, an animation; and the corpus's where it has some.
    const QStringList files = WriteWebpSamples(dir.path()) + corpusFiles("webp", {".webp"});
    ASSERT_GE(files.size(), 4);
    expectPillowPixels(files, DecodeWebp);
}

TEST(WebP, AClaimOverTheLimitIsRefusedAndDamageNamesTheFile) {
    // No single frame can pass 1 GiB (16384 pixels a side at most), but an animation's canvas
    // can: an extended header of 60000 x 60000 with animation (libwebp takes up to 2^32 pixels).
    QByteArray vp8x(10, '\0');
    vp8x[0] = 0x12;  // alpha, animation
    const auto put24 = [&vp8x](int at, quint32 value) {
        for (int i = 0; i < 3; ++i) vp8x[at + i] = char((value >> (8 * i)) & 0xFF);
    };
    put24(4, 60000 - 1);
    put24(7, 60000 - 1);
    QByteArray file = QByteArray("RIFF") + QByteArray(4, '\0') + QByteArray("WEBPVP8X") +
                      QByteArray("\x0a\0\0\0", 4) + vp8x;
    qToLittleEndian<quint32>(quint32(file.size() - 8), file.data() + 4);
    EXPECT_EQ(failureOf([&] { DecodeWebp(file, "big.webp"); }).toStdString(),
              "Image is too large to load (60000 x 60000 pixels)");

    REQUIRE_TOOLS(tool::kPillow);
    QTemporaryDir dir;
    const QStringList made = WriteWebpSamples(dir.path());
    ASSERT_FALSE(made.isEmpty());
    const QString path = made.first();
    const QByteArray whole = ReadFileBytes(path);
    for (const qsizetype length : {qsizetype(0), qsizetype(12), qsizetype(40), whole.size() / 2}) {
        const QString text = failureOf([&] { DecodeWebp(whole.left(length), path); });
        EXPECT_TRUE(text.startsWith("Cannot read the WebP image " + path + ": "))
            << length << text.toStdString();
    }
}

TEST(Heif, PrimaryImageAsLibheifConvertsItUprightAndOverWhite) {
    REQUIRE_TOOLS(tool::kPillow, tool::kHeifConvert, tool::kHeifEnc);
    QTemporaryDir dir;
    QStringList files, converted;
    for (const QString& path :
         WriteHeifSamples(dir.path()) + corpusFiles("heif", {".heic", ".avif"})) {
        if (path.contains("/fuzzing/")) continue;
        files << path;
        converted << dir.filePath(QString::number(converted.size()) + ".png");
        ASSERT_EQ(runProgram(toolPath(tool::kHeifConvert), {path, converted.last()}), 0)
            << path.toStdString();
    }
    ASSERT_GE(files.size(), 2);
    // A file of several top-level images (the example photo) comes out as <n>-1.png, <n>-2.png:
    // the primary one is among them.
    QStringList outputs;
    QList<int> owner;
    for (int i = 0; i < converted.size(); ++i) {
        QStringList mine{converted[i]};
        if (!QFileInfo::exists(converted[i]))
            mine = QDir(dir.path()).entryList({QString::number(i) + "-*.png"}, QDir::Files);
        for (const QString& name : mine) {
            outputs << QDir(dir.path()).filePath(QFileInfo(name).fileName());
            owner << i;
        }
    }
    const std::vector<Bitmap> reference = PillowPixels(outputs, true);
    ASSERT_EQ(reference.size(), size_t(outputs.size())) << "Pillow did not run";
    for (int i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        const Bitmap ours = DecodeHeif(ReadFileBytes(files[i]), files[i]);
        bool matched = false;
        for (int k = 0; k < outputs.size(); ++k)
            matched |= owner[k] == i && SamePixels(ours, reference[k]);
        EXPECT_TRUE(matched);
    }
    // The same coded picture with a quarter turn in its properties is shown turned.
    if (!QFileInfo::exists(corpusDir() + "/heif/derived")) return;
    const QString plain = corpusDir() + "/heif/derived/basn2c08.heic";
    const QString turned = corpusDir() + "/heif/derived/basn2c08-irot90.heic";
    const Bitmap upright = DecodeHeif(ReadFileBytes(plain), plain);
    const Bitmap shown = DecodeHeif(ReadFileBytes(turned), turned);
    EXPECT_FALSE(SamePixels(upright, shown));
    EXPECT_TRUE(SamePixels(shown, turnedClockwise(upright)) ||
                SamePixels(upright, turnedClockwise(shown)));
}

TEST(Heif, AClaimOverTheLimitIsRefusedAndDamageNamesTheFile) {
    REQUIRE_TOOLS(tool::kHeifEnc);
    QTemporaryDir dir;
    const QStringList made = WriteHeifSamples(dir.path());
    ASSERT_FALSE(made.isEmpty());
    const QString path = made.first();
    const QByteArray whole = ReadFileBytes(path);
    // The images' spatial extents, widened to 30000 x 30000 (within libheif's own limit).
    QByteArray big = whole;
    int widened = 0;
    for (qsizetype ispe = big.indexOf("ispe"); ispe > 0;
         ispe = big.indexOf("ispe", ispe + 4), ++widened) {
        qToBigEndian<quint32>(30000, big.data() + ispe + 8);
        qToBigEndian<quint32>(30000, big.data() + ispe + 12);
    }
    ASSERT_GT(widened, 0);
    EXPECT_EQ(failureOf([&] { DecodeHeif(big, path); }).toStdString(),
              "Image is too large to load (30000 x 30000 pixels)");
    for (const qsizetype length :
         {qsizetype(0), qsizetype(20), whole.size() / 2, whole.size() - 1}) {
        const QString text = failureOf([&] { DecodeHeif(whole.left(length), path); });
        EXPECT_TRUE(text.startsWith("Cannot read the HEIF image " + path + ": "))
            << length << text.toStdString();
    }
}

TEST(LibraryFormats, EveryKindLoadsByItsExtensionsAndKeepsItsBytes) {
    REQUIRE_TOOLS(tool::kPillow, tool::kHeifEnc);
    ResetPictureFormats();
    InitPictureFormats();
    QTemporaryDir dir;
    const QString png = dir.filePath("sample.png");
    ASSERT_TRUE(WritePngSample(png, {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false}));
    const QStringList webp = WriteWebpSamples(dir.path());
    const QStringList heif = WriteHeifSamples(dir.path());
    ASSERT_EQ(webp.size(), 4);
    ASSERT_EQ(heif.size(), 2);
    const struct {
        QString made;
        GraphicKind kind;
        QSize size;
        QStringList names;
    } kinds[] = {{png, GraphicKind::Png, {37, 29}, {"a.png", "b.PNG"}},
                 {webp[1], GraphicKind::WebP, {32, 32}, {"a.webp", "b.WebP"}},
                 {heif[0], GraphicKind::Heif, {64, 48}, {"a.heic", "b.HEIF"}},
                 {heif[1], GraphicKind::Heif, {48, 64}, {"a.avif"}}};
    for (const auto& kind : kinds) {
        const QByteArray bytes = ReadFileBytes(kind.made);
        for (const QString& name : kind.names) {
            SCOPED_TRACE(name.toStdString());
            const QString path = dir.filePath(name);
            WriteWholeFile(path, bytes, true);
            EXPECT_TRUE(IsSupportedImageFile(path));
            Picture picture;
            ASSERT_EQ(LoadPictureFile(path, picture), LoadOutcome::Loaded);
            EXPECT_EQ(picture.graphic()->kind(), kind.kind);
            EXPECT_EQ(QSize(picture.width(), picture.height()), kind.size);
            // A copy of the picture saves the file as it came.
            const Picture copy = picture;
            copy.graphic()->saveToFile(path + ".copy");
            EXPECT_EQ(ReadFileBytes(path + ".copy"), bytes);
        }
    }
}

}  // namespace
