// PNG through libpng: every colour type and depth, transparency over white, Adam7.
#include "formats/png/png.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzBytesDecoder(data, size, DecodePng);
    return 0;
}
