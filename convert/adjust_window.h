#pragma once
// The size-adjustment window Frmadjust: the chosen image scaled by a percentage on a slider or to
// an exact width and height, with a live preview. It owns the three pictures every save works
// from and the sizing state the batch applies to a folder.

#include "convert/batch.h"
#include "formats/picture.h"
#include "platform/dialogs.h"
#include "platform/session.h"
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
    TFrmadjust(Session& session, QWidget* parent = nullptr);
    ~TFrmadjust() override;

    // The master: the chosen image exactly as loaded; every preview is drawn from it.
    const Picture& ImageSave() const { return imageSave_; }
    // The working picture: the chosen image, and each file of a batch in turn.
    const Picture& ImageHidden() const { return imageHidden_; }
    // Sizing state, shared with the saves and the batch.
    int OriginalWidth() const { return originalWidth_; }
    int OriginalHeight() const { return originalHeight_; }
    bool ExactSizeSet() const { return exactSizeSet_; }
    const QString& ProgramFolder() const { return programFolder_; }
    // The JPEG encoding the last single save or estimate made.
    const Picture& Imagejpeg() const { return imagejpeg_; }
    // What the save action works on: the one image shown, or every image of the folder.
    bool FolderSelected() const { return folderSelected_; }
    const QString& SelectedFolder() const { return selectedFolder_; }
    // Image files handled by the current or last folder run.
    int ProcessedCount() const { return processedCount_; }
    // The file-save dialog's settings; each output type sets its own before the dialog opens.
    const FileDialogOptions& SaveDialog1() const { return saveDialog1_; }

    // What the main window's picks and Continue tell this window.
    // A single image: the title, its size in bytes and its name.
    void ShowImageSelection(const QString& path, qint64 bytes);
    // A folder (ending with a separator): the title and its name; the summary follows.
    void ShowFolderSelection(const QString& folder);
    // The folder scan's summary line.
    void ShowFolderSummary(const QString& summary);
    // What the save action works on from now on.
    void UseSelection(bool folderSelected, const QString& selectedFolder);
    // Empties the four notes under the preview; Note1 is the first of them.
    void ClearNotes();
    QString Note1() const;
    // The slider to 100 percent (a conversion at full size).
    void ResetToFullSize();
    // The working picture becomes the master again, before the window is shown.
    void RestoreWorkingPicture();
    // The size the slider scales; every load sets it to the loaded picture's.
    void SetOriginalSize(int width, int height);

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
    void ScrollBar1Change();   // the percentage slider
    void Button1Click();       // "Calculate"
    void RadPercentClick();    // "Adjust % of image:"
    void RadCalculateClick();  // "Exact pixel width and height (W x H)"
    void BitBtn1Click();       // "Reset To Default"
    void Image1Click();        // the preview
    void BitBtn6Click();       // "Image Viewer"
    void BitBtn4Click();       // "Previous Page"
    void BitBtn5Click();       // "Exit"
    // Saves the preview as one file, or converts the selected folder.
    void CmdsaveClick();  // "Save The Images/Thumbnails"
    // Writes the preview in the four types to temporary files and shows their sizes.
    void CmdcalculateClick();  // "Calculate New Image Size"
    // The dialog's settings for the output type; for JPEG the quality window follows.
    void PrepareSaveDialog(OutputType type);

private:
    // The one place that decides which controls are enabled: the panel of the sizing mode, and
    // nothing that could start another operation while a run goes on.
    void UpdateControls();
    void saveOneImage();
    void saveFolder();
    void runFolder(const BatchJob& job, const QString& mask);
    void FormCreate();
    void connectControls();
    void openViewer();
    // The session's other windows this one works with; a missing one is an error.
    TFrmoptions& optionsWindow() const;
    TFrmcomp& qualityWindow() const;
    TFrmresults& resultsWindow() const;
    // A result line in the results window, when there is one.
    void addResult(WriteOutcome outcome, const QString& path);
    // Shows the master scaled to `size` in the preview, or says why it cannot and changes
    // nothing. False when refused.
    bool showPreviewAt(QSize size);

    std::unique_ptr<Ui::TFrmadjust> ui;
    Session& session_;
    WindowSlot<TFrmadjust> slot_;
    Picture imageSave_;
    Picture imageHidden_;
    Picture imagejpeg_;
    int originalWidth_ = 0;
    int originalHeight_ = 0;
    bool exactSizeSet_ = false;
    QString programFolder_;
    bool folderSelected_ = false;
    QString selectedFolder_;
    int processedCount_ = 0;
    FileDialogOptions saveDialog1_;
    QSize previewSize_;
    bool previewMade_ = true;  // Image1's own picture holds the preview's pixels
    int shownPercent_ = 100;   // the slider position the preview was last drawn for
};
