#pragma once
// Whole runs timed by hand (one iteration a repetition, manual time), each into a fresh output
// folder, and the medians the benchmarks print their ratios from.

#include <benchmark/benchmark.h>
#include "formats/picture.h"

#include <QGuiApplication>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Seconds of every repetition, by the name it was timed under.
inline std::map<std::string, std::vector<double>>& TimedSeconds() {
    static std::map<std::string, std::vector<double>> seconds;
    return seconds;
}

// Runs body(outputFolder) into a fresh folder (ending with '/') as one repetition under name;
// a body that returns false ends the benchmark with an error.
template <class Body>
void TimedRun(benchmark::State& state, const std::string& name, Body body) {
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir out;
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        if (!body(out.path() + QLatin1Char('/'))) {
            state.SkipWithError("the run failed");
            return;
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        TimedSeconds()[name].push_back(seconds);
        state.SetIterationTime(seconds);
    }
}

// Runs the registered benchmarks with Qt offscreen and the picture formats registered;
// registerMore adds benchmarks made at run time (rounds of peers) before they run.
inline void RunBenchmarksOffscreen(int& argc, char** argv,
                                   const std::function<void()>& registerMore = {}) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    InitPictureFormats();
    benchmark::Initialize(&argc, argv);
    if (registerMore) registerMore();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
}

inline double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    if (v.empty()) return 0;
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}
