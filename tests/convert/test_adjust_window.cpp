#include "convert/adjust_window.h"
#include "formats/sizing.h"
#include "platform/picture_box.h"
#include "support/corpus.h"
#include "support/recording_host.h"
#include "support/window_fixture.h"
#include "viewers/picture_viewer.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {

class AdjustWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        viewer = std::make_unique<TFrmpic>(session);
        window = std::make_unique<TFrmadjust>(session);
    }
    void TearDown() override {
        window.reset();
        viewer.reset();
        WindowTest::TearDown();
    }

    template <typename T>
    T* control(const char* name) {
        T* c = window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QString text(const char* name) { return control<QLabel>(name)->text(); }
    QScrollBar* slider() { return control<QScrollBar>("ScrollBar1"); }
    void load(const QString& path) { window->LoadIntoAdjustWindow(path, true, true); }
    QSize shownSize() { return QSize(text("LblNewWidth").toInt(), text("LblNewHeight").toInt()); }
    // Exact mode with the two boxes filled, then Calculate.
    void calculate(const QString& width, const QString& height) {
        control<QRadioButton>("RadCalculate")->click();
        control<QLineEdit>("EdW")->setText(width);
        control<QLineEdit>("EdH")->setText(height);
        control<QPushButton>("Button1")->click();
    }

    std::unique_ptr<TFrmpic> viewer;
    std::unique_ptr<TFrmadjust> window;
};

TEST_F(AdjustWindowTest, CreationStateAndEnterDefaults) {
    EXPECT_EQ(window->objectName(), "Frmadjust");
    EXPECT_EQ(session.windows.Frmadjust, window.get());
    EXPECT_EQ(window->windowTitle(), "Pixolet");
    EXPECT_EQ(text("LblNewWidth"), "0");
    EXPECT_EQ(text("LblNewHeight"), "0");
    EXPECT_EQ(text("Lblpercent"), "100%");
    EXPECT_EQ(window->PreviewSize(), QSize(0, 0));
    EXPECT_EQ(window->PreviewPicture().width(), 0);
    EXPECT_FALSE(window->ExactSizeSet());
    EXPECT_TRUE(window->ProgramFolder().endsWith('/'));
    EXPECT_TRUE(control<QRadioButton>("RadPercent")->isChecked());
    EXPECT_TRUE(control<QFrame>("PanelPercent")->isEnabled());
    EXPECT_FALSE(control<QFrame>("PanelCalculate")->isEnabled());
    EXPECT_TRUE(slider()->hasTracking());
    EXPECT_EQ(slider()->minimum(), 1);
    EXPECT_EQ(slider()->maximum(), 400);
    // Enter means Calculate; Exit is never pressed by Enter.
    EXPECT_TRUE(control<QPushButton>("Button1")->isDefault());
    EXPECT_FALSE(control<QPushButton>("BitBtn5")->isDefault());
    EXPECT_FALSE(control<QPushButton>("BitBtn5")->autoDefault());
    EXPECT_EQ(control<QLineEdit>("EdW")->maxLength(), 5);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(AdjustWindowTest, SliderRoundsHalvesToEvenAndDrawsFromTheMaster) {
    struct Case {
        int width, percent, expected;
    };
    const Case cases[] = {{5, 50, 2},  {7, 50, 4},  {50, 1, 0}, {51, 1, 1}, {5, 10, 0},
                          {15, 10, 2}, {25, 10, 2}, {5, 30, 2}, {5, 70, 4}};
    for (const Case& c : cases) {
        load(bmpFile(c.width, 3));
        slider()->setValue(c.percent);
        EXPECT_EQ(text("LblNewWidth").toInt(), c.expected) << c.percent << " % of " << c.width;
        EXPECT_EQ(text("Lblpercent"), QString::number(c.percent) + "%");
        const Picture& preview = window->PreviewPicture();
        EXPECT_EQ(preview.width(), c.expected);
        const Bitmap expected =
            StretchPicture(window->ImageSave(), c.expected, ScaledLength(3, c.percent));
        if (c.expected > 0 && expected.height() > 0) {
            Bitmap drawn = StretchPicture(preview, preview.width(), preview.height());
            EXPECT_TRUE(SamePixels(drawn, expected));
        }
    }
    // Back and forth never blurs: 100 % again is the master's own pixels.
    load(bmpFile(37, 23));
    for (int p : {13, 400, 7, 100}) slider()->setValue(p);
    const Picture& preview = window->PreviewPicture();
    EXPECT_TRUE(SamePixels(StretchPicture(preview, 37, 23), PatternBitmap(37, 23)));
}

TEST_F(AdjustWindowTest, PreviewFollowsTheThumbWhileDragged) {
    load(bmpFile(200, 100));
    slider()->setSliderDown(true);
    slider()->setSliderPosition(37);
    EXPECT_EQ(shownSize(), QSize(74, 37));
    slider()->setSliderPosition(250);
    EXPECT_EQ(shownSize(), QSize(500, 250));
    slider()->setSliderDown(false);
    // A step paints from the master; the whole preview bitmap is made only when asked for.
    EXPECT_TRUE(window->Image1()->hasStretchedView());
    EXPECT_EQ(window->Image1()->stretchedViewSize(), QSize(500, 250));
    EXPECT_TRUE(window->Image1()->picture().isEmpty());
    // The box paints the preview's pixels.
    window->Image1()->resize(532, 356);
    const QImage painted = window->Image1()->grab().toImage();
    const Bitmap whole = StretchPicture(window->ImageSave(), 500, 250);
    for (QPoint p : {QPoint(0, 0), QPoint(123, 45), QPoint(499, 249), QPoint(300, 200)})
        EXPECT_EQ(painted.pixel(p) & 0xFFFFFF, PixelAt(whole, p.x(), p.y()))
            << p.x() << "," << p.y();
}

TEST_F(AdjustWindowTest, ExactSizeByEnterInTheWidthBox) {
    load(bmpFile(1000, 500));
    window->show();
    QApplication::processEvents();
    control<QRadioButton>("RadCalculate")->click();
    EXPECT_TRUE(control<QFrame>("PanelCalculate")->isEnabled());
    EXPECT_FALSE(control<QFrame>("PanelPercent")->isEnabled());
    EXPECT_NE(control<QFrame>("PanelPercent")->palette().color(QPalette::Window),
              control<QFrame>("PanelCalculate")->palette().color(QPalette::Window));
    QLineEdit* width = control<QLineEdit>("EdW");
    control<QLineEdit>("EdH")->setText(" 480 ");
    width->setText("640");
    width->setFocus();
    QTest::keyClick(width, Qt::Key_Return);

    EXPECT_TRUE(window->isVisible()) << "Enter must not close the window";
    EXPECT_FALSE(session.ExitRequested);
    EXPECT_EQ(window->PreviewSize(), QSize(640, 480));
    EXPECT_EQ(shownSize(), QSize(640, 480));
    EXPECT_EQ(text("Lblpercent"), "");
    EXPECT_TRUE(window->ExactSizeSet());
    EXPECT_EQ(width->text(), "640") << "the boxes keep what was typed";
    // Distorted, not cropped: the whole source spans the new size.
    EXPECT_TRUE(SamePixels(StretchPicture(window->PreviewPicture(), 640, 480),
                           StretchPicture(window->ImageSave(), 640, 480)));
    EXPECT_TRUE(boxes.shown.empty());
    window->hide();
}

// A preview of a million pixels or more shows the hourglass while it is drawn, and only then.
TEST_F(AdjustWindowTest, TheHourglassWhileALargePreviewIsDrawn) {
    RecordingHost host;
    load(bmpFile(400, 300));
    calculate("200", "150");
    EXPECT_EQ(window->PreviewPicture().width(), 200);
    EXPECT_EQ(host.hourglassCount, 0);

    calculate("1600", "1200");
    EXPECT_EQ(window->PreviewPicture().width(), 1600);
    EXPECT_EQ(host.hourglassCount, 1);
    EXPECT_EQ(host.hourglassDepth, 0) << "the cursor comes back";
    window->PreviewPicture();  // already made: no drawing, no hourglass
    EXPECT_EQ(host.hourglassCount, 1);

    // The box itself: a grab draws the whole view, a small one without the cursor.
    PictureBox box;
    box.setStretch(true);
    box.resize(1200, 900);
    box.picture().assign(PatternBitmap(40, 30));
    box.grab();
    EXPECT_EQ(host.hourglassCount, 2);
    box.resize(100, 80);
    box.grab();
    EXPECT_EQ(host.hourglassCount, 2);
    EXPECT_EQ(host.hourglassDepth, 0);
}

TEST_F(AdjustWindowTest, ExactSizesThatCannotWorkChangeNothing) {
    load(bmpFile(40, 30));
    calculate("20", "10");
    ASSERT_EQ(window->PreviewSize(), QSize(20, 10));

    calculate("", "10");
    calculate("12", "  ");
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Plain);
    EXPECT_TRUE(boxes.shown[0].text.startsWith("You must enter the width and height"));

    calculate("12a", "10");
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[2].text, "'12a' is not a valid integer value.");

    calculate("-5", "10");
    calculate("30000", "30000");  // 2.7 GB at 24 bits
    ASSERT_EQ(boxes.shown.size(), 5u);
    EXPECT_EQ(boxes.shown[3].text, NegativeSizeText());
    EXPECT_EQ(boxes.shown[4].text, BitmapOverLimitText(30000, 30000));

    EXPECT_EQ(window->PreviewSize(), QSize(20, 10));
    EXPECT_EQ(shownSize(), QSize(20, 10));
    EXPECT_EQ(window->PreviewPicture().width(), 20);

    calculate("0", "7");  // zero gives an empty picture
    EXPECT_EQ(window->PreviewSize(), QSize(0, 7));
    EXPECT_EQ(boxes.shown.size(), 5u);
}

TEST_F(AdjustWindowTest, ResetAndModeSwitchInExactMode) {
    load(bmpFile(100, 80));
    slider()->setValue(50);
    calculate("64", "48");
    ASSERT_TRUE(window->ExactSizeSet());

    // Back to percent mode: the exact preview and the flag stay until the slider moves.
    control<QRadioButton>("RadPercent")->click();
    EXPECT_EQ(window->PreviewSize(), QSize(64, 48));
    EXPECT_TRUE(window->ExactSizeSet());
    EXPECT_EQ(text("Lblpercent"), "");

    // Reset in exact mode keeps the exact size but clears the flag.
    control<QRadioButton>("RadCalculate")->click();
    control<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(window->PreviewSize(), QSize(64, 48));
    EXPECT_FALSE(window->ExactSizeSet());
    EXPECT_EQ(text("Lblpercent"), "100%");
    EXPECT_EQ(slider()->value(), 100);
    EXPECT_TRUE(control<QLineEdit>("EdW")->text().isEmpty());

    // A new image in exact mode shows at 100 %; the mode stays.
    calculate("64", "48");
    load(bmpFile(30, 20));
    EXPECT_EQ(window->PreviewSize(), QSize(30, 20));
    EXPECT_EQ(shownSize(), QSize(30, 20));
    EXPECT_EQ(text("Lblpercent"), "100%");
    EXPECT_FALSE(window->ExactSizeSet());
    EXPECT_TRUE(control<QRadioButton>("RadCalculate")->isChecked());
    EXPECT_TRUE(
        SamePixels(StretchPicture(window->PreviewPicture(), 30, 20), PatternBitmap(30, 20)));

    // In percent mode Reset redraws at 100 % even when the slider already stands there.
    control<QRadioButton>("RadPercent")->click();
    control<QPushButton>("BitBtn1")->click();
    EXPECT_EQ(window->PreviewSize(), QSize(30, 20));
}

TEST_F(AdjustWindowTest, SliderSizeOverTheLimitIsRefused) {
    load(bmpFile(90, 90));
    slider()->setValue(150);
    // A source whose 400 % needs 36000 x 36000 pixels (3.9 GB).
    window->SetOriginalSize(9000, 9000);
    slider()->setValue(400);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Plain);
    EXPECT_EQ(boxes.shown[0].text, BitmapOverLimitText(36000, 36000));
    EXPECT_EQ(window->PreviewSize(), QSize(135, 135));
    EXPECT_EQ(shownSize(), QSize(135, 135));
    EXPECT_EQ(slider()->value(), 150) << "the thumb goes back to the preview's percentage";
    EXPECT_EQ(text("Lblpercent"), "150%");
}

TEST_F(AdjustWindowTest, LoadSwitchesAndSeparateCopies) {
    SKIP_WITHOUT_CORPUS();
    const QString gif = corpusDir() + "/gif/gdk-pixbuf/randomly-modified/valid.1.gif";
    load(gif);
    EXPECT_EQ(window->OriginalWidth(), 115);
    EXPECT_EQ(window->OriginalHeight(), 51);
    EXPECT_EQ(text("LblOldWidth"), "Original Width: 115");
    EXPECT_EQ(text("LblOldHeight"), "Original Height: 51");
    const Picture& preview = window->PreviewPicture();
    const Bitmap master = StretchPicture(window->ImageSave(), 115, 51);
    EXPECT_TRUE(SamePixels(StretchPicture(window->ImageHidden(), 115, 51), master));
    EXPECT_TRUE(SamePixels(StretchPicture(preview, 115, 51), master));
    // Changing the working picture leaves the master alone.
    // As a batch would, through the window's own reference to it.
    const_cast<Picture&>(window->ImageHidden()).bitmap().create(3, 3, 24);
    EXPECT_EQ(window->ImageSave().width(), 115);

    // Switches off: only the working picture changes (the batch's load).
    slider()->setValue(40);
    window->LoadIntoAdjustWindow(bmpFile(20, 10), false, false);
    EXPECT_EQ(window->ImageHidden().width(), 20);
    EXPECT_EQ(window->ImageSave().width(), 115);
    EXPECT_EQ(window->OriginalWidth(), 115);
    EXPECT_EQ(slider()->value(), 40);
    EXPECT_EQ(shownSize(), QSize(46, 20));

    // A file that cannot be read: the report, and the window keeps what it had.
    const QString broken = folder.filePath("broken.bmp");
    {
        QFile f(broken);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("BM not a bitmap");
    }
    EXPECT_THROW(load(broken), PixError);
    EXPECT_EQ(window->OriginalWidth(), 115);

    // A TIFF the reader refuses: its own message only, and the load ends with nothing changed.
    RecordingHost host;
    const QString refused = folder.filePath("refused.tif");
    {
        QFile f(refused);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("MM\0\x2a\0\0\0\x08\0\0", 10));
    }
    const size_t boxesBefore = boxes.shown.size();
    load(refused);
    EXPECT_FALSE(host.messages.isEmpty());
    EXPECT_EQ(boxes.shown.size(), boxesBefore);
    EXPECT_EQ(window->ImageHidden().width(), 20);
    EXPECT_EQ(window->ImageSave().width(), 115);
    EXPECT_EQ(window->OriginalWidth(), 115);
    EXPECT_EQ(shownSize(), QSize(46, 20));
}

TEST_F(AdjustWindowTest, IconDrawnUnscaledOverWhite) {
    SKIP_WITHOUT_CORPUS();
    load(corpusDir() + "/ico/image-rs/bmp-32bpp-alpha.ico");
    ASSERT_EQ(window->OriginalWidth(), 32);
    slider()->setValue(200);
    const Picture& preview = window->PreviewPicture();
    ASSERT_EQ(preview.width(), 64);
    const Bitmap shown = StretchPicture(preview, 64, 64);
    Bitmap icon;
    icon.create(32, 32, 24);
    const Bitmap natural = StretchPicture(window->ImageSave(), 32, 32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) {
            const QRgb want = (x < 32 && y < 32) ? PixelAt(natural, x, y) : 0xFFFFFF;
            ASSERT_EQ(PixelAt(shown, x, y), want) << x << "," << y;
        }
    // Its transparent corner shows white, not black.
    EXPECT_EQ(PixelAt(natural, 0, 0), 0xFFFFFFu);
}

TEST_F(AdjustWindowTest, ViewerExitAndPreviousPage) {
    load(bmpFile(60, 40));
    slider()->setValue(50);
    bool viewerSeen = false;
    QTimer::singleShot(0, [&] {
        viewerSeen = viewer->isVisible();
        EXPECT_EQ(viewer->ViewSize(), QSize(30, 20));
        EXPECT_EQ(viewer->ZoomOffset(), 0);
        viewer->findChild<QPushButton*>("BitBtn1")->click();
    });
    control<QPushButton>("BitBtn6")->click();
    EXPECT_TRUE(viewerSeen);
    EXPECT_FALSE(viewer->isVisible());

    // Exit from inside the modal loop: the flag, and the window closes.
    QTimer::singleShot(0, [&] { control<QPushButton>("BitBtn5")->click(); });
    window->showModal();
    EXPECT_TRUE(session.ExitRequested);
    EXPECT_FALSE(window->isVisible());

    session.ExitRequested = false;
    QTimer::singleShot(0, [&] { control<QPushButton>("BitBtn4")->click(); });
    window->showModal();
    EXPECT_FALSE(session.ExitRequested);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(AdjustWindowTest, SavedSizeRestoredAndSavedOnClose) {
    IniFile(session.SettingsFile).writeInteger("Frmadjust", "W", 800);
    IniFile(session.SettingsFile).writeInteger("Frmadjust", "H", 0);
    TFrmadjust second(session);
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(second.frameGeometry().width(), 800);
        second.resize(790, 590);
        second.close();
    });
    second.showModal();
    const QSize outer = second.frameGeometry().size();
    EXPECT_EQ(ReadSavedWidth(session.SettingsFile, "Frmadjust"), outer.width());
    EXPECT_EQ(ReadSavedHeight(session.SettingsFile, "Frmadjust"), outer.height());
    EXPECT_EQ(outer.height() - (second.frameGeometry().height() - second.height()), 590);
}

}  // namespace
