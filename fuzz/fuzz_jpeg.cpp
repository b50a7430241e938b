// JPEG reading from memory: the header, the full decode and the stretched decodes a thumbnail
// uses, which skip the rows no target line takes.
#include "fuzz_support.h"
#include "formats/jpeg/jpeg.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    RunQuietly([&] {
        const JpegHeader header = ReadJpegHeader(bytes);
        (void)header;
        const Bitmap full = DecodeJpeg(bytes);
        (void)full;
    });
    RunQuietly([&] {
        Bitmap target;
        target.create(48, 32, 24);
        DecodeJpegStretched(bytes, target, QRect(3, 2, 40, 27));
    });
    RunQuietly([&] {
        // Only the lower part drawn, small, in the orientation the last byte picks: the rows
        // above it and whole block rows between its lines are skipped.
        Bitmap target;
        target.create(16, 8, 24);
        const int orientation = size > 0 ? 1 + data[size - 1] % 8 : 1;
        DecodeJpegStretched(bytes, target, QRect(0, -24, 16, 32), orientation);
    });
    return 0;
}
