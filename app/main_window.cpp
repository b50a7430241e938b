#include "main_window.h"

#include "app/about_window.h"
#include "app/globals.h"
#include "app/help_links.h"
#include "app/settings_file.h"
#include "platform/controls.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/file_system.h"
#include "platform/long_operation.h"
#include "platform/picture_box.h"
#include "ui_main_window.h"

#include <QCloseEvent>
#include <QPainter>
#include <QPointer>
#include <QSvgRenderer>

TFrmfirst* Frmfirst = nullptr;

namespace {

const QString kSection = QStringLiteral("Frmfirst");

const char* const kNoAuthority =
    "Could not create a folder as you do not have authority on your system. Please right click "
    "this software icon on your desktop, and choose the option to \"Run as Admin\" (only needs "
    "to be done one time), as you currently do not have authority to create a new folder.";

}  // namespace

QImage ProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/pixolet.svg"));
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

void UseSettingsFileForWindowSizes() {
    SetWindowSizeStore({ReadSavedWidth, ReadSavedHeight, SaveWindowSize});
}

TFrmfirst::TFrmfirst(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TFrmfirst>()), placement_(this, kSection) {
    ui->setupUi(this);
    // The form names the face; its pixel size is the program's (a form can only say points).
    setFont(ArialFont());
    setWindowIcon(QIcon(QPixmap::fromImage(ProgramIcon(64))));
    takeControls();
    connectControls();
    Cmdnext->setFocus();
    Frmfirst = this;
    RunGuarded([this] { FormCreate(); });
}

TFrmfirst::~TFrmfirst() {
    if (Frmfirst == this) Frmfirst = nullptr;
}

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
    QImage icon(32, 32, QImage::Format_RGB32);
    icon.fill(palette().color(QPalette::Window));
    QPainter(&icon).drawImage(0, 0, ProgramIcon(32));
    Image2->picture().assign(Bitmap::fromQImage(icon));
}

void TFrmfirst::connectControls() {
    // The picks, the Continue action and the service buttons are wired by the windows and
    // operations they lead to.
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

    WorkFolder = WorkFolderIn(ApplicationDataFolder());
    if (!FolderExists(WorkFolder) && !CreateFolder(WorkFolder))
        dialogs().warning(QString::fromLatin1(kNoAuthority));
    SettingsFile = SettingsFileIn(WorkFolder);

    LoadLastDir();
    const IniFile ini(SettingsFile);
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
    OpenDialog1.filters = {
        {QStringLiteral("All Images (*.*)"), QStringLiteral("*.JPG;*.GIF;*.BMP;*.ICO;*.EMF;*.TIF")},
        {QStringLiteral("Jpeg (*.JPG)"), QStringLiteral("*.JPG")},
        {QStringLiteral("Gif (*.GIF)"), QStringLiteral("*.GIF")},
        {QStringLiteral("Bitmap (*.BMP)"), QStringLiteral("*.BMP")},
        {QStringLiteral("Icon (*.ICO)"), QStringLiteral("*.ICO")},
        {QStringLiteral("Metafile (*.EMF)"), QStringLiteral("*.EMF")},
        {QStringLiteral("Tif (*.TIF)"), QStringLiteral("*.TIF")},
    };
    OpenDialog1.filterIndex = 1;
    OpenDialog1.startFolder =
        IniFile(SettingsFile).readString(QStringLiteral("History"), QStringLiteral("Last Dir"), {});
}

void TFrmfirst::FormCloseQuery() {
    const IniFile ini(SettingsFile);
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
    // Exactly what pressing Continue does, whatever Continue is wired to.
    Cmdnext->click();
}

void TFrmfirst::CmdSupportClick() { WriteToSupport(); }

void TFrmfirst::BitBtn4Click() { ShowDownloadsPage(); }

void TFrmfirst::BitBtn3Click() { ShowHelpPage(); }

void TFrmfirst::Button1Click() { ShowAboutWindow(this); }

void TFrmfirst::BitBtn1Click() { close(); }

void TFrmfirst::closeEvent(QCloseEvent* event) {
    if (LongOperation::running()) {
        // A run in progress ends first; then the window closes as asked.
        event->ignore();
        if (!closePending_) {
            closePending_ = true;
            LongOperation::whenFinished([window = QPointer<TFrmfirst>(this)] {
                if (!window) return;
                window->closePending_ = false;
                window->close();
            });
        }
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
