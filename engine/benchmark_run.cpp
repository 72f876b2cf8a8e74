#include "engine/benchmark_run.h"

#include "engine/pattern.h"
#include "engine/prepare_test_file.h"
#include "engine/run_names.h"
#include "engine/run_objects.h"
#include "engine/threaded_pass.h"
#include "engine/volume_limits.h"
#include "engine/write_depth.h"
#include "platform/own_file.h"
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
    RunObjects objects;
    void* pattern = nullptr;
    HANDLE marker = INVALID_HANDLE_VALUE;  // held open from the start of the run to its end
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

// The marker stays open without sharing until the run ends: another
// process then cannot open it (ERROR_SHARING_VIOLATION) and so tells a live
// run from a crashed one. Any other failure is not the run's concern; it goes
// on without a marker. False only when another run holds it.
bool ClaimRecoveryMarker(HANDLE& marker) {
    marker = CreateOwnFile(RecoveryMarkerName, GENERIC_WRITE, 0, CREATE_ALWAYS);
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
// the deletion finds nothing to remove, not this run's finished report. A
// folder the run could not remove stays named in it, alone, for the next
// start to remove; a marker that could not be emptied never stays, since it
// still names the report.
void ReleaseRecoveryMarker(HANDLE marker, const std::wstring& folderLeft) {
    if (marker == INVALID_HANDLE_VALUE) return;
    LARGE_INTEGER start{};
    const bool emptied = Platform.SetFilePointerEx(marker, start, nullptr, FILE_BEGIN) &&
                         Platform.SetEndOfFile(marker);
    const bool kept = emptied && !folderLeft.empty();
    if (kept) WriteRecoveryMarker(marker, folderLeft, L"");
    Platform.CloseHandle(marker);
    if (!kept) Platform.DeleteFileW(RecoveryMarkerName);
}

void RecordPass(RunContext& run, const PassFigures& figures) {
    const int isWrite = figures.isWrite;
    double& best = isWrite ? run.result.bestWriteMBps : run.result.bestReadMBps;
    if (figures.mbps > best) {
        best = figures.mbps;
        (isWrite ? run.result.bestWrite : run.result.bestRead) =
            BestPass{RequestsPerSecond(figures.requests, figures.ms), figures.latency.p50,
                     figures.latency.p99};
    }
    if (isWrite) {
        run.liveWriteMBps = figures.mbps;
    } else {
        run.liveReadMBps = best;
    }
    run.livePhase = isWrite ? 2 : 1;
    run.livePass = figures.pass;
    run.sink.post(PassDoneEvent, 0);
}

void AnnouncePass(const RunEventSink& sink, int isWrite, int64_t n) {
    if (sink.passStarting) sink.passStarting(isWrite, n);
}

PassFigures Measured(const RunContext& run, const PassShape& shape, int isWrite, int64_t n,
                     double speed, double ms) {
    PassFigures figures;
    figures.isWrite = isWrite;
    figures.pass = n;
    figures.mbps = speed;
    figures.ms = ms;
    figures.bytes = run.tally.bytes;
    figures.requests = run.tally.requests;
    figures.seed = shape.seed;
    figures.latency = SummarizeLatencies(run.tally.latency, run.tally.frequency);
    return figures;
}

// A random pass's seed: a fresh one, or with a seed given, the one its place
// in the run gives: the counted passes in the order they run from the given
// seed on, then the read and the write warm-up.
uint64_t PassSeed(const RunContext& run, int isWrite, int64_t n) {
    if (!run.profile.seeded) return NewPassSeed();
    const int64_t ordinal =
        n == 0 ? 2 * run.passCount + isWrite : (isWrite ? run.passCount : 0) + n - 1;
    return SeriesSeed(run.profile.shape.seed, ordinal);
}

// One pass of the run's profile on the run's own test file, through its own
// folder, which stays held for the pass; a random one gets a seed of its own.
double CheckedPass(RunContext& run, const RunFiles& files, int isWrite, int64_t n,
                   PassShape& shape, std::wstring& passText, double& ms) {
    shape = run.profile.shape;
    if (shape.random) shape.seed = PassSeed(run, isWrite, n);
    const HANDLE folder = OpenRunFolder(files.objects, L"Unable to open test file", passText);
    if (folder == INVALID_HANDLE_VALUE) return 0.0;
    const double speed = RunThreadedPass(files.objects.testFile, run.blockCount, shape,
                                         run.profile.threads, isWrite, files.pattern, passText,
                                         &ms, &run.tally, &files.objects.testFileIdentity);
    Platform.CloseHandle(folder);
    return speed;
}

// One phase: an unrecorded warm-up, its pause, then the counted passes.
// False when the run ends here.
bool RunPhase(RunContext& run, const RunFiles& files, int isWrite) {
    std::wstring passText;
    double ms = 0.0;
    PassShape shape;
    AnnouncePass(run.sink, isWrite, 0);
    CheckedPass(run, files, isWrite, 0, shape, passText, ms);
    if (StepEnded(passText, run.result) || PauseEnded(PassPauseMs, run.result)) return false;
    for (int64_t n = 1; n <= run.passCount; ++n) {
        if (Stopped(run.result)) return false;
        passText.clear();
        ms = 0.0;
        AnnouncePass(run.sink, isWrite, n);
        const double speed = CheckedPass(run, files, isWrite, n, shape, passText, ms);
        if (StepEnded(passText, run.result)) return false;
        const PassFigures figures = Measured(run, shape, isWrite, n, speed, ms);
        if (run.sink.passMeasured) run.sink.passMeasured(figures);
        WritePassFigures(figures, run.profile);
        RecordPass(run, figures);
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

// The test file is made in the run's own folder, held meanwhile.
bool PrepareInRunFolder(RunContext& run, RunFiles& files) {
    std::wstring preparationText;
    const HANDLE folder =
        OpenRunFolder(files.objects, L"Unable to create test file", preparationText);
    const bool prepared =
        folder != INVALID_HANDLE_VALUE &&
        PrepareTestFile(files.objects.testFile, run.blockCount, files.pattern, preparationText,
                        &files.objects.testFileIdentity, &files.objects.testFileAttributes);
    if (folder != INVALID_HANDLE_VALUE) Platform.CloseHandle(folder);
    if (!prepared) StepEnded(preparationText, run.result);
    return prepared;
}

// Everything from the temporary folder on; returns at the first stop or failure.
void RunSteps(RunContext& run, RunFiles& files, const std::wstring& folder) {
    if (!CreateRunFolder(folder, Platform.GetTickCount(), files.objects)) {
        run.result.errorText = L"Unable to create " + files.objects.folder;
        return;
    }
    WriteRecoveryMarker(files.marker, files.objects.folder, ReportPath);
    files.pattern = Platform.VirtualAlloc(nullptr, static_cast<size_t>(BlockBytes),
                                          MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (files.pattern == nullptr) {
        run.result.errorText = L"Unable to allocate pattern";
        return;
    }
    FillPattern(files.pattern, static_cast<size_t>(BlockBytes));
    if (!PrepareInRunFolder(run, files)) return;
    if (run.kind != nullptr) {
        run.kind->runSteps(files.objects, files.pattern, run.result);
        return;
    }
    NoteWriteDepth(run.result, run.profile.shape.depth, files.objects.testFileAttributes);
    if (!RunPhase(run, files, 0) || !CountDown(run)) return;
    StartWriteSection(run.profile);
    RunPhase(run, files, 1);
}

// Only what this run made goes, and only through the objects it made. A
// name found leading elsewhere only now is the run's error all the same.
void EndRun(const RunFiles& files, RunResult& result, const Profile& profile, const RunKind* kind) {
    if (files.pattern != nullptr) Platform.VirtualFree(files.pattern, 0, MEM_RELEASE);
    const Removal removal = RemoveRunObjects(files.objects);
    // A folder that was not removed stays named in the marker, so the next
    // start removes it: one another program held, and one in which a name
    // led elsewhere, since nothing was deleted through that name.
    const bool folderStays = removal != Removal::Removed;
    if (removal == Removal::Replaced && !result.stopped && result.errorText.empty()) {
        result.errorText = ReplacedText;
    }
    if (kind != nullptr) {
        kind->endReport(result);
    } else if (result.stopped) {
        DiscardReport();
    } else {
        FinishReport(result, profile);
    }
    ReleaseRecoveryMarker(files.marker, folderStays ? files.objects.folder : std::wstring());
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
    // Refused before the marker, the report or the folder exist.
    result.errorText = TestSizeRefusal(folder, testSizeMiB);
    if (!result.errorText.empty()) return false;
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
    // Allocated before any pass, so a pass allocates nothing for its latencies.
    const auto tally = std::make_unique<PassTally>();
    RunContext run{passCount, testSizeMiB, result, liveReadMBps, liveWriteMBps,
                   livePhase, livePass, sink, profile, *tally, kind};
    RunSteps(run, files, folder);
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
