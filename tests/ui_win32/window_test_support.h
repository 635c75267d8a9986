// What the window tests share: the module's path, whether a window system
// is at hand, waiting for a box to show or go, and one filtering run with
// the dialog on an "editor" thread of its own, driven from the test's
// thread with window messages.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
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

namespace qf {}
using namespace qf;

namespace qftest {

using Clock = std::chrono::steady_clock;

// A visible dialog titled `title`, waited for up to `seconds`.
inline HWND waitForDialog(const char* title, int seconds) {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        HWND found = FindWindowA("#32770", title);
        if (found && IsWindowVisible(found)) return found;
        if (Clock::now() >= until) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

inline bool waitUntilGone(HWND window, int seconds) {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (IsWindow(window) && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !IsWindow(window);
}

inline std::string textOf(HWND window) {
    char t[MAX_PATH + 1] = {};
    GetWindowTextA(window, t, int(sizeof t));
    return t;
}

// Types `path` into the file name box of the system's Save or Open dialog
// (the explorer dialog's edit, or its combo box). False when it has none.
inline bool typeFileName(HWND fileDialog, const std::string& path) {
    HWND name = GetDlgItem(fileDialog, 0x480);
    if (!name) name = GetDlgItem(fileDialog, 0x47c);
    if (!name) return false;
    SendMessageA(name, WM_SETTEXT, 0, LPARAM(path.c_str()));
    return true;
}

inline std::string fileNameShown(HWND fileDialog) {
    HWND name = GetDlgItem(fileDialog, 0x480);
    if (!name) name = GetDlgItem(fileDialog, 0x47c);
    return name ? textOf(name) : std::string();
}

inline std::string modulePath() {
    return qftest::nativePath(std::getenv("QF_MODULE") ? std::getenv("QF_MODULE") : "");
}

inline bool haveDisplay() {
    HWND probe =
        CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe) DestroyWindow(probe);
    return probe != nullptr;
}

// A small RGB document with a gradient, so every glue mode changes it.
inline host::Document testDocument() {
    host::Document doc = host::Document::make(240, 160, host::ColorModel::rgb, 8);
    for (int32_t y = 0; y < doc.height(); ++y)
        for (int32_t x = 0; x < doc.width(); ++x) {
            doc.setSample(x, y, 0, x);
            doc.setSample(x, y, 1, y);
            doc.setSample(x, y, 2, 128);
        }
    return doc;
}

// One filtering run with the dialog, on an "editor" thread.
class DialogRun {
  public:
    explicit DialogRun(const cli::Settings& start) : doc_(testDocument()) {
        std::string error;
        module_ = host::Module::load(modulePath(), &error);
        if (!module_) {
            ADD_FAILURE() << "cannot load the module: " << error;
            return;
        }
        original_ = doc_.bytes();
        host::HostOptions options;
        options.descriptors.playInfo = plugInDialogDisplay;
        host_ = std::make_unique<host::FilterHost>(module_->entry(), options);
        host::RunOptions run;
        run.showDialog = true;
        run.descriptor = start.toDescriptor();
        thread_ = std::thread([this, run] { record_ = host_->run(doc_, run); });
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!dialog_ && std::chrono::steady_clock::now() < until) {
            // Shown once its initialisation is done.
            HWND found = FindWindowA("#32770", "Quillfire");
            if (found && IsWindowVisible(found))
                dialog_ = found;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
    ~DialogRun() { finish(); }

    HWND dialog() const { return dialog_; }
    HWND item(int id) const { return GetDlgItem(dialog_, id); }

    // Waits for the run to end (after the test closed the dialog).
    const host::RunRecord& finish() {
        if (thread_.joinable()) {
            if (dialog_ && IsWindow(dialog_)) {
                // A test that failed half-way still ends the run.
                const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
                while (IsWindow(dialog_) && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (IsWindow(dialog_)) PostMessageA(dialog_, WM_COMMAND, kIdCancel, 0);
            }
            thread_.join();
        }
        return record_;
    }

    // A key as the user presses it in edit box `id`: through the dialog's
    // own message loop.
    void key(int id, WPARAM vk) {
        PostMessageA(item(id), WM_KEYDOWN, vk, 1);
        PostMessageA(item(id), WM_KEYUP, vk, LPARAM(0xC0000001));
    }
    void mouse(UINT message, int x, int y) {
        // The pointer itself goes there too: a mouse move the system makes
        // up (when the capture changes, say) then reports this point, not
        // wherever the pointer happened to be.
        POINT at{x, y};
        ClientToScreen(dialog_, &at);
        SetCursorPos(at.x, at.y);
        SendMessageA(dialog_, message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
    }
    void select(int id, int index) {
        SendMessageA(item(id), CB_SETCURSEL, WPARAM(index), 0);
        SendMessageA(dialog_, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), LPARAM(item(id)));
    }
    std::string text(int id) const {
        char t[64] = {};
        GetWindowTextA(item(id), t, int(sizeof t));
        return t;
    }
    int selection(int id) const { return int(SendMessageA(item(id), CB_GETCURSEL, 0, 0)); }

    const std::vector<uint8_t>& original() const { return original_; }
    const host::Document& document() const { return doc_; }
    PluginEntryProc entry() const { return module_->entry(); }

  private:
    host::Document doc_;
    std::vector<uint8_t> original_;
    std::unique_ptr<host::Module> module_;
    std::unique_ptr<host::FilterHost> host_;
    std::thread thread_;
    host::RunRecord record_;
    HWND dialog_ = nullptr;
};

} // namespace qftest
