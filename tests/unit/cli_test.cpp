#include "cli/cli_events.h"
#include "cli/cli_options.h"
#include "engine/status_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

bool Parse(const std::vector<std::wstring>& arguments, CliOptions& options) {
    std::wstring errorText;
    const bool parsed = ParseCliOptions(arguments, options, errorText);
    EXPECT_EQ(parsed, errorText.empty());
    return parsed;
}

TEST(CliOptions, DefaultsAndEveryAcceptedValue) {
    CliOptions options;
    ASSERT_TRUE(Parse({}, options));
    EXPECT_EQ(options.passCount, 4);
    EXPECT_EQ(options.testSizeMiB, 2048);
    EXPECT_FALSE(options.help);
    for (int64_t n = 1; n <= 7; ++n) {
        ASSERT_TRUE(Parse({L"--passes", std::to_wstring(n)}, options));
        EXPECT_EQ(options.passCount, n);
    }
    const std::vector<std::pair<std::wstring, int64_t>> sizes = {
        {L"256MiB", 256}, {L"512MiB", 512},   {L"1GiB", 1024},   {L"2GiB", 2048},  {L"4GiB", 4096},
        {L"8GiB", 8192},  {L"16GiB", 16384}, {L"32GiB", 32768}, {L"64GiB", 65536}};
    for (const auto& size : sizes) {
        ASSERT_TRUE(Parse({L"--size", size.first}, options));
        EXPECT_EQ(options.testSizeMiB, size.second);
    }
    ASSERT_TRUE(Parse({L"--size=1GiB", L"--passes=2"}, options));
    EXPECT_EQ(options.testSizeMiB, 1024);
    EXPECT_EQ(options.passCount, 2);
    ASSERT_TRUE(Parse({L"--help"}, options));
    EXPECT_TRUE(options.help);
    ASSERT_TRUE(Parse({L"--version"}, options));
    EXPECT_TRUE(options.version);
}

TEST(CliOptions, RejectsWhatIsOutOfRangeOrUnknown) {
    const std::vector<std::vector<std::wstring>> bad = {
        {L"--passes", L"0"}, {L"--passes", L"8"},     {L"--passes", L"-1"},    {L"--passes", L"07"},
        {L"--passes", L""},  {L"--passes", L"3x"},    {L"--passes"},           {L"--size"},
        {L"--size", L"1024MiB"}, {L"--size", L"2gib"}, {L"--size", L"128MiB"}, {L"--size", L"2 GiB"},
        {L"--verbose"},      {L"4"},                  {L"--passes=", L"4"},    {L"--sizes=1GiB"}};
    for (const auto& arguments : bad) {
        CliOptions options;
        std::wstring errorText;
        EXPECT_FALSE(ParseCliOptions(arguments, options, errorText)) << arguments.size();
        EXPECT_FALSE(errorText.empty());
    }
}

TEST(CliEvents, LinesCarryTheWindowsWordsAndThePhaseSpeed) {
    RunRecord run;
    run.passCount = 4;
    run.liveReadMBps = 1234.567;
    run.liveWriteMBps = 99.5;
    run.livePhase = 1;
    run.livePass = 2;
    EXPECT_EQ(EventLine(PassDoneEvent, 0, run).text, L"Read 2/4  1234.57 MB/s");
    run.livePhase = 2;
    run.livePass = 4;
    EXPECT_EQ(EventLine(PassDoneEvent, 0, run).text, L"Write 4/4  99.50 MB/s");
    run.livePhase = 0;
    EXPECT_EQ(EventLine(PassDoneEvent, 0, run).text, L"");
    EXPECT_EQ(EventLine(CountdownEvent, 5, run).text, L"Read Completed. Writing between 5 seconds...");
    EXPECT_EQ(EventLine(CountdownEvent, 0, run).text, L"Preparing write test...");
    EXPECT_EQ(EventLine(RunFinishedEvent, 0, run).text, L"");
}

TEST(CliEvents, OutcomeTextsAndExitCodes) {
    RunResult result;
    result.bestReadMBps = 1.0;
    EXPECT_EQ(OutcomeLine(result).text.rfind(CompletedStatusText, 0), 0u);
    EXPECT_FALSE(OutcomeLine(result).toStandardError);
    EXPECT_EQ(OutcomeExitCode(result), 0);
    result.errorText = L"Unable to allocate pattern";
    EXPECT_EQ(OutcomeLine(result).text, L"Error: Unable to allocate pattern");
    EXPECT_TRUE(OutcomeLine(result).toStandardError);
    EXPECT_EQ(OutcomeExitCode(result), 1);
    // A stop wins, though a stopped run never carries an error text.
    result.stopped = 1;
    EXPECT_EQ(OutcomeLine(result).text, L"Stopping benchmark...Benchmark stopped by user.");
    EXPECT_EQ(OutcomeExitCode(result), 130);
}

}  // namespace
