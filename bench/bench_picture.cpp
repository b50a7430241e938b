// The batch's 20 % JPEG step on one 12-megapixel photo: LoadPictureFile, stretch into the working
// bitmap, encode; beside it a bare libjpeg-turbo loop doing the same work (decode every pixel,
// sample, encode), so the two numbers come from the same run. And the stretch alone.
#include "formats/bitmap.h"
#include "formats/file_io.h"
#include "formats/jpeg/jpeg.h"
#include "formats/picture.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include "bare_jpeg.h"
#include "photo.h"

#include <benchmark/benchmark.h>
#include <vector>


namespace {

constexpr int kWidth = 4000, kHeight = 3000;  // 12 megapixels
constexpr int kPercent = 20;
constexpr int kOutWidth = kWidth * kPercent / 100, kOutHeight = kHeight * kPercent / 100;

// A photo-like 12-megapixel JPEG: a corpus photograph enlarged, with sensor-like noise so the
// coefficients are as busy as a camera's.
QString photoPath() {
    static QTemporaryDir dir;
    static QString path;
    if (!path.isEmpty()) return path;
    path = dir.filePath("photo.jpg");
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(PhotoLikeJpeg(kWidth, kHeight));
    return path;
}

void BM_Program_LoadStretchEncode(benchmark::State& state) {
    const QString path = photoPath();
    size_t bytes = 0;
    for (auto _ : state) {
        Picture picture;
        if (LoadPictureFile(path, picture) != LoadOutcome::Loaded) state.SkipWithError("rejected");
        Bitmap working;
        working.create(kOutWidth, kOutHeight, 24);
        picture.stretchDraw(working, QRect(0, 0, kOutWidth, kOutHeight));
        const QByteArray out = EncodeJpeg(working, 75);
        bytes = size_t(out.size());
        benchmark::DoNotOptimize(out.constData());
    }
    state.counters["jpeg_bytes"] = double(bytes);
}

// The least work: read the file, decode row by row into one buffer, keep the rows and columns
// the 20 % picture samples (pixel centres), encode from memory.
void BM_BareLibjpeg_DecodeSampleEncode(benchmark::State& state) {
    const QString path = photoPath();
    size_t bytes = 0;
    for (auto _ : state) {
        const QByteArray out = BareJpegThumbnail(ReadFileBytes(path), kPercent, 75, true);
        bytes = size_t(out.size());
        benchmark::DoNotOptimize(out.constData());
    }
    state.counters["jpeg_bytes"] = double(bytes);
}

// Arguments: output size in percent, source depth (24, or 8 with a 256-entry palette).
void BM_Stretch(benchmark::State& state) {
    const int percent = int(state.range(0));
    const int depth = int(state.range(1));
    static Bitmap sources[2];
    Bitmap& source = sources[depth == 8];
    if (source.isEmpty()) {
        source.create(kWidth, kHeight, depth);
        const int rowBytes = kWidth * depth / 8;
        for (int y = 0; y < kHeight; ++y)
            for (int i = 0; i < rowBytes; ++i) source.scanLine(y)[i] = uint8_t(i * 7 + y);
        if (depth == 8) {
            std::vector<QRgb> palette;
            for (int i = 0; i < 256; ++i) palette.push_back(qRgb(i, 255 - i, i / 2));
            source.setPalette(palette);
        }
    }
    const int w = std::max(1, kWidth * percent / 100), h = std::max(1, kHeight * percent / 100);
    Bitmap target;
    target.create(w, h, 24);
    for (auto _ : state) {
        StretchBitmapInto(source, target, 0, 0, w, h);
        benchmark::DoNotOptimize(target.bits());
    }
    state.counters["output_MP/s"] =
        benchmark::Counter(double(w) * h / 1e6 * double(state.iterations()), benchmark::Counter::kIsRate);
}

// StretchPicture of a 12-megapixel bitmap: the preview's sizes, a part of a 400 % virtual size,
// and the whole 400 % (576 MB, allowed).
void BM_StretchPicture(benchmark::State& state) {
    static Picture source;
    if (source.isEmpty()) {
        Bitmap bitmap;
        bitmap.create(kWidth, kHeight, 24);
        for (int y = 0; y < kHeight; ++y)
            for (int i = 0; i < kWidth * 3; ++i) bitmap.scanLine(y)[i] = uint8_t(i * 7 + y);
        source.assign(std::move(bitmap));
    }
    const int w = int(state.range(0)), h = int(state.range(1));
    const bool part = state.range(2) != 0;
    for (auto _ : state) {
        const Bitmap out = part ? StretchPicturePart(source, w, h, QRect(w / 2, h / 2, 800, 600))
                                : StretchPicture(source, w, h);
        benchmark::DoNotOptimize(out.bits());
    }
}

}  // namespace

BENCHMARK(BM_StretchPicture)
    ->Args({800, 600, 0})
    ->Args({4000, 3000, 0})
    ->Args({16000, 12000, 1})
    ->Args({16000, 12000, 0})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Program_LoadStretchEncode)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_BareLibjpeg_DecodeSampleEncode)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_Stretch)
    ->Args({20, 24})
    ->Args({100, 24})
    ->Args({150, 24})
    ->Args({2, 8})
    ->Args({20, 8})
    ->Args({100, 8})
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    InitPictureFormats();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
