// Name and path helpers: the edges where a naive split goes wrong (dots in folder names, a dot
// file, no extension, separators at the end).

#include "formats/text_utils.h"

#include <gtest/gtest.h>

TEST(TextUtils, CaseChangesTouchOnlyAsciiLetters) {
    EXPECT_EQ(AsciiUpperCase(QString::fromUtf8("photo_é.jpg1")), QString::fromUtf8("PHOTO_é.JPG1"));
    EXPECT_EQ(AsciiLowerCase(QString::fromUtf8("PHOTO_É.JPG[Z]")), QString::fromUtf8("photo_É.jpg[z]"));
}

TEST(TextUtils, ExtensionIsTakenFromTheFileNameOnly) {
    EXPECT_EQ(ExtractFileExtension("/x.y/scan.TIFF"), ".TIFF");
    EXPECT_EQ(ExtractFileExtension("/x.y/scan"), "");
    EXPECT_EQ(ExtractFileExtension("a.tar.gz"), ".gz");
    EXPECT_EQ(ExtractFileExtension("/x/.bmp"), ".bmp");
    EXPECT_EQ(ExtractFileExtension("name."), ".");

    EXPECT_EQ(ChangeFileExtension("/x.y/photo.JPG", ".bmp"), "/x.y/photo.bmp");
    EXPECT_EQ(ChangeFileExtension("/x.y/photo", ".tif"), "/x.y/photo.tif");
    EXPECT_EQ(ChangeFileExtension("a.b.c", ""), "a.b");
    EXPECT_EQ(ChangeFileExtension("/x.y/", ".emf"), "/x.y/.emf");
}

TEST(TextUtils, FileNameAndFolderSplitAtTheLastSeparator) {
    EXPECT_EQ(ExtractFileName("/home/u/pics/a.gif"), "a.gif");
    EXPECT_EQ(ExtractFilePath("/home/u/pics/a.gif"), "/home/u/pics/");
    EXPECT_EQ(ExtractFileName("a.gif"), "a.gif");
    EXPECT_EQ(ExtractFilePath("a.gif"), "");
    EXPECT_EQ(ExtractFileName("/home/u/pics/"), "");
    EXPECT_EQ(ExtractFilePath("/home/u/pics/"), "/home/u/pics/");
    EXPECT_EQ(ExtractFilePath("/a.gif"), "/");
}

TEST(TextUtils, TrimDropsSpacesAndControlCharactersAtBothEndsOnly) {
    EXPECT_EQ(TrimText(QString("\t \r\n My  Title \x01\x1f ")), "My  Title");
    EXPECT_EQ(TrimText(QString(" \t\n")), "");
    EXPECT_EQ(TrimText(""), "");
    // Non-breaking space sorts above ' ': it is text, not padding.
    EXPECT_EQ(TrimText(QString::fromUtf8("\u00a0x ")), QString::fromUtf8("\u00a0x"));
}
