#pragma once
// A FormatHost that records what the codecs asked of the user interface.

#include "formats/host.h"

#include <QStringList>
#include <functional>
#include <vector>

class RecordingHost : public FormatHost {
public:
    RecordingHost() { setFormatHost(this); }
    ~RecordingHost() override { setFormatHost(nullptr); }

    void processMessages() override;
    void showMessage(const QString& text) override;
    void beginHourglass() override { ++hourglassDepth; ++hourglassCount; }
    void endHourglass() override { --hourglassDepth; }
    void gifProgress(double fraction) override { progress.push_back(fraction); }

    QStringList messages;
    std::vector<double> progress;
    int processCount = 0;
    int hourglassDepth = 0;
    int hourglassCount = 0;
    // Run on every processMessages call, to act "while" a decode runs.
    std::function<void()> onProcessMessages;
};
