// WebP through libwebp: lossy, lossless, alpha and an animation's first frame.
#include "formats/webp/webp.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBytesDecoder(data, size, DecodeWebp);
    return 0;
}
