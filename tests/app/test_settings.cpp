#include "app/project_folders.h"
#include "app/settings_file.h"
#include "formats/errors.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void put(const QByteArray& bytes) const {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray contents() const {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir dir;
    QString file = dir.path() + "/pxset25.ini";
    IniFile ini{file};
};

TEST_F(SettingsTest, MissingFileReadsDefaultsAndIsNotCreated) {
    EXPECT_FALSE(ini.readBool("Screen", "Thumb", false));
    EXPECT_TRUE(ini.readBool("Screen", "Thumb", true));
    EXPECT_EQ(ini.readInteger("Frmfirst", "W", 0), 0);
    EXPECT_EQ(ini.readString("History", "Last Dir", "none"), "none");
    EXPECT_EQ(ReadSavedWidth(file, "Frmfirst"), 0);
    EXPECT_FALSE(QFile::exists(file));
}

TEST_F(SettingsTest, FirstWriteCreatesSectionsInOrder) {
    ini.writeBool("Viewer", "Open", true);
    SaveWindowSize(file, "Frmfirst", 640, 480);
    ini.writeString("History", "Last Dir", "/home/me/Pictures/");
    EXPECT_EQ(contents(),
              "[Viewer]\nOpen=1\n[Frmfirst]\nW=640\nH=480\n"
              "[History]\nLast Dir=/home/me/Pictures/\n");
    EXPECT_TRUE(ini.readBool("Viewer", "Open", false));
    EXPECT_EQ(ReadSavedWidth(file, "Frmfirst"), 640);
    EXPECT_EQ(ReadSavedHeight(file, "Frmfirst"), 480);
    EXPECT_EQ(ini.readString("History", "Last Dir", {}), "/home/me/Pictures/");
    // Nothing is left beside the file by the replace-through-a-new-file write.
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{"pxset25.ini"});
}

TEST_F(SettingsTest, ValuesThatAreNotIntegersReadAsTheDefault) {
    put("[S]\nplain=12\nneg=-3\nplus=+4\nspaced =  7 \nzero=0\nseven=7\nword=yes\n"
        "mixed=12abc\nempty=\nhuge=2147483648\nhex=0x10\nmax=2147483647\nmin=-2147483648\n");
    EXPECT_EQ(ini.readInteger("S", "plain", 99), 12);
    EXPECT_EQ(ini.readInteger("S", "neg", 99), -3);
    EXPECT_EQ(ini.readInteger("S", "plus", 99), 4);
    EXPECT_EQ(ini.readInteger("S", "spaced", 99), 7);
    EXPECT_EQ(ini.readInteger("S", "max", 99), 2147483647);
    EXPECT_EQ(ini.readInteger("S", "min", 99), -2147483647 - 1);
    for (const char* bad : {"word", "mixed", "empty", "huge", "hex", "absent"})
        EXPECT_EQ(ini.readInteger("S", bad, 99), 99) << bad;
    EXPECT_FALSE(ini.readBool("S", "zero", true));
    EXPECT_TRUE(ini.readBool("S", "seven", false)) << "any non-zero integer is true";
    EXPECT_TRUE(ini.readBool("S", "neg", false));
    EXPECT_TRUE(ini.readBool("S", "word", true));
    EXPECT_FALSE(ini.readBool("S", "word", false));
}

TEST_F(SettingsTest, CaseInsensitiveNamesKeepTheUsersSpellingAndOtherLines) {
    const QByteArray before = "; my notes\n[screen]\n  THUMB = 0\nother=keep me\n\n[Else]\nx=1\n";
    put(before);
    EXPECT_FALSE(ini.readBool("SCREEN", "thumb", true));
    ini.writeBool("Screen", "Thumb", true);
    ini.writeBool("Screen", "Convert", false);
    ini.writeInteger("ELSE", "X", 5);
    EXPECT_EQ(contents(),
              "; my notes\n[screen]\nTHUMB=1\nother=keep me\nConvert=0\n\n[Else]\nx=5\n");
    EXPECT_TRUE(ini.readBool("screen", "thumb", false));
}

TEST_F(SettingsTest, DuplicatesUseTheFirstAndKeepTheRest) {
    put("[A]\nk=1\nk=2\n[a]\nk=3\n");
    EXPECT_EQ(ini.readInteger("A", "k", 0), 1);
    ini.writeInteger("a", "K", 9);
    EXPECT_EQ(contents(), "[A]\nk=9\nk=2\n[a]\nk=3\n");
}

TEST_F(SettingsTest, LineEndsAndAMissingFinalNewline) {
    put("[A]\r\nk=1\r\n");
    ini.writeInteger("A", "k", 2);
    ini.writeInteger("A", "j", 3);
    ini.writeInteger("B", "m", 4);
    EXPECT_EQ(contents(), "[A]\r\nk=2\r\nj=3\r\n[B]\r\nm=4\r\n");
    EXPECT_EQ(ini.readInteger("A", "j", 0), 3);

    put("[A]\nk=1");
    ini.writeInteger("A", "j", 3);
    EXPECT_EQ(contents(), "[A]\nk=1\nj=3\n");
    put("no section here");
    ini.writeInteger("B", "m", 4);
    EXPECT_EQ(contents(), "no section here\n[B]\nm=4\n");
}

TEST_F(SettingsTest, ALineEndInAValueCannotAddLines) {
    ini.writeString("History", "Last Dir", "/odd\nname/\r[Screen]");
    EXPECT_EQ(contents(), "[History]\nLast Dir=/oddname/[Screen]\n");
    EXPECT_FALSE(ini.readBool("Screen", "Thumb", false));
}

TEST_F(SettingsTest, GarbageAndBinaryFilesKeepTheirBytes) {
    QByteArray garbage(64 * 1024, '\0');
    QRandomGenerator rng(2);
    for (char& c : garbage) c = char(rng.bounded(256));
    garbage += "\n[Screen\n=1\n[]\n==\n[Screen]]\nThumb";  // half-formed lines among noise
    put(garbage);
    EXPECT_EQ(ini.readInteger("Frmfirst", "W", 0), 0);
    ini.writeInteger("Frmfirst", "W", 500);
    EXPECT_TRUE(contents().startsWith(garbage));
    EXPECT_EQ(ini.readInteger("Frmfirst", "W", 0), 500);
}

TEST_F(SettingsTest, AHugeFileIsReadAndRewrittenWhole) {
    QByteArray huge;
    huge.reserve(50 * 1024 * 1024 + 64);
    const QByteArray line = "filler line that is not a setting at all, just text\n";
    while (huge.size() < 50 * 1024 * 1024) huge += line;
    huge += "[Screen]\nThumb=1\n";
    put(huge);
    EXPECT_TRUE(ini.readBool("Screen", "Thumb", false));
    ini.writeBool("Screen", "Thumb", false);
    const QByteArray after = contents();
    EXPECT_EQ(after.size(), huge.size());
    EXPECT_TRUE(after.endsWith("[Screen]\nThumb=0\n"));
    EXPECT_TRUE(after.startsWith(huge.left(huge.size() - 8)));
}

TEST_F(SettingsTest, ADirectoryInsteadOfTheFile) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("pxset25.ini"));
    EXPECT_EQ(ini.readInteger("Frmfirst", "W", 7), 7);
    try {
        ini.writeInteger("Frmfirst", "W", 1);
        FAIL() << "writing over a directory must fail";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "Unable to write to " + file);
    }
    EXPECT_TRUE(QFileInfo(file).isDir());
}

TEST_F(SettingsTest, AFolderThatDoesNotExist) {
    const IniFile lost(dir.path() + "/no/such/pxset25.ini");
    EXPECT_TRUE(lost.readBool("Viewer", "Open", true));
    try {
        lost.writeBool("Viewer", "Open", false);
        FAIL() << "the write must fail";
    } catch (const PixError& e) {
        EXPECT_EQ(e.text(), "Unable to write to " + lost.path());
    }
}

TEST(WorkFolder, NamesAreJoinedWithTheSeparator) {
    EXPECT_EQ(WorkFolderIn("/home/u/.local/share"), "/home/u/.local/share/PixoletOut");
    EXPECT_EQ(SettingsFileIn("/w/PixoletOut"), "/w/PixoletOut/pxset25.ini");
}

}  // namespace
