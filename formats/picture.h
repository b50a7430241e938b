#pragma once
// The picture holder of an image control, and the one load operation every window uses.

#include "bitmap.h"
#include "graphic.h"
#include "text_utils.h"

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
    Picture(Picture&&) noexcept = default;
    Picture& operator=(Picture&&) noexcept = default;

    bool isEmpty() const { return !graphic_; }
    const Graphic* graphic() const { return graphic_.get(); }
    Graphic* graphic() { return graphic_.get(); }

    int width() const { return graphic_ ? graphic_->width() : 0; }
    int height() const { return graphic_ ? graphic_->height() : 0; }
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

// The extensions the program handles, upper case with the dot.
const QStringList& SupportedImageExtensions();
bool IsSupportedImageFile(const QString& path);

// Loads any supported file into the picture: GIF through the GIF decoder, TIFF through the TIFF
// reader, the rest by extension. Errors go to the caller.
void LoadPictureFile(const QString& path, Picture& picture);

// The start-up registrations of the picture formats, in their fixed order.
void InitPictureFormats();
