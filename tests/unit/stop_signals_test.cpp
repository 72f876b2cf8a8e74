#include "cli/stop_signals.h"
#include "engine/run_record.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The end of a run can be marked only once per process, so this one test
// walks through the order a real stop takes: causes arrive, the handler
// waits, the worker's clean-up ends, the handler returns.
TEST(StopSignals, FirstCauseWinsAndTheCloseHandlerWaitsForTheCleanUp) {
    StopRequested.store(0);
    RequestStop(StopByTerminate);
    RequestStop(StopByHangUp);
    EXPECT_EQ(StopRequested.load(), StopByTerminate);
    StopRequested.store(0);

    EXPECT_FALSE(WaitForRunEnd(30));
    std::thread worker([] {
        while (!IsStopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        MarkRunEnded();
    });
    const Clock::time_point start = Clock::now();
#ifdef _WIN32
    // Wine sends no close, logoff or shutdown event to a console program, so
    // the handler is called as Windows would call it, on a thread of its own
    // (and real Windows ends the process once it returns). Windows gives
    // 5 s; ConsoleCloseWaitMs is what the handler waits at most.
    EXPECT_EQ(OnConsoleControl(CTRL_CLOSE_EVENT), TRUE);
    EXPECT_EQ(StopRequested.load(), StopByHangUp);
#else
    RequestStop(StopByHangUp);
    EXPECT_TRUE(WaitForRunEnd(ConsoleCloseWaitMs));
#endif
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    worker.join();
    EXPECT_GE(waited.count(), 250);
    EXPECT_LT(waited.count(), ConsoleCloseWaitMs);
    EXPECT_TRUE(WaitForRunEnd(0));
#ifdef _WIN32
    // Ctrl+C asks for the stop and returns at once; other events are not ours.
    StopRequested.store(0);
    EXPECT_EQ(OnConsoleControl(CTRL_C_EVENT), TRUE);
    EXPECT_EQ(StopRequested.load(), StopByInterrupt);
    EXPECT_EQ(OnConsoleControl(CTRL_SHUTDOWN_EVENT), TRUE);
    EXPECT_EQ(StopRequested.load(), StopByInterrupt);
    EXPECT_EQ(OnConsoleControl(7), FALSE);
#endif
    StopRequested.store(0);
}

}  // namespace
