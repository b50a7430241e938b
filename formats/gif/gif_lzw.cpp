// The LZW decoder: an image's compressed sub-blocks into its pixel matrix, row by row.
#include "formats/gif/gif.h"

#include "formats/host.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

[[noreturn]] void fail(const char* text) {
    throw EGifException(QString::fromLatin1(text));
}

constexpr unsigned kMaxCodes = 4096;

// The fixed tables of one decode: no allocation and no recursion while codes are decoded.
// Each code keeps its string's last byte (suffix), the code of the rest (prefix), its first
// byte and its length, so a string is written back to front straight into its row.
struct LzwTables {
    uint16_t prefix[kMaxCodes];
    uint16_t length[kMaxCodes];
    uint8_t suffix[kMaxCodes];
    uint8_t first[kMaxCodes];
    uint8_t stack[kMaxCodes];  // a string that crosses the end of a row
};

// Where decoded bytes go: the pixel matrix's rows in storing order (interlace passes as in the
// file). Rows are written in place; a row past the last goes to the row buffer and fails when
// it is complete, as storing it would.
class RowSink {
public:
    RowSink(TGifSubImage& image, uint8_t* rowBuffer)
        : image_(image),
          width_(uint32_t(image.width())),
          height_(uint32_t(image.height())),
          interlaced_(image.interlaced),
          rowBuffer_(rowBuffer) {
        row_ = rowPointer();
    }

    uint32_t width() const { return width_; }
    uint32_t column = 0;  // 0-based
    uint8_t* row() const { return row_; }

    // A run of bytes that may cross row ends.
    void write(const uint8_t* src, uint32_t n) {
        // Width 0: the first byte lands at column 1 of an empty row buffer.
        if (width_ == 0) throw EIndexOutOfBounds();
        while (n) {
            const uint32_t k = std::min(n, width_ - column);
            std::memcpy(row_ + column, src, k);
            column += k;
            src += k;
            n -= k;
            if (column == width_) finishRow();
        }
    }

    // The column passed the width: progress, pending messages, store, next row.
    void finishRow() {
        if (height_ > 200) GifProgress(double(r_ + 1) / double(height_));
        formatHost().processMessages();
        if (r_ >= height_) throw EIndexOutOfBounds();  // pixels beyond the last row
        ++image_.rowsStored;
        advance();
        column = 0;
        row_ = rowPointer();
    }

    // Decoding ended: a last row that the data left incomplete is not stored (its bytes were
    // written in place, so they are cleared back to the matrix's first contents).
    void finish() {
        if (column && r_ < height_) std::memset(row_, 0, column);
    }

private:
    uint8_t* rowPointer() const {
        return r_ < height_ ? image_.pixels.rowData(r_ + 1) : rowBuffer_;
    }

    void advance() {
        if (!interlaced_) {
            ++r_;
            return;
        }
        r_ += pass_ <= 2 ? 8 : pass_ == 3 ? 4 : 2;
        while (r_ >= height_ && pass_ <= 4) {
            ++pass_;
            if (pass_ == 2)
                r_ = 4;
            else if (pass_ == 3)
                r_ = 2;
            else if (pass_ == 4)
                r_ = 1;
            else
                r_ = height_;  // after pass 4 the rows are complete
        }
    }

    TGifSubImage& image_;
    const uint32_t width_;
    const uint32_t height_;
    const bool interlaced_;
    uint8_t* const rowBuffer_;
    uint8_t* row_ = nullptr;
    uint32_t r_ = 0;  // 0-based row
    int pass_ = 1;
};

}  // namespace

namespace {

// Codes are packed least significant bit first. A code needs all its bits: data that ends inside
// one ends decoding quietly, like running off the last sub-block. Each code is one 8-byte load
// at its first byte, inside the buffer's zero padding.
struct CodeReader {
    const uint8_t* data;
    uint64_t totalBits;
    uint64_t bitPos = 0;

    bool read(unsigned width, unsigned& code) {
        if (bitPos + width > totalBits) return false;
        uint64_t v;
        std::memcpy(&v, data + (bitPos >> 3), sizeof v);
        if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
        code = unsigned(v >> (bitPos & 7)) & ((1u << width) - 1);
        bitPos += width;
        return true;
    }
};

// Copies n bytes in 16-byte chunks; may write up to 15 bytes past dst + n. The source lies
// wholly before dst, so a chunk that reads past src + n only carries bytes past the string.
inline void copyChunks(uint8_t* dst, const uint8_t* src, unsigned n) {
    for (unsigned i = 0; i < n; i += 16) {
        uint8_t chunk[16];
        std::memcpy(chunk, src + i, 16);
        std::memcpy(dst + i, chunk, 16);
    }
}

// The rows of a decode, each one's progress report and pending messages as it completes; the
// row past the last fails when complete, as storing it would.
class RowEvents {
public:
    explicit RowEvents(TGifSubImage& image) : image_(image), height_(uint32_t(image.height())) {}

    void rowDone(uint32_t r) {
        if (height_ > 200) GifProgress(double(r + 1) / double(height_));
        formatHost().processMessages();
        if (r >= height_) throw EIndexOutOfBounds();  // pixels beyond the last row
        ++image_.rowsStored;
    }

private:
    TGifSubImage& image_;
    const uint32_t height_;
};

// Non-interlaced images, width > 0: the matrix is one run of rows, so the output is linear and
// every code's string is already in it, at the place the code was first written. A known code
// is copied from there; nothing walks the prefix chain. The matrix's slack holds the row past
// the last one and the copies' overshoot.
void decodeLinear(TGifSubImage& image, CodeReader reader, unsigned cs) {
    // A local reader: the byte stores below may alias anything a reference points at.
    CodeReader in = reader;
    const unsigned clear = 1u << cs;
    const unsigned end = clear + 1;
    const uint64_t width = uint64_t(image.width());
    const uint64_t height = uint64_t(image.height());
    const uint64_t total = width * height;
    uint8_t* const out = image.pixels.data();
    RowEvents events(image);

    uint32_t position[kMaxCodes];  // where each code's string was written
    uint16_t length[kMaxCodes];

    unsigned w = cs + 1;
    unsigned next = end + 1;
    unsigned limit = 1u << w;
    uint64_t cur = 0;  // output position
    uint64_t rowEnd = width;
    uint32_t row = 0;
    uint64_t prevPos = 0;  // previous code's string
    unsigned prevLen = 1;

    auto define = [&] {
        // Deferred clear: a full table stays as it stands, no entry is added.
        if (next >= kMaxCodes) return;
        position[next] = uint32_t(prevPos);
        length[next] = uint16_t(prevLen + 1);
        ++next;
        if (next >= limit && w < 12) {
            limit <<= 1;
            ++w;
        }
    };
    auto finish = [&] {
        // A last row that the data leaves incomplete is not stored: clear it, and the copies'
        // overshoot into the rows below, back to the matrix's first contents.
        if (row < height) {
            const uint64_t from = uint64_t(row) * width;
            std::memset(out + from, 0, size_t(std::min(cur + 16, total) - from));
        }
        image.pixels.writtenUpTo(cur + 16);  // the copies overshoot by less than a chunk
    };
    auto literal = [&](unsigned k) {
        out[cur] = uint8_t(k);
        prevPos = cur;
        prevLen = 1;
        ++cur;
    };

    unsigned k;
    if (!in.read(w, k)) return finish();
    // The table starts as a clear code leaves it: the first code that is not a clear code is
    // handled as the first code after a clear (a code not yet defined reads as 0).
    if (k != clear && k != end) {
        literal(k >= next ? 0 : k);
        if (!in.read(w, k)) return finish();
    }
    while (k != end) {
        if (k < clear) {
            define();
            literal(k);
        } else if (k == clear) {
            w = cs + 1;
            next = end + 1;
            limit = 1u << w;
            do {
                if (!in.read(w, k)) return finish();
            } while (k == clear);
            if (k == end) fail("Bad code");
            literal(k >= next ? 0 : k);
        } else if (k < next) {
            const unsigned len = length[k];
            define();
            copyChunks(out + cur, out + position[k], len);
            prevPos = cur;
            prevLen = len;
            cur += len;
        } else if (k == next) {
            // The code being defined: the previous string and its own first byte.
            define();
            copyChunks(out + cur, out + prevPos, prevLen);
            out[cur + prevLen] = out[prevPos];
            prevPos = cur;
            prevLen += 1;
            cur += prevLen;
        } else {
            fail("Bad code");
        }
        while (cur >= rowEnd) {
            events.rowDone(row);
            ++row;
            rowEnd += width;
        }
        if (!in.read(w, k)) break;
    }
    finish();
}

// Interlaced images (and width 0): strings are written back to front along the prefix chain
// into the current row, through the stack when they cross its end.
void decodeThroughRows(TGifSubImage& image, CodeReader in, unsigned cs, uint8_t* rowBuffer) {
    const unsigned clear = 1u << cs;
    const unsigned end = clear + 1;
    RowSink sink(image, rowBuffer);
    const uint32_t width = sink.width();

    LzwTables t;
    for (unsigned c = 0; c < clear; ++c) {
        t.prefix[c] = 0;
        t.suffix[c] = uint8_t(c);
        t.first[c] = uint8_t(c);
        t.length[c] = 1;
    }

    unsigned w = cs + 1;
    unsigned next = end + 1;   // N, the next free code
    unsigned limit = 1u << w;  // L
    unsigned prev = 0;         // P

    auto output = [&](unsigned code, unsigned len) {
        const bool inRow = len <= width - sink.column;
        uint8_t* p = inRow ? sink.row() + sink.column : t.stack;
        unsigned c = code;
        for (unsigned i = len - 1; i > 0; --i) {
            p[i] = t.suffix[c];
            c = t.prefix[c];
        }
        p[0] = uint8_t(c);
        if (inRow) {
            sink.column += len;
            if (sink.column == width) sink.finishRow();
        } else {
            sink.write(t.stack, len);
        }
    };

    auto addEntry = [&](unsigned firstByte) {
        // Deferred clear: a full table stays as it stands, no entry is added.
        if (next >= kMaxCodes) return;
        t.prefix[next] = uint16_t(prev);
        t.suffix[next] = uint8_t(firstByte);
        t.first[next] = t.first[prev];
        t.length[next] = uint16_t(t.length[prev] + 1);
        ++next;
        if (next >= limit && w < 12) {
            limit <<= 1;
            ++w;
        }
    };

    unsigned k;
    if (!in.read(w, k)) return sink.finish();
    if (k != clear && k != end) {
        if (k >= next) k = 0;
        prev = k;
        output(k, 1);
        if (!in.read(w, k)) return sink.finish();
    }
    while (k != end) {
        if (k == clear) {
            w = cs + 1;
            next = end + 1;
            limit = 1u << w;
            do {
                if (!in.read(w, k)) return sink.finish();
            } while (k == clear);
            if (k == end) fail("Bad code");
            if (k >= next) k = 0;
            prev = k;
            output(k, 1);
        } else if (k < next) {
            const unsigned len = t.length[k];
            addEntry(t.first[k]);
            output(k, len);
            prev = k;
        } else if (k == next) {
            addEntry(t.first[prev]);
            output(k, t.length[k]);
            prev = k;
        } else {
            fail("Bad code");
        }
        if (!in.read(w, k)) break;
    }
    sink.finish();
}

}  // namespace

void DecodeGifPixels(TGifSubImage& image) {
    const unsigned cs = image.lzwMinCodeSize;
    if (cs < 2 || cs > 9) fail("Bad code Size");

    TBigByteArray rowBuffer(uint64_t(image.width()));
    image.rowsStored = 0;

    // The byte supply: an image without any data sub-block fails here.
    image.compressed.reset();
    CodeReader in{image.compressed.bytes(), uint64_t(image.compressed.totalLength()) * 8};

    if (!image.interlaced && image.width() > 0)
        decodeLinear(image, in, cs);
    else
        decodeThroughRows(image, in, cs, rowBuffer.data());
}
