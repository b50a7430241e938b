#include "picture.h"

#include "bmp.h"
#include "errors.h"
#include "host.h"
#include "gif.h"
#include "ico.h"
#include "jpeg.h"
#include "metafile.h"
#include "picture_formats.h"
#include "tiff_reader.h"

#include <algorithm>

namespace {

// Every run of separators becomes one: callers join a folder that ends in a separator with a
// separator and a name.
QString reduceSeparators(const QString& path) {
    QString out;
    out.reserve(path.size());
    for (const QChar c : path) {
        if (IsPathSeparator(c) && !out.isEmpty() && IsPathSeparator(out.back())) continue;
        out.append(c);
    }
    return out;
}

QString unknownExtensionText(const QString& extension) {
    return QStringLiteral("Unknown picture file extension (.%1)").arg(extension);
}

// What a load of a kind whose module is not in the program says (the metafile kind has its
// own module).
QString missingKindText(GraphicKind kind, const QString& extension) {
    switch (kind) {
        case GraphicKind::Bitmap: return QStringLiteral("Bitmap image is not valid");
        case GraphicKind::Icon: return QStringLiteral("Icon image is not valid");
        case GraphicKind::Metafile: return QStringLiteral("Metafile is not valid");
        default: return unknownExtensionText(extension);
    }
}

}  // namespace

// ---- Picture --------------------------------------------------------------------------------

Picture::Picture(const Picture& other) : graphic_(other.graphic_ ? other.graphic_->clone() : nullptr) {}

Picture& Picture::operator=(const Picture& other) {
    if (this != &other) assign(other);
    return *this;
}

void Picture::draw(Bitmap& target, int x, int y) const {
    if (graphic_) graphic_->draw(target, x, y);
}

void Picture::stretchDraw(Bitmap& target, const QRect& rect) const {
    if (graphic_ && target.bitCount() >= 24) graphic_->stretchDraw(target, rect);
}

void Picture::assign(const Picture& other) {
    if (this == &other) return;
    setGraphic(other.graphic_ ? other.graphic_->clone() : nullptr);
}

void Picture::assign(const Bitmap& bitmap) { setGraphic(std::make_unique<BitmapGraphic>(bitmap)); }

void Picture::assign(Bitmap&& bitmap) {
    setGraphic(std::make_unique<BitmapGraphic>(std::move(bitmap)));
}

void Picture::assign(const Graphic& graphic) { setGraphic(graphic.clone()); }

void Picture::setGraphic(std::unique_ptr<Graphic> graphic) {
    graphic_ = std::move(graphic);
    changed();
}

Bitmap& Picture::bitmap() {
    if (!graphic_ || graphic_->kind() != GraphicKind::Bitmap) setGraphic(std::make_unique<BitmapGraphic>());
    return static_cast<BitmapGraphic*>(graphic_.get())->bitmap();
}

void Picture::loadFromFile(const QString& path) {
    QString extension = ExtractFileExtension(path);
    if (extension.startsWith(u'.')) extension.remove(0, 1);
    const PictureFormatEntry* entry = FindPictureFormat(extension);
    if (!entry) throw PixError(unknownExtensionText(extension));
    std::unique_ptr<Graphic> graphic = MakeGraphic(entry->kind);
    if (!graphic) throw PixError(missingKindText(entry->kind, extension));
    graphic->loadFromFile(path);
    setGraphic(std::move(graphic));
}

void Picture::saveToFile(const QString& path) const {
    if (graphic_) graphic_->saveToFile(path);
}

int Picture::addObserver(std::function<void()> observer) {
    observers_.emplace_back(nextObserverId_, std::move(observer));
    return nextObserverId_++;
}

void Picture::removeObserver(int id) {
    observers_.erase(std::remove_if(observers_.begin(), observers_.end(),
                                    [id](const auto& o) { return o.first == id; }),
                     observers_.end());
}

void Picture::changed() const {
    // A copy, so an observer may remove itself.
    const auto observers = observers_;
    for (const auto& o : observers) o.second();
}

// ---- extensions and loading -----------------------------------------------------------------

const QStringList& SupportedImageExtensions() {
    static const QStringList extensions{".JPG", ".GIF", ".BMP", ".ICO", ".EMF", ".TIF"};
    return extensions;
}

bool IsSupportedImageFile(const QString& path) {
    return SupportedImageExtensions().contains(AsciiUpperCase(ExtractFileExtension(path)));
}

void LoadPictureFile(const QString& path, Picture& picture) {
    const QString normalised = reduceSeparators(path);
    const QString extension = AsciiUpperCase(ExtractFileExtension(normalised));
    if (extension == QLatin1String(".GIF")) {
        TGifFile gif;
        ReadGifFile(normalised, gif);
        picture.assign(FirstImageBitmap(gif));
    } else if (extension == QLatin1String(".TIF")) {
        Bitmap& bitmap = picture.bitmap();
        const bool decoded = ReadTiffIntoBitmap(normalised, bitmap);
        picture.changed();
        // Nothing decoded and the reader has said why: end the user action without a second
        // report, so a pick keeps its selection and a batch skips the file.
        if (!decoded) throw SilentAbort();
    } else {
        picture.loadFromFile(normalised);
    }
    formatHost().processMessages();
}

void InitPictureFormats() {
    SetGraphicFactory(GraphicKind::Bitmap, [] { return std::make_unique<BitmapGraphic>(); });
    SetGraphicFactory(GraphicKind::Icon, [] { return std::make_unique<IconGraphic>(); });
    InitMetafileModule();
    RegisterPictureFormat(QStringLiteral("wmf"), QStringLiteral("Metafiles"), GraphicKind::Metafile);
    RegisterPictureFormat(QStringLiteral("emf"), QStringLiteral("Enhanced Metafiles"), GraphicKind::Metafile);
    RegisterPictureFormat(QStringLiteral("ico"), QStringLiteral("Icons"), GraphicKind::Icon);
    RegisterPictureFormat(QStringLiteral("bmp"), QStringLiteral("Bitmaps"), GraphicKind::Bitmap);
    InitJpegModule();
    InitGifModule();
}
