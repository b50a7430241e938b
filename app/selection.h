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
