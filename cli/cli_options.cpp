#include "cli/cli_options.h"

#include "cli/cli_parse.h"

#include "platform/platform.h"
#include "platform/text.h"

#include <algorithm>
#include <memory>

namespace {

struct SizeOption {
    const char* text;
    int64_t mebibytes;
};

constexpr SizeOption SizeOptions[] = {
    {"256MiB", 256},  {"512MiB", 512},    {"1GiB", 1024},    {"2GiB", 2048},   {"4GiB", 4096},
    {"8GiB", 8192},   {"16GiB", 16384},   {"32GiB", 32768},  {"64GiB", 65536},
};

// The option's texts as given; checked and turned into settings after parsing.
struct RawOptions {
    std::string passes;
    std::string size;
    std::string sustained;
    std::string folder;
    std::string label;
    std::vector<std::string> profiles;
};

constexpr int64_t MostSustainedGiB = 1'000'000;

// "3GiB" (whole GiB) or "80%" (1 to 100); false for anything else.
bool ParseSustainedSize(const std::string& text, SustainedSize& size) {
    const bool percent = text.size() >= 2 && text.back() == '%';
    const bool gib = text.size() >= 4 && text.compare(text.size() - 3, 3, "GiB") == 0;
    const std::string digits = text.substr(0, text.size() - (percent ? 1 : gib ? 3 : 0));
    if ((!percent && !gib) || digits.empty() || digits.size() > 7 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const int64_t value = std::stoll(digits);
    if (percent && value > 100) return false;
    if (gib && value > MostSustainedGiB) return false;
    size = percent ? SustainedSize{0, value} : SustainedSize{value, 0};
    return true;
}

std::string CheckSustainedSize(const std::string& text) {
    SustainedSize size;
    if (ParseSustainedSize(text, size)) return {};
    return "takes a whole number of GiB (3GiB) or a share of the free space (80%), not " + text;
}

std::string SizeList() {
    std::string sizes;
    for (const SizeOption& size : SizeOptions) sizes += (sizes.empty() ? "" : ", ") + std::string(size.text);
    return sizes;
}

const Profile* ProfileNamed(const std::string& name) {
    for (const Profile& profile : Profiles) {
        if (CLI::detail::to_lower(name) == CLI::detail::to_lower(profile.option)) return &profile;
    }
    return nullptr;
}

std::string ProfileList() {
    std::string names;
    for (const Profile& profile : Profiles) names += std::string(profile.option) + ", ";
    return names + "all";
}

bool IsAll(const std::string& name) {
    return CLI::detail::to_lower(name) == "all";
}

std::string CheckProfile(const std::string& name) {
    if (IsAll(name) || ProfileNamed(name) != nullptr) return {};
    return "unknown profile " + name + "; the profiles are " + ProfileList();
}

std::string CheckPassCount(const std::string& text) {
    if (text.size() == 1 && text[0] >= '1' && text[0] <= '7') return {};
    return "takes 1 to 7, not " + text;
}

std::string CheckTestSize(const std::string& text) {
    const auto known = [&text](const SizeOption& size) { return text == size.text; };
    if (std::any_of(std::begin(SizeOptions), std::end(SizeOptions), known)) return {};
    return "unknown test size " + text;
}

// The one description of the command line: parsing and --help both use it.
std::unique_ptr<CLI::App> DescribeOptions(CliOptions& options, RawOptions& raw) {
    auto app = NewApp(
        "Measures how fast the storage under FOLDER (default: the current folder) reads and\n"
        "writes, checked against the byte counters of the device that holds it.",
        "corvasta-cli");
    app->add_option("FOLDER", raw.folder, "the folder to benchmark (default: the current folder)");
    app->add_option("--passes", raw.passes, "counted passes per phase, 1 to 7 (default 4)")
        ->type_name("N")
        ->check(CLI::Validator(CheckPassCount, ""));
    app->add_option("--size", raw.size, "test file size: " + SizeList() + " (default 2GiB)")
        ->type_name("S")
        ->check(CLI::Validator(CheckTestSize, ""));
    CLI::Option* sustained = app->add_option(
        "--sustained", raw.sustained,
        "write until SIZE is written and chart the speed: SIZE is a whole\n"
        "number of GiB (3GiB) or a share of the free space (80%); without\n"
        "it three quarters of the free space, ending once a drop has held 30 s")
        ->type_name("[SIZE]")
        ->expected(0, 1)
        ->check(CLI::Validator(CheckSustainedSize, ""));
    CLI::Option* profile = app->add_option("--profile", raw.profiles,
                    "what to measure, one or more of " + ProfileList() +
                        ",\nin the order given, each a run of its own with its own report\n"
                        "(default SEQ1M-Q8T1: 1 MiB requests in order, eight in flight;\n"
                        "RND4K: 4 KiB requests at random places)")
        ->type_name("P[,P...]")
        ->delimiter(',')
        ->check(CLI::Validator(CheckProfile, ""));
    // The sustained write has one shape, SEQ1M Q8T1.
    sustained->excludes(profile);
    app->add_option("--label", raw.label,
                    "names the run in its JSON and in comparisons (default: the host's name)")
        ->type_name("TEXT");
    app->add_flag("--json", options.json,
                  "print one JSON document on standard output at the end;\n"
                  "the progress lines then go to standard error");
    app->add_flag("-h,--help", options.help, "show this text");
    app->add_flag("--version", options.version, "show the version and the I/O backend");
    app->footer("corvasta-cli compare INPUT... compares runs; corvasta-cli compare --help tells how.");
    return app;
}

void TakeRawOptions(const RawOptions& raw, CliOptions& options) {
    if (!raw.passes.empty()) options.passCount = raw.passes[0] - '0';
    for (const SizeOption& size : SizeOptions) {
        if (raw.size == size.text) options.testSizeMiB = size.mebibytes;
    }
    options.folder = WideFromUtf8(raw.folder);
    options.label = WideFromUtf8(raw.label);
    if (!raw.sustained.empty()) ParseSustainedSize(raw.sustained, options.sustainedSize);
    if (raw.profiles.empty()) return;
    options.profiles.clear();
    for (const std::string& name : raw.profiles) {
        if (!IsAll(name)) {
            options.profiles.push_back(ProfileNamed(name));
            continue;
        }
        for (const Profile& profile : Profiles) options.profiles.push_back(&profile);
    }
}

}  // namespace

bool ParseCliOptions(const std::vector<std::wstring>& arguments, CliOptions& options,
                     std::wstring& errorText) {
    options = CliOptions{};
    RawOptions raw;
    const std::unique_ptr<CLI::App> app = DescribeOptions(options, raw);
    if (!ParseArguments(*app, arguments, errorText)) return false;
    TakeRawOptions(raw, options);
    options.sustained = app->count("--sustained") > 0;
    return true;
}

std::wstring CliUsageText() {
    CliOptions options;
    RawOptions raw;
    return UsageText(*DescribeOptions(options, raw));
}

std::wstring CliVersionText() {
    return L"corvasta-cli " + WideFromUtf8(CORVASTA_VERSION) + L"\nBuild: " + WideFromUtf8(CORVASTA_LINKAGE) +
           L"\nI/O: " + IoBackendName();
}
