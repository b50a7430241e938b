#pragma once
// Files of the kinds read through libraries (PNG, WebP, HEIC, AVIF), made at test time: the
// shared corpus need not hold these collections, and the readers are checked wherever the tests
// run. Each maker returns the paths written, or nothing when a file could not be made.

#include <QString>
#include <QStringList>

struct PngSample {
    int colourType;  // PNG_COLOR_TYPE_*
    int depth;       // bits per sample
    bool interlaced;
    bool transparency;  // a tRNS chunk: a colour key, or alpha for every palette entry
    int width = 37;     // odd sides cut Adam7's passes unevenly
    int height = 29;
};

// One PNG of fixed pseudo-random pixels, written by libpng.
bool WritePngSample(const QString& path, const PngSample& sample);

// Every colour type at every depth it allows, plain and Adam7, with and without tRNS where the
// type takes one.
QStringList WritePngMatrix(const QString& folder);

// Pillow's lossy, lossy with alpha and lossless with alpha 32 x 32 WebP, and a two-frame
// animation (in that order).
QStringList WriteWebpSamples(const QString& folder);

// heif-enc's 64 x 48 HEIC and 48 x 64 AVIF with alpha (in that order).
QStringList WriteHeifSamples(const QString& folder);

// Into folder under the four names given: the HEIC and the AVIF above, a 37 x 29 16-bit RGBA
// Adam7 PNG and the 32 x 32 WebP animation.
bool WriteEachLibraryKind(const QString& folder, const QStringList& names);
