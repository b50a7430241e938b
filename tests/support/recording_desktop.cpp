#include "recording_desktop.h"

RecordingDesktop::RecordingDesktop() {
    setDesktop(this);
}

RecordingDesktop::~RecordingDesktop() {
    if (&desktop() == this) setDesktop(nullptr);
}

bool RecordingDesktop::openFile(const QString& path) {
    openedFiles << path;
    return succeeds;
}

bool RecordingDesktop::openLink(const QString& url) {
    openedLinks << url;
    return succeeds;
}
