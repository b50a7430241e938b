#include "platform/picture_box.h"
#include "rename/rename_window.h"
#include "support/recording_host.h"
#include "support/window_fixture.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <memory>

namespace {

const QString kNoPrefix =
    "You chose to add a prefix to the beginning of each file, but you did not enter any text in "
    "the box.  Enter the text in the box that you wish to have added as a prefix to each file "
    "name.";
const QString kNoSuffix =
    "You chose to add a suffix to the end of each file, but you did not enter any text in the "
    "box.  Enter the text in the box that you wish to have added as a suffix to each file name.";

class RenameWindowTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        files = folder.filePath("files") + QDir::separator();
        ASSERT_TRUE(QDir().mkpath(files));
        window = std::make_unique<TFrmRename>(session);
        window->LblFolder->setText(files);
    }
    void TearDown() override {
        window.reset();
        WindowTest::TearDown();
    }
    void touch(const QString& name) {
        QFile f(files + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    }
    QStringList onDisk() const {
        return QDir(files).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                     QDir::Name | QDir::IgnoreCase);
    }
    QStringList results() const {
        QStringList lines;
        for (int i = 0; i < window->ListResults->count(); ++i)
            lines << window->ListResults->item(i)->text();
        return lines;
    }
    void run(bool answer = true) {
        boxes.confirmAnswers.push_back(answer);
        window->BitBtn1->click();
    }

    QString files;
    std::unique_ptr<TFrmRename> window;
};

TEST_F(RenameWindowTest, TheFormStartsInPrefixModeWithItsTexts) {
    EXPECT_EQ(window->windowTitle(), "Bulk File Renamer");
    EXPECT_TRUE(window->RadPre->isChecked());
    EXPECT_EQ(window->BitBtn1->text(), "Confirm and Rename");
    EXPECT_EQ(window->BitBtn2->text(), "Return");
    EXPECT_TRUE(window->BitBtn2->isDefault());
    EXPECT_EQ(window->findChild<QWidget*>("GroupBox1")->geometry(), QRect(10, 96, 479, 328));
    EXPECT_EQ(window->ListResults->geometry(), QRect(4, 205, 470, 118));
    EXPECT_FALSE(window->ListTemp->isVisibleTo(window.get()));
    // The window draws its own decoration: the program's icon on its grey, 32 x 32.
    EXPECT_EQ(window->Image1->picture().width(), 32);
    EXPECT_EQ(StretchPicture(window->Image1->picture(), 32, 32).pixelColor(0, 0), qRgb(224, 224, 224));
}

TEST_F(RenameWindowTest, EmptyTextIsRefusedBeforeAnythingIsAsked) {
    touch("a.jpg");
    window->ListResults->addItem("from the last run");
    window->EdPre->setText("   ");
    window->BitBtn1->click();
    window->RadSuf->setChecked(true);
    window->EdSuf->setText(" \t");
    window->BitBtn1->click();
    EXPECT_EQ(boxes.texts(), (QStringList{kNoPrefix, kNoSuffix}));
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Plain);
    EXPECT_TRUE(results().isEmpty());
    EXPECT_EQ(onDisk(), QStringList{"a.jpg"});
}

TEST_F(RenameWindowTest, AnsweringNoRenamesNothing) {
    touch("a.jpg");
    window->EdPre->setText("x_");
    run(false);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::Confirmation);
    EXPECT_EQ(boxes.shown[0].title, "Confirm");
    EXPECT_EQ(boxes.shown[0].text,
              "You are about to rename all files in your selected folder (" + files +
                  "). These files will not be altered in any way, only the names will change "
                  "based on your selection. The results of each will be listed below, click YES "
                  "to continue.");
    EXPECT_EQ(boxes.shown[1].text, "No files were renamed.");
    EXPECT_TRUE(results().isEmpty());
    EXPECT_EQ(onDisk(), QStringList{"a.jpg"});
}

TEST_F(RenameWindowTest, ASuffixRunRenamesEveryFileButNoFolder) {
    RecordingHost host;
    for (const char* name : {"photo.jpg", "a.b.jpg", "README", ".profile"}) touch(name);
    ASSERT_TRUE(QDir(files).mkdir("sub.d"));
    int linesSeen = 0;
    host.onProcessMessages = [&] {
        // Each line shows at once, and the buttons wait for the run.
        EXPECT_EQ(window->ListResults->count(), ++linesSeen);
        EXPECT_FALSE(window->BitBtn1->isEnabled());
        EXPECT_FALSE(window->BitBtn2->isEnabled());
    };
    window->RadSuf->setChecked(true);
    window->EdSuf->setText("_s");
    run();
    EXPECT_EQ(results(), (QStringList{"SUCCESSFULLY renamed .profile to _s.profile",
                                      "SUCCESSFULLY renamed a.b.jpg to a.b_s.jpg",
                                      "SUCCESSFULLY renamed photo.jpg to photo_s.jpg",
                                      "SUCCESSFULLY renamed README to README_s"}));
    EXPECT_EQ(host.processCount, 4);
    EXPECT_EQ(onDisk(), (QStringList{"_s.profile", "a.b_s.jpg", "photo_s.jpg", "README_s", "sub.d"}));
    EXPECT_TRUE(window->BitBtn1->isEnabled());
    EXPECT_TRUE(window->BitBtn2->isEnabled());
}

TEST_F(RenameWindowTest, UpperCaseCollisionsFailAndUnchangedNamesStillGetALine) {
    for (const char* name : {"a.JPG", "A.jpg", "B.GIF"}) touch(name);
    window->RadUpper->setChecked(true);
    run();
    EXPECT_EQ(results(), (QStringList{"SUCCESSFULLY renamed A.jpg to A.JPG",
                                      "FAILED to rename a.JPG",
                                      "SUCCESSFULLY renamed B.GIF to B.GIF"}));
    EXPECT_EQ(onDisk(), (QStringList{"a.JPG", "A.JPG", "B.GIF"}));
    window->RadLower->setChecked(true);
    run();
    EXPECT_EQ(results().mid(0, 2), (QStringList{"SUCCESSFULLY renamed A.JPG to a.jpg",
                                                "FAILED to rename a.JPG"}));
}

TEST_F(RenameWindowTest, APrefixWithASeparatorFailsForEveryFileAndMovesNothing) {
    for (const char* name : {"a.jpg", "b.jpg"}) touch(name);
    ASSERT_TRUE(QDir(files).mkdir("x"));
    window->EdPre->setText("x/");
    run();
    EXPECT_EQ(results(), (QStringList{"FAILED to rename a.jpg", "FAILED to rename b.jpg"}));
    EXPECT_EQ(onDisk(), (QStringList{"a.jpg", "b.jpg", "x"}));
    EXPECT_TRUE(QDir(files + "x").isEmpty());
}

}  // namespace
