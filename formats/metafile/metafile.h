#pragma once
// The metafile graphic kind: an EMF or a WMF (placeable or not), recognised by its content,
// replayed by our own players; and the EMF writer of the save paths.

#include "formats/bitmap.h"
#include "formats/graphic.h"
#include "formats/write_outcome.h"
#include "formats/screen_metrics.h"

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <memory>

struct GatedMetafile;

// The screen new metafile graphics measure themselves by (the platform layer sets the real one).
const ScreenMetrics& MetafileScreenMetrics();
void SetMetafileScreenMetrics(const ScreenMetrics& screen);

class MetafileGraphic : public Graphic {
public:
    // The screen fixes the natural size (the frame converted at its logical resolution).
    explicit MetafileGraphic(const ScreenMetrics& screen = MetafileScreenMetrics());
    ~MetafileGraphic() override;
    MetafileGraphic(const MetafileGraphic& other);
    MetafileGraphic& operator=(const MetafileGraphic&) = delete;

    GraphicKind kind() const override { return GraphicKind::Metafile; }
    std::unique_ptr<Graphic> clone() const override;
    int width() const override { return natural_.width(); }
    int height() const override { return natural_.height(); }

    // Throws "Cannot open file %s" or "Metafile is not valid".
    void loadFromFile(const QString& path) override;
    // Loads from bytes already in memory (same checks as a file).
    void loadFromBytes(const QByteArray& bytes);
    // The file's bytes as loaded: an EMF stays an EMF and a WMF its WMF bytes.
    void saveToFile(const QString& path) const override;

    void stretchDraw(Bitmap& target, const QRect& rect) const override;
    // White background, 24-bit, at the natural size.
    Bitmap toBitmap() const override;

    // Replays into rect of a 32-bit image (Format_RGB32 or ARGB32_Premultiplied), clipped to
    // the image and the rectangle.
    void render(QImage& image, const QRect& rect) const;

    bool isWmf() const;
    // A damaged record was dropped or cut the replay short.
    bool isDamaged() const;
    const QByteArray& bytes() const { return bytes_; }

private:
    ScreenMetrics screen_;
    QByteArray bytes_;
    std::unique_ptr<GatedMetafile> gated_;
    QSize natural_{0, 0};
};

// Installs the factory for GraphicKind::Metafile.
void InitMetafileModule();

// Records the 24-bit bitmap into an EMF at (0, 0) at its own size, with the screen as reference
// device (frame: the screen's physical size in 0.01 mm; no description), and writes it to path
// unless a file of that name exists (WriteNewFile). Throws PixError("Cannot create file %s")
// when the file cannot be written.
WriteOutcome WriteMetafile(const QString& path, const Bitmap& picture,
                           const ScreenMetrics& screen);
