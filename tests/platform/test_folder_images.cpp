#include "platform/folder_images.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

class FolderScanTest : public ::testing::Test {
protected:
    void touch(const QString& name) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << name.toStdString();
    }
    FolderImageList scan() { return ScanFolder(dir.path() + QDir::separator() + "*.*"); }

    QTemporaryDir dir;
};

TEST_F(FolderScanTest, CountsOnlyPlainImageFilesAndOtherSpellingsWithTheirKind) {
    for (const char* name : {"a.jpg", "B.GIF", "c.txt", "photo.jpeg", "scan.tiff", ".hidden.jpg",
                             "noext", "v.Tif", "archive.bmp.zip", "pic.tif.bmp", "d.JPE"})
        touch(name);
    ASSERT_TRUE(QDir(dir.path()).mkdir("x.jpg"));

    const FolderImageList list = scan();
    EXPECT_EQ(list.FolderImageCount, 7);
    EXPECT_EQ(list.FolderImageNames, QStringList({"a.jpg", "B.GIF", "d.JPE", "photo.jpeg",
                                                  "pic.tif.bmp", "scan.tiff", "v.Tif"}))
        << "listing order, case as found on disk; hidden files and folders skipped";
    EXPECT_EQ(list.JpgCount, 3);
    EXPECT_EQ(list.GifCount, 1);
    EXPECT_EQ(list.BmpCount, 1);
    EXPECT_EQ(list.TifCount, 2);
    // No later kind in the folder: the line has its six counts and nothing more.
    EXPECT_EQ(list.summaryLine(),
              "7 Images Found -> 3 Jpeg, 1 Gif, 1 Bitmap, 0 Metafile, 0 Icon, 2 Tif");
}

TEST_F(FolderScanTest, LaterKindsFollowTheSixOnlyWhereTheFolderHasThem) {
    for (const char* name : {"a.png", "b.PNG", "c.png", "d.webp", "e.WebP", "IMG_1.HEIC", "f.heif",
                             "g.heic", "h.heic", "a.jpg", "x.apng", "y.jfif"})
        touch(name);
    const FolderImageList list = scan();
    EXPECT_EQ(list.FolderImageCount, 10);
    EXPECT_EQ(list.summaryLine(),
              "10 Images Found -> 1 Jpeg, 0 Gif, 0 Bitmap, 0 Metafile, 0 Icon, 0 Tif, 3 Png, "
              "2 WebP, 4 Heic");
    touch("i.avif");
    EXPECT_TRUE(scan().summaryLine().endsWith(", 4 Heic, 1 Avif"));
}

TEST_F(FolderScanTest, MoreThanFiveThousandImagesKeepsTheFirstAndCountsAll) {
    // 5003 images and one other file: names sort as listed, so the last three fall off.
    for (int i = 0; i < 5003; ++i) touch(QString::asprintf("img%05d.%s", i, i % 2 ? "gif" : "jpg"));
    touch("zz.txt");
    const FolderImageList list = scan();
    EXPECT_EQ(list.FolderImageCount, kMaxFolderImages);
    ASSERT_EQ(list.FolderImageNames.size(), kMaxFolderImages);
    EXPECT_EQ(list.FolderImageNames.front(), "img00000.jpg");
    EXPECT_EQ(list.FolderImageNames.back(), "img04999.gif");
    EXPECT_EQ(list.JpgCount, 2502);
    EXPECT_EQ(list.GifCount, 2501);
    EXPECT_EQ(list.summaryLine(),
              "5000 Images Found -> 2502 Jpeg, 2501 Gif, 0 Bitmap, 0 Metafile, 0 Icon, 0 Tif"
              " (the first 5000 are listed)");
}

}  // namespace
