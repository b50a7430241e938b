#pragma once
// The FormatHost of the running program: pending messages through Qt's event loop, plain boxes
// through the installed Dialogs, the hourglass as an override cursor, GIF progress to a hook
// that the progress window sets.

#include "formats/host.h"

#include <functional>

class QtFormatHost final : public FormatHost {
public:
    void processMessages() override;
    void showMessage(const QString& text) override;
    void beginHourglass() override;
    void endHourglass() override;
    void gifProgress(double fraction) override;

    void setGifProgressHook(std::function<void(double)> hook) { gifHook_ = std::move(hook); }

private:
    std::function<void(double)> gifHook_;
    int hourglassDepth_ = 0;
};
