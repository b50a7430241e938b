// The size-adjustment window's save action and output size estimate: one image through the
// shared writers, or a whole folder through the batch engine.
#include "adjust_window.h"

#include "ui_adjust_window.h"

#include "convert/choice_window.h"
#include "convert/options_window.h"
#include "convert/quality_window.h"
#include "convert/results_window.h"
#include "convert/web_pages.h"
#include "formats/errors.h"
#include "formats/host.h"
#include "formats/text_utils.h"
#include "platform/controls.h"
#include "platform/file_system.h"
#include "platform/long_operation.h"

#include <QDir>
#include <QLabel>
#include <iterator>
#include <optional>

namespace {

const QString kCancelText = QStringLiteral("You chose cancel, nothing was done.");

template <class Window>
Window& existing(Window* window, const char* what) {
    if (!window) throw PixError(QStringLiteral("The %1 window is not open").arg(QLatin1String(what)));
    return *window;
}

}  // namespace

TFrmoptions& TFrmadjust::optionsWindow() const {
    return existing(session_.windows.Frmoptions, "output-type");
}
TFrmcomp& TFrmadjust::qualityWindow() const { return existing(session_.windows.Frmcomp, "quality"); }
TFrmresults& TFrmadjust::resultsWindow() const {
    return existing(session_.windows.Frmresults, "results");
}

void TFrmadjust::addResult(WriteOutcome outcome, const QString& path) {
    if (TFrmresults* results = session_.windows.Frmresults) results->AddResult(outcome, path);
}

void TFrmadjust::PrepareSaveDialog(OutputType type) {
    if (type == OutputType::Cancel) return;
    const OutputFormat& format = OutputFormatOf(type);
    const QString extension = format.dialogExtension();
    saveDialog1_.defaultExtension = extension;
    saveDialog1_.initialName = QStringLiteral("*.") + extension;
    saveDialog1_.filters = {{format.description + QStringLiteral(" (*.") + extension +
                                 QLatin1Char(')'),
                             QStringLiteral("*.") + extension}};
    if (format.asksQuality) qualityWindow().showModal();
}

void TFrmadjust::CmdsaveClick() {
    // A click that got through while a run lets events run starts nothing.
    if (LongOperation::running()) return;
    if (folderSelected_)
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
    const FileDialogResult chosen = dialogs().saveFile(saveDialog1_);
    if (!chosen.accepted()) return;
    const OutputFormat& format = OutputFormatOf(type);
    // A slider percentage wins over an exact size left over from exact mode once percent mode
    // is back on: the BMP save redraws the preview first.
    if (format.redrawsBeforeSave) ScrollBar1Change();
    const QString target = chosen.path;
    const QString written =
        format.keepsExtension ? ChangeFileExtension(target, format.extension) : target;
    OutputSettings settings;
    settings.quality = format.asksQuality ? qualityWindow().Quality() : 75;
    settings.mayReplace = format.replacesOnSave;
    settings.imagejpeg = &imagejpeg_;
    const WriteOutcome outcome = WriteOutputFile(type, written, PreviewPicture(), settings);
    if (outcome == WriteOutcome::Refused) return;
    if (format.reportsOnSave) addResult(outcome, written);
    if (outcome == WriteOutcome::AlreadyExisted) {
        // The file there was kept: saying "saved" would claim a save that did not happen.
        dialogs().information(
            QStringLiteral("%1 already exists and was not replaced. Nothing was saved.").arg(written));
        return;
    }
    ui->Lblnote1->setText(QStringLiteral("New image has been saved at: "));
    ui->Lblnote2->setText(target);
}

void TFrmadjust::CmdcalculateClick() {
    if (LongOperation::running()) return;
    // The work folder is the program's own writable place; the program's folder may not be.
    const QDir folder(session_.WorkFolder);
    for (const OutputFormat& format : OutputFormats())
        RemoveFile(folder.filePath(format.estimateFile));

    const Picture& preview = PreviewPicture();
    const int quality = qualityWindow().Quality();
    QStringList lines;
    for (const OutputFormat& format : OutputFormats()) {
        const QString path = folder.filePath(format.estimateFile);
        OutputSettings settings;
        settings.quality = quality;
        settings.mayReplace = true;
        settings.imagejpeg = &imagejpeg_;
        const WriteOutcome outcome = WriteOutputFile(format.type, path, preview, settings);
        if (outcome == WriteOutcome::Refused) return;
        if (format.reportsOnSave) addResult(outcome, path);
        const std::optional<qint64> bytes = FileSizeOf(path);
        if (!bytes) throw PixError(CannotOpenFileText(path));
        QString line =
            QStringLiteral("New %1 Size = %2 bytes.").arg(format.estimateName).arg(*bytes);
        if (format.asksQuality) line += QStringLiteral(" (Compression at %1)").arg(quality);
        lines.append(line);
    }
    // The two later types' lines stand beside the TIF and metafile lines.
    QLabel* const notes[] = {ui->Lblnote1, ui->Lblnote2, ui->Lblnote3,
                             ui->Lblnote4, ui->Lblnote5, ui->Lblnote6};
    for (int i = 0; i < lines.size() && i < int(std::size(notes)); ++i) notes[i]->setText(lines[i]);
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
    if (job.type == OutputType::Cancel) {
        dialogs().information(kCancelText);
        return;
    }
    if (OutputFormatOf(job.type).asksQuality) qualityWindow().showModal();
    job.sourceFolder = selectedFolder_;
    job.outputFolder = session_.StoredImagesFolder;
    job.sizing.percent = Percent();
    job.sizing.exact = exactSizeSet_;
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
    ui->Lblnote5->clear();
    ui->Lblnote6->clear();
    results.ClearLines();
    results.show();
    processedCount_ = 0;
    BatchSummary summary;

    {
        // When the run ends, a run stopped by a damaged file included, the bar goes away and
        // the controls come back.
        struct RunEnds {
            TFrmadjust& window;
            TFrmresults& results;
            ~RunEnds() {
                results.EndProgress();
                window.UpdateControls();
            }
        } runEnds{*this, results};
        // One run at a time: what could start another save, estimate or task waits, and a
        // close request is held until the run ends (the kit defers it).
        LongOperation operation;
        UpdateControls();
        results.StartProgress(static_cast<int>(BatchFileNames(job.sourceFolder, mask).size()));
        BatchRun run;
        run.results = results.Sink();
        run.skipped = [&](const QString& sourcePath, const QString& reason) {
            results.AddSkipped(sourcePath, reason);
        };
        run.beforeFile = [&](const QString& sourcePath) {
            SetTextColor(count, kNavy);
            count->setText(QStringLiteral("Please be patient. Reading File #") +
                           QString::number(results.LineCount()) + QStringLiteral(" File name: ") +
                           sourcePath);
        };
        run.afterFile = [&](const QString& name, const ConvertedFile& file, bool first) {
            if (session_.ThumbWebpageWanted && job.type == OutputType::Jpeg && !file.skipped)
                CopyThumbnailAndPicture(session_.StoredImagesFolder, session_.WebpagesFolder,
                                        job.sourceFolder, name);
            ui->Lblnote2->setText((first ? QStringLiteral("Processing -> ")
                                         : QStringLiteral("Processing ")) + name);
            results.SetProgress(processedCount_);
            formatHost().processMessages();
        };
        // The workers convert while the window lets its events run: the Stop button among them.
        run.waiting = [] { formatHost().processMessages(); };
        run.stop = &results.StopRequest();
        run.processedCount = &processedCount_;
        // The quality is read afresh for the run, as the writer reads it each time.
        if (OutputFormatOf(job.type).asksQuality) job.quality = qualityWindow().Quality();
        summary = RunBatch(job, mask, imageHidden_, run);
    }

    // A run stopped on request offers no page: the person asked for the run to end.
    if (session_.ThumbWebpageWanted && processedCount_ > 0 && !summary.stopped)
        OfferThumbnailWebpage(session_.WebpagesFolder, job.type == OutputType::Jpeg);

    if (summary.processed == 0 && !summary.stopped) {
        results.AddLine(QStringLiteral("** No images of type ") + mask +
                        QStringLiteral(" found in this folder"));
        results.AddLine(QStringLiteral("** Select a different type or different folder"));
        count->clear();
    } else {
        if (summary.stopped) results.AddLine(StoppedLine(summary.converted, summary.listed));
        QString text = (summary.stopped ? QStringLiteral("Stopped. Total Files = ")
                                        : QStringLiteral("Finished. Total Files = ")) +
                       QString::number(summary.converted) +
                       QStringLiteral("  Note the folder location of your new files, ") +
                       QStringLiteral(
                           "shown in the box above. These are always placed in a new "
                           "folder as your existing images are never overlayed or "
                           "replaced.");
        if (summary.skipped > 0)
            text += QStringLiteral("  %1 skipped: the list says why.").arg(summary.skipped);
        count->setText(text);
    }
    ui->Lblnote1->clear();
    ui->Lblnote2->clear();
    formatHost().processMessages();
    results.WidenResultsList();
}
