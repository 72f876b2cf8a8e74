#include "engine/write_depth.h"

void NoteWriteDepth(RunResult& result, int depth, DWORD testFileAttributes) {
    result.writeDepth = depth;
    result.writeDepthNote.clear();
    const bool encrypted = testFileAttributes != INVALID_FILE_ATTRIBUTES &&
                           (testFileAttributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
    if (encrypted) NoteOneWriteAtATime(result, EncryptedWritesText);
}

void NoteOneWriteAtATime(RunResult& result, const std::wstring& reason) {
    result.writeDepth = 1;
    if (result.writeDepthNote.empty()) result.writeDepthNote = reason;
}

bool EnableVolumePrivilege() {
    HANDLE token = nullptr;
    if (!Platform.OpenProcessToken(CurrentProcess, TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // AdjustTokenPrivileges succeeds also when the token lacks the privilege;
    // only the last error tells.
    const bool enabled =
        Platform.LookupPrivilegeValueW(nullptr, ManageVolumePrivilege, &privileges.Privileges[0].Luid) &&
        Platform.AdjustTokenPrivileges(token, FALSE, &privileges, sizeof privileges, nullptr, nullptr) &&
        Platform.GetLastError() == ERROR_SUCCESS;
    Platform.CloseHandle(token);
    return enabled;
}
