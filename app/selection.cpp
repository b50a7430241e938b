#include "selection.h"

#include "formats/text_utils.h"
#include "platform/file_system.h"

FolderImageList FolderImages;

QString FolderImageList::summaryLine() const {
    return QStringLiteral("%1 Images Found -> %2 Jpeg, %3 Gif, %4 Bitmap, %5 Metafile, %6 Icon, %7 Tif")
        .arg(FolderImageCount)
        .arg(JpgCount)
        .arg(GifCount)
        .arg(BmpCount)
        .arg(EmfCount)
        .arg(IcoCount)
        .arg(TifCount);
}

FolderImageList ScanFolder(const QString& searchPattern) {
    FolderImageList list;
    int FolderImageList::*const counters[] = {
        &FolderImageList::GifCount, &FolderImageList::JpgCount, &FolderImageList::IcoCount,
        &FolderImageList::EmfCount, &FolderImageList::TifCount, &FolderImageList::BmpCount};
    static const QString kinds[] = {".GIF", ".JPG", ".ICO", ".EMF", ".TIF", ".BMP"};
    for (const FolderEntry& entry : ListFolder(searchPattern)) {
        if (!entry.isPlainFile()) continue;
        const QString extension = AsciiUpperCase(ExtractFileExtension(entry.name));
        for (int i = 0; i < 6; ++i) {
            if (extension != kinds[i]) continue;
            // The list holds 5000 names; further images are neither listed nor counted.
            if (list.FolderImageCount >= kMaxFolderImages) break;
            ++(list.*counters[i]);
            ++list.FolderImageCount;
            list.FolderImageNames.append(entry.name);
            break;
        }
    }
    return list;
}
