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
    std::string seed;
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

std::string SetNames(const Profile* first, const Profile* last) {
    std::string names;
    for (const Profile* profile = first; profile != last; ++profile)
        names += (names.empty() ? "" : ", ") + std::string(profile->option);
    return names;
}

bool IsNamed(const std::string& given, const char* name) {
    return CLI::detail::to_lower(given) == name;
}

// The profiles a name stands for, in the order they run; none for a name
// that is no profile.
std::vector<Profile> ProfilesNamed(const std::string& name) {
    if (IsNamed(name, "all")) return {std::begin(Profiles), std::end(Profiles)};
    if (IsNamed(name, "nvme")) return {std::begin(NvmeProfiles), std::end(NvmeProfiles)};
    Profile profile;
    if (!ProfileFromName(name, profile)) return {};
    return {profile};
}

std::string UnknownProfileText(const std::string& name) {
    return "Unknown profile " + name + ": a profile is " + ProfileGrammarText +
           "; or all, or nvme";
}

// 0 to 2^53 - 1, so a JSON reader holds it exactly.
bool ParseSeed(const std::string& text, uint64_t& seed) {
    if (text.empty() || text.size() > 16 || (text.size() > 1 && text[0] == '0') ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    seed = std::stoull(text);
    return seed <= SeedMask;
}

std::string CheckSeed(const std::string& text) {
    uint64_t seed = 0;
    if (ParseSeed(text, seed)) return {};
    return "takes a whole number from 0 to 9007199254740991, not " + text;
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
                    "what to measure, one or more profiles in the order given, each a\n"
                    "run of its own with its own report. A profile is SEQ (in order)\n"
                    "or RND (at random places), the request size (512, 4K to 64M),\n"
                    "-Q and the requests in flight per thread (1 to 256), T and the\n"
                    "threads (1 to 64): SEQ128K-Q32T1, RND4K-Q32T16. Default\n"
                    "SEQ1M-Q8T1; all: " + SetNames(std::begin(Profiles), std::end(Profiles)) +
                    ";\nnvme: " + SetNames(std::begin(NvmeProfiles), std::end(NvmeProfiles)))
        ->type_name("P[,P...]")
        ->delimiter(',');
    app->add_option("--seed", raw.seed,
                    "the seed of a random profile's first counted pass (0 to\n"
                    "2^53 - 1): the run then repeats request for request; the other\n"
                    "passes' and threads' seeds derive from it (default: a fresh one\n"
                    "per pass)")
        ->type_name("N")
        ->check(CLI::Validator(CheckSeed, ""));
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

// False with errorText for a profile name that is none.
bool TakeProfiles(const RawOptions& raw, CliOptions& options, std::wstring& errorText) {
    if (raw.profiles.empty()) return true;
    options.profiles.clear();
    for (const std::string& name : raw.profiles) {
        const std::vector<Profile> named = ProfilesNamed(name);
        if (named.empty()) {
            errorText = WideFromUtf8(UnknownProfileText(name));
            return false;
        }
        options.profiles.insert(options.profiles.end(), named.begin(), named.end());
    }
    return true;
}

void TakeSeed(const RawOptions& raw, CliOptions& options) {
    uint64_t seed = 0;
    if (!ParseSeed(raw.seed, seed)) return;
    for (Profile& profile : options.profiles) {
        profile.shape.seed = seed;
        profile.seeded = true;
    }
}

bool TakeRawOptions(const RawOptions& raw, CliOptions& options, std::wstring& errorText) {
    if (!raw.passes.empty()) options.passCount = raw.passes[0] - '0';
    for (const SizeOption& size : SizeOptions) {
        if (raw.size == size.text) options.testSizeMiB = size.mebibytes;
    }
    options.folder = WideFromUtf8(raw.folder);
    options.label = WideFromUtf8(raw.label);
    if (!raw.sustained.empty()) ParseSustainedSize(raw.sustained, options.sustainedSize);
    if (!TakeProfiles(raw, options, errorText)) return false;
    TakeSeed(raw, options);
    return true;
}

}  // namespace

bool ParseCliOptions(const std::vector<std::wstring>& arguments, CliOptions& options,
                     std::wstring& errorText) {
    options = CliOptions{};
    RawOptions raw;
    const std::unique_ptr<CLI::App> app = DescribeOptions(options, raw);
    if (!ParseArguments(*app, arguments, errorText)) return false;
    options.sustained = app->count("--sustained") > 0;
    return TakeRawOptions(raw, options, errorText);
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
