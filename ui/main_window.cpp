// The main window and its controls in their idle state.
#include "ui/window_state.h"

#include "drive/drive_info.h"
#include "report/report.h"
#include "resources/resource_ids.h"

#include <commctrl.h>

WindowRecord Window;

namespace {

constexpr int ClientWidth = 677;
constexpr int ClientHeight = 370;
constexpr DWORD MainStyle = WS_CAPTION | WS_SYSMENU;
constexpr COLORREF White = 0xFFFFFF;
constexpr const wchar_t* ClassName = L"CorvastaMainWindow";

HFONT CreateBoldFont(int points) {
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, L"Segoe UI");
}

// The font of every control that has none of its own: the system's message font.
HFONT CreateDefaultFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
        if (font) return font;
    }
    return nullptr;
}

void SetFont(HWND control, HFONT font) {
    HFONT chosen = font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(chosen), TRUE);
}

HWND OpenWindow() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hIcon = LoadIconW(windowClass.hInstance, MAKEINTRESOURCEW(CorvastaIconId));
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.lpszClassName = ClassName;
    if (!RegisterClassExW(&windowClass)) return nullptr;

    // The menu bar is attached later, but the outer size must leave room for it.
    RECT outer{0, 0, ClientWidth, ClientHeight};
    AdjustWindowRectEx(&outer, MainStyle, TRUE, 0);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND window = CreateWindowExW(0, ClassName, ProgramTitle, MainStyle, x, y, width, height,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    if (window) ShowWindow(window, SW_SHOW);
    return window;
}

HMENU AddMenu(HMENU bar, const wchar_t* title) {
    HMENU menu = CreatePopupMenu();
    if (menu) AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menu), title);
    return menu;
}

void CheckItem(HMENU bar, UINT id) {
    MENUITEMINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STATE;
    info.fState = MFS_CHECKED;
    SetMenuItemInfoW(bar, id, FALSE, &info);
}

void BuildMenuBar(HWND window) {
    HMENU bar = CreateMenu();
    if (!bar) return;
    HMENU file = AddMenu(bar, L"File");
    AppendMenuW(file, MF_STRING, ExitMenuId, L"Exit");
    HMENU settings = AddMenu(bar, L"Settings");
    AppendMenuW(settings, MF_STRING, OtherDrivesMenuId, L"Other Drives (Future Version)");
    AppendMenuW(settings, MF_STRING, NvmeMenuId, L"NVMe SSD");
    AppendMenuW(settings, MF_STRING, FlashMenuId, L"Flash Memory (Future Version)");
    HMENU profile = AddMenu(bar, L"Profile");
    AppendMenuW(profile, MF_STRING, DefaultProfileMenuId, L"Default");
    HMENU help = AddMenu(bar, L"Help");
    AppendMenuW(help, MF_STRING, HelpMenuId, L"Help");
    AppendMenuW(help, MF_STRING, AboutMenuId, L"About Corvasta V1.1.0 x64...");
    EnableMenuItem(bar, OtherDrivesMenuId, MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(bar, FlashMenuId, MF_BYCOMMAND | MF_GRAYED);
    CheckItem(bar, NvmeMenuId);
    CheckItem(bar, DefaultProfileMenuId);
    SetMenu(window, bar);
    Window.menuBar = bar;
}

struct ControlLayout {
    int id;
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
    int x, y, width, height;
    const wchar_t* text;
};

HWND CreateControl(const ControlLayout& layout) {
    return CreateWindowExW(layout.exStyle, layout.className, layout.text,
                           WS_CHILD | WS_VISIBLE | layout.style, layout.x, layout.y, layout.width,
                           layout.height, Window.mainWindow,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(layout.id)),
                           GetModuleHandleW(nullptr), nullptr);
}

// A control that uses the default font.
HWND CreatePlain(const ControlLayout& layout) {
    HWND control = CreateControl(layout);
    SetFont(control, Window.defaultFont);
    return control;
}

constexpr DWORD Label = SS_NOPREFIX;
constexpr DWORD List = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr DWORD Field = ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD PushButton = BS_PUSHBUTTON | WS_TABSTOP;

HWND CreateList(const ControlLayout& layout, std::initializer_list<const wchar_t*> items) {
    HWND list = CreatePlain(layout);
    for (const wchar_t* item : items) {
        SendMessageW(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    SendMessageW(list, CB_SETCURSEL, 3, 0);
    return list;
}

void BuildSettingsAndDisplays() {
    CreatePlain({PassCountLabelId, L"Static", Label, 0, 285, 15, 128, 20, L"Benchmark Count"});
    CreatePlain({TestSizeLabelId, L"Static", Label, 0, 506, 15, 128, 20, L"Benchmark size"});
    Window.passCountList = CreateList({PassCountListId, L"ComboBox", List, 0, 268, 40, 128, 28, L""},
                                      {L"1", L"2", L"3", L"4", L"5", L"6", L"7"});
    Window.testSizeList = CreateList({TestSizeListId, L"ComboBox", List, 0, 488, 40, 128, 28, L""},
                                     {L"256 MiB", L"512 MiB", L"1 GiB", L"2 GiB", L"4 GiB",
                                      L"8 GiB", L"16 GiB", L"32 GiB", L"64 GiB"});
    Window.startButton = CreateControl(
        {StartButtonId, L"Button", BS_OWNERDRAW | WS_TABSTOP, 0, 16, 12, 200, 158, L""});
    SetFont(Window.startButton, Window.startFont);
    HWND writeCaption = CreateControl({WriteCaptionId, L"Static", Label | SS_CENTER, 0, 420, 85,
                                       270, 22, L"Write (MB/s)"});
    Window.writeSpeedDisplay = CreateControl({WriteSpeedDisplayId, L"Static", Label | SS_RIGHT,
                                              WS_EX_CLIENTEDGE, 460, 110, 196, 58, L"0.00 "});
    HWND readCaption = CreateControl({ReadCaptionId, L"Static", Label | SS_CENTER, 0, 245, 85, 170,
                                      22, L"Read (MB/s)"});
    Window.readSpeedDisplay = CreateControl({ReadSpeedDisplayId, L"Static", Label | SS_RIGHT,
                                             WS_EX_CLIENTEDGE, 235, 110, 196, 58, L"0.00 "});
    Window.openReportButton = CreateControl({OpenReportButtonId, L"Button", PushButton | WS_DISABLED,
                                             0, 355, 258, 290, 40, L"Open HTML Report"});
    SetFont(Window.openReportButton, Window.buttonFont);
    Window.stopButton = CreateControl(
        {StopButtonId, L"Button", PushButton | WS_DISABLED, 0, 30, 258, 290, 40, L"STOP"});
    SetFont(Window.stopButton, Window.buttonFont);

    // Without their own fonts the displays and captions keep the default one.
    HFONT speed = Window.speedFont ? Window.speedFont : Window.defaultFont;
    SetFont(Window.writeSpeedDisplay, speed);
    SetFont(Window.readSpeedDisplay, speed);
    SetFont(writeCaption, Window.captionFont ? Window.captionFont : Window.defaultFont);
    SetFont(readCaption, Window.captionFont ? Window.captionFont : Window.defaultFont);
    if (Window.captionFont) ProcessPendingMessages();
}

void BuildDriveRowAndStatus() {
    CreatePlain({ManufacturerLabelId, L"Static", Label, 0, 16, 194, 130, 20, L"Drive Manufacturer"});
    CreatePlain({ManufacturerFieldId, L"Edit", Field, WS_EX_CLIENTEDGE, 14, 214, 108, 28,
                 DriveInfo.manufacturer.c_str()});
    CreatePlain({ModelLabelId, L"Static", Label, 0, 130, 194, 130, 20, L"Drive Model"});
    CreatePlain({ModelFieldId, L"Edit", Field, WS_EX_CLIENTEDGE, 128, 214, 158, 28,
                 DriveInfo.model.c_str()});
    CreatePlain({CapacityLabelId, L"Static", Label, 0, 294, 194, 130, 20, L"Drive Capacity"});
    CreatePlain({CapacityFieldId, L"Edit", Field, WS_EX_CLIENTEDGE, 292, 214, 120, 28,
                 DriveInfo.capacityText.c_str()});
    CreatePlain({FolderLabelId, L"Static", Label, 0, 422, 194, 130, 20, L"Benchmark Folder"});
    Window.folderField = CreatePlain({FolderFieldId, L"Edit", Field, WS_EX_CLIENTEDGE, 420, 214,
                                      248, 28, Window.folderText.c_str()});
    Window.statusLine = CreatePlain({StatusLineId, L"Static", Label, WS_EX_CLIENTEDGE, 12, 315, 656,
                                     26, L" Developed by Quillane 2026"});
}

}  // namespace

// Tab and the arrow keys move between the controls as in a dialog.
void DispatchWindowMessage(MSG& message) {
    if (!IsDialogMessageW(Window.mainWindow, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void ProcessPendingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchWindowMessage(message);
}

bool BuildMainWindow() {
    Window.mainWindow = OpenWindow();
    if (!Window.mainWindow) return false;
    Window.whiteBrush = CreateSolidBrush(White);
    SetClassLongPtrW(Window.mainWindow, GCLP_HBRBACKGROUND,
                     reinterpret_cast<LONG_PTR>(Window.whiteBrush));
    Window.defaultFont = CreateDefaultFont();
    Window.speedFont = CreateBoldFont(32);
    Window.captionFont = CreateBoldFont(11);
    Window.buttonFont = CreateBoldFont(14);
    Window.startFont = CreateBoldFont(20);
    BuildMenuBar(Window.mainWindow);
    BuildSettingsAndDisplays();
    BuildDriveRowAndStatus();
    Window.takesStartClicks = true;
    ProcessPendingMessages();
    return true;
}
