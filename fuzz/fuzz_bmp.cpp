// BMP decoding from memory.
#include "fuzz_support.h"
#include "formats/bmp/bmp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    RunQuietly([&] {
        const Bitmap bitmap = DecodeBmp(bytes);
        (void)bitmap;
    });
    return 0;
}
