#pragma once
// Small text helpers for names and paths. Path helpers split at the native separator (and, on
// Windows, also at '/' and the drive colon). Bottom layer: includes nothing of formats/.

#include <QChar>
#include <QString>

bool IsPathSeparator(QChar c);

// ASCII letters to upper (lower) case, nothing else touched: extensions and names compare the
// same on every locale.
QString AsciiUpperCase(const QString& text);
QString AsciiLowerCase(const QString& text);

// The file name's part from its last dot on, dot included ("" without one).
QString ExtractFileExtension(const QString& path);
// The path with its extension replaced by extension (which brings its own dot, or is empty to
// drop it); a name without an extension gets it appended.
QString ChangeFileExtension(const QString& path, const QString& extension);
// The part after the last separator.
QString ExtractFileName(const QString& path);
// The folder part with its trailing separator ("" for a bare name).
QString ExtractFilePath(const QString& path);
// The text without leading and trailing spaces and control characters (everything at or below
// ' '); characters inside stay.
QString TrimText(const QString& text);
