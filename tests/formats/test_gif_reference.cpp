// The GIF decoder against a reference decoder, Debian's Pillow (/usr/bin/python3 with PIL), over
// every GIF of the shared corpus and over GIFs made here. For every file that Pillow decodes,
// the first frame's palette indices and palette must be ours, except where our decoder
// deliberately differs; each such file is listed below with its reason.
//
// Comparison rules, each a deliberate difference from Pillow:
// - Rows the data does not reach (data that ends early, an end code before the last pixel) keep
//   colour index 0 here, and a last row the data leaves incomplete is not stored; Pillow keeps the
//   partial row and fills the rest with 0 or the transparent index. So the rows our decoder stored
//   are compared, and the others must be 0 here.
// - A file without any colour table for the first frame gets the black-and-white default table
//   here; Pillow reads it as greyscale. Its palette is checked to be the
//   default one instead.

#include "formats/gif/gif.h"
#include "test_gif_builder.h"

#include "support/corpus.h"
#include "support/outside_tool.h"
#include "support/recording_host.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>

#include <map>

namespace {

// Prints, per file: index, "ok" or "trunc" or "err", then mode, width, height and palette (hex)
// of the first frame cut to its own rectangle, whose indices go to <index>.idx. "trunc": strict
// loading failed only because the data ends early, and Pillow's lenient mode decoded it.
const char* kPillowScript = R"PY(
import sys, os
from PIL import Image, ImageFile
lst, outdir = sys.argv[1], sys.argv[2]
paths = [p for p in open(lst, encoding='utf-8').read().split('\n') if p]

def first_frame(path):
    im = Image.open(path)
    box = im.tile[0][1] if im.tile else None
    im.load()
    if im.mode not in ('P', 'L'):
        raise ValueError('mode ' + im.mode)
    return im, (im.crop(box) if box else im)

for i, path in enumerate(paths):
    try:
        status = 'ok'
        try:
            ImageFile.LOAD_TRUNCATED_IMAGES = False
            im, fr = first_frame(path)
        except OSError as e:
            if 'truncated' not in str(e):
                raise
            ImageFile.LOAD_TRUNCATED_IMAGES = True
            status = 'trunc'
            im, fr = first_frame(path)
        with open(os.path.join(outdir, '%d.idx' % i), 'wb') as f:
            f.write(fr.tobytes())
        pal = im.getpalette() if im.mode == 'P' else []
        print('%d\t%s\t%s\t%d\t%d\t%s' % (i, status, im.mode, fr.size[0], fr.size[1], bytes(pal or []).hex()))
    except Exception as e:
        msg = ('%s: %s' % (type(e).__name__, e)).replace('\t', ' ').replace('\n', ' ')
        print('%d\terr\t%s' % (i, msg))
)PY";

const QString kPython = QStringLiteral("/usr/bin/python3");

struct PillowResult {
    bool ok = false;
    bool truncated = false;  // decoded by Pillow's lenient mode: its pixels are a prefix of ours
    QString error;
    QString mode;
    int width = 0, height = 0;
    QByteArray indices;
    QByteArray palette;  // r, g, b ...
};

// Runs the script over the files; empty when Pillow is not there.
std::vector<PillowResult> runPillow(const QStringList& files, const QTemporaryDir& dir) {
    std::vector<PillowResult> results(size_t(files.size()));
    QFile script(dir.filePath("dump.py"));
    script.open(QIODevice::WriteOnly);
    script.write(kPillowScript);
    script.close();
    QFile list(dir.filePath("list.txt"));
    list.open(QIODevice::WriteOnly);
    list.write(files.join('\n').toUtf8());
    list.close();
    QByteArray out, err;
    const int rc =
        runProgram(kPython, {script.fileName(), list.fileName(), dir.path()}, &out, &err);
    if (rc != 0) {
        ADD_FAILURE() << "Pillow script failed: " << err.toStdString();
        return {};
    }
    for (const QByteArray& line : out.split('\n')) {
        const QList<QByteArray> cols = line.split('\t');
        if (cols.size() < 3) continue;
        const int i = cols[0].toInt();
        if (i < 0 || i >= files.size()) continue;
        PillowResult& r = results[size_t(i)];
        if ((cols[1] == "ok" || cols[1] == "trunc") && cols.size() >= 6) {
            r.ok = true;
            r.truncated = cols[1] == "trunc";
            r.mode = QString::fromLatin1(cols[2]);
            r.width = cols[3].toInt();
            r.height = cols[4].toInt();
            r.palette = QByteArray::fromHex(cols[5]);
            QFile idx(dir.filePath(QStringLiteral("%1.idx").arg(i)));
            idx.open(QIODevice::ReadOnly);
            r.indices = idx.readAll();
        } else {
            r.error = QString::fromUtf8(cols[2]);
        }
    }
    return results;
}

struct Rejection {
    const char* error;   // our error text
    const char* reason;  // why we differ from Pillow here
};

const char* const kCodeSizeReason =
    "a minimum code size outside 2..9 fails with \"Bad code Size\"; Pillow accepts any size up to "
    "12 (and 0 or 1 as the encoder wrote them)";

// Files Pillow decodes that this decoder rejects on purpose, with our error and the reason.
const std::map<QString, Rejection>& expectedRejections() {
    static const std::map<QString, Rejection> m = {
        {"image-gif/samples/set_hsts.gif", {"Bad code Size", kCodeSizeReason}},  // size 1
        {"image-gif/crashtest/issue-117-out-of-range.gif",
         {"Bad code Size", kCodeSizeReason}},                                           // 0
        {"libnsgif-afl/afl-000243.gif", {"Bad code Size", kCodeSizeReason}},            // 0
        {"libnsgif-afl/afl-000479.gif", {"Bad code Size", kCodeSizeReason}},            // 0
        {"pillow/issue_2811.gif", {"Bad code Size", kCodeSizeReason}},                  // 11
        {"pygif-test-suite/max-codes.gif", {"Bad code Size", kCodeSizeReason}},         // 11
        {"pygif-test-suite/overflow-codes.gif", {"Bad code Size", kCodeSizeReason}},    // 12
        {"pygif-test-suite/image-zero-width.gif", {"Bad code Size", kCodeSizeReason}},  // 59
        {"libnsgif-afl/afl-000658.gif",
         {"List index out of bounds (0)",
          "an image without any data sub-block (the first, 13 x 3, has "
          "none) fails; Pillow shows an empty frame"}},
        {"pygif-test-suite/extra-pixels.gif",
         {"Dynamic array index out of bounds",
          "more pixels than width x height fail when the row past the "
          "last is stored; Pillow drops them"}},
        {"pygif-test-suite/unknown-extension.gif",
         {"Unrecognized extension block.\r\nCode = $2A",
          "an extension label other than F9, 01, FF, FE fails; "
          "Pillow skips the block"}},
    };
    return m;
}

// Files Pillow decodes that differ from its first frame on purpose (none so far; the comparison
// rules at the top already hold the general differences).
const std::map<QString, QString>& expectedDifferences() {
    static const std::map<QString, QString> m = {};
    return m;
}

struct Ours {
    bool ok = false;
    QString error;
    int width = 0, height = 0;
    bool anyTable = false;
    std::array<TGifRgb, 256> palette{};
    int tableCount = 0;
    QByteArray indices;
    std::vector<bool> stored;  // per row
    std::vector<int> order;    // rows in storing order
};

Ours decodeOurs(const QString& path) {
    Ours o;
    try {
        TGifFile gif;
        ReadGifFile(path, gif);
        const TGifSubImage& first = gif.image(1);
        o.ok = true;
        o.width = first.width();
        o.height = first.height();
        o.anyTable = first.localTableFlag || gif.globalTableFlag;
        o.palette = first.colorTable().entries;
        o.tableCount = first.colorTable().count;
        const size_t n = size_t(o.width) * size_t(o.height);
        o.indices = QByteArray(reinterpret_cast<const char*>(first.pixels.data()), qsizetype(n));
        o.stored.assign(size_t(o.height), false);
        std::vector<int>& order = o.order;
        if (first.interlaced) {
            order = giftest::interlaceOrder(o.height);
        } else {
            for (int y = 0; y < o.height; ++y) order.push_back(y);
        }
        for (int i = 0; i < first.rowsStored && i < int(order.size()); ++i)
            o.stored[size_t(order[size_t(i)])] = true;
    } catch (const PixError& e) {
        o.error = e.text();
    }
    return o;
}

// Compares one file; returns a description of the first difference, empty when they agree.
QString compare(const Ours& o, const PillowResult& p) {
    if (!o.ok) return QStringLiteral("we fail with \"%1\"").arg(o.error);
    if (o.width != p.width || o.height != p.height)
        return QStringLiteral("size %1x%2, Pillow %3x%4")
            .arg(o.width)
            .arg(o.height)
            .arg(p.width)
            .arg(p.height);
    const qsizetype w = o.width;
    if (p.indices.size() != w * o.height)
        return QStringLiteral("Pillow gave %1 bytes").arg(p.indices.size());
    // Rows in the order the data fills them.
    std::vector<int> order = o.order;
    bool pillowStopped = false;  // truncated data: Pillow decoded less than we did
    uint8_t fill = 0;
    for (int y : order) {
        const char* ours = o.indices.constData() + y * w;
        const char* theirs = p.indices.constData() + y * w;
        if (!o.stored[size_t(y)]) {
            for (int x = 0; x < w; ++x)
                if (ours[x] != 0) return QStringLiteral("unstored row %1 not 0").arg(y);
            continue;
        }
        int x = 0;
        if (!pillowStopped) {
            while (x < w && ours[x] == theirs[x]) ++x;
            if (x == w) continue;
            if (!p.truncated)
                return QStringLiteral("pixel (%1, %2): %3, Pillow %4")
                    .arg(x)
                    .arg(y)
                    .arg(uint8_t(ours[x]))
                    .arg(uint8_t(theirs[x]));
            // Pillow leaves the last bytes of truncated data undecoded: from here on its
            // pixels must all be its fill value.
            pillowStopped = true;
            fill = uint8_t(theirs[x]);
        }
        for (; x < w; ++x)
            if (uint8_t(theirs[x]) != fill)
                return QStringLiteral("truncated: Pillow pixel (%1, %2) = %3 after it stopped")
                    .arg(x)
                    .arg(y)
                    .arg(uint8_t(theirs[x]));
    }
    if (!o.anyTable) {
        // No table: the black-and-white default here, greyscale in Pillow.
        if (!(o.palette[0] == TGifRgb{0, 0, 0}) || !(o.palette[1] == TGifRgb{255, 255, 255}))
            return QStringLiteral("no table, but not the black-and-white default");
        for (size_t i = 2; i < 256; ++i)
            if (!(o.palette[i] == TGifRgb{0, 0, 0}))
                return QStringLiteral("default table entry %1 not black").arg(i);
        return {};
    }
    if (p.mode == QLatin1String("L")) {
        // Pillow drops a palette that is the identity grey ramp.
        for (int i = 0; i < o.tableCount; ++i)
            if (!(o.palette[size_t(i)] == TGifRgb{uint8_t(i), uint8_t(i), uint8_t(i)}))
                return QStringLiteral("palette entry %1 not grey %1 as Pillow reads it").arg(i);
        return {};
    }
    const int entries = int(p.palette.size() / 3);
    if (entries != o.tableCount)
        return QStringLiteral("palette of %1 entries, Pillow %2").arg(o.tableCount).arg(entries);
    for (int i = 0; i < entries; ++i) {
        const TGifRgb theirs{uint8_t(p.palette[3 * i]), uint8_t(p.palette[3 * i + 1]),
                             uint8_t(p.palette[3 * i + 2])};
        if (!(o.palette[size_t(i)] == theirs))
            return QStringLiteral("palette entry %1 differs").arg(i);
    }
    return {};
}

struct Tally {
    int bothDecode = 0, onlyPillow = 0, onlyOurs = 0, neither = 0, listed = 0;
    QStringList pillowFails;  // "file: Pillow's error"
};

void compareAll(const QStringList& files, const QString& root, Tally& tally) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::vector<PillowResult> pillow = runPillow(files, dir);
    ASSERT_EQ(pillow.size(), size_t(files.size()));
    RecordingHost host;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString rel = QDir(root).relativeFilePath(files[i]);
        SCOPED_TRACE(rel.toStdString());
        const Ours ours = decodeOurs(files[i]);
        const PillowResult& p = pillow[size_t(i)];
        if (!p.ok) {
            tally.pillowFails << rel + ": " + p.error;
            ++(ours.ok ? tally.onlyOurs : tally.neither);
            continue;
        }
        if (!ours.ok) {
            ++tally.onlyPillow;
            const auto it = expectedRejections().find(rel);
            if (it != expectedRejections().end()) {
                ++tally.listed;
                EXPECT_EQ(ours.error, QString::fromLatin1(it->second.error));
                continue;
            }
            ADD_FAILURE() << "Pillow decodes it, we fail: " << ours.error.toStdString();
            continue;
        }
        ++tally.bothDecode;
        const QString diff = compare(ours, p);
        const bool listed = expectedDifferences().count(rel) != 0;
        if (listed) ++tally.listed;
        if (listed) {
            EXPECT_FALSE(diff.isEmpty()) << "listed as different, but agrees with Pillow";
        } else {
            EXPECT_TRUE(diff.isEmpty()) << diff.toStdString();
        }
    }
    EXPECT_EQ(host.hourglassDepth, 0);
}

}  // namespace

TEST(GifReference, CorpusFirstFramesMatchPillow) {
    SKIP_WITHOUT_CORPUS();
    REQUIRE_TOOLS(tool::kPillow);
    const QString root = corpusDir() + "/gif";
    const QStringList files = corpusFiles("gif", {".gif"});
    ASSERT_FALSE(files.isEmpty());
    Tally tally;
    compareAll(files, root, tally);
    // Every listed file must still be in the corpus.
    EXPECT_EQ(tally.listed, int(expectedRejections().size() + expectedDifferences().size()));
    for (const auto& [rel, reason] : expectedRejections())
        EXPECT_TRUE(QFile::exists(root + "/" + rel)) << rel.toStdString();
    for (const auto& [rel, reason] : expectedDifferences())
        EXPECT_TRUE(QFile::exists(root + "/" + rel)) << rel.toStdString();
    std::printf(
        "corpus: %lld files; both decode %d, only Pillow %d (listed %d), only ours %d, neither "
        "%d\n",
        qlonglong(files.size()), tally.bothDecode, tally.onlyPillow, tally.listed, tally.onlyOurs,
        tally.neither);
    EXPECT_GT(tally.bothDecode, 100);
}

TEST(GifReference, GeneratedFilesMatchPillow) {
    REQUIRE_TOOLS(tool::kPillow);
    using namespace giftest;
    std::vector<std::pair<QString, Gif>> cases;
    auto frame = [](int w, int h, int colours, uint32_t seed) {
        Frame f;
        f.width = w;
        f.height = h;
        f.pixels = noiseImage(w, h, colours, seed);
        f.minCodeSize = unsigned(std::max(2, bitsFor(size_t(colours))));
        return f;
    };
    {
        Gif g;
        g.globalTable = rampTable(256);
        g.frames.push_back(frame(97, 61, 256, 1));
        cases.push_back({"plain-256", g});
    }
    {
        Gif g;
        g.globalTable = rampTable(16);
        for (int h : {1, 2, 3, 4, 5, 7, 8, 9, 13, 17, 33}) {
            Gif one = g;
            Frame f = frame(11, h, 16, uint32_t(h));
            f.interlaced = true;
            one.frames.push_back(f);
            cases.push_back({QStringLiteral("interlaced-h%1").arg(h), one});
        }
    }
    {
        Gif g;  // no global table, a local one
        Frame f = frame(40, 30, 8, 3);
        f.localTable = rampTable(8, 9);
        g.frames.push_back(f);
        cases.push_back({"local-table-only", g});
    }
    {
        Gif g;  // no table at all: Pillow reads greyscale, we the black-and-white default
        g.globalBitsIfNone = 1;
        Frame f = frame(20, 10, 2, 4);
        f.minCodeSize = 2;
        g.frames.push_back(f);
        cases.push_back({"no-table", g});
    }
    {
        Gif g;  // animation, frames of different sizes, local tables on some
        g.globalTable = rampTable(64);
        g.screenWidth = 80;
        g.screenHeight = 60;
        for (int i = 0; i < 5; ++i) {
            Frame f = frame(20 + 10 * i, 15 + 7 * i, 64, uint32_t(10 + i));
            f.left = i;
            f.top = 2 * i;
            f.gce = true;
            f.delay = 10;
            f.disposal = i % 4;
            if (i % 2) f.localTable = rampTable(64, i);
            g.frames.push_back(f);
        }
        cases.push_back({"animated-sizes", g});
    }
    {
        Gif g;  // first frame smaller than the screen, transparent
        g.globalTable = rampTable(32);
        g.screenWidth = 50;
        g.screenHeight = 50;
        Frame f = frame(17, 9, 32, 5);
        f.left = 3;
        f.top = 4;
        f.gce = true;
        f.transparentIndex = 5;
        g.frames.push_back(f);
        cases.push_back({"transparent-offset", g});
    }
    {
        Gif g;
        g.globalTable = rampTable(4);
        Frame f = frame(1, 1, 4, 6);
        f.minCodeSize = 2;
        g.frames.push_back(f);
        cases.push_back({"one-by-one", g});
    }
    {
        Gif g;  // deferred clear: 12-bit codes go on after the table is full
        g.globalTable = rampTable(256);
        Frame f = frame(160, 120, 256, 7);
        f.pixels = noiseImage(160, 120, 256, 7, 256);
        f.lzw.deferredClear = true;
        g.frames.push_back(f);
        cases.push_back({"deferred-clear", g});
    }
    {
        Gif g;  // clear codes as the table fills, small sub-blocks, no leading clear
        g.globalTable = rampTable(256);
        Frame f = frame(150, 130, 256, 8);
        f.pixels = noiseImage(150, 130, 256, 8, 200);
        f.lzw.leadingClear = false;
        f.subBlockSize = 17;
        g.frames.push_back(f);
        cases.push_back({"no-leading-clear", g});
    }
    {
        Gif g;  // grey ramp palette: Pillow reads it as "L"
        std::vector<Rgb> grey;
        for (int i = 0; i < 256; ++i) grey.push_back({uint8_t(i), uint8_t(i), uint8_t(i)});
        g.globalTable = grey;
        g.frames.push_back(frame(31, 29, 256, 9));
        cases.push_back({"grey-ramp", g});
    }
    {
        Gif g;  // an end code before the last pixel: the rest keeps 0
        g.globalTable = rampTable(16);
        Frame f = frame(10, 10, 16, 11);
        f.pixels.resize(45);
        f.height = 10;
        g.frames.push_back(f);
        cases.push_back({"short-data", g});
    }
    for (int bits = 1; bits <= 8; ++bits) {
        Gif g;
        g.globalTable = rampTable(1 << bits, bits);
        Frame f = frame(23, 19, 1 << bits, uint32_t(bits));
        f.minCodeSize = unsigned(std::max(2, bits));
        g.frames.push_back(f);
        cases.push_back({QStringLiteral("colours-%1").arg(1 << bits), g});
    }

    std::vector<std::pair<QString, QByteArray>> bytes;
    for (const auto& [name, gif] : cases) bytes.push_back({name, build(gif)});
    {
        // Truncated in the middle of the data, and mid-way through an interlaced image.
        const QByteArray whole = build(cases[0].second);
        bytes.push_back({"truncated-60", whole.left(whole.size() * 6 / 10)});
        bytes.push_back({"truncated-last-byte", whole.left(whole.size() - 3)});
        const QByteArray interlaced = build(cases[11].second);  // interlaced, height 33
        bytes.push_back({"truncated-interlaced", interlaced.left(interlaced.size() / 2)});
    }
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList files;
    for (const auto& [name, data] : bytes) {
        const QString path = dir.filePath(name + ".gif");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(data);
        files << path;
    }
    Tally tally;
    compareAll(files, dir.path(), tally);
    EXPECT_EQ(tally.bothDecode, int(bytes.size())) << tally.pillowFails.join('\n').toStdString();
}
