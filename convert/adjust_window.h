#pragma once
// The size-adjustment window Frmadjust: the chosen image scaled by a percentage on a slider or to
// an exact width and height, with a live preview. It owns the three pictures every save works
// from and the sizing state the batch applies to a folder.

#include "convert/batch.h"
#include "formats/picture.h"
#include "platform/dialogs.h"
#include "platform/window_kit.h"

#include <QSize>
#include <QString>

namespace Ui {
class TFrmadjust;
}
class PictureBox;

class TFrmadjust : public ModalForm {
    Q_OBJECT
public:
    explicit TFrmadjust(QWidget* parent = nullptr);
    ~TFrmadjust() override;

    // The master: the chosen image exactly as loaded; every preview is drawn from it.
    Picture ImageSave;
    // The working picture: the chosen image, and each file of a batch in turn.
    Picture ImageHidden;
    // Sizing state, shared with the saves and the batch.
    int OriginalWidth = 0;
    int OriginalHeight = 0;
    bool ExactSizeSet = false;
    QString ProgramFolder;
    // The JPEG encoding the last single save or estimate made.
    Picture Imagejpeg;
    // What the save action works on, set by Continue: the one image shown, or every image of
    // the folder (ending with a separator).
    bool FolderSelected = false;
    QString SelectedFolder;
    // Image files handled by the current or last folder run.
    int ProcessedCount = 0;
    // The file-save dialog's settings; each output type sets its own before the dialog opens.
    FileDialogOptions SaveDialog1;

    // The preview control. While the slider moves it paints only the part of the scaled master
    // that shows; PreviewPicture() gives the whole bitmap.
    PictureBox* Image1() const;
    // The preview's pixel size.
    QSize PreviewSize() const { return previewSize_; }
    // The preview as a picture of its own (made from the master on first use after a change):
    // what a save, the size estimate and the viewer work from.
    const Picture& PreviewPicture();
    // The slider position P.
    int Percent() const;

    // Loads a file into the working picture, with `alsoPreview` into the preview (and the labels
    // and the slider follow), with `alsoMaster` into the master. Rejected: a TIFF the reader
    // refused (it has shown its message); the load stopped there. Other failures throw.
    LoadOutcome LoadIntoAdjustWindow(const QString& path, bool alsoPreview, bool alsoMaster);

    // Handlers, each also run directly by the program.
    void ScrollBar1Change();
    void Button1Click();
    void RadPercentClick();
    void RadCalculateClick();
    void BitBtn1Click();
    void Image1Click();
    void BitBtn6Click();
    void BitBtn4Click();
    void BitBtn5Click();
    // Saves the preview as one file, or converts the selected folder.
    void CmdsaveClick();
    // Writes the preview in the four types to temporary files and shows their sizes.
    void CmdcalculateClick();
    // The dialog's settings for the output type; for JPEG the quality window follows.
    void PrepareSaveDialog(OutputType type);

private:
    void saveOneImage();
    void saveFolder();
    void runFolder(const BatchJob& job, const QString& mask);
    void FormCreate();
    void connectControls();
    // Shows the master scaled to `size` in the preview, or says why it cannot and changes
    // nothing. False when refused.
    bool showPreviewAt(QSize size);

    std::unique_ptr<Ui::TFrmadjust> ui;
    QSize previewSize_;
    bool previewMade_ = true;  // Image1's own picture holds the preview's pixels
    int shownPercent_ = 100;   // the slider position the preview was last drawn for
};

// The one size-adjustment window while it exists.
extern TFrmadjust* Frmadjust;
