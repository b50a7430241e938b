// The folder save's engine on a 12-megapixel PNG and a 12-megapixel WebP, each 20 % to its own
// kind (PNG lossless, WebP at quality 75), beside the least work the job needs in the bare
// libraries: decode every pixel, keep the rows and columns the pixel centres pick, encode, write.
// Prints each median and the engine's ratio to its bare loop.

#include "convert/batch.h"
#include "formats/bitmap.h"
#include "formats/file_io.h"
#include "formats/jpeg/jpeg.h"
#include "formats/picture.h"
#include "formats/png/png_writer.h"
#include "formats/sizing.h"
#include "formats/webp/webp_writer.h"

#include <benchmark/benchmark.h>
#include <png.h>
#include <webp/decode.h>
#include <webp/encode.h>
#include <QDir>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "photo.h"
#include "timed_runs.h"

namespace {

constexpr int kWidth = 4000, kHeight = 3000, kPercent = 20, kQuality = 75;

// One folder holding the photo as PNG, one as WebP, made once.
const QString& folderOf(OutputType kind) {
    static QTemporaryDir png, webp;
    static bool made = false;
    if (!made) {
        const Bitmap photo = DecodeJpeg(PhotoLikeJpeg(kWidth, kHeight));
        WriteWholeFile(png.filePath("photo.png"), EncodePng(photo), false);
        WriteWholeFile(webp.filePath("photo.webp"), EncodeWebp(photo, 90), false);
        made = true;
    }
    static const QString pngFolder = png.path() + QLatin1Char('/');
    static const QString webpFolder = webp.path() + QLatin1Char('/');
    return kind == OutputType::Png ? pngFolder : webpFolder;
}

template <class Body>
void timed(benchmark::State& state, const std::string& name, Body body) {
    folderOf(OutputType::Png);
    TimedRun(state, name, body);
}

bool engine(OutputType kind, const QString& out) {
    BatchJob job;
    job.sourceFolder = folderOf(kind);
    job.outputFolder = out;
    job.type = kind;
    job.quality = kQuality;
    job.sizing.percent = kPercent;
    Picture working;
    int lines = 0;
    RunBatch(job, QStringLiteral("*.*"), working, [&](WriteOutcome, const QString&) { ++lines; });
    return lines == 1;
}

// The pixel-centre sample of a packed B, G, R picture.
std::vector<uint8_t> sample(const uint8_t* bgr, int width, int height, size_t stride, int w,
                            int h) {
    std::vector<uint8_t> out(size_t(w) * size_t(h) * 3);
    std::vector<int> columns(static_cast<size_t>(w));
    for (int x = 0; x < w; ++x) columns[size_t(x)] = PixelCentreSource(x, width, w) * 3;
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = bgr + size_t(PixelCentreSource(y, height, h)) * stride;
        uint8_t* dst = out.data() + size_t(y) * size_t(w) * 3;
        for (int x = 0; x < w; ++x, dst += 3) std::copy_n(src + columns[size_t(x)], 3, dst);
    }
    return out;
}

bool barePng(const QString& out) {
    const QByteArray file = ReadFileBytes(folderOf(OutputType::Png) + "photo.png");
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, file.constData(), size_t(file.size())))
        return false;
    image.format = PNG_FORMAT_BGR;
    std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) return false;
    const int w = ScaledLength(int(image.width), kPercent),
              h = ScaledLength(int(image.height), kPercent);
    const std::vector<uint8_t> small =
        sample(pixels.data(), int(image.width), int(image.height), size_t(image.width) * 3, w, h);
    png_image written{};
    written.version = PNG_IMAGE_VERSION;
    written.width = png_uint_32(w);
    written.height = png_uint_32(h);
    written.format = PNG_FORMAT_BGR;
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(written);
    QByteArray encoded(qsizetype(size), Qt::Uninitialized);
    if (!png_image_write_to_memory(&written, encoded.data(), &size, 0, small.data(), 0, nullptr))
        return false;
    encoded.truncate(qsizetype(size));
    WriteWholeFile(out + "photo.PNG", encoded, false);
    return true;
}

bool bareWebp(const QString& out) {
    const QByteArray file = ReadFileBytes(folderOf(OutputType::Webp) + "photo.webp");
    const auto* data = reinterpret_cast<const uint8_t*>(file.constData());
    int width = 0, height = 0;
    if (!WebPGetInfo(data, size_t(file.size()), &width, &height)) return false;
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 3);
    if (!WebPDecodeBGRInto(data, size_t(file.size()), pixels.data(), pixels.size(), width * 3))
        return false;
    const int w = ScaledLength(width, kPercent), h = ScaledLength(height, kPercent);
    const std::vector<uint8_t> small =
        sample(pixels.data(), width, height, size_t(width) * 3, w, h);
    uint8_t* encoded = nullptr;
    const size_t size = WebPEncodeBGR(small.data(), w, h, w * 3, float(kQuality), &encoded);
    if (size == 0) return false;
    WriteWholeFile(out + "photo.WEBP",
                   QByteArray(reinterpret_cast<const char*>(encoded), qsizetype(size)), false);
    WebPFree(encoded);
    return true;
}

void BM_EnginePng(benchmark::State& state) {
    timed(state, "png: engine (RunBatch)",
          [](const QString& out) { return engine(OutputType::Png, out); });
}
void BM_BarePng(benchmark::State& state) {
    timed(state, "png: bare libpng", barePng);
}
void BM_EngineWebp(benchmark::State& state) {
    timed(state, "webp: engine (RunBatch)",
          [](const QString& out) { return engine(OutputType::Webp, out); });
}
void BM_BareWebp(benchmark::State& state) {
    timed(state, "webp: bare libwebp", bareWebp);
}

}  // namespace

BENCHMARK(BM_EnginePng)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BarePng)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EngineWebp)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BareWebp)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(7)
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    RunBenchmarksOffscreen(argc, argv);
    std::printf("\n%d x %d, %d %%: medians in seconds, engine / bare\n", kWidth, kHeight, kPercent);
    for (const char* kind : {"png", "webp"}) {
        const double ours = Median(TimedSeconds()[std::string(kind) + ": engine (RunBatch)"]);
        const double bare =
            Median(TimedSeconds()[std::string(kind) +
                                  (kind[0] == 'p' ? ": bare libpng" : ": bare libwebp")]);
        std::printf("%-5s engine %6.3f  bare %6.3f  ratio %5.2f\n", kind, ours, bare,
                    bare > 0 ? ours / bare : 0.0);
    }
    return 0;
}
