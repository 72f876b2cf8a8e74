#include "engine/sustained_write.h"

#include "engine/benchmark_run.h"
#include "engine/transfer_pass.h"
#include "engine/write_depth.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "report/report.h"
#include "report/sustained_report.h"

#include <algorithm>
#include <cwctype>

SustainedRecord CurrentSustained;

namespace {

constexpr int64_t DefaultPercent = 75;
constexpr int64_t KeptFreeBytes = 2 * BytesPerGiB;
constexpr int64_t KeptFreePercent = 5;
// The file grows ahead of the writes in steps this large, and its valid
// data length with it where the volume privilege allows: writes inside both
// stay asynchronous, and a disk that another program fills shows at the
// next step.
constexpr int64_t GrowthBytes = 64 * BlockBytes;
// The analysis for an early end runs every few seconds, not at every sample.
constexpr size_t SamplesBetweenChecks = 10;

const SustainedHooks* Hooks = nullptr;  // the running write's

struct Watch {
    std::vector<TracePoint>* trace = nullptr;
    int64_t limitBytes = 0;
    bool stopOnceHeld = false;
    int64_t allocatedBytes = 0;
    bool moveValidData = false;  // SetFileValidData keeps ahead of the writes
    std::wstring oneAtATime;     // why the writes went one at a time from some point on
    int64_t start = -1;
    int64_t sampledAt = 0;
    int64_t sampledBytes = 0;
    int64_t deviceAt = 0;
    bool haveDevice = false;
    int64_t now = 0;  // the latest progress
    int64_t frequency = 1;
    int64_t bytes = 0;
    SustainedEnding ending = SustainedEnding::Written;
    std::wstring errorText;
};

bool ReadDevice(int64_t& bytes) {
    return Hooks != nullptr && Hooks->readDeviceWritten != nullptr && Hooks->readDeviceWritten(bytes);
}

void TakeSample(Watch& watch) {
    TracePoint point;
    point.seconds = static_cast<double>(watch.now - watch.start) / static_cast<double>(watch.frequency);
    point.bytes = watch.bytes;
    const double interval =
        static_cast<double>(watch.now - watch.sampledAt) / static_cast<double>(watch.frequency);
    point.mbps = static_cast<double>(watch.bytes - watch.sampledBytes) / (interval * 1e6);
    int64_t device = 0;
    const bool haveDevice = ReadDevice(device);
    // Counters that went back were reset: they say nothing about this interval.
    if (haveDevice && watch.haveDevice && device >= watch.deviceAt) point.deviceBytes = device - watch.deviceAt;
    watch.haveDevice = haveDevice;
    watch.deviceAt = device;
    watch.sampledAt = watch.now;
    watch.sampledBytes = watch.bytes;
    watch.trace->push_back(point);
    if (Hooks != nullptr && Hooks->sampleTaken != nullptr) Hooks->sampleTaken(point);
}

// What was allocated counts as written, so the writes into it need not wait
// for one another. The pass holds the file unshared, so nobody reads the old
// disk contents there before the writes cover them.
void MoveValidData(Watch& watch, HANDLE file) {
    if (!watch.moveValidData || Platform.SetFileValidData(file, watch.allocatedBytes)) return;
    watch.moveValidData = false;
    watch.oneAtATime = WithWindowsError(L"Unable to move the test file's valid data length ahead") +
                       L": the sustained write went on at queue depth 1";
}

// Lengthens the file before a request would reach past its end.
bool Grow(Watch& watch, HANDLE file, int64_t issuedBytes) {
    if (issuedBytes + BlockBytes <= watch.allocatedBytes || watch.allocatedBytes >= watch.limitBytes)
        return true;
    LARGE_INTEGER end{};
    end.QuadPart = std::min(watch.limitBytes, watch.allocatedBytes + GrowthBytes);
    if (Platform.SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && Platform.SetEndOfFile(file)) {
        watch.allocatedBytes = end.QuadPart;
        MoveValidData(watch, file);
        return true;
    }
    if (IsDiskFullCode(Platform.GetLastError())) {
        watch.ending = SustainedEnding::DiskFull;
    } else {
        watch.ending = SustainedEnding::Failed;
        watch.errorText = WithWindowsError(L"Unable to set file size");
    }
    return false;
}

bool DropHeld(const Watch& watch) {
    const std::vector<TracePoint>& trace = *watch.trace;
    if (!watch.stopOnceHeld || trace.size() % SamplesBetweenChecks != 0) return false;
    return DropHasHeld(AnalyseTrace(trace), trace, DropHeldSeconds);
}

bool OnProgress(void* context, const PassProgress& progress) {
    Watch& watch = *static_cast<Watch*>(context);
    if (watch.start < 0) {
        watch.start = progress.now;
        watch.sampledAt = progress.now;
        watch.frequency = progress.frequency;
        watch.haveDevice = ReadDevice(watch.deviceAt);
    }
    watch.now = progress.now;
    watch.bytes = progress.bytes;
    if (watch.ending != SustainedEnding::Written) return false;
    if ((watch.now - watch.sampledAt) * 2 >= watch.frequency) {
        TakeSample(watch);
        if (DropHeld(watch)) {
            watch.ending = SustainedEnding::DropHeld;
            return false;
        }
    }
    return Grow(watch, progress.file, progress.issuedBytes);
}

// The last stretch since the last sample, so the trace ends where the write did.
void TakeLastSample(Watch& watch) {
    if (watch.start >= 0 && watch.now > watch.sampledAt && watch.bytes > watch.sampledBytes)
        TakeSample(watch);
}

// A stop wins over a failure, as in any run.
void EndWrite(const Watch& watch, const std::wstring& passText, RunResult& result) {
    CurrentSustained.ending = watch.ending;
    if (IsStopRequested()) {
        result.stopped = 1;
    } else if (watch.ending == SustainedEnding::DiskFull || IsDiskFullText(passText)) {
        CurrentSustained.ending = SustainedEnding::DiskFull;
        result.errorText = DiskFullText(watch.bytes);
    } else {
        result.errorText = watch.errorText.empty() ? passText : watch.errorText;
    }
}

SustainedEnding FinalEnding(const SustainedRecord& record) {
    if (record.result.stopped) return SustainedEnding::Stopped;
    if (record.ending == SustainedEnding::DiskFull) return record.ending;
    return record.result.errorText.empty() ? record.ending : SustainedEnding::Failed;
}

// Eight in flight where they can be, else one at a time openly. The
// privilege must be enabled before the pass opens the file.
PassShape SustainedShape(Watch& watch, const RunObjects& objects, RunResult& result) {
    NoteWriteDepth(result, WindowShape.depth, objects.testFileAttributes);
    if (result.writeDepth > 1) {
        watch.moveValidData = EnableVolumePrivilege();
        if (!watch.moveValidData) NoteOneWriteAtATime(result, NoVolumePrivilegeText);
    }
    PassShape shape = WindowShape;
    shape.depth = static_cast<int>(result.writeDepth);
    return shape;
}

// The file starts empty and grows with the write, through the run's own
// folder, held meanwhile.
void WriteSustained(const RunObjects& objects, const void* pattern, RunResult& result) {
    SustainedRecord& record = CurrentSustained;
    std::wstring text;
    const HANDLE folder = OpenRunFolder(objects, L"Unable to open test file", text);
    if (folder == INVALID_HANDLE_VALUE) {
        result.errorText = text;
        return;
    }
    Watch watch;
    watch.trace = &record.sustained.trace;
    watch.limitBytes = record.sustained.limitBytes;
    watch.stopOnceHeld = record.stopOnceHeld;
    const PassShape shape = SustainedShape(watch, objects, result);
    const PassWatch passWatch{OnProgress, &watch};
    double ms = 0.0;
    RunWatchedPass(objects.testFile, record.sustained.limitBytes / BlockBytes, shape, 1,
                   pattern, passWatch, text, &ms, &objects.testFileIdentity);
    Platform.CloseHandle(folder);
    if (!watch.oneAtATime.empty()) NoteOneWriteAtATime(result, watch.oneAtATime);
    TakeLastSample(watch);
    EndWrite(watch, text, result);
}

void OpenSustainedReport(const std::wstring& folder, const RunEventSink& sink) {
    const int64_t limitBytes = CurrentSustained.sustained.limitBytes;
    if (OpenReport(folder, SustainedReportType, SustainedSizeText(limitBytes)).empty()) {
        const DWORD code = Platform.GetLastError();
        sink.showReportError(ReportCreationFailedText(folder, code));
        return;
    }
    WriteSustainedHeader(folder, limitBytes);
}

// What was measured stays, whatever ended the write.
void EndSustainedReport(const RunResult& result) {
    SustainedTrace& sustained = CurrentSustained.sustained;
    sustained.findings = AnalyseTrace(sustained.trace);
    const int64_t written = sustained.trace.empty() ? 0 : sustained.trace.back().bytes;
    sustained.conclusion = ConclusionText(sustained.findings, written);
    FinishSustainedReport(sustained, result);
}

constexpr RunKind SustainedKind = {OpenSustainedReport, WriteSustained, EndSustainedReport};

bool SameName(const std::wstring& a, const wchar_t* b) {
    const std::wstring other(b);
    return a.size() == other.size() &&
           std::equal(a.begin(), a.end(), other.begin(), [](wchar_t x, wchar_t y) {
               return std::towlower(x) == std::towlower(y);
           });
}

}  // namespace

int64_t LargestFileBytes(const std::wstring& fileSystem) {
    for (const wchar_t* fat : {L"FAT32", L"FAT", L"vfat", L"msdos"}) {
        if (SameName(fileSystem, fat)) return 4 * BytesPerGiB - 1;
    }
    return 0;
}

int64_t LimitFromSpace(const SustainedSize& size, uint64_t freeBytes, uint64_t totalBytes,
                       int64_t largestFileBytes) {
    const auto free = static_cast<int64_t>(std::min<uint64_t>(freeBytes, INT64_MAX / 100));
    const auto total = static_cast<int64_t>(std::min<uint64_t>(totalBytes, INT64_MAX / 100));
    int64_t limit = free / 100 * (size.percent > 0 ? size.percent : DefaultPercent);
    if (size.gib > 0) limit = size.gib > INT64_MAX / BytesPerGiB ? INT64_MAX : size.gib * BytesPerGiB;
    const int64_t kept = std::max(KeptFreeBytes, total / 100 * KeptFreePercent);
    limit = std::min(limit, std::max<int64_t>(0, free - kept));
    if (largestFileBytes > 0) limit = std::min(limit, largestFileBytes);
    return limit / BlockBytes * BlockBytes;
}

int64_t SustainedLimitBytes(const SustainedSize& size, const std::wstring& folder,
                            const std::wstring& fileSystem, std::wstring& errorText) {
    ULARGE_INTEGER freeToCaller{};
    ULARGE_INTEGER total{};
    ULARGE_INTEGER totalFree{};
    if (!Platform.GetDiskFreeSpaceExW(folder.c_str(), &freeToCaller, &total, &totalFree)) {
        errorText = WithWindowsError(L"Unable to read the free space");
        return 0;
    }
    const int64_t limit =
        LimitFromSpace(size, freeToCaller.QuadPart, total.QuadPart, LargestFileBytes(fileSystem));
    if (limit >= SmallestSustainedBytes) return limit;
    errorText = L"Not enough free space for a sustained write: at least " +
                GiBText(SmallestSustainedBytes) + L" GiB beyond the 2 GiB or 5% that stay free";
    return 0;
}

std::wstring DiskFullText(int64_t writtenBytes) {
    return std::wstring(DiskFullMessage) + L": the sustained write stopped at " +
           GiBText(writtenBytes) + L" GiB";
}

void SustainedThread(const RunEventSink& sink, const SustainedHooks& hooks) {
    Hooks = &hooks;
    const std::wstring folder = CurrentSustained.folder;
    CurrentSustained.sustained.trace.clear();
    CurrentSustained.ending = SustainedEnding::Written;
    RunOtherKind(folder, SustainedKind, CurrentSustained.result, sink);
    CurrentSustained.ending = FinalEnding(CurrentSustained);
    Hooks = nullptr;
    sink.post(RunFinishedEvent, 0);
}
