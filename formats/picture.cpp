#include "formats/picture.h"

#include "formats/bmp/bmp.h"
#include "formats/bmp/ico.h"
#include "formats/errors.h"
#include "formats/gif/gif.h"
#include "formats/heif/heif.h"
#include "formats/host.h"
#include "formats/jpeg/jpeg.h"
#include "formats/metafile/metafile.h"
#include "formats/picture_formats.h"
#include "formats/png/png.h"
#include "formats/tiff/tiff_libtiff.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/webp/webp.h"

#include <QFileInfo>
#include <algorithm>
#include <cstring>

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

Picture::Picture(Picture&& other) noexcept : graphic_(std::move(other.graphic_)) {}

Picture& Picture::operator=(Picture&& other) {
    if (this == &other) return *this;
    graphic_ = std::move(other.graphic_);
    changed();
    other.changed();
    return *this;
}

void Picture::draw(Bitmap& target, int x, int y) const {
    RequireDrawableTarget(target);
    if (graphic_) graphic_->draw(target, x, y);
}

void Picture::stretchDraw(Bitmap& target, const QRect& rect) const {
    RequireDrawableTarget(target);
    if (graphic_) graphic_->stretchDraw(target, rect);
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

// ---- the one stretch ------------------------------------------------------------------------

namespace {

// A new 24-bit bitmap of size for a stretch, checked first so a huge request says why.
Bitmap newStretchTarget(int width, int height) {
    if (Bitmap::matrixBytes(uint32_t(width), uint32_t(height), 24) > kMaxBitmapBytes)
        throw PixError(PictureTooLargeText(uint64_t(width), uint64_t(height), kMaxBitmapBytes));
    Bitmap out;
    out.create(width, height, 24);
    return out;
}

// Raster kinds cover every pixel of their rectangle; the rest leave the white showing.
bool coversItsRectangle(const Graphic& graphic) {
    const GraphicKind kind = graphic.kind();
    return (kind == GraphicKind::Bitmap || kind == GraphicKind::GifBitmap ||
            kind == GraphicKind::Jpeg || kind == GraphicKind::Png || kind == GraphicKind::WebP ||
            kind == GraphicKind::Heif) &&
           graphic.width() > 0 && graphic.height() > 0;
}

void fillWhite(Bitmap& bitmap) {
    if (!bitmap.isEmpty()) std::memset(bitmap.bits(), 0xFF, bitmap.byteCount());
}

}  // namespace

Bitmap StretchPicture(const Picture& source, int w, int h) {
    return StretchPicturePart(source, w, h, QRect(0, 0, std::max(w, 0), std::max(h, 0)));
}

Bitmap StretchPicturePart(const Picture& source, int w, int h, const QRect& part) {
    if (w < 0 || h < 0 || part.width() < 0 || part.height() < 0)
        throw PixError(RangeCheckErrorText());
    Bitmap out = newStretchTarget(part.width(), part.height());
    if (out.isEmpty()) return out;
    const Graphic* graphic = source.graphic();
    const QRect whole(0, 0, w, h);
    if (!graphic || !coversItsRectangle(*graphic) || !whole.contains(part)) fillWhite(out);
    if (!graphic || w == 0 || h == 0) return out;

    // The whole rectangle, placed so that the part's corner lands on the bitmap's (0, 0).
    const QRect placed = whole.translated(-part.topLeft());
    if (graphic->kind() == GraphicKind::Jpeg && part != whole) {
        // A part is asked for again and again (a preview scrolled at a large zoom): decode once
        // and sample the kept pixels every time.
        const Bitmap& pixels = static_cast<const JpegImage*>(graphic)->decodedBitmap();
        StretchBitmapInto(pixels, out, placed.x(), placed.y(), w, h);
        return out;
    }
    graphic->stretchDraw(out, placed);
    return out;
}

// ---- extensions and loading -----------------------------------------------------------------

const QStringList& SupportedImageExtensions() {
    // The six the program began with first, in their order; then the other spellings of JPEG
    // and TIFF, and the kinds read through libpng, libwebp and libheif.
    static const QStringList extensions{".JPG",  ".GIF",  ".BMP",  ".ICO",  ".EMF",
                                        ".TIF",  ".JPEG", ".JPE",  ".TIFF", ".PNG",
                                        ".WEBP", ".HEIC", ".HEIF", ".AVIF"};
    return extensions;
}

bool IsSupportedImageFile(const QString& path) {
    return SupportedImageExtensions().contains(AsciiUpperCase(ExtractFileExtension(path)));
}

LoadOutcome LoadPictureFile(const QString& path, Picture& picture) {
    const QString normalised = reduceSeparators(path);
    // A pipe or a device named like a picture is never opened: reading one can wait for ever.
    const QFileInfo info(normalised);
    if (info.exists() && !info.isFile() && !info.isDir())
        throw PixError(CannotOpenFileText(normalised));
    const QString extension = AsciiUpperCase(ExtractFileExtension(normalised));
    LoadOutcome outcome = LoadOutcome::Loaded;
    if (extension == QLatin1String(".GIF")) {
        TGifFile gif;
        ReadGifFile(normalised, gif);
        picture.assign(FirstImageBitmap(gif));
    } else if (extension == QLatin1String(".TIF") || extension == QLatin1String(".TIFF")) {
        // Read aside, so a file that cannot be opened or holds nothing readable leaves the
        // picture as it was. What the reader lacks a feature for, libtiff decodes first; only
        // a file neither can read gets the reader's message.
        Bitmap bitmap;
        if (ReadTiffIntoBitmap(normalised, bitmap, ReadTiffDirectoryWithLibtiff)) {
            picture.assign(std::move(bitmap));
        } else {
            outcome = LoadOutcome::Rejected;
        }
    } else {
        picture.loadFromFile(normalised);
    }
    formatHost().processMessages();
    return outcome;
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
    InitPngModule();
    InitWebpModule();
    InitHeifModule();
}
