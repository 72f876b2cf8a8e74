#include "cli/cli_text.h"

#include "engine/status_text.h"
#include "platform/text.h"

#include <cmath>

namespace {

std::wstring SpeedText(double mbps) {
    return FormatTwoDecimals(mbps) + L" MB/s";
}

std::wstring IopsText(double iops) {
    return GroupedWholeText(iops) + L" IOPS";
}

std::wstring LatencyText(const LatencySummary& latency) {
    return L"p50 " + FormatTwoDecimals(latency.p50) + L" us  p99 " +
           FormatTwoDecimals(latency.p99) + L" us";
}

// The best pass of a phase: the one whose speed is the phase's result.
const PassRecord* BestPass(const std::vector<PassRecord>& records) {
    const PassRecord* best = nullptr;
    for (const PassRecord& record : records) {
        if (best == nullptr || record.mbps > best->mbps) best = &record;
    }
    return best;
}

// Up to "SEQ512K Q256T64" and a space.
constexpr size_t NameWidth = 16;

std::wstring RightAligned(const std::wstring& text, size_t width) {
    return text.size() >= width ? text : std::wstring(width - text.size(), L' ') + text;
}

// Speed, IOPS and p99 of a phase's best pass; dashes when it has none.
std::wstring PhaseCells(const std::vector<PassRecord>& records) {
    const PassRecord* best = BestPass(records);
    if (best == nullptr) return RightAligned(L"-", 12) + RightAligned(L"-", 13) + RightAligned(L"-", 13);
    return RightAligned(FormatTwoDecimals(best->mbps), 12) +
           RightAligned(GroupedWholeText(PassIops(*best)), 13) +
           RightAligned(FormatTwoDecimals(best->latency.p99), 13);
}

std::wstring DeviceText(const PassRecord& record) {
    if (!record.deviceCounted) return L"device counters not available";
    // One decimal is enough to tell a device from a cache.
    const std::wstring percent = FormatTwoDecimals(record.deviceShare * 100.0);
    return L"device " + percent.substr(0, percent.size() - 1) + L"%";
}

}  // namespace

std::wstring PassLine(int isWrite, const PassRecord& record, int64_t passCount,
                      const Profile& profile) {
    std::wstring line = PassStatusText(isWrite ? 2 : 1, record.pass, passCount) + L"  " +
                        SpeedText(record.mbps) + L"  ";
    if (profile.shape.requestBytes < BlockBytes) line += IopsText(PassIops(record)) + L"  ";
    return line + LatencyText(record.latency) + L"  " + DeviceText(record);
}

double PassIops(const PassRecord& record) {
    return RequestsPerSecond(record.requests, record.ms);
}

std::vector<std::wstring> ProfileTableLines(const std::vector<RunSummary>& runs) {
    std::wstring head = L"Profile";
    head.resize(NameWidth, L' ');
    head += RightAligned(L"Threads", 8) + RightAligned(L"Depth", 6);
    for (const wchar_t* phase : {L"Read", L"Write"}) {
        head += RightAligned(phase + std::wstring(L" MB/s"), 12) +
                RightAligned(phase + std::wstring(L" IOPS"), 13) +
                RightAligned(phase + std::wstring(L" p99 us"), 13);
    }
    std::vector<std::wstring> lines = {head};
    for (const RunSummary& run : runs) {
        std::wstring name = run.profile->name;
        name.resize(NameWidth, L' ');
        lines.push_back(name + RightAligned(DecimalText(run.profile->threads), 8) +
                        RightAligned(DecimalText(run.profile->shape.depth), 6) +
                        PhaseCells(run.read) + PhaseCells(run.write));
    }
    return lines;
}

ConsoleLine OutcomeLine(const RunResult& result, bool withSpeeds) {
    if (result.stopped) return {StoppedStatusText};
    if (!result.errorText.empty()) return {ErrorStatusText(result.errorText), true};
    if (!withSpeeds) return {CompletedStatusText};
    return {std::wstring(CompletedStatusText) + L"\nBest read " + SpeedText(result.bestReadMBps) +
            L", best write " + SpeedText(result.bestWriteMBps)};
}

int OutcomeExitCode(const RunResult& result, int64_t stopCause) {
    if (result.stopped) return 128 + static_cast<int>(stopCause);
    return result.errorText.empty() ? 0 : 1;
}

std::wstring PassStepText(int isWrite, int64_t pass, int64_t passCount) {
    const std::wstring phase = isWrite ? L"Write" : L"Read";
    if (pass == 0) return phase + L", warm-up";
    return phase + L", pass " + DecimalText(pass) + L" of " + DecimalText(passCount);
}

std::wstring ProgressText(const Progress& progress) {
    std::wstring text = progress.step;
    if (progress.secondsLeft >= 0.0) {
        const auto seconds = static_cast<int64_t>(std::ceil(progress.secondsLeft));
        text += L", " + DecimalText(seconds) + L" s left";
    }
    if (progress.haveLastPass) text += L", last pass " + SpeedText(progress.lastPassMBps);
    return text;
}
