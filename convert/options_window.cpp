#include "options_window.h"

#include "ui_options_window.h"


TFrmoptions::TFrmoptions(Session& session, QWidget* parent)
    : ModalForm(QStringLiteral("Frmoptions"), parent),
      ui(std::make_unique<Ui::TFrmoptions>()),
      slot_(session.windows.Frmoptions, this) {
    setUpForm(*ui, &Ui::TFrmoptions::BitBtn1);
    OnClick(ui->BitBtn1, this, &TFrmoptions::BitBtn1Click);
    runCreation([this] { FormCreate(); });
}

TFrmoptions::~TFrmoptions() = default;

void TFrmoptions::FormCreate() {
    ui->Radjpeg->setChecked(true);
    placement().restoreSavedSize();
}

OutputType TFrmoptions::SelectedOutputType() const {
    if (ui->Radbitmap->isChecked()) return OutputType::Bitmap;
    if (ui->RadTif->isChecked()) return OutputType::Tif;
    if (ui->Radmetafile->isChecked()) return OutputType::Metafile;
    if (ui->RadPng->isChecked()) return OutputType::Png;
    if (ui->RadWebp->isChecked()) return OutputType::Webp;
    if (ui->Radcancel->isChecked()) return OutputType::Cancel;
    return OutputType::Jpeg;
}

void TFrmoptions::BitBtn1Click() { accept(); }
