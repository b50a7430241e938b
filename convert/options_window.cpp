#include "options_window.h"

#include "ui_options_window.h"

#include "platform/controls.h"

TFrmoptions* Frmoptions = nullptr;

TFrmoptions::TFrmoptions(QWidget* parent)
    : ModalForm(QStringLiteral("Frmoptions"), parent), ui(std::make_unique<Ui::TFrmoptions>()) {
    ui->setupUi(this);
    setFont(ArialFont());
    PaintBackground(this, ColorFromBgr(14737632));
    setDefaultButton(ui->BitBtn1);
    OnClick(ui->BitBtn1, this, &TFrmoptions::BitBtn1Click);
    Frmoptions = this;
    RunGuarded([this] { FormCreate(); });
}

TFrmoptions::~TFrmoptions() {
    if (Frmoptions == this) Frmoptions = nullptr;
}

void TFrmoptions::FormCreate() {
    ui->Radjpeg->setChecked(true);
    placement().restoreSavedSize();
}

OutputType TFrmoptions::SelectedOutputType() const {
    if (ui->Radbitmap->isChecked()) return OutputType::Bitmap;
    if (ui->RadTif->isChecked()) return OutputType::Tif;
    if (ui->Radmetafile->isChecked()) return OutputType::Metafile;
    if (ui->Radcancel->isChecked()) return OutputType::Cancel;
    return OutputType::Jpeg;
}

void TFrmoptions::BitBtn1Click() { accept(); }
