#include "cli/cli_options.h"
#include "cli/cli_text.h"
#include "cli/console_output.h"
#include "cli/event_queue.h"
#include "cli/stop_signals.h"
#include "engine/status_text.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

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
    EXPECT_FALSE(options.json);
    EXPECT_TRUE(options.folder.empty());
    ASSERT_TRUE(Parse({L"--json", L"/some/folder", L"--passes", L"1"}, options));
    EXPECT_TRUE(options.json);
    EXPECT_EQ(options.folder, L"/some/folder");
    EXPECT_EQ(options.passCount, 1);
}

std::vector<std::string> Options(const CliOptions& options) {
    std::vector<std::string> names;
    for (const Profile& profile : options.profiles) names.push_back(profile.option);
    return names;
}

TEST(CliOptions, ProfilesByNameInTheOrderGivenOrBySet) {
    CliOptions options;
    ASSERT_TRUE(Parse({}, options));
    EXPECT_EQ(Options(options), std::vector<std::string>{"SEQ1M-Q8T1"});
    ASSERT_TRUE(Parse({L"--profile", L"RND4K-Q1T1,seq128k q32t1,Rnd4kQ32T16"}, options));
    EXPECT_EQ(Options(options),
              (std::vector<std::string>{"RND4K-Q1T1", "SEQ128K-Q32T1", "RND4K-Q32T16"}));
    EXPECT_EQ(options.profiles[2].threads, 16);
    ASSERT_TRUE(Parse({L"--profile=all"}, options));
    EXPECT_EQ(Options(options), (std::vector<std::string>{"SEQ1M-Q8T1", "SEQ1M-Q1T1",
                                                          "RND4K-Q32T1", "RND4K-Q1T1"}));
    ASSERT_TRUE(Parse({L"--profile=NVMe"}, options));
    EXPECT_EQ(Options(options), (std::vector<std::string>{"SEQ1M-Q8T1", "SEQ128K-Q32T1",
                                                          "RND4K-Q32T16", "RND4K-Q1T1"}));
    std::wstring errorText;
    EXPECT_FALSE(ParseCliOptions({L"--profile", L"SEQ1M-Q8T1,RND4K-Q64T65"}, options, errorText));
    EXPECT_EQ(errorText.rfind(L"Unknown profile RND4K-Q64T65: a profile is SEQ or RND, ", 0), 0u)
        << Utf8FromWide(errorText);
    // Every option and both sets are in the help.
    for (const wchar_t* word : {L"--passes", L"--size", L"--profile", L"--seed", L"--json",
                                L"--help", L"--version", L"RND4K-Q32T16", L"nvme", L"all",
                                L"SEQ128K-Q32T1", L"64GiB"}) {
        EXPECT_NE(CliUsageText().find(word), std::wstring::npos) << word;
    }
}

// A given seed seeds every profile of the run; without one none is.
TEST(CliOptions, SeedSeedsEveryProfile) {
    CliOptions options;
    ASSERT_TRUE(Parse({L"--profile", L"all", L"--seed", L"9007199254740991"}, options));
    for (const Profile& profile : options.profiles) {
        EXPECT_TRUE(profile.seeded);
        EXPECT_EQ(profile.shape.seed, 9007199254740991u);
    }
    ASSERT_TRUE(Parse({L"--seed", L"0"}, options));
    EXPECT_TRUE(options.profiles[0].seeded);
    ASSERT_TRUE(Parse({}, options));
    EXPECT_FALSE(options.profiles[0].seeded);
    for (const wchar_t* bad : {L"9007199254740992", L"-1", L"01", L"1e3", L""}) {
        std::wstring errorText;
        EXPECT_FALSE(ParseCliOptions({L"--seed", bad}, options, errorText)) << bad;
    }
}

TEST(CliOptions, RejectsWhatIsOutOfRangeOrUnknown) {
    const std::vector<std::vector<std::wstring>> bad = {
        {L"--passes", L"0"}, {L"--passes", L"8"},     {L"--passes", L"-1"},    {L"--passes", L"07"},
        {L"--passes", L""},  {L"--passes", L"3x"},    {L"--passes"},           {L"--size"},
        {L"--size", L"1024MiB"}, {L"--size", L"2gib"}, {L"--size", L"128MiB"}, {L"--size", L"2 GiB"},
        {L"--verbose"},      {L"4", L"5"},            {L"--passes=4x"},        {L"--sizes=1GiB"},
        {L"-j"},             {L"--json=1"}};
    for (const auto& arguments : bad) {
        CliOptions options;
        std::wstring errorText;
        EXPECT_FALSE(ParseCliOptions(arguments, options, errorText)) << arguments.size();
        EXPECT_FALSE(errorText.empty());
    }
}

TEST(CliText, PassLinesCarryTheWindowsWordsSpeedLatencyAndTheDeviceShare) {
    PassRecord record;
    record.pass = 2;
    record.mbps = 1234.567;
    record.ms = 5000.0;
    record.requests = 1'506'554;
    record.latency.p50 = 105.204;
    record.latency.p99 = 230.1;
    EXPECT_EQ(PassLine(0, record, 4, WindowProfile),
              L"Read 2/4  1234.57 MB/s  p50 105.20 us  p99 230.10 us  device counters not available");
    record.deviceCounted = true;
    record.deviceShare = 0.99949;
    // Small requests are counted in IOPS too: 1,506,554 in 5 s.
    EXPECT_EQ(PassLine(1, record, 4, Profiles[2]),
              L"Write 2/4  1234.57 MB/s  301,311 IOPS  p50 105.20 us  p99 230.10 us  device 99.9%");
    record.deviceShare = 1.0;
    EXPECT_EQ(PassLine(0, record, 4, Profiles[1]),
              L"Read 2/4  1234.57 MB/s  p50 105.20 us  p99 230.10 us  device 100.0%");
}

// Each phase's best pass, by speed, with its own IOPS and p99; a phase
// without a pass shows dashes.
TEST(CliText, ProfileTableShowsTheBestPassOfEachPhase) {
    RunSummary random;
    random.profile = &Profiles[2];
    PassRecord slow;
    slow.mbps = 100.0;
    slow.ms = 1000.0;
    slow.requests = 24'414;
    slow.latency.p99 = 9.5;
    PassRecord fast = slow;
    fast.mbps = 200.0;
    fast.requests = 48'828;
    fast.latency.p99 = 7.25;
    random.read = {slow, fast, slow};
    const std::vector<std::wstring> lines = ProfileTableLines({random});
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"Profile          Threads Depth   Read MB/s    Read IOPS  Read p99 us  Write MB/s   Write IOPS Write p99 us");
    EXPECT_EQ(lines[1], L"RND4K Q32T1            1    32      200.00       48,828         7.25           -            -            -");
}

TEST(CliText, ProgressSaysStepSecondsLeftAndLastPass) {
    Progress progress;
    progress.step = PassStepText(0, 0, 4);
    EXPECT_EQ(ProgressText(progress), L"Read, warm-up");
    progress.step = PassStepText(1, 3, 4);
    progress.secondsLeft = 2.01;
    EXPECT_EQ(ProgressText(progress), L"Write, pass 3 of 4, 3 s left");
    progress.secondsLeft = 0.0;
    progress.haveLastPass = true;
    progress.lastPassMBps = 99.5;
    EXPECT_EQ(ProgressText(progress), L"Write, pass 3 of 4, 0 s left, last pass 99.50 MB/s");
}

TEST(CliText, OutcomeTextsAndExitCodes) {
    RunResult result;
    result.bestReadMBps = 1.0;
    EXPECT_EQ(OutcomeLine(result).text.rfind(CompletedStatusText, 0), 0u);
    EXPECT_FALSE(OutcomeLine(result).toStandardError);
    EXPECT_EQ(OutcomeExitCode(result, 0), 0);
    result.errorText = L"Unable to allocate pattern";
    EXPECT_EQ(OutcomeLine(result).text, L"Error: Unable to allocate pattern");
    EXPECT_TRUE(OutcomeLine(result).toStandardError);
    EXPECT_EQ(OutcomeExitCode(result, 0), 1);
    // A stop wins, though a stopped run never carries an error text.
    result.stopped = 1;
    EXPECT_EQ(OutcomeLine(result).text, L"Stopping benchmark...Benchmark stopped by user.");
    // As a shell reports the signal: the cause's number plus 128.
    const std::vector<std::pair<int, int>> codes = {
        {StopByInterrupt, 130}, {StopByTerminate, 143}, {StopByHangUp, 129}, {StopByBrokenPipe, 141}};
    for (const auto& [cause, code] : codes) EXPECT_EQ(OutcomeExitCode(result, cause), code);
}

// The worker posts while the main thread takes; under ThreadSanitizer this
// also proves the hand-over is clean.
TEST(EventQueue, EventsFromAnotherThreadArriveWholeAndInOrder) {
    ConsoleEvent event;
    EXPECT_FALSE(TakeConsoleEvent(event, 1));
    constexpr int64_t Count = 500;
    std::thread worker([] {
        for (int64_t n = 1; n <= Count; ++n) {
            ConsoleEvent posted{PassMeasuredEvent, n};
            posted.record.pass = n;
            posted.text = std::wstring(static_cast<size_t>(n % 40), L'x');
            PostConsoleEvent(std::move(posted));
        }
    });
    for (int64_t n = 1; n <= Count; ++n) {
        ASSERT_TRUE(TakeConsoleEvent(event, 10'000));
        EXPECT_EQ(event.data, n);
        EXPECT_EQ(event.record.pass, n);
        EXPECT_EQ(event.text.size(), static_cast<size_t>(n % 40));
    }
    worker.join();
    EXPECT_FALSE(TakeConsoleEvent(event, 1));
}

#ifdef _WIN32
// The console writes UTF-8 bytes. A console window shows them in its output
// code page (GetConsoleOutputCP), which starts as the OEM one (437, 850...),
// so a folder named "Données" would show garbled unless
// SetConsoleOutputCP(CP_UTF8) came before the first line. The code page
// belongs to the console, which outlives the process: the one it had comes
// back. Without a console (the tests under Wine) GetConsoleOutputCP answers
// 0 and there is nothing to see.
TEST(ConsoleCodePage, IsUtf8WhileTheProgramRunsAndComesBackAfter) {
    const UINT before = GetConsoleOutputCP();
    if (before == 0) GTEST_SKIP() << "no console";
    UseUtf8Console();
    EXPECT_EQ(GetConsoleOutputCP(), static_cast<UINT>(CP_UTF8));
    RestoreConsoleCodePage();
    EXPECT_EQ(GetConsoleOutputCP(), before);
}
#endif

}  // namespace
