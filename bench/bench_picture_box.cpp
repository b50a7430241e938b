// The image control's cost per change on a 12-megapixel picture: a view of it stretched to 20,
// 100 and 400 % in a 1200 x 900 window (only what shows is made), and the 120 x 83 sample box.
#include "formats/picture.h"
#include "platform/picture_box.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QScrollArea>

namespace {

const Picture& master() {
    static const Picture picture = [] {
        Bitmap b;
        b.create(4000, 3000, 24);
        for (int y = 0; y < 3000; ++y) {
            uint8_t* p = b.scanLine(y);
            for (int x = 0; x < 4000; ++x, p += 3) {
                p[0] = uint8_t(x);
                p[1] = uint8_t(y);
                p[2] = uint8_t(x ^ y);
            }
        }
        Picture p;
        p.assign(std::move(b));
        return p;
    }();
    return picture;
}

void BM_ViewStep(benchmark::State& state) {
    const int percent = int(state.range(0));
    const QSize size(4000 * percent / 100, 3000 * percent / 100);
    QScrollArea area;
    area.resize(1200, 900);
    auto* box = new PictureBox;
    box->resize(size);
    area.setWidget(box);
    area.show();
    QApplication::processEvents();
    for (auto _ : state) {
        // One step: the view is set again (as after a slider move) and the window repaints.
        box->showStretchedView(&master(), size);
        box->repaint();
    }
    state.counters["made"] = box->renderCount();
}
BENCHMARK(BM_ViewStep)->Arg(20)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);

void BM_SampleBox(benchmark::State& state) {
    PictureBox box;
    box.resize(120, 83);
    box.setStretch(true);
    box.show();
    QApplication::processEvents();
    box.picture().assign(master());
    for (auto _ : state) {
        box.picture().changed();
        box.repaint();
    }
    state.counters["made"] = box.renderCount();
}
BENCHMARK(BM_SampleBox)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
