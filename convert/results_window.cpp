#include "results_window.h"

#include "ui_results_window.h"

#include "formats/text_utils.h"
#include "platform/controls.h"
#include "platform/desktop.h"
#include "platform/dialogs.h"

#include <QFileInfo>
#include <QListWidget>
#include <QPointer>
#include <QProgressBar>
#include <algorithm>

namespace {
constexpr int kRowHeight = 14;
// Each result line keeps what a double click opens.
constexpr int kTargetRole = Qt::UserRole;
}

TFrmresults::TFrmresults(Session& session, QWidget* parent)
    : ModalForm(QStringLiteral("Frmresults"), parent),
      ui(std::make_unique<Ui::TFrmresults>()),
      slot_(session.windows.Frmresults, this) {
    setUpForm(*ui, &Ui::TFrmresults::BitBtn1);
    // Arial 8 points is 11 pixels on the program's 96 dpi.
    ui->ListBox1->setFont(ArialFont(11));
    ui->ListBox1->setUniformItemSizes(true);
    ui->Lblcount->setFont(ArialFont(11, true));
    OnClick(ui->BitBtn1, this, &TFrmresults::BitBtn1Click);
    OnClick(ui->Cmdstop, this, &TFrmresults::CmdstopClick);
    OnSignal(ui->ListBox1, &QListWidget::itemDoubleClicked, this,
             [this](QListWidgetItem* item) { ListBox1DblClick(ui->ListBox1->row(item)); });
    runCreation([this] { FormCreate(); });
}

TFrmresults::~TFrmresults() = default;

void TFrmresults::FormCreate() {
    placement().restoreSavedSize();
    ClearLines();
}

QListWidget* TFrmresults::ListBox1() const { return ui->ListBox1; }
QLabel* TFrmresults::Lblcount() const { return ui->Lblcount; }
QProgressBar* TFrmresults::ProgressBar1() const {
    return ui->ProgressBar1;
}

void TFrmresults::StartProgress(int total) {
    ui->ProgressBar1->setRange(0, std::max(total, 0));
    ui->ProgressBar1->setValue(0);
    ui->ProgressBar1->show();
    stop_.reset();
    ui->Cmdstop->setEnabled(true);
    ui->Cmdstop->show();
}

void TFrmresults::SetProgress(int done) {
    ui->ProgressBar1->setValue(std::clamp(done, 0, ui->ProgressBar1->maximum()));
}

void TFrmresults::EndProgress() {
    ui->ProgressBar1->hide();
    ui->ProgressBar1->setValue(0);
    ui->Cmdstop->hide();
}

void TFrmresults::AddLine(const QString& line) {
    auto* item = new QListWidgetItem(line);
    const int natural = ui->ListBox1->fontMetrics().horizontalAdvance(line) + 8;
    item->setSizeHint(QSize(std::max(natural, extent_), kRowHeight));
    ui->ListBox1->addItem(item);
}

void TFrmresults::AddResult(WriteOutcome outcome, const QString& path) {
    if (outcome == WriteOutcome::Refused) return;
    AddLine(ResultLine(outcome, path));
    ui->ListBox1->item(ui->ListBox1->count() - 1)->setData(kTargetRole, ResultTarget(outcome, path));
}

void TFrmresults::AddSkipped(const QString& sourcePath, const QString& reason) {
    AddLine(SkippedLine(sourcePath, reason));
    ui->ListBox1->item(ui->ListBox1->count() - 1)
        ->setData(kTargetRole, ExtractFilePath(sourcePath));
}

void TFrmresults::ClearLines() {
    ui->ListBox1->clear();
    extent_ = 0;
}

int TFrmresults::LineCount() const { return ui->ListBox1->count(); }

QStringList TFrmresults::Lines() const {
    QStringList lines;
    for (int i = 0; i < ui->ListBox1->count(); ++i) lines.append(ui->ListBox1->item(i)->text());
    return lines;
}

ResultSink TFrmresults::Sink() {
    QPointer<TFrmresults> self(this);
    return [self](WriteOutcome outcome, const QString& path) {
        if (self) self->AddResult(outcome, path);
    };
}

void TFrmresults::WidenResultsList() {
    int widest = 0;
    const QFontMetrics metrics = ui->ListBox1->fontMetrics();
    for (int i = 0; i < ui->ListBox1->count(); ++i)
        widest = std::max(widest, metrics.horizontalAdvance(ui->ListBox1->item(i)->text()));
    extent_ = widest + 400;
    setItemWidths();
}

void TFrmresults::setItemWidths() {
    for (int i = 0; i < ui->ListBox1->count(); ++i)
        ui->ListBox1->item(i)->setSizeHint(QSize(extent_, kRowHeight));
}

void TFrmresults::BitBtn1Click() { accept(); }

void TFrmresults::CmdstopClick() {
    stop_.request();
    // The files in flight still finish; a second click would promise nothing more.
    ui->Cmdstop->setEnabled(false);
}

QString ResultTarget(WriteOutcome outcome, const QString& path) {
    if (path.isEmpty()) return {};
    switch (outcome) {
        case WriteOutcome::Written: return path;
        case WriteOutcome::AlreadyExisted: return ExtractFilePath(path);
        case WriteOutcome::Refused: break;
    }
    return {};
}

void TFrmresults::ListBox1DblClick(int row) {
    if (row < 0 || row >= ui->ListBox1->count()) return;
    const QString target = ui->ListBox1->item(row)->data(kTargetRole).toString();
    if (target.isEmpty()) return;
    // Files may have been moved or deleted since the run; say so rather than let the desktop
    // fail vaguely.
    if (!QFileInfo::exists(target)) {
        dialogs().warning(QStringLiteral("%1 is no longer there.").arg(target));
        return;
    }
    if (!desktop().openFile(target))
        dialogs().warning(
            QStringLiteral("The desktop could not open %1. No program may be set up to open it.")
                .arg(target));
}
