#include "selection.h"

#include "formats/text_utils.h"
#include "platform/file_system.h"

#include <cmath>

FolderImageList FolderImages;

QString FolderImageList::summaryLine() const {
    QString line = QStringLiteral(
                       "%1 Images Found -> %2 Jpeg, %3 Gif, %4 Bitmap, %5 Metafile, "
                       "%6 Icon, %7 Tif")
                       .arg(FolderImageCount)
                       .arg(JpgCount)
                       .arg(GifCount)
                       .arg(BmpCount)
                       .arg(EmfCount)
                       .arg(IcoCount)
                       .arg(TifCount);
    const qint64 found = qint64(GifCount) + JpgCount + IcoCount + EmfCount + TifCount + BmpCount;
    if (found > FolderImageCount) line += QStringLiteral(" (the first 5000 are listed)");
    return line;
}

FolderImageList ScanFolder(const QString& searchPattern) {
    FolderImageList list;
    for (const FolderEntry& entry : ListFolder(searchPattern)) {
        if (!entry.isPlainFile()) continue;
        // Counting order: the first equal extension wins (they are all distinct anyway).
        const QString extension = AsciiUpperCase(ExtractFileExtension(entry.name));
        int* count = nullptr;
        if (extension == QLatin1String(".GIF"))
            count = &list.GifCount;
        else if (extension == QLatin1String(".JPG"))
            count = &list.JpgCount;
        else if (extension == QLatin1String(".ICO"))
            count = &list.IcoCount;
        else if (extension == QLatin1String(".EMF"))
            count = &list.EmfCount;
        else if (extension == QLatin1String(".TIF"))
            count = &list.TifCount;
        else if (extension == QLatin1String(".BMP"))
            count = &list.BmpCount;
        if (!count) continue;
        ++*count;
        // The list keeps the first images in listing order; the counts go on.
        if (list.FolderImageCount < kMaxFolderImages) {
            list.FolderImageNames.append(entry.name);
            ++list.FolderImageCount;
        }
    }
    return list;
}

QSize SampleBoxSize(int width, int height) {
    constexpr int kBoxWidth = 110, kBoxHeight = 78;
    double newWidth = kBoxWidth;
    // The ratio alone is single precision: 300 × 400 puts the quotient just below 58.5, so 58.
    if (height > width) {
        if (height > kBoxHeight) newWidth = kBoxHeight / double(float(height) / float(width));
    } else if (width > kBoxWidth) {
        newWidth = kBoxHeight * double(float(width) / float(height));
    }
    // Halves to even; a sample far wider than any screen is clamped only to stay an int.
    const double rounded = std::nearbyint(newWidth);
    const int boxWidth = rounded > 2147483647.0 ? 2147483647 : int(rounded);
    return {boxWidth, kBoxHeight};
}
