#include "cli/cli_run.h"

#include "cli/cli_json.h"
#include "cli/cli_sustained.h"
#include "cli/console_output.h"
#include "cli/event_queue.h"
#include "cli/stop_signals.h"
#include "cli/whole_file.h"
#include "drive/drive_info.h"
#include "drive/folder_volume.h"
#include "engine/benchmark_run.h"
#include "engine/run_names.h"
#include "engine/status_text.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "report/report.h"

#ifndef _WIN32
#include "platform/linux/linux_drive.h"
#endif

#include <chrono>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t RedrawMs = 200;
constexpr double PassSeconds = 5.0;
constexpr double PauseSeconds = 1.6;

// Written before the worker starts; the worker only reads it.
StorageInfo Storage;
// The worker's own: the counters read before the pass that is running.
DeviceCounters CountersBefore;
bool HaveCountersBefore = false;
std::wstring CountersBeforeError;

// The main thread's view of where the run stands.
struct Watch {
    RunSummary summary;
    Progress progress;
    Clock::time_point stepEnds;
    bool timed = false;
    std::wstring pauseStep;  // a pause that follows the step without an event
    bool countersWarned = false;
};

// --- the worker's side: it only posts ---

void OnPassStarting(int isWrite, int64_t pass) {
    if (pass > 0 && !Storage.device.empty()) {
        CountersBeforeError.clear();
        HaveCountersBefore = ReadStorageCounters(Storage, CountersBefore, CountersBeforeError);
    }
    PostConsoleEvent({PassStartingEvent, pass, isWrite});
}

void OnPassMeasured(const PassFigures& figures) {
    ConsoleEvent event{PassMeasuredEvent, 0, figures.isWrite};
    PassRecord& record = event.record;
    // The counters first, before anything else can touch the device.
    DeviceCounters after;
    std::wstring afterError;
    const bool haveAfter =
        !Storage.device.empty() && ReadStorageCounters(Storage, after, afterError);
    record.pass = figures.pass;
    record.mbps = figures.mbps;
    record.ms = figures.ms;
    record.bytes = figures.bytes;
    record.requests = figures.requests;
    record.seed = figures.seed;
    record.latency = figures.latency;
    if (HaveCountersBefore && haveAfter) {
        ConfirmPass(record, figures.isWrite, CountersBefore, after);
    } else {
        record.deviceError = CountersBeforeError.empty() ? afterError : CountersBeforeError;
    }
    PostConsoleEvent(std::move(event));
}

const RunEventSink ConsoleSink = {PostWorkerEvent, PostReportError, OnPassStarting, OnPassMeasured};

// --- the main thread's side ---

void StartStep(Watch& watch, const std::wstring& step, double seconds) {
    watch.progress.step = step;
    watch.timed = seconds >= 0.0;
    watch.stepEnds = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds));
    watch.pauseStep.clear();
}

std::wstring PhaseName(int isWrite) {
    return isWrite ? L"Write" : L"Read";
}

void TakeMeasuredPass(Watch& watch, const ConsoleEvent& event) {
    const PassRecord& record = event.record;
    const int64_t passCount = watch.summary.passCount;
    (event.isWrite ? watch.summary.write : watch.summary.read).push_back(record);
    PrintLine({PassLine(event.isWrite, record, passCount, *watch.summary.profile)});
    if (record.deviceCounted && record.deviceShare < LowestDeviceShare)
        Warn(watch.summary, CacheWarning(record.deviceShare));
    if (!record.deviceCounted && !record.deviceError.empty() && !watch.countersWarned) {
        watch.countersWarned = true;
        Warn(watch.summary, CountersUnavailableWarning(watch.summary.storage.device, record.deviceError));
    }
    watch.progress.haveLastPass = true;
    watch.progress.lastPassMBps = record.mbps;
    const bool last = record.pass >= passCount;
    StartStep(watch, PhaseName(event.isWrite) + (last ? L", done" : L", pause"),
              last ? -1.0 : PauseSeconds);
}

void TakeCountdown(Watch& watch, int64_t secondsLeft) {
    if (!ProgressShown()) PrintLine({CountdownStatusText(secondsLeft)});
    if (secondsLeft == 0) {
        StartStep(watch, CountdownStatusText(0), -1.0);
    } else {
        StartStep(watch, L"Countdown to the write phase", static_cast<double>(secondsLeft));
    }
}

// False once the run has finished.
bool TakeEvent(Watch& watch, const ConsoleEvent& event) {
    if (event.event == PassStartingEvent) {
        StartStep(watch, PassStepText(event.isWrite, event.data, watch.summary.passCount),
                  PassSeconds);
        // The warm-up is followed by a pause that no event announces.
        if (event.data == 0) watch.pauseStep = PhaseName(event.isWrite) + L", pause";
    } else if (event.event == PassMeasuredEvent) {
        TakeMeasuredPass(watch, event);
    } else if (event.event == CountdownEvent) {
        TakeCountdown(watch, event.data);
    } else if (event.event == ReportErrorEvent) {
        Warn(watch.summary, event.text);
    }
    return event.event != RunFinishedEvent;
}

void UpdateProgress(Watch& watch) {
    const Clock::time_point now = Clock::now();
    if (watch.timed && now >= watch.stepEnds && !watch.pauseStep.empty()) {
        const Clock::time_point pauseEnds =
            watch.stepEnds + std::chrono::duration_cast<Clock::duration>(
                                 std::chrono::duration<double>(PauseSeconds));
        StartStep(watch, watch.pauseStep, 0.0);
        watch.stepEnds = pauseEnds;
    }
    Progress shown = watch.progress;
    if (IsStopRequested()) {
        shown.step = StoppingStatusText;
    } else if (watch.timed) {
        const std::chrono::duration<double> left = watch.stepEnds - now;
        shown.secondsLeft = left.count() > 0.0 ? left.count() : 0.0;
    }
    ShowProgress(ProgressText(shown));
}

void FollowRun(Watch& watch) {
    StartStep(watch, L"Preparing the test file", -1.0);
    while (true) {
        ConsoleEvent event;
        if (TakeConsoleEvent(event, RedrawMs) && !TakeEvent(watch, event)) break;
        if (ProgressShown()) UpdateProgress(watch);
    }
    EndProgress();
}

void GatherDriveTexts(const std::wstring& folder) {
    GatherDriveInfo(folder);
#ifndef _WIN32
    // A Linux path has no drive designator; the disk is found through sysfs.
    if (DriveDesignatorOf(folder).empty()) GatherLinuxDriveInfo(folder);
#endif
}

std::wstring StorageText(const StorageInfo& storage) {
    const std::wstring fileSystem = storage.fileSystem.empty() ? L"unknown" : storage.fileSystem;
    return L"File system: " + fileSystem + L", device: " +
           (storage.device.empty() ? L"none" : storage.device);
}

void PrintSettings(const RunSummary& summary) {
    PrintLine({ProgramTitle});
    PrintLine({L"Benchmark Folder: " + summary.folder});
    PrintLine({L"Drive Manufacturer: " + DriveInfo.manufacturer});
    PrintLine({L"Drive Model: " + DriveInfo.model});
    PrintLine({L"Drive Capacity: " + DriveInfo.capacityText});
    PrintLine({StorageText(summary.storage)});
    PrintLine({L"I/O: " + std::wstring(IoBackendName())});
    if (summary.sustained) return;
    PrintLine({L"Passes: " + DecimalText(summary.passCount) + L", test size: " +
               DecimalText(summary.testSizeMiB) + L" MiB"});
}

void TellFolderAttributes(Watch& watch, const std::wstring& folder) {
    const FolderNotes notes = FolderAttributeNotes(folder);
    if (!notes.note.empty()) PrintLine({notes.note});
    if (!notes.warning.empty()) Warn(watch.summary, notes.warning);
}

std::wstring ProfilesText(const std::vector<Profile>& profiles) {
    std::wstring names;
    for (const Profile& profile : profiles) names += (names.empty() ? L"" : L", ") + std::wstring(profile.name);
    return (profiles.size() > 1 ? L"Profiles: " : L"Profile: ") + names;
}

void StartSummary(Watch& watch, const CliOptions& options) {
    RunSummary& summary = watch.summary;
    summary.folder = BenchmarkFolder();
    summary.passCount = options.passCount;
    summary.testSizeMiB = options.testSizeMiB;
    summary.sustained = options.sustained;
    summary.origin = OriginNow(options.label);
    GatherDriveTexts(summary.folder);
    summary.storage = ProbeStorage(summary.folder);
    PrintSettings(summary);
    PrintLine({ProfilesText(options.profiles)});
    for (const std::wstring& warning : StorageWarnings(summary.folder, summary.storage))
        Warn(watch.summary, warning);
    TellFolderAttributes(watch, summary.folder);
}

void TellWriteDepth(RunSummary& summary) {
    if (!summary.result.writeDepthNote.empty()) Warn(summary, summary.result.writeDepthNote);
}

// A stopped run's report is deleted, but not a stopped sustained write's; a
// report that could not be created is not there.
void FinishSummary(RunSummary& summary) {
    if (summary.result.stopped && !summary.sustained) return;
    if (ReportPath.empty()) return;
    if (Platform.GetFileAttributesW(ReportPath.c_str()) != INVALID_FILE_ATTRIBUTES)
        summary.reportPath = ReportPath;
}

// The run's document beside its report, for comparisons later: same name,
// ".json". Only a run that left its report leaves it.
void KeepDocument(RunSummary& summary) {
    const std::wstring& report = summary.reportPath;
    const size_t dot = report.rfind(L'.');
    if (report.empty() || dot == std::wstring::npos) return;
    const std::wstring path = report.substr(0, dot) + L".json";
    const std::string why = WriteWholeFile(path, JsonDocument(summary));
    if (!why.empty()) Warn(summary, L"the run's JSON " + path + L" " + WideFromUtf8(why));
}


// One profile's whole run, as the window would run it; what it gave.
RunSummary RunProfile(const RunSummary& settings, const Profile& profile, bool named) {
    Watch watch;
    watch.summary = settings;
    watch.summary.profile = &profile;
    watch.summary.origin.startedAt = IsoUtcText(std::chrono::system_clock::now());
    CurrentRun.profile = &profile;
    if (named) PrintLine({L"Profile " + std::wstring(profile.name)});
    PrintLine({InProgressStatusText});
    std::thread worker(BenchmarkThread, std::cref(ConsoleSink));
    FollowRun(watch);
    worker.join();
    watch.summary.result = CurrentRun.result;
    TellWriteDepth(watch.summary);
    FinishSummary(watch.summary);
    KeepDocument(watch.summary);
    PrintLine(OutcomeLine(watch.summary.result));
    if (!watch.summary.reportPath.empty()) PrintLine({L"Report: " + watch.summary.reportPath});
    return watch.summary;
}

// The sustained write instead of the profiles' passes; what it gave. A
// folder with too little room ends it before anything is written.
RunSummary RunSustained(const RunSummary& settings, const CliOptions& options) {
    RunSummary summary = settings;
    if (ChooseSustainedLimit(summary, options)) {
        PrintLine({InProgressStatusText});
        FollowSustainedWrite(summary);
        TellWriteDepth(summary);
        FinishSummary(summary);
        KeepDocument(summary);
    }
    PrintLine(OutcomeLine(summary.result, false));
    if (!summary.reportPath.empty()) PrintLine({L"Report: " + summary.reportPath});
    return summary;
}

}  // namespace

void Warn(RunSummary& summary, const std::wstring& warning) {
    summary.warnings.push_back(warning);
    PrintLine({L"Warning: " + warning, true});
}

int RunFromConsole(const CliOptions& options) {
    // From here on, whatever ends the process from outside is a stop.
    InstallStopHandlers();
    OpenConsoleOutput(options.json);
    RecoverCrashedRun();
    ResetReportWriter();
    Watch settings;
    StartSummary(settings, options);
    Storage = settings.summary.storage;
    CurrentRun.folder = settings.summary.folder;
    CurrentRun.passCount = options.passCount;
    CurrentRun.testSizeMiB = options.testSizeMiB;
    const bool several = options.profiles.size() > 1;
    std::vector<RunSummary> runs;
    if (options.sustained) {
        runs.push_back(RunSustained(settings.summary, options));
    } else {
        for (const Profile& profile : options.profiles) {
            runs.push_back(RunProfile(settings.summary, profile, several));
            // A stop or a failure ends the whole series.
            if (runs.back().result.stopped || !runs.back().result.errorText.empty()) break;
        }
    }
    MarkRunEnded();
    if (several) {
        for (const std::wstring& line : ProfileTableLines(runs)) PrintLine({line});
    }
    if (options.json) PrintDocument(several ? RunsDocument(runs) : JsonDocument(runs.front()));
    return OutcomeExitCode(runs.back().result, StopRequested.load(std::memory_order_relaxed));
}
