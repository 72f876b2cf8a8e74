#include "cli/cli_events.h"

#include "engine/status_text.h"
#include "platform/text.h"

namespace {

std::wstring SpeedText(double mbps) {
    return FormatTwoDecimals(mbps) + L" MB/s";
}

}  // namespace

ConsoleLine EventLine(int64_t event, int64_t data, const RunRecord& run) {
    if (event == CountdownEvent) return {CountdownStatusText(data)};
    if (event != PassDoneEvent) return {};
    const std::wstring status = PassStatusText(run.livePhase, run.livePass, run.passCount);
    if (status.empty()) return {};
    const double speed = run.livePhase == 1 ? run.liveReadMBps : run.liveWriteMBps;
    return {status + L"  " + SpeedText(speed)};
}

ConsoleLine OutcomeLine(const RunResult& result) {
    if (result.stopped) return {StoppedStatusText};
    if (!result.errorText.empty()) return {ErrorStatusText(result.errorText), true};
    return {std::wstring(CompletedStatusText) + L"\nBest read " + SpeedText(result.bestReadMBps) +
            L", best write " + SpeedText(result.bestWriteMBps)};
}

int OutcomeExitCode(const RunResult& result) {
    if (result.stopped) return 130;
    return result.errorText.empty() ? 0 : 1;
}
