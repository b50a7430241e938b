#pragma once
// The quality window Frmcomp: the JPEG quality on a slider from 1 to 100, with words for it.
// Kept for the whole run; the JPEG writer reads the number label each time it runs.

#include "platform/session.h"
#include "platform/window_kit.h"

#include <memory>

namespace Ui {
class TFrmcomp;
}

class TFrmcomp : public ModalForm {
    Q_OBJECT
public:
    TFrmcomp(Session& session, QWidget* parent = nullptr);
    ~TFrmcomp() override;

    // The text of Lblnumber read as an integer (a text that is not one throws).
    int Quality() const;

    void ScrollBar1Change();  // the quality slider
    void Button1Click();      // "Ok"

private:
    void FormCreate();

    std::unique_ptr<Ui::TFrmcomp> ui;
    WindowSlot<TFrmcomp> slot_;
};
