// The GIF progress window: made on first use without an owner, shown and set for fractions up
// to 0.9999, hidden above, and pending messages run on every report.

#include "app/progress_window.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>
#include <QTimer>

namespace {

class ProgressWindowTest : public ::testing::Test {
protected:
    void TearDown() override { DestroyProgressForm(); }
};

}  // namespace

TEST_F(ProgressWindowTest, MadeOnFirstUseAndKept) {
    EXPECT_EQ(ProgressForm(), nullptr);
    ShowGifProgress(0.25);
    TProgressForm* form = ProgressForm();
    ASSERT_NE(form, nullptr);
    EXPECT_EQ(form->objectName(), "ProgressForm");
    EXPECT_EQ(form->windowTitle(), "Progress");
    EXPECT_EQ(form->parentWidget(), nullptr);
    EXPECT_TRUE(form->isWindow());
    EXPECT_EQ(form->size(), QSize(275, 157));
    TGauge* gauge = form->findChild<TGauge*>("Gauge1");
    ASSERT_EQ(gauge, form->Gauge1);
    EXPECT_EQ(gauge->geometry(), form->rect());  // the gauge fills the window
    ShowGifProgress(1.0);
    ShowGifProgress(0.5);
    EXPECT_EQ(ProgressForm(), form);
}

TEST_F(ProgressWindowTest, ShowsUpToAlmostOneAndHidesAbove) {
    ShowGifProgress(0.0);
    TProgressForm* form = ProgressForm();
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Gauge1->progress(), 0);
    ShowGifProgress(0.9999);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Gauge1->progress(), 100);
    ShowGifProgress(0.99991);
    EXPECT_FALSE(form->isVisible());
    ShowGifProgress(1.0);
    EXPECT_FALSE(form->isVisible());
    ShowGifProgress(0.3);
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->Gauge1->progress(), 30);
}

TEST_F(ProgressWindowTest, RoundsToWholePercentHalvesToEven) {
    ShowGifProgress(0.424);
    EXPECT_EQ(ProgressForm()->Gauge1->progress(), 42);
    ShowGifProgress(0.426);
    EXPECT_EQ(ProgressForm()->Gauge1->progress(), 43);
    ShowGifProgress(0.125);  // 12.5
    EXPECT_EQ(ProgressForm()->Gauge1->progress(), 12);
    ShowGifProgress(0.375);  // 37.5
    EXPECT_EQ(ProgressForm()->Gauge1->progress(), 38);
    EXPECT_EQ(ProgressForm()->Gauge1->text(), "38%");
}

TEST_F(ProgressWindowTest, LetsPendingMessagesRun) {
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    ShowGifProgress(0.5);
    EXPECT_TRUE(ran);
    ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    ShowGifProgress(1.0);  // hiding lets them run too
    EXPECT_TRUE(ran);
}

TEST_F(ProgressWindowTest, GaugeDrawsNeedleFromBottomMiddle) {
    const QSize size(200, 100);
    EXPECT_NEAR(TGauge::needleEnd(size, 0).x(), 0, 1e-9);  // to the left
    EXPECT_NEAR(TGauge::needleEnd(size, 0).y(), 100, 1e-9);
    EXPECT_NEAR(TGauge::needleEnd(size, 50).x(), 100, 1e-9);  // straight up
    EXPECT_NEAR(TGauge::needleEnd(size, 50).y(), 0, 1e-9);
    EXPECT_NEAR(TGauge::needleEnd(size, 100).x(), 200, 1e-9);  // to the right

    TGauge gauge;
    gauge.resize(120, 60);
    gauge.setProgress(150);
    EXPECT_EQ(gauge.progress(), 100);
    gauge.setProgress(0);
    QImage at0 = gauge.grab().toImage();
    gauge.setProgress(100);
    QImage at100 = gauge.grab().toImage();
    // White inside, a frame round it, blue somewhere on the dial.
    EXPECT_EQ(QColor(at0.pixel(30, 40)), QColor(Qt::white));
    EXPECT_NE(QColor(at0.pixel(0, 30)), QColor(Qt::white));
    bool blue = false;
    for (int x = 0; x < at0.width() && !blue; ++x)
        for (int y = 0; y < at0.height() && !blue; ++y) {
            const QColor c(at0.pixel(x, y));
            blue = c.blue() > 200 && c.red() < 100 && c.green() < 100;
        }
    EXPECT_TRUE(blue);
    // The needle moved: left of the middle at 0, right of it at 100, near the bottom.
    auto darkAt = [](const QImage& im, int x, int y) { return QColor(im.pixel(x, y)).red() < 128; };
    EXPECT_TRUE(darkAt(at0, 15, 58));
    EXPECT_FALSE(darkAt(at100, 15, 58));
    EXPECT_TRUE(darkAt(at100, 104, 58));
    EXPECT_FALSE(darkAt(at0, 104, 58));
}

TEST_F(ProgressWindowTest, ReleasedWhileItsOwnReportLetsMessagesRun) {
    // The program may end while a decode reports progress; the report must not touch the window
    // after that, and the next report makes a new one.
    QTimer::singleShot(0, [] { DestroyProgressForm(); });
    ShowGifProgress(0.5);
    EXPECT_EQ(ProgressForm(), nullptr);
    ShowGifProgress(0.25);
    ASSERT_NE(ProgressForm(), nullptr);
    EXPECT_EQ(ProgressForm()->Gauge1->progress(), 25);
}
