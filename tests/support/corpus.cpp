#include "corpus.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>

QString corpusDir() {
    const QString env = qEnvironmentVariable("PIXOLET_CORPUS");
    return QDir::cleanPath(env.isEmpty() ? QStringLiteral(PIXOLET_CORPUS_DIR) : env);
}

bool corpusAvailable() { return QFileInfo(corpusDir() + "/MANIFEST.tsv").isFile(); }

bool underCi() {
    const QString ci = qEnvironmentVariable("CI").trimmed();
    return ci.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0 || ci == QLatin1String("1");
}

std::string corpusMissingText() {
    return QStringLiteral("image corpus not found at %1 (set PIXOLET_CORPUS to its folder)")
        .arg(QDir::toNativeSeparators(corpusDir()))
        .toStdString();
}

QStringList corpusFiles(const QString& subFolder, const QStringList& suffixes) {
    QStringList out;
    QDirIterator it(corpusDir() + "/" + subFolder, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        for (const QString& s : suffixes) {
            if (path.endsWith(s, Qt::CaseInsensitive)) {
                out << path;
                break;
            }
        }
    }
    out.sort();
    return out;
}

QString corpusFeatures(const QString& relativePath) {
    static QHash<QString, QString> features;
    if (features.isEmpty()) {
        QFile f(corpusDir() + "/MANIFEST.tsv");
        if (f.open(QIODevice::ReadOnly)) {
            while (!f.atEnd()) {
                const QList<QByteArray> cols = f.readLine().split('\t');
                if (cols.size() >= 5) features.insert(QString::fromUtf8(cols[0]), QString::fromUtf8(cols[4]));
            }
        }
    }
    return features.value(relativePath);
}

int runProgram(const QString& program, const QStringList& args, QByteArray* out, QByteArray* err,
               int timeoutMs) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted()) return -1;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out) *out = p.readAllStandardOutput();
    if (err) *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

bool programAvailable(const QString& program) {
    if (program.startsWith('/')) return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}
