#pragma once
// Whole-file reading and writing: one open, one read or write, closed before returning. Every
// decoder reads through ReadFileBytes and every writer writes through WriteWholeFile, so they
// all fail the same safe way.

#include "formats/write_outcome.h"

#include <QByteArray>
#include <QString>
#include <functional>

class QIODevice;

// The file's bytes; throws PixError("Cannot open file <path>") when it cannot be opened or read
// (a folder, a missing file). Never creates anything.
QByteArray ReadFileBytes(const QString& path);

// Writes a whole file and closes it. mayReplace false never touches an existing file; true
// replaces it only once the new content is complete and flushed, so a failed write leaves the
// old file whole. Throws PixError("Cannot create file %s") on any failure, leaving no partial
// file of its own behind.
void WriteWholeFile(const QString& path, const QByteArray& bytes, bool mayReplace);
// The same for content written as it is made (a large picture need not exist twice in memory):
// writeContent writes everything to the open file. A PixError it throws, or any failed write,
// ends in "Cannot create file %s" with the same guarantees.
void WriteWholeFile(const QString& path, const std::function<void(QIODevice& out)>& writeContent,
                    bool mayReplace);

// Whether a file, folder or link (a dangling one too) has the name.
bool NameTaken(const QString& path);

// The one rule for outputs that never replace anything: a name already taken (a file, a folder,
// a link, a dangling one too) is left alone and gives AlreadyExisted, as does a file that
// appears while this one is written; otherwise the file is written whole and gives Written.
// Any other failure throws as WriteWholeFile does.
WriteOutcome WriteNewFile(const QString& path, const QByteArray& bytes);
WriteOutcome WriteNewFile(const QString& path, const std::function<void(QIODevice& out)>& writeContent);
