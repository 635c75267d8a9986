#include "ui/dialog_script.h"

#include <charconv>
#include <sstream>

#include "platform/file.h"

namespace qf {

namespace {

bool parseInt(const std::string& word, int& value) {
    const char* end = word.data() + word.size();
    const auto r = std::from_chars(word.data(), end, value);
    return r.ec == std::errc() && r.ptr == end;
}

// The rest of a line after its first `words` words and one blank.
std::string restOfLine(const std::string& line, int words) {
    size_t i = 0;
    for (int w = 0; w < words; ++w) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    }
    if (i < line.size()) ++i;
    return line.substr(i);
}

bool parseLine(const std::string& line, ScriptEvent& e) {
    std::istringstream in(line);
    std::vector<std::string> w;
    for (std::string word; in >> word;) w.push_back(word);
    if (w.empty()) return false;
    const std::string& verb = w[0];
    if (verb == "press" || verb == "move" || verb == "release") {
        if (w.size() < 3 || !parseInt(w[1], e.a) || !parseInt(w[2], e.b)) return false;
        e.kind = verb == "press"  ? ScriptEvent::Press
                 : verb == "move" ? ScriptEvent::Move
                                  : ScriptEvent::Release;
        for (size_t i = 3; i < w.size(); ++i) {
            if (verb == "press" && w[i] == "right")
                e.right = true;
            else if (verb == "press" && w[i] == "ctrl")
                e.ctrl = true;
            else
                return false;
        }
        return true;
    }
    if (verb == "type") {
        if (w.size() < 2 || !parseInt(w[1], e.a)) return false;
        e.kind = ScriptEvent::Type;
        e.text = restOfLine(line, 2);
        return true;
    }
    if (verb == "select") {
        e.kind = ScriptEvent::Select;
        return w.size() == 3 && parseInt(w[1], e.a) && parseInt(w[2], e.b);
    }
    if (verb == "command") {
        e.kind = ScriptEvent::Command;
        return w.size() == 2 && parseInt(w[1], e.a);
    }
    if (verb == "ok" || verb == "cancel") {
        e.kind = ScriptEvent::Command;
        e.a = verb == "ok" ? kIdOk : kIdCancel;
        return w.size() == 1;
    }
    if (verb == "timer") {
        e.kind = ScriptEvent::Timer;
        return w.size() == 1;
    }
    if (verb == "file") {
        e.kind = ScriptEvent::File;
        if (w.size() < 2) return false;
        e.text = (w.size() == 2 && w[1] == "cancel") ? std::string() : restOfLine(line, 1);
        return true;
    }
    return false;
}

} // namespace

bool parseDialogScript(const std::string& text, std::vector<ScriptEvent>& events,
                       std::string& error) {
    events.clear();
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // Every blank the word splitter skips counts as blank here too.
        const size_t first = line.find_first_not_of(" \t\r\v\f");
        if (first == std::string::npos || line[first] == '#') continue;
        ScriptEvent e;
        if (!parseLine(line.substr(first), e)) {
            error = "line " + std::to_string(number) + " is not an event: " + line;
            events.clear();
            return false;
        }
        events.push_back(std::move(e));
    }
    return true;
}

bool readDialogScript(const char* path, std::vector<ScriptEvent>& events, std::string& error) {
    File f;
    if (f.openForReading(path) != kFileOk) {
        error = std::string("cannot open the dialog script ") + path;
        return false;
    }
    const int64_t size = f.size();
    if (size < 0 || size > int64_t(kDialogScriptLimit)) {
        error = std::string("the dialog script is too long: ") + path;
        return false;
    }
    std::string text(size_t(size), '\0');
    if (size > 0 && f.read(text.data(), text.size()) != kFileOk) {
        error = std::string("cannot read the dialog script ") + path;
        return false;
    }
    return parseDialogScript(text, events, error);
}

ScriptedDialog::ScriptedDialog(std::vector<ScriptEvent> events) : events_(std::move(events)) {}

int ScriptedDialog::run(DialogModel& model) {
    model_ = &model;
    model.initialise();
    for (const ScriptEvent& e : events_) {
        if (endCode_ != 0) break;
        deliver(model, e);
        runPosted(model);
    }
    // A script that stops with the dialog open ends it as Escape would.
    if (endCode_ == 0) model.command(kIdCancel);
    model_ = nullptr;
    return endCode_ == 0 ? kDialogEndCancel : endCode_;
}

void ScriptedDialog::deliver(DialogModel& model, const ScriptEvent& e) {
    switch (e.kind) {
    case ScriptEvent::Press:
        model.mousePress(e.a, e.b, e.right ? MouseButton::Right : MouseButton::Left, e.ctrl);
        break;
    case ScriptEvent::Move:
        model.mouseMove(e.a, e.b);
        break;
    case ScriptEvent::Release:
        model.mouseRelease(e.a, e.b);
        break;
    case ScriptEvent::Type:
        editTexts_[e.a] = e.text;
        model.editChanged(e.a, e.text);
        break;
    case ScriptEvent::Select:
        listSelections_[e.a] = e.b;
        model.listChanged(e.a, e.b);
        break;
    case ScriptEvent::Command:
        model.command(e.a);
        break;
    case ScriptEvent::Timer:
        // A timer fires only while it runs.
        if (timerRunning_) model.timer(kRerenderTimerId);
        break;
    case ScriptEvent::File:
        fileAnswers_.push_back(e.text);
        break;
    }
}

void ScriptedDialog::runPosted(DialogModel& model) {
    while (!posted_.empty() && endCode_ == 0) {
        const int id = posted_.front();
        posted_.pop_front();
        model.command(id);
    }
    posted_.clear();
}

const std::string& ScriptedDialog::editText(int id) const {
    static const std::string none;
    const auto it = editTexts_.find(id);
    return it == editTexts_.end() ? none : it->second;
}

int ScriptedDialog::listSelection(int id) const {
    const auto it = listSelections_.find(id);
    return it == listSelections_.end() ? -1 : it->second;
}

bool ScriptedDialog::enabled(int id) const {
    const auto it = enabled_.find(id);
    return it == enabled_.end() || it->second;
}

const std::string& ScriptedDialog::controlText(int id) const {
    static const std::string none;
    const auto it = controlTexts_.find(id);
    return it == controlTexts_.end() ? none : it->second;
}

int ScriptedDialog::repaints(int id) const {
    const auto it = repaints_.find(id);
    return it == repaints_.end() ? 0 : it->second;
}

void ScriptedDialog::repaintControl(int id) {
    ++repaints_[id];
}

void ScriptedDialog::repaintPreview() {
    ++previewPaints_;
}

void ScriptedDialog::setEditText(int id, const std::string& text) {
    editTexts_[id] = text;
    // A system edit box reports its new text at once, as if typed.
    if (model_) model_->editChanged(id, text);
}

void ScriptedDialog::setListSelection(int id, int index) {
    const int count = listItemCount(id);
    if (index >= -1 && index < count) listSelections_[id] = index;
}

void ScriptedDialog::enableControl(int id, bool enabled) {
    enabled_[id] = enabled;
}

void ScriptedDialog::setControlText(int id, const std::string& text) {
    controlTexts_[id] = text;
}

void ScriptedDialog::setCursor(DialogCursor cursor) {
    cursor_ = cursor;
    cursors_.push_back(cursor);
}

void ScriptedDialog::captureMouse(bool capture) {
    captured_ = capture;
}

void ScriptedDialog::startTimer(int id, int milliseconds) {
    (void)milliseconds;
    if (id == kRerenderTimerId) timerRunning_ = true;
}

void ScriptedDialog::stopTimer(int id) {
    if (id == kRerenderTimerId) timerRunning_ = false;
}

void ScriptedDialog::postCommand(int id) {
    posted_.push_back(id);
}

void ScriptedDialog::endDialog(int code) {
    endCode_ = code;
}

int ScriptedDialog::chooseFile(const FileDialogRequest& request, std::string& path) {
    fileRequests_.push_back(request);
    if (fileAnswers_.empty()) return kFileDialogCancelled;
    path = fileAnswers_.front();
    fileAnswers_.pop_front();
    return path.empty() ? kFileDialogCancelled : kFileOk;
}

void ScriptedDialog::showAboutBox() {
    ++aboutBoxes_;
}

void ScriptedDialog::showInfoBox() {
    ++infoBoxes_;
}

void ScriptedDialog::closeInfoBox() {}

} // namespace qf
