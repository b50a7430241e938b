#pragma once
// The file types a save can write, one row each: what the output-type window offers, what the
// save dialog and the batch name the files, and the writer. A new output type is a new row.

#include "formats/picture.h"
#include "formats/write_outcome.h"

#include <QString>
#include <vector>

// What the output-type window offers (ICON is never written).
enum class OutputType { Jpeg, Bitmap, Tif, Metafile, Png, Webp, Cancel };

// How one file is written: the JPEG and WebP quality, whether a file of that name may be replaced,
// and where the JPEG encoding is kept when wanted.
struct OutputSettings {
    int quality = 75;
    bool mayReplace = false;
    Picture* imagejpeg = nullptr;
};

struct OutputFormat {
    OutputType type;
    QString extension;        // with the dot, as the batch names its files: ".JPG"
    QString description;      // the save dialog's filter: description + " (*.JPG)"
    QString estimateName;     // the size estimate's line: "New " + name + " Size = "
    QString estimateFile;     // the estimate's temporary file in the work folder
    bool asksQuality;         // the quality window follows the choice of this type
    bool replacesOnSave;      // the single save replaces a file of the chosen name
    bool reportsOnSave;       // the single save and the estimate add a result line
    bool keepsExtension;      // the single save writes under this extension whatever was typed
    bool redrawsBeforeSave;   // the single save redraws the preview at the slider first
    // Writes the picture's pixels; the caller has checked that it has some.
    WriteOutcome (*write)(const QString& path, const Picture& picture,
                          const OutputSettings& settings);

    // The dialog's extension, without the dot: "JPG".
    QString dialogExtension() const { return extension.mid(1); }
};

// Every type that writes, in the order the output-type window lists them.
const std::vector<OutputFormat>& OutputFormats();
// The row of a type (Cancel has none: a range error).
const OutputFormat& OutputFormatOf(OutputType type);

// Writes the picture as the type into path. A picture without pixels is refused with a
// message; otherwise the row's writer decides, under the never-replace rule unless
// settings.mayReplace. Failures throw.
WriteOutcome WriteOutputFile(OutputType type, const QString& path, const Picture& picture,
                             const OutputSettings& settings);

// The result line of a written or kept file: "  Successfully Created -> " or
// "  File already exists -> " and the path; empty for a refusal, which has no line.
QString ResultLine(WriteOutcome outcome, const QString& path);
