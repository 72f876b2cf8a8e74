// Linux has no valid data length: a write inside the length that
// SetEndOfFile gave is never made synchronous for lying beyond it. So the
// privilege Windows asks for is always granted and moving the valid data
// length ahead has nothing to do.
#include "platform/linux/linux_native.h"

namespace linux_native {

namespace {

struct TokenObject {
    HandleKind kind;
};

TokenObject ProcessToken{HandleKind::Token};

}  // namespace

BOOL OpenProcessToken(HANDLE, DWORD, HANDLE* token) {
    *token = &ProcessToken;
    return TRUE;
}

BOOL LookupPrivilegeValueW(const wchar_t*, const wchar_t*, LUID* luid) {
    *luid = LUID{};
    return TRUE;
}

// As Windows does when every privilege asked for was assigned: TRUE and a
// last error of 0.
BOOL AdjustTokenPrivileges(HANDLE token, BOOL, TOKEN_PRIVILEGES*, DWORD, TOKEN_PRIVILEGES*,
                           DWORD* returned) {
    if (KindOf(token) != HandleKind::Token) {
        SetError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (returned != nullptr) *returned = 0;
    SetError(ERROR_SUCCESS);
    return TRUE;
}

BOOL SetFileValidData(HANDLE handle, LONGLONG) {
    return FileOf(handle) != nullptr ? TRUE : FALSE;
}

}  // namespace linux_native
