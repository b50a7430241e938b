// The PNG and WebP rows of the output types: what they write reads back, the quality reaches
// the WebP encoder, and neither replaces a file unless asked.
#include "convert/output_types.h"
#include "formats/file_io.h"
#include "formats/png/png.h"
#include "formats/webp/webp.h"
#include "support/pattern_bitmap.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

namespace {

Picture pictureOf(const Bitmap& bitmap) {
    Picture picture;
    picture.assign(bitmap);
    return picture;
}

TEST(OutputTypes, PngIsLosslessAtEveryDepthTheProgramHolds) {
    QTemporaryDir dir;
    // An odd width pads every row; an 8-bit palette picture is written as its colours.
    int made = 0;
    for (const Bitmap& bitmap :
         {PatternBitmap(37, 23), PatternBitmap(5, 3, 8), PatternBitmap(1, 1)}) {
        SCOPED_TRACE(bitmap.bitCount());
        const QString path = dir.filePath(QString("p%1.png").arg(++made));
        ASSERT_EQ(WriteOutputFile(OutputType::Png, path, pictureOf(bitmap), {}),
                  WriteOutcome::Written);
        EXPECT_TRUE(SamePixels(DecodePng(ReadFileBytes(path), path), bitmap.toRgb24()));
    }
}

TEST(OutputTypes, WebpFollowsTheQualityAndStaysNearThePicture) {
    QTemporaryDir dir;
    const Bitmap bitmap = PatternBitmap(64, 48);
    qint64 previous = 0;
    for (const int quality : {10, 50, 95}) {
        SCOPED_TRACE(quality);
        const QString path = dir.filePath(QString("q%1.webp").arg(quality));
        OutputSettings settings;
        settings.quality = quality;
        ASSERT_EQ(WriteOutputFile(OutputType::Webp, path, pictureOf(bitmap), settings),
                  WriteOutcome::Written);
        const QByteArray bytes = ReadFileBytes(path);
        EXPECT_GT(bytes.size(), previous) << "a higher quality keeps more";
        previous = bytes.size();
        const Bitmap back = DecodeWebp(bytes, path);
        ASSERT_EQ(back.width(), 64);
        ASSERT_EQ(back.height(), 48);
        if (quality == 95) {
            // Lossy, yet close: the mean error of a sample stays small.
            qint64 error = 0;
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 3 * 64; ++x)
                    error += std::abs(back.scanLine(y)[x] - bitmap.scanLine(y)[x]);
            EXPECT_LT(error / (48 * 64 * 3), 12);
        }
    }
}

TEST(OutputTypes, PngAndWebpNeverReplaceUnlessAsked) {
    QTemporaryDir dir;
    const Picture picture = pictureOf(PatternBitmap(8, 8));
    for (const OutputType type : {OutputType::Png, OutputType::Webp}) {
        const QString path = dir.filePath("taken" + OutputFormatOf(type).extension);
        WriteWholeFile(path, "mine", false);
        EXPECT_EQ(WriteOutputFile(type, path, picture, {}), WriteOutcome::AlreadyExisted);
        EXPECT_EQ(ReadFileBytes(path), "mine");
        OutputSettings replace;
        replace.mayReplace = true;
        EXPECT_EQ(WriteOutputFile(type, path, picture, replace), WriteOutcome::Written);
        EXPECT_NE(ReadFileBytes(path), "mine");
    }
    // The two follow the four of before, in the output-type window's order.
    std::vector<QString> extensions;
    for (const OutputFormat& format : OutputFormats()) extensions.push_back(format.extension);
    EXPECT_EQ(extensions, (std::vector<QString>{".JPG", ".BMP", ".TIF", ".EMF", ".PNG", ".WEBP"}));
}

}  // namespace
