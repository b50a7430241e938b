#pragma once
// HEIF pictures through libheif: HEIC (HEVC, through libde265) and AVIF (AV1, through dav1d or
// libaom). The primary image is shown, upright.

#include "formats/bitmap.h"

#include <QByteArray>
#include <QString>

// Decodes the primary image of a HEIF file's bytes into a 24-bit bitmap, turned, mirrored and
// cropped as the file's own transform says; more than 8 bits a sample are brought down to 8 and
// alpha is composed over white like an icon's. Throws ImageTooLargeText before decoding a
// picture over kMaxBitmapBytes, and "Cannot read the HEIF image <path>: <libheif's reason>" for a
// damaged or cut-short file, or one whose codec the library lacks.
Bitmap DecodeHeif(const QByteArray& bytes, const QString& path);

// Registers "heic", "heif" and "avif" for the HEIF image kind.
void InitHeifModule();
