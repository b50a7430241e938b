#pragma once
// PNG pictures through libpng: every colour type and bit depth, interlaced or not.

#include "formats/bitmap.h"

#include <QByteArray>
#include <QString>

// Decodes a PNG file's bytes into a 24-bit bitmap. Palettes are looked up and grey is widened
// to RGB; 1-, 2- and 4-bit samples are scaled to 8 bits, and 16-bit samples keep their high
// byte (libpng's strip, which is how Pillow and most viewers show them); a tRNS colour key,
// palette transparency and alpha are composed over white like an icon's. Gamma, colour profiles
// and the background-colour chunk are not applied. Throws ImageTooLargeText before allocating a
// picture over kMaxBitmapBytes, and "Cannot read the PNG image <path>: <libpng's reason>" for a
// damaged or cut-short file.
Bitmap DecodePng(const QByteArray& bytes, const QString& path);

// Registers "png" for the PNG image kind.
void InitPngModule();
