#pragma once
// The device-context model both metafile players draw through: mapping mode, window and
// viewport, world transform, the selected pen, brush and font, the object table, SaveDC
// stack, path bracket and clipping, replayed onto a QPainter over a 32-bit image.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>
#include <cstdint>
#include <optional>
#include <variant>
#include <vector>

struct LogicalPen {
    bool null = false;
    QColor color = Qt::black;
    double width = 0;      // logical units; 0 is one device pixel
    bool cosmetic = true;  // one device pixel whatever the width says
    int style = 0;         // PS_SOLID .. PS_USERSTYLE
    Qt::PenCapStyle cap = Qt::RoundCap;
    Qt::PenJoinStyle join = Qt::RoundJoin;
    QList<qreal> dashes;  // PS_USERSTYLE, logical units
    // Geometric pens may paint with a hatch or a pattern instead of a colour.
    int hatch = -1;
    QImage pattern;
};

struct LogicalBrush {
    enum class Kind { Null, Solid, Hatched, Pattern };
    Kind kind = Kind::Solid;
    QColor color = Qt::white;
    int hatch = 0;
    QImage pattern;  // Format_RGB32, device pixels
    // A monochrome pattern: black pixels take the text colour, white ones the background
    // colour current when the brush paints.
    bool monochrome = false;
};

struct LogicalFont {
    int height = 0;  // logical; negative is the character height, positive the cell height
    int width = 0;
    int escapement = 0;  // tenths of a degree
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    QString face;
};

// A region object (WMF CREATEREGION), in logical units.
struct RegionObject {
    QPainterPath area;
};

using GdiObject = std::variant<std::monostate, LogicalPen, LogicalBrush, LogicalFont, RegionObject>;

struct DcState {
    int mapMode = 1;
    QPointF windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
    QTransform world;
    LogicalPen pen;
    LogicalBrush brush;
    LogicalFont font;
    QColor textColor = Qt::black;
    QColor backgroundColor = Qt::white;
    bool opaqueBackground = true;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    uint32_t textAlign = 0;
    int rop2 = 13;  // R2_COPYPEN
    int stretchMode = 1;
    bool clockwise = false;
    QPointF current;  // logical
    bool hasClip = false;
    QPainterPath clip;  // target pixels
};

class MetafileCanvas {
public:
    // deviceToTarget maps the metafile's device space onto the target image; targetClip is the
    // rectangle nothing may be drawn outside. referencePixelsPerMm converts the metric mapping
    // modes (EMF's reference device).
    MetafileCanvas(QPainter& painter, const QTransform& deviceToTarget, const QRectF& targetClip,
                   QPointF referencePixelsPerMm, bool wmfMapping);

    DcState& dc() { return dc_; }
    // Measuring: nothing is painted; the target-space bounds of what would be are collected
    // (a WMF without a header or extents learns its size this way).
    void setMeasuring(bool on) { measuring_ = on; }
    QRectF measured() const { return measured_; }
    QTransform logicalToTarget() const;
    QTransform deviceToTarget() const { return device_; }

    // Mapping.
    void setMapMode(int mode) { dc_.mapMode = mode; }
    void setWindowOrg(QPointF p) { dc_.windowOrg = p; }
    void setWindowExt(QPointF e);
    void setViewportOrg(QPointF p);
    void setViewportExt(QPointF e);
    void scaleWindowExt(double xNum, double xDen, double yNum, double yDen);
    void scaleViewportExt(double xNum, double xDen, double yNum, double yDen);
    void setWorldTransform(const QTransform& t);
    void modifyWorldTransform(const QTransform& t, uint32_t mode);

    // State stack and objects.
    void saveDc();
    void restoreDc(int which);
    void setObjectTableSize(uint32_t size);
    void storeObject(uint32_t index, GdiObject object);
    // WMF: the object takes the lowest free slot.
    void storeObjectInFreeSlot(GdiObject object);
    void selectObject(uint32_t index);
    void deleteObject(uint32_t index);
    const GdiObject* object(uint32_t index) const;

    // Drawing, in logical coordinates.
    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF& points);
    void polylineTo(const QPolygonF& points);
    void polyBezier(const QPolygonF& points, bool fromCurrent);
    void polygon(const QPolygonF& points);
    void polyPolygon(const std::vector<QPolygonF>& polygons);
    void polyPolyline(const std::vector<QPolygonF>& lines);
    void rectangle(const QRectF& box);
    void roundRect(const QRectF& box, QSizeF corner);
    void ellipse(const QRectF& box);
    enum class ArcKind { Arc, ArcTo, Chord, Pie };
    void arc(const QRectF& box, QPointF start, QPointF end, ArcKind kind);
    void angleArc(QPointF centre, double radius, double startDegrees, double sweepDegrees);
    void setPixel(QPointF p, const QColor& colour);
    void fillShape(const QPainterPath& logical, const LogicalBrush& brush);
    // A fill no GDI brush describes (gradients), in logical coordinates.
    void fillShape(const QPainterPath& logical, const QBrush& brush);
    void frameShape(const QPainterPath& logical, const LogicalBrush& brush, QSizeF stroke);
    void invertShape(const QPainterPath& logical);

    // Path bracket.
    void beginPath();
    void endPath() { inPathBracket_ = false; }
    void abortPath();
    void closeFigure();
    void fillPath();
    void strokePath();
    void strokeAndFillPath();
    void selectClipPath(int mode);

    // Clipping.
    void intersectClipRect(const QRectF& logical);
    void excludeClipRect(const QRectF& logical);
    // A region in target pixels (already mapped); mode RGN_AND..RGN_COPY; an empty path with
    // RGN_COPY removes the clip.
    void combineClip(const QPainterPath& target, int mode, bool resetToNone = false);
    void offsetClip(QPointF logicalOffset);

    // Text: characters at a logical reference point, with optional advances in logical units.
    void text(QPointF reference, const QString& characters, const std::vector<double>& advances,
              uint32_t options, const std::optional<QRectF>& box);

    // Blits: a source image (may be null for a pattern-only raster operation) into a logical
    // rectangle.
    void blit(const QRectF& destination, const QImage& source, const QRectF& sourceRect,
              uint32_t rop, bool alphaBlend = false, int constantAlpha = 255);

private:
    QPen qpen(const QTransform& t) const;
    QBrush qbrush(const LogicalBrush& logical, const QTransform& t) const;
    void applyClip();
    bool sane(const QRectF& targetBounds) const;
    void drawShape(const QPainterPath& logical, bool fill, bool stroke);
    // Fills (with an optional background first) and strokes a path given in the space t maps
    // to the target; brushes and pens are as for a painter set to t.
    void paintShape(const QPainterPath& shape, const QTransform& t, const QBrush& brush,
                    const QPen& pen, const QColor* background = nullptr);
    void addToPath(const QPainterPath& logical, bool continueFigure);
    void applyRop2();

    QPainter& painter_;
    QTransform device_;
    QRectF targetClip_;
    QPointF pixelsPerMm_;
    bool wmfMapping_;
    DcState dc_;
    std::vector<DcState> saved_;
    std::vector<GdiObject> objects_;
    bool inPathBracket_ = false;
    QPainterPath path_;  // target pixels
    bool clipDirty_ = true;
    bool measuring_ = false;
    QRectF measured_;
    bool measure(const QRectF& targetBounds);
};
