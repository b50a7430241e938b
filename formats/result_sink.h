#pragma once
// Where the writers report each file they wrote or left alone: one result line per file, as the
// results window lists them.

#include <QString>
#include <functional>

using ResultSink = std::function<void(const QString& line)>;

inline QString CreatedLine(const QString& path) { return QStringLiteral("  Successfully Created -> ") + path; }
inline QString AlreadyExistsLine(const QString& path) { return QStringLiteral("  File already exists -> ") + path; }
