#include "engine/folder_entries.h"

#include "platform/text.h"

#include <algorithm>
#include <iterator>

namespace {

// The name up to its terminator, never beyond the array.
std::wstring FoundName(const WIN32_FIND_DATAW& found) {
    const wchar_t* begin = found.cFileName;
    const wchar_t* end = std::find(begin, begin + std::size(found.cFileName), L'\0');
    return std::wstring(begin, end);
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::wstring& folder) {
    std::vector<FolderEntry> entries;
    WIN32_FIND_DATAW found{};
    const HANDLE search = Platform.FindFirstFileW(JoinPath(folder, L"*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return entries;
    do {
        const std::wstring name = FoundName(found);
        if (!name.empty() && name != L"." && name != L"..") {
            entries.push_back({name, found.dwFileAttributes, found.dwReserved0});
        }
    } while (Platform.FindNextFileW(search, &found));
    Platform.FindClose(search);
    return entries;
}

bool IsReparsePoint(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool IsDirectory(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}
