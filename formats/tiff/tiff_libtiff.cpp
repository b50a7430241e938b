#include "formats/tiff/tiff_libtiff.h"

#include "formats/errors.h"

#include <tiffio.h>
#include <QFile>
#include <algorithm>
#include <cstdarg>
#include <memory>
#include <vector>

namespace {

// libtiff's errors and warnings: the reader's messages speak for a file libtiff cannot read, so
// these go nowhere (the default prints to stderr).
int dropMessage(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle openTiff(const QString& path) {
    const std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(
        TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
    if (!options) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), dropMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), dropMessage, nullptr);
    // No single buffer beyond what the program would make of a whole picture, however large
    // a strip the file claims.
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kMaxBitmapBytes));
    // "m": read, not map: a file cut short while it is open must not fault.
    return TiffHandle(TIFFOpenExt(QFile::encodeName(path).constData(), "rm", options.get()));
}

struct RgbaImageEnd {
    void operator()(TIFFRGBAImage* image) const { TIFFRGBAImageEnd(image); }
};

// Rows decoded at once: whole strips or tiles (a part of one would be decoded again for the
// next part), at least a few megabytes' worth.
uint32_t rowsPerChunk(TIFF* tif, uint32_t width, uint32_t height) {
    uint32_t unit = 0;
    if (TIFFIsTiled(tif))
        TIFFGetFieldDefaulted(tif, TIFFTAG_TILELENGTH, &unit);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unit);
    unit = std::clamp<uint32_t>(unit, 1, height);
    const uint64_t wanted = std::max<uint64_t>(1, (uint64_t(4) << 20) / (uint64_t(width) * 4));
    const uint64_t units = std::max<uint64_t>(1, wanted / unit);
    return uint32_t(std::min<uint64_t>(uint64_t(unit) * units, height));
}

// Whether every strip or tile of the current directory lies within the file. A file cut short
// cannot decode whole, and finding out before the picture is made keeps a short file that
// claims a large picture from costing that picture's memory.
bool dataLiesWithinFile(TIFF* tif) {
    const uint64_t fileSize = uint64_t(TIFFGetSizeProc(tif)(TIFFClientdata(tif)));
    const uint32_t count = TIFFNumberOfStrips(tif);
    if (count == 0) return false;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tif, i);
        const uint64_t bytes = TIFFGetStrileByteCount(tif, i);
        if (offset > fileSize || bytes > fileSize - offset) return false;
    }
    return true;
}

// The current directory into a new bitmap; false when libtiff cannot decode it.
bool decodeCurrentDirectory(TIFF* tif, Bitmap& bitmap) {
    char reason[1024] = {};
    if (!TIFFRGBAImageOK(tif, reason)) return false;
    TIFFRGBAImage image;
    if (!TIFFRGBAImageBegin(&image, tif, 1, reason)) return false;
    const std::unique_ptr<TIFFRGBAImage, RgbaImageEnd> end(&image);
    const uint32_t width = image.width, height = image.height;
    if (width == 0 || height == 0) return false;
    if (Bitmap::matrixBytes(width, height, 24) > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(width, height));
    if (!dataLiesWithinFile(tif)) return false;
    const uint32_t chunk = rowsPerChunk(tif, width, height);
    if (uint64_t(width) * chunk * 4 > kMaxBitmapBytes)
        throw PixError(ImageTooLargeText(width, height));

    Bitmap out;
    out.create(int(width), int(height), 24);
    std::vector<uint32_t> raster(size_t(width) * chunk);
    image.req_orientation = ORIENTATION_TOPLEFT;
    for (uint32_t top = 0; top < height; top += chunk) {
        const uint32_t rows = std::min(chunk, height - top);
        image.row_offset = int(top);
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, raster.data(), width, rows)) return false;
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* src = raster.data() + size_t(r) * width;
            uint8_t* dst = out.scanLine(int(top + r));
            for (uint32_t x = 0; x < width; ++x, dst += 3) {
                // libtiff premultiplies (it does so for unassociated alpha too): over white,
                // the colour plus the white left showing.
                const uint32_t p = src[x];
                const uint32_t uncovered = 255 - TIFFGetA(p);
                dst[0] = uint8_t(std::min<uint32_t>(255, TIFFGetB(p) + uncovered));
                dst[1] = uint8_t(std::min<uint32_t>(255, TIFFGetG(p) + uncovered));
                dst[2] = uint8_t(std::min<uint32_t>(255, TIFFGetR(p) + uncovered));
            }
        }
    }
    bitmap = std::move(out);
    return true;
}

}  // namespace

bool ReadTiffDirectoryWithLibtiff(const QString& path, int directory, Bitmap& bitmap) {
    const TiffHandle tif = openTiff(path);
    if (!tif) return false;
    if (directory >= 0)
        return TIFFSetDirectory(tif.get(), tdir_t(directory)) &&
               decodeCurrentDirectory(tif.get(), bitmap);
    for (int i = int(TIFFNumberOfDirectories(tif.get())) - 1; i >= 0; --i)
        if (TIFFSetDirectory(tif.get(), tdir_t(i)) && decodeCurrentDirectory(tif.get(), bitmap))
            return true;
    return false;
}
