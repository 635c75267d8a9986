// The model of the small modal progress window (MONDO_PROGRESS, "PSD file
// progress") that long exports run in. It opens, waits one second on timer
// 993 so that it is painted, runs the pending job on its own thread inside
// the timer event, shows "Rendering..." and the job's percentage meanwhile,
// and closes itself when the job ends. Only one is open at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace qf {

constexpr int kProgressTimerId = 993;
constexpr int kProgressTimerMs = 1000;
constexpr int kProgressTextId = 2;    // the percentage
constexpr int kProgressCaptionId = 3; // "Rendering..."
// What a second request answers while a window is open (the open one
// comes to the top instead). The progress window's own code, not a
// cancel: that the file dialog's kFileDialogCancelled has the same value
// is a coincidence no caller relies on.
constexpr int kProgressAlreadyOpen = 199;

// The job kinds; the PSD export is the one that is requested.
constexpr int32_t kJobPsdExport = 2;

struct PendingJob {
    int32_t kind = 0;
    std::string path;
};

// The percentage text of a job at `fraction` (0..1) of its current step
// with `steps` steps completed, out of one step in all: "%d%%" of
// (trunc(fraction × 1000) + 1000 × steps) × 100 / 1000.
std::string progressPercentText(double fraction, int32_t steps);

// The window's system side: the Win32 dialog, or a script in tests.
class ProgressWindowView {
  public:
    virtual ~ProgressWindowView() = default;
    // Creates the window (centred over its parent, shown, on top) and runs
    // its modal loop, feeding the model opened(), timerFired() and
    // closeRequested(); returns when the model calls closeWindow().
    virtual void runModal() = 0;
    virtual void bringToTop() = 0;
    virtual void setText(int id, const std::string& text) = 0;
    virtual void startTimer(int id, int milliseconds) = 0;
    virtual void stopTimer(int id) = 0;
    virtual void setWaitCursor(bool wait) = 0;
    virtual void closeWindow(int result) = 0;
};

class ProgressWindow {
  public:
    // Runs a job; its status is the job's own business.
    using JobRunner = std::function<void(const PendingJob& job)>;

    ProgressWindow(ProgressWindowView& view, JobRunner runner)
        : view_(view), runner_(std::move(runner)) {}

    // Runs `kind` on `path` inside the window: 0 once the window has closed,
    // or kProgressAlreadyOpen (the open window only comes to the top) when
    // one is open already.
    int runExportJob(const std::string& path, int32_t kind);
    // The job's progress: the percentage text, and the window to the top.
    // Nothing happens while no window is open.
    void reportProgress(double fraction, int32_t completedSteps = 0);

    // Events of the window.
    void opened();
    void timerFired(int id);
    void closeRequested();

    bool isOpen() const { return open_; }
    const PendingJob& pendingJob() const { return pending_; }

  private:
    void close();

    ProgressWindowView& view_;
    JobRunner runner_;
    PendingJob pending_;
    bool open_ = false;
    bool jobRan_ = false;
};

} // namespace qf
