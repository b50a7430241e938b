// Replaying a metafile that holds one 1000 x 1000 STRETCHDIBITS (what WriteMetafile makes of a
// megapixel picture, on a screen whose 1000 pixels span the frame) at its natural size.
// Goal: under 30 ms per replay.

#include "formats/metafile/metafile.h"

#include <benchmark/benchmark.h>
#include <QGuiApplication>
#include <QTemporaryDir>

namespace {

Bitmap picture(int w, int h) {
    Bitmap b;
    b.create(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = b.scanLine(y) + 3 * x;
            p[0] = uint8_t(x), p[1] = uint8_t(y), p[2] = uint8_t(x + y);
        }
    return b;
}

// A screen of 1000 x 1000 pixels over 264 x 264 mm, with the logical resolution that makes the
// frame exactly 1000 pixels, so the picture fills the natural size one to one.
ScreenMetrics megapixelScreen() {
    ScreenMetrics s;
    s.widthPixels = 1000;
    s.heightPixels = 1000;
    s.widthMillimetres = 264;
    s.heightMillimetres = 264;
    s.logicalDpi = 2540.0 * 1000 / 26400;
    return s;
}

void BM_MetafileStretchDibitsNaturalSize(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("mega.emf");
    const ScreenMetrics screen = megapixelScreen();
    WriteMetafile(path, picture(1000, 1000), screen);
    MetafileGraphic graphic(screen);
    graphic.loadFromFile(path);
    for (auto _ : state) {
        Bitmap b = graphic.toBitmap();
        benchmark::DoNotOptimize(b.bits());
    }
    state.counters["width"] = graphic.width();
    state.counters["height"] = graphic.height();
}
BENCHMARK(BM_MetafileStretchDibitsNaturalSize)->Unit(benchmark::kMillisecond);

// The same replay drawn onto an existing 24-bit bitmap (the preview's path).
void BM_MetafileStretchDrawInto24Bit(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath("mega.emf");
    const ScreenMetrics screen = megapixelScreen();
    WriteMetafile(path, picture(1000, 1000), screen);
    MetafileGraphic graphic(screen);
    graphic.loadFromFile(path);
    Bitmap target;
    target.create(graphic.width(), graphic.height(), 24);
    for (auto _ : state) {
        graphic.stretchDraw(target, QRect(0, 0, target.width(), target.height()));
        benchmark::DoNotOptimize(target.bits());
    }
}
BENCHMARK(BM_MetafileStretchDrawInto24Bit)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
