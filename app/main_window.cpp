#include "main_window.h"

#include "app/globals.h"
#include "app/settings_file.h"
#include "platform/desktop.h"
#include "platform/error_report.h"
#include "platform/file_system.h"
#include "platform/image_box.h"
#include "platform/long_operation.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSvgRenderer>

TFrmfirst* Frmfirst = nullptr;

namespace {

const QString kSection = QStringLiteral("Frmfirst");
const QColor kWindowGrey(224, 224, 224);
const QColor kPanelCream(242, 241, 230);
const QColor kNavy(0, 0, 128);
constexpr int kClientWidth = 457;
constexpr int kClientHeight = 444;

const char* const kInstructions =
    "Select an image or an entire folder of images by clicking one of the buttons below. Then "
    "select an option at the bottom and click \"continue\". You can generate thumbnail images, "
    "convert image types, make webpages instantly, rename files in bulk, and more.";

const char* const kNoAuthority =
    "Could not create a folder as you do not have authority on your system. Please right click "
    "this software icon on your desktop, and choose the option to \"Run as Admin\" (only needs "
    "to be done one time), as you currently do not have authority to create a new folder.";

QFont arial(bool bold = false) {
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(11);
    font.setBold(bold);
    return font;
}

// A hand-edited or damaged file may hold a negative or absurd size; such a value is ignored
// like a 0 rather than giving a window that cannot be seen or handled.
int usableSavedLength(int saved) {
    return (saved > 0 && saved <= 16384) ? saved : 0;
}

template <typename W>
W* named(W* widget, const char* name) {
    widget->setObjectName(QLatin1String(name));
    return widget;
}

void paintBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QLabel* infoLabel(QWidget* parent, const char* name, QRect geometry) {
    auto* label = named(new QLabel(parent), name);
    label->setFont(arial(true));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kNavy);
    label->setPalette(palette);
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* hint,
                    QRect geometry) {
    auto* b = named(new QPushButton(QString::fromLatin1(caption), parent), name);
    if (hint) b->setToolTip(QString::fromLatin1(hint));
    b->setGeometry(geometry);
    return b;
}

}  // namespace

QImage ProgramIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QSvgRenderer renderer(QStringLiteral(":/pixolet.svg"));
    QPainter painter(&image);
    renderer.render(&painter);
    return image;
}

TFrmfirst::TFrmfirst(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Frmfirst"));
    setWindowTitle(QStringLiteral("Pixolet"));
    setWindowIcon(QIcon(QPixmap::fromImage(ProgramIcon(64))));
    setFont(arial());
    paintBackground(this, kWindowGrey);
    resize(kClientWidth, kClientHeight);
    createControls();
    setTabOrderChain();
    connectControls();
    Frmfirst = this;
    RunGuarded([this] { FormCreate(); });
}

TFrmfirst::~TFrmfirst() {
    if (Frmfirst == this) Frmfirst = nullptr;
}

void TFrmfirst::createControls() {
    Panel1 = named(new QFrame(this), "Panel1");
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setGeometry(8, 8, 441, 72);
    paintBackground(Panel1, kPanelCream);
    Label2 = named(new QLabel(QString::fromLatin1(kInstructions), Panel1), "Label2");
    Label2->setWordWrap(true);
    Label2->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    Label2->setGeometry(8, 4, 425, 64);

    GroupBox1 = named(new QGroupBox(this), "GroupBox1");
    GroupBox1->setGeometry(8, 86, 297, 56);
    Cmdimage = button(GroupBox1, "Cmdimage", "Select 1 Image", "Select 1 image for processing",
                      QRect(10, 16, 132, 30));
    Cmdfolder = button(GroupBox1, "Cmdfolder", "Select Entire Folder",
                       "Select an entire folder of images for processing", QRect(154, 16, 132, 30));

    Image1 = named(new ImageBox(this), "Image1");
    Image1->setGeometry(318, 88, 120, 83);
    Image1->setStretch(true);
    Image1->setCursor(Qt::PointingHandCursor);
    Image1->setToolTip(QStringLiteral("Click this image to enlarge"));

    Chkopenviewer = named(new QCheckBox(QStringLiteral("Always auto-open viewer instantly"), this),
                          "Chkopenviewer");
    Chkopenviewer->setToolTip(
        QStringLiteral("Select this and viewer always opens when you select an image"));
    Chkopenviewer->setGeometry(10, 150, 297, 18);

    Image2 = named(new ImageBox(this), "Image2");
    Image2->setGeometry(10, 180, 32, 32);
    Image2->setPicture(ProgramIcon(32));

    LblChosen = infoLabel(this, "LblChosen", QRect(50, 178, 399, 15));
    LblSizeAndWidth = infoLabel(this, "LblSizeAndWidth", QRect(50, 194, 399, 15));
    Lblinfo = infoLabel(this, "Lblinfo", QRect(50, 210, 399, 56));
    Lblinfo->setWordWrap(true);

    GroupBox2 = named(new QGroupBox(QStringLiteral("Your Options:"), this), "GroupBox2");
    GroupBox2->setToolTip(
        QStringLiteral("Select an option after clicking one of the top buttons above"));
    GroupBox2->setGeometry(8, 268, 297, 134);
    const std::pair<QRadioButton**, std::pair<const char*, const char*>> options[] = {
        {&Radthumb, {"Radthumb", "Create Thumbnail Image(s)"}},
        {&RadChange, {"RadChange", "Make Image Larger or Smaller"}},
        {&Radconvert, {"Radconvert", "Convert To Different Image Type"}},
        {&Radviewer, {"Radviewer", "Open Multiple Image Viewer"}},
        {&RadRename, {"RadRename", "Rename Files (Bulk Rename)"}},
        {&RadWebpage, {"RadWebpage", "Make a Webpage Picture Index"}},
        {&RadThumbWebpage, {"RadThumbWebpage", "Make a Webpage of Thumbnails and Pictures"}},
    };
    int y = 18;
    for (const auto& [slot, texts] : options) {
        *slot = named(new QRadioButton(QString::fromLatin1(texts.second), GroupBox2), texts.first);
        (*slot)->setGeometry(10, y, 280, 16);
        y += 16;
    }

    Cmdnext = button(this, "Cmdnext", "Continue",
                     "Go to the next page after selecting options above", QRect(8, 408, 297, 30));
    CmdSupport = button(this, "CmdSupport", "Support / Help", nullptr, QRect(318, 274, 131, 26));
    BitBtn4 =
        button(this, "BitBtn4", "Downloads", "Download More Software", QRect(318, 306, 131, 26));
    BitBtn3 =
        button(this, "BitBtn3", "Help", "Help or Ordering Information", QRect(318, 338, 131, 26));
    Button1 = button(this, "Button1", "About", nullptr, QRect(318, 370, 131, 26));
    BitBtn1 = button(this, "BitBtn1", "Exit", "Exit Program", QRect(318, 408, 131, 30));
}

void TFrmfirst::setTabOrderChain() {
    QWidget* const chain[] = {Cmdnext,   Cmdimage,   Cmdfolder,       Chkopenviewer,
                              Radthumb,  RadChange,  Radconvert,      Radviewer,
                              RadRename, RadWebpage, RadThumbWebpage, CmdSupport,
                              BitBtn4,   BitBtn3,    Button1,         BitBtn1};
    for (size_t i = 1; i < std::size(chain); ++i) setTabOrder(chain[i - 1], chain[i]);
    Cmdnext->setFocus();
}

void TFrmfirst::connectControls() {
    // The picks, the Continue action and the service buttons are wired by the windows and
    // operations they lead to.
    connect(Image1, &ImageBox::clicked, this, [this] { RunGuarded([this] { Image1Click(); }); });
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

    // The saved size is the outer size; the frame comes off when it is known (showEvent).
    restoredOuterWidth_ = usableSavedLength(ReadSavedWidth(kSection));
    if (restoredOuterWidth_ != 0) resize(restoredOuterWidth_, height());
    restoredOuterHeight_ = usableSavedLength(ReadSavedHeight(kSection));
    if (restoredOuterHeight_ != 0) resize(width(), restoredOuterHeight_);
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
    const QRect outer = frameGeometry();
    SaveWindowSize(kSection, outer.width(), outer.height());
}

void TFrmfirst::Image1Click() {
    Radviewer->setChecked(true);
    // Exactly what pressing Continue does, whatever Continue is wired to.
    Cmdnext->click();
}

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
    RunGuarded([this] { FormCloseQuery(); });
    event->accept();
    emit closed();
}

void TFrmfirst::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_) {
        placed_ = true;
        placeOnScreen();
        // Some window managers add their frame only once the window is on screen; until then
        // a saved outer size would be applied as the inner one and grow by the frame each run.
        awaitingFrame_ = frameGeometry().size() == size();
    }
}

void TFrmfirst::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && awaitingFrame_ && isActiveWindow()) {
        awaitingFrame_ = false;
        if (frameGeometry().size() != size()) placeOnScreen();
    }
}

void TFrmfirst::placeOnScreen() {
    // Saved sizes are outer sizes: take the frame off before applying them.
    const QSize frameExtra = frameGeometry().size() - size();
    QSize client = size();
    if (restoredOuterWidth_ != 0) client.setWidth(restoredOuterWidth_ - frameExtra.width());
    if (restoredOuterHeight_ != 0) client.setHeight(restoredOuterHeight_ - frameExtra.height());
    resize(client);
    if (const QScreen* s = screen()) {
        const QRect area = s->availableGeometry();
        const QSize outer = client + frameExtra;
        move(area.x() + (area.width() - outer.width()) / 2,
             area.y() + (area.height() - outer.height()) / 2);
    }
}
