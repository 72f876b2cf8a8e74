// corvasta-cli: benchmarks a folder like the window does, prints the progress
// the window's status line would show, and proves its figures with the
// device's own counters.
#include "cli/cli_options.h"
#include "cli/cli_run.h"
#include "cli/compare_options.h"
#include "cli/compare_run.h"
#include "cli/console_output.h"
#include "platform/text.h"

#include <vector>

#ifdef _WIN32
#include "platform/win32/win32_long_paths.h"
#include "platform/win32/win32_system_dlls.h"
#else
#include <filesystem>
#include <system_error>
#endif

namespace {

// Marker, recovery and report then all happen in the folder, as they would
// for the window started there. Windows keeps the folder by its full path
// instead of changing directory, which would cap its length at 260.
bool EnterFolder(const std::wstring& folder) {
#ifdef _WIN32
    return UseWorkingFolder(folder);
#else
    std::error_code error;
    std::filesystem::current_path(std::filesystem::path(PathBytesFromWide(folder)), error);
    return !error;
#endif
}

int Compare(const std::vector<std::wstring>& arguments) {
    CompareOptions options;
    std::wstring errorText;
    if (!ParseCompareOptions(arguments, options, errorText)) {
        PrintLine({L"corvasta-cli compare: " + errorText + L"\n" + CompareUsageText(), true});
        return 2;
    }
    if (options.help) {
        PrintLine({CompareUsageText()});
        return 0;
    }
    return RunCompare(options);
}

int RunCliIn(const std::vector<std::wstring>& arguments) {
    if (!arguments.empty() && arguments.front() == L"compare")
        return Compare(std::vector<std::wstring>(arguments.begin() + 1, arguments.end()));
    CliOptions options;
    std::wstring errorText;
    if (!ParseCliOptions(arguments, options, errorText)) {
        PrintLine({L"corvasta-cli: " + errorText + L"\nRun with --help for more information.", true});
        return 2;
    }
    if (options.help || options.version) {
        PrintLine({options.help ? CliUsageText() : CliVersionText()});
        return 0;
    }
    if (!options.folder.empty() && !EnterFolder(options.folder)) {
        PrintLine({L"corvasta-cli: cannot enter the folder " + options.folder, true});
        return 2;
    }
    return RunFromConsole(options);
}

int RunCli(const std::vector<std::wstring>& arguments) {
    UseUtf8Console();
    const int code = RunCliIn(arguments);
    RestoreConsoleCodePage();
    return code;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
    LoadDllsFromSystem32Only();
    return RunCli(std::vector<std::wstring>(argv + 1, argv + argc));
}
#else
int main(int argc, char** argv) {
    std::vector<std::wstring> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(WideFromUtf8(argv[i]));
    return RunCli(arguments);
}
#endif
