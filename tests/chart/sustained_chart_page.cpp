// Writes the sustained-write report of a scripted trace into the folder it is
// given, for the chart's rendering test: 400 MB/s for 10 s, then 100 MB/s for
// 60 s, so the step lies at 40% of the bytes and the levels are 4 to 1.
#include "engine/sustained_analysis.h"
#include "platform/text.h"
#include "report/report.h"
#include "report/sustained_report.h"

#include <cstdio>

namespace {

SustainedTrace ScriptedTrace() {
    SustainedTrace sustained;
    int64_t bytes = 0;
    for (int n = 1; n <= 140; ++n) {
        const double mbps = n <= 20 ? 400.0 : 100.0;
        bytes += static_cast<int64_t>(mbps * 500'000.0);
        sustained.trace.push_back({n * TraceIntervalSeconds, bytes, mbps, -1});
    }
    sustained.limitBytes = bytes;
    sustained.findings = AnalyseTrace(sustained.trace);
    sustained.conclusion = ConclusionText(sustained.findings, bytes);
    return sustained;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sustained_chart_page FOLDER\n");
        return 2;
    }
    const SustainedTrace sustained = ScriptedTrace();
    const std::wstring folder = JoinPath(WideFromUtf8(argv[1]), L"");
    if (OpenReport(folder, SustainedReportType, SustainedSizeText(sustained.limitBytes)).empty()) {
        std::fprintf(stderr, "cannot create the report in %s\n", argv[1]);
        return 1;
    }
    WriteSustainedHeader(folder, sustained.limitBytes);
    FinishSustainedReport(sustained, RunResult{});
    std::printf("%s\n", PathBytesFromWide(ReportPath).c_str());
    return 0;
}
