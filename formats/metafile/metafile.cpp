#include "formats/metafile/metafile.h"

#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/metafile/metafile_gate.h"
#include "formats/metafile/metafile_players.h"
#include "formats/picture_formats.h"

#include <QPainter>
#include <cstring>

namespace {

ScreenMetrics& moduleScreen() {
    static ScreenMetrics screen;
    return screen;
}

// Font sizes are given to Qt in points; at 72 dots per inch a point is one pixel.
constexpr int kPointPerPixelDotsPerMetre = 2835;

QImage canvasImage(int width, int height) {
    if (Bitmap::matrixBytes(uint32_t(width), uint32_t(height), 32) > kMaxBitmapBytes)
        throw PixError(OutOfMemoryText());
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull()) throw PixError(OutOfMemoryText());
    return image;
}

}  // namespace

const ScreenMetrics& MetafileScreenMetrics() {
    return moduleScreen();
}
void SetMetafileScreenMetrics(const ScreenMetrics& screen) {
    moduleScreen() = screen;
}

void InitMetafileModule() {
    SetGraphicFactory(GraphicKind::Metafile,
                      [] { return std::make_unique<MetafileGraphic>(MetafileScreenMetrics()); });
}

MetafileGraphic::MetafileGraphic(const ScreenMetrics& screen) : screen_(screen) {}
MetafileGraphic::~MetafileGraphic() = default;

MetafileGraphic::MetafileGraphic(const MetafileGraphic& other)
    : Graphic(other),
      screen_(other.screen_),
      bytes_(other.bytes_),
      gated_(other.gated_ ? std::make_unique<GatedMetafile>(*other.gated_) : nullptr),
      natural_(other.natural_) {
    bytes_.detach();
}

std::unique_ptr<Graphic> MetafileGraphic::clone() const {
    return std::make_unique<MetafileGraphic>(*this);
}

void MetafileGraphic::loadFromFile(const QString& path) {
    loadFromBytes(ReadFileBytes(path));
}

void MetafileGraphic::loadFromBytes(const QByteArray& bytes) {
    auto gated = std::make_unique<GatedMetafile>(GateMetafile(bytes));
    if (gated->format == MetafileFormat::Wmf && !gated->placeable && !gated->hasWindowFromRecords) {
        // Neither a placeable header nor a window extent: the drawing's own bounds, in
        // logical units taken as pixels, are its extents.
        QImage scratch(1, 1, QImage::Format_RGB32);
        scratch.setDotsPerMeterX(kPointPerPixelDotsPerMetre);
        scratch.setDotsPerMeterY(kPointPerPixelDotsPerMetre);
        QPainter painter(&scratch);
        MetafileCanvas canvas(painter, QTransform(), QRectF(-1e7, -1e7, 2e7, 2e7),
                              QPointF(96 / 25.4, 96 / 25.4), true);
        canvas.setMeasuring(true);
        PlayWmfRecords(bytes, *gated, canvas);
        const QRect box = canvas.measured().toAlignedRect();
        if (!box.isEmpty()) {
            gated->hasWindowFromRecords = true;
            gated->windowFromRecords = box;
        }
    }
    natural_ = MetafileNaturalSize(*gated, screen_.logicalDpi);
    gated_ = std::move(gated);
    bytes_ = bytes;
}

bool MetafileGraphic::isWmf() const {
    return gated_ && gated_->format == MetafileFormat::Wmf;
}
bool MetafileGraphic::isDamaged() const {
    return gated_ && gated_->damaged;
}

void MetafileGraphic::saveToFile(const QString& path) const {
    WriteWholeFile(path, bytes_, true);
}

void MetafileGraphic::render(QImage& image, const QRect& rect) const {
    if (!gated_ || rect.isEmpty() || image.isNull()) return;
    const QRect visible = rect.intersected(image.rect());
    if (visible.isEmpty()) return;
    image.setDotsPerMeterX(kPointPerPixelDotsPerMetre);
    image.setDotsPerMeterY(kPointPerPixelDotsPerMetre);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    painter.setClipRect(visible);
    const GatedMetafile& m = *gated_;
    const QRectF target(rect);
    if (m.format == MetafileFormat::Emf) {
        // Device pixels of the reference device -> 0.01 mm -> the frame laid on the rectangle.
        const double mmPerPixelX =
            100.0 * m.referenceMillimetres.width() / m.referencePixels.width();
        const double mmPerPixelY =
            100.0 * m.referenceMillimetres.height() / m.referencePixels.height();
        double fl = m.frame.left(), ft = m.frame.top();
        double fw = double(m.frame.right()) - fl, fh = double(m.frame.bottom()) - ft;
        if (fw <= 0 || fh <= 0) {
            fl = m.boundsDevice.left() * mmPerPixelX;
            ft = m.boundsDevice.top() * mmPerPixelY;
            fw = (double(m.boundsDevice.right()) - m.boundsDevice.left() + 1) * mmPerPixelX;
            fh = (double(m.boundsDevice.bottom()) - m.boundsDevice.top() + 1) * mmPerPixelY;
        }
        if (!(fw > 0) || !(fh > 0)) return;
        const double sx = target.width() / fw, sy = target.height() / fh;
        const QTransform device(mmPerPixelX * sx, 0, 0, mmPerPixelY * sy, target.left() - fl * sx,
                                target.top() - ft * sy);
        const QPointF pixelsPerMm(
            double(m.referencePixels.width()) / m.referenceMillimetres.width(),
            double(m.referencePixels.height()) / m.referenceMillimetres.height());
        MetafileCanvas canvas(painter, device, QRectF(visible), pixelsPerMm, false);
        PlayEmfRecords(bytes_, m, canvas);
    } else {
        MetafileCanvas canvas(painter, QTransform(), QRectF(visible), QPointF(96 / 25.4, 96 / 25.4),
                              true);
        DcState& dc = canvas.dc();
        QRectF window(0, 0, target.width(), target.height());
        if (m.placeable) {
            window = QRectF(m.placeableBox.left(), m.placeableBox.top(), m.placeableBox.width() - 1,
                            m.placeableBox.height() - 1);
        } else if (m.hasWindowFromRecords) {
            window = QRectF(m.windowFromRecords);
        }
        dc.windowOrg = window.topLeft();
        if (window.width() != 0 && window.height() != 0)
            dc.windowExt = QPointF(window.width(), window.height());
        dc.viewportOrg = target.topLeft();
        dc.viewportExt = QPointF(target.width(), target.height());
        PlayWmfRecords(bytes_, m, canvas);
    }
}

void MetafileGraphic::stretchDraw(Bitmap& target, const QRect& rect) const {
    RequireDrawableTarget(target);
    if (target.isEmpty()) return;
    const QRect visible = rect.intersected(QRect(0, 0, target.width(), target.height()));
    if (visible.isEmpty()) return;
    // Replay onto a 32-bit copy of the covered part: raster operations need 32-bit pixels.
    QImage image = canvasImage(visible.width(), visible.height());
    const bool wide = target.bitCount() == 32;
    for (int y = 0; y < visible.height(); ++y) {
        const uint8_t* src =
            target.scanLine(visible.top() + y) + size_t(visible.left()) * (wide ? 4 : 3);
        auto* dst = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < visible.width(); ++x, src += wide ? 4 : 3)
            dst[x] = qRgb(src[2], src[1], src[0]);
    }
    render(image, rect.translated(-visible.topLeft()));
    for (int y = 0; y < visible.height(); ++y) {
        uint8_t* dst = target.scanLine(visible.top() + y) + size_t(visible.left()) * (wide ? 4 : 3);
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < visible.width(); ++x, dst += wide ? 4 : 3) {
            dst[0] = uint8_t(qBlue(src[x]));
            dst[1] = uint8_t(qGreen(src[x]));
            dst[2] = uint8_t(qRed(src[x]));
        }
    }
}

Bitmap MetafileGraphic::toBitmap() const {
    Bitmap out;
    if (natural_.isEmpty()) return out;
    QImage image = canvasImage(natural_.width(), natural_.height());
    image.fill(Qt::white);
    render(image, QRect(QPoint(0, 0), natural_));
    out.create(natural_.width(), natural_.height(), 24);
    for (int y = 0; y < natural_.height(); ++y) {
        uint8_t* dst = out.scanLine(y);
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < natural_.width(); ++x, dst += 3) {
            dst[0] = uint8_t(qBlue(src[x]));
            dst[1] = uint8_t(qGreen(src[x]));
            dst[2] = uint8_t(qRed(src[x]));
        }
    }
    return out;
}
