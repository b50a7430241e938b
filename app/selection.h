#pragma once
// What the user picked in the main window: one image or a whole folder, and the images listed
// for a folder. The main window owns the selection; it lives for the run and is never saved.
// No widgets here: the folder scan and the sample size are plain functions tests call directly.

#include <QSize>
#include <QString>
#include <QStringList>

struct Selection {
    bool OneImageSelected = false;
    bool FolderSelected = false;
    QString SelectedImage;   // full path of a single-image pick
    QString SelectedFolder;  // folder of a folder pick, ending with a separator
    // 64-bit: a file over 2 GiB shows its real size, never a wrapped one.
    qint64 SelectedImageBytes = 0;
};

inline constexpr int kMaxFolderImages = 5000;

struct FolderImageList {
    QStringList FolderImageNames;  // position p is FolderImageNames[p - 1]; at most 5000
    int FolderImageCount = 0;      // images listed (<= 5000)
    // Every image file of the folder, also those past the 5000 listed.
    int GifCount = 0, JpgCount = 0, IcoCount = 0, EmfCount = 0, TifCount = 0, BmpCount = 0;

    // "N Images Found -> a Jpeg, b Gif, c Bitmap, d Metafile, e Icon, f Tif", followed by
    // " (the first 5000 are listed)" when the folder held more image files than the list keeps.
    QString summaryLine() const;
};

// The program's one list, filled by the last folder scan.
extern FolderImageList FolderImages;

// Lists and counts the images of the folder matched by the pattern (folder + "*.*"): plain
// files only (no hidden or system entries, no folders), in listing order, an image being a name
// whose last extension is .GIF, .JPG, .ICO, .EMF, .TIF or .BMP in any letter case.
FolderImageList ScanFolder(const QString& searchPattern);

// The main window's sample box for a picture of width × height: 78 high, 110 wide unless the
// picture's longer side exceeds the box, then as wide as the proportion asks (no upper limit).
QSize SampleBoxSize(int width, int height);
