// The settings dialog's behaviour, without a window: the control values,
// settings to controls and back, the mouse (sliders, preview pan, memory
// dots), the edit boxes and their re-render timer, the lists, the commands
// of the buttons in their fixed order, zoom, undo, Load and Save, OK and
// Cancel. A view feeds it events and draws what it says; the services
// render the preview through the host.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "composite/picture/pyramid_image.h"
#include "presets/memory_dots.h"
#include "presets/undo.h"
#include "ui/control_table.h"
#include "ui/dialog_view.h"
#include "ui/edit_number.h"
#include "ui/preview_zoom.h"
#include "values/settings_record.h"

namespace qf {

// What one filtering run keeps for its dialog: the memory dots with their
// map, the two undo slots, and the run's thumbnail (128 x 128, 8-bit RGBA
// when the run starts; Save, the dots and Load replace it).
struct DialogRunState {
    // Dot, map and undo files in the temporary folder.
    DialogRunState() = default;
    // The same files in `folder`, which ends with a separator (for tests).
    explicit DialogRunState(const std::string& folder) : dots(folder), undo(folder) {}

    MemoryDots dots;
    UndoSlots undo;
    PyramidImage thumbnail;
    bool mapLoaded = false; // the map was read this run, so it may be written back
};

// Sets the run state up at start: the map read, undo emptied, the
// thumbnail made. False when the thumbnail cannot be had.
bool startDialogRun(DialogRunState& run);

enum class MouseButton { Left, Right };

class DialogModel {
  public:
    DialogModel(SettingsRecord& settings, DialogRunState& run, DialogServices& services,
                DialogView& view);
    DialogModel(const DialogModel&) = delete;
    DialogModel& operator=(const DialogModel&) = delete;

    // ------------------------------------------------------------- events
    // The dialog's first message.
    void initialise();
    void mousePress(int x, int y, MouseButton button, bool ctrl);
    void mouseMove(int x, int y);
    void mouseRelease(int x, int y);
    // The text of edit box `id` changed (typed, or written by the model).
    void editChanged(int id, const std::string& text);
    // The user picked item `index` of list `id`.
    void listChanged(int id, int index);
    // A button, or a command posted after a click on a dot, the viewer or
    // the logo.
    void command(int id);
    void timer(int id);

    // ------------------------------------------------------------ state
    int controlValue(int id) const;
    const std::string& editText(int id) const;
    // The item a list shows selected; -1 for none.
    int listSelection(int id) const;
    int zoomLevel() const { return level_; }
    int largestZoomLevel() const { return largest_; }
    bool zoomInEnabled() const;
    bool zoomOutEnabled() const;
    bool timerRunning() const { return timerRunning_; }
    int dragTarget() const { return settings_.capturedControl; }
    // The dot the mouse holds pressed inside it; -1 for none.
    int pressedDot() const { return pressedDot_; }
    bool ctrlFlag() const { return ctrl_; }
    bool rightFlag() const { return right_; }
    bool batchRunning() const { return batchRunning_; }
    int previewRenders() const { return previewRenders_; }
    // How the dialog ended: 0 while open, kDialogEndOk or kDialogEndCancel.
    int endCode() const { return endCode_; }
    // The host result the dialog leaves: 0 after OK, kResultCancelled after Cancel.
    int16_t hostResult() const { return hostResult_; }
    const SettingsRecord& settings() const { return settings_; }
    const DialogRunState& run() const { return run_; }
    // The preview pane inside the preview control, once the preview is up.
    const PixelRect& previewPane() const { return pane_; }

    // ------------------------------------------- settings and controls
    void copySettingsToControls();
    void takeSettingsFromControls();

  private:
    enum class Push { None, WithoutFile, WithFile };
    struct Outcome {
        Push push = Push::None;
        bool rerender = false;
    };

    void setSlider(int sliderId, int value);
    void writeEdit(int editId, int value);
    void setList(int id, int value);
    void renderPreview();
    void stopTimer();
    void pushUndo(Push push);
    void repaintDots();
    void updateZoomButtons();
    void changeLevel(int newLevel, Outcome& out);
    PreviewGeometry geometry() const;

    // Commands, in the order they run.
    void zoomCommand(int id, Outcome& out);
    void saveCommand();
    void loadCommand(Outcome& out);
    void dotCommand(int id, Outcome& out);
    void viewerCommand(Outcome& out);
    void presetsPageCommand();
    void dotsPageCommand();
    bool choosePagePath(const char* proposedName, std::string& path);
    void undoCommand(Outcome& out);
    void randomCommand(int id, Outcome& out);
    void resetCommand(Outcome& out);
    void okCommand();
    void cancelCommand();
    void recalled(Outcome& out);
    int chooseFile(const FileDialogRequest& request, std::string& path);
    void runBatchTool();

    void pressOn(int id, int x, int y);
    void dragSlider(int x, int y);
    void pan(int x, int y);
    void hover(int x, int y);

    SettingsRecord& settings_;
    DialogRunState& run_;
    DialogServices& services_;
    DialogView& view_;

    std::array<int, kControlCount> values_{};
    std::array<std::string, kControlCount> editTexts_{};
    std::array<int, kControlCount> listSelections_{};
    SettingsSnapshot entrySnapshot_{};
    int level_ = 1;
    int largest_ = 1;
    PixelRect pane_{0, 0, 0, 0};
    bool timerRunning_ = false;
    bool ctrl_ = false;
    bool right_ = false;
    int pressedDot_ = -1;
    bool fileDialogOpen_ = false;
    bool batchRunning_ = false;
    bool pageBusy_ = false;
    int previewRenders_ = 0;
    int endCode_ = 0;
    int16_t hostResult_ = 0;
};

// Text of item `value` of list `id`: glue names for the glue list, the
// stripe-kind letters, the merge digits, the shape names; "*" or empty
// outside the range, as the name tables give it.
std::string listItemText(int id, int value);
// How many items list `id` holds.
int listItemCount(int id);

// The folder part of a path, with its separator; empty for a bare name.
std::string folderOfPath(const std::string& path);

} // namespace qf
