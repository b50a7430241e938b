#include "formats/bmp/ico.h"

#include "formats/bitmap.h"
#include "formats/byte_reader.h"
#include "formats/errors.h"
#include "formats/file_io.h"

#include <QBuffer>
#include <QImageReader>
#include <algorithm>
#include <cstring>

namespace {

PixError notValid() { return PixError(QStringLiteral("Icon image is not valid")); }

// The size the entry's own image header claims, which is what Qt allocates (the directory's
// bytes can say something else). PNG entries carry an IHDR, the others a bitmap info header
// whose height counts the mask too.
void checkEntryImageSize(const QByteArray& bytes, const IconEntry& entry) {
    ByteReader r(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    if (!r.seek(entry.offset)) throw notValid();
    const uint32_t first = r.readU32be();
    uint64_t width = 0, height = 0;
    if (first == 0x89504E47) {
        r.skip(12);
        width = r.readU32be();
        height = r.readU32be();
    } else {
        const int32_t w = int32_t(r.readU32le());
        const int32_t h = int32_t(r.readU32le());
        if (w <= 0 || h <= 0) throw notValid();
        width = uint64_t(w);
        height = uint64_t(h) / 2;
    }
    if (r.failed()) throw notValid();
    if (width > 0xFFFFFFFFu || height > 0xFFFFFFFFu ||
        Bitmap::matrixBytes(uint32_t(width), uint32_t(height), 32) > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(width, height));
}

}  // namespace

std::vector<IconEntry> ReadIconDirectory(const QByteArray& bytes) {
    ByteReader r(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    const uint16_t reserved = r.readU16le();
    const uint16_t type = r.readU16le();  // 1 icon, 2 cursor: a cursor renamed .ico still shows
    const uint16_t count = r.readU16le();
    if (r.failed() || reserved != 0 || (type != 1 && type != 2) || count == 0) throw notValid();
    std::vector<IconEntry> entries;
    for (int i = 0; i < count; ++i) {
        IconEntry e;
        const uint8_t w = r.readU8();
        const uint8_t h = r.readU8();
        r.skip(4);  // colour count, reserved, planes (or a cursor's hot spot)
        e.width = w ? w : 256;
        e.height = h ? h : 256;
        e.bitCount = r.readU16le();
        e.size = r.readU32le();
        e.offset = r.readU32le();
        if (r.failed()) throw notValid();
        entries.push_back(e);
    }
    return entries;
}

int ChooseIconEntry(const std::vector<IconEntry>& entries) {
    int best = -1;
    auto better = [&](const IconEntry& a, const IconEntry& b) {
        const bool a32 = a.width == 32 && a.height == 32, b32 = b.width == 32 && b.height == 32;
        if (a32 != b32) return a32;
        const int64_t areaA = int64_t(a.width) * a.height, areaB = int64_t(b.width) * b.height;
        if (!a32 && areaA != areaB) return areaA > areaB;
        return a.bitCount > b.bitCount;
    };
    for (int i = 0; i < int(entries.size()); ++i) {
        if (best < 0 || better(entries[i], entries[best])) best = i;
    }
    return best;
}

QImage DecodeIcon(const QByteArray& bytes) {
    const std::vector<IconEntry> entries = ReadIconDirectory(bytes);
    const int index = ChooseIconEntry(entries);
    checkEntryImageSize(bytes, entries[index]);

    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(int(kMaxBitmapBytes >> 20));
    if (index > 0 && !reader.jumpToImage(index)) throw notValid();
    QImage image;
    if (!reader.read(&image) || image.isNull()) throw notValid();
    return image.convertToFormat(QImage::Format_ARGB32);
}

std::unique_ptr<Graphic> IconGraphic::clone() const {
    auto copy = std::make_unique<IconGraphic>();
    copy->bytes_ = bytes_;
    copy->image_ = image_.copy();
    return copy;
}

void IconGraphic::loadFromFile(const QString& path) {
    QByteArray bytes = ReadFileBytes(path);
    image_ = DecodeIcon(bytes);
    bytes_ = std::move(bytes);
}

void IconGraphic::saveToFile(const QString& path) const { WriteWholeFile(path, bytes_, true); }

void IconGraphic::stretchDraw(Bitmap& target, const QRect& rect) const {
    RequireDrawableTarget(target);
    if (image_.isNull() || target.isEmpty()) return;
    const QRect area =
        QRect(rect.topLeft(), image_.size()) & rect & QRect(0, 0, target.width(), target.height());
    if (area.isEmpty()) return;
    const int bytes = target.bitCount() / 8;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        const QRgb* src = reinterpret_cast<const QRgb*>(image_.constScanLine(y - rect.top()));
        uint8_t* dst = target.scanLine(y) + size_t(area.left()) * bytes;
        for (int x = area.left(); x <= area.right(); ++x, dst += bytes) {
            const QRgb c = src[x - rect.left()];
            const unsigned a = unsigned(qAlpha(c));
            if (a == 0) continue;
            dst[0] = BlendOver(unsigned(qBlue(c)), a, dst[0]);
            dst[1] = BlendOver(unsigned(qGreen(c)), a, dst[1]);
            dst[2] = BlendOver(unsigned(qRed(c)), a, dst[2]);
        }
    }
}

Bitmap IconGraphic::toBitmap() const {
    Bitmap out;
    out.create(width(), height(), 24);
    if (!out.isEmpty()) std::memset(out.bits(), 0xFF, out.byteCount());
    draw(out, 0, 0);
    return out;
}
