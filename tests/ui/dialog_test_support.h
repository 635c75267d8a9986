// The dialog model with stand-in services: a filter area of a chosen size,
// a preview that counts its renders and fills the preview buffer with a
// picture of the settings, files in a scratch folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/path.h"
#include "tests/common/test_paths.h"
#include "ui/dialog_script.h"

namespace qf {}
using namespace qf;

class FakeServices : public DialogServices {
  public:
    PixelRect filter{0, 0, 800, 1000};
    bool canScale = true;
    int16_t previewError = 0;
    int renders = 0;
    std::vector<int32_t> zoomAtRender; // the settings' zoom level at each render
    std::vector<int32_t> glueAtRender;
    PixelRect pane{};
    const SettingsRecord* settings = nullptr;
    std::vector<uint8_t> planes;
    int psdExports = 0, presetsPages = 0, dotsPages = 0;

    PixelRect filterRect() override { return filter; }
    bool hostCanScale() override { return canScale; }
    int16_t renderPreview() override {
        ++renders;
        if (settings) {
            zoomAtRender.push_back(settings->previewZoom);
            glueAtRender.push_back(settings->glue);
        }
        const size_t n = size_t(pane.width() * pane.height());
        planes.assign(3 * n, uint8_t(settings ? settings->glue : 0));
        return previewError;
    }
    PreviewPlanes previewPlanes() override {
        PreviewPlanes p;
        if (planes.empty()) return p;
        p.data = planes.data();
        p.width = int32_t(pane.width());
        p.height = int32_t(pane.height());
        p.planes = 3;
        return p;
    }
    void setPreviewPane(const PixelRect&, const PixelRect& p) override { pane = p; }
    int exportPsd() override { return ++psdExports, 0; }
    std::string pageFolder, pagePath;
    int writePresetsPage(const std::string& folder, const std::string& page) override {
        pageFolder = folder;
        pagePath = page;
        return ++presetsPages, 0;
    }
    int writeDotsPage(const std::string& page) override {
        pagePath = page;
        return ++dotsPages, 0;
    }
};

// A presets file without a picture: the plain settings with `glue` and
// `hue`.
inline void writeLook(const std::string& path, int glue, int hue = 47) {
    SettingsRecord look{};
    resetSettings(look);
    look.glue = glue;
    look.hue = hue;
    ASSERT_EQ(writeSettingsFile(path.c_str(), look, nullptr), kFileOk);
}

// A dialog opened on default settings, with everything in a scratch folder.
struct DialogFixture {
    ScratchFolder scratch;
    SettingsRecord settings{};
    std::unique_ptr<DialogRunState> run;
    FakeServices services;
    ScriptedDialog view{{}};
    std::unique_ptr<DialogModel> model;

    explicit DialogFixture(bool open = true) {
        resetSettings(settings);
        settings.randomSeed = 7;
        settings.previewPossible = 1;
        settings.capturedControl = -1;
        run = std::make_unique<DialogRunState>(folder());
        run->dots.loadMap();
        run->undo.reset();
        run->thumbnail.create(128, 128, PyramidKind::RGBA8);
        services.settings = &settings;
        if (open) openDialog();
    }

    std::string folder() const { return scratch.folder() + kPathSeparator; }

    // As the start selector does: the state before the dialog is pushed
    // with its file, then the dialog opens.
    void openDialog() {
        run->undo.push(settings, true);
        model = std::make_unique<DialogModel>(settings, *run, services, view);
        model->initialise();
    }

    // A click as a person makes it: press, release.
    void click(int x, int y, bool right = false, bool ctrl = false) {
        model->mousePress(x, y, right ? MouseButton::Right : MouseButton::Left, ctrl);
        model->mouseRelease(x, y);
        view.runPosted(*model);
    }
};
