#pragma once
// The picture holder of an image control, and the one load operation every window uses.

#include "formats/bitmap.h"
#include "formats/graphic.h"
#include "formats/text_utils.h"

#include <QByteArray>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

class Picture {
public:
    Picture() = default;
    // Copies hold their own graphic (never shared pixels); observers stay with their picture.
    Picture(const Picture& other);
    Picture& operator=(const Picture& other);
    // Moves take the graphic only: each picture keeps its own observers (an image control
    // stays bound to its own picture). Move assignment notifies the target's observers and,
    // since it is left empty, the source's.
    Picture(Picture&& other) noexcept;
    Picture& operator=(Picture&& other);

    bool isEmpty() const { return !graphic_; }
    const Graphic* graphic() const { return graphic_.get(); }
    Graphic* graphic() { return graphic_.get(); }

    int width() const { return graphic_ ? graphic_->width() : 0; }
    int height() const { return graphic_ ? graphic_->height() : 0; }
    // Draw into an existing 24- or 32-bit bitmap (another depth throws); StretchPicture below
    // makes a new, white one.
    void draw(Bitmap& target, int x, int y) const;
    void stretchDraw(Bitmap& target, const QRect& rect) const;

    // Assign: the picture gets a copy of the other picture's graphic, or of the bitmap.
    void assign(const Picture& other);
    void assign(const Bitmap& bitmap);
    void assign(Bitmap&& bitmap);  // takes the pixels over: a decoded image is not copied
    void assign(const Graphic& graphic);
    // Installs a graphic (nullptr empties the picture) and notifies the observers.
    void setGraphic(std::unique_ptr<Graphic> graphic);
    void clear() { setGraphic(nullptr); }

    // The picture's bitmap: a graphic of another kind (or none) is first replaced by a new,
    // empty bitmap. Whoever changes the pixels through it calls changed().
    Bitmap& bitmap();

    // Load-by-extension through the picture-format registry. On failure the previous graphic
    // stays.
    void loadFromFile(const QString& path);
    // The graphic writes itself in its own format.
    void saveToFile(const QString& path) const;

    // Change notification: an image control repaints.
    int addObserver(std::function<void()> observer);
    void removeObserver(int id);
    void changed() const;

private:
    std::unique_ptr<Graphic> graphic_;
    std::vector<std::pair<int, std::function<void()>>> observers_;
    int nextObserverId_ = 1;
};

// The one stretch every window, batch and sample uses: a new 24-bit bitmap of w x h, white,
// with the source drawn into it. Rasters are sampled by pixel centres; a JPEG not yet decoded
// is streamed from its scanlines (no full-size bitmap) and one already decoded is sampled from
// its pixels; an icon is drawn unscaled at (0, 0); a metafile is replayed into the whole
// rectangle. An empty source gives a white bitmap. w or h 0 gives an empty bitmap; a negative
// size throws "Range check error"; a size whose matrix exceeds kMaxBitmapBytes throws a
// PixError naming the limit.
Bitmap StretchPicture(const Picture& source, int w, int h);
// The pixels the rectangle part would have in StretchPicture(source, w, h), as a 24-bit bitmap
// of part.size(); what lies outside (0, 0, w, h) is white. Lets a preview paint only what shows
// of a huge virtual size. A JPEG is decoded on the first call and its pixels kept, so later
// calls never decode again. Negative sizes throw "Range check error"; the part's matrix is
// bounded as in StretchPicture.
Bitmap StretchPicturePart(const Picture& source, int w, int h, const QRect& part);

// The extensions the program handles, upper case with the dot.
const QStringList& SupportedImageExtensions();
bool IsSupportedImageFile(const QString& path);

// What LoadPictureFile did when it did not throw.
enum class LoadOutcome {
    Loaded,    // the picture holds the file's image and its observers were told
    Rejected,  // a TIFF neither the reader nor libtiff could read: the reader has shown its own
               // message and decoded nothing;
               // the picture is unchanged. No error report should follow: the batch skips the
               // file, the folder viewer shows its name without a picture, a pick keeps the
               // previous selection.
};

// Loads any supported file into the picture: GIF through the GIF decoder; TIFF (.TIF or .TIFF)
// through the TIFF reader, with libtiff for what the reader lacks a feature for; the rest by
// extension (PNG, WebP, HEIC, HEIF and AVIF too, decoded through their libraries). Every other
// failure (an unknown extension, a file that cannot be opened, a pipe or device, which is never
// opened, a damaged GIF, BMP, ICO, JPEG, PNG, WebP, HEIF or metafile, a picture over the size
// limit) throws PixError with its text and leaves the picture's previous graphic in place.
[[nodiscard]] LoadOutcome LoadPictureFile(const QString& path, Picture& picture);

// The start-up registrations of the picture formats, in their fixed order.
void InitPictureFormats();
