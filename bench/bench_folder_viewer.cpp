// A page of the folder viewer: twenty 12-megapixel JPEG photos loaded into their slots and
// painted as 65 x 46 thumbnails, with the resident memory the page adds; and paging between two
// such pages, whose memory must not grow.
#include "platform/folder_images.h"
#include "formats/bitmap.h"
#include "formats/jpeg/jpeg.h"
#include "formats/picture.h"
#include "platform/dialogs.h"
#include "platform/session.h"
#include "viewers/folder_viewer.h"
#include "viewers/picture_viewer.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImage>
#include <QPushButton>
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

long residentMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return long(line.mid(6).trimmed().split(' ')[0].toLongLong() / 1024);
    return -1;
}

// A photo-like 12-megapixel JPEG (a corpus photograph enlarged, with sensor-like noise), written
// 40 times: photo01.jpg ... photo40.jpg.
QString photoFolder() {
    static QTemporaryDir dir;
    static bool made = false;
    if (made) return dir.path() + QDir::separator();
    const QByteArray jpeg = PhotoLikeJpeg(kWidth, kHeight);
    for (int i = 1; i <= 40; ++i) {
        QFile f(dir.filePath(QStringLiteral("photo%1.jpg").arg(i, 2, 10, QChar('0'))));
        f.open(QIODevice::WriteOnly);
        f.write(jpeg);
    }
    made = true;
    return dir.path() + QDir::separator();
}

// The viewer as the user has it: shown, the folder listed.
TFrmfolderview& viewer() {
    static TFrmpic* single = new TFrmpic(benchSession());
    static TFrmfolderview* window = [] {
        auto* w = new TFrmfolderview(benchSession());
        w->show();
        QApplication::processEvents();
        return w;
    }();
    (void)single;
    return *window;
}

void rescan() { benchSession().FolderImages = ScanFolder(photoFolder() + "*.*"); }

// Page 1 filled and every thumbnail painted.
void BM_PageOfTwentyPhotos(benchmark::State& state) {
    const QString folder = photoFolder();
    TFrmfolderview& w = viewer();
    w.PrepareFolder(folder, rescan);  // a first fill, so the file cache is warm
    w.FillPage(41);                   // and empty again
    w.repaint();
    const long before = residentMiB();
    long afterFirst = 0;
    for (auto _ : state) {
        w.FillPage(1);
        w.repaint();
        if (afterFirst == 0) afterFirst = residentMiB();
        state.PauseTiming();
        w.FillPage(41);
        w.repaint();
        state.ResumeTiming();
    }
    state.counters["page_MiB"] = double(afterFirst - before);
    state.counters["compressed_MiB"] = double(QFileInfo(folder + "photo01.jpg").size() * 20) / (1 << 20);
}
BENCHMARK(BM_PageOfTwentyPhotos)->Unit(benchmark::kMillisecond)->Iterations(5);

// Twenty times next and previous between two full pages.
void BM_PagingBackAndForth(benchmark::State& state) {
    TFrmfolderview& w = viewer();
    w.PrepareFolder(photoFolder(), rescan);
    auto* next = w.findChild<QPushButton*>("Cmdright");
    auto* previous = w.findChild<QPushButton*>("Cmdleft");
    next->click();
    previous->click();
    w.repaint();
    const long before = residentMiB();
    for (auto _ : state) {
        for (int i = 0; i < 20; ++i) {
            next->click();
            w.repaint();
            previous->click();
            w.repaint();
        }
    }
    state.counters["growth_MiB"] = double(residentMiB() - before);
}
BENCHMARK(BM_PagingBackAndForth)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    InitPictureFormats();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
