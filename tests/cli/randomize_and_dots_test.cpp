// The CLI's way into the dialog's features: --randomize with its state, and
// the memory dots a person kept, read from the temporary folder.
#include "cli_support.h"

#include <gtest/gtest.h>

namespace qf {}
using namespace qf;

using namespace clitest;

namespace {

// The temporary folder the CLI and its module see, as both systems name it.
std::map<std::string, std::string> temporaryFolderEnv(const std::string& folder) {
    return {{"TMPDIR", folder}, {"TMP", nativePath(folder)}, {"TEMP", nativePath(folder)}};
}

TEST(CliRandomize, TheSameStateGivesTheSameSettingsAndThoseFlagsGiveTheSamePicture) {
    const std::string dir = testFolder();
    const std::string a = join(dir, "a.png"), b = join(dir, "b.png"), c = join(dir, "c.png");
    const std::vector<std::string> base = {"render",           "--size", "40x30",
                                           "--print-settings", "--glue", "multiply"};
    auto run = [&](const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> args = base;
        args.push_back(out);
        args.insert(args.end(), extra.begin(), extra.end());
        return runCli(args, dir);
    };
    const CliResult first = run(a, {"--randomize", "--random-state", "77"});
    ASSERT_EQ(first.code, 0) << first.err;
    const CliResult again = run(b, {"--randomize=1", "--random-state", "77"});
    ASSERT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(first.out, again.out);
    EXPECT_EQ(readText(a), readText(b));
    // The glue mode given stays; the state is printed only when the clock
    // chose it.
    EXPECT_NE(first.out.find("--glue multiply"), std::string::npos) << first.out;
    EXPECT_EQ(first.err.find("random state"), std::string::npos);

    // The printed flags replay the picture without any randomness.
    std::vector<std::string> replay = {"render", "--size", "40x30", c};
    std::stringstream flags(first.out);
    for (std::string w; flags >> w;)
        replay.push_back(w.front() == '\'' ? w.substr(1, w.size() - 2) : w);
    const CliResult replayed = runCli(replay, dir);
    ASSERT_EQ(replayed.code, 0) << replayed.err;
    EXPECT_EQ(readText(a), readText(c));

    // Another state, another look; a small strength stays near the start.
    const CliResult other = run(b, {"--randomize", "--random-state", "78"});
    EXPECT_NE(first.out, other.out);
    const CliResult small = run(b, {"--randomize", "0.1", "--random-state", "77", "--zoom", "50"});
    ASSERT_EQ(small.code, 0) << small.err;
    EXPECT_NE(small.out.find("--glue multiply"), std::string::npos);

    for (const char* bad : {"1.5", "-1", "x"}) {
        const CliResult r = run(b, {std::string("--randomize=") + bad});
        EXPECT_EQ(r.code, 2) << bad;
    }
    EXPECT_EQ(run(b, {"--random-state", "4294967296"}).code, 2);
}

TEST(CliDots, KeptDotsAreListedShownAndAppliedAsTheirPresets) {
    const std::string dir = testFolder();
    const auto env = temporaryFolderEnv(dir);
    const std::string dot = join(dir, "Quillfire A memory dot 1.sa9"); // dot 2
    const CliResult made = runCli({"render", "--size", "30x20", join(dir, "made.png"), "--glue",
                                   "screen", "--hue", "12", "--save-preset", dot},
                                  dir, env);
    ASSERT_EQ(made.code, 0) << made.err;

    const CliResult list = runCli({"dots", "list"}, dir, env);
    ASSERT_EQ(list.code, 0) << list.err;
    // Where it looked, then each dot by the dialog's number and its file's.
    const std::vector<std::string> lines = CliResult{0, "", list.out}.errLines();
    ASSERT_EQ(lines.size(), 2u) << list.out; // not remembered (no map): no '*' and no footnote
    EXPECT_EQ(lines[0].rfind("memory dots in ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(dir), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1].rfind(" 2  --seed", 0), 0u) << list.out;
    EXPECT_NE(lines[1].find("--glue screen"), std::string::npos);
    EXPECT_NE(lines[1].find("(Quillfire A memory dot 1.sa9)"), std::string::npos) << lines[1];

    const CliResult show = runCli({"dots", "show", "2"}, dir, env);
    ASSERT_EQ(show.code, 0) << show.err;
    EXPECT_NE(show.out.find("--hue 12"), std::string::npos);

    const std::string in = join(dir, "in.png");
    ASSERT_EQ(runCli({"sample", in}, dir).code, 0);
    const std::string viaDot = join(dir, "dot.png"), viaPreset = join(dir, "preset.png");
    ASSERT_EQ(runCli({"dots", "apply", "2", in, viaDot}, dir, env).code, 0);
    ASSERT_EQ(runCli({"apply", in, viaPreset, "--preset", dot}, dir, env).code, 0);
    EXPECT_EQ(readText(viaDot), readText(viaPreset));

    EXPECT_EQ(runCli({"dots", "show", "3"}, dir, env).code, 1); // empty
    EXPECT_EQ(runCli({"dots", "show", "26"}, dir, env).code, 2);
    EXPECT_EQ(runCli({"dots", "apply", "2", in, viaDot, "--preset", dot}, dir, env).code, 2);
    EXPECT_EQ(runCli({"dots"}, dir, env).code, 2);
}

} // namespace
