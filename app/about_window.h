#pragma once
// The about window Frmabout: the maker's notice with the version and the disclaimer, without a
// title bar, centred. A new one for each use, destroyed when it closes.

#include <QDialog>
#include <memory>

class WindowPlacement;

namespace Ui {
class TFrmabout;
}

class TFrmabout : public QDialog {
    Q_OBJECT
public:
    explicit TFrmabout(QWidget* owner);
    ~TFrmabout() override;

    void Button1Click();  // "Return"

private:
    std::unique_ptr<Ui::TFrmabout> ui;
};

// Shows a fresh about window over the owner, modally, and destroys it when it closes.
void ShowAboutWindow(QWidget* owner);
