#include "engine/benchmark_run.h"
#include "engine/run_names.h"
#include "engine/run_objects.h"
#include "engine/volume_limits.h"
#include "engine/write_depth.h"
#include "platform/text.h"
#include "report/report.h"
#include "tests/fake/fake_checks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

const std::wstring Tag = L"0001A2F0";  // the fake's tick count

// What the run told its front-end, with the passes and pauses between.
std::vector<std::string> Trace;
std::vector<std::wstring> Boxes;
std::vector<double> LiveSpeeds;
RunRecord Shared;

void Record(int64_t event, int64_t data) {
    if (event == PassDoneEvent) {
        Trace.push_back(Shared.livePhase == 1 ? "read " + std::to_string(Shared.livePass)
                                           : "write " + std::to_string(Shared.livePass));
        LiveSpeeds.push_back(Shared.livePhase == 1 ? Shared.liveReadMBps : Shared.liveWriteMBps);
    } else if (event == CountdownEvent) {
        Trace.push_back("countdown " + std::to_string(data));
    } else if (event == RunFinishedEvent) {
        Trace.push_back("finished");
    } else {
        Trace.push_back("event " + std::to_string(event));
    }
}

void ShowBox(const std::wstring& message) {
    Boxes.push_back(message);
}

const RunEventSink Sink = {Record, ShowBox};

// Consecutive pauses are folded into one "sleep x" entry.
void NoteSleep() {
    if (!Trace.empty() && Trace.back().rfind("sleep ", 0) == 0) {
        Trace.back() = "sleep " + std::to_string(std::stoi(Trace.back().substr(6)) + 1);
    } else {
        Trace.push_back("sleep 1");
    }
}

class BenchmarkRun : public ::testing::Test {
protected:
    void SetUp() override {
        InstallFake();
        StopRequested.store(0);
        ResetReportWriter();
        Trace.clear();
        Boxes.clear();
        LiveSpeeds.clear();
        folder = FakePath(L"");
        temporaryFolder = FakePath(L"corvastatmp" + Tag);
        testFile = JoinPath(temporaryFolder, L"corvastatmp" + Tag + L".tmp");
        Fake().beforeCall = [this](const std::string& call, int count) { Observe(call, count); };
    }

    void TearDown() override {
        EXPECT_FALSE(FakeExists(temporaryFolder));
        EXPECT_FALSE(FakeExists(testFile));
        if (!markerHeld) {
            EXPECT_FALSE(FakeExists(FakePath(RecoveryMarkerName)));
        }
        ExpectNothingLeftOpen();
        StopRequested.store(0);
        RemoveFake();
    }

    // Each pass opens one completion port, so its count numbers the passes.
    void Observe(const std::string& call, int count) {
        if (hook) hook(call, count);
        if (call == "CreateIoCompletionPort") {
            Trace.push_back("pass");
            auto speed = passTicks.find(count);
            Fake().ticksPerRead = speed == passTicks.end() ? 1'000'000 : speed->second;
        } else if (call == "Sleep") {
            NoteSleep();
        }
    }

    bool Start(int64_t passCount, const std::wstring& benchmarkFolder = L"") {
        Shared = RunRecord{};
        Shared.passCount = passCount;
        const bool completed = RunBenchmark(benchmarkFolder.empty() ? folder : benchmarkFolder,
                                            passCount, 2, Shared.result, Shared.liveReadMBps,
                                            Shared.liveWriteMBps, Shared.livePhase, Shared.livePass, Sink);
        Record(RunFinishedEvent, 0);
        return completed;
    }

    bool ReportExists() const { return !ReportPath.empty() && FakeExists(ReportPath); }

    std::wstring folder;
    std::wstring temporaryFolder;
    std::wstring testFile;
    bool markerHeld = false;
    // Counter ticks per clock read for a pass: fewer ticks, a faster pass.
    std::map<int, int64_t> passTicks;
    std::function<void(const std::string&, int)> hook;
};

TEST_F(BenchmarkRun, OnePassPerPhaseRunsWarmUpPauseAndOneCountedPass) {
    EXPECT_TRUE(Start(1));
    const std::vector<std::string> expected = {
        "pass", "sleep 32", "pass", "read 1",
        "countdown 5", "sleep 20", "countdown 4", "sleep 20", "countdown 3", "sleep 20",
        "countdown 2", "sleep 20", "countdown 1", "sleep 20", "countdown 0",
        "pass", "sleep 32", "pass", "write 1", "finished"};
    EXPECT_EQ(Trace, expected);
    EXPECT_EQ(Fake().sleptMs, 2 * 1600 + 5 * 1000);
    EXPECT_TRUE(ReportExists());
    EXPECT_EQ(Shared.result.errorText, L"");
    EXPECT_EQ(Shared.result.stopped, 0);
}

TEST_F(BenchmarkRun, ThreePassesPauseBetweenCountedPassesButNotAfterTheLast) {
    EXPECT_TRUE(Start(3));
    const std::vector<std::string> expected = {
        "pass", "sleep 32", "pass", "read 1", "sleep 32", "pass", "read 2", "sleep 32", "pass",
        "read 3", "countdown 5", "sleep 20", "countdown 4", "sleep 20", "countdown 3", "sleep 20",
        "countdown 2", "sleep 20", "countdown 1", "sleep 20", "countdown 0", "pass", "sleep 32",
        "pass", "write 1", "sleep 32", "pass", "write 2", "sleep 32", "pass", "write 3", "finished"};
    EXPECT_EQ(Trace, expected);
    EXPECT_EQ(Shared.livePhase, 2);
    EXPECT_EQ(Shared.livePass, 3);
}

TEST_F(BenchmarkRun, BestIgnoresTheWarmUpAndLiveWriteIsTheLastPass) {
    // Passes: 1 read warm-up, 2-3 read, 4 write warm-up, 5-6 write.
    passTicks = {{1, 50'000}, {2, 500'000}, {3, 1'000'000}, {4, 50'000}, {5, 500'000}, {6, 1'000'000}};
    EXPECT_TRUE(Start(2));
    ASSERT_EQ(LiveSpeeds.size(), 4u);
    const double fastRead = LiveSpeeds[0];
    const double fastWrite = LiveSpeeds[2];
    const double slowWrite = LiveSpeeds[3];
    EXPECT_GT(fastWrite, 1.5 * slowWrite);
    // The read display keeps the best so far; the write display the latest.
    EXPECT_DOUBLE_EQ(LiveSpeeds[1], fastRead);
    EXPECT_DOUBLE_EQ(Shared.result.bestReadMBps, fastRead);
    EXPECT_DOUBLE_EQ(Shared.result.bestWriteMBps, fastWrite);
    EXPECT_DOUBLE_EQ(Shared.liveWriteMBps, slowWrite);
    // The warm-ups ran ten times faster than any counted pass.
    EXPECT_LT(Shared.result.bestReadMBps, 5 * slowWrite);
    EXPECT_LT(Shared.result.bestWriteMBps, 5 * slowWrite);
}

TEST_F(BenchmarkRun, StopDuringTheCountdownEndsBeforeTheLastCountdownEvent) {
    hook = [](const std::string&, int) {
        if (!Trace.empty() && Trace.back() == "countdown 3") StopRequested.store(1);
    };
    EXPECT_FALSE(Start(1));
    EXPECT_EQ(Shared.result.stopped, 1);
    EXPECT_EQ(Shared.result.errorText, L"");
    const std::vector<std::string> tail(Trace.end() - 3, Trace.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"countdown 3", "sleep 1", "finished"}));
    EXPECT_FALSE(ReportExists());
}

TEST_F(BenchmarkRun, StopWinsOverAnErrorOfTheSamePass) {
    hook = [](const std::string& call, int) {
        const bool inFirstCountedPass = Fake().callCounts["CreateIoCompletionPort"] == 2;
        if (call == "GetQueuedCompletionStatus" && inFirstCountedPass && StopRequested.load() == 0) {
            StopRequested.store(1);
            FailCall("Completion", ERROR_IO_DEVICE);
        }
    };
    EXPECT_FALSE(Start(2));
    EXPECT_EQ(Shared.result.stopped, 1);
    EXPECT_EQ(Shared.result.errorText, L"");
    EXPECT_EQ(Trace, (std::vector<std::string>{"pass", "sleep 32", "pass", "finished"}));
    EXPECT_FALSE(ReportExists());
}

TEST_F(BenchmarkRun, PassErrorInTheReadPhaseSkipsCountdownAndWritePhase) {
    hook = [](const std::string& call, int) {
        if (call == "CreateIoCompletionPort" && Fake().callCounts[call] == 3) {
            FailCall("Completion", ERROR_IO_DEVICE);
        }
    };
    EXPECT_FALSE(Start(3));
    EXPECT_EQ(Shared.result.stopped, 0);
    EXPECT_NE(Shared.result.errorText.find(L"(Windows Error 1117)"), std::wstring::npos)
        << Utf8FromWide(Shared.result.errorText);
    EXPECT_EQ(Trace, (std::vector<std::string>{"pass", "sleep 32", "pass", "read 1", "sleep 32",
                                               "pass", "finished"}));
    const std::string page = FakeFileBytes(ReportPath);
    EXPECT_NE(page.find("<h2>ERROR</h2>"), std::string::npos);
    EXPECT_NE(page.find("<b>PASS 1</b>"), std::string::npos);
    EXPECT_EQ(page.find("WRITE TEST"), std::string::npos);
}

bool OpenedToChange(const std::wstring& prefix) {
    return std::any_of(Fake().opens.begin(), Fake().opens.end(), [&](const FakeOpen& open) {
        return open.path.rfind(prefix, 0) == 0 && (open.access & (GENERIC_WRITE | DELETE)) != 0;
    });
}

// Whatever holds the name already is someone else's: it is neither used,
// followed nor deleted, and the run takes the next tag.
TEST_F(BenchmarkRun, TakenFolderNameMovesTheRunToTheNextTag) {
    const std::wstring elsewhere = Fake().currentDirectory + L"-elsewhere";
    AddFakeFile(JoinPath(elsewhere, L"corvastatmp" + Tag + L".tmp"), "lookalike");
    const std::wstring taken = temporaryFolder;
    temporaryFolder = FakePath(L"corvastatmp0001A2F1");
    testFile = JoinPath(temporaryFolder, L"corvastatmp0001A2F1.tmp");
    for (const std::string occupant : {"folder", "file", "link"}) {
        SCOPED_TRACE(occupant);
        Fake().opens.clear();
        if (occupant == "folder") AddFakeFile(JoinPath(taken, L"stale.tmp"), "old");
        if (occupant == "file") AddFakeFile(taken, "someone else's");
        if (occupant == "link") AddFakeLink(taken, elsewhere);
        const auto before = Fake().nodes;
        EXPECT_TRUE(Start(1));
        EXPECT_TRUE(std::any_of(Fake().opens.begin(), Fake().opens.end(), [&](const FakeOpen& open) {
            return open.path == testFile && open.disposition == CREATE_NEW;
        }));
        EXPECT_FALSE(OpenedToChange(taken));
        EXPECT_FALSE(OpenedToChange(elsewhere));
        for (const auto& [path, node] : before) {
            EXPECT_TRUE(FakeExists(path)) << Utf8FromWide(path);
            EXPECT_EQ(FakeFileBytes(path), node.bytes) << Utf8FromWide(path);
        }
        Fake().nodes.erase(JoinPath(taken, L"stale.tmp"));
        Fake().nodes.erase(taken);
    }
}

// Between two passes, or before the end, the test file's name is made to
// lead elsewhere. The run ends with the error before it writes or deletes
// anything through that name, and what was put there stays as it was; the
// folder stays named in the marker, alone, for the next start. A file with
// the test file's index on another volume is another file; so is one whose
// 128-bit id (ReFS) differs only beyond the 64 bits of the index, where the
// file system tells FileIdInfo, and the 32-bit serial tells volumes apart
// where it does not (FAT).
TEST_F(BenchmarkRun, SwappedTestFileEndsTheRunAndIsLeftAlone) {
    const std::wstring elsewhere = Fake().currentDirectory + L"-elsewhere";
    const std::wstring victim = JoinPath(elsewhere, L"corvastatmp" + Tag + L".tmp");
    FakeNode original;
    const auto sameIndex = [&](uint64_t volume, uint64_t idHigh) {
        FakeNode twin = original;
        twin.volume = volume;
        twin.fileIdHigh = idHigh;
        twin.bytes = "swapped in";
        Fake().nodes[testFile] = twin;
    };
    const std::map<std::string, std::function<void()>> swaps = {
        {"a link to another file", [&] { AddFakeFileLink(testFile, victim); }},
        {"another file", [&] { AddFakeFile(testFile, "swapped in"); }},
        {"a linked folder", [&] {
             Fake().nodes.erase(temporaryFolder);
             AddFakeLink(temporaryFolder, elsewhere);
         }},
        {"its index on another volume", [&] { sameIndex(FakeVolumeSerial + 1, 0); }},
        {"its index on another volume, without FileIdInfo", [&] { sameIndex(FakeVolumeSerial + 1, 0); }},
        {"its index with another 128-bit id", [&] { sameIndex(FakeVolumeSerial, 1); }},
    };
    for (const std::string when : {"between read passes", "before the end"}) {
        for (const auto& [how, swap] : swaps) {
            SCOPED_TRACE(how + " " + when);
            Fake().fileIdInfo = how.find("without FileIdInfo") == std::string::npos;
            AddFakeFile(victim, "victim");
            Trace.clear();
            Fake().opens.clear();
            bool swapped = false;
            hook = [&, when](const std::string& call, int) {
                if (Trace.empty()) return;
                const bool due = when == "between read passes"
                                     ? call == "Sleep" && Trace.back() == "read 1"
                                     : call == "CreateFileW" && Trace.back() == "write 2";
                if (due && !swapped) {
                    original = Fake().nodes[testFile];
                    Fake().nodes.erase(testFile);
                    swap();
                }
                swapped = swapped || due;
            };
            EXPECT_FALSE(Start(2));
            EXPECT_EQ(Shared.result.errorText, ReplacedText);
            EXPECT_NE(FakeFileBytes(ReportPath).find("<h2>ERROR</h2>"), std::string::npos);
            EXPECT_EQ(FakeFileBytes(victim), "victim");
            EXPECT_FALSE(OpenedToChange(victim));
            if (how != "a linked folder" && how != "a link to another file") {
                EXPECT_EQ(FakeFileBytes(testFile), "swapped in");
            }
            EXPECT_EQ(FakeExists(testFile), how != "a linked folder");
            EXPECT_TRUE(FakeExists(temporaryFolder));
            EXPECT_EQ(FakeFileBytes(FakePath(RecoveryMarkerName)),
                      Utf8FromWide(temporaryFolder + L"\r\n\r\n"));
            // The next start removes the folder with what was put in it, and
            // never what a link put in its place leads to.
            RecoverCrashedRun();
            EXPECT_EQ(FakeFileBytes(victim), "victim");
            if (how != "a linked folder") {
                EXPECT_FALSE(FakeExists(temporaryFolder));
            }
            Fake().nodes.erase(FakePath(RecoveryMarkerName));
            Fake().nodes.erase(testFile);
            Fake().nodes.erase(temporaryFolder);
            hook = nullptr;
        }
    }
}

// Another program holds the test file past the end of the run: the folder
// cannot go, so the marker stays, naming it alone, for the next start.
// A scanner opens the test file during the run and keeps it past the end.
// Where the file system deletes with POSIX semantics the name goes at once
// and so does the folder; on FAT the folder waits for the next start.
TEST_F(BenchmarkRun, AScannersHoldDelaysTheFolderOnlyWithoutPosixDeletion) {
    for (const bool posix : {true, false}) {
        SCOPED_TRACE(posix);
        Fake().posixDeleteSupported = posix;
        HANDLE scanner = INVALID_HANDLE_VALUE;
        bool opened = false;
        hook = [&](const std::string& call, int) {
            if (call == "CreateFileW" && !Trace.empty() && Trace.back() == "write 1" && !opened) {
                opened = true;
                scanner = Platform.CreateFileW(testFile.c_str(), GENERIC_READ,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, 0, nullptr);
            }
        };
        EXPECT_TRUE(Start(1));
        const std::wstring marker = FakePath(RecoveryMarkerName);
        EXPECT_EQ(FakeExists(temporaryFolder), !posix);
        EXPECT_EQ(FakeFileBytes(marker), posix ? "" : Utf8FromWide(temporaryFolder + L"\r\n\r\n"));
        Platform.CloseHandle(scanner);
        hook = nullptr;
        RecoverCrashedRun();
        EXPECT_FALSE(FakeExists(temporaryFolder));
        EXPECT_TRUE(ReportExists());
        Trace.clear();
    }
}

TEST_F(BenchmarkRun, TemporaryFolderHasOneSeparatorWhateverTheFolderEndsWith) {
    const std::wstring bare = Fake().currentDirectory;
    const std::wstring separator(1, PathSeparator);
    for (const std::wstring& given : {bare, bare + separator, bare + separator + separator + separator}) {
        std::string marker;
        hook = [&marker](const std::string& call, int count) {
            if (call == "VirtualAlloc" && count == 1) marker = FakeFileBytes(FakePath(RecoveryMarkerName));
        };
        Fake().callCounts.clear();
        EXPECT_TRUE(Start(1, given)) << Utf8FromWide(given);
        const std::string expected =
            Utf8FromWide(bare + separator + L"corvastatmp" + Tag + L"\r\n" + ReportPath + L"\r\n");
        EXPECT_EQ(marker, expected) << Utf8FromWide(given);
    }
}

TEST_F(BenchmarkRun, MarkerThatCannotBeCreatedNeitherStopsTheRunNorIsDeleted) {
    markerHeld = true;
    const std::wstring marker = FakePath(RecoveryMarkerName);
    AddFakeFile(marker, "read-only");
    FailCall("CreateFileW", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Start(1));
    EXPECT_EQ(FakeFileBytes(marker), "read-only");
}

// The marker is open without sharing from before the report to the end, so
// another process's start can neither read it nor take it, and its recovery
// leaves this run alone wherever the run is.
TEST_F(BenchmarkRun, MarkerIsHeldFlushedAndEmptiedBeforeItGoes) {
    const std::wstring marker = FakePath(RecoveryMarkerName);
    std::vector<std::string> refused;
    std::string markerAtDeletion = "not deleted";
    hook = [&](const std::string& call, int count) {
        const bool inPass = call == "GetQueuedCompletionStatus" && count % 40 == 1;
        const bool inPause = call == "Sleep" && count % 10 == 1;
        if (inPass || inPause) {
            RecoverCrashedRun();
            const HANDLE other = Platform.CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr,
                                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (other != INVALID_HANDLE_VALUE) Platform.CloseHandle(other);
            refused.push_back(other == INVALID_HANDLE_VALUE && Platform.GetLastError() == ERROR_SHARING_VIOLATION
                                  ? "refused" : "opened");
        }
        if (call == "DeleteFileW" && FakeExists(marker)) markerAtDeletion = FakeFileBytes(marker);
    };
    EXPECT_TRUE(Start(1));
    EXPECT_TRUE(ReportExists());
    EXPECT_GT(refused.size(), 10u);
    EXPECT_EQ(std::count(refused.begin(), refused.end(), "opened"), 0);
    EXPECT_EQ(markerAtDeletion, "");
    const std::vector<std::string>& log = Fake().log;
    const auto claim = std::find(log.begin(), log.end(), "CreateFileW " + Utf8FromWide(marker));
    const auto report = std::find(log.begin(), log.end(), "CreateFileW " + Utf8FromWide(ReportPath));
    const auto flush = std::find(log.begin(), log.end(), "FlushFileBuffers " + Utf8FromWide(marker));
    const auto preparation = std::find(log.begin(), log.end(), "CreateFileW " + Utf8FromWide(testFile));
    EXPECT_LT(claim, report);
    EXPECT_LT(flush, preparation);
}

// Another process's live run holds the marker: this start ends before it
// opens a report, and touches nothing of that run.
TEST_F(BenchmarkRun, AnotherLiveRunInTheFolderEndsThisOneAtOnce) {
    markerHeld = true;
    const std::wstring marker = FakePath(RecoveryMarkerName);
    const std::wstring otherReport = FakePath(L"corvasta_07122026153045_SEQ1MQ8T1_256MiB.html");
    AddFakeFile(JoinPath(FakePath(L"corvastatmp00000001"), L"corvastatmp00000001.tmp"), "data");
    AddFakeFile(otherReport, "<html");
    const HANDLE other = Platform.CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    const std::string markerBytes = Utf8FromWide(FakePath(L"corvastatmp00000001") + L"\r\n" + otherReport + L"\r\n");
    DWORD written = 0;
    Platform.WriteFile(other, markerBytes.data(), static_cast<DWORD>(markerBytes.size()), &written, nullptr);
    const auto before = Fake().nodes;
    RecoverCrashedRun();
    EXPECT_FALSE(Start(1));
    EXPECT_EQ(Shared.result.errorText, AnotherRunText);
    EXPECT_EQ(Trace, std::vector<std::string>{"finished"});
    EXPECT_TRUE(Boxes.empty());
    EXPECT_EQ(Fake().nodes.size(), before.size());
    for (const auto& [path, node] : before) EXPECT_EQ(FakeFileBytes(path), node.bytes) << Utf8FromWide(path);
    Platform.CloseHandle(other);
}

TEST_F(BenchmarkRun, UnreadableCurrentDirectoryIsNotTakenForTheRoot) {
    FailCall("GetCurrentDirectoryW", ERROR_FILE_NOT_FOUND);
    const std::wstring unreadable = BenchmarkFolder();
    EXPECT_EQ(unreadable, L"");
    const auto before = Fake().nodes;
    Shared = RunRecord{};
    EXPECT_FALSE(RunBenchmark(unreadable, 1, 2, Shared.result, Shared.liveReadMBps, Shared.liveWriteMBps,
                              Shared.livePhase, Shared.livePass, Sink));
    EXPECT_EQ(Shared.result.errorText, UnreadableFolderText);
    EXPECT_EQ(Fake().nodes.size(), before.size());
    EXPECT_TRUE(Boxes.empty());
}

TEST_F(BenchmarkRun, ReportThatCannotBeCreatedShowsOneBoxAndTheRunCompletes) {
    FailCall("CreateFileW", ERROR_ACCESS_DENIED);
    FailCall("CreateFileW", ERROR_ACCESS_DENIED);
    EXPECT_TRUE(Start(1));
    ASSERT_EQ(Boxes.size(), 1u);
    EXPECT_EQ(Boxes[0], ReportCreationFailedText(folder, ERROR_ACCESS_DENIED));
    EXPECT_FALSE(ReportExists());
    EXPECT_EQ(Trace.back(), "finished");
    EXPECT_GT(Shared.result.bestWriteMBps, 0.0);
}

// The report's and the marker's names are known in advance; whoever can
// write in the folder may plant a link or a hard link there first.
TEST_F(BenchmarkRun, NamesPlantedForTheReportAndMarkerAreNeverWrittenThrough) {
    ASSERT_TRUE(Start(1));  // the fake's clock gives every run the same report name
    const std::wstring planted[] = {ReportPath, FakePath(RecoveryMarkerName)};
    const std::wstring precious = JoinPath(FakePath(L"elsewhere"), L"precious");
    markerHeld = true;  // the planted marker name stays
    for (const bool hard : {false, true}) {
        SCOPED_TRACE(hard ? "hard link" : "symbolic link");
        Boxes.clear();
        AddFakeFile(precious, "precious");
        for (const std::wstring& name : planted) {
            Fake().nodes.erase(name);
            hard ? AddFakeHardLink(name, precious) : AddFakeFileLink(name, precious);
        }
        EXPECT_TRUE(Start(1));
        EXPECT_EQ(Boxes, std::vector<std::wstring>{ReportCreationFailedText(folder, ERROR_ACCESS_DENIED)});
        EXPECT_EQ(FakeFileBytes(precious), "precious");
        for (const std::wstring& name : planted) {
            EXPECT_TRUE(FakeExists(name));
            if (hard) {
                EXPECT_EQ(FakeFileBytes(name), "precious");
            }
        }
    }
}

TEST_F(BenchmarkRun, EarlyFailuresStillEndCleanly) {
    struct Case {
        const char* call;
        std::wstring text;
    };
    // The disk-full case first: a report left by an earlier case is emptied
    // with SetEndOfFile, which would take its failure.
    for (const Case& failure : {Case{"SetEndOfFile", L"Unable to set file size (Windows Error 112)"},
                                Case{"VirtualAlloc", L"Unable to allocate pattern"}}) {
        SCOPED_TRACE(failure.call);
        Fake().failures.clear();
        FailCall(failure.call, ERROR_DISK_FULL);
        EXPECT_FALSE(Start(1));
        EXPECT_EQ(Shared.result.errorText, failure.text);
        EXPECT_NE(FakeFileBytes(ReportPath).find("<h2>ERROR</h2>"), std::string::npos);
        EXPECT_FALSE(FakeExists(FakePath(RecoveryMarkerName)));
    }
}

// Windows names the file system of the folder's volume; FAT keeps every file
// under 4 GiB, so a bigger test file is refused before anything exists.
TEST_F(BenchmarkRun, TestSizeTheFileSystemCannotHoldIsRefusedBeforeAnythingExists) {
    const std::wstring volume = L"\\\\?\\Volume{fa7fa7fa-0000-0000-0000-100000000000}";
    Fake().volumeMounts[Fake().currentDirectory] = volume;
    struct Case {
        std::wstring fileSystem;
        int64_t testSizeMiB;
        bool refused;
    };
    for (const Case& c : {Case{L"FAT32", 4096, true}, Case{L"FAT", 65536, true}, Case{L"vfat", 8192, true},
                          Case{L"FAT32", 2048, false}, Case{L"exFAT", 65536, false}, Case{L"NTFS", 4096, false}}) {
        Fake().fileSystems[volume + L"\\"] = c.fileSystem;
        const std::wstring refusal = L"The file system (" + c.fileSystem + L") cannot hold a test file of 4 GiB or more";
        EXPECT_EQ(TestSizeRefusal(folder, c.testSizeMiB), c.refused ? refusal : L"") << c.testSizeMiB;
    }
    Fake().fileSystems[volume + L"\\"] = L"FAT32";
    const auto before = Fake().nodes;
    Shared = RunRecord{};
    EXPECT_FALSE(RunBenchmark(folder, 1, 4096, Shared.result, Shared.liveReadMBps, Shared.liveWriteMBps,
                              Shared.livePhase, Shared.livePass, Sink));
    EXPECT_EQ(Shared.result.errorText, L"The file system (FAT32) cannot hold a test file of 4 GiB or more");
    // No report, marker or folder: nothing at all was made.
    EXPECT_EQ(Fake().nodes.size(), before.size());
}

TEST_F(BenchmarkRun, StopDuringPreparationIsAStopNotAnError) {
    hook = [](const std::string& call, int count) {
        if (call == "SetEndOfFile" && count == 1) StopRequested.store(1);
    };
    EXPECT_FALSE(Start(1));
    EXPECT_EQ(Shared.result.stopped, 1);
    EXPECT_EQ(Shared.result.errorText, L"");
    EXPECT_FALSE(ReportExists());
}

TEST_F(BenchmarkRun, ThreadPostsRunFinishedOnceAfterTheRun) {
    CurrentRun = RunRecord{};
    CurrentRun.folder = folder;
    CurrentRun.passCount = 1;
    CurrentRun.testSizeMiB = 1;
    FailCall("VirtualAlloc", ERROR_NOT_ENOUGH_MEMORY);
    static int finishedCount;
    finishedCount = 0;
    const RunEventSink counting = {[](int64_t event, int64_t) { finishedCount += event == RunFinishedEvent; },
                                   ShowBox};
    BenchmarkThread(counting);
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(CurrentRun.result.errorText, L"Unable to allocate pattern");
}

TEST(WaitUnlessStopped, SleepsInFiftyMillisecondSlicesUntilAStop) {
    InstallFake();
    StopRequested.store(0);
    EXPECT_TRUE(WaitUnlessStopped(1600));
    EXPECT_EQ(Fake().callCounts["Sleep"], 32);
    EXPECT_TRUE(WaitUnlessStopped(1));
    EXPECT_EQ(Fake().callCounts["Sleep"], 33);
    EXPECT_TRUE(WaitUnlessStopped(0));
    EXPECT_EQ(Fake().callCounts["Sleep"], 33);
    // Once for the whole process, whichever test waited first.
    EXPECT_EQ(ProcessTimerPeriodCalls(), 1);
    Fake().beforeCall = [](const std::string& call, int count) {
        if (call == "Sleep" && count == 38) StopRequested.store(1);
    };
    EXPECT_FALSE(WaitUnlessStopped(1000));
    EXPECT_EQ(Fake().callCounts["Sleep"], 38);
    EXPECT_FALSE(WaitUnlessStopped(1000));
    EXPECT_EQ(Fake().callCounts["Sleep"], 38);
    StopRequested.store(0);
    RemoveFake();
}

TEST(RunNames, TagIsEightUpperCaseHexDigits) {
    EXPECT_EQ(RunTag(0x0001A2F0), L"0001A2F0");
    EXPECT_EQ(RunTag(0), L"00000000");
    EXPECT_EQ(RunTag(0xDEADBEEF), L"DEADBEEF");
}

}  // namespace

// Files-On-Demand (cloud) folders turn what is made in them into
// placeholders: reparse points whose tag is no name surrogate
// (IsReparseTagNameSurrogate of the tag that
// GetFileInformationByHandleEx(FileAttributeTagInfo) reads is false). They
// are the objects themselves, so the run goes on and removes them.
TEST_F(BenchmarkRun, CloudPlaceholdersAreTheRunsOwnObjects) {
    hook = [&](const std::string& call, int count) {
        if (call != "CreateIoCompletionPort" || count != 1) return;
        for (const std::wstring& path : {temporaryFolder, testFile}) {
            Fake().nodes[path].attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            Fake().nodes[path].reparseTag = FakeCloudTag;
        }
    };
    EXPECT_TRUE(Start(1));
    EXPECT_EQ(Shared.result.errorText, L"");
}

// The test file is filled by synchronous writes before any pass, so its
// valid data length is its length and the passes' writes stay overlapped:
// eight in flight. An encrypted (EFS) file's writes are done one at a time
// whatever is issued, and the run says so.
TEST_F(BenchmarkRun, WritesOfAnEncryptedTestFileAreSaidToBeOneAtATime) {
    for (const bool encrypted : {false, true}) {
        SCOPED_TRACE(encrypted ? "encrypted" : "plain");
        Fake().validDataLengths = true;
        Fake().requests.clear();
        DWORD& attributes = Fake().nodes[Fake().currentDirectory].attributes;
        attributes = encrypted ? attributes | FILE_ATTRIBUTE_ENCRYPTED : attributes & ~FILE_ATTRIBUTE_ENCRYPTED;
        EXPECT_TRUE(Start(1));
        const auto& requests = Fake().requests;
        const auto writes = std::count_if(requests.begin(), requests.end(),
                                          [](const FakeRequest& r) { return r.isWrite; });
        const auto synchronous = std::count_if(requests.begin(), requests.end(), [](const FakeRequest& r) {
            return r.isWrite && r.synchronous;
        });
        EXPECT_GT(writes, 0);
        EXPECT_EQ(synchronous, encrypted ? writes : 0);
        EXPECT_EQ(Shared.result.writeDepth, encrypted ? 1 : 8);
        EXPECT_EQ(Shared.result.writeDepthNote, encrypted ? EncryptedWritesText : L"");
        EXPECT_EQ(FakeFileBytes(ReportPath).find(Utf8FromWide(EncryptedWritesText)) != std::string::npos,
                  encrypted);
    }
}
