#pragma once
// What loading a file through LoadPictureFile ended in, for the hostile-input tests: a picture,
// one of the loaders' own messages, or something no loader documents (a foreign exception, a
// message box with an unknown text).
#include "formats/errors.h"
#include "formats/picture.h"
#include "support/recording_host.h"

#include <QString>
#include <QStringList>
#include <exception>

struct LoadingOutcome {
    bool loaded = false;
    QString error;          // the thrown text ("" when none)
    QStringList messages;   // message boxes the TIFF reader showed
    QString undocumented;   // why the outcome is not one the loaders document ("" when it is)
    QString describe() const {
        if (!undocumented.isEmpty()) return QStringLiteral("UNDOCUMENTED: ") + undocumented;
        if (loaded) return QStringLiteral("loaded");
        return error.isEmpty() ? QStringLiteral("shown: ") + messages.join(QStringLiteral(" | "))
                               : QStringLiteral("error: ") + error;
    }
};

inline bool IsDocumentedLoadingText(const QString& text) {
    static const QStringList prefixes = {
        // picture loading
        "Bitmap image is not valid", "Icon image is not valid", "Metafile is not valid",
        "JPEG error #", "Cannot open file ", "Unknown picture file extension (.",
        "Image is too large to load (", "Out of memory",
        // PNG, WebP and HEIF, through their libraries
        "Cannot read the PNG image ", "Cannot read the WebP image ", "Cannot read the HEIF image ",
        // GIF decoder
        "Gif Version must be 87a or 89a", "Bad code", "Number of colors (",
        "Unrecognized extension block.", "List index out of bounds (",
        "Dynamic array index out of bounds",
        "error in TBigByteArray.create:", "Row doesn't have equal number of elements as Matrix row",
        // TIFF reader (message boxes)
        "Error reading tag ", "Error reading image data", "Error evaluating Photometric",
        "Error: Bits Per Sample", "Cant read compressed ", "Out Of Memory ", "<"};
    for (const QString& prefix : prefixes)
        if (text.startsWith(prefix)) return true;
    return false;
}

// Loads path and classifies the outcome; never throws. With drawThumbnail the loaded picture
// is also drawn at 40 x 30, as a folder view would, and a failure there is the outcome.
inline LoadingOutcome LoadAndClassify(const QString& path, bool drawThumbnail = false) {
    LoadingOutcome outcome;
    RecordingHost host;
    Picture picture;
    try {
        if (LoadPictureFile(path, picture) == LoadOutcome::Rejected) {
            // Only the TIFF reader rejects a file (when libtiff cannot read it either), and only
            // after it has said why.
            if (host.messages.isEmpty()) outcome.undocumented = QStringLiteral("rejected, nothing shown");
            if (!picture.isEmpty()) outcome.undocumented = QStringLiteral("rejected, yet a picture came out");
            outcome.messages = host.messages;
            return outcome;
        }
        if (drawThumbnail) {
            Bitmap thumbnail;
            thumbnail.create(40, 30, 24);
            picture.stretchDraw(thumbnail, QRect(0, 0, 40, 30));
        }
        outcome.loaded = true;
    } catch (const PixError& e) {
        outcome.error = e.text();
        if (!IsDocumentedLoadingText(e.text())) outcome.undocumented = e.text();
    } catch (const std::exception& e) {
        outcome.undocumented = QStringLiteral("foreign exception: ") + QString::fromUtf8(e.what());
    }
    outcome.messages = host.messages;
    for (const QString& message : host.messages)
        if (!IsDocumentedLoadingText(message)) outcome.undocumented = QStringLiteral("shown: ") + message;
    return outcome;
}
