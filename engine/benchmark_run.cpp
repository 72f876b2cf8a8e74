#include "engine/benchmark_run.h"

#include "engine/folder_entries.h"
#include "engine/pattern.h"
#include "engine/prepare_test_file.h"
#include "engine/run_names.h"
#include "engine/transfer_pass.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "report/report.h"

#include <mutex>

namespace {

constexpr int64_t PassPauseMs = 1600;
constexpr int64_t CountdownSliceMs = 1000;
constexpr int64_t CountdownSeconds = 5;

// What one run created and must release in its common ending.
struct RunFiles {
    std::wstring temporaryFolder;
    std::wstring testFile;
    void* pattern = nullptr;
    bool markerCreated = false;
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
                   const RunEventSink& sink) {
    if (OpenReport(folder, L"SEQ1MQ8T1", SizeText(testSizeMiB)).empty()) {
        const DWORD code = Platform.GetLastError();
        sink.showReportError(ReportCreationFailedText(folder, code));
        return;
    }
    WriteReportHeader(passCount, testSizeMiB, folder);
}

// An existing folder of our name is taken over; a link is not, since the
// ending deletes what is inside.
bool CreateTemporaryFolder(const std::wstring& path) {
    if (Platform.CreateDirectoryW(path.c_str(), nullptr)) return true;
    const DWORD attributes = Platform.GetFileAttributesW(path.c_str());
    return IsDirectory(attributes) && !IsReparsePoint(attributes);
}

bool WriteRecoveryMarker(const std::wstring& temporaryFolder, const std::wstring& reportPath) {
    const HANDLE marker = Platform.CreateFileW(RecoveryMarkerName, GENERIC_WRITE, 0, nullptr,
                                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker == INVALID_HANDLE_VALUE) return false;
    const std::string bytes = PathBytesFromWide(temporaryFolder + L"\r\n" + reportPath + L"\r\n");
    DWORD written = 0;
    Platform.WriteFile(marker, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    Platform.FlushFileBuffers(marker);
    Platform.CloseHandle(marker);
    return true;
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

void ReportMeasured(const RunEventSink& sink, int isWrite, int64_t n, double speed, double ms) {
    if (sink.passMeasured) sink.passMeasured({isWrite, n, speed, ms, MovedBytes(speed, ms)});
}

// One phase: an unrecorded warm-up, its pause, then the counted passes.
// False when the run ends here.
bool RunPhase(RunContext& run, const RunFiles& files, int isWrite) {
    std::wstring passText;
    double ms = 0.0;
    AnnouncePass(run.sink, isWrite, 0);
    RunTransferPass(files.testFile, run.blockCount, isWrite, files.pattern, passText, &ms);
    if (StepEnded(passText, run.result) || PauseEnded(PassPauseMs, run.result)) return false;
    for (int64_t n = 1; n <= run.passCount; ++n) {
        if (Stopped(run.result)) return false;
        passText.clear();
        ms = 0.0;
        AnnouncePass(run.sink, isWrite, n);
        const double speed =
            RunTransferPass(files.testFile, run.blockCount, isWrite, files.pattern, passText, &ms);
        if (StepEnded(passText, run.result)) return false;
        ReportMeasured(run.sink, isWrite, n, speed, ms);
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
    if (!CreateTemporaryFolder(files.temporaryFolder)) {
        run.result.errorText = L"Unable to create " + files.temporaryFolder;
        return;
    }
    files.markerCreated = WriteRecoveryMarker(files.temporaryFolder, ReportPath);
    files.pattern = Platform.VirtualAlloc(nullptr, static_cast<size_t>(BlockBytes),
                                          MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (files.pattern == nullptr) {
        run.result.errorText = L"Unable to allocate pattern";
        return;
    }
    FillPattern(files.pattern, static_cast<size_t>(BlockBytes));
    std::wstring preparationText;
    if (!PrepareTestFile(files.testFile, run.blockCount, files.pattern, preparationText)) {
        StepEnded(preparationText, run.result);
        return;
    }
    if (!RunPhase(run, files, 0) || !CountDown(run)) return;
    StartWriteSection();
    RunPhase(run, files, 1);
}

// Only files are deleted: a sub-folder here is not something a run made.
void DeleteFilesInside(const std::wstring& folder) {
    for (const FolderEntry& entry : ListFolder(folder)) {
        if (!IsDirectory(entry.attributes)) Platform.DeleteFileW(JoinPath(folder, entry.name).c_str());
    }
}

void EndRun(const RunFiles& files, const RunResult& result) {
    if (files.pattern != nullptr) Platform.VirtualFree(files.pattern, 0, MEM_RELEASE);
    Platform.DeleteFileW(files.testFile.c_str());
    DeleteFilesInside(files.temporaryFolder);
    Platform.RemoveDirectoryW(files.temporaryFolder.c_str());
    if (result.stopped) {
        DiscardReport();
    } else {
        FinishReport(result);
    }
    // A marker this run could not create may be another program's file.
    if (files.markerCreated) Platform.DeleteFileW(RecoveryMarkerName);
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

bool RunBenchmark(const std::wstring& folder, int64_t passCount, int64_t testSizeMiB,
                  RunResult& result, double& liveReadMBps, double& liveWriteMBps,
                  int64_t& livePhase, int64_t& livePass, const RunEventSink& sink) {
    result = RunResult{};
    liveReadMBps = 0.0;
    liveWriteMBps = 0.0;
    livePhase = 0;
    livePass = 0;
    OpenRunReport(folder, passCount, testSizeMiB, sink);
    const std::wstring tag = RunTag(Platform.GetTickCount());
    RunFiles files;
    files.temporaryFolder = TemporaryFolderPath(folder, tag);
    files.testFile = TestFilePath(files.temporaryFolder, tag);
    RunContext run{passCount, testSizeMiB, result, liveReadMBps, liveWriteMBps,
                   livePhase, livePass, sink};
    RunSteps(run, files);
    EndRun(files, result);
    return result.stopped == 0 && result.errorText.empty();
}

void BenchmarkThread(const RunEventSink& sink) {
    // The settings are taken by value: they must not change under the run.
    const std::wstring folder = CurrentRun.folder;
    const int64_t passCount = CurrentRun.passCount;
    const int64_t testSizeMiB = CurrentRun.testSizeMiB;
    RunBenchmark(folder, passCount, testSizeMiB, CurrentRun.result, CurrentRun.liveReadMBps,
                 CurrentRun.liveWriteMBps, CurrentRun.livePhase, CurrentRun.livePass, sink);
    sink.post(RunFinishedEvent, 0);
}
