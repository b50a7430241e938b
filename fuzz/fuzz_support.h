#pragma once
// Shared by the fuzz targets: the program's loaders read files, so each input is written to a
// file in memory-backed storage and loaded from there, exactly as a user's file would be.

#include "formats/bitmap.h"

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <cstdint>

// Writes the input to a per-process scratch file with the given extension (".gif", ".tif" …)
// and returns its path; the same file is reused from run to run.
QString WriteFuzzInput(const uint8_t* data, size_t size, const QString& extension);

// Runs a load, swallowing the program's own errors: only crashes, leaks, hangs and sanitizer
// reports count as findings.
template <typename F>
void RunQuietly(F&& load) {
    try {
        load();
    } catch (const std::exception&) {
    }
}

// A decoder of a library-read kind (PNG, WebP, HEIF) on the input's bytes, then its picture
// drawn small the way a thumbnail samples it.
using BytesDecoder = Bitmap (*)(const QByteArray& bytes, const QString& path);
void FuzzBytesDecoder(const uint8_t* data, size_t size, BytesDecoder decode);

// Starts Qt offscreen once (fonts for metafile text, image plugins for icons).
void InitFuzzQt();
