// The batch tool behind Ctrl-click on the dot viewer: re-saves every
// presets file of a folder whose name carries "q9q" or "q5q" with a fresh
// picture, renaming the "q9q" ones to ".q5q" so a second pass knows them.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/folder_listing.h"
#include "platform/path.h"
#include "ui/dialog_model.h"

namespace qf {

namespace {

bool containsNoCase(const std::string& text, const char* part) {
    const std::string p(part);
    auto lower = [](char c) { return char(std::tolower(static_cast<unsigned char>(c))); };
    const auto it = std::search(text.begin(), text.end(), p.begin(), p.end(),
                                [&](char a, char b) { return lower(a) == lower(b); });
    return it != text.end();
}

// `name` with its extension (from the last dot on) replaced by ".q5q".
std::string withBatchExtension(const std::string& name) {
    const size_t dot = name.rfind('.');
    return (dot == std::string::npos ? name : name.substr(0, dot)) + ".q5q";
}

// RAII for the running flag, so no early return leaves OK and Cancel dead.
struct BatchFlag {
    bool& flag;
    explicit BatchFlag(bool& f) : flag(f) { flag = true; }
    ~BatchFlag() { flag = false; }
};

} // namespace

std::string folderOfPath(const std::string& path) {
    size_t cut = 0;
    for (size_t i = 0; i < path.size(); ++i)
        if (isPathSeparator(path[i])) cut = i + 1;
    return path.substr(0, cut);
}

void DialogModel::runBatchTool() {
    if (batchRunning_) return;
    BatchFlag running(batchRunning_);

    FileDialogRequest request;
    request.kind = FileDialogKind::ChooseSourceFile;
    request.title = "Choose any file in the source folder";
    std::string chosen;
    if (chooseFile(request, chosen) != kFileOk) return;
    const std::string folder = folderOfPath(chosen);
    copyName(settings_.presetsFolder, folder.c_str());

    std::string slot;
    if (!dotFilePath(kBatchSlotIndex, slot)) return;
    // The user's own settings wait in the slot file while the folder runs.
    if (writeSettingsFile(slot.c_str(), settings_, &run_.thumbnail, kOpenOwnedOnly) != kFileOk)
        return;

    std::vector<FolderEntry> entries;
    listFolder(folder.c_str(), entries);
    view_.setCursor(DialogCursor::Wait);
    for (const FolderEntry& entry : entries) {
        if (entry.isFolder || entry.isReadOnly) continue;
        const bool fresh = containsNoCase(entry.name, "q9q");
        if (!fresh && !containsNoCase(entry.name, "q5q")) continue;
        const std::string path = folder + entry.name;
        applyPlainDefaults(settings_);
        readSettingsFile(path.c_str(), kPresetsLoad, &settings_, &run_.thumbnail, nullptr);
        copyName(settings_.settingsName, entry.name.c_str());
        copySettingsToControls();
        renderPreview();
        makeThumbnailFromPreview(services_.previewPlanes(), run_.thumbnail);
        if (writeSettingsFile(path.c_str(), settings_, &run_.thumbnail) != kFileOk) continue;
        if (fresh) {
            const std::string renamed = folder + withBatchExtension(entry.name);
            // Never over a file that is already there.
            if (!fileExists(renamed.c_str())) replaceFile(path.c_str(), renamed.c_str());
        }
    }

    readSettingsFile(slot.c_str(), kPresetsLoad, &settings_, &run_.thumbnail, nullptr,
                     kOpenOwnedOnly);
    copySettingsToControls();
    view_.setCursor(DialogCursor::Arrow);
}

} // namespace qf
