#include "choice_window.h"

#include "ui_choice_window.h"

#include "platform/controls.h"

TFrmchoice::TFrmchoice(QWidget* owner)
    : ModalForm(QStringLiteral("Frmchoice"), owner), ui(std::make_unique<Ui::TFrmchoice>()) {
    setUpForm(*ui, &Ui::TFrmchoice::BitBtn1);
    OnClick(ui->BitBtn1, this, &TFrmchoice::BitBtn1Click);
}

TFrmchoice::~TFrmchoice() = default;

QLabel* TFrmchoice::Lbltitle() const { return ui->Lbltitle; }

void TFrmchoice::SelectAll() { ui->RadAll->setChecked(true); }

QString TFrmchoice::SelectedMask() const {
    if (ui->RadOnlyJpeg->isChecked()) return QStringLiteral("*.JPG");
    if (ui->RadOnlyGif->isChecked()) return QStringLiteral("*.GIF");
    if (ui->Radbmp->isChecked()) return QStringLiteral("*.BMP");
    if (ui->RadMeta->isChecked()) return QStringLiteral("*.EMF");
    if (ui->Radicon->isChecked()) return QStringLiteral("*.ICO");
    if (ui->Radtif->isChecked()) return QStringLiteral("*.TIF");
    return QStringLiteral("*.*");
}

void TFrmchoice::BitBtn1Click() { accept(); }

QString ChoiceTitleText(const QString& percentLabel) {
    const QString start = QStringLiteral(
        "Select the image types that you would like to have converted (Note that all original "
        "images remain untouched. New images will be created.)  ");
    if (percentLabel == QLatin1String("100%"))
        return start + QStringLiteral(
                           "You have selected to create new image types, and keep the same image "
                           "size.");
    return start + QStringLiteral("You have selected to create the new images at ") +
           percentLabel + QStringLiteral(" percent of the ") +
           QStringLiteral("original image size.");
}
