// The small boxes around the settings dialog as a person meets them: the
// information box and the keys that close it, the about box, the refusal
// the module shows itself, the tips the module holds, and the Open, PSD
// size and progress windows on their way to a large export. Needs a window
// system (Xvfb under Wine), like the settings dialog's tests; the tips need
// none.
//
// With QF_DIALOG_SHOTS set to a number of milliseconds, the tests print
// "SHOT name" at each box worth a picture and hold still that long, so that
// a script reading their output can photograph the display.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "composite/picture/pyramid_image.h"
#include "presets/presets_file.h"
#include "ui/win32/win32_common.h"
#include "window_test_support.h"

namespace {

using namespace qftest;

void shot(const char* name) {
    const char* pause = std::getenv("QF_DIALOG_SHOTS");
    if (!pause || !*pause) return;
    std::printf("SHOT %s\n", name);
    std::fflush(stdout);
    Sleep(DWORD(std::strtoul(pause, nullptr, 10)));
}

// The window's children of class `kind` ("Button", "Static", ...).
struct ChildSearch {
    const char* kind;
    std::vector<HWND> found;
};

BOOL CALLBACK collectChild(HWND child, LPARAM lp) {
    auto& s = *reinterpret_cast<ChildSearch*>(lp);
    char name[64] = {};
    GetClassNameA(child, name, int(sizeof name));
    if (lstrcmpiA(name, s.kind) == 0) s.found.push_back(child);
    return TRUE;
}

std::vector<HWND> childrenOf(HWND parent, const char* kind) {
    ChildSearch search{kind, {}};
    EnumChildWindows(parent, collectChild, LPARAM(&search));
    return search.found;
}

HWND focusOfThreadOf(HWND window) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui);
    return gui.hwndFocus;
}

// A window's text as it stands, read without a message: the thread that
// owns the window may be busy (a job running in its progress window) and
// would answer a message only when done.
std::string shownText(HWND window) {
    wchar_t text[64] = {};
    const int n = InternalGetWindowText(window, text, int(sizeof text / sizeof text[0]));
    return std::string(text, text + std::max(n, 0));
}

void pressKey(HWND window, WPARAM key) {
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, LPARAM(0xC0000001));
}

// Every control of the box whole inside its client area, none over another
// (pictures take their bitmaps' sizes, whatever the template says).
::testing::AssertionResult controlsApartAndInside(HWND box) {
    RECT area;
    GetClientRect(box, &area);
    std::vector<RECT> places;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
        if (r.left < area.left || r.top < area.top || r.right > area.right ||
            r.bottom > area.bottom)
            return ::testing::AssertionFailure() << "control " << GetDlgCtrlID(c) << " is cut off";
        for (const RECT& other : places) {
            RECT both;
            if (IntersectRect(&both, &r, &other))
                return ::testing::AssertionFailure()
                       << "control " << GetDlgCtrlID(c) << " overlaps";
        }
        places.push_back(r);
    }
    return ::testing::AssertionSuccess();
}

// Where a box without an owner stands: centred on the screen, shifted left
// by two thirds of a caption button, a third of the way down.
::testing::AssertionResult placedLikeTheDialog(HWND box) {
    RECT r;
    GetWindowRect(box, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    const int x =
        std::max(0, std::min((screenW - w) / 2 - GetSystemMetrics(SM_CXSIZE) * 2 / 3, screenW - w));
    const int y = std::max(0, std::min((screenH - h) / 3, screenH - h));
    if (r.left == x && r.top == y) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "at (" << r.left << ", " << r.top << "), expected (" << x << ", " << y << ")";
}

class DialogBoxes : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveDisplay()) {
            if (std::getenv("QF_REQUIRE_DISPLAY")) FAIL() << "no window system (start Xvfb)";
            GTEST_SKIP() << "no window system; run under Xvfb";
        }
    }
};

TEST_F(DialogBoxes, TheInformationBoxClosesOnEnterAndOnEscape) {
    DialogRun run{cli::Settings()};
    ASSERT_NE(run.dialog(), nullptr) << "the dialog did not open";
    for (WPARAM key : {WPARAM(VK_RETURN), WPARAM(VK_ESCAPE)}) {
        PostMessageA(run.dialog(), WM_COMMAND, MAKEWPARAM(kIdInfo, BN_CLICKED),
                     LPARAM(run.item(kIdInfo)));
        HWND info = waitForDialog("Info", 10);
        ASSERT_NE(info, nullptr) << "no information box";
        if (key == VK_RETURN) shot("info");
        // A person's keys go where the focus is: inside the box (the box
        // or its picture), and from there they must close it.
        HWND focus = focusOfThreadOf(info);
        ASSERT_TRUE(focus == info || IsChild(info, focus)) << "the focus is elsewhere";
        EXPECT_TRUE(placedLikeTheDialog(info));
        EXPECT_TRUE(controlsApartAndInside(info));
        pressKey(focus, key);
        EXPECT_TRUE(waitUntilGone(info, 5)) << "key " << key;
        // The key closed the box only: the settings dialog is still open.
        ASSERT_TRUE(IsWindow(run.dialog()));
    }
    run.key(kIdOverlapEdit, VK_ESCAPE);
    EXPECT_EQ(run.finish().result, userCanceledErr);
}

TEST_F(DialogBoxes, TheAboutBoxShowsThreePicturesTheVersionAndOneButton) {
    std::string error;
    const auto module = host::Module::load(modulePath(), &error);
    ASSERT_TRUE(module) << error;
    host::FilterHost host(module->entry());
    std::thread editor([&] { host.about(); });
    HWND about = waitForDialog("About", 10);
    if (!about) {
        editor.detach();
        FAIL() << "no about box";
    }
    shot("about");
    const std::vector<HWND> buttons = childrenOf(about, "Button");
    ASSERT_EQ(buttons.size(), 1u);
    EXPECT_EQ(GetDlgCtrlID(buttons[0]), 5);
    EXPECT_EQ(textOf(buttons[0]), "Visit Tallowmere's website...");
    int pictures = 0;
    std::vector<std::string> texts;
    for (HWND s : childrenOf(about, "Static")) {
        if ((GetWindowLongPtrA(s, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) {
            ++pictures;
            EXPECT_NE(SendMessageA(s, STM_GETIMAGE, IMAGE_BITMAP, 0), 0);
        } else {
            texts.push_back(textOf(s));
        }
    }
    EXPECT_EQ(pictures, 3);
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].rfind("Version ", 0), 0u) << texts[0];
    // The one button is the default and holds the focus; Escape, sent
    // where a person's key goes, closes the box without it.
    EXPECT_EQ(focusOfThreadOf(about), buttons[0]);
    EXPECT_NE(GetWindowLongPtrA(buttons[0], GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
    EXPECT_TRUE(placedLikeTheDialog(about));
    EXPECT_TRUE(controlsApartAndInside(about));
    pressKey(focusOfThreadOf(about), VK_ESCAPE);
    EXPECT_TRUE(waitUntilGone(about, 5));
    editor.join();
}

// Runs the filter on the test document on an "editor" thread as `host` and
// `run` ask, expecting the module's own message box: it says `words`, is
// placed like the dialog when `placed` (then it is also the one
// photographed), and Enter closes it. The run is
// refused (1) and the document is as it was.
void expectRefusalBox(host::FilterHost& host, const host::RunOptions& run, const char* words,
                      bool placed) {
    host::Document doc = testDocument();
    const std::vector<uint8_t> before = doc.bytes();
    host::RunRecord record;
    std::thread editor([&] { record = host.run(doc, run); });
    HWND box = waitForDialog("Plug-in error", 10);
    if (!box) {
        editor.detach();
        FAIL() << "no message box";
    }
    if (placed) shot("refusal");
    // No settings dialog behind it.
    EXPECT_EQ(FindWindowA("#32770", "Quillfire"), nullptr);
    bool said = false;
    for (HWND s : childrenOf(box, "Static"))
        said = said || textOf(s).find(words) != std::string::npos;
    EXPECT_TRUE(said) << "no \"" << words << "\"";
    if (placed) {
        EXPECT_TRUE(placedLikeTheDialog(box));
    }
    pressKey(box, VK_RETURN);
    EXPECT_TRUE(waitUntilGone(box, 5));
    editor.join();
    EXPECT_EQ(record.result, 1);
    EXPECT_EQ(doc.bytes(), before);
}

TEST_F(DialogBoxes, ARefusalShowsTheModulesOwnBoxAndNothingChanges) {
    std::string error;
    const auto module = host::Module::load(modulePath(), &error);
    ASSERT_TRUE(module) << error;
    host::HostOptions options;
    options.advanceState = false; // an editor too old for the filter
    host::FilterHost host(module->entry(), options);
    expectRefusalBox(host, host::RunOptions(), "does not support enough", true);
}

// An editor that asks for the dialog over a window that is gone: the
// dialog cannot be made, a message says so, the run is refused and the
// document stays as it was.
TEST_F(DialogBoxes, ADialogThatCannotBeMadeRefusesTheRunAfterAMessage) {
    std::string error;
    const auto module = host::Module::load(modulePath(), &error);
    ASSERT_TRUE(module) << error;
    HWND gone =
        CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    DestroyWindow(gone);
    host::HostOptions options;
    options.descriptors.playInfo = plugInDialogDisplay;
    options.platformWindow = intptr_t(gone);
    host::FilterHost host(module->entry(), options);
    host::RunOptions run;
    run.showDialog = true;
    expectRefusalBox(host, run, "could not be opened", false);
}

// The tips the tooltip asks the module for are the table's, line by line.
TEST(DialogTips, TheModuleHoldsTheTipOfEveryControlAndNoOther) {
    HMODULE module = LoadLibraryExA(modulePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    for (int id = 0; id <= kControlCount; ++id) {
        char text[256] = {};
        const int length = LoadStringA(module, UINT(kFirstTipString + id), text, int(sizeof text));
        const char* tip = controlTip(id);
        if (tip)
            EXPECT_EQ(std::string(text, size_t(length)), tip) << "id " << id;
        else
            EXPECT_EQ(length, 0) << "id " << id;
    }
    FreeLibrary(module);
}

// What the Open dialog's panel and the dot viewer put on the screen: each
// pixel's own red, green and blue in GDI's word, for the pictures of both
// depths a presets file or a dot holds, and black beyond the picture.
TEST(DialogPictures, RowsForTheScreenKeepEachPixelsColours) {
    for (const int32_t kind : {kPyramidRGBA8, kPyramidRGBA16}) {
        PyramidImage picture;
        ASSERT_TRUE(picture.create(3, 2, kind));
        const auto level = [](int32_t v) { return float(v) / 255.0f; };
        for (int32_t y = 0; y < 2; ++y)
            for (int32_t x = 0; x < 3; ++x)
                picture.storePixel(x, y, 0,
                                   FloatRGBA{level(40 * x + 10), level(100 * y + 20),
                                             level(200 - 30 * x - 50 * y), 1.0f});
        const std::vector<uint32_t> rows = pictureRows(picture, 4, 3);
        ASSERT_EQ(rows.size(), 12u);
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 4; ++x) {
                const uint32_t want = x < 3 && y < 2 ? uint32_t(40 * x + 10) << 16 |
                                                           uint32_t(100 * y + 20) << 8 |
                                                           uint32_t(200 - 30 * x - 50 * y)
                                                     : 0u;
                EXPECT_EQ(rows[size_t(y * 4 + x)], want)
                    << "kind " << kind << " at " << x << ", " << y;
            }
    }
}

// The way to a large export: the Open dialog's picture panel on the way
// (cancelled), the size asked, the file asked, and the progress window
// counting up while it renders.
TEST_F(DialogBoxes, TheProgressWindowCountsUpDuringALargeExport) {
    char temp[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string folder =
        std::string(temp) + "qf_boxes_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(folder.c_str(), nullptr);
    // A presets file with its picture where the Open dialog starts.
    SettingsRecord look{};
    resetSettings(look);
    PyramidImage picture;
    ASSERT_TRUE(picture.create(128, 128, kPyramidRGBA8));
    for (int32_t y = 0; y < 128; ++y)
        for (int32_t x = 0; x < 128; ++x)
            picture.storePixel(x, y, 0, FloatRGBA{x / 128.0f, y / 128.0f, 0.6f, 1.0f});
    const std::string preset = folder + "\\a look.sa9";
    ASSERT_EQ(writeSettingsFile(preset.c_str(), look, &picture), kFileOk);
    char oldFolder[MAX_PATH + 1] = {};
    GetCurrentDirectoryA(MAX_PATH, oldFolder);
    SetCurrentDirectoryA(folder.c_str());

    // Three layers of cells five pixels wide at this size take a second or
    // more to render, several of the progress window's half-second updates
    // (the default look renders it in a fraction of one, and the window
    // then never leaves 0%).
    cli::Settings start;
    start.complexity = 100;
    start.zoom = 0;
    DialogRun run{start};
    ASSERT_NE(run.dialog(), nullptr) << "the dialog did not open";
    PostMessageA(run.dialog(), WM_COMMAND, MAKEWPARAM(kIdLoad, BN_CLICKED),
                 LPARAM(run.item(kIdLoad)));
    HWND open = waitForDialog("Open a settings file", 10);
    ASSERT_NE(open, nullptr) << "no Open dialog";
    // Picking the file in the list shows its picture in the panel.
    const std::vector<HWND> lists = childrenOf(open, "SysListView32");
    if (!lists.empty()) {
        LVITEMA item{};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(lists[0], LVM_SETITEMSTATE, 0, LPARAM(&item));
    }
    shot("open");
    // The panel's picture is whole inside the Open dialog, wherever the
    // system put the panel.
    HWND panelPicture = nullptr;
    for (HWND c : childrenOf(open, "Static"))
        if (GetDlgCtrlID(c) == 123) panelPicture = c;
    ASSERT_NE(panelPicture, nullptr) << "no picture panel";
    RECT inside, placed, whole;
    GetClientRect(open, &inside);
    MapWindowPoints(open, nullptr, reinterpret_cast<POINT*>(&inside), 2);
    GetWindowRect(panelPicture, &placed);
    IntersectRect(&whole, &inside, &placed);
    EXPECT_TRUE(EqualRect(&whole, &placed)) << "the panel's picture is cut off";
    PostMessageA(open, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntilGone(open, 10));

    PostMessageA(run.dialog(), WM_COMMAND, MAKEWPARAM(kIdPsdExport, BN_CLICKED),
                 LPARAM(run.item(kIdPsdExport)));
    HWND size = waitForDialog("Export PSD image", 10);
    ASSERT_NE(size, nullptr) << "no size dialog";
    SendMessageA(GetDlgItem(size, 12), BM_CLICK, 0, 0); // custom size
    SetDlgItemTextA(size, 3, "4000");
    SetDlgItemTextA(size, 4, "3000");
    shot("psd-size");
    PostMessageA(size, WM_COMMAND, IDOK, 0);
    HWND save = waitForDialog("Save a PSD file", 10);
    ASSERT_NE(save, nullptr) << "no Save dialog";
    const std::string target = folder + "\\large.psd";
    ASSERT_TRUE(typeFileName(save, target));
    PostMessageA(save, WM_COMMAND, IDOK, 0);

    HWND progress = waitForDialog("PSD file progress", 10);
    ASSERT_NE(progress, nullptr) << "no progress window";
    // The numbers shown, in the order they were shown.
    std::vector<int> shown;
    bool photographed = false;
    while (IsWindow(progress)) {
        const std::string percent = shownText(GetDlgItem(progress, 2));
        if (!percent.empty()) {
            ASSERT_EQ(percent.back(), '%') << percent;
            const int n = std::atoi(percent.c_str());
            if (shown.empty() || shown.back() != n) shown.push_back(n);
        }
        if (!photographed && !shown.empty() && shown.back() > 0) {
            shot("progress");
            photographed = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // It starts at 0%, only counts up, and shows the way between.
    std::printf("percentages shown: %s\n", ::testing::PrintToString(shown).c_str());
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.front(), 0);
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [](int n) { return n > 0 && n < 100; }))
        << "no percentage between 0% and 100% was seen during the export: "
        << ::testing::PrintToString(shown);
    EXPECT_LE(shown.back(), 100);

    run.key(kIdOverlapEdit, VK_ESCAPE);
    run.finish();
    SetCurrentDirectoryA(oldFolder);
    WIN32_FILE_ATTRIBUTE_DATA data{};
    EXPECT_TRUE(GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &data));
    EXPECT_GT(data.nFileSizeLow, 4000u * 3000u); // the pixels are there
    DeleteFileA(target.c_str());
    DeleteFileA(preset.c_str());
    RemoveDirectoryA(folder.c_str());
}

} // namespace
