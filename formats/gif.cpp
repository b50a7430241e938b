#include "gif.h"

#include "file_io.h"
#include "host.h"

#include <QBuffer>
#include <QIODevice>
#include <algorithm>
#include <bit>
#include <cstring>

// ---------------------------------------------------------------------------------------------
// Errors

EIndexOutOfBounds::EIndexOutOfBounds()
    : EGifException(QStringLiteral("Dynamic array index out of bounds")) {}

ENotEnoughMemory::ENotEnoughMemory(uint64_t requestedBytes)
    : EGifException(QStringLiteral("error in TBigByteArray.create: Not enough contiguous memory "
                                   "available\r\n requested memory block: ") +
                    QString::number(requestedBytes) + QStringLiteral(" bytes")) {}

EListIndexError::EListIndexError(qint64 index)
    : EGifException(QStringLiteral("List index out of bounds (%1)").arg(index)) {}

namespace {

[[noreturn]] void fail(const char* text) {
    throw EGifException(QString::fromLatin1(text));
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TBigByteArray, TByteArray2D

TBigByteArray::TBigByteArray(uint64_t n, uint64_t slack) : count_(n) {
    // Refused before asking for the memory: a file may claim 65535 x 65535 pixels.
    if (n > kMaxBitmapBytes) throw ENotEnoughMemory(n);
    if (n + slack == 0) return;
    // calloc: zeroed, and for large blocks mapped lazily, so a claim the data never fills
    // costs no resident memory.
    bytes_.reset(static_cast<uint8_t*>(std::calloc(size_t(n + slack), 1)));
    if (!bytes_) throw ENotEnoughMemory(n);
}

uint8_t TBigByteArray::get(uint64_t index) const {
    if (index < 1 || index > count_) throw EIndexOutOfBounds();
    return bytes_.get()[index - 1];
}

void TBigByteArray::set(uint64_t index, uint8_t value) {
    if (index < 1 || index > count_) throw EIndexOutOfBounds();
    bytes_.get()[index - 1] = value;
}

TByteArray2D::TByteArray2D(uint32_t columns, uint32_t rows)
    : columns_(columns),
      rows_(rows),
      bytes_(uint64_t(columns) * uint64_t(rows), uint64_t(columns) + kStringSlack) {}

TBigByteArray TByteArray2D::row(uint32_t r) const {
    if (r < 1 || r > rows_) throw EIndexOutOfBounds();
    TBigByteArray out(columns_);
    if (columns_) std::memcpy(out.data(), rowData(r), columns_);
    return out;
}

void TByteArray2D::setRow(uint32_t r, const TBigByteArray& row) {
    if (r < 1 || r > rows_) throw EIndexOutOfBounds();
    if (row.count() != columns_) fail("Row doesn't have equal number of elements as Matrix row");
    if (columns_) std::memcpy(rowData(r), row.data(), columns_);
}

// ---------------------------------------------------------------------------------------------
// TByteBuffer

TByteBuffer::TByteBuffer() : bytes_(kPadding, 0) {}

void TByteBuffer::reserve(size_t totalBytes) {
    bytes_.reserve(totalBytes + kPadding);
}

void TByteBuffer::addSubBlock(const uint8_t* bytes, size_t count) {
    bytes_.resize(length_ + count + kPadding);
    if (count) std::memcpy(bytes_.data() + length_, bytes, count);
    length_ += count;
    std::memset(bytes_.data() + length_, 0, kPadding);
    ends_.push_back(length_);
}

std::span<const uint8_t> TByteBuffer::subBlock(int index) const {
    if (index < 0 || index >= count()) throw EListIndexError(index);
    const size_t begin = index == 0 ? 0 : ends_[size_t(index) - 1];
    return {bytes_.data() + begin, ends_[size_t(index)] - begin};
}

void TByteBuffer::reset() {
    block_ = 1;
    position_ = 1;
    if (ends_.empty()) throw EListIndexError(0);
}

uint8_t TByteBuffer::nextByte() {
    for (;;) {
        if (block_ > count()) throw EListIndexError(block_ - 1);
        const std::span<const uint8_t> current = subBlock(block_ - 1);
        if (position_ <= current.size()) return current[position_++ - 1];
        ++block_;
        position_ = 1;
    }
}

// ---------------------------------------------------------------------------------------------
// TColorTable, TExtensionList, TGifSubImage, TGifFile

TColorTable::TColorTable(int size) {
    static constexpr TGifRgb kStandard16[16] = {
        {0, 0, 0},     {128, 0, 0},     {0, 128, 0},     {128, 128, 0},  {0, 0, 128}, {128, 0, 128},
        {0, 128, 128}, {128, 128, 128}, {192, 192, 192}, {255, 0, 0},    {0, 255, 0}, {255, 255, 0},
        {0, 0, 255},   {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
    if (size == 0 || size == 2) {
        entries[1] = {255, 255, 255};
    } else if (size == 16) {
        std::copy(std::begin(kStandard16), std::end(kStandard16), entries.begin());
    } else if (size == 256) {
        for (int i = 0; i < 256; ++i) entries[size_t(i)] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    }
    count = uint16_t(size);
}

TExtensionList& TExtensionList::operator=(TExtensionList&& other) noexcept {
    if (this != &other) {
        clear();
        items_ = std::move(other.items_);
    }
    return *this;
}

void TExtensionList::clear() {
    while (!items_.empty()) items_.pop_back();
}

TGifSubImage::TGifSubImage(TGifFile* owner_, int colorCount)
    : owner(owner_), localTable(colorCount) {
    if (colorCount < 2 || colorCount > 256 || !std::has_single_bit(unsigned(colorCount))) {
        throw EGifException(
            QStringLiteral("Number of colors (%1) wrong; must be a power of 2").arg(colorCount));
    }
}

void TGifSubImage::setExtensions(TExtensionList list) {
    extensions = std::move(list);
    for (int i = 0; i < extensions.count(); ++i) {
        const TExtension& e = extensions.at(i);
        if (e.kind != TExtensionKind::GraphicControl) continue;
        // data: block size, packed fields, delay (2), transparent index, terminator.
        const uint8_t packed = e.data.size() > 1 ? uint8_t(e.data[1]) : 0;
        disposalMethod = (packed >> 2) & 7;
        transparent = (packed & 1) != 0;
    }
}

const TColorTable& TGifSubImage::colorTable() const {
    return localTableFlag || !owner ? localTable : owner->globalTable;
}

TGifFile::TGifFile() : globalTable(2) {
    std::memcpy(header.data(), "GIF87a", 6);
    globalTable.count = uint16_t(1u << globalBitsPerPixel);
}

TGifSubImage& TGifFile::image(int number) {
    if (number < 1 || number > imageCount()) throw EListIndexError(number - 1);
    return *images[size_t(number) - 1];
}

const TGifSubImage& TGifFile::image(int number) const {
    if (number < 1 || number > imageCount()) throw EListIndexError(number - 1);
    return *images[size_t(number) - 1];
}

// ---------------------------------------------------------------------------------------------
// Reading the stream

namespace {

// Copies up to count bytes; what the stream does not hold reads as 0 (a truncated block keeps
// the bytes that came). Returns how many came.
size_t readUpTo(ByteReader& r, uint8_t* out, size_t count) {
    const size_t n = std::min(count, r.remaining());
    if (n) std::memcpy(out, r.current(), n);
    if (n < count) std::memset(out + n, 0, count - n);
    r.skip(n);
    return n;
}

// A byte, or 0 at the end of the stream.
uint8_t readByte(ByteReader& r) {
    return r.atEnd() ? 0 : r.readU8();
}

uint16_t le16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

void readColourTable(ByteReader& r, TColorTable& table) {
    uint8_t rgb[256 * 3];
    const size_t n = size_t(table.count) * 3;
    const size_t came = readUpTo(r, rgb, n);
    for (size_t i = 0; i < came / 3; ++i)
        table.entries[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
    // A table cut off mid-entry keeps the colour parts that came; the rest read as 0.
    if (came % 3) {
        const size_t i = came / 3;
        table.entries[i] = {rgb[3 * i], rgb[3 * i + 1], rgb[3 * i + 2]};
    }
}

// Data sub-blocks of an extension: a length byte, that many bytes, until a length of 0. At the
// end of the stream the length reads as 0, so the loop ends.
void readExtensionSubBlocks(ByteReader& r, QList<QByteArray>& out) {
    uint8_t length = readByte(r);
    while (length != 0) {
        const size_t n = std::min(size_t(length), r.remaining());
        out.append(QByteArray(reinterpret_cast<const char*>(r.current()), qsizetype(n)));
        r.skip(n);
        length = readByte(r);
    }
}

std::unique_ptr<TExtension> readExtension(ByteReader& r, uint8_t label) {
    auto e = std::make_unique<TExtension>();
    auto fixed = [&](int count) {
        e->data = QByteArray(count, '\0');
        readUpTo(r, reinterpret_cast<uint8_t*>(e->data.data()), size_t(count));
    };
    switch (label) {
        case 0xF9:  // block size, packed, delay (2), transparent index, terminator: 6 bytes
            e->kind = TExtensionKind::GraphicControl;
            fixed(6);
            break;
        case 0x01:  // block size 12 and its 12 bytes, then the text sub-blocks
            e->kind = TExtensionKind::PlainText;
            fixed(13);
            readExtensionSubBlocks(r, e->subBlocks);
            break;
        case 0xFF:  // block size 11, identifier (8), authentication code (3), then sub-blocks
            e->kind = TExtensionKind::Application;
            fixed(12);
            readExtensionSubBlocks(r, e->subBlocks);
            break;
        case 0xFE:
            e->kind = TExtensionKind::Comment;
            readExtensionSubBlocks(r, e->subBlocks);
            break;
        default:
            throw EGifException(
                QStringLiteral("Unrecognized extension block.\r\nCode = $") +
                QStringLiteral("%1").arg(uint(label), 2, 16, QLatin1Char('0')).toUpper());
    }
    return e;
}

// The image data: minimum code size, then sub-blocks until a length of 0 or the end of the
// stream. A sub-block cut off by the end keeps the bytes that came and ends the data.
void readImageData(ByteReader& r, TGifSubImage& image) {
    image.lzwMinCodeSize = readByte(r);

    // One pass over the length bytes first, so the data gets one allocation.
    size_t total = 0;
    for (size_t at = r.position(); at < r.size();) {
        const size_t length = r.data()[at];
        if (length == 0) break;
        ++at;
        const size_t n = std::min(length, r.size() - at);
        total += n;
        at += n;
    }
    image.compressed.reserve(total);

    if (r.atEnd()) return;
    size_t length = r.readU8();
    while (length != 0 && !r.atEnd()) {
        const size_t n = std::min(length, r.remaining());
        image.compressed.addSubBlock(r.current(), n);
        r.skip(n);
        if (n < length) break;
        length = readByte(r);
    }
}

void readImage(ByteReader& r, TGifSubImage& image) {
    uint8_t d[9];
    readUpTo(r, d, sizeof d);
    image.descriptor = {le16(d), le16(d + 2), le16(d + 4), le16(d + 6), d[8]};
    const uint8_t packed = image.descriptor.packed;
    image.localTableFlag = (packed & 0x80) != 0;
    image.interlaced = (packed & 0x40) != 0;
    image.localBitsPerPixel = (packed & 7) + 1;
    image.localTable.count = uint16_t(1u << image.localBitsPerPixel);
    if (image.localTableFlag) readColourTable(r, image.localTable);

    image.pixels = TByteArray2D(image.descriptor.width, image.descriptor.height);
    readImageData(r, image);
}

}  // namespace

void ReadGifStream(ByteReader& r, TGifFile& gif) {
    HourglassGuard hourglass;
    gif.images.clear();

    r.seek(0);
    uint8_t header[6];
    readUpTo(r, header, sizeof header);
    std::memcpy(gif.header.data(), header, 6);
    // Only the version is tested: a file that starts with other bytes than "GIF" is read.
    const char* v = reinterpret_cast<const char*>(header + 3);
    if (std::memcmp(v, "87a", 3) != 0 && std::memcmp(v, "89a", 3) != 0 &&
        std::memcmp(v, "87A", 3) != 0 && std::memcmp(v, "89A", 3) != 0) {
        fail("Gif Version must be 87a or 89a");
    }

    uint8_t s[7];
    readUpTo(r, s, sizeof s);
    gif.screen = {le16(s), le16(s + 2), s[4], s[5], s[6]};
    gif.globalTableFlag = (s[4] & 0x80) != 0;
    gif.globalBitsPerPixel = (s[4] & 7) + 1;
    gif.globalTable.count = uint16_t(1u << gif.globalBitsPerPixel);
    if (gif.globalTableFlag) readColourTable(r, gif.globalTable);

    uint8_t b = readByte(r);
    size_t noted = SIZE_MAX;
    while (b != ';') {
        // Nothing consumed since the last pass (an unexpected byte) or nothing left: stop.
        if (r.atEnd() || r.position() == noted) break;
        noted = r.position();

        TExtensionList extensions;
        bool ended = false;
        while (b == '!') {
            // Leniency: the stream ending inside the extension blocks ends the reading like the
            // end of the stream at the top of a pass, keeping the images read so far (a file cut
            // off after a frame still shows its first image).
            if (r.atEnd()) {
                ended = true;
                break;
            }
            extensions.add(readExtension(r, r.readU8()));
            if (r.atEnd()) {
                ended = true;
                break;
            }
            b = r.readU8();
        }
        if (ended) break;
        if (b != ',') continue;

        auto image = std::make_unique<TGifSubImage>(&gif, int(gif.globalTable.count));
        image->setExtensions(std::move(extensions));
        readImage(r, *image);
        DecodeGifPixels(*image);
        gif.images.push_back(std::move(image));

        b = r.atEnd() ? uint8_t(';') : r.readU8();
    }
}

void ReadGifFile(const QString& path, TGifFile& gif) {
    const QByteArray bytes = ReadFileBytes(path);
    ByteReader r(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    ReadGifStream(r, gif);
}

// ---------------------------------------------------------------------------------------------
// LZW

namespace {

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

// ---------------------------------------------------------------------------------------------
// The 8-bit BMP stream

namespace {

void put16(uint8_t*& p, uint16_t v) {
    *p++ = uint8_t(v);
    *p++ = uint8_t(v >> 8);
}

void put32(uint8_t*& p, uint32_t v) {
    for (int i = 0; i < 4; ++i) *p++ = uint8_t(v >> (8 * i));
}

constexpr int kBmpHeaderBytes = 14 + 40 + 256 * 4;  // 1078, the pixel data offset

// File header, info header and 256 palette entries (blue, green, red, 0).
void writeBmp8Headers(QIODevice& stream, uint32_t width, uint32_t height,
                      const std::array<TGifRgb, 256>& palette) {
    uint8_t h[kBmpHeaderBytes];
    uint8_t* p = h;
    *p++ = 'B';
    *p++ = 'M';
    put32(p, width * height + 819);  // the historical size field; bitmap readers ignore it
    put16(p, 0);
    put16(p, 0);
    put32(p, kBmpHeaderBytes);
    put32(p, 40);
    put32(p, width);
    put32(p, height);  // positive: bottom row first
    put16(p, 1);
    put16(p, 8);
    put32(p, 0);    // no compression
    put32(p, 0);    // image size
    put32(p, 143);  // pixels per metre
    put32(p, 143);
    put32(p, 0);  // colours used
    put32(p, 0);  // important colours
    for (const TGifRgb& c : palette) {
        *p++ = c.blue;
        *p++ = c.green;
        *p++ = c.red;
        *p++ = 0;
    }
    stream.write(reinterpret_cast<const char*>(h), sizeof h);
}

uint32_t paddedRow(uint32_t width) {
    return (width + 3) & ~3u;
}

}  // namespace

void GifImageToBmpStream(const TGifSubImage& image, QIODevice& stream) {
    const uint32_t width = uint32_t(image.width());
    const uint32_t height = uint32_t(image.height());
    const uint32_t stride = paddedRow(width);
    if (auto* buffer = qobject_cast<QBuffer*>(&stream)) {
        const qint64 bytes = qint64(kBmpHeaderBytes) + qint64(stride) * height;
        if (buffer->pos() == 0 && buffer->buffer().capacity() < bytes)
            buffer->buffer().reserve(bytes);
    }
    writeBmp8Headers(stream, width, height, image.colorTable().entries);

    std::vector<uint8_t> row(stride, 0);
    for (uint32_t k = height; k >= 1; --k) {
        if (width) std::memcpy(row.data(), image.pixels.rowData(k), width);
        stream.write(reinterpret_cast<const char*>(row.data()), qint64(stride));
        if (height > 500) GifProgress(1.0 - double(k - 1) / double(height));
    }
    stream.seek(0);
}

void WriteBmp8Stream(const Bitmap& bitmap, QIODevice& stream) {
    std::array<TGifRgb, 256> palette{};
    const std::vector<QRgb>& colours = bitmap.palette();
    for (size_t i = 0; i < colours.size() && i < 256; ++i)
        palette[i] = {uint8_t(qRed(colours[i])), uint8_t(qGreen(colours[i])),
                      uint8_t(qBlue(colours[i]))};
    const uint32_t width = uint32_t(bitmap.width());
    const uint32_t height = uint32_t(bitmap.height());
    writeBmp8Headers(stream, width, height, palette);
    const uint32_t stride = paddedRow(width);
    std::vector<uint8_t> row(stride, 0);
    for (uint32_t y = height; y-- > 0;) {
        if (width) std::memcpy(row.data(), bitmap.scanLine(int(y)), width);
        stream.write(reinterpret_cast<const char*>(row.data()), qint64(stride));
    }
}

namespace {

// Loads an 8-bit bitmap from BMP bytes as they are written to it: the headers, then the rows
// (bottom row first) straight into the bitmap's scanlines, so the stream never has to exist as
// a whole (a 1 GiB image would otherwise need it and the bitmap at once). Errors are kept and
// raised by take(), never thrown through QIODevice::write.
class Bmp8Loader final : public QIODevice {
public:
    Bmp8Loader() { open(QIODevice::WriteOnly); }

    Bitmap take() {
        if (outOfMemory_) throw ENotEnoughMemory(uint64_t(stride_) * uint64_t(height_));
        if (invalid_ || headerFill_ < kBmpHeaderBytes || pixelBytes_ < stride_ * uint64_t(height_))
            throw PixError(QStringLiteral("Bitmap image is not valid"));
        return std::move(bitmap_);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }

    qint64 writeData(const char* data, qint64 len) override {
        const auto* p = reinterpret_cast<const uint8_t*>(data);
        uint64_t n = uint64_t(len);
        if (headerFill_ < kBmpHeaderBytes) {
            const size_t k = std::min<uint64_t>(n, kBmpHeaderBytes - headerFill_);
            std::memcpy(header_ + headerFill_, p, k);
            headerFill_ += k;
            p += k;
            n -= k;
            if (headerFill_ == kBmpHeaderBytes) startPixels();
        }
        if (invalid_ || outOfMemory_) return len;
        const uint64_t total = stride_ * uint64_t(height_);
        while (n && pixelBytes_ < total) {
            const uint64_t row = pixelBytes_ / stride_, at = pixelBytes_ % stride_;
            const uint64_t k = std::min(n, stride_ - at);
            // The bitmap starts zeroed and untouched: zeros are not copied, so rows a short
            // image never filled cost no memory.
            if (!allZero(p, size_t(k)))
                std::memcpy(bitmap_.scanLine(height_ - 1 - int(row)) + at, p, size_t(k));
            pixelBytes_ += k;
            p += k;
            n -= k;
        }
        return len;
    }

private:
    static bool allZero(const uint8_t* p, size_t n) {
        return n == 0 || (p[0] == 0 && std::memcmp(p, p + 1, n - 1) == 0);
    }

    void startPixels() {
        ByteReader r(header_, sizeof header_);
        const uint16_t magic = r.readU16le();
        r.skip(8);
        const uint32_t offset = r.readU32le();
        const uint32_t infoSize = r.readU32le();
        const int32_t width = int32_t(r.readU32le());
        const int32_t height = int32_t(r.readU32le());
        const uint16_t planes = r.readU16le();
        const uint16_t bitCount = r.readU16le();
        const uint32_t compression = r.readU32le();
        if (magic != 0x4D42 || offset != uint32_t(kBmpHeaderBytes) || infoSize != 40 ||
            planes != 1 || bitCount != 8 || compression != 0 || width < 0 || height < 0) {
            invalid_ = true;
            return;
        }
        stride_ = paddedRow(uint32_t(width));
        height_ = height;
        if (!bitmap_.tryCreate(width, height, 8)) {
            outOfMemory_ = true;
            return;
        }
        std::vector<QRgb> palette(256);
        const uint8_t* pal = header_ + 14 + 40;
        for (int i = 0; i < 256; ++i)
            palette[size_t(i)] = qRgb(pal[4 * i + 2], pal[4 * i + 1], pal[4 * i]);
        bitmap_.setPalette(std::move(palette));
    }

    uint8_t header_[kBmpHeaderBytes];
    size_t headerFill_ = 0;
    Bitmap bitmap_;
    uint64_t stride_ = 0;
    int height_ = 0;
    uint64_t pixelBytes_ = 0;
    bool invalid_ = false;
    bool outOfMemory_ = false;
};

}  // namespace

Bitmap LoadBmp8Stream(std::span<const uint8_t> bytes) {
    Bmp8Loader loader;
    loader.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
    return loader.take();
}

Bitmap FirstImageBitmap(const TGifFile& gif) {
    const TGifSubImage& first = gif.image(1);
    Bmp8Loader loader;
    GifImageToBmpStream(first, loader);
    return loader.take();
}
