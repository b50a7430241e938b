#include "formats/metafile/metafile_canvas.h"

#include <QFontMetricsF>
#include <QtMath>
#include <algorithm>
#include <cmath>

namespace {

// Beyond this many target pixels from the origin Qt's fixed-point rasteriser overflows and its
// stroker can spin for minutes; shapes reaching that far are skipped.
constexpr double kMaxTargetCoordinate = 1.0e7;
constexpr size_t kMaxSavedStates = 4096;
constexpr uint32_t kMaxObjects = 65536;
constexpr int kMaxPathElements = 1 << 20;
// Qt keeps the image of every glyph it draws in a cache with no size limit for some fonts (the
// fallback and colour ones), so two huge characters from a 2 KB file cost a gigabyte. Glyphs
// larger than this, in device pixels, are filled as outlines, as Qt does for other fonts anyway.
constexpr double kMaxCachedGlyphPixels = 256;

constexpr int kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5;

double axisScale(const QTransform& t, bool yAxis) {
    return yAxis ? std::hypot(t.m21(), t.m22()) : std::hypot(t.m11(), t.m12());
}

QString substituteFace(const QString& face) {
    // The metric-compatible free faces stand in for the usual Windows ones.
    const QString f = face.trimmed();
    if (f.compare(QLatin1String("Arial"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Helvetica"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("MS Sans Serif"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Tahoma"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Verdana"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Calibri"), Qt::CaseInsensitive) == 0 || f.isEmpty())
        return QStringLiteral("Liberation Sans");
    if (f.compare(QLatin1String("Times New Roman"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Times"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("MS Serif"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Cambria"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Liberation Serif");
    if (f.compare(QLatin1String("Courier New"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Courier"), Qt::CaseInsensitive) == 0 ||
        f.compare(QLatin1String("Consolas"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("Liberation Mono");
    return f;
}

Qt::BrushStyle hatchStyle(int hatch) {
    switch (hatch) {
        case 0:
            return Qt::HorPattern;
        case 1:
            return Qt::VerPattern;
        case 2:
            return Qt::FDiagPattern;
        case 3:
            return Qt::BDiagPattern;
        case 4:
            return Qt::CrossPattern;
        case 5:
            return Qt::DiagCrossPattern;
        default:
            return Qt::SolidPattern;
    }
}

// Qt's angles run counter-clockwise with y pointing down the screen.
double qtAngle(const QRectF& box, QPointF p) {
    const QPointF c = box.center();
    const double rx = std::max(box.width() / 2, 1e-9), ry = std::max(box.height() / 2, 1e-9);
    return qRadiansToDegrees(std::atan2(-(p.y() - c.y()) / ry, (p.x() - c.x()) / rx));
}

// The average character width a font's width field is measured against, weighted by letter
// frequency as the older font tables define it. The stand-in faces' own average covers every
// glyph they have and runs about a quarter wider, which would squeeze all text that gives a
// width.
double weightedAverageCharWidth(const QFontMetricsF& m) {
    static const int weights[27] = {64, 14, 27, 35, 100, 20, 14, 42, 63, 3, 6,  35, 20, 56,
                                    56, 17, 4,  49, 56,  71, 31, 10, 18, 3, 18, 2,  166};
    double sum = 0;
    for (int i = 0; i < 26; ++i) sum += weights[i] * m.horizontalAdvance(QChar(char16_t('a' + i)));
    sum += weights[26] * m.horizontalAdvance(QChar(u' '));
    return sum / 1000;
}

}  // namespace

MetafileCanvas::MetafileCanvas(QPainter& painter, const QTransform& deviceToTarget,
                               const QRectF& targetClip, QPointF referencePixelsPerMm,
                               bool wmfMapping)
    : painter_(painter),
      device_(deviceToTarget),
      targetClip_(targetClip),
      pixelsPerMm_(referencePixelsPerMm),
      wmfMapping_(wmfMapping) {
    if (wmfMapping_) dc_.mapMode = 8;
    objects_.resize(64);
}

QTransform MetafileCanvas::logicalToTarget() const {
    double sx = 1, sy = 1;
    QPointF vOrg = dc_.viewportOrg;
    switch (dc_.mapMode) {
        case 2:
            sx = 0.1 * pixelsPerMm_.x(), sy = -0.1 * pixelsPerMm_.y();
            break;
        case 3:
            sx = 0.01 * pixelsPerMm_.x(), sy = -0.01 * pixelsPerMm_.y();
            break;
        case 4:
            sx = 0.254 * pixelsPerMm_.x(), sy = -0.254 * pixelsPerMm_.y();
            break;
        case 5:
            sx = 0.0254 * pixelsPerMm_.x(), sy = -0.0254 * pixelsPerMm_.y();
            break;
        case 6:
            sx = 25.4 / 1440 * pixelsPerMm_.x(), sy = -25.4 / 1440 * pixelsPerMm_.y();
            break;
        case 7:
        case 8: {
            const QPointF w = dc_.windowExt, v = dc_.viewportExt;
            sx = w.x() != 0 ? v.x() / w.x() : 1;
            sy = w.y() != 0 ? v.y() / w.y() : 1;
            if (dc_.mapMode == 7) {
                // Isotropic: the smaller scale on both axes, signs kept.
                const double s = std::min(std::abs(sx), std::abs(sy));
                sx = std::copysign(s, sx);
                sy = std::copysign(s, sy);
            }
            break;
        }
        default:
            break;
    }
    const QTransform page(sx, 0, 0, sy, vOrg.x() - dc_.windowOrg.x() * sx,
                          vOrg.y() - dc_.windowOrg.y() * sy);
    return dc_.world * page * device_;
}

void MetafileCanvas::setWindowExt(QPointF e) {
    if (e.x() != 0 && e.y() != 0) dc_.windowExt = e;
}

void MetafileCanvas::setViewportOrg(QPointF p) {
    // A WMF plays into the caller's viewport; its own viewport records would move it off the
    // target rectangle.
    if (!wmfMapping_) dc_.viewportOrg = p;
}

void MetafileCanvas::setViewportExt(QPointF e) {
    if (!wmfMapping_ && e.x() != 0 && e.y() != 0) dc_.viewportExt = e;
}

void MetafileCanvas::scaleWindowExt(double xNum, double xDen, double yNum, double yDen) {
    if (xDen == 0 || yDen == 0 || xNum == 0 || yNum == 0) return;
    dc_.windowExt = QPointF(dc_.windowExt.x() * xNum / xDen, dc_.windowExt.y() * yNum / yDen);
}

void MetafileCanvas::scaleViewportExt(double xNum, double xDen, double yNum, double yDen) {
    if (wmfMapping_ || xDen == 0 || yDen == 0 || xNum == 0 || yNum == 0) return;
    dc_.viewportExt = QPointF(dc_.viewportExt.x() * xNum / xDen, dc_.viewportExt.y() * yNum / yDen);
}

void MetafileCanvas::setWorldTransform(const QTransform& t) {
    if (std::isfinite(t.m11()) && std::isfinite(t.m12()) && std::isfinite(t.m21()) &&
        std::isfinite(t.m22()) && std::isfinite(t.dx()) && std::isfinite(t.dy()))
        dc_.world = t;
}

void MetafileCanvas::modifyWorldTransform(const QTransform& t, uint32_t mode) {
    switch (mode) {
        case 1:
            dc_.world = QTransform();
            break;
        case 2:
            setWorldTransform(t * dc_.world);
            break;
        case 3:
            setWorldTransform(dc_.world * t);
            break;
        case 4:
            setWorldTransform(t);
            break;
        default:
            break;
    }
}

void MetafileCanvas::saveDc() {
    if (saved_.size() < kMaxSavedStates) saved_.push_back(dc_);
}

void MetafileCanvas::restoreDc(int which) {
    // Negative counts back from the top; positive names a saved state (1 is the first).
    size_t keep;
    if (which < 0) {
        if (size_t(-int64_t(which)) > saved_.size()) return;
        keep = saved_.size() - size_t(-int64_t(which));
    } else {
        if (which == 0 || size_t(which) > saved_.size()) return;
        keep = size_t(which) - 1;
    }
    dc_ = saved_[keep];
    saved_.resize(keep);
    clipDirty_ = true;
}

void MetafileCanvas::setObjectTableSize(uint32_t size) {
    objects_.resize(std::clamp<uint32_t>(size, 1, kMaxObjects));
}

void MetafileCanvas::storeObject(uint32_t index, GdiObject object) {
    if (index >= kMaxObjects) return;
    if (index >= objects_.size()) objects_.resize(index + 1);
    objects_[index] = std::move(object);
}

void MetafileCanvas::storeObjectInFreeSlot(GdiObject object) {
    for (auto& slot : objects_) {
        if (std::holds_alternative<std::monostate>(slot)) {
            slot = std::move(object);
            // A slot holding a placeholder still counts as taken.
            if (std::holds_alternative<std::monostate>(slot)) slot = RegionObject{};
            return;
        }
    }
    if (objects_.size() < kMaxObjects) {
        objects_.push_back(std::move(object));
        if (std::holds_alternative<std::monostate>(objects_.back()))
            objects_.back() = RegionObject{};
    }
}

const GdiObject* MetafileCanvas::object(uint32_t index) const {
    return index < objects_.size() ? &objects_[index] : nullptr;
}

void MetafileCanvas::selectObject(uint32_t index) {
    if (index & 0x80000000u) {
        // Stock objects.
        switch (index & 0x7FFFFFFFu) {
            case 0:
                dc_.brush = {LogicalBrush::Kind::Solid, Qt::white, 0, {}};
                break;
            case 1:
                dc_.brush = {LogicalBrush::Kind::Solid, QColor(192, 192, 192), 0, {}};
                break;
            case 2:
                dc_.brush = {LogicalBrush::Kind::Solid, QColor(128, 128, 128), 0, {}};
                break;
            case 3:
                dc_.brush = {LogicalBrush::Kind::Solid, QColor(64, 64, 64), 0, {}};
                break;
            case 4:
                dc_.brush = {LogicalBrush::Kind::Solid, Qt::black, 0, {}};
                break;
            case 5:
                dc_.brush = {LogicalBrush::Kind::Null, Qt::black, 0, {}};
                break;
            case 6:
                dc_.pen = LogicalPen{};
                dc_.pen.color = Qt::white;
                break;
            case 7:
                dc_.pen = LogicalPen{};
                break;
            case 8:
                dc_.pen = LogicalPen{};
                dc_.pen.null = true;
                break;
            case 10:
            case 11:
            case 16:
                dc_.font = LogicalFont{};
                dc_.font.face = QStringLiteral("Liberation Mono");
                break;
            case 12:
            case 13:
            case 14:
            case 17:
                dc_.font = LogicalFont{};
                break;
            default:
                break;
        }
        return;
    }
    const GdiObject* o = object(index);
    if (!o) return;
    if (const auto* pen = std::get_if<LogicalPen>(o))
        dc_.pen = *pen;
    else if (const auto* brush = std::get_if<LogicalBrush>(o))
        dc_.brush = *brush;
    else if (const auto* font = std::get_if<LogicalFont>(o))
        dc_.font = *font;
    else if (const auto* region = std::get_if<RegionObject>(o)) {
        // Selecting a region (WMF) makes it the clip.
        combineClip(logicalToTarget().map(region->area), kRgnCopy, region->area.isEmpty());
    }
}

void MetafileCanvas::deleteObject(uint32_t index) {
    if (index < objects_.size()) objects_[index] = std::monostate{};
}

QPen MetafileCanvas::qpen(const QTransform& t) const {
    const LogicalPen& p = dc_.pen;
    if (p.null || p.style == 5) return Qt::NoPen;
    QPen pen(p.color);
    if (!p.pattern.isNull()) {
        LogicalBrush b;
        b.kind = LogicalBrush::Kind::Pattern;
        b.pattern = p.pattern;
        pen.setBrush(qbrush(b, t));
    } else if (p.hatch >= 0) {
        LogicalBrush b;
        b.kind = LogicalBrush::Kind::Hatched;
        b.color = p.color;
        b.hatch = p.hatch;
        pen.setBrush(qbrush(b, t));
    }
    const double scale = std::sqrt(std::abs(t.determinant()));
    const double deviceWidth = p.width * scale;
    if (p.cosmetic || deviceWidth < 1.5) {
        pen.setWidthF(0);
        pen.setCosmetic(true);
    } else {
        // A huge width is as good as a fill and costs the stroker far less when bounded.
        pen.setWidthF(
            std::min(p.width, 4.0 * (targetClip_.width() + targetClip_.height()) / scale));
    }
    pen.setCapStyle(p.cap);
    pen.setJoinStyle(p.join);
    switch (p.style) {
        case 1:
            pen.setStyle(Qt::DashLine);
            break;
        case 2:
        case 8:
            pen.setStyle(Qt::DotLine);
            break;
        case 3:
            pen.setStyle(Qt::DashDotLine);
            break;
        case 4:
            pen.setStyle(Qt::DashDotDotLine);
            break;
        case 7:
            if (!p.dashes.isEmpty()) {
                QList<qreal> pattern;
                const double unit = pen.widthF() > 0 ? pen.widthF() : 1;
                for (qreal d : p.dashes) pattern << std::max<qreal>(d / unit, 0.1);
                if (pattern.size() % 2) pattern << pattern;
                pen.setDashPattern(pattern);
            }
            break;
        default:
            break;
    }
    return pen;
}

QBrush MetafileCanvas::qbrush(const LogicalBrush& logical, const QTransform& t) const {
    QBrush brush;
    switch (logical.kind) {
        case LogicalBrush::Kind::Null:
            return Qt::NoBrush;
        case LogicalBrush::Kind::Solid:
            return QBrush(logical.color);
        case LogicalBrush::Kind::Hatched:
            // Hatch styles 6 to 11 are solid fills in the brush, text or background colour.
            if (logical.hatch >= 6 && logical.hatch <= 11)
                return QBrush(logical.hatch < 8    ? logical.color
                              : logical.hatch < 10 ? dc_.textColor
                                                : dc_.backgroundColor);
            brush = QBrush(logical.color, hatchStyle(logical.hatch));
            break;
        case LogicalBrush::Kind::Pattern:
            if (logical.pattern.isNull()) return QBrush(logical.color);
            if (logical.monochrome) {
                QImage tinted = logical.pattern;
                const QRgb fore = dc_.textColor.rgb(), back = dc_.backgroundColor.rgb();
                for (int y = 0; y < tinted.height(); ++y) {
                    auto* line = reinterpret_cast<QRgb*>(tinted.scanLine(y));
                    for (int x = 0; x < tinted.width(); ++x)
                        line[x] = qGray(line[x]) < 128 ? fore : back;
                }
                brush = QBrush(tinted);
            } else {
                brush = QBrush(logical.pattern);
            }
            break;
    }
    // Patterns and hatches are laid in device pixels, whatever the mapping.
    bool invertible = false;
    const QTransform inverse = t.inverted(&invertible);
    if (invertible) brush.setTransform(inverse);
    return brush;
}

void MetafileCanvas::applyClip() {
    if (!clipDirty_) return;
    painter_.setTransform(QTransform());
    if (dc_.hasClip) {
        QPainterPath base;
        base.addRect(targetClip_);
        painter_.setClipPath(base.intersected(dc_.clip));
    } else {
        painter_.setClipRect(targetClip_);
    }
    clipDirty_ = false;
}

bool MetafileCanvas::sane(const QRectF& b) const {
    return std::isfinite(b.left()) && std::isfinite(b.top()) && std::isfinite(b.right()) &&
           std::isfinite(b.bottom()) && std::abs(b.left()) < kMaxTargetCoordinate &&
           std::abs(b.right()) < kMaxTargetCoordinate && std::abs(b.top()) < kMaxTargetCoordinate &&
           std::abs(b.bottom()) < kMaxTargetCoordinate;
}

bool MetafileCanvas::measure(const QRectF& b) {
    if (!measuring_) return false;
    if (sane(b)) measured_ = measured_.isNull() ? b.normalized() : measured_.united(b.normalized());
    return true;
}

void MetafileCanvas::applyRop2() {
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (dc_.rop2) {
        case 6:
            mode = QPainter::RasterOp_NotDestination;
            break;
        case 7:
            mode = QPainter::RasterOp_SourceXorDestination;
            break;
        case 9:
            mode = QPainter::RasterOp_SourceAndDestination;
            break;
        case 15:
            mode = QPainter::RasterOp_SourceOrDestination;
            break;
        case 4:
            mode = QPainter::RasterOp_NotSource;
            break;
        default:
            break;
    }
    painter_.setCompositionMode(mode);
}

void MetafileCanvas::drawShape(const QPainterPath& logical, bool fill, bool stroke) {
    if (inPathBracket_) {
        addToPath(logical, false);
        return;
    }
    if (dc_.rop2 == 11) return;  // R2_NOP
    const QTransform t = logicalToTarget();
    const QRectF bounds = t.mapRect(logical.controlPointRect());
    if (measure(bounds) || !sane(bounds)) return;
    applyClip();
    applyRop2();
    QBrush brush = fill ? qbrush(dc_.brush, t) : QBrush(Qt::NoBrush);
    QPen pen = stroke ? qpen(t) : QPen(Qt::NoPen);
    if (dc_.rop2 == 1 || dc_.rop2 == 16) {
        const QColor c = dc_.rop2 == 1 ? Qt::black : Qt::white;
        if (brush.style() != Qt::NoBrush) brush = QBrush(c);
        if (pen.style() != Qt::NoPen) pen.setColor(c);
    }
    QPainterPath shape = logical;
    shape.setFillRule(dc_.fillRule);
    const bool hatchBackground =
        fill && dc_.brush.kind == LogicalBrush::Kind::Hatched && dc_.opaqueBackground;
    paintShape(shape, t, brush, pen, hatchBackground ? &dc_.backgroundColor : nullptr);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void MetafileCanvas::paintShape(const QPainterPath& shape, const QTransform& t,
                                const QBrush& brush, const QPen& pen, const QColor* background) {
    // Qt's rasterizer costs what a shape spans, not what shows of it: one reaching far past the
    // target (a mapping that blows a drawing up a millionfold) is cut to the target first, with
    // a margin wider than any pen it may have, and painted in target pixels.
    const double margin = 4.0 * (targetClip_.width() + targetClip_.height());
    const QRectF reach = targetClip_.adjusted(-margin, -margin, margin, margin);
    const bool wide = pen.style() != Qt::NoPen && !pen.isCosmetic();
    // How far a pen's outline may stand out of the shape, in target pixels (miters included).
    const double stretch =
        std::sqrt(t.m11() * t.m11() + t.m12() * t.m12() + t.m21() * t.m21() + t.m22() * t.m22());
    const double out = wide ? pen.widthF() * std::max(1.0, pen.miterLimit()) * stretch : 1.0;
    const QRectF extent = t.mapRect(shape.controlPointRect()).adjusted(-out, -out, out, out);
    if (reach.contains(extent)) {
        painter_.setTransform(t);
        if (background && brush.style() != Qt::NoBrush) painter_.fillPath(shape, *background);
        painter_.setPen(pen);
        painter_.setBrush(brush);
        painter_.drawPath(shape);
        return;
    }
    QPainterPath area;
    area.addRect(reach);
    painter_.setTransform(QTransform());
    // A brush laid out for a painter set to t, for one that paints in target pixels.
    auto inTargetPixels = [&t](QBrush b) {
        b.setTransform(b.transform() * t);
        return b;
    };
    if (brush.style() != Qt::NoBrush) {
        const QPainterPath inside = t.map(shape).intersected(area);
        if (background) painter_.fillPath(inside, *background);
        painter_.fillPath(inside, inTargetPixels(brush));
    }
    if (pen.style() == Qt::NoPen) return;
    if (pen.isCosmetic()) {
        // One-pixel lines: Qt clips each segment to the target itself.
        painter_.strokePath(t.map(shape), pen);
        return;
    }
    const QPainterPath outline = QPainterPathStroker(pen).createStroke(shape);
    painter_.fillPath(t.map(outline).intersected(area), inTargetPixels(pen.brush()));
}

void MetafileCanvas::addToPath(const QPainterPath& logical, bool continueFigure) {
    if (path_.elementCount() > kMaxPathElements) return;
    const QPainterPath mapped = logicalToTarget().map(logical);
    if (continueFigure && path_.elementCount() > 0) {
        path_.connectPath(mapped);
    } else {
        path_.addPath(mapped);
    }
}

void MetafileCanvas::moveTo(QPointF p) {
    dc_.current = p;
    if (inPathBracket_ && path_.elementCount() <= kMaxPathElements)
        path_.moveTo(logicalToTarget().map(p));
}

void MetafileCanvas::lineTo(QPointF p) {
    polylineTo(QPolygonF() << p);
}

void MetafileCanvas::polyline(const QPolygonF& points) {
    if (points.size() < 2) return;
    QPainterPath path;
    path.addPolygon(points);
    drawShape(path, false, true);
}

void MetafileCanvas::polylineTo(const QPolygonF& points) {
    if (points.isEmpty()) return;
    if (inPathBracket_) {
        const QTransform t = logicalToTarget();
        if (path_.elementCount() == 0) path_.moveTo(t.map(dc_.current));
        for (const QPointF& p : points) path_.lineTo(t.map(p));
    } else {
        QPolygonF all;
        all << dc_.current << points;
        polyline(all);
    }
    dc_.current = points.last();
}

void MetafileCanvas::polyBezier(const QPolygonF& points, bool fromCurrent) {
    QPainterPath path;
    int i = 0;
    if (fromCurrent) {
        path.moveTo(dc_.current);
    } else {
        if (points.isEmpty()) return;
        path.moveTo(points[0]);
        i = 1;
    }
    for (; i + 2 < points.size(); i += 3) path.cubicTo(points[i], points[i + 1], points[i + 2]);
    if (fromCurrent) dc_.current = path.currentPosition();
    if (inPathBracket_ && fromCurrent) {
        addToPath(path, true);
        return;
    }
    drawShape(path, false, true);
}

void MetafileCanvas::polygon(const QPolygonF& points) {
    if (points.size() < 2) return;
    QPainterPath path;
    path.addPolygon(points);
    path.closeSubpath();
    drawShape(path, true, true);
}

void MetafileCanvas::polyPolygon(const std::vector<QPolygonF>& polygons) {
    QPainterPath path;
    for (const QPolygonF& p : polygons) {
        if (p.size() < 2) continue;
        path.addPolygon(p);
        path.closeSubpath();
    }
    drawShape(path, true, true);
}

void MetafileCanvas::polyPolyline(const std::vector<QPolygonF>& lines) {
    QPainterPath path;
    for (const QPolygonF& p : lines)
        if (p.size() >= 2) path.addPolygon(p);
    drawShape(path, false, true);
}

void MetafileCanvas::rectangle(const QRectF& box) {
    QPainterPath path;
    path.addRect(box.normalized());
    drawShape(path, true, true);
}

void MetafileCanvas::roundRect(const QRectF& box, QSizeF corner) {
    QPainterPath path;
    path.addRoundedRect(box.normalized(), std::abs(corner.width()) / 2,
                        std::abs(corner.height()) / 2);
    drawShape(path, true, true);
}

void MetafileCanvas::ellipse(const QRectF& box) {
    QPainterPath path;
    path.addEllipse(box.normalized());
    drawShape(path, true, true);
}

void MetafileCanvas::arc(const QRectF& rawBox, QPointF start, QPointF end, ArcKind kind) {
    const QRectF box = rawBox.normalized();
    if (box.isEmpty()) return;
    const double a0 = qtAngle(box, start);
    const double a1 = qtAngle(box, end);
    double sweep = a1 - a0;
    if (dc_.clockwise) {
        while (sweep >= 0) sweep -= 360;
    } else {
        while (sweep <= 0) sweep += 360;
    }
    QPainterPath path;
    if (kind == ArcKind::Pie) {
        path.moveTo(box.center());
        path.arcTo(box, a0, sweep);
        path.closeSubpath();
    } else if (kind == ArcKind::ArcTo) {
        path.moveTo(dc_.current);
        QPainterPath arcPath;
        arcPath.arcMoveTo(box, a0);
        path.lineTo(arcPath.currentPosition());
        path.arcTo(box, a0, sweep);
        dc_.current = path.currentPosition();
    } else {
        path.arcMoveTo(box, a0);
        path.arcTo(box, a0, sweep);
        if (kind == ArcKind::Chord) path.closeSubpath();
    }
    const bool closed = kind == ArcKind::Pie || kind == ArcKind::Chord;
    if (inPathBracket_ && kind == ArcKind::ArcTo) {
        addToPath(path, true);
        return;
    }
    drawShape(path, closed, true);
}

void MetafileCanvas::angleArc(QPointF centre, double radius, double startDegrees,
                              double sweepDegrees) {
    if (!std::isfinite(radius) || !std::isfinite(startDegrees) || !std::isfinite(sweepDegrees))
        return;
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    QPainterPath path;
    path.moveTo(dc_.current);
    QPainterPath startPoint;
    startPoint.arcMoveTo(box, startDegrees);
    path.lineTo(startPoint.currentPosition());
    path.arcTo(box, startDegrees, std::clamp(sweepDegrees, -3600.0, 3600.0));
    dc_.current = path.currentPosition();
    if (inPathBracket_) {
        addToPath(path, true);
        return;
    }
    drawShape(path, false, true);
}

void MetafileCanvas::setPixel(QPointF p, const QColor& colour) {
    const QTransform t = logicalToTarget();
    const QPointF q = t.map(p);
    if (measure(QRectF(q, QSizeF(1, 1))) || !sane(QRectF(q, q))) return;
    applyClip();
    painter_.setTransform(QTransform());
    painter_.fillRect(QRectF(std::floor(q.x()), std::floor(q.y()), 1, 1), colour);
}

void MetafileCanvas::fillShape(const QPainterPath& logical, const LogicalBrush& brush) {
    const QTransform t = logicalToTarget();
    if (measure(t.mapRect(logical.controlPointRect())) ||
        !sane(t.mapRect(logical.controlPointRect())))
        return;
    applyClip();
    paintShape(logical, t, qbrush(brush, t), Qt::NoPen);
}

void MetafileCanvas::fillShape(const QPainterPath& logical, const QBrush& brush) {
    const QTransform t = logicalToTarget();
    if (!sane(t.mapRect(logical.controlPointRect()))) return;
    applyClip();
    paintShape(logical, t, brush, Qt::NoPen);
}

void MetafileCanvas::frameShape(const QPainterPath& logical, const LogicalBrush& brush,
                                QSizeF stroke) {
    const QTransform t = logicalToTarget();
    if (!sane(t.mapRect(logical.controlPointRect()))) return;
    applyClip();
    QPen pen(qbrush(brush, t), std::max(std::abs(stroke.width()), std::abs(stroke.height())));
    if (pen.widthF() * std::sqrt(std::abs(t.determinant())) < 1.5) pen.setWidthF(0);
    paintShape(logical, t, Qt::NoBrush, pen);
}

void MetafileCanvas::invertShape(const QPainterPath& logical) {
    const QTransform t = logicalToTarget();
    if (!sane(t.mapRect(logical.controlPointRect()))) return;
    applyClip();
    painter_.setCompositionMode(QPainter::RasterOp_NotDestination);
    paintShape(logical, t, Qt::black, Qt::NoPen);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void MetafileCanvas::beginPath() {
    inPathBracket_ = true;
    path_ = QPainterPath();
}

void MetafileCanvas::abortPath() {
    inPathBracket_ = false;
    path_ = QPainterPath();
}

void MetafileCanvas::closeFigure() {
    if (inPathBracket_) path_.closeSubpath();
}

void MetafileCanvas::fillPath() {
    inPathBracket_ = false;
    if (path_.isEmpty() || !sane(path_.controlPointRect())) return;
    applyClip();
    path_.setFillRule(dc_.fillRule);
    paintShape(path_, QTransform(), qbrush(dc_.brush, QTransform()), Qt::NoPen);
    path_ = QPainterPath();
}

void MetafileCanvas::strokePath() {
    inPathBracket_ = false;
    if (path_.isEmpty() || !sane(path_.controlPointRect())) return;
    applyClip();
    // The pen's width is logical: stroke through the logical transform.
    const QTransform t = logicalToTarget();
    bool invertible = false;
    const QTransform inverse = t.inverted(&invertible);
    if (invertible) paintShape(inverse.map(path_), t, Qt::NoBrush, qpen(t));
    path_ = QPainterPath();
}

void MetafileCanvas::strokeAndFillPath() {
    const QPainterPath keep = path_;
    fillPath();
    path_ = keep;
    strokePath();
}

void MetafileCanvas::selectClipPath(int mode) {
    inPathBracket_ = false;
    QPainterPath p = path_;
    p.setFillRule(dc_.fillRule);
    combineClip(p, mode);
    path_ = QPainterPath();
}

void MetafileCanvas::intersectClipRect(const QRectF& logical) {
    QPainterPath p;
    p.addRect(logical.normalized());
    combineClip(logicalToTarget().map(p), kRgnAnd);
}

void MetafileCanvas::excludeClipRect(const QRectF& logical) {
    QPainterPath p;
    p.addRect(logical.normalized());
    combineClip(logicalToTarget().map(p), kRgnDiff);
}

void MetafileCanvas::combineClip(const QPainterPath& target, int mode, bool resetToNone) {
    clipDirty_ = true;
    if (resetToNone) {
        if (mode == kRgnCopy) dc_.hasClip = false;
        return;
    }
    if (!sane(target.controlPointRect()) && !target.isEmpty()) return;
    QPainterPath current;
    if (dc_.hasClip) {
        current = dc_.clip;
    } else {
        current.addRect(targetClip_.adjusted(-1, -1, 1, 1));
    }
    switch (mode) {
        case kRgnAnd:
            dc_.clip = current.intersected(target);
            break;
        case kRgnOr:
            dc_.clip = dc_.hasClip ? current.united(target) : current;
            break;
        case kRgnXor:
            dc_.clip = current.subtracted(target).united(target.subtracted(current));
            break;
        case kRgnDiff:
            dc_.clip = current.subtracted(target);
            break;
        case kRgnCopy:
            dc_.clip = target;
            break;
        default:
            return;
    }
    dc_.clip = dc_.clip.simplified();
    dc_.hasClip = true;
}

void MetafileCanvas::offsetClip(QPointF logicalOffset) {
    if (!dc_.hasClip) return;
    const QTransform t = logicalToTarget();
    const QPointF d = t.map(logicalOffset) - t.map(QPointF(0, 0));
    dc_.clip.translate(d);
    clipDirty_ = true;
}

void MetafileCanvas::text(QPointF reference, const QString& characters,
                          const std::vector<double>& advances, uint32_t options,
                          const std::optional<QRectF>& box) {
    const QTransform t = logicalToTarget();
    const LogicalFont& f = dc_.font;
    const double kx = axisScale(t, false), ky = axisScale(t, true);
    // Height 0 asks for the default size: about 12 points on a 96 dpi screen.
    double pixels = f.height == 0 ? 16.0 : std::abs(double(f.height)) * ky;
    if (!std::isfinite(pixels) || pixels > 20000) return;
    pixels = std::max(pixels, 0.5);

    QFont font(substituteFace(f.face));
    font.setPointSizeF(pixels);  // the canvas image is set to 72 dpi: points are pixels
    font.setWeight(QFont::Weight(std::clamp(f.weight > 0 ? f.weight : 400, 100, 900)));
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikeOut);
    if (f.height > 0) {
        // A positive height is the cell (ascent plus descent), not the em.
        const QFontMetricsF m(font, painter_.device());
        const double cell = m.ascent() + m.descent();
        if (cell > 0) font.setPointSizeF(std::max(pixels * pixels / cell, 0.5));
    }
    if (f.width != 0) {
        const QFontMetricsF m(font, painter_.device());
        const double average = weightedAverageCharWidth(m);
        const double wanted = std::abs(double(f.width)) * kx;
        if (average > 0 && std::isfinite(wanted))
            font.setStretch(std::clamp(int(std::lround(100 * wanted / average)), 1, 4000));
    }
    const QFontMetricsF metrics(font, painter_.device());

    const bool updateCurrent = dc_.textAlign & 1;
    const QPointF origin = t.map(updateCurrent ? dc_.current : reference);
    if (!sane(QRectF(origin, origin))) return;

    std::vector<double> positions;
    double total = 0;
    if (!advances.empty()) {
        positions.reserve(characters.size());
        for (qsizetype i = 0; i < characters.size(); ++i) {
            positions.push_back(total);
            if (size_t(i) < advances.size()) total += advances[size_t(i)] * kx;
        }
    } else {
        total = metrics.horizontalAdvance(characters);
    }
    if (!std::isfinite(total) || std::abs(total) > kMaxTargetCoordinate) return;

    double x0 = 0;
    const uint32_t horizontal = dc_.textAlign & 6;
    if (horizontal == 6)
        x0 = -total / 2;
    else if (horizontal == 2)
        x0 = -total;
    double y0 = metrics.ascent();
    const uint32_t vertical = dc_.textAlign & 24;
    if (vertical == 24)
        y0 = 0;
    else if (vertical == 8)
        y0 = -metrics.descent();

    // The baseline follows the logical x axis, turned by the escapement; mirrored mappings do
    // not mirror glyphs.
    const QPointF axis = t.map(QPointF(1, 0)) - t.map(QPointF(0, 0));
    double angle = qRadiansToDegrees(std::atan2(axis.y(), std::abs(axis.x())));
    angle -= f.escapement / 10.0;
    QTransform local;
    local.translate(origin.x(), origin.y());
    local.rotate(angle);

    if (updateCurrent) {
        bool invertible = false;
        const QTransform inverse = t.inverted(&invertible);
        if (invertible) dc_.current = inverse.map(local.map(QPointF(x0 + total, 0)));
    }

    if (measure(local.mapRect(QRectF(x0, y0 - metrics.ascent(), total, metrics.height())))) return;
    QPainterPath glyphs;
    const bool toPath = inPathBracket_;
    applyClip();
    if (!toPath) {
        painter_.setTransform(t);
        if ((options & 2) && box) painter_.fillRect(box->normalized(), dc_.backgroundColor);
        if ((options & 4) && box) {
            QPainterPath clip;
            clip.addRect(box->normalized());
            painter_.setTransform(QTransform());
            painter_.setClipPath(t.map(clip), Qt::IntersectClip);
            clipDirty_ = true;
        }
        painter_.setTransform(local);
        if (dc_.opaqueBackground && !(options & 2))
            painter_.fillRect(QRectF(x0, y0 - metrics.ascent(), total, metrics.height()),
                              dc_.backgroundColor);
        painter_.setFont(font);
        painter_.setPen(dc_.textColor);
    }
    const double glyphPixels = font.pointSizeF() * std::max(font.stretch(), 100) / 100.0;
    const bool asOutline = glyphPixels > kMaxCachedGlyphPixels;
    // Outlines sized at the canvas's resolution, not the screen's.
    const QFont outlineFont(font, painter_.device());
    auto place = [&](QPointF at, const QString& s) {
        if (toPath) {
            glyphs.addText(at, outlineFont, s);
        } else if (asOutline) {
            QPainterPath outline;
            outline.addText(at, outlineFont, s);
            painter_.fillPath(outline, dc_.textColor);
        } else {
            painter_.drawText(at, s);
        }
    };
    if (!advances.empty()) {
        for (qsizetype i = 0; i < characters.size(); ++i) {
            const QChar c = characters[i];
            if (c.isHighSurrogate() && i + 1 < characters.size()) {
                place(QPointF(x0 + positions[size_t(i)], y0), characters.mid(i, 2));
                ++i;
                continue;
            }
            if (c.isSpace() || c.isNull()) continue;
            place(QPointF(x0 + positions[size_t(i)], y0), QString(c));
        }
    } else {
        place(QPointF(x0, y0), characters);
    }
    if (toPath) {
        if (path_.elementCount() <= kMaxPathElements) path_.addPath(local.map(glyphs));
    }
}

void MetafileCanvas::blit(const QRectF& destination, const QImage& source, const QRectF& sourceRect,
                          uint32_t rop, bool alphaBlend, int constantAlpha) {
    const QTransform t = logicalToTarget();
    const QRectF bounds = t.mapRect(destination.normalized());
    if (measure(bounds) || !sane(bounds) || destination.width() == 0 || destination.height() == 0)
        return;
    if (rop == 0x00AA0029) return;  // leaves the destination as it is
    applyClip();
    painter_.setTransform(t);
    const QRectF dest = destination;
    if (source.isNull() || rop == 0x00F00021 || rop == 0x005A0049 || rop == 0x00550009 ||
        rop == 0x00000042 || rop == 0x00FF0062) {
        // Raster operations that use no source: pattern, inversion, black, white.
        QPainterPath area;
        area.addRect(dest.normalized());
        switch (rop) {
            case 0x00000042:
                painter_.fillPath(area, Qt::black);
                break;
            case 0x00FF0062:
                painter_.fillPath(area, Qt::white);
                break;
            case 0x00550009:
                invertShape(area);
                break;
            case 0x005A0049:
                painter_.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
                painter_.fillPath(area, qbrush(dc_.brush, t));
                painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
                break;
            case 0x00AA0029:
                break;
            default:
                if (source.isNull() || rop == 0x00F00021)
                    painter_.fillPath(area, qbrush(dc_.brush, t));
                break;
        }
        return;
    }
    QRectF src = sourceRect;
    // A source transform in the file can make the rectangle NaN or infinite, which Qt's image
    // drawing does not survive.
    if (!std::isfinite(src.x()) || !std::isfinite(src.y()) || !std::isfinite(src.width()) ||
        !std::isfinite(src.height()))
        return;
    const QRectF imageRect(0, 0, source.width(), source.height());
    const QRectF clipped = src.normalized().intersected(imageRect);
    if (clipped.isEmpty()) return;
    // Keep the destination in step with the part of the source that exists.
    QRectF dst = dest;
    if (clipped != src.normalized() && src.width() != 0 && src.height() != 0) {
        const double sx = dest.width() / src.width(), sy = dest.height() / src.height();
        dst =
            QRectF(dest.x() + (clipped.x() - src.x()) * sx, dest.y() + (clipped.y() - src.y()) * sy,
                   clipped.width() * sx, clipped.height() * sy);
        src = clipped;
        if (!sane(t.mapRect(dst.normalized()))) return;
    }
    // A negative width or height mirrors the source: done by the painter, not by a copy of an
    // image that may be a gigabyte.
    const QPointF centre = dst.center();
    const QTransform mirror = QTransform::fromTranslate(-centre.x(), -centre.y()) *
                              QTransform::fromScale(dst.width() < 0 ? -1 : 1, dst.height() < 0 ? -1 : 1) *
                              QTransform::fromTranslate(centre.x(), centre.y());
    dst = dst.normalized();
    painter_.setTransform(mirror * t);
    const QImage& image = source;
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (rop) {
        case 0x008800C6:
            mode = QPainter::RasterOp_SourceAndDestination;
            break;
        case 0x00EE0086:
            mode = QPainter::RasterOp_SourceOrDestination;
            break;
        case 0x00660046:
            mode = QPainter::RasterOp_SourceXorDestination;
            break;
        case 0x00330008:
            mode = QPainter::RasterOp_NotSource;
            break;
        case 0x00440328:
            mode = QPainter::RasterOp_SourceAndNotDestination;
            break;
        case 0x001100A6:
            mode = QPainter::RasterOp_NotSourceAndNotDestination;
            break;
        case 0x00BB0226:
            mode = QPainter::RasterOp_NotSourceOrDestination;
            break;
        default:
            break;
    }
    if (alphaBlend) mode = QPainter::CompositionMode_SourceOver;
    painter_.setCompositionMode(mode);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, dc_.stretchMode == 4);
    if (alphaBlend) painter_.setOpacity(std::clamp(constantAlpha, 0, 255) / 255.0);
    painter_.drawImage(dst, image, src);
    painter_.setOpacity(1.0);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform, false);
}
