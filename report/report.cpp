#include "report/report.h"

#include "drive/drive_info.h"
#include "platform/own_file.h"
#include "platform/text.h"

#include <initializer_list>

HANDLE ReportFile = INVALID_HANDLE_VALUE;
std::wstring ReportPath;

namespace {

constexpr const wchar_t* TableOpen =
    L"<table align=\"center\" width=\"600\" border=\"1\" cellspacing=\"0\" cellpadding=\"4\">";
constexpr int InfoWidth = 250;
constexpr int64_t PassSeconds = 5;

bool ReportOpen() {
    return ReportFile != INVALID_HANDLE_VALUE;
}

// Each line goes to the file at once, so a crash leaves everything written so far.
void WriteLine(const std::wstring& line) {
    if (!ReportOpen()) return;
    const std::string bytes = Utf8FromWide(line) + "\r\n";
    DWORD written = 0;
    Platform.WriteFile(ReportFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr);
}

void WriteLines(std::initializer_list<const wchar_t*> lines) {
    for (const wchar_t* line : lines) WriteLine(line);
}

void FlushReport() {
    if (ReportOpen()) Platform.FlushFileBuffers(ReportFile);
}

void CloseReport() {
    Platform.CloseHandle(ReportFile);
    ReportFile = INVALID_HANDLE_VALUE;
}

std::wstring Padded(int value, size_t digits) {
    std::wstring text = DecimalText(value);
    if (text.size() < digits) text.insert(0, digits - text.size(), L'0');
    return text;
}

}  // namespace

std::wstring DateText(const SYSTEMTIME& t, const wchar_t* separator) {
    return Padded(t.wDay, 2) + separator + Padded(t.wMonth, 2) + separator + Padded(t.wYear, 4);
}

std::wstring TimeText(const SYSTEMTIME& t, const wchar_t* separator) {
    return Padded(t.wHour, 2) + separator + Padded(t.wMinute, 2) + separator +
           Padded(t.wSecond, 2);
}

namespace {

HANDLE CreateReportFile(const std::wstring& path) {
    HANDLE file = CreateOwnFile(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (file != INVALID_HANDLE_VALUE) return file;
    const DWORD firstError = Platform.GetLastError();
    file = CreateOwnFile(path.c_str(), GENERIC_WRITE, 0, TRUNCATE_EXISTING);
    // With no file to truncate the retry only says "not found"; the user needs
    // the reason the creation itself failed.
    if (file == INVALID_HANDLE_VALUE && Platform.GetLastError() == ERROR_FILE_NOT_FOUND)
        Platform.SetLastError(firstError);
    return file;
}

void WriteInfoRows(int64_t passCount, int64_t testSizeMiB, const std::wstring& folder,
                   const Profile& profile) {
    SYSTEMTIME now{};
    Platform.GetLocalTime(&now);
    WriteInfoRow(L"DATE", DateText(now, L"/"), InfoWidth);
    WriteInfoRow(L"TIME", TimeText(now, L":"), InfoWidth);
    WriteInfoRow(L"BENCHMARK TYPE", profile.name, InfoWidth);
    if (!IsWindowProfile(profile)) {
        WriteInfoRow(L"THREADS", DecimalText(profile.threads), InfoWidth);
        WriteInfoRow(L"QUEUE DEPTH", DecimalText(profile.shape.depth) + L" per thread", InfoWidth);
    }
    WriteInfoRow(L"PASSES", DecimalText(passCount), InfoWidth);
    WriteInfoRow(L"TEST SIZE", DecimalText(testSizeMiB) + L" MiB", InfoWidth);
    WriteInfoRow(L"PATH", folder, InfoWidth);
    WriteInfoRow(L"MEASUREMENT WINDOW",
                 L"About " + DecimalText(PassSeconds) + L" seconds per pass", InfoWidth);
    WriteInfoRow(L"MANUFACTURER", DriveInfo.manufacturer, InfoWidth);
    WriteInfoRow(L"MODEL", DriveInfo.model, InfoWidth);
    WriteInfoRow(L"CAPACITY", DriveInfo.capacityText, InfoWidth);
    WriteInfoRow(L"BENCHMARK FOLDER", DriveInfo.programFolder, InfoWidth);
}

std::wstring ResultRow(const wchar_t* benchmark, double speedMBps) {
    return std::wstring(L"<tr><td width='50%' align='center'><b>") + benchmark +
           L"</b></td><td width='50%' align='center'><b>" + FormatTwoDecimals(speedMBps) +
           L" MB/s</b></td></tr>";
}

// A row of bold centred cells.
std::wstring Cells(std::initializer_list<std::wstring> cells) {
    std::wstring row = L"<tr>";
    for (const std::wstring& cell : cells) row += L"<td align=\"center\"><b>" + cell + L"</b></td>";
    return row + L"</tr>";
}

std::wstring MicrosText(double micros) {
    return FormatTwoDecimals(micros) + L" us";
}

std::wstring IopsText(double iops) {
    return GroupedWholeText(iops) + L" IOPS";
}

std::wstring ProfileResultRow(const wchar_t* benchmark, double speedMBps, const BestPass& best) {
    return Cells({benchmark, FormatTwoDecimals(speedMBps) + L" MB/s", IopsText(best.iops),
                  MicrosText(best.p50), MicrosText(best.p99)});
}

void WriteResultRows(const RunResult& result, const Profile& profile) {
    if (IsWindowProfile(profile)) {
        WriteLine(L"<tr><th width='50%'>BENCHMARK</th><th width='50%'>SPEED</th></tr>");
        WriteLine(ResultRow(ReadResultName(profile), result.bestReadMBps));
        WriteLine(ResultRow(WriteResultName(profile), result.bestWriteMBps));
        return;
    }
    WriteLine(L"<tr><th>BENCHMARK</th><th>SPEED</th><th>IOPS</th><th>P50</th><th>P99</th></tr>");
    WriteLine(ProfileResultRow(ReadResultName(profile), result.bestReadMBps, result.bestRead));
    WriteLine(ProfileResultRow(WriteResultName(profile), result.bestWriteMBps, result.bestWrite));
}

void WriteOutcome(const RunResult& result, const Profile& profile) {
    if (!result.errorText.empty()) {
        WriteLine(L"<h2>ERROR</h2>");
        WriteLine(L"<p><b>" + EscapeHtml(result.errorText) + L"</b></p>");
        return;
    }
    WriteLines({L"<h3>RESULT</h3>", TableOpen});
    WriteResultRows(result, profile);
    WriteLines({L"</table>", L"<br>"});
    // A write figure labelled with more in flight than the system allowed says so.
    if (!result.writeDepthNote.empty()) WriteLine(L"<p><b>" + EscapeHtml(result.writeDepthNote) + L"</b></p>");
}

// The window's heading, and one that says so for a random profile.
const wchar_t* Heading(const Profile& profile) {
    return profile.shape.random ? L"<h2>Random Path Benchmark</h2>"
                                : L"<h2>Sequential Path Benchmark</h2>";
}

void WritePassHeader(const Profile& profile, const wchar_t* windowHeader) {
    if (IsWindowProfile(profile)) {
        WriteLine(windowHeader);
        return;
    }
    WriteLine(L"<tr><th>PASS</th><th>SPEED</th><th>IOPS</th><th>P50</th><th>P99</th>"
              L"<th>BENCHMARK TIME</th></tr>");
}

}  // namespace

void WriteReportLine(const std::wstring& line) {
    WriteLine(line);
}

void EndReport() {
    if (!ReportOpen()) return;
    FlushReport();
    CloseReport();
}

void ResetReportWriter() {
    ReportFile = INVALID_HANDLE_VALUE;
}

std::wstring OpenReport(const std::wstring& folder, const std::wstring& benchmarkType,
                        const std::wstring& sizeText) {
    SYSTEMTIME now{};
    Platform.GetLocalTime(&now);
    ReportPath = JoinPath(folder, L"corvasta_" + DateText(now, L"") + TimeText(now, L"") + L"_" +
                                      benchmarkType + L"_" + sizeText + L".html");
    ReportFile = CreateReportFile(ReportPath);
    if (!ReportOpen()) return std::wstring();
    return ReportPath;
}

void WriteReportHeader(int64_t passCount, int64_t testSizeMiB, const std::wstring& folder,
                       const Profile& profile) {
    if (!ReportOpen()) return;
    WriteLines({L"<!DOCTYPE html>", L"<html>", L"<head>", L"<meta charset=\"utf-8\">",
                L"  <link rel=\"icon\" type=\"image/x-icon\" href=\"favicon.ico\">"});
    WriteLine(std::wstring(L"<title>") + ProgramTitle + L"</title>");
    WriteLines({L"</head>", L"<body>",
                L"<table align=\"center\" width=\"600\" border=\"0\" cellspacing=\"0\" "
                L"cellpadding=\"0\">",
                L"<tr><td align=\"center\">"});
    WriteLine(std::wstring(L"<h1>") + ProgramTitle + L"</h1>");
    WriteLines({Heading(profile), L"", L"</td></tr>", L"<tr><td>", TableOpen});
    WriteInfoRows(passCount, testSizeMiB, folder, profile);
    WriteLines({L"</table>", L"</td></tr>", L"<tr><td align=\"center\">", L"<h3>READ TEST</h3>",
                TableOpen});
    WritePassHeader(profile, L"<tr><th width='33%'>PASS</th><th width='34%'>SPEED</th>"
                             L"<th width='33%'>BENCHMARK TIME</th></tr>");
}

void WriteInfoRow(const std::wstring& label, const std::wstring& value, int width) {
    WriteLine(L"<tr><td width=\"" + DecimalText(width) + L"\"><b>" + EscapeHtml(label) +
              L"</b></td><td><b>" + EscapeHtml(value) + L"</b></td></tr>");
}

void WritePassRow(int64_t n, double speedMBps, double timeMs) {
    WriteLine(L"<tr><td width=\"33%\" align=\"center\"><b>" +
              EscapeHtml(L"PASS " + DecimalText(n)) +
              L"</b></td><td width=\"34%\" align=\"center\"><b>" + FormatTwoDecimals(speedMBps) +
              L" MB/s</b></td><td width=\"33%\" align=\"center\"><b>" + FormatTwoDecimals(timeMs) +
              L" ms</b></td></tr>");
    FlushReport();
}

void WritePassFigures(const PassFigures& figures, const Profile& profile) {
    if (IsWindowProfile(profile)) {
        WritePassRow(figures.pass, figures.mbps, figures.ms);
        return;
    }
    WriteLine(Cells({EscapeHtml(L"PASS " + DecimalText(figures.pass)),
                     FormatTwoDecimals(figures.mbps) + L" MB/s",
                     IopsText(RequestsPerSecond(figures.requests, figures.ms)),
                     MicrosText(figures.latency.p50), MicrosText(figures.latency.p99),
                     FormatTwoDecimals(figures.ms) + L" ms"}));
    FlushReport();
}

void StartWriteSection(const Profile& profile) {
    WriteLines({L"</table>", L"</td></tr>", L"<tr><td align=\"center\">", L"<h3>WRITE TEST</h3>",
                TableOpen});
    WritePassHeader(profile, L"<tr><th width=\"33%\">PASS</th><th width=\"34%\">SPEED</th>"
                             L"<th width=\"33%\">BENCHMARK TIME</th></tr>");
    FlushReport();
}

void FinishReport(const RunResult& result, const Profile& profile) {
    if (!ReportOpen()) return;
    WriteLines({L"</table>", L"</td></tr>", L"<tr><td align=\"center\">"});
    WriteOutcome(result, profile);
    WriteLines({L"</td></tr>", L"</table>", L"</body>", L"</html>"});
    EndReport();
}

void DiscardReport() {
    if (!ReportOpen()) return;
    CloseReport();
    Platform.DeleteFileW(ReportPath.c_str());
}

std::wstring EscapeHtml(const std::wstring& text) {
    // One pass gives the same text as replacing "&" first, then "<", ">" and '"'.
    std::wstring out;
    out.reserve(text.size());
    for (const wchar_t c : text) {
        switch (c) {
            case L'&': out += L"&amp;"; break;
            case L'<': out += L"&lt;"; break;
            case L'>': out += L"&gt;"; break;
            case L'"': out += L"&quot;"; break;
            default: out += c; break;
        }
    }
    return out;
}

std::wstring ReportCreationFailedText(const std::wstring& folder, DWORD code) {
    return L"Impossibile creare il log HTML in:\r\n" + folder + L"\r\n\r\nErrore Windows: " +
           DecimalText(code);
}
