// HEIC and AVIF through libheif: the primary image, turned as the file says.
#include "formats/heif/heif.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBytesDecoder(data, size, DecodeHeif);
    return 0;
}
