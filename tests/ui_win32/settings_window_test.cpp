// The settings dialog as a person meets it: the real module opened through
// our host with the dialog asked for, on a thread of its own like an
// editor's, and driven from the test's thread with window messages. Needs a
// window system (Xvfb under Wine); without one the tests are skipped, unless
// QF_REQUIRE_DISPLAY says the run must have one.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "window_test_support.h"

namespace {

using qftest::DialogRun;
using qftest::haveDisplay;
using qftest::testDocument;

class SettingsWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!haveDisplay()) {
            if (std::getenv("QF_REQUIRE_DISPLAY")) FAIL() << "no window system (start Xvfb)";
            GTEST_SKIP() << "no window system; run under Xvfb";
        }
        start.shape = 3;
        start.merge = 2;
        start.stripeKind = 4;
        start.glue = 17;
        start.overlap = 40;
        start.seed = 77;
    }
    cli::Settings start;
};

RECT clientRectOf(HWND dialog, HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

::testing::AssertionResult sameRect(const RECT& got, int left, int top, int width, int height) {
    if (got.left == left && got.top == top && got.right - got.left == width &&
        got.bottom - got.top == height)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "at (" << got.left << ", " << got.top << ") size " << got.right - got.left << " x "
           << got.bottom - got.top << ", expected (" << left << ", " << top << ") size " << width
           << " x " << height;
}

TEST_F(SettingsWindow, LaysOutEveryControlAndAnswersTipsThenEscapeCancels) {
    DialogRun run(start);
    ASSERT_NE(run.dialog(), nullptr) << "the dialog did not open";
    HWND dlg = run.dialog();

    RECT client;
    GetClientRect(dlg, &client);
    EXPECT_TRUE(sameRect(client, 0, 0, kDialogClientWidth, kDialogClientHeight));

    int controls = 0;
    for (int id = 0; id < kControlCount; ++id) {
        const ControlRect r = controlRect(id);
        HWND control = run.item(id);
        if (r.empty()) {
            EXPECT_EQ(control, nullptr) << "id " << id << " has no place in the layout";
            continue;
        }
        ASSERT_NE(control, nullptr) << "control " << id << " is missing";
        ++controls;
        const ControlKind kind = controlDescriptor(id).kind;
        const RECT got = clientRectOf(dlg, control);
        if (kind == ControlKind::DialogButton || kind == ControlKind::IconButton) {
            EXPECT_TRUE(sameRect(got, r.left - 2, r.top - 2, r.width, r.height)) << "id " << id;
        } else if (id == kIdZoomPercent) {
            EXPECT_TRUE(sameRect(got, r.left - 2, r.top - 4, r.width, r.height)) << "id " << id;
        } else if (kind == ControlKind::DropDownList) {
            EXPECT_EQ(got.left, r.left) << "id " << id;
            EXPECT_EQ(got.top, r.top) << "id " << id;
            EXPECT_EQ(got.right - got.left, r.width + 19) << "id " << id;
            // The list was given 616 pixels from the control's top; systems
            // differ in whether the dropped rectangle counts the selection
            // field (at most 21 pixels here) in that height.
            RECT dropped{}, closed{};
            SendMessageA(control, CB_GETDROPPEDCONTROLRECT, 0, LPARAM(&dropped));
            GetWindowRect(control, &closed);
            EXPECT_EQ(dropped.top, closed.top) << "id " << id;
            EXPECT_LE(dropped.bottom - closed.top, kDialogClientHeight) << "id " << id;
            EXPECT_GE(dropped.bottom - closed.top, kDialogClientHeight - 21) << "id " << id;
        } else {
            EXPECT_TRUE(sameRect(got, r.left, r.top, r.width, r.height)) << "id " << id;
        }
        if (kind == ControlKind::IconButton) {
            EXPECT_NE(SendMessageA(control, BM_GETIMAGE, IMAGE_ICON, 0), 0) << "id " << id;
            EXPECT_EQ(GetWindowTextLengthA(control), 0) << "id " << id;
        }
    }
    EXPECT_EQ(controls, 81);
    EXPECT_NE(GetWindowLongPtrA(run.item(kIdOk), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);

    // A setting n shows item n - 1.
    EXPECT_EQ(run.selection(kIdShapeList), 2);
    EXPECT_EQ(run.selection(kIdMergeList), 1);
    EXPECT_EQ(run.selection(kIdStripeKindList), 3);
    EXPECT_EQ(run.selection(kIdGlueList), 16);
    EXPECT_EQ(run.text(kIdOverlapEdit), "40");
    EXPECT_EQ(run.text(kIdZoomPercent), "100%");

    // Tips: string 700 + id of the module, for painted controls (tools of
    // the dialog by id) and real ones (tools by window); none past 200.
    HMODULE module = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(run.entry()), &module);
    struct Tip {
        UINT_PTR from;
        UINT flags;
        int string; // 0: an empty text of its own
    };
    const Tip tips[] = {{kIdOverlapSlider, 0, 710},
                        {kIdFirstDot, 0, 821},
                        {UINT_PTR(run.item(kIdOk)), TTF_IDISHWND, 703},
                        {UINT_PTR(run.item(kIdGlueList)), TTF_IDISHWND, 726},
                        {201, 0, 0},
                        {0, 0, 0}};
    for (const Tip& t : tips) {
        NMTTDISPINFOA info{};
        info.hdr.hwndFrom = dlg;
        info.hdr.idFrom = t.from;
        info.hdr.code = TTN_GETDISPINFOA;
        info.uFlags = t.flags;
        info.szText[0] = 'x';
        SendMessageA(dlg, WM_NOTIFY, 0, LPARAM(&info));
        if (t.string) {
            EXPECT_EQ(info.lpszText, MAKEINTRESOURCEA(t.string));
            EXPECT_EQ(info.hinst, module);
        } else {
            EXPECT_EQ(info.lpszText, info.szText);
            EXPECT_EQ(info.szText[0], 0);
        }
    }

    // Changes, then Escape: Cancel, the document untouched.
    const ControlRect slider = controlRect(kIdOverlapSlider);
    run.mouse(WM_LBUTTONDOWN, slider.left + 20, slider.top + 5);
    run.mouse(WM_LBUTTONUP, slider.left + 20, slider.top + 5);
    run.select(kIdShapeList, 5);
    run.key(kIdOverlapEdit, VK_ESCAPE);
    const host::RunRecord& rec = run.finish();
    EXPECT_EQ(rec.result, userCanceledErr);
    EXPECT_EQ(run.document().bytes(), run.original());
}

TEST_F(SettingsWindow, DragsTypesSelectsAndEnterRendersTheChosenSettings) {
    DialogRun run(start);
    ASSERT_NE(run.dialog(), nullptr) << "the dialog did not open";
    const ControlRect slider = controlRect(kIdOverlapSlider);
    const int y = slider.top + 5;

    // Past the left end, then past the right end: 0 and 100.
    run.mouse(WM_LBUTTONDOWN, slider.left + 60, y);
    run.mouse(WM_MOUSEMOVE, slider.left - 300, y);
    EXPECT_EQ(run.text(kIdOverlapEdit), "0");
    run.mouse(WM_MOUSEMOVE, slider.left + slider.width + 300, y);
    EXPECT_EQ(run.text(kIdOverlapEdit), "100");
    run.mouse(WM_LBUTTONUP, slider.left + slider.width + 300, y);
    EXPECT_EQ(run.text(kIdOverlapEdit), "100");
    // Pressing at the far left jumps there at once.
    const ControlRect hue = controlRect(kIdHueSlider);
    run.mouse(WM_LBUTTONDOWN, hue.left + 1, hue.top + 5);
    run.mouse(WM_LBUTTONUP, hue.left + 1, hue.top + 5);
    EXPECT_EQ(run.text(kIdHueEdit), "0");

    // "250" typed: the box keeps it until the re-render timer, which writes
    // the slider's 100 back.
    SendMessageA(run.item(kIdSoftnessEdit), WM_SETTEXT, 0, LPARAM("250"));
    EXPECT_EQ(run.text(kIdSoftnessEdit), "250");
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (run.text(kIdSoftnessEdit) != "100" && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(run.text(kIdSoftnessEdit), "100");

    // Glue 69 and N: glue 1. Shape item 4: shape 5.
    run.select(kIdGlueList, 68);
    SendMessageA(run.item(kIdNextGlue), BM_CLICK, 0, 0);
    EXPECT_EQ(run.selection(kIdGlueList), 0);
    run.select(kIdShapeList, 4);

    run.key(kIdZoomEdit, VK_RETURN);
    const host::RunRecord& rec = run.finish();
    ASSERT_TRUE(rec.ok()) << host::describeResult(rec.result);
    ASSERT_TRUE(rec.descriptorOut.has_value());
    const std::string chosen = cli::describeSettings(*rec.descriptorOut);
    for (const char* flag : {"--overlap 100", "--softness 100", "--hue 0", "--seed 77"})
        EXPECT_NE(chosen.find(flag), std::string::npos) << flag << " not in " << chosen;
    EXPECT_NE(run.document().bytes(), run.original());

    // The same settings replayed without a dialog give the same pixels.
    host::Document again = testDocument();
    host::FilterHost replay(run.entry());
    host::RunOptions options;
    options.descriptor = *rec.descriptorOut;
    ASSERT_TRUE(replay.run(again, options).ok());
    EXPECT_EQ(again.bytes(), run.document().bytes());
}

} // namespace
