#include "formats/metafile/metafile_gate.h"

#include "formats/byte_reader.h"
#include "formats/errors.h"
#include "formats/metafile/metafile_records.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <uemf_endian.h>
#include <uemf_safe.h>
#include <uwmf.h>
}

namespace {

[[noreturn]] void invalid() {
    throw PixError(QStringLiteral("Metafile is not valid"));
}

const char* chars(const QByteArray& bytes) {
    return bytes.constData();
}

// libUEMF checks every EMF record it knows, but not that a poly-poly record's per-polygon
// counts add up to its point count; the player trusts that sum.
bool emfPolyPolyCountsAddUp(ByteReader r, uint32_t pointBytes) {
    r.skip(8 + 16);
    const uint32_t polygons = r.readU32le();
    const uint32_t points = r.readU32le();
    if (r.failed() || polygons > r.remaining() / 4) return false;
    uint64_t sum = 0;
    for (uint32_t i = 0; i < polygons; ++i) sum += r.readU32le();
    return !r.failed() && sum == points && uint64_t(points) * pointBytes <= r.remaining();
}

// Some writers leave out the character-spacing array (offDx 0), which libUEMF refuses although
// the text itself is sound (wmf2svg's fulltest.emf); accept those when the string lies inside.
bool emfTextWithoutSpacingIsSound(ByteReader r, uint32_t type) {
    r.skip(8 + 28 + 8);
    const uint32_t count = r.readU32le();
    const uint32_t offString = r.readU32le();
    r.skip(4 + 16);
    const uint32_t offDx = r.readU32le();
    if (r.failed() || offDx != 0) return false;
    const uint64_t unit = type == emr::kExtTextOutW ? 2 : 1;
    return offString <= r.size() && uint64_t(count) * unit <= r.size() - offString;
}

// libUEMF refuses some SMALLTEXTOUT records whose text fits (wmf2svg's fulltest.emf): check the
// characters against the record ourselves.
bool emfSmallTextIsSound(ByteReader r) {
    r.skip(8 + 8);
    const uint32_t count = r.readU32le();
    const uint32_t options = r.readU32le();
    r.skip(12);
    if (!(options & 0x100)) r.skip(16);               // the clipping rectangle, unless ETO_NO_RECT
    const uint64_t unit = (options & 0x200) ? 1 : 2;  // ETO_SMALL_CHARS: 8-bit characters
    return !r.failed() && uint64_t(count) * unit <= r.remaining();
}

// Types that the player draws with: a record of one of these that fails libUEMF's size check
// ends playback. Any other type with a plausible size is skipped instead: libUEMF's size table
// refuses SETTEXTJUSTIFICATION records that real files carry (wmf2svg's fulltest.emf).
bool emfTypeIsPlayed(uint32_t type) {
    return type >= 1 && type <= 118 && type != emr::kComment;
}

void gateEmfRecords(const QByteArray& bytes, GatedMetafile& out) {
    const char* base = chars(bytes);
    const char* limit = base + bytes.size();
    size_t offset = 0;
    bool first = true;
    while (offset < size_t(bytes.size())) {
        ByteReader head(reinterpret_cast<const uint8_t*>(base) + offset, bytes.size() - offset);
        const uint32_t rawType = head.readU32le();
        const uint32_t rawSize = head.readU32le();
        uint32_t size = 0, type = 0;
        if (!U_emf_record_sizeok(base + offset, limit, &size, &type, U_LE)) {
            const bool plausible = !head.failed() && rawSize >= 8 && rawSize % 4 == 0 &&
                                   rawSize <= bytes.size() - offset;
            if (first || !plausible || emfTypeIsPlayed(rawType)) {
                if (first) invalid();
                out.damaged = true;
                return;
            }
            offset += rawSize;
            continue;
        }
        ByteReader record(reinterpret_cast<const uint8_t*>(base) + offset, size);
        bool sound = U_emf_record_safe(base + offset) != 0;
        if (!sound && (type == emr::kExtTextOutA || type == emr::kExtTextOutW))
            sound = emfTextWithoutSpacingIsSound(record, type);
        if (!sound && type == emr::kSmallTextOut) sound = emfSmallTextIsSound(record);
        if (sound && (type == emr::kPolyPolyline || type == emr::kPolyPolygon))
            sound = emfPolyPolyCountsAddUp(record, 8);
        if (sound && (type == emr::kPolyPolyline16 || type == emr::kPolyPolygon16))
            sound = emfPolyPolyCountsAddUp(record, 4);
        if (first) {
            if (type != emr::kHeader || !sound) invalid();
            first = false;
        } else if (type == emr::kEof) {
            return;
        } else if (!sound) {
            // A damaged record is dropped; the rest of the picture still plays.
            out.damaged = true;
        } else {
            out.records.push_back({type, uint32_t(offset), size});
        }
        offset += size;
    }
}

void readEmfHeader(const QByteArray& bytes, GatedMetafile& out) {
    ByteReader r(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    r.skip(8);
    const int32_t bl = int32_t(r.readU32le()), bt = int32_t(r.readU32le());
    const int32_t br = int32_t(r.readU32le()), bb = int32_t(r.readU32le());
    const int32_t fl = int32_t(r.readU32le()), ft = int32_t(r.readU32le());
    const int32_t fr = int32_t(r.readU32le()), fb = int32_t(r.readU32le());
    const uint32_t signature = r.readU32le();
    r.skip(12);
    out.handleCount = r.readU16le();
    r.skip(2 + 12);
    const int32_t devX = int32_t(r.readU32le()), devY = int32_t(r.readU32le());
    const int32_t mmX = int32_t(r.readU32le()), mmY = int32_t(r.readU32le());
    if (r.failed() || signature != 0x464D4520) invalid();
    out.boundsDevice = QRect(QPoint(bl, bt), QPoint(br, bb));
    out.frame = QRect(QPoint(fl, ft), QPoint(fr, fb));
    // A reference device without a size would divide by zero; 96 dpi stands in.
    out.referencePixels = QSize(devX > 0 ? devX : 1920, devY > 0 ? devY : 1080);
    out.referenceMillimetres = QSize(mmX > 0 ? mmX : 508, mmY > 0 ? mmY : 286);
}

void gateWmf(const QByteArray& bytes, GatedMetafile& out) {
    const char* base = chars(bytes);
    const char* limit = base + bytes.size();
    ByteReader r(reinterpret_cast<const uint8_t*>(base), bytes.size());
    const bool placeable = r.readU32le() == 0x9AC6CDD7;
    // wmfheader_get reads the whole header before looking at its size: make sure it is there.
    if (bytes.size() < (placeable ? 22 : 0) + 18) invalid();
    U_WMRPLACEABLE place{};
    U_WMRHEADER header{};
    const int headerBytes = wmfheader_get(base, limit, &place, &header);
    // wmfheader_get accepts any header size; a real one is nine words.
    if (headerBytes <= 0 || header.Size16w != 9 || (header.iType != 1 && header.iType != 2))
        invalid();
    out.format = MetafileFormat::Wmf;
    out.placeable = placeable;
    out.handleCount = header.nObjects;
    if (placeable) {
        ByteReader p(reinterpret_cast<const uint8_t*>(base) + 6, 10);
        const int16_t left = int16_t(p.readU16le()), top = int16_t(p.readU16le());
        const int16_t right = int16_t(p.readU16le()), bottom = int16_t(p.readU16le());
        const int inch = p.readU16le();
        out.placeableBox = QRect(QPoint(std::min(left, right), std::min(top, bottom)),
                                 QPoint(std::max(left, right), std::max(top, bottom)));
        // Files that leave the resolution at 0 mean the usual 1440 units per inch.
        out.unitsPerInch = inch > 0 ? inch : 1440;
    }
    size_t offset = size_t(headerBytes);
    bool haveOrg = false, haveExt = false;
    QPoint org;
    QSize ext;
    while (offset < size_t(bytes.size())) {
        // U_WMRRECSAFE_get reads the size and function before checking the limit.
        if (bytes.size() - offset < 6) {
            out.damaged = true;
            break;
        }
        const size_t size = U_WMRRECSAFE_get(base + offset, limit);
        ByteReader rec(reinterpret_cast<const uint8_t*>(base) + offset,
                       std::min<size_t>(bytes.size() - offset, size));
        rec.skip(4);
        const uint16_t function = rec.readU16le();
        if (size == 0 || size < 6) {
            out.damaged = true;
            break;
        }
        if (function == wmr::kEof) break;
        bool sound = true;
        if (function == wmr::kPolyPolygon) {
            const uint16_t polygons = rec.readU16le();
            uint64_t sum = 0;
            for (uint16_t i = 0; i < polygons && !rec.failed(); ++i) sum += rec.readU16le();
            sound = !rec.failed() && sum * 4 <= rec.remaining();
        } else if (function == wmr::kSetWindowOrg && !haveOrg) {
            const int16_t y = int16_t(rec.readU16le()), x = int16_t(rec.readU16le());
            org = QPoint(x, y);
            haveOrg = !rec.failed();
        } else if (function == wmr::kSetWindowExt && !haveExt) {
            const int16_t y = int16_t(rec.readU16le()), x = int16_t(rec.readU16le());
            ext = QSize(x, y);
            haveExt = !rec.failed();
        }
        if (sound)
            out.records.push_back({function, uint32_t(offset), uint32_t(size)});
        else
            out.damaged = true;
        offset += size;
    }
    if (haveExt) {
        out.hasWindowFromRecords = true;
        out.windowFromRecords = QRect(org, ext);
    }
}

int clampSide(double value) {
    if (!(value > 0)) return 0;
    return int(std::min<double>(std::llround(value), kMaxMetafileSide));
}

}  // namespace

GatedMetafile GateMetafile(const QByteArray& bytes) {
    GatedMetafile out;
    ByteReader r(reinterpret_cast<const uint8_t*>(bytes.constData()), bytes.size());
    const uint32_t first = r.readU32le();
    if (r.failed()) invalid();
    if (first == emr::kHeader) {
        if (bytes.size() < 88) invalid();
        readEmfHeader(bytes, out);
        gateEmfRecords(bytes, out);
        return out;
    }
    gateWmf(bytes, out);
    return out;
}

QSize MetafileNaturalSize(const GatedMetafile& m, double dpi) {
    if (!(dpi > 0)) dpi = 96.0;
    if (m.format == MetafileFormat::Emf) {
        double w = double(m.frame.right()) - m.frame.left();
        double h = double(m.frame.bottom()) - m.frame.top();
        if (w <= 0 || h <= 0) {
            // No usable frame: the device bounds, measured on the reference device.
            w = (double(m.boundsDevice.right()) - m.boundsDevice.left() + 1) * 100.0 *
                m.referenceMillimetres.width() / m.referencePixels.width();
            h = (double(m.boundsDevice.bottom()) - m.boundsDevice.top() + 1) * 100.0 *
                m.referenceMillimetres.height() / m.referencePixels.height();
        }
        return QSize(clampSide(w * dpi / 2540.0), clampSide(h * dpi / 2540.0));
    }
    if (m.placeable) {
        return QSize(clampSide(double(m.placeableBox.width() - 1) * dpi / m.unitsPerInch),
                     clampSide(double(m.placeableBox.height() - 1) * dpi / m.unitsPerInch));
    }
    if (m.hasWindowFromRecords) {
        return QSize(clampSide(std::abs(double(m.windowFromRecords.width())) * dpi / 96.0),
                     clampSide(std::abs(double(m.windowFromRecords.height())) * dpi / 96.0));
    }
    return QSize(0, 0);
}
