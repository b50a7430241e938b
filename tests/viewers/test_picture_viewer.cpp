#include "formats/sizing.h"
#include "platform/picture_box.h"
#include "support/window_fixture.h"
#include "viewers/picture_viewer.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <memory>

namespace {

const QString kMaximumZoom =
    "Maximum zoom has been reached. Please change the zoom percentage in the box to a smaller "
    "number if you wish to zoom in further.";
const QString kTooSmall =
    "Picture zoom is now to small to view. Please change the zoom percentage in the box to a "
    "smaller number if you wish to zoom out further.";

class PictureViewerTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        viewer = std::make_unique<TFrmpic>(session);
    }
    void TearDown() override {
        viewer.reset();
        WindowTest::TearDown();
    }
    template <typename T>
    T* control(const char* name) {
        T* c = viewer->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    void give(const Bitmap& bitmap) {
        Picture picture;
        picture.assign(bitmap);
        viewer->SetReferencePicture(picture);
    }
    void step(const QString& amount) { control<QLineEdit>("Edpercent")->setText(amount); }
    void zoomIn() { control<QPushButton>("BitBtn2")->click(); }
    void zoomOut() { control<QPushButton>("BitBtn3")->click(); }
    QSize imageSize() { return control<PictureBox>("Image1")->size(); }

    std::unique_ptr<TFrmpic> viewer;
};

TEST_F(PictureViewerTest, TwentyStepsInReachThreeHundredAndTheNextIsRefused) {
    give(PatternBitmap(40, 30));
    EXPECT_EQ(control<QLineEdit>("Edpercent")->text(), "10");
    for (int i = 0; i < 20; ++i) zoomIn();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(viewer->ZoomOffset(), 200);
    EXPECT_EQ(viewer->ViewSize(), QSize(120, 90));
    EXPECT_EQ(imageSize(), QSize(120, 90));
    zoomIn();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Information);
    EXPECT_EQ(boxes.shown[0].title, "Information");
    EXPECT_EQ(boxes.shown[0].text, kMaximumZoom);
    EXPECT_EQ(viewer->ZoomOffset(), 200);
    EXPECT_EQ(imageSize(), QSize(120, 90));
    // Out tests only its own limit: from 300 % it goes straight down.
    zoomOut();
    EXPECT_EQ(viewer->ViewSize(), QSize(116, 87));
}

TEST_F(PictureViewerTest, NineStepsOutReachTenAndTheNextIsRefused) {
    give(PatternBitmap(40, 30));
    for (int i = 0; i < 9; ++i) zoomOut();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(viewer->ViewSize(), QSize(4, 3));
    zoomOut();
    ASSERT_EQ(boxes.texts(), QStringList{kTooSmall});
    EXPECT_EQ(viewer->ZoomOffset(), -90);
    EXPECT_EQ(viewer->ViewSize(), QSize(4, 3));
}

TEST_F(PictureViewerTest, StepsOfTwoHundredFiftyZeroAndNonNumbers) {
    give(PatternBitmap(50, 20));
    step("250");
    zoomIn();
    EXPECT_EQ(boxes.texts(), QStringList{kMaximumZoom});
    EXPECT_EQ(viewer->ZoomOffset(), 0);
    EXPECT_EQ(viewer->ViewSize(), QSize(50, 20));

    step("30");
    zoomIn();
    step("0");
    zoomIn();
    zoomOut();
    EXPECT_EQ(viewer->ViewSize(), QSize(65, 26));
    EXPECT_EQ(viewer->ZoomOffset(), 30);

    for (const char* bad : {"abc", "", "-", "1.5"}) {
        step(bad);
        zoomIn();
        EXPECT_EQ(boxes.shown.back().kind, MessageKind::ErrorReport) << bad;
        EXPECT_EQ(
            boxes.shown.back().text,
            QStringLiteral("'%1' is not a valid integer value.").arg(QString::fromLatin1(bad)));
    }
    EXPECT_EQ(viewer->ZoomOffset(), 30);
    EXPECT_EQ(viewer->ViewSize(), QSize(65, 26));
}

TEST_F(PictureViewerTest, EveryStepScalesTheReference) {
    const Bitmap source = PatternBitmap(37, 23);
    give(source);
    step("30");
    zoomIn();  // 130 %
    EXPECT_TRUE(
        SamePixels(viewer->ViewBitmap(), StretchPicture(viewer->ReferencePicture(), 48, 30)));
    step("60");
    zoomOut();                                     // 70 %
    EXPECT_EQ(viewer->ViewSize(), QSize(26, 16));  // 25.9 and 16.1
    step("30");
    zoomIn();  // back to 100 %: the natural pixels, no blur from the way down
    EXPECT_TRUE(SamePixels(viewer->ViewBitmap(), source));

    // What the box paints is that bitmap.
    zoomIn();
    const QImage painted = control<PictureBox>("Image1")->grab().toImage();
    const Bitmap view = viewer->ViewBitmap();
    ASSERT_EQ(painted.size(), QSize(view.width(), view.height()));
    for (int y = 0; y < view.height(); y += 3)
        for (int x = 0; x < view.width(); x += 5)
            ASSERT_EQ(painted.pixel(x, y) & 0xFFFFFF, PixelAt(view, x, y)) << x << "," << y;
}

TEST_F(PictureViewerTest, FiveAndOnePixelWidePictures) {
    give(PatternBitmap(5, 5));
    for (auto [scale, expected] : {std::pair{50, 2}, {30, 2}, {70, 4}}) {
        control<QPushButton>("BitBtn4")->click();
        step(QString::number(100 - scale));
        zoomOut();
        EXPECT_EQ(viewer->ViewSize().width(), expected) << scale << " %";
    }
    give(PatternBitmap(1, 1));
    step("90");
    zoomOut();
    EXPECT_EQ(viewer->ViewSize(), QSize(0, 0));
    EXPECT_EQ(imageSize(), QSize(0, 0));
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PictureViewerTest, ResetReopenAndNegativeSteps) {
    give(PatternBitmap(20, 10));
    step("35");
    zoomIn();
    zoomIn();
    control<QPushButton>("BitBtn4")->click();
    EXPECT_EQ(viewer->ZoomOffset(), 0);
    EXPECT_EQ(viewer->ViewSize(), QSize(20, 10));
    zoomIn();
    EXPECT_EQ(viewer->ViewSize(), QSize(27, 14));  // 27.0 and 13.5 -> 14

    // A negative step turns the direction round: In with -50 twice reaches 0 % and shows nothing.
    control<QPushButton>("BitBtn4")->click();
    step("-50");
    zoomIn();
    EXPECT_EQ(viewer->ViewSize(), QSize(10, 5));
    zoomIn();
    EXPECT_EQ(viewer->ViewSize(), QSize(0, 0));
    zoomIn();  // -50 %
    EXPECT_EQ(viewer->ViewSize(), QSize(0, 0));
    EXPECT_EQ(viewer->ZoomOffset(), -150);
    EXPECT_TRUE(boxes.shown.empty());
    control<QPushButton>("BitBtn4")->click();
    step("-99");
    zoomOut();
    zoomOut();
    zoomOut();  // Out with a negative step passes 300 % unchecked
    EXPECT_EQ(viewer->ZoomOffset(), 297);
    EXPECT_EQ(viewer->ViewSize(), QSize(79, 40));  // 79.4 and 39.7
    EXPECT_TRUE(boxes.shown.empty());

    // Opening again starts at 100 % and keeps the typed step.
    bool checked = false;
    QTimer::singleShot(0, [&] {
        checked = true;
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(viewer->ZoomOffset(), 0);
        EXPECT_EQ(viewer->ViewSize(), QSize(8, 6));
        EXPECT_EQ(control<QLineEdit>("Edpercent")->text(), "-99");
        viewer->close();
    });
    Picture small;
    small.assign(PatternBitmap(8, 6));
    viewer->OpenPictureViewer(small);
    EXPECT_TRUE(checked);
    EXPECT_EQ(small.width(), 8);
}

TEST_F(PictureViewerTest, ZoomOverTheBitmapLimitIsRefused) {
    // 1 bit a pixel keeps the reference small; 160 % at 24 bits would take 1.1 GB.
    Bitmap big;
    big.create(12000, 12000, 1);
    give(big);
    step("60");
    zoomIn();
    ASSERT_EQ(boxes.texts(), QStringList{BitmapOverLimitText(19200, 19200)});
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Plain);
    EXPECT_EQ(viewer->ZoomOffset(), 0);
    EXPECT_EQ(viewer->ViewSize(), QSize(12000, 12000));
}

TEST_F(PictureViewerTest, LayoutFollowsTheScreenAndTheSizeIsSaved) {
    ScreenMetrics small{1000, 700, 260, 190, 96.0};
    setScreenMetricsOverride(&small);
    IniFile(session.SettingsFile).writeInteger("Frmpic", "H", 500);
    TFrmpic second(session);
    EXPECT_EQ(second.objectName(), "Frmpic");
    EXPECT_EQ(second.windowTitle(), "Picture Viewer");
    auto* box = second.findChild<QScrollArea*>("ScrollBox1");
    EXPECT_EQ(box->geometry(), QRect(0, 0, 960, 620));
    for (const char* name : {"BitBtn3", "BitBtn2", "BitBtn4", "BitBtn1", "Label1", "Edpercent"})
        EXPECT_EQ(second.findChild<QWidget*>(name)->y(), 623) << name;
    EXPECT_EQ(second.findChild<QWidget*>("BitBtn4")->x(), 336);
    EXPECT_TRUE(second.findChild<QPushButton*>("BitBtn1")->isDefault());

    QTimer::singleShot(0, [&] {
        EXPECT_EQ(second.frameGeometry().height(), 500);
        second.resize(700, 520);
        second.findChild<QPushButton*>("BitBtn1")->click();
    });
    second.showModal();
    EXPECT_EQ(ReadSavedWidth(session.SettingsFile, "Frmpic"), second.frameGeometry().width());
    EXPECT_EQ(ReadSavedHeight(session.SettingsFile, "Frmpic"), second.frameGeometry().height());
}

}  // namespace
