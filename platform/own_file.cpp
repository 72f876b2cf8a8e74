#include "platform/own_file.h"

namespace {

bool IsPlainFileOfItsOwn(HANDLE file) {
    BY_HANDLE_FILE_INFORMATION information{};
    constexpr DWORD notPlain = FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY;
    return Platform.GetFileInformationByHandle(file, &information) &&
           (information.dwFileAttributes & notPlain) == 0 && information.nNumberOfLinks == 1;
}

bool Empty(HANDLE file) {
    LARGE_INTEGER start{};
    return Platform.SetFilePointerEx(file, start, nullptr, FILE_BEGIN) &&
           Platform.SetEndOfFile(file);
}

}  // namespace

HANDLE CreateOwnFile(const wchar_t* path, DWORD access, DWORD share, DWORD disposition) {
    // Opened without emptying, and as itself if it is a link; reading the
    // identity needs the right to read attributes.
    const HANDLE file = Platform.CreateFileW(
        path, access | FILE_READ_ATTRIBUTES, share, nullptr,
        disposition == CREATE_ALWAYS ? OPEN_ALWAYS : OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return file;
    const bool existed = disposition != CREATE_ALWAYS || Platform.GetLastError() == ERROR_ALREADY_EXISTS;
    DWORD code = ERROR_ACCESS_DENIED;
    if (IsPlainFileOfItsOwn(file)) {
        if (!existed || Empty(file)) return file;
        code = Platform.GetLastError();
    }
    Platform.CloseHandle(file);
    Platform.SetLastError(code);
    return INVALID_HANDLE_VALUE;
}
