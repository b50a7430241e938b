#include "platform/folder_images.h"

#include "formats/text_utils.h"
#include "platform/file_system.h"

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
