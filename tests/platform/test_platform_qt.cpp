#include "platform/disabled_widgets.h"
#include "platform/picture_box.h"
#include "platform/long_operation.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_host.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

namespace {

// Acts on the first top-level widget of type T once the modal loop that is about to start runs.
template <typename T>
void whenShown(std::function<void(T*)> act) {
    QTimer::singleShot(0, [act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return act(t);
        }
        ADD_FAILURE() << "no dialog was shown";
    });
}

TEST(QtDialogs, MessageBoxesHaveTheirTitlesAndButtons) {
    QtDialogs boxes;
    struct Seen {
        QString title, text;
        QMessageBox::StandardButtons buttons;
    } seen;
    auto record = [&seen](QMessageBox* box) {
        seen = {box->windowTitle(), box->text(), box->standardButtons()};
        box->button(box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok)
            ->click();
    };
    const std::pair<MessageKind, const char*> kinds[] = {
        {MessageKind::Plain, "Pixolet"},       {MessageKind::Information, "Information"},
        {MessageKind::Warning, "Warning"},     {MessageKind::Error, "Error"},
        {MessageKind::ErrorReport, "Pixolet"},
    };
    for (const auto& [kind, title] : kinds) {
        whenShown<QMessageBox>(record);
        boxes.message(kind, "hello");
        EXPECT_EQ(seen.title, title);
        EXPECT_EQ(seen.text, "hello");
        EXPECT_EQ(seen.buttons, QMessageBox::Ok);
    }
    whenShown<QMessageBox>(record);
    EXPECT_TRUE(boxes.confirm("sure?"));
    EXPECT_EQ(seen.title, "Confirm");
    EXPECT_EQ(seen.buttons, QMessageBox::Yes | QMessageBox::No);
    whenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    EXPECT_FALSE(boxes.confirm("sure?"));
}

TEST(QtDialogs, InputBoxCancelGivesBackThePrefilledText) {
    QtDialogs boxes;
    whenShown<QInputDialog>([](QInputDialog* d) {
        EXPECT_EQ(d->windowTitle(), "Enter a project name or title");
        EXPECT_EQ(d->labelText(), "Enter a title:");
        d->setTextValue("typed but cancelled");
        d->reject();
    });
    EXPECT_EQ(
        boxes.inputBox("Enter a project name or title", "Enter a title:", "Enter Any Title Here"),
        "Enter Any Title Here");
    whenShown<QInputDialog>([](QInputDialog* d) {
        d->setTextValue("Florida");
        d->accept();
    });
    EXPECT_EQ(boxes.inputBox("c", "p", "x"), "Florida");
}

TEST(QtDialogs, FileDialogsGetFiltersFolderNameAndExtension) {
    QTemporaryDir dir;
    QtDialogs boxes;
    FileDialogOptions options;
    options.filters = {{"All Images (*.*)", "*.JPG;*.GIF"}, {"Gif (*.GIF)", "*.GIF"}};
    options.filterIndex = 2;
    options.startFolder = dir.path();
    options.initialName = "picture";
    options.defaultExtension = "jpg";
    whenShown<QFileDialog>([&](QFileDialog* d) {
        EXPECT_EQ(d->directory().absolutePath(), QDir(dir.path()).absolutePath());
        EXPECT_EQ(d->nameFilters(), (QStringList{"All Images (*.*) (*.JPG *.GIF)", "Gif (*.GIF)"}));
        EXPECT_EQ(d->selectedNameFilter(), "Gif (*.GIF)");
        EXPECT_EQ(d->defaultSuffix(), "jpg");
        QMetaObject::invokeMethod(d, "accept");
    });
    const FileDialogResult saved = boxes.saveFile(options);
    EXPECT_EQ(saved.path, dir.path() + "/picture.jpg");
    EXPECT_EQ(saved.filterIndex, 2);

    whenShown<QFileDialog>([](QFileDialog* d) { d->reject(); });
    EXPECT_FALSE(boxes.openFile(options).accepted());
}

TEST(QtFormatHost, HourglassProgressAndMessages) {
    QtFormatHost host;
    setFormatHost(&host);
    {
        HourglassGuard outer;
        HourglassGuard inner;
        ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    host.endHourglass();  // unbalanced: must not pop someone else's cursor or crash
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);

    std::vector<double> seen;
    GifProgress(0.25);  // no hook yet: nothing happens
    host.setGifProgressHook([&](double f) { seen.push_back(f); });
    GifProgress(0.5);
    GifProgress(1.0);
    EXPECT_EQ(seen, (std::vector<double>{0.5, 1.0}));

    ScriptedDialogs boxes;
    formatHost().showMessage("Unsupported TIFF");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Plain);
    setFormatHost(nullptr);
}

TEST(PictureBox, ClickNeedsPressAndReleaseInside) {
    QWidget parent;
    auto* box = new PictureBox(&parent);
    box->resize(50, 40);
    int clicks = 0;
    QObject::connect(box, &PictureBox::clicked, [&] { ++clicks; });
    auto send = [box](QEvent::Type type, QPointF at) {
        QMouseEvent e(type, at, box->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                      Qt::NoModifier);
        QApplication::sendEvent(box, &e);
    };
    send(QEvent::MouseButtonPress, {5, 5});
    send(QEvent::MouseButtonRelease, {6, 6});
    send(QEvent::MouseButtonPress, {5, 5});
    send(QEvent::MouseButtonRelease, {80, 6});  // dragged off the box
    send(QEvent::MouseButtonRelease, {6, 6});   // a release without a press
    EXPECT_EQ(clicks, 1);
}

TEST(LongOperation, DisablesControlsAndDefersRequestsUntilTheOutermostRunEnds) {
    QWidget parent;
    auto* start = new QWidget(&parent);
    auto* alreadyOff = new QWidget(&parent);
    alreadyOff->setEnabled(false);
    QStringList done;
    {
        LongOperation outer;
        DisabledWidgets busy{start, alreadyOff};
        EXPECT_FALSE(start->isEnabled());
        {
            LongOperation inner;
            LongOperation::whenFinished([&] { done << "close"; });
        }
        EXPECT_TRUE(done.isEmpty()) << "the outer run is still going";
    }
    EXPECT_EQ(done, QStringList{"close"});
    EXPECT_TRUE(start->isEnabled());
    EXPECT_FALSE(alreadyOff->isEnabled()) << "only what the guard disabled comes back";
    LongOperation::whenFinished([&] { done << "now"; });
    EXPECT_EQ(done.size(), 2);
}

}  // namespace
