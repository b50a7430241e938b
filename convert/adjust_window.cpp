#include "adjust_window.h"

#include "ui_adjust_window.h"

#include "formats/host.h"
#include "formats/sizing.h"
#include "formats/text_utils.h"
#include "platform/controls.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"
#include "platform/error_report.h"
#include "platform/long_operation.h"
#include "platform/picture_box.h"
#include "viewers/picture_viewer.h"

#include <QSignalBlocker>
#include <optional>

namespace {

const QString kEnterBothSizesText = QStringLiteral(
    "You must enter the width and height in the boxes on the left. If you do not want to use a "
    "specific width and height to adjust your images, then use the scroll bar to adjust the image "
    "size.");

bool isGifFile(const QString& path) {
    return AsciiUpperCase(ExtractFileExtension(path)) == QLatin1String(".GIF");
}

}  // namespace

TFrmadjust::TFrmadjust(Session& session, QWidget* parent)
    : ModalForm(QStringLiteral("Frmadjust"), parent),
      ui(std::make_unique<Ui::TFrmadjust>()),
      session_(session),
      slot_(session.windows.Frmadjust, this) {
    // Enter in the width or height box means "Calculate"; nothing but the Exit button itself
    // ends the program.
    setUpForm(*ui, &Ui::TFrmadjust::Button1);
    connectControls();
    runCreation([this] { FormCreate(); });
}

TFrmadjust::~TFrmadjust() = default;

void TFrmadjust::ShowImageSelection(const QString& path, qint64 bytes) {
    ui->Lbltitle->setText(QStringLiteral(
        "Slide the scroll bar below or choose an exact pixel size, then click the save button. "
        "You can also click on the image to view in the image viewer, instantly calculate new "
        "images sizes, and reset the image to the original size. Sliding the scrollbar will show "
        "you a continuous view of your adjusted image."));
    ui->Lblsize->setText(QString::number(bytes));
    ui->Lbldetails->setText(QStringLiteral("Original Image Size:"));
    ui->Lblname->setText(QStringLiteral("Original Image Name:"));
    ui->LblImageName->setText(ExtractFileName(path));
}

void TFrmadjust::ShowFolderSelection(const QString& folder) {
    ui->Lbltitle->setText(
        QStringLiteral("You are working with all images in the folder ") + folder +
        QStringLiteral(". One image is displayed below as a sample so you can view the size "
                       "adjustment. When you click the save button, other options will appear "
                       "for naming and saving all images in this folder. Slide the scroll bar "
                       "below to adjust the image sizes, then click the save button to create "
                       "your new images."));
    ui->Lbldetails->setText(QStringLiteral("Images In Folder:"));
    ui->Lblname->setText(QStringLiteral("Folder Name Chosen:"));
    ui->LblImageName->setText(folder);
}

void TFrmadjust::ShowFolderSummary(const QString& summary) { ui->Lblsize->setText(summary); }

void TFrmadjust::UseSelection(bool folderSelected, const QString& selectedFolder) {
    folderSelected_ = folderSelected;
    selectedFolder_ = selectedFolder;
}

void TFrmadjust::ClearNotes() {
    for (QLabel* note :
         {ui->Lblnote1, ui->Lblnote2, ui->Lblnote3, ui->Lblnote4, ui->Lblnote5, ui->Lblnote6})
        note->clear();
}

QString TFrmadjust::Note1() const { return ui->Lblnote1->text(); }

void TFrmadjust::ResetToFullSize() { ui->ScrollBar1->setValue(100); }

void TFrmadjust::RestoreWorkingPicture() { imageHidden_.assign(imageSave_); }

void TFrmadjust::SetOriginalSize(int width, int height) {
    originalWidth_ = width;
    originalHeight_ = height;
}

void TFrmadjust::UpdateControls() {
    const bool percentMode = ui->RadPercent->isChecked();
    ui->PanelPercent->setEnabled(percentMode);
    PaintBackground(ui->PanelPercent, percentMode ? ButtonFaceColor() : ButtonShadowColor());
    ui->PanelCalculate->setEnabled(!percentMode);
    PaintBackground(ui->PanelCalculate, percentMode ? ButtonShadowColor() : ButtonFaceColor());
    // A folder run lets events through; what could start another save, estimate or task waits.
    const bool idle = !LongOperation::running();
    for (QWidget* control :
         {static_cast<QWidget*>(ui->Cmdsave), static_cast<QWidget*>(ui->Cmdcalculate),
          static_cast<QWidget*>(ui->BitBtn6), static_cast<QWidget*>(ui->Image1),
          static_cast<QWidget*>(ui->BitBtn4), static_cast<QWidget*>(ui->BitBtn5),
          static_cast<QWidget*>(ui->Button1), static_cast<QWidget*>(ui->BitBtn1),
          static_cast<QWidget*>(ui->ScrollBar1), static_cast<QWidget*>(ui->RadPercent),
          static_cast<QWidget*>(ui->RadCalculate)})
        control->setEnabled(idle);
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
    programFolder_ = ProgramFileFolder();
    placement().restoreSavedSize();
}

bool TFrmadjust::showPreviewAt(QSize size) {
    if (const QString refusal = NewSizeRefusal(size.width(), size.height()); !refusal.isEmpty()) {
        dialogs().plain(refusal);
        return false;
    }
    previewSize_ = size;
    // The box paints what shows of the master at this size; the whole bitmap waits until a
    // save, the estimate or the viewer asks for it.
    previewMade_ = false;
    ui->Image1->showStretchedView(&imageSave_, size);
    // The last whole preview (up to 576 MB at 400 %) is out of date: let it go now.
    ui->Image1->picture().clear();
    return true;
}

const Picture& TFrmadjust::PreviewPicture() {
    Picture& preview = ui->Image1->picture();
    if (!previewMade_) {
        std::optional<HourglassGuard> hourglass;
        if (DrawingWantsHourglass(imageSave_, previewSize_)) hourglass.emplace();
        preview.assign(StretchPicture(imageSave_, previewSize_.width(), previewSize_.height()));
        previewMade_ = true;
    }
    return preview;
}

void TFrmadjust::ScrollBar1Change() {
    const int percent = Percent();
    QSize size = previewSize_;
    if (ui->RadPercent->isChecked())
        size = ScaledSize(originalWidth_, originalHeight_, percent);
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
    exactSizeSet_ = false;
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
    exactSizeSet_ = true;
}

void TFrmadjust::RadPercentClick() { UpdateControls(); }

void TFrmadjust::RadCalculateClick() { UpdateControls(); }

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
        imageHidden_.assign(decoded);
        if (alsoPreview) preview.assign(decoded);
        if (alsoMaster) imageSave_ = std::move(decoded);
    } else {
        if (LoadPictureFile(path, imageHidden_) == LoadOutcome::Rejected)
            return LoadOutcome::Rejected;
        if (alsoPreview && LoadPictureFile(path, preview) == LoadOutcome::Rejected)
            return LoadOutcome::Rejected;
        if (alsoMaster && LoadPictureFile(path, imageSave_) == LoadOutcome::Rejected)
            return LoadOutcome::Rejected;
    }
    if (!alsoPreview) return LoadOutcome::Loaded;

    // The preview holds the file itself until it is redrawn below; in exact mode the redraw
    // takes its size, so a new image shows at 100 % in either mode.
    previewMade_ = true;
    previewSize_ = QSize(preview.width(), preview.height());
    ui->Image1->clearStretchedView();
    SetOriginalSize(imageHidden_.width(), imageHidden_.height());
    ui->LblOldWidth->setText(QStringLiteral("Original Width: ") + QString::number(originalWidth_));
    ui->LblOldHeight->setText(QStringLiteral("Original Height: ") +
                              QString::number(originalHeight_));
    ui->LblNewWidth->setText(QString::number(originalWidth_));
    ui->LblNewHeight->setText(QString::number(originalHeight_));
    if (Percent() != 100)
        ui->ScrollBar1->setValue(100);
    else
        ScrollBar1Change();
    return LoadOutcome::Loaded;
}

void TFrmadjust::Image1Click() { openViewer(); }

void TFrmadjust::BitBtn6Click() { openViewer(); }

void TFrmadjust::openViewer() {
    if (TFrmpic* viewer = session_.windows.Frmpic) viewer->OpenPictureViewer(PreviewPicture());
}

void TFrmadjust::BitBtn4Click() { close(); }

void TFrmadjust::BitBtn5Click() {
    session_.ExitRequested = true;
    close();
}
