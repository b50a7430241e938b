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
    // The kinds read later are named only where the folder has some, so a folder of the first
    // six kinds reads as it always did.
    const std::pair<int, const char*> later[] = {
        {PngCount, "Png"}, {WebpCount, "WebP"}, {HeicCount, "Heic"}, {AvifCount, "Avif"}};
    qint64 found = qint64(GifCount) + JpgCount + IcoCount + EmfCount + TifCount + BmpCount;
    for (const auto& [count, name] : later) {
        found += count;
        if (count > 0) line += QStringLiteral(", %1 %2").arg(count).arg(QLatin1String(name));
    }
    if (found > FolderImageCount) line += QStringLiteral(" (the first 5000 are listed)");
    return line;
}

FolderImageList ScanFolder(const QString& searchPattern) {
    FolderImageList list;
    const std::pair<const char*, int FolderImageList::*> kinds[] = {
        {".GIF", &FolderImageList::GifCount},   {".JPG", &FolderImageList::JpgCount},
        {".ICO", &FolderImageList::IcoCount},   {".EMF", &FolderImageList::EmfCount},
        {".TIF", &FolderImageList::TifCount},   {".BMP", &FolderImageList::BmpCount},
        {".JPEG", &FolderImageList::JpgCount},  {".JPE", &FolderImageList::JpgCount},
        {".TIFF", &FolderImageList::TifCount},  {".PNG", &FolderImageList::PngCount},
        {".WEBP", &FolderImageList::WebpCount}, {".HEIC", &FolderImageList::HeicCount},
        {".HEIF", &FolderImageList::HeicCount}, {".AVIF", &FolderImageList::AvifCount},
    };
    for (const FolderEntry& entry : ListFolder(searchPattern)) {
        if (!entry.isPlainFile()) continue;
        // Counting order: the first equal extension wins (they are all distinct anyway).
        const QString extension = AsciiUpperCase(ExtractFileExtension(entry.name));
        int* count = nullptr;
        for (const auto& [name, member] : kinds)
            if (extension == QLatin1String(name)) {
                count = &(list.*member);
                break;
            }
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
