#include "rename/rename_rule.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(RenameRule, NewNamesByMode) {
    struct Case {
        RenameMode mode;
        const char* oldName;
        const char* newName;
    };
    const Case cases[] = {
        {RenameMode::Prefix, "a.jpg", "x_a.jpg"},
        {RenameMode::Suffix, "photo.jpg", "photo_s.jpg"},
        {RenameMode::Suffix, "a.b.jpg", "a.b_s.jpg"},
        {RenameMode::Suffix, "README", "README_s"},
        {RenameMode::Suffix, ".profile", "_s.profile"},
        {RenameMode::UpperCase, "Photo.Jpg", "PHOTO.JPG"},
        {RenameMode::LowerCase, "Photo.Jpg", "photo.jpg"},
        // Only a to z and A to Z change case.
        {RenameMode::UpperCase, "\u00e9t\u00e9-1_z.jpg", "\u00e9T\u00e9-1_Z.JPG"},
        {RenameMode::LowerCase, "\u00c9T\u00c9.JPG", "\u00c9t\u00c9.jpg"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NewFileName(c.mode, QString::fromUtf8(c.oldName), "x_", "_s"),
                  QString::fromUtf8(c.newName))
            << c.oldName;
    // Prefix and suffix exactly as typed, spaces included.
    EXPECT_EQ(NewFileName(RenameMode::Prefix, "a.jpg", " b", ""), " ba.jpg");
    EXPECT_EQ(NewFileName(RenameMode::Suffix, "a.jpg", "", " 2 "), "a 2 .jpg");
}

TEST(RenameRule, ANewNameThatWouldLeaveTheFolderIsRefused) {
    for (const char* name : {"", ".", "..", "x/a.jpg", "x\\a.jpg", "../a.jpg", "/a"})
        EXPECT_FALSE(StaysInFolder(QString::fromLatin1(name))) << name;
    for (const char* name : {"a.jpg", "...", ".a", " "})
        EXPECT_TRUE(StaysInFolder(QString::fromLatin1(name))) << name;
}

class RenameFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        folder = dir.path() + QDir::separator();
    }
    void touch(const QString& name, const QByteArray& bytes = "x") {
        QFile f(folder + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QStringList names() const {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                      QDir::Name);
    }
    QTemporaryDir dir;
    QString folder;
};

TEST_F(RenameFiles, CollectsEveryFileButNoFolder) {
    touch("b.txt");
    touch(".hidden");
    touch("A.jpg");
    ASSERT_TRUE(QDir(folder).mkdir("sub.jpg"));
    // A link whose target is gone is an entry of the folder like any other.
    ASSERT_EQ(symlink("gone", QFile::encodeName(folder + "c.lnk").constData()), 0);
    EXPECT_EQ(CollectFolderFiles(folder), (QStringList{".hidden", "A.jpg", "b.txt", "c.lnk"}));
    EXPECT_EQ(RenameFileInFolder(folder, "c.lnk", "d.lnk"), "SUCCESSFULLY renamed c.lnk to d.lnk");
    // Without a folder nothing is listed (not the working folder).
    EXPECT_TRUE(CollectFolderFiles(QString()).isEmpty());
    EXPECT_TRUE(CollectFolderFiles(folder + "missing" + QDir::separator()).isEmpty());
}

TEST_F(RenameFiles, NeverReplacesAndNeverLeavesTheFolder) {
    touch("a.jpg", "first");
    touch("b.jpg", "second");
    EXPECT_EQ(RenameFileInFolder(folder, "a.jpg", "b.jpg"), "FAILED to rename a.jpg");
    EXPECT_EQ(RenameFileInFolder(folder, "a.jpg", "x_a.jpg"), "SUCCESSFULLY renamed a.jpg to x_a.jpg");
    // The same name is still an attempt of its own, and succeeds.
    EXPECT_EQ(RenameFileInFolder(folder, "b.jpg", "b.jpg"), "SUCCESSFULLY renamed b.jpg to b.jpg");
    ASSERT_TRUE(QDir(folder).mkdir("sub"));
    for (const char* target : {"sub/b.jpg", "../b.jpg", "..", ".", ""})
        EXPECT_EQ(RenameFileInFolder(folder, "b.jpg", QString::fromLatin1(target)), "FAILED to rename b.jpg")
            << target;
    EXPECT_EQ(names(), (QStringList{"b.jpg", "sub", "x_a.jpg"}));
    QFile b(folder + "b.jpg");
    ASSERT_TRUE(b.open(QIODevice::ReadOnly));
    EXPECT_EQ(b.readAll(), "second");
}

}  // namespace
