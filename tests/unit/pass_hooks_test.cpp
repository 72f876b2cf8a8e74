// The hooks a front-end may hang around the passes of a run: when they are
// called, and that the bytes they are given are exactly what the pass moved.
#include "engine/benchmark_run.h"
#include "engine/transfer_pass.h"
#include "report/report.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> Calls;
size_t RequestsAtStart = 0;

void IgnoreEvent(int64_t, int64_t) {}
void IgnoreBox(const std::wstring&) {}

std::string Direction(int isWrite) {
    return isWrite ? "write " : "read ";
}

// Requests issued so far tell whether a hook ran inside a pass.
void Starting(int isWrite, int64_t pass) {
    RequestsAtStart = Fake().requests.size();
    Calls.push_back(Direction(isWrite) + "start " + std::to_string(pass));
}

void Measured(const PassFigures& figures) {
    const auto moved = static_cast<int64_t>(Fake().requests.size() - RequestsAtStart) * BlockBytes;
    EXPECT_EQ(figures.bytes, moved);
    EXPECT_EQ(RequestsInFlight(), 0u);
    EXPECT_GT(figures.mbps, 0.0);
    EXPECT_GT(figures.ms, 0.0);
    Calls.push_back(Direction(figures.isWrite) + "measured " + std::to_string(figures.pass));
}

const RunEventSink HookedSink = {IgnoreEvent, IgnoreBox, Starting, Measured};

class PassHooks : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFake();
        StopRequested.store(0);
        ResetReportWriter();
        Calls.clear();
    }

    void TearDown() override {
        ExpectNothingLeftOpen();
        RemoveFake();
    }

    bool Run(const RunEventSink& sink) {
        RunRecord run;
        return RunBenchmark(FakePath(L""), 2, 3, run.result, run.liveReadMBps, run.liveWriteMBps,
                            run.livePhase, run.livePass, sink);
    }
};

TEST_F(PassHooks, BracketEveryPassAndGiveTheBytesOfEachCountedOne) {
    // An uneven clock makes the speeds awkward doubles, as real ones are.
    Fake().ticksPerRead = 777'777;
    ASSERT_TRUE(Run(HookedSink));
    const std::vector<std::string> expected = {
        "read start 0",  "read start 1",  "read measured 1",  "read start 2",  "read measured 2",
        "write start 0", "write start 1", "write measured 1", "write start 2", "write measured 2"};
    EXPECT_EQ(Calls, expected);
}

TEST_F(PassHooks, FailedPassIsAnnouncedButNeverMeasured) {
    // The first counted read pass is the second port; its first completion fails.
    Fake().beforeCall = [](const std::string& call, int count) {
        if (call == "CreateIoCompletionPort" && count == 2) FailCall("Completion", 1117);
    };
    EXPECT_FALSE(Run(HookedSink));
    const std::vector<std::string> expected = {"read start 0", "read start 1"};
    EXPECT_EQ(Calls, expected);
}

TEST_F(PassHooks, SinkWithoutHooksRunsAsBefore) {
    const RunEventSink plain = {IgnoreEvent, IgnoreBox};
    EXPECT_TRUE(Run(plain));
    EXPECT_TRUE(Calls.empty());
}

TEST(MovedBytes, RecoversWholeRequestsFromSpeedAndTime) {
    // 8,000 requests in 50,000,000 ticks at 10 MHz: 1677.7216 MB/s for 5000 ms.
    EXPECT_EQ(MovedBytes(1677.7216, 5000.0), 8000 * BlockBytes);
    // Figures computed the way the pass does; their product falls just short.
    const double bytes = 61440.0 * BlockBytes;
    const double frequency = 3'579'545.0;
    const double elapsed = 18'123'458.0;
    const double mbps = bytes * frequency / (elapsed * 1'000'000.0);
    const double ms = elapsed * 1000.0 / frequency;
    EXPECT_EQ(MovedBytes(mbps, ms), 61440 * BlockBytes);
    EXPECT_EQ(MovedBytes(0.0, 0.0), 0);
}

}  // namespace
