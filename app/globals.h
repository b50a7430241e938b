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

// The project's output folders, set by every Continue: the bare roots, or the project's own
// folders (ending with a separator) once a title was given. Empty until the first Continue.
extern QString StoredImagesFolder;
extern QString WebpagesFolder;
// The title typed for the current project, followed by a separator.
extern QString ProjectTitle;
// The last Continue was for the web page of thumbnails; read by the batch and the page writer.
extern bool ThumbWebpageWanted;
