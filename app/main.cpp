// Program start: formats, title, the per-user data folder, windows, then the message loop until
// the main window closes.
#include "app/main_window.h"
#include "app/progress_window.h"
#include "convert/adjust_window.h"
#include "convert/options_window.h"
#include "convert/quality_window.h"
#include "convert/results_window.h"
#include "formats/host.h"
#include "formats/metafile/metafile.h"
#include "formats/picture.h"
#include "platform/desktop.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_host.h"
#include "rename/rename_window.h"
#include "viewers/folder_viewer.h"
#include "viewers/picture_viewer.h"

#include <QApplication>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    InitPictureFormats();
    // Metafile sizes follow the screen the program runs on.
    SetMetafileScreenMetrics(CurrentScreenMetrics());
    SetApplicationTitle(QStringLiteral("Pixolet"));
    // The windows find the per-user data folder in place on a fresh account too; should it fail,
    // the main window warns when it cannot make its work folder there.
    EnsureApplicationDataFolder();
    // What the windows share for the whole run.
    Session session;
    UseSettingsFileForWindowSizes(session);

    QtDialogs qtDialogs;
    setDialogs(&qtDialogs);
    QtFormatHost host;
    host.setGifProgressHook(ShowGifProgress);
    setFormatHost(&host);

    int result = 0;
    {
        // The fixed windows, created once in this order and reused until the end.
        TFrmfirst frmfirst(session);
        TFrmadjust frmadjust(session, &frmfirst);
        TFrmcomp frmcomp(session, &frmadjust);
        TFrmoptions frmoptions(session, &frmadjust);
        // A child of the size-adjustment window, so it stays usable beside it while that one
        // is modal.
        TFrmresults frmresults(session, &frmadjust);
        TFrmpic frmpic(session, &frmfirst);
        TFrmfolderview frmfolderview(session, &frmfirst);
        TFrmRename frmrename(session, &frmfirst);
        // Closing the main window ends the program, whatever other window is still open.
        application.setQuitOnLastWindowClosed(false);
        QObject::connect(&frmfirst, &TFrmfirst::closed, &application, &QApplication::quit,
                         Qt::QueuedConnection);
        frmfirst.show();
        result = QApplication::exec();
    }
    DestroyProgressForm();
    SetWindowSizeStore({});
    setFormatHost(nullptr);
    setDialogs(nullptr);
    return result;
}
