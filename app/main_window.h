#pragma once
// The main window Frmfirst: picks an image or a folder, chooses the task and leads to the help
// and support pages. It fixes the work folder and the settings file when it is created.

#include "app/selection.h"
#include "platform/dialogs.h"

#include <QWidget>

class ImageBox;
class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

class TFrmfirst : public QWidget {
    Q_OBJECT
public:
    explicit TFrmfirst(QWidget* parent = nullptr);
    ~TFrmfirst() override;

    // The controls, named as the tests and the other windows find them.
    QFrame* Panel1;
    QLabel* Label2;
    QGroupBox* GroupBox1;
    QPushButton* Cmdimage;
    QPushButton* Cmdfolder;
    ImageBox* Image1;
    QCheckBox* Chkopenviewer;
    ImageBox* Image2;
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

    // The sample image was clicked: the viewer task, as if chosen and continued.
    void Image1Click();
    // The open dialog starts in the folder of the last pick ("History" / "Last Dir").
    void LoadLastDir();

signals:
    // The window has closed; the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void createControls();
    void setTabOrderChain();
    void connectControls();
    void FormCreate();
    void FormCloseQuery();
    void placeOnScreen();

    int restoredOuterWidth_ = 0;
    int restoredOuterHeight_ = 0;
    bool placed_ = false;
    bool awaitingFrame_ = false;
    bool closePending_ = false;
};

// The one main window while it exists.
extern TFrmfirst* Frmfirst;

// The program's icon, drawn from its picture at the given size.
QImage ProgramIcon(int size);
