#pragma once
// The GIF decoder: reads a whole GIF file, 87a or 89a, into a TGifFile (header, screen
// descriptor, colour tables, every extension block, every image with its decoded pixels), and
// hands the first image on as an 8-bit palette Bitmap through the 8-bit BMP byte layout of
// GifImageToBmpStream. Its parts: gif_model.cpp (the data model), gif_stream.cpp (reading the
// file), gif_lzw.cpp (the LZW decoder), gif_convert.cpp (the 8-bit BMP stream).
//
// Robustness:
// - deferred clear: once the code table holds 4096 codes, further codes decode with the table as
//   it stands and add nothing (GIF89a allows it and encoders do it), so "Code size overflow" is
//   never raised;
// - memory: a pixel matrix over 1 GiB is refused with ENotEnoughMemory before any allocation;
// - no read beyond the data: the stream, the sub-blocks and the code tables are bounds-checked,
//   and the output stack cannot overflow.
//
// Everything runs on the user-interface thread; the decoder lets pending window messages run
// after every decoded row (FormatHost::processMessages) and reports progress through
// GifProgress for images higher than 200 rows (decoding) or 500 rows (conversion to a bitmap).

#include "formats/bitmap.h"
#include "formats/byte_reader.h"
#include "formats/errors.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

class QIODevice;

// ---------------------------------------------------------------------------------------------
// Errors. The texts are what the user reads in the error box; tests compare them exactly.

class EGifException : public PixError {
public:
    using PixError::PixError;
};

// "Dynamic array index out of bounds": a TBigByteArray index outside 1..n, a matrix row outside
// 1..rows, and so pixels beyond the last row of an image.
class EIndexOutOfBounds : public EGifException {
public:
    EIndexOutOfBounds();
};

// "error in TBigByteArray.create: Not enough contiguous memory available\r\n requested memory
// block: <n> bytes": an array over 1 GiB, or one whose memory cannot be obtained.
class ENotEnoughMemory : public EGifException {
public:
    explicit ENotEnoughMemory(uint64_t requestedBytes);
};

// "List index out of bounds (<index>)": the byte supply of an image without any data
// sub-block, and image 1 of a file without images.
class EListIndexError : public EGifException {
public:
    explicit EListIndexError(qint64 index);
};

// ---------------------------------------------------------------------------------------------
// Byte containers.

// A byte array of fixed length n with indexes 1..n. Its memory is obtained zeroed, so pixels the
// data never reaches show colour index 0.
class TBigByteArray {
public:
    TBigByteArray() = default;
    // Throws ENotEnoughMemory when n exceeds kMaxBitmapBytes (1 GiB) or the memory is short;
    // never lets the allocation itself end the process. slack zeroed bytes follow the n bytes
    // (outside the indexes; the LZW decoder writes whole strings and 16-byte chunks there).
    explicit TBigByteArray(uint64_t n, uint64_t slack = 0);

    uint64_t count() const { return count_; }
    // 1-based; outside 1..n throws EIndexOutOfBounds.
    uint8_t get(uint64_t index) const;
    void set(uint64_t index, uint8_t value);

    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }

private:
    struct Free {
        void operator()(uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<uint8_t, Free> bytes_;
    uint64_t count_ = 0;
};

// columns × rows bytes in one TBigByteArray, row after row; rows are numbered from 1.
class TByteArray2D {
public:
    TByteArray2D() = default;
    // Throws ENotEnoughMemory for a matrix over 1 GiB (checked in 64 bits, before allocating).
    // kSlack bytes follow the last row: room for the row past the last one and a string.
    TByteArray2D(uint32_t columns, uint32_t rows);
    uint64_t slack() const { return uint64_t(columns_) + kStringSlack; }
    static constexpr uint64_t kStringSlack = 4096 + 64;

    uint32_t columns() const { return columns_; }
    uint32_t rows() const { return rows_; }

    // A copy of row r (1-based); r outside 1..rows throws EIndexOutOfBounds.
    TBigByteArray row(uint32_t r) const;
    // Stores row r: needs 1 <= r <= rows (else EIndexOutOfBounds) and exactly columns bytes
    // (else "Row doesn't have equal number of elements as Matrix row").
    void setRow(uint32_t r, const TBigByteArray& row);

    // Row r (1-based, unchecked) in place: columns bytes.
    uint8_t* rowData(uint32_t r) {
        rowsWritten_ = std::max(rowsWritten_, std::min(r, rows_));
        return bytes_.data() + uint64_t(r - 1) * columns_;
    }
    const uint8_t* rowData(uint32_t r) const { return bytes_.data() + uint64_t(r - 1) * columns_; }
    // All rows in place; counts every row as written until writtenUpTo() says how far it went.
    uint8_t* data() {
        rowsWritten_ = rows_;
        return bytes_.data();
    }
    const uint8_t* data() const { return bytes_.data(); }
    // A writer through data() touched no byte at or after `bytes`.
    void writtenUpTo(uint64_t bytes) {
        const uint64_t rows = columns_ ? (bytes + columns_ - 1) / columns_ : 0;
        rowsWritten_ = uint32_t(std::min<uint64_t>(rows, rows_));
    }
    // Rows after this one were never written: still zeros, and still not resident, so readers
    // skip them rather than fault in pages (a short file may claim hundreds of megabytes).
    uint32_t rowsWritten() const { return rowsWritten_; }

private:
    uint32_t columns_ = 0;
    uint32_t rows_ = 0;
    uint32_t rowsWritten_ = 0;
    TBigByteArray bytes_;
};

// An image's data sub-blocks (without their length bytes) and their total length, plus a
// reading cursor (current sub-block and position in it, both 1-based).
//
// The sub-blocks are kept back to back in one run followed by kPadding zero bytes, so the LZW
// decoder reads codes with fixed-width loads that never leave the allocation.
class TByteBuffer {
public:
    static constexpr size_t kPadding = 8;

    TByteBuffer();

    // Room for this many data bytes in total (one allocation for the whole image).
    void reserve(size_t totalBytes);
    void addSubBlock(const uint8_t* bytes, size_t count);

    int count() const { return int(ends_.size()); }
    // Sub-block i, 0-based.
    std::span<const uint8_t> subBlock(int index) const;
    size_t totalLength() const { return length_; }

    // The data of every sub-block back to back; kPadding zero bytes follow totalLength().
    const uint8_t* bytes() const { return bytes_.data(); }

    // The byte supply: reset goes to sub-block 1, position 1, and throws
    // "List index out of bounds (0)" when there is no sub-block at all; nextByte moves on to
    // the next sub-block at the end of one and throws EListIndexError beyond the last.
    void reset();
    uint8_t nextByte();
    int currentSubBlock() const { return block_; }
    size_t positionInSubBlock() const { return position_; }

private:
    std::vector<uint8_t> bytes_;
    std::vector<size_t> ends_;  // end offset of each sub-block in bytes_
    size_t length_ = 0;
    int block_ = 1;
    size_t position_ = 1;
};

// ---------------------------------------------------------------------------------------------
// The data model.

struct TGifRgb {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    bool operator==(const TGifRgb&) const = default;
};

// A count and 256 entries. The size given at creation chooses the first contents (0 or 2:
// black and white; 16: the standard colours; 256: a grey ramp; else black) and the count.
class TColorTable {
public:
    explicit TColorTable(int size = 0);
    uint16_t count = 0;
    std::array<TGifRgb, 256> entries{};
};

enum class TExtensionKind : uint8_t {
    GraphicControl = 0,
    PlainText = 1,
    Application = 2,
    Comment = 3
};

// One extension block: its kind, the fixed bytes that follow the label (6 for a graphic
// control, 13 for plain text, 12 for an application extension, none for a comment; bytes the
// stream did not hold read as 0) and its data sub-blocks.
struct TExtension {
    TExtensionKind kind = TExtensionKind::Comment;
    QByteArray data;
    QList<QByteArray> subBlocks;
};

// Owned extensions, released from the last to the first.
class TExtensionList {
public:
    TExtensionList() = default;
    TExtensionList(TExtensionList&&) noexcept = default;
    TExtensionList& operator=(TExtensionList&& other) noexcept;
    ~TExtensionList() { clear(); }

    void add(std::unique_ptr<TExtension> extension) { items_.push_back(std::move(extension)); }
    int count() const { return int(items_.size()); }
    const TExtension& at(int index) const { return *items_[size_t(index)]; }
    void clear();

private:
    std::vector<std::unique_ptr<TExtension>> items_;
};

struct TGifScreenDescriptor {
    uint16_t screenWidth = 0;
    uint16_t screenHeight = 0;
    uint8_t packed = 0;
    uint8_t backgroundColorIndex = 0;
    uint8_t pixelAspectRatio = 0;
};

struct TGifImageDescriptor {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t packed = 0;
};

class TGifFile;

// One image of the file.
class TGifSubImage {
public:
    // colorCount is the global table's count; it chooses the local table's first contents and
    // must be a power of two from 2 to 256 ("Number of colors (n) wrong; must be a power of 2").
    TGifSubImage(TGifFile* owner, int colorCount);
    TGifSubImage(const TGifSubImage&) = delete;
    TGifSubImage& operator=(const TGifSubImage&) = delete;

    // Takes the extensions that stood before the image, and from the last graphic control
    // extension among them the disposal method and the transparency flag.
    void setExtensions(TExtensionList extensions);

    int width() const { return descriptor.width; }
    int height() const { return descriptor.height; }
    // The table the image's pixels index: the local one if its flag is set, else the file's.
    const TColorTable& colorTable() const;

    TGifFile* owner = nullptr;
    TGifImageDescriptor descriptor;
    bool localTableFlag = false;
    bool interlaced = false;
    int localBitsPerPixel = 1;
    TColorTable localTable;
    uint8_t lzwMinCodeSize = 0;
    TByteBuffer compressed;
    TByteArray2D pixels;
    TExtensionList extensions;
    int disposalMethod = 0;
    bool transparent = false;
    // How many rows DecodeGifPixels stored (in storing order: interlace passes as in the file).
    int rowsStored = 0;
};

class TGifFile {
public:
    // A new object holds the header of an 87a file ("GIF87a") and the black-and-white table.
    TGifFile();
    TGifFile(const TGifFile&) = delete;
    TGifFile& operator=(const TGifFile&) = delete;

    int imageCount() const { return int(images.size()); }
    // Image by number, 1-based; a number out of range throws
    // "List index out of bounds (number - 1)".
    TGifSubImage& image(int number);
    const TGifSubImage& image(int number) const;

    std::array<char, 6> header{};
    TGifScreenDescriptor screen;
    bool globalTableFlag = false;
    int globalBitsPerPixel = 1;
    TColorTable globalTable;
    std::vector<std::unique_ptr<TGifSubImage>> images;
};

// ---------------------------------------------------------------------------------------------
// Operations.

// Reads the whole file into memory and runs ReadGifStream on it; an unreadable path throws
// "Cannot open file <path>".
void ReadGifFile(const QString& path, TGifFile& gif);
// Reads a complete GIF from the start of stream into gif (replacing any images it held), with
// the hourglass shown throughout.
void ReadGifStream(ByteReader& stream, TGifFile& gif);
// Fills the image's pixel matrix from its compressed data.
void DecodeGifPixels(TGifSubImage& image);
// Writes one image as an 8-bit BMP file into the stream, then seeks the stream to 0.
void GifImageToBmpStream(const TGifSubImage& image, QIODevice& stream);
// The first image as a new 8-bit palette bitmap, loaded from GifImageToBmpStream's bytes; a
// file without images throws "List index out of bounds (0)".
Bitmap FirstImageBitmap(const TGifFile& gif);

// Loads a bitmap from an 8-bit BMP laid out as GifImageToBmpStream writes it (uncompressed,
// bottom-up, 256-entry palette); anything else throws "Bitmap image is not valid".
Bitmap LoadBmp8Stream(std::span<const uint8_t> bytes);
// Writes an 8-bit bitmap in GifImageToBmpStream's layout (no progress reports).
void WriteBmp8Stream(const Bitmap& bitmap, QIODevice& stream);

// Registers TGifBitmap for "gif" ("GIF-Format") and supplies its factory; shutdown removes
// every entry of that kind.
void InitGifModule();
void ShutdownGifModule();
