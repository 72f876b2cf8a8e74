#include "engine/benchmark_run.h"

#include "engine/folder_entries.h"
#include "engine/pattern.h"
#include "engine/prepare_test_file.h"
#include "engine/run_names.h"
#include "engine/transfer_pass.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "report/report.h"

#include <memory>
#include <mutex>

namespace {

constexpr int64_t PassPauseMs = 1600;
constexpr int64_t CountdownSliceMs = 1000;
constexpr int64_t CountdownSeconds = 5;

// What one run holds or created, and so releases or deletes in its common
// ending; nothing else is deleted there.
struct RunFiles {
    std::wstring temporaryFolder;
    std::wstring testFile;
    void* pattern = nullptr;
    HANDLE marker = INVALID_HANDLE_VALUE;  // held open from the start of the run to its end
    bool folderOwned = false;              // created by this run, or a real folder taken over
    bool testFileMade = false;             // handed to the preparation, which creates it
};

// The references a run writes through, bundled for the helpers below.
struct RunContext {
    int64_t passCount;
    int64_t blockCount;
    RunResult& result;
    double& liveReadMBps;
    double& liveWriteMBps;
    int64_t& livePhase;
    int64_t& livePass;
    const RunEventSink& sink;
    const Profile& profile;
    PassTally& tally;  // of the pass that ran last
    const RunKind* kind;  // null: the benchmark's read and write passes
};

void RaiseTimerResolution() {
    static std::once_flag once;
    std::call_once(once, [] { Platform.timeBeginPeriod(1); });
}

bool Stopped(RunResult& result) {
    if (!IsStopRequested()) return false;
    result.stopped = 1;
    return true;
}

// After a step that reports through a text: a stop wins over its error.
bool StepEnded(const std::wstring& stepText, RunResult& result) {
    if (Stopped(result)) return true;
    if (stepText.empty()) return false;
    result.errorText = stepText;
    return true;
}

bool PauseEnded(int64_t ms, RunResult& result) {
    if (WaitUnlessStopped(ms)) return false;
    result.stopped = 1;
    return true;
}

void OpenRunReport(const std::wstring& folder, int64_t passCount, int64_t testSizeMiB,
                   const RunEventSink& sink, const Profile& profile) {
    if (OpenReport(folder, profile.fileTag, SizeText(testSizeMiB)).empty()) {
        const DWORD code = Platform.GetLastError();
        sink.showReportError(ReportCreationFailedText(folder, code));
        return;
    }
    WriteReportHeader(passCount, testSizeMiB, folder, profile);
}

// An existing folder of our name is taken over; a link is not, since the
// test file would then land wherever it points.
bool CreateTemporaryFolder(const std::wstring& path) {
    if (Platform.CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD attributes = Platform.GetFileAttributesW(path.c_str());
    return IsDirectory(attributes) && !IsReparsePoint(attributes);
}

// The marker stays open without sharing until the run ends: another
// process then cannot open it (ERROR_SHARING_VIOLATION) and so tells a live
// run from a crashed one. Any other failure is not the run's concern; it goes
// on without a marker. False only when another run holds it.
bool ClaimRecoveryMarker(HANDLE& marker) {
    marker = Platform.CreateFileW(RecoveryMarkerName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    return marker != INVALID_HANDLE_VALUE || Platform.GetLastError() != ERROR_SHARING_VIOLATION;
}

void WriteRecoveryMarker(HANDLE marker, const std::wstring& temporaryFolder,
                         const std::wstring& reportPath) {
    if (marker == INVALID_HANDLE_VALUE) return;
    const std::string bytes = PathBytesFromWide(temporaryFolder + L"\r\n" + reportPath + L"\r\n");
    DWORD written = 0;
    Platform.WriteFile(marker, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    Platform.FlushFileBuffers(marker);
}

// Emptied before it is let go: a start that reads it between the close and
// the deletion finds nothing to remove, not this run's finished report.
void ReleaseRecoveryMarker(HANDLE marker) {
    if (marker == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER start{};
    if (Platform.SetFilePointerEx(marker, start, nullptr, FILE_BEGIN)) Platform.SetEndOfFile(marker);
    Platform.CloseHandle(marker);
    Platform.DeleteFileW(RecoveryMarkerName);
}

void RecordPass(RunContext& run, int isWrite, int64_t n, double speed) {
    double& best = isWrite ? run.result.bestWriteMBps : run.result.bestReadMBps;
    if (speed > best) best = speed;
    if (isWrite) {
        run.liveWriteMBps = speed;
    } else {
        run.liveReadMBps = best;
    }
    run.livePhase = isWrite ? 2 : 1;
    run.livePass = n;
    run.sink.post(PassDoneEvent, 0);
}

void AnnouncePass(const RunEventSink& sink, int isWrite, int64_t n) {
    if (sink.passStarting) sink.passStarting(isWrite, n);
}

void ReportMeasured(const RunContext& run, const PassShape& shape, int isWrite, int64_t n,
                    double speed, double ms) {
    if (run.sink.passMeasured == nullptr) return;
    PassFigures figures;
    figures.isWrite = isWrite;
    figures.pass = n;
    figures.mbps = speed;
    figures.ms = ms;
    figures.bytes = run.tally.bytes;
    figures.requests = run.tally.requests;
    figures.seed = shape.seed;
    figures.latency = SummarizeLatencies(run.tally.latency, run.tally.frequency);
    run.sink.passMeasured(figures);
}

// One pass of the run's profile; a random one gets a seed of its own.
double RunProfilePass(RunContext& run, const RunFiles& files, int isWrite, PassShape& shape,
                      std::wstring& passText, double& ms) {
    shape = run.profile.shape;
    if (shape.random) shape.seed = NewPassSeed();
    return RunShapedPass(files.testFile, run.blockCount, shape, isWrite, files.pattern, passText,
                         &ms, &run.tally);
}

// One phase: an unrecorded warm-up, its pause, then the counted passes.
// False when the run ends here.
bool RunPhase(RunContext& run, const RunFiles& files, int isWrite) {
    std::wstring passText;
    double ms = 0.0;
    PassShape shape;
    AnnouncePass(run.sink, isWrite, 0);
    RunProfilePass(run, files, isWrite, shape, passText, ms);
    if (StepEnded(passText, run.result) || PauseEnded(PassPauseMs, run.result)) return false;
    for (int64_t n = 1; n <= run.passCount; ++n) {
        if (Stopped(run.result)) return false;
        passText.clear();
        ms = 0.0;
        AnnouncePass(run.sink, isWrite, n);
        const double speed = RunProfilePass(run, files, isWrite, shape, passText, ms);
        if (StepEnded(passText, run.result)) return false;
        ReportMeasured(run, shape, isWrite, n, speed, ms);
        WritePassRow(n, speed, ms);
        RecordPass(run, isWrite, n, speed);
        if (n < run.passCount && PauseEnded(PassPauseMs, run.result)) return false;
    }
    return true;
}

bool CountDown(RunContext& run) {
    for (int64_t s = CountdownSeconds; s >= 1; --s) {
        if (Stopped(run.result)) return false;
        run.sink.post(CountdownEvent, s);
        if (PauseEnded(CountdownSliceMs, run.result)) return false;
    }
    run.sink.post(CountdownEvent, 0);
    return true;
}

// Everything from the temporary folder on; returns at the first stop or failure.
void RunSteps(RunContext& run, RunFiles& files) {
    files.folderOwned = CreateTemporaryFolder(files.temporaryFolder);
    if (!files.folderOwned) {
        run.result.errorText = L"Unable to create " + files.temporaryFolder;
        return;
    }
    WriteRecoveryMarker(files.marker, files.temporaryFolder, ReportPath);
    files.pattern = Platform.VirtualAlloc(nullptr, static_cast<size_t>(BlockBytes),
                                          MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (files.pattern == nullptr) {
        run.result.errorText = L"Unable to allocate pattern";
        return;
    }
    FillPattern(files.pattern, static_cast<size_t>(BlockBytes));
    if (run.kind != nullptr) {
        files.testFileMade = true;
        run.kind->runSteps(files.testFile, files.pattern, run.result);
        return;
    }
    std::wstring preparationText;
    files.testFileMade = true;
    if (!PrepareTestFile(files.testFile, run.blockCount, files.pattern, preparationText)) {
        StepEnded(preparationText, run.result);
        return;
    }
    if (!RunPhase(run, files, 0) || !CountDown(run)) return;
    StartWriteSection();
    RunPhase(run, files, 1);
}

// Only what this run made goes. Other files in a folder it took over stay,
// and RemoveDirectoryW then fails on them, as it should.
void EndRun(const RunFiles& files, const RunResult& result, const Profile& profile,
            const RunKind* kind) {
    if (files.pattern != nullptr) Platform.VirtualFree(files.pattern, 0, MEM_RELEASE);
    if (files.testFileMade) Platform.DeleteFileW(files.testFile.c_str());
    if (files.folderOwned) Platform.RemoveDirectoryW(files.temporaryFolder.c_str());
    if (kind != nullptr) {
        kind->endReport(result);
    } else if (result.stopped) {
        DiscardReport();
    } else {
        FinishReport(result, profile);
    }
    ReleaseRecoveryMarker(files.marker);
}

}  // namespace

bool WaitUnlessStopped(int64_t ms) {
    for (int64_t elapsed = 0; elapsed <= ms - 1; elapsed += 50) {
        if (IsStopRequested()) return false;
        RaiseTimerResolution();
        Platform.Sleep(50);
    }
    return true;
}

namespace {

bool RunInFrame(const std::wstring& folder, int64_t passCount, int64_t testSizeMiB,
                RunResult& result, double& liveReadMBps, double& liveWriteMBps,
                int64_t& livePhase, int64_t& livePass, const RunEventSink& sink,
                const Profile& profile, const RunKind* kind) {
    result = RunResult{};
    liveReadMBps = 0.0;
    liveWriteMBps = 0.0;
    livePhase = 0;
    livePass = 0;
    // Without a folder there is nothing to benchmark, and nowhere safe to write.
    if (folder.empty()) {
        result.errorText = UnreadableFolderText;
        return false;
    }
    RunFiles files;
    if (!ClaimRecoveryMarker(files.marker)) {
        result.errorText = AnotherRunText;
        return false;
    }
    if (kind != nullptr) {
        kind->openReport(folder, sink);
    } else {
        OpenRunReport(folder, passCount, testSizeMiB, sink, profile);
    }
    const std::wstring tag = RunTag(Platform.GetTickCount());
    files.temporaryFolder = TemporaryFolderPath(folder, tag);
    files.testFile = TestFilePath(files.temporaryFolder, tag);
    // Allocated before any pass, so a pass allocates nothing for its latencies.
    const auto tally = std::make_unique<PassTally>();
    RunContext run{passCount, testSizeMiB, result, liveReadMBps, liveWriteMBps,
                   livePhase, livePass, sink, profile, *tally, kind};
    RunSteps(run, files);
    EndRun(files, result, profile, kind);
    return result.stopped == 0 && result.errorText.empty();
}

}  // namespace

bool RunBenchmark(const std::wstring& folder, int64_t passCount, int64_t testSizeMiB,
                  RunResult& result, double& liveReadMBps, double& liveWriteMBps,
                  int64_t& livePhase, int64_t& livePass, const RunEventSink& sink,
                  const Profile& profile) {
    return RunInFrame(folder, passCount, testSizeMiB, result, liveReadMBps, liveWriteMBps,
                      livePhase, livePass, sink, profile, nullptr);
}

bool RunOtherKind(const std::wstring& folder, const RunKind& kind, RunResult& result,
                  const RunEventSink& sink) {
    double liveReadMBps = 0.0;
    double liveWriteMBps = 0.0;
    int64_t livePhase = 0;
    int64_t livePass = 0;
    return RunInFrame(folder, 0, 0, result, liveReadMBps, liveWriteMBps, livePhase, livePass,
                      sink, WindowProfile, &kind);
}

void BenchmarkThread(const RunEventSink& sink) {
    // The settings are taken by value: they must not change under the run.
    const std::wstring folder = CurrentRun.folder;
    const int64_t passCount = CurrentRun.passCount;
    const int64_t testSizeMiB = CurrentRun.testSizeMiB;
    const Profile& profile = *CurrentRun.profile;
    RunBenchmark(folder, passCount, testSizeMiB, CurrentRun.result, CurrentRun.liveReadMBps,
                 CurrentRun.liveWriteMBps, CurrentRun.livePhase, CurrentRun.livePass, sink,
                 profile);
    sink.post(RunFinishedEvent, 0);
}
