#include "cli/compare_options.h"

#include "cli/cli_parse.h"

#include "platform/text.h"

#include <memory>

namespace {

struct RawCompareOptions {
    std::vector<std::string> inputs;
    std::string html;
};

std::unique_ptr<CLI::App> DescribeCompare(CompareOptions& options, RawCompareOptions& raw) {
    auto app = NewApp(
        "Compares runs of corvasta-cli and reports of the window: per profile one row per run,\n"
        "with the change of each speed against the baseline run.",
        "corvasta-cli compare");
    app->add_option("INPUT", raw.inputs,
                    "a JSON document of corvasta-cli, an HTML report, a folder of them\n"
                    "(oldest first), or - for JSON documents on standard input, lines\n"
                    "prefixed as kubectl logs --prefix or Ansible print them")
        ->required();
    app->add_option("--baseline", options.baseline, "the run the others are compared with (default 1, the first)")
        ->type_name("N")
        ->check(CLI::Range(int64_t{1}, int64_t{1'000'000}));
    CLI::Option* json = app->add_flag("--json", options.json, "print the comparison as one JSON document");
    CLI::Option* csv = app->add_flag("--csv", options.csv, "print the comparison as CSV");
    json->excludes(csv);
    app->add_option("--html", raw.html, "also write the comparison as an HTML page to FILE")->type_name("FILE");
    app->add_flag("--force", options.force, "let --html replace a file that exists");
    app->add_flag("--strict", options.strict, "compare nothing when any input is bad");
    app->add_flag("-h,--help", options.help, "show this text");
    return app;
}

}  // namespace

bool ParseCompareOptions(const std::vector<std::wstring>& arguments, CompareOptions& options,
                         std::wstring& errorText) {
    options = CompareOptions{};
    RawCompareOptions raw;
    const std::unique_ptr<CLI::App> app = DescribeCompare(options, raw);
    // Help needs no input.
    for (const std::wstring& argument : arguments)
        if (argument == L"-h" || argument == L"--help") options.help = true;
    if (options.help) return true;
    if (!ParseArguments(*app, arguments, errorText)) return false;
    for (const std::string& input : raw.inputs) options.inputs.push_back(WideFromUtf8(input));
    options.htmlPath = WideFromUtf8(raw.html);
    return true;
}

std::wstring CompareUsageText() {
    CompareOptions options;
    RawCompareOptions raw;
    return UsageText(*DescribeCompare(options, raw));
}
