#pragma once
// The images of a folder as the main window and the folder viewer list them: plain files in
// listing order, counted by type. A plain function, so tests call it without a window.

#include <QString>
#include <QStringList>

inline constexpr int kMaxFolderImages = 5000;

struct FolderImageList {
    QStringList FolderImageNames;  // position p is FolderImageNames[p - 1]; at most 5000
    int FolderImageCount = 0;      // images listed (<= 5000)
    // Every image file of the folder, also those past the 5000 listed. .JPEG and .JPE count as
    // Jpeg, .TIFF as Tif, .HEIF as Heic.
    int GifCount = 0, JpgCount = 0, IcoCount = 0, EmfCount = 0, TifCount = 0, BmpCount = 0;
    int PngCount = 0, WebpCount = 0, HeicCount = 0, AvifCount = 0;

    // "N Images Found -> a Jpeg, b Gif, c Bitmap, d Metafile, e Icon, f Tif", then each later
    // kind the folder holds (", g Png", ", h WebP", ", i Heic", ", j Avif"), followed by
    // " (the first 5000 are listed)" when the folder held more image files than the list keeps.
    QString summaryLine() const;
};

// Lists and counts the images of the folder matched by the pattern (folder + "*.*"): plain
// files only (no hidden or system entries, no folders), in listing order, an image being a name
// whose last extension is one the program reads (IsSupportedImageFile), in any letter case.
FolderImageList ScanFolder(const QString& searchPattern);
