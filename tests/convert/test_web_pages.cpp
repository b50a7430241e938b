// The thumbnail web page: its pages byte for byte, the copies beside each thumbnail, and the
// step after the run with its question, its messages and the desktop's answer.
#include "convert/web_pages.h"
#include "formats/errors.h"
#include "platform/dialogs.h"
#include "support/recording_desktop.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
    f.write(bytes);
}

class WebPagesTest : public ::testing::Test {
protected:
    void SetUp() override {
        source = root.filePath("photos") + "/";
        storedImages = root.filePath("stored") + "/";
        webpages = root.filePath("pages") + "/";
        for (const QString& folder : {source, storedImages, webpages})
            QDir().mkpath(folder);
    }
    void TearDown() override {
        storedImages.clear();
        webpages.clear();
    }
    QString page(const char* name) const { return webpages + name; }

    QTemporaryDir root;
    QString source;
    ScriptedDialogs boxes;
    // The project's output folders the page steps are given.
    QString storedImages, webpages;
    RecordingDesktop desktop;
};

TEST(WebPageText, LinesByteForByte) {
    const QByteArray index = PageBytes(IndexPageLines());
    EXPECT_EQ(index.size(), 45 + 234 + 121 + 3 * 2);
    EXPECT_TRUE(
        index.startsWith("<HTML><HEAD><TITLE>My Pictures</TITLE></HEAD>\r\n<FRAMESET "
                         "COLS=\"23,77\" framespacing=\"0\" frameborder=\"0\" border=\"0\">"
                         "<FRAME NAME=\"menu\" SRC=\"menu.html\" SCROLLING=\"AUTO\" "
                         "MARGINWIDTH=10 NORESIZE><FRAME NAME=\"main\""));
    EXPECT_TRUE(
        index.endsWith("MARGINHEIGHT=2 MARGINWIDTH=20>\r\n</FRAMESET><NOFRAMES>Your "
                       "browser does not support frames. Please download the latest "
                       "browser version. </NOFRAMES></HTML>\r\n"));

    const QStringList main = ThumbnailMainPageLines();
    ASSERT_EQ(main.size(), 4);
    EXPECT_EQ(main[1],
              "<BODY BGCOLOR=\"EEEEEE\" TEXT=\"#000000\" LINK=\"#000000\" "
              "vlink=\"#AA0055\" alink=\"#AA0055\"><br>");
    EXPECT_EQ(main[1].size(), 89);
    EXPECT_EQ(main[2].size(), 98);
    EXPECT_EQ(main[3], "</BODY></HTML>");
    const QStringList head = ThumbnailMenuHeadLines();
    ASSERT_EQ(head.size(), 3);
    EXPECT_EQ(head[2], "<Font Size=\"3\"><Center><b>PICTURE MENU</b></Font><p>");
    EXPECT_EQ(ThumbnailMenuLastLine(), "</Center></BODY></HTML>");

    EXPECT_EQ(ThumbnailLinkLine("T_beach.jpg"),
              "<a href=\"IT_beach.jpg\" target=\"main\"><img src=\"T_beach.jpg\"></a><br>");
    // No byte-order mark, CR LF after the last line too.
    EXPECT_EQ(PageBytes({"x", "y"}), QByteArray("x\r\ny\r\n"));
}

TEST(WebPageText, NamesAreEscapedSoEveryNameLinksAndShows) {
    EXPECT_EQ(EscapeLinkText("Tom & \"Jerry\" <#1>.jpg"),
              "Tom &amp; &quot;Jerry&quot; &lt;#1&gt;.jpg");
    EXPECT_EQ(EscapeLinkText(QString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x8C\x8A.jpg")),
              "caf&#233; &#127754;.jpg");
    EXPECT_EQ(EscapeLinkTarget(QString::fromUtf8("my caf\xC3\xA9 #1?&\"<100%>.jpg")),
              "my caf%C3%A9 %231%3F&amp;&quot;&lt;100%25&gt;.jpg");
    // A line break in a name must not split the page's line.
    EXPECT_EQ(EscapeLinkTarget("a\nb.jpg"), "a%0Ab.jpg");
    EXPECT_EQ(EscapeLinkText("a\nb.jpg"), "a&#10;b.jpg");
    // Paths keep their separators and blanks.
    EXPECT_EQ(EscapeLinkTarget("/home/me/My Photos/D.BMP"), "/home/me/My Photos/D.BMP");
    EXPECT_EQ(ThumbnailLinkLine("T_a#b.jpg"),
              "<a href=\"IT_a%23b.jpg\" target=\"main\"><img src=\"T_a%23b.jpg\"></a><br>");
}

// Which sources are copied at all is the folder run's test; here: what is copied from where.
TEST_F(WebPagesTest, CopiesReplaceAndAMissingThumbnailIsSkipped) {
    writeFile(source + "beach.jpg", "full beach");
    writeFile(storedImages + "beach.JPG", "small beach");
    CopyThumbnailAndPicture(storedImages, webpages, source, "beach.jpg");
    EXPECT_EQ(readAll(page("T_beach.jpg")), "small beach");

    // A later run replaces the copies; a missing thumbnail is skipped without a word.
    writeFile(source + "beach.jpg", "new beach");
    writeFile(source + "SEA.Jpg", "full sea");
    CopyThumbnailAndPicture(storedImages, webpages, source, "beach.jpg");
    CopyThumbnailAndPicture(storedImages, webpages, source, "SEA.Jpg");
    EXPECT_EQ(readAll(page("IT_beach.jpg")), "new beach");
    EXPECT_EQ(readAll(page("IT_SEA.Jpg")), "full sea");
    EXPECT_FALSE(QFileInfo::exists(page("T_SEA.Jpg")));
    EXPECT_TRUE(boxes.shown.empty());

    EXPECT_FALSE(CopyFileBytes(source + "none.jpg", page("x.jpg")));
    EXPECT_FALSE(QFileInfo::exists(page("x.jpg")));
    EXPECT_FALSE(CopyFileBytes(source + "beach.jpg", root.filePath("no/such/folder/x.jpg")));
}

TEST_F(WebPagesTest, YesWritesThePagesAndShowsThem) {
    for (const char* name : {"T_b.JPG", "T_a.jpg", "T_c.gif", ".T_hidden.jpg", "notes.txt"})
        writeFile(page(name), "x");
    QDir().mkpath(page("T_folder.jpg"));
    writeFile(page("index.html"),
              "old page that is much longer than the new one ... " + QByteArray(2000, 'x'));
    boxes.confirmAnswers = {true, true};
    for (int run = 0; run < 2; ++run) OfferThumbnailWebpage(webpages, true);

    const auto questions = boxes.questions();
    ASSERT_EQ(questions.size(), 2u);
    EXPECT_EQ(questions[0].kind, MessageKind::Information);
    EXPECT_EQ(questions[0].title, "Information");
    EXPECT_TRUE(questions[0].text.endsWith("click no to cancel. "));
    const QString shown =
        "Your webpage is now displayed for you. This is exactly how it will "
        "look and work when uploaded to your website. To upload your new "
        "webpage to your website, simply upload ALL files located in folder: " +
        webpages;
    EXPECT_EQ(boxes.texts().last(), shown);
    EXPECT_EQ(desktop.openedFiles, QStringList(2, page("index.html")));

    // Each thumbnail once, in listing order, however many runs; no hidden file, no folder.
    EXPECT_EQ(readAll(page("menu.html")),
              "<HTML><HEAD><TITLE>My Pictures</TITLE></HEAD>\r\n"
              "<BODY BGCOLOR=\"EEEEEE\" TEXT=\"#000000\" LINK=\"#000000\" vlink=\"#AA0055\" "
              "alink=\"#AA0055\"><br>\r\n"
              "<Font Size=\"3\"><Center><b>PICTURE MENU</b></Font><p>\r\n"
              "<a href=\"IT_a.jpg\" target=\"main\"><img src=\"T_a.jpg\"></a><br>\r\n"
              "<a href=\"IT_b.JPG\" target=\"main\"><img src=\"T_b.JPG\"></a><br>\r\n"
              "</Center></BODY></HTML>\r\n");
    EXPECT_EQ(readAll(page("main.html")).size(), 45 + 89 + 98 + 14 + 4 * 2);
    EXPECT_EQ(readAll(page("index.html")), PageBytes(IndexPageLines()));
}

TEST_F(WebPagesTest, NoLeavesEarlierPagesAlone) {
    writeFile(page("menu.html"), "earlier menu");
    writeFile(page("T_a.jpg"), "x");
    OfferThumbnailWebpage(webpages, true);  // the queue is empty: No
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_TRUE(boxes.shown[0].yesNo);
    EXPECT_EQ(readAll(page("menu.html")), "earlier menu");
    EXPECT_FALSE(QFileInfo::exists(page("main.html")));
    EXPECT_TRUE(desktop.openedFiles.empty());
}

TEST_F(WebPagesTest, NoBrowserSaysWhereThePageIs) {
    desktop.succeeds = false;
    WriteIndexPageAndShow(webpages);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text,
              "You cannot view this file because you do not have a default web browser setup. "
              "You can still view this file by opening your web browser and pointing to the file "
              "index.html which is located at " +
                  page("index.html"));
    EXPECT_EQ(readAll(page("index.html")), PageBytes(IndexPageLines()));
}

TEST_F(WebPagesTest, PagesThatCannotBeWrittenFailLoudly) {
    webpages = root.filePath("gone") + "/";
    boxes.confirmAnswers = {true};
    EXPECT_THROW(OfferThumbnailWebpage(webpages, true), PixError);
    EXPECT_TRUE(desktop.openedFiles.empty());
    EXPECT_THROW(WriteIndexPageAndShow(webpages), PixError);
    EXPECT_TRUE(desktop.openedFiles.empty());
}

// Link lines that cannot be written (here: past a file-size limit the head still fits under)
// show the error box, and the menu keeps its head; the page step goes on.
TEST_F(WebPagesTest, LinkLinesThatCannotBeWrittenKeepTheHead) {
    for (int i = 0; i < 40; ++i) writeFile(page(qPrintable(QString("T_%1.jpg").arg(i))), "");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    boxes.confirmAnswers = {true};
    OfferThumbnailWebpage(webpages, true);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(boxes.shown[1].kind, MessageKind::Error);
    EXPECT_EQ(boxes.shown[1].text, kHtmlWriteFailed);
    EXPECT_EQ(readAll(page("menu.html")), PageBytes(ThumbnailMenuHeadLines()));
    EXPECT_EQ(desktop.openedFiles, QStringList{page("index.html")});
}

}  // namespace
