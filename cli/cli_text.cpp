#include "cli/cli_text.h"

#include "engine/status_text.h"
#include "platform/text.h"

#include <cmath>

namespace {

std::wstring SpeedText(double mbps) {
    return FormatTwoDecimals(mbps) + L" MB/s";
}

std::wstring DeviceText(const PassRecord& record) {
    if (!record.deviceCounted) return L"device counters not available";
    // One decimal is enough to tell a device from a cache.
    const std::wstring percent = FormatTwoDecimals(record.deviceShare * 100.0);
    return L"device " + percent.substr(0, percent.size() - 1) + L"%";
}

}  // namespace

std::wstring PassLine(int isWrite, const PassRecord& record, int64_t passCount) {
    return PassStatusText(isWrite ? 2 : 1, record.pass, passCount) + L"  " +
           SpeedText(record.mbps) + L"  " + DeviceText(record);
}

ConsoleLine OutcomeLine(const RunResult& result, bool withSpeeds) {
    if (result.stopped) return {StoppedStatusText};
    if (!result.errorText.empty()) return {ErrorStatusText(result.errorText), true};
    if (!withSpeeds) return {CompletedStatusText};
    return {std::wstring(CompletedStatusText) + L"\nBest read " + SpeedText(result.bestReadMBps) +
            L", best write " + SpeedText(result.bestWriteMBps)};
}

int OutcomeExitCode(const RunResult& result) {
    if (result.stopped) return 130;
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
