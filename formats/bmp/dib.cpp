#include "formats/bmp/dib.h"

#include <bit>

uint32_t DibHeader::colourTableEntries() const {
    if (bitCount < 1 || bitCount > 8) return 0;
    const uint32_t full = 1u << bitCount;
    return coloursUsed && coloursUsed < full ? coloursUsed : full;
}

std::array<uint32_t, 4> DibHeader::effectiveMasks() const {
    if (hasMasks) return masks;
    if (bitCount == 16) return {0x7C00, 0x03E0, 0x001F, 0};
    if (bitCount == 32) return {0xFF0000, 0x00FF00, 0x0000FF, 0};
    return {};
}

bool ReadDibHeader(ByteReader& r, DibHeader& h) {
    const size_t start = r.position();
    h = DibHeader{};
    h.headerSize = r.readU32le();
    if (r.failed()) return false;
    if (h.core()) {
        // The core header's sizes are unsigned 16-bit words: its rows are always bottom-up.
        h.width = r.readU16le();
        h.height = r.readU16le();
        h.planes = r.readU16le();
        h.bitCount = r.readU16le();
        return !r.failed();
    }
    if (h.headerSize < 16) return false;
    ByteReader fields = r.sub(h.headerSize - 4);
    if (r.failed()) return false;
    h.width = int32_t(fields.readU32le());
    h.height = int32_t(fields.readU32le());
    h.planes = fields.readU16le();
    h.bitCount = fields.readU16le();
    if (h.headerSize >= 20) h.compression = fields.readU32le();
    if (h.headerSize >= 36) {
        fields.seek(28);
        h.coloursUsed = fields.readU32le();
    }
    const bool bitFields =
        !h.os2() && (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields);
    if (bitFields) {
        h.hasMasks = true;
        if (h.headerSize >= 52) {
            // Masks are part of the later headers, alpha from 56 bytes on.
            ByteReader m(r.data() + start + 40, h.headerSize - 40);
            for (int i = 0; i < (h.headerSize >= 56 ? 4 : 3); ++i) h.masks[size_t(i)] = m.readU32le();
        } else {
            for (int i = 0; i < (h.compression == kBiAlphaBitfields ? 4 : 3); ++i)
                h.masks[size_t(i)] = r.readU32le();
        }
    }
    return !r.failed();
}

bool DibLayoutValid(const DibHeader& h) {
    const int bpp = h.bitCount;
    switch (h.compression) {
        case kBiRgb:
            return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 ||
                   bpp == 32;
        case kBiRle8: return bpp == 8;
        case kBiRle4: return bpp == 4;
        case kBiBitfields:
        case kBiAlphaBitfields: return h.hasMasks && (bpp == 16 || bpp == 32);
        default: return false;
    }
}

std::vector<QRgb> ReadDibColourTable(ByteReader& r, const DibHeader& h, uint32_t entries) {
    std::vector<QRgb> table;
    const size_t entryBytes = h.core() ? 3 : 4;
    table.reserve(entries);
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t c[4] = {0, 0, 0, 0};
        if (!r.readBytes(c, entryBytes)) break;
        table.push_back(qRgb(c[2], c[1], c[0]));
    }
    return table;
}

DibChannel::DibChannel(uint32_t mask) : mask_(mask) {
    if (!mask) {
        table_.assign(1, 0);
        return;
    }
    shift_ = uint32_t(std::countr_zero(mask));
    max_ = mask >> shift_;
    if (max_ > 0xFFFF) return;
    table_.resize(max_ + 1);
    for (uint32_t v = 0; v <= max_; ++v) table_[v] = uint8_t(v * 255 / max_);
}
