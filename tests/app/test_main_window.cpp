#include "app/main_window.h"
#include "app/settings_file.h"
#include "formats/picture.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/long_operation.h"
#include "platform/picture_box.h"
#include "support/recording_desktop.h"
#include "support/scripted_dialogs.h"

#include "platform/session.h"

#include <gtest/gtest.h>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <cstdlib>
#include <memory>

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    // First made, last gone: the windows hold their places in it.
    Session session;

    void SetUp() override {
        setApplicationDataFolderOverride(appData.path());
        UseSettingsFileForWindowSizes(session);
    }
    void TearDown() override { setApplicationDataFolderOverride({}); }

    QString settingsPath() const { return appData.path() + "/PixoletOut/pxset25.ini"; }
    QByteArray settings() const {
        QFile f(settingsPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void putSettings(const QByteArray& bytes) const {
        QDir().mkpath(appData.path() + "/PixoletOut");
        QFile f(settingsPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // Starts the main window, shown as the program shows it.
    std::unique_ptr<TFrmfirst> start() {
        auto w = std::make_unique<TFrmfirst>(session);
        w->show();
        QApplication::processEvents();
        return w;
    }
    template <typename T>
    T* control(TFrmfirst& w, const char* name) {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(c, nullptr) << name;
        return c;
    }

    QTemporaryDir appData;
    ScriptedDialogs boxes;
    RecordingDesktop desktopCalls;
};

TEST_F(MainWindowTest, FirstStartUsesDefaultsAndCreatesOnlyTheWorkFolder) {
    auto w = start();
    EXPECT_EQ(w->objectName(), "Frmfirst");
    EXPECT_EQ(session.windows.Frmfirst, w.get());
    EXPECT_EQ(w->windowTitle(), "Pixolet");
    QAccessibleInterface* window = QAccessible::queryAccessibleInterface(w.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->role(), QAccessible::Window) << "a window, not a filler, for screen readers";
    EXPECT_EQ(window->text(QAccessible::Name), "Pixolet");
    EXPECT_EQ(session.WorkFolder, appData.path() + "/PixoletOut");
    EXPECT_EQ(session.SettingsFile, settingsPath());
    EXPECT_TRUE(QFileInfo(session.WorkFolder).isDir());
    EXPECT_FALSE(QFile::exists(session.SettingsFile)) << "reading never creates the file";
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_FALSE(w->selection.OneImageSelected);
    EXPECT_FALSE(w->selection.FolderSelected);

    EXPECT_FALSE(w->Chkopenviewer->isChecked());
    EXPECT_TRUE(w->Radthumb->isChecked());
    EXPECT_EQ(w->size(), QSize(457, 444));
    const QRect area = w->screen()->availableGeometry();
    const QRect outer = w->frameGeometry();
    EXPECT_LE(std::abs((outer.left() - area.left()) - (area.right() - outer.right())), 1);
    EXPECT_LE(std::abs((outer.top() - area.top()) - (area.bottom() - outer.bottom())), 1);
    EXPECT_EQ(w->OpenDialog1.startFolder, "");
    ASSERT_EQ(w->OpenDialog1.filters.size(), 11u);
    EXPECT_EQ(w->OpenDialog1.filters[0].patterns,
              "*.JPG;*.GIF;*.BMP;*.ICO;*.EMF;*.TIF;*.JPEG;*.JPE;*.TIFF;*.PNG;*.WEBP;*.HEIC;*.HEIF;"
              "*.AVIF");
    // Every kind the program reads is offered under "All Images".
    for (const QString& extension : SupportedImageExtensions())
        EXPECT_TRUE(w->OpenDialog1.filters[0].patterns.split(';').contains("*" + extension))
            << extension.toStdString();
    EXPECT_EQ(w->OpenDialog1.filters[7].description, "Png (*.PNG)");
    EXPECT_EQ(w->OpenDialog1.filters[10].patterns, "*.AVIF");
}

TEST_F(MainWindowTest, ControlsCarryTheirCaptionsHintsAndColours) {
    auto w = start();
    struct Expect {
        const char* name;
        const char* caption;
        const char* hint;
    } const buttons[] = {
        {"Cmdimage", "Select 1 Image", "Select 1 image for processing"},
        {"Cmdfolder", "Select Entire Folder", "Select an entire folder of images for processing"},
        {"Cmdnext", "Continue", "Go to the next page after selecting options above"},
        {"CmdSupport", "Support / Help", ""},
        {"BitBtn4", "Downloads", "Download More Software"},
        {"BitBtn3", "Help", "Help or Ordering Information"},
        {"Button1", "About", ""},
        {"BitBtn1", "Exit", "Exit Program"},
    };
    for (const Expect& e : buttons) {
        auto* b = control<QPushButton>(*w, e.name);
        ASSERT_NE(b, nullptr);
        EXPECT_EQ(b->text(), e.caption);
        EXPECT_EQ(b->toolTip(), e.hint) << e.name;
        EXPECT_TRUE(b->isVisible()) << e.name;
        EXPECT_TRUE(w->rect().contains(b->mapTo(w.get(), b->rect().bottomRight()))) << e.name;
    }
    const char* const options[][2] = {
        {"Radthumb", "Create Thumbnail Image(s)"},
        {"RadChange", "Make Image Larger or Smaller"},
        {"Radconvert", "Convert To Different Image Type"},
        {"Radviewer", "Open Multiple Image Viewer"},
        {"RadRename", "Rename Files (Bulk Rename)"},
        {"RadWebpage", "Make a Webpage Picture Index"},
        {"RadThumbWebpage", "Make a Webpage of Thumbnails and Pictures"},
    };
    int lastY = -1;
    for (const auto& o : options) {
        auto* r = control<QRadioButton>(*w, o[0]);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(r->text(), o[1]);
        EXPECT_EQ(r->parentWidget(), w->GroupBox2);
        EXPECT_GT(r->y(), lastY) << "options stand in the order listed";
        lastY = r->y();
    }
    w->Radconvert->setChecked(true);
    EXPECT_FALSE(w->Radthumb->isChecked()) << "the options exclude each other";

    EXPECT_EQ(w->GroupBox2->title(), "Your Options:");
    EXPECT_EQ(w->GroupBox2->toolTip(),
              "Select an option after clicking one of the top buttons above");
    EXPECT_EQ(w->Chkopenviewer->text(), "Always auto-open viewer instantly");
    EXPECT_EQ(w->Chkopenviewer->toolTip(),
              "Select this and viewer always opens when you select an image");
    EXPECT_EQ(w->Image1->toolTip(), "Click this image to enlarge");
    EXPECT_EQ(w->Image1->size(), QSize(120, 83));
    EXPECT_TRUE(w->Image1->stretch());
    EXPECT_EQ(w->Image1->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_FALSE(w->Image2->picture().isEmpty()) << "the program's icon";
    EXPECT_TRUE(w->Label2->wordWrap());
    EXPECT_TRUE(
        w->Label2->text().startsWith("Select an image or an entire folder of images by "
                                     "clicking one of the buttons below. Then select an "
                                     "option at the bottom and click \"continue\"."));
    EXPECT_TRUE(w->Label2->text().endsWith("rename files in bulk, and more."));

    EXPECT_EQ(w->palette().color(QPalette::Window), QColor(224, 224, 224));
    EXPECT_EQ(w->Panel1->palette().color(QPalette::Window), QColor(242, 241, 230));
    EXPECT_EQ(w->font().family(), "Arial");
    for (QLabel* l : {w->LblChosen, w->LblSizeAndWidth, w->Lblinfo}) {
        EXPECT_EQ(l->palette().color(QPalette::WindowText), QColor(0, 0, 128));
        EXPECT_TRUE(l->font().bold());
        EXPECT_EQ(l->font().family(), "Arial");
        EXPECT_TRUE(l->text().isEmpty());
    }
    EXPECT_TRUE(w->Lblinfo->wordWrap());
    EXPECT_GE(w->Lblinfo->height(), 4 * QFontMetrics(w->Lblinfo->font()).lineSpacing());
    EXPECT_EQ(w->Label2->palette().color(QPalette::WindowText), QColor(Qt::black));
}

TEST_F(MainWindowTest, ContinueComesFirstInTheTabOrder) {
    auto w = start();
    QApplication::setActiveWindow(w.get());
    EXPECT_EQ(w->focusWidget(), w->Cmdnext);
    QStringList order;
    QWidget* at = w->Cmdnext;
    for (int i = 0; i < 16; ++i, at = at->nextInFocusChain()) order << at->objectName();
    EXPECT_EQ(order, (QStringList{"Cmdnext", "Cmdimage", "Cmdfolder", "Chkopenviewer", "Radthumb",
                                  "RadChange", "Radconvert", "Radviewer", "RadRename", "RadWebpage",
                                  "RadThumbWebpage", "CmdSupport", "BitBtn4", "BitBtn3", "Button1",
                                  "BitBtn1"}));
}

TEST_F(MainWindowTest, ClosingWritesExactlyTheMainWindowsKeys) {
    auto w = start();
    const QSize outer = w->frameGeometry().size();  // the client area and the frame
    w->close();
    EXPECT_EQ(settings(), QString("[Viewer]\nOpen=0\n[Screen]\nThumb=1\nChange=0\nConvert=0\n"
                                  "Viewer=0\n[Frmfirst]\nW=%1\nH=%2\n")
                              .arg(outer.width())
                              .arg(outer.height())
                              .toUtf8());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(MainWindowTest, ConvertAndTheCheckBoxAreRestored) {
    {
        auto w = start();
        w->Radconvert->setChecked(true);
        w->Chkopenviewer->setChecked(true);
        w->close();
    }
    EXPECT_TRUE(
        settings().contains("[Viewer]\nOpen=1\n[Screen]\nThumb=0\nChange=0\nConvert=1\n"
                            "Viewer=0\n"));
    auto w = start();
    EXPECT_TRUE(w->Radconvert->isChecked());
    EXPECT_FALSE(w->Radthumb->isChecked());
    EXPECT_TRUE(w->Chkopenviewer->isChecked());
}

TEST_F(MainWindowTest, OptionsThatAreNeverRestoredFallBackToThumbnails) {
    for (const char* name : {"RadWebpage", "RadRename", "RadThumbWebpage"}) {
        {
            auto w = start();
            control<QRadioButton>(*w, name)->setChecked(true);
            w->close();
        }
        EXPECT_TRUE(settings().contains("Thumb=0\nChange=0\nConvert=0\nViewer=0\n")) << name;
        auto w = start();
        EXPECT_TRUE(w->Radthumb->isChecked()) << name;
        EXPECT_FALSE(control<QRadioButton>(*w, name)->isChecked()) << name;
    }
}

TEST_F(MainWindowTest, ACloseRequestDuringARunWaitsForItsEnd) {
    auto w = start();
    {
        LongOperation run;
        w->close();
        w->close();
        EXPECT_TRUE(w->isVisible());
        EXPECT_FALSE(QFile::exists(settingsPath()));
    }
    QApplication::processEvents();  // the waiting close runs from the event loop
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(settings().startsWith("[Viewer]\nOpen=0\n"));
}

TEST_F(MainWindowTest, SavedSizeIsRestoredWhereItIsNotZero) {
    putSettings("[frmFIRST]\nw=600\nh=500\n");
    {
        auto w = start();
        EXPECT_EQ(w->frameGeometry().size(), QSize(600, 500));
        w->resize(w->size() - QSize(80, 30));
        w->close();
    }
    EXPECT_EQ(settings(),
              "[frmFIRST]\nw=520\nh=470\n[Viewer]\nOpen=0\n[Screen]\nThumb=1\n"
              "Change=0\nConvert=0\nViewer=0\n");
    putSettings("[Frmfirst]\nW=0\nH=500\n");
    auto w = start();
    EXPECT_EQ(w->width(), 457);
    EXPECT_EQ(w->frameGeometry().height(), 500);
    putSettings("[Frmfirst]\nW=612\nH=-40\n");
    w = start();
    EXPECT_EQ(w->frameGeometry().width(), 612);
    EXPECT_EQ(w->height(), 444);
}

TEST_F(MainWindowTest, AnExistingWorkFolderIsUsedAsItIs) {
    putSettings("[History]\nLast Dir=/pictures/holiday/\n");
    auto w = start();
    EXPECT_TRUE(boxes.shown.empty());
    EXPECT_EQ(w->OpenDialog1.startFolder, "/pictures/holiday/");
}

TEST_F(MainWindowTest, AWorkFolderThatCannotBeCreatedWarnsAndRunsOn) {
    setApplicationDataFolderOverride(appData.path() + "/missing/parent");
    auto w = start();
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Warning);
    EXPECT_EQ(boxes.shown[0].title, "Warning");
    EXPECT_EQ(boxes.shown[0].text,
              "Could not create a folder as you do not have authority on your system. Please "
              "right click this software icon on your desktop, and choose the option to \"Run as "
              "Admin\" (only needs to be done one time), as you currently do not have authority "
              "to create a new folder.");
    EXPECT_TRUE(w->Radthumb->isChecked());
    w->close();
    EXPECT_FALSE(w->isVisible()) << "a failed settings write does not keep the program open";
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[1].kind, MessageKind::ErrorReport);
    EXPECT_EQ(boxes.shown[1].text, "Unable to write to " + session.SettingsFile + ".");
}

TEST_F(MainWindowTest, ClickingTheSampleChoosesTheViewerAndContinues) {
    auto w = start();
    int continued = 0;
    QObject::connect(w->Cmdnext, &QPushButton::clicked, [&] {
        ++continued;
        EXPECT_TRUE(w->Radviewer->isChecked()) << "the viewer is chosen before Continue runs";
    });
    const QPointF inside(10, 10);
    QMouseEvent press(QEvent::MouseButtonPress, inside, w->Image1->mapToGlobal(inside),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, inside, w->Image1->mapToGlobal(inside),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w->Image1, &press);
    QApplication::sendEvent(w->Image1, &release);
    EXPECT_EQ(continued, 1);
    EXPECT_TRUE(w->Radviewer->isChecked());
}

}  // namespace
