#pragma once
// Device-independent bitmaps as metafile records carry them (a BITMAPINFO and the pixel bits
// at offsets inside the record), turned into 32-bit images the painter can draw without the
// over-reads Qt shows on indexed images under a transform.

#include "formats/byte_reader.h"

#include <QImage>
#include <QRgb>
#include <vector>

struct DibSource {
    ByteReader info;  // the BITMAPINFO (header and colour table), cut to its declared size
    ByteReader bits;  // the pixel bits, cut to their declared size
    // DIB_PAL_COLORS: the colour table holds 16-bit indices into the logical palette.
    bool paletteIndices = false;
    // SETDIBITSTODEVICE sends a band of scan lines: the bits start at this scan line
    // (counted from the bottom as in the DIB) and hold scanCount lines; -1 means all.
    int firstScan = 0;
    int scanCount = -1;
    // A monochrome brush: the two indices become black and white whatever the table says.
    bool monochrome = false;
};

// The picture, Format_RGB32, or Format_ARGB32_Premultiplied when keepAlpha is set and the DIB
// is 32-bit. A null image when the header is unusable or the matrix would exceed
// kMaxBitmapBytes; missing bits leave black rows rather than reading past the record.
QImage DecodeDib(DibSource source, bool keepAlpha = false);

// Size a DIB header claims (height negative for top-down rows); 0 x 0 when unreadable.
struct DibGeometry {
    int width = 0;
    int height = 0;
    int bitCount = 0;
};
DibGeometry ReadDibGeometry(ByteReader info);
