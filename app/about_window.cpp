#include "about_window.h"

#include "ui_about_window.h"

#include "app/help_links.h"
#include "platform/controls.h"
#include "platform/window_kit.h"

TFrmabout::TFrmabout(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::FramelessWindowHint), ui(std::make_unique<Ui::TFrmabout>()) {
    ui->setupUi(this);
    setFont(ArialFont());
    PaintBackground(this, ColorFromBgr(14737632));
    ui->Label1->setText(QStringLiteral("Pixolet %1  -  Pixolet image tools").arg(kProgramVersion));
    // Without a title bar the window still needs a name for assistive tools and the task list.
    setWindowTitle(QStringLiteral("About Pixolet"));
    // Centred on the screen, no size of its own to remember.
    new WindowPlacement(this, QString());
    ui->Button1->setDefault(true);
    OnClick(ui->Button1, this, &TFrmabout::Button1Click);
}

TFrmabout::~TFrmabout() = default;

void TFrmabout::Button1Click() { accept(); }

void ShowAboutWindow(QWidget* owner) {
    TFrmabout about(owner);
    about.exec();
}
