#include "batch.h"

#include "formats/file_io.h"
#include "formats/host.h"
#include "formats/sizing.h"
#include "formats/text_utils.h"
#include "platform/file_system.h"

#include <QThread>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace {

// What the codecs ask of the user interface while a file is converted, kept as values: a worker
// never reaches the program's host, which talks to windows.
class CollectingHost final : public FormatHost {
public:
    void processMessages() override {}
    void showMessage(const QString& text) override { messages.append(text); }
    void beginHourglass() override {}
    void endHourglass() override {}
    void gifProgress(double) override {}

    QStringList messages;
};

// One file's work, done on whichever thread, waiting to be named in listing order.
struct PreparedFile {
    ConvertedFile file;
    std::vector<StagedFile> staged;  // the output, under its temporary name
    QStringList messages;            // what the codecs asked to show for a file not skipped
    Picture picture;                 // the file at its new size: the next working picture
    std::exception_ptr failure;      // what stops the run at this file
};

QString reasonFrom(const QStringList& messages, const QString& otherwise) {
    return messages.isEmpty() ? otherwise : messages.join(QStringLiteral("; "));
}

void convertInto(PreparedFile& prepared, const BatchJob& job, const QString& name,
                 NewFileStaging& staging, const CollectingHost& host) {
    ConvertedFile& file = prepared.file;
    const QString source = job.sourceFolder + name;
    Picture loaded;
    if (LoadPictureFile(source, loaded) == LoadOutcome::Rejected) {
        file.skipped = true;
        file.skipReason = reasonFrom(host.messages, QStringLiteral("the file could not be read"));
        return;
    }
    const QSize size = BatchTargetSize(job.sizing, loaded.width(), loaded.height());
    if (size.width() == 0 || size.height() == 0) {
        file.skipped = true;
        file.skipReason = QStringLiteral("its new size, %1 x %2, has no pixels")
                              .arg(size.width())
                              .arg(size.height());
        return;
    }
    // Only the stretched bitmap and the source (a JPEG still compressed) are alive here.
    prepared.picture.assign(StretchPicture(loaded, size.width(), size.height()));
    loaded.clear();

    file.outputPath =
        ChangeFileExtension(job.outputFolder + name, OutputFormatOf(job.type).extension);
    OutputSettings settings;
    settings.quality = job.quality;
    file.outcome = WriteOutputFile(job.type, file.outputPath, prepared.picture, settings);
    prepared.staged = staging.take();
    if (file.outcome == WriteOutcome::Refused) {
        file.skipped = true;
        file.skipReason = reasonFrom(host.messages, QStringLiteral("nothing could be written"));
    }
}

// Loads, stretches and writes one file under a temporary name; never throws (a failure is kept
// for the run to throw in its turn) and never reaches the program's host.
PreparedFile prepareFile(const BatchJob& job, const QString& name) {
    PreparedFile prepared;
    CollectingHost host;
    const ThreadFormatHost useHost(host);
    NewFileStaging staging;
    try {
        convertInto(prepared, job, name, staging, host);
    } catch (...) {
        prepared.failure = std::current_exception();
        prepared.staged.clear();
    }
    if (!prepared.file.skipped) prepared.messages = host.messages;
    return prepared;
}

// The prepared file's turn: its messages shown, its output named (never replacing anything),
// its result reported, its picture made the working picture.
void finishFile(PreparedFile& prepared, Picture& working, const ResultSink& results) {
    for (const QString& message : prepared.messages) formatHost().showMessage(message);
    ConvertedFile& file = prepared.file;
    if (!prepared.staged.empty()) file.outcome = NameStagedFile(prepared.staged.front());
    working = std::move(prepared.picture);
    if (results) results(file.outcome, file.outputPath);
}

// The workers of one run. A worker takes the next file in listing order, converts it and leaves
// it in its slot; the run takes the files out in order. A file is taken only while fewer than
// one file per worker is in flight or waiting, so memory stays bounded however far ahead one
// worker gets.
class WorkerPool {
public:
    WorkerPool(const BatchJob& job, const QStringList& names, int workers)
        : job_(job), names_(names), slots_(size_t(workers)) {
        threads_.reserve(size_t(workers));
        try {
            for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
        } catch (...) {
            end();
            throw;
        }
    }

    // Files in flight finish; no worker starts another one. Every thread has ended when this
    // returns, and what was never taken out is dropped (its temporaries removed).
    ~WorkerPool() { end(); }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // No worker starts a file after those already started.
    void close() {
        {
            const std::lock_guard lock(mutex_);
            closed_ = true;
        }
        room_.notify_all();
        ready_.notify_all();
    }

    // File `index` (the next in listing order) once done, calling `tick` every few hundredths of
    // a second meanwhile; nothing when the pool closed before a worker started it.
    std::optional<PreparedFile> take(int index, const std::function<void()>& tick) {
        std::unique_lock lock(mutex_);
        std::optional<PreparedFile>& slot = slots_[size_t(index) % slots_.size()];
        while (!slot) {
            if (closed_ && index >= next_) return std::nullopt;
            if (ready_.wait_for(lock, std::chrono::milliseconds(40)) == std::cv_status::timeout) {
                lock.unlock();
                tick();
                lock.lock();
            }
        }
        std::optional<PreparedFile> done = std::move(slot);
        slot.reset();
        taken_ = index + 1;
        lock.unlock();
        room_.notify_all();
        return done;
    }

private:
    void end() {
        close();
        for (std::thread& thread : threads_) thread.join();
    }

    void work() {
        const int count = int(names_.size());
        const int window = int(slots_.size());
        for (;;) {
            int index = 0;
            {
                std::unique_lock lock(mutex_);
                room_.wait(lock,
                           [&] { return closed_ || next_ >= count || next_ < taken_ + window; });
                if (closed_ || next_ >= count) return;
                index = next_++;
            }
            PreparedFile prepared = prepareFile(job_, names_[index]);
            {
                const std::lock_guard lock(mutex_);
                // A damaged file ends the run in its turn: nothing after it is started.
                if (prepared.failure) closed_ = true;
                slots_[size_t(index) % slots_.size()] = std::move(prepared);
            }
            ready_.notify_all();
            room_.notify_all();
        }
    }

    const BatchJob& job_;
    const QStringList& names_;
    std::mutex mutex_;
    std::condition_variable ready_;  // a file is done, or the pool closed
    std::condition_variable room_;   // a file was taken out, or the pool closed
    std::vector<std::optional<PreparedFile>> slots_;
    int next_ = 0;   // the next file a worker starts
    int taken_ = 0;  // files taken out by the run
    bool closed_ = false;
    std::vector<std::thread> threads_;  // last: started once everything above exists
};

}  // namespace

QString SkippedLine(const QString& sourcePath, const QString& reason) {
    return QStringLiteral("  Skipped -> ") + sourcePath + QStringLiteral("  (") + reason +
           QLatin1Char(')');
}

QString StoppedLine(int converted, int total) {
    return QStringLiteral("** Stopped: %1 of %2 files converted").arg(converted).arg(total);
}

QString SkippedFilesText(int skipped, const QString& firstSource, const QString& firstReason) {
    if (skipped <= 0) return {};
    if (skipped == 1)
        return QStringLiteral("%1 was not converted: %2").arg(firstSource, firstReason);
    return QStringLiteral(
               "%1 files were not converted. The results list names each one and says why.")
        .arg(skipped);
}

QSize BatchTargetSize(const BatchSizing& sizing, int width, int height) {
    if (sizing.exact) return sizing.exactSize;
    return ScaledSize(width, height, sizing.percent);
}

QStringList BatchFileNames(const QString& folder, const QString& mask, QString* firstListed) {
    QStringList names;
    bool first = true;
    for (const FolderEntry& entry : ListFolder(folder + mask)) {
        if (!entry.isPlainFile()) continue;
        if (first && firstListed) *firstListed = entry.name;
        first = false;
        if (IsSupportedImageFile(entry.name)) names.append(entry.name);
    }
    return names;
}

ConvertedFile ConvertOneFile(const BatchJob& job, const QString& name, Picture& working,
                             const ResultSink& results) {
    PreparedFile prepared = prepareFile(job, name);
    if (prepared.failure) std::rethrow_exception(prepared.failure);
    if (!prepared.file.skipped) finishFile(prepared, working, results);
    return prepared.file;
}

BatchSummary RunBatch(const BatchJob& job, const QString& mask, Picture& working,
                      const BatchRun& run) {
    QString firstListed;
    const QStringList names = BatchFileNames(job.sourceFolder, mask, &firstListed);
    BatchSummary summary;
    summary.listed = int(names.size());
    if (names.isEmpty()) return summary;
    const auto stopWanted = [&run] { return run.stop && run.stop->requested(); };
    if (stopWanted()) {
        summary.stopped = true;
        return summary;
    }

    const int workers = std::clamp(run.workers > 0 ? run.workers : QThread::idealThreadCount(), 1,
                                   int(names.size()));
    WorkerPool pool(job, names, workers);
    const std::function<void()> tick = [&] {
        if (run.waiting) run.waiting();
        if (stopWanted()) pool.close();
    };
    QString firstSkipped, firstReason;
    for (int i = 0; i < summary.listed; ++i) {
        if (stopWanted()) pool.close();
        std::optional<PreparedFile> prepared = pool.take(i, tick);
        if (!prepared) {
            summary.stopped = true;
            break;
        }
        ++summary.processed;
        if (run.processedCount) *run.processedCount = summary.processed;
        if (prepared->failure) std::rethrow_exception(prepared->failure);

        const QString& name = names[i];
        const QString source = job.sourceFolder + name;
        if (run.beforeFile) run.beforeFile(source);
        if (prepared->file.skipped) {
            if (++summary.skipped == 1) {
                firstSkipped = source;
                firstReason = prepared->file.skipReason;
            }
            if (run.skipped) run.skipped(source, prepared->file.skipReason);
        } else {
            finishFile(*prepared, working, run.results);
            ++summary.converted;
        }
        if (run.afterFile) run.afterFile(name, prepared->file, name == firstListed);
    }
    // One message for the run, however many files were skipped.
    if (summary.skipped > 0)
        formatHost().showMessage(SkippedFilesText(summary.skipped, firstSkipped, firstReason));
    return summary;
}
