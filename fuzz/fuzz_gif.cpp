// The GIF decoder from memory: the whole stream, then the first image's way to a bitmap.
#include "fuzz_support.h"
#include "formats/gif/gif.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RunQuietly([&] {
        ByteReader reader(data, size);
        TGifFile gif;
        ReadGifStream(reader, gif);
        const Bitmap bitmap = FirstImageBitmap(gif);
        (void)bitmap;
    });
    return 0;
}
