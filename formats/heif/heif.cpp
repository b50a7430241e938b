#include "formats/heif/heif.h"

#include "formats/decoded_image.h"
#include "formats/errors.h"

#include <libheif/heif.h>
#include <algorithm>
#include <memory>

namespace {

template <typename T, void (*Release)(T*)>
struct Releaser {
    void operator()(T* p) const { Release(p); }
};
using Context = std::unique_ptr<heif_context, Releaser<heif_context, heif_context_free>>;
using Handle = std::unique_ptr<heif_image_handle,
                               Releaser<const heif_image_handle, heif_image_handle_release>>;
using Image = std::unique_ptr<heif_image, Releaser<const heif_image, heif_image_release>>;
using Options = std::unique_ptr<heif_decoding_options,
                                Releaser<heif_decoding_options, heif_decoding_options_free>>;

// A turn by a quarter swaps the sides, and the padded rows differ: both ways must fit.
void checkSize(int width, int height) {
    const uint64_t larger = std::max(Bitmap::matrixBytes(uint32_t(width), uint32_t(height), 24),
                                     Bitmap::matrixBytes(uint32_t(height), uint32_t(width), 24));
    if (width <= 0 || height <= 0 || larger > kMaxBitmapBytes)
        throw PixError(
            ImageTooLargeText(uint32_t(std::max(width, 0)), uint32_t(std::max(height, 0))));
}

}  // namespace

Bitmap DecodeHeif(const QByteArray& bytes, const QString& path) {
    const auto check = [&](const heif_error& error) {
        if (error.code != heif_error_Ok)
            throw PixError(UnreadableImageText(QStringLiteral("HEIF"), path,
                                               QString::fromUtf8(error.message)));
    };
    const Context context(heif_context_alloc());
    if (!context) throw PixError(OutOfMemoryText());
    // The bytes outlive the context: no copy of a large photo.
    check(heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                     size_t(bytes.size()), nullptr));
    heif_image_handle* primary = nullptr;
    check(heif_context_get_primary_image_handle(context.get(), &primary));
    const Handle handle(primary);
    checkSize(heif_image_handle_get_width(handle.get()),
              heif_image_handle_get_height(handle.get()));

    const bool hasAlpha = heif_image_handle_has_alpha_channel(handle.get()) != 0;
    const Options options(heif_decoding_options_alloc());
    if (!options) throw PixError(OutOfMemoryText());
    options->ignore_transformations = 0;  // rotation, mirroring and cropping as the file says
    options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    check(heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB,
                            hasAlpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            options.get()));
    const Image image(decoded);
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t* pixels =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    if (!pixels || width <= 0 || height <= 0 || stride < width * (hasAlpha ? 4 : 3))
        throw PixError(UnreadableImageText(QStringLiteral("HEIF"), path,
                                           QStringLiteral("no picture was decoded")));
    checkSize(width, height);

    Bitmap out;
    out.create(width, height, 24);
    const bool premultiplied = hasAlpha && heif_image_is_premultiplied_alpha(image.get());
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = pixels + size_t(y) * size_t(stride);
        uint8_t* dst = out.scanLine(y);
        for (int x = 0; x < width; ++x, dst += 3) {
            if (!hasAlpha) {
                dst[0] = src[2], dst[1] = src[1], dst[2] = src[0];
                src += 3;
                continue;
            }
            const unsigned a = src[3];
            for (int c = 0; c < 3; ++c) {
                // Premultiplied colour over white is the colour plus the white left showing.
                dst[2 - c] = premultiplied ? uint8_t(std::min(255u, unsigned(src[c]) + 255 - a))
                                           : BlendOver(src[c], a, 255);
            }
            src += 4;
        }
    }
    return out;
}

void InitHeifModule() {
    RegisterDecodedImageKind(GraphicKind::Heif, DecodeHeif, {"heic", "heif", "avif"},
                             QStringLiteral("HEIF Image"));
}
