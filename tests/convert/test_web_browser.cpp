// The web pages in a real browser: headless Chromium, started directly (never through the
// desktop's open action), loads index.html and the check looks through the browser's own DOM
// at the thumbnails, the link targets and a click into the "main" frame.
#include "app/picture_index.h"
#include "convert/batch.h"
#include "convert/web_pages.h"
#include "formats/picture.h"
#include "formats/text_utils.h"
#include "support/corpus.h"
#include "support/outside_tool.h"
#include "support/recording_desktop.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

constexpr int kBrowserCannotStart = 77;

// Runs the DOM check on index.html; a browser that is missing or cannot start skips, except
// under CI, where it must run. A screenshot goes to PIXOLET_SCREENSHOT_DIR when that is set.
void checkInBrowser(const QString& index, int expectedLinks, const QString& shotName) {
    REQUIRE_TOOLS(tool::kChromium);
    QStringList args{QStringLiteral(PIXOLET_BROWSER_CHECK), toolPath(tool::kChromium), index,
                     QString::number(expectedLinks)};
    const QString shots = qEnvironmentVariable("PIXOLET_SCREENSHOT_DIR");
    if (!shots.isEmpty()) args << QDir(shots).filePath(shotName);
    QByteArray out, err;
    const int rc = runProgram(QStringLiteral("/usr/bin/python3"), args, &out, &err, 90000);
    if (rc == kBrowserCannotStart)
        SKIP_OR_FAIL_UNDER_CI("chromium could not start here: " + err.toStdString());
    EXPECT_EQ(rc, 0) << err.toStdString() << out.toStdString();
}

void copyCorpus(const QString& relative, const QString& target) {
    ASSERT_TRUE(QFile::copy(QDir(corpusDir()).filePath(relative), target))
        << relative.toStdString();
}

class BrowserTest : public ::testing::Test {
protected:
    void SetUp() override {
        static const bool formatsRegistered = (InitPictureFormats(), true);
        (void)formatsRegistered;
    }
    void TearDown() override {
        storedImages.clear();
        webpages.clear();
    }
    QTemporaryDir root;
    ScriptedDialogs boxes;
    // The project's output folders the page steps are given.
    QString storedImages, webpages;
    RecordingDesktop desktop;
};

TEST_F(BrowserTest, AThumbnailGalleryShowsItsPictures) {
    SKIP_WITHOUT_CORPUS();
    const QString photos = root.filePath("photos") + "/";
    storedImages = root.filePath("stored") + "/";
    webpages = root.filePath("pages") + "/";
    for (const QString& folder : {photos, storedImages, webpages})
        QDir().mkpath(folder);
    copyCorpus("jpeg/pillow/flower2.jpg", photos + "flower.jpg");
    copyCorpus("jpeg/exif-orientation/Landscape_1.jpg", photos + "beach & sea #1.JPG");
    copyCorpus("jpeg/pillow/pil_sample_rgb.jpg", photos + QString::fromUtf8("caf\xC3\xA9.jpg"));
    copyCorpus("gif/pillow/hopper.gif", photos + "hopper.gif");

    // The batch at 20 % with JPEG output and the web page wanted.
    BatchJob job;
    job.sourceFolder = photos;
    job.outputFolder = storedImages;
    job.sizing.percent = 20;
    Picture working;
    int jpegSources = 0;
    BatchRun run;
    run.afterFile = [&](const QString& name, const ConvertedFile&, bool) {
        CopyThumbnailAndPicture(storedImages, webpages, photos, name);
        if (AsciiUpperCase(ExtractFileExtension(name)) == ".JPG") ++jpegSources;
    };
    RunBatch(job, "*.*", working, run);
    ASSERT_EQ(jpegSources, 3);
    boxes.confirmAnswers = {true};
    OfferThumbnailWebpage(webpages, true);
    ASSERT_EQ(desktop.openedFiles, QStringList{webpages + "index.html"});
    checkInBrowser(webpages + "index.html", jpegSources, "gallery.png");
}

TEST_F(BrowserTest, APictureIndexLinksNamesWithBlanksAmpersandsAndHashes) {
    SKIP_WITHOUT_CORPUS();
    const QString photos = root.filePath("My Photos #2") + "/";
    QDir().mkpath(photos);
    copyCorpus("jpeg/pillow/flower2.jpg", photos + "Tom & Jerry #1.jpg");
    copyCorpus("jpeg/exif-orientation/Portrait_1.jpg", photos + "100% sure?.jpg");
    copyCorpus("jpeg/pillow/pil_sample_rgb.jpg",
               photos + QString::fromUtf8("\xC3\xA9t\xC3\xA9.JPG"));
    copyCorpus("gif/pillow/hopper.gif", photos + "a \"quoted\" <b>.gif");
    copyCorpus("jpeg/pillow/flower2.jpg", photos + "left out.bmp");
    Selection folder;
    folder.FolderSelected = true;
    folder.SelectedFolder = photos;
    WritePictureIndexPages(folder);
    WriteIndexPageAndShow(PictureIndexBaseFolder(folder));
    EXPECT_TRUE(boxes.shown.empty());
    checkInBrowser(photos + "index.html", 4, "picture-index.png");
}

}  // namespace
