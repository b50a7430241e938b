#include "app/about_window.h"
#include "app/help_links.h"
#include "app/main_window.h"
#include "platform/desktop.h"
#include "support/recording_desktop.h"
#include "support/scripted_dialogs.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include "platform/session.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kNoBrowserForHelp =
    "You cannot view this file because you do not have a default web browser setup. You can "
    "still view this file by opening your web browser and pointing to the file index.htm which "
    "is located in your install directory.";
const QString kNoBrowserForDownloads =
    "You cannot view this file because you do not have a default web browser setup. You can "
    "still view this file by opening your web browser and pointing to the file download.htm "
    "which is located in your install directory, or view online at https://pixolet.example/";
const QString kNoMail =
    "You cannot view this file because you do not have a default email software setup. Please "
    "send your questions to support at support@pixolet.example";
const QString kSupportNote =
    "Please send your detailed question and we will gladly assist you. Please be sure to include "
    "the software title and the version you are using (click the About button to get the "
    "version).";

class HelpTest : public ::testing::Test {
protected:
    // First made, last gone: the windows hold their places in it.
    Session session;

    void SetUp() override {
        setApplicationDataFolderOverride(appData.path());
        main = std::make_unique<TFrmfirst>(session);
    }
    void TearDown() override {
        main.reset();
        setApplicationDataFolderOverride({});
    }
    void press(const char* name) { main->findChild<QPushButton*>(name)->click(); }

    QTemporaryDir appData;
    RecordingDesktop desktop;
    ScriptedDialogs boxes;
    std::unique_ptr<TFrmfirst> main;
};

TEST_F(HelpTest, HelpAndDownloadsOpenTheProgramFoldersPagesOrSayWhereTheyAre) {
    press("BitBtn3");
    press("BitBtn4");
    EXPECT_EQ(desktop.openedFiles, (QStringList{ProgramFileFolder() + "index.htm",
                                                ProgramFileFolder() + "download.html"}));
    EXPECT_TRUE(boxes.shown.empty());

    desktop.succeeds = false;
    press("BitBtn3");
    press("BitBtn4");
    EXPECT_EQ(boxes.texts(), (QStringList{kNoBrowserForHelp, kNoBrowserForDownloads}));
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Plain);
}

TEST_F(HelpTest, SupportAlwaysEndsWithTheNote) {
    press("CmdSupport");
    ASSERT_EQ(desktop.openedLinks.size(), 1);
    const QUrl link(desktop.openedLinks[0]);
    EXPECT_EQ(link.scheme(), "mailto");
    EXPECT_EQ(link.path(), "support@pixolet.example");
    EXPECT_EQ(QUrlQuery(link).queryItemValue("subject", QUrl::FullyDecoded),
              "Pixolet 2.43 support question");
    EXPECT_EQ(boxes.texts(), QStringList{kSupportNote});
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Information);

    boxes.shown.clear();
    desktop.succeeds = false;
    press("CmdSupport");
    EXPECT_EQ(boxes.texts(), (QStringList{kNoMail, kSupportNote}));
}

TEST_F(HelpTest, EachAboutIsAFreshWindowThatReturnCloses) {
    std::vector<QPointer<QWidget>> seen;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<TFrmabout*>(QApplication::activeModalWidget());
            ASSERT_NE(about, nullptr);
            seen.emplace_back(about);
            EXPECT_EQ(about->parentWidget(), main.get());
            EXPECT_TRUE(about->windowFlags() & Qt::FramelessWindowHint);
            EXPECT_TRUE(about->findChild<QLabel*>("Label1")->text().contains("2.43"));
            EXPECT_EQ(about->findChild<QLabel*>("Label3")->text(),
                      "The sole remedy shall be limited to refund of the purchase price.");
            about->findChild<QPushButton*>("Button1")->click();
        });
        press("Button1");
    }
    ASSERT_EQ(seen.size(), 2u);
    // Each was destroyed when it closed.
    EXPECT_TRUE(seen[0].isNull());
    EXPECT_TRUE(seen[1].isNull());
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(HelpTest, ExitClosesTheMainWindow) {
    main->show();
    int closed = 0;
    QObject::connect(main.get(), &TFrmfirst::closed, [&] { ++closed; });
    press("BitBtn1");
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(main->isVisible());
}

}  // namespace
