// The command line of `corvasta-cli compare`.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct CompareOptions {
    std::vector<std::wstring> inputs;  // files, folders, "-" for standard input
    int64_t baseline = 1;              // counted from 1, in the order the runs were read
    bool json = false;
    bool csv = false;
    std::wstring htmlPath;  // empty: no page
    bool force = false;     // the page may replace a file
    bool strict = false;    // one bad input fails the whole comparison
    bool help = false;
};

// The arguments after "compare"; false with errorText set when one is wrong.
bool ParseCompareOptions(const std::vector<std::wstring>& arguments, CompareOptions& options,
                         std::wstring& errorText);
std::wstring CompareUsageText();
