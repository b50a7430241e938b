#include "globals.h"

#include <QDir>

QString WorkFolder;
QString SettingsFile;
bool ExitRequested = false;

QString WorkFolderIn(const QString& applicationDataFolder) {
    return applicationDataFolder + QDir::separator() + QStringLiteral("PixoletOut");
}

QString SettingsFileIn(const QString& workFolder) {
    return workFolder + QDir::separator() + QStringLiteral("pxset25.ini");
}

QString StoredImagesFolder;
QString WebpagesFolder;
QString ProjectTitle;
bool ThumbWebpageWanted = false;
