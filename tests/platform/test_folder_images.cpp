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

TEST_F(FolderScanTest, CountsOnlyPlainFilesWithTheSixExtensions) {
    for (const char* name : {"a.jpg", "B.GIF", "c.txt", "photo.jpeg", "scan.tiff", ".hidden.jpg",
                             "noext", "v.Tif", "archive.bmp.zip", "pic.tif.bmp"})
        touch(name);
    ASSERT_TRUE(QDir(dir.path()).mkdir("x.jpg"));

    const FolderImageList list = scan();
    EXPECT_EQ(list.FolderImageCount, 4);
    EXPECT_EQ(list.FolderImageNames, QStringList({"a.jpg", "B.GIF", "pic.tif.bmp", "v.Tif"}))
        << "listing order, case as found on disk; hidden files and folders skipped";
    EXPECT_EQ(list.JpgCount, 1);
    EXPECT_EQ(list.GifCount, 1);
    EXPECT_EQ(list.BmpCount, 1);
    EXPECT_EQ(list.TifCount, 1);
    EXPECT_EQ(list.summaryLine(),
              "4 Images Found -> 1 Jpeg, 1 Gif, 1 Bitmap, 0 Metafile, 0 Icon, 1 Tif");
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
