// Files the console writes in one go: the JSON beside a report and the
// comparison page.
#pragma once

#include <string>

// Creates or replaces path with bytes, never through a link nor a file with
// other names; a file that could not be written whole is deleted. Empty, or
// the reason with the system's error code.
std::string WriteWholeFile(const std::wstring& path, const std::string& bytes);
