// WMF records onto the device-context model. Parameters are 16-bit words, most of them stored
// in reverse order (y before x, bottom before top); each record is read through a ByteReader
// cut to the record's size.

#include "formats/bmp/dib.h"
#include "formats/metafile/metafile_dib.h"
#include "formats/metafile/metafile_players.h"
#include "formats/metafile/metafile_records.h"

#include <QElapsedTimer>

namespace {

QColor colourRef(uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

int16_t s16(ByteReader& r) {
    return int16_t(r.readU16le());
}

// y, x as stored.
QPointF readYX(ByteReader& r) {
    const int16_t y = s16(r);
    const int16_t x = s16(r);
    return QPointF(x, y);
}

// bottom, right, top, left as stored.
QRectF readBox(ByteReader& r) {
    const int16_t b = s16(r), rr = s16(r), t = s16(r), l = s16(r);
    return QRectF(QPointF(l, t), QPointF(rr, b));
}

QPolygonF readXYPoints(ByteReader& r, uint32_t count) {
    QPolygonF points;
    if (count > r.remaining() / 4) return points;
    points.reserve(qsizetype(count));
    for (uint32_t i = 0; i < count; ++i) {
        const int16_t x = s16(r), y = s16(r);
        points << QPointF(x, y);
    }
    return points;
}

QString readAnsi(ByteReader& r, uint32_t count) {
    QString s;
    if (count > r.remaining()) count = uint32_t(r.remaining());
    s.reserve(qsizetype(count));
    for (uint32_t i = 0; i < count; ++i) s.append(QChar(char16_t(r.readU8())));
    return s;
}

// A DIB that fills the rest of the record: header first, then colour table and bits. The
// split between the two is found from the header.
QImage readTrailingDib(ByteReader& r, bool paletteIndices) {
    ByteReader all(r.current(), r.remaining());
    ByteReader header = all;
    DibHeader h;
    if (!ReadDibHeader(header, h) || ReadDibGeometry(all).width <= 0) return QImage();
    // Colour table: for the indexed depths, as many entries as the header says (or all); it
    // follows the header and the masks that come after one.
    const uint64_t entry = paletteIndices ? 2 : (h.core() ? 3 : 4);
    uint64_t tableBytes = 0;
    if (h.bitCount <= 8)
        tableBytes = uint64_t(h.coloursUsed ? h.coloursUsed : (1u << h.bitCount)) * entry;
    const uint64_t infoBytes = header.position() + tableBytes;
    if (infoBytes > all.size()) return QImage();
    DibSource s{ByteReader(all.data(), size_t(infoBytes)),
                ByteReader(all.data() + infoBytes, all.size() - size_t(infoBytes)), paletteIndices};
    return DecodeDib(s);
}

class WmfPlayer {
public:
    explicit WmfPlayer(MetafileCanvas& canvas) : canvas_(canvas) {}

    void play(const uint8_t* base, const MetafileRecord& rec) {
        ByteReader r(base + rec.offset, rec.size);
        r.skip(6);
        DcState& dc = canvas_.dc();
        const uint32_t words = (rec.size - 6) / 2;
        switch (rec.type) {
            case wmr::kSetBkColor:
                dc.backgroundColor = colourRef(r.readU32le());
                break;
            case wmr::kSetBkMode:
                dc.opaqueBackground = r.readU16le() == 2;
                break;
            case wmr::kSetMapMode:
                break;  // the file plays into our viewport whatever it says
            case wmr::kSetRop2:
                dc.rop2 = r.readU16le();
                break;
            case wmr::kSetPolyFillMode:
                dc.fillRule = r.readU16le() == 2 ? Qt::WindingFill : Qt::OddEvenFill;
                break;
            case wmr::kSetStretchBltMode:
                dc.stretchMode = r.readU16le();
                break;
            case wmr::kSetTextAlign:
                dc.textAlign = r.readU16le();
                break;
            case wmr::kSetTextColor:
                dc.textColor = colourRef(r.readU32le());
                break;
            case wmr::kSetWindowOrg:
                canvas_.setWindowOrg(readYX(r));
                break;
            case wmr::kSetWindowExt:
                canvas_.setWindowExt(readYX(r));
                break;
            case wmr::kOffsetWindowOrg: {
                const QPointF d = readYX(r);
                canvas_.setWindowOrg(dc.windowOrg + d);
                break;
            }
            case wmr::kScaleWindowExt: {
                const int16_t yd = s16(r), yn = s16(r), xd = s16(r), xn = s16(r);
                canvas_.scaleWindowExt(xn, xd, yn, yd);
                break;
            }
            case wmr::kSetViewportOrg:
                canvas_.setViewportOrg(readYX(r));
                break;
            case wmr::kSetViewportExt:
                canvas_.setViewportExt(readYX(r));
                break;
            case wmr::kLineTo:
                canvas_.lineTo(readYX(r));
                break;
            case wmr::kMoveTo:
                canvas_.moveTo(readYX(r));
                break;
            case wmr::kExcludeClipRect:
                canvas_.excludeClipRect(readBox(r));
                break;
            case wmr::kIntersectClipRect:
                canvas_.intersectClipRect(readBox(r));
                break;
            case wmr::kOffsetClipRgn:
                canvas_.offsetClip(readYX(r));
                break;
            case wmr::kEllipse:
                canvas_.ellipse(readBox(r));
                break;
            case wmr::kRectangle:
                canvas_.rectangle(readBox(r));
                break;
            case wmr::kRoundRect: {
                const int16_t h = s16(r), w = s16(r);
                canvas_.roundRect(readBox(r), QSizeF(w, h));
                break;
            }
            case wmr::kArc:
            case wmr::kPie:
            case wmr::kChord: {
                const QPointF end = readYX(r), start = readYX(r);
                const QRectF box = readBox(r);
                const auto kind = rec.type == wmr::kArc   ? MetafileCanvas::ArcKind::Arc
                                  : rec.type == wmr::kPie ? MetafileCanvas::ArcKind::Pie
                                                          : MetafileCanvas::ArcKind::Chord;
                if (!r.failed()) canvas_.arc(box, start, end, kind);
                break;
            }
            case wmr::kPolygon:
            case wmr::kPolyline: {
                const uint16_t count = r.readU16le();
                const QPolygonF points = readXYPoints(r, count);
                if (rec.type == wmr::kPolygon)
                    canvas_.polygon(points);
                else
                    canvas_.polyline(points);
                break;
            }
            case wmr::kPolyPolygon: {
                const uint16_t polygons = r.readU16le();
                std::vector<uint16_t> counts;
                for (uint16_t i = 0; i < polygons && !r.failed(); ++i)
                    counts.push_back(r.readU16le());
                std::vector<QPolygonF> list;
                for (uint16_t c : counts) list.push_back(readXYPoints(r, c));
                if (!r.failed()) canvas_.polyPolygon(list);
                break;
            }
            case wmr::kSetPixel: {
                const uint32_t colour = r.readU32le();
                canvas_.setPixel(readYX(r), colourRef(colour));
                break;
            }
            case wmr::kSaveDc:
                canvas_.saveDc();
                break;
            case wmr::kRestoreDc:
                canvas_.restoreDc(s16(r));
                break;
            case wmr::kSelectObject:
                canvas_.selectObject(r.readU16le());
                break;
            case wmr::kSelectClipRegion:
                canvas_.selectObject(r.readU16le());
                break;
            case wmr::kDeleteObject:
                canvas_.deleteObject(r.readU16le());
                break;
            case wmr::kCreatePenIndirect: {
                LogicalPen pen;
                const uint16_t style = r.readU16le();
                const int16_t width = s16(r);
                s16(r);
                pen.color = colourRef(r.readU32le());
                pen.style = style & 0xF;
                pen.null = pen.style == 5;
                pen.width = std::abs(width);
                pen.cosmetic = width == 0;
                const uint32_t cap = style & 0xF00, join = style & 0xF000;
                pen.cap = cap == 0x100 ? Qt::SquareCap : cap == 0x200 ? Qt::FlatCap : Qt::RoundCap;
                pen.join = join == 0x1000   ? Qt::BevelJoin
                           : join == 0x2000 ? Qt::MiterJoin
                                            : Qt::RoundJoin;
                canvas_.storeObjectInFreeSlot(pen);
                break;
            }
            case wmr::kCreateBrushIndirect: {
                const uint16_t style = r.readU16le();
                const uint32_t colour = r.readU32le();
                const uint16_t hatch = r.readU16le();
                LogicalBrush brush;
                brush.color = colourRef(colour);
                brush.kind = style == 1   ? LogicalBrush::Kind::Null
                             : style == 2 ? LogicalBrush::Kind::Hatched
                                          : LogicalBrush::Kind::Solid;
                brush.hatch = hatch;
                canvas_.storeObjectInFreeSlot(brush);
                break;
            }
            case wmr::kDibCreatePatternBrush: {
                r.readU16le();
                const uint16_t usage = r.readU16le();
                LogicalBrush brush;
                brush.kind = LogicalBrush::Kind::Pattern;
                brush.color = dc.textColor;
                brush.pattern = readTrailingDib(r, usage == 1);
                canvas_.storeObjectInFreeSlot(brush);
                break;
            }
            case wmr::kCreatePatternBrush: {
                // An old device-dependent bitmap: its mid grey stands in.
                LogicalBrush brush;
                brush.color = QColor(128, 128, 128);
                canvas_.storeObjectInFreeSlot(brush);
                break;
            }
            case wmr::kCreateFontIndirect: {
                LogicalFont f;
                f.height = s16(r);
                f.width = s16(r);
                f.escapement = s16(r);
                s16(r);
                f.weight = s16(r);
                f.italic = r.readU8() != 0;
                f.underline = r.readU8() != 0;
                f.strikeOut = r.readU8() != 0;
                r.skip(5);
                QByteArray face;
                while (!r.atEnd() && face.size() < 32) {
                    const uint8_t c = r.readU8();
                    if (c == 0) break;
                    face.append(char(c));
                }
                f.face = QString::fromLatin1(face);
                canvas_.storeObjectInFreeSlot(f);
                break;
            }
            case wmr::kCreatePalette:
                canvas_.storeObjectInFreeSlot(RegionObject{});
                break;
            case wmr::kCreateRegion:
                canvas_.storeObjectInFreeSlot(readRegion(r));
                break;
            case wmr::kFillRegion: {
                const uint16_t region = r.readU16le(), brush = r.readU16le();
                fillRegion(region, brushAt(brush));
                break;
            }
            case wmr::kPaintRegion:
                fillRegion(r.readU16le(), dc.brush);
                break;
            case wmr::kFrameRegion: {
                const uint16_t region = r.readU16le(), brush = r.readU16le();
                const int16_t h = s16(r), w = s16(r);
                if (const RegionObject* area = regionAt(region))
                    canvas_.frameShape(area->area, brushAt(brush), QSizeF(w, h));
                break;
            }
            case wmr::kInvertRegion:
                if (const RegionObject* area = regionAt(r.readU16le()))
                    canvas_.invertShape(area->area);
                break;
            case wmr::kTextOut: {
                const uint16_t count = r.readU16le();
                const QString text = readAnsi(r, count);
                if (count & 1) r.readU8();
                const QPointF p = readYX(r);
                if (!r.failed()) canvas_.text(p, text, {}, 0, std::nullopt);
                break;
            }
            case wmr::kExtTextOut: {
                const QPointF p = readYX(r);
                const uint16_t count = r.readU16le();
                const uint16_t options = r.readU16le();
                std::optional<QRectF> box;
                // Some writers set the flags without storing the rectangle: only read it when
                // the record has room for it beside the string.
                if ((options & 6) && r.remaining() >= 8 + size_t(count)) {
                    const int16_t l = s16(r), t = s16(r), rr = s16(r), b = s16(r);
                    box = QRectF(QPointF(l, t), QPointF(rr, b));
                }
                const QString text = readAnsi(r, count);
                if (count & 1) r.readU8();
                std::vector<double> advances;
                if (r.remaining() >= size_t(count) * 2) {
                    for (uint16_t i = 0; i < count; ++i) advances.push_back(s16(r));
                }
                if (!(options & 0x10)) canvas_.text(p, text, advances, options, box);
                break;
            }
            case wmr::kDibBitBlt:
            case wmr::kDibStretchBlt:
            case wmr::kStretchDib:
            case wmr::kSetDibToDev:
            case wmr::kBitBlt:
            case wmr::kStretchBlt:
                playBlit(rec.type, r, words);
                break;
            default:
                break;  // escapes, palettes, flood fills
        }
    }

private:
    const RegionObject* regionAt(uint16_t index) {
        const GdiObject* o = canvas_.object(index);
        return o ? std::get_if<RegionObject>(o) : nullptr;
    }

    LogicalBrush brushAt(uint16_t index) {
        const GdiObject* o = canvas_.object(index);
        if (o)
            if (const auto* b = std::get_if<LogicalBrush>(o)) return *b;
        return canvas_.dc().brush;
    }

    void fillRegion(uint16_t index, const LogicalBrush& brush) {
        if (const RegionObject* area = regionAt(index)) canvas_.fillShape(area->area, brush);
    }

    static RegionObject readRegion(ByteReader& r) {
        RegionObject region;
        r.skip(2 + 2 + 4 + 2);
        const uint16_t scans = r.readU16le();
        r.skip(2);
        const int16_t l = s16(r), t = s16(r), rr = s16(r), b = s16(r);
        if (scans == 0) {
            region.area.addRect(QRectF(QPointF(l, t), QPointF(rr, b)).normalized());
            return region;
        }
        QRegion area;
        for (uint16_t s = 0; s < scans && !r.failed(); ++s) {
            const uint16_t count = r.readU16le();
            const int16_t top = s16(r), bottom = s16(r);
            if (count > r.remaining() / 2) break;
            for (uint16_t i = 0; i + 1 < count; i += 2) {
                const int16_t left = s16(r), right = s16(r);
                if (right > left && bottom > top)
                    area += QRect(left, top, right - left, bottom - top);
            }
            if (count & 1) r.readU16le();
            r.readU16le();
        }
        region.area.addRegion(area);
        return region;
    }

    void playBlit(uint16_t type, ByteReader& r, uint32_t words) {
        // SETDIBTODEV alone has no raster operation: it starts with the colour usage.
        const uint32_t rop = type == wmr::kSetDibToDev ? 0x00CC0020 : r.readU32le();
        QRectF src, dst;
        QImage image;
        if (type == wmr::kStretchDib || type == wmr::kSetDibToDev) {
            const uint16_t usage = r.readU16le();
            if (type == wmr::kStretchDib) {
                const int16_t sh = s16(r), sw = s16(r), sy = s16(r), sx = s16(r);
                const int16_t dh = s16(r), dw = s16(r), dy = s16(r), dx = s16(r);
                src = QRectF(sx, sy, sw, sh);
                dst = QRectF(dx, dy, dw, dh);
            } else {
                r.readU16le();  // scan count and first scan: the DIB holds the band it names
                r.readU16le();
                const int16_t sy = s16(r), sx = s16(r), h = s16(r), w = s16(r), dy = s16(r),
                              dx = s16(r);
                src = QRectF(sx, sy, w, h);
                dst = QRectF(dx, dy, w, h);
            }
            if (r.failed()) return;
            image = readTrailingDib(r, usage == 1);
            if (type == wmr::kSetDibToDev) wholeBitmapWhenLarger(image, src);
            bottomUpSource(image, src);
            canvas_.blit(dst, image, src, type == wmr::kSetDibToDev ? 0x00CC0020 : rop);
            return;
        }
        const bool stretch = type == wmr::kDibStretchBlt || type == wmr::kStretchBlt;
        // Without a bitmap the record is a pattern blit, one word longer at the source.
        const bool hasBitmap = words != uint32_t(stretch ? 11 : 9);
        int16_t sh = 0, sw = 0;
        if (stretch) {
            sh = s16(r);
            sw = s16(r);
        }
        const int16_t sy = s16(r), sx = s16(r);
        if (!hasBitmap) r.readU16le();
        const int16_t dh = s16(r), dw = s16(r), dy = s16(r), dx = s16(r);
        if (r.failed()) return;
        if (!stretch) {
            sw = dw;
            sh = dh;
        }
        dst = QRectF(dx, dy, dw, dh);
        src = QRectF(sx, sy, sw, sh);
        if (hasBitmap && (type == wmr::kDibBitBlt || type == wmr::kDibStretchBlt))
            image = readTrailingDib(r, false);
        else if (hasBitmap)
            return;  // device-dependent bitmaps of the 16-bit era are not drawn
        if (type == wmr::kDibBitBlt) wholeBitmapWhenLarger(image, src);
        canvas_.blit(dst, image, src, rop);
    }

    // A blit without its own source size copies as many pixels as the destination has
    // logical units; files that blit a small bitmap onto a large area mean the whole bitmap
    // (wmf2svg's fulltest.wmf), as in the EMF player.
    static void wholeBitmapWhenLarger(const QImage& image, QRectF& src) {
        if (!image.isNull() && (src.right() > image.width() || src.bottom() > image.height()))
            src = QRectF(src.topLeft(), QPointF(image.width(), image.height()));
    }

    // As in EMF, the DIB records count the source's y from the bottom of a bottom-up bitmap.
    static void bottomUpSource(const QImage& image, QRectF& src) {
        if (image.isNull()) return;
        src.moveTop(image.height() - src.top() - src.height());
    }

    MetafileCanvas& canvas_;
};

}  // namespace

void PlayWmfRecords(const QByteArray& bytes, const GatedMetafile& metafile,
                    MetafileCanvas& canvas) {
    canvas.setObjectTableSize(std::max<uint32_t>(metafile.handleCount, 1));
    WmfPlayer player(canvas);
    const auto* base = reinterpret_cast<const uint8_t*>(bytes.constData());
    QElapsedTimer clock;
    clock.start();
    for (const MetafileRecord& rec : metafile.records) {
        player.play(base, rec);
        if (clock.elapsed() > kMetafilePlaybackBudgetMs) break;
    }
}
