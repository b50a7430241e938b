// Every corpus image cut short: every prefix of a file under 4 KB, and of larger files every
// length of the headers and evenly spread cuts, must load or fail with one of the loaders' own
// messages, through LoadPictureFile as a user's file would. A hang shows as the test's own
// timeout.
#include "loading_outcome.h"
#include "support/corpus.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr qint64 kSmallFile = 4096;
constexpr qint64 kCutsOfLargeFile = 8;

// The extension the loading path needs for a corpus file, "" for files it does not take.
QString LoadingExtension(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "gif" || suffix == "bmp" || suffix == "ico" || suffix == "jpg" ||
        suffix == "emf" || suffix == "wmf" || suffix == "png" || suffix == "webp" ||
        suffix == "heic" || suffix == "avif")
        return "." + suffix;
    if (suffix == "tif" || suffix == "tiff") return ".tif";
    if (suffix == "jpeg") return ".jpg";
    if (suffix == "dib") return ".bmp";
    if (suffix == "cur") return ".ico";
    return {};
}

// Whether a file is cut like a large one even when small: what only a library decodes (PNG,
// WebP, HEIF, and the compressed TIFFs libtiff reads for the reader) is fuzzed through those
// libraries on its own, and every prefix of it would treble the sweep (libtiff decodes each
// prefix that holds a page whole: a 3 KB fax of three 15-megapixel pages).
bool CutSparsely(const QString& path, const QString& extension) {
    if (extension == ".tif")
        return !corpusFeatures(QDir(corpusDir()).relativeFilePath(path)).contains("uncompressed");
    return extension == ".png" || extension == ".webp" || extension == ".heic" ||
           extension == ".avif";
}

std::vector<qint64> CutLengths(qint64 size, bool sparse) {
    std::vector<qint64> lengths;
    if (size < kSmallFile && !sparse) {
        for (qint64 n = 0; n < size; ++n) lengths.push_back(n);
        return lengths;
    }
    // Every length of the first 32 bytes (the headers), then evenly spread cuts.
    for (qint64 n = 0; n < 32; ++n) lengths.push_back(n);
    for (qint64 i = 1; i <= kCutsOfLargeFile; ++i) lengths.push_back(size * i / (kCutsOfLargeFile + 1));
    lengths.push_back(size - 1);
    return lengths;
}

TEST(Truncation, EveryCorpusPrefixLoadsOrFailsWithItsMessage) {
    SKIP_WITHOUT_CORPUS();
    InitPictureFormats();
    // Memory-backed where there is such a folder: the sweep writes some 400,000 files.
    const QString base = QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir scratch(base + QStringLiteral("/pixolet-cuts-XXXXXX"));
    ASSERT_TRUE(scratch.isValid());
    int files = 0;
    qint64 loads = 0;
    QStringList undocumented;
    // png/, webp/ and heif/ came later: a corpus without them sweeps the rest.
    for (const char* folder :
         {"gif", "tiff", "bmp", "ico", "jpeg", "emf", "wmf", "png", "webp", "heif"}) {
        for (const QString& path :
             corpusFiles(QString::fromLatin1(folder),
                         {".gif", ".tif", ".tiff", ".bmp", ".dib", ".ico", ".cur", ".jpg", ".jpeg",
                          ".emf", ".wmf", ".png", ".webp", ".heic", ".avif"})) {
            const QString extension = LoadingExtension(path);
            if (extension.isEmpty()) continue;
            QFile source(path);
            ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << path.toStdString();
            const QByteArray bytes = source.readAll();
            ++files;
            const QString cut = scratch.path() + "/cut" + extension;
            for (const qint64 length : CutLengths(bytes.size(), CutSparsely(path, extension))) {
                QFile out(cut);
                ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
                out.write(bytes.constData(), length);
                out.close();
                const LoadingOutcome outcome = LoadAndClassify(cut);
                ++loads;
                // Every extension swept is one the program reads: this text would mean the
                // file never reached its decoder.
                ASSERT_FALSE(outcome.error.startsWith("Unknown picture file extension"))
                    << path.toStdString();
                if (!outcome.undocumented.isEmpty() && undocumented.size() < 40)
                    undocumented << QStringLiteral("%1 cut at %2: %3")
                                        .arg(QDir(corpusDir()).relativeFilePath(path))
                                        .arg(length)
                                        .arg(outcome.describe());
            }
        }
    }
    EXPECT_GT(files, 500);
    EXPECT_TRUE(undocumented.isEmpty()) << undocumented.join('\n').toStdString();
    std::printf("swept %d files, %lld prefixes\n", files, static_cast<long long>(loads));
}

}  // namespace
