// The small boxes: the about box and the information box, and what every
// box of ours shares (the module's instance, the common controls, the
// placement).
#include <windows.h>

#include <commctrl.h>

#include <algorithm>

#include "export/maker.h"
#include "platform/shell_open.h"
#include "resources/dialog_ids.rh"
#include "ui/win32/settings_window.h"
#include "ui/win32/win32_common.h"

namespace qf {

namespace {

constexpr UINT_PTR kInfoTimerId = 997;
constexpr UINT kInfoTimerMs = 1000;

// Process-wide: the about box is modal but has no owner, so a second
// request can arrive while it is up (the host's about call, as a call of its
// own inside the box's message loop, or the settings dialog's logo).
bool aboutOpen = false;
// Process-wide: one information box at a time, modeless, outliving the call
// that opened it; its timer looks for the main dialog to close with it.
HWND infoWindow = nullptr;
HWND infoMainDialog = nullptr;
// The box is modeless and the message loop it lives in (the settings
// dialog's, or the editor's) translates only its own dialog's keys: this
// hook gives the box Enter and Escape while it is open.
HHOOK infoKeyHook = nullptr;

LRESULT CALLBACK infoKeys(int code, WPARAM wp, LPARAM lp) {
    auto* msg = reinterpret_cast<MSG*>(lp);
    if (code == HC_ACTION && wp == PM_REMOVE && infoWindow && msg && msg->message >= WM_KEYFIRST &&
        msg->message <= WM_KEYLAST && (msg->hwnd == infoWindow || IsChild(infoWindow, msg->hwnd)) &&
        IsDialogMessageA(infoWindow, msg)) {
        // Handled: what the loop dispatches now is nothing.
        msg->message = WM_NULL;
        msg->wParam = 0;
        msg->lParam = 0;
    }
    return CallNextHookEx(infoKeyHook, code, wp, lp);
}

// A control's rectangle in its dialog's client coordinates.
RECT placeOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void moveControl(HWND control, int x, int y) {
    SetWindowPos(control, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Sizes a box so that its client area reaches `width` x `height`.
void fitClientArea(HWND box, int width, int height) {
    RECT frame{0, 0, width, height};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrA(box, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrA(box, GWL_EXSTYLE)));
    SetWindowPos(box, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// A picture control takes its bitmap's size, whatever the dialog units
// come to on this screen; the boxes are laid out around the pictures'
// real sizes so that nothing overlaps or is cut off. `margin` is 7 dialog
// units in pixels.
int dialogMargin(HWND box) {
    RECT margin{0, 0, 7, 7};
    MapDialogRect(box, &margin);
    return int(margin.right);
}

// The about box: the logo at the top left, the name and the version line
// beside it, the banner under them and the button centred at the bottom.
void arrangeAboutBox(HWND box) {
    HWND logo = GetDlgItem(box, ABOUT_PICTURE_LOGO_CONTROL);
    HWND name = GetDlgItem(box, ABOUT_PICTURE_NAME_CONTROL);
    HWND version = GetDlgItem(box, ABOUT_VERSION_TEXT);
    HWND banner = GetDlgItem(box, ABOUT_PICTURE_BANNER_CONTROL);
    HWND button = GetDlgItem(box, ABOUT_WEBSITE_BUTTON);
    if (!logo || !name || !version || !banner || !button) return;
    const int m = dialogMargin(box);
    const RECT l = placeOf(logo), n = placeOf(name), v = placeOf(version), b = placeOf(banner),
               k = placeOf(button);
    const int logoW = l.right - l.left, logoH = l.bottom - l.top;
    const int nameH = n.bottom - n.top, versionH = v.bottom - v.top;
    const int bannerW = b.right - b.left, bannerH = b.bottom - b.top;
    const int buttonW = k.right - k.left, buttonH = k.bottom - k.top;
    const int besideX = m + logoW + m;
    const int width =
        std::max({m + bannerW + m, besideX + int(n.right - n.left) + m, m + buttonW + m});
    const int textTop = m + std::max(0, (logoH - nameH - m / 2 - versionH) / 2);
    moveControl(logo, m, m);
    moveControl(name, besideX, textTop);
    SetWindowPos(version, nullptr, besideX, textTop + nameH + m / 2, width - besideX - m, versionH,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    const int bannerTop = m + std::max(logoH, nameH + m / 2 + versionH) + m;
    moveControl(banner, (width - bannerW) / 2, bannerTop);
    const int buttonTop = bannerTop + bannerH + m;
    moveControl(button, (width - buttonW) / 2, buttonTop);
    fitClientArea(box, width, buttonTop + buttonH + m);
}

// The information box: its one picture with a margin around it.
void arrangeInfoBox(HWND box) {
    HWND picture = GetWindow(box, GW_CHILD);
    if (!picture) return;
    const int m = dialogMargin(box) / 2;
    const RECT p = placeOf(picture);
    moveControl(picture, m, m);
    fitClientArea(box, int(p.right - p.left) + 2 * m, int(p.bottom - p.top) + 2 * m);
}

// The modal boxes: the about box and the refusals, placed like the
// settings dialog over their owner (the creation parameter; none for the
// about box). Any command closes them with its id; the about box's website
// button opens the maker's page first.
INT_PTR CALLBACK modalBoxProc(HWND box, UINT message, WPARAM wp, LPARAM lp) {
    switch (message) {
    case WM_INITDIALOG:
        if (GetDlgItem(box, ABOUT_WEBSITE_BUTTON)) arrangeAboutBox(box);
        placeLikeMainDialog(box, reinterpret_cast<HWND>(lp));
        // The box's one button, the default, takes the focus; Escape closes
        // the box without it.
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wp) == ABOUT_WEBSITE_BUTTON) shellOpen(kMakerWebAddress);
        EndDialog(box, LOWORD(wp));
        return TRUE;
    case WM_CLOSE:
        EndDialog(box, IDCANCEL);
        return TRUE;
    default:
        return whiteBackground(message, wp);
    }
}

INT_PTR CALLBACK infoProc(HWND box, UINT message, WPARAM wp, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        arrangeInfoBox(box);
        placeLikeMainDialog(box, nullptr);
        SetTimer(box, kInfoTimerId, kInfoTimerMs, nullptr);
        // The focus goes where the dialog manager puts it (the picture, the
        // box's only control); the key hook gives Enter and Escape to the
        // box from there.
        return TRUE;
    case WM_TIMER:
        // Gone with the main dialog; otherwise wait another second.
        if (wp == kInfoTimerId && !IsWindow(infoMainDialog)) DestroyWindow(box);
        return TRUE;
    case WM_COMMAND:
    case WM_CLOSE:
        DestroyWindow(box);
        return TRUE;
    case WM_DESTROY:
        KillTimer(box, kInfoTimerId);
        if (infoWindow == box) {
            infoWindow = nullptr;
            if (infoKeyHook) UnhookWindowsHookEx(infoKeyHook);
            infoKeyHook = nullptr;
        }
        return FALSE;
    default:
        return whiteBackground(message, wp);
    }
}

} // namespace

HINSTANCE moduleHandle() {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&moduleHandle), &self);
    return self;
}

bool loadCommonControls() {
    static HMODULE library = LoadLibraryA("comctl32.dll");
    if (!library) return false;
    using InitProc = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
    static const auto init = reinterpret_cast<InitProc>(
        reinterpret_cast<void*>(GetProcAddress(library, "InitCommonControlsEx")));
    if (!init) return false;
    INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    return init(&classes) != FALSE;
}

void placeLikeMainDialog(HWND window, HWND parent) {
    RECT area;
    if (parent && IsWindow(parent)) {
        GetClientRect(parent, &area);
        MapWindowPoints(parent, nullptr, reinterpret_cast<POINT*>(&area), 2);
    } else {
        GetWindowRect(GetDesktopWindow(), &area);
    }
    RECT own;
    GetWindowRect(window, &own);
    const int w = own.right - own.left;
    const int h = own.bottom - own.top;
    // No system menu: two thirds of a caption button.
    const int shift = GetSystemMetrics(SM_CXSIZE) * 2 / 3;
    int x = area.left + (area.right - area.left - w) / 2 - shift;
    int y = area.top + (area.bottom - area.top - h) / 3;
    const int screenW = GetSystemMetrics(SM_CXSCREEN);
    const int screenH = GetSystemMetrics(SM_CYSCREEN);
    x = std::max(0, std::min(x, screenW - w));
    y = std::max(0, std::min(y, screenH - h));
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR whiteBackground(UINT message, WPARAM wp) {
    switch (message) {
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
        SetBkColor(reinterpret_cast<HDC>(wp), RGB(255, 255, 255));
        return INT_PTR(GetStockObject(WHITE_BRUSH));
    default:
        return FALSE;
    }
}

bool showAboutWindow() {
    if (aboutOpen) return true;
    aboutOpen = true;
    const INT_PTR end = DialogBoxParamA(moduleHandle(), "ABOUTBOX", nullptr, modalBoxProc, 0);
    aboutOpen = false;
    return end > 0;
}

bool windowSystemPresent() {
    HWND probe =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe) DestroyWindow(probe);
    return probe != nullptr;
}

bool showRefusalWindow(const char* templateName, intptr_t owner) {
    HWND parent = reinterpret_cast<HWND>(owner);
    if (parent && !IsWindow(parent)) parent = nullptr;
    const INT_PTR end =
        DialogBoxParamA(moduleHandle(), templateName, parent, modalBoxProc, LPARAM(parent));
    return end > 0;
}

void openInfoWindow(intptr_t mainDialog) {
    if (infoWindow) return;
    infoMainDialog = reinterpret_cast<HWND>(mainDialog);
    infoWindow = CreateDialogParamA(moduleHandle(), "QUIRL_INFO_BOX", nullptr, infoProc, 0);
    if (!infoWindow) return;
    infoKeyHook = SetWindowsHookExA(WH_GETMESSAGE, infoKeys, nullptr, GetCurrentThreadId());
    ShowWindow(infoWindow, SW_SHOW);
}

void closeInfoWindow() {
    if (infoWindow) DestroyWindow(infoWindow);
    infoWindow = nullptr;
}

} // namespace qf
