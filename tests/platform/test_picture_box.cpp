#include "formats/jpeg/jpeg.h"
#include "platform/dialogs.h"
#include "platform/picture_box.h"
#include "support/corpus.h"
#include "support/pattern_bitmap.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>

namespace {

QImage rgb32(const Bitmap& b) {
    return b.toQImage().convertToFormat(QImage::Format_RGB32);
}

TEST(PictureBoxShows, StretchedSamplingEqualsTheStretchOfTheWholePicture) {
    PictureBox box;
    box.resize(13, 9);
    box.setStretch(true);
    const Bitmap source = PatternBitmap(7, 5);
    box.picture().assign(source);
    EXPECT_EQ(box.shownRect(), QRect(0, 0, 13, 9));
    EXPECT_EQ(box.shownImage(), rgb32(StretchPicture(box.picture(), 13, 9)));
    EXPECT_EQ(box.shownImage(), rgb32(StretchBitmap(source, 13, 9))) << "pixel centres";

    // Shrinking samples pixel centres too.
    box.resize(3, 2);
    EXPECT_EQ(box.shownImage(), rgb32(StretchPicture(box.picture(), 3, 2)));
    EXPECT_EQ(box.grab().toImage().convertToFormat(QImage::Format_RGB32),
              rgb32(StretchBitmap(source, 3, 2)))
        << "what is painted is what was made";
}

TEST(PictureBoxShows, UnscaledFromTheCornerClippedToTheBox) {
    PictureBox box;
    box.resize(30, 20);
    const Bitmap source = PatternBitmap(50, 12);
    box.picture().assign(source);
    EXPECT_EQ(box.shownRect(), QRect(0, 0, 30, 12)) << "only the part that shows";
    const QImage whole = rgb32(source);
    EXPECT_EQ(box.shownImage(), whole.copy(0, 0, 30, 12));
}

TEST(PictureBoxShows, AnIconUnscaledOverWhiteEvenWhenStretched) {
    SKIP_WITHOUT_CORPUS();
    InitPictureFormats();
    PictureBox box;
    box.resize(120, 83);
    box.setStretch(true);
    ASSERT_EQ(
        LoadPictureFile(corpusDir() + "/ico/gdk-pixbuf/reftests/bug785447.ico", box.picture()),
        LoadOutcome::Loaded);
    ASSERT_EQ(box.picture().width(), 32);
    const QImage shown = box.shownImage();
    ASSERT_EQ(shown.size(), QSize(120, 83));
    int drawn = 0;
    for (int y = 0; y < 83; ++y)
        for (int x = 0; x < 120; ++x) {
            const bool white = shown.pixel(x, y) == qRgb(255, 255, 255);
            if (x >= 32 || y >= 32)
                ASSERT_TRUE(white) << x << "," << y << ": nothing drawn beyond the icon";
            else
                drawn += white ? 0 : 1;
        }
    EXPECT_GT(drawn, 100) << "the icon itself shows at the corner";
}

TEST(PictureBoxView, NothingBeyondTheViewsSize) {
    Picture small;
    small.assign(PatternBitmap(4, 3));
    PictureBox view;
    view.resize(8, 8);
    view.showStretchedView(&small, QSize(6, 5));
    EXPECT_EQ(view.shownRect(), QRect(0, 0, 6, 5));
    EXPECT_EQ(view.shownImage(), rgb32(StretchBitmap(PatternBitmap(4, 3), 6, 5)));
    view.clearStretchedView();
    EXPECT_TRUE(view.shownImage().isNull()) << "back to the box's own, empty picture";
}

TEST(PictureBoxCaches, MadeOncePerChangeAndSize) {
    PictureBox box;
    box.resize(40, 30);
    box.setStretch(true);
    box.picture().assign(PatternBitmap(10, 10));
    box.grab();
    box.grab();
    box.shownImage();
    EXPECT_EQ(box.renderCount(), 1) << "paints copy what was made";

    // Every kind of change makes it again, and shows the change.
    box.picture().assign(PatternBitmap(5, 5));
    EXPECT_EQ(box.shownImage(), rgb32(StretchBitmap(PatternBitmap(5, 5), 40, 30)));
    EXPECT_EQ(box.renderCount(), 2);

    uint8_t* corner = box.picture().bitmap().scanLine(0);
    corner[0] = corner[1] = corner[2] = 255;
    box.picture().changed();
    EXPECT_EQ(QColor(box.shownImage().pixel(0, 0)), QColor(255, 255, 255));
    EXPECT_EQ(box.renderCount(), 3);

    box.resize(20, 30);
    box.grab();
    box.grab();
    EXPECT_EQ(box.renderCount(), 4);
    EXPECT_EQ(box.shownImage().size(), QSize(20, 30));

    box.picture().clear();
    EXPECT_TRUE(box.shownImage().isNull()) << "an empty picture shows nothing";
}

TEST(PictureBoxView, OnlyWhatShowsIsMadeAndScrollingFollows) {
    Picture source;
    const Bitmap pixels = PatternBitmap(100, 75);
    source.assign(pixels);
    QScrollArea area;
    area.resize(220, 170);
    auto* box = new PictureBox;
    box->resize(4000, 3000);
    area.setWidget(box);
    box->showStretchedView(&source, QSize(4000, 3000));
    area.show();
    QApplication::processEvents();
    box->showStretchedView(&source, QSize(4000, 3000));  // asked before any paint

    const QRect first = box->shownRect();
    EXPECT_FALSE(first.isEmpty());
    EXPECT_LE(first.width(), 220);
    EXPECT_LE(first.height(), 170);
    const QImage reference = rgb32(StretchBitmap(pixels, 4000, 3000).toRgb24());
    EXPECT_EQ(box->shownImage(), reference.copy(first));

    area.horizontalScrollBar()->setValue(2500);
    area.verticalScrollBar()->setValue(1800);
    QApplication::processEvents();
    box->repaint();
    const QRect moved = box->shownRect();
    EXPECT_GE(moved.left(), 2400);
    EXPECT_GE(moved.top(), 1700);
    EXPECT_EQ(box->shownImage(), reference.copy(moved));
}

TEST(PictureBoxFailure, AJpegThatFailsAtItsFirstDrawIsReportedOnce) {
    ScriptedDialogs boxes;
    QByteArray data = EncodeJpeg(PatternBitmap(16, 16), 90);
    // The frame names a quantisation table that the file never defines: the header reads,
    // the pixels cannot be decoded.
    const qsizetype sof = data.indexOf("\xFF\xC0");
    ASSERT_GT(sof, 0);
    data[sof + 2 + 2 + 1 + 2 + 2 + 1 + 2] = 3;  // first component's table selector
    auto jpeg = std::make_unique<JpegImage>();
    jpeg->loadFromData(data);

    PictureBox box;
    box.resize(16, 16);
    box.setStretch(true);
    box.picture().setGraphic(std::move(jpeg));
    box.grab();
    EXPECT_TRUE(boxes.shown.empty()) << "never from inside the paint";
    box.grab();
    box.resize(12, 12);
    box.grab();
    QApplication::processEvents();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::ErrorReport);
    EXPECT_TRUE(box.shownImage().isNull()) << "the box stays empty";
    EXPECT_EQ(box.renderCount(), 1) << "a failed picture is not drawn again";

    box.picture().assign(PatternBitmap(2, 2));
    EXPECT_FALSE(box.shownImage().isNull()) << "a new picture draws again";
}

}  // namespace
