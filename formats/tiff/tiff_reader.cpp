#include "formats/tiff/tiff_reader.h"

#include "formats/errors.h"
#include "formats/host.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <unordered_set>

namespace {

// A chain longer than this is taken as hostile; real multi-page files stay far below.
constexpr int kMaxDirectories = 1 << 16;

QString errorReadingData() {
    return QStringLiteral("Error reading image data");
}

void show(const QString& text) {
    formatHost().showMessage(text);
}

PixError cannotOpen(const QString& path) {
    return PixError(CannotOpenFileText(path));
}

void resetPaletteToIdentity() {
    TiffPaletteTables& p = TiffPalette();
    for (int i = 0; i < 256; ++i) p.red[i] = p.green[i] = p.blue[i] = uint16_t(i);
}

// Steps every reader shares before its own checks. The bilevel reader is also reached
// without a BitsPerSample entry, so it neither needs one nor checks it.
bool checkCommonTags(const TGraphicTiff& dir, bool isBilevel, const QString& compressedMessage) {
    if (!dir.FindEntry(TiffTag::ImageWidth)) {
        show(QStringLiteral("Error reading tag Image Width"));
        return false;
    }
    if (!dir.FindEntry(TiffTag::ImageLength)) {
        show(QStringLiteral("Error reading tag Image Height"));
        return false;
    }
    if (isBilevel && !dir.FindEntry(TiffTag::PhotometricInterpretation)) {
        show(QStringLiteral("Error reading tag Photometric interpretation"));
        return false;
    }
    const TiffEntry* compression = dir.FindEntry(TiffTag::Compression);
    if (!compression) {
        show(QStringLiteral("Error reading tag Compression"));
        return false;
    }
    if (compression->value != 1) {
        show(compressedMessage);
        return false;
    }
    if (!isBilevel && !dir.FindEntry(TiffTag::BitsPerSample)) {
        show(QStringLiteral("Error reading tag Bits Per Sample"));
        return false;
    }
    return true;
}

void swapRedAndBlue(uint8_t* row, uint64_t pixels) {
    for (uint64_t i = 0; i < pixels; ++i, row += 3) std::swap(row[0], row[2]);
}

// Reads the strips into the rows of a new bitmap. A row of the file is the first strip's
// byte count over RowsPerStrip bytes long; each bitmap row takes the bytes its width needs
// from the start of a file row. Every strip must lie inside the file and together they must
// cover all rows before anything is allocated, so a file cannot make us read past its data.
bool readStripRows(const QString& path, const TGraphicTiff& dir, int bitCount, uint32_t pixelBits,
                   bool isRgb, Bitmap& target) {
    const uint32_t width = dir.FindEntry(TiffTag::ImageWidth)->value;
    const uint32_t height = dir.FindEntry(TiffTag::ImageLength)->value;
    const TiffEntry* rowsPerStripEntry = dir.FindEntry(TiffTag::RowsPerStrip);
    if (!rowsPerStripEntry || rowsPerStripEntry->value == 0 || dir.stripCount() == 0 ||
        width == 0 || height == 0) {
        show(errorReadingData());
        return false;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        show(errorReadingData());
        return false;
    }
    TiffInput input(file, dir.owner().isLittleEndian());

    uint64_t total = 0;
    for (uint32_t i = 0; i < dir.stripCount(); ++i) {
        const TiffStrip s = *dir.strip(i);
        if (!input.contains(s.offset, s.byteCount)) {
            show(errorReadingData());
            return false;
        }
        total += s.byteCount;
    }
    // RowsPerStrip may say more rows than the image has (2^32 - 1 means "all"); the first
    // strip then holds every row.
    const uint64_t rowsPerStrip = std::min<uint64_t>(rowsPerStripEntry->value, height);
    const uint64_t rowBytes = dir.strip(0)->byteCount / rowsPerStrip;
    const uint64_t neededPerRow = (uint64_t(width) * pixelBits + 7) / 8;
    if (rowBytes == 0 || rowBytes < neededPerRow || total < neededPerRow ||
        uint64_t(height - 1) > (total - neededPerRow) / rowBytes) {
        show(errorReadingData());
        return false;
    }

    return BuildBitmapFromRows(width, height, bitCount, target, [&](Bitmap& out) {
        const uint64_t stride = uint64_t(out.stride());
        // Rows that follow each other in the file and in the bitmap are read in one go.
        const bool isContiguous = rowBytes == neededPerRow && neededPerRow == stride;
        uint64_t streamPos = 0;
        uint32_t y = 0;
        for (uint32_t i = 0; i < dir.stripCount() && y < height; ++i) {
            const TiffStrip s = *dir.strip(i);
            uint64_t offset = s.offset;
            uint64_t remaining = s.byteCount;
            while (remaining > 0 && y < height) {
                const uint64_t rowStart = uint64_t(y) * rowBytes;
                if (streamPos < rowStart) {
                    const uint64_t skip = std::min(rowStart - streamPos, remaining);
                    streamPos += skip;
                    offset += skip;
                    remaining -= skip;
                    continue;
                }
                const uint64_t inRow = streamPos - rowStart;
                uint64_t want = std::min(neededPerRow - inRow, remaining);
                uint32_t rowsDone = 0;
                if (isContiguous && inRow == 0 && remaining >= neededPerRow) {
                    // A block of rows at a time, small enough that the colour swap after the
                    // read still finds it in the cache.
                    const uint64_t chunkRows = std::max<uint64_t>(1, (16 * 1024) / neededPerRow);
                    rowsDone = uint32_t(std::min<uint64_t>(
                        {remaining / neededPerRow, uint64_t(height - y), chunkRows}));
                    want = rowsDone * neededPerRow;
                } else if (inRow + want == neededPerRow) {
                    rowsDone = 1;
                }
                uint8_t* dest = out.scanLine(int(y)) + inRow;
                if (!input.readAt(offset, dest, want)) {
                    show(errorReadingData());
                    return false;
                }
                streamPos += want;
                offset += want;
                remaining -= want;
                for (uint32_t r = 0; r < rowsDone; ++r, ++y) {
                    if (isRgb) swapRedAndBlue(out.scanLine(int(y)), width);
                }
            }
        }
        if (y < height) {
            show(errorReadingData());
            return false;
        }
        return true;
    });
}

}  // namespace

// ---- TiffInput ----

TiffInput::TiffInput(QFile& file, bool littleEndian)
    : file_(file), size_(uint64_t(std::max<qint64>(file.size(), 0))), littleEndian_(littleEndian) {}

bool TiffInput::readAt(uint64_t offset, void* out, uint64_t count) {
    if (!contains(offset, count)) return false;
    if (count == 0) return true;
    if (!file_.seek(qint64(offset))) return false;
    return file_.read(static_cast<char*>(out), qint64(count)) == qint64(count);
}

uint16_t TiffInput::u16(const uint8_t* p) const {
    return littleEndian_ ? uint16_t(p[0] | (p[1] << 8)) : uint16_t((p[0] << 8) | p[1]);
}

uint32_t TiffInput::u32(const uint8_t* p) const {
    if (littleEndian_) {
        return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
               (uint32_t(p[3]) << 24);
    }
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

std::optional<uint16_t> TiffInput::readU16(uint64_t offset) {
    uint8_t b[2];
    if (!readAt(offset, b, 2)) return std::nullopt;
    return u16(b);
}

std::optional<uint32_t> TiffInput::readU32(uint64_t offset) {
    uint8_t b[4];
    if (!readAt(offset, b, 4)) return std::nullopt;
    return u32(b);
}

std::optional<std::vector<uint16_t>> TiffInput::readU16Array(uint64_t offset, uint64_t count) {
    if (count > size_ / 2 || !contains(offset, count * 2)) return std::nullopt;
    std::vector<uint8_t> raw(size_t(count * 2));
    if (!readAt(offset, raw.data(), raw.size())) return std::nullopt;
    std::vector<uint16_t> out(static_cast<size_t>(count));
    for (size_t i = 0; i < out.size(); ++i) out[i] = u16(raw.data() + 2 * i);
    return out;
}

std::optional<std::vector<uint32_t>> TiffInput::readU32Array(uint64_t offset, uint64_t count) {
    if (count > size_ / 4 || !contains(offset, count * 4)) return std::nullopt;
    std::vector<uint8_t> raw(size_t(count * 4));
    if (!readAt(offset, raw.data(), raw.size())) return std::nullopt;
    std::vector<uint32_t> out(static_cast<size_t>(count));
    for (size_t i = 0; i < out.size(); ++i) out[i] = u32(raw.data() + 4 * i);
    return out;
}

// ---- TGraphicTiff ----

void TGraphicTiff::ReadDirectory(TiffInput& input, uint32_t offset) {
    const std::optional<uint16_t> count = input.readU16(offset);
    if (!count) {
        error_ = true;
        return;
    }
    entryCount_ = *count;
    const uint64_t entriesAt = uint64_t(offset) + 2;
    const uint64_t entryBytes = uint64_t(entryCount_) * 12;
    if (entryCount_ > 0) {
        std::vector<uint8_t> raw(static_cast<size_t>(entryBytes));
        if (!input.readAt(entriesAt, raw.data(), entryBytes)) {
            error_ = true;
            return;
        }
        entries_.reserve(entryCount_);
        for (uint16_t i = 0; i < entryCount_; ++i) {
            const uint8_t* p = raw.data() + size_t(i) * 12;
            TiffEntry e;
            e.tag = input.u16(p);
            e.type = input.u16(p + 2);
            e.count = input.u32(p + 4);
            // A big-endian SHORT stands in the first two bytes of the field. Only when it is
            // kept there, though: for three or more SHORTs the field is a 32-bit offset.
            e.field = input.u32(p + 8);
            const bool isInlineShort = e.type == 3 && e.count <= 2;
            e.value = (!input.isLittleEndian() && isInlineShort) ? input.u16(p + 8) : e.field;
            entries_.push_back(e);
        }
    }
    if (!readStripTable(input)) {
        error_ = true;
        return;
    }
    nextOffset_ = input.readU32(entriesAt + entryBytes).value_or(0);
}

bool TGraphicTiff::readStripTable(TiffInput& input) {
    const TiffEntry* counts = FindEntry(TiffTag::StripByteCounts);
    const TiffEntry* offsets = FindEntry(TiffTag::StripOffsets);
    const uint32_t n = counts ? counts->count : 0;
    if (n == 0 || n != (offsets ? offsets->count : 0)) return true;  // no strips
    // Writers (libtiff among them) store these arrays as SHORTs whenever the numbers fit, so
    // the type decides the width; two SHORTs stand in the value field itself.
    auto values = [&](const TiffEntry* e) -> std::optional<std::vector<uint32_t>> {
        if (e->count == 1) return std::vector<uint32_t>{e->value};
        if (e->type == 3 && e->count == 2) {
            const bool le = input.isLittleEndian();
            return std::vector<uint32_t>{le ? e->field & 0xFFFF : e->field >> 16,
                                         le ? e->field >> 16 : e->field & 0xFFFF};
        }
        if (e->type == 3) {
            const auto shorts = input.readU16Array(e->value, e->count);
            if (!shorts) return std::nullopt;
            return std::vector<uint32_t>(shorts->begin(), shorts->end());
        }
        return input.readU32Array(e->value, e->count);
    };
    const auto byteCounts = values(counts);
    if (!byteCounts) return false;
    const auto stripOffsets = values(offsets);
    if (!stripOffsets) return false;
    strips_.resize(n);
    for (uint32_t i = 0; i < n; ++i) strips_[i] = TiffStrip{(*stripOffsets)[i], (*byteCounts)[i]};
    return true;
}

const TiffEntry* TGraphicTiff::FindEntry(uint16_t tag) const {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        if (it->tag == tag) return &*it;
    }
    return nullptr;
}

std::optional<TiffStrip> TGraphicTiff::strip(uint32_t index) const {
    if (index >= strips_.size()) return std::nullopt;
    return strips_[index];
}

// ---- TFileTiff ----

void TFileTiff::clear() {
    directories_.clear();
    valid_ = false;
    bigTiff_ = false;
    fileSize_ = 0;
}

void TFileTiff::setFileName(const QString& name) {
    if (name.isEmpty()) {
        clear();
        fileName_.clear();
        return;
    }
    if (name == fileName_) return;
    if (QFileInfo(name).isDir()) throw cannotOpen(name);
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly)) throw cannotOpen(name);
    clear();
    fileName_ = name;
    fileSize_ = uint64_t(std::max<qint64>(file.size(), 0));
    if (fileSize_ <= 7) return;

    uint8_t header[8];
    if (file.read(reinterpret_cast<char*>(header), 8) != 8) return;
    if (header[0] == 'I' && header[1] == 'I') {
        littleEndian_ = true;
    } else if (header[0] == 'M' && header[1] == 'M') {
        littleEndian_ = false;
    } else {
        return;
    }
    TiffInput input(file, littleEndian_);
    bigTiff_ = input.u16(header + 2) == 43;
    if (input.u16(header + 2) != 42) return;
    valid_ = true;

    // Remember every directory offset: a chain that points back must end, not loop.
    std::unordered_set<uint32_t> visited;
    uint32_t offset = input.u32(header + 4);
    while (offset > 7 && int(directories_.size()) < kMaxDirectories &&
           visited.insert(offset).second) {
        auto dir = std::make_unique<TGraphicTiff>(*this);
        dir->ReadDirectory(input, offset);
        offset = dir->nextDirectoryOffset();
        directories_.push_back(std::move(dir));
    }
}

const TGraphicTiff* TFileTiff::directory(int index) const {
    if (index < 0 || index >= int(directories_.size())) return nullptr;
    return directories_[size_t(index)].get();
}

// ---- palette and bitmap ----

TiffPaletteTables& TiffPalette() {
    static thread_local TiffPaletteTables tables;
    return tables;
}

bool BuildBitmapFromRows(uint32_t width, uint32_t height, int bitCount, Bitmap& target,
                         const std::function<bool(Bitmap&)>& fillRows) {
    const auto outOfMemory = [] {
        show(QStringLiteral("Out Of Memory "));
        return false;
    };
    if (width > 65535 || height > 65535 || !Bitmap::isValidBitCount(bitCount) ||
        Bitmap::matrixBytes(width, height, bitCount) > kMaxBitmapBytes) {
        return outOfMemory();
    }
    Bitmap out;
    if (!out.tryCreate(int(width), int(height), bitCount)) return outOfMemory();
    if (bitCount <= 8) {
        const TiffPaletteTables& p = TiffPalette();
        std::vector<QRgb> colours(size_t(1) << bitCount);
        for (size_t i = 0; i < colours.size(); ++i)
            colours[i] = qRgb(p.red[i] & 0xFF, p.green[i] & 0xFF, p.blue[i] & 0xFF);
        out.setPalette(std::move(colours));
    }
    if (!fillRows(out)) return false;
    target = std::move(out);
    return true;
}

// ---- the four readers ----

bool ReadBilevelImage(const QString& path, const TGraphicTiff& dir, Bitmap& bitmap) {
    if (!checkCommonTags(dir, true, QStringLiteral("Cant read compressed bilevel image")))
        return false;
    resetPaletteToIdentity();
    TiffPaletteTables& p = TiffPalette();
    const bool blackIsZero = dir.FindEntry(TiffTag::PhotometricInterpretation)->value == 1;
    const uint16_t zero = blackIsZero ? 0 : 255;
    p.red[0] = p.green[0] = p.blue[0] = zero;
    p.red[1] = p.green[1] = p.blue[1] = uint16_t(255 - zero);
    return readStripRows(path, dir, 1, 1, false, bitmap);
}

bool ReadGrayImage(const QString& path, const TGraphicTiff& dir, Bitmap& bitmap) {
    if (!checkCommonTags(dir, false, QStringLiteral("Cant read compressed Gray Scale Image")))
        return false;
    const uint32_t bits = dir.FindEntry(TiffTag::BitsPerSample)->value;
    if (bits != 4 && bits != 8) {
        show(QStringLiteral("Error: Bits Per Sample not 4 or 8"));
        return false;
    }
    // Grey is never inverted: 0 is black whatever the photometric interpretation says.
    resetPaletteToIdentity();
    if (bits == 4) {
        TiffPaletteTables& p = TiffPalette();
        for (int i = 0; i < 16; ++i) p.red[i] = p.green[i] = p.blue[i] = uint16_t(i * 255 / 15);
    }
    return readStripRows(path, dir, int(bits), bits, false, bitmap);
}

bool ReadPaletteImage(const QString& path, const TGraphicTiff& dir, Bitmap& bitmap) {
    if (!checkCommonTags(dir, false, QStringLiteral("Cant read compressed ColorPaletImage")))
        return false;
    const TiffEntry* colorMap = dir.FindEntry(TiffTag::ColorMap);
    if (!colorMap) {
        show(QStringLiteral("Error reading tag Color Table Offset"));
        return false;
    }
    resetPaletteToIdentity();
    const uint32_t n = colorMap->count / 3;
    if (n >= 1 && n <= 256) {
        QFile file(path);
        std::optional<std::vector<uint16_t>> values;
        if (file.open(QIODevice::ReadOnly)) {
            TiffInput input(file, dir.owner().isLittleEndian());
            values = input.readU16Array(colorMap->value, uint64_t(n) * 3);
        }
        if (!values) {
            show(QStringLiteral("Error reading tag Color Table Offset"));
            return false;
        }
        TiffPaletteTables& p = TiffPalette();
        for (uint32_t i = 0; i < n; ++i) {
            p.red[i] = uint16_t((*values)[i] >> 8);
            p.green[i] = uint16_t((*values)[n + i] >> 8);
            p.blue[i] = uint16_t((*values)[2 * n + i] >> 8);
        }
    }
    // The depth is taken as stored; one a bitmap cannot have ends in "Out Of Memory ".
    const uint32_t bits = dir.FindEntry(TiffTag::BitsPerSample)->value;
    return readStripRows(path, dir, bits > 32 ? 0 : int(bits), bits, false, bitmap);
}

namespace {

// Only one sample needs to be 8 bits: 8, 8, 16 passes, and the data is still taken as three
// interleaved 8-bit samples.
bool hasAnEightBitRgbSample(const QString& path, const TGraphicTiff& dir,
                            const TiffEntry& bitsPerSample) {
    std::array<uint32_t, 3> bits{bitsPerSample.value, bitsPerSample.value, bitsPerSample.value};
    if (bitsPerSample.count != 1) {
        bits = {0, 0, 0};
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            TiffInput input(file, dir.owner().isLittleEndian());
            if (const auto v = input.readU16Array(bitsPerSample.value, 3))
                bits = {(*v)[0], (*v)[1], (*v)[2]};
        }
    }
    return std::find(bits.begin(), bits.end(), 8u) != bits.end();
}

}  // namespace

bool ReadRgbImage(const QString& path, const TGraphicTiff& dir, Bitmap& bitmap) {
    if (!checkCommonTags(dir, false, QStringLiteral("Cant read compressed RGB Full Color Image")))
        return false;
    if (!hasAnEightBitRgbSample(path, dir, *dir.FindEntry(TiffTag::BitsPerSample))) {
        show(QStringLiteral("Error: Bits Per Sample (RGB) not 8"));
        return false;
    }
    return readStripRows(path, dir, 24, 24, true, bitmap);
}

TiffDirectoryOutcome ReadTiffDirectory(const QString& path, const TGraphicTiff& dir,
                                       Bitmap& bitmap) {
    const TiffEntry* photometric = dir.FindEntry(TiffTag::PhotometricInterpretation);
    if (!photometric) {
        show(QStringLiteral("Error reading tag Photometric interpretation"));
        return TiffDirectoryOutcome::StopLoop;
    }
    if (photometric->value > 3) {
        show(QStringLiteral("Error evaluating Photometric interpretation: %1")
                 .arg(photometric->value));
        return TiffDirectoryOutcome::StopLoop;
    }
    bool decoded = false;
    if (photometric->value <= 1) {
        const TiffEntry* bps = dir.FindEntry(TiffTag::BitsPerSample);
        if (!bps || bps->value == 1) {
            decoded = ReadBilevelImage(path, dir, bitmap);
        } else if (bps->value == 4 || bps->value == 8) {
            decoded = ReadGrayImage(path, dir, bitmap);
        } else {
            return TiffDirectoryOutcome::Skipped;
        }
    } else if (photometric->value == 3) {
        decoded = ReadPaletteImage(path, dir, bitmap);
    } else {
        decoded = ReadRgbImage(path, dir, bitmap);
    }
    return decoded ? TiffDirectoryOutcome::Decoded : TiffDirectoryOutcome::Failed;
}

bool ReaderLacksFeatureFor(const QString& path, const TGraphicTiff& dir) {
    const TiffEntry* photometric = dir.FindEntry(TiffTag::PhotometricInterpretation);
    if (!photometric) return false;  // damage: the reader says so
    if (photometric->value > 3) return true;
    const TiffEntry* compression = dir.FindEntry(TiffTag::Compression);
    if (compression && compression->value != 1) return true;
    // Tiles, also where a writer filed their offsets under the strip tags.
    if (dir.FindEntry(TiffTag::TileWidth) || dir.FindEntry(TiffTag::TileOffsets)) return true;
    const auto valueOr = [&dir](uint16_t tag, uint32_t absent) {
        const TiffEntry* e = dir.FindEntry(tag);
        return e ? e->value : absent;
    };
    const uint32_t samples = valueOr(TiffTag::SamplesPerPixel, 1);
    const TiffEntry* bps = dir.FindEntry(TiffTag::BitsPerSample);
    if (photometric->value == 2) {
        return samples > 3 || valueOr(TiffTag::PlanarConfiguration, 1) == 2 ||
               (bps && !hasAnEightBitRgbSample(path, dir, *bps));
    }
    // Bilevel, grey and palette: one sample of 1, 4 or 8 bits (the reader's bilevel default
    // when the depth is not given).
    const uint32_t bits = bps ? bps->value : 1;
    return samples > 1 || (bits != 1 && bits != 4 && bits != 8);
}

bool ReadTiffIntoBitmap(const QString& path, Bitmap& bitmap, TiffFeatureFallback fallback) {
    TFileTiff file;
    if (path.isEmpty()) throw cannotOpen(path);
    file.setFileName(path);
    if (!file.isValid()) {
        if (fallback && file.isBigTiff() && fallback(path, -1, bitmap)) return true;
        show(QStringLiteral("<%1> is not a valid TIFF file").arg(path));
        return false;
    }
    // A caller drops the user's action quietly when nothing decoded, trusting that the reader
    // said why; so a file that yields nothing without any message gets one here: no image at
    // all, or only grey pages of depths other than 1, 4 and 8 (skipped page by page silently).
    if (file.directoryCount() == 0) {
        show(QStringLiteral("<%1> is not a valid TIFF file").arg(path));
        return false;
    }
    bool anyDecoded = false;
    bool anyShown = false;
    for (int i = 0; i < file.directoryCount(); ++i) {
        const TGraphicTiff& directory = *file.directory(i);
        if (fallback && ReaderLacksFeatureFor(path, directory) && fallback(path, i, bitmap)) {
            anyDecoded = true;
            continue;
        }
        const TiffDirectoryOutcome outcome = ReadTiffDirectory(path, directory, bitmap);
        if (outcome == TiffDirectoryOutcome::Decoded) anyDecoded = true;
        if (outcome == TiffDirectoryOutcome::Failed || outcome == TiffDirectoryOutcome::StopLoop)
            anyShown = true;
        if (outcome == TiffDirectoryOutcome::StopLoop) break;
    }
    if (!anyDecoded && !anyShown) show(QStringLiteral("Error: Bits Per Sample not 4 or 8"));
    return anyDecoded;
}
