// The dialog's details a person meets one at a time: the cursor while the
// preview is dragged, numbers too small for a double, which buttons leave
// an undo step, the name the random buttons give, the slider at every
// pixel of its track, the batch tool beside a file it would rename onto,
// and a tip for every control.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "dialog_test_support.h"
#include "values/random_source.h"

namespace {

TEST(DialogCursor, TheHandStaysClosedWhilePanningEvenThoughEveryMoveRenders) {
    DialogFixture f(false);
    f.services.filter = PixelRect{0, 0, 1000, 3000};
    f.openDialog();
    f.model->command(kIdZoomPercent);
    ASSERT_NE(f.model->zoomLevel(), f.model->largestZoomLevel());

    f.model->mouseMove(600, 200); // over a preview that can be panned
    EXPECT_EQ(f.view.cursor(), DialogCursor::OpenHand);
    f.model->mouseMove(100, 200); // over the sliders' column
    EXPECT_EQ(f.view.cursor(), DialogCursor::Arrow);

    f.model->mousePress(600, 200, MouseButton::Left, false);
    EXPECT_EQ(f.view.cursor(), DialogCursor::ClosedHand);
    for (int step = 1; step <= 3; ++step) {
        const size_t before = f.view.cursors().size();
        const int renders = f.services.renders;
        f.model->mouseMove(600 - 10 * step, 200);
        ASSERT_EQ(f.services.renders, renders + 1);
        // Wait while it renders, then the closed hand again.
        const std::vector<DialogCursor> seen(f.view.cursors().begin() + ptrdiff_t(before),
                                             f.view.cursors().end());
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), DialogCursor::Wait);
        EXPECT_EQ(seen.back(), DialogCursor::ClosedHand) << "step " << step;
    }
    f.model->mouseRelease(570, 200);
    EXPECT_EQ(f.view.cursor(), DialogCursor::OpenHand);

    // At the largest level nothing pans: a press leaves the arrow.
    while (f.model->zoomOutEnabled()) f.model->command(kIdZoomOut);
    f.model->mouseMove(600, 200);
    EXPECT_EQ(f.view.cursor(), DialogCursor::Arrow);
    f.model->mousePress(600, 200, MouseButton::Left, false);
    EXPECT_EQ(f.view.cursor(), DialogCursor::Arrow);
    EXPECT_EQ(f.model->dragTarget(), -1);
}

TEST(DialogEdits, NumbersBeyondADoubleReadAsZeroWhenTinyAndAsHugeWhenLarge) {
    const struct {
        const char* text;
        double value;
    } cases[] = {{"1e-400", 0.0},
                 {"-1e-400", 0.0},
                 {"123.5e-400", 0.0},
                 {"0.00001e-320", 0.0},
                 {"000.000e-99999999999999999999", 0.0},
                 {"1e-99999999999999999999", 0.0},
                 {"1e400", HUGE_VAL},
                 {"-1e400", -HUGE_VAL},
                 {"0.001e312", HUGE_VAL},
                 {"1e99999999999999999999", HUGE_VAL},
                 // At the edges of the range the number itself is read.
                 {"1e-300", 1e-300},
                 {"1e300", 1e300}};
    for (const auto& c : cases) EXPECT_EQ(parseEditNumber(c.text), c.value) << c.text;

    // Through the dialog: an underflow is 0 (the slider goes left), an
    // overflow 100.
    DialogFixture f;
    f.model->editChanged(kIdOverlapEdit, "1e-400");
    EXPECT_EQ(f.model->controlValue(kIdOverlapSlider), 0);
    f.model->timer(kRerenderTimerId);
    EXPECT_EQ(f.settings.overlap, 0);
    f.model->editChanged(kIdOverlapEdit, "7e400");
    EXPECT_EQ(f.model->controlValue(kIdOverlapSlider), 100);
}

// Which commands leave an undo step: the slot index toggles with every
// push and stays with no push.
TEST(DialogUndo, OnlyTheCommandsThatChangeSettingsOrMayLeaveAnUndoStep) {
    DialogFixture f(false);
    f.services.filter = PixelRect{0, 0, 1000, 3000}; // so the zoom buttons work
    f.openDialog();
    const std::string look = f.scratch.file("look.sa9"), page = f.scratch.file("page.html");
    const struct {
        int id;
        bool pushes;
        const char* what;
        std::vector<std::string> files; // the answers of its file dialogs
    } commands[] = {
        {kIdSave, false, "Save (cancelled)", {""}},
        {kIdSave, false, "Save (written)", {look}},
        {kIdZoomIn, false, "zoom in", {}},
        {kIdZoomOut, false, "zoom out", {}},
        {kIdZoomPercent, false, "100 %", {}},
        {kIdPresetsPage, false, "presets page (cancelled)", {""}},
        {kIdPresetsPage, false, "presets page (written)", {look, page}},
        {kIdLogo, false, "logo", {}},
        {kIdPsdExport, true, "PSD", {}},
        {kIdInfo, true, "info", {}},
        {kIdReset, true, "Reset", {}},
        {kIdRandomize, true, "Randomize", {}},
        {kIdDice3, true, "Dice3", {}},
        {kIdDice3Small, true, "Dice3_", {}},
        {kIdRandomSeed, true, "Randomseed", {}},
        {kIdNextGlue, true, "N", {}},
    };
    for (const auto& c : commands) {
        for (const std::string& file : c.files) f.view.queueFileAnswer(file);
        const int index = f.run->undo.index();
        f.model->command(c.id);
        EXPECT_EQ(f.run->undo.index() != index, c.pushes) << c.what;
    }
    EXPECT_EQ(f.view.fileRequests().size(), 5u); // every answer was asked for
    EXPECT_TRUE(std::filesystem::exists(look));
    EXPECT_EQ(f.services.psdExports, 1);
    EXPECT_EQ(f.services.presetsPages, 1);
    EXPECT_EQ(f.view.aboutBoxes(), 1);
    EXPECT_EQ(f.view.infoBoxes(), 1);
}

TEST(DialogButtons, EveryRandomButtonNamesTheSettingsRandomAndNDoesNot) {
    DialogFixture f;
    seedRandom(99);
    for (int id : {kIdDice3, kIdDice3Small, kIdRandomSeed, kIdRandomize}) {
        copyName(f.settings.settingsName, "my look");
        f.model->command(id);
        EXPECT_STREQ(f.settings.settingsName, "random settings") << "button " << id;
    }
    copyName(f.settings.settingsName, "my look");
    f.model->command(kIdNextGlue);
    EXPECT_STREQ(f.settings.settingsName, "my look");
}

// value = (x - 4 - left - 1) x 100 / (width - 14), truncated toward zero and
// limited to 0..100, at every pixel from well before the track to well
// after it; and the knob for every value stays inside the 135-pixel track.
TEST(DialogSliders, EveryPixelOfTheTrackGivesTheFormulasValue) {
    DialogFixture f;
    const ControlRect r = controlRect(kIdStripesSlider);
    ASSERT_EQ(r.width, 135);
    const int y = r.top + 5;
    for (int x = r.left - 20; x <= r.left + r.width + 20; ++x) {
        const int expected = std::clamp((x - 4 - r.left - 1) * 100 / (r.width - 14), 0, 100);
        f.model->mousePress(x, y, MouseButton::Left, false);
        if (!r.contains(x, y)) {
            // A press beside the track starts no drag; a drag from inside
            // follows the mouse out there.
            EXPECT_EQ(f.model->dragTarget(), -1) << "x " << x;
            f.model->mousePress(r.left + 60, y, MouseButton::Left, false);
            f.model->mouseMove(x, y);
        }
        EXPECT_EQ(f.model->controlValue(kIdStripesSlider), expected) << "x " << x;
        f.model->mouseRelease(x, y);
        EXPECT_EQ(f.settings.stripes, expected) << "x " << x;
    }
    // The pixels where a divisor of width - 15 would give another value.
    for (const auto& [x, value] : {std::pair{156, 4}, {270, 99}, {271, 100}, {150, 0}}) {
        f.model->mousePress(x, y, MouseButton::Left, false);
        f.model->mouseRelease(x, y);
        EXPECT_EQ(f.settings.stripes, value) << "x " << x;
    }
    for (int v = 0; v <= 100; ++v) {
        const int knob = sliderKnobLeft(kIdStripesSlider, v);
        EXPECT_EQ(knob, r.left + 1 + v * 120 / 100) << v;
        EXPECT_LE(knob + 12, r.left + r.width) << v; // the knob is 12 pixels wide
    }
}

TEST(DialogDots, TheBatchToolNeverRenamesOntoAnExistingFile) {
    DialogFixture f;
    ScratchFolder source;
    writeLook(source.file("a q9q.sa9"), 12);
    // What an earlier pass made of another "a q9q" file, with other settings.
    writeLook(source.file("a q9q.q5q"), 20, 5);

    f.view.queueFileAnswer(source.file("a q9q.sa9"));
    f.click(350, 500, false, true);
    ASSERT_FALSE(f.model->batchRunning());

    // Both files are still there, each re-saved with a picture and its own
    // settings.
    SettingsRecord back{};
    ASSERT_TRUE(std::filesystem::exists(source.file("a q9q.sa9")));
    ASSERT_EQ(
        readSettingsFile(source.file("a q9q.sa9").c_str(), kPresetsLoad, &back, nullptr, nullptr),
        kFileOk);
    EXPECT_EQ(back.glue, 12);
    ASSERT_EQ(
        readSettingsFile(source.file("a q9q.q5q").c_str(), kPresetsLoad, &back, nullptr, nullptr),
        kFileOk);
    EXPECT_EQ(back.glue, 20);
    EXPECT_EQ(back.hue, 5);
    EXPECT_GT(std::filesystem::file_size(source.file("a q9q.q5q")), 116u);
    EXPECT_EQ(f.settings.glue, 1); // the user's own settings came back
}

// Every control with a place in the layout has a short tip of plain text;
// no other id has one.
TEST(DialogTips, EveryControlInTheLayoutHasAShortPlainTip) {
    int tips = 0;
    for (int id = -1; id <= kControlCount; ++id) {
        const char* tip = controlTip(id);
        if (controlRect(id).empty()) {
            EXPECT_EQ(tip, nullptr) << "id " << id << " has no control";
            continue;
        }
        ++tips;
        ASSERT_NE(tip, nullptr) << "id " << id;
        const size_t length = std::strlen(tip);
        EXPECT_GT(length, 0u) << "id " << id;
        EXPECT_LE(length, 80u) << "id " << id << ": " << tip;
        for (size_t i = 0; i < length; ++i)
            EXPECT_TRUE(tip[i] >= ' ' && tip[i] < 127 && tip[i] != '&') << "id " << id;
    }
    EXPECT_EQ(tips, 81);
}

} // namespace
