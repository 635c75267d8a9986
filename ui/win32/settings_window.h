// The settings dialog as a Windows dialog: the template DISSOLVESANSPARAM
// laid out in pixels, painted by hand where the controls are drawn by the
// dialog itself, and every message handed to the model. Also the boxes the
// dialog and the plug-in open: about, information.
//
// This header keeps the system's headers out; window handles travel as
// intptr_t.
#pragma once

#include <cstdint>
#include <string>

#include "ui/dialog_view.h"

namespace qf {

class DialogModel;

class SettingsWindow : public DialogView {
  public:
    // `services` give the preview pixels; `parent` is the editor's window
    // (0 for none) that the dialog is centred over and owned by.
    SettingsWindow(DialogServices& services, intptr_t parent);
    ~SettingsWindow() override;
    SettingsWindow(const SettingsWindow&) = delete;
    SettingsWindow& operator=(const SettingsWindow&) = delete;

    // Shows the dialog modally and plays the user's events on the model.
    // kDialogEndOk or kDialogEndCancel; -1 when the dialog could not be
    // created (no template, no window system).
    int run(DialogModel& model);

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

    struct State; // the window's handles and cached pictures

  private:
    State* state_;
};

// The about box, modal and without an owner; does nothing (and answers
// true) while one is open, for every caller. The website button opens the
// maker's page. False when no box could be shown (no window system).
bool showAboutWindow();

// Whether this process can make windows at all (a service, or Wine without
// a display, cannot).
bool windowSystemPresent();

// One of the module's refusal boxes (the dialog templates "REFUSAL1",
// "REFUSAL2"), modal on `owner` (0 for none) and placed like the settings
// dialog; returns when the person has closed it. False when it could not
// be shown (no window system, no such template).
bool showRefusalWindow(const char* templateName, intptr_t owner);

} // namespace qf
