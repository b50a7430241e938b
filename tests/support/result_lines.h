#pragma once
// The results window's lines for a file written or left alone, as the tests compare them.

#include "convert/output_types.h"

#include <QString>

inline QString CreatedLine(const QString& path) { return ResultLine(WriteOutcome::Written, path); }
inline QString AlreadyExistsLine(const QString& path) {
    return ResultLine(WriteOutcome::AlreadyExisted, path);
}
