// Loaded into the window program by the driver: menus cannot be read from
// another process under Wine, so this reads the main window's menu bar from
// inside and writes it beside the library file, then declines to stay loaded.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

BOOL CALLBACK FindMainWindow(HWND window, LPARAM lParam) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (owner == GetCurrentProcessId() && GetMenu(window) && std::wstring(title) == L"Corvasta V1.1.0 x64") {
        *reinterpret_cast<HWND*>(lParam) = window;
        return FALSE;
    }
    return TRUE;
}

std::string Narrow(const wchar_t* text) {
    std::string out;
    for (; *text; ++text) out += *text < 128 ? static_cast<char>(*text) : '?';
    return out;
}

void WriteMenus(FILE* out, HMENU bar) {
    for (int menu = 0; menu < GetMenuItemCount(bar); ++menu) {
        wchar_t title[64] = {};
        GetMenuStringW(bar, static_cast<UINT>(menu), title, 64, MF_BYPOSITION);
        std::fprintf(out, "menu %s\n", Narrow(title).c_str());
        HMENU popup = GetSubMenu(bar, menu);
        for (int position = 0; position < GetMenuItemCount(popup); ++position) {
            wchar_t text[64] = {};
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_FTYPE;
            info.dwTypeData = text;
            info.cch = 64;
            GetMenuItemInfoW(popup, static_cast<UINT>(position), TRUE, &info);
            std::fprintf(out, "item %u %s %s %s %s\n", info.wID,
                         (info.fState & MFS_GRAYED) ? "greyed" : "enabled",
                         (info.fState & MFS_CHECKED) ? "checked" : "unchecked",
                         info.fType == MFT_STRING ? "string" : "other", Narrow(text).c_str());
        }
    }
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    HWND window = nullptr;
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&window));
    FILE* out = _wfopen((std::wstring(path) + L".txt").c_str(), L"w");
    if (out) {
        if (window) WriteMenus(out, GetMenu(window));
        std::fclose(out);
    }
    return FALSE;
}
