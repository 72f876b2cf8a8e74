// Loaded into the window program by the driver, because menus and fonts
// cannot be read from another process under Wine. It writes the menu bar and
// every control of the main window beside the library file (".txt", ended
// by a line "end"), and stays loaded to append every text the status line
// is given (".status"), so that no status the driver polls too slowly for
// goes unseen. Both files are UTF-16 lines ended by LF.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::wstring ReportFile;
std::wstring StatusLog;
WNDPROC StatusLineProc = nullptr;

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

void Append(const std::wstring& file, const std::wstring& text) {
    FILE* out = _wfopen(file.c_str(), L"ab");
    if (!out) return;
    std::fwrite(text.data(), sizeof(wchar_t), text.size(), out);
    std::fclose(out);
}

std::wstring Number(long long value) {
    return std::to_wstring(value);
}

std::wstring Menus(HMENU bar) {
    std::wstring out;
    for (int menu = 0; menu < GetMenuItemCount(bar); ++menu) {
        wchar_t title[64] = {};
        GetMenuStringW(bar, static_cast<UINT>(menu), title, 64, MF_BYPOSITION);
        out += std::wstring(L"menu ") + title + L"\n";
        HMENU popup = GetSubMenu(bar, menu);
        for (int position = 0; position < GetMenuItemCount(popup); ++position) {
            wchar_t text[64] = {};
            MENUITEMINFOW info{};
            info.cbSize = sizeof(info);
            info.fMask = MIIM_ID | MIIM_STATE | MIIM_STRING | MIIM_FTYPE;
            info.dwTypeData = text;
            info.cch = 64;
            GetMenuItemInfoW(popup, static_cast<UINT>(position), TRUE, &info);
            out += L"item " + Number(info.wID) +
                   ((info.fState & MFS_GRAYED) ? L" greyed" : L" enabled") +
                   ((info.fState & MFS_CHECKED) ? L" checked" : L" unchecked") +
                   (info.fType == MFT_STRING ? L" string " : L" other ") + text + L"\n";
        }
    }
    return out;
}

RECT PlaceOf(HWND control, HWND main) {
    RECT place{};
    GetWindowRect(control, &place);
    MapWindowPoints(nullptr, main, reinterpret_cast<POINT*>(&place), 2);
    return place;
}

// items|id|vscroll or novscroll (the list that drops down)|first|second|...
std::wstring Items(HWND list) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    const bool scrolls = GetComboBoxInfo(list, &info) && (GetWindowLongW(info.hwndList, GWL_STYLE) & WS_VSCROLL);
    std::wstring out = L"items|" + Number(GetDlgCtrlID(list)) + (scrolls ? L"|vscroll" : L"|novscroll");
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT index = 0; index < count; ++index) {
        wchar_t item[64] = {};
        if (SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) < 64) {
            SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(item));
        }
        out += std::wstring(L"|") + item;
    }
    return out + L"\n";
}

// One line per control, in creation order:
// control|id|class|x|y|width|height|style|exstyle|font face|font height|font weight|text
// and after a list its items.
std::wstring Controls(HWND main) {
    std::wstring out;
    for (HWND control = GetWindow(main, GW_CHILD); control; control = GetWindow(control, GW_HWNDNEXT)) {
        wchar_t className[64] = {};
        GetClassNameW(control, className, 64);
        wchar_t text[512] = {};
        GetWindowTextW(control, text, 512);
        const RECT place = PlaceOf(control, main);
        LOGFONTW font{};
        auto* handle = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
        const bool hasFont = handle && GetObjectW(handle, sizeof(font), &font);
        out += L"control|" + Number(GetDlgCtrlID(control)) + L"|" + className + L"|" +
               Number(place.left) + L"|" + Number(place.top) + L"|" + Number(place.right - place.left) +
               L"|" + Number(place.bottom - place.top) + L"|" + Number(static_cast<DWORD>(GetWindowLongW(control, GWL_STYLE))) +
               L"|" + Number(static_cast<DWORD>(GetWindowLongW(control, GWL_EXSTYLE))) + L"|" +
               (hasFont ? font.lfFaceName : L"(none)") + L"|" + Number(font.lfHeight) + L"|" +
               Number(font.lfWeight) + L"|" + text + L"\n";
        if (std::wstring(className) == L"ComboBox") out += Items(control);
    }
    return out;
}

LRESULT CALLBACK RecordStatus(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SETTEXT && lParam) {
        Append(StatusLog, reinterpret_cast<const wchar_t*>(lParam) + std::wstring(L"\n"));
    }
    return CallWindowProcW(StatusLineProc, window, message, wParam, lParam);
}

// Runs on a thread of its own: the window's thread may need the loader lock
// that DllMain holds, so nothing waits for that thread under the lock.
DWORD WINAPI Probe(LPVOID) {
    HWND window = nullptr;
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&window));
    HWND statusLine = window ? GetDlgItem(window, 11) : nullptr;
    // The status line is built last and given its font right away: once it
    // has one, the window is complete.
    for (int wait = 0; statusLine && wait < 500 && !SendMessageW(statusLine, WM_GETFONT, 0, 0); ++wait) Sleep(10);
    std::wstring report = window ? Menus(GetMenu(window)) + Controls(window) : L"";
    if (statusLine) {
        // The old procedure is known before the new one can be called.
        StatusLineProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(statusLine, GWLP_WNDPROC));
        SetWindowLongPtrW(statusLine, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordStatus));
    }
    Append(ReportFile, report + L"end\n");
    return 0;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    ReportFile = std::wstring(path) + L".txt";
    StatusLog = std::wstring(path) + L".status";
    HANDLE thread = CreateThread(nullptr, 0, Probe, nullptr, 0, nullptr);
    if (!thread) return FALSE;
    CloseHandle(thread);
    return TRUE;
}
