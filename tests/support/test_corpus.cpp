// The corpus lookup: the environment names the corpus, and under CI a test that needs a missing
// corpus or outside tool fails instead of skipping.
#include "support/corpus.h"
#include "support/outside_tool.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>
#include <optional>

namespace {

// Sets an environment variable for one scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<QByteArray> value) : name_(name) {
        if (qEnvironmentVariableIsSet(name)) saved_ = qgetenv(name);
        if (value)
            qputenv(name, *value);
        else
            qunsetenv(name);
    }
    ~ScopedEnv() {
        if (saved_)
            qputenv(name_, *saved_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    std::optional<QByteArray> saved_;
};

void NeedsTheCorpus() {
    SKIP_WITHOUT_CORPUS();
}

TEST(CorpusLookup, TheEnvironmentNamesTheCorpus) {
    QTemporaryDir dir;
    ScopedEnv corpus("PIXOLET_CORPUS", QFile::encodeName(dir.path()) + "/./");
    EXPECT_EQ(corpusDir(), dir.path());
    EXPECT_FALSE(corpusAvailable()) << "a folder without its manifest is no corpus";
    QFile manifest(dir.path() + "/MANIFEST.tsv");
    ASSERT_TRUE(manifest.open(QIODevice::WriteOnly));
    manifest.close();
    EXPECT_TRUE(corpusAvailable());
}

TEST(CorpusLookup, UnderCiAMissingCorpusFailsTheTestThatNeedsIt) {
    ScopedEnv corpus("PIXOLET_CORPUS", QByteArray("/nonexistent/pixolet-corpus"));
    for (const char* value : {"true", "TRUE", "1"}) {
        ScopedEnv ci("CI", QByteArray(value));
        EXPECT_TRUE(underCi()) << value;
        EXPECT_FATAL_FAILURE(NeedsTheCorpus(),
                             "image corpus not found at /nonexistent/pixolet-corpus");
    }
    for (std::optional<QByteArray> value :
         {std::optional<QByteArray>(), std::optional(QByteArray("false")),
          std::optional(QByteArray(""))}) {
        ScopedEnv ci("CI", value);
        EXPECT_FALSE(underCi()) << (value ? value->constData() : "unset");
    }
}

const OutsideTool kAbsent{"nosuchtool", "nosuch-package", {"/nonexistent/nosuchtool"}, {}};
const OutsideTool kFailingProbe{"sh-without-module", "sh-module", {"/bin/sh"}, {"-c", "exit 3"}};
const OutsideTool kPresent{"sh", "dash", {"/nonexistent/sh", "sh"}, {"-c", "exit 0"}};

void NeedsTools() {
    REQUIRE_TOOLS(kPresent, kAbsent, kFailingProbe);
}

// A missing tool, or one whose probe fails, fails the test under CI with its name and package.
TEST(OutsideTools, UnderCiAMissingToolFailsTheTestThatNeedsIt) {
    ScopedEnv ci("CI", QByteArray("true"));
    EXPECT_FATAL_FAILURE(NeedsTools(),
                         "nosuchtool is missing: install the Debian package nosuch-package");
    EXPECT_FATAL_FAILURE(NeedsTools(), "sh-without-module is missing (/bin/sh -c exit 3 failed)");
    EXPECT_EQ(missingToolsText({kPresent}), "");
    EXPECT_TRUE(toolPath(kPresent).endsWith("/sh")) << toolPath(kPresent).toStdString();
}

// Run by the ctest_passes_corpus_environment test, which sets PIXOLET_CORPUS around ctest.
TEST(CorpusLookup, CtestPassesTheCallersCorpusFolder) {
    const QString expected = qEnvironmentVariable("PIXOLET_EXPECTED_CORPUS");
    if (expected.isEmpty()) GTEST_SKIP() << "run through ctest_passes_corpus_environment";
    EXPECT_EQ(corpusDir(), expected);
}

}  // namespace
