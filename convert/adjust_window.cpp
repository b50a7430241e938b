#include "adjust_window.h"

#include "ui_adjust_window.h"

#include "app/globals.h"
#include "formats/host.h"
#include "formats/sizing.h"
#include "formats/text_utils.h"
#include "platform/controls.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/error_report.h"
#include "platform/picture_box.h"
#include "viewers/picture_viewer.h"

#include <QSignalBlocker>
#include <optional>

TFrmadjust* Frmadjust = nullptr;

namespace {

const QString kEnterBothSizesText = QStringLiteral(
    "You must enter the width and height in the boxes on the left. If you do not want to use a "
    "specific width and height to adjust your images, then use the scroll bar to adjust the image "
    "size.");

bool isGifFile(const QString& path) {
    return AsciiUpperCase(ExtractFileExtension(path)) == QLatin1String(".GIF");
}

}  // namespace

TFrmadjust::TFrmadjust(QWidget* parent)
    : ModalForm(QStringLiteral("Frmadjust"), parent), ui(std::make_unique<Ui::TFrmadjust>()) {
    ui->setupUi(this);
    // The form names the face; its pixel size is the program's (a form can only say points).
    setFont(ArialFont());
    PaintBackground(this, ColorFromBgr(14737632));
    // Enter in the width or height box means "Calculate"; nothing but the Exit button itself
    // ends the program.
    setDefaultButton(ui->Button1);
    connectControls();
    Frmadjust = this;
    RunGuarded([this] { FormCreate(); });
}

TFrmadjust::~TFrmadjust() {
    if (Frmadjust == this) Frmadjust = nullptr;
}

PictureBox* TFrmadjust::Image1() const { return ui->Image1; }

int TFrmadjust::Percent() const { return ui->ScrollBar1->value(); }

void TFrmadjust::connectControls() {
    OnSignal(ui->ScrollBar1, &QScrollBar::valueChanged, this, &TFrmadjust::ScrollBar1Change);
    OnClick(ui->Button1, this, &TFrmadjust::Button1Click);
    OnClick(ui->RadPercent, this, &TFrmadjust::RadPercentClick);
    OnClick(ui->RadCalculate, this, &TFrmadjust::RadCalculateClick);
    OnClick(ui->BitBtn1, this, &TFrmadjust::BitBtn1Click);
    OnSignal(ui->Image1, &PictureBox::clicked, this, &TFrmadjust::Image1Click);
    OnClick(ui->BitBtn6, this, &TFrmadjust::BitBtn6Click);
    OnClick(ui->BitBtn4, this, &TFrmadjust::BitBtn4Click);
    OnClick(ui->BitBtn5, this, &TFrmadjust::BitBtn5Click);
    OnClick(ui->Cmdsave, this, &TFrmadjust::CmdsaveClick);
    OnClick(ui->Cmdcalculate, this, &TFrmadjust::CmdcalculateClick);
}

void TFrmadjust::FormCreate() {
    ui->RadPercent->setChecked(true);
    RadPercentClick();
    ui->ScrollBar1->setValue(100);
    ScrollBar1Change();
    ProgramFolder = ProgramFileFolder();
    placement().restoreSavedSize();
}

bool TFrmadjust::showPreviewAt(QSize size) {
    if (size.width() < 0 || size.height() < 0) {
        dialogs().plain(NegativeSizeText());
        return false;
    }
    if (!Fits24BitBitmap(size.width(), size.height())) {
        dialogs().plain(BitmapOverLimitText(size.width(), size.height()));
        return false;
    }
    previewSize_ = size;
    // The box paints what shows of the master at this size; the whole bitmap waits until a
    // save, the estimate or the viewer asks for it.
    previewMade_ = false;
    ui->Image1->showStretchedView(&ImageSave, size);
    // The last whole preview (up to 576 MB at 400 %) is out of date: let it go now.
    ui->Image1->picture().clear();
    return true;
}

const Picture& TFrmadjust::PreviewPicture() {
    Picture& preview = ui->Image1->picture();
    if (!previewMade_) {
        std::optional<HourglassGuard> hourglass;
        if (DrawingWantsHourglass(ImageSave, previewSize_)) hourglass.emplace();
        preview.assign(StretchPicture(ImageSave, previewSize_.width(), previewSize_.height()));
        previewMade_ = true;
    }
    return preview;
}

void TFrmadjust::ScrollBar1Change() {
    const int percent = Percent();
    QSize size = previewSize_;
    if (ui->RadPercent->isChecked())
        size = QSize(ScaledLength(OriginalWidth, percent), ScaledLength(OriginalHeight, percent));
    if (!showPreviewAt(size)) {
        // Put the thumb back where the preview stands, so the two agree.
        const QSignalBlocker quiet(ui->ScrollBar1);
        ui->ScrollBar1->setValue(shownPercent_);
        return;
    }
    shownPercent_ = percent;
    ui->LblNewWidth->setText(QString::number(size.width()));
    ui->LblNewHeight->setText(QString::number(size.height()));
    ui->Lblpercent->setText(QString::number(percent) + QLatin1Char('%'));
    ExactSizeSet = false;
    ui->EdW->clear();
    ui->EdH->clear();
}

void TFrmadjust::Button1Click() {
    if (!ui->PanelCalculate->isEnabled()) return;
    const QString widthText = TrimText(ui->EdW->text());
    const QString heightText = TrimText(ui->EdH->text());
    if (widthText.isEmpty() || heightText.isEmpty()) {
        dialogs().plain(kEnterBothSizesText);
        return;
    }
    const int width = ParseInteger(widthText);
    const int height = ParseInteger(heightText);
    if (!showPreviewAt(QSize(width, height))) return;
    ui->LblNewWidth->setText(QString::number(width));
    ui->LblNewHeight->setText(QString::number(height));
    ui->Lblpercent->clear();
    ExactSizeSet = true;
}

void TFrmadjust::RadPercentClick() {
    ui->PanelCalculate->setEnabled(false);
    PaintBackground(ui->PanelCalculate, ButtonShadowColor());
    ui->PanelPercent->setEnabled(true);
    PaintBackground(ui->PanelPercent, ButtonFaceColor());
}

void TFrmadjust::RadCalculateClick() {
    ui->PanelPercent->setEnabled(false);
    PaintBackground(ui->PanelPercent, ButtonShadowColor());
    ui->PanelCalculate->setEnabled(true);
    PaintBackground(ui->PanelCalculate, ButtonFaceColor());
}

void TFrmadjust::BitBtn1Click() {
    ui->EdW->clear();
    ui->EdH->clear();
    // Two moves, so the preview is redrawn at 100 % even when the slider already stands there.
    ui->ScrollBar1->setValue(99);
    ui->ScrollBar1->setValue(100);
}

LoadOutcome TFrmadjust::LoadIntoAdjustWindow(const QString& path, bool alsoPreview,
                                             bool alsoMaster) {
    Picture& preview = ui->Image1->picture();
    // A TIFF the reader refused has shown its own message; the load ends there, quietly.
    if (isGifFile(path)) {
        // Decoding a GIF is the slow part: once, then copies.
        Picture decoded;
        if (LoadPictureFile(path, decoded) == LoadOutcome::Rejected) return LoadOutcome::Rejected;
        ImageHidden.assign(decoded);
        if (alsoPreview) preview.assign(decoded);
        if (alsoMaster) ImageSave = std::move(decoded);
    } else {
        if (LoadPictureFile(path, ImageHidden) == LoadOutcome::Rejected)
            return LoadOutcome::Rejected;
        if (alsoPreview && LoadPictureFile(path, preview) == LoadOutcome::Rejected)
            return LoadOutcome::Rejected;
        if (alsoMaster && LoadPictureFile(path, ImageSave) == LoadOutcome::Rejected)
            return LoadOutcome::Rejected;
    }
    if (!alsoPreview) return LoadOutcome::Loaded;

    // The preview holds the file itself until it is redrawn below; in exact mode the redraw
    // takes its size, so a new image shows at 100 % in either mode.
    previewMade_ = true;
    previewSize_ = QSize(preview.width(), preview.height());
    ui->Image1->clearStretchedView();
    OriginalWidth = ImageHidden.width();
    OriginalHeight = ImageHidden.height();
    ui->LblOldWidth->setText(QStringLiteral("Original Width: ") + QString::number(OriginalWidth));
    ui->LblOldHeight->setText(QStringLiteral("Original Height: ") +
                              QString::number(OriginalHeight));
    ui->LblNewWidth->setText(QString::number(OriginalWidth));
    ui->LblNewHeight->setText(QString::number(OriginalHeight));
    if (Percent() != 100)
        ui->ScrollBar1->setValue(100);
    else
        ScrollBar1Change();
    return LoadOutcome::Loaded;
}

void TFrmadjust::Image1Click() { OpenPictureViewer(PreviewPicture()); }

void TFrmadjust::BitBtn6Click() { OpenPictureViewer(PreviewPicture()); }

void TFrmadjust::BitBtn4Click() { close(); }

void TFrmadjust::BitBtn5Click() {
    ExitRequested = true;
    close();
}
