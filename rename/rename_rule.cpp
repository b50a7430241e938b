#include "rename_rule.h"

#include "formats/text_utils.h"
#include "platform/file_system.h"

QString NewFileName(RenameMode mode, const QString& oldName, const QString& prefix,
                    const QString& suffix) {
    switch (mode) {
    case RenameMode::Prefix:
        return prefix + oldName;
    case RenameMode::Suffix: {
        const qsizetype dot = oldName.lastIndexOf(QLatin1Char('.'));
        if (dot < 0) return oldName + suffix;
        return oldName.left(dot) + suffix + oldName.mid(dot);
    }
    case RenameMode::UpperCase:
        return AsciiUpperCase(oldName);
    case RenameMode::LowerCase:
        return AsciiLowerCase(oldName);
    }
    return oldName;
}

bool StaysInFolder(const QString& newName) {
    if (newName.isEmpty() || newName == QLatin1String(".") || newName == QLatin1String(".."))
        return false;
    // Both separators everywhere: a name typed for one system must not move a file on another.
    return !newName.contains(QLatin1Char('/')) && !newName.contains(QLatin1Char('\\'));
}

QStringList CollectFolderFiles(const QString& folder) {
    QStringList names;
    // Without a folder the pattern would list the program's working folder.
    if (folder.isEmpty()) return names;
    for (const FolderEntry& entry : ListFolder(folder + QStringLiteral("*.*"))) {
        if (entry.isDirectory || entry.name == QLatin1String(".") ||
            entry.name == QLatin1String(".."))
            continue;
        names.append(entry.name);
    }
    return names;
}

QString RenameFileInFolder(const QString& folder, const QString& oldName, const QString& newName) {
    if (StaysInFolder(newName) && RenameNoReplace(folder + oldName, folder + newName))
        return QStringLiteral("SUCCESSFULLY renamed ") + oldName + QStringLiteral(" to ") + newName;
    return QStringLiteral("FAILED to rename ") + oldName;
}
