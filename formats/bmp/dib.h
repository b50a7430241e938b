#pragma once
// Device-independent bitmaps, read once for every reader that meets them: the BMP file reader,
// the bitmaps that metafile records carry, and the 8-bit BMP stream of the GIF decoder. Here are
// the headers, the colour table, the bit-field channels and the run-length walk; each reader
// puts the pixels where it wants them.

#include "formats/byte_reader.h"

#include <QRgb>
#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4,
                   kBiPng = 5, kBiAlphaBitfields = 6;

// What the header (any of its versions) says, with the stored values as they stand.
struct DibHeader {
    uint32_t headerSize = 0;
    int64_t width = 0;
    int64_t height = 0;  // negative: rows stored top-down
    int planes = 0;
    int bitCount = 0;
    uint32_t compression = kBiRgb;
    uint32_t coloursUsed = 0;
    // Red, green, blue, alpha; set only for the bit-field compressions (hasMasks).
    std::array<uint32_t, 4> masks{};
    bool hasMasks = false;

    bool core() const { return headerSize == 12; }
    // OS/2's second header: compressions 3 and 4 there are Huffman 1D and RLE24, not bit fields.
    bool os2() const { return headerSize == 16 || headerSize == 64; }
    bool topDown() const { return height < 0; }
    uint32_t rows() const { return uint32_t(height < 0 ? -height : height); }
    bool runLength() const {
        return (compression == kBiRle8 && bitCount == 8) || (compression == kBiRle4 && bitCount == 4);
    }
    // Bytes from one stored row to the next: rows are padded to 32 bits.
    uint64_t stride() const { return (uint64_t(width) * uint64_t(bitCount) + 31) / 32 * 4; }
    // Bytes of a row that hold pixels.
    uint64_t usedRowBytes() const { return (uint64_t(width) * uint64_t(bitCount) + 7) / 8; }
    // Entries the colour table holds: as many as the header says, at most (and by default)
    // the depth's full count; none above 8 bits.
    uint32_t colourTableEntries() const;
    // The masks the pixels use: the header's, else the defaults of 16 bits (5-5-5) and
    // 32 bits (8-8-8); alpha only from the header.
    std::array<uint32_t, 4> effectiveMasks() const;
};

// Reads the header at the reader's position, size field first, and for the bit-field
// compressions the masks: inside a header of 52 bytes or more, else right after the header
// (which the reader then passes). Accepts the 12-byte core header and any size from 16 on;
// leaves the reader at the colour table. False when the bytes end first; the values are not
// judged (each reader decides what it takes).
bool ReadDibHeader(ByteReader& r, DibHeader& h);

// True when depth and compression go together as Windows defines them: plain 1, 2, 4, 8, 16,
// 24 or 32 bits, run-length 8 or 4 bits, bit fields 16 or 32 bits (not in an OS/2 header).
bool DibLayoutValid(const DibHeader& h);

// Up to `entries` colours (blue, green, red, then a reserved byte unless the header is a core
// one); stops at the end of the data, which the reader's failed() then tells.
std::vector<QRgb> ReadDibColourTable(ByteReader& r, const DibHeader& h, uint32_t entries);

// One bit-field channel widened to 8 bits: floor(v * 255 / max), max being the channel's
// largest value. That is Pillow's rule for the 5- and 6-bit channels it reads, exact for 8 bits,
// and here it holds for every width up to a full 32-bit mask. Channels up to 16 bits go
// through a table of their values.
class DibChannel {
public:
    explicit DibChannel(uint32_t mask);

    uint8_t operator()(uint32_t pixel) const {
        const uint32_t v = (pixel & mask_) >> shift_;
        if (!table_.empty()) return table_[v];
        return uint8_t(uint64_t(v) * 255 / max_);
    }

private:
    uint32_t mask_ = 0;
    uint32_t shift_ = 0;
    uint32_t max_ = 0;
    std::vector<uint8_t> table_;
};

// The four channels of a 16- or 32-bit pixel.
struct DibChannels {
    explicit DibChannels(const std::array<uint32_t, 4>& masks)
        : red(masks[0]), green(masks[1]), blue(masks[2]), alpha(masks[3]) {}
    DibChannel red, green, blue, alpha;
};

// Pixel x of a 16- or 32-bit row, little-endian.
inline uint32_t DibPixel(const uint8_t* row, int64_t x, int bitCount) {
    if (bitCount == 16) {
        const uint8_t* p = row + 2 * x;
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8);
    }
    const uint8_t* p = row + 4 * x;
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Walks run-length data (RLE8, or RLE4 when fourBit) and calls put(x, row, n, first, second)
// for every stretch of n pixels from x that lands inside width × rows, their indices
// alternating first, second, first ... (the two are equal in RLE8); row counts in storing order
// (the first row stored is 0). Runs past a row's end are cut, and data that ends early, or an
// end-of-bitmap code, ends the walk: pixels never reached are left as they are. Absolute runs
// are padded to 16 bits.
template <class Put>
void WalkDibRunLength(ByteReader bits, bool fourBit, int64_t width, int64_t rows, Put&& put) {
    int64_t x = 0, y = 0;
    while (y < rows) {
        const uint8_t count = bits.readU8();
        const uint8_t value = bits.readU8();
        if (bits.failed()) break;
        if (count) {
            const int64_t n = std::min<int64_t>(count, width - x);
            if (n > 0) {
                if (fourBit)
                    put(x, y, n, uint8_t(value >> 4), uint8_t(value & 0x0F));
                else
                    put(x, y, n, value, value);
            }
            x += count;
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += bits.readU8();
            y += bits.readU8();
        } else {
            const size_t bytes = fourBit ? (size_t(value) + 1) / 2 : value;
            ByteReader run = bits.sub(bytes);
            for (int i = 0; i < value && x + i < width && y < rows; ++i) {
                const size_t at = size_t(fourBit ? i / 2 : i);
                if (at >= run.size()) break;
                const uint8_t b = run.data()[at];
                const uint8_t index = fourBit ? ((i & 1) ? b & 0x0F : b >> 4) : b;
                put(x + i, y, 1, index, index);
            }
            x += value;
            if (bytes & 1) bits.skip(1);
        }
    }
}
