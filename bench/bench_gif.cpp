// The GIF decoder (formats/gif.h) against giflib's DGifSlurp, in the same run, on two inputs
// made at start-up with giflib's encoder:
// - photo: 4000 x 3000, 8 bits, a smooth synthetic picture Floyd-Steinberg dithered to a
//   252-colour palette (a dithered photo's short LZW strings);
// - animation: 100 frames of 480 x 360, each its own dithered picture, local tables on none.
// Our decoder runs with a host that really lets Qt process events after every row
// (QCoreApplication::processEvents on a QGuiApplication); progress reports are counted.
// Figures: "MP/s", megapixels decoded per second of wall time.

#include "formats/gif/gif.h"
#include "formats/host.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>
#include <QCoreApplication>
#include <QGuiApplication>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

class EventHost final : public FormatHost {
public:
    void processMessages() override { QCoreApplication::processEvents(); }
    void showMessage(const QString&) override {}
    void beginHourglass() override {}
    void endHourglass() override {}
    void gifProgress(double) override { ++progressCalls; }
    long progressCalls = 0;
};

struct MemWriter {
    std::vector<uint8_t> bytes;
};

int writeMem(GifFileType* gif, const GifByteType* data, int n) {
    auto* w = static_cast<MemWriter*>(gif->UserData);
    w->bytes.insert(w->bytes.end(), data, data + n);
    return n;
}

struct MemReader {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
};

int readMem(GifFileType* gif, GifByteType* out, int n) {
    auto* r = static_cast<MemReader*>(gif->UserData);
    const size_t k = std::min(size_t(n), r->bytes->size() - r->pos);
    std::memcpy(out, r->bytes->data() + r->pos, k);
    r->pos += k;
    return int(k);
}

// 6 x 7 x 6 colour cube.
std::vector<GifColorType> cubePalette() {
    std::vector<GifColorType> p(256);
    int i = 0;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 7; ++g)
            for (int b = 0; b < 6; ++b)
                p[size_t(i++)] = {GifByteType(r * 51), GifByteType(g * 255 / 6),
                                  GifByteType(b * 51)};
    return p;
}

// A smooth picture (phase moves it from frame to frame), dithered to the cube.
std::vector<uint8_t> ditheredPicture(int w, int h, double phase) {
    std::vector<float> err(size_t(w + 2) * 3 * 2, 0.f);
    std::vector<uint8_t> out(size_t(w) * size_t(h));
    float* cur = err.data();
    float* nxt = err.data() + size_t(w + 2) * 3;
    const int levels[3] = {6, 7, 6};
    for (int y = 0; y < h; ++y) {
        std::fill(nxt, nxt + size_t(w + 2) * 3, 0.f);
        for (int x = 0; x < w; ++x) {
            const double u = double(x) / w, v = double(y) / h;
            const double rgb[3] = {127.5 + 127.5 * std::sin(6.0 * u + 2.0 * v + phase),
                                   127.5 + 127.5 * std::sin(4.0 * v - 3.0 * u * v + 1.3 * phase),
                                   127.5 + 127.5 * std::cos(9.0 * u * u + 5.0 * v + 0.7 * phase)};
            int q[3];
            for (int c = 0; c < 3; ++c) {
                const double want =
                    std::clamp(rgb[c] + cur[size_t(x + 1) * 3 + size_t(c)], 0.0, 255.0);
                const double step = 255.0 / (levels[c] - 1);
                q[c] = int(std::lround(want / step));
                const float e = float(want - q[c] * step);
                cur[size_t(x + 2) * 3 + size_t(c)] += e * 7 / 16;
                nxt[size_t(x) * 3 + size_t(c)] += e * 3 / 16;
                nxt[size_t(x + 1) * 3 + size_t(c)] += e * 5 / 16;
                nxt[size_t(x + 2) * 3 + size_t(c)] += e * 1 / 16;
            }
            out[size_t(y) * size_t(w) + size_t(x)] = uint8_t((q[0] * 7 + q[1]) * 6 + q[2]);
        }
        std::swap(cur, nxt);
    }
    return out;
}

std::vector<uint8_t> encodeGif(int w, int h, int frames) {
    MemWriter writer;
    int error = 0;
    GifFileType* gif = EGifOpen(&writer, writeMem, &error);
    const std::vector<GifColorType> palette = cubePalette();
    ColorMapObject* map = GifMakeMapObject(256, palette.data());
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, w, h, 8, 0, map);
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> px = ditheredPicture(w, h, 0.37 * f);
        EGifPutImageDesc(gif, 0, 0, w, h, false, nullptr);
        for (int y = 0; y < h; ++y) EGifPutLine(gif, px.data() + size_t(y) * size_t(w), w);
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return std::move(writer.bytes);
}

const std::vector<uint8_t>& photo() {
    static const std::vector<uint8_t> bytes = encodeGif(4000, 3000, 1);
    return bytes;
}

const std::vector<uint8_t>& animation() {
    static const std::vector<uint8_t> bytes = encodeGif(480, 360, 100);
    return bytes;
}

void setRate(benchmark::State& state, double pixels, size_t fileBytes) {
    state.counters["MP/s"] =
        benchmark::Counter(pixels / 1e6, benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = double(fileBytes) / 1e6;
}

void oursDecode(benchmark::State& state, const std::vector<uint8_t>& bytes, double pixels,
                bool toBitmap, bool events = true) {
    EventHost host;
    if (events) setFormatHost(&host);
    for (auto _ : state) {
        TGifFile gif;
        ByteReader stream(bytes.data(), bytes.size());
        ReadGifStream(stream, gif);
        if (toBitmap) {
            Bitmap b = FirstImageBitmap(gif);
            benchmark::DoNotOptimize(b.bits());
        }
        benchmark::DoNotOptimize(gif.image(1).pixels.data());
    }
    setFormatHost(nullptr);
    setRate(state, pixels, bytes.size());
}

void giflibDecode(benchmark::State& state, const std::vector<uint8_t>& bytes, double pixels) {
    for (auto _ : state) {
        MemReader reader{&bytes};
        int error = 0;
        GifFileType* gif = DGifOpen(&reader, readMem, &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) state.SkipWithError("giflib failed");
        benchmark::DoNotOptimize(gif->SavedImages[0].RasterBits);
        DGifCloseFile(gif, &error);
    }
    setRate(state, pixels, bytes.size());
}

void BM_Photo_Ours(benchmark::State& s) {
    oursDecode(s, photo(), 4000.0 * 3000, false);
}
void BM_Photo_Giflib(benchmark::State& s) {
    giflibDecode(s, photo(), 4000.0 * 3000);
}
void BM_Photo_OursWithBitmap(benchmark::State& s) {
    oursDecode(s, photo(), 4000.0 * 3000, true);
}
void BM_Animation_Ours(benchmark::State& s) {
    oursDecode(s, animation(), 480.0 * 360 * 100, false);
}
void BM_Animation_Giflib(benchmark::State& s) {
    giflibDecode(s, animation(), 480.0 * 360 * 100);
}
// The same without any host work, to show what processing events after every row costs.
void BM_Photo_OursSilentHost(benchmark::State& s) {
    oursDecode(s, photo(), 4000.0 * 3000, false, false);
}
void BM_Animation_OursSilentHost(benchmark::State& s) {
    oursDecode(s, animation(), 480.0 * 360 * 100, false, false);
}

BENCHMARK(BM_Photo_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Photo_Giflib)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Photo_OursWithBitmap)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Animation_Ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Animation_Giflib)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Photo_OursSilentHost)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Animation_OursSilentHost)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    photo();
    animation();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
