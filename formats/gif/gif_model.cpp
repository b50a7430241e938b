// The GIF data model: the decoder's errors, its byte containers, colour tables, extensions,
// images and the file that holds them.
#include "formats/gif/gif.h"

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
    if (row.count() != columns_) throw EGifException(QStringLiteral("Row doesn't have equal number of elements as Matrix row"));
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

