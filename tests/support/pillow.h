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
for path in sys.argv[1:]:
    try:
        im = Image.open(path); im.load(); data = im.convert('RGB').tobytes()
        sys.stdout.buffer.write(b'%d %d %d\n' % (im.size[0], im.size[1], len(data)) + data)
    except Exception:
        sys.stdout.buffer.write(b'0 0 0\n')
)";

// Pillow's RGB pixels of each file as 24-bit bitmaps (one Python run for all); an empty bitmap
// where Pillow cannot read the file, and no bitmaps at all when Python did not run.
inline std::vector<Bitmap> PillowPixels(const QStringList& files) {
    QByteArray out;
    if (runProgram("/usr/bin/python3", QStringList{"-c", kPillowDump} + files, &out) != 0) return {};
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
