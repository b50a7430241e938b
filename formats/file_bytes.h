#pragma once
// Whole-file reads for the decoders: one open, one read, closed before returning.

#include <QByteArray>
#include <QString>

// The file's bytes; throws PixError("Cannot open file <path>") when it cannot be opened or read
// (a folder, a missing file). Never creates anything.
QByteArray ReadFileBytes(const QString& path);
