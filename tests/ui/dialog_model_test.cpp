// The dialog's behaviour driven event by event: sliders, edit boxes and
// their timer, lists, zoom and pan, undo, the random buttons, OK and Cancel,
// Save and Load, the memory dots and the batch tool.
#include <gtest/gtest.h>

#include <filesystem>

#include "dialog_test_support.h"
#include "values/random_source.h"

namespace {

constexpr int kOverlapY = 75; // inside the overlap slider's row

// The fourteen pattern settings and the name, field by field.
void expectSameLook(const SettingsRecord& a, const SettingsRecord& b) {
    const int32_t SettingsRecord::*fields[] = {
        &SettingsRecord::glue,       &SettingsRecord::overlap,   &SettingsRecord::stripes,
        &SettingsRecord::warping,    &SettingsRecord::softness,  &SettingsRecord::doublure,
        &SettingsRecord::color,      &SettingsRecord::zoom,      &SettingsRecord::complexity,
        &SettingsRecord::hue,        &SettingsRecord::merge,     &SettingsRecord::shape,
        &SettingsRecord::stripeKind, &SettingsRecord::randomSeed};
    for (auto field : fields) EXPECT_EQ(a.*field, b.*field);
    EXPECT_STREQ(a.settingsName, b.settingsName);
}

TEST(DialogSliders, DraggingFollowsTheMouseWithOvershootLimitedAndRendersOnRelease) {
    DialogFixture f;
    const int rendersAtOpen = f.services.renders;
    EXPECT_EQ(rendersAtOpen, 1);

    // The press jumps the knob: (200 - 4 - 145 - 1) x 100 / 121 = 41.
    f.model->mousePress(200, kOverlapY, MouseButton::Left, false);
    EXPECT_EQ(f.model->dragTarget(), kIdOverlapSlider);
    EXPECT_TRUE(f.view.mouseCaptured());
    EXPECT_EQ(f.model->controlValue(kIdOverlapSlider), 41);
    EXPECT_EQ(f.model->editText(kIdOverlapEdit), "41");
    EXPECT_EQ(f.view.editText(kIdOverlapEdit), "41");

    f.model->mouseMove(2000, kOverlapY); // far right, far beyond the track
    EXPECT_EQ(f.model->controlValue(kIdOverlapSlider), 100);
    f.model->mouseMove(-300, kOverlapY); // far left
    EXPECT_EQ(f.model->controlValue(kIdOverlapSlider), 0);
    const int repaints = f.view.repaints(kIdOverlapSlider);
    f.model->mouseMove(-300, kOverlapY); // the same place again: nothing
    EXPECT_EQ(f.view.repaints(kIdOverlapSlider), repaints);
    f.model->mouseMove(211, kOverlapY); // (211 - 4 - 146) x 100 / 121 = 50
    EXPECT_EQ(f.model->controlValue(kIdOverlapSlider), 50);

    // Nothing renders and the setting stays until the release.
    EXPECT_EQ(f.services.renders, rendersAtOpen);
    EXPECT_EQ(f.settings.overlap, 73);
    EXPECT_FALSE(f.model->timerRunning());
    f.model->mouseRelease(0, 0);
    EXPECT_EQ(f.settings.overlap, 50);
    EXPECT_EQ(f.services.renders, rendersAtOpen + 1);
    EXPECT_EQ(f.model->dragTarget(), -1);
    EXPECT_FALSE(f.view.mouseCaptured());

    // The release pushed an undo state: Undo brings the old value back.
    f.model->command(kIdUndo);
    EXPECT_EQ(f.settings.overlap, 73);
    EXPECT_EQ(f.model->controlValue(kIdOverlapSlider), 73);

    // The knob's place for the painter.
    EXPECT_EQ(sliderKnobLeft(kIdOverlapSlider, 0), 146);
    EXPECT_EQ(sliderKnobLeft(kIdOverlapSlider, 41), 195);
    EXPECT_EQ(sliderKnobLeft(kIdOverlapSlider, 100), 266);
}

TEST(DialogEdits, TypingMovesTheSliderAndRendersOnlyWhenTheTimerFires) {
    DialogFixture f;
    const int renders = f.services.renders;
    f.model->editChanged(kIdOverlapEdit, "250");
    EXPECT_EQ(f.model->controlValue(kIdOverlapSlider), 100);
    EXPECT_TRUE(f.model->timerRunning());
    EXPECT_TRUE(f.view.timerRunning());
    EXPECT_EQ(f.model->editText(kIdOverlapEdit), "250"); // kept as typed until taken
    EXPECT_EQ(f.settings.overlap, 73);
    EXPECT_EQ(f.services.renders, renders);

    f.model->timer(kRerenderTimerId);
    EXPECT_EQ(f.settings.overlap, 100);
    EXPECT_EQ(f.model->editText(kIdOverlapEdit), "100"); // rewritten clamped
    EXPECT_FALSE(f.model->timerRunning());
    EXPECT_EQ(f.services.renders, renders + 1);

    // Decimal reals, truncated; what is no number reads 0; in range the
    // text stays as typed.
    const struct {
        const char* text;
        int value;
    } cases[] = {{"  12.9xyz", 12}, {"-5", 0}, {"abc", 0},     {"1e1", 10},
                 {"+99.99", 99},    {"", 0},   {"1e999", 100}, {"nan", 0}};
    for (const auto& c : cases) {
        f.model->editChanged(kIdHueEdit, c.text);
        f.model->timer(kRerenderTimerId);
        EXPECT_EQ(f.settings.hue, c.value) << c.text;
    }
    f.model->editChanged(kIdHueEdit, "12.9");
    f.model->timer(kRerenderTimerId);
    EXPECT_EQ(f.model->editText(kIdHueEdit), "12.9");

    // The dialog's own writes into the edit boxes stop the timer they start.
    f.model->editChanged(kIdZoomEdit, "5");
    ASSERT_TRUE(f.model->timerRunning());
    f.model->command(kIdReset);
    EXPECT_FALSE(f.model->timerRunning());
    EXPECT_FALSE(f.view.timerRunning());
}

TEST(DialogLists, ValueNSelectsItemNMinusOneAndNoSelectionReadsZero) {
    DialogFixture f(false);
    f.settings.shape = 5;
    f.settings.glue = 69;
    f.settings.stripeKind = 0; // possible from an old presets file
    f.settings.merge = 4;
    f.openDialog();
    EXPECT_EQ(f.view.listSelection(kIdShapeList), 4);
    EXPECT_EQ(listItemText(kIdShapeList, 5), "TVs");
    EXPECT_EQ(f.view.listSelection(kIdGlueList), 68);
    EXPECT_EQ(listItemText(kIdGlueList, 69), "contrast negate");
    EXPECT_EQ(f.view.listSelection(kIdStripeKindList), -1);
    EXPECT_EQ(f.view.listSelection(kIdMergeList), 3);
    EXPECT_EQ(listItemText(kIdMergeList, 4), "4");
    EXPECT_EQ(listItemText(kIdStripeKindList, 3), "c");
    EXPECT_EQ(listItemText(kIdStripeKindList, 5), "*");
    EXPECT_EQ(listItemCount(kIdGlueList), 69);

    f.model->takeSettingsFromControls();
    EXPECT_EQ(f.settings.stripeKind, 0);

    // N wraps 69 to 1.
    f.model->command(kIdNextGlue);
    EXPECT_EQ(f.settings.glue, 1);
    EXPECT_EQ(f.view.listSelection(kIdGlueList), 0);
    f.model->command(kIdNextGlue);
    EXPECT_EQ(f.settings.glue, 2);

    // Picking an item takes it at once, renders and can be undone.
    const int renders = f.services.renders;
    f.model->listChanged(kIdStripeKindList, 2);
    EXPECT_EQ(f.settings.stripeKind, 3);
    EXPECT_EQ(f.services.renders, renders + 1);
    f.model->command(kIdUndo);
    EXPECT_EQ(f.settings.stripeKind, 0);
}

// A filter area of 3000 x 1000 in the 542 x 443 pane: M = max(ceil(3000 /
// 542), ceil(1000 / 443)) = max(6, 3) = 6.
TEST(DialogZoom, LevelsButtonsPercentagesAndTheirLimits) {
    DialogFixture f(false);
    f.services.filter = PixelRect{0, 0, 1000, 3000};
    f.openDialog();
    EXPECT_EQ(f.services.pane, (PixelRect{15, 332, 458, 874}));
    EXPECT_EQ(f.model->largestZoomLevel(), 6);
    EXPECT_EQ(f.model->zoomLevel(), 6);
    EXPECT_EQ(f.services.zoomAtRender.back(), 6);
    EXPECT_EQ(f.view.controlText(kIdZoomPercent), "16%");
    EXPECT_TRUE(f.view.enabled(kIdZoomIn));
    EXPECT_FALSE(f.view.enabled(kIdZoomOut));

    int renders = f.services.renders;
    f.model->command(kIdZoomOut); // at M: nothing
    EXPECT_EQ(f.model->zoomLevel(), 6);
    EXPECT_EQ(f.services.renders, renders);

    f.model->command(kIdZoomIn);
    EXPECT_EQ(f.model->zoomLevel(), 5);
    EXPECT_EQ(f.view.controlText(kIdZoomPercent), "20%");
    EXPECT_EQ(f.services.zoomAtRender.back(), 5);
    EXPECT_TRUE(f.view.enabled(kIdZoomOut));

    f.model->command(kIdZoomPercent);
    EXPECT_EQ(f.model->zoomLevel(), 1);
    EXPECT_EQ(f.view.controlText(kIdZoomPercent), "100%");
    EXPECT_FALSE(f.view.enabled(kIdZoomIn));
    renders = f.services.renders;
    f.model->command(kIdZoomIn); // at 1: nothing
    EXPECT_EQ(f.model->zoomLevel(), 1);
    EXPECT_EQ(f.services.renders, renders);

    // Level changes keep the centre: at 1 with offsets (1000, 200) the
    // centre is (1000 + 271, 200 + 221); at 2 the 542 x 443 pane covers
    // 1084 x 886 document pixels, so x becomes 1271 - 542 = 729 and y
    // 421 - 443, limited to 0.
    f.settings.previewOffsetX = 1000;
    f.settings.previewOffsetY = 200;
    f.model->command(kIdZoomOut);
    EXPECT_EQ(f.model->zoomLevel(), 2);
    EXPECT_EQ(f.settings.previewOffsetX, 729);
    EXPECT_EQ(f.settings.previewOffsetY, 0);
    for (int i = 0; i < 4; ++i) f.model->command(kIdZoomOut);
    EXPECT_EQ(f.model->zoomLevel(), 6);
    EXPECT_EQ(f.settings.previewOffsetX, 0); // reaching M resets the pan
}

TEST(DialogZoom, AHostThatCannotScaleKeepsOneLevelWithTheButtonsOff) {
    DialogFixture f(false);
    f.services.filter = PixelRect{0, 0, 1000, 3000};
    f.services.canScale = false;
    f.openDialog();
    EXPECT_EQ(f.model->largestZoomLevel(), 1);
    EXPECT_FALSE(f.view.enabled(kIdZoomIn));
    EXPECT_FALSE(f.view.enabled(kIdZoomOut));
    const int renders = f.services.renders;
    for (int id : {kIdZoomIn, kIdZoomOut, kIdZoomPercent}) f.model->command(id);
    EXPECT_EQ(f.model->zoomLevel(), 1);
    EXPECT_EQ(f.services.renders, renders);
    // With L = M there is nothing to pan.
    f.model->mousePress(600, 200, MouseButton::Left, false);
    EXPECT_EQ(f.model->dragTarget(), -1);
}

TEST(DialogPan, DraggingThePreviewMovesByTheLevelAndStopsAtTheEdges) {
    DialogFixture f(false);
    f.services.filter = PixelRect{0, 0, 1000, 3000};
    f.openDialog();
    f.model->command(kIdZoomPercent);
    ASSERT_EQ(f.model->zoomLevel(), 1);
    f.settings.previewOffsetX = 0;
    f.settings.previewOffsetY = 0;
    const int renders = f.services.renders;

    f.model->mousePress(600, 200, MouseButton::Left, false);
    EXPECT_EQ(f.model->dragTarget(), kIdPreview);
    EXPECT_EQ(f.view.cursor(), DialogCursor::ClosedHand);
    f.model->mouseMove(500, 150);
    EXPECT_EQ(f.settings.previewOffsetX, 100);
    EXPECT_EQ(f.settings.previewOffsetY, 50);
    EXPECT_EQ(f.services.renders, renders + 1); // panning renders at once
    // Far beyond: 1 x (3000 - 542) and 1 x (1000 - 443).
    f.model->mouseMove(-5000, -5000);
    EXPECT_EQ(f.settings.previewOffsetX, 2458);
    EXPECT_EQ(f.settings.previewOffsetY, 557);
    f.model->mouseMove(5000, 5000);
    EXPECT_EQ(f.settings.previewOffsetX, 0);
    EXPECT_EQ(f.settings.previewOffsetY, 0);
    f.model->mouseRelease(5000, 5000);
    EXPECT_EQ(f.model->dragTarget(), -1);

    // At level 3 the offsets move three document pixels per screen pixel;
    // the scaled area is 1000 x 333, so y has 0 room.
    f.model->command(kIdZoomOut);
    f.model->command(kIdZoomOut);
    ASSERT_EQ(f.model->zoomLevel(), 3);
    f.settings.previewOffsetX = 0;
    f.model->mousePress(600, 200, MouseButton::Left, false);
    f.model->mouseMove(590, 190);
    EXPECT_EQ(f.settings.previewOffsetX, 30);
    EXPECT_EQ(f.settings.previewOffsetY, 0);
    f.model->mouseMove(-9000, 0);
    EXPECT_EQ(f.settings.previewOffsetX, 3 * (1000 - 542));
}

TEST(DialogUndo, TwoSlotsToggleAndTheOldestStateIsGone) {
    DialogFixture f;
    // Right after opening the other slot is empty.
    f.model->command(kIdUndo);
    EXPECT_EQ(f.settings.glue, 1);

    // S0 = glue 1; S1, S2, S3 = glue 2, 3, 4.
    for (int i = 0; i < 3; ++i) f.model->command(kIdNextGlue);
    ASSERT_EQ(f.settings.glue, 4);
    f.model->command(kIdUndo);
    EXPECT_EQ(f.settings.glue, 3);
    EXPECT_EQ(f.view.listSelection(kIdGlueList), 2);
    f.model->command(kIdUndo);
    EXPECT_EQ(f.settings.glue, 4);
    f.model->command(kIdUndo);
    EXPECT_EQ(f.settings.glue, 3); // S1 cannot be reached any more
}

TEST(DialogEnd, CancelRestoresTheOpeningStateAndOkKeepsTheChanges) {
    for (bool ok : {false, true}) {
        DialogFixture f(false);
        copyName(f.settings.settingsName, "my look");
        f.openDialog();
        seedRandom(12345);
        f.model->command(kIdRandomize);
        EXPECT_STREQ(f.settings.settingsName, "random settings");
        f.model->command(kIdDice3);
        f.model->command(kIdRandomSeed);
        f.model->command(kIdNextGlue);
        const SettingsRecord changed = f.settings;
        f.model->command(ok ? kIdOk : kIdCancel);
        EXPECT_EQ(f.model->endCode(), ok ? kDialogEndOk : kDialogEndCancel);
        EXPECT_EQ(f.model->hostResult(), ok ? 0 : -128);
        if (ok) {
            expectSameLook(changed, f.settings);
        } else {
            EXPECT_STREQ(f.settings.settingsName, "my look");
            EXPECT_EQ(f.settings.glue, 1);
            EXPECT_EQ(f.settings.overlap, 73);
            EXPECT_EQ(f.settings.randomSeed, 7);
        }
    }
}

TEST(DialogButtons, ResetGivesPlainSettingsAndRandomseedElevenBits) {
    DialogFixture f;
    seedRandom(1);
    // The LCG from state 1: 1 x 214013 + 2531011 = 2745024, >> 16 = 41.
    f.model->command(kIdRandomSeed);
    EXPECT_EQ(f.settings.randomSeed, 41);
    f.model->command(kIdRandomize);
    f.model->command(kIdReset);
    EXPECT_STREQ(f.settings.settingsName, "plain settings");
    SettingsRecord plain = f.settings;
    applyPlainDefaults(plain);
    expectSameLook(plain, f.settings);
    EXPECT_EQ(f.model->controlValue(kIdZoomSlider), 86);
}

TEST(DialogFiles, SaveOffersTheNameAndLoadAppliesDefaultsFirstThenUndoGoesBack) {
    DialogFixture f(false);
    f.settings.settingsName[0] = '\0';
    f.openDialog();
    f.model->command(kIdNextGlue);
    const std::string path = f.scratch.file("look.sa9");
    f.view.queueFileAnswer(path);
    f.model->command(kIdSave);
    ASSERT_EQ(f.view.fileRequests().size(), 1u);
    EXPECT_EQ(f.view.fileRequests()[0].title, "Save a settings file");
    EXPECT_EQ(f.view.fileRequests()[0].initialName, "Quillfire settings");
    EXPECT_STREQ(f.settings.settingsName, "look.sa9");
    // With its picture: 116 bytes and the JPEG stream.
    EXPECT_GT(std::filesystem::file_size(path), 116u);

    f.model->command(kIdReset);
    f.model->editChanged(kIdHueEdit, "3");
    f.model->timer(kRerenderTimerId);
    f.view.queueFileAnswer(path);
    f.model->command(kIdLoad);
    EXPECT_EQ(f.view.fileRequests().back().title, "Open a settings file");
    EXPECT_EQ(f.settings.glue, 2);
    EXPECT_EQ(f.settings.hue, 47);
    EXPECT_EQ(f.model->controlValue(kIdHueSlider), 47);
    f.model->command(kIdUndo);
    EXPECT_EQ(f.settings.glue, 1);
    EXPECT_EQ(f.settings.hue, 3);

    // A cancelled dialog changes nothing.
    f.view.queueFileAnswer("");
    f.model->command(kIdLoad);
    EXPECT_EQ(f.settings.hue, 3);
}

// Dot 1's rectangle starts at (312, 460).
TEST(DialogDots, ClickingStoresThenRecallsAndTheViewerFollowsTheMouse) {
    DialogFixture f;
    f.click(313, 462);
    EXPECT_TRUE(std::filesystem::exists(f.scratch.file("Quillfire A memory dot 0.sa9")));
    EXPECT_EQ(f.run->dots.state(0), kDotCurrent);
    EXPECT_TRUE(f.run->dots.remembered(0));

    f.model->command(kIdNextGlue);
    f.model->command(kIdNextGlue);
    ASSERT_EQ(f.settings.glue, 3);
    const int renders = f.services.renders;
    f.click(313, 462);
    EXPECT_EQ(f.settings.glue, 1);
    EXPECT_STREQ(f.settings.settingsName, "dot 1");
    EXPECT_EQ(f.view.listSelection(kIdGlueList), 0);
    EXPECT_GT(f.services.renders, renders);
    // The recall pushed with its file: Undo goes back to glue 3.
    f.model->command(kIdUndo);
    EXPECT_EQ(f.settings.glue, 3);
    EXPECT_EQ(f.run->dots.state(0), kDotFilled); // no dot stays current

    // Dot 2 stored with Ctrl; the mouse over dot 1 shows dot 1, and a click
    // on the viewer recalls it.
    f.click(317, 474, false, true);
    EXPECT_FALSE(f.run->dots.remembered(1));
    f.model->mouseMove(313, 462);
    EXPECT_EQ(f.run->dots.viewedDot(), 0);
    f.click(350, 500);
    EXPECT_EQ(f.settings.glue, 1);
    // Right button on the viewer asks for the dots page, once its file is
    // chosen.
    f.view.queueFileAnswer(f.scratch.file("dots.html"));
    f.click(350, 500, true);
    EXPECT_EQ(f.services.dotsPages, 1);
    EXPECT_EQ(f.view.fileRequests().back().title, "Save an HTML page");
    EXPECT_EQ(f.view.fileRequests().back().initialName, "Quillfire memory dots.html");
    EXPECT_EQ(f.services.pagePath, f.scratch.file("dots.html"));
    f.click(350, 500, true); // cancelled: nothing written
    EXPECT_EQ(f.services.dotsPages, 1);

    // The presets page asks for a file in the source folder, then the page.
    f.view.queueFileAnswer(f.scratch.file("any.sa9"));
    f.view.queueFileAnswer(f.scratch.file("presets.html"));
    f.model->command(kIdPresetsPage);
    EXPECT_EQ(f.services.presetsPages, 1);
    EXPECT_EQ(f.services.pageFolder, f.folder());
    EXPECT_STREQ(f.settings.presetsFolder, f.folder().c_str());
}

TEST(DialogDots, TheBatchToolResavesMarkedFilesAndGivesTheUserSettingsBack) {
    DialogFixture f;
    ScratchFolder source;
    writeLook(source.file("a q9q.sa9"), 12);
    writeLook(source.file("b Q5Q.sa9"), 13);
    writeLook(source.file("c.sa9"), 13);
    f.model->command(kIdNextGlue);

    f.view.queueFileAnswer(source.file("c.sa9"));
    const int renders = f.services.renders;
    f.click(350, 500, false, true);
    // Both marked files rendered and written with a picture, the "q9q" one
    // renamed; the unmarked one untouched.
    EXPECT_EQ(f.services.renders - renders, 3); // release, then one per file
    EXPECT_FALSE(std::filesystem::exists(source.file("a q9q.sa9")));
    ASSERT_TRUE(std::filesystem::exists(source.file("a q9q.q5q")));
    EXPECT_GT(std::filesystem::file_size(source.file("a q9q.q5q")), 116u);
    EXPECT_GT(std::filesystem::file_size(source.file("b Q5Q.sa9")), 116u);
    EXPECT_EQ(std::filesystem::file_size(source.file("c.sa9")), 104u);
    SettingsRecord back{};
    ASSERT_EQ(
        readSettingsFile(source.file("a q9q.q5q").c_str(), kPresetsLoad, &back, nullptr, nullptr),
        kFileOk);
    EXPECT_EQ(back.glue, 12);
    EXPECT_EQ(f.services.glueAtRender[size_t(renders) + 1], 12);
    EXPECT_EQ(f.services.glueAtRender[size_t(renders) + 2], 13);
    // The user's own settings came back.
    EXPECT_EQ(f.settings.glue, 2);
    EXPECT_FALSE(f.model->batchRunning());
}

TEST(DialogPreview, AHostErrorAtOpeningSwitchesThePreviewOff) {
    DialogFixture f(false);
    f.services.previewError = -108;
    f.openDialog();
    EXPECT_EQ(f.settings.previewPossible, 0);
    EXPECT_EQ(f.view.previewPaints(), 0);
    f.model->command(kIdNextGlue);
    EXPECT_EQ(f.services.renders, 1);
}

TEST(DialogScript, EventsPlayInOrderWithEditEchoesAndAnUnfinishedScriptCancels) {
    std::vector<ScriptEvent> events;
    std::string error;
    EXPECT_FALSE(parseDialogScript("press 1 2\nwobble 3\n", events, error));
    EXPECT_NE(error.find("line 2"), std::string::npos);
    EXPECT_FALSE(parseDialogScript("press 1 2 middle\n", events, error));
    EXPECT_FALSE(parseDialogScript("select 26\n", events, error));
    // A line of blanks other than spaces and tabs is an empty line, not an event.
    ASSERT_TRUE(parseDialogScript("\r \n\v\f\n\r", events, error)) << error;
    EXPECT_TRUE(events.empty());

    ASSERT_TRUE(parseDialogScript("# a look\r\n"
                                  "type 7 250\n"
                                  "timer\n"
                                  "select 26 4\n"
                                  "press 200 75\nmove 2000 75\nrelease 2000 75\n"
                                  "ok\n",
                                  events, error))
        << error;
    DialogFixture f(false);
    f.run->undo.push(f.settings, true);
    ScriptedDialog view(events);
    DialogModel model(f.settings, *f.run, f.services, view);
    EXPECT_EQ(view.run(model), kDialogEndOk);
    EXPECT_EQ(f.settings.overlap, 100);
    EXPECT_EQ(f.settings.glue, 5);
    EXPECT_EQ(view.editText(kIdOverlapEdit), "100");
    // The edit box's echo of the dialog's own write did not leave the timer on.
    EXPECT_FALSE(view.timerRunning());

    ASSERT_TRUE(parseDialogScript("command 36\n", events, error));
    DialogFixture g(false);
    ScriptedDialog unfinished(events);
    DialogModel m2(g.settings, *g.run, g.services, unfinished);
    EXPECT_EQ(unfinished.run(m2), kDialogEndCancel);
    EXPECT_EQ(g.settings.glue, 1);
    EXPECT_EQ(m2.hostResult(), -128);
}

} // namespace
