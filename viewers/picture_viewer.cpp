#include "picture_viewer.h"

#include "ui_picture_viewer.h"

#include "formats/sizing.h"
#include "platform/controls.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/error_report.h"
#include "platform/picture_box.h"

#include <QScrollBar>
#include <algorithm>
#include <climits>

namespace {

const QString kMaximumZoomText = QStringLiteral(
    "Maximum zoom has been reached. Please change the zoom percentage in the box to a smaller "
    "number if you wish to zoom in further.");
const QString kMinimumZoomText = QStringLiteral(
    "Picture zoom is now to small to view. Please change the zoom percentage in the box to a "
    "smaller number if you wish to zoom out further.");

constexpr int kMaximumScale = 300;
constexpr int kMinimumScale = 1;

// Keeps the centre of what shows in place when the content grows or shrinks by `factor`.
void adjustScrollBar(QScrollBar* bar, double factor) {
    bar->setValue(int(factor * bar->value() + (factor - 1) * bar->pageStep() / 2));
}

}  // namespace

TFrmpic::TFrmpic(Session& session, QWidget* parent)
    : ModalForm(QStringLiteral("Frmpic"), parent),
      ui(std::make_unique<Ui::TFrmpic>()),
      slot_(session.windows.Frmpic, this) {
    setUpForm(*ui, &Ui::TFrmpic::BitBtn1);
    PaintBackground(ui->FormContents, FormGrey());
    connectControls();
    runCreation([this] { FormCreate(); });
}

TFrmpic::~TFrmpic() = default;

void TFrmpic::connectControls() {
    OnClick(ui->BitBtn2, this, &TFrmpic::BitBtn2Click);
    OnClick(ui->BitBtn3, this, &TFrmpic::BitBtn3Click);
    OnClick(ui->BitBtn4, this, &TFrmpic::BitBtn4Click);
    OnClick(ui->BitBtn1, this, &TFrmpic::BitBtn1Click);
}

void TFrmpic::FormCreate() {
    placement().restoreSavedSize();
    // Content moves while a scroll thumb is dragged.
    for (QScrollArea* area : {ui->ScrollBox1, ui->FormScrollArea}) {
        area->horizontalScrollBar()->setTracking(true);
        area->verticalScrollBar()->setTracking(true);
    }
    layOutForScreen();
    showView(QSize(0, 0), 1.0);
}

void TFrmpic::layOutForScreen() {
    // The picture's area nearly fills the screen whatever the window's size; when the window is
    // smaller, its own scroll bars reach the row of buttons beneath.
    const ScreenMetrics screen = CurrentScreenMetrics();
    QScrollArea* box = ui->ScrollBox1;
    box->resize(std::max(0, screen.widthPixels - 40), std::max(0, screen.heightPixels - 80));
    const int top = box->y() + box->height() + 3;
    for (QWidget* w : std::initializer_list<QWidget*>{ui->BitBtn3, ui->BitBtn2, ui->BitBtn4,
                                                      ui->BitBtn1, ui->Label1, ui->Edpercent})
        w->move(w->x(), top);
    int right = 0, bottom = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{box, ui->BitBtn1, ui->Edpercent}) {
        right = std::max(right, w->geometry().right() + 1);
        bottom = std::max(bottom, w->geometry().bottom() + 1);
    }
    ui->FormContents->resize(right + 3, bottom + 3);
}

const Picture& TFrmpic::ReferencePicture() const { return ui->Imagehidden->picture(); }

QSize TFrmpic::ViewSize() const { return viewSize_; }

Bitmap TFrmpic::ViewBitmap() const {
    return StretchPicture(ReferencePicture(), viewSize_.width(), viewSize_.height());
}

void TFrmpic::SetReferencePicture(const Picture& picture) {
    zoomOffset_ = 0;
    ui->Imagehidden->picture().assign(picture);
    showView(QSize(picture.width(), picture.height()), 1.0);
    ui->ScrollBox1->horizontalScrollBar()->setValue(0);
    ui->ScrollBox1->verticalScrollBar()->setValue(0);
}

void TFrmpic::OpenPictureViewer(const Picture& picture) {
    SetReferencePicture(picture);
    showModal();
}

void TFrmpic::showView(QSize size, double scaleChange) {
    viewSize_ = size;
    // Image1 shows the reference at this size: only the part in view is drawn, and every step
    // starts again from the reference, so zooming never blurs.
    ui->Image1->showStretchedView(&ui->Imagehidden->picture(), size);
    ui->Image1->resize(size);
    if (scaleChange != 1.0) {
        adjustScrollBar(ui->ScrollBox1->horizontalScrollBar(), scaleChange);
        adjustScrollBar(ui->ScrollBox1->verticalScrollBar(), scaleChange);
    }
}

void TFrmpic::ZoomStep(ZoomDirection direction, int step) {
    const int64_t offset = int64_t(zoomOffset_) + (direction == ZoomDirection::In ? step : -int64_t(step));
    const int64_t scale = offset + 100;
    if (direction == ZoomDirection::In && scale > kMaximumScale) {
        dialogs().information(kMaximumZoomText);
        return;
    }
    if (direction == ZoomDirection::Out && scale < kMinimumScale) {
        dialogs().information(kMinimumZoomText);
        return;
    }
    if (offset < INT_MIN || offset > INT_MAX || scale > INT_MAX) throw RangeCheckError();
    // A negative step turns the direction round past the other limit; at 0 % or below there is
    // nothing left to show.
    QSize size(0, 0);
    if (scale > 0) {
        const Picture& reference = ReferencePicture();
        size = ScaledSize(reference.width(), reference.height(), int(scale));
        if (const QString refusal = NewSizeRefusal(size.width(), size.height());
            !refusal.isEmpty()) {
            dialogs().plain(refusal);
            return;
        }
    }
    const int oldScale = zoomOffset_ + 100;
    zoomOffset_ = int(offset);
    showView(size, oldScale > 0 && scale > 0 ? double(scale) / oldScale : 1.0);
}

void TFrmpic::BitBtn2Click() { ZoomStep(ZoomDirection::In, ParseInteger(ui->Edpercent->text())); }

void TFrmpic::BitBtn3Click() { ZoomStep(ZoomDirection::Out, ParseInteger(ui->Edpercent->text())); }

void TFrmpic::BitBtn4Click() {
    const Picture& reference = ReferencePicture();
    const double change = zoomOffset_ + 100 > 0 ? 100.0 / (zoomOffset_ + 100) : 1.0;
    zoomOffset_ = 0;
    showView(QSize(reference.width(), reference.height()), change);
}

void TFrmpic::BitBtn1Click() { close(); }
