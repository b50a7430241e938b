// Reads and writes a 4000 x 3000 RGB TIFF with our codec and with libtiff in the same run.
// Both start from and end in the program's 24-bit Bitmap (B, G, R rows), so libtiff's side
// includes the same colour-order work ours does. Throughput counts 36 MB of pixels per pass.

#include "formats/bitmap.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"

#include <benchmark/benchmark.h>
#include <tiffio.h>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int64_t kPixelBytes = int64_t(kWidth) * kHeight * 3;

struct Files {
    QTemporaryDir dir;
    Bitmap bitmap;
    QString ours;      // written by our writer
    QString libtiffs;  // written by libtiff, one strip per 8 KB (its default)

    Files() {
        bitmap.create(kWidth, kHeight, 24);
        uint32_t seed = 12345;
        for (int y = 0; y < kHeight; ++y) {
            uint8_t* p = bitmap.scanLine(y);
            for (int x = 0; x < kWidth * 3; ++x) {
                seed = seed * 1103515245u + 12345u;
                p[x] = uint8_t((x + y) ^ (seed >> 24));
            }
        }
        ours = dir.filePath("ours.tif");
        libtiffs = dir.filePath("libtiff.tif");
        SaveBitmapAsTiff(bitmap, ours);
        TIFF* t = TIFFOpen(libtiffs.toLocal8Bit().constData(), "w");
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
        std::vector<uint8_t> row(size_t(kWidth) * 3);
        for (int y = 0; y < kHeight; ++y) {
            const uint8_t* s = bitmap.scanLine(y);
            for (int x = 0; x < kWidth; ++x) {
                row[3 * x] = s[3 * x + 2];
                row[3 * x + 1] = s[3 * x + 1];
                row[3 * x + 2] = s[3 * x];
            }
            TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
        }
        TIFFClose(t);
    }
};

Files& files() {
    // The layout's software text has no closing zero; libtiff warns about it on every open.
    TIFFSetWarningHandler(nullptr);
    static Files f;
    return f;
}

void ReadOurs(benchmark::State& state, const QString& path) {
    for (auto _ : state) {
        Bitmap b;
        if (!ReadTiffIntoBitmap(path, b) || b.width() != kWidth) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(b.bits());
    }
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

void BM_ReadOurs_OwnFile(benchmark::State& state) {
    ReadOurs(state, files().ours);
}
void BM_ReadOurs_LibtiffFile(benchmark::State& state) {
    ReadOurs(state, files().libtiffs);
}

// libtiff's general decoder: RGBA raster, then into a Bitmap as ours ends.
void BM_ReadLibtiff_RGBAImage(benchmark::State& state) {
    const QByteArray path = files().ours.toLocal8Bit();
    for (auto _ : state) {
        TIFF* t = TIFFOpen(path.constData(), "r");
        std::unique_ptr<uint32_t, decltype(&_TIFFfree)> raster(
            static_cast<uint32_t*>(_TIFFmalloc(tmsize_t(kWidth) * kHeight * 4)), &_TIFFfree);
        if (!TIFFReadRGBAImageOriented(t, kWidth, kHeight, raster.get(), ORIENTATION_TOPLEFT, 0))
            state.SkipWithError("libtiff read failed");
        TIFFClose(t);
        Bitmap b;
        b.create(kWidth, kHeight, 24);
        for (int y = 0; y < kHeight; ++y) {
            const uint32_t* s = raster.get() + size_t(y) * kWidth;
            uint8_t* d = b.scanLine(y);
            for (int x = 0; x < kWidth; ++x, d += 3) {
                d[0] = uint8_t(TIFFGetB(s[x]));
                d[1] = uint8_t(TIFFGetG(s[x]));
                d[2] = uint8_t(TIFFGetR(s[x]));
            }
        }
        benchmark::DoNotOptimize(b.bits());
    }
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

// libtiff reading the raw strips straight into the Bitmap rows, then swapping R and B: the
// least work libtiff can do for the same result.
void BM_ReadLibtiff_Strips(benchmark::State& state) {
    const QByteArray path = files().ours.toLocal8Bit();
    for (auto _ : state) {
        TIFF* t = TIFFOpen(path.constData(), "r");
        Bitmap b;
        b.create(kWidth, kHeight, 24);
        uint32_t rowsPerStrip = 0;
        TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        std::vector<uint8_t> strip(size_t(TIFFStripSize(t)));
        for (tstrip_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
            const tmsize_t n = TIFFReadEncodedStrip(t, s, strip.data(), tmsize_t(strip.size()));
            const int rows = int(n / (kWidth * 3));
            for (int r = 0; r < rows; ++r) {
                uint8_t* d = b.scanLine(int(s * rowsPerStrip) + r);
                const uint8_t* p = strip.data() + size_t(r) * kWidth * 3;
                for (int x = 0; x < kWidth; ++x) {
                    d[3 * x] = p[3 * x + 2];
                    d[3 * x + 1] = p[3 * x + 1];
                    d[3 * x + 2] = p[3 * x];
                }
            }
        }
        TIFFClose(t);
        benchmark::DoNotOptimize(b.bits());
    }
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

void BM_WriteOurs(benchmark::State& state) {
    const QString path = files().dir.filePath("w-ours.tif");
    for (auto _ : state) SaveBitmapAsTiff(files().bitmap, path);
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

// libtiff writing the same single-strip file, a scanline at a time from the same rows.
void BM_WriteLibtiff(benchmark::State& state) {
    const QByteArray path = files().dir.filePath("w-libtiff.tif").toLocal8Bit();
    const Bitmap& bitmap = files().bitmap;
    std::vector<uint8_t> row(size_t(kWidth) * 3);
    for (auto _ : state) {
        TIFF* t = TIFFOpen(path.constData(), "w");
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kHeight);
        for (int y = 0; y < kHeight; ++y) {
            const uint8_t* s = bitmap.scanLine(y);
            for (int x = 0; x < kWidth; ++x) {
                row[3 * x] = s[3 * x + 2];
                row[3 * x + 1] = s[3 * x + 1];
                row[3 * x + 2] = s[3 * x];
            }
            TIFFWriteScanline(t, row.data(), uint32_t(y), 0);
        }
        TIFFClose(t);
    }
    state.SetBytesProcessed(state.iterations() * kPixelBytes);
}

}  // namespace

BENCHMARK(BM_ReadOurs_OwnFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadOurs_LibtiffFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLibtiff_RGBAImage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadLibtiff_Strips)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteOurs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteLibtiff)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
