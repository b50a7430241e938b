#pragma once
// Builds GIF files for the GIF decoder's tests: a small LZW encoder (with switches for the odd
// streams real encoders write: no leading clear code, no end code, deferred clear) and a file
// writer that lays out header, screen, tables, extensions, frames and trailer as asked.

#include <QByteArray>
#include <algorithm>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace giftest {

struct Rgb {
    uint8_t r, g, b;
};

struct LzwOptions {
    bool leadingClear = true;
    bool endCode = true;
    // When the table holds 4096 codes: false sends a clear code, true keeps sending 12-bit
    // codes with the table as it stands (GIF89a allows it).
    bool deferredClear = false;
};

class BitWriter {
public:
    void put(unsigned code, unsigned width) {
        acc_ |= uint64_t(code) << bits_;
        bits_ += width;
        while (bits_ >= 8) {
            out_.push_back(uint8_t(acc_));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    std::vector<uint8_t> finish() {
        if (bits_) out_.push_back(uint8_t(acc_));
        acc_ = 0;
        bits_ = 0;
        return std::move(out_);
    }

private:
    std::vector<uint8_t> out_;
    uint64_t acc_ = 0;
    unsigned bits_ = 0;
};

// The LZW code stream (bytes, before sub-blocking) of pixels, code width rules as GIF decoders
// expect them (width grows once the next free code reaches 2^width).
inline std::vector<uint8_t> lzwEncode(const std::vector<uint8_t>& px, unsigned cs,
                                      const LzwOptions& o = {}) {
    BitWriter bw;
    const unsigned clear = 1u << cs, end = clear + 1;
    unsigned w = cs + 1, next = end + 1;
    std::unordered_map<uint32_t, unsigned> dict;
    if (o.leadingClear) bw.put(clear, w);
    if (px.empty()) {
        if (o.endCode) bw.put(end, w);
        return bw.finish();
    }
    auto emitCode = [&](unsigned code) {
        bw.put(code, w);
        if (next >= (1u << w) && w < 12) ++w;
    };
    unsigned cur = px[0];
    for (size_t i = 1; i < px.size(); ++i) {
        const uint32_t key = (uint32_t(cur) << 8) | px[i];
        auto it = dict.find(key);
        if (it != dict.end()) {
            cur = it->second;
            continue;
        }
        emitCode(cur);
        if (next < 4096) {
            dict[key] = next++;
            if (next == 4096 && !o.deferredClear) {
                bw.put(clear, w);
                dict.clear();
                w = cs + 1;
                next = end + 1;
            }
        }
        cur = px[i];
    }
    emitCode(cur);
    if (o.endCode) bw.put(end, w);
    return bw.finish();
}

// Codes given one by one with their widths (for hand-made streams).
inline std::vector<uint8_t> packCodes(const std::vector<std::pair<unsigned, unsigned>>& codes) {
    BitWriter bw;
    for (auto [code, width] : codes) bw.put(code, width);
    return bw.finish();
}

// Rows of a w x h image in the order an interlaced file stores them.
inline std::vector<int> interlaceOrder(int h) {
    std::vector<int> rows;
    for (int y = 0; y < h; y += 8) rows.push_back(y);
    for (int y = 4; y < h; y += 8) rows.push_back(y);
    for (int y = 2; y < h; y += 4) rows.push_back(y);
    for (int y = 1; y < h; y += 2) rows.push_back(y);
    return rows;
}

struct Frame {
    int left = 0, top = 0, width = 1, height = 1;
    bool interlaced = false;
    std::vector<Rgb> localTable;  // empty: no local table
    int localBits = 0;            // bits field when there is no local table (0: leave 0)
    std::vector<uint8_t> pixels;  // width * height, top row first
    unsigned minCodeSize = 8;
    LzwOptions lzw;
    bool gce = false;
    int transparentIndex = -1;
    int disposal = 0;
    int delay = 0;
    int subBlockSize = 255;
    bool rawCodes = false;  // codeBytes holds the code stream as it is
    std::vector<uint8_t> codeBytes;
    std::vector<uint8_t> extraExtensions;  // raw bytes written before the GCE
    bool noData = false;                   // the terminator right after the code size
};

struct Gif {
    std::string header = "GIF89a";
    int screenWidth = 0, screenHeight = 0;  // 0: the first frame's size
    std::vector<Rgb> globalTable;           // empty: no global table
    int globalBitsIfNone = 0;               // bits field without a global table
    uint8_t background = 0;
    std::vector<Frame> frames;
    bool trailer = true;
};

inline int bitsFor(size_t entries) {
    int bits = 1;
    while ((size_t(1) << bits) < entries) ++bits;
    return bits;
}

inline void put16(QByteArray& out, int v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}

inline void putTable(QByteArray& out, const std::vector<Rgb>& table, int bits) {
    for (int i = 0; i < (1 << bits); ++i) {
        const Rgb c = size_t(i) < table.size() ? table[size_t(i)] : Rgb{0, 0, 0};
        out.append(char(c.r));
        out.append(char(c.g));
        out.append(char(c.b));
    }
}

inline void putSubBlocks(QByteArray& out, const std::vector<uint8_t>& data, int blockSize) {
    for (size_t at = 0; at < data.size();) {
        const size_t n = std::min(size_t(blockSize), data.size() - at);
        out.append(char(n));
        out.append(reinterpret_cast<const char*>(data.data() + at), qsizetype(n));
        at += n;
    }
    out.append('\0');
}

inline std::vector<uint8_t> framePixelsInFileOrder(const Frame& f) {
    if (!f.interlaced) return f.pixels;
    std::vector<uint8_t> out;
    out.reserve(f.pixels.size());
    for (int y : interlaceOrder(f.height))
        out.insert(out.end(), f.pixels.begin() + ptrdiff_t(y) * f.width,
                   f.pixels.begin() + ptrdiff_t(y + 1) * f.width);
    return out;
}

inline QByteArray build(const Gif& g) {
    QByteArray out(g.header.data(), qsizetype(g.header.size()));
    const int sw = g.screenWidth ? g.screenWidth : (g.frames.empty() ? 1 : g.frames[0].width);
    const int sh = g.screenHeight ? g.screenHeight : (g.frames.empty() ? 1 : g.frames[0].height);
    put16(out, sw);
    put16(out, sh);
    int packed = 0x70;
    int gbits = 0;
    if (!g.globalTable.empty()) {
        gbits = bitsFor(g.globalTable.size());
        packed |= 0x80 | (gbits - 1);
    } else if (g.globalBitsIfNone) {
        packed |= g.globalBitsIfNone - 1;
    }
    out.append(char(packed));
    out.append(char(g.background));
    out.append('\0');
    if (gbits) putTable(out, g.globalTable, gbits);
    for (const Frame& f : g.frames) {
        out.append(reinterpret_cast<const char*>(f.extraExtensions.data()),
                   qsizetype(f.extraExtensions.size()));
        if (f.gce) {
            out.append("\x21\xF9\x04", 3);
            out.append(char((f.disposal << 2) | (f.transparentIndex >= 0 ? 1 : 0)));
            put16(out, f.delay);
            out.append(char(f.transparentIndex >= 0 ? f.transparentIndex : 0));
            out.append('\0');
        }
        out.append(',');
        put16(out, f.left);
        put16(out, f.top);
        put16(out, f.width);
        put16(out, f.height);
        int fp = f.interlaced ? 0x40 : 0;
        int lbits = 0;
        if (!f.localTable.empty()) {
            lbits = bitsFor(f.localTable.size());
            fp |= 0x80 | (lbits - 1);
        } else if (f.localBits) {
            fp |= f.localBits - 1;
        }
        out.append(char(fp));
        if (lbits) putTable(out, f.localTable, lbits);
        out.append(char(f.minCodeSize));
        if (f.noData) {
            out.append('\0');
            continue;
        }
        const std::vector<uint8_t> codes =
            f.rawCodes ? f.codeBytes : lzwEncode(framePixelsInFileOrder(f), f.minCodeSize, f.lzw);
        putSubBlocks(out, codes, f.subBlockSize);
    }
    if (g.trailer) out.append(';');
    return out;
}

// Deterministic pseudo-random bytes (xorshift), for noise images and mutations.
class Rng {
public:
    explicit Rng(uint32_t seed) : s_(seed ? seed : 1) {}
    uint32_t next() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 17;
        s_ ^= s_ << 5;
        return s_;
    }
    uint32_t below(uint32_t n) { return next() % n; }

private:
    uint32_t s_;
};

inline std::vector<Rgb> rampTable(int n, int seed = 0) {
    std::vector<Rgb> t;
    for (int i = 0; i < n; ++i)
        t.push_back({uint8_t(i * 7 + seed), uint8_t(255 - i * 3), uint8_t(i * 13 + 5 * seed)});
    return t;
}

// A w x h image: a diagonal gradient with noise, indices below colours.
inline std::vector<uint8_t> noiseImage(int w, int h, int colours, uint32_t seed, int noise = 3) {
    Rng rng(seed);
    std::vector<uint8_t> px(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v =
                (x + 2 * y) * colours / std::max(1, w + 2 * h) + int(rng.below(uint32_t(noise)));
            px[size_t(y) * size_t(w) + size_t(x)] = uint8_t(std::min(colours - 1, std::max(0, v)));
        }
    return px;
}

}  // namespace giftest
