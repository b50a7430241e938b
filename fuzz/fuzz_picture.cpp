// LoadPictureFile as a whole, the way a user's file reaches it: the extension comes from the
// input's first byte (a format's own signature byte picks that format, so corpus files keep
// their kind; any other byte picks one by its value), then the loaded picture is drawn small.
#include "fuzz_support.h"
#include "formats/picture.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InitFuzzQt();
    InitPictureFormats();
    return 0;
}

static QString ExtensionFor(const uint8_t* data, size_t size) {
    static const char* const kExtensions[] = {".gif", ".tif", ".bmp", ".ico", ".jpg", ".emf", ".wmf"};
    if (size == 0) return QStringLiteral(".bmp");
    switch (data[0]) {
    case 'G': return QStringLiteral(".gif");
    case 'I': case 'M': return QStringLiteral(".tif");
    case 'B': return QStringLiteral(".bmp");
    case 0x00: return QStringLiteral(".ico");
    case 0xFF: return QStringLiteral(".jpg");
    case 0x01: return QStringLiteral(".emf");
    case 0x02: case 0xD7: return QStringLiteral(".wmf");
    default: return QString::fromLatin1(kExtensions[data[0] % 7]);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = WriteFuzzInput(data, size, ExtensionFor(data, size));
    RunQuietly([&] {
        Picture picture;
        if (LoadPictureFile(path, picture) == LoadOutcome::Rejected) return;
        Bitmap target;
        target.create(40, 30, 24);
        picture.stretchDraw(target, QRect(0, 0, 40, 30));
    });
    return 0;
}
