#include "platform/win32/win32_relative.h"

#include <winternl.h>

#include <string>

namespace {

// CreateFileW's flags that matter for opening an existing entry, in the
// native call's terms.
ULONG OpenOptions(DWORD flags) {
    ULONG options = FILE_SYNCHRONOUS_IO_NONALERT;
    if (flags & FILE_FLAG_OPEN_REPARSE_POINT) options |= FILE_OPEN_REPARSE_POINT;
    if (flags & FILE_FLAG_BACKUP_SEMANTICS) options |= FILE_OPEN_FOR_BACKUP_INTENT;
    return options;
}

}  // namespace

// NtCreateFile resolves the name from the folder handle given as the root
// directory of its object attributes, so the folder's own path plays no part.
HANDLE WINAPI OpenFileRelative(HANDLE folder, const wchar_t* name, DWORD access, DWORD share,
                               DWORD flags) {
    const std::wstring text(name == nullptr ? L"" : name);
    // A name inside the folder, never a way out of it.
    if (text.empty() || text == L"." || text == L".." ||
        text.find_first_of(L"\\/:") != std::wstring::npos ||
        text.size() * sizeof(wchar_t) > 0xFFFE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING unicode;
    unicode.Buffer = const_cast<PWSTR>(text.c_str());
    unicode.Length = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    unicode.MaximumLength = unicode.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status{};
    HANDLE handle = nullptr;
    const NTSTATUS result = NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &status, nullptr,
                                         0, share, FILE_OPEN, OpenOptions(flags), nullptr, 0);
    if (result < 0) {
        SetLastError(RtlNtStatusToDosError(result));
        return INVALID_HANDLE_VALUE;
    }
    return handle;
}
