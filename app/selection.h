#pragma once
// What the user picked in the main window: one image or a whole folder. The main window owns the selection; it lives for the run and is never saved.
// No widgets here: the sample size is a plain function tests call directly.

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

// The main window's sample box for a picture of width × height: 78 high, 110 wide unless the
// picture's longer side exceeds the box, then as wide as the proportion asks (no upper limit).
QSize SampleBoxSize(int width, int height);
