#pragma once
// The main window Frmfirst: picks an image or a folder, chooses the task and leads to the help
// and support pages. It fixes the work folder and the settings file when it is created.

#include "app/selection.h"
#include "platform/dialogs.h"
#include "platform/session.h"
#include "platform/window_kit.h"

#include <QMainWindow>
#include <memory>

class PictureBox;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace Ui {
class TFrmfirst;
}

class TFrmfirst : public QMainWindow {
    Q_OBJECT
public:
    explicit TFrmfirst(Session& session, QWidget* parent = nullptr);
    ~TFrmfirst() override;

    // The controls of the form, named as the tests and the other windows find them.
    QFrame* Panel1;
    QLabel* Label2;
    QGroupBox* GroupBox1;
    QPushButton* Cmdimage;
    QPushButton* Cmdfolder;
    PictureBox* Image1;
    QCheckBox* Chkopenviewer;
    PictureBox* Image2;
    QLabel* LblChosen;
    QLabel* LblSizeAndWidth;
    QLabel* Lblinfo;
    QGroupBox* GroupBox2;
    QRadioButton* Radthumb;
    QRadioButton* RadChange;
    QRadioButton* Radconvert;
    QRadioButton* Radviewer;
    QRadioButton* RadRename;
    QRadioButton* RadWebpage;
    QRadioButton* RadThumbWebpage;
    QPushButton* Cmdnext;
    QPushButton* CmdSupport;
    QPushButton* BitBtn4;
    QPushButton* BitBtn3;
    QPushButton* Button1;
    QPushButton* BitBtn1;
    // The file-open dialog of the two picks: its file types and starting folder.
    FileDialogOptions OpenDialog1;

    Selection selection;

    // The picks: one image, or a whole folder by one image in it. A file that cannot be loaded
    // leaves the previous selection in force.
    void CmdimageClick();   // "Select 1 Image"
    void CmdfolderClick();  // "Select Entire Folder"
    // What the picks do with the file chosen: the single image at path, or the folder of the
    // image at samplePath with that image as its sample.
    void UseImage(const QString& path);
    void UseFolderSample(const QString& samplePath);
    // Local paths dropped on the window: one image file is the single pick, one folder the
    // folder pick with its first image in listing order as the sample; anything else (several
    // items, another kind of file, a folder without images) is refused with a message.
    void DropPaths(const QStringList& paths);
    // Continue: the chosen task on the current selection, with the project step first for the
    // image-producing tasks on a folder.
    void CmdnextClick();  // "Continue"
    // The sample image was clicked: the viewer task, as if chosen and continued.
    void Image1Click();  // the sample image
    // The open dialog starts in the folder of the last pick ("History" / "Last Dir").
    void LoadLastDir();
    // Remembers the folder of a picked file, with its trailing separator.
    void SaveLastDir(const QString& pickedFile);
    // Lists and counts the folder's images into the session's FolderImages (pattern: folder +
    // "*.*") and shows the summary in the size-adjustment window.
    void ScanFolderImages(const QString& searchPattern);
    // Gives the sample box the proportions of the size-adjustment window's master picture.
    void SizeSampleImage();

    // The service buttons.
    void CmdSupportClick();  // "Support / Help"
    void BitBtn4Click();     // "Downloads"
    void BitBtn3Click();     // "Help"
    void Button1Click();     // "About"
    void BitBtn1Click();     // "Exit"

signals:
    // The window has closed; the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void takeControls();
    void connectControls();
    void FormCreate();
    void FormCloseQuery();
    // The project title and both project folders; false when Continue ends there.
    bool StartProject();
    TFrmadjust& adjustWindow() const;

    std::unique_ptr<Ui::TFrmfirst> ui;
    Session& session_;
    WindowSlot<TFrmfirst> slot_;
    WindowPlacement placement_;
    CloseAfterOperation closeLater_{this};
};

// Every window keeps its size in the session's settings file ("W" and "H" of its section):
// installed at start-up, and by tests that open windows.
void UseSettingsFileForWindowSizes(const Session& session);
