#include "quality_window.h"

#include "ui_quality_window.h"

#include "platform/error_report.h"
#include "platform/controls.h"

#include <QSignalBlocker>

TFrmcomp::TFrmcomp(Session& session, QWidget* parent)
    : ModalForm(QStringLiteral("Frmcomp"), parent),
      ui(std::make_unique<Ui::TFrmcomp>()),
      slot_(session.windows.Frmcomp, this) {
    setUpForm(*ui, &Ui::TFrmcomp::Button1);
    // A system menu and a maximise box, no minimise box.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    OnSignal(ui->ScrollBar1, &QScrollBar::valueChanged, this, &TFrmcomp::ScrollBar1Change);
    OnClick(ui->Button1, this, &TFrmcomp::Button1Click);
    runCreation([this] { FormCreate(); });
}

TFrmcomp::~TFrmcomp() = default;

void TFrmcomp::FormCreate() {
    if (QString(ui->Lblnumber->text()).remove(QLatin1Char(' ')).isEmpty()) {
        const QSignalBlocker quiet(ui->ScrollBar1);
        ui->Lblnumber->setText(QStringLiteral("75"));
        ui->ScrollBar1->setValue(75);
        ui->LblQuality->setText(QStringLiteral("High"));
        ui->LblComp->setText(QStringLiteral("Low"));
    }
    placement().restoreSavedSize();
}

int TFrmcomp::Quality() const { return ParseInteger(ui->Lblnumber->text()); }

void TFrmcomp::ScrollBar1Change() {
    const int q = ui->ScrollBar1->value();
    ui->Lblnumber->setText(QString::number(q));
    if (q >= 75) {
        ui->LblQuality->setText(QStringLiteral("High"));
        ui->LblComp->setText(QStringLiteral("Low"));
    } else if (q >= 50) {
        ui->LblQuality->setText(QStringLiteral("Medium"));
        ui->LblComp->setText(QStringLiteral("Medium"));
    } else {
        ui->LblQuality->setText(QStringLiteral("Low"));
        ui->LblComp->setText(QStringLiteral("High"));
    }
}

void TFrmcomp::Button1Click() { accept(); }
