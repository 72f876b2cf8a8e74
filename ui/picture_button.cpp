// The start button: a normal push button face with the picture over it.
#include "ui/window_state.h"

namespace {

void DrawCaption(const DRAWITEMSTRUCT& item, RECT face) {
    wchar_t caption[32] = {};
    GetWindowTextW(item.hwndItem, caption, 32);
    SetBkMode(item.hDC, TRANSPARENT);
    DrawTextW(item.hDC, caption, -1, &face, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

}  // namespace

void DrawPictureButton(const DRAWITEMSTRUCT& item, HBITMAP picture) {
    const bool pressed = (item.itemState & ODS_SELECTED) != 0;
    const bool disabled = (item.itemState & ODS_DISABLED) != 0;
    RECT face = item.rcItem;
    UINT frame = DFCS_BUTTONPUSH;
    if (pressed) frame |= DFCS_PUSHED;
    if (disabled) frame |= DFCS_INACTIVE;
    DrawFrameControl(item.hDC, &face, DFC_BUTTON, frame);
    InflateRect(&face, -GetSystemMetrics(SM_CXEDGE), -GetSystemMetrics(SM_CYEDGE));
    const int shift = pressed ? 1 : 0;

    // Without its picture the button still says what it is.
    BITMAP size{};
    if (!picture || !GetObjectW(picture, sizeof(size), &size)) {
        OffsetRect(&face, shift, shift);
        DrawCaption(item, face);
        return;
    }
    const int saved = SaveDC(item.hDC);
    IntersectClipRect(item.hDC, face.left, face.top, face.right, face.bottom);
    const int x = (item.rcItem.left + item.rcItem.right - size.bmWidth) / 2 + shift;
    const int y = (item.rcItem.top + item.rcItem.bottom - size.bmHeight) / 2 + shift;
    const UINT flags = DST_BITMAP | (disabled ? DSS_DISABLED : DSS_NORMAL);
    DrawStateW(item.hDC, nullptr, nullptr, reinterpret_cast<LPARAM>(picture), 0, x, y,
               size.bmWidth, size.bmHeight, flags);
    RestoreDC(item.hDC, saved);
}
