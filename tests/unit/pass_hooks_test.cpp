// The hooks a front-end may hang around the passes of a run: when they are
// called, and that the bytes they are given are exactly what the pass moved.
#include "engine/benchmark_run.h"
#include "engine/transfer_pass.h"
#include "report/report.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include "platform/text.h"

#include <algorithm>
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

std::vector<PassFigures> Figures;

void Measured(const PassFigures& figures) {
    const auto issued = static_cast<int64_t>(Fake().requests.size() - RequestsAtStart);
    EXPECT_EQ(figures.requests, issued);
    EXPECT_EQ(figures.bytes, issued * static_cast<int64_t>(Fake().requests.back().bytes));
    Figures.push_back(figures);
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

    bool Run(const RunEventSink& sink, const Profile& profile = WindowProfile) {
        RunRecord run;
        return RunBenchmark(FakePath(L""), 2, 3, run.result, run.liveReadMBps, run.liveWriteMBps,
                            run.livePhase, run.livePass, sink, profile);
    }
};

bool Contains(const std::string& text, const std::wstring& part) {
    return text.find(Utf8FromWide(part)) != std::string::npos;
}

// Each profile's report is named after it and says so, a random one's
// results read RND; each random pass has a seed of its own and every pass
// its latencies.
TEST_F(PassHooks, EachProfileRunsItsShapeAndNamesItsReport) {
    std::vector<Profile> profiles(std::begin(Profiles), std::end(Profiles));
    profiles.insert(profiles.end(), std::begin(NvmeProfiles) + 1, std::begin(NvmeProfiles) + 3);
    // The window's shape on two threads is not the window's run.
    Profile twoThreads;
    ASSERT_TRUE(ProfileFromName("SEQ1M-Q8T2", twoThreads));
    profiles.push_back(twoThreads);
    for (const Profile& profile : profiles) {
        SCOPED_TRACE(Utf8FromWide(profile.name));
        InstallFake();
        Figures.clear();
        ASSERT_TRUE(Run(HookedSink, profile));
        ASSERT_EQ(Figures.size(), 4u);
        EXPECT_EQ(Fake().requests.back().bytes, static_cast<DWORD>(profile.shape.requestBytes));
        std::vector<uint64_t> seeds;
        for (const PassFigures& figures : Figures) {
            seeds.push_back(figures.seed);
            EXPECT_GT(figures.latency.p50, 0.0);
            EXPECT_GE(figures.latency.max, figures.latency.p99);
        }
        std::sort(seeds.begin(), seeds.end());
        const bool distinct = std::adjacent_find(seeds.begin(), seeds.end()) == seeds.end();
        EXPECT_EQ(distinct, profile.shape.random);
        EXPECT_NE(ReportPath.find(L"_" + std::wstring(profile.fileTag) + L"_3MiB.html"), std::wstring::npos);
        const std::string report = FakeFileBytes(ReportPath);
        EXPECT_TRUE(Contains(report, L"<b>BENCHMARK TYPE</b></td><td><b>" + std::wstring(profile.name) + L"</b>"));
        EXPECT_TRUE(Contains(report, L"<b>" + std::wstring(ReadResultName(profile)) + L"</b>"));
        EXPECT_TRUE(Contains(report, L"<b>" + std::wstring(WriteResultName(profile)) + L"</b>"));
        EXPECT_EQ(Contains(report, L"RND READ"), profile.shape.random);
        // The window's report stays as it was; the others give IOPS and
        // latencies, threads and depth, and do not call random sequential.
        const bool window = std::wstring(profile.name) == L"SEQ1M Q8T1";
        EXPECT_EQ(Contains(report, L"<th>IOPS</th><th>P50</th><th>P99</th>"), !window);
        EXPECT_EQ(Contains(report, L"<b>THREADS</b></td><td><b>" + DecimalText(profile.threads)), !window);
        EXPECT_EQ(Contains(report, L"<b>QUEUE DEPTH</b>"), !window);
        EXPECT_EQ(Contains(report, L"Sequential Path Benchmark"), !profile.shape.random);
        EXPECT_EQ(Contains(report, L" IOPS</b>"), !window);
        ExpectNothingLeftOpen();
    }
}

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

}  // namespace
