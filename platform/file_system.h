#pragma once
// The file system as the program sees it: folder listings by wildcard pattern with the
// attributes the scans look at, folder checks and creation, and a rename that never replaces.
// QtCore only.

#include "formats/file_io.h"

#include <QString>
#include <optional>
#include <vector>

struct FolderEntry {
    QString name;  // without folder, in the letter case found on disk
    qint64 size = 0;
    bool isHidden = false;
    // Something that is neither a file nor a folder to read from (a pipe, socket, device or a
    // link whose target is gone): opening one could block or fail, so scans treat it like a
    // system file and pass it by.
    bool isSystem = false;
    bool isDirectory = false;
    bool isReadOnly = false;

    // What the scans visit: not hidden, not system, not a folder.
    bool isPlainFile() const { return !isHidden && !isSystem && !isDirectory; }
};

// Lists the entries of a folder whose names match the pattern's last part, e.g.
// "/photos/*.JPG". Order: ASCII upper-case compare of the names' bytes, exact bytes breaking
// ties, on every file system. Symbolic links count as what they point to; broken ones are
// system entries (the renamer still renames them). A folder that cannot be read lists nothing.
std::vector<FolderEntry> ListFolder(const QString& pattern);

// `*` matches any run, `?` one character; letters compare without regard to case. A pattern
// ending in ".*" also matches names without a dot, so "*.*" matches every name.
bool MatchesWildcard(const QString& name, const QString& pattern);

// The listing order: true when a sorts before b.
bool ListingOrderLess(const QString& a, const QString& b);

bool FolderExists(const QString& path);
// Creates one folder level; its parent must exist. False when it fails or already exists.
bool CreateFolder(const QString& path);
// Size in bytes of the file at exactly this path (a link's target); none when absent.
std::optional<qint64> FileSizeOf(const QString& path);
bool RemoveFile(const QString& path);

// Renames `from` to `to` unless `to` already exists. A new name that reaches the same directory
// entry (the same name, or a case change on a case-insensitive file system) is renamed in
// place and succeeds.
bool RenameNoReplace(const QString& from, const QString& to);

// Gives a staged new file its own name, never replacing anything: Written, or AlreadyExisted
// when the name was taken meanwhile (the staged file is then dropped). Throws PixError
// "Cannot create file %s" when the name cannot be given for another reason.
WriteOutcome NameStagedFile(StagedFile& file);
