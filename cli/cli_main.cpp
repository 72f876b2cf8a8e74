// corvasta-cli: benchmarks the current folder like the window does and prints
// the progress the window's status line would show.
#include "cli/cli_events.h"
#include "cli/cli_options.h"
#include "drive/drive_info.h"
#include "engine/benchmark_run.h"
#include "engine/run_names.h"
#include "engine/status_text.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "report/report.h"

#ifndef _WIN32
#include "platform/linux/linux_drive.h"
#endif

#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

namespace {

std::mutex OutputLock;

// One whole line per call, so the worker's lines never mix with others.
void PrintLine(const ConsoleLine& line) {
    const std::string bytes = Utf8FromWide(line.text) + "\n";
    const std::lock_guard<std::mutex> hold(OutputLock);
    FILE* stream = line.toStandardError ? stderr : stdout;
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::fflush(stream);
}

void PostToConsole(int64_t event, int64_t data) {
    const ConsoleLine line = EventLine(event, data, CurrentRun);
    if (!line.text.empty()) PrintLine(line);
}

void ShowReportErrorOnConsole(const std::wstring& message) {
    PrintLine({message, true});
}

#ifdef _WIN32
BOOL WINAPI OnConsoleControl(DWORD kind) {
    if (kind != CTRL_C_EVENT && kind != CTRL_BREAK_EVENT) return FALSE;
    StopRequested.store(1, std::memory_order_relaxed);
    return TRUE;
}

void InstallStopHandler() {
    SetConsoleOutputCP(CP_UTF8);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
#else
// Only the lock-free atomic is touched here, which a signal handler may do.
void OnInterrupt(int) {
    StopRequested.store(1, std::memory_order_relaxed);
}

void InstallStopHandler() {
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    // Calls the stop interrupts carry on rather than fail.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}
#endif

void GatherDriveTexts(const std::wstring& folder) {
    GatherDriveInfo(folder);
#ifndef _WIN32
    // A Linux path has no drive designator; the disk is found through sysfs.
    if (DriveDesignatorOf(folder).empty()) GatherLinuxDriveInfo(folder);
#endif
}

void PrintSettings(const std::wstring& folder, const CliOptions& options) {
    PrintLine({ProgramTitle});
    PrintLine({L"Benchmark Folder: " + folder});
    PrintLine({L"Drive Manufacturer: " + DriveInfo.manufacturer});
    PrintLine({L"Drive Model: " + DriveInfo.model});
    PrintLine({L"Drive Capacity: " + DriveInfo.capacityText});
    PrintLine({L"I/O: " + std::wstring(IoBackendName())});
    PrintLine({L"Passes: " + DecimalText(options.passCount) + L", test size: " +
               DecimalText(options.testSizeMiB) + L" MiB"});
}

int RunFromConsole(const CliOptions& options) {
    RecoverCrashedRun();
    ResetReportWriter();
    const std::wstring folder = BenchmarkFolder();
    GatherDriveTexts(folder);
    PrintSettings(folder, options);
    CurrentRun.folder = folder;
    CurrentRun.passCount = options.passCount;
    CurrentRun.testSizeMiB = options.testSizeMiB;
    StopRequested.store(0, std::memory_order_relaxed);
    InstallStopHandler();
    PrintLine({InProgressStatusText});
    static const RunEventSink sink = {PostToConsole, ShowReportErrorOnConsole};
    std::thread worker(BenchmarkThread, std::cref(sink));
    worker.join();
    PrintLine(OutcomeLine(CurrentRun.result));
    const bool reportLeft = !CurrentRun.result.stopped &&
                            Platform.GetFileAttributesW(ReportPath.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (reportLeft) PrintLine({L"Report: " + ReportPath});
    return OutcomeExitCode(CurrentRun.result);
}

int RunCli(const std::vector<std::wstring>& arguments) {
    CliOptions options;
    std::wstring errorText;
    if (!ParseCliOptions(arguments, options, errorText)) {
        PrintLine({L"corvasta-cli: " + errorText + L"\n" + CliUsageText(), true});
        return 2;
    }
    if (options.help || options.version) {
        PrintLine({options.help ? CliUsageText() : CliVersionText()});
        return 0;
    }
    return RunFromConsole(options);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    return RunCli(std::vector<std::wstring>(argv + 1, argv + argc));
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(WideFromUtf8(argv[i]));
    return RunCli(arguments);
}
#endif
