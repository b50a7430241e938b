#include "convert/output_types.h"

#include "formats/bmp/bmp.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/host.h"
#include "formats/jpeg/jpeg_writer.h"
#include "formats/metafile/metafile.h"
#include "formats/png/png_writer.h"
#include "formats/tiff/tiff_writer.h"
#include "formats/webp/webp_writer.h"

#include <QIODevice>

namespace {

WriteOutcome WriteJpeg(const QString& path, const Picture& picture, const OutputSettings& s) {
    return WriteJpegFile(path, picture, s.quality, s.imagejpeg);
}

WriteOutcome WriteBmp(const QString& path, const Picture& picture, const OutputSettings& s) {
    const Bitmap bitmap = picture.graphic()->toBitmap();
    if (!s.mayReplace) return WriteNewFile(path, EncodeBmp(bitmap));
    SaveBitmapAsBmp(bitmap, path);
    return WriteOutcome::Written;
}

WriteOutcome WriteTif(const QString& path, const Picture& picture, const OutputSettings& s) {
    const Bitmap bitmap = picture.graphic()->toBitmap();
    if (!s.mayReplace)
        return WriteNewFile(path, [&bitmap](QIODevice& out) { WriteTiffToStream(bitmap, out); });
    SaveBitmapAsTiff(bitmap, path);
    return WriteOutcome::Written;
}

WriteOutcome WriteEmf(const QString& path, const Picture& picture, const OutputSettings&) {
    return WriteMetafile(path, picture.graphic()->toBitmap(), MetafileScreenMetrics());
}

// The PNG and WebP files are small beside the picture: encoded whole, then written by the one
// careful writer.
WriteOutcome WriteEncoded(const QString& path, const QByteArray& bytes, const OutputSettings& s) {
    if (!s.mayReplace) return WriteNewFile(path, bytes);
    WriteWholeFile(path, bytes, true);
    return WriteOutcome::Written;
}

WriteOutcome WritePng(const QString& path, const Picture& picture, const OutputSettings& s) {
    return WriteEncoded(path, EncodePng(picture.graphic()->toBitmap()), s);
}

WriteOutcome WriteWebp(const QString& path, const Picture& picture, const OutputSettings& s) {
    return WriteEncoded(path, EncodeWebp(picture.graphic()->toBitmap(), s.quality), s);
}

}  // namespace

const std::vector<OutputFormat>& OutputFormats() {
    static const std::vector<OutputFormat> formats = {
        {OutputType::Jpeg, QStringLiteral(".JPG"), QStringLiteral("Jpeg"), QStringLiteral("Jpeg"),
         QStringLiteral("Temp.jpg"), true, false, true, false, false, WriteJpeg},
        {OutputType::Bitmap, QStringLiteral(".BMP"), QStringLiteral("Bitmap"),
         QStringLiteral("Bitmap"), QStringLiteral("Temp.bmp"), false, true, false, false, true,
         WriteBmp},
        {OutputType::Tif, QStringLiteral(".TIF"), QStringLiteral("Tif"), QStringLiteral("Tif"),
         QStringLiteral("Temp.tif"), false, true, false, true, false, WriteTif},
        {OutputType::Metafile, QStringLiteral(".EMF"), QStringLiteral("Metafile"),
         QStringLiteral("Meta"), QStringLiteral("Temp.emf"), false, false, true, false, false,
         WriteEmf},
        // Never replacing, like JPEG, and without the JPEG writer's habit of adding result lines
        // to the estimate; written under their own extension whatever was typed, like TIF, so
        // a PNG never lands in a file named .jpg.
        {OutputType::Png, QStringLiteral(".PNG"), QStringLiteral("Png"), QStringLiteral("Png"),
         QStringLiteral("Temp.png"), false, false, false, true, false, WritePng},
        {OutputType::Webp, QStringLiteral(".WEBP"), QStringLiteral("WebP"), QStringLiteral("WebP"),
         QStringLiteral("Temp.webp"), true, false, false, true, false, WriteWebp},
    };
    return formats;
}

const OutputFormat& OutputFormatOf(OutputType type) {
    for (const OutputFormat& format : OutputFormats())
        if (format.type == type) return format;
    throw PixError(RangeCheckErrorText());
}

WriteOutcome WriteOutputFile(OutputType type, const QString& path, const Picture& picture,
                             const OutputSettings& settings) {
    const OutputFormat& format = OutputFormatOf(type);
    // Nothing can be made of a picture without pixels; say so rather than write a broken file.
    if (picture.width() <= 0 || picture.height() <= 0) {
        formatHost().showMessage(
            QStringLiteral("The picture is empty: nothing was written to %1").arg(path));
        return WriteOutcome::Refused;
    }
    return format.write(path, picture, settings);
}

QString ResultLine(WriteOutcome outcome, const QString& path) {
    switch (outcome) {
        case WriteOutcome::Written: return QStringLiteral("  Successfully Created -> ") + path;
        case WriteOutcome::AlreadyExisted: return QStringLiteral("  File already exists -> ") + path;
        case WriteOutcome::Refused: break;
    }
    return {};
}
