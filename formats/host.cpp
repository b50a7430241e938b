#include "formats/host.h"

namespace {

class SilentHost final : public FormatHost {
public:
    void processMessages() override {}
    void showMessage(const QString&) override {}
    void beginHourglass() override {}
    void endHourglass() override {}
    void gifProgress(double) override {}
};

SilentHost silentHost;
FormatHost* currentHost = &silentHost;

}  // namespace

FormatHost& formatHost() { return *currentHost; }

void setFormatHost(FormatHost* host) { currentHost = host ? host : &silentHost; }

void GifProgress(double fraction) { currentHost->gifProgress(fraction); }
