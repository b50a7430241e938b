#pragma once
// The source-type window Frmchoice: which image types of the folder a run converts. A new one
// for each folder save, destroyed once read.

#include "platform/window_kit.h"

#include <memory>

namespace Ui {
class TFrmchoice;
}
class QLabel;

class TFrmchoice : public ModalForm {
    Q_OBJECT
public:
    explicit TFrmchoice(QWidget* owner);
    ~TFrmchoice() override;

    QLabel* Lbltitle() const;
    // Selects "Convert ALL Images In Folder ".
    void SelectAll();
    // The file pattern of the selected option: "*.*", "*.JPG", "*.GIF", ...
    QString SelectedMask() const;

    void BitBtn1Click();  // "Ok"

private:
    std::unique_ptr<Ui::TFrmchoice> ui;
};

// The title a folder save shows, from the text of the size-adjustment window's Lblpercent.
QString ChoiceTitleText(const QString& percentLabel);
