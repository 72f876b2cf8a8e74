// Folder enumeration in the manner of FindFirstFileW and FindNextFileW.
#include "platform/linux/linux_native.h"

#include "platform/text.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fnmatch.h>
#include <new>

namespace linux_native {

namespace {

struct SearchObject {
    HandleKind kind;
    DIR* folder;
    int dotsGiven;        // "." and ".." come first, as Windows gives them
    std::string pattern;  // empty when every name matches
};

SearchObject* SearchOf(HANDLE handle) {
    if (KindOf(handle) == HandleKind::Search) return static_cast<SearchObject*>(handle);
    SetError(ERROR_INVALID_HANDLE);
    return nullptr;
}

bool Matches(const std::string& pattern, const char* name) {
    return pattern.empty() || fnmatch(pattern.c_str(), name, 0) == 0;
}

bool IsDotEntry(const char* name) {
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

// The next name of the listing, dots first; null at the end.
const char* NextName(SearchObject* search) {
    if (search->dotsGiven < 2) return search->dotsGiven++ == 0 ? "." : "..";
    for (;;) {
        const dirent* entry = readdir(search->folder);
        if (entry == nullptr) return nullptr;
        if (!IsDotEntry(entry->d_name)) return entry->d_name;
    }
}

void Fill(WIN32_FIND_DATAW* found, const char* name, DWORD attributes, uint64_t size) {
    found->dwFileAttributes = attributes;
    found->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    found->nFileSizeLow = static_cast<DWORD>(size);
    found->dwReserved0 = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? IO_REPARSE_TAG_SYMLINK : 0;
    const std::wstring wide = WideFromUtf8(name);
    const size_t length = wide.size() < MAX_PATH - 1 ? wide.size() : MAX_PATH - 1;
    wide.copy(found->cFileName, length);
    found->cFileName[length] = L'\0';
}

// Gives the next matching entry; an entry removed since the listing was read
// is passed over.
bool Advance(SearchObject* search, WIN32_FIND_DATAW* found) {
    for (const char* name = NextName(search); name; name = NextName(search)) {
        DWORD attributes = 0;
        uint64_t size = 0;
        if (!Matches(search->pattern, name)) continue;
        if (!AttributesAt(dirfd(search->folder), name, attributes, size)) continue;
        Fill(found, name, attributes, size);
        return true;
    }
    return false;
}

void SplitPattern(const std::string& path, std::string& folder, std::string& pattern) {
    SplitPath(path, folder, pattern);
    // Windows lets "*.*" match names without a dot too.
    if (pattern == "*" || pattern == "*.*") pattern.clear();
}

}  // namespace

HANDLE FindFirstFileW(const wchar_t* path, WIN32_FIND_DATAW* found) {
    std::string native, folder, pattern;
    if (!NativePath(path, native)) return INVALID_HANDLE_VALUE;
    SplitPattern(native, folder, pattern);
    if (native.empty() || native.back() == '/') {
        SetError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    DIR* listing = opendir(folder.c_str());
    if (listing == nullptr) {
        SetError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                     : WindowsCodeOf(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto* search = new (std::nothrow) SearchObject{HandleKind::Search, listing, 0, pattern};
    if (search == nullptr) {
        closedir(listing);
        SetError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    if (Advance(search, found)) return search;
    FindClose(search);
    SetError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
}

BOOL FindNextFileW(HANDLE handle, WIN32_FIND_DATAW* found) {
    SearchObject* search = SearchOf(handle);
    if (search == nullptr) return FALSE;
    if (Advance(search, found)) return TRUE;
    SetError(ERROR_NO_MORE_FILES);
    return FALSE;
}

BOOL FindClose(HANDLE handle) {
    SearchObject* search = SearchOf(handle);
    if (search == nullptr) return FALSE;
    closedir(search->folder);
    delete search;
    return TRUE;
}

}  // namespace linux_native
