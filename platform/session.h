#pragma once
// What the windows of one run of the program share: the work and project folders, the flags the
// Continue action sets, the folder's image list, and the windows made at start, through which
// they reach each other's methods. Start-up makes one session and hands it to every window that
// needs it; a test makes its own.

#include "platform/folder_images.h"

#include <QString>

class TFrmfirst;
class TFrmadjust;
class TFrmcomp;
class TFrmoptions;
class TFrmresults;
class TFrmpic;
class TFrmfolderview;
class TFrmRename;

// The windows created once at start; each one fills its own place while it exists (WindowSlot).
struct SessionWindows {
    TFrmfirst* Frmfirst = nullptr;
    TFrmadjust* Frmadjust = nullptr;
    TFrmcomp* Frmcomp = nullptr;
    TFrmoptions* Frmoptions = nullptr;
    TFrmresults* Frmresults = nullptr;
    TFrmpic* Frmpic = nullptr;
    TFrmfolderview* Frmfolderview = nullptr;
    TFrmRename* FrmRename = nullptr;
};

struct Session {
    // The program's work folder (the application-data folder + "PixoletOut", no trailing
    // separator) and its settings file, fixed when the main window is created.
    QString WorkFolder;
    QString SettingsFile;
    // The project's output folders, set by every Continue: the bare roots, or the project's own
    // folders (ending with a separator) once a title was given. Empty until the first Continue.
    QString StoredImagesFolder;
    QString WebpagesFolder;
    // The title typed for the current project, followed by a separator.
    QString ProjectTitle;
    // The last Continue was for the web page of thumbnails; read by the batch run.
    bool ThumbWebpageWanted = false;
    // Set by the size-adjustment window's "Exit": when the main window regains control it
    // closes, which ends the program.
    bool ExitRequested = false;
    // The images of the selected folder, filled by the last folder scan.
    FolderImageList FolderImages;

    SessionWindows windows;
};

// Holds a window's place in the session for as long as the window lives.
template <class Window>
class WindowSlot {
public:
    WindowSlot(Window*& slot, Window* window) : slot_(slot), window_(window) { slot_ = window; }
    ~WindowSlot() {
        if (slot_ == window_) slot_ = nullptr;
    }
    WindowSlot(const WindowSlot&) = delete;
    WindowSlot& operator=(const WindowSlot&) = delete;

private:
    Window*& slot_;
    Window* window_;
};
