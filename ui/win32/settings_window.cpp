#include "ui/win32/settings_window.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ui/dialog_model.h"
#include "ui/win32/win32_common.h"

namespace qf {

namespace {

constexpr int kFaceBitmap = 239;
constexpr int kKnobBitmap = 120;
constexpr int kViewerBitmap = 217;
constexpr int kViewerInset = 4;
constexpr COLORREF kWellColour = RGB(38, 42, 50);
constexpr COLORREF kLabelColour = RGB(40, 44, 52);

const char kTemplate[] = "DISSOLVESANSPARAM";
// The lists' selection field: a line of the 11-pixel label font.
constexpr int kListFieldHeight = 13;

} // namespace

struct SettingsWindow::State {
    DialogServices& services;
    HWND parent;
    HWND window = nullptr;
    HWND tooltip = nullptr;
    DialogModel* model = nullptr;
    HFONT labelFont = nullptr;
    HFONT narrowFont = nullptr; // for a label too long for its room
    HBITMAP face = nullptr;
    HBITMAP knob = nullptr;
    HBITMAP viewerFrame = nullptr;
    HBITMAP tracks[2] = {nullptr, nullptr};
    HBITMAP dots[kDotBitmapSlots] = {};
    std::vector<HICON> icons;
    DialogCursor cursor = DialogCursor::Arrow;
    // The preview as 32-bit rows for the blit, made again after each render.
    std::vector<uint32_t> preview;
    int previewWidth = 0;
    int previewHeight = 0;
    bool previewStale = true;

    State(DialogServices& s, HWND p) : services(s), parent(p) {}
};

namespace {

HBITMAP loadBitmap(int id) {
    return static_cast<HBITMAP>(
        LoadImageA(moduleHandle(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
}

RECT toRect(const ControlRect& r) {
    return RECT{r.left, r.top, r.left + r.width, r.top + r.height};
}

// Moves the controls to their pixel rectangles. Buttons sit 2 pixels up and
// left of the listed place (the percentage button 2 more up); lists are 19
// pixels wider and drop down to 616 pixels below their top.
void layOut(HWND dlg) {
    RECT frame{0, 0, kDialogClientWidth, kDialogClientHeight};
    AdjustWindowRectEx(&frame, DWORD(GetWindowLongPtrA(dlg, GWL_STYLE)), FALSE,
                       DWORD(GetWindowLongPtrA(dlg, GWL_EXSTYLE)));
    SetWindowPos(dlg, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (int id = 0; id < kControlCount; ++id) {
        HWND control = GetDlgItem(dlg, id);
        const ControlRect r = controlRect(id);
        if (!control || r.empty()) continue;
        int x = r.left, y = r.top, w = r.width, h = r.height;
        const ControlKind kind = controlDescriptor(id).kind;
        if (kind == ControlKind::DialogButton || kind == ControlKind::IconButton ||
            id == kIdZoomPercent) {
            x -= 2;
            y -= id == kIdZoomPercent ? 4 : 2;
        } else if (kind == ControlKind::DropDownList) {
            w += 19;
            h = kDialogClientHeight;
        }
        MoveWindow(control, x, y, w, h, FALSE);
        if (kind == ControlKind::DropDownList) {
            // The closed list is as high as its text needs: the selection
            // field holds one line of the label font.
            SendMessageA(control, CB_SETITEMHEIGHT, WPARAM(-1), LPARAM(kListFieldHeight));
        }
    }
}

void fillLists(HWND dlg) {
    for (int id : kListIds) {
        HWND list = GetDlgItem(dlg, id);
        if (!list) continue;
        SendMessageA(list, CB_RESETCONTENT, 0, 0);
        const int count = listItemCount(id);
        for (int v = 1; v <= count; ++v) {
            const std::string text = listItemText(id, v);
            SendMessageA(list, CB_ADDSTRING, 0, LPARAM(text.c_str()));
        }
    }
}

// The tooltip control: painted controls are rectangles of the dialog, real
// controls are their own windows. Every tip's text comes back through
// TTN_GETDISPINFO.
HWND createTooltip(HWND dlg) {
    if (!loadCommonControls()) return nullptr;
    HWND tip =
        CreateWindowExA(WS_EX_TOPMOST, "tooltips_class32", nullptr,
                        WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, dlg, nullptr, moduleHandle(), nullptr);
    if (!tip) return nullptr;
    for (int id = 1; id < kControlCount; ++id) {
        HWND control = GetDlgItem(dlg, id);
        if (!control) continue;
        TOOLINFOA info{};
        info.cbSize = TTTOOLINFOA_V2_SIZE;
        info.hwnd = dlg;
        info.hinst = moduleHandle();
        info.lpszText = LPSTR_TEXTCALLBACKA;
        if (IsWindowVisible(control) || (GetWindowLongPtrA(control, GWL_STYLE) & WS_VISIBLE)) {
            info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
            info.uId = UINT_PTR(control);
        } else {
            info.uId = UINT_PTR(id);
            info.rect = toRect(controlRect(id));
        }
        SendMessageA(tip, TTM_ADDTOOLA, 0, LPARAM(&info));
    }
    return tip;
}

void setIcons(SettingsWindow::State& s) {
    for (int id = 0; id < kControlCount; ++id) {
        const ControlDescriptor& d = controlDescriptor(id);
        if (d.kind != ControlKind::IconButton) continue;
        HWND button = GetDlgItem(s.window, id);
        if (!button) continue;
        HICON icon = static_cast<HICON>(
            LoadImageA(moduleHandle(), MAKEINTRESOURCEA(d.art), IMAGE_ICON, 0, 0, 0));
        if (icon) s.icons.push_back(icon);
        SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, LPARAM(icon));
        SetWindowTextA(button, "");
    }
}

void drawBitmap(HDC dc, HBITMAP bitmap, int x, int y) {
    if (!bitmap) return;
    BITMAP info{};
    GetObjectA(bitmap, sizeof info, &info);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(dc, x, y, info.bmWidth, info.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

// Labels have the room up to the controls beside them.
constexpr int kLabelRoom = 55;

void drawText(HDC dc, HFONT font, HFONT narrow, const char* text, const ControlRect& r) {
    if (!text) return;
    RECT box = toRect(r);
    box.bottom -= 2;
    box.top += (r.height - 2 - 14) / 2;
    HGDIOBJ old = SelectObject(dc, font);
    SIZE extent{};
    const int length = int(std::strlen(text));
    if (GetTextExtentPoint32A(dc, text, length, &extent) && extent.cx > kLabelRoom &&
        r.width < kLabelRoom)
        SelectObject(dc, narrow);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, kLabelColour);
    DrawTextA(dc, text, -1, &box, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    SelectObject(dc, old);
}

// The preview planes as 32-bit pixels (grey when there are fewer than 3).
void convertPreview(SettingsWindow::State& s) {
    s.previewStale = false;
    const PreviewPlanes p = s.services.previewPlanes();
    s.preview.clear();
    s.previewWidth = s.previewHeight = 0;
    if (!p.data || p.width <= 0 || p.height <= 0 || p.planes <= 0) return;
    const size_t area = size_t(p.width) * size_t(p.height);
    s.preview.resize(area);
    const uint8_t* r = p.data;
    const uint8_t* g = p.planes >= 3 ? p.data + area : r;
    const uint8_t* b = p.planes >= 3 ? p.data + 2 * area : r;
    for (size_t i = 0; i < area; ++i)
        s.preview[i] = uint32_t(b[i]) | uint32_t(g[i]) << 8 | uint32_t(r[i]) << 16;
    s.previewWidth = p.width;
    s.previewHeight = p.height;
}

void paintPreview(SettingsWindow::State& s, HDC dc) {
    const PixelRect pane = s.model->previewPane();
    if (!s.model->settings().previewPossible || pane.width() <= 0 || pane.height() <= 0) return;
    if (s.previewStale) convertPreview(s);
    const int w = std::min<int>(s.previewWidth, int(pane.width()));
    const int h = std::min<int>(s.previewHeight, int(pane.height()));
    HBRUSH well = CreateSolidBrush(kWellColour);
    RECT all{pane.left, pane.top, pane.right, pane.bottom};
    FillRect(dc, &all, well);
    DeleteObject(well);
    if (w > 0 && h > 0)
        drawRows(dc, s.preview.data(), s.previewWidth, s.previewHeight, w, h, pane.left, pane.top,
                 w, h);
}

void paintViewer(SettingsWindow::State& s, HDC dc) {
    const ControlRect r = controlRect(kIdDotViewer);
    drawBitmap(dc, s.viewerFrame, r.left, r.top);
    const PyramidImage* picture = s.model->run().dots.viewer();
    if (!picture) return;
    const int side = kDotViewerSide;
    const std::vector<uint32_t> rows = pictureRows(*picture, side, side);
    drawRows(dc, rows.data(), side, side, side, side, r.left + kViewerInset, r.top + kViewerInset,
             side, side);
}

void paintSlider(SettingsWindow::State& s, HDC dc, int id, const ControlDescriptor& d) {
    const ControlRect r = controlRect(id);
    if (!IsWindowEnabled(GetDlgItem(s.window, d.partner))) {
        RECT box = toRect(r);
        FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH)));
        return;
    }
    drawBitmap(dc, s.tracks[d.art == 102 ? 1 : 0], r.left, r.top);
    drawBitmap(dc, s.knob, sliderKnobLeft(id, s.model->controlValue(id)), r.top + 1);
}

void paint(SettingsWindow::State& s, HDC dc) {
    paintPreview(s, dc);
    for (int id = 0; id < kControlCount; ++id) {
        const ControlDescriptor& d = controlDescriptor(id);
        switch (d.kind) {
        case ControlKind::Label:
            if (id == kIdNameDisplay)
                drawText(dc, s.labelFont, s.narrowFont, s.model->settings().settingsName,
                         controlRect(id));
            else
                drawText(dc, s.labelFont, s.narrowFont, d.label, controlRect(id));
            break;
        case ControlKind::Slider:
            paintSlider(s, dc, id, d);
            break;
        case ControlKind::MemoryDot: {
            const ControlRect r = controlRect(id);
            const int index = dotIndexOf(id);
            const int bitmap = s.model->run().dots.bitmapId(index, s.model->pressedDot() == index);
            drawBitmap(dc, s.dots[dotBitmapSlot(bitmap)], r.left, r.top + 2);
            break;
        }
        case ControlKind::DotViewer:
            paintViewer(s, dc);
            break;
        default:
            break;
        }
    }
}

void paintFace(SettingsWindow::State& s, HDC dc) {
    RECT client;
    GetClientRect(s.window, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    drawBitmap(dc, s.face, 0, 0);
}

HCURSOR cursorFor(DialogCursor c) {
    switch (c) {
    case DialogCursor::OpenHand:
        return LoadCursorA(moduleHandle(), MAKEINTRESOURCEA(108));
    case DialogCursor::ClosedHand:
        return LoadCursorA(moduleHandle(), MAKEINTRESOURCEA(107));
    case DialogCursor::Wait:
        return LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)); // IDC_WAIT
    default:
        return LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    }
}

// The tip's text: string 700 + id of the control under the mouse, or none.
void answerTip(HWND dlg, NMTTDISPINFOA& info) {
    int id = int(info.hdr.idFrom);
    if (info.uFlags & TTF_IDISHWND) id = GetDlgCtrlID(reinterpret_cast<HWND>(info.hdr.idFrom));
    info.szText[0] = 0;
    if (id >= 1 && id <= 200) {
        info.hinst = moduleHandle();
        info.lpszText = MAKEINTRESOURCEA(kFirstTipString + id);
    } else {
        info.hinst = nullptr;
        info.lpszText = info.szText;
    }
    (void)dlg;
}

void relayToTooltip(SettingsWindow::State& s, UINT message, WPARAM wp, LPARAM lp) {
    if (!s.tooltip) return;
    MSG msg{};
    msg.hwnd = s.window;
    msg.message = message;
    msg.wParam = wp;
    msg.lParam = lp;
    SendMessageA(s.tooltip, TTM_RELAYEVENT, 0, LPARAM(&msg));
}

std::string windowText(HWND control) {
    char text[257] = {};
    GetWindowTextA(control, text, int(sizeof text));
    return text;
}

void initialise(SettingsWindow::State& s) {
    s.labelFont =
        CreateFontA(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    s.narrowFont =
        CreateFontA(-10, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, "Arial");
    // The edit boxes and lists are smaller than the dialog's font needs.
    for (int id : kSliderIds) {
        HWND edit = GetDlgItem(s.window, controlDescriptor(id).partner);
        if (edit) SendMessageA(edit, WM_SETFONT, WPARAM(s.labelFont), FALSE);
    }
    for (int id : kListIds) {
        HWND list = GetDlgItem(s.window, id);
        if (list) SendMessageA(list, WM_SETFONT, WPARAM(s.labelFont), FALSE);
    }
    layOut(s.window);
    s.tooltip = createTooltip(s.window);
    placeLikeMainDialog(s.window, s.parent);
    s.face = loadBitmap(kFaceBitmap);
    s.knob = loadBitmap(kKnobBitmap);
    s.viewerFrame = loadBitmap(kViewerBitmap);
    s.tracks[0] = loadBitmap(101);
    s.tracks[1] = loadBitmap(102);
    for (int slot = 0; slot < kDotBitmapSlots; ++slot) s.dots[slot] = loadBitmap(202 + slot);
    setIcons(s);
    fillLists(s.window);
    s.model->initialise();
}

void release(SettingsWindow::State& s) {
    if (s.tooltip) DestroyWindow(s.tooltip);
    s.tooltip = nullptr;
    HBITMAP* all[] = {&s.face, &s.knob, &s.viewerFrame, &s.tracks[0], &s.tracks[1]};
    for (HBITMAP* b : all) {
        if (*b) DeleteObject(*b);
        *b = nullptr;
    }
    for (HBITMAP& b : s.dots) {
        if (b) DeleteObject(b);
        b = nullptr;
    }
    for (HICON icon : s.icons) DestroyIcon(icon);
    s.icons.clear();
    for (HFONT* font : {&s.labelFont, &s.narrowFont}) {
        if (*font) DeleteObject(*font);
        *font = nullptr;
    }
}

void onCommand(SettingsWindow::State& s, int id, int code, HWND control) {
    DialogModel& m = *s.model;
    const ControlKind kind = controlDescriptor(id).kind;
    if (kind == ControlKind::Edit) {
        if (code == EN_CHANGE) m.editChanged(id, windowText(control));
        return;
    }
    if (kind == ControlKind::DropDownList) {
        if (code == CBN_SELCHANGE)
            m.listChanged(id, int(SendMessageA(control, CB_GETCURSEL, 0, 0)));
        return;
    }
    if (code != BN_CLICKED) return;
    if (id == IDOK) id = kIdOk; // Enter with no default button
    m.command(id);
}

INT_PTR CALLBACK settingsProc(HWND dlg, UINT message, WPARAM wp, LPARAM lp) {
    auto* s = reinterpret_cast<SettingsWindow::State*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (message == WM_INITDIALOG) {
        s = reinterpret_cast<SettingsWindow::State*>(lp);
        SetWindowLongPtrA(dlg, DWLP_USER, LONG_PTR(s));
        s->window = dlg;
        initialise(*s);
        return TRUE;
    }
    if (!s || !s->model) return FALSE;
    const int x = short(LOWORD(lp));
    const int y = short(HIWORD(lp));
    switch (message) {
    case WM_ERASEBKGND:
        paintFace(*s, reinterpret_cast<HDC>(wp));
        SetWindowLongPtrA(dlg, DWLP_MSGRESULT, 1);
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(dlg, &ps);
        paint(*s, dc);
        EndPaint(dlg, &ps);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        SetBkMode(reinterpret_cast<HDC>(wp), TRANSPARENT);
        return INT_PTR(GetStockObject(NULL_BRUSH));
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr && hdr->code == TTN_GETDISPINFOA) {
            answerTip(dlg, *reinterpret_cast<NMTTDISPINFOA*>(lp));
            return TRUE;
        }
        return FALSE;
    }
    case WM_COMMAND:
        onCommand(*s, LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return TRUE;
    case WM_CLOSE:
        s->model->command(kIdCancel);
        return TRUE;
    case WM_TIMER:
        s->model->timer(int(wp));
        return TRUE;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wp) == dlg && LOWORD(lp) == HTCLIENT) {
            SetCursor(cursorFor(s->cursor));
            SetWindowLongPtrA(dlg, DWLP_MSGRESULT, TRUE);
            return TRUE;
        }
        return FALSE;
    case WM_MOUSEMOVE:
        relayToTooltip(*s, message, wp, lp);
        s->model->mouseMove(x, y);
        return TRUE;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
        relayToTooltip(*s, message, wp, lp);
        s->model->mousePress(x, y,
                             message == WM_LBUTTONDOWN ? MouseButton::Left : MouseButton::Right,
                             (wp & MK_CONTROL) != 0);
        return TRUE;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
        relayToTooltip(*s, message, wp, lp);
        s->model->mouseRelease(x, y);
        return TRUE;
    case WM_MOUSEWHEEL:
    case WM_NCMOUSEMOVE:
        relayToTooltip(*s, message, wp, lp);
        return FALSE;
    case WM_DESTROY:
        release(*s);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

SettingsWindow::SettingsWindow(DialogServices& services, intptr_t parent)
    : state_(new State(services, reinterpret_cast<HWND>(parent))) {}

SettingsWindow::~SettingsWindow() {
    closeInfoBox();
    delete state_;
}

int SettingsWindow::run(DialogModel& model) {
    state_->model = &model;
    const INT_PTR end =
        DialogBoxParamA(moduleHandle(), kTemplate, state_->parent, settingsProc, LPARAM(state_));
    state_->window = nullptr;
    state_->model = nullptr;
    if (end == kDialogEndOk || end == kDialogEndCancel) return int(end);
    return -1;
}

void SettingsWindow::repaintControl(int id) {
    if (!state_->window) return;
    const ControlRect r = controlRect(id);
    if (r.empty()) return;
    RECT box = toRect(r);
    if (controlDescriptor(id).kind == ControlKind::MemoryDot) box.bottom += 2;
    InvalidateRect(state_->window, &box, TRUE);
}

void SettingsWindow::repaintPreview() {
    state_->previewStale = true;
    if (!state_->window || !state_->model) return;
    const PixelRect pane = state_->model->previewPane();
    RECT box{pane.left, pane.top, pane.right, pane.bottom};
    InvalidateRect(state_->window, &box, FALSE);
}

void SettingsWindow::setEditText(int id, const std::string& text) {
    // The edit box reports the change (EN_CHANGE) before this returns.
    if (state_->window) SetDlgItemTextA(state_->window, id, text.c_str());
}

void SettingsWindow::setListSelection(int id, int index) {
    if (state_->window) SendDlgItemMessageA(state_->window, id, CB_SETCURSEL, WPARAM(index), 0);
}

void SettingsWindow::enableControl(int id, bool enabled) {
    if (!state_->window) return;
    HWND control = GetDlgItem(state_->window, id);
    if (control) EnableWindow(control, enabled);
}

void SettingsWindow::setControlText(int id, const std::string& text) {
    if (state_->window) SetDlgItemTextA(state_->window, id, text.c_str());
}

void SettingsWindow::setCursor(DialogCursor cursor) {
    state_->cursor = cursor;
    SetCursor(cursorFor(cursor));
}

void SettingsWindow::captureMouse(bool capture) {
    if (capture && state_->window)
        SetCapture(state_->window);
    else if (!capture)
        ReleaseCapture();
}

void SettingsWindow::startTimer(int id, int milliseconds) {
    if (state_->window) SetTimer(state_->window, UINT_PTR(id), UINT(milliseconds), nullptr);
}

void SettingsWindow::stopTimer(int id) {
    if (state_->window) KillTimer(state_->window, UINT_PTR(id));
}

void SettingsWindow::postCommand(int id) {
    if (state_->window)
        PostMessageA(state_->window, WM_COMMAND, MAKEWPARAM(UINT(id), BN_CLICKED), 0);
}

void SettingsWindow::endDialog(int code) {
    if (state_->window) EndDialog(state_->window, code);
}

int SettingsWindow::chooseFile(const FileDialogRequest& request, std::string& path) {
    return runFileDialog(reinterpret_cast<intptr_t>(state_->window), request, path);
}

void SettingsWindow::showAboutBox() {
    showAboutWindow();
}

void SettingsWindow::showInfoBox() {
    openInfoWindow(reinterpret_cast<intptr_t>(state_->window));
}

void SettingsWindow::closeInfoBox() {
    closeInfoWindow();
}

} // namespace qf
