// The TIFF reader with libtiff behind it, as the program loads a TIFF: path-based, so the input
// goes through the scratch file.
#include "formats/tiff/tiff_libtiff.h"
#include "formats/tiff/tiff_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = WriteFuzzInput(data, size, QStringLiteral(".tif"));
    RunQuietly([&] {
        Bitmap bitmap;
        ReadTiffIntoBitmap(path, bitmap, ReadTiffDirectoryWithLibtiff);
    });
    return 0;
}
