#include "rename_window.h"

#include "ui_rename_window.h"

#include "formats/host.h"
#include "formats/text_utils.h"
#include "platform/controls.h"
#include "platform/dialogs.h"
#include "platform/disabled_widgets.h"
#include "platform/long_operation.h"
#include "platform/picture_box.h"

#include <QDir>

namespace {

const QString kNoPrefix = QStringLiteral(
    "You chose to add a prefix to the beginning of each file, but you did not enter any text in "
    "the box.  Enter the text in the box that you wish to have added as a prefix to each file "
    "name.");
const QString kNoSuffix = QStringLiteral(
    "You chose to add a suffix to the end of each file, but you did not enter any text in the "
    "box.  Enter the text in the box that you wish to have added as a suffix to each file name.");
const QString kNothingRenamed = QStringLiteral("No files were renamed.");

QString ConfirmationText(const QString& folder) {
    return QStringLiteral("You are about to rename all files in your selected folder (") + folder +
           QStringLiteral("). These files ") +
           QStringLiteral("will not be altered in any way, only the names will change based on "
                          "your selection. ") +
           QStringLiteral("The results of each will be listed below, click YES to continue.");
}

}  // namespace

TFrmRename::TFrmRename(Session& session, QWidget* parent)
    // The rename window does not remember its size: no section.
    : ModalForm(QString(), parent),
      ui(std::make_unique<Ui::TFrmRename>()),
      slot_(session.windows.FrmRename, this) {
    setUpForm(*ui, &Ui::TFrmRename::BitBtn2);
    setObjectName(QStringLiteral("FrmRename"));
    LblFolder = ui->LblFolder;
    RadPre = ui->RadPre;
    EdPre = ui->EdPre;
    RadSuf = ui->RadSuf;
    EdSuf = ui->EdSuf;
    RadUpper = ui->RadUpper;
    RadLower = ui->RadLower;
    Image1 = ui->Image1;
    BitBtn1 = ui->BitBtn1;
    ListResults = ui->ListResults;
    BitBtn2 = ui->BitBtn2;
    ListTemp = ui->ListTemp;
    // The edit boxes are named after the option they serve.
    EdPre->setAccessibleName(RadPre->text());
    EdSuf->setAccessibleName(RadSuf->text());
    ListTemp->hide();
    // The decoration: the program's icon on the window's grey.
    Image1->picture().assign(ProgramIconOver(FormGrey()));
    connectControls();
}

TFrmRename::~TFrmRename() = default;

bool TFrmRename::Running() const { return LongOperation::running(); }

void TFrmRename::ShowFolder(const QString& folder) { LblFolder->setText(folder); }

void TFrmRename::connectControls() {
    OnClick(BitBtn1, this, &TFrmRename::BitBtn1Click);
    OnClick(BitBtn2, this, &TFrmRename::BitBtn2Click);
}

RenameMode TFrmRename::ChosenMode() const {
    if (RadSuf->isChecked()) return RenameMode::Suffix;
    if (RadUpper->isChecked()) return RenameMode::UpperCase;
    if (RadLower->isChecked()) return RenameMode::LowerCase;
    return RenameMode::Prefix;
}

void TFrmRename::BitBtn1Click() {
    if (Running()) return;
    ListResults->clear();
    ListTemp->clear();
    const RenameMode mode = ChosenMode();
    if (mode == RenameMode::Prefix && TrimText(EdPre->text()).isEmpty()) {
        dialogs().plain(kNoPrefix);
        return;
    }
    if (mode == RenameMode::Suffix && TrimText(EdSuf->text()).isEmpty()) {
        dialogs().plain(kNoSuffix);
        return;
    }
    if (!dialogs().confirm(ConfirmationText(LblFolder->text()))) {
        dialogs().plain(kNothingRenamed);
        return;
    }

    QString folder = LblFolder->text();
    if (!folder.isEmpty() && !IsPathSeparator(folder.back())) folder += QDir::separator();
    // Every name first: a file that has just got its new name is never met again.
    ListTemp->addItems(CollectFolderFiles(folder));

    // One run at a time; a close waits for the last file.
    LongOperation operation;
    DisabledWidgets off{BitBtn1, BitBtn2};
    const QString prefix = EdPre->text();
    const QString suffix = EdSuf->text();
    for (int i = 0; i < ListTemp->count(); ++i) {
        const QString oldName = ListTemp->item(i)->text();
        ListResults->addItem(
            RenameFileInFolder(folder, oldName, NewFileName(mode, oldName, prefix, suffix)));
        formatHost().processMessages();
    }
}

void TFrmRename::BitBtn2Click() { close(); }
