#include "folder_viewer.h"

#include "ui_folder_viewer.h"

#include "formats/picture.h"
#include "platform/controls.h"
#include "platform/long_operation.h"
#include "platform/picture_box.h"
#include "viewers/picture_viewer.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

namespace {

const QString kSection = QStringLiteral("Frmfolderview");

}  // namespace

TFrmfolderview::TFrmfolderview(Session& session, QWidget* parent)
    : ModalForm(kSection, parent),
      ui(std::make_unique<Ui::TFrmfolderview>()),
      session_(session),
      slot_(session.windows.Frmfolderview, this) {
    setUpForm(*ui, &Ui::TFrmfolderview::BitBtn1);
    for (int k = 1; k <= kSlots; ++k) {
        images_[k - 1] = findChild<PictureBox*>(QStringLiteral("Image%1").arg(k));
        labels_[k - 1] = findChild<QLabel*>(QStringLiteral("Label%1").arg(k));
        Q_ASSERT(images_[k - 1] && labels_[k - 1]);
    }
    connectControls();
    runCreation([this] { FormCreate(); });
}

TFrmfolderview::~TFrmfolderview() = default;

bool TFrmfolderview::Filling() const { return LongOperation::running(); }

void TFrmfolderview::connectControls() {
    OnClick(ui->Cmdleft, this, &TFrmfolderview::CmdleftClick);
    OnClick(ui->Cmdright, this, &TFrmfolderview::CmdrightClick);
    OnClick(ui->BitBtn1, this, &TFrmfolderview::BitBtn1Click);
    for (int k = 1; k <= kSlots; ++k)
        OnSignal(images_[k - 1], &PictureBox::clicked, this, [this, k] { ImageClick(k); });
}

void TFrmfolderview::FormCreate() {
    placement().restoreSavedSize();
    for (int k = 1; k <= kSlots; ++k) clearSlot(k);
}

PictureBox* TFrmfolderview::SlotImage(int k) const { return images_[k - 1]; }
QLabel* TFrmfolderview::SlotLabel(int k) const { return labels_[k - 1]; }

void TFrmfolderview::clearSlot(int k) {
    images_[k - 1]->picture().clear();
    setSlotName(k, QString());
}

void TFrmfolderview::setSlotName(int k, const QString& name) {
    QLabel* label = labels_[k - 1];
    label->setText(name);
    // The name is shown whole, whatever its length.
    label->adjustSize();
    // Assistive tools name the thumbnail by its file.
    images_[k - 1]->setAccessibleName(name);
}

void TFrmfolderview::PrepareFolder(const QString& selectedFolder,
                                   const std::function<void()>& rescan) {
    if (rescan) rescan();
    viewerImageCount_ = session_.FolderImages.FolderImageCount;
    viewerFolder_ = selectedFolder;
    FillPage(1);
}

void TFrmfolderview::OpenFolderViewer(const QString& selectedFolder,
                                      const std::function<void()>& rescan) {
    PrepareFolder(selectedFolder, rescan);
    showModal();
}

void TFrmfolderview::FillPage(int first) {
    if (first < 1) first = 1;
    const bool previousEnabled = first > 1;
    const bool nextEnabled = qint64(viewerImageCount_) > qint64(first) + 19;

    // One page at a time: while the files load (and window messages run between them) the
    // paging buttons are off and slot clicks are ignored; a close waits for the end.
    struct PagingBack {
        TFrmfolderview* self;
        bool previous, next;
        ~PagingBack() { self->setPaging(previous, next); }
    } pagingBack{this, previousEnabled, nextEnabled};
    LongOperation operation;
    setPaging(false, false);

    // The list never holds more names than the scan stored, whatever the count says.
    const QStringList& names = session_.FolderImages.FolderImageNames;
    for (int k = 1; k <= kSlots; ++k) {
        const qint64 p = qint64(first) + k - 1;
        if (p > viewerImageCount_ || p > names.size()) {
            clearSlot(k);
            continue;
        }
        const QString& name = names[int(p - 1)];
        Picture& picture = images_[k - 1]->picture();
        try {
            const LoadOutcome outcome =
                LoadPictureFile(viewerFolder_ + QDir::separator() + name, picture);
            // A TIFF the reader refused has shown its message: the slot shows the name without
            // a picture and the page goes on.
            if (outcome == LoadOutcome::Rejected) picture.clear();
        } catch (...) {
            // The fill ends here; what is left of the page shows nothing rather than the
            // previous page's pictures under names they do not belong to. The failing slot
            // keeps its file's name, so the error box that follows is about a name one can see.
            for (int rest = k; rest <= kSlots; ++rest) clearSlot(rest);
            setSlotName(k, name);
            throw;
        }
        setSlotName(k, name);
    }
    pageStart_ = first;
}

void TFrmfolderview::setPaging(bool previous, bool next) {
    ui->Cmdleft->setEnabled(previous);
    ui->Cmdright->setEnabled(next);
}

void TFrmfolderview::CmdrightClick() {
    if (Filling()) return;
    FillPage(pageStart_ + 20);
}

void TFrmfolderview::CmdleftClick() {
    if (Filling()) return;
    FillPage(pageStart_ - 20);
}

void TFrmfolderview::ImageClick(int k) {
    if (Filling()) return;
    const Picture& picture = images_[k - 1]->picture();
    if (picture.isEmpty()) return;
    if (TFrmpic* viewer = session_.windows.Frmpic) viewer->OpenPictureViewer(picture);
}

void TFrmfolderview::BitBtn1Click() { close(); }
