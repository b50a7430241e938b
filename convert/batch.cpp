#include "batch.h"

#include "formats/bmp/bmp.h"
#include "formats/file_io.h"
#include "formats/host.h"
#include "formats/jpeg/jpeg_writer.h"
#include "formats/metafile/metafile.h"
#include "formats/sizing.h"
#include "formats/text_utils.h"
#include "formats/tiff/tiff_writer.h"
#include "platform/file_system.h"

#include <QFileInfo>
#include <QIODevice>

namespace {

bool NameTaken(const QString& path) {
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// BMP and TIFF writers replace by default; a project folder's files never are. The write
// itself refuses to replace too, so a file appearing meanwhile is not lost either.
void WriteNewRaster(OutputType type, const QString& path, const Bitmap& bitmap) {
    if (type == OutputType::Bitmap)
        WriteWholeFile(path, EncodeBmp(bitmap), false);
    else
        WriteWholeFile(path, [&bitmap](QIODevice& out) { WriteTiffToStream(bitmap, out); }, false);
}

}  // namespace

QString OutputExtension(OutputType type) {
    switch (type) {
        case OutputType::Jpeg: return QStringLiteral(".JPG");
        case OutputType::Bitmap: return QStringLiteral(".BMP");
        case OutputType::Tif: return QStringLiteral(".TIF");
        case OutputType::Metafile: return QStringLiteral(".EMF");
        case OutputType::Cancel: break;
    }
    return {};
}

QSize BatchTargetSize(const BatchSizing& sizing, int width, int height) {
    if (sizing.exact) return sizing.exactSize;
    return {ScaledLength(width, sizing.percent), ScaledLength(height, sizing.percent)};
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

    done.outputPath = ChangeFileExtension(job.outputFolder + name, OutputExtension(job.type));
    if (size.width() <= 0 || size.height() <= 0) {
        formatHost().showMessage(
            QStringLiteral("The picture is empty: nothing was written to %1").arg(done.outputPath));
        done.skipped = true;
        return done;
    }
    const auto report = [&](const QString& line) {
        done.alreadyExisted = line == AlreadyExistsLine(done.outputPath);
        if (results) results(line);
    };
    switch (job.type) {
        case OutputType::Jpeg:
            WriteJpegFile(done.outputPath, working, job.quality, report);
            break;
        case OutputType::Metafile:
            WriteMetafile(done.outputPath, working.graphic()->toBitmap(), MetafileScreenMetrics(),
                          report);
            break;
        case OutputType::Bitmap:
        case OutputType::Tif:
            if (NameTaken(done.outputPath)) {
                report(AlreadyExistsLine(done.outputPath));
            } else {
                WriteNewRaster(job.type, done.outputPath, working.bitmap());
                report(CreatedLine(done.outputPath));
            }
            break;
        case OutputType::Cancel:
            done.skipped = true;
            break;
    }
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
