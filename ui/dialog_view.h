// The two sides the settings dialog's model talks to. The view shows the
// dialog and feeds the model the user's events (the Win32 dialog, or a
// script); the services are the plug-in's: the preview render through the
// host, the preview pixels, and the exports the dialog starts.
#pragma once

#include <cstdint>
#include <string>

#include "presets/presets_file.h"
#include "values/pixel_types.h"

namespace qf {

enum class DialogCursor { Arrow, OpenHand, ClosedHand, Wait };

enum class FileDialogKind {
    OpenSettings,     // "Open a settings file", with the picture panel
    SaveSettings,     // "Save a settings file"
    ChooseSourceFile, // "Choose any file in the source folder" (batch tool, presets page)
    SaveHtmlPage,     // "Save an HTML page"
    SavePsd,          // "Save a PSD file"
};

struct FileDialogRequest {
    FileDialogKind kind = FileDialogKind::OpenSettings;
    std::string title;
    std::string initialFolder;
    std::string initialName; // without extension; empty for Open
};

// The dialog's ends, as the view's modal loop returns them.
constexpr int kDialogEndOk = 3;     // the OK button's id
constexpr int kDialogEndCancel = 2; // the Cancel button's id

// What chooseFile answers when no file was chosen: the user cancelled,
// another file dialog was open, or the system's dialog is unavailable.
// (kFileOk, 0, is the answer with a file.)
constexpr int kFileDialogCancelled = 199;

// The re-render timer after typing in an edit box.
constexpr int kRerenderTimerId = 8064;
constexpr int kRerenderTimerMs = 1000;

class DialogView {
  public:
    virtual ~DialogView() = default;

    // Something the model changed needs drawing again: a custom-painted
    // control (slider, dot, viewer, name display, label), or the preview.
    virtual void repaintControl(int id) = 0;
    virtual void repaintPreview() = 0;
    // Writes an edit box's text. A real edit box reports the change back
    // as an edit event before this returns; the model expects either.
    virtual void setEditText(int id, const std::string& text) = 0;
    // Selects item `index` of a list (-1 or beyond the items: no selection).
    virtual void setListSelection(int id, int index) = 0;
    virtual void enableControl(int id, bool enabled) = 0;
    virtual void setControlText(int id, const std::string& text) = 0;
    virtual void setCursor(DialogCursor cursor) = 0;
    virtual void captureMouse(bool capture) = 0;
    virtual void startTimer(int id, int milliseconds) = 0;
    virtual void stopTimer(int id) = 0;
    // Runs `id` as a command once the current event is done.
    virtual void postCommand(int id) = 0;
    virtual void endDialog(int code) = 0;

    // A file dialog; kFileOk with the chosen path, or kFileDialogCancelled.
    virtual int chooseFile(const FileDialogRequest& request, std::string& path) = 0;
    virtual void showAboutBox() = 0;
    virtual void showInfoBox() = 0;
    virtual void closeInfoBox() = 0;
};

class DialogServices {
  public:
    virtual ~DialogServices() = default;

    virtual PixelRect filterRect() = 0;
    // The host can deliver the document at other scales.
    virtual bool hostCanScale() = 0;
    // Reads the preview source for the settings' zoom and pan and renders
    // the preview into the preview buffer. The host's result: 0, or the
    // error it reported.
    virtual int16_t renderPreview() = 0;
    // The last rendered preview, for thumbnails; empty when there is none.
    virtual PreviewPlanes previewPlanes() = 0;
    // Tells the plug-in where the preview pane lies in the dialog (client
    // pixels), before the first preview render.
    virtual void setPreviewPane(const PixelRect& previewRect, const PixelRect& pane) = 0;

    // The exports the dialog's buttons start, once the dialog has asked
    // for their files; each answers 0, or a file or host code, and opens
    // what it wrote for the user. A build without the export answers
    // kExportUnavailable.
    virtual int exportPsd() { return kExportUnavailable; }
    // The presets page of every presets file in `sourceFolder` (which ends
    // with a separator), written to `pagePath`.
    virtual int writePresetsPage(const std::string& sourceFolder, const std::string& pagePath) {
        (void)sourceFolder;
        (void)pagePath;
        return kExportUnavailable;
    }
    // The page of the filled memory dots, each rendered over the document.
    virtual int writeDotsPage(const std::string& pagePath) {
        (void)pagePath;
        return kExportUnavailable;
    }

    static constexpr int kExportUnavailable = -1;
};

} // namespace qf
