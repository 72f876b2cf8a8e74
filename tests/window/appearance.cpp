// What the window looks like: its size and styles, the menu bar, every
// control with its place, text, styles and font, the items of the lists, and
// colours sampled from screenshots. The expected values are the window's
// design, written out here, not read from the program.
#include "tests/window/window_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

enum class Kind { Label, CentredLabel, RightSunkenLabel, SunkenLabel, List, Field, PushButton, PictureButton };

struct ExpectedControl {
    int id;
    const char* name;
    Kind kind;
    int x, y, width, height;
    const wchar_t* text;  // null: a drive text, which depends on the machine
    int fontPoints;       // 0: the default control font
    bool enabled;
};

const int DefaultFont = 0;

// In creation order, which is also the tab order. A list is created with
// the height that includes its dropped list, but the system sizes its
// selection field by the font, so a list's height is not compared.
std::vector<ExpectedControl> ExpectedControls() {
    return {
        {12, "PassCountLabel", Kind::Label, 285, 15, 128, 20, L"Benchmark Count", DefaultFont, true},
        {13, "TestSizeLabel", Kind::Label, 506, 15, 128, 20, L"Benchmark size", DefaultFont, true},
        {2, "PassCountList", Kind::List, 268, 40, 128, 28, L"4", DefaultFont, true},
        {3, "TestSizeList", Kind::List, 488, 40, 128, 28, L"2 GiB", DefaultFont, true},
        {5, "StartButton", Kind::PictureButton, 16, 12, 200, 158, L"", 20, true},
        {8, "WriteCaption", Kind::CentredLabel, 420, 85, 270, 22, L"Write (MB/s)", 11, true},
        {10, "WriteSpeedDisplay", Kind::RightSunkenLabel, 460, 110, 196, 58, L"0.00 ", 32, true},
        {7, "ReadCaption", Kind::CentredLabel, 245, 85, 170, 22, L"Read (MB/s)", 11, true},
        {9, "ReadSpeedDisplay", Kind::RightSunkenLabel, 235, 110, 196, 58, L"0.00 ", 32, true},
        {44, "OpenReportButton", Kind::PushButton, 355, 258, 290, 40, L"Open HTML Report", 14, false},
        {0, "StopButton", Kind::PushButton, 30, 258, 290, 40, L"STOP", 14, false},
        {80, "ManufacturerLabel", Kind::Label, 16, 194, 130, 20, L"Drive Manufacturer", DefaultFont, true},
        {82, "ManufacturerField", Kind::Field, 14, 214, 108, 28, nullptr, DefaultFont, true},
        {84, "ModelLabel", Kind::Label, 130, 194, 130, 20, L"Drive Model", DefaultFont, true},
        {86, "ModelField", Kind::Field, 128, 214, 158, 28, nullptr, DefaultFont, true},
        {88, "CapacityLabel", Kind::Label, 294, 194, 130, 20, L"Drive Capacity", DefaultFont, true},
        {90, "CapacityField", Kind::Field, 292, 214, 120, 28, nullptr, DefaultFont, true},
        {92, "FolderLabel", Kind::Label, 422, 194, 130, 20, L"Benchmark Folder", DefaultFont, true},
        {4, "FolderField", Kind::Field, 420, 214, 248, 28, Setup.folder.c_str(), DefaultFont, true},
        {11, "StatusLine", Kind::SunkenLabel, 12, 315, 656, 26, L" Developed by Quillane 2026", DefaultFont, true},
    };
}

struct KindStyle {
    const wchar_t* className;
    DWORD mask;  // the style bits that matter for the kind
    DWORD style;
    DWORD exStyle;  // WS_EX_CLIENTEDGE or 0
};

KindStyle StyleOf(Kind kind) {
    const DWORD common = WS_VISIBLE | WS_DISABLED | WS_TABSTOP;
    const DWORD label = common | SS_TYPEMASK | SS_NOPREFIX;
    switch (kind) {
    case Kind::Label: return {L"Static", label, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0};
    case Kind::CentredLabel: return {L"Static", label, WS_VISIBLE | SS_CENTER | SS_NOPREFIX, 0};
    case Kind::RightSunkenLabel:
        return {L"Static", label, WS_VISIBLE | SS_RIGHT | SS_NOPREFIX, WS_EX_CLIENTEDGE};
    case Kind::SunkenLabel: return {L"Static", label, WS_VISIBLE | SS_LEFT | SS_NOPREFIX, WS_EX_CLIENTEDGE};
    case Kind::List: return {L"ComboBox", common | 0x3, WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST, 0};
    case Kind::Field:
        return {L"Edit", common | ES_READONLY | ES_AUTOHSCROLL,
                WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case Kind::PushButton: return {L"Button", common | BS_TYPEMASK, WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0};
    case Kind::PictureButton: return {L"Button", common, WS_VISIBLE | WS_TABSTOP, 0};
    }
    return {};
}

struct Font {
    std::wstring face;
    long height;
    long weight;
};

// The four fonts of the window are bold Segoe UI sized in points; every
// other control keeps the system's message font.
Font ExpectedFont(int points) {
    if (points != DefaultFont) {
        HDC screen = GetDC(nullptr);
        const long height = -MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72);
        ReleaseDC(nullptr, screen);
        return {L"Segoe UI", height, FW_BOLD};
    }
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    return {metrics.lfMessageFont.lfFaceName, metrics.lfMessageFont.lfHeight, metrics.lfMessageFont.lfWeight};
}

std::vector<std::wstring> Fields(const std::wstring& line) {
    std::vector<std::wstring> fields;
    size_t start = 0;
    for (size_t end; (end = line.find(L'|', start)) != std::wstring::npos; start = end + 1) {
        fields.push_back(line.substr(start, end - start));
    }
    fields.push_back(line.substr(start));
    return fields;
}

long Number(const std::wstring& text) {
    return static_cast<long>(std::wcstoll(text.c_str(), nullptr, 10));
}

// control|id|class|x|y|width|height|style|exstyle|font face|font height|font weight|text
void CheckControl(const ExpectedControl& expected, const std::vector<std::wstring>& seen) {
    const KindStyle kind = StyleOf(expected.kind);
    const DWORD style = kind.style | (expected.enabled ? 0 : WS_DISABLED);
    const Font font = ExpectedFont(expected.fontPoints);
    const bool ok = seen.size() == 13 && seen[2] == kind.className && Number(seen[3]) == expected.x &&
                    Number(seen[4]) == expected.y && Number(seen[5]) == expected.width &&
                    (expected.kind == Kind::List || Number(seen[6]) == expected.height) &&
                    (static_cast<DWORD>(Number(seen[7])) & kind.mask) == style &&
                    (static_cast<DWORD>(Number(seen[8])) & WS_EX_CLIENTEDGE) == kind.exStyle &&
                    seen[9] == font.face && Number(seen[10]) == font.height && Number(seen[11]) == font.weight &&
                    (!expected.text || seen[12] == expected.text);
    Check(ok, "control " + std::to_string(expected.id) + " " + expected.name +
                  ": class, place, size, text, styles and font");
    if (ok) return;
    std::string shown;
    for (const std::wstring& field : seen) shown += Narrow(field) + "|";
    std::printf("     seen: %s\n     expected: %s at %d,%d %dx%d, style %lx of %lx, font %s %ld %ld\n",
                shown.c_str(), Narrow(kind.className).c_str(), expected.x, expected.y, expected.width,
                expected.height, static_cast<unsigned long>(style), static_cast<unsigned long>(kind.mask),
                Narrow(font.face).c_str(), font.height, font.weight);
}

void CheckControls(const std::vector<std::wstring>& report) {
    std::vector<std::vector<std::wstring>> controls;
    for (const std::wstring& line : report) {
        if (line.compare(0, 8, L"control|") == 0) controls.push_back(Fields(line));
    }
    const std::vector<ExpectedControl> expected = ExpectedControls();
    Check(controls.size() == expected.size(), "the window has " + std::to_string(expected.size()) +
                                                  " controls, " + std::to_string(controls.size()) + " seen");
    for (size_t index = 0; index < expected.size() && index < controls.size(); ++index) {
        CheckControl(expected[index], controls[index]);
    }
}

void CheckListItems(const std::vector<std::wstring>& report) {
    const std::wstring expected[] = {
        L"items|2|vscroll|1|2|3|4|5|6|7",
        L"items|3|vscroll|256 MiB|512 MiB|1 GiB|2 GiB|4 GiB|8 GiB|16 GiB|32 GiB|64 GiB",
    };
    for (const std::wstring& items : expected) {
        bool found = false;
        for (const std::wstring& line : report) found = found || line == items;
        Check(found, "list with a scroll bar and the items " + Narrow(items));
    }
}

void CheckMenus(const std::vector<std::wstring>& report) {
    const std::vector<std::wstring> expected = {
        L"menu File",
        L"item 15 enabled unchecked string Exit",
        L"menu Settings",
        L"item 16 greyed unchecked string Other Drives (Future Version)",
        L"item 17 enabled checked string NVMe SSD",
        L"item 18 greyed unchecked string Flash Memory (Future Version)",
        L"menu Profile",
        L"item 22 enabled checked string Default",
        L"menu Help",
        L"item 20 enabled unchecked string Help",
        L"item 21 enabled unchecked string About Corvasta V1.1.0 x64...",
    };
    std::vector<std::wstring> shown;
    for (const std::wstring& line : report) {
        if (line.compare(0, 5, L"menu ") == 0 || line.compare(0, 5, L"item ") == 0) shown.push_back(line);
    }
    Check(shown == expected, "menu bar: titles, item ids, texts, greyed and checked states");
    if (shown != expected) {
        for (const std::wstring& line : shown) std::printf("     %s\n", Narrow(line).c_str());
    }
}

void CheckFrame(const Started& run) {
    RECT client{};
    GetClientRect(run.main, &client);
    Check(client.right == 677 && client.bottom == 370, "client area is 677 x 370");
    const LONG style = GetWindowLongW(run.main, GWL_STYLE);
    Check((style & (WS_CAPTION | WS_SYSMENU)) == (WS_CAPTION | WS_SYSMENU) &&
              (style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0,
          "caption and close box only");
    RECT outer{};
    GetWindowRect(run.main, &outer);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2;
    Check(std::abs(outer.left - left) <= 1 && std::abs(outer.top - top) <= 1, "the window is centred on the screen");
}

struct ColourPoint {
    int x, y;
    COLORREF colour;
    int tolerance;  // per channel
    const char* what;
};

// The pictures' colours as they were drawn: a light grey face with black
// capitals and green symbols; a green drive housing on white with red gears.
const COLORREF White = 0xFFFFFF;
const COLORREF LightGrey = RGB(228, 228, 228);
const COLORREF Black = RGB(22, 22, 22);
const COLORREF Green = RGB(28, 150, 62);
const COLORREF Red = RGB(214, 40, 40);
const int Exact = 4;
const int Drawn = 40;

int ChannelDistance(COLORREF a, COLORREF b) {
    int worst = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
    }
    return worst;
}

void CheckColours(const Screen& screen, const std::vector<ColourPoint>& points) {
    Check(screen.width > 0, "screenshot read back");
    for (const ColourPoint& point : points) {
        const COLORREF seen = ColourAt(screen, point.x, point.y);
        char what[160];
        std::snprintf(what, sizeof(what), "colour at %d,%d (%s) is %06lx, seen %06lx", point.x, point.y,
                      point.what, static_cast<unsigned long>(point.colour), static_cast<unsigned long>(seen));
        Check(seen != CLR_INVALID && ChannelDistance(seen, point.colour) <= point.tolerance, what);
    }
}

}  // namespace

void CheckAppearance(const Started& run) {
    CheckFrame(run);
    const std::vector<std::wstring> report = ProbeReport();
    CheckMenus(report);
    CheckControls(report);
    CheckListItems(report);
}

// Client-area points: on the window between controls, on labels and fields
// where their text does not reach, and on the start button's picture, which
// is centred on the button and so starts at 11,8.
void CheckIdleColours(const Screen& screen) {
    CheckColours(screen, {
        {5, 5, White, Exact, "window"},
        {240, 20, White, Exact, "window"},
        {100, 180, White, Exact, "window"},
        {670, 250, White, Exact, "window"},
        {150, 306, White, Exact, "window"},
        {405, 32, White, Exact, "Benchmark Count label"},
        {627, 32, White, Exact, "Benchmark size label"},
        {250, 96, White, Exact, "read caption"},
        {425, 96, White, Exact, "write caption"},
        {245, 120, White, Exact, "read display"},
        {470, 120, White, Exact, "write display"},
        {20, 212, White, Exact, "Drive Manufacturer label"},
        {426, 212, White, Exact, "Benchmark Folder label"},
        {19, 237, White, Exact, "manufacturer field"},
        {425, 237, White, Exact, "folder field"},
        {660, 328, White, Exact, "status line"},
        {116, 83, LightGrey, 16, "start picture face"},
        {139, 33, Black, Drawn, "start picture SEQ1M"},
        {151, 68, Black, Drawn, "start picture Q8T1"},
        {78, 136, Green, Drawn, "start picture PRESS"},
        {115, 127, Green, Drawn, "start picture PRESS"},
    });
}

// The running picture is drawn from the control's corner, 16,12.
void CheckRunningColours(const Screen& screen) {
    CheckColours(screen, {
        {20, 16, White, Exact, "running picture background"},
        {56, 33, Green, Drawn, "running picture housing"},
        {113, 80, Red, Drawn, "running picture gear"},
    });
}

// The system's error icon is a red disc with a white cross, where a
// warning's is yellow and an information's blue: two points on the disc
// beside the cross.
void CheckErrorIcon(const Screen& screen, const RECT& icon) {
    const COLORREF ErrorRed = RGB(216, 16, 16);
    const int width = icon.right - icon.left;
    const int height = icon.bottom - icon.top;
    CheckColours(screen, {
        {icon.left + width * 11 / 16, icon.top + height / 2, ErrorRed, Drawn, "error icon"},
        {icon.left + width / 2, icon.top + height * 11 / 16, ErrorRed, Drawn, "error icon"},
    });
}
