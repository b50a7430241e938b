#pragma once
// The single image viewer Frmpic: one picture at its natural size in a scrollable area, zoomed
// in and out in steps of a typed percentage. It keeps its own copy of the picture it was given,
// the reference, and draws every zoomed view from it.

#include "formats/picture.h"
#include "platform/session.h"
#include "platform/window_kit.h"

#include <memory>

namespace Ui {
class TFrmpic;
}
class PictureBox;

class TFrmpic : public ModalForm {
    Q_OBJECT
public:
    TFrmpic(Session& session, QWidget* parent = nullptr);
    ~TFrmpic() override;

    enum class ZoomDirection { In, Out };

    // Takes a copy of the picture as the reference and shows it at 100 %, modally; returns when
    // the window closes.
    void OpenPictureViewer(const Picture& picture);
    // The same without showing: the copy, the natural size, the zoom offset back to 0.
    void SetReferencePicture(const Picture& picture);

    // The zoom offset in percentage points; the view is at 100 + offset percent.
    int ZoomOffset() const { return zoomOffset_; }
    // The displayed view's pixel size (Image1's size).
    QSize ViewSize() const;
    // The view as a bitmap of its own (the reference scaled to the current zoom).
    Bitmap ViewBitmap() const;
    const Picture& ReferencePicture() const;

    void ZoomStep(ZoomDirection direction, int step);

    // Handlers.
    void BitBtn2Click();  // "Zoom In"
    void BitBtn3Click();  // "Zoom Out"
    void BitBtn4Click();  // "Reset Image"
    void BitBtn1Click();  // "Close"

private:
    void FormCreate();
    void layOutForScreen();
    void connectControls();
    // Shows the reference at the given pixel size, keeping the scroll position's centre.
    void showView(QSize size, double scaleChange);

    std::unique_ptr<Ui::TFrmpic> ui;
    int zoomOffset_ = 0;
    QSize viewSize_;
    WindowSlot<TFrmpic> slot_;
};
