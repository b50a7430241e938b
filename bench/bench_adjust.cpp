// The live preview of the size-adjustment window and one zoom step of the viewer, on a
// 12-megapixel JPEG: one slider step (the preview recomputed and the visible part of the box
// repainted) at 20 %, 100 % and 400 %, and beside it the whole-bitmap redraw the preview would
// cost if every step made its full bitmap.
#include "convert/adjust_window.h"
#include "formats/bitmap.h"
#include "formats/jpeg/jpeg.h"
#include "formats/picture.h"
#include "platform/dialogs.h"
#include "platform/picture_box.h"
#include "platform/session.h"
#include "viewers/picture_viewer.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include "photo.h"

#include <benchmark/benchmark.h>
#include <algorithm>

namespace {

// What the benchmark's windows share, for the whole run.
Session& benchSession() {
    static Session session;
    return session;
}

constexpr int kWidth = 4000, kHeight = 3000;

// A photo-like 12-megapixel JPEG: a corpus photograph enlarged, with sensor-like noise.
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

// The window as the user has it: shown, with the photo picked.
TFrmadjust& adjustWindow() {
    static TFrmadjust* window = [] {
        auto* w = new TFrmadjust(benchSession());
        w->show();
        w->LoadIntoAdjustWindow(photoPath(), true, true);
        QApplication::processEvents();
        return w;
    }();
    return *window;
}

// One slider step: the position moves between P and P + 1, the preview is recomputed and the
// window repaints (the labels and the part of the preview that shows).
void BM_ScrollBar1Change(benchmark::State& state) {
    TFrmadjust& w = adjustWindow();
    QScrollBar* slider = w.findChild<QScrollBar*>("ScrollBar1");
    const int percent = int(state.range(0));
    slider->setValue(percent + 1);
    w.Image1()->repaint();  // the master's pixels are decoded here, once per load
    bool up = false;
    for (auto _ : state) {
        slider->setValue(up ? percent + 1 : percent);
        w.repaint();
        up = !up;
    }
    state.counters["preview_w"] = w.PreviewSize().width();
}
BENCHMARK(BM_ScrollBar1Change)->Arg(20)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);

// Before tuning: every step made the whole preview bitmap and handed the box a copy to paint.
void BM_WholePreviewPerStep(benchmark::State& state) {
    TFrmadjust& w = adjustWindow();
    const int percent = int(state.range(0));
    const int pw = kWidth * percent / 100, ph = kHeight * percent / 100;
    PictureBox box;
    box.resize(532, 356);
    for (auto _ : state) {
        box.picture().assign(StretchPicture(w.ImageSave(), pw, ph));
        benchmark::DoNotOptimize(box.grab());
    }
}
BENCHMARK(BM_WholePreviewPerStep)->Arg(20)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond);

// The full preview made on demand (a save, the estimate, the viewer).
void BM_PreviewPicture(benchmark::State& state) {
    TFrmadjust& w = adjustWindow();
    QScrollBar* slider = w.findChild<QScrollBar*>("ScrollBar1");
    const int percent = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        slider->setValue(percent - 1);
        slider->setValue(percent);
        state.ResumeTiming();
        benchmark::DoNotOptimize(w.PreviewPicture().width());
    }
}
BENCHMARK(BM_PreviewPicture)->Arg(100)->Arg(400)->Unit(benchmark::kMillisecond)->Iterations(3);

// One zoom step of the viewer at 100 % of the photo, shown at the screen's size.
void BM_ViewerZoomStep(benchmark::State& state) {
    TFrmadjust& w = adjustWindow();
    static TFrmpic* viewer = new TFrmpic(benchSession());
    w.findChild<QScrollBar*>("ScrollBar1")->setValue(100);
    viewer->SetReferencePicture(w.PreviewPicture());
    viewer->show();
    QApplication::processEvents();
    viewer->findChild<QLineEdit*>("Edpercent")->setText("0");
    PictureBox* image = viewer->findChild<PictureBox*>("Image1");
    for (auto _ : state) {
        viewer->ZoomStep(TFrmpic::ZoomDirection::In, 0);
        image->repaint();
    }
    viewer->hide();
}
BENCHMARK(BM_ViewerZoomStep)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitPictureFormats();
    // No dialogs are installed: the silent stand-in answers any box, so a refused size never
    // waits for a click.
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
