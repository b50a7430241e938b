#pragma once
// A desktop for tests: records what was asked and answers with `succeeds`, so no test ever
// starts a browser or a mail program. Installed for its lifetime.

#include "platform/desktop.h"

#include <QStringList>

class RecordingDesktop : public Desktop {
public:
    RecordingDesktop();
    ~RecordingDesktop() override;
    RecordingDesktop(const RecordingDesktop&) = delete;
    RecordingDesktop& operator=(const RecordingDesktop&) = delete;

    bool openFile(const QString& path) override;
    bool openLink(const QString& url) override;

    QStringList openedFiles;
    QStringList openedLinks;
    bool succeeds = true;
};
