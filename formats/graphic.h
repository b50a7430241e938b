#pragma once
// One graphic of a picture holder: a bitmap, an icon, a metafile, a JPEG image, the GIF bitmap
// kind, or a PNG, WebP or HEIF image. The canvas every graphic draws on is the program's 24-bit
// Bitmap.

#include "formats/bitmap.h"

#include <QRect>
#include <QString>
#include <memory>

enum class GraphicKind { Bitmap, Icon, Metafile, Jpeg, GifBitmap, Png, WebP, Heif };
inline constexpr int kGraphicKindCount = int(GraphicKind::Heif) + 1;

class Graphic {
public:
    virtual ~Graphic() = default;
    virtual GraphicKind kind() const = 0;
    // A deep copy: copies never share pixels.
    virtual std::unique_ptr<Graphic> clone() const = 0;

    virtual int width() const = 0;
    virtual int height() const = 0;

    // Reads the file; throws PixError with the kind's own message. On failure the graphic is
    // left unusable and the caller drops it.
    virtual void loadFromFile(const QString& path) = 0;
    // Writes the graphic in its own format.
    virtual void saveToFile(const QString& path) const = 0;

    // Stretch-draws into rect of a 24- or 32-bit target (another depth throws), clipped to it: rasters by
    // nearest-neighbour pixel centres, an icon unscaled at the rectangle's top-left, a metafile
    // replayed into the rectangle.
    virtual void stretchDraw(Bitmap& target, const QRect& rect) const = 0;
    // Draws at the natural size with the top-left corner at (x, y).
    virtual void draw(Bitmap& target, int x, int y) const {
        stretchDraw(target, QRect(x, y, width(), height()));
    }
    // The graphic as a bitmap of its natural size: rasters at their own depth, the rest 24-bit.
    virtual Bitmap toBitmap() const = 0;
};
