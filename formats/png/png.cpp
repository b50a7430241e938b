#include "formats/png/png.h"

#include "formats/decoded_image.h"
#include "formats/errors.h"
#include "formats/png/png_shim.h"

#include <vector>

namespace {

// What the trapped steps share. Trivially destructible, so a longjmp out of a step leaves
// nothing behind; the buffers its pointers reach belong to DecodePng's frame.
struct PngDecode {
    png_structp png = nullptr;
    png_infop info = nullptr;
    png_uint_32 width = 0, height = 0;
    int channels = 0;         // after the transforms: 3 (B, G, R) or 4 (B, G, R, A)
    int passes = 1;           // 7 for Adam7
    uint8_t* bits = nullptr;  // the bitmap's rows
    size_t stride = 0;
    // An interlaced picture: each of its rows, as libpng fills them.
    uint8_t* const* rows = nullptr;
    // A non-interlaced picture with alpha: one row before composing.
    uint8_t* rowScratch = nullptr;
};

void readHeader(void* context) {
    PngDecode& d = *static_cast<PngDecode*>(context);
    // libpng's own cap (a million pixels a side) would refuse wide pictures the program takes;
    // the size that counts is checked by the caller before anything is allocated.
    png_set_user_limits(d.png, 0x7fffffff, 0x7fffffff);
    png_read_info(d.png, d.info);
    d.width = png_get_image_width(d.png, d.info);
    d.height = png_get_image_height(d.png, d.info);
}

void setTransforms(void* context) {
    PngDecode& d = *static_cast<PngDecode*>(context);
    png_set_expand(d.png);  // palette to RGB, grey under 8 bits to 8, tRNS to an alpha channel
    png_set_strip_16(d.png);
    png_set_gray_to_rgb(d.png);
    png_set_bgr(d.png);  // the bitmap's byte order
    d.passes = png_set_interlace_handling(d.png);
    png_read_update_info(d.png, d.info);
    d.channels = png_get_channels(d.png, d.info);
    if ((d.channels != 3 && d.channels != 4) ||
        png_get_rowbytes(d.png, d.info) != size_t(d.width) * size_t(d.channels))
        png_error(d.png, "unexpected row layout");
}

void readRows(void* context) {
    PngDecode& d = *static_cast<PngDecode*>(context);
    if (d.passes == 1) {
        for (png_uint_32 y = 0; y < d.height; ++y) {
            uint8_t* row = d.bits + size_t(y) * d.stride;
            if (d.channels == 3) {
                png_read_row(d.png, row, nullptr);
            } else {
                png_read_row(d.png, d.rowScratch, nullptr);
                ComposeBgraOverWhite(d.rowScratch, row, d.width);
            }
        }
        return;
    }
    // Each pass adds its pixels to rows the earlier passes began.
    for (int pass = 0; pass < d.passes; ++pass)
        for (png_uint_32 y = 0; y < d.height; ++y) png_read_row(d.png, d.rows[y], nullptr);
    if (d.channels == 4)
        for (png_uint_32 y = 0; y < d.height; ++y)
            ComposeBgraOverWhite(d.rows[y], d.bits + size_t(y) * d.stride, d.width);
}

}  // namespace

Bitmap DecodePng(const QByteArray& bytes, const QString& path) {
    PngTrap trap;
    PngSource source{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), 0};
    PngReadStructs structs(trap, source);
    if (!structs.png || !structs.info) throw PixError(OutOfMemoryText());
    const auto unreadable = [&] {
        return PixError(
            UnreadableImageText(QStringLiteral("PNG"), path, QString::fromUtf8(trap.message)));
    };

    PngDecode d;
    d.png = structs.png;
    d.info = structs.info;
    if (!RunPngTrapped(trap, readHeader, &d) || !RunPngTrapped(trap, setTransforms, &d))
        throw unreadable();
    if (Bitmap::matrixBytes(d.width, d.height, 24) > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(d.width, d.height));

    Bitmap out;
    out.create(int(d.width), int(d.height), 24);
    d.bits = out.bits();
    d.stride = size_t(out.stride());
    // An interlaced picture is only whole after its last pass: with alpha it is kept as B, G,
    // R, A until then, which must fit the same limit.
    std::vector<uint8_t> scratch;
    std::vector<uint8_t*> rows;
    const size_t rowBytes = size_t(d.width) * size_t(d.channels);
    if (d.passes > 1) {
        if (d.channels == 4) {
            if (Bitmap::matrixBytes(d.width, d.height, 32) > kMaxBitmapBytes)
                throw PixError(ImageTooLargeText(d.width, d.height));
            scratch.resize(rowBytes * d.height);
        }
        rows.resize(d.height);
        for (png_uint_32 y = 0; y < d.height; ++y)
            rows[y] = d.channels == 4 ? scratch.data() + size_t(y) * rowBytes
                                      : d.bits + size_t(y) * d.stride;
        d.rows = rows.data();
    } else if (d.channels == 4) {
        scratch.resize(rowBytes);
        d.rowScratch = scratch.data();
    }
    if (!RunPngTrapped(trap, readRows, &d)) throw unreadable();
    return out;
}

void InitPngModule() {
    RegisterDecodedImageKind(GraphicKind::Png, DecodePng, {"png"}, QStringLiteral("PNG Image"));
}
