// The dialog driven by any script: the script reader, then the dialog's
// model playing what it read against a stand-in for the host. Checks that
// no sequence of events (presses anywhere, drags past every edge, typing
// anything, lists at any index, any command) crashes the model or leaves
// it reading out of bounds. File dialogs are answered with one scratch file
// so the fuzzer cannot write elsewhere.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/temp_folder.h"
#include "ui/dialog_script.h"

namespace qf {}
using namespace qf;

namespace {

class StandInServices : public DialogServices {
  public:
    explicit StandInServices(const SettingsRecord& s) : settings_(s) {}
    PixelRect filterRect() override { return PixelRect{0, 0, 700, 1900}; }
    bool hostCanScale() override { return true; }
    int16_t renderPreview() override {
        planes_.assign(size_t(3 * pane_.width() * pane_.height()), uint8_t(settings_.glue));
        return 0;
    }
    PreviewPlanes previewPlanes() override {
        return PreviewPlanes{planes_.data(), int32_t(pane_.width()), int32_t(pane_.height()), 3};
    }
    void setPreviewPane(const PixelRect&, const PixelRect& pane) override { pane_ = pane; }

  private:
    const SettingsRecord& settings_;
    PixelRect pane_{0, 0, 1, 1};
    std::vector<uint8_t> planes_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<ScriptEvent> events;
    std::string error;
    if (!parseDialogScript(std::string(reinterpret_cast<const char*>(data), size), events, error))
        return 0;
    // A folder of its own: the batch tool works on the folder of the file
    // it is given.
    static const std::string folder = temporaryFolder() + "qf-dialog-fuzz/";
    static const bool made = createFolder(folder.c_str()) == kFileOk;
    if (!made) return 0;
    static const std::string scratch = folder + "look q9q.sa9";
    for (ScriptEvent& e : events)
        if (e.kind == ScriptEvent::File && !e.text.empty()) e.text = scratch;

    SettingsRecord settings{};
    resetSettings(settings);
    settings.previewPossible = 1;
    DialogRunState run(folder);
    run.undo.reset();
    run.thumbnail.create(128, 128, PyramidKind::RGBA8);
    StandInServices services(settings);
    ScriptedDialog view(std::move(events));
    DialogModel model(settings, run, services, view);
    view.run(model);
    return 0;
}
