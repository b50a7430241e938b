// Requests that arrive during a long run wait for its end and then run from the event loop,
// never from the run's destructor: that may run while an error unwinds through the handler
// whose window the request closes.
#include "formats/errors.h"
#include "platform/error_report.h"
#include "platform/long_operation.h"
#include "support/scripted_dialogs.h"

#include <QCoreApplication>
#include <exception>
#include <gtest/gtest.h>

namespace {

TEST(LongOperation, ActionDeferredFromAFailingRunRunsOnceOnTheNextTurnNotWhileUnwinding) {
    ScriptedDialogs boxes;
    int runs = 0;
    int unwindingWhenRun = -1;
    EXPECT_FALSE(RunGuarded([&] {
        LongOperation run;
        LongOperation::whenFinished([&] {
            ++runs;
            unwindingWhenRun = std::uncaught_exceptions();
        });
        throw PixError("Range check error");
    }));
    EXPECT_EQ(runs, 0) << "ran inside the run's destructor";
    EXPECT_EQ(boxes.texts(), QStringList{"Range check error."});
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(unwindingWhenRun, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1) << "a deferred action runs once";
}

TEST(LongOperation, DeferredActionsKeepTheirOrderAndFailAlone) {
    ScriptedDialogs boxes;
    QStringList done;
    {
        LongOperation outer;
        LongOperation::whenFinished([&] { done << "first"; });
        {
            LongOperation inner;
            LongOperation::whenFinished([&] { throw PixError("broken"); });
        }
        QCoreApplication::processEvents();
        EXPECT_TRUE(done.isEmpty()) << "the outer run is still going";
        LongOperation::whenFinished([&] { done << "last"; });
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(done, (QStringList{"first", "last"}));
    EXPECT_EQ(boxes.texts(), QStringList{"broken."}) << "a failing action gets the error report";
}

TEST(LongOperation, AnActionWhoseTurnComesDuringANewRunWaitsForThatRun) {
    int runs = 0;
    {
        LongOperation first;
        LongOperation::whenFinished([&] { ++runs; });
    }
    {
        // A handler that starts the next run before the event loop turned, and lets window
        // messages run inside it.
        LongOperation second;
        QCoreApplication::processEvents();
        EXPECT_EQ(runs, 0);
    }
    EXPECT_EQ(runs, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 1);
}

TEST(LongOperation, AnActionRunsAtOnceWhenNoRunIsGoing) {
    EXPECT_FALSE(LongOperation::running());
    int runs = 0;
    LongOperation::whenFinished([&] { ++runs; });
    EXPECT_EQ(runs, 1);
    // A deferred action that runs and defers in turn: its own action waits for the next turn.
    {
        LongOperation run;
        LongOperation::whenFinished([&] {
            {
                LongOperation nested;
                LongOperation::whenFinished([&] { runs += 10; });
            }
            EXPECT_EQ(runs, 1);
        });
    }
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(runs, 11);
}

}  // namespace
