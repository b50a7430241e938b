#include "batch.h"

#include "formats/sizing.h"
#include "formats/text_utils.h"
#include "platform/file_system.h"

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
                             const ResultSink& results, const BeforeWrite& beforeWrite) {
    ConvertedFile done;
    const QString source = job.sourceFolder + name;
    // A refused TIFF leaves the previous file's picture in `working`: writing that under this
    // name would make a wrong image, so nothing is written.
    if (LoadPictureFile(source, working) == LoadOutcome::Rejected) {
        done.skipped = true;
        return done;
    }
    const QSize size = BatchTargetSize(job.sizing, working.width(), working.height());
    // Only the stretched bitmap and the source (a JPEG still compressed) are alive here.
    working.assign(StretchPicture(working, size.width(), size.height()));
    if (beforeWrite) beforeWrite(source);

    done.outputPath =
        ChangeFileExtension(job.outputFolder + name, OutputFormatOf(job.type).extension);
    // A new size without pixels is refused by the writer with a message, and skipped here.
    OutputSettings settings;
    settings.quality = job.quality;
    done.outcome = WriteOutputFile(job.type, done.outputPath, working, settings);
    if (done.outcome == WriteOutcome::Refused)
        done.skipped = true;
    else if (results)
        results(done.outcome, done.outputPath);
    return done;
}

int RunBatch(const BatchJob& job, const QString& mask, Picture& working,
             const ResultSink& results, const AfterFile& afterFile,
             const BeforeWrite& beforeWrite, int* processedCount) {
    QString firstListed;
    const QStringList names = BatchFileNames(job.sourceFolder, mask, &firstListed);
    int processed = 0;
    for (const QString& name : names) {
        ++processed;
        if (processedCount) *processedCount = processed;
        const ConvertedFile file = ConvertOneFile(job, name, working, results, beforeWrite);
        if (afterFile) afterFile(name, file, name == firstListed);
    }
    return processed;
}
