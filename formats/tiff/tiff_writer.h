#pragma once
// Writer of the program's one TIFF layout: uncompressed, little-endian, one strip, the pixel
// data before the directory and the header patched last to point at it.
//
// RGB file of W x H (24- and 32-bit bitmaps):
//    0  header "II", 42, directory offset      8  X resolution 877/10
//   16  Y resolution 877/10                    24  bits per sample 8, 8, 8
//   30  "Vendrulask" (10 bytes, no zero)       40  rows, top first, R G B, no padding
//   40 + 3WH  directory: 15 entries, next offset 0 (186 bytes, at an odd offset if 3WH is odd)
// Palette file (N = 2^bits colours, R bytes a row; 4- and 8-bit bitmaps):
//    0  header    8  colour map: N reds, N greens, N blues, SHORTs with the colour in the high byte
//    8 + 6N  X resolution   16 + 6N  Y resolution   24 + 6N  software text
//   34 + 6N  rows   34 + 6N + RH  directory (15 entries, ColorMap instead of PlanarConfiguration)

#include "formats/bitmap.h"

#include <QString>
#include <array>
#include <cstdint>

class QIODevice;

// The fixed parts of both layouts; the writer fills the variable fields of a copy.
struct TiffTemplate {
    struct Entry {
        uint16_t tag;
        uint16_t type;
        uint32_t count;
        uint32_t value;
    };
    static constexpr std::array<uint8_t, 8> header{'I', 'I', 42, 0, 8, 0, 0, 0};
    static constexpr std::array<uint32_t, 2> resolution{877, 10};
    static constexpr std::array<uint16_t, 3> rgbBitsPerSample{8, 8, 8};
    static constexpr std::array<char, 10> software{'V', 'e', 'n', 'd', 'r',
                                                   'u', 'l', 'a', 's', 'k'};
    // Values that depend on the bitmap are 0 here.
    static constexpr std::array<Entry, 15> rgbDirectory{{
        {254, 4, 1, 0},   // NewSubfileType
        {256, 3, 1, 0},   // ImageWidth
        {257, 3, 1, 0},   // ImageLength
        {258, 3, 3, 0},   // BitsPerSample: offset of 8, 8, 8
        {259, 3, 1, 1},   // Compression: none
        {262, 3, 1, 2},   // PhotometricInterpretation: RGB
        {273, 4, 1, 0},   // StripOffsets
        {277, 3, 1, 3},   // SamplesPerPixel
        {278, 4, 1, 0},   // RowsPerStrip
        {279, 4, 1, 0},   // StripByteCounts
        {282, 5, 1, 0},   // XResolution: offset
        {283, 5, 1, 0},   // YResolution: offset
        {284, 3, 1, 1},   // PlanarConfiguration: chunky
        {296, 3, 1, 2},   // ResolutionUnit: inch
        {305, 2, 10, 0},  // Software: offset
    }};
    static constexpr std::array<Entry, 15> paletteDirectory{{
        {254, 4, 1, 0},   // NewSubfileType
        {256, 3, 1, 0},   // ImageWidth
        {257, 3, 1, 0},   // ImageLength
        {258, 3, 1, 0},   // BitsPerSample: 4 or 8
        {259, 3, 1, 1},   // Compression: none
        {262, 3, 1, 3},   // PhotometricInterpretation: palette
        {273, 4, 1, 0},   // StripOffsets
        {277, 3, 1, 1},   // SamplesPerPixel
        {278, 4, 1, 0},   // RowsPerStrip
        {279, 4, 1, 0},   // StripByteCounts
        {282, 5, 1, 0},   // XResolution: offset
        {283, 5, 1, 0},   // YResolution: offset
        {296, 3, 1, 2},   // ResolutionUnit: inch
        {305, 2, 10, 0},  // Software: offset
        {320, 3, 0, 8},   // ColorMap: 3 x 2^bits SHORTs at 8
    }};
};

// Writes the TIFF of the bitmap from the device's current position (offsets in the file count
// from there). Nothing is written for a bitmap without pixels. 1-bit bitmaps, and 4-bit ones
// narrower than 4 pixels, are written in the 8-bit palette layout. The device must be seekable.
// A write or seek that fails throws PixError("Cannot write TIFF data: <reason>").
void WriteTiffToStream(const Bitmap& bitmap, QIODevice& out);

// Creates (or replaces) the file and writes the bitmap into it. Throws
// PixError("Cannot create file %s") when the file cannot be created or written completely; a
// regular file left half written is removed.
void SaveBitmapAsTiff(const Bitmap& bitmap, const QString& path);
