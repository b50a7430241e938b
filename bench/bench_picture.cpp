// The batch's 20 % JPEG step on one 12-megapixel photo: LoadPictureFile, stretch into the working
// bitmap, encode; beside it a bare libjpeg-turbo loop doing the same work (decode every pixel,
// sample, encode), so the two numbers come from the same run. And the stretch alone.
#include "formats/bitmap.h"
#include "formats/jpeg.h"
#include "formats/picture.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include "photo.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

namespace {

constexpr int kWidth = 4000, kHeight = 3000;  // 12 megapixels
constexpr int kOutWidth = 800, kOutHeight = 600;  // 20 %

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
    const QByteArray name = QFile::encodeName(photoPath());
    std::vector<int> xs(kOutWidth), ys(kOutHeight);
    for (int i = 0; i < kOutWidth; ++i) xs[i] = int((2 * int64_t(i) + 1) * kWidth / (2 * kOutWidth));
    for (int i = 0; i < kOutHeight; ++i) ys[i] = int((2 * int64_t(i) + 1) * kHeight / (2 * kOutHeight));
    std::vector<unsigned char> out(size_t(kOutWidth) * kOutHeight * 3);
    size_t bytes = 0;
    for (auto _ : state) {
        FILE* f = std::fopen(name.constData(), "rb");
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        std::fseek(f, 0, SEEK_SET);
        std::vector<unsigned char> data(static_cast<size_t>(size));
        if (std::fread(data.data(), 1, data.size(), f) != data.size()) state.SkipWithError("read");
        std::fclose(f);

        jpeg_decompress_struct d;
        jpeg_error_mgr derr;
        d.err = jpeg_std_error(&derr);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, data.data(), static_cast<unsigned long>(data.size()));
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&d);
        std::vector<unsigned char> row(size_t(d.output_width) * 3);
        int next = 0;
        while (d.output_scanline < d.output_height) {
            const int y = int(d.output_scanline);
            JSAMPROW p = row.data();
            jpeg_read_scanlines(&d, &p, 1);
            while (next < kOutHeight && ys[next] == y) {
                unsigned char* o = out.data() + size_t(next) * kOutWidth * 3;
                for (int x = 0; x < kOutWidth; ++x, o += 3) {
                    const unsigned char* s = row.data() + size_t(xs[x]) * 3;
                    o[0] = s[0], o[1] = s[1], o[2] = s[2];
                }
                ++next;
            }
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);

        jpeg_compress_struct c;
        jpeg_error_mgr cerr;
        c.err = jpeg_std_error(&cerr);
        jpeg_create_compress(&c);
        unsigned char* buffer = nullptr;
        unsigned long length = 0;
        jpeg_mem_dest(&c, &buffer, &length);
        c.image_width = kOutWidth;
        c.image_height = kOutHeight;
        c.input_components = 3;
        c.in_color_space = JCS_EXT_BGR;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 75, TRUE);
        jpeg_start_compress(&c, TRUE);
        while (c.next_scanline < c.image_height) {
            JSAMPROW p = out.data() + size_t(c.next_scanline) * kOutWidth * 3;
            jpeg_write_scanlines(&c, &p, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        bytes = length;
        benchmark::DoNotOptimize(buffer);
        std::free(buffer);
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
