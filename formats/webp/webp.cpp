#include "formats/webp/webp.h"

#include "formats/decoded_image.h"
#include "formats/errors.h"

#include <webp/decode.h>
#include <webp/demux.h>
#include <algorithm>
#include <cstring>
#include <memory>

namespace {

QString statusText(VP8StatusCode status) {
    switch (status) {
        case VP8_STATUS_OUT_OF_MEMORY:
            return QStringLiteral("out of memory");
        case VP8_STATUS_INVALID_PARAM:
            return QStringLiteral("invalid parameter");
        case VP8_STATUS_BITSTREAM_ERROR:
            return QStringLiteral("damaged data");
        case VP8_STATUS_UNSUPPORTED_FEATURE:
            return QStringLiteral("unsupported feature");
        case VP8_STATUS_NOT_ENOUGH_DATA:
            return QStringLiteral("the file is cut short");
        default:
            return QStringLiteral("decoding stopped");
    }
}

struct Input {
    const uint8_t* data;
    size_t size;
    const QString& path;
    PixError unreadable(const QString& reason) const {
        return PixError(UnreadableImageText(QStringLiteral("WebP"), path, reason));
    }
};

// B, G, R, A pixels, width x height at stride, over white into a new bitmap.
Bitmap composedOverWhite(const uint8_t* bgra, int width, int height, size_t stride) {
    Bitmap out;
    out.create(width, height, 24);
    for (int y = 0; y < height; ++y)
        ComposeBgraOverWhite(bgra + size_t(y) * stride, out.scanLine(y), size_t(width));
    return out;
}

void checkSize(int width, int height, int bitCount) {
    if (Bitmap::matrixBytes(uint32_t(width), uint32_t(height), bitCount) > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(uint32_t(width), uint32_t(height)));
}

// One still bitstream (a whole file, or an animation frame's payload) over white.
Bitmap decodeStill(const Input& in, const uint8_t* data, size_t size) {
    WebPBitstreamFeatures features;
    const VP8StatusCode headerStatus = WebPGetFeatures(data, size, &features);
    if (headerStatus != VP8_STATUS_OK) throw in.unreadable(statusText(headerStatus));
    const int width = features.width, height = features.height;
    // The library allocates B, G, R, A for a picture with alpha: checked before it is asked to.
    checkSize(width, height, features.has_alpha ? 32 : 24);

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) throw in.unreadable(statusText(VP8_STATUS_INVALID_PARAM));
    // Frees what libwebp allocated (nothing for external memory), also when a step throws.
    const std::unique_ptr<WebPDecBuffer, void (*)(WebPDecBuffer*)> release(&config.output,
                                                                           WebPFreeDecBuffer);
    Bitmap out;
    if (features.has_alpha) {
        // libwebp's own buffer is not zeroed first: a small file that claims a large picture
        // fails before its pages are touched.
        config.output.colorspace = MODE_BGRA;
    } else {
        // Straight into the bitmap's rows: no second copy of a large photo.
        out.create(width, height, 24);
        config.output.colorspace = MODE_BGR;
        config.output.is_external_memory = 1;
        config.output.u.RGBA.rgba = out.bits();
        config.output.u.RGBA.stride = out.stride();
        config.output.u.RGBA.size = size_t(out.byteCount());
    }
    const VP8StatusCode status = WebPDecode(data, size, &config);
    if (status != VP8_STATUS_OK) throw in.unreadable(statusText(status));
    if (features.has_alpha)
        return composedOverWhite(config.output.u.RGBA.rgba, width, height,
                                 size_t(config.output.u.RGBA.stride));
    return out;
}

// The first frame as the animation shows it: drawn at its place on a clear canvas, which shows
// as white. Decoded alone, not through libwebp's animation decoder, which fills and copies a
// B, G, R, A canvas of the whole claimed size: a 648-byte file claiming 32 x 2,031,617 pixels
// took 3.4 s that way.
Bitmap firstFrame(const Input& in) {
    const WebPData data{in.data, in.size};
    const std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer*)> demuxer(WebPDemux(&data),
                                                                       WebPDemuxDelete);
    if (!demuxer) throw in.unreadable(QStringLiteral("damaged animation"));
    WebPIterator frame;
    if (!WebPDemuxGetFrame(demuxer.get(), 1, &frame))
        throw in.unreadable(QStringLiteral("no frame"));
    const std::unique_ptr<WebPIterator, void (*)(WebPIterator*)> releaseFrame(
        &frame, WebPDemuxReleaseIterator);
    const Bitmap drawn = decodeStill(in, frame.fragment.bytes, frame.fragment.size);
    const int width = int(WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_WIDTH));
    const int height = int(WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_HEIGHT));
    Bitmap canvas;
    canvas.create(width, height, 24);
    const int left = std::min(frame.x_offset, width), top = std::min(frame.y_offset, height);
    const int across = std::min(drawn.width(), width - left);
    for (int y = 0; y < height; ++y) {
        uint8_t* row = canvas.scanLine(y);
        std::memset(row, 0xFF, size_t(width) * 3);
        const int from = y - top;
        if (from >= 0 && from < drawn.height() && across > 0)
            std::memcpy(row + size_t(left) * 3, drawn.scanLine(from), size_t(across) * 3);
    }
    return canvas;
}

}  // namespace

Bitmap DecodeWebp(const QByteArray& bytes, const QString& path) {
    const Input in{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), path};
    WebPBitstreamFeatures features;
    const VP8StatusCode headerStatus = WebPGetFeatures(in.data, in.size, &features);
    if (headerStatus != VP8_STATUS_OK) throw in.unreadable(statusText(headerStatus));
    // An animation's canvas is checked like a picture with alpha, before anything is made.
    checkSize(features.width, features.height,
              features.has_animation || features.has_alpha ? 32 : 24);
    if (features.has_animation) return firstFrame(in);
    return decodeStill(in, in.data, in.size);
}

void InitWebpModule() {
    RegisterDecodedImageKind(GraphicKind::WebP, DecodeWebp, {"webp"}, QStringLiteral("WebP Image"));
}
