#include "app/selection.h"
#include "formats/jpeg/jpeg.h"
#include "platform/long_operation.h"
#include "platform/picture_box.h"
#include "support/corpus.h"
#include "support/library_samples.h"
#include "support/outside_tool.h"
#include "support/recording_host.h"
#include "support/window_fixture.h"
#include "viewers/folder_viewer.h"
#include "viewers/picture_viewer.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <map>
#include <memory>
#include <set>

namespace {

class FolderViewerTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        images = folder.filePath("images") + QDir::separator();
        ASSERT_TRUE(QDir().mkpath(images));
        pictureViewer = std::make_unique<TFrmpic>(session);
        viewer = std::make_unique<TFrmfolderview>(session);
    }
    void TearDown() override {
        viewer.reset();
        pictureViewer.reset();
        session.FolderImages = {};
        WindowTest::TearDown();
    }

    // n small BMP files named img01.bmp, img02.bmp, ... (the listing order is the name order).
    void makeImages(int n) {
        Picture picture;
        picture.assign(PatternBitmap(6, 4));
        for (int i = 1; i <= n; ++i)
            picture.saveToFile(images + QStringLiteral("img%1.bmp").arg(i, 2, 10, QChar('0')));
    }
    void writeFile(const QString& name, const QByteArray& bytes) {
        QFile f(images + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void open() {
        viewer->PrepareFolder(images,
                              [this] { session.FolderImages = ScanFolder(images + "*.*"); });
    }
    QPushButton* previous() { return viewer->findChild<QPushButton*>("Cmdleft"); }
    QPushButton* next() { return viewer->findChild<QPushButton*>("Cmdright"); }
    QStringList pageLabels() {
        QStringList labels;
        for (int k = 1; k <= TFrmfolderview::kSlots; ++k) labels << viewer->SlotLabel(k)->text();
        return labels;
    }
    int filledSlots() {
        int n = 0;
        for (int k = 1; k <= TFrmfolderview::kSlots; ++k)
            n += viewer->SlotImage(k)->picture().isEmpty() ? 0 : 1;
        return n;
    }
    // Clicks slot k and says what the single viewer was given, if it opened.
    std::optional<QSize> clickSlot(int k) {
        std::optional<QSize> shown;
        QTimer::singleShot(0, [&] {
            if (session.windows.Frmpic->isVisible()) {
                shown = session.windows.Frmpic->ViewSize();
                session.windows.Frmpic->close();
            }
        });
        emit viewer->SlotImage(k)->clicked();
        QApplication::processEvents();
        return shown;
    }

    QString images;
    std::unique_ptr<TFrmpic> pictureViewer;
    std::unique_ptr<TFrmfolderview> viewer;
};

TEST_F(FolderViewerTest, EveryImageShowsOnExactlyOnePageWithTheButtonsFollowing) {
    struct Case {
        int count;
        std::vector<std::pair<bool, bool>> buttons;  // (previous, next) on each page
    };
    const Case cases[] = {
        {7, {{false, false}}},
        {20, {{false, false}}},
        {21, {{false, true}, {true, false}}},
        {45, {{false, true}, {true, true}, {true, false}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.count);
        QDir(images).removeRecursively();
        QDir().mkpath(images);
        makeImages(c.count);
        open();
        std::multiset<QString> seen;
        for (size_t page = 0; page < c.buttons.size(); ++page) {
            SCOPED_TRACE(page);
            EXPECT_EQ(viewer->PageStart(), int(page) * 20 + 1);
            EXPECT_EQ(previous()->isEnabled(), c.buttons[page].first);
            EXPECT_EQ(next()->isEnabled(), c.buttons[page].second);
            const int onPage = std::min(20, c.count - int(page) * 20);
            EXPECT_EQ(filledSlots(), onPage);
            const QStringList labels = pageLabels();
            for (int k = 0; k < 20; ++k) {
                if (k < onPage)
                    seen.insert(labels[k]);
                else
                    EXPECT_EQ(labels[k], "") << "slot " << k + 1;
            }
            if (page + 1 < c.buttons.size()) next()->click();
        }
        EXPECT_EQ(seen.size(), size_t(c.count));
        EXPECT_EQ(std::set<QString>(seen.begin(), seen.end()).size(), size_t(c.count));
        EXPECT_TRUE(boxes.shown.empty());
    }
    // From the third page of 45, back shows 21 to 40 again.
    previous()->click();
    EXPECT_EQ(viewer->PageStart(), 21);
    EXPECT_EQ(viewer->SlotLabel(1)->text(), "img21.bmp");
    EXPECT_EQ(viewer->SlotLabel(20)->text(), "img40.bmp");
}

TEST_F(FolderViewerTest, AnEmptyFolderOpensWithNothingToPageOrClick) {
    makeImages(3);
    open();
    ASSERT_EQ(filledSlots(), 3);
    // The next opening lists the folder again: it is empty now, and every slot is cleared.
    for (const QString& name : QDir(images).entryList(QDir::Files)) QFile::remove(images + name);
    open();
    EXPECT_EQ(viewer->ViewerImageCount(), 0);
    EXPECT_EQ(filledSlots(), 0);
    EXPECT_EQ(pageLabels(), QStringList(20, QString()));
    EXPECT_FALSE(previous()->isEnabled());
    EXPECT_FALSE(next()->isEnabled());
    EXPECT_EQ(clickSlot(1), std::nullopt);
}

TEST_F(FolderViewerTest, AClickOpensTheHeldPictureAtItsOwnSizeWithoutReadingTheFileAgain) {
    Picture wide;
    wide.assign(PatternBitmap(400, 100));
    wide.saveToFile(images + "wide.bmp");
    open();
    EXPECT_EQ(viewer->SlotImage(1)->shownImage().size(), QSize(65, 46));
    ASSERT_TRUE(QFile::remove(images + "wide.bmp"));
    EXPECT_EQ(clickSlot(1), QSize(400, 100));
    EXPECT_TRUE(SamePixels(session.windows.Frmpic->ViewBitmap(), PatternBitmap(400, 100)));
    EXPECT_EQ(clickSlot(2), std::nullopt);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(FolderViewerTest, ADamagedFileStopsThePageAndKeepsThePageStart) {
    makeImages(45);
    writeFile("img25.bmp", "BM this is not a bitmap");
    open();
    next()->click();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::ErrorReport);
    EXPECT_EQ(viewer->PageStart(), 1);
    EXPECT_EQ(viewer->SlotLabel(4)->text(), "img24.bmp");
    // The damaged file is named where the page stopped; the rest of the page shows nothing
    // rather than page 1's pictures.
    EXPECT_EQ(filledSlots(), 4);
    EXPECT_EQ(viewer->SlotLabel(5)->text(), "img25.bmp");
    EXPECT_EQ(viewer->SlotLabel(6)->text(), "");
    // Both buttons act from page 1: back fills page 1 again.
    previous()->click();
    EXPECT_EQ(viewer->PageStart(), 1);
    EXPECT_EQ(filledSlots(), 20);

    // On page 1 the failure reaches the opener, and the window does not open.
    writeFile("img03.bmp", "BM damaged");
    EXPECT_ANY_THROW(open());
    EXPECT_FALSE(viewer->isVisible());
}

TEST_F(FolderViewerTest, ARejectedTiffShowsItsNameAndThePageGoesOn) {
    RecordingHost host;
    makeImages(3);
    writeFile("img02.tif", "II*\0 this is not a tiff file");
    open();
    EXPECT_FALSE(host.messages.isEmpty());  // the reader's own message, and no error report
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(pageLabels().mid(0, 5),
              (QStringList{"img01.bmp", "img02.bmp", "img02.tif", "img03.bmp", ""}));
    EXPECT_TRUE(viewer->SlotImage(3)->picture().isEmpty());
    EXPECT_FALSE(viewer->SlotImage(4)->picture().isEmpty());
    EXPECT_EQ(clickSlot(3), std::nullopt);
}

// Today's pictures beside the old kinds: a phone's HEIC, a PNG screenshot, a downloaded WebP,
// an AVIF and a scanner's 16-bit TIFF all show, with no message box.
TEST_F(FolderViewerTest, EveryKindOfPictureShowsWithoutAWord) {
    SKIP_WITHOUT_CORPUS();
    REQUIRE_TOOLS(tool::kPillow, tool::kHeifEnc);
    RecordingHost host;
    makeImages(1);
    ASSERT_TRUE(WriteEachLibraryKind(
        images, {"IMG_0001.HEIC", "photo.avif", "screenshot.png", "download.webp"}));
    ASSERT_TRUE(QFile::copy(corpusDir() + "/tiff/libtiffpic/depth/flower-rgb-contig-16.tif",
                            images + "scan.tiff"));
    open();
    EXPECT_TRUE(host.messages.isEmpty()) << host.messages.join('\n').toStdString();
    EXPECT_TRUE(boxes.shown.empty()) << boxes.texts().join('|').toStdString();
    EXPECT_EQ(pageLabels().mid(0, 7),
              (QStringList{"download.webp", "img01.bmp", "IMG_0001.HEIC", "photo.avif", "scan.tiff",
                           "screenshot.png", ""}));
    EXPECT_EQ(filledSlots(), 6);
    const std::map<QString, QSize> sizes{{"download.webp", {32, 32}},
                                         {"IMG_0001.HEIC", {64, 48}},
                                         {"photo.avif", {48, 64}},
                                         {"scan.tiff", {73, 43}},
                                         {"screenshot.png", {37, 29}}};
    for (int k = 1; k <= 6; ++k) {
        const auto size = sizes.find(viewer->SlotLabel(k)->text());
        if (size == sizes.end()) continue;
        EXPECT_EQ(clickSlot(k), size->second) << size->first.toStdString();
    }
}

TEST_F(FolderViewerTest, APageFillIsOneOperationAtATime) {
    RecordingHost host;
    makeImages(45);
    open();
    viewer->show();
    QApplication::processEvents();
    int duringFill = 0;
    host.onProcessMessages = [&] {
        ++duringFill;
        EXPECT_FALSE(previous()->isEnabled());
        EXPECT_FALSE(next()->isEnabled());
        // Another page and a slot click asked for meanwhile are ignored, a close waits.
        viewer->CmdrightClick();
        std::optional<QSize> opened = clickSlot(1);
        EXPECT_EQ(opened, std::nullopt);
        viewer->close();
        QApplication::processEvents();
        EXPECT_TRUE(viewer->isVisible());
    };
    next()->click();
    host.onProcessMessages = nullptr;
    EXPECT_EQ(duringFill, 20);
    EXPECT_EQ(viewer->PageStart(), 21);
    EXPECT_TRUE(previous()->isEnabled());
    EXPECT_TRUE(next()->isEnabled());
    QApplication::processEvents();
    EXPECT_FALSE(viewer->isVisible());
}

TEST_F(FolderViewerTest, AJpegSlotKeepsItsCompressedDataAndABoxSizedDisplay) {
    const Bitmap photo = PatternBitmap(640, 480);
    writeFile("photo.jpg", EncodeJpeg(photo, 90));
    open();
    PictureBox* slot = viewer->SlotImage(1);
    EXPECT_EQ(slot->shownImage().size(), QSize(65, 46));
    slot->repaint();
    const auto* jpeg = dynamic_cast<const JpegImage*>(slot->picture().graphic());
    ASSERT_NE(jpeg, nullptr);
    EXPECT_FALSE(jpeg->isDecoded());
    EXPECT_EQ(jpeg->decodeCount(), 1);
    // The viewer decodes its own copy; the slot's stays compressed.
    EXPECT_EQ(clickSlot(1), QSize(640, 480));
    EXPECT_FALSE(jpeg->isDecoded());
}

}  // namespace
