// What the dialog's windows share inside ui/win32: the module's instance,
// the run-time loaded system libraries, the placement every box of ours
// uses, the file dialogs and the information box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "ui/dialog_view.h"

namespace qf {

// The instance of the module holding this code (its templates and art).
HINSTANCE moduleHandle();

// Loads comctl32 and registers the tooltip class; false when the library
// is missing.
bool loadCommonControls();

// Centres `window` horizontally over the parent's client area (the desktop
// without a parent), shifted left by two thirds of a caption button, one
// third of the way down the free space, kept inside the screen.
void placeLikeMainDialog(HWND window, HWND parent);

// The system's Open or Save dialog for `request`, owned by `owner`; the Open
// dialog of settings files shows the picture of the file selected. kFileOk
// with `path`, or kFileDialogCancelled when cancelled or unavailable.
int runFileDialog(intptr_t owner, const FileDialogRequest& request, std::string& path);

// The information box: modeless, ownerless, one at a time. It closes on any
// command, when asked, and on its own once `mainDialog` is gone.
void openInfoWindow(intptr_t mainDialog);
void closeInfoWindow();

// The memory-dot bitmaps are numbered 202 to 216.
constexpr int kFirstDotBitmap = 202;
constexpr int kDotBitmapSlots = 15;
inline int dotBitmapSlot(int bitmapId) {
    const int slot = bitmapId - kFirstDotBitmap;
    return slot < 0 || slot >= kDotBitmapSlots ? 1 : slot;
}

class PyramidImage;

// The level-0 colours of a picture as 32-bit rows for GDI, `width` x
// `height` (black where the picture is smaller).
std::vector<uint32_t> pictureRows(const PyramidImage& picture, int width, int height);
// Draws the top-left sourceWidth x sourceHeight of `width` x `height`
// 32-bit rows into the box at (x, y), stretched when the sizes differ.
void drawRows(HDC dc, const uint32_t* rows, int width, int height, int sourceWidth,
              int sourceHeight, int x, int y, int drawWidth, int drawHeight);

// A brush-white dialog background, for the about and information boxes.
INT_PTR whiteBackground(UINT message, WPARAM wp);

} // namespace qf
