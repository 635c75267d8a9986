// The PSD export's windows: the size dialog and the progress window as
// Windows dialogs driving their models, and the Save dialog between them.
#include "ui/win32/psd_export_windows.h"

#include <windows.h>

#include <commdlg.h>

#include <cstring>

#include "resources/dialog_ids.rh"
#include "ui/progress_window.h"
#include "ui/psd_size_choice.h"
#include "ui/win32/win32_common.h"
#include "values/settings_record.h"

namespace qf {

static_assert(PSD_SIZE_WIDTH_EDIT == kPsdSizeWidthEdit &&
              PSD_SIZE_HEIGHT_EDIT == kPsdSizeHeightEdit);
static_assert(PSD_SIZE_SAME_BUTTON == kPsdSizeSameButton &&
              PSD_SIZE_PROPORTIONS_BUTTON == kPsdSizeProportionsButton &&
              PSD_SIZE_CUSTOM_BUTTON == kPsdSizeCustomButton);
static_assert(PROGRESS_PERCENT_TEXT == kProgressTextId &&
              PROGRESS_CAPTION_TEXT == kProgressCaptionId);
static_assert(kPsdSizeOk == IDOK && kPsdSizeCancel == IDCANCEL);

namespace {

// ---------------------------------------------------------------------------
// The size dialog.

struct SizeDialog {
    PsdSizeChoice choice;
    PsdSizeChoiceResult result{};
    // Set while the dialog writes the model's texts into its edits, whose
    // change notices then are not the user's.
    bool showing = false;
};

// Process-wide: one size dialog at a time, whoever asks; a second PSD
// button press (the dialog is modal only to its owner) brings it forward.
HWND openSizeDialog = nullptr;

std::string itemText(HWND box, int id) {
    char text[64] = {};
    GetDlgItemTextA(box, id, text, int(sizeof text));
    return text;
}

// Shows the model: the texts that differ (the edit being typed in keeps its
// caret) and the checked button.
void showChoice(HWND box, SizeDialog& dialog) {
    const bool was = dialog.showing;
    dialog.showing = true;
    if (itemText(box, kPsdSizeWidthEdit) != dialog.choice.widthText())
        SetDlgItemTextA(box, kPsdSizeWidthEdit, dialog.choice.widthText().c_str());
    if (itemText(box, kPsdSizeHeightEdit) != dialog.choice.heightText())
        SetDlgItemTextA(box, kPsdSizeHeightEdit, dialog.choice.heightText().c_str());
    CheckRadioButton(box, kPsdSizeSameButton, kPsdSizeCustomButton, dialog.choice.checkedButton());
    dialog.showing = was;
}

INT_PTR CALLBACK sizeDialogProc(HWND box, UINT message, WPARAM wp, LPARAM lp) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(box, GWLP_USERDATA, lp);
        openSizeDialog = box;
        placeLikeMainDialog(box, GetParent(box));
        showChoice(box, *reinterpret_cast<SizeDialog*>(lp));
        return TRUE;
    }
    auto* dialog = reinterpret_cast<SizeDialog*>(GetWindowLongPtrA(box, GWLP_USERDATA));
    if (!dialog) return FALSE;
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wp);
        const int code = HIWORD(wp);
        if (id >= kPsdSizeSameButton && id <= kPsdSizeCustomButton && code == BN_CLICKED) {
            dialog->choice.chooseButton(id);
            showChoice(box, *dialog);
        } else if ((id == kPsdSizeWidthEdit || id == kPsdSizeHeightEdit) && code == EN_CHANGE) {
            const bool typed = !dialog->showing && GetFocus() == GetDlgItem(box, id);
            dialog->choice.editChanged(id, itemText(box, id), typed);
            if (!dialog->showing) showChoice(box, *dialog);
        } else if (id == kPsdSizeOk) {
            dialog->result = dialog->choice.accept();
            EndDialog(box, kPsdSizeOk);
        } else if (id == kPsdSizeCancel) {
            EndDialog(box, kPsdSizeCancel);
        }
        return TRUE;
    }
    case WM_CLOSE:
        EndDialog(box, kPsdSizeCancel);
        return TRUE;
    case WM_DESTROY:
        if (openSizeDialog == box) openSizeDialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

// ---------------------------------------------------------------------------
// The progress window.

class ProgressDialogView : public ProgressWindowView {
  public:
    explicit ProgressDialogView(HWND placeOver) : placeOver_(placeOver) {}
    void attach(ProgressWindow& model) { model_ = &model; }

    void runModal() override {
        // No owner: the window stands on its own while the job runs.
        DialogBoxParamA(moduleHandle(), "MONDO_PROGRESS", nullptr, proc, LPARAM(this));
        window_ = nullptr;
    }
    void bringToTop() override {
        if (window_) SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    }
    void setText(int id, const std::string& text) override {
        if (!window_) return;
        SetDlgItemTextA(window_, id, text.c_str());
        // The job holds the thread: paint now, and let the window's paint
        // messages through so the new text reaches the screen (a system
        // that composes windows shows what was painted only when the
        // thread looks at its messages).
        UpdateWindow(GetDlgItem(window_, id));
        // (A bounded number: a window that never validates itself must
        // not hold the job here.)
        MSG paint;
        for (int n = 0; n < 16 && PeekMessageA(&paint, window_, WM_PAINT, WM_PAINT, PM_REMOVE); ++n)
            DispatchMessageA(&paint);
    }
    void startTimer(int id, int milliseconds) override {
        if (window_) SetTimer(window_, UINT_PTR(id), UINT(milliseconds), nullptr);
    }
    void stopTimer(int id) override {
        if (window_) KillTimer(window_, UINT_PTR(id));
    }
    void setWaitCursor(bool wait) override {
        SetCursor(LoadCursorA(nullptr, wait ? IDC_WAIT : IDC_ARROW));
    }
    void closeWindow(int result) override {
        if (window_) EndDialog(window_, result);
    }

  private:
    static INT_PTR CALLBACK proc(HWND box, UINT message, WPARAM wp, LPARAM lp) {
        if (message == WM_INITDIALOG) {
            auto* view = reinterpret_cast<ProgressDialogView*>(lp);
            SetWindowLongPtrA(box, GWLP_USERDATA, lp);
            view->window_ = box;
            placeLikeMainDialog(box, view->placeOver_);
            ShowWindow(box, SW_SHOW);
            view->model_->opened();
            return TRUE;
        }
        auto* view = reinterpret_cast<ProgressDialogView*>(GetWindowLongPtrA(box, GWLP_USERDATA));
        if (!view || view->window_ != box) return FALSE;
        switch (message) {
        case WM_TIMER:
            view->model_->timerFired(int(wp));
            return TRUE;
        case WM_CLOSE:
            view->model_->closeRequested();
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wp) == IDCANCEL) view->model_->closeRequested();
            return TRUE;
        default:
            return FALSE;
        }
    }

    HWND placeOver_;
    HWND window_ = nullptr;
    ProgressWindow* model_ = nullptr;
};

// Process-wide: the host's progress reaches psdExportProgress() without a
// context of ours, so the open window is found here; it also keeps a second
// export from opening another window.
ProgressWindow* openProgress = nullptr;

// Runs `job` on `path` in the progress window; kProgressAlreadyOpen while
// one is open, else the job's code (kFileDialogCancelled when the window
// was closed before the job began).
int runInProgressWindow(HWND placeOver, const std::string& path, int32_t width, int32_t height,
                        const PsdExportJob& job) {
    if (openProgress) return openProgress->runExportJob(path, kJobPsdExport);
    int status = kFileDialogCancelled;
    ProgressDialogView view(placeOver);
    ProgressWindow model(
        view, [&](const PendingJob& pending) { status = job(pending.path, width, height); });
    view.attach(model);
    openProgress = &model;
    model.runExportJob(path, kJobPsdExport);
    openProgress = nullptr;
    return status;
}

// ---------------------------------------------------------------------------
// The Save dialog.

bool askForPsdFile(HWND owner, std::string& path) {
    FileDialogRequest request;
    request.kind = FileDialogKind::SavePsd;
    request.title = "Save a PSD file";
    request.initialName = "Quillfire result.psd";
    return runFileDialog(intptr_t(owner), request, path) == kFileOk;
}

} // namespace

void psdExportProgress(int32_t done, int32_t total) {
    if (openProgress && total > 0) openProgress->reportProgress(double(done) / double(total));
}

int runPsdExport(SettingsRecord& settings, int32_t documentWidth, int32_t documentHeight,
                 const PsdExportJob& job) {
    if (openSizeDialog) {
        SetForegroundWindow(openSizeDialog);
        return kFileDialogCancelled;
    }
    HWND owner = GetActiveWindow();
    SizeDialog dialog{PsdSizeChoice(documentWidth, documentHeight, settings), {}, false};
    const INT_PTR end = DialogBoxParamA(moduleHandle(), "CHOOSEPSDWITHSIZE", owner, sizeDialogProc,
                                        LPARAM(&dialog));
    if (end != kPsdSizeOk) return kFileDialogCancelled;
    PsdSizeChoice::store(dialog.result, settings);
    settings.exportKind = 6;

    std::string path;
    if (!askForPsdFile(owner, path)) return kFileDialogCancelled;
    return runInProgressWindow(owner, path, settings.psdWidth, settings.psdHeight, job);
}

} // namespace qf
