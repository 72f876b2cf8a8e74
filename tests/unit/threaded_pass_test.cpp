// Passes of several threads through the fake: one window for all, what
// they moved added up, their own stretches or seeds, and a failure in one
// that ends all with its text and leaves nothing open.
#include "engine/threaded_pass.h"
#include "engine/benchmark_run.h"
#include "report/report.h"
#include "tests/unit/fake_pass_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

class ThreadedPass : public FakePassTest {
protected:
    void SetUp() override {
        FakePassTest::SetUp();
        AddFakeFile(path, std::string(8 * MiB, 'r'));
    }

    double Run(const PassShape& shape, int threads) {
        return RunThreadedPass(path, 8, shape, threads, 0, pattern.data(), errorText, &elapsedMs,
                               tally.get());
    }

    // Each thread's requests, by the file handle it issued them on.
    std::map<HANDLE, std::vector<uint64_t>> OffsetsByThread() const {
        std::map<HANDLE, std::vector<uint64_t>> offsets;
        for (const FakeRequest& request : Fake().requests)
            offsets[request.file].push_back(request.offset);
        return offsets;
    }

    double elapsedMs = 0.0;
    std::unique_ptr<PassTally> tally = std::make_unique<PassTally>();
};

// Two threads in order: each takes every other MiB of the file, their
// requests and latencies add up to what was issued, and all shares one window.
TEST_F(ThreadedPass, SequentialThreadsTakeInterleavedStretchesAndAddUp) {
    const double speed = Run({262144, 4, false, 0}, 2);
    ASSERT_EQ(errorText, L"");
    EXPECT_GT(speed, 0.0);
    const auto offsets = OffsetsByThread();
    ASSERT_EQ(offsets.size(), 2u);
    std::set<uint64_t> stretchesSeen[2];
    int thread = 0;
    for (const auto& [file, own] : offsets) {
        for (uint64_t offset : own) stretchesSeen[thread].insert(offset / MiB % 2);
        // Within its stretch a thread goes front to back.
        EXPECT_EQ(own[0] % MiB, 0u);
        EXPECT_EQ(own[1], own[0] + 262144);
        ++thread;
    }
    EXPECT_EQ(stretchesSeen[0].size(), 1u);
    EXPECT_EQ(stretchesSeen[1].size(), 1u);
    EXPECT_NE(*stretchesSeen[0].begin(), *stretchesSeen[1].begin());
    EXPECT_EQ(tally->requests, static_cast<int64_t>(Fake().requests.size()));
    EXPECT_EQ(tally->bytes, tally->requests * 262144);
    EXPECT_EQ(tally->latency.total, static_cast<uint64_t>(tally->requests));
    EXPECT_EQ(Fake().portCalls.size(), 2u);
}

// Random threads each follow their own seed, derived from the pass's, and
// the same seed gives the same offsets again.
TEST_F(ThreadedPass, RandomThreadsFollowTheirOwnSeedsAndReplay) {
    const PassShape shape{4096, 2, true, 12345};
    Run(shape, 2);
    ASSERT_EQ(errorText, L"");
    std::vector<std::vector<uint64_t>> first;
    for (auto& [file, own] : OffsetsByThread()) first.push_back(own);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_NE(first[0], first[1]);
    EXPECT_EQ(ThreadSeed(12345, 0), 12345u);
    EXPECT_NE(ThreadSeed(12345, 1), ThreadSeed(12345, 2));
    Fake().requests.clear();
    Run(shape, 2);
    std::vector<std::vector<uint64_t>> again;
    for (auto& [file, own] : OffsetsByThread()) again.push_back(own);
    // The threads' handles may come in another order; each sequence recurs.
    std::sort(first.begin(), first.end());
    std::sort(again.begin(), again.end());
    for (size_t i = 0; i < 2; ++i) {
        const size_t shortest = std::min(first[i].size(), again[i].size());
        EXPECT_TRUE(std::equal(first[i].begin(), first[i].begin() + static_cast<ptrdiff_t>(shortest),
                               again[i].begin()));
    }
}

// A completion fails in one thread: both threads end, the pass reports
// that thread's text, and no handle, buffer or request is left.
TEST_F(ThreadedPass, OneThreadFailingEndsBothWithItsTextAndLeavesNothing) {
    // A window of 5,000 clock readings, of which the failure comes early.
    Fake().ticksPerRead = 10'000;
    FailCall("Completion", 1117, 5);
    const double speed = Run({4096, 4, true, 7}, 2);
    EXPECT_EQ(speed, 0.0);
    EXPECT_EQ(errorText, L"I/O completion failed (Windows Error 1117)");
    // The other thread stopped early too, not at the end of the window
    // (about 5,000 requests): how early depends on how the threads are
    // scheduled around the fake's lock.
    EXPECT_LT(Fake().requests.size(), 2'500u);
}

// Failures before the window: a thread whose file cannot be opened, and a
// thread that cannot be started, end the pass before any request.
TEST_F(ThreadedPass, SetUpFailuresEndThePassBeforeItsWindow) {
    for (const char* call : {"CreateFileW", "CreateThread", "VirtualAlloc"}) {
        SCOPED_TRACE(call);
        FailCall(call, 8, 1);
        errorText.clear();
        EXPECT_EQ(Run({4096, 2, true, 7}, 3), 0.0);
        EXPECT_FALSE(errorText.empty());
        EXPECT_EQ(OpenHandleCount(), 0u);
        EXPECT_EQ(OpenAllocationCount(), 0u);
    }
}

void IgnoreEvent(int64_t, int64_t) {}
void IgnoreBox(const std::wstring&) {}

std::vector<uint64_t> Seeds;
void KeepSeed(const PassFigures& figures) {
    Seeds.push_back(figures.seed);
}

// Two runs from one given seed issue the same requests in the same order.
TEST_F(ThreadedPass, TwoRunsWithOneSeedIssueTheSameOffsets) {
    Profile profile{};
    ASSERT_TRUE(ProfileFromName("RND4K-Q1T1", profile));
    profile.shape.seed = 99;
    profile.seeded = true;
    const RunEventSink sink = {IgnoreEvent, IgnoreBox, nullptr, KeepSeed};
    std::vector<uint64_t> offsets[2];
    for (std::vector<uint64_t>& run : offsets) {
        InstallFake();
        ResetReportWriter();
        Seeds.clear();
        RunRecord record;
        ASSERT_TRUE(RunBenchmark(FakePath(L""), 2, 3, record.result, record.liveReadMBps,
                                 record.liveWriteMBps, record.livePhase, record.livePass, sink,
                                 profile));
        for (const FakeRequest& request : Fake().requests) run.push_back(request.offset);
    }
    EXPECT_EQ(offsets[0], offsets[1]);
    // The first counted pass has the seed given; the others their own.
    ASSERT_EQ(Seeds.size(), 4u);
    EXPECT_EQ(Seeds[0], 99u);
    EXPECT_EQ(std::set<uint64_t>(Seeds.begin(), Seeds.end()).size(), 4u);
}

}  // namespace
