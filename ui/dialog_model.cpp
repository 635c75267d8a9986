#include "ui/dialog_model.h"

#include <algorithm>
#include <cmath>

#include "platform/message.h"
#include "ui/random_change.h"
#include "values/name_tables.h"
#include "values/result_codes.h"

namespace qf {

namespace {

const char kRandomName[] = "random settings";
const char kPlainName[] = "plain settings";

// The setting each slider edits.
int32_t* sliderSetting(SettingsRecord& s, int sliderId) {
    switch (sliderId) {
    case kIdOverlapSlider:
        return &s.overlap;
    case kIdSoftnessSlider:
        return &s.softness;
    case kIdWarpingSlider:
        return &s.warping;
    case kIdComplexitySlider:
        return &s.complexity;
    case kIdZoomSlider:
        return &s.zoom;
    case kIdColorSlider:
        return &s.color;
    case kIdHueSlider:
        return &s.hue;
    case kIdStripesSlider:
        return &s.stripes;
    case kIdDoublureSlider:
        return &s.doublure;
    default:
        return nullptr;
    }
}

int32_t* listSetting(SettingsRecord& s, int listId) {
    switch (listId) {
    case kIdGlueList:
        return &s.glue;
    case kIdStripeKindList:
        return &s.stripeKind;
    case kIdMergeList:
        return &s.merge;
    case kIdShapeList:
        return &s.shape;
    default:
        return nullptr;
    }
}

bool validId(int id) {
    return id >= 0 && id < kControlCount;
}

int clampToSlider(int sliderId, double v) {
    const ControlDescriptor& d = controlDescriptor(sliderId);
    if (!(v >= d.minimum)) v = d.minimum; // NaN too
    if (v > d.maximum) v = d.maximum;
    return int(v);
}

bool isZoomCommand(int id) {
    return id == kIdZoomIn || id == kIdZoomOut || id == kIdZoomPercent;
}

} // namespace

// ------------------------------------------------------------------ helpers

std::string listItemText(int id, int value) {
    switch (id) {
    case kIdGlueList:
        return glueMenuName(value);
    case kIdStripeKindList:
        return value >= 1 && value <= 4 ? stripeKindName(value) : "*";
    case kIdMergeList:
        return value >= 1 && value <= 4 ? mergeName(value) : "*";
    case kIdShapeList:
        return shapeName(value);
    default:
        return std::string();
    }
}

int listItemCount(int id) {
    switch (id) {
    case kIdGlueList:
        return int(kGlueMenuNames.size()) - 1;
    case kIdStripeKindList:
        return int(kStripeKindNames.size()) - 1;
    case kIdMergeList:
        return int(kMergeNames.size()) - 1;
    case kIdShapeList:
        return int(kShapeNames.size()) - 1;
    default:
        return 0;
    }
}

bool startDialogRun(DialogRunState& run) {
    run.dots.loadMap();
    run.mapLoaded = true;
    run.undo.reset();
    return run.thumbnail.create(kPresetsPictureSide, kPresetsPictureSide, PyramidKind::RGBA8);
}

// ------------------------------------------------------------ the model

DialogModel::DialogModel(SettingsRecord& settings, DialogRunState& run, DialogServices& services,
                         DialogView& view)
    : settings_(settings), run_(run), services_(services), view_(view) {
    listSelections_.fill(-1);
}

int DialogModel::controlValue(int id) const {
    return validId(id) ? values_[size_t(id)] : 0;
}

const std::string& DialogModel::editText(int id) const {
    static const std::string none;
    return validId(id) ? editTexts_[size_t(id)] : none;
}

int DialogModel::listSelection(int id) const {
    return validId(id) ? listSelections_[size_t(id)] : -1;
}

bool DialogModel::zoomInEnabled() const {
    return services_.hostCanScale() && level_ > 1;
}

bool DialogModel::zoomOutEnabled() const {
    return services_.hostCanScale() && level_ < largest_;
}

void DialogModel::initialise() {
    settings_.capturedControl = -1;
    entrySnapshot_ = saveRenderSettings(settings_);
    copySettingsToControls();
    run_.dots.openDialog();

    if (settings_.previewPossible) {
        const ControlRect r = controlRect(kIdPreview);
        const PixelRect previewRect{r.top, r.left, r.top + r.height, r.left + r.width};
        const PixelRect filter = services_.filterRect();
        PixelRect pane{previewRect.top + 2, previewRect.left + 2, previewRect.bottom - 2,
                       previewRect.right - 2};
        pane.right = int32_t(pane.left + std::min<int64_t>(pane.width(), filter.width()));
        pane.bottom = int32_t(pane.top + std::min<int64_t>(pane.height(), filter.height()));
        pane_ = pane;
        services_.setPreviewPane(previewRect, pane);
        largest_ = qf::largestZoomLevel(geometry());
        level_ = largest_;
        settings_.previewOffsetX = 0;
        settings_.previewOffsetY = 0;
        settings_.previewZoom = level_;
        ++previewRenders_;
        if (services_.renderPreview() != 0)
            settings_.previewPossible = 0;
        else
            view_.repaintPreview();
    }

    run_.dots.markRemembered();
    repaintDots();
    updateZoomButtons();
}

PreviewGeometry DialogModel::geometry() const {
    return PreviewGeometry{services_.filterRect(), int32_t(pane_.width()), int32_t(pane_.height()),
                           services_.hostCanScale()};
}

// ---------------------------------------------------- settings <-> controls

void DialogModel::setSlider(int sliderId, int value) {
    values_[size_t(sliderId)] = value;
    view_.repaintControl(sliderId);
}

void DialogModel::writeEdit(int editId, int value) {
    const std::string text = formatEditNumber(value);
    editTexts_[size_t(editId)] = text;
    view_.setEditText(editId, text);
    // The change this write causes starts the timer like typing would; only
    // typing should re-render.
    stopTimer();
}

void DialogModel::setList(int id, int value) {
    values_[size_t(id)] = value;
    const int index = value - 1;
    // A system list takes -1 as "no selection" and ignores an index past
    // its items.
    if (index >= -1 && index < listItemCount(id)) listSelections_[size_t(id)] = index;
    view_.setListSelection(id, index);
}

void DialogModel::copySettingsToControls() {
    for (int sliderId : kSliderIds) {
        const int value = *sliderSetting(settings_, sliderId);
        setSlider(sliderId, value);
        writeEdit(controlDescriptor(sliderId).partner, value);
    }
    for (int listId : kListIds) setList(listId, *listSetting(settings_, listId));
    view_.repaintControl(kIdNameDisplay);
}

void DialogModel::takeSettingsFromControls() {
    for (int sliderId : kSliderIds) {
        const int editId = controlDescriptor(sliderId).partner;
        const double typed = parseEditNumber(editTexts_[size_t(editId)]);
        const int value = clampToSlider(sliderId, typed);
        const ControlDescriptor& d = controlDescriptor(sliderId);
        if (!(typed >= d.minimum && typed <= d.maximum)) writeEdit(editId, value);
        *sliderSetting(settings_, sliderId) = value;
    }
    for (int listId : kListIds)
        *listSetting(settings_, listId) = listSelections_[size_t(listId)] + 1;
}

// ------------------------------------------------------------ rendering

void DialogModel::renderPreview() {
    takeSettingsFromControls();
    if (!settings_.previewPossible) return;
    view_.setCursor(DialogCursor::Wait);
    settings_.previewZoom = level_;
    ++previewRenders_;
    const int16_t err = services_.renderPreview();
    // After a host error nothing more is painted for this render.
    if (err == 0) view_.repaintPreview();
    view_.setCursor(DialogCursor::Arrow);
}

void DialogModel::stopTimer() {
    view_.stopTimer(kRerenderTimerId);
    timerRunning_ = false;
}

void DialogModel::pushUndo(Push push) {
    if (push == Push::None) return;
    run_.undo.push(settings_, push == Push::WithFile);
}

void DialogModel::repaintDots() {
    for (int id = kIdFirstDot; id <= kIdLastDot; ++id) view_.repaintControl(id);
    view_.repaintControl(kIdDotViewer);
}

void DialogModel::updateZoomButtons() {
    view_.enableControl(kIdZoomIn, zoomInEnabled());
    view_.enableControl(kIdZoomOut, zoomOutEnabled());
    view_.enableControl(kIdZoomPercent, true);
    view_.setControlText(kIdZoomPercent, zoomPercentText(level_));
}

// ---------------------------------------------------------------- mouse

void DialogModel::mousePress(int x, int y, MouseButton button, bool ctrl) {
    if (button == MouseButton::Left) {
        ctrl_ = ctrl;
        right_ = false;
    } else {
        ctrl_ = false;
        right_ = true;
    }
    pressOn(controlAt(x, y), x, y);
}

void DialogModel::pressOn(int id, int x, int y) {
    if (id < 0) return;
    settings_.dragPoints[0] = int16_t(y);
    settings_.dragPoints[1] = int16_t(x);
    if (id == kIdPreview) {
        if (level_ == largest_ || !settings_.previewPossible) return;
        settings_.capturedControl = id;
        view_.captureMouse(true);
        settings_.dragPoints[2] = int16_t(y);
        settings_.dragPoints[3] = int16_t(x);
        view_.setCursor(DialogCursor::ClosedHand);
        return;
    }
    const ControlKind kind = controlDescriptor(id).kind;
    if (kind != ControlKind::Slider && kind != ControlKind::MemoryDot &&
        kind != ControlKind::DotViewer && kind != ControlKind::Logo)
        return;
    view_.captureMouse(true);
    settings_.capturedControl = id;
    // An impossible last position, so the press counts as a move.
    settings_.dragPoints[2] = -999;
    mouseMove(x, y);
}

void DialogModel::mouseMove(int x, int y) {
    const int target = settings_.capturedControl;
    if (target < 0) {
        hover(x, y);
        return;
    }
    if (target == kIdPreview) {
        pan(x, y);
        return;
    }
    if (isMemoryDot(target)) {
        const int inside = controlRect(target).contains(x, y) ? dotIndexOf(target) : -1;
        if (inside != pressedDot_) {
            pressedDot_ = inside;
            view_.repaintControl(target);
        }
    } else if (controlDescriptor(target).kind == ControlKind::Slider) {
        dragSlider(x, y);
        return;
    }
    settings_.dragPoints[2] = int16_t(y);
    settings_.dragPoints[3] = int16_t(x);
}

void DialogModel::hover(int x, int y) {
    const int id = controlAt(x, y);
    const bool canPan = id == kIdPreview && level_ != largest_ && settings_.previewPossible;
    view_.setCursor(canPan ? DialogCursor::OpenHand : DialogCursor::Arrow);
    if (isMemoryDot(id) && run_.dots.hover(dotIndexOf(id))) view_.repaintControl(kIdDotViewer);
}

void DialogModel::dragSlider(int x, int y) {
    const int target = settings_.capturedControl;
    if (settings_.dragPoints[3] == x && settings_.dragPoints[2] == y) return;
    settings_.dragPoints[2] = int16_t(y);
    settings_.dragPoints[3] = int16_t(x);
    const int value = sliderValueAt(target, x);
    setSlider(target, value);
    writeEdit(controlDescriptor(target).partner, value);
}

void DialogModel::pan(int x, int y) {
    const int dx = x - settings_.dragPoints[3];
    const int dy = y - settings_.dragPoints[2];
    settings_.dragPoints[2] = int16_t(y);
    settings_.dragPoints[3] = int16_t(x);
    if (dx == 0 && dy == 0) return;
    int32_t ox = int32_t(std::clamp<int64_t>(
        int64_t(settings_.previewOffsetX) - int64_t(dx) * level_, INT32_MIN, INT32_MAX));
    int32_t oy = int32_t(std::clamp<int64_t>(
        int64_t(settings_.previewOffsetY) - int64_t(dy) * level_, INT32_MIN, INT32_MAX));
    clampPan(geometry(), level_, ox, oy);
    settings_.previewOffsetX = ox;
    settings_.previewOffsetY = oy;
    renderPreview();
    // The render ends with the arrow; the hand still holds the picture.
    view_.setCursor(DialogCursor::ClosedHand);
}

void DialogModel::mouseRelease(int x, int y) {
    (void)x;
    (void)y;
    view_.captureMouse(false);
    const int target = settings_.capturedControl;
    if (target < 0) return;
    const ControlKind kind = controlDescriptor(target).kind;
    if (kind == ControlKind::Logo || kind == ControlKind::MemoryDot ||
        kind == ControlKind::DotViewer)
        view_.postCommand(target);
    if (pressedDot_ >= 0) {
        pressedDot_ = -1;
        view_.repaintControl(target);
    }
    takeSettingsFromControls();
    if (kind == ControlKind::Slider) pushUndo(Push::WithoutFile);
    stopTimer();
    settings_.capturedControl = -1;
    renderPreview();
    if (target == kIdPreview) view_.setCursor(DialogCursor::OpenHand);
}

// ------------------------------------------------------ edits and lists

void DialogModel::editChanged(int id, const std::string& text) {
    const ControlDescriptor& d = controlDescriptor(id);
    if (d.kind != ControlKind::Edit) return;
    editTexts_[size_t(id)] = text.substr(0, kEditTextLimit);
    setSlider(d.partner, clampToSlider(d.partner, parseEditNumber(editTexts_[size_t(id)])));
    view_.stopTimer(kRerenderTimerId);
    view_.startTimer(kRerenderTimerId, kRerenderTimerMs);
    timerRunning_ = true;
}

void DialogModel::listChanged(int id, int index) {
    if (controlDescriptor(id).kind != ControlKind::DropDownList) return;
    if (index < -1 || index >= listItemCount(id)) return;
    listSelections_[size_t(id)] = index;
    values_[size_t(id)] = index + 1;
    takeSettingsFromControls();
    pushUndo(Push::WithoutFile);
    stopTimer();
    renderPreview();
}

void DialogModel::timer(int id) {
    if (id != kRerenderTimerId) return;
    takeSettingsFromControls();
    pushUndo(Push::WithoutFile);
    stopTimer();
    renderPreview();
}

// ------------------------------------------------------------- commands

void DialogModel::command(int id) {
    Outcome out;
    if (isZoomCommand(id)) zoomCommand(id, out);
    if (isZoomCommand(id)) updateZoomButtons();
    if (id == kIdSave) saveCommand();
    if (id == kIdLoad) loadCommand(out);
    if (id == kIdPsdExport) {
        services_.exportPsd();
        out.push = Push::WithoutFile;
    }
    if (isMemoryDot(id)) dotCommand(id, out);
    if (id == kIdDotViewer) viewerCommand(out);
    if (id == kIdPresetsPage) presetsPageCommand();
    if (id == kIdLogo) view_.showAboutBox();
    if (id == kIdInfo) {
        view_.showInfoBox();
        out.push = Push::WithoutFile;
    }
    if (id == kIdUndo) undoCommand(out);
    if (id == kIdNextGlue || id == kIdRandomize || id == kIdDice3 || id == kIdDice3Small ||
        id == kIdRandomSeed)
        randomCommand(id, out);
    if (id == kIdReset) resetCommand(out);

    // The common end of every command.
    takeSettingsFromControls();
    pushUndo(out.push);
    stopTimer();
    if (out.rerender) renderPreview();
    if (id == kIdOk) okCommand();
    if (id == kIdCancel) cancelCommand();
}

void DialogModel::zoomCommand(int id, Outcome& out) {
    if (!services_.hostCanScale()) return;
    int level = level_;
    if (id == kIdZoomIn && level_ >= 2) level = level_ - 1;
    if (id == kIdZoomOut && level_ < largest_) level = level_ + 1;
    if (id == kIdZoomPercent) level = 1;
    changeLevel(level, out);
}

void DialogModel::changeLevel(int newLevel, Outcome& out) {
    if (newLevel == level_) return;
    int32_t ox = settings_.previewOffsetX;
    int32_t oy = settings_.previewOffsetY;
    convertPan(geometry(), level_, newLevel, ox, oy);
    if (newLevel == largest_) ox = oy = 0;
    level_ = newLevel;
    settings_.previewZoom = level_;
    settings_.previewOffsetX = ox;
    settings_.previewOffsetY = oy;
    out.rerender = true;
}

int DialogModel::chooseFile(const FileDialogRequest& request, std::string& path) {
    // One file dialog at a time; a second request counts as cancelled.
    if (fileDialogOpen_) return kFileDialogCancelled;
    fileDialogOpen_ = true;
    const int r = view_.chooseFile(request, path);
    fileDialogOpen_ = false;
    return r;
}

void DialogModel::saveCommand() {
    makeThumbnailFromPreview(services_.previewPlanes(), run_.thumbnail);
    FileDialogRequest request;
    request.kind = FileDialogKind::SaveSettings;
    request.title = "Save a settings file";
    request.initialFolder = settings_.settingsFolder;
    request.initialName = settingsFileStem(settings_.settingsName);
    std::string path;
    if (chooseFile(request, path) != kFileOk) return;
    takeChosenSettingsPath(settings_, path.c_str());
    if (writeSettingsFile(path.c_str(), settings_, &run_.thumbnail) != kFileOk)
        showMessage("Quillfire",
                    ("The settings file \"" + path + "\" could not be written.").c_str());
    view_.repaintControl(kIdNameDisplay);
}

void DialogModel::loadCommand(Outcome& out) {
    FileDialogRequest request;
    request.kind = FileDialogKind::OpenSettings;
    request.title = "Open a settings file";
    request.initialFolder = settings_.settingsFolder;
    std::string path;
    if (chooseFile(request, path) != kFileOk) return;
    takeChosenSettingsPath(settings_, path.c_str());
    applyPlainDefaults(settings_);
    bool pictureRead = false;
    if (readSettingsFile(path.c_str(), kPresetsLoad, &settings_, &run_.thumbnail, &pictureRead) ==
        kFileCannotOpen)
        showMessage("Quillfire", ("The settings file \"" + path + "\" could not be read.").c_str());
    copySettingsToControls();
    out.rerender = true;
    out.push = Push::WithFile;
}

void DialogModel::recalled(Outcome& out) {
    copySettingsToControls();
    out.rerender = true;
}

void DialogModel::dotCommand(int id, Outcome& out) {
    const bool ctrl = ctrl_;
    const DotClick click = run_.dots.click(dotIndexOf(id), ctrl, right_, settings_,
                                           services_.previewPlanes(), &run_.thumbnail);
    if (click == DotClick::Recalled) recalled(out);
    if ((click == DotClick::Stored && !ctrl) || click == DotClick::Recalled)
        out.push = Push::WithFile;
    repaintDots();
}

void DialogModel::viewerCommand(Outcome& out) {
    const int viewed = run_.dots.viewedDot();
    if (right_) {
        dotsPageCommand();
    } else if (ctrl_) {
        runBatchTool();
    } else if (viewed >= 0) {
        run_.dots.recall(viewed, settings_, &run_.thumbnail);
        recalled(out);
        repaintDots();
    }
    if (viewed >= 0) out.push = Push::WithFile;
}

bool DialogModel::choosePagePath(const char* proposedName, std::string& path) {
    FileDialogRequest request;
    request.kind = FileDialogKind::SaveHtmlPage;
    request.title = "Save an HTML page";
    request.initialFolder = settings_.exportFolder;
    request.initialName = proposedName;
    if (chooseFile(request, path) != kFileOk) return false;
    copyName(settings_.exportFolder, folderOfPath(path).c_str());
    return true;
}

void DialogModel::presetsPageCommand() {
    if (pageBusy_) return;
    pageBusy_ = true;
    FileDialogRequest request;
    request.kind = FileDialogKind::ChooseSourceFile;
    request.title = "Choose any file in the source folder";
    request.initialFolder = settings_.presetsFolder;
    std::string chosen, page;
    if (chooseFile(request, chosen) == kFileOk) {
        const std::string folder = folderOfPath(chosen);
        copyName(settings_.presetsFolder, folder.c_str());
        if (choosePagePath("Quillfire presets.html", page)) {
            view_.setCursor(DialogCursor::Wait);
            services_.writePresetsPage(folder, page);
            view_.setCursor(DialogCursor::Arrow);
        }
    }
    pageBusy_ = false;
}

void DialogModel::dotsPageCommand() {
    if (pageBusy_) return;
    pageBusy_ = true;
    std::string page;
    if (choosePagePath("Quillfire memory dots.html", page)) {
        view_.setCursor(DialogCursor::Wait);
        services_.writeDotsPage(page);
        view_.setCursor(DialogCursor::Arrow);
    }
    pageBusy_ = false;
}

void DialogModel::undoCommand(Outcome& out) {
    if (!run_.undo.undo(settings_)) return;
    run_.dots.demoteCurrent();
    repaintDots();
    copySettingsToControls();
    out.rerender = true;
}

void DialogModel::randomCommand(int id, Outcome& out) {
    // What was typed but not yet taken counts as the starting point.
    takeSettingsFromControls();
    if (id == kIdNextGlue) {
        settings_.glue = settings_.glue + 1 >= 70 ? 1 : settings_.glue + 1;
    } else {
        if (id == kIdRandomize) randomize(settings_);
        if (id == kIdDice3) randomChange(settings_, kDice3Strength);
        if (id == kIdDice3Small) randomChange(settings_, kDice3SmallStrength);
        if (id == kIdRandomSeed) settings_.randomSeed = randomSeedDraw();
        copyName(settings_.settingsName, kRandomName);
    }
    copySettingsToControls();
    out.rerender = true;
    out.push = Push::WithoutFile;
}

void DialogModel::resetCommand(Outcome& out) {
    applyPlainDefaults(settings_);
    copyName(settings_.settingsName, kPlainName);
    copySettingsToControls();
    out.rerender = true;
    out.push = Push::WithoutFile;
}

void DialogModel::okCommand() {
    if (batchRunning_) return;
    stopTimer();
    takeSettingsFromControls();
    hostResult_ = 0;
    endCode_ = kDialogEndOk;
    view_.closeInfoBox();
    view_.endDialog(kDialogEndOk);
}

void DialogModel::cancelCommand() {
    if (batchRunning_) return;
    stopTimer();
    restoreRenderSettings(settings_, entrySnapshot_);
    hostResult_ = kResultCancelled;
    endCode_ = kDialogEndCancel;
    view_.closeInfoBox();
    view_.endDialog(kDialogEndCancel);
}

} // namespace qf
