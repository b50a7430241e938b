// The TIFF reader: path-based, so the input goes through the scratch file.
#include "fuzz_support.h"
#include "formats/tiff/tiff_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = WriteFuzzInput(data, size, QStringLiteral(".tif"));
    RunQuietly([&] {
        Bitmap bitmap;
        ReadTiffIntoBitmap(path, bitmap);
    });
    return 0;
}
