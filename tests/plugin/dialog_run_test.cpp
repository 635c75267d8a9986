// The start selector's dialog path, driven by a script in place of a
// person: OK renders what the dialog chose, Cancel leaves the document and
// answers -128, and memory dots stored in one run are there in the next.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/temp_folder.h"
#include "plugin/dialog_run.h"
#include "plugin_test_support.h"
#include "presets/memory_dots.h"

using host::ColorModel;
using host::Descriptor;
using host::Document;
using host::FilterHost;
using host::HostOptions;
using host::RunOptions;

namespace {

using qftest::DialogScript;

Descriptor glueDescriptor(const char (&glue)[5]) {
    Descriptor d;
    d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC(glue)).putInteger(fourCC("0014"), 321);
    return d;
}

// One run of a 60 x 40 RGB document; `dialog`: with the host's play mode
// asking for the dialog.
host::RunRecord runOn(Document& doc, const Descriptor& d, bool dialog,
                      HostOptions options = HostOptions()) {
    if (dialog) options.descriptors.playInfo = plugInDialogDisplay;
    FilterHost h(qftest::entry, options);
    RunOptions run;
    run.showDialog = dialog;
    run.descriptor = d;
    return h.run(doc, run);
}

Document document() {
    return qftest::filled(60, 40, ColorModel::rgb, 8, 90);
}

TEST(DialogRun, OkRendersTheDialogsSettingsAndCancelLeavesTheDocument) {
    Document expected = document();
    ASSERT_TRUE(runOn(expected, glueDescriptor("GL06"), false).ok());

    // The recorded glue 5, then N in the dialog: glue 6.
    {
        DialogScript script("command 36\nok\n");
        Document doc = document();
        const host::RunRecord r = runOn(doc, glueDescriptor("GL05"), true);
        ASSERT_TRUE(r.ok()) << r.hostError;
        EXPECT_EQ(doc.bytes(), expected.bytes());
    }
    {
        DialogScript script("command 23\ncancel\n");
        Document doc = document();
        const Document before = doc;
        const host::RunRecord r = runOn(doc, glueDescriptor("GL05"), true);
        EXPECT_EQ(r.result, -128);
        EXPECT_EQ(doc.bytes(), before.bytes());
    }
    // Without a play mode that asks for it, the script is not played.
    {
        DialogScript script("cancel\n");
        Document doc = document();
        ASSERT_TRUE(runOn(doc, glueDescriptor("GL06"), false).ok());
        EXPECT_EQ(doc.bytes(), expected.bytes());
    }
}

TEST(DialogRun, ADotStoredInOneRunIsRecalledInTheNext) {
    std::string mapPath = temporaryFolder() + kDotMapName;
    std::remove(mapPath.c_str());
    Document first = document();
    {
        // Dot 1 takes the recorded glue 9; the dialog then moves on to 10.
        DialogScript script("press 313 462\nrelease 313 462\ncommand 36\nok\n");
        ASSERT_TRUE(runOn(first, glueDescriptor("GL09"), true).ok());
    }
    // The run's end wrote the map: 200, then dot 1 remembered.
    std::ifstream in(mapPath, std::ios::binary);
    const std::string map((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(map.size(), 104u);
    EXPECT_EQ(map.substr(0, 8), std::string("\0\0\0\xC8\0\0\0\x01", 8));

    // The next run opens with glue 3 and recalls dot 1: glue 9.
    Document recalled = document();
    {
        DialogScript script("press 313 462\nrelease 313 462\nok\n");
        ASSERT_TRUE(runOn(recalled, glueDescriptor("GL03"), true).ok());
    }
    Document expected = document();
    ASSERT_TRUE(runOn(expected, glueDescriptor("GL09"), false).ok());
    EXPECT_EQ(recalled.bytes(), expected.bytes());
}

TEST(DialogRun, EditorsWhoseDescriptorIsNotReadLetTheParametersRequestDecide) {
    // An older editor without preview or descriptor suites, and an editor
    // whose signature says its descriptors are not to be read.
    HostOptions psp9;
    psp9.hostSig = fourCC("PSP9");
    psp9.descriptors.playInfo = plugInDialogDontDisplay;
    for (const HostOptions& options : {HostOptions::legacyEditor(), psp9}) {
        Document plain = document();
        {
            FilterHost h(qftest::entry, options);
            ASSERT_TRUE(h.run(plain, RunOptions()).ok());
        }
        DialogScript script("command 36\ncommand 36\nok\n");
        Document doc = document();
        FilterHost h(qftest::entry, options);
        RunOptions run;
        run.showDialog = true;
        const host::RunRecord r = h.run(doc, run);
        ASSERT_TRUE(r.ok()) << r.hostError;
        EXPECT_GT(qftest::countChanged(plain, doc), 0);
    }
}

// The play mode of the recorded action decides, not a flag the run clears:
// the script turns glue 5 into 7 only when the dialog is shown.
TEST(DialogRun, OnlyThePlayModeThatDisplaysTheDialogPlaysIt) {
    Document played = document(), notPlayed = document();
    ASSERT_TRUE(runOn(played, glueDescriptor("GL07"), false).ok());
    ASSERT_TRUE(runOn(notPlayed, glueDescriptor("GL05"), false).ok());
    ASSERT_NE(played.bytes(), notPlayed.bytes());
    for (int16_t mode : {plugInDialogDontDisplay, plugInDialogDisplay, plugInDialogSilent}) {
        DialogScript script("command 36\ncommand 36\nok\n");
        HostOptions options;
        options.descriptors.playInfo = mode;
        FilterHost h(qftest::entry, options);
        RunOptions run;
        run.showDialog = true; // the parameters selector asked for it
        run.descriptor = glueDescriptor("GL05");
        Document doc = document();
        const host::RunRecord r = h.run(doc, run);
        ASSERT_TRUE(r.ok()) << "mode " << mode << ": " << r.hostError;
        EXPECT_EQ(doc.bytes(), (mode == plugInDialogDisplay ? played : notPlayed).bytes())
            << "mode " << mode;
    }
}

// Where there is no window system (Linux, or Wine without a display), the
// dialog is passed over and the run filters with the settings it has, as
// an editor's recorded action would. (Where there is one, the window suite
// checks that a dialog that cannot be made refuses the run.)
TEST(DialogRun, WithoutAWindowSystemTheDialogIsPassedOver) {
#ifdef _WIN32
    HWND probe =
        CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    if (probe) {
        DestroyWindow(probe);
        GTEST_SKIP() << "a window system is at hand: the dialog would open";
    }
#endif
    qftest::CaughtMessages messages;
    Document expected = document(), doc = document();
    ASSERT_TRUE(runOn(expected, glueDescriptor("GL05"), false).ok());
    ASSERT_TRUE(runOn(doc, glueDescriptor("GL05"), true).ok());
    EXPECT_EQ(doc.bytes(), expected.bytes());
    EXPECT_TRUE(messages.texts.empty());
}

TEST(DialogRun, AScriptThatCannotBeReadCancelsWithAMessage) {
    qftest::CaughtMessages messages;
    DialogScript script("wobble\n");
    Document doc = document();
    const Document before = doc;
    const host::RunRecord r = runOn(doc, glueDescriptor("GL05"), true);
    EXPECT_EQ(r.result, -128);
    EXPECT_EQ(doc.bytes(), before.bytes());
    ASSERT_EQ(messages.texts.size(), 1u);
    EXPECT_NE(messages.texts[0].find("line 1"), std::string::npos);
}

} // namespace
