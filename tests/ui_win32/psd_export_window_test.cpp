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
#include "window_test_support.h"

namespace qf {}
using namespace qf;

namespace {

using qftest::DialogRun;
using qftest::fileNameShown;
using qftest::textOf;
using qftest::typeFileName;
using qftest::waitForDialog;
using qftest::waitUntilGone;

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

    // Opens the settings dialog on an "editor" thread of its own.
    void openDialog() {
        cli::Settings start;
        start.shape = 2;
        start.seed = 5;
        run_ = std::make_unique<DialogRun>(start);
        dialog_ = run_->dialog();
        ASSERT_NE(dialog_, nullptr) << "the dialog did not open";
    }

    // Ends the run with the main dialog's OK (or Cancel after a failure).
    const host::RunRecord& finish(int button) {
        if (dialog_ && IsWindow(dialog_)) PostMessageA(dialog_, WM_COMMAND, WPARAM(button), 0);
        return run_->finish();
    }
    ~PsdExportWindows() override {
        if (run_) finish(kIdCancel);
    }

    // The PSD button, pressed without waiting for what it opens.
    HWND pressPsd() {
        PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(kIdPsdExport, BN_CLICKED),
                     LPARAM(GetDlgItem(dialog_, kIdPsdExport)));
        return waitForDialog("Export PSD image", 10);
    }

    std::string folder_;
    std::unique_ptr<DialogRun> run_;
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
    EXPECT_EQ(fileNameShown(save), "Quillfire result.psd");
    const std::string target = folder_ + "\\pattern.psd";
    ASSERT_TRUE(typeFileName(save, target));
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
    EXPECT_NE(run_->document().bytes(), run_->original());
}

} // namespace
