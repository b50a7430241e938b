#pragma once
// The folder viewer Frmfolderview: the selected folder's images twenty at a time, each slot a
// stretched thumbnail with its name above it; a click opens the picture in the single viewer.
// Each slot holds its file's whole picture (a JPEG's compressed data), and its image control
// keeps only the box-sized display of it.

#include "platform/session.h"
#include "platform/window_kit.h"

#include <QString>
#include <functional>
#include <memory>

namespace Ui {
class TFrmfolderview;
}
class PictureBox;
class QLabel;
class QPushButton;

class TFrmfolderview : public ModalForm {
    Q_OBJECT
public:
    static constexpr int kSlots = 20;

    TFrmfolderview(Session& session, QWidget* parent = nullptr);
    ~TFrmfolderview() override;

    // Runs `rescan` (which refreshes the session's FolderImages), takes the count and the folder, fills page 1
    // and shows the window modally. A load failure on page 1 reaches the caller, and the window
    // does not open.
    void OpenFolderViewer(const QString& selectedFolder, const std::function<void()>& rescan);
    // The same without showing.
    void PrepareFolder(const QString& selectedFolder, const std::function<void()>& rescan);

    // Fills the page whose slot 1 shows position `first` (1, 21, 41, ...). A file that fails
    // to load ends the fill there with its error: its slot shows its name without a picture,
    // the slots after it are empty, and the page start is left as it was.
    void FillPage(int first);

    int PageStart() const { return pageStart_; }
    int ViewerImageCount() const { return viewerImageCount_; }
    const QString& ViewerFolder() const { return viewerFolder_; }
    // A page is being filled (window messages run between its files).
    bool Filling() const;

    // Slot k, 1 to 20.
    PictureBox* SlotImage(int k) const;
    QLabel* SlotLabel(int k) const;

    // Handlers.
    void CmdleftClick();     // "View Previous 20"
    void CmdrightClick();    // "View Next 20"
    void ImageClick(int k);  // a thumbnail, Image1 to Image20
    void BitBtn1Click();     // "Ok"

private:
    void FormCreate();
    void connectControls();
    void clearSlot(int k);
    void setSlotName(int k, const QString& name);
    // The one place the paging buttons are switched.
    void setPaging(bool previous, bool next);

    std::unique_ptr<Ui::TFrmfolderview> ui;
    Session& session_;
    WindowSlot<TFrmfolderview> slot_;
    PictureBox* images_[kSlots] = {};
    QLabel* labels_[kSlots] = {};
    int viewerImageCount_ = 0;
    QString viewerFolder_;
    int pageStart_ = 1;
};
