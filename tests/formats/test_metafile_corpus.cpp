// Every EMF and WMF of the shared corpus: the sound ones load and replay, the damaged ones
// replay what they can or fail with the one message; none may crash, hang or read outside
// the file (this program also runs under ASan).

#include "formats/errors.h"
#include "formats/metafile/metafile.h"
#include "support/corpus.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

// Large pictures are replayed into a smaller rectangle: the replay is the same code, and the
// sanitizer build stays quick.
constexpr int kLongestSide = 900;

bool markedDamaged(const QString& relative) {
    return relative.contains(QLatin1String("/corrupted/")) ||
           corpusFeatures(relative).contains(QLatin1String("no EMF header"));
}

struct Outcome {
    bool loaded = false;
    QString error;
    int inkedPixels = 0;
};

Outcome replay(const QString& path, const QString& pngFolder) {
    Outcome out;
    MetafileGraphic graphic;
    try {
        graphic.loadFromFile(path);
    } catch (const PixError& e) {
        out.error = e.text();
        return out;
    }
    out.loaded = true;
    int w = graphic.width(), h = graphic.height();
    const double scale = std::min(1.0, double(kLongestSide) / std::max({w, h, 1}));
    w = std::max(1, int(std::lround(w * scale)));
    h = std::max(1, int(std::lround(h * scale)));
    Bitmap target;
    target.create(w, h, 24);
    std::fill(target.bits(), target.bits() + target.byteCount(), uint8_t(0xFF));
    graphic.stretchDraw(target, QRect(0, 0, w, h));
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = target.scanLine(y);
        for (int x = 0; x < 3 * w; ++x)
            if (row[x] != 0xFF) {
                ++out.inkedPixels;
                break;
            }
    }
    if (!pngFolder.isEmpty())
        target.toQImage().save(pngFolder + "/" + QFileInfo(path).completeBaseName() + "." +
                               QFileInfo(path).suffix() + ".png");
    return out;
}

TEST(MetafileCorpus, SoundFilesReplayAndDamagedOnesFailCleanly) {
    SKIP_WITHOUT_CORPUS();
    // Developers may look at the replays: PIXOLET_METAFILE_PNG=/some/folder.
    const QString pngFolder = qEnvironmentVariable("PIXOLET_METAFILE_PNG");
    if (!pngFolder.isEmpty()) QDir().mkpath(pngFolder);
    const QStringList files = corpusFiles("emf", {".emf"}) + corpusFiles("wmf", {".wmf"});
    ASSERT_FALSE(files.isEmpty());
    int sound = 0, soundReplayed = 0, damaged = 0, damagedReplayed = 0, damagedRefused = 0;
    for (const QString& path : files) {
        const QString relative = QDir(corpusDir()).relativeFilePath(path);
        QElapsedTimer clock;
        clock.start();
        const Outcome o = replay(path, pngFolder);
        const qint64 ms = clock.elapsed();
        if (markedDamaged(relative)) {
            ++damaged;
            if (o.loaded)
                ++damagedReplayed;
            else {
                ++damagedRefused;
                EXPECT_EQ(o.error, "Metafile is not valid") << relative.toStdString();
            }
        } else {
            ++sound;
            EXPECT_TRUE(o.loaded) << relative.toStdString() << ": " << o.error.toStdString();
            if (o.loaded) ++soundReplayed;
        }
        if (qEnvironmentVariableIsSet("PIXOLET_METAFILE_VERBOSE"))
            printf("%-60s %s inked rows %d, %lld ms\n", relative.toUtf8().constData(),
                   o.loaded ? "replayed" : o.error.toUtf8().constData(), o.inkedPixels, ms);
    }
    printf("sound: %d of %d replayed; damaged: %d replayed what they could, %d refused (of %d)\n",
           soundReplayed, sound, damagedReplayed, damagedRefused, damaged);
}

// The sound files that draw something must leave ink: a player that silently drew nothing
// would pass the test above.
TEST(MetafileCorpus, DrawingFilesLeaveInk) {
    SKIP_WITHOUT_CORPUS();
    for (const char* name : {"emf/libemf2svg/test-000.emf", "emf/libuemf/test_libuemf_ref.emf",
                             "emf/pillow/drawing.emf", "emf/wmf2svg/fulltest.emf",
                             "wmf/libwmf/anim0002.wmf", "wmf/libuemf/test_libuemf_ref.wmf",
                             "wmf/libwmf/p0000001.wmf", "wmf/pillow/drawing.wmf"}) {
        const Outcome o = replay(corpusDir() + "/" + name, QString());
        ASSERT_TRUE(o.loaded) << name;
        EXPECT_GT(o.inkedPixels, 5) << name;
    }
}

// Damage the gate must absorb: sound files with bytes overwritten at pseudo-random places
// (record sizes, counts, offsets into the record, DIB headers). Each either fails with the one
// message or replays; under ASan any read outside the bytes would stop the test.
TEST(MetafileCorpus, OverwrittenBytesNeverCrash) {
    SKIP_WITHOUT_CORPUS();
    const char* names[] = {"emf/libuemf/test_libuemf_ref.emf", "emf/wmf2svg/fulltest.emf",
                           "emf/libemf2svg/test-000.emf",      "wmf/libuemf/test_libuemf_ref.wmf",
                           "wmf/wmf2svg/fulltest.wmf",         "wmf/libwmf/Eg.wmf"};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    int refused = 0, replayed = 0;
    for (const char* name : names) {
        QFile f(corpusDir() + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name;
        const QByteArray original = f.readAll();
        for (int round = 0; round < 40; ++round) {
            QByteArray damaged = original;
            for (int i = 0; i < 8; ++i)
                damaged[qsizetype(next() % uint32_t(damaged.size()))] = char(next());
            if (round % 3 == 0) damaged.truncate(qsizetype(next() % uint32_t(damaged.size())));
            const QByteArray exact(damaged.constData(), damaged.size());
            MetafileGraphic g;
            try {
                g.loadFromBytes(exact);
            } catch (const PixError& e) {
                ASSERT_EQ(e.text(), "Metafile is not valid");
                ++refused;
                continue;
            }
            Bitmap target;
            target.create(160, 120, 24);
            g.stretchDraw(target, QRect(0, 0, 160, 120));
            ++replayed;
        }
    }
    printf("overwritten files: %d replayed, %d refused\n", replayed, refused);
}

}  // namespace
