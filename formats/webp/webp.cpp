#include "formats/webp/webp.h"

#include "formats/decoded_image.h"
#include "formats/errors.h"

#include <webp/decode.h>
#include <webp/demux.h>
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

// The first frame as the animation shows it: libwebp draws it on the canvas.
Bitmap firstFrame(const Input& in) {
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options))
        throw in.unreadable(statusText(VP8_STATUS_INVALID_PARAM));
    options.color_mode = MODE_BGRA;  // not premultiplied
    options.use_threads = 0;
    const WebPData data{in.data, in.size};
    const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> decoder(
        WebPAnimDecoderNew(&data, &options), WebPAnimDecoderDelete);
    if (!decoder) throw in.unreadable(QStringLiteral("damaged animation"));
    WebPAnimInfo info;
    if (!WebPAnimDecoderGetInfo(decoder.get(), &info) || info.frame_count == 0)
        throw in.unreadable(QStringLiteral("no frame"));
    uint8_t* canvas = nullptr;
    int timestamp = 0;
    if (!WebPAnimDecoderGetNext(decoder.get(), &canvas, &timestamp) || !canvas)
        throw in.unreadable(QStringLiteral("damaged first frame"));
    const int width = int(info.canvas_width), height = int(info.canvas_height);
    return composedOverWhite(canvas, width, height, size_t(width) * 4);
}

}  // namespace

Bitmap DecodeWebp(const QByteArray& bytes, const QString& path) {
    const Input in{reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), path};
    WebPBitstreamFeatures features;
    const VP8StatusCode headerStatus = WebPGetFeatures(in.data, in.size, &features);
    if (headerStatus != VP8_STATUS_OK) throw in.unreadable(statusText(headerStatus));
    const int width = features.width, height = features.height;
    // The library allocates B, G, R, A for an animation's canvas and for a picture with alpha:
    // both are checked before it is asked to.
    checkSize(width, height, features.has_animation || features.has_alpha ? 32 : 24);
    if (features.has_animation) return firstFrame(in);

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
    const VP8StatusCode status = WebPDecode(in.data, in.size, &config);
    if (status != VP8_STATUS_OK) throw in.unreadable(statusText(status));
    if (features.has_alpha)
        return composedOverWhite(config.output.u.RGBA.rgba, width, height,
                                 size_t(config.output.u.RGBA.stride));
    return out;
}

void InitWebpModule() {
    RegisterDecodedImageKind(GraphicKind::WebP, DecodeWebp, {"webp"}, QStringLiteral("WebP Image"));
}
