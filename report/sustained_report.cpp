#include "report/sustained_report.h"

#include "drive/drive_info.h"
#include "platform/text.h"
#include "report/report.h"
#include "report/sustained_chart.h"

#include <cmath>

namespace {

// Styles only: the page runs no script and fetches nothing, not even an icon.
constexpr const wchar_t* PageHead[] = {
    L"<!DOCTYPE html>",
    L"<html lang=\"en\">",
    L"<head>",
    L"<meta charset=\"utf-8\">",
    L"<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">",
    L"<link rel=\"icon\" href=\"data:,\">",
};

constexpr const wchar_t* PageStyle[] = {
    L"<style>",
    L"body{font-family:sans-serif;max-width:640px;margin:0 auto;padding:8px;color:#111}",
    L"h1,h2,h3{text-align:center}",
    L"table{width:100%;border-collapse:collapse;margin:8px 0}",
    L"th,td{border:1px solid #888;padding:4px;text-align:left}",
    L"td{overflow-wrap:anywhere}",
    L"th{background:#eee}",
    L"svg{display:block;width:100%;height:auto}",
    // On a phone the chart shrinks to about half, so its labels grow to stay readable.
    L"@media (max-width:500px){svg text{font-size:20px}}",
    L"@media print{body{max-width:none}svg{break-inside:avoid}}",
    L"</style>",
};

void WriteRow(const std::wstring& label, const std::wstring& value) {
    WriteReportLine(L"<tr><th>" + EscapeHtml(label) + L"</th><td>" + EscapeHtml(value) +
                    L"</td></tr>");
}

std::wstring SecondsText(const SustainedTrace& sustained) {
    const double seconds = sustained.trace.empty() ? 0.0 : sustained.trace.back().seconds;
    return FormatTwoDecimals(seconds) + L" s";
}

int64_t WrittenBytes(const SustainedTrace& sustained) {
    return sustained.trace.empty() ? 0 : sustained.trace.back().bytes;
}

std::wstring EndingText(const RunResult& result) {
    if (result.stopped) return L"Stopped by the user";
    return result.errorText.empty() ? L"Completed" : L"Ended by an error";
}

void WriteResult(const SustainedTrace& sustained, const RunResult& result) {
    if (!result.errorText.empty()) {
        WriteReportLine(L"<h2>ERROR</h2>");
        WriteReportLine(L"<p><b>" + EscapeHtml(result.errorText) + L"</b></p>");
    }
    WriteReportLine(L"<h3>RESULT</h3>");
    WriteReportLine(L"<table>");
    WriteRow(L"ENDED", EndingText(result));
    WriteRow(L"WRITTEN", GiBText(WrittenBytes(sustained)) + L" GiB in " + SecondsText(sustained));
    WriteRow(L"CONCLUSION", sustained.conclusion);
    WriteRow(L"LOWEST 5 S SPEED", FormatTwoDecimals(sustained.findings.lowest5sMBps) + L" MB/s");
    if (result.writeDepth > 0) WriteRow(L"WRITES IN FLIGHT", DecimalText(result.writeDepth));
    if (!result.writeDepthNote.empty()) WriteRow(L"NOTE", result.writeDepthNote);
    WriteReportLine(L"</table>");
}

// The share of a plateau's bytes the device counted, where it counted all of its samples.
std::wstring DeviceShareText(const SustainedTrace& sustained, const Plateau& plateau) {
    int64_t counted = 0;
    for (size_t i = plateau.first; i <= plateau.last; ++i) {
        const int64_t bytes = sustained.trace[i].deviceBytes;
        if (bytes < 0) return L"-";
        counted += bytes;
    }
    const int64_t written = plateau.toBytes - plateau.fromBytes;
    if (written <= 0) return L"-";
    const double percent = 100.0 * static_cast<double>(counted) / static_cast<double>(written);
    return DecimalText(std::llround(percent)) + L"%";
}

void WritePlateaus(const SustainedTrace& sustained) {
    WriteReportLine(L"<h3>PLATEAUS</h3>");
    WriteReportLine(L"<table>");
    WriteReportLine(L"<tr><th>#</th><th>FROM GiB</th><th>TO GiB</th><th>MEDIAN MB/s</th>"
                    L"<th>DEVICE SAW</th></tr>");
    int64_t n = 0;
    for (const Plateau& plateau : sustained.findings.plateaus) {
        WriteReportLine(L"<tr><td>" + DecimalText(++n) + L"</td><td>" + GiBText(plateau.fromBytes) +
                        L"</td><td>" + GiBText(plateau.toBytes) + L"</td><td>" +
                        FormatTwoDecimals(plateau.medianMBps) + L"</td><td>" +
                        DeviceShareText(sustained, plateau) + L"</td></tr>");
    }
    WriteReportLine(L"</table>");
}

}  // namespace

std::wstring SustainedSizeText(int64_t limitBytes) {
    if (limitBytes % BytesPerGiB == 0) return DecimalText(limitBytes / BytesPerGiB) + L"GiB";
    return GiBText(limitBytes) + L"GiB";
}

void WriteSustainedHeader(const std::wstring& folder, int64_t limitBytes) {
    for (const wchar_t* line : PageHead) WriteReportLine(line);
    WriteReportLine(std::wstring(L"<title>") + ProgramTitle + L" sustained write</title>");
    for (const wchar_t* line : PageStyle) WriteReportLine(line);
    WriteReportLine(L"</head>");
    WriteReportLine(L"<body>");
    WriteReportLine(std::wstring(L"<h1>") + ProgramTitle + L"</h1>");
    WriteReportLine(L"<h2>Sustained Write</h2>");
    SYSTEMTIME now{};
    Platform.GetLocalTime(&now);
    WriteReportLine(L"<table>");
    WriteRow(L"DATE", DateText(now, L"/"));
    WriteRow(L"TIME", TimeText(now, L":"));
    WriteRow(L"BENCHMARK TYPE", L"SEQ1M Q8T1 sustained write");
    WriteRow(L"AT MOST", GiBText(limitBytes) + L" GiB");
    WriteRow(L"PATH", folder);
    WriteRow(L"MANUFACTURER", DriveInfo.manufacturer);
    WriteRow(L"MODEL", DriveInfo.model);
    WriteRow(L"CAPACITY", DriveInfo.capacityText);
    WriteRow(L"BENCHMARK FOLDER", DriveInfo.programFolder);
    WriteReportLine(L"</table>");
}

void FinishSustainedReport(const SustainedTrace& sustained, const RunResult& result) {
    if (ReportFile == INVALID_HANDLE_VALUE) return;
    WriteResult(sustained, result);
    WritePlateaus(sustained);
    WriteReportLine(L"<h3>MB/s OVER GiB WRITTEN</h3>");
    for (const std::wstring& line : SustainedChartSvg(sustained.trace, sustained.findings))
        WriteReportLine(line);
    WriteReportLine(L"</body>");
    WriteReportLine(L"</html>");
    EndReport();
}
