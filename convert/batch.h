#pragma once
// The folder save without a window: which files a run takes, the new size of each, and the
// per-file load, stretch and write with its result line. The size-adjustment window,
// pixolet-batch, the tests and the benchmark all run this same code.
//
// A run converts its files on a pool of worker threads, each file loaded, stretched, encoded
// and written by one worker, under a hidden temporary name. The calling thread gives the files
// their names in listing order and makes every report, so the result lines, the outputs and the
// place where a damaged file stops the run are those of a one-file-at-a-time run.

#include "convert/output_types.h"
#include "formats/picture.h"

#include <QSize>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>

// How every file of a run is sized: the slider percentage of each file's own size, or one
// exact size for all.
struct BatchSizing {
    int percent = 100;
    bool exact = false;
    QSize exactSize;
};

struct BatchJob {
    QString sourceFolder;  // ends with a separator
    QString outputFolder;  // ends with a separator
    OutputType type = OutputType::Jpeg;
    int quality = 75;      // JPEG only
    BatchSizing sizing;
};

// What a run did with one source file: the output it names and what the writer did there.
// `skipped` when nothing was written, with the reason: a TIFF the reader refused (its message),
// or a new size with no pixels.
struct ConvertedFile {
    QString outputPath;
    WriteOutcome outcome = WriteOutcome::Refused;
    bool skipped = false;
    QString skipReason;
};

// Where a run reports each file written or left alone; the caller makes the result line.
using ResultSink = std::function<void(WriteOutcome outcome, const QString& outputPath)>;
// Where a run reports each file it skipped, with the source's full path and why.
using SkipSink = std::function<void(const QString& sourcePath, const QString& reason)>;
// Called when the run turns to a file, with the source's full path (the results window's
// "Reading File #" line).
using BeforeFile = std::function<void(const QString& sourcePath)>;
// Called after each file of a run, with whether it was the first entry of the listing.
using AfterFile = std::function<void(const QString& name, const ConvertedFile& file, bool first)>;

// The result line of a skipped file: "  Skipped -> " + its source + "  (" + why + ")".
QString SkippedLine(const QString& sourcePath, const QString& reason);
// The line that ends a run stopped on request: how many of the run's files were converted.
QString StoppedLine(int converted, int total);
// The one message a run shows for the files it skipped (empty when there were none).
QString SkippedFilesText(int skipped, const QString& firstSource, const QString& firstReason);

// Asks a run to stop: it ends once the files in flight are done. Safe from any thread and from
// a signal handler.
class BatchStop {
public:
    void request() { requested_.store(true); }
    bool requested() const { return requested_.load(); }
    void reset() { requested_.store(false); }

private:
    std::atomic<bool> requested_{false};
};

// Everything a run reports, each in listing order on the calling thread, and how it runs.
struct BatchRun {
    ResultSink results;
    SkipSink skipped;
    BeforeFile beforeFile;
    AfterFile afterFile;
    // Called every few hundredths of a second while the run waits for its workers: a window
    // lets its events run here.
    std::function<void()> waiting;
    const BatchStop* stop = nullptr;
    int workers = 0;  // 0: one per core the machine has (QThread::idealThreadCount)
    // When given, counts each file as the run turns to it, so it includes a file whose failure
    // ends the run by throwing (ProcessedCount).
    int* processedCount = nullptr;
};

// What a run did, when it did not throw.
struct BatchSummary {
    int listed = 0;     // image files of folder + mask
    int processed = 0;  // files the run turned to
    int converted = 0;  // files with a result line: written, or already there
    int skipped = 0;
    bool stopped = false;  // a stop request ended it before its last file
};

// The new size of a w × h picture: the exact size, or each side by the shared sizing rule.
QSize BatchTargetSize(const BatchSizing& sizing, int width, int height);

// The names (without folder) a run over folder + mask visits: plain files in listing order,
// images only. `firstListed` receives the first entry of the whole listing (image or not).
QStringList BatchFileNames(const QString& folder, const QString& mask,
                           QString* firstListed = nullptr);

// One file on the calling thread: loads folder + name, stretches it to the new size (a JPEG
// streams from its scanlines, never held at full size), makes that the working picture, and
// writes it into the output folder under the source's name with the output type's extension.
// An existing output is never replaced: it is reported as already there instead. A skipped file
// reports nothing and says why in the result. Decoding and writing failures throw.
ConvertedFile ConvertOneFile(const BatchJob& job, const QString& name, Picture& working,
                             const ResultSink& results);

// The run: every image of folder + mask, converted as ConvertOneFile does, on run.workers
// threads. At most one file per worker is in flight or waiting for its name. A file that throws
// ends the run there: the files before it in listing order are written, none after it, and the
// failure is thrown again. A stop request ends it once the files in flight are named. Whatever
// was not named is removed, so no half-made output stays behind. After a run `working` holds
// the last file converted, at its new size. Skipped files get one message for the run.
BatchSummary RunBatch(const BatchJob& job, const QString& mask, Picture& working,
                      const BatchRun& run);
