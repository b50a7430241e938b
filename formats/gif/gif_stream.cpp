// Reading a GIF file: header, screen descriptor, colour tables, extension blocks and image
// data sub-blocks, each image decoded as soon as its data is read.
#include "formats/gif/gif.h"

#include "formats/file_io.h"
#include "formats/host.h"

#include <algorithm>
#include <cstring>

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
        throw EGifException(QStringLiteral("Gif Version must be 87a or 89a"));
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

