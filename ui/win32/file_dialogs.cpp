// The system's Open and Save dialogs, from comdlg32 loaded when first
// needed. The Open dialog of settings files carries a panel that shows the
// picture stored in the selected presets file.
#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "composite/picture/pyramid_image.h"
#include "platform/file.h"
#include "presets/presets_file.h"
#include "resources/dialog_ids.rh"
#include "ui/win32/win32_common.h"

namespace qf {

namespace {

constexpr DWORD kPathChars = MAX_PATH;

struct PanelState {
    PyramidImage picture;
    bool shown = false;
};

bool containsPresetsExtension(const char* path) {
    const size_t n = std::strlen(path);
    for (size_t i = 0; i + 4 <= n; ++i)
        if (path[i] == '.' && (path[i + 1] | 0x20) == 's' && (path[i + 2] | 0x20) == 'a' &&
            path[i + 3] == '9')
            return true;
    return false;
}

void drawPanelPicture(const PanelState& panel, const DRAWITEMSTRUCT& item) {
    HDC dc = item.hDC;
    RECT box = item.rcItem;
    FillRect(dc, &box, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (!panel.shown) return;
    const int w = panel.picture.width();
    const int h = panel.picture.height();
    if (w <= 0 || h <= 0) return;
    // The largest square (or the picture's shape) that fits, centred.
    const int boxW = box.right - box.left;
    const int boxH = box.bottom - box.top;
    const double scale = std::min(double(boxW) / w, double(boxH) / h);
    const int dw = std::max(1, int(w * scale));
    const int dh = std::max(1, int(h * scale));
    const std::vector<uint32_t> rows = pictureRows(panel.picture, w, h);
    drawRows(dc, rows.data(), w, h, w, h, box.left + (boxW - dw) / 2, box.top + (boxH - dh) / 2, dw,
             dh);
}

// The picture stands where the panel's template puts it, unless the system
// dialog left the panel narrower than that: then it moves left until it is
// whole, at the same height.
void keepPictureInside(HWND panel) {
    HWND picture = GetDlgItem(panel, OPEN_PANEL_PICTURE);
    if (!picture) return;
    RECT area, r;
    GetClientRect(panel, &area);
    GetWindowRect(picture, &r);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&r), 2);
    RECT margin{0, 0, 7, 7};
    MapDialogRect(panel, &margin);
    const int w = r.right - r.left;
    const int x = std::max(0L, std::min(r.left, area.right - margin.right - w));
    if (x != r.left) SetWindowPos(picture, nullptr, x, r.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

UINT_PTR CALLBACK openPanelHook(HWND panel, UINT message, WPARAM, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        const auto* ofn = reinterpret_cast<const OPENFILENAMEA*>(lp);
        SetWindowLongPtrA(panel, GWLP_USERDATA, LONG_PTR(ofn->lCustData));
        return TRUE;
    }
    auto* state = reinterpret_cast<PanelState*>(GetWindowLongPtrA(panel, GWLP_USERDATA));
    if (!state) return 0;
    if (message == WM_NOTIFY) {
        const auto* note = reinterpret_cast<const OFNOTIFYA*>(lp);
        if (note->hdr.code == CDN_INITDONE) keepPictureInside(panel);
        if (note->hdr.code == CDN_SELCHANGE) {
            char path[kPathChars + 1] = {};
            SendMessageA(GetParent(panel), CDM_GETFILEPATH, kPathChars, LPARAM(path));
            state->shown = false;
            if (containsPresetsExtension(path)) {
                bool read = false;
                readSettingsFile(path, kPresetsThumbnailOnly, nullptr, &state->picture, &read);
                state->shown = read;
            }
            InvalidateRect(GetDlgItem(panel, OPEN_PANEL_PICTURE), nullptr, TRUE);
        }
        return 0;
    }
    if (message == WM_DRAWITEM) {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (item->CtlID == OPEN_PANEL_PICTURE) {
            drawPanelPicture(*state, *item);
            return TRUE;
        }
    }
    return 0;
}

using FileDialogProc = BOOL(WINAPI*)(OPENFILENAMEA*);

FileDialogProc comdlgProc(const char* name) {
    static HMODULE library = LoadLibraryA("comdlg32.dll");
    if (!library) return nullptr;
    return reinterpret_cast<FileDialogProc>(reinterpret_cast<void*>(GetProcAddress(library, name)));
}

} // namespace

int runFileDialog(intptr_t owner, const FileDialogRequest& request, std::string& path) {
    const bool open = request.kind == FileDialogKind::OpenSettings ||
                      request.kind == FileDialogKind::ChooseSourceFile;
    FileDialogProc proc = comdlgProc(open ? "GetOpenFileNameA" : "GetSaveFileNameA");
    if (!proc) return kFileDialogCancelled;

    char file[kPathChars + 1] = {};
    std::strncpy(file, request.initialName.c_str(), kPathChars);
    const std::string folder = request.initialFolder.substr(0, kPathChars);
    PanelState panel;

    OPENFILENAMEA ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = reinterpret_cast<HWND>(owner);
    ofn.hInstance = moduleHandle();
    ofn.lpstrFile = file;
    ofn.nMaxFile = kPathChars;
    ofn.lpstrTitle = request.title.c_str();
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
    switch (request.kind) {
    case FileDialogKind::OpenSettings:
        ofn.lpstrFilter = "Quillfire presets (*.sa9)\0*.sa9\0";
        ofn.Flags |= OFN_FILEMUSTEXIST | OFN_ENABLEHOOK | OFN_ENABLETEMPLATE;
        ofn.lpTemplateName = "FANCY_OPEN4";
        ofn.lpfnHook = openPanelHook;
        ofn.lCustData = LPARAM(&panel);
        break;
    case FileDialogKind::SaveSettings:
        ofn.lpstrFilter = "Quillfire presets (*.sa9)\0*.sa9\0";
        ofn.lpstrDefExt = "sa9";
        ofn.Flags |= OFN_OVERWRITEPROMPT;
        break;
    case FileDialogKind::ChooseSourceFile:
        ofn.lpstrFilter = "All files (*.*)\0*.*\0";
        ofn.Flags |= OFN_FILEMUSTEXIST;
        break;
    case FileDialogKind::SaveHtmlPage:
        ofn.lpstrFilter = "HTML page (*.html)\0*.html\0";
        ofn.lpstrDefExt = "html";
        ofn.Flags |= OFN_OVERWRITEPROMPT;
        break;
    case FileDialogKind::SavePsd:
        ofn.lpstrFilter = "PSD file (*.psd)\0*.psd\0";
        ofn.lpstrDefExt = "psd";
        ofn.Flags |= OFN_OVERWRITEPROMPT;
        break;
    }
    if (!proc(&ofn)) return kFileDialogCancelled;
    path = file;
    return kFileOk;
}

} // namespace qf
