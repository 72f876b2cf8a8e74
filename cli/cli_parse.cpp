#include "cli/cli_parse.h"

#include "platform/text.h"

std::unique_ptr<CLI::App> NewApp(const std::string& description, const std::string& name) {
    auto app = std::make_unique<CLI::App>(description, name);
    app->set_help_flag();
    app->allow_windows_style_options(false);
    app->option_defaults()->disable_flag_override();
    return app;
}

bool ParseArguments(CLI::App& app, const std::vector<std::wstring>& arguments, std::wstring& errorText) {
    // The file system's own bytes, so a folder name that is not UTF-8 survives.
    std::vector<std::string> reversed;
    for (auto argument = arguments.rbegin(); argument != arguments.rend(); ++argument)
        reversed.push_back(PathBytesFromWide(*argument));
    // The library reports through exceptions; they end here, as a text.
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        errorText = WideFromUtf8(error.what());
        return false;
    }
    return true;
}

std::wstring UsageText(const CLI::App& app) {
    std::string text = app.help();
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return WideFromUtf8(text);
}
