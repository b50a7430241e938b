#pragma once
// The project step of Continue without a window: the two output roots under the work folder,
// what makes a title usable, and the making of a project's folder.

#include <QString>
#include <functional>

// The program's work folder in the per-user application-data folder: that folder + separator +
// "PixoletOut", without a trailing separator. Holds the settings file and the output folders.
QString WorkFolderIn(const QString& applicationDataFolder);
// The settings file: work folder + separator + "pxset25.ini".
QString SettingsFileIn(const QString& workFolder);

// WorkFolder + "/Stored Images/" and WorkFolder + "/Stored Images/Your Webpages/" (native
// separators).
QString StoredImagesRoot(const QString& workFolder);
QString WebpagesRoot(const QString& workFolder);

// A title is entered when something is left after trimming spaces and control characters.
bool ProjectTitleEntered(const QString& answer);

// Whether the title names one folder directly inside the roots: no path separator of any
// platform, and not "." or ".." once trimmed. Anything else could make or reuse a folder
// outside the work folder.
bool ProjectTitleStaysInside(const QString& answer);

// Turns `folder` (a root ending with a separator) into root + projectTitle, where projectTitle
// already ends with a separator: the root is made first when missing, then the project folder,
// unless it exists, in which case `alreadyExists` is told its path and the folder is reused.
// False when a folder could not be made; `folder` then holds what it had reached.
bool MakeProjectFolder(QString& folder, const QString& projectTitle,
                       const std::function<void(const QString& existing)>& alreadyExists);
