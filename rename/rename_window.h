#pragma once
// The bulk rename window FrmRename: gives every file of the folder in LblFolder a new name by
// prefix, suffix, upper or lower case, after a confirmation, with one result line per file.

#include "platform/session.h"
#include "platform/window_kit.h"
#include "rename/rename_rule.h"

#include <memory>

namespace Ui {
class TFrmRename;
}
class PictureBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

class TFrmRename : public ModalForm {
    Q_OBJECT
public:
    TFrmRename(Session& session, QWidget* parent = nullptr);
    ~TFrmRename() override;

    // The controls other windows and the tests reach: the folder pick sets LblFolder.
    QLabel* LblFolder;
    QRadioButton* RadPre;
    QLineEdit* EdPre;
    QRadioButton* RadSuf;
    QLineEdit* EdSuf;
    QRadioButton* RadUpper;
    QRadioButton* RadLower;
    PictureBox* Image1;
    QPushButton* BitBtn1;
    QListWidget* ListResults;
    QPushButton* BitBtn2;
    QListWidget* ListTemp;

    RenameMode ChosenMode() const;
    // A rename run is going on (window messages run between its files).
    bool Running() const;
    // The folder the next run renames in, as the folder pick shows it.
    void ShowFolder(const QString& folder);

    // Handlers.
    void BitBtn1Click();  // "Confirm and Rename"
    void BitBtn2Click();  // "Return"

private:
    void connectControls();

    std::unique_ptr<Ui::TFrmRename> ui;
    WindowSlot<TFrmRename> slot_;
};
