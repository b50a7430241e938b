#pragma once
// Icon files: the icon graphic kind. An icon shows the entry a desktop would use at 32 x 32
// (that size first, else the largest entry), unscaled, with its transparency.

#include "formats/graphic.h"

#include <QByteArray>
#include <QImage>
#include <vector>

struct IconEntry {
    int width = 0;  // as the directory states them (0 there means 256)
    int height = 0;
    int bitCount = 0;
    uint32_t size = 0;
    uint32_t offset = 0;
};

// The icon directory; throws "Icon image is not valid" when it is damaged or empty.
std::vector<IconEntry> ReadIconDirectory(const QByteArray& bytes);
// Which entry is shown: an exact 32 x 32 one (deepest first), else the largest (deepest first).
int ChooseIconEntry(const std::vector<IconEntry>& entries);
// The chosen entry as a non-premultiplied ARGB32 image.
QImage DecodeIcon(const QByteArray& bytes);

class IconGraphic : public Graphic {
public:
    GraphicKind kind() const override { return GraphicKind::Icon; }
    std::unique_ptr<Graphic> clone() const override;
    int width() const override { return image_.width(); }
    int height() const override { return image_.height(); }
    void loadFromFile(const QString& path) override;
    // Writes the icon file as it was read.
    void saveToFile(const QString& path) const override;
    // Unscaled at the rectangle's top-left, blended over the target, clipped to the rectangle.
    void stretchDraw(Bitmap& target, const QRect& rect) const override;
    // The icon over a white background.
    Bitmap toBitmap() const override;

    const QImage& image() const { return image_; }

private:
    QByteArray bytes_;
    QImage image_;
};
