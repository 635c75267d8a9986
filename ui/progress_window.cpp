#include "ui/progress_window.h"

#include <cmath>
#include <cstdio>

namespace qf {

std::string progressPercentText(double fraction, int32_t steps) {
    constexpr int64_t kScale = 1000, kTotalSteps = 1;
    // A fraction outside 0..1 (or not a number) counts as the nearer end.
    const double scaled = std::isnan(fraction) ? 0.0 : fraction * double(kScale);
    const int64_t done = int64_t(std::fmax(0.0, std::fmin(double(kScale), scaled)));
    const int64_t percent = (done + kScale * int64_t(steps)) * 100 / (kScale * kTotalSteps);
    char text[32];
    std::snprintf(text, sizeof text, "%d%%", int(percent));
    return text;
}

int ProgressWindow::runExportJob(const std::string& path, int32_t kind) {
    if (open_) {
        view_.bringToTop();
        return kProgressAlreadyOpen;
    }
    pending_ = PendingJob{kind, path};
    jobRan_ = false;
    open_ = true;
    view_.runModal();
    // A view whose loop ended without closing through the model.
    open_ = false;
    return 0;
}

void ProgressWindow::reportProgress(double fraction, int32_t completedSteps) {
    if (!open_) return;
    view_.setText(kProgressTextId, progressPercentText(fraction, completedSteps));
    view_.bringToTop();
}

void ProgressWindow::opened() {
    view_.setText(kProgressCaptionId, "Rendering...");
    view_.setText(kProgressTextId, "0%");
    view_.bringToTop();
    view_.setWaitCursor(true);
    view_.startTimer(kProgressTimerId, kProgressTimerMs);
}

void ProgressWindow::timerFired(int id) {
    if (id != kProgressTimerId || !open_) return;
    view_.stopTimer(kProgressTimerId);
    // A timer message that was already queued must not run the job twice.
    if (!jobRan_) {
        jobRan_ = true;
        if (pending_.kind == kJobPsdExport && runner_) runner_(pending_);
    }
    close();
}

void ProgressWindow::closeRequested() {
    if (open_) close();
}

void ProgressWindow::close() {
    view_.stopTimer(kProgressTimerId);
    view_.setWaitCursor(false);
    open_ = false;
    view_.closeWindow(1);
}

} // namespace qf
