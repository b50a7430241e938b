#include "app/project_folders.h"
#include "app/selection.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

TEST(SampleBoxSize, FollowsTheLongerSideWithASinglePrecisionRatio) {
    struct Case {
        int w, h, boxWidth;
    } const cases[] = {
        {400, 300, 104}, {300, 400, 58},  // 78 / 1.3333334f is just below 58.5
        {200, 200, 78},  {100, 50, 110},  {1000, 100, 780}, {110, 20, 110},
        {111, 78, 111},  {78, 79, 77},    {50, 78, 110},    {0, 0, 110},
        {3, 4, 110},     {2, 1000, 0},     {210, 120, 136},  // 136.5: halves to even
    };
    for (const Case& c : cases)
        EXPECT_EQ(SampleBoxSize(c.w, c.h), QSize(c.boxWidth, 78)) << c.w << "x" << c.h;
    // A zero-height strip is as wide as the box can be, not a wrapped negative width.
    EXPECT_GT(SampleBoxSize(500, 0).width(), 0);
}

TEST(ProjectTitles, EnteredAndStayingInsideTheWorkFolder) {
    EXPECT_TRUE(ProjectTitleEntered("  Florida "));
    EXPECT_FALSE(ProjectTitleEntered(QString("\t \x01 ")));

    for (const char* inside : {"  leading", "a..b", "..."})
        EXPECT_TRUE(ProjectTitleStaysInside(inside)) << inside;
    for (const char* outside : {"../x", "a/b", "a\\b", "/", ".", "..", " .. ", "\\..\\up"})
        EXPECT_FALSE(ProjectTitleStaysInside(outside)) << outside;
}

TEST(ProjectFolders, MadeUnderTheRootsAndReusedWithANote) {
    QTemporaryDir work;
    const QChar sep = QDir::separator();
    EXPECT_EQ(StoredImagesRoot(work.path()), work.path() + sep + "Stored Images" + sep);
    EXPECT_EQ(WebpagesRoot(work.path()),
              work.path() + sep + "Stored Images" + sep + "Your Webpages" + sep);

    QStringList told;
    const auto note = [&](const QString& existing) { told << existing; };
    QString stored = StoredImagesRoot(work.path());
    QString pages = WebpagesRoot(work.path());
    const QString title = QString("  Trip") + sep;
    ASSERT_TRUE(MakeProjectFolder(stored, title, note));
    ASSERT_TRUE(MakeProjectFolder(pages, title, note));
    EXPECT_EQ(stored, StoredImagesRoot(work.path()) + title);
    EXPECT_EQ(pages, WebpagesRoot(work.path()) + title);
    EXPECT_TRUE(QFileInfo(stored).isDir());
    EXPECT_TRUE(QFileInfo(pages).isDir());
    EXPECT_TRUE(told.isEmpty());

    // Again with the same title: both reused, each told once.
    stored = StoredImagesRoot(work.path());
    pages = WebpagesRoot(work.path());
    EXPECT_TRUE(MakeProjectFolder(stored, title, note));
    EXPECT_TRUE(MakeProjectFolder(pages, title, note));
    EXPECT_EQ(told, QStringList({stored, pages}));

    // A root whose parent is missing cannot be made: false, nothing made.
    QString orphan = work.filePath("missing") + sep + "Stored Images" + sep;
    EXPECT_FALSE(MakeProjectFolder(orphan, title, note));
    EXPECT_FALSE(QFileInfo(work.filePath("missing")).exists());
}

}  // namespace
