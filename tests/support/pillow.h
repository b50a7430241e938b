#pragma once
// Pillow (Debian's /usr/bin/python3 with python3-pil) as a pixel reference for decoders; a test
// that uses it starts with REQUIRE_TOOLS(tool::kPillow).

#include "formats/bitmap.h"
#include "support/corpus.h"
#include "support/outside_tool.h"

#include <QByteArray>
#include <QList>
#include <QStringList>
#include <vector>

inline const char* kPillowDump = R"(
import sys
from PIL import Image

def blend(c, a):
    return (c * a + 255 * (255 - a) + 127) // 255

# Transparency over white as the program composes it. Pillow misreads a tRNS key of 1-, 2- and
# 4-bit grey (it compares the scaled sample with the unscaled key) and of 16-bit colour (its
# 8-bit pixel with the 16-bit key), so those keys are applied here.
def over_white(im, path):
    depth = 8
    with open(path, 'rb') as f:
        head = f.read(32)
    if head[:8] == b'\x89PNG\r\n\x1a\n':
        depth = head[24]
    key = im.info.get('transparency')
    if im.mode in ('I', 'I;16', 'I;16B'):
        return bytes(g for v in im.getdata() for g in (blend(v >> 8, 0 if v == key else 255),) * 3)
    if im.mode in ('1', 'L') and isinstance(key, int):
        key8 = key * 255 // ((1 << depth) - 1) if depth < 8 else key
        return bytes(g for v in im.getdata() for g in (blend(v, 0 if v == key8 else 255),) * 3)
    if im.mode == 'RGB' and isinstance(key, tuple):
        key8 = tuple(k >> 8 for k in key) if depth == 16 else key
        return bytes(blend(c, 0 if p == key8 else 255) for p in im.getdata() for c in p)
    return bytes(blend(c, a) for r, g, b, a in im.convert('RGBA').getdata() for c in (r, g, b))

compose = sys.argv[1] == 'over-white'
for path in sys.argv[2:]:
    try:
        im = Image.open(path); im.load()
        data = over_white(im, path) if compose else im.convert('RGB').tobytes()
        sys.stdout.buffer.write(b'%d %d %d\n' % (im.size[0], im.size[1], len(data)) + data)
    except Exception:
        sys.stdout.buffer.write(b'0 0 0\n')
)";

// Pillow's RGB pixels of each file as 24-bit bitmaps (one Python run for all); an empty bitmap
// where Pillow cannot read the file, and no bitmaps at all when Python did not run. Over white,
// transparent pixels are composed onto white as the program shows them; otherwise Pillow's RGB
// conversion drops the alpha.
inline std::vector<Bitmap> PillowPixels(const QStringList& files, bool overWhite = false) {
    QByteArray out;
    const QString mode = overWhite ? QStringLiteral("over-white") : QStringLiteral("plain");
    if (runProgram("/usr/bin/python3", QStringList{"-c", kPillowDump, mode} + files, &out) != 0)
        return {};
    std::vector<Bitmap> result;
    qsizetype pos = 0;
    for (int i = 0; i < files.size(); ++i) {
        const qsizetype eol = out.indexOf('\n', pos);
        if (eol < 0) return {};
        const QList<QByteArray> head = out.mid(pos, eol - pos).split(' ');
        const int w = head[0].toInt(), h = head[1].toInt(), n = head[2].toInt();
        pos = eol + 1;
        Bitmap b;
        if (n) {
            b.create(w, h, 24);
            const uchar* p = reinterpret_cast<const uchar*>(out.constData() + pos);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x, p += 3) {
                    b.scanLine(y)[3 * x] = p[2];
                    b.scanLine(y)[3 * x + 1] = p[1];
                    b.scanLine(y)[3 * x + 2] = p[0];
                }
        }
        pos += n;
        result.push_back(std::move(b));
    }
    return result;
}
