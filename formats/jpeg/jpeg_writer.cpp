#include "formats/jpeg/jpeg_writer.h"

#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/host.h"
#include "formats/jpeg/jpeg.h"

#include <memory>

WriteOutcome WriteJpegFile(const QString& target, const Picture& source, int quality,
                           Picture* imagejpeg) {
    if (quality < 1 || quality > 100) throw PixError(RangeCheckErrorText());
    // A picture of width or height 0 has nothing libjpeg could encode.
    if (source.width() <= 0 || source.height() <= 0) {
        formatHost().showMessage(
            QStringLiteral("The picture is empty: nothing was written to %1").arg(target));
        return WriteOutcome::Refused;
    }
    auto jpeg = std::make_unique<JpegImage>();
    jpeg->assignBitmap(source.graphic()->toBitmap());
    jpeg->setQuality(quality);
    jpeg->compress();
    const QByteArray data = jpeg->data();
    if (imagejpeg) imagejpeg->setGraphic(std::move(jpeg));

    return WriteNewFile(target, data);
}
