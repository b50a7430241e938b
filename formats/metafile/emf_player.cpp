// EMF records onto the device-context model. Every record is read through a ByteReader cut to
// the record's size, so a field the gate did not look at still cannot read past the record.

#include "formats/metafile/metafile_dib.h"
#include "formats/metafile/metafile_players.h"
#include "formats/metafile/metafile_records.h"

#include <QElapsedTimer>
#include <QLinearGradient>
#include <QRegion>
#include <bit>
#include <cmath>

namespace {

constexpr uint32_t kGradientFill = 118, kMaskBlt = 78, kTransparentBlt = 116;

QColor colourRef(uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int32_t readI32(ByteReader& r) {
    return int32_t(r.readU32le());
}
int16_t readI16(ByteReader& r) {
    return int16_t(r.readU16le());
}
float readFloat(ByteReader& r) {
    return std::bit_cast<float>(r.readU32le());
}

QPointF readPointL(ByteReader& r) {
    const int32_t x = readI32(r);
    const int32_t y = readI32(r);
    return QPointF(x, y);
}

QRectF readRectL(ByteReader& r) {
    const int32_t l = readI32(r), t = readI32(r), rr = readI32(r), b = readI32(r);
    return QRectF(QPointF(l, t), QPointF(rr, b));
}

QTransform readXform(ByteReader& r) {
    const float m11 = readFloat(r), m12 = readFloat(r), m21 = readFloat(r), m22 = readFloat(r);
    const float dx = readFloat(r), dy = readFloat(r);
    return QTransform(m11, m12, m21, m22, dx, dy);
}

QPolygonF readPoints(ByteReader& r, uint32_t count, bool small) {
    QPolygonF points;
    const size_t unit = small ? 4 : 8;
    if (count > r.remaining() / unit) return points;
    points.reserve(qsizetype(count));
    for (uint32_t i = 0; i < count; ++i) {
        if (small) {
            const int16_t x = readI16(r), y = readI16(r);
            points << QPointF(x, y);
        } else {
            points << readPointL(r);
        }
    }
    return points;
}

// A span inside the record, given as an offset from the record's start; empty when it does
// not lie inside.
ByteReader span(const ByteReader& record, uint32_t offset, uint32_t count) {
    if (!record.has(offset, count)) return ByteReader();
    return ByteReader(record.data() + offset, count);
}

QPainterPath readRegion(ByteReader r, uint32_t bytes) {
    QPainterPath path;
    ByteReader region = r.sub(bytes);
    region.skip(8);
    const uint32_t count = region.readU32le();
    region.skip(4 + 16);
    if (region.failed() || count > region.remaining() / 16) return path;
    QList<QRect> rects;
    rects.reserve(qsizetype(count));
    for (uint32_t i = 0; i < count; ++i) {
        const int32_t l = readI32(region), t = readI32(region), rr = readI32(region),
                      b = readI32(region);
        if (rr > l && b > t) rects << QRect(QPoint(l, t), QPoint(rr - 1, b - 1));
    }
    QRegion united;
    united.setRects(rects.constData(), int(rects.size()));
    path.addRegion(united);
    return path;
}

LogicalFont readLogFont(ByteReader& r) {
    LogicalFont f;
    f.height = readI32(r);
    f.width = readI32(r);
    f.escapement = readI32(r);
    readI32(r);  // orientation: follows the escapement on the devices we stand in for
    f.weight = readI32(r);
    f.italic = r.readU8() != 0;
    f.underline = r.readU8() != 0;
    f.strikeOut = r.readU8() != 0;
    r.skip(5);
    char16_t face[32] = {};
    int n = 0;
    for (; n < 32; ++n) {
        face[n] = char16_t(r.readU16le());
        if (face[n] == 0) break;
    }
    f.face = QString::fromUtf16(face, n);
    return f;
}

class EmfPlayer {
public:
    EmfPlayer(const QByteArray& bytes, MetafileCanvas& canvas)
        : bytes_(reinterpret_cast<const uint8_t*>(bytes.constData())), canvas_(canvas) {}

    void play(const MetafileRecord& rec) {
        ByteReader r(bytes_ + rec.offset, rec.size);
        r.skip(8);
        DcState& dc = canvas_.dc();
        switch (rec.type) {
            case emr::kPolyBezier:
            case emr::kPolygon:
            case emr::kPolyline:
            case emr::kPolyBezierTo:
            case emr::kPolylineTo:
            case emr::kPolyBezier16:
            case emr::kPolygon16:
            case emr::kPolyline16:
            case emr::kPolyBezierTo16:
            case emr::kPolylineTo16: {
                r.skip(16);
                const uint32_t count = r.readU32le();
                const bool small = rec.type >= emr::kPolyBezier16;
                const uint32_t kind =
                    small ? rec.type - emr::kPolyBezier16 + emr::kPolyBezier : rec.type;
                const QPolygonF points = readPoints(r, count, small);
                if (kind == emr::kPolyBezier)
                    canvas_.polyBezier(points, false);
                else if (kind == emr::kPolygon)
                    canvas_.polygon(points);
                else if (kind == emr::kPolyline)
                    canvas_.polyline(points);
                else if (kind == emr::kPolyBezierTo)
                    canvas_.polyBezier(points, true);
                else
                    canvas_.polylineTo(points);
                break;
            }
            case emr::kPolyPolyline:
            case emr::kPolyPolygon:
            case emr::kPolyPolyline16:
            case emr::kPolyPolygon16: {
                r.skip(16);
                const uint32_t polygons = r.readU32le();
                r.readU32le();
                if (polygons > r.remaining() / 4) break;
                std::vector<uint32_t> counts(polygons);
                for (auto& c : counts) c = r.readU32le();
                const bool small = rec.type >= emr::kPolyPolyline16;
                std::vector<QPolygonF> list;
                for (uint32_t c : counts) list.push_back(readPoints(r, c, small));
                if (rec.type == emr::kPolyPolygon || rec.type == emr::kPolyPolygon16)
                    canvas_.polyPolygon(list);
                else
                    canvas_.polyPolyline(list);
                break;
            }
            case emr::kSetWindowExtEx:
                canvas_.setWindowExt(readPointL(r));
                break;
            case emr::kSetWindowOrgEx:
                canvas_.setWindowOrg(readPointL(r));
                break;
            case emr::kSetViewportExtEx:
                canvas_.setViewportExt(readPointL(r));
                break;
            case emr::kSetViewportOrgEx:
                canvas_.setViewportOrg(readPointL(r));
                break;
            case emr::kSetPixelV: {
                const QPointF p = readPointL(r);
                canvas_.setPixel(p, colourRef(r.readU32le()));
                break;
            }
            case emr::kSetMapMode: {
                const uint32_t mode = r.readU32le();
                if (mode >= 1 && mode <= 8) canvas_.setMapMode(int(mode));
                break;
            }
            case emr::kSetBkMode:
                dc.opaqueBackground = r.readU32le() == 2;
                break;
            case emr::kSetPolyFillMode:
                dc.fillRule = r.readU32le() == 2 ? Qt::WindingFill : Qt::OddEvenFill;
                break;
            case emr::kSetRop2:
                dc.rop2 = int(r.readU32le());
                break;
            case emr::kSetStretchBltMode:
                dc.stretchMode = int(r.readU32le());
                break;
            case emr::kSetTextAlign:
                dc.textAlign = r.readU32le();
                break;
            case emr::kSetTextColor:
                dc.textColor = colourRef(r.readU32le());
                break;
            case emr::kSetBkColor:
                dc.backgroundColor = colourRef(r.readU32le());
                break;
            case emr::kOffsetClipRgn:
                canvas_.offsetClip(readPointL(r));
                break;
            case emr::kMoveToEx:
                canvas_.moveTo(readPointL(r));
                break;
            case emr::kExcludeClipRect:
                canvas_.excludeClipRect(readRectL(r));
                break;
            case emr::kIntersectClipRect:
                canvas_.intersectClipRect(readRectL(r));
                break;
            case emr::kScaleViewportExtEx:
            case emr::kScaleWindowExtEx: {
                const int32_t xn = readI32(r), xd = readI32(r), yn = readI32(r), yd = readI32(r);
                if (rec.type == emr::kScaleWindowExtEx)
                    canvas_.scaleWindowExt(xn, xd, yn, yd);
                else
                    canvas_.scaleViewportExt(xn, xd, yn, yd);
                break;
            }
            case emr::kSaveDc:
                canvas_.saveDc();
                break;
            case emr::kRestoreDc:
                canvas_.restoreDc(readI32(r));
                break;
            case emr::kSetWorldTransform:
                canvas_.setWorldTransform(readXform(r));
                break;
            case emr::kModifyWorldTransform: {
                const QTransform t = readXform(r);
                canvas_.modifyWorldTransform(t, r.readU32le());
                break;
            }
            case emr::kSelectObject:
                canvas_.selectObject(r.readU32le());
                break;
            case emr::kDeleteObject:
                canvas_.deleteObject(r.readU32le());
                break;
            case emr::kCreatePen: {
                const uint32_t index = r.readU32le();
                const uint32_t style = r.readU32le();
                const int32_t width = readI32(r);
                readI32(r);
                LogicalPen pen = penFromStyle(style, uint32_t(std::abs(width)));
                pen.color = colourRef(r.readU32le());
                canvas_.storeObject(index, pen);
                break;
            }
            case emr::kExtCreatePen: {
                const uint32_t index = r.readU32le();
                const uint32_t offBmi = r.readU32le(), cbBmi = r.readU32le();
                const uint32_t offBits = r.readU32le(), cbBits = r.readU32le();
                const uint32_t style = r.readU32le();
                const uint32_t width = r.readU32le();
                const uint32_t brushStyle = r.readU32le();
                const uint32_t colour = r.readU32le();
                r.readU32le();
                const uint32_t entries = r.readU32le();
                LogicalPen pen = penFromStyle(style, width);
                pen.color = colourRef(colour);
                if (brushStyle == 1) pen.null = true;
                if (brushStyle == 2) pen.hatch = int(hatchOf(rec));
                if ((brushStyle == 5 || brushStyle == 6) && cbBmi)
                    pen.pattern = DecodeDib({span(record(rec), offBmi, cbBmi),
                                             span(record(rec), offBits, cbBits), false});
                if ((style & 0xF) == 7 && entries <= r.remaining() / 4) {
                    for (uint32_t i = 0; i < entries && i < 64; ++i) pen.dashes << r.readU32le();
                }
                canvas_.storeObject(index, pen);
                break;
            }
            case emr::kCreateBrushIndirect: {
                const uint32_t index = r.readU32le();
                const uint32_t style = r.readU32le();
                const uint32_t colour = r.readU32le();
                const uint32_t hatch = r.readU32le();
                LogicalBrush brush;
                brush.color = colourRef(colour);
                brush.kind = style == 1   ? LogicalBrush::Kind::Null
                             : style == 2 ? LogicalBrush::Kind::Hatched
                                          : LogicalBrush::Kind::Solid;
                brush.hatch = int(hatch);
                canvas_.storeObject(index, brush);
                break;
            }
            case emr::kCreateMonoBrush:
            case emr::kCreateDibPatternBrushPt: {
                const uint32_t index = r.readU32le();
                const uint32_t usage = r.readU32le();
                const uint32_t offBmi = r.readU32le(), cbBmi = r.readU32le();
                const uint32_t offBits = r.readU32le(), cbBits = r.readU32le();
                LogicalBrush brush;
                brush.kind = LogicalBrush::Kind::Pattern;
                brush.color = dc.textColor;
                DibSource source{span(record(rec), offBmi, cbBmi),
                                 span(record(rec), offBits, cbBits), usage == 1};
                // A mono brush paints in the text and background colours.
                source.monochrome = rec.type == emr::kCreateMonoBrush;
                brush.monochrome = source.monochrome;
                brush.pattern = DecodeDib(source);
                canvas_.storeObject(index, brush);
                break;
            }
            case emr::kExtCreateFontIndirectW: {
                const uint32_t index = r.readU32le();
                canvas_.storeObject(index, readLogFont(r));
                break;
            }
            case emr::kAngleArc: {
                const QPointF centre = readPointL(r);
                const uint32_t radius = r.readU32le();
                const float start = readFloat(r), sweep = readFloat(r);
                if (!r.failed()) canvas_.angleArc(centre, radius, start, sweep);
                break;
            }
            case emr::kEllipse:
                canvas_.ellipse(readRectL(r));
                break;
            case emr::kRectangle:
                canvas_.rectangle(readRectL(r));
                break;
            case emr::kRoundRect: {
                const QRectF box = readRectL(r);
                const QPointF corner = readPointL(r);
                canvas_.roundRect(box, QSizeF(corner.x(), corner.y()));
                break;
            }
            case emr::kArc:
            case emr::kChord:
            case emr::kPie:
            case emr::kArcTo: {
                const QRectF box = readRectL(r);
                const QPointF start = readPointL(r), end = readPointL(r);
                const auto kind = rec.type == emr::kArc     ? MetafileCanvas::ArcKind::Arc
                                  : rec.type == emr::kChord ? MetafileCanvas::ArcKind::Chord
                                  : rec.type == emr::kPie   ? MetafileCanvas::ArcKind::Pie
                                                            : MetafileCanvas::ArcKind::ArcTo;
                canvas_.arc(box, start, end, kind);
                break;
            }
            case emr::kLineTo:
                canvas_.lineTo(readPointL(r));
                break;
            case emr::kSetArcDirection:
                dc.clockwise = r.readU32le() == 2;
                break;
            case emr::kBeginPath:
                canvas_.beginPath();
                break;
            case emr::kEndPath:
                canvas_.endPath();
                break;
            case emr::kCloseFigure:
                canvas_.closeFigure();
                break;
            case emr::kFillPath:
                canvas_.fillPath();
                break;
            case emr::kStrokeAndFillPath:
                canvas_.strokeAndFillPath();
                break;
            case emr::kStrokePath:
                canvas_.strokePath();
                break;
            case emr::kAbortPath:
                canvas_.abortPath();
                break;
            case emr::kSelectClipPath:
                canvas_.selectClipPath(int(r.readU32le()));
                break;
            case emr::kFillRgn:
            case emr::kFrameRgn:
            case emr::kInvertRgn:
            case emr::kPaintRgn: {
                r.skip(16);
                const uint32_t bytes = r.readU32le();
                uint32_t brushIndex = 0;
                QSizeF stroke;
                if (rec.type == emr::kFillRgn || rec.type == emr::kFrameRgn)
                    brushIndex = r.readU32le();
                if (rec.type == emr::kFrameRgn) {
                    const QPointF s = readPointL(r);
                    stroke = QSizeF(s.x(), s.y());
                }
                const QPainterPath area = readRegion(r, bytes);
                if (rec.type == emr::kInvertRgn)
                    canvas_.invertShape(area);
                else if (rec.type == emr::kPaintRgn)
                    canvas_.fillShape(area, dc.brush);
                else {
                    const LogicalBrush brush = brushAt(brushIndex);
                    if (rec.type == emr::kFillRgn)
                        canvas_.fillShape(area, brush);
                    else
                        canvas_.frameShape(area, brush, stroke);
                }
                break;
            }
            case emr::kExtSelectClipRgn: {
                const uint32_t bytes = r.readU32le();
                const uint32_t mode = r.readU32le();
                if (bytes < 32) {
                    canvas_.combineClip(QPainterPath(), int(mode), true);
                    break;
                }
                // The region is in device units: only the device mapping applies.
                const QPainterPath area = canvas_.deviceToTarget().map(readRegion(r, bytes));
                canvas_.combineClip(area, int(mode));
                break;
            }
            case emr::kBitBlt:
            case emr::kStretchBlt:
                playBlt(rec, r);
                break;
            case emr::kStretchDiBits:
                playStretchDiBits(rec, r);
                break;
            case emr::kSetDiBitsToDevice:
                playSetDiBitsToDevice(rec, r);
                break;
            case emr::kAlphaBlend:
                playAlphaBlend(rec, r);
                break;
            case kMaskBlt:
                playMaskBlt(rec, r);
                break;
            case kTransparentBlt:
                playTransparentBlt(rec, r);
                break;
            case emr::kExtTextOutA:
            case emr::kExtTextOutW:
                playExtTextOut(rec, r);
                break;
            case emr::kSmallTextOut:
                playSmallTextOut(r);
                break;
            case kGradientFill:
                playGradientFill(r);
                break;
            default:
                break;  // comments (EMF+ among them), palettes, colour spaces, escapes
        }
    }

private:
    ByteReader record(const MetafileRecord& rec) const {
        return ByteReader(bytes_ + rec.offset, rec.size);
    }

    // EXTCREATEPEN's hatch, after its fixed fields.
    uint32_t hatchOf(const MetafileRecord& rec) const {
        ByteReader r = record(rec);
        r.skip(8 + 4 + 16 + 16);
        return r.readU32le();
    }

    static LogicalPen penFromStyle(uint32_t style, uint32_t width) {
        LogicalPen pen;
        pen.style = int(style & 0xF);
        pen.null = pen.style == 5;
        pen.width = width;
        // Geometric pens and any pen wider than one unit scale with the mapping.
        pen.cosmetic = width == 0 || (!(style & 0x10000) && width <= 1);
        const uint32_t cap = style & 0xF00, join = style & 0xF000;
        pen.cap = cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap;
        pen.join = join == 0x1000 ? Qt::BevelJoin : join == 0x2000 ? Qt::MiterJoin : Qt::RoundJoin;
        return pen;
    }

    LogicalBrush brushAt(uint32_t index) {
        if (index & 0x80000000u) {
            const DcState keep = canvas_.dc();
            canvas_.selectObject(index);
            const LogicalBrush b = canvas_.dc().brush;
            canvas_.dc() = keep;
            return b;
        }
        if (const GdiObject* o = canvas_.object(index))
            if (const auto* b = std::get_if<LogicalBrush>(o)) return *b;
        return canvas_.dc().brush;
    }

    QImage dib(const MetafileRecord& rec, uint32_t offBmi, uint32_t cbBmi, uint32_t offBits,
               uint32_t cbBits, uint32_t usage, bool alpha = false, int firstScan = 0,
               int scans = -1) {
        if (cbBmi == 0) return QImage();
        DibSource s{span(record(rec), offBmi, cbBmi), span(record(rec), offBits, cbBits),
                    usage == 1, firstScan, scans};
        return DecodeDib(s, alpha);
    }

    void playBlt(const MetafileRecord& rec, ByteReader& r) {
        r.skip(16);
        const int32_t x = readI32(r), y = readI32(r), cx = readI32(r), cy = readI32(r);
        const uint32_t rop = r.readU32le();
        const int32_t xs = readI32(r), ys = readI32(r);
        const QTransform sourceTransform = readXform(r);
        r.skip(4);
        const uint32_t usage = r.readU32le();
        const uint32_t offBmi = r.readU32le(), cbBmi = r.readU32le();
        const uint32_t offBits = r.readU32le(), cbBits = r.readU32le();
        int32_t cxs = cx, cys = cy;
        if (rec.type == emr::kStretchBlt) {
            cxs = readI32(r);
            cys = readI32(r);
        }
        if (r.failed()) return;
        const QImage image = dib(rec, offBmi, cbBmi, offBits, cbBits, usage);
        // The source rectangle is in the source's logical units; xformSrc takes it to the
        // bitmap's pixels.
        QRectF source = sourceTransform.mapRect(QRectF(xs, ys, cxs, cys));
        // A BITBLT copies as many source pixels as the destination has logical units. Writers
        // that blit a small bitmap onto a large logical area (libUEMF's test files) mean the
        // whole bitmap, which is also what a recorded bitmap of exactly that size gives.
        if (rec.type == emr::kBitBlt && !image.isNull() &&
            (source.right() > image.width() || source.bottom() > image.height()))
            source = QRectF(source.topLeft(), QPointF(image.width(), image.height()));
        canvas_.blit(QRectF(x, y, cx, cy), image, source, rop);
    }

    // StretchDIBits and SetDIBitsToDevice count the source's y from the bottom of a bottom-up
    // DIB; QImage rows run from the top.
    static double topRow(const ByteReader& info, int32_t ys, int32_t cys) {
        const DibGeometry g = ReadDibGeometry(info);
        return g.height > 0 ? double(g.height) - ys - cys : ys;
    }

    void playStretchDiBits(const MetafileRecord& rec, ByteReader& r) {
        r.skip(16);
        const int32_t x = readI32(r), y = readI32(r), xs = readI32(r), ys = readI32(r);
        const int32_t cxs = readI32(r), cys = readI32(r);
        const uint32_t offBmi = r.readU32le(), cbBmi = r.readU32le();
        const uint32_t offBits = r.readU32le(), cbBits = r.readU32le();
        const uint32_t usage = r.readU32le(), rop = r.readU32le();
        const int32_t cx = readI32(r), cy = readI32(r);
        if (r.failed()) return;
        const QImage image = dib(rec, offBmi, cbBmi, offBits, cbBits, usage);
        const double top = topRow(span(record(rec), offBmi, cbBmi), ys, cys);
        canvas_.blit(QRectF(x, y, cx, cy), image, QRectF(xs, top, cxs, cys), rop);
    }

    void playSetDiBitsToDevice(const MetafileRecord& rec, ByteReader& r) {
        r.skip(16);
        const int32_t x = readI32(r), y = readI32(r), xs = readI32(r), ys = readI32(r);
        const int32_t cxs = readI32(r), cys = readI32(r);
        const uint32_t offBmi = r.readU32le(), cbBmi = r.readU32le();
        const uint32_t offBits = r.readU32le(), cbBits = r.readU32le();
        const uint32_t usage = r.readU32le();
        const uint32_t startScan = r.readU32le(), scans = r.readU32le();
        if (r.failed() || startScan > INT32_MAX || scans > INT32_MAX) return;
        const QImage image =
            dib(rec, offBmi, cbBmi, offBits, cbBits, usage, false, int(startScan), int(scans));
        const double top = topRow(span(record(rec), offBmi, cbBmi), ys, cys);
        // The destination is measured in device pixels from a logical corner.
        const QTransform t = canvas_.logicalToTarget();
        const double sx = std::hypot(t.m11(), t.m12()), sy = std::hypot(t.m21(), t.m22());
        const QTransform d = canvas_.deviceToTarget();
        const double dx = std::hypot(d.m11(), d.m12()), dy = std::hypot(d.m21(), d.m22());
        const double w = sx > 0 ? cxs * dx / sx : cxs, h = sy > 0 ? cys * dy / sy : cys;
        canvas_.blit(QRectF(x, y, w, h), image, QRectF(xs, top, cxs, cys), 0x00CC0020);
    }

    void playAlphaBlend(const MetafileRecord& rec, ByteReader& r) {
        r.skip(16);
        const int32_t x = readI32(r), y = readI32(r), cx = readI32(r), cy = readI32(r);
        r.readU8();
        r.readU8();
        const int constantAlpha = r.readU8();
        const bool perPixel = r.readU8() != 0;
        const int32_t xs = readI32(r), ys = readI32(r);
        r.skip(24 + 4);
        const uint32_t usage = r.readU32le();
        const uint32_t offBmi = r.readU32le(), cbBmi = r.readU32le();
        const uint32_t offBits = r.readU32le(), cbBits = r.readU32le();
        const int32_t cxs = readI32(r), cys = readI32(r);
        if (r.failed()) return;
        const QImage image = dib(rec, offBmi, cbBmi, offBits, cbBits, usage, perPixel);
        canvas_.blit(QRectF(x, y, cx, cy), image, QRectF(xs, ys, cxs, cys), 0x00CC0020, true,
                     constantAlpha);
    }

    // The mask is not applied: the source is drawn as a plain copy, which keeps what the
    // mask would have shown.
    void playMaskBlt(const MetafileRecord& rec, ByteReader& r) {
        r.skip(16);
        const int32_t x = readI32(r), y = readI32(r), cx = readI32(r), cy = readI32(r);
        r.readU32le();
        const int32_t xs = readI32(r), ys = readI32(r);
        const QTransform sourceTransform = readXform(r);
        r.skip(4);
        const uint32_t usage = r.readU32le();
        const uint32_t offBmi = r.readU32le(), cbBmi = r.readU32le();
        const uint32_t offBits = r.readU32le(), cbBits = r.readU32le();
        if (r.failed() || cbBmi == 0) return;
        const QImage image = dib(rec, offBmi, cbBmi, offBits, cbBits, usage);
        canvas_.blit(QRectF(x, y, cx, cy), image, sourceTransform.mapRect(QRectF(xs, ys, cx, cy)),
                     0x00CC0020);
    }

    // One colour of the source is transparent.
    void playTransparentBlt(const MetafileRecord& rec, ByteReader& r) {
        r.skip(16);
        const int32_t x = readI32(r), y = readI32(r), cx = readI32(r), cy = readI32(r);
        const uint32_t key = r.readU32le();
        const int32_t xs = readI32(r), ys = readI32(r);
        const QTransform sourceTransform = readXform(r);
        r.skip(4);
        const uint32_t usage = r.readU32le();
        const uint32_t offBmi = r.readU32le(), cbBmi = r.readU32le();
        const uint32_t offBits = r.readU32le(), cbBits = r.readU32le();
        const int32_t cxs = readI32(r), cys = readI32(r);
        if (r.failed()) return;
        QImage image = dib(rec, offBmi, cbBmi, offBits, cbBits, usage);
        if (image.isNull()) return;
        image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const QRgb transparent = colourRef(key).rgb() & 0x00FFFFFF;
        for (int row = 0; row < image.height(); ++row) {
            auto* line = reinterpret_cast<QRgb*>(image.scanLine(row));
            for (int col = 0; col < image.width(); ++col)
                if ((line[col] & 0x00FFFFFF) == transparent) line[col] = 0;
        }
        canvas_.blit(QRectF(x, y, cx, cy), image, sourceTransform.mapRect(QRectF(xs, ys, cxs, cys)),
                     0x00CC0020, true);
    }

    void playExtTextOut(const MetafileRecord& rec, ByteReader& r) {
        r.skip(16 + 12);
        const QPointF reference = readPointL(r);
        const uint32_t count = r.readU32le();
        const uint32_t offString = r.readU32le();
        const uint32_t options = r.readU32le();
        const QRectF box = readRectL(r);
        const uint32_t offDx = r.readU32le();
        if (r.failed()) return;
        // Glyph indices name glyphs of a font we do not have; drawing them as characters would
        // print nonsense.
        if (options & 0x10) return;
        const bool wide = rec.type == emr::kExtTextOutW;
        ByteReader chars =
            span(record(rec), offString,
                 uint32_t(std::min<uint64_t>(uint64_t(count) * (wide ? 2 : 1), rec.size)));
        if (chars.size() == 0 && count) return;
        const QString text = decode(chars, count, wide);
        std::vector<double> advances;
        if (offDx) {
            const bool pairs = options & 0x2000;  // ETO_PDY: x and y advances
            ByteReader dx =
                span(record(rec), offDx,
                     uint32_t(std::min<uint64_t>(uint64_t(count) * (pairs ? 8 : 4), rec.size)));
            if (dx.size() == uint64_t(count) * (pairs ? 8 : 4)) {
                for (uint32_t i = 0; i < count; ++i) {
                    advances.push_back(readI32(dx));
                    if (pairs) dx.readU32le();
                }
            }
        }
        const bool hasBox = (options & 6) && box.width() != 0 && box.height() != 0;
        canvas_.text(reference, text, advances, options,
                     hasBox ? std::optional<QRectF>(box) : std::nullopt);
    }

    void playSmallTextOut(ByteReader& r) {
        const QPointF reference = readPointL(r);
        const uint32_t count = r.readU32le();
        const uint32_t options = r.readU32le();
        r.skip(12);
        std::optional<QRectF> box;
        if (!(options & 0x100)) box = readRectL(r);
        if (r.failed() || (options & 0x10)) return;
        const bool wide = !(options & 0x200);
        if (uint64_t(count) * (wide ? 2 : 1) > r.remaining()) return;
        const QString text = decode(r, count, wide);
        canvas_.text(reference, text, {}, options, (options & 6) ? box : std::nullopt);
    }

    static QString decode(ByteReader& r, uint32_t count, bool wide) {
        QString text;
        text.reserve(qsizetype(count));
        for (uint32_t i = 0; i < count && !r.failed(); ++i) {
            const char16_t c = wide ? char16_t(r.readU16le()) : char16_t(r.readU8());
            text.append(QChar(c));
        }
        return text;
    }

    void playGradientFill(ByteReader& r) {
        r.skip(16);
        const uint32_t vertices = r.readU32le();
        const uint32_t shapes = r.readU32le();
        const uint32_t mode = r.readU32le();
        if (r.failed() || vertices > r.remaining() / 16) return;
        struct Vertex {
            QPointF p;
            QColor c;
        };
        std::vector<Vertex> v(vertices);
        for (auto& vx : v) {
            vx.p = readPointL(r);
            const int red = r.readU16le() >> 8, green = r.readU16le() >> 8,
                      blue = r.readU16le() >> 8;
            r.readU16le();
            vx.c = QColor(red, green, blue);
        }
        const uint32_t indices = mode == 2 ? 3 : 2;
        if (shapes > r.remaining() / (4 * indices)) return;
        for (uint32_t s = 0; s < shapes; ++s) {
            uint32_t idx[3] = {0, 0, 0};
            for (uint32_t i = 0; i < indices; ++i) idx[i] = r.readU32le();
            if (idx[0] >= vertices || idx[1] >= vertices || (indices == 3 && idx[2] >= vertices))
                continue;
            QPainterPath area;
            if (indices == 2) {
                const QRectF box = QRectF(v[idx[0]].p, v[idx[1]].p).normalized();
                area.addRect(box);
                // Horizontal (mode 0) or vertical (mode 1) from the first vertex's colour to
                // the second's.
                QLinearGradient g(v[idx[0]].p, mode == 0
                                                   ? QPointF(v[idx[1]].p.x(), v[idx[0]].p.y())
                                                   : QPointF(v[idx[0]].p.x(), v[idx[1]].p.y()));
                g.setColorAt(0, v[idx[0]].c);
                g.setColorAt(1, v[idx[1]].c);
                canvas_.fillShape(area, QBrush(g));
            } else {
                // Qt has no three-colour gradient: the triangle takes its corners' mean.
                QPolygonF tri;
                for (uint32_t i = 0; i < 3; ++i) tri << v[idx[i]].p;
                area.addPolygon(tri);
                area.closeSubpath();
                int red = 0, green = 0, blue = 0;
                for (uint32_t i = 0; i < 3; ++i) {
                    red += v[idx[i]].c.red();
                    green += v[idx[i]].c.green();
                    blue += v[idx[i]].c.blue();
                }
                canvas_.fillShape(area, QBrush(QColor(red / 3, green / 3, blue / 3)));
            }
        }
    }

    const uint8_t* bytes_;
    MetafileCanvas& canvas_;
};

}  // namespace

void PlayEmfRecords(const QByteArray& bytes, const GatedMetafile& metafile,
                    MetafileCanvas& canvas) {
    canvas.setObjectTableSize(std::max<uint32_t>(metafile.handleCount, 16));
    EmfPlayer player(bytes, canvas);
    QElapsedTimer clock;
    clock.start();
    for (const MetafileRecord& rec : metafile.records) {
        player.play(rec);
        if (clock.elapsed() > kMetafilePlaybackBudgetMs) break;
    }
}
