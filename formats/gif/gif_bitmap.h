#pragma once
// TGifBitmap, the picture kind registered for "gif": loading reads the whole GIF with the GIF
// decoder (gif.h) and keeps its first image as an 8-bit palette bitmap, made
// from GifImageToBmpStream's bytes. It draws and stretches by nearest-neighbour pixel centres
// and saves itself as that 8-bit BMP.

#include "formats/bitmap.h"
#include "formats/graphic.h"

class TGifBitmap final : public Graphic {
public:
    TGifBitmap() = default;
    explicit TGifBitmap(Bitmap bitmap) : bitmap_(std::move(bitmap)) {}

    GraphicKind kind() const override { return GraphicKind::GifBitmap; }
    std::unique_ptr<Graphic> clone() const override {
        return std::make_unique<TGifBitmap>(bitmap_);
    }

    int width() const override { return bitmap_.width(); }
    int height() const override { return bitmap_.height(); }

    // Throws the decoder's errors, or "Cannot open file <path>".
    void loadFromFile(const QString& path) override;
    // The 8-bit BMP, byte for byte as GifImageToBmpStream lays it out.
    void saveToFile(const QString& path) const override;

    void stretchDraw(Bitmap& target, const QRect& rect) const override;
    // The 8-bit palette bitmap.
    Bitmap toBitmap() const override { return bitmap_; }

    const Bitmap& bitmap() const { return bitmap_; }

private:
    Bitmap bitmap_;
};
