#pragma once
// The folder save without a window: which files a run takes, the new size of each, and the
// per-file load, stretch and write with its result line. The size-adjustment window, the probe,
// the tests and the benchmark all run this same code.

#include "convert/output_types.h"
#include "formats/picture.h"

#include <QSize>
#include <QString>
#include <QStringList>
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

// What ConvertOneFile did with one source file: the output it names and what the writer did
// there. `skipped` when nothing was written and there is no result line: a TIFF the reader
// refused (it has shown why), or a new size with no pixels (a message says so).
struct ConvertedFile {
    QString outputPath;
    WriteOutcome outcome = WriteOutcome::Refused;
    bool skipped = false;
};

// Where a run reports each file written or left alone; the caller makes the result line.
using ResultSink = std::function<void(WriteOutcome outcome, const QString& outputPath)>;

// Called after the stretch, before the write, with the source's full path (the results
// window's "Reading File #" line).
using BeforeWrite = std::function<void(const QString& sourcePath)>;

// The new size of a w × h picture: the exact size, or each side by the shared sizing rule.
QSize BatchTargetSize(const BatchSizing& sizing, int width, int height);

// The names (without folder) a run over folder + mask visits: plain files in listing order,
// images only. `firstListed` receives the first entry of the whole listing (image or not).
QStringList BatchFileNames(const QString& folder, const QString& mask,
                           QString* firstListed = nullptr);

// Loads folder + name into `working`, stretches it to the new size (a JPEG streams from its
// scanlines, never held at full size), makes that the working picture, and writes it into the
// output folder under the source's name with the output type's extension. An existing output
// is never replaced: it is reported as already there instead. Decoding and writing failures
// throw (the run stops there; what was written stays).
ConvertedFile ConvertOneFile(const BatchJob& job, const QString& name, Picture& working,
                             const ResultSink& results, const BeforeWrite& beforeWrite = {});

// Called after each file of a run, with whether it was the first entry of the listing.
using AfterFile = std::function<void(const QString& name, const ConvertedFile& file, bool first)>;

// The run's loop: every image of folder + mask through ConvertOneFile, `afterFile` after each.
// Returns how many image files it handled (ProcessedCount); `processedCount`, when given, counts
// each file as it starts, so it includes a file whose failure ends the run by throwing.
int RunBatch(const BatchJob& job, const QString& mask, Picture& working,
             const ResultSink& results, const AfterFile& afterFile = {},
             const BeforeWrite& beforeWrite = {}, int* processedCount = nullptr);
