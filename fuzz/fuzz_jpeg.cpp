// JPEG reading from memory: the header, the full decode and the stretched decode a thumbnail
// uses.
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
    return 0;
}
