// The settings dialog driven by a script of user events instead of a
// window: for automated runs of the dialog path (an editor's recorded
// action replayed with the dialog, our own host's tests) and wherever no
// window system is at hand. It plays the view's part: it keeps what a
// window would show, answers file dialogs from the script, and feeds the
// model the events in order, posted commands after the event that posted
// them, as a window's message loop would.
//
// Script: one event per line, blank lines and lines starting with '#'
// ignored; numbers are decimal.
//   press X Y [right] [ctrl]     a mouse button goes down at (X, Y)
//   move X Y                     the mouse moves
//   release X Y                  the button comes up
//   type ID TEXT...              edit box ID now holds TEXT (rest of line)
//   select ID INDEX              list ID shows item INDEX (0-based; -1 none)
//   command ID | ok | cancel     a button is pressed
//   timer                        the re-render timer fires
//   file PATH... | file cancel   the answer to the next file dialog
// When the script ends with the dialog still open, it is cancelled, as
// Escape would.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "ui/dialog_model.h"

namespace qf {

struct ScriptEvent {
    enum Kind { Press, Move, Release, Type, Select, Command, Timer, File } kind = Command;
    int a = 0; // x, or a control id
    int b = 0; // y, or a list index
    bool right = false;
    bool ctrl = false;
    std::string text; // typed text, or a file path ("" = cancel)
};

// Parses a script. False with `error` naming the line when a line is not
// understood (nothing is run then).
bool parseDialogScript(const std::string& text, std::vector<ScriptEvent>& events,
                       std::string& error);

// The longest script file read (a script is a few lines; anything longer
// is not one).
constexpr size_t kDialogScriptLimit = 1 << 20;

// Reads and parses a script file. False with `error` when it cannot be read,
// is longer than the limit or does not parse.
bool readDialogScript(const char* path, std::vector<ScriptEvent>& events, std::string& error);

class ScriptedDialog : public DialogView {
  public:
    explicit ScriptedDialog(std::vector<ScriptEvent> events);

    // Plays the script on the model (initialising it first) and returns how
    // the dialog ended: kDialogEndOk or kDialogEndCancel.
    int run(DialogModel& model);

    // What a window would show now.
    const std::string& editText(int id) const;
    int listSelection(int id) const;
    bool enabled(int id) const;
    const std::string& controlText(int id) const;
    DialogCursor cursor() const { return cursor_; }
    // Every cursor the dialog has set, in order.
    const std::vector<DialogCursor>& cursors() const { return cursors_; }
    bool mouseCaptured() const { return captured_; }
    bool timerRunning() const { return timerRunning_; }
    int repaints(int id) const;
    int previewPaints() const { return previewPaints_; }
    // The file dialogs asked for, in order.
    const std::vector<FileDialogRequest>& fileRequests() const { return fileRequests_; }
    int aboutBoxes() const { return aboutBoxes_; }
    int infoBoxes() const { return infoBoxes_; }

    // DialogView
    void repaintControl(int id) override;
    void repaintPreview() override;
    void setEditText(int id, const std::string& text) override;
    void setListSelection(int id, int index) override;
    void enableControl(int id, bool enabled) override;
    void setControlText(int id, const std::string& text) override;
    void setCursor(DialogCursor cursor) override;
    void captureMouse(bool capture) override;
    void startTimer(int id, int milliseconds) override;
    void stopTimer(int id) override;
    void postCommand(int id) override;
    void endDialog(int code) override;
    int chooseFile(const FileDialogRequest& request, std::string& path) override;
    void showAboutBox() override;
    void showInfoBox() override;
    void closeInfoBox() override;

    // Answers the next file dialog with `path` ("" cancels it).
    void queueFileAnswer(const std::string& path) { fileAnswers_.push_back(path); }
    // Runs the commands posted so far, as the message loop does after an
    // event.
    void runPosted(DialogModel& model);

  private:
    void deliver(DialogModel& model, const ScriptEvent& e);

    DialogModel* model_ = nullptr; // while run() plays
    std::vector<ScriptEvent> events_;
    std::deque<std::string> fileAnswers_;
    std::deque<int> posted_;
    std::map<int, std::string> editTexts_;
    std::map<int, int> listSelections_;
    std::map<int, bool> enabled_;
    std::map<int, std::string> controlTexts_;
    std::map<int, int> repaints_;
    std::vector<FileDialogRequest> fileRequests_;
    DialogCursor cursor_ = DialogCursor::Arrow;
    std::vector<DialogCursor> cursors_;
    bool captured_ = false;
    bool timerRunning_ = false;
    int previewPaints_ = 0;
    int aboutBoxes_ = 0;
    int infoBoxes_ = 0;
    int endCode_ = 0;
};

} // namespace qf
