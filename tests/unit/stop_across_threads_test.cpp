#include "engine/run_record.h"
#include "engine/transfer_pass.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

// The front-end raises the flag from its own thread while the worker is in a
// pass whose window would otherwise never close.
TEST(StopAcrossThreads, RaisedFromAnotherThreadEndsAPassInFlight) {
    InstallFake();
    StopRequested.store(0);
    const std::wstring path = FakePath(L"stop.tmp");
    AddFakeFile(path, std::string(8 * 1'048'576, 'r'));
    Fake().counterAt = [](int64_t) { return int64_t{0}; };
    std::atomic<bool> running{false};
    Fake().beforeCall = [&running](const std::string& call, int count) {
        if (call == "GetQueuedCompletionStatus" && count == 100) running.store(true);
    };
    std::thread frontEnd([&running] {
        while (!running.load()) std::this_thread::yield();
        StopRequested.store(1, std::memory_order_relaxed);
    });
    std::vector<unsigned char> pattern(1'048'576);
    std::wstring errorText;
    double elapsedMs = -1.0;
    const double speed = RunTransferPass(path, 8, 0, pattern.data(), errorText, &elapsedMs);
    frontEnd.join();
    EXPECT_EQ(speed, 0.0);
    EXPECT_EQ(errorText, L"");
    EXPECT_EQ(elapsedMs, -1.0);
    ExpectNothingLeftOpen();
    StopRequested.store(0);
    RemoveFake();
}

}  // namespace
