#pragma once
// The TIFFs the program's own reader lacks a feature for (compressions, 16-bit and odd depths,
// tiles, separate planes, CMYK, YCbCr, Lab, alpha, BigTIFF), decoded through libtiff's RGBA
// interface. The reader hands them over through its fallback (ReadTiffIntoBitmap).

#include "formats/bitmap.h"

#include <QString>

// Decodes directory `directory` (counted from 0 along the file's chain; -1: the last one that
// decodes) into a new 24-bit bitmap, upright, with alpha composed over white like an icon's, and
// replaces bitmap with it. False, bitmap untouched and nothing said, when libtiff cannot read
// it. A picture over kMaxBitmapBytes throws ImageTooLargeText before anything is allocated.
// Fits TiffFeatureFallback.
bool ReadTiffDirectoryWithLibtiff(const QString& path, int directory, Bitmap& bitmap);
