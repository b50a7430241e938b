// The EMF writer: a header, one STRETCHDIBITS with the picture as a 24-bit bottom-up DIB at
// (0, 0) at its own size, and EOF, built with libUEMF. libUEMF writes only through a file name
// it opens itself, so the records go to a scratch file first; the target itself is written
// through WriteWholeFile like every other output, never replacing an existing file.

#include "formats/errors.h"
#include "formats/file_io.h"
#include "formats/metafile/metafile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryFile>
#include <cstdlib>
#include <cstring>
#include <memory>

extern "C" {
#include <uemf.h>
}

namespace {

struct TrackDeleter {
    void operator()(EMFTRACK* et) const { emf_free(&et); }
};
struct HandlesDeleter {
    void operator()(EMFHANDLES* eht) const { emf_htable_free(&eht); }
};

[[noreturn]] void cannotCreate(const QString& path) { throw PixError(CannotCreateFileText(path)); }

// emf_append takes ownership of the record (U_REC_FREE); a null record means libUEMF ran out of
// memory.
void append(char* record, EMFTRACK* et, const QString& path) {
    if (!record) cannotCreate(path);
    if (emf_append(reinterpret_cast<U_ENHMETARECORD*>(record), et, U_REC_FREE) != 0)
        cannotCreate(path);
}

void recordPicture(const char* fileName, const Bitmap& source, const ScreenMetrics& screen,
                   const QString& path) {
    EMFTRACK* rawTrack = nullptr;
    if (emf_start(fileName, 1 << 16, 1 << 16, &rawTrack) != 0 || !rawTrack) cannotCreate(path);
    std::unique_ptr<EMFTRACK, TrackDeleter> et(rawTrack);
    EMFHANDLES* rawHandles = nullptr;
    if (emf_htable_create(16, 16, &rawHandles) != 0 || !rawHandles) cannotCreate(path);
    std::unique_ptr<EMFHANDLES, HandlesDeleter> eht(rawHandles);

    const Bitmap picture = source.bitCount() == 24 ? source : source.toRgb24();
    const int w = picture.width(), h = picture.height();
    const U_RECTL bounds = w > 0 && h > 0 ? U_RECTL{0, 0, w - 1, h - 1} : U_RECTL{0, 0, 0, 0};
    // Nothing preset the picture's size, so the frame is the whole screen.
    const U_RECTL frame{0, 0, screen.widthMillimetres * 100, screen.heightMillimetres * 100};
    const U_SIZEL devicePixels{screen.widthPixels, screen.heightPixels};
    const U_SIZEL deviceMillimetres{screen.widthMillimetres, screen.heightMillimetres};
    append(U_EMRHEADER_set(bounds, frame, nullptr, 0, nullptr, devicePixels, deviceMillimetres, 0),
           et.get(), path);

    if (w > 0 && h > 0) {
        const uint32_t stride = uint32_t(picture.stride());
        const uint64_t bitsBytes = uint64_t(stride) * uint64_t(h);
        std::unique_ptr<char, decltype(&std::free)> bits(static_cast<char*>(std::malloc(bitsBytes)),
                                                         &std::free);
        if (!bits) throw PixError(OutOfMemoryText());
        // DIB rows run bottom-up; our rows are kept top-down.
        for (int y = 0; y < h; ++y)
            std::memcpy(bits.get() + uint64_t(h - 1 - y) * stride, picture.scanLine(y), stride);
        U_BITMAPINFOHEADER header =
            bitmapinfoheader_set(w, h, 1, 24, U_BI_RGB, uint32_t(bitsBytes), 0, 0, 0, 0);
        std::unique_ptr<U_BITMAPINFO, decltype(&std::free)> info(bitmapinfo_set(header, nullptr),
                                                                 &std::free);
        if (!info) throw PixError(OutOfMemoryText());
        append(U_EMRSTRETCHDIBITS_set(bounds, U_POINTL{0, 0}, U_POINTL{w, h}, U_POINTL{0, 0},
                                      U_POINTL{w, h}, U_DIB_RGB_COLORS, U_SRCCOPY, info.get(),
                                      uint32_t(bitsBytes), bits.get()),
               et.get(), path);
    }
    append(U_EMREOF_set(0, nullptr, et.get()), et.get(), path);
    if (emf_finish(et.get(), eht.get()) != 0) cannotCreate(path);
}

}  // namespace

WriteOutcome WriteMetafile(const QString& path, const Bitmap& picture,
                           const ScreenMetrics& screen) {
    // Recording is the costly part: a name that is taken is settled before it.
    if (NameTaken(path)) return WriteOutcome::AlreadyExisted;
    QTemporaryFile scratch(QDir::tempPath() + QStringLiteral("/pixolet-XXXXXX.emf"));
    if (!scratch.open()) cannotCreate(path);
    const QString scratchName = scratch.fileName();
    scratch.close();
    recordPicture(QFile::encodeName(scratchName).constData(), picture, screen, path);
    QByteArray bytes;
    try {
        bytes = ReadFileBytes(scratchName);
    } catch (const PixError&) {
        cannotCreate(path);
    }
    return WriteNewFile(path, bytes);
}
