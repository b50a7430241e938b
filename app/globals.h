#pragma once
// Folders fixed when the main window is created and read by every window after it.

#include <QString>

// The program's work folder: the application-data folder + separator + "PixoletOut", without
// a trailing separator. Holds the settings file and the output folders.
extern QString WorkFolder;
// WorkFolder + separator + "pxset25.ini".
extern QString SettingsFile;

QString WorkFolderIn(const QString& applicationDataFolder);
QString SettingsFileIn(const QString& workFolder);

// Set by the size-adjustment window's "Exit": when the main window regains control it closes,
// which ends the program.
extern bool ExitRequested;
