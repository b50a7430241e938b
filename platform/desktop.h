#pragma once
// Desktop services: the desktop's "open" action, the screen's size, the per-user data folder
// and the program's own folder. Each can be replaced, so tests never start a browser or a
// mail program and never depend on the machine's screen or home folder.

#include "formats/screen_metrics.h"

#include <QString>

class Desktop {
public:
    virtual ~Desktop() = default;
    // Opens a file with the desktop's default program; false when the desktop refused.
    virtual bool openFile(const QString& path) = 0;
    // Opens a link such as "mailto:…"; false when the desktop refused.
    virtual bool openLink(const QString& url) = 0;
};

// The installed desktop; QDesktopServices until a test installs its own (not owned).
Desktop& desktop();
void setDesktop(Desktop* replacement);

// The primary screen's size in pixels and millimetres (defaults without a screen).
ScreenMetrics CurrentScreenMetrics();
// Fixed metrics for tests; nullptr returns to the real screen. Copied.
void setScreenMetricsOverride(const ScreenMetrics* metrics);

// The per-user folder for application data (no trailing separator): the roaming AppData on
// Windows, the XDG data home elsewhere. Only answers; it never creates the folder.
QString ApplicationDataFolder();
// A start-up step: makes sure the folder ApplicationDataFolder names exists, as the roaming
// AppData folder always does on Windows, so that a first start on a fresh account finds it (the
// XDG data home may be missing there). Missing levels are made private to the user. True when
// the folder exists afterwards; a failure is left to whoever then needs the folder.
bool EnsureApplicationDataFolder();
// Points ApplicationDataFolder at another folder (tests); an empty text restores the real one.
void setApplicationDataFolderOverride(const QString& folder);

// The folder holding the program's own documents (help pages), with a trailing separator:
// the executable's folder when "index.htm" lies beside it (a build tree, or a Windows install),
// else ../share/pixolet/ beside it (an installed prefix).
QString ProgramFileFolder();
// The same choice for a given executable folder (no trailing separator needed).
QString ProgramFolderFor(const QString& executableFolder);

// The title of the task-bar entry and of plain message boxes.
QString ApplicationTitle();
void SetApplicationTitle(const QString& title);
