// The per-user data folder: asking for it never creates it; the start-up step does, as the
// roaming AppData folder always exists on Windows.
#include "platform/desktop.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class DataHome : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(scratch.isValid());
        saved = qgetenv("XDG_DATA_HOME");
        hadValue = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    }
    void TearDown() override {
        if (hadValue)
            qputenv("XDG_DATA_HOME", saved);
        else
            qunsetenv("XDG_DATA_HOME");
        setApplicationDataFolderOverride({});
    }
    // Points the platform's data home at a folder inside the scratch folder.
    QString useDataHome(const QString& relative) {
        const QString path = scratch.path() + "/" + relative;
        qputenv("XDG_DATA_HOME", QFile::encodeName(path));
        return path;
    }

    QTemporaryDir scratch;
    QByteArray saved;
    bool hadValue = false;
};

#ifndef Q_OS_WIN
TEST_F(DataHome, AskingNeverCreatesTheFolderTheStartUpStepDoesForTheUserAlone) {
    const QString home = useDataHome("fresh/account/.local/share");
    EXPECT_EQ(ApplicationDataFolder(), QDir::toNativeSeparators(home));
    EXPECT_FALSE(QFileInfo::exists(scratch.path() + "/fresh")) << "asking created it";

    EXPECT_TRUE(EnsureApplicationDataFolder());
    EXPECT_TRUE(QFileInfo(home).isDir());
    const auto userOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    for (const QString& level : {QString("/fresh"), QString("/fresh/account/.local"),
                                 QString("/fresh/account/.local/share")}) {
        const QFile::Permissions p = QFileInfo(scratch.path() + level).permissions();
        EXPECT_EQ(p & (userOnly | QFile::ReadGroup | QFile::ReadOther | QFile::ExeOther),
                  userOnly)
            << level.toStdString();
    }
    // A second start finds it and leaves it as it is.
    EXPECT_TRUE(EnsureApplicationDataFolder());
}

TEST_F(DataHome, AnExistingFolderKeepsItsPermissions) {
    const QString home = useDataHome("share");
    ASSERT_TRUE(QDir().mkdir(home));
    const QFile::Permissions before = QFileInfo(home).permissions();
    EXPECT_TRUE(EnsureApplicationDataFolder());
    EXPECT_EQ(QFileInfo(home).permissions(), before);
}
#endif

TEST_F(DataHome, TheStartUpStepReportsAFolderItCannotMake) {
    // A plain file stands where a level of the folder should be.
    QFile blocker(scratch.path() + "/file");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    setApplicationDataFolderOverride(scratch.path() + "/file/data");
    EXPECT_FALSE(EnsureApplicationDataFolder());
    EXPECT_TRUE(QFileInfo(scratch.path() + "/file").isFile());

    setApplicationDataFolderOverride(scratch.path() + "/other/data");
    EXPECT_EQ(ApplicationDataFolder(), scratch.path() + "/other/data");
    EXPECT_FALSE(QFileInfo::exists(scratch.path() + "/other"));
    EXPECT_TRUE(EnsureApplicationDataFolder());
    EXPECT_TRUE(QFileInfo(scratch.path() + "/other/data").isDir());
}

}  // namespace

namespace {

// The help pages sit beside the program in a build tree and under share/pixolet when installed.
TEST(ProgramFolder, BesideTheProgramWhenTheHelpIsThereElseTheInstalledShareFolder) {
    QTemporaryDir prefix;
    ASSERT_TRUE(prefix.isValid());
    const QString bin = prefix.path() + "/bin";
    const QString share = prefix.path() + "/share/pixolet";
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString sep = QDir::separator();

    // Neither place has the pages: the program's own folder, as before.
    EXPECT_EQ(ProgramFolderFor(bin), QDir::toNativeSeparators(bin) + sep);

    ASSERT_TRUE(QDir().mkpath(share));
    EXPECT_EQ(ProgramFolderFor(bin), QDir::toNativeSeparators(share) + sep);
    EXPECT_EQ(ProgramFolderFor(bin + "/"), QDir::toNativeSeparators(share) + sep);

    // Pages beside the program win over an installed copy.
    QFile page(bin + "/index.htm");
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.close();
    EXPECT_EQ(ProgramFolderFor(bin), QDir::toNativeSeparators(bin) + sep);
}

}  // namespace
