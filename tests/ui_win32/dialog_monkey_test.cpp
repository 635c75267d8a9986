// The real settings dialog under a monkey: thousands of random presses,
// drags and releases anywhere in the window (right button and Ctrl too),
// texts typed into the edit boxes (junk, huge and tiny numbers), list
// selections in and out of range, clicks on every icon button and timer
// ticks. Any box or file dialog the dialog opens meanwhile is closed by a
// watcher, as a person who cancels it would. After each burst the window
// must answer and every setting it shows be in its range; at the end OK
// must render exactly the settings shown.
//
// Runs only when QF_MONKEY_EVENTS gives the number of events (the ctest
// entry ui_win32_monkey sets it); QF_MONKEY_SEED picks the sequence, so a
// failure replays with the seed it prints.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/cli/settings.h"
#include "host/filter_host.h"
#include "host/module_loader.h"
#include "tests/common/test_paths.h"
#include "ui/control_table.h"
#include "ui/dialog_model.h"

namespace qf {}
using namespace qf;

namespace {

// A small deterministic generator: the same seed gives the same events on
// every build.
class Dice {
  public:
    explicit Dice(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return uint32_t(state_ >> 11);
    }
    int below(int n) { return n > 0 ? int(next() % uint32_t(n)) : 0; }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }

  private:
    uint64_t state_;
};

bool send(HWND w, UINT message, WPARAM wp, LPARAM lp, DWORD_PTR* answer = nullptr) {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(w, message, wp, lp, SMTO_NORMAL, 10000,
                               answer ? answer : &ignored) != 0;
}

// Closes every top-level window of this process but the dialog (boxes,
// file dialogs, the about box, the PSD export window) while it lives.
class ModalCloser {
  public:
    explicit ModalCloser(HWND dialog) : dialog_(dialog), thread_([this] { loop(); }) {}
    ~ModalCloser() {
        stop_ = true;
        thread_.join();
    }
    int closed() const { return closed_; }

  private:
    static BOOL CALLBACK visit(HWND w, LPARAM self) {
        auto* me = reinterpret_cast<ModalCloser*>(self);
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        if (pid != GetCurrentProcessId() || w == me->dialog_ || !IsWindowVisible(w)) return TRUE;
        char cls[64] = {};
        GetClassNameA(w, cls, int(sizeof cls));
        const std::string name = cls;
        // The dialog's own tips and dropped lists come and go with it.
        if (name == "tooltips_class32" || name == "ComboLBox") return TRUE;
        if (name == "#32770")
            PostMessageA(w, WM_COMMAND, IDCANCEL, 0);
        else
            PostMessageA(w, WM_CLOSE, 0, 0);
        ++me->closed_;
        return TRUE;
    }
    void loop() {
        while (!stop_) {
            EnumWindows(visit, LPARAM(this));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    HWND dialog_;
    std::atomic<bool> stop_{false};
    std::atomic<int> closed_{0};
    std::thread thread_;
};

const char* const kTexts[] = {"",    "0",    "100",         "101",  "-1",         "-2147483648",
                              "abc", "1e9",  "99999999999", " 42 ", "0x10",       "7.5",
                              "%",   "\xff", "000000050",   "+3",   "4294967296", "--"};

int editOf(int slider) {
    return controlDescriptor(slider).partner;
}

// The settings the dialog shows, in the CLI's terms; empty when one is out
// of its range (with the reason in `problem`).
bool shownSettings(HWND dlg, cli::Settings& shown, std::string& problem) {
    std::optional<int32_t>* sliders[kSliderCount] = {
        &shown.overlap, &shown.softness, &shown.warping, &shown.complexity, &shown.zoom,
        &shown.color,   &shown.hue,      &shown.stripes, &shown.doublure};
    for (int i = 0; i < kSliderCount; ++i) {
        const ControlDescriptor& d = controlDescriptor(kSliderIds[i]);
        char text[64] = {};
        GetWindowTextA(GetDlgItem(dlg, editOf(kSliderIds[i])), text, int(sizeof text));
        // The box's text read as the dialog reads it (text that is no
        // number counts as 0); a value out of range must have been written
        // back by the re-render timer.
        const double value = parseEditNumber(text);
        if (!(value >= d.minimum && value <= d.maximum)) {
            problem =
                "edit box " + std::to_string(editOf(kSliderIds[i])) + " shows \"" + text + "\"";
            return false;
        }
        *sliders[i] = int32_t(value);
    }
    std::optional<int32_t>* lists[kListCount] = {&shown.glue, &shown.stripeKind, &shown.merge,
                                                 &shown.shape};
    for (int i = 0; i < kListCount; ++i) {
        HWND list = GetDlgItem(dlg, kListIds[i]);
        const auto at = int(SendMessageA(list, CB_GETCURSEL, 0, 0));
        const auto count = int(SendMessageA(list, CB_GETCOUNT, 0, 0));
        if (at < 0 || at >= count) {
            problem = "list " + std::to_string(kListIds[i]) + " selects item " +
                      std::to_string(at) + " of " + std::to_string(count);
            return false;
        }
        *lists[i] = at + 1;
    }
    return true;
}

// A typed text stays in its box until the dialog's re-render timer writes
// the setting back: wait for that.
bool settle(HWND dlg, cli::Settings& shown, std::string& problem) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        if (shownSettings(dlg, shown, problem)) return true;
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

// One random event of the kinds a person (or a cat) makes.
void oneEvent(HWND dlg, Dice& dice, std::vector<int>& buttons, std::vector<int>& edits) {
    const int x = dice.between(-40, kDialogClientWidth + 40);
    const int y = dice.between(-40, kDialogClientHeight + 40);
    const WPARAM ctrl = dice.below(4) == 0 ? MK_CONTROL : 0;
    const LPARAM at = MAKELPARAM(x, y);
    switch (dice.below(12)) {
    case 0:
    case 1:
    case 2: { // a press, a drag and a release, left or right
        const bool right = dice.below(5) == 0;
        send(dlg, right ? WM_RBUTTONDOWN : WM_LBUTTONDOWN, (right ? MK_RBUTTON : MK_LBUTTON) | ctrl,
             at);
        for (int steps = dice.below(4); steps > 0; --steps)
            send(dlg, WM_MOUSEMOVE, (right ? MK_RBUTTON : MK_LBUTTON) | ctrl,
                 MAKELPARAM(dice.between(-300, 1200), dice.between(-300, 900)));
        send(dlg, right ? WM_RBUTTONUP : WM_LBUTTONUP, ctrl,
             MAKELPARAM(dice.between(-40, 930), dice.between(-40, 660)));
        break;
    }
    case 3: // a press whose release never comes, or a release alone
        send(dlg, dice.below(2) ? WM_LBUTTONDOWN : WM_LBUTTONUP, ctrl, at);
        break;
    case 4:
        send(dlg, WM_MOUSEMOVE, ctrl, at);
        break;
    case 5: // a double click on a dot or anywhere
        send(dlg, WM_LBUTTONDBLCLK, MK_LBUTTON | ctrl, at);
        send(dlg, WM_LBUTTONUP, ctrl, at);
        break;
    case 6:
    case 7: { // a text typed over an edit box
        std::string text = kTexts[dice.below(int(std::size(kTexts)))];
        if (dice.below(3) == 0) text = std::to_string(int64_t(dice.next()) - (1ll << 31));
        send(GetDlgItem(dlg, edits[size_t(dice.below(int(edits.size())))]), WM_SETTEXT, 0,
             LPARAM(text.c_str()));
        break;
    }
    case 8: { // a character typed (never Enter or Escape, which close it)
        const char c = "0123456789-+ax% "[dice.below(16)];
        send(GetDlgItem(dlg, edits[size_t(dice.below(int(edits.size())))]), WM_CHAR,
             WPARAM(uint8_t(c)), 1);
        break;
    }
    case 9: { // a list selection, as a person can make one
        const int id = kListIds[dice.below(kListCount)];
        HWND list = GetDlgItem(dlg, id);
        const auto count = int(SendMessageA(list, CB_GETCOUNT, 0, 0));
        send(list, CB_SETCURSEL, WPARAM(dice.below(count)), 0);
        send(dlg, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(list));
        break;
    }
    case 10: { // a button: zoom, random, undo, load, save, pages, export...
        const int id = buttons[size_t(dice.below(int(buttons.size())))];
        send(GetDlgItem(dlg, id), BM_CLICK, 0, 0);
        break;
    }
    default: // a timer tick out of turn
        send(dlg, WM_TIMER, WPARAM(dice.below(8)), 0);
        break;
    }
}

TEST(DialogMonkey, RandomEventsLeaveItAnsweringInRangeAndOkRendersWhatItShows) {
    const char* events = std::getenv("QF_MONKEY_EVENTS");
    if (!events) GTEST_SKIP() << "QF_MONKEY_EVENTS not set";
    const int total = std::atoi(events);
    const uint64_t seed = std::getenv("QF_MONKEY_SEED")
                              ? std::strtoull(std::getenv("QF_MONKEY_SEED"), nullptr, 10)
                              : 1;
    // A window can be made only where there is a window system.
    const bool display = [] {
        HWND w =
            CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        return w && DestroyWindow(w);
    }();
    if (!display && std::getenv("QF_REQUIRE_DISPLAY")) FAIL() << "no window system (start Xvfb)";
    if (!display) GTEST_SKIP() << "no window system; run under Xvfb";

    const char* modulePath = std::getenv("QF_MODULE");
    std::string error;
    auto module = host::Module::load(qftest::nativePath(modulePath ? modulePath : ""), &error);
    ASSERT_TRUE(module) << error;
    host::Document doc = host::Document::make(200, 150, host::ColorModel::rgb, 8);
    for (int32_t y = 0; y < doc.height(); ++y)
        for (int32_t x = 0; x < doc.width(); ++x)
            for (int c = 0; c < 3; ++c) doc.setSample(x, y, c, (x * (c + 1) + y) & 255);
    const host::Document original = doc;

    host::HostOptions options;
    options.descriptors.playInfo = plugInDialogDisplay;
    host::FilterHost filterHost(module->entry(), options);
    host::RunOptions runOptions;
    runOptions.showDialog = true;
    runOptions.descriptor = cli::Settings{}.toDescriptor();
    host::RunRecord record;
    std::thread editor([&] { record = filterHost.run(doc, runOptions); });

    HWND dlg = nullptr;
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         !dlg && std::chrono::steady_clock::now() < until;) {
        HWND found = FindWindowA("#32770", "Quillfire");
        if (found && IsWindowVisible(found))
            dlg = found;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!dlg) {
        editor.join();
        FAIL() << "the dialog did not open";
    }

    std::vector<int> buttons, edits;
    for (int id = 0; id < kControlCount; ++id) {
        const ControlKind kind = controlDescriptor(id).kind;
        if (kind == ControlKind::IconButton && GetDlgItem(dlg, id)) buttons.push_back(id);
        if (kind == ControlKind::Edit && GetDlgItem(dlg, id)) edits.push_back(id);
    }
    ASSERT_FALSE(buttons.empty());
    ASSERT_FALSE(edits.empty());

    Dice dice(seed);
    cli::Settings shown;
    std::string problem;
    const int burst = 250;
    bool healthy = true;
    int done = 0;
    {
        ModalCloser closer(dlg);
        while (done < total && healthy) {
            for (int i = 0; i < burst && done < total; ++i, ++done)
                oneEvent(dlg, dice, buttons, edits);
            DWORD_PTR answer = 0;
            if (!IsWindow(dlg) || !send(dlg, WM_NULL, 0, 0, &answer)) {
                ADD_FAILURE() << "seed " << seed << ": the dialog stopped answering by event "
                              << done;
                healthy = false;
            } else if (!settle(dlg, shown, problem)) {
                ADD_FAILURE() << "seed " << seed << ", by event " << done << ": " << problem;
                healthy = false;
            }
        }
        std::printf("seed %llu: %d events, %d windows closed by the watcher\n",
                    static_cast<unsigned long long>(seed), done, closer.closed());
        // Let a box that one of the last events opened be closed.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        if (healthy) healthy = settle(dlg, shown, problem);
        if (IsWindow(dlg)) PostMessageA(dlg, WM_COMMAND, healthy ? kIdOk : kIdCancel, 0);
        editor.join();
    }
    ASSERT_TRUE(healthy) << problem;
    ASSERT_TRUE(record.ok()) << host::describeResult(record.result);
    ASSERT_TRUE(record.descriptorOut.has_value());

    // What OK recorded is what the dialog showed.
    const std::string recorded = cli::describeSettings(*record.descriptorOut);
    const std::string expected = cli::describeSettings(shown.toDescriptor());
    size_t from = 0;
    while (from < expected.size()) {
        size_t end = expected.find(" --", from + 1);
        if (end == std::string::npos) end = expected.size();
        const std::string flag = expected.substr(from, end - from);
        EXPECT_NE((" " + recorded + " ").find(" " + flag + " "), std::string::npos)
            << "seed " << seed << ": the dialog showed " << flag << "; OK recorded " << recorded;
        from = end + 1;
    }
    // And the pixels are those of the recorded settings replayed.
    host::Document again = original;
    host::FilterHost replay(module->entry());
    host::RunOptions replayOptions;
    replayOptions.descriptor = *record.descriptorOut;
    ASSERT_TRUE(replay.run(again, replayOptions).ok());
    EXPECT_EQ(again.bytes(), doc.bytes()) << "seed " << seed;
}

} // namespace
