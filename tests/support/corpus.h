#pragma once
// The shared image corpus, found through PIXOLET_CORPUS (set by ctest) or the build's default.
// Tests that need it skip cleanly when it is absent.

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

QString corpusDir();
bool corpusAvailable();
// Paths (absolute) of the corpus files under a sub-folder whose names end in one of the
// suffixes (case-insensitive), sorted.
QStringList corpusFiles(const QString& subFolder, const QStringList& suffixes);
// The MANIFEST.tsv "features" column of a corpus path relative to the corpus folder.
QString corpusFeatures(const QString& relativePath);
// Runs a program and returns its exit code (-1 when it could not start); output in *out.
int runProgram(const QString& program, const QStringList& args, QByteArray* out = nullptr,
               QByteArray* err = nullptr, int timeoutMs = 120000);
bool programAvailable(const QString& program);

#define SKIP_WITHOUT_CORPUS()                                            \
    do {                                                                 \
        if (!corpusAvailable()) GTEST_SKIP() << "image corpus not found"; \
    } while (0)
