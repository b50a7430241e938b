#pragma once
// Small EMF and WMF files built by the tests themselves: EMFs with libUEMF's record builders
// (an encoder independent of our player), WMFs word by word.

#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <vector>

extern "C" {
#include <uemf.h>
}

// An EMF whose natural size at 96 dpi is width x height pixels: the reference device is a
// 96 dpi screen and its device pixels are the picture's pixels. Width and height must be
// multiples of 24 so the frame in 0.01 mm is whole.
class EmfBuilder {
public:
    EmfBuilder(int width, int height);
    ~EmfBuilder();
    // Takes ownership of a record made by a U_EMR*_set function.
    EmfBuilder& add(char* record);
    // The finished file's bytes (EOF appended).
    QByteArray finish();

private:
    QTemporaryDir dir_;
    EMFTRACK* et_ = nullptr;
    EMFHANDLES* eht_ = nullptr;
};

U_COLORREF Colour(QColor c);
char* SolidBrush(uint32_t index, QColor c);
char* NullPen(uint32_t index);
char* Rect(int left, int top, int right, int bottom);

// A bottom-up DIB of width x height whose pixel (x, y) (top-down) has colour index
// pattern(x, y) into palette; bitCount 1, 4, 8 (palette), 16 (5-5-5), 24 or 32 (direct colour
// from the palette), compression BI_RGB, or RLE8/RLE4 for 8/4 bits.
struct TestDib {
    std::vector<char> info;  // BITMAPINFO with its colour table
    std::vector<char> bits;
};
TestDib MakeDib(int width, int height, int bitCount, const std::vector<QColor>& palette,
                int (*pattern)(int x, int y), uint32_t compression = 0, bool topDown = false);

// WMF words: a placeable header (when box is not empty), the header, records, EOF.
class WmfBuilder {
public:
    void record(uint16_t function, std::vector<uint16_t> params);
    QByteArray finish(bool placeable, int16_t left, int16_t top, int16_t right, int16_t bottom,
                      uint16_t unitsPerInch, uint16_t objects);

private:
    std::vector<uint16_t> words_;
};

// ---- implementation (header-only: each test program is built from one source file)

inline EmfBuilder::EmfBuilder(int width, int height) {
    const QByteArray name = QFile::encodeName(dir_.filePath("built.emf"));
    if (emf_start(name.constData(), 4096, 4096, &et_) || emf_htable_create(32, 32, &eht_))
        throw std::runtime_error("libUEMF could not start a file");
    // 96 dpi reference screen: 960 pixels in 254 mm.
    const U_RECTL bounds{0, 0, width - 1, height - 1};
    const U_RECTL frame{0, 0, width * 2540 / 96, height * 2540 / 96};
    add(U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, U_SIZEL{960, 960}, U_SIZEL{254, 254},
                        0));
}

inline EmfBuilder::~EmfBuilder() {
    if (et_) emf_free(&et_);
    if (eht_) emf_htable_free(&eht_);
}

inline EmfBuilder& EmfBuilder::add(char* record) {
    if (!record || emf_append(reinterpret_cast<U_ENHMETARECORD*>(record), et_, U_REC_FREE))
        throw std::runtime_error("libUEMF could not append a record");
    return *this;
}

inline QByteArray EmfBuilder::finish() {
    add(U_EMREOF_set(0, nullptr, et_));
    if (emf_finish(et_, eht_)) throw std::runtime_error("libUEMF could not write the file");
    QFile f(dir_.filePath("built.emf"));
    if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("built file missing");
    return f.readAll();
}

inline U_COLORREF Colour(QColor c) {
    return colorref3_set(uint8_t(c.red()), uint8_t(c.green()), uint8_t(c.blue()));
}

inline char* SolidBrush(uint32_t index, QColor c) {
    return U_EMRCREATEBRUSHINDIRECT_set(index, logbrush_set(U_BS_SOLID, Colour(c), 0));
}

inline char* NullPen(uint32_t index) {
    return U_EMRCREATEPEN_set(index, logpen_set(U_PS_NULL, U_POINT{0, 0}, Colour(Qt::black)));
}

inline char* Rect(int left, int top, int right, int bottom) {
    return U_EMRRECTANGLE_set(U_RECTL{left, top, right, bottom});
}

inline TestDib MakeDib(int width, int height, int bitCount, const std::vector<QColor>& palette,
                       int (*pattern)(int x, int y), uint32_t compression, bool topDown) {
    TestDib dib;
    const int tableSize = bitCount <= 8 ? (1 << bitCount) : 0;
    const uint32_t stride = uint32_t((width * bitCount + 31) / 32 * 4);
    std::vector<char> raw(size_t(stride) * height, 0);
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        auto* line = reinterpret_cast<uint8_t*>(raw.data() + size_t(row) * stride);
        for (int x = 0; x < width; ++x) {
            const int index = pattern(x, y);
            const QColor c = palette[size_t(index)];
            switch (bitCount) {
                case 1:
                    line[x / 8] |= uint8_t(index << (7 - x % 8));
                    break;
                case 4:
                    line[x / 2] |= uint8_t(x % 2 ? index : index << 4);
                    break;
                case 8:
                    line[x] = uint8_t(index);
                    break;
                case 16: {
                    const uint16_t v = uint16_t(((c.red() >> 3) << 10) | ((c.green() >> 3) << 5) |
                                                (c.blue() >> 3));
                    line[2 * x] = uint8_t(v);
                    line[2 * x + 1] = uint8_t(v >> 8);
                    break;
                }
                case 24:
                    line[3 * x] = uint8_t(c.blue());
                    line[3 * x + 1] = uint8_t(c.green());
                    line[3 * x + 2] = uint8_t(c.red());
                    break;
                case 32:
                    line[4 * x] = uint8_t(c.blue());
                    line[4 * x + 1] = uint8_t(c.green());
                    line[4 * x + 2] = uint8_t(c.red());
                    break;
            }
        }
    }
    if (compression == U_BI_RLE8 || compression == U_BI_RLE4) {
        // Each row as runs of equal indices, then end of line; end of bitmap at the close.
        for (int row = 0; row < height; ++row) {
            const int y = topDown ? row : height - 1 - row;
            int x = 0;
            while (x < width) {
                int run = 1;
                while (x + run < width && run < 255 && pattern(x + run, y) == pattern(x, y)) ++run;
                const int index = pattern(x, y);
                dib.bits.push_back(char(run));
                dib.bits.push_back(char(compression == U_BI_RLE8 ? index : (index << 4) | index));
                x += run;
            }
            dib.bits.push_back(0);
            dib.bits.push_back(0);
        }
        dib.bits.push_back(0);
        dib.bits.push_back(1);
    } else {
        dib.bits = raw;
    }
    const U_BITMAPINFOHEADER header =
        bitmapinfoheader_set(width, topDown ? -height : height, 1, uint16_t(bitCount), compression,
                             uint32_t(dib.bits.size()), 0, 0, uint32_t(tableSize), 0);
    dib.info.resize(sizeof(U_BITMAPINFOHEADER) + size_t(tableSize) * 4);
    std::memcpy(dib.info.data(), &header, sizeof header);
    for (int i = 0; i < tableSize; ++i) {
        const QColor c = size_t(i) < palette.size() ? palette[size_t(i)] : QColor(Qt::black);
        const uint8_t quad[4] = {uint8_t(c.blue()), uint8_t(c.green()), uint8_t(c.red()), 0};
        std::memcpy(dib.info.data() + sizeof header + size_t(i) * 4, quad, 4);
    }
    return dib;
}

inline void WmfBuilder::record(uint16_t function, std::vector<uint16_t> params) {
    const uint32_t size = uint32_t(3 + params.size());
    words_.push_back(uint16_t(size & 0xFFFF));
    words_.push_back(uint16_t(size >> 16));
    words_.push_back(function);
    words_.insert(words_.end(), params.begin(), params.end());
}

inline QByteArray WmfBuilder::finish(bool placeable, int16_t left, int16_t top, int16_t right,
                                     int16_t bottom, uint16_t unitsPerInch, uint16_t objects) {
    std::vector<uint16_t> all;
    if (placeable) {
        std::vector<uint16_t> p = {0xCDD7,
                                   0x9AC6,
                                   0,
                                   uint16_t(left),
                                   uint16_t(top),
                                   uint16_t(right),
                                   uint16_t(bottom),
                                   unitsPerInch,
                                   0,
                                   0};
        uint16_t sum = 0;
        for (uint16_t w : p) sum ^= w;
        p.push_back(sum);
        all = p;
    }
    std::vector<uint16_t> body = words_;
    body.insert(body.end(), {3, 0, 0});  // EOF
    uint32_t largest = 3;
    const uint32_t total = uint32_t(9 + body.size());
    all.insert(all.end(), {1, 9, 0x0300, uint16_t(total & 0xFFFF), uint16_t(total >> 16), objects,
                           uint16_t(largest & 0xFFFF), uint16_t(largest >> 16), 0});
    all.insert(all.end(), body.begin(), body.end());
    QByteArray bytes;
    for (uint16_t w : all) {
        bytes.append(char(w & 0xFF));
        bytes.append(char(w >> 8));
    }
    return bytes;
}
