// Icon decoding from memory: the directory, the choice of entry and the entry's image (which
// may be a PNG, so Qt's image plugins run too).
#include "fuzz_support.h"
#include "formats/bmp/ico.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitFuzzQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    RunQuietly([&] {
        const QImage image = DecodeIcon(bytes);
        (void)image;
    });
    return 0;
}
