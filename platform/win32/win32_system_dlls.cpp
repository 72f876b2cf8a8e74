#include "platform/win32/win32_system_dlls.h"

void LoadDllsFromSystem32Only() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

FARPROC SystemProcedure(const wchar_t* dll, const char* name) {
    // Kept loaded for the life of the process, as a load-time import would be.
    const HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? GetProcAddress(module, name) : nullptr;
}
