// The PSD button as a person uses it: the real module opened through our
// host with the dialog, the size dialog, the system's Save dialog and the
// progress window answered from the test's thread with window messages,
// and the file they leave checked byte by byte. Needs a window system
// (Xvfb under Wine), like the settings dialog's tests.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "host/cli/settings.h"
#include "host/filter_host.h"
#include "host/module_loader.h"
#include "tests/common/test_paths.h"
#include "ui/control_table.h"
#include "ui/psd_size_choice.h"

namespace qf {}
using namespace qf;

namespace {

using Clock = std::chrono::steady_clock;

// A visible dialog titled `title`, waited for up to `seconds`.
HWND waitForDialog(const char* title, int seconds) {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        HWND found = FindWindowA("#32770", title);
        if (found && IsWindowVisible(found)) return found;
        if (Clock::now() >= until) return nullptr;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

bool waitUntilGone(HWND window, int seconds) {
    const auto until = Clock::now() + std::chrono::seconds(seconds);
    while (IsWindow(window) && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return !IsWindow(window);
}

std::string textOf(HWND window) {
    char t[MAX_PATH + 1] = {};
    GetWindowTextA(window, t, int(sizeof t));
    return t;
}

// What the user does in an edit: focus it, then type its whole text.
void typeInto(HWND box, int id, const char* text) {
    HWND edit = GetDlgItem(box, id);
    SendMessageA(box, WM_NEXTDLGCTL, WPARAM(edit), TRUE);
    SendMessageA(edit, WM_SETTEXT, 0, LPARAM(text));
}

std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

std::vector<uint8_t> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The PSD header of an 8-bit RGB file of `width` x `height`.
std::vector<uint8_t> psdHeader(uint32_t width, uint32_t height) {
    std::vector<uint8_t> h = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0, 0, 3};
    for (uint32_t v : {height, width})
        for (int shift = 24; shift >= 0; shift -= 8) h.push_back(uint8_t(v >> shift));
    h.insert(h.end(), {0, 8, 0, 3});
    return h;
}

class PsdExportWindows : public ::testing::Test {
  protected:
    void SetUp() override {
        HWND probe =
            CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        if (!probe) {
            if (std::getenv("QF_REQUIRE_DISPLAY")) FAIL() << "no window system (start Xvfb)";
            GTEST_SKIP() << "no window system; run under Xvfb";
        }
        DestroyWindow(probe);
        char temp[MAX_PATH + 1] = {};
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "qf_psd_windows_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), nullptr);
        ASSERT_TRUE(filesIn(folder_).empty()) << folder_ << " is not empty";
    }
    void TearDown() override {
        for (const std::string& name : filesIn(folder_))
            DeleteFileA((folder_ + "\\" + name).c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    // Opens the settings dialog on a 240 x 160 document, on an "editor"
    // thread of its own.
    void openDialog() {
        std::string error;
        module_ = host::Module::load(
            qftest::nativePath(std::getenv("QF_MODULE") ? std::getenv("QF_MODULE") : ""), &error);
        ASSERT_TRUE(module_) << "cannot load the module: " << error;
        doc_ = host::Document::make(240, 160, host::ColorModel::rgb, 8);
        for (int32_t y = 0; y < doc_.height(); ++y)
            for (int32_t x = 0; x < doc_.width(); ++x) doc_.setSample(x, y, 0, x);
        original_ = doc_.bytes();
        host::HostOptions options;
        options.descriptors.playInfo = plugInDialogDisplay;
        host_ = std::make_unique<host::FilterHost>(module_->entry(), options);
        host::RunOptions run;
        run.showDialog = true;
        cli::Settings start;
        start.shape = 2;
        start.seed = 5;
        run.descriptor = start.toDescriptor();
        thread_ = std::thread([this, run] { record_ = host_->run(doc_, run); });
        dialog_ = waitForDialog("Quillfire", 30);
        ASSERT_NE(dialog_, nullptr) << "the dialog did not open";
    }

    // Ends the run with the main dialog's OK (or Cancel after a failure).
    const host::RunRecord& finish(int button) {
        if (thread_.joinable()) {
            if (dialog_ && IsWindow(dialog_)) PostMessageA(dialog_, WM_COMMAND, WPARAM(button), 0);
            thread_.join();
        }
        return record_;
    }
    ~PsdExportWindows() override { finish(kIdCancel); }

    // The PSD button, pressed without waiting for what it opens.
    HWND pressPsd() {
        PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(kIdPsdExport, BN_CLICKED),
                     LPARAM(GetDlgItem(dialog_, kIdPsdExport)));
        return waitForDialog("Export PSD image", 10);
    }

    std::string folder_;
    std::unique_ptr<host::Module> module_;
    host::Document doc_;
    std::vector<uint8_t> original_;
    std::unique_ptr<host::FilterHost> host_;
    std::thread thread_;
    host::RunRecord record_;
    HWND dialog_ = nullptr;
};

bool checked(HWND box, int id) {
    return SendMessageA(GetDlgItem(box, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

TEST_F(PsdExportWindows, CustomSizeWritesThatPsdAndCancelsWriteNothing) {
    openDialog();
    if (HasFatalFailure()) return;

    // First run: the document's size, mode 1.
    HWND size = pressPsd();
    ASSERT_NE(size, nullptr) << "no size dialog";
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeWidthEdit)), "240");
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeHeightEdit)), "160");
    EXPECT_TRUE(checked(size, kPsdSizeSameButton));
    EXPECT_FALSE(checked(size, kPsdSizeCustomButton));
    // Proportions follow the focused edit; typing in mode 1 means custom.
    SendMessageA(GetDlgItem(size, kPsdSizeProportionsButton), BM_CLICK, 0, 0);
    typeInto(size, kPsdSizeWidthEdit, "120");
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeHeightEdit)), "80");
    typeInto(size, kPsdSizeHeightEdit, "40");
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeWidthEdit)), "60");
    SendMessageA(GetDlgItem(size, kPsdSizeSameButton), BM_CLICK, 0, 0);
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeWidthEdit)), "240");
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeHeightEdit)), "160");
    typeInto(size, kPsdSizeWidthEdit, "37");
    EXPECT_TRUE(checked(size, kPsdSizeCustomButton));
    EXPECT_FALSE(checked(size, kPsdSizeSameButton));
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeHeightEdit)), "160");
    // Below the smallest side: stored as 2.
    typeInto(size, kPsdSizeHeightEdit, "1");
    PostMessageA(size, WM_COMMAND, IDOK, 0);

    HWND save = waitForDialog("Save a PSD file", 10);
    ASSERT_NE(save, nullptr) << "no Save dialog";
    // The file name box: the explorer dialog's edit, or its combo box.
    HWND name = GetDlgItem(save, 0x480);
    if (!name) name = GetDlgItem(save, 0x47c);
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(textOf(name), "Quillfire result.psd");
    const std::string target = folder_ + "\\pattern.psd";
    SendMessageA(name, WM_SETTEXT, 0, LPARAM(target.c_str()));
    PostMessageA(save, WM_COMMAND, IDOK, 0);

    // The progress window waits a second before the job starts.
    HWND progress = waitForDialog("PSD file progress", 10);
    ASSERT_NE(progress, nullptr) << "no progress window";
    EXPECT_EQ(textOf(GetDlgItem(progress, 3)), "Rendering...");
    EXPECT_EQ(GetWindow(progress, GW_OWNER), nullptr);
    ASSERT_TRUE(waitUntilGone(progress, 60)) << "the progress window stayed";

    std::vector<uint8_t> file = fileBytes(target);
    ASSERT_GE(file.size(), 26u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 26), psdHeader(37, 2));
    EXPECT_EQ(filesIn(folder_), std::vector<std::string>{"pattern.psd"});

    // Again: the stored custom size shows; Cancel ends it there.
    size = pressPsd();
    ASSERT_NE(size, nullptr) << "no size dialog the second time";
    EXPECT_TRUE(checked(size, kPsdSizeCustomButton));
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeWidthEdit)), "37");
    EXPECT_EQ(textOf(GetDlgItem(size, kPsdSizeHeightEdit)), "2");
    PostMessageA(size, WM_COMMAND, IDCANCEL, 0);
    ASSERT_TRUE(waitUntilGone(size, 10));
    EXPECT_EQ(waitForDialog("Save a PSD file", 2), nullptr);

    // And a size chosen but the Save dialog cancelled: no progress window.
    size = pressPsd();
    ASSERT_NE(size, nullptr) << "no size dialog the third time";
    PostMessageA(size, WM_COMMAND, IDOK, 0);
    save = waitForDialog("Save a PSD file", 10);
    ASSERT_NE(save, nullptr);
    PostMessageA(save, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(waitForDialog("PSD file progress", 2), nullptr);
    EXPECT_EQ(filesIn(folder_), std::vector<std::string>{"pattern.psd"});
    EXPECT_EQ(fileBytes(target), file);

    // The dialog goes on after all three, and OK filters the document.
    ASSERT_TRUE(IsWindow(dialog_));
    const host::RunRecord& rec = finish(kIdOk);
    ASSERT_TRUE(rec.ok()) << host::describeResult(rec.result);
    EXPECT_NE(doc_.bytes(), original_);
}

} // namespace
