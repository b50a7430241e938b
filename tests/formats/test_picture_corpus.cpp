// Every image of the corpus either loads through LoadPictureFile or fails with one of the
// loader's own messages; nothing crashes, hangs or reads out of bounds.
#include "formats/errors.h"
#include "formats/picture.h"
#include "formats/picture_formats.h"
#include "support/recording_host.h"
#include "support/corpus.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

bool isLoaderMessage(const QString& text) {
    static const QRegularExpression pattern(
        "^(Unknown picture file extension \\(\\..*\\)|Cannot open file .+|Bitmap image is not valid|"
        "Icon image is not valid|Metafile is not valid|JPEG error #\\d+|"
        "Image is too large to load \\(\\d+ x \\d+ pixels\\))$");
    return pattern.match(text).hasMatch();
}

void sweep(const QString& folder, const QStringList& suffixes, bool anyDecoderMessage) {
    SKIP_WITHOUT_CORPUS();
    ResetPictureFormats();
    InitPictureFormats();
    RecordingHost host;
    int loaded = 0;
    for (const QString& file : corpusFiles(folder, suffixes)) {
        SCOPED_TRACE(file.toStdString());
        Picture picture;
        try {
            if (LoadPictureFile(file, picture) == LoadOutcome::Rejected) {
                // The reader has said why and left the picture as it was.
                EXPECT_FALSE(host.messages.isEmpty());
                EXPECT_TRUE(picture.isEmpty());
                continue;
            }
            ASSERT_FALSE(picture.isEmpty());
            // JPEG pixels wait for their first use: use them.
            const Bitmap b = picture.graphic()->toBitmap();
            EXPECT_EQ(b.width(), picture.width());
            ++loaded;
        } catch (const PixError& e) {
            // The GIF and TIFF decoders have messages of their own, checked by their tests.
            EXPECT_TRUE(anyDecoderMessage || isLoaderMessage(e.text())) << e.text().toStdString();
            EXPECT_FALSE(e.text().isEmpty());
        }
    }
    EXPECT_GT(loaded, 0);
}

TEST(PictureCorpus, Jpeg) { sweep("jpeg", {".jpg", ".jpeg"}, false); }
TEST(PictureCorpus, Bmp) { sweep("bmp", {".bmp", ".dib"}, false); }
TEST(PictureCorpus, Ico) { sweep("ico", {".ico", ".cur"}, false); }
TEST(PictureCorpus, Metafiles) {
    sweep("emf", {".emf"}, false);
    sweep("wmf", {".wmf"}, false);
}
TEST(PictureCorpus, Gif) { sweep("gif", {".gif"}, true); }
TEST(PictureCorpus, Tiff) { sweep("tiff", {".tif"}, true); }

}  // namespace
