#include "cli/compare_run.h"

#include "cli/compare_documents.h"
#include "cli/compare_html.h"
#include "cli/compare_json.h"
#include "cli/compare_report.h"
#include "cli/compare_table.h"
#include "cli/console_output.h"
#include "cli/whole_file.h"
#include "platform/platform.h"
#include "platform/text.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <system_error>

namespace {

namespace fs = std::filesystem;

// Far above any document or report; a bigger file is something else.
constexpr std::uintmax_t LargestInput = 256u << 20;

struct Gathered {
    std::vector<ComparedRun> runs;
    std::vector<std::string> problems;  // "INPUT: why"
};

fs::path PathOf(const std::wstring& text) {
#ifdef _WIN32
    return fs::path(text);
#else
    return fs::path(PathBytesFromWide(text));
#endif
}

std::string Shown(const fs::path& path) {
#ifdef _WIN32
    return Utf8FromWide(path.wstring());
#else
    return Utf8FromWide(WideFromUtf8(path.string()));
#endif
}

void Take(Gathered& gathered, InputRuns runs, const std::string& input, const std::string& name) {
    for (const std::string& error : runs.errors) gathered.problems.push_back(input + ": " + error);
    for (ComparedRun& run : runs.runs) {
        // A stream's documents are named by their line prefix, when they had one.
        run.input = run.input.empty() ? input : input + " " + run.input;
        if (run.label.empty()) run.label = run.host.empty() ? name : run.host;
        gathered.runs.push_back(std::move(run));
    }
}

bool ReadFile(const fs::path& path, std::string& text, std::string& why) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        why = "cannot be read: " + error.message();
        return false;
    }
    if (size > LargestInput) {
        why = "too large for a Corvasta document (" + std::to_string(size >> 20) + " MiB)";
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (!file.good() && !file.eof()) {
        why = "cannot be read";
        return false;
    }
    return true;
}

void TakeFile(Gathered& gathered, const fs::path& path) {
    std::string text, why;
    const std::string input = Shown(path);
    if (!ReadFile(path, text, why)) {
        gathered.problems.push_back(input + ": " + why);
        return;
    }
    Take(gathered, RunsFromText(text), input, Shown(path.stem()));
}

bool IsOurs(const fs::path& path) {
    const std::string name = path.filename().string(), extension = path.extension().string();
    return name.rfind("corvasta_", 0) == 0 && (extension == ".json" || extension == ".html");
}

// A console run leaves a report and a JSON document of one run: the document
// says more, so the report beside it is left out.
std::vector<fs::path> FolderFiles(const fs::path& folder, std::string& why) {
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        if (IsOurs(entry->path()) && entry->is_regular_file()) files.push_back(entry->path());
    }
    if (error) why = "the folder cannot be read: " + error.message();
    std::sort(files.begin(), files.end());
    std::erase_if(files, [&files](const fs::path& file) {
        fs::path twin = file;
        return file.extension() == ".html" && std::binary_search(files.begin(), files.end(), twin.replace_extension(".json"));
    });
    if (why.empty() && files.empty()) why = "the folder holds no report or JSON document of Corvasta";
    return files;
}

void TakeFolder(Gathered& gathered, const fs::path& folder) {
    std::string why;
    const std::vector<fs::path> files = FolderFiles(folder, why);
    if (!why.empty()) {
        gathered.problems.push_back(Shown(folder) + ": " + why);
        return;
    }
    Gathered inFolder;
    for (const fs::path& file : files) TakeFile(inFolder, file);
    // A drive's history reads from its oldest run.
    std::stable_sort(inFolder.runs.begin(), inFolder.runs.end(),
                     [](const ComparedRun& a, const ComparedRun& b) { return a.sortKey < b.sortKey; });
    std::move(inFolder.runs.begin(), inFolder.runs.end(), std::back_inserter(gathered.runs));
    std::move(inFolder.problems.begin(), inFolder.problems.end(), std::back_inserter(gathered.problems));
}

void TakeInput(Gathered& gathered, const std::wstring& input) {
    if (input == L"-") {
        std::string text((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
        Take(gathered, RunsFromStream(text), "-", "-");
        return;
    }
    const fs::path path = PathOf(input);
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) TakeFolder(gathered, path);
    else if (fs::exists(status)) TakeFile(gathered, path);
    else gathered.problems.push_back(Shown(path) + ": cannot be read: " + (error ? error.message() : "no such file"));
}

// Written as a file of its own, never through a link, and only once complete.
std::string WritePage(const std::wstring& path, const std::string& page, bool force) {
    if (!force && Platform.GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES)
        return "it exists; --force replaces it";
    return WriteWholeFile(path, page);
}

void PrintProblems(const std::vector<std::string>& problems) {
    for (const std::string& problem : problems) PrintLine({L"corvasta-cli compare: " + WideFromUtf8(problem), true});
}

int Fail(const std::string& text) {
    PrintLine({L"corvasta-cli compare: " + WideFromUtf8(text), true});
    return 2;
}

std::string TableText(const Comparison& comparison) {
    std::string text;
    for (const std::string& line : ComparisonTableLines(comparison)) text += line + "\n";
    return text;
}

}  // namespace

InputRuns RunsFromText(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first != std::string::npos && text[first] == '<')
        return LooksLikeHtml(text) ? RunFromReport(text) : InputRuns{{}, {"not a Corvasta document"}};
    return RunsFromStream(text);
}

int RunCompare(const CompareOptions& options) {
    OpenConsoleOutput(true);
    Gathered gathered;
    for (const std::wstring& input : options.inputs) TakeInput(gathered, input);
    PrintProblems(gathered.problems);
    if (gathered.runs.empty()) return Fail("nothing to compare");
    if (options.strict && !gathered.problems.empty()) return Fail("nothing compared: --strict and a bad input");
    if (options.baseline > static_cast<int64_t>(gathered.runs.size()))
        return Fail("--baseline " + std::to_string(options.baseline) + ": there are only " +
                    std::to_string(gathered.runs.size()) + " runs");
    const Comparison comparison = CompareRuns(std::move(gathered.runs), static_cast<size_t>(options.baseline - 1));
    if (!options.htmlPath.empty()) {
        const std::string why = WritePage(options.htmlPath, ComparisonHtml(comparison), options.force);
        if (!why.empty()) return Fail(Utf8FromWide(options.htmlPath) + ": " + why);
    }
    PrintDocument(options.json  ? ComparisonJson(comparison, gathered.problems)
                  : options.csv ? ComparisonCsv(comparison)
                                : TableText(comparison));
    return gathered.problems.empty() ? 0 : 1;
}
