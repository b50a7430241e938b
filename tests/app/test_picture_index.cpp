// The picture index: its pages in the pictures' own folder, for a folder and for one image.
#include "app/picture_index.h"
#include "convert/web_pages.h"
#include "formats/errors.h"
#include "support/recording_desktop.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray kHead =
    "<HTML><HEAD><TITLE>My Pictures</TITLE></HEAD>\r\n"
    "<BODY BGCOLOR=\"EEEEEE\" TEXT=\"#000000\" LINK=\"#000000\" vlink=\"#AA0055\" "
    "alink=\"#AA0055\"><br>\r\n"
    "<Font Size=\"3\"><b>PICTURE MENU</b></Font><p>\r\n";

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class PictureIndexTest : public ::testing::Test {
protected:
    QString file(const QString& name, const QByteArray& bytes = "x") {
        const QString path = folder() + name;
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
        f.write(bytes);
        return path;
    }
    QString folder() const { return dir.path() + "/"; }
    Selection folderSelection() const {
        Selection s;
        s.FolderSelected = true;
        s.SelectedFolder = folder();
        return s;
    }

    QTemporaryDir dir;
    ScriptedDialogs boxes;
};

TEST_F(PictureIndexTest, AFolderListsJpegThenGifAndNothingElse) {
    for (const char* name : {"d.bmp", "c.gif", "b.JPG", "a.jpg", ".hidden.jpg", "e.tif"})
        file(name);
    QDir().mkpath(folder() + "sub.jpg");
    file("main.html", QByteArray(5000, 'o'));  // replaced without a question
    WritePictureIndexPages(folderSelection());

    EXPECT_EQ(readAll(folder() + "menu.html"),
              kHead +
                  "<a href=\"a.jpg\" target=\"main\"><Font Size=\"2\">a.jpg</Font></b></a><br>\r\n"
                  "<a href=\"b.JPG\" target=\"main\"><Font Size=\"2\">b.JPG</Font></b></a><br>\r\n"
                  "<a href=\"c.gif\" target=\"main\"><Font Size=\"2\">c.gif</Font></b></a><br>\r\n"
                  "</BODY></HTML>\r\n");
    const QByteArray main = readAll(folder() + "main.html");
    EXPECT_TRUE(main.startsWith(kHead.left(45 + 89 + 4)));
    EXPECT_TRUE(
        main.endsWith("\r\n<Center><br><br><br><br><br><Font Size=\"4\">Click the links on "
                      "your left to view</Font></Center>\r\n</BODY></HTML>\r\n"));
    EXPECT_EQ(main.size(), 45 + 89 + 95 + 14 + 4 * 2);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(PictureIndexTest, AFolderWithoutJpegOrGifHasAnEmptyMenu) {
    file("only.bmp");
    WritePictureIndexPages(folderSelection());
    EXPECT_EQ(readAll(folder() + "menu.html"), kHead + "</BODY></HTML>\r\n");
}

TEST_F(PictureIndexTest, OneImageLinksByItsFullPathFromItsOwnFolder) {
    QDir().mkpath(folder() + "My Photos");
    Selection one;
    one.OneImageSelected = true;
    one.SelectedImage = folder() + "My Photos/D.BMP";
    EXPECT_EQ(PictureIndexBaseFolder(one), folder() + "My Photos/");
    WritePictureIndexPages(one);
    EXPECT_EQ(readAll(folder() + "My Photos/menu.html"),
              kHead + "<a href=\"" + one.SelectedImage.toUtf8() +
                  "\" target=\"main\"><Font Size=\"2\">D.BMP</Font></b></a><br>\r\n"
                  "</BODY></HTML>\r\n");
    EXPECT_TRUE(QFileInfo::exists(folder() + "My Photos/main.html"));
    EXPECT_FALSE(QFileInfo::exists(folder() + "menu.html"));
}

TEST_F(PictureIndexTest, NamesWithBlanksAndMarkupStillLink) {
    file("my beach.jpg");
    file("Tom & \"Jerry\" #1 <b>.gif");
    file(QString::fromUtf8("caf\xC3\xA9.jpg"));
    WritePictureIndexPages(folderSelection());
    const QByteArray menu = readAll(folder() + "menu.html");
    EXPECT_EQ(menu,
              kHead +
                  "<a href=\"caf%C3%A9.jpg\" target=\"main\"><Font Size=\"2\">caf&#233;.jpg</Font>"
                  "</b></a><br>\r\n"
                  "<a href=\"my beach.jpg\" target=\"main\"><Font Size=\"2\">my beach.jpg</Font>"
                  "</b></a><br>\r\n"
                  "<a href=\"Tom &amp; &quot;Jerry&quot; %231 &lt;b&gt;.gif\" target=\"main\">"
                  "<Font Size=\"2\">Tom &amp; &quot;Jerry&quot; #1 &lt;b&gt;.gif</Font></b></a>"
                  "<br>\r\n"
                  "</BODY></HTML>\r\n");
}

// A folder from elsewhere may hold links or a pipe under the pages' names: a page written through
// a link lands outside the folder, and a pipe opened for writing waits for a reader for ever.
TEST_F(PictureIndexTest, PagesNeverWriteThroughALinkOrIntoAPipe) {
    file("a.jpg");
    QTemporaryDir elsewhere;
    const QString kept = elsewhere.filePath("kept.html");
    QFile keptFile(kept);
    ASSERT_TRUE(keptFile.open(QIODevice::WriteOnly));
    keptFile.write("keep");
    keptFile.close();
    const auto linkAs = [this](const QString& target, const char* page) {
        return symlink(QFile::encodeName(target).constData(),
                       QFile::encodeName(folder() + page).constData());
    };
    ASSERT_EQ(linkAs(kept, "main.html"), 0);
    ASSERT_EQ(linkAs(elsewhere.filePath("made.html"), "menu.html"), 0);
    const QByteArray pipe = QFile::encodeName(folder() + "index.html");
    ASSERT_EQ(mkfifo(pipe.constData(), 0600), 0);
    // A reader that never waits: a page opened into the pipe shows as bytes here, not as a hang.
    const int reader = ::open(pipe.constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    RecordingDesktop desktop;
    const auto failure = [](const std::function<void()>& write) {
        try {
            write();
        } catch (const PixError& e) {
            return e.text();
        }
        return QString();
    };

    EXPECT_EQ(failure([&] { WritePictureIndexPages(folderSelection()); }),
              "Cannot create file " + folder() + "main.html");
    ASSERT_TRUE(QFile::remove(folder() + "main.html"));
    EXPECT_EQ(failure([&] { WritePictureIndexPages(folderSelection()); }),
              "Cannot create file " + folder() + "menu.html");
    EXPECT_EQ(failure([&] { WriteIndexPageAndShow(folder()); }),
              "Cannot create file " + folder() + "index.html");

    char byte;
    EXPECT_LE(::read(reader, &byte, 1), 0) << "a page went into the pipe";
    ::close(reader);
    EXPECT_TRUE(desktop.openedFiles.isEmpty());
    EXPECT_EQ(readAll(kept), "keep");
    EXPECT_EQ(QDir(elsewhere.path()).entryList(QDir::Files), QStringList{"kept.html"});
    EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
