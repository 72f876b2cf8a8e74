#include "cli/whole_file.h"

#include "engine/folder_entries.h"
#include "platform/own_file.h"

std::string WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    // DELETE access, so that a file left half written goes through this handle.
    HANDLE file = CreateOwnFile(path.c_str(), GENERIC_WRITE | DELETE, 0, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE)
        return "cannot be created (error " + std::to_string(Platform.GetLastError()) + ")";
    DWORD written = 0;
    const BOOL wrote = Platform.WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    DWORD error = wrote ? 0 : Platform.GetLastError();
    const BOOL flushed = wrote && Platform.FlushFileBuffers(file);
    if (wrote && !flushed) error = Platform.GetLastError();
    const bool whole = wrote && flushed && written == bytes.size();
    if (!whole) DeleteThrough(file);
    Platform.CloseHandle(file);
    if (whole) return {};
    return "cannot be written (error " + std::to_string(error) + ")";
}
