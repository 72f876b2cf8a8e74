#include "cli/cli_options.h"
#include "cli/cli_sustained.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int64_t GiB = 1'073'741'824;

TEST(CliSustained, SizeIsWholeGibibytesOrAShareOfTheFreeSpace) {
    struct Case {
        std::vector<std::wstring> arguments;
        bool parsed;
        int64_t gib;
        int64_t percent;
    };
    const Case cases[] = {
        {{L"--sustained"}, true, 0, 0},
        {{L"--sustained", L"3GiB"}, true, 3, 0},
        {{L"--sustained=80%"}, true, 0, 80},
        {{L"--sustained", L"100%"}, true, 0, 100},
        {{L"/mnt/disk", L"--sustained", L"1000000GiB"}, true, 1000000, 0},
        {{L"--sustained", L"0GiB"}, false, 0, 0},
        {{L"--sustained", L"101%"}, false, 0, 0},
        {{L"--sustained", L"03GiB"}, false, 0, 0},
        {{L"--sustained", L"3gib"}, false, 0, 0},
        {{L"--sustained", L"2.5GiB"}, false, 0, 0},
        {{L"--sustained", L"1000001GiB"}, false, 0, 0},
        {{L"--sustained", L"%"}, false, 0, 0},
        {{L"--sustained", L"/mnt/disk"}, false, 0, 0},  // a value after it is its size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments.back());
        CliOptions options;
        std::wstring errorText;
        ASSERT_EQ(ParseCliOptions(c.arguments, options, errorText), c.parsed);
        if (!c.parsed) continue;
        EXPECT_TRUE(options.sustained);
        EXPECT_EQ(options.sustainedSize.gib, c.gib);
        EXPECT_EQ(options.sustainedSize.percent, c.percent);
    }
    CliOptions options;
    std::wstring errorText;
    ASSERT_TRUE(ParseCliOptions({L"--passes", L"2"}, options, errorText));
    EXPECT_FALSE(options.sustained);
}

TEST(CliSustained, ProgressGivesTheTimeLeftAtTheLastFiveSecondsSpeedAfterTenSeconds) {
    std::vector<TracePoint> trace;
    // 200 MB/s for 6 s, then 100 MB/s.
    int64_t bytes = 0;
    for (int n = 1; n <= 24; ++n) {
        bytes += n <= 12 ? 100'000'000 : 50'000'000;
        trace.push_back({n * 0.5, bytes, 0.0, -1});
        const std::wstring text = SustainedProgressText(trace, 3 * GiB);
        if (n == 19) {
            EXPECT_EQ(text, L"Written 1.44 of 3.00 GiB, 130.00 MB/s");
        } else if (n == 20) {
            EXPECT_EQ(text, L"Written 1.49 of 3.00 GiB, 120.00 MB/s, about 14 s left");
        }
    }
    EXPECT_EQ(SustainedProgressText(trace, 3 * GiB),
              L"Written 1.68 of 3.00 GiB, 100.00 MB/s, about 14 s left");
    EXPECT_EQ(SustainedProgressText({}, 3 * GiB), L"Written 0.00 of 3.00 GiB, 0.00 MB/s");
}

}  // namespace
