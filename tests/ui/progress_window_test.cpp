// The progress window's model, driven by a scripted view: the pending job,
// the one-second start, the percentage text, one window at a time.
#include "ui/progress_window.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

// Records what the model asks of the window and runs its modal loop by
// script: the window opens, then whatever `loop` does.
class ScriptedView : public ProgressWindowView {
  public:
    std::function<void(ProgressWindow&)> loop;
    ProgressWindow* model = nullptr;
    std::vector<std::string> calls;
    std::string percent, caption;
    bool timerRunning = false, waitCursor = false, closed = false;

    void runModal() override {
        calls.push_back("open");
        closed = false;
        model->opened();
        if (loop) loop(*model);
    }
    void bringToTop() override { calls.push_back("top"); }
    void setText(int id, const std::string& text) override {
        (id == kProgressTextId ? percent : caption) = text;
        calls.push_back("text " + text);
    }
    void startTimer(int id, int ms) override {
        EXPECT_EQ(id, kProgressTimerId);
        EXPECT_EQ(ms, 1000);
        timerRunning = true;
        calls.push_back("timer");
    }
    void stopTimer(int id) override {
        EXPECT_EQ(id, kProgressTimerId);
        timerRunning = false;
    }
    void setWaitCursor(bool wait) override { waitCursor = wait; }
    void closeWindow(int result) override {
        EXPECT_EQ(result, 1);
        closed = true;
        calls.push_back("close");
    }
};

} // namespace

TEST(ProgressText, FollowsTheFormula) {
    EXPECT_EQ(progressPercentText(0.5, 0), "50%");
    EXPECT_EQ(progressPercentText(0.0, 0), "0%");
    EXPECT_EQ(progressPercentText(1.0, 0), "100%");
    // trunc(0.0129 x 1000) = 12, 12 x 100 / 1000 = 1.
    EXPECT_EQ(progressPercentText(0.0129, 0), "1%");
    EXPECT_EQ(progressPercentText(0.0099, 0), "0%");
    EXPECT_EQ(progressPercentText(0.999, 0), "99%");
    // A completed step counts a whole thousand.
    EXPECT_EQ(progressPercentText(0.25, 1), "125%");
    // Outside 0..1 counts as the nearer end.
    EXPECT_EQ(progressPercentText(-0.3, 0), "0%");
    EXPECT_EQ(progressPercentText(7.0, 0), "100%");
    EXPECT_EQ(progressPercentText(std::nan(""), 0), "0%");
}

TEST(ProgressWindow, RunsThePendingJobWhenTheTimerFiresAndCloses) {
    ScriptedView view;
    std::vector<std::string> jobs;
    ProgressWindow window(view, [&](const PendingJob& job) {
        jobs.push_back(std::to_string(job.kind) + " " + job.path);
        // The render reports as it goes; the text follows.
        window.reportProgress(0.5);
        EXPECT_EQ(view.percent, "50%");
        window.reportProgress(0.0129);
        EXPECT_EQ(view.percent, "1%");
    });
    view.model = &window;
    view.loop = [&](ProgressWindow& w) {
        // Painted first: nothing runs before the timer.
        EXPECT_TRUE(jobs.empty());
        EXPECT_EQ(view.caption, "Rendering...");
        EXPECT_EQ(view.percent, "0%");
        EXPECT_TRUE(view.waitCursor);
        EXPECT_TRUE(w.isOpen());
        w.timerFired(8064); // another timer
        EXPECT_TRUE(jobs.empty());
        w.timerFired(kProgressTimerId);
        // A timer message already queued does not run the job again.
        w.timerFired(kProgressTimerId);
    };
    EXPECT_EQ(window.runExportJob("C:\\out\\x.psd", kJobPsdExport), 0);
    EXPECT_EQ(jobs, (std::vector<std::string>{"2 C:\\out\\x.psd"}));
    EXPECT_EQ(window.pendingJob().path, "C:\\out\\x.psd");
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(view.timerRunning);
    EXPECT_FALSE(view.waitCursor);
    EXPECT_FALSE(window.isOpen());
    // With no window open, progress changes nothing.
    view.calls.clear();
    window.reportProgress(0.7);
    EXPECT_TRUE(view.calls.empty());
}

TEST(ProgressWindow, ASecondRequestOnlyBringsTheOpenWindowToTheTop) {
    ScriptedView view;
    int jobs = 0;
    int second = -1;
    ProgressWindow window(view, [&](const PendingJob&) {
        ++jobs;
        view.calls.clear();
        second = window.runExportJob("other.psd", kJobPsdExport);
    });
    view.model = &window;
    view.loop = [](ProgressWindow& w) { w.timerFired(kProgressTimerId); };
    EXPECT_EQ(window.runExportJob("first.psd", kJobPsdExport), 0);
    EXPECT_EQ(second, kProgressAlreadyOpen);
    EXPECT_EQ(jobs, 1);
    EXPECT_EQ(view.calls, (std::vector<std::string>{"top", "close"}));
    EXPECT_EQ(window.pendingJob().path, "first.psd");
    // Once closed, a new request opens a new window.
    EXPECT_EQ(window.runExportJob("third.psd", kJobPsdExport), 0);
    EXPECT_EQ(jobs, 2);
}

TEST(ProgressWindow, TheCloseBoxEndsTheWindowWithoutTheJob) {
    ScriptedView view;
    int jobs = 0;
    ProgressWindow window(view, [&](const PendingJob&) { ++jobs; });
    view.model = &window;
    view.loop = [](ProgressWindow& w) {
        w.closeRequested();
        // The timer's message may still arrive after the close.
        w.timerFired(kProgressTimerId);
    };
    EXPECT_EQ(window.runExportJob("x.psd", kJobPsdExport), 0);
    EXPECT_EQ(jobs, 0);
    EXPECT_TRUE(view.closed);
    EXPECT_FALSE(view.timerRunning);
    EXPECT_FALSE(view.waitCursor);

    // Only the PSD export is a job the window runs.
    view.loop = [](ProgressWindow& w) { w.timerFired(kProgressTimerId); };
    EXPECT_EQ(window.runExportJob("x.psd", 7), 0);
    EXPECT_EQ(jobs, 0);
    EXPECT_TRUE(view.closed);
}
