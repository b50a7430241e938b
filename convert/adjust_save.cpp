// The size-adjustment window's save action and output size estimate: one image through the
// shared writers, or a whole folder through the batch engine.
#include "adjust_window.h"

#include "ui_adjust_window.h"

#include "app/globals.h"
#include "convert/choice_window.h"
#include "convert/options_window.h"
#include "convert/quality_window.h"
#include "convert/results_window.h"
#include "convert/web_pages.h"
#include "formats/bmp/bmp.h"
#include "formats/errors.h"
#include "formats/host.h"
#include "formats/jpeg/jpeg_writer.h"
#include "formats/metafile/metafile.h"
#include "formats/text_utils.h"
#include "formats/tiff/tiff_writer.h"
#include "platform/controls.h"
#include "platform/disabled_widgets.h"
#include "platform/file_system.h"
#include "platform/long_operation.h"

#include <QDir>
#include <QLabel>

namespace {

const QString kCancelText = QStringLiteral("You chose cancel, nothing was done.");

template <class Window>
Window& existing(Window* window, const char* what) {
    if (!window) throw PixError(QStringLiteral("The %1 window is not open").arg(QLatin1String(what)));
    return *window;
}
TFrmoptions& optionsWindow() { return existing(Frmoptions, "output-type"); }
TFrmcomp& qualityWindow() { return existing(Frmcomp, "quality"); }
TFrmresults& resultsWindow() { return existing(Frmresults, "results"); }

ResultSink resultsSink() { return Frmresults ? Frmresults->Sink() : ResultSink(); }

// Nothing can be made of a picture without pixels; say so rather than write a broken file.
bool HasPixels(const Picture& picture, const QString& target) {
    if (picture.width() > 0 && picture.height() > 0) return true;
    dialogs().plain(QStringLiteral("The picture is empty: nothing was written to %1").arg(target));
    return false;
}

}  // namespace

void TFrmadjust::PrepareSaveDialog(OutputType type) {
    const auto set = [this](const QString& extension, const QString& description) {
        SaveDialog1.defaultExtension = extension;
        SaveDialog1.initialName = QStringLiteral("*.") + extension;
        SaveDialog1.filters = {{description + QStringLiteral(" (*.") + extension + QLatin1Char(')'),
                                QStringLiteral("*.") + extension}};
    };
    switch (type) {
        case OutputType::Jpeg:
            set(QStringLiteral("JPG"), QStringLiteral("Jpeg"));
            qualityWindow().showModal();
            break;
        case OutputType::Bitmap: set(QStringLiteral("BMP"), QStringLiteral("Bitmap")); break;
        case OutputType::Tif: set(QStringLiteral("TIF"), QStringLiteral("Tif")); break;
        case OutputType::Metafile: set(QStringLiteral("EMF"), QStringLiteral("Metafile")); break;
        case OutputType::Cancel: break;
    }
}

void TFrmadjust::CmdsaveClick() {
    // A click that got through while a run lets events run starts nothing.
    if (LongOperation::running()) return;
    if (FolderSelected)
        saveFolder();
    else
        saveOneImage();
}

void TFrmadjust::saveOneImage() {
    optionsWindow().showModal();
    const OutputType type = optionsWindow().SelectedOutputType();
    PrepareSaveDialog(type);
    if (type == OutputType::Cancel) {
        dialogs().information(kCancelText);
        return;
    }
    const FileDialogResult chosen = dialogs().saveFile(SaveDialog1);
    if (!chosen.accepted()) return;
    const QString target = chosen.path;

    bool leftAlone = false;
    const ResultSink results = resultsSink();
    const ResultSink report = [&](const QString& line) {
        leftAlone = line.startsWith(AlreadyExistsLine(QString()));
        if (results) results(line);
    };
    switch (type) {
        case OutputType::Jpeg: {
            const Picture& preview = PreviewPicture();
            if (!HasPixels(preview, target)) return;
            WriteJpegFile(target, preview, qualityWindow().Quality(), report, &Imagejpeg);
            break;
        }
        case OutputType::Bitmap: {
            // The preview is redrawn first: an exact size left over from exact mode gives way to
            // the slider's percentage once percent mode is back on.
            ScrollBar1Change();
            const Picture& preview = PreviewPicture();
            if (!HasPixels(preview, target)) return;
            SaveBitmapAsBmp(preview.graphic()->toBitmap(), target);
            break;
        }
        case OutputType::Tif: {
            const Picture& preview = PreviewPicture();
            const QString tiffPath = ChangeFileExtension(target, QStringLiteral(".TIF"));
            if (!HasPixels(preview, tiffPath)) return;
            SaveBitmapAsTiff(preview.graphic()->toBitmap(), tiffPath);
            break;
        }
        case OutputType::Metafile: {
            const Picture& preview = PreviewPicture();
            if (!HasPixels(preview, target)) return;
            WriteMetafile(target, preview.graphic()->toBitmap(), MetafileScreenMetrics(), report);
            break;
        }
        case OutputType::Cancel: return;
    }
    if (leftAlone) {
        // The file there was kept: saying "saved" would claim a save that did not happen.
        dialogs().information(
            QStringLiteral("%1 already exists and was not replaced. Nothing was saved.").arg(target));
        return;
    }
    ui->Lblnote1->setText(QStringLiteral("New image has been saved at: "));
    ui->Lblnote2->setText(target);
}

void TFrmadjust::CmdcalculateClick() {
    if (LongOperation::running()) return;
    // The work folder is the program's own writable place; the program's folder may not be.
    const QDir folder(WorkFolder);
    const QString jpg = folder.filePath(QStringLiteral("Temp.jpg"));
    const QString bmp = folder.filePath(QStringLiteral("Temp.bmp"));
    const QString tif = folder.filePath(QStringLiteral("Temp.tif"));
    const QString emf = folder.filePath(QStringLiteral("Temp.emf"));
    for (const QString& path : {jpg, bmp, tif, emf}) RemoveFile(path);

    const Picture& preview = PreviewPicture();
    if (!HasPixels(preview, jpg)) return;
    const int quality = qualityWindow().Quality();
    const ResultSink results = resultsSink();
    WriteJpegFile(jpg, preview, quality, results, &Imagejpeg);
    const Bitmap pixels = preview.graphic()->toBitmap();
    SaveBitmapAsBmp(pixels, bmp);
    SaveBitmapAsTiff(pixels, tif);
    WriteMetafile(emf, pixels, MetafileScreenMetrics(), results);

    const auto size = [](const QString& path) {
        const std::optional<qint64> bytes = FileSizeOf(path);
        if (!bytes) throw PixError(CannotOpenFileText(path));
        return QString::number(*bytes);
    };
    const QString jpgSize = size(jpg), bmpSize = size(bmp), tifSize = size(tif),
                  emfSize = size(emf);
    ui->Lblnote1->setText(QStringLiteral("New Jpeg Size = ") + jpgSize +
                          QStringLiteral(" bytes. (Compression at ") + QString::number(quality) +
                          QLatin1Char(')'));
    ui->Lblnote2->setText(QStringLiteral("New Bitmap Size = ") + bmpSize + QStringLiteral(" bytes."));
    ui->Lblnote3->setText(QStringLiteral("New Tif Size = ") + tifSize + QStringLiteral(" bytes."));
    ui->Lblnote4->setText(QStringLiteral("New Meta Size = ") + emfSize + QStringLiteral(" bytes."));
}

void TFrmadjust::saveFolder() {
    QString mask;
    {
        TFrmchoice choice(this);
        choice.placement().restoreSavedSize();
        choice.SelectAll();
        choice.Lbltitle()->setText(ChoiceTitleText(ui->Lblpercent->text()));
        choice.showModal();
        mask = choice.SelectedMask();
    }
    optionsWindow().showModal();
    BatchJob job;
    job.type = optionsWindow().SelectedOutputType();
    if (job.type == OutputType::Jpeg) {
        qualityWindow().showModal();
    } else if (job.type == OutputType::Cancel) {
        dialogs().information(kCancelText);
        return;
    }
    job.sourceFolder = SelectedFolder;
    job.outputFolder = StoredImagesFolder;
    job.sizing.percent = Percent();
    job.sizing.exact = ExactSizeSet;
    job.sizing.exactSize = previewSize_;
    runFolder(job, mask);
}

void TFrmadjust::runFolder(const BatchJob& baseJob, const QString& mask) {
    BatchJob job = baseJob;
    TFrmresults& results = resultsWindow();
    QLabel* count = results.Lblcount();

    ui->Lblnote1->setText(QStringLiteral("Processing images. Please be patient."));
    ui->Lblnote2->clear();
    ui->Lblnote3->clear();
    ui->Lblnote4->clear();
    results.ClearLines();
    results.show();
    ProcessedCount = 0;

    {
        // One run at a time: what could start another save, estimate or task waits, and a
        // close request is held until the run ends (the kit defers it).
        LongOperation operation;
        DisabledWidgets off{ui->Cmdsave, ui->Cmdcalculate, ui->BitBtn6, ui->Image1,
                            ui->BitBtn4, ui->BitBtn5, ui->Button1, ui->BitBtn1,
                            ui->ScrollBar1, ui->RadPercent, ui->RadCalculate};
        // The bar goes away when the run ends, a run stopped by a damaged file included.
        struct ProgressShown {
            TFrmresults& results;
            ~ProgressShown() { results.EndProgress(); }
        } progress{results};
        results.StartProgress(static_cast<int>(BatchFileNames(job.sourceFolder, mask).size()));
        const BeforeWrite reading = [&](const QString& sourcePath) {
            SetTextColor(count, kNavy);
            count->setText(QStringLiteral("Please be patient. Reading File #") +
                           QString::number(results.LineCount()) + QStringLiteral(" File name: ") +
                           sourcePath);
        };
        const AfterFile after = [&](const QString& name, const ConvertedFile& file, bool first) {
            (void)file;
            if (ThumbWebpageWanted && job.type == OutputType::Jpeg)
                CopyThumbnailAndPicture(job.sourceFolder, name);
            ui->Lblnote2->setText((first ? QStringLiteral("Processing -> ")
                                         : QStringLiteral("Processing ")) + name);
            results.SetProgress(ProcessedCount);
            formatHost().processMessages();
        };
        // The quality is read afresh for the run, as the writer reads it each time.
        if (job.type == OutputType::Jpeg) job.quality = qualityWindow().Quality();
        RunBatch(job, mask, ImageHidden, results.Sink(), after, reading, &ProcessedCount);
    }

    if (ThumbWebpageWanted && ProcessedCount > 0)
        OfferThumbnailWebpage(job.type == OutputType::Jpeg);

    if (results.LineCount() == 0) {
        results.AddLine(QStringLiteral("** No images of type ") + mask +
                        QStringLiteral(" found in this folder"));
        results.AddLine(QStringLiteral("** Select a different type or different folder"));
        count->clear();
    } else {
        count->setText(QStringLiteral("Finished. Total Files = ") +
                       QString::number(results.LineCount()) +
                       QStringLiteral("  Note the folder location of your new files, ") +
                       QStringLiteral("shown in the box above. These are always placed in a new "
                                      "folder as your existing images are never overlayed or "
                                      "replaced."));
    }
    ui->Lblnote1->clear();
    ui->Lblnote2->clear();
    formatHost().processMessages();
    results.WidenResultsList();
}
