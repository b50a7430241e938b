#pragma once
// The shared image corpus, found through PIXOLET_CORPUS or the build's default
// (PIXOLET_CORPUS_DIR). Tests that need it skip when it is absent, except under CI (CI=true),
// where a reference test that silently skipped would hide a fault: there they fail. Outside
// programs are required the same way (outside_tool.h).

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <string>

QString corpusDir();
bool corpusAvailable();
// True when the environment says CI ("true" or "1"): a missing corpus or outside tool is then a
// failure, not a skip.
bool underCi();
// What a test that needs the corpus says when it is not there.
std::string corpusMissingText();
// Paths (absolute) of the corpus files under a sub-folder whose names end in one of the
// suffixes (case-insensitive), sorted.
QStringList corpusFiles(const QString& subFolder, const QStringList& suffixes);
// The MANIFEST.tsv "features" column of a corpus path relative to the corpus folder.
QString corpusFeatures(const QString& relativePath);
// Runs a program and returns its exit code (-1 when it could not start); output in *out.
int runProgram(const QString& program, const QStringList& args, QByteArray* out = nullptr,
               QByteArray* err = nullptr, int timeoutMs = 120000);
bool programAvailable(const QString& program);

// In a test body: skips with the text, except under CI, where it fails with it.
#define SKIP_OR_FAIL_UNDER_CI(text)      \
    do {                                 \
        if (underCi()) FAIL() << (text); \
        GTEST_SKIP() << (text);          \
    } while (0)

#define SKIP_WITHOUT_CORPUS()                                               \
    do {                                                                    \
        if (!corpusAvailable()) SKIP_OR_FAIL_UNDER_CI(corpusMissingText()); \
    } while (0)
