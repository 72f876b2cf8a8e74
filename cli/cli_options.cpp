#include "cli/cli_options.h"

#include "platform/platform.h"
#include "platform/text.h"

#include <iterator>

namespace {

struct SizeOption {
    const wchar_t* text;
    int64_t mebibytes;
};

constexpr SizeOption SizeOptions[] = {
    {L"256MiB", 256},  {L"512MiB", 512},    {L"1GiB", 1024},    {L"2GiB", 2048},   {L"4GiB", 4096},
    {L"8GiB", 8192},   {L"16GiB", 16384},   {L"32GiB", 32768},  {L"64GiB", 65536},
};

bool ParsePassCount(const std::wstring& text, int64_t& passCount) {
    if (text.size() != 1 || text[0] < L'1' || text[0] > L'7') return false;
    passCount = text[0] - L'0';
    return true;
}

bool ParseTestSize(const std::wstring& text, int64_t& testSizeMiB) {
    for (const SizeOption& size : SizeOptions) {
        if (text == size.text) {
            testSizeMiB = size.mebibytes;
            return true;
        }
    }
    return false;
}

// Splits "--name=value"; a bare "--name" takes the next argument as its value.
bool TakeValue(const std::vector<std::wstring>& arguments, size_t& i, const std::wstring& name,
               std::wstring& value) {
    const std::wstring& argument = arguments[i];
    if (argument.compare(0, name.size() + 1, name + L"=") == 0) {
        value = argument.substr(name.size() + 1);
        return true;
    }
    if (argument != name || i + 1 >= arguments.size()) return false;
    value = arguments[++i];
    return true;
}

void TakeFolder(const std::wstring& argument, CliOptions& options, std::wstring& errorText) {
    if (!options.folder.empty()) {
        errorText = L"one folder only, not also " + argument;
        return;
    }
    options.folder = argument;
}

bool ParseOne(const std::vector<std::wstring>& arguments, size_t& i, CliOptions& options,
              std::wstring& errorText) {
    std::wstring value;
    if (arguments[i] == L"--help" || arguments[i] == L"-h") {
        options.help = true;
    } else if (arguments[i] == L"--version") {
        options.version = true;
    } else if (TakeValue(arguments, i, L"--passes", value)) {
        if (!ParsePassCount(value, options.passCount)) errorText = L"--passes takes 1 to 7, not " + value;
    } else if (arguments[i] == L"--json") {
        options.json = true;
    } else if (TakeValue(arguments, i, L"--size", value)) {
        if (!ParseTestSize(value, options.testSizeMiB)) errorText = L"unknown test size " + value;
    } else if (arguments[i].rfind(L"-", 0) == 0) {
        errorText = L"unknown or incomplete option " + arguments[i];
    } else {
        TakeFolder(arguments[i], options, errorText);
    }
    return errorText.empty();
}

}  // namespace

bool ParseCliOptions(const std::vector<std::wstring>& arguments, CliOptions& options,
                     std::wstring& errorText) {
    options = CliOptions{};
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (!ParseOne(arguments, i, options, errorText)) return false;
    }
    return true;
}

std::wstring CliUsageText() {
    std::wstring sizes;
    for (const SizeOption& size : SizeOptions) sizes += (sizes.empty() ? L"" : L", ") + std::wstring(size.text);
    return L"Usage: corvasta-cli [FOLDER] [--passes N] [--size S] [--json] [--help] [--version]\n"
           L"Measures sequential read and write speed of the storage under FOLDER (default: the\n"
           L"current folder), checked against the byte counters of the device that holds it.\n"
           L"  --passes N  counted passes per phase, 1 to 7 (default 4)\n"
           L"  --size S    test file size: " + sizes + L" (default 2GiB)\n"
           L"  --json      print one JSON document on standard output at the end;\n"
           L"              the progress lines then go to standard error\n"
           L"  --help      show this text\n"
           L"  --version   show the version and the I/O backend";
}

std::wstring CliVersionText() {
    return L"corvasta-cli " + WideFromUtf8(CORVASTA_VERSION) + L"\nI/O: " + IoBackendName();
}
