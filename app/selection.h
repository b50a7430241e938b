#pragma once
// What the user picked in the main window: one image or a whole folder. The main window owns
// it; it lives for the run and is never saved.

#include <QString>
#include <QStringList>

struct Selection {
    bool OneImageSelected = false;
    bool FolderSelected = false;
    QString SelectedImage;   // full path of a single-image pick
    QString SelectedFolder;  // folder of a folder pick, ending with a separator
    qint32 SelectedImageBytes = 0;
};

// The images of the selected folder, as the last scan found them.
inline constexpr int kMaxFolderImages = 5000;
struct FolderImageList {
    QStringList FolderImageNames;  // position p is FolderImageNames[p - 1]; at most 5000
    int FolderImageCount = 0;
    int GifCount = 0, JpgCount = 0, IcoCount = 0, EmfCount = 0, TifCount = 0, BmpCount = 0;
    QString summaryLine() const;
};
extern FolderImageList FolderImages;
FolderImageList ScanFolder(const QString& searchPattern);
