#include "support/library_samples.h"

#include "support/corpus.h"
#include "support/outside_tool.h"

#include <png.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace {

// A fixed stream of bytes (a 32-bit LCG's high byte), so every run writes the same files.
class Bytes {
public:
    explicit Bytes(quint32 seed) : state_(seed) {}
    quint8 next() {
        state_ = state_ * 1664525u + 1013904223u;
        return quint8(state_ >> 24);
    }

private:
    quint32 state_;
};

}  // namespace

bool WritePngSample(const QString& path, const PngSample& s) {
    const int channels = s.colourType == PNG_COLOR_TYPE_RGB          ? 3
                         : s.colourType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                         : s.colourType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                     : 1;
    const int rowBytes = (s.width * channels * s.depth + 7) / 8;
    const int maxSample = (1 << s.depth) - 1;
    const int paletteSize = s.colourType == PNG_COLOR_TYPE_PALETTE ? maxSample + 1 : 0;
    Bytes bytes(quint32(s.colourType * 100 + s.depth));
    std::vector<png_byte> pixels(size_t(rowBytes) * size_t(s.height));
    for (png_byte& b : pixels) b = bytes.next();
    // Every eighth pixel of the first row repeats the first one, so a transparency key that is
    // the first pixel's value is met more than once at every depth.
    const int pixelBits = channels * s.depth;
    if (pixelBits >= 8)
        for (int x = 8; x < s.width; x += 8)
            std::copy_n(pixels.begin(), pixelBits / 8, pixels.begin() + x * (pixelBits / 8));

    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info && setjmp(png_jmpbuf(png)) == 0;
    if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, png_uint_32(s.width), png_uint_32(s.height), s.depth, s.colourType,
                     s.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        std::vector<png_color> palette(static_cast<size_t>(paletteSize));
        std::vector<png_byte> alphas(static_cast<size_t>(paletteSize));
        for (int i = 0; i < paletteSize; ++i) {
            palette[size_t(i)] = {bytes.next(), bytes.next(), bytes.next()};
            alphas[size_t(i)] = bytes.next();
        }
        if (paletteSize) png_set_PLTE(png, info, palette.data(), paletteSize);
        if (s.transparency && paletteSize) {
            png_set_tRNS(png, info, alphas.data(), paletteSize, nullptr);
        } else if (s.transparency) {
            // The key is the first pixel's value.
            png_color_16 key{};
            const auto sampleAt = [&](int index) {
                if (s.depth == 16)
                    return png_uint_16((pixels[size_t(2 * index)] << 8) |
                                       pixels[size_t(2 * index + 1)]);
                if (s.depth == 8) return png_uint_16(pixels[size_t(index)]);
                return png_uint_16((pixels[0] >> (8 - s.depth)) & maxSample);
            };
            if (s.colourType == PNG_COLOR_TYPE_GRAY) {
                key.gray = sampleAt(0);
            } else {
                key.red = sampleAt(0);
                key.green = sampleAt(1);
                key.blue = sampleAt(2);
            }
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
        png_write_info(png, info);
        std::vector<png_bytep> rows(size_t(s.height));
        for (int y = 0; y < s.height; ++y) rows[size_t(y)] = pixels.data() + size_t(y) * rowBytes;
        png_write_image(png, rows.data());
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return std::fclose(file) == 0 && ok;
}

QStringList WritePngMatrix(const QString& folder) {
    const struct {
        int colourType;
        std::initializer_list<int> depths;
        bool keyed;
    } kinds[] = {{PNG_COLOR_TYPE_GRAY, {1, 2, 4, 8, 16}, true},
                 {PNG_COLOR_TYPE_RGB, {8, 16}, true},
                 {PNG_COLOR_TYPE_PALETTE, {1, 2, 4, 8}, true},
                 {PNG_COLOR_TYPE_GRAY_ALPHA, {8, 16}, false},
                 {PNG_COLOR_TYPE_RGB_ALPHA, {8, 16}, false}};
    QStringList written;
    for (const auto& kind : kinds)
        for (const int depth : kind.depths)
            for (const bool interlaced : {false, true})
                for (const bool keyed : {false, kind.keyed}) {
                    const QString path = QStringLiteral("%1/type%2-%3bit%4%5.png")
                                             .arg(folder)
                                             .arg(kind.colourType)
                                             .arg(depth)
                                             .arg(interlaced ? "-adam7" : "")
                                             .arg(keyed ? "-trns" : "");
                    if (written.contains(path)) continue;
                    if (!WritePngSample(path, {kind.colourType, depth, interlaced, keyed}))
                        return {};
                    written << path;
                }
    return written;
}

namespace {

// A 32 x 32 picture with an alpha ramp, saved by Pillow as lossy and lossless WebP and as a
// two-frame animation whose first frame has alpha.
const char* const kWebpMaker = R"(
import sys
from PIL import Image
d = sys.argv[1]
rgb = Image.new('RGB', (32, 32))
rgb.putdata([((x * 8) % 256, (y * 8) % 256, ((x + y) * 4) % 256) for y in range(32) for x in range(32)])
rgba = rgb.copy()
rgba.putalpha(Image.frombytes('L', (32, 32), bytes((x * 8 + y) % 256 for y in range(32) for x in range(32))))
rgb.save(d + '/lossy.webp', quality=70)
rgba.save(d + '/lossy-alpha.webp', quality=70)
rgba.save(d + '/lossless-alpha.webp', lossless=True)
rgba.save(d + '/animated.webp', save_all=True, append_images=[rgb], quality=70)
)";

}  // namespace

QStringList WriteWebpSamples(const QString& folder) {
    if (runProgram(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral("-c"), kWebpMaker, folder}) != 0)
        return {};
    QStringList written;
    for (const char* name : {"lossy", "lossy-alpha", "lossless-alpha", "animated"})
        written << QStringLiteral("%1/%2.webp").arg(folder, name);
    return written;
}

QStringList WriteHeifSamples(const QString& folder) {
    const QString heifEnc = toolPath(tool::kHeifEnc);
    if (heifEnc.isEmpty()) return {};
    const QString colour = folder + QStringLiteral("/heif-source-rgb.png");
    const QString alpha = folder + QStringLiteral("/heif-source-rgba.png");
    if (!WritePngSample(colour, {PNG_COLOR_TYPE_RGB, 8, false, false, 64, 48}) ||
        !WritePngSample(alpha, {PNG_COLOR_TYPE_RGB_ALPHA, 8, false, false, 48, 64}))
        return {};
    const QStringList written{folder + QStringLiteral("/colour.heic"),
                              folder + QStringLiteral("/alpha.avif")};
    if (runProgram(heifEnc, {QStringLiteral("-q"), QStringLiteral("60"), colour,
                             QStringLiteral("-o"), written[0]}) != 0 ||
        runProgram(heifEnc, {QStringLiteral("-q"), QStringLiteral("60"), alpha,
                             QStringLiteral("-o"), written[1]}) != 0)
        return {};
    QFile::remove(colour);
    QFile::remove(alpha);
    return written;
}

bool WriteEachLibraryKind(const QString& folder, const QStringList& names) {
    if (names.size() != 4) return false;
    QTemporaryDir made;
    const QStringList heif = WriteHeifSamples(made.path());
    const QStringList webp = WriteWebpSamples(made.path());
    if (heif.size() != 2 || webp.size() != 4) return false;
    const QString to = folder + QLatin1Char('/');
    return QFile::copy(heif[0], to + names[0]) && QFile::copy(heif[1], to + names[1]) &&
           WritePngSample(to + names[2], {PNG_COLOR_TYPE_RGB_ALPHA, 16, true, false}) &&
           QFile::copy(webp[3], to + names[3]);
}
