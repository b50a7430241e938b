#pragma once
// The output-type window Frmoptions: which file type a save writes. Created at start and kept,
// so the last choice stands for the next save of the run.

#include "convert/batch.h"
#include "platform/session.h"
#include "platform/window_kit.h"

#include <memory>

namespace Ui {
class TFrmoptions;
}

class TFrmoptions : public ModalForm {
    Q_OBJECT
public:
    TFrmoptions(Session& session, QWidget* parent = nullptr);
    ~TFrmoptions() override;

    // The type whose option is selected (Cancel included).
    OutputType SelectedOutputType() const;

    void BitBtn1Click();  // "Ok"

private:
    void FormCreate();

    std::unique_ptr<Ui::TFrmoptions> ui;
    WindowSlot<TFrmoptions> slot_;
};
