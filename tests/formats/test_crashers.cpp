// Inputs the fuzzers found, replayed through the loading path as the fuzz target runs it (load,
// then draw as a thumbnail): each must end in the outcome recorded beside it in
// crashers/EXPECTED.tsv (name, then "loaded", "error: <text>" or "shown: <messages>"), under the
// sanitizers too.
#include "loading_outcome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <gtest/gtest.h>

namespace {

QString CrashersDir() {
    return QFileInfo(QStringLiteral(__FILE__)).absolutePath() + QStringLiteral("/crashers");
}

QMap<QString, QString> ExpectedOutcomes() {
    QMap<QString, QString> expected;
    QFile file(CrashersDir() + "/EXPECTED.tsv");
    if (!file.open(QIODevice::ReadOnly)) return expected;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype tab = line.indexOf('\t');
        if (line.isEmpty() || line.startsWith('#') || tab < 0) continue;
        expected.insert(QString::fromUtf8(line.left(tab)), QString::fromUtf8(line.mid(tab + 1)));
    }
    return expected;
}

TEST(Crashers, EachEndsInItsRecordedOutcome) {
    InitPictureFormats();
    const QMap<QString, QString> expected = ExpectedOutcomes();
    const QStringList files = QDir(CrashersDir()).entryList(QDir::Files, QDir::Name);
    int replayed = 0;
    for (const QString& name : files) {
        if (name == "EXPECTED.tsv") continue;
        SCOPED_TRACE(name.toStdString());
        ASSERT_TRUE(expected.contains(name)) << "no recorded outcome";
        // A message that names the file names it without its folder, wherever the checkout is.
        QString outcome = LoadAndClassify(CrashersDir() + "/" + name, true).describe();
        outcome.replace(CrashersDir() + "/", QString());
        EXPECT_EQ(outcome.toStdString(), expected.value(name).toStdString());
        ++replayed;
    }
    // Every recorded outcome has its file.
    EXPECT_EQ(replayed, expected.size());
    if (replayed == 0) GTEST_SKIP() << "no fuzz findings recorded yet";
}

}  // namespace
