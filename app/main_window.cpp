#include "main_window.h"

#include "app/about_window.h"
#include "app/help_links.h"
#include "app/picture_index.h"
#include "app/project_folders.h"
#include "app/settings_file.h"
#include "convert/adjust_window.h"
#include "convert/web_pages.h"
#include "formats/text_utils.h"
#include "platform/controls.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/file_system.h"
#include "platform/disabled_widgets.h"
#include "platform/folder_images.h"
#include "platform/long_operation.h"
#include "platform/picture_box.h"
#include "ui_main_window.h"
#include "rename/rename_window.h"
#include "viewers/folder_viewer.h"
#include "viewers/picture_viewer.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QScrollBar>
#include <QUrl>
#include <algorithm>

namespace {

const QString kSection = QStringLiteral("Frmfirst");

const QString kDropOneThing = QStringLiteral(
    "Drop one image file (JPG, GIF, BMP, ICO, EMF or TIF) or one folder of images here.");

const char* const kNoAuthority =
    "Could not create a folder as you do not have authority on your system. Please right click "
    "this software icon on your desktop, and choose the option to \"Run as Admin\" (only needs "
    "to be done one time), as you currently do not have authority to create a new folder.";

const QString kNoteStoredImagesFolder = QStringLiteral(
    "NOTE: This folder is used for storing your created images. It is recommended that you "
    "select the images from a different folder to avoid potential contention problems.");

const QString kNoSelection = QStringLiteral(
    "Please select an image or folder of images by clicking one of the top buttons. You must "
    "select an image to work with before you can go further.");

const QString kNoName = QStringLiteral(
    "No name was entered. You must enter a name as this is the folder name where your new "
    "thumbnails, pictures, or webpages will be located when you complete the next screen. You "
    "can enter any name you wish, like \"Vacation\" or \"Florida Pictures\", etc.  You can also "
    "use different names on future projects to help keep them separated.");

const QString kTitleUsedBefore = QStringLiteral(
    "The project title already exists as you have used this project title before. We will "
    "continue, but it is recommended you use a new title to help keep things organized. You can "
    "go back and enter a new project name if you wish. The folder that already exists is "
    "located at: ");

const QString kFolderNotCreated = QStringLiteral(
    "An error occurred while trying to create the folder to store your information. Please make "
    "sure you use only numbers and letters in your project name, as you may have entered a "
    "character that Windows will not accept when creating folders. Please contact "
    "support@pixolet.example if you continue to have trouble.");

const QString kThumbWebpageNeedsFolder = QStringLiteral(
    "You have only selected 1 image. If you wish to create a webpage of thumbnails, click the "
    "\"Select Entire Folder\" button at the top to choose a folder of images. A webpage of the "
    "thumbnails and images will be automatically created and shown to you.");

const QString kPictureIndexShown = QStringLiteral(
    "Your webpage is created in the same folder as your images, and it is now displayed. If you "
    "wish to upload this to your website, simply upload the files named index.html, main.html and "
    "menu.html, alone with all the picture files which are listed on your webpage.");

const QString kRenameNeedsFolder = QStringLiteral(
    "This option allows you to rename an entire folder of files automatically. Please choose the "
    "entire folder option at the top to use this feature, as you have only selected 1 image.");

}  // namespace

void UseSettingsFileForWindowSizes(const Session& session) {
    SetWindowSizeStore({
        [&session](const QString& section) { return ReadSavedWidth(session.SettingsFile, section); },
        [&session](const QString& section) { return ReadSavedHeight(session.SettingsFile, section); },
        [&session](const QString& section, int w, int h) {
            SaveWindowSize(session.SettingsFile, section, w, h);
        },
    });
}

TFrmadjust& TFrmfirst::adjustWindow() const {
    // Created at start, right after the main window: every pick loads into it.
    if (!session_.windows.Frmadjust)
        throw PixError(QStringLiteral("The size-adjustment window is not open"));
    return *session_.windows.Frmadjust;
}

TFrmfirst::TFrmfirst(Session& session, QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::TFrmfirst>()),
      session_(session),
      slot_(session.windows.Frmfirst, this),
      placement_(this, kSection) {
    ui->setupUi(this);
    // The form names the face; its pixel size is the program's (a form can only say points).
    setFont(ArialFont());
    setWindowIcon(QIcon(QPixmap::fromImage(ProgramIcon(64))));
    takeControls();
    connectControls();
    // A file or folder dropped anywhere on the window is picked as the buttons would pick it.
    setAcceptDrops(true);
    Cmdnext->setFocus();
    RunGuarded([this] { FormCreate(); });
}

TFrmfirst::~TFrmfirst() = default;

void TFrmfirst::takeControls() {
    Panel1 = ui->Panel1;
    Label2 = ui->Label2;
    GroupBox1 = ui->GroupBox1;
    Cmdimage = ui->Cmdimage;
    Cmdfolder = ui->Cmdfolder;
    Image1 = ui->Image1;
    Chkopenviewer = ui->Chkopenviewer;
    Image2 = ui->Image2;
    LblChosen = ui->LblChosen;
    LblSizeAndWidth = ui->LblSizeAndWidth;
    Lblinfo = ui->Lblinfo;
    GroupBox2 = ui->GroupBox2;
    Radthumb = ui->Radthumb;
    RadChange = ui->RadChange;
    Radconvert = ui->Radconvert;
    Radviewer = ui->Radviewer;
    RadRename = ui->RadRename;
    RadWebpage = ui->RadWebpage;
    RadThumbWebpage = ui->RadThumbWebpage;
    Cmdnext = ui->Cmdnext;
    CmdSupport = ui->CmdSupport;
    BitBtn4 = ui->BitBtn4;
    BitBtn3 = ui->BitBtn3;
    Button1 = ui->Button1;
    BitBtn1 = ui->BitBtn1;

    // The icon's transparent parts show the window behind it, as on the form.
    Image2->picture().assign(ProgramIconOver(palette().color(QPalette::Window)));
}

void TFrmfirst::connectControls() {
    // The picks, the Continue action and the service buttons are wired by the windows and
    // operations they lead to.
    OnClick(Cmdimage, this, &TFrmfirst::CmdimageClick);
    OnClick(Cmdfolder, this, &TFrmfirst::CmdfolderClick);
    OnClick(Cmdnext, this, &TFrmfirst::CmdnextClick);
    OnSignal(Image1, &PictureBox::clicked, this, &TFrmfirst::Image1Click);
    OnClick(CmdSupport, this, &TFrmfirst::CmdSupportClick);
    OnClick(BitBtn4, this, &TFrmfirst::BitBtn4Click);
    OnClick(BitBtn3, this, &TFrmfirst::BitBtn3Click);
    OnClick(Button1, this, &TFrmfirst::Button1Click);
    OnClick(BitBtn1, this, &TFrmfirst::BitBtn1Click);
}

void TFrmfirst::FormCreate() {
    selection.OneImageSelected = false;
    selection.FolderSelected = false;

    session_.WorkFolder = WorkFolderIn(ApplicationDataFolder());
    if (!FolderExists(session_.WorkFolder) && !CreateFolder(session_.WorkFolder))
        dialogs().warning(QString::fromLatin1(kNoAuthority));
    session_.SettingsFile = SettingsFileIn(session_.WorkFolder);

    LoadLastDir();
    const IniFile ini(session_.SettingsFile);
    Chkopenviewer->setChecked(
        ini.readBool(QStringLiteral("Viewer"), QStringLiteral("Open"), false));

    const QString screen = QStringLiteral("Screen");
    Radthumb->setChecked(ini.readBool(screen, QStringLiteral("Thumb"), false));
    RadChange->setChecked(ini.readBool(screen, QStringLiteral("Change"), false));
    Radconvert->setChecked(ini.readBool(screen, QStringLiteral("Convert"), false));
    Radviewer->setChecked(ini.readBool(screen, QStringLiteral("Viewer"), false));
    if (!Radthumb->isChecked() && !RadChange->isChecked() && !Radconvert->isChecked() &&
        !Radviewer->isChecked())
        Radthumb->setChecked(true);

    placement_.restoreSavedSize();
}

void TFrmfirst::LoadLastDir() {
    // The first six kinds as they always were, the other spellings of JPEG and TIFF with them,
    // then the kinds read later.
    OpenDialog1.filters = {
        {QStringLiteral("All Images (*.*)"),
         QStringLiteral("*.JPG;*.GIF;*.BMP;*.ICO;*.EMF;*.TIF;*.JPEG;*.JPE;*.TIFF;*.PNG;*.WEBP;"
                        "*.HEIC;*.HEIF;*.AVIF")},
        {QStringLiteral("Jpeg (*.JPG)"), QStringLiteral("*.JPG;*.JPEG;*.JPE")},
        {QStringLiteral("Gif (*.GIF)"), QStringLiteral("*.GIF")},
        {QStringLiteral("Bitmap (*.BMP)"), QStringLiteral("*.BMP")},
        {QStringLiteral("Icon (*.ICO)"), QStringLiteral("*.ICO")},
        {QStringLiteral("Metafile (*.EMF)"), QStringLiteral("*.EMF")},
        {QStringLiteral("Tif (*.TIF)"), QStringLiteral("*.TIF;*.TIFF")},
        {QStringLiteral("Png (*.PNG)"), QStringLiteral("*.PNG")},
        {QStringLiteral("WebP (*.WEBP)"), QStringLiteral("*.WEBP")},
        {QStringLiteral("Heic (*.HEIC)"), QStringLiteral("*.HEIC;*.HEIF")},
        {QStringLiteral("Avif (*.AVIF)"), QStringLiteral("*.AVIF")},
    };
    OpenDialog1.filterIndex = 1;
    OpenDialog1.startFolder =
        IniFile(session_.SettingsFile)
            .readString(QStringLiteral("History"), QStringLiteral("Last Dir"), {});
}

void TFrmfirst::SaveLastDir(const QString& pickedFile) {
    IniFile(session_.SettingsFile)
        .writeString(QStringLiteral("History"), QStringLiteral("Last Dir"),
                     ExtractFilePath(pickedFile));
}

void TFrmfirst::ScanFolderImages(const QString& searchPattern) {
    session_.FolderImages = ScanFolder(searchPattern);
    adjustWindow().ShowFolderSummary(session_.FolderImages.summaryLine());
}

void TFrmfirst::SizeSampleImage() {
    Image1->picture().clear();
    const Picture& master = adjustWindow().ImageSave();
    Image1->resize(SampleBoxSize(master.width(), master.height()));
}

void TFrmfirst::CmdimageClick() {
    LoadLastDir();
    const FileDialogResult picked = dialogs().openFile(OpenDialog1);
    if (!picked.accepted()) return;
    UseImage(picked.path);
}

void TFrmfirst::UseImage(const QString& path) {
    TFrmadjust& adjust = adjustWindow();
    // A file that fails to load ends the pick here (the error report, or the TIFF reader's own
    // message): the previous selection stays in force.
    if (adjust.LoadIntoAdjustWindow(path, true, true) == LoadOutcome::Rejected) return;
    SizeSampleImage();
    Image1->picture().assign(adjust.ImageSave());

    selection.SelectedImage = path;
    selection.OneImageSelected = true;
    selection.FolderSelected = false;
    selection.SelectedImageBytes = FileSizeOf(path).value_or(0);
    adjust.ShowImageSelection(path, selection.SelectedImageBytes);

    LblChosen->setText(QStringLiteral("Image Chosen -> ") + ExtractFileName(path));
    LblSizeAndWidth->setText(QStringLiteral("Image is %1 x %2, %3 bytes")
                                 .arg(adjust.ImageHidden().width())
                                 .arg(adjust.ImageHidden().height())
                                 .arg(selection.SelectedImageBytes));
    Lblinfo->setText(QStringLiteral("Now select an option below, then click \"Next Page\""));
    SaveLastDir(path);

    if (Chkopenviewer->isChecked()) {
        Radviewer->setChecked(true);
        CmdnextClick();
    }
}

void TFrmfirst::CmdfolderClick() {
    LoadLastDir();
    const FileDialogResult picked = dialogs().openFile(OpenDialog1);
    if (!picked.accepted()) return;
    UseFolderSample(picked.path);
}

void TFrmfirst::UseFolderSample(const QString& path) {
    const QString folder = ExtractFilePath(path);

    if (folder == session_.StoredImagesFolder) dialogs().plain(kNoteStoredImagesFolder);
    if (TFrmRename* rename = session_.windows.FrmRename) rename->ShowFolder(folder);

    TFrmadjust& adjust = adjustWindow();
    if (adjust.LoadIntoAdjustWindow(path, true, true) == LoadOutcome::Rejected) return;
    SizeSampleImage();
    Image1->picture().assign(adjust.ImageSave());

    selection.SelectedFolder = folder;
    selection.OneImageSelected = false;
    selection.FolderSelected = true;
    LblChosen->setText(QStringLiteral("Folder Chosen -> ") + folder);
    LblSizeAndWidth->setText(QStringLiteral("You are working with all images in this folder."));
    Lblinfo->setText(QStringLiteral(
        "Now select an option below, then click \"Next Page\". You can make thumbnail images, "
        "convert image types, use the image viewer, or adjust image sizes larger or smaller, "
        "then save."));
    adjust.ShowFolderSelection(folder);
    ScanFolderImages(folder + QStringLiteral("*.*"));
    SaveLastDir(path);

    if (Chkopenviewer->isChecked()) {
        Radviewer->setChecked(true);
        CmdnextClick();
    }
}

void TFrmfirst::DropPaths(const QStringList& paths) {
    // A run in progress holds the picks off; a drop must not slip past that.
    if (!Cmdimage->isEnabled() || !Cmdfolder->isEnabled()) return;
    if (paths.size() != 1) {
        dialogs().warning(kDropOneThing);
        return;
    }
    const QFileInfo dropped(paths.front());
    if (dropped.isDir()) {
        QString folder = QDir::toNativeSeparators(dropped.absoluteFilePath());
        if (!folder.endsWith(QDir::separator())) folder += QDir::separator();
        const FolderImageList listed = ScanFolder(folder + QStringLiteral("*.*"));
        if (listed.FolderImageNames.isEmpty()) {
            dialogs().warning(QStringLiteral("The folder %1 holds no images that Pixolet can "
                                             "open (JPG, GIF, BMP, ICO, EMF or TIF).")
                                  .arg(folder));
            return;
        }
        UseFolderSample(folder + listed.FolderImageNames.front());
    } else if (dropped.isFile() && IsSupportedImageFile(dropped.fileName())) {
        UseImage(QDir::toNativeSeparators(dropped.absoluteFilePath()));
    } else {
        dialogs().warning(kDropOneThing);
    }
}

void TFrmfirst::dragEnterEvent(QDragEnterEvent* event) {
    // Only local files and folders can be picked; whether this one can is said at the drop.
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() &&
        std::all_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void TFrmfirst::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TFrmfirst::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls())
        paths.append(url.isLocalFile() ? url.toLocalFile() : url.toString());
    event->acceptProposedAction();
    RunGuarded([&] { DropPaths(paths); });
}

bool TFrmfirst::StartProject() {
    const QString answer =
        dialogs().inputBox(QStringLiteral("Enter a project name or title"),
                           QStringLiteral("Enter a title to help you identify this project:"),
                           QStringLiteral("Enter Any Title Here"));
    session_.ProjectTitle = answer;
    if (!ProjectTitleEntered(answer)) {
        dialogs().plain(kNoName);
        return false;
    }
    // The untrimmed answer names the folder: leading spaces stay.
    session_.ProjectTitle += QDir::separator();
    // A separator or a bare "." / ".." would reach outside the stored images folder.
    if (!ProjectTitleStaysInside(answer)) {
        dialogs().error(kFolderNotCreated);
        return false;
    }
    const auto told = [](const QString& existing) {
        dialogs().information(kTitleUsedBefore + existing);
    };
    if (!MakeProjectFolder(session_.StoredImagesFolder, session_.ProjectTitle, told) ||
        !MakeProjectFolder(session_.WebpagesFolder, session_.ProjectTitle, told)) {
        dialogs().error(kFolderNotCreated);
        return false;
    }
    return true;
}

void TFrmfirst::CmdnextClick() {
    session_.StoredImagesFolder = StoredImagesRoot(session_.WorkFolder);
    session_.WebpagesFolder = WebpagesRoot(session_.WorkFolder);

    if (selection.FolderSelected && !RadRename->isChecked() && !RadWebpage->isChecked() &&
        !Radviewer->isChecked() && !StartProject())
        return;

    session_.ThumbWebpageWanted = RadThumbWebpage->isChecked();
    if (session_.ThumbWebpageWanted) Radthumb->setChecked(true);
    session_.ExitRequested = false;
    // The main window also stands alone (its own tests); the size-adjustment window is told
    // only when it exists.
    if (TFrmadjust* adjust = session_.windows.Frmadjust) {
        adjust->ClearNotes();
        adjust->UseSelection(selection.FolderSelected, selection.SelectedFolder);
    }

    if (!selection.OneImageSelected && !selection.FolderSelected) {
        dialogs().plain(kNoSelection);
    } else if (RadWebpage->isChecked()) {
        WritePictureIndexPages(selection);
        WriteIndexPageAndShow(PictureIndexBaseFolder(selection));
        dialogs().plain(kPictureIndexShown);
    } else if (Radthumb->isChecked() || RadChange->isChecked()) {
        if (session_.ThumbWebpageWanted && !selection.FolderSelected) {
            dialogs().plain(kThumbWebpageNeedsFolder);
            RadThumbWebpage->setChecked(true);
        } else {
            TFrmadjust& adjust = adjustWindow();
            adjust.RestoreWorkingPicture();
            adjust.showModal();
        }
    } else if (Radviewer->isChecked()) {
        if (selection.FolderSelected) {
            const QString folder = selection.SelectedFolder;
            if (TFrmfolderview* viewer = session_.windows.Frmfolderview)
                viewer->OpenFolderViewer(
                    folder, [this, folder] { ScanFolderImages(folder + QStringLiteral("*.*")); });
        } else if (TFrmpic* viewer = session_.windows.Frmpic) {
            viewer->OpenPictureViewer(adjustWindow().PreviewPicture());
        }
    } else if (RadRename->isChecked()) {
        if (!selection.FolderSelected)
            dialogs().plain(kRenameNeedsFolder);
        else if (TFrmRename* rename = session_.windows.FrmRename)
            rename->showModal();
    } else {
        // Conversion at full size: the save action runs with the size-adjustment window
        // hidden, so this window stays live meanwhile and must not start anything else.
        TFrmadjust& adjust = adjustWindow();
        {
            DisabledWidgets off{ui->centralwidget};
            adjust.ResetToFullSize();
            adjust.CmdsaveClick();
        }
        LblSizeAndWidth->clear();
        Lblinfo->setText(adjust.Note1());
    }

    if (session_.ExitRequested) close();
}

void TFrmfirst::FormCloseQuery() {
    const IniFile ini(session_.SettingsFile);
    ini.writeBool(QStringLiteral("Viewer"), QStringLiteral("Open"), Chkopenviewer->isChecked());
    const QString screen = QStringLiteral("Screen");
    ini.writeBool(screen, QStringLiteral("Thumb"), Radthumb->isChecked());
    ini.writeBool(screen, QStringLiteral("Change"), RadChange->isChecked());
    ini.writeBool(screen, QStringLiteral("Convert"), Radconvert->isChecked());
    ini.writeBool(screen, QStringLiteral("Viewer"), Radviewer->isChecked());
    // The window's size follows (closeEvent), through its placement.
}

void TFrmfirst::Image1Click() {
    Radviewer->setChecked(true);
    // Exactly what pressing Continue does.
    Cmdnext->click();
}

void TFrmfirst::CmdSupportClick() { WriteToSupport(); }

void TFrmfirst::BitBtn4Click() { ShowDownloadsPage(); }

void TFrmfirst::BitBtn3Click() { ShowHelpPage(); }

void TFrmfirst::Button1Click() { ShowAboutWindow(this); }

void TFrmfirst::BitBtn1Click() { close(); }

void TFrmfirst::closeEvent(QCloseEvent* event) {
    // A run in progress ends first; then the window closes as asked.
    if (closeLater_.deferred([this] { close(); })) {
        event->ignore();
        return;
    }
    // A settings file that cannot be written is reported, and the program still ends: the user
    // asked to leave.
    RunGuarded([this] {
        FormCloseQuery();
        placement_.saveSize();
    });
    event->accept();
    emit closed();
}
