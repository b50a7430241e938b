#include "formats/jpeg/jpeg.h"

#include "formats/byte_reader.h"
#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/jpeg/jpeg_shim.h"
#include "formats/picture_formats.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace {

PixError jpegError(int code) { return PixError(QStringLiteral("JPEG error #%1").arg(code)); }

// libjpeg's own working memory (a progressive file keeps every coefficient) has the same bound
// as the pixels; past it libjpeg fails with its "no backing store" error instead of growing.
constexpr long kMaxLibjpegMemory = long(kMaxBitmapBytes);

// ---- decoding -------------------------------------------------------------------------------

class Decompressor {
public:
    Decompressor() {
        cinfo.err = InitJpegTrap(trap);
        run(&createStep, &cinfo);
        cinfo.mem->max_memory_to_use = kMaxLibjpegMemory;
    }
    ~Decompressor() { jpeg_destroy_decompress(&cinfo); }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    void run(JpegStep step, void* context) {
        if (const int code = RunTrapped(trap, step, context)) throw jpegError(code);
    }

    jpeg_decompress_struct cinfo{};
    JpegTrap trap;

private:
    static void createStep(void* context) {
        jpeg_create_decompress(static_cast<jpeg_decompress_struct*>(context));
    }
};

struct OpenJob {
    jpeg_decompress_struct* cinfo;
    const unsigned char* data;
    unsigned long size;
};

// The memory source never reads past the data: at its end libjpeg warns and sees a fake EOI.
void openStep(void* context) {
    auto* job = static_cast<OpenJob*>(context);
    jpeg_mem_src(job->cinfo, job->data, job->size);
    jpeg_read_header(job->cinfo, TRUE);
}

void startStep(void* context) { jpeg_start_decompress(static_cast<jpeg_decompress_struct*>(context)); }

bool isCmyk(const jpeg_decompress_struct& cinfo) {
    return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

JpegHeader headerOf(const jpeg_decompress_struct& cinfo) {
    JpegHeader h;
    h.width = int(cinfo.image_width);
    h.height = int(cinfo.image_height);
    h.components = cinfo.num_components;
    h.grayscale = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    h.progressive = cinfo.progressive_mode != 0;
    return h;
}

void checkDecodedSize(const jpeg_decompress_struct& cinfo) {
    if (Bitmap::matrixBytes(cinfo.image_width, cinfo.image_height, 24) > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(cinfo.image_width, cinfo.image_height));
}

// Opens the data, checks the size and starts decompression with the program's settings: the
// library's defaults at full size, B,G,R rows (the bitmap's order) or CMYK for conversion here.
void startDecoding(Decompressor& d, const QByteArray& data) {
    OpenJob open{&d.cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size())};
    d.run(&openStep, &open);
    checkDecodedSize(d.cinfo);
    d.cinfo.out_color_space = isCmyk(d.cinfo) ? JCS_CMYK : JCS_EXT_BGR;
    d.run(&startStep, &d.cinfo);
}

// Adobe's CMYK is stored inverted, so each channel times black is the colour (as djpeg does it,
// rounded to nearest).
void cmykRowToBgr(const uint8_t* cmyk, uint8_t* bgr, int width) {
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned k = cmyk[3];
        bgr[0] = uint8_t((2 * cmyk[2] * k + 255) / 510);
        bgr[1] = uint8_t((2 * cmyk[1] * k + 255) / 510);
        bgr[2] = uint8_t((2 * cmyk[0] * k + 255) / 510);
    }
}

constexpr int kRowsPerRead = 4;

// Where each decoded row goes and what happens once rows are in; plain data, as the trap wants.
struct RowsJob {
    jpeg_decompress_struct* cinfo;
    uint8_t* (*rowFor)(RowsJob* job, int y);
    void (*rowsDone)(RowsJob* job, int firstY, int count);
    void* user;
};

void rowsStep(void* context) {
    auto* job = static_cast<RowsJob*>(context);
    jpeg_decompress_struct* cinfo = job->cinfo;
    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = int(cinfo->output_scanline);
        const int wanted = std::min<int>(kRowsPerRead, int(cinfo->output_height) - y);
        JSAMPROW rows[kRowsPerRead];
        for (int i = 0; i < wanted; ++i) rows[i] = job->rowFor(job, y + i);
        const int got = int(jpeg_read_scanlines(cinfo, rows, JDIMENSION(wanted)));
        if (got <= 0) break;  // cannot happen with a memory source; never spin
        if (job->rowsDone) job->rowsDone(job, y, got);
    }
}

// Full decode: rows land in the bitmap, CMYK rows pass through a small buffer.
struct FullDecode {
    Bitmap* bitmap;
    uint8_t* cmykRows;  // kRowsPerRead rows of width * 4, or nullptr
    int width;
};

uint8_t* fullRowFor(RowsJob* job, int y) {
    auto* f = static_cast<FullDecode*>(job->user);
    if (f->cmykRows) return f->cmykRows + size_t(y % kRowsPerRead) * size_t(f->width) * 4;
    return f->bitmap->scanLine(y);
}

void fullRowsDone(RowsJob* job, int firstY, int count) {
    auto* f = static_cast<FullDecode*>(job->user);
    for (int y = firstY; y < firstY + count; ++y)
        cmykRowToBgr(f->cmykRows + size_t(y % kRowsPerRead) * size_t(f->width) * 4,
                     f->bitmap->scanLine(y), f->width);
}

// Streaming stretch: each decoded row is sampled into the target lines that take it. A stored
// row is a row of the upright picture (orientations 1-4) or a column of it (5-8), so the lines
// are target rows or target columns.
struct StreamDecode {
    Bitmap* target;
    uint8_t* rows;    // kRowsPerRead decoded rows (B,G,R or CMYK)
    uint8_t* bgrRow;  // one converted CMYK row, or nullptr
    int width;
    int channels;              // 3 or 4
    bool columns;              // stored rows fill target columns
    const int* firstLine;      // per stored row: the first target line it fills (rectangle based)
    const int* lineCount;      // per stored row: how many lines it fills
    const int* along;          // the stored column each drawn position along a line samples
    int alongStart, alongEnd;  // drawn positions along a line (rectangle based)
    int left, top;             // the rectangle's corner in the target
    int targetBytes;
};

uint8_t* streamRowFor(RowsJob* job, int y) {
    auto* s = static_cast<StreamDecode*>(job->user);
    return s->rows + size_t(y % kRowsPerRead) * size_t(s->width) * size_t(s->channels);
}

void streamRowsDone(RowsJob* job, int firstY, int count) {
    auto* s = static_cast<StreamDecode*>(job->user);
    const int tb = s->targetBytes;
    for (int sy = firstY; sy < firstY + count; ++sy) {
        const int lines = s->lineCount[sy];
        if (lines == 0) continue;
        const uint8_t* src = streamRowFor(job, sy);
        if (s->bgrRow) {
            cmykRowToBgr(src, s->bgrRow, s->width);
            src = s->bgrRow;
        }
        const int first = s->firstLine[sy];
        if (s->columns) {
            // Adjacent target columns of one row take the same stored pixel.
            for (int i = s->alongStart; i < s->alongEnd; ++i) {
                const uint8_t* p = src + size_t(s->along[i - s->alongStart]) * 3;
                uint8_t* d = s->target->scanLine(s->top + i) + size_t(s->left + first) * tb;
                for (int l = 0; l < lines; ++l, d += tb) {
                    d[0] = p[0];
                    d[1] = p[1];
                    d[2] = p[2];
                }
            }
        } else {
            const size_t offset = size_t(s->left + s->alongStart) * tb;
            uint8_t* row = s->target->scanLine(s->top + first) + offset;
            uint8_t* d = row;
            for (int i = s->alongStart; i < s->alongEnd; ++i, d += tb) {
                const uint8_t* p = src + size_t(s->along[i - s->alongStart]) * 3;
                d[0] = p[0];
                d[1] = p[1];
                d[2] = p[2];
            }
            const size_t bytes = size_t(s->alongEnd - s->alongStart) * tb;
            for (int l = 1; l < lines; ++l)
                std::memcpy(s->target->scanLine(s->top + first + l) + offset, row, bytes);
        }
    }
}

// The streaming stretch's rows: runs of rows that no target line takes are skipped, so libjpeg
// never colour-converts them, nor transforms the blocks of a whole skipped block row; the rows
// after the last one taken are never decoded. The pixels are those of reading every row.
void sampledRowsStep(void* context) {
    auto* job = static_cast<RowsJob*>(context);
    const auto* s = static_cast<const StreamDecode*>(job->user);
    jpeg_decompress_struct* cinfo = job->cinfo;
    const int height = int(cinfo->output_height);
    while (int(cinfo->output_scanline) < height) {
        const int y = int(cinfo->output_scanline);
        int unused = 0;
        while (y + unused < height && s->lineCount[y + unused] == 0) ++unused;
        if (y + unused == height) return;
        if (unused > 0) {
            // The memory source never suspends, so every row asked for is skipped; never spin.
            if (jpeg_skip_scanlines(cinfo, JDIMENSION(unused)) == 0) return;
            continue;
        }
        int wanted = 1;
        while (wanted < kRowsPerRead && y + wanted < height && s->lineCount[y + wanted] > 0)
            ++wanted;
        JSAMPROW rows[kRowsPerRead];
        for (int i = 0; i < wanted; ++i) rows[i] = job->rowFor(job, y + i);
        const int got = int(jpeg_read_scanlines(cinfo, rows, JDIMENSION(wanted)));
        if (got <= 0) return;
        job->rowsDone(job, y, got);
    }
}

// ---- encoding -------------------------------------------------------------------------------

// A destination that grows a QByteArray owned by the caller. libjpeg's own memory destination
// leaks its buffer when compression fails half-way, so it is not used.
struct ByteArrayDestination {
    jpeg_destination_mgr pub;
    QByteArray* out;
    JOCTET chunk[65536];
};

bool appendChunk(ByteArrayDestination* d, size_t count) noexcept {
    try {
        d->out->append(reinterpret_cast<const char*>(d->chunk), qsizetype(count));
        return true;
    } catch (...) {
        return false;
    }
}

extern "C" void destinationInit(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<ByteArrayDestination*>(cinfo->dest);
    d->pub.next_output_byte = d->chunk;
    d->pub.free_in_buffer = sizeof d->chunk;
}

extern "C" boolean destinationEmpty(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<ByteArrayDestination*>(cinfo->dest);
    if (!appendChunk(d, sizeof d->chunk)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    d->pub.next_output_byte = d->chunk;
    d->pub.free_in_buffer = sizeof d->chunk;
    return TRUE;
}

extern "C" void destinationTerm(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<ByteArrayDestination*>(cinfo->dest);
    if (!appendChunk(d, sizeof d->chunk - d->pub.free_in_buffer)) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
}

struct CompressJob {
    jpeg_compress_struct* cinfo;
    ByteArrayDestination* dest;
    const Bitmap* bitmap;  // 24-bit
    int quality;
};

void createCompressStep(void* context) {
    jpeg_create_compress(static_cast<jpeg_compress_struct*>(context));
}

void compressStep(void* context) {
    auto* job = static_cast<CompressJob*>(context);
    jpeg_compress_struct* cinfo = job->cinfo;
    cinfo->dest = &job->dest->pub;
    cinfo->image_width = JDIMENSION(job->bitmap->width());
    cinfo->image_height = JDIMENSION(job->bitmap->height());
    cinfo->input_components = 3;
    cinfo->in_color_space = JCS_EXT_BGR;  // the bitmap's byte order; the same colours as RGB
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, job->quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    while (cinfo->next_scanline < cinfo->image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(job->bitmap->scanLine(int(cinfo->next_scanline)));
        jpeg_write_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_compress(cinfo);
}

class Compressor {
public:
    Compressor() {
        cinfo.err = InitJpegTrap(trap);
        run(&createCompressStep, &cinfo);
    }
    ~Compressor() { jpeg_destroy_compress(&cinfo); }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;

    void run(JpegStep step, void* context) {
        if (const int code = RunTrapped(trap, step, context)) throw jpegError(code);
    }

    jpeg_compress_struct cinfo{};
    JpegTrap trap;
};

}  // namespace

JpegHeader ReadJpegHeader(const QByteArray& data) {
    Decompressor d;
    OpenJob open{&d.cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size())};
    d.run(&openStep, &open);
    return headerOf(d.cinfo);
}

Bitmap DecodeJpeg(const QByteArray& data) {
    Decompressor d;
    startDecoding(d, data);
    const int width = int(d.cinfo.output_width);
    Bitmap bitmap;
    bitmap.create(width, int(d.cinfo.output_height), 24);
    std::vector<uint8_t> cmyk;
    if (d.cinfo.out_color_space == JCS_CMYK) cmyk.resize(size_t(width) * 4 * kRowsPerRead);
    FullDecode full{&bitmap, cmyk.empty() ? nullptr : cmyk.data(), width};
    RowsJob job{&d.cinfo, &fullRowFor, cmyk.empty() ? nullptr : &fullRowsDone, &full};
    d.run(&rowsStep, &job);
    return bitmap;
}

namespace {

// The stretch of DecodeJpegStretched, with the decoder started and the drawn part of the
// rectangle (rectangle based) known to be non-empty.
void streamStretch(Decompressor& d, Bitmap& target, const QRect& rect, int orientation,
                   const QRect& drawn) {
    const int width = int(d.cinfo.output_width), height = int(d.cinfo.output_height);
    const bool swap = OrientationSwapsSides(orientation);
    const int uprightWidth = swap ? height : width, uprightHeight = swap ? width : height;
    // Upright column ux and row uy of the stored pixel (x, y):
    //   1: (x, y)  2: (w-1-x, y)  3: (w-1-x, h-1-y)  4: (x, h-1-y)
    //   5: (y, x)  6: (h-1-y, x)  7: (h-1-y, w-1-x)  8: (y, w-1-x)
    const bool flipStoredRow =
        orientation == 3 || orientation == 4 || orientation == 6 || orientation == 7;
    const bool flipStoredColumn =
        orientation == 2 || orientation == 3 || orientation == 7 || orientation == 8;

    // Lines run across the stored rows: target rows when nothing turns, columns when it does.
    const int lineStart = swap ? drawn.left() : drawn.top();
    const int lineEnd = (swap ? drawn.right() : drawn.bottom()) + 1;
    std::vector<int> firstLine(size_t(height), 0), lineCount(size_t(height), 0);
    for (int line = lineStart; line < lineEnd; ++line) {
        const int u = swap ? PixelCentreSource(line, uprightWidth, rect.width())
                           : PixelCentreSource(line, uprightHeight, rect.height());
        const size_t storedRow = size_t(flipStoredRow ? height - 1 - u : u);
        if (lineCount[storedRow]++ == 0) firstLine[storedRow] = line;
    }
    const int alongStart = swap ? drawn.top() : drawn.left();
    const int alongEnd = (swap ? drawn.bottom() : drawn.right()) + 1;
    std::vector<int> along(size_t(alongEnd - alongStart));
    for (int i = alongStart; i < alongEnd; ++i) {
        const int u = swap ? PixelCentreSource(i, uprightHeight, rect.height())
                           : PixelCentreSource(i, uprightWidth, rect.width());
        along[size_t(i - alongStart)] = flipStoredColumn ? width - 1 - u : u;
    }

    const bool cmyk = d.cinfo.out_color_space == JCS_CMYK;
    const int channels = cmyk ? 4 : 3;
    std::vector<uint8_t> rows(size_t(width) * size_t(channels) * kRowsPerRead);
    std::vector<uint8_t> bgr(cmyk ? size_t(width) * 3 : 0);
    StreamDecode s{&target,
                   rows.data(),
                   cmyk ? bgr.data() : nullptr,
                   width,
                   channels,
                   swap,
                   firstLine.data(),
                   lineCount.data(),
                   along.data(),
                   alongStart,
                   alongEnd,
                   rect.x(),
                   rect.y(),
                   target.bitCount() / 8};
    RowsJob job{&d.cinfo, &streamRowFor, &streamRowsDone, &s};
    d.run(&sampledRowsStep, &job);
}

}  // namespace

void DecodeJpegStretched(const QByteArray& data, Bitmap& target, const QRect& rect,
                         int orientation) {
    RequireDrawableTarget(target);
    if (rect.width() <= 0 || rect.height() <= 0 || target.isEmpty()) return;
    Decompressor d;
    startDecoding(d, data);
    const int x0 = std::max(0, -rect.x()), x1 = std::min(rect.width(), target.width() - rect.x());
    const int y0 = std::max(0, -rect.y()), y1 = std::min(rect.height(), target.height() - rect.y());
    if (x0 >= x1 || y0 >= y1) return;
    streamStretch(d, target, rect, orientation >= 2 && orientation <= 8 ? orientation : 1,
                  QRect(QPoint(x0, y0), QPoint(x1 - 1, y1 - 1)));
}

namespace {

// The orientation entry (tag 0x0112) of IFD0 of an Exif block ("Exif\0\0" + TIFF data).
int exifOrientation(ByteReader exif) {
    static const uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    uint8_t id[6];
    if (!exif.readBytes(id, 6) || std::memcmp(id, kExif, 6) != 0) return 1;
    ByteReader tiff(exif.current(), exif.remaining());
    const uint16_t order = tiff.readU16be();
    if (order != 0x4949 && order != 0x4D4D) return 1;
    const bool little = order == 0x4949;
    const auto u16 = [&](ByteReader& r) { return little ? r.readU16le() : r.readU16be(); };
    const auto u32 = [&](ByteReader& r) { return little ? r.readU32le() : r.readU32be(); };
    if (u16(tiff) != 42) return 1;
    if (!tiff.seek(u32(tiff))) return 1;
    const uint16_t entries = u16(tiff);
    for (int i = 0; i < entries && !tiff.failed(); ++i) {
        const uint16_t tag = u16(tiff);
        const uint16_t type = u16(tiff);
        const uint32_t count = u32(tiff);
        // A SHORT value sits in the first two bytes of the four-byte value field.
        const uint16_t value = u16(tiff);
        tiff.skip(2);
        if (tiff.failed()) return 1;
        if (tag == 0x0112) return type == 3 && count == 1 && value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

}  // namespace

int ReadJpegOrientation(const QByteArray& data) {
    ByteReader r(reinterpret_cast<const uint8_t*>(data.constData()), size_t(data.size()));
    if (r.readU16be() != 0xFFD8) return 1;
    // The Exif block comes before the frame; stop at the first marker that is not an
    // application or comment segment.
    while (!r.failed()) {
        if (r.readU8() != 0xFF) return 1;
        uint8_t marker = r.readU8();
        while (marker == 0xFF && !r.failed()) marker = r.readU8();  // fill bytes
        if (r.failed()) return 1;
        const bool appOrComment = (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
        if (!appOrComment) return 1;
        const uint16_t length = r.readU16be();
        if (r.failed() || length < 2 || !r.has(r.position(), length - 2u)) return 1;
        const ByteReader segment(r.current(), length - 2u);
        if (marker == 0xE1) {
            const int orientation = exifOrientation(segment);
            if (orientation != 1) return orientation;
        }
        r.skip(length - 2u);
    }
    return 1;
}

Bitmap OrientBitmap(const Bitmap& stored, int orientation) {
    if (orientation < 2 || orientation > 8 || stored.isEmpty()) return stored;
    const Bitmap rgb = stored.bitCount() == 24 ? Bitmap() : stored.toRgb24();
    const Bitmap& source = stored.bitCount() == 24 ? stored : rgb;
    const int w = source.width(), h = source.height();
    const bool swap = OrientationSwapsSides(orientation);
    Bitmap upright;
    upright.create(swap ? h : w, swap ? w : h, 24);
    // For each stored pixel (x, y), where it lands in the upright picture.
    for (int y = 0; y < h; ++y) {
        const uint8_t* in = source.scanLine(y);
        for (int x = 0; x < w; ++x) {
            int ux = x, uy = y;
            switch (orientation) {
                case 2:  // mirrored left to right
                    ux = w - 1 - x;
                    break;
                case 3:  // turned half round
                    ux = w - 1 - x;
                    uy = h - 1 - y;
                    break;
                case 4:  // mirrored top to bottom
                    uy = h - 1 - y;
                    break;
                case 5:  // mirrored along the diagonal
                    ux = y;
                    uy = x;
                    break;
                case 6:  // turned a quarter clockwise
                    ux = h - 1 - y;
                    uy = x;
                    break;
                case 7:  // the other diagonal
                    ux = h - 1 - y;
                    uy = w - 1 - x;
                    break;
                case 8:  // a quarter anticlockwise
                    ux = y;
                    uy = w - 1 - x;
                    break;
            }
            std::memcpy(upright.scanLine(uy) + size_t(ux) * 3, in + size_t(x) * 3, 3);
        }
    }
    return upright;
}

QByteArray EncodeJpeg(const Bitmap& bitmap, int quality) {
    const Bitmap* rgb = &bitmap;
    Bitmap converted;
    if (bitmap.bitCount() != 24) {
        converted = bitmap.toRgb24();
        rgb = &converted;
    }
    QByteArray out;
    auto dest = std::make_unique<ByteArrayDestination>();
    dest->pub.init_destination = destinationInit;
    dest->pub.empty_output_buffer = destinationEmpty;
    dest->pub.term_destination = destinationTerm;
    dest->out = &out;
    Compressor c;
    CompressJob job{&c.cinfo, dest.get(), rgb, quality};
    c.run(&compressStep, &job);
    return out;
}

// ---- the graphic ----------------------------------------------------------------------------

JpegImage::JpegImage(const JpegImage& other)
    : Graphic(other),
      data_(other.data_),
      header_(other.header_),
      width_(other.width_),
      height_(other.height_),
      quality_(other.quality_),
      orientation_(other.orientation_),
      bitmap_(other.bitmap_),
      decoded_(other.decoded_),
      draws_(other.draws_),
      decodes_(other.decodes_) {}

std::unique_ptr<Graphic> JpegImage::clone() const { return std::make_unique<JpegImage>(*this); }

void JpegImage::loadFromFile(const QString& path) { loadFromData(ReadFileBytes(path)); }

void JpegImage::loadFromData(QByteArray data) {
    const JpegHeader header = ReadJpegHeader(data);
    if (Bitmap::matrixBytes(uint32_t(header.width), uint32_t(header.height), 24) > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(uint64_t(header.width), uint64_t(header.height)));
    const int orientation = ReadJpegOrientation(data);
    data_ = std::move(data);
    header_ = header;
    orientation_ = orientation;
    // A turned photo is shown, sized and converted upright: the files written carry no tag.
    width_ = OrientationSwapsSides(orientation) ? header.height : header.width;
    height_ = OrientationSwapsSides(orientation) ? header.width : header.height;
    bitmap_.clear();
    decoded_ = false;
    draws_ = 0;
}

const Bitmap& JpegImage::pixels() const {
    if (!decoded_) {
        ++decodes_;
        bitmap_ =
            orientation_ == 1 ? DecodeJpeg(data_) : OrientBitmap(DecodeJpeg(data_), orientation_);
        decoded_ = true;
    }
    return bitmap_;
}

void JpegImage::stretchDraw(Bitmap& target, const QRect& rect) const {
    RequireDrawableTarget(target);
    if (width_ <= 0 || height_ <= 0) return;
    // A picture drawn once (a batch's working copy) never needs its full-size pixels kept; one
    // drawn again (a preview) keeps them.
    if (!decoded_ && draws_ == 0) {
        ++draws_;
        ++decodes_;
        DecodeJpegStretched(data_, target, rect, orientation_);
        return;
    }
    ++draws_;
    StretchBitmapInto(pixels(), target, rect.x(), rect.y(), rect.width(), rect.height());
}

Bitmap JpegImage::toBitmap() const { return pixels(); }

void JpegImage::assignBitmap(const Bitmap& bitmap) {
    bitmap_ = bitmap.bitCount() == 24 ? bitmap : bitmap.toRgb24();
    decoded_ = true;
    data_.clear();
    header_ = JpegHeader{bitmap.width(), bitmap.height(), 3, false, false};
    orientation_ = 1;
    width_ = bitmap.width();
    height_ = bitmap.height();
    draws_ = 0;
}

void JpegImage::compress() { data_ = EncodeJpeg(pixels(), quality_); }

void JpegImage::saveToFile(const QString& path) const {
    WriteWholeFile(path, data_.isEmpty() ? EncodeJpeg(pixels(), quality_) : data_, true);
}

// ---- the module ------------------------------------------------------------------------------

void InitJpegModule() {
    SetGraphicFactory(GraphicKind::Jpeg, [] { return std::make_unique<JpegImage>(); });
    RegisterPictureFormat(QStringLiteral("jpeg"), QStringLiteral("JPEG Image File"), GraphicKind::Jpeg);
    RegisterPictureFormat(QStringLiteral("jpg"), QStringLiteral("JPEG Image File"), GraphicKind::Jpeg);
    RegisterPictureFormat(QStringLiteral("jpe"), QStringLiteral("JPEG Image File"),
                          GraphicKind::Jpeg);
}

void ShutdownJpegModule() {
    UnregisterPictureFormats(GraphicKind::Jpeg);
    SetGraphicFactory(GraphicKind::Jpeg, nullptr);
}
