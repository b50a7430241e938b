// BMP decoding of 4000 x 3000 pictures made at start-up, one per kind of row: 24-bit rows
// (copied), 16-bit 5-6-5 and 32-bit 10-10-10 bit fields (each channel widened), plain 32-bit,
// and RLE8; next to Qt's own BMP reader on the same bytes. The metafile blits' reader of the
// same DIBs (32-bit images for the painter) runs on the bit-field ones.
// Figures: "MP/s", megapixels decoded per second of wall time.

#include "formats/bmp/bmp.h"
#include "formats/metafile/metafile_dib.h"

#include <benchmark/benchmark.h>
#include <QGuiApplication>
#include <QImage>

#include <array>
#include <vector>

namespace {

constexpr int kWidth = 4000, kHeight = 3000;

void put16(QByteArray& b, uint16_t v) {
    b.append(char(v & 0xFF));
    b.append(char(v >> 8));
}

void put32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(char((v >> (8 * i)) & 0xFF));
}

// A smooth picture with some noise, as a photo's low bits are.
uint32_t sample(int x, int y, uint32_t& seed) {
    seed = seed * 1664525u + 1013904223u;
    return uint32_t(x * 7 + y * 3) ^ (seed >> 8);
}

QByteArray makeBmp(int bitCount, uint32_t compression, std::vector<uint32_t> masks) {
    const int tableEntries = bitCount == 8 ? 256 : 0;
    const uint32_t stride = uint32_t((kWidth * bitCount + 31) / 32 * 4);
    QByteArray bits;
    uint32_t seed = 1;
    if (compression == 1) {
        // Runs of 1 to 16 pixels, the row closed by an end of line.
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth;) {
                const int run = std::min(kWidth - x, int(sample(x, y, seed) % 16) + 1);
                bits.append(char(run));
                bits.append(char(sample(x, y, seed)));
                x += run;
            }
            put16(bits, 0);
        }
        put16(bits, 0x0100);
    } else {
        bits.reserve(qsizetype(stride) * kHeight);
        for (int y = 0; y < kHeight; ++y) {
            QByteArray row;
            for (int x = 0; x < kWidth; ++x) {
                const uint32_t v = sample(x, y, seed);
                if (bitCount == 16) put16(row, uint16_t(v));
                if (bitCount == 24) row.append(reinterpret_cast<const char*>(&v), 3);
                if (bitCount == 32) put32(row, v);
            }
            row.resize(stride, '\0');
            bits += row;
        }
    }
    QByteArray extra;
    for (uint32_t m : masks) put32(extra, m);
    for (int i = 0; i < tableEntries; ++i) put32(extra, uint32_t(i * 0x010101));
    QByteArray f("BM");
    const uint32_t offset = 14 + 40 + uint32_t(extra.size());
    put32(f, offset + uint32_t(bits.size()));
    put32(f, 0);
    put32(f, offset);
    put32(f, 40);
    put32(f, kWidth);
    put32(f, kHeight);
    put16(f, 1);
    put16(f, uint16_t(bitCount));
    put32(f, compression);
    put32(f, uint32_t(bits.size()));
    for (int i = 0; i < 4; ++i) put32(f, 0);
    return f + extra + bits;
}

struct Kind {
    const char* name;
    QByteArray bytes;
};

const std::array<Kind, 5>& kinds() {
    static const std::array<Kind, 5> all = {{
        {"24bit", makeBmp(24, 0, {})},
        {"565", makeBmp(16, 3, {0xF800, 0x07E0, 0x001F})},
        {"32bit", makeBmp(32, 0, {})},
        {"101010", makeBmp(32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF})},
        {"rle8", makeBmp(8, 1, {})},
    }};
    return all;
}

void count(benchmark::State& state) {
    state.counters["MP/s"] = benchmark::Counter(double(kWidth) * kHeight / 1e6 *
                                                    double(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void BM_Ours(benchmark::State& state) {
    const Kind& k = kinds()[size_t(state.range(0))];
    state.SetLabel(k.name);
    for (auto _ : state) {
        Bitmap b = DecodeBmp(k.bytes);
        benchmark::DoNotOptimize(b.bits());
    }
    count(state);
}
BENCHMARK(BM_Ours)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Qt(benchmark::State& state) {
    const Kind& k = kinds()[size_t(state.range(0))];
    state.SetLabel(k.name);
    for (auto _ : state) {
        QImage image = QImage::fromData(k.bytes, "BMP");
        benchmark::DoNotOptimize(image.constBits());
    }
    count(state);
}
BENCHMARK(BM_Qt)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_MetafileBlitDib(benchmark::State& state) {
    const Kind& k = kinds()[size_t(state.range(0))];
    state.SetLabel(k.name);
    const auto* p = reinterpret_cast<const uint8_t*>(k.bytes.constData());
    const uint32_t offset = uint32_t(p[10]) | (uint32_t(p[11]) << 8) | (uint32_t(p[12]) << 16);
    for (auto _ : state) {
        QImage image = DecodeDib({ByteReader(p + 14, offset - 14),
                                  ByteReader(p + offset, size_t(k.bytes.size()) - offset)});
        benchmark::DoNotOptimize(image.constBits());
    }
    count(state);
}
BENCHMARK(BM_MetafileBlitDib)->Arg(1)->Arg(3)->Arg(4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
