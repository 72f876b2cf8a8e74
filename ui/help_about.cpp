// The help shown once per folder, and the Help and About boxes.
#include "ui/window_state.h"

#include "platform/own_file.h"
#include "ui/portable/window_texts.h"

namespace {

constexpr const wchar_t* FirstHelpMarker = L"First_Help_Tag";

// The box belongs to our own window when it is in front, else to nobody.
void ShowTextBox(const std::wstring& text, const wchar_t* title) {
    HWND owner = GetForegroundWindow();
    DWORD ownerProcess = 0;
    if (owner) GetWindowThreadProcessId(owner, &ownerProcess);
    if (ownerProcess != GetCurrentProcessId()) owner = nullptr;
    MessageBoxW(owner, text.c_str(), title, MB_OK);
}

}  // namespace

void ShowFirstStartHelp() {
    // Through the seam, whose file calls take a long folder's path in its
    // extended form.
    HANDLE marker = Platform.CreateFileW(FirstHelpMarker, GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (marker != INVALID_HANDLE_VALUE) {
        Platform.CloseHandle(marker);
        return;
    }
    marker = CreateOwnFile(FirstHelpMarker, GENERIC_WRITE, 0, CREATE_ALWAYS);
    if (marker != INVALID_HANDLE_VALUE) {
        static const char content[] = "help\r\n";
        DWORD written = 0;
        WriteFile(marker, content, sizeof(content) - 1, &written, nullptr);
        FlushFileBuffers(marker);
        CloseHandle(marker);
    }
    ShowTextBox(FirstStartHelpText(), L"Help");
}

void ShowHelp() {
    ShowTextBox(HelpText(), L"Help");
}

void ShowAbout() {
    ShowTextBox(AboutText(), L"About");
}
