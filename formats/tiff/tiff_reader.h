#pragma once
// Reader for the uncompressed TIFF subset the program opens: bilevel, 4- and 8-bit grey,
// palette colour and 8-bit RGB, in either byte order, one strip table per directory.
//
// A worked example, the 2 x 2 RGB file the writer makes (offsets in decimal):
//   0  49 49 2A 00 34 00 00 00   "II", 42, first directory at 52
//   8  ...                       resolution blocks, bits per sample, software text
//  40  R G B  R G B  R G B  R G B   the pixels, top row first, one strip
//  52  0F 00                     15 entries of 12 bytes: tag, type, count, value
//      FE 00 04 00 01 00 00 00 00 00 00 00   NewSubfileType LONG 1 = 0
//      00 01 03 00 01 00 00 00 02 00 00 00   ImageWidth SHORT 1 = 2 ...
// 234  00 00 00 00               no next directory
// In a big-endian file a SHORT value sits in the first two bytes of the value field, so the
// reader takes the high half of the 32-bit field there; every other number simply flips.

#include "formats/bitmap.h"

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QFile;

namespace TiffTag {
inline constexpr uint16_t ImageWidth = 256;
inline constexpr uint16_t ImageLength = 257;
inline constexpr uint16_t BitsPerSample = 258;
inline constexpr uint16_t Compression = 259;
inline constexpr uint16_t PhotometricInterpretation = 262;
inline constexpr uint16_t StripOffsets = 273;
inline constexpr uint16_t SamplesPerPixel = 277;
inline constexpr uint16_t RowsPerStrip = 278;
inline constexpr uint16_t StripByteCounts = 279;
inline constexpr uint16_t PlanarConfiguration = 284;
inline constexpr uint16_t ColorMap = 320;
inline constexpr uint16_t TileWidth = 322;
inline constexpr uint16_t TileOffsets = 324;
}  // namespace TiffTag

struct TiffEntry {
    uint16_t tag = 0;
    uint16_t type = 0;
    uint32_t count = 0;
    // The value field in the file's byte order; for a big-endian SHORT kept in the field (one
    // or two of them), its first two bytes; otherwise the whole field (an offset for arrays).
    uint32_t value = 0;
    // The whole value field as a 32-bit number in the file's byte order (two inline SHORTs).
    uint32_t field = 0;
};

struct TiffStrip {
    uint32_t offset = 0;
    uint32_t byteCount = 0;
};

// An open TIFF file whose offsets and counts are checked against its size before every seek
// and read, so no value from the file can move a read outside it.
class TiffInput {
public:
    TiffInput(QFile& file, bool littleEndian);
    uint64_t size() const { return size_; }
    bool isLittleEndian() const { return littleEndian_; }
    bool contains(uint64_t offset, uint64_t count) const {
        return offset <= size_ && count <= size_ - offset;
    }
    // Reads exactly count bytes at offset; false (nothing promised in out) otherwise.
    bool readAt(uint64_t offset, void* out, uint64_t count);
    std::optional<uint16_t> readU16(uint64_t offset);
    std::optional<uint32_t> readU32(uint64_t offset);
    // count numbers in the file's byte order, as one read.
    std::optional<std::vector<uint16_t>> readU16Array(uint64_t offset, uint64_t count);
    std::optional<std::vector<uint32_t>> readU32Array(uint64_t offset, uint64_t count);
    uint16_t u16(const uint8_t* p) const;
    uint32_t u32(const uint8_t* p) const;

private:
    QFile& file_;
    uint64_t size_ = 0;
    bool littleEndian_ = true;
};

class TFileTiff;

// One image file directory.
class TGraphicTiff {
public:
    explicit TGraphicTiff(const TFileTiff& owner) : owner_(&owner) {}

    // Reads the directory at offset. A failure sets the error flag and keeps what was read.
    void ReadDirectory(TiffInput& input, uint32_t offset);

    const TFileTiff& owner() const { return *owner_; }
    uint16_t entryCount() const { return entryCount_; }
    const std::vector<TiffEntry>& entries() const { return entries_; }
    // The last entry with that tag, nullptr when absent.
    const TiffEntry* FindEntry(uint16_t tag) const;
    uint32_t stripCount() const { return uint32_t(strips_.size()); }
    std::optional<TiffStrip> strip(uint32_t index) const;
    uint32_t nextDirectoryOffset() const { return nextOffset_; }
    bool hasError() const { return error_; }

private:
    bool readStripTable(TiffInput& input);

    const TFileTiff* owner_;
    uint16_t entryCount_ = 0;
    std::vector<TiffEntry> entries_;
    std::vector<TiffStrip> strips_;
    uint32_t nextOffset_ = 0;
    bool error_ = false;
};

class TFileTiff {
public:
    TFileTiff() = default;
    TFileTiff(const TFileTiff&) = delete;
    TFileTiff& operator=(const TFileTiff&) = delete;

    // Parses the file. Throws PixError("Cannot open file %s") when the file is missing or cannot
    // be opened; reading never creates a file. The same name again does nothing; an empty name
    // clears the object.
    void setFileName(const QString& name);
    const QString& fileName() const { return fileName_; }

    uint64_t fileSize() const { return fileSize_; }
    bool isLittleEndian() const { return littleEndian_; }
    bool isValid() const { return valid_; }
    // A BigTIFF header (42 replaced by 43, 64-bit offsets): not valid for this reader, though a
    // TIFF all the same.
    bool isBigTiff() const { return bigTiff_; }
    int directoryCount() const { return int(directories_.size()); }
    // nullptr when out of range.
    const TGraphicTiff* directory(int index) const;

private:
    void clear();

    QString fileName_;
    uint64_t fileSize_ = 0;
    bool littleEndian_ = true;
    bool valid_ = false;
    bool bigTiff_ = false;
    std::vector<std::unique_ptr<TGraphicTiff>> directories_;
};

// The colour tables every reader fills before building a bitmap; only the low byte of an
// entry reaches the bitmap. Kept between calls, like the rest of the reader's state, one set per
// thread, so a batch's workers can read TIFF files side by side.
struct TiffPaletteTables {
    std::array<uint16_t, 257> red{};
    std::array<uint16_t, 257> green{};
    std::array<uint16_t, 257> blue{};
};
TiffPaletteTables& TiffPalette();

enum class TiffDirectoryOutcome {
    Decoded,   // the bitmap now holds this directory
    Failed,    // a message was shown; the bitmap is unchanged
    Skipped,   // grey of a depth the reader does not take: no message, bitmap unchanged
    StopLoop,  // a photometric message was shown; later directories are not read
};

// Each reader decodes one directory into bitmap, showing its own message on failure (the
// bitmap is then left as it was). True when the bitmap was replaced.
bool ReadBilevelImage(const QString& path, const TGraphicTiff& directory, Bitmap& bitmap);
bool ReadGrayImage(const QString& path, const TGraphicTiff& directory, Bitmap& bitmap);
bool ReadPaletteImage(const QString& path, const TGraphicTiff& directory, Bitmap& bitmap);
bool ReadRgbImage(const QString& path, const TGraphicTiff& directory, Bitmap& bitmap);

// Picks the reader for one directory by its photometric interpretation and bit depth.
TiffDirectoryOutcome ReadTiffDirectory(const QString& path, const TGraphicTiff& directory,
                                       Bitmap& bitmap);

// Makes a width x height bitmap of bitCount with the reader's palette, lets fillRows write its
// top-down rows, and only then replaces the target. Sizes over 65535 or over kMaxBitmapBytes, or
// a depth a bitmap cannot have, show "Out Of Memory " and leave the target untouched; so does
// a fillRows that returns false (it shows its own message).
bool BuildBitmapFromRows(uint32_t width, uint32_t height, int bitCount, Bitmap& target,
                         const std::function<bool(Bitmap&)>& fillRows);

// Whether the reader would refuse the directory for something it does not decode, as opposed to
// damage: a compression, a photometric interpretation beyond palette colour, a depth other than
// 1, 4 or 8 bits (8 for one RGB sample at least), tiles, separate planes or samples beyond a
// kind's own (alpha and other extra samples). Decided from the tags alone, before the reader
// shows anything. An RGB directory with extra samples is the one the reader would not refuse:
// it reads their rows as plain RGB and its colours come out shifted.
bool ReaderLacksFeatureFor(const QString& path, const TGraphicTiff& directory);

// Another decoder for what the reader lacks: decodes directory `directory` of the file at path
// into bitmap and returns true, or returns false leaving bitmap untouched. Directory -1 stands for
// a file the reader cannot parse at all (a BigTIFF): the last directory that decodes.
using TiffFeatureFallback = bool (*)(const QString& path, int directory, Bitmap& bitmap);

// Reads the TIFF file into the bitmap; shows its own messages through formatHost().showMessage()
// and never throws for bad content. Returns true when at least one directory decoded (the bitmap
// then holds the last one that decoded); false leaves the bitmap as it was.
// With a fallback, a directory the reader lacks a feature for goes to the fallback first, before
// any message about it; only when the fallback cannot decode it either does the reader try it
// and say why it failed, as it would without one. A BigTIFF likewise.
// A path where no file exists (or that cannot be opened) throws PixError("Cannot open file %s")
// and creates nothing; the fallback's own PixError (a picture over the size limit) passes on.
bool ReadTiffIntoBitmap(const QString& path, Bitmap& bitmap,
                        TiffFeatureFallback fallback = nullptr);
