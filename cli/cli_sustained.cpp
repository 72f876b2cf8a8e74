#include "cli/cli_sustained.h"

#include "cli/console_output.h"
#include "cli/event_queue.h"
#include "engine/benchmark_run.h"
#include "engine/status_text.h"
#include "platform/text.h"

#include <cmath>
#include <thread>

namespace {

constexpr int64_t RedrawMs = 200;
constexpr size_t SpeedSamples = 10;       // the last 5 s
constexpr double EstimateAfterSeconds = 10.0;
constexpr size_t SamplesPerPlainLine = 20;  // off a terminal, a line every 10 s

// Written before the worker starts; the worker only reads it.
StorageInfo Storage;

bool ReadDeviceWritten(int64_t& bytes) {
    DeviceCounters counters;
    std::wstring errorText;
    if (Storage.device.empty() || !ReadStorageCounters(Storage, counters, errorText)) return false;
    bytes = counters.bytesWritten;
    return true;
}

void PostSample(const TracePoint& point) {
    ConsoleEvent event{SustainedSampleEvent};
    event.point = point;
    PostConsoleEvent(std::move(event));
}

const RunEventSink SustainedSink = {PostWorkerEvent, PostReportError};
const SustainedHooks ConsoleHooks = {ReadDeviceWritten, PostSample};

// Over the last 5 s of samples, or all of them while there are fewer.
double RecentMBps(const std::vector<TracePoint>& trace) {
    if (trace.empty()) return 0.0;
    const size_t back = std::min(SpeedSamples, trace.size());
    const TracePoint& last = trace.back();
    const TracePoint before = back == trace.size() ? TracePoint{} : trace[trace.size() - back - 1];
    const double seconds = last.seconds - before.seconds;
    return seconds > 0.0 ? static_cast<double>(last.bytes - before.bytes) / (seconds * 1e6) : 0.0;
}

// False once the write has ended.
bool TakeEvent(RunSummary& summary, const ConsoleEvent& event, std::vector<TracePoint>& seen) {
    if (event.event == ReportErrorEvent) Warn(summary, event.text);
    if (event.event == SustainedSampleEvent) {
        seen.push_back(event.point);
        const std::wstring text = SustainedProgressText(seen, summary.trace.limitBytes);
        if (ProgressShown()) ShowProgress(text);
        if (!ProgressShown() && seen.size() % SamplesPerPlainLine == 0) PrintLine({text});
    }
    return event.event != RunFinishedEvent;
}

}  // namespace

bool ChooseSustainedLimit(RunSummary& summary, const CliOptions& options) {
    summary.sustained = true;
    std::wstring errorText;
    summary.trace.limitBytes = SustainedLimitBytes(options.sustainedSize, summary.folder,
                                                   summary.storage.fileSystem, errorText);
    summary.result.errorText = errorText;
    if (!errorText.empty()) return false;
    const bool stopOnceHeld = options.sustainedSize.gib == 0 && options.sustainedSize.percent == 0;
    CurrentSustained = SustainedRecord{};
    CurrentSustained.folder = summary.folder;
    CurrentSustained.stopOnceHeld = stopOnceHeld;
    CurrentSustained.sustained.limitBytes = summary.trace.limitBytes;
    PrintLine({SustainedLimitLine(summary.trace.limitBytes, stopOnceHeld)});
    return true;
}

void FollowSustainedWrite(RunSummary& summary) {
    Storage = summary.storage;
    std::thread worker(SustainedThread, std::cref(SustainedSink), std::cref(ConsoleHooks));
    std::vector<TracePoint> seen;
    while (true) {
        ConsoleEvent event;
        if (TakeConsoleEvent(event, RedrawMs) && !TakeEvent(summary, event, seen)) break;
        if (ProgressShown() && IsStopRequested()) ShowProgress(StoppingStatusText);
    }
    EndProgress();
    worker.join();
    summary.trace = CurrentSustained.sustained;
    summary.ending = CurrentSustained.ending;
    summary.result = CurrentSustained.result;
    for (const std::wstring& line : SustainedResultLines(summary.trace)) PrintLine({line});
}

std::wstring SustainedLimitLine(int64_t limitBytes, bool stopOnceHeld) {
    return L"Sustained write: at most " + GiBText(limitBytes) + L" GiB" +
           (stopOnceHeld ? L", ending once a drop has held for 30 s" : L"");
}

std::wstring SustainedProgressText(const std::vector<TracePoint>& trace, int64_t limitBytes) {
    const TracePoint last = trace.empty() ? TracePoint{} : trace.back();
    const double mbps = RecentMBps(trace);
    std::wstring text = L"Written " + GiBText(last.bytes) + L" of " + GiBText(limitBytes) +
                        L" GiB, " + FormatTwoDecimals(mbps) + L" MB/s";
    if (last.seconds < EstimateAfterSeconds || mbps <= 0.0) return text;
    const double left = static_cast<double>(limitBytes - last.bytes) / (mbps * 1e6);
    return text + L", about " + DecimalText(std::llround(std::max(0.0, left))) + L" s left";
}

std::vector<std::wstring> SustainedResultLines(const SustainedTrace& sustained) {
    std::vector<std::wstring> lines;
    int64_t n = 0;
    for (const Plateau& plateau : sustained.findings.plateaus) {
        lines.push_back(L"Plateau " + DecimalText(++n) + L": " + GiBText(plateau.fromBytes) +
                        L" to " + GiBText(plateau.toBytes) + L" GiB, " +
                        FormatTwoDecimals(plateau.medianMBps) + L" MB/s");
    }
    lines.push_back(L"Sustained write: " + sustained.conclusion);
    lines.push_back(L"Lowest 5 s: " + FormatTwoDecimals(sustained.findings.lowest5sMBps) + L" MB/s");
    return lines;
}
