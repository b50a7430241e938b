// WMF reading and replay: the metafile graphic is loaded from memory and drawn into a small
// image, so every record the player takes runs.
#include "fuzz_support.h"
#include "formats/metafile/metafile.h"

#include <cstring>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitFuzzQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An EMF starts with its header record (type 1); leave those to the other target.
    uint32_t first = 0;
    if (size >= 4) std::memcpy(&first, data, 4);
    if (first == 1) return -1;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    RunQuietly([&] {
        MetafileGraphic graphic;
        graphic.loadFromBytes(bytes);
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(Qt::white);
        graphic.render(image, QRect(2, 2, 60, 44));
    });
    return 0;
}
