#include "platform/file_system.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class FileSystemTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return dir.path() + "/" + name; }
    void write(const QString& name, const QByteArray& bytes = "x") const {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read(const QString& name) const {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    QStringList names(const QString& pattern) const {
        QStringList out;
        for (const FolderEntry& e : ListFolder(path(pattern))) out << e.name;
        return out;
    }
    QTemporaryDir dir;
};

TEST(Wildcard, MatchesLikeTheDesktopDoes) {
    struct Case {
        const char* name;
        const char* pattern;
        bool matches;
    } const cases[] = {
        {"photo.JPG", "*.jpg", true},
        {"photo.jpg", "*.JPG", true},
        {"photo.jpeg", "*.JPG", false},
        {"scan.tiff", "*.TIF", false},
        {"README", "*.*", true},
        {".hidden", "*.*", true},
        {"a.b.c", "*.c", true},
        {"a.b.c", "*.b", false},
        {"abc", "a?c", true},
        {"ac", "a?c", false},
        {"x", "?", true},
        {"abc", "*b", false},
        {"aXbXc", "*x*c", true},
        {"aaaaaaaaab", "*a*a*a*b", true},
        {"aaaaaaaaaa", "*a*a*a*b", false},
        {"notes", "notes.*", true},
        {"Été.JPG", "été.jpg", true},
        {"", "*", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MatchesWildcard(QString::fromUtf8(c.name), QString::fromUtf8(c.pattern)),
                  c.matches)
            << c.name << " ~ " << c.pattern;
}

TEST_F(FileSystemTest, ListsInAsciiUpperCaseOrderWithExactBytesBreakingTies) {
    for (const char* n : {"b.txt", "a.txt", "A.txt", "_x", "Z", "[y", "ab", "abc", "Ab"}) write(n);
    // '[' and '_' sort after the letters once those are upper-cased; a locale-aware caseless
    // sort would put them first.
    EXPECT_EQ(names("*.*"),
              (QStringList{"A.txt", "a.txt", "Ab", "ab", "abc", "b.txt", "Z", "[y", "_x"}));
}

TEST_F(FileSystemTest, ListingReportsKindsAndSizes) {
    write("a.jpg", "12345");
    write(".hidden.jpg");
    ASSERT_TRUE(QDir(dir.path()).mkdir("x.jpg"));
    ASSERT_EQ(symlink("a.jpg", path("link.jpg").toLocal8Bit().constData()), 0);
    ASSERT_EQ(symlink("gone.jpg", path("broken.jpg").toLocal8Bit().constData()), 0);
    ASSERT_EQ(mkfifo(path("pipe.jpg").toLocal8Bit().constData(), 0600), 0);
    write("c.txt");

    const auto entries = ListFolder(path("*.JPG"));
    QStringList plain, listed;
    for (const FolderEntry& e : entries) {
        listed << e.name;
        if (e.isPlainFile()) plain << e.name;
    }
    EXPECT_EQ(listed, (QStringList{".hidden.jpg", "a.jpg", "broken.jpg", "link.jpg", "pipe.jpg",
                                   "x.jpg"}));
    EXPECT_EQ(plain, (QStringList{"a.jpg", "link.jpg"}));
    EXPECT_TRUE(entries[0].isHidden);
    EXPECT_EQ(entries[1].size, 5);
    EXPECT_TRUE(entries[2].isSystem) << "a broken link has nothing to read";
    EXPECT_EQ(entries[3].size, 5) << "a link counts as its target";
    EXPECT_TRUE(entries[4].isSystem) << "a pipe must never be opened as an image";
    EXPECT_TRUE(entries[5].isDirectory);
}

TEST_F(FileSystemTest, ListingOfAMissingOrExactPath) {
    EXPECT_TRUE(ListFolder(path("nowhere/*.*")).empty());
    write("one.gif", "abc");
    const auto exact = ListFolder(path("one.gif"));
    ASSERT_EQ(exact.size(), 1u);
    EXPECT_EQ(exact[0].size, 3);
}

TEST_F(FileSystemTest, FoldersAndSizes) {
    EXPECT_TRUE(FolderExists(dir.path()));
    EXPECT_TRUE(FolderExists(dir.path() + "/"));
    EXPECT_FALSE(CreateFolder(path("missing/child"))) << "creates one level only";
    EXPECT_TRUE(CreateFolder(path("child")));
    EXPECT_FALSE(CreateFolder(path("child")));
    EXPECT_TRUE(FolderExists(path("child")));

    write("star*.jpg", "1234");  // a wildcard in a real name is no pattern here
    EXPECT_EQ(FileSizeOf(path("star*.jpg")), 4);
    EXPECT_EQ(FileSizeOf(path("absent.jpg")), std::nullopt);
    EXPECT_EQ(FileSizeOf(path("child")), std::nullopt);
    EXPECT_FALSE(FolderExists(path("star*.jpg")));
    EXPECT_TRUE(RemoveFile(path("star*.jpg")));
    EXPECT_FALSE(QFile::exists(path("star*.jpg")));
}

TEST_F(FileSystemTest, RenameNeverReplaces) {
    write("a.jpg", "A");
    write("b.jpg", "B");
    EXPECT_FALSE(RenameNoReplace(path("a.jpg"), path("b.jpg")));
    EXPECT_EQ(read("a.jpg"), "A");
    EXPECT_EQ(read("b.jpg"), "B");

    // Two names of one file on a case-sensitive file system are still two entries.
    ASSERT_EQ(
        link(path("a.jpg").toLocal8Bit().constData(), path("A.JPG").toLocal8Bit().constData()), 0);
    EXPECT_FALSE(RenameNoReplace(path("a.jpg"), path("A.JPG")));
    EXPECT_EQ(read("a.jpg"), "A");

    EXPECT_FALSE(RenameNoReplace(path("missing.jpg"), path("new.jpg")));
    EXPECT_FALSE(QFile::exists(path("new.jpg")));
}

TEST_F(FileSystemTest, RenameToTheSameNameOrAnotherCaseSucceeds) {
    write("a.jpg", "A");
    EXPECT_TRUE(RenameNoReplace(path("a.jpg"), path("a.jpg")));
    EXPECT_TRUE(RenameNoReplace(path("a.jpg"), dir.path() + "/./a.jpg"));
    EXPECT_EQ(read("a.jpg"), "A");

    EXPECT_TRUE(RenameNoReplace(path("a.jpg"), path("A.JPG")));
    EXPECT_EQ(read("A.JPG"), "A");
    EXPECT_EQ(ListFolder(path("*.*")).size(), 1u);

    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    EXPECT_TRUE(RenameNoReplace(path("folder"), path("Folder2")));
    EXPECT_TRUE(FolderExists(path("Folder2")));
}

}  // namespace
