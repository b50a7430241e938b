// The folder save's engine on 40 photos of 12 megapixels, 20 % to JPEG 75, in one run with its
// peers, taking turns round by round so that a busy moment of the machine falls on all of them:
// the engine on every core and on one worker, a bare libjpeg-turbo loop that samples rows as they
// are decoded (one core), the same loop over a full-size bitmap, ImageMagick's mogrify -sample,
// GraphicsMagick, and vipsthumbnail with as many threads as the engine has workers. Prints each
// median and the ratios, then the peak memory of pixolet-batch over 10 and over 40 photos, on
// every core and on one.
//
// PIXOLET_BENCH_PHOTOS names a folder of photos to use instead of the generated ones;
// PIXOLET_BENCH_ROUNDS the number of rounds (3).

#include "convert/batch.h"
#include "formats/bitmap.h"
#include "formats/file_io.h"
#include "formats/jpeg/jpeg.h"
#include "formats/picture.h"
#include "formats/sizing.h"

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "bare_jpeg.h"
#include "photo.h"
#include "timed_runs.h"

namespace {

constexpr int kPhotos = 40, kWidth = 4000, kHeight = 3000, kPercent = 20, kQuality = 75;

// 40 copies of the shared photo-like 12-megapixel JPEG.
QString photoFolder() {
    static QTemporaryDir dir;
    static QString folder;
    if (!folder.isEmpty()) return folder;
    const QString given = qEnvironmentVariable("PIXOLET_BENCH_PHOTOS");
    if (!given.isEmpty()) return folder = QDir(given).absolutePath() + QLatin1Char('/');
    const QByteArray jpeg = PhotoLikeJpeg(kWidth, kHeight);
    for (int i = 1; i <= kPhotos; ++i)
        WriteWholeFile(dir.filePath(QStringLiteral("photo%1.jpg").arg(i, 2, 10, QLatin1Char('0'))), jpeg, false);
    return folder = dir.path() + QLatin1Char('/');
}

QStringList photoNames() {
    return QDir(photoFolder()).entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPG")}, QDir::Files, QDir::Name);
}

// The shared photos exist before the first repetition is timed.
template <class Body>
void timed(benchmark::State& state, const std::string& name, Body body) {
    photoFolder();
    TimedRun(state, name, body);
}

void engineRun(benchmark::State& state, const std::string& name, int workers) {
    timed(state, name, [workers](const QString& out) {
        BatchJob job;
        job.sourceFolder = photoFolder();
        job.outputFolder = out;
        job.type = OutputType::Jpeg;
        job.quality = kQuality;
        job.sizing.percent = kPercent;
        Picture working;
        int lines = 0;
        BatchRun run;
        run.results = [&](WriteOutcome, const QString&) { ++lines; };
        run.workers = workers;
        RunBatch(job, QStringLiteral("*.*"), working, run);
        return lines == int(photoNames().size());
    });
}

const std::string kEngine = "engine (RunBatch, every core)";
const std::string kEngineOne = "engine (RunBatch, one worker)";

void BM_Engine(benchmark::State& state) {
    engineRun(state, kEngine, 0);
}
void BM_EngineOneWorker(benchmark::State& state) {
    engineRun(state, kEngineOne, 1);
}

// The least work the job needs, in plain libjpeg-turbo: read, decode every row, keep the rows
// and columns the pixel centres pick (as rows arrive, or from a full-size bitmap), encode, write.
bool bareLoop(const QString& out, bool streaming) {
    for (const QString& name : photoNames()) {
        const QByteArray thumbnail =
            BareJpegThumbnail(ReadFileBytes(photoFolder() + name), kPercent, kQuality, streaming);
        WriteWholeFile(out + name.left(name.lastIndexOf(QLatin1Char('.'))) + QStringLiteral(".JPG"),
                       thumbnail, false);
    }
    return true;
}

void BM_BareStreaming(benchmark::State& state) {
    timed(state, "bare libjpeg-turbo, streaming rows", [](const QString& out) { return bareLoop(out, true); });
}
void BM_BareFullBitmap(benchmark::State& state) {
    timed(state, "bare libjpeg-turbo, full bitmap", [](const QString& out) { return bareLoop(out, false); });
}

QStringList photoPaths() {
    QStringList paths;
    for (const QString& name : photoNames()) paths << photoFolder() + name;
    return paths;
}

bool runTool(const QString& program, const QStringList& args,
             const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    // GraphicsMagick puts each output at its input's path under the output folder: relative
    // names keep them directly inside it.
    process.setWorkingDirectory(photoFolder());
    process.start(program, args);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

void BM_Mogrify(benchmark::State& state) {
    const QString mogrify = QStringLiteral("/usr/bin/mogrify");
    if (!QFile::exists(mogrify)) return state.SkipWithError("ImageMagick is not installed");
    timed(state, "ImageMagick mogrify -sample", [&](const QString& out) {
        return runTool(mogrify, QStringList{"-path", out, "-sample", QStringLiteral("%1%").arg(kPercent),
                                            "-quality", QString::number(kQuality)} + photoPaths());
    });
}

void BM_GraphicsMagick(benchmark::State& state) {
    const QString gm = QStandardPaths::findExecutable(QStringLiteral("gm"));
    if (gm.isEmpty()) return state.SkipWithError("GraphicsMagick is not installed");
    timed(state, "GraphicsMagick mogrify -sample", [&](const QString& out) {
        return runTool(gm, QStringList{"mogrify", "-output-directory", out, "-sample",
                                       QStringLiteral("%1%").arg(kPercent), "-quality",
                                       QString::number(kQuality)} + photoNames());
    });
}

void BM_Vipsthumbnail(benchmark::State& state) {
    const QString vips = QStandardPaths::findExecutable(QStringLiteral("vipsthumbnail"));
    if (vips.isEmpty()) return state.SkipWithError("vipsthumbnail is not installed (libvips-tools)");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // As many threads as the engine has workers.
    env.insert(QStringLiteral("VIPS_CONCURRENCY"), QString::number(QThread::idealThreadCount()));
    const QString size = QStringLiteral("%1x%2").arg(ScaledLength(kWidth, kPercent)).arg(ScaledLength(kHeight, kPercent));
    timed(state, "vipsthumbnail (shrink-on-load, same threads)", [&](const QString& out) {
        return runTool(vips, QStringList{"--size", size, "-o", out + QStringLiteral("%s.jpg[Q=75]")} + photoPaths(), env);
    });
}

// Peak resident memory of pixolet-batch over the first n photos, in MiB; jobs 0 is every core.
double commandPeakMiB(int n, int jobs) {
    QTemporaryDir src, out;
    const QStringList names = photoNames();
    for (int i = 0; i < n && i < names.size(); ++i)
        QFile::link(photoFolder() + names[i], src.filePath(names[i]));
    const QByteArray command = PIXOLET_BATCH;
    const QByteArray srcPath = QFile::encodeName(src.path()), outPath = QFile::encodeName(out.path());
    const QByteArray jobsText = QByteArray::number(jobs > 0 ? jobs : QThread::idealThreadCount());
    std::fflush(stdout);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stdout)) _exit(127);
        execl(command.constData(), command.constData(), srcPath.constData(), outPath.constData(),
              "--percent", "20", "--jpeg", "75", "--jobs", jobsText.constData(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1;
    return double(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
    // Round by round, every peer once per round.
    const int rounds = qEnvironmentVariableIntValue("PIXOLET_BENCH_ROUNDS") > 0
                           ? qEnvironmentVariableIntValue("PIXOLET_BENCH_ROUNDS")
                           : 3;
    const std::vector<std::pair<const char*, void (*)(benchmark::State&)>> peers{
        {"Engine", BM_Engine},
        {"EngineOneWorker", BM_EngineOneWorker},
        {"BareStreaming", BM_BareStreaming},
        {"BareFullBitmap", BM_BareFullBitmap},
        {"Mogrify", BM_Mogrify},
        {"GraphicsMagick", BM_GraphicsMagick},
        {"Vipsthumbnail", BM_Vipsthumbnail}};
    RunBenchmarksOffscreen(argc, argv, [&] {
        for (int round = 1; round <= rounds; ++round)
            for (const auto& [name, function] : peers)
                benchmark::RegisterBenchmark(
                    (std::string(name) + "/round" + std::to_string(round)).c_str(), function)
                    ->UseManualTime()
                    ->Iterations(1)
                    ->Unit(benchmark::kMillisecond);
    });

    const double engine = Median(TimedSeconds()[kEngine]);
    std::printf("\n%d photos, %d %% to JPEG %d, %d rounds, %d cores: medians\n",
                int(photoNames().size()), kPercent, kQuality, rounds, QThread::idealThreadCount());
    std::printf("%-46s %9s %14s\n", "", "seconds", "÷ engine");
    for (const auto& [name, times] : TimedSeconds()) {
        const double m = Median(times);
        std::printf("%-46s %9.2f %14.2f\n", name.c_str(), m, engine > 0 ? m / engine : 0.0);
    }
    const double p10 = commandPeakMiB(10, 0), p40 = commandPeakMiB(40, 0);
    const double one40 = commandPeakMiB(40, 1);
    std::printf(
        "\npixolet-batch peak memory: %.1f MiB over 10 photos, %.1f MiB over 40 (every core); "
        "%.1f MiB over 40 on one worker\n",
        p10, p40, one40);
    return 0;
}
