#include "project_folders.h"

#include "formats/text_utils.h"
#include "platform/file_system.h"

#include <QDir>

namespace {

// A folder path with its trailing separator dropped, as the folder calls want it.
QString withoutTrailingSeparator(const QString& folder) {
    QString path = folder;
    while (path.size() > 1 && IsPathSeparator(path.back())) path.chop(1);
    return path;
}

}  // namespace

QString WorkFolderIn(const QString& applicationDataFolder) {
    return applicationDataFolder + QDir::separator() + QStringLiteral("PixoletOut");
}

QString SettingsFileIn(const QString& workFolder) {
    return workFolder + QDir::separator() + QStringLiteral("pxset25.ini");
}

QString StoredImagesRoot(const QString& workFolder) {
    const QChar sep = QDir::separator();
    return workFolder + sep + QStringLiteral("Stored Images") + sep;
}

QString WebpagesRoot(const QString& workFolder) {
    const QChar sep = QDir::separator();
    return StoredImagesRoot(workFolder) + QStringLiteral("Your Webpages") + sep;
}

bool ProjectTitleEntered(const QString& answer) {
    return !TrimText(answer).isEmpty();
}

bool ProjectTitleStaysInside(const QString& answer) {
    // Both separators on every platform: a title is a name the user may take from one system to
    // another, and "\" in a Linux folder name would not survive the trip.
    if (answer.contains(QLatin1Char('/')) || answer.contains(QLatin1Char('\\'))) return false;
    const QString trimmed = TrimText(answer);
    return trimmed != QLatin1String(".") && trimmed != QLatin1String("..");
}

bool MakeProjectFolder(QString& folder, const QString& projectTitle,
                       const std::function<void(const QString& existing)>& alreadyExists) {
    if (!FolderExists(withoutTrailingSeparator(folder)) &&
        !CreateFolder(withoutTrailingSeparator(folder)))
        return false;
    folder += projectTitle;
    if (FolderExists(withoutTrailingSeparator(folder))) {
        if (alreadyExists) alreadyExists(folder);
        return true;
    }
    return CreateFolder(withoutTrailingSeparator(folder));
}
