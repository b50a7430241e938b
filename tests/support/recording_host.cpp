#include "recording_host.h"

void RecordingHost::processMessages() {
    ++processCount;
    if (onProcessMessages) onProcessMessages();
}

void RecordingHost::showMessage(const QString& text) { messages << text; }
