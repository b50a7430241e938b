#pragma once
// Whole-file reading and writing: one open, one read or write, closed before returning. Every
// decoder reads through ReadFileBytes and every writer writes through WriteWholeFile, so they
// all fail the same safe way.

#include <QByteArray>
#include <QString>

// The file's bytes; throws PixError("Cannot open file <path>") when it cannot be opened or read
// (a folder, a missing file). Never creates anything.
QByteArray ReadFileBytes(const QString& path);

// Writes a whole file and closes it. mayReplace false never touches an existing file; true
// replaces it only once the new content is complete and flushed, so a failed write leaves the
// old file whole. Throws PixError("Cannot create file %s") on any failure, leaving no partial
// file of its own behind.
void WriteWholeFile(const QString& path, const QByteArray& bytes, bool mayReplace);
