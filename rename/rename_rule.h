#pragma once
// The bulk renamer without its window: the new-name rule, the collection of a folder's files
// and one rename with its result line. QtCore only.

#include <QString>
#include <QStringList>

enum class RenameMode { Prefix, Suffix, UpperCase, LowerCase };

// The new name of a bare file name: the prefix before it, the suffix before its extension (from
// the last dot on; none without a dot), or the whole name in ASCII upper or lower case. The
// prefix and suffix are used exactly as typed.
QString NewFileName(RenameMode mode, const QString& oldName, const QString& prefix,
                    const QString& suffix);

// Whether a new name names a file in the same folder: not empty, not "." or "..", and holding
// no path separator of any platform. Anything else could move a file elsewhere.
bool StaysInFolder(const QString& newName);

// The names of every entry of the folder that is not a directory, hidden and system files
// included, in listing order, all collected before anything is renamed. An empty folder text
// or a folder that cannot be listed gives nothing.
QStringList CollectFolderFiles(const QString& folder);

// Renames folder + oldName to folder + newName, never replacing an existing file, and returns
// the result line: "SUCCESSFULLY renamed <old> to <new>" or "FAILED to rename <old>". A new
// name that would leave the folder is not attempted.
QString RenameFileInFolder(const QString& folder, const QString& oldName, const QString& newName);
