// Every corpus image cut short: each prefix (every length of the headers, then a stride of 8
// for files under 1 KB and evenly spread cuts for larger ones) must load or fail with one of
// the loaders' own messages, through LoadPictureFile as a user's file would. A hang shows as the test's own timeout.
#include "loading_outcome.h"
#include "support/corpus.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Prefixes taken of a file of 4 KB or more: enough to cut every header and a good spread of
// the pixel data, few enough that the whole corpus sweeps in seconds under the sanitizers.
constexpr qint64 kSmallFile = 1024;
constexpr qint64 kCutsOfLargeFile = 8;

// The extension the loading path needs for a corpus file, "" for files it does not take.
QString LoadingExtension(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == "gif" || suffix == "bmp" || suffix == "ico" || suffix == "jpg" ||
        suffix == "emf" || suffix == "wmf")
        return "." + suffix;
    if (suffix == "tif" || suffix == "tiff") return ".tif";
    if (suffix == "jpeg") return ".jpg";
    if (suffix == "dib") return ".bmp";
    if (suffix == "cur") return ".ico";
    return {};
}

std::vector<qint64> CutLengths(qint64 size) {
    std::vector<qint64> lengths;
    if (size < kSmallFile) {
        // Every length through the headers, then every 8th: every length of every small file
        // took nearly 7 minutes under the sanitizers.
        for (qint64 n = 0; n < size; n += n < 32 ? 1 : 8) lengths.push_back(n);
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
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    int files = 0;
    qint64 loads = 0;
    QStringList undocumented;
    for (const char* folder : {"gif", "tiff", "bmp", "ico", "jpeg", "emf", "wmf"}) {
        for (const QString& path : corpusFiles(QString::fromLatin1(folder), {".gif", ".tif", ".tiff", ".bmp", ".dib",
                                                        ".ico", ".cur", ".jpg", ".jpeg", ".emf", ".wmf"})) {
            const QString extension = LoadingExtension(path);
            if (extension.isEmpty()) continue;
            QFile source(path);
            ASSERT_TRUE(source.open(QIODevice::ReadOnly)) << path.toStdString();
            const QByteArray bytes = source.readAll();
            ++files;
            const QString cut = scratch.path() + "/cut" + extension;
            for (const qint64 length : CutLengths(bytes.size())) {
                QFile out(cut);
                ASSERT_TRUE(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
                out.write(bytes.constData(), length);
                out.close();
                const LoadingOutcome outcome = LoadAndClassify(cut);
                ++loads;
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
