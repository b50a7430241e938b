#include "formats/errors.h"
#include "platform/error_report.h"
#include "support/scripted_dialogs.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(ErrorReport, FullStopUnlessTheTextEndsAtOrBeforeIt) {
    EXPECT_EQ(ErrorReportText("Range check error"), "Range check error.");
    EXPECT_EQ(ErrorReportText("'12x' is not a valid integer value"),
              "'12x' is not a valid integer value.");
    EXPECT_EQ(ErrorReportText("Unable to write to /tmp/a/"), "Unable to write to /tmp/a/.")
        << "'/' sorts after '.'";
    for (const char* kept : {"Done.", "Stop!", "A 'quote'", "trailing ", "a-", "a,", "(x)"})
        EXPECT_EQ(ErrorReportText(kept), kept);
    EXPECT_EQ(ErrorReportText("Fehler: Ä"), "Fehler: Ä.");
}

TEST(ErrorReport, GuardShowsErrorsAndSkipsTheRest) {
    ScriptedDialogs boxes;
    bool rest = false;
    EXPECT_FALSE(RunGuarded([&] {
        throw PixError("Range check error");
        rest = true;
    }));
    EXPECT_FALSE(rest);
    EXPECT_FALSE(RunGuarded([] { throw std::runtime_error("disk full"); }));
    EXPECT_FALSE(RunGuarded([] { throw 42; }));
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].kind, MessageKind::ErrorReport);
    EXPECT_EQ(boxes.shown[0].title, "Pixolet");
    EXPECT_EQ(boxes.texts(), (QStringList{"Range check error.", "disk full.", "Unknown error."}));
}

TEST(ErrorReport, GuardIsSilentForSilentAbortAndSuccess) {
    ScriptedDialogs boxes;
    EXPECT_FALSE(RunGuarded([] { throw SilentAbort(); }));
    int runs = 0;
    EXPECT_TRUE(RunGuarded([&] { ++runs; }));
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(boxes.shown.empty());
}

TEST(ErrorReport, GuardSurvivesAFailingBox) {
    struct ThrowingDialogs : ScriptedDialogs {
        void message(MessageKind, const QString&) override { throw std::runtime_error("no"); }
    } boxes;
    EXPECT_FALSE(RunGuarded([] { throw PixError("x"); }));
}

}  // namespace

namespace {

TEST(ErrorReport, IntegersTypedByTheUser) {
    EXPECT_EQ(ParseInteger(" 640 "), 640);
    EXPECT_EQ(ParseInteger("-5"), -5);
    EXPECT_EQ(ParseInteger("+7"), 7);
    for (const char* bad : {"", " ", "12px", "1 000", "0x10", "2147483648", "--1", "1-"}) {
        try {
            ParseInteger(bad);
            ADD_FAILURE() << bad;
        } catch (const PixError& e) {
            EXPECT_EQ(e.text(), QString("'%1' is not a valid integer value").arg(bad));
        }
    }
}

}  // namespace
