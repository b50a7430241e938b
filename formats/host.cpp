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
thread_local FormatHost* threadHost = nullptr;

}  // namespace

FormatHost& formatHost() {
    return threadHost ? *threadHost : *currentHost;
}

void setFormatHost(FormatHost* host) { currentHost = host ? host : &silentHost; }

void GifProgress(double fraction) {
    formatHost().gifProgress(fraction);
}

ThreadFormatHost::ThreadFormatHost(FormatHost& host) : previous_(threadHost) {
    threadHost = &host;
}

ThreadFormatHost::~ThreadFormatHost() {
    threadHost = previous_;
}
