#include "engine/latency_histogram.h"
#include "engine/pattern.h"
#include "engine/run_record.h"
#include "engine/transfer_pass.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int64_t KiB = 1024;
constexpr int64_t MiB = 1'048'576;

class ShapedPass : public ::testing::Test {
protected:
    void SetUp() override {
        StopRequested.store(0);
        pattern.resize(MiB);
        FillPattern(pattern.data(), pattern.size());
    }

    void TearDown() override { RemoveFake(); }

    // A fresh fake (each test starts with one) with a file of blocks MiB
    // whose clock lets about `requests` completions into the five-second window.
    void Start(int64_t blocks, int64_t requests) {
        InstallFake();
        AddFakeFile(FakePath(L"pass.tmp"), std::string(static_cast<size_t>(blocks * MiB), 'r'));
        Fake().ticksPerRead = 50'000'000 / requests;
        Fake().beforeCall = [this](const std::string& call, int) {
            if (call == "GetQueuedCompletionStatusEx")
                mostInFlight = std::max(mostInFlight, RequestsInFlight());
        };
        mostInFlight = 0;
        errorText.clear();
    }

    double Run(int64_t blocks, const PassShape& shape, int isWrite = 0) {
        return RunShapedPass(FakePath(L"pass.tmp"), blocks, shape, isWrite, pattern.data(),
                             errorText, nullptr, tally.get());
    }

    std::vector<uint64_t> Offsets() const {
        std::vector<uint64_t> offsets;
        for (const FakeRequest& request : Fake().requests) offsets.push_back(request.offset);
        return offsets;
    }

    std::vector<unsigned char> pattern;
    std::wstring errorText;
    std::unique_ptr<PassTally> tally = std::make_unique<PassTally>();
    size_t mostInFlight = 0;
};

struct RandomCase {
    int64_t requestBytes;
    int depth;
};

// Every request whole and inside the file, every sixteenth of the file
// visited about as often as the others, the depth kept, and the seed
// replaying the same offsets.
TEST_F(ShapedPass, RandomOffsetsAreAlignedInsideTheFileUniformAndReplayable) {
    constexpr int64_t blocks = 16;
    constexpr int64_t requests = 3000;
    for (const RandomCase& shapeCase : {RandomCase{4 * KiB, 1}, RandomCase{4 * KiB, 64},
                                        RandomCase{64 * KiB, 32}}) {
        SCOPED_TRACE(shapeCase.requestBytes * 100 + shapeCase.depth);
        const PassShape shape{shapeCase.requestBytes, shapeCase.depth, true, 0xC0FFEE};
        Start(blocks, requests);
        EXPECT_GT(Run(blocks, shape), 0.0);
        EXPECT_EQ(mostInFlight, static_cast<size_t>(shape.depth));
        const std::vector<uint64_t> offsets = Offsets();
        std::vector<int64_t> perSixteenth(16, 0);
        for (const FakeRequest& request : Fake().requests) {
            EXPECT_EQ(request.bytes, static_cast<DWORD>(shape.requestBytes));
            ASSERT_EQ(request.offset % shape.requestBytes, 0u);
            ASSERT_LE(request.offset + request.bytes, static_cast<uint64_t>(blocks * MiB));
            perSixteenth[request.offset / (blocks * MiB / 16)] += 1;
        }
        const auto expected = static_cast<int64_t>(offsets.size() / 16);
        for (const int64_t count : perSixteenth) {
            EXPECT_GT(count, expected * 7 / 10);
            EXPECT_LT(count, expected * 13 / 10);
        }
        // Where the pass is long enough, every request of the file, the last included.
        const auto fileRequests = static_cast<size_t>(blocks * MiB / shape.requestBytes);
        if (offsets.size() > 8 * fileRequests) {
            std::vector<uint64_t> distinct = offsets;
            std::sort(distinct.begin(), distinct.end());
            distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
            EXPECT_EQ(distinct.size(), fileRequests);
        }
        EXPECT_EQ(tally->requests, static_cast<int64_t>(offsets.size()));
        EXPECT_EQ(tally->bytes, tally->requests * shape.requestBytes);
        ExpectNothingLeftOpen();

        for (const uint64_t seed : {shape.seed, shape.seed + 1}) {
            Start(blocks, requests);
            Run(blocks, PassShape{shape.requestBytes, shape.depth, true, seed});
            EXPECT_EQ(Offsets() == offsets, seed == shape.seed);
        }
    }
}

// A write pass sends the start of the pattern, and a completion short of the
// request's size is incomplete whatever that size is.
TEST_F(ShapedPass, SmallWritesCarryThePatternAndMustCompleteWhole) {
    const PassShape shape{4 * KiB, 32, true, 7};
    Start(4, 100);
    size_t checked = 0;
    Fake().beforeCall = [&](const std::string& call, int count) {
        if (call != "GetQueuedCompletionStatusEx" || count != 1) return;
        for (const FakeRequest& request : Fake().requests) {
            EXPECT_TRUE(request.isWrite);
            EXPECT_EQ(std::memcmp(request.buffer, pattern.data(), 4096), 0);
            checked += 1;
        }
    };
    EXPECT_GT(Run(4, shape, 1), 0.0);
    EXPECT_EQ(checked, 32u);
    Start(4, 100);
    Fake().completionBytes = [](const FakeRequest&) { return DWORD{512}; };
    EXPECT_EQ(Run(4, shape), 0.0);
    EXPECT_EQ(errorText, L"Incomplete transfer: 512 byte");
    ExpectNothingLeftOpen();
}

// The request that stays in flight while the others come and go is timed
// from its own issue, not from the last one's.
TEST_F(ShapedPass, LatencyOfRequestsThatCompleteOutOfOrder) {
    Start(4, 50);
    Fake().newestFirst = true;
    EXPECT_GT(Run(4, PassShape{BlockBytes, 2, false, 0}), 0.0);
    // 50 completions a tenth of a second apart, then the first request at 5.1 s.
    ASSERT_EQ(tally->requests, 51);
    const LatencySummary latency = SummarizeLatencies(tally->latency, tally->frequency);
    EXPECT_NEAR(latency.p50, 100'000.0, 1'000.0);
    EXPECT_NEAR(latency.p90, 100'000.0, 1'000.0);
    EXPECT_NEAR(latency.p99, 5'100'000.0, 51'000.0);
    EXPECT_DOUBLE_EQ(latency.max, 5'100'000.0);
    EXPECT_DOUBLE_EQ(latency.mean, (50 * 100'000.0 + 5'100'000.0) / 51);
    ExpectNothingLeftOpen();
}

// Completions that come together are seen at one reading of the clock: four
// in flight and four per wait, so each request is timed at exactly the
// clock's step, not at one to four steps by where it sat in its burst.
TEST_F(ShapedPass, ABurstOfCompletionsIsTimedAtOneReadingOfTheClock) {
    Start(4, 100);
    Fake().completionsPerWait = 4;
    EXPECT_GT(Run(4, PassShape{4 * KiB, 4, true, 9}), 0.0);
    const LatencySummary latency = SummarizeLatencies(tally->latency, tally->frequency);
    const double step = 1e6 * static_cast<double>(Fake().ticksPerRead) /
                        static_cast<double>(Fake().frequency);
    EXPECT_DOUBLE_EQ(latency.mean, step);
    EXPECT_DOUBLE_EQ(latency.max, step);
    ExpectNothingLeftOpen();
}

struct BurstFailure {
    const char* call;
    DWORD code;
    int skip;
    const wchar_t* text;
};

// A failed request in the middle of a burst gives its own Windows code, and
// the requests still in flight are taken back before anything is freed.
TEST_F(ShapedPass, AFailureInABurstKeepsItsTextAndReleasesEverything) {
    const BurstFailure failures[] = {
        {"GetQueuedCompletionStatusEx", 6, 2,
         L"GetQueuedCompletionStatusEx failed (Windows Error 6)"},
        {"Completion", 1117, 6, L"I/O completion failed (Windows Error 1117)"},
        {"Completion", 1295, 6, L"The disk is full (Windows Error 1295)"},
    };
    for (const BurstFailure& failure : failures) {
        SCOPED_TRACE(failure.call);
        Start(4, 100);
        Fake().completionsPerWait = 4;
        FailCall(failure.call, failure.code, failure.skip);
        EXPECT_EQ(Run(4, PassShape{4 * KiB, 8, true, 9}), 0.0);
        EXPECT_EQ(errorText, failure.text);
        ExpectNothingLeftOpen();
    }
}

TEST_F(ShapedPass, ShapesOutsideTheLimitsAreRefusedBeforeAnythingOpens) {
    // The last is larger than the file.
    const PassShape refused[] = {{3000, 8, false, 0},    {128 * MiB, 8, false, 0},
                                 {256, 8, false, 0},     {4 * KiB, 0, false, 0},
                                 {4 * KiB, 257, true, 0}, {8 * MiB, 1, false, 0}};
    for (const PassShape& shape : refused) {
        Start(4, 50);
        EXPECT_EQ(Run(4, shape), 0.0);
        EXPECT_EQ(errorText, L"Invalid pass shape");
        EXPECT_TRUE(Fake().opens.empty());
    }
    Start(4, 50);
    EXPECT_EQ(Run(0, WindowShape), 0.0);
    EXPECT_EQ(errorText, L"Invalid pass shape");
}

struct Distribution {
    const char* name;
    double (*draw)(uint64_t& state);
};

double Unit(uint64_t& state) {
    return static_cast<double>(NextRandom(state) >> 11) / 9007199254740992.0;
}

const Distribution Distributions[] = {
    {"uniform over nine decades", [](uint64_t& s) { return std::pow(10.0, 9.0 * Unit(s)); }},
    {"exponential around 80 us", [](uint64_t& s) { return -std::log(1.0 - Unit(s)) * 80'000.0; }},
    {"below 300 ticks", [](uint64_t& s) { return std::floor(300.0 * Unit(s)); }},
    {"a few slow among fast",
     [](uint64_t& s) { return Unit(s) < 0.002 ? 5e7 + 1e7 * Unit(s) : 20'000.0 + 500.0 * Unit(s); }},
};

TEST(LatencyHistogram, PercentilesWithinOnePercentOfTheSortedValues) {
    auto histogram = std::make_unique<LatencyHistogram>();
    for (const Distribution& distribution : Distributions) {
        SCOPED_TRACE(distribution.name);
        ClearLatencies(*histogram);
        uint64_t state = 42;
        std::vector<uint64_t> values(20'000);
        for (uint64_t& value : values) {
            value = static_cast<uint64_t>(distribution.draw(state));
            RecordLatency(*histogram, value);
        }
        std::sort(values.begin(), values.end());
        for (const double fraction : {0.0, 0.5, 0.9, 0.99, 0.999, 1.0}) {
            const auto rank = std::max<size_t>(1, static_cast<size_t>(std::ceil(fraction * values.size())));
            const double truth = static_cast<double>(values[rank - 1]);
            EXPECT_NEAR(static_cast<double>(LatencyAt(*histogram, fraction)), truth, truth * 0.01)
                << fraction;
        }
        // Ticks of a 1 MHz counter are microseconds.
        const LatencySummary summary = SummarizeLatencies(*histogram, 1'000'000);
        EXPECT_EQ(summary.max, static_cast<double>(values.back()));
        double sum = 0.0;
        for (const uint64_t value : values) sum += static_cast<double>(value);
        EXPECT_DOUBLE_EQ(summary.mean, sum / static_cast<double>(values.size()));
    }
}

// A figure of a tenth of a microsecond is that decimal's own double, so a
// JSON writer that prints the shortest form prints 3596.7; histograms of
// two threads merge as if one had recorded both.
TEST(LatencyHistogram, TenthsStayExactAndMergedHistogramsAddUp) {
    auto one = std::make_unique<LatencyHistogram>();
    auto other = std::make_unique<LatencyHistogram>();
    ClearLatencies(*one);
    ClearLatencies(*other);
    RecordLatency(*one, 35'967);
    EXPECT_EQ(SummarizeLatencies(*one, 10'000'000).max, 3596.7);
    RecordLatency(*other, 100);
    RecordLatency(*other, 50'000);
    MergeLatencies(*one, *other);
    EXPECT_EQ(one->total, 3u);
    EXPECT_EQ(one->max, 50'000u);
    EXPECT_EQ(LatencyAt(*one, 0.0), 100u);
    EXPECT_EQ(SummarizeLatencies(*one, 10'000'000).mean, 2868.9);
}

}  // namespace
