// Program start: formats, title, the per-user data folder, windows, then the message loop until
// the main window closes.
#include "app/main_window.h"
#include "app/progress_window.h"
#include "convert/adjust_window.h"
#include "convert/options_window.h"
#include "convert/quality_window.h"
#include "convert/results_window.h"
#include "formats/host.h"
#include "formats/metafile.h"
#include "formats/picture.h"
#include "platform/desktop.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_host.h"
#include "rename/rename_window.h"
#include "viewers/folder_viewer.h"
#include "viewers/picture_viewer.h"

#include "platform/controls.h"
#include "platform/picture_box.h"

#include <QApplication>
#include <QPainter>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    InitPictureFormats();
    // Metafile sizes follow the screen the program runs on.
    SetMetafileScreenMetrics(CurrentScreenMetrics());
    SetApplicationTitle(QStringLiteral("Pixolet"));
    // The windows find the per-user data folder in place on a fresh account too; should it fail,
    // the main window warns when it cannot make its work folder there.
    EnsureApplicationDataFolder();
    UseSettingsFileForWindowSizes();

    QtDialogs qtDialogs;
    setDialogs(&qtDialogs);
    QtFormatHost host;
    host.setGifProgressHook(ShowGifProgress);
    setFormatHost(&host);

    int result = 0;
    {
        // The fixed windows, created once in this order and reused until the end.
        TFrmfirst frmfirst;
        TFrmadjust frmadjust(&frmfirst);
        TFrmcomp frmcomp(&frmadjust);
        TFrmoptions frmoptions(&frmadjust);
        // A child of the size-adjustment window, so it stays usable beside it while that one
        // is modal.
        TFrmresults frmresults(&frmadjust);
        TFrmpic frmpic(&frmfirst);
        TFrmfolderview frmfolderview(&frmfirst);
        TFrmRename frmrename(&frmfirst);
        {
            // The rename window's decoration is the program's icon on the window's grey.
            QImage icon(32, 32, QImage::Format_RGB32);
            icon.fill(ColorFromBgr(14737632));
            QPainter(&icon).drawImage(0, 0, ProgramIcon(32));
            frmrename.Image1->picture().assign(Bitmap::fromQImage(icon));
        }
        // Closing the main window ends the program, whatever other window is still open.
        application.setQuitOnLastWindowClosed(false);
        QObject::connect(&frmfirst, &TFrmfirst::closed, &application, &QApplication::quit,
                         Qt::QueuedConnection);
        frmfirst.show();
        result = QApplication::exec();
    }
    DestroyProgressForm();
    setFormatHost(nullptr);
    setDialogs(nullptr);
    return result;
}
