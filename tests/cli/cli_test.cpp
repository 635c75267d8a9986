// The quillfire CLI driven as a user drives it: command lines, exit
// statuses, error lines, files in and out. Most cases run the CLI with the
// small stand-in module of this suite (--module), whose behaviour is known
// exactly; the RealModule cases use the module beside the CLI.
#include "cli_support.h"
#include "host/cli/document_image.h"
#include "host/filter_host.h"
#include "host/module_loader.h"
#include "values/name_tables.h"

#include <gtest/gtest.h>

namespace qf {}
using namespace qf;

using namespace clitest;
using cli::SampleFormat;

namespace {

// An input picture and an output path in a fresh folder.
struct Scene {
    std::string dir = testFolder();
    std::string in = join(dir, "in.png");
    std::string out = join(dir, "out.png");
    Scene() { EXPECT_TRUE(writeTestImage(in, makeImage(8, 6, 3, SampleFormat::u8))); }
};

// One line on stderr, starting with the program's name.
void expectOneErrorLine(const CliResult& r, const std::string& fragment) {
    auto lines = r.errLines();
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_EQ(lines[0].rfind("quillfire: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(fragment), std::string::npos) << lines[0];
}

const char* const kCommands[] = {"apply", "render", "export", "dots", "sample"};

std::vector<std::string> linesOf(const std::string& text) {
    return CliResult{0, "", text}.errLines();
}

TEST(CliUsage, HelpListsEveryCommandAndEveryGlueModeByNumberAndName) {
    const std::string dir = testFolder();
    CliResult r = runCli({"--help"}, dir);
    EXPECT_EQ(r.code, 0);
    for (const char* command : kCommands) {
        EXPECT_NE(r.out.find(std::string("\n  quillfire ") + command + " "), std::string::npos)
            << command;
        EXPECT_NE(r.out.find(std::string("\n") + command + "   "), std::string::npos)
            << "described: " << command;
    }
    for (int m = 1; m <= 69; ++m) {
        char entry[40];
        std::snprintf(entry, sizeof entry, " %2d %s\n", m, ::glueMenuName(m).c_str());
        char inRow[40];
        std::snprintf(inRow, sizeof inRow, " %2d %s ", m, ::glueMenuName(m).c_str());
        EXPECT_TRUE(r.out.find(entry) != std::string::npos ||
                    r.out.find(inRow) != std::string::npos)
            << entry;
    }
    EXPECT_NE(r.out.find("\"harsh diff\""), std::string::npos);
    for (const std::string& line : linesOf(r.out)) EXPECT_LE(line.size(), 80u) << line;

    r = runCli({}, dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
}

TEST(CliUsage, EachCommandHasItsOwnHelpWithTheOptionsItTakes) {
    const std::string dir = testFolder();
    for (const char* command : kCommands) {
        CliResult r = runCli({command, "--help"}, dir);
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("Usage:\n  quillfire ") + command + " ", 0), 0u) << r.out;
        for (const std::string& line : linesOf(r.out)) EXPECT_LE(line.size(), 80u) << line;
    }
    CliResult exportHelp = runCli({"export", "--help"}, dir);
    // The description as one line of words.
    std::string words;
    const std::vector<std::string> lines = linesOf(exportHelp.out);
    ASSERT_GT(lines.size(), 3u);
    for (size_t i = 3; i < lines.size() && !lines[i].empty(); ++i) {
        words.push_back(' ');
        words.append(lines[i], std::min(lines[i].find_first_not_of(' '), lines[i].size()));
    }
    EXPECT_NE(words.find("over a copy of the whole of INPUT"), std::string::npos) << words;
    EXPECT_NE(words.find("There is no selection"), std::string::npos) << words;
    EXPECT_NE(words.find("--mask is refused"), std::string::npos) << words;
    EXPECT_EQ(exportHelp.out.find("--mask FILE"), std::string::npos) << "not an option of export";
    EXPECT_NE(exportHelp.out.find("--quality Q"), std::string::npos);
    EXPECT_NE(exportHelp.out.find("130"), std::string::npos) << "how a cancelled export ends";
    CliResult applyHelp = runCli({"apply", "--help"}, dir);
    EXPECT_NE(applyHelp.out.find("--mask FILE"), std::string::npos);
    EXPECT_NE(applyHelp.out.find("--quality Q"), std::string::npos);
    EXPECT_NE(applyHelp.out.find("--keep-transparency"), std::string::npos);
    // The defaults are shown; the 69 glue names only in the whole help.
    EXPECT_NE(applyHelp.out.find("[normal]"), std::string::npos);
    EXPECT_NE(applyHelp.out.find("--glue soft-light"), std::string::npos) << "keeps the photo";
    EXPECT_EQ(applyHelp.out.find("contrast negate"), std::string::npos);
}

TEST(CliUsage, BadCommandLinesGetOneLineAndStatusTwo) {
    Scene s;
    struct Case {
        std::vector<std::string> args;
        const char* fragment;
    };
    const Case cases[] = {
        {{"frobnicate"},
         "unknown command 'frobnicate' (commands: apply, render, export, gallery, dots, sample; "
         "see quillfire --help)"},
        {{"Apply", s.in, s.out}, "unknown command 'Apply'"},
        {{"apply", s.in, s.out, "--bogus"}, "unknown option '--bogus'"},
        {{"apply", s.in, s.out, "-x"}, "unknown option '-x'"},
        {{"apply", s.in, s.out, "--overlap", "101"},
         "--overlap must be a whole number from 0 to 100"},
        {{"apply", s.in, s.out, "--merge", "0"}, "--merge"},
        {{"apply", s.in, s.out, "--shape", "hexagons"}, "--shape must be"},
        {{"apply", s.in, s.out, "--glue", "sparkle"},
         "(got 'sparkle'); quillfire --help lists the names"},
        {{"apply", s.in, s.out, "--glue=70"},
         "--glue must be a glue mode name or a number from 1 to 69"},
        {{"apply", s.in, s.out, "--glue=0"}, "--glue must be"},
        {{"apply", s.in, s.out, "--glue", "harsh"}, "--glue must be"},
        {{"apply", s.in, s.out, "--seed", "12abc"}, "--seed"},
        {{"apply", s.in, s.out, "--stripe-kind", "e"}, "--stripe-kind"},
        {{"apply", s.in, s.out, "--hue"}, "--hue needs a value"},
        {{"apply", s.in, s.out, "--progress=yes"}, "takes no value"},
        {{"apply", s.in}, "apply needs INPUT and OUTPUT"},
        {{"apply", s.in, s.out, "--depth", "16"},
         "--depth does not apply to apply (see quillfire apply --help)"},
        {{"apply", s.in, s.out, "--size", "4x4"}, "--size does not apply to apply"},
        {{"render", "--size", "4x4", s.out, "--keep-transparency"},
         "--keep-transparency does not apply to render"},
        {{"render", "--size", "4x4", s.out, "--quality", "50"},
         "--quality does not apply to render"},
        {{"export", s.in, "o.jpg", "--mask", s.in}, "--mask does not apply to export"},
        {{"export", s.in, "o.jpg", "--save-preset", "p.sa9"},
         "--save-preset does not apply to export"},
        {{"export", s.in, "o.jpg", "--gray"}, "--gray does not apply to export"},
        {{"export", s.in, "o.jpg", "--quality", "101"}, "--quality must be a number from 0 to 100"},
        {{"sample", s.out, "--seed", "1"}, "--seed does not apply to sample"},
        {{"sample", s.out, "--progress"}, "--progress does not apply to sample"},
        {{"render", s.out}, "render needs --size"},
        {{"render", "--size", "0x5", s.out}, "--size must be WIDTHxHEIGHT"},
        {{"render", "--size", "64by48", s.out}, "--size"},
        {{"render", "--size", "64x48", "--depth", "12", s.out}, "--depth must be 8, 16 or 32"},
        {{"sample"}, "sample needs one OUTPUT"},
    };
    for (const Case& c : cases) {
        CliResult r = runCli(c.args, s.dir);
        EXPECT_EQ(r.code, 2) << c.fragment;
        expectOneErrorLine(r, c.fragment);
        EXPECT_EQ(filesIn(s.dir), std::vector<std::string>{"in.png"}) << c.fragment;
    }
}

TEST(CliInput, BadInputsFailWithOneLineAndNoOutput) {
    Scene s;
    writeText(join(s.dir, "text.png"), "this is not a picture");
    ASSERT_TRUE(writeTestImage(join(s.dir, "small.png"), makeImage(3, 3, 1, SampleFormat::u8)));
    ASSERT_TRUE(writeTestImage(join(s.dir, "rgb.png"), makeImage(8, 6, 3, SampleFormat::u8)));
    cli::Image black = makeImage(8, 6, 1, SampleFormat::u8);
    std::fill(black.data.begin(), black.data.end(), 0);
    ASSERT_TRUE(writeTestImage(join(s.dir, "black.png"), black));
    const std::vector<std::string> before = filesIn(s.dir);
    struct Case {
        std::vector<std::string> args;
        const char* fragment;
    };
    const Case cases[] = {
        {{"apply", join(s.dir, "missing.png"), s.out}, "missing.png"},
        {{"apply", join(s.dir, "text.png"), s.out}, "text.png"},
        {{"apply", s.dir, s.out}, "folder"},
        {{"apply", s.in, s.out, "--mask", join(s.dir, "small.png")},
         "the mask is 3x3 but the image is 8x6"},
        {{"apply", s.in, s.out, "--mask", join(s.dir, "rgb.png")}, "one-channel"},
        {{"apply", s.in, s.out, "--mask", join(s.dir, "black.png")}, "the mask selects nothing"},
        {{"apply", s.in, s.out, "--mask", join(s.dir, "none.png")}, "none.png"},
        {{"apply", s.in, join(s.dir, "no/such/folder/out.png")}, "folder does not exist"},
        {{"apply", s.in, join(s.dir, "out.xyz")}, "out.xyz"},
        {{"apply", s.in, s.out, "--module", join(s.dir, "nomodule.so")},
         "cannot load the filter module"},
    };
    for (const Case& c : cases) {
        CliResult r = runCli(c.fragment == std::string("cannot load the filter module")
                                 ? c.args
                                 : withTestModule(c.args),
                             s.dir);
        EXPECT_EQ(r.code, 1) << c.fragment << ": " << r.err;
        expectOneErrorLine(r, c.fragment);
        EXPECT_EQ(filesIn(s.dir), before) << "nothing written, nothing left behind: " << c.fragment;
    }
}

#if QF_HAVE_OIIO
TEST(CliInput, MoreThanFourChannelsAreRefused) {
    Scene s;
    const std::string five = join(s.dir, "five.tif");
    ASSERT_TRUE(writeTestImage(five, makeImage(4, 4, 5, SampleFormat::u8)));
    CliResult r = runCli(withTestModule({"apply", five, join(s.dir, "o.tif")}), s.dir);
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r, "5 channels");
}
#endif

TEST(CliOutput, AFailedRunLeavesAnExistingOutputAsItWas) {
    Scene s;
    writeText(s.out, "the previous picture");
    ASSERT_TRUE(writeTestImage(join(s.dir, "small.png"), makeImage(3, 3, 1, SampleFormat::u8)));
    CliResult r =
        runCli(withTestModule({"apply", s.in, s.out, "--mask", join(s.dir, "small.png")}), s.dir);
    EXPECT_EQ(r.code, 1);
    r = runCli(withTestModule({"apply", s.in, s.out}), s.dir, {{"QF_TEST_MODULE_RESULT", "-108"}});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(readText(s.out), "the previous picture");
    r = runCli(withTestModule({"apply", s.in, s.out}), s.dir);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(readText(s.out), "the previous picture");
    EXPECT_EQ(filesIn(s.dir), (std::vector<std::string>{"in.png", "out.png", "small.png"}));
}

TEST(CliOutput, ModuleResultsBecomeOneClearLine) {
    Scene s;
    struct Case {
        const char* result;
        const char* message;
        int exitCode;
        const char* line;
    };
    const Case cases[] = {
        {"1", "", 1, "quillfire: the filter refused to run on this document"},
        {"1", "no RGB here", 1,
         "quillfire: the filter refused to run on this document: no RGB here"},
        {"-108", "", 1, "quillfire: out of memory"},
        {"-128", "", 130, "quillfire: cancelled"},
        {"-30904", "the moon is in the wrong phase", 1,
         "quillfire: the moon is in the wrong phase"},
        {"3", "", 1, "quillfire: the filter could not allocate its render buffers"},
        {"42", "", 1, "quillfire: the filter failed with error 42"},
    };
    for (const Case& c : cases) {
        CliResult r =
            runCli(withTestModule({"apply", s.in, s.out}), s.dir,
                   {{"QF_TEST_MODULE_RESULT", c.result}, {"QF_TEST_MODULE_MESSAGE", c.message}});
        EXPECT_EQ(r.code, c.exitCode) << c.result;
        auto lines = r.errLines();
        ASSERT_EQ(lines.size(), 1u) << r.err;
        EXPECT_EQ(lines[0], c.line);
        EXPECT_EQ(filesIn(s.dir), std::vector<std::string>{"in.png"});
    }
}

// Depth and channels of the input come back in the output; the stand-in
// module inverts the colour channels and leaves transparency alone.
double invertedInFile(SampleFormat f, double v) {
    if (f == SampleFormat::u8) return 255 - v;
    if (f == SampleFormat::f32) return 1.0 - v;
    const uint32_t host = (uint32_t(v) * 32768u + 32767u) / 65535u;
    return double(((32768u - host) * 65535u + 16384u) / 32768u);
}

TEST(CliOutput, DepthAndChannelsArePreserved) {
    const std::string dir = testFolder();
    struct Case {
        SampleFormat format;
        int channels;
        const char* ext;
    };
    std::vector<Case> cases;
    for (int ch = 1; ch <= 4; ++ch) {
        cases.push_back({SampleFormat::u8, ch, ".png"});
        cases.push_back({SampleFormat::u16, ch, ".png"});
#if QF_HAVE_OIIO
        cases.push_back({SampleFormat::f32, ch, ".tif"});
#else
        if (ch == 1 || ch == 3) cases.push_back({SampleFormat::f32, ch, ".pfm"});
#endif
    }
    for (const Case& c : cases) {
        const std::string tag = std::to_string(int(c.format)) + "_" + std::to_string(c.channels);
        const std::string in = join(dir, "in" + tag + c.ext), out = join(dir, "out" + tag + c.ext);
        const cli::Image src = makeImage(21, 35, c.channels, c.format);
        ASSERT_TRUE(writeTestImage(in, src));
        CliResult r = runCli(withTestModule({"apply", in, out}), dir);
        ASSERT_EQ(r.code, 0) << tag << ": " << r.err;
        EXPECT_TRUE(r.err.empty()) << r.err;
        cli::Image got;
        ASSERT_TRUE(readTestImage(out, got)) << tag;
        ASSERT_EQ(got.width, 21);
        ASSERT_EQ(got.height, 35);
        ASSERT_EQ(got.channels, c.channels) << tag;
        ASSERT_EQ(got.format, c.format) << tag;
        const int colours = c.channels >= 3 ? 3 : 1;
        for (int32_t y = 0; y < 35; ++y)
            for (int32_t x = 0; x < 21; ++x)
                for (int ch = 0; ch < c.channels; ++ch) {
                    const double v = sampleOf(src, x, y, ch);
                    const double want = ch < colours ? invertedInFile(c.format, v) : v;
                    if (c.format == SampleFormat::u16 && ch >= colours) {
                        ASSERT_LE(std::abs(sampleOf(got, x, y, ch) - want), 1.0) << tag;
                    } else {
                        ASSERT_NEAR(sampleOf(got, x, y, ch), want, 1e-6)
                            << tag << " at " << x << "," << y << "," << ch;
                    }
                }
    }
    for (const std::string& name : filesIn(dir))
        EXPECT_EQ(name.find("quillfire-"), std::string::npos) << name;
}

TEST(CliOutput, TheMaskSelectsWhatChanges) {
    Scene s;
    cli::Image mask = makeImage(8, 6, 1, SampleFormat::u8);
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x) mask.data[size_t(y * 8 + x)] = x < 4 ? 255 : 0;
    const std::string maskPath = join(s.dir, "mask.png");
    ASSERT_TRUE(writeTestImage(maskPath, mask));
    CliResult r = runCli(withTestModule({"apply", s.in, s.out, "--mask", maskPath}), s.dir);
    ASSERT_EQ(r.code, 0) << r.err;
    cli::Image src, got;
    ASSERT_TRUE(readTestImage(s.in, src));
    ASSERT_TRUE(readTestImage(s.out, got));
    for (int32_t y = 0; y < 6; ++y)
        for (int32_t x = 0; x < 8; ++x)
            EXPECT_EQ(sampleOf(got, x, y, 1),
                      x < 4 ? 255 - sampleOf(src, x, y, 1) : sampleOf(src, x, y, 1));
}

TEST(CliSettings, OnlyTheGivenSettingsReachTheModule) {
    Scene s;
    // The stand-in module writes back exactly the descriptor it was given.
    CliResult r = runCli(
        withTestModule({"apply", s.in, s.out, "--print-settings", "--overlap", "5", "--glue",
                        "hard light", "--shape", "TVs", "--seed", "-7", "--stripe-kind", "c"}),
        s.dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "--seed -7 --shape TVs --stripe-kind c --glue hard-light --overlap 5\n");
    r = runCli(
        withTestModule({"apply", s.in, s.out, "--print-settings", "--glue=64", "--shape", "3"}),
        s.dir);
    EXPECT_EQ(r.out, "--shape squares --glue glow\n");
    // Names from the dialog's list, from recorded actions, and numbers;
    // printed as the dialog names them.
    const std::pair<const char*, const char*> glues[] = {
        {"negation", "negation"},   {"NEGATION", "negation"},
        {"68", "negation"},         {"harsh diff", "hard-diff"},
        {"Hard_Diff", "hard-diff"}, {"contrast-negate", "contrast-negate"},
        {"procedural +", "2"},      {"1", "normal"},
    };
    for (const auto& [given, printed] : glues) {
        r = runCli(withTestModule({"apply", s.in, s.out, "--print-settings", "--glue", given}),
                   s.dir);
        EXPECT_EQ(r.code, 0) << given << ": " << r.err;
        EXPECT_EQ(r.out, std::string("--glue ") + printed + "\n") << given;
    }
    r = runCli(withTestModule({"apply", s.in, s.out, "--print-settings"}), s.dir);
    EXPECT_EQ(r.out, "\n") << "no settings given: an empty descriptor";
    r = runCli(withTestModule({"apply", s.in, s.out}), s.dir);
    EXPECT_TRUE(r.out.empty());
}

TEST(CliProgress, ABarOnRequestOrOnATerminalOnly) {
    const std::string dir = testFolder();
    const std::string out = join(dir, "r.png");
    const std::map<std::string, std::string> slow = {{"QF_TEST_MODULE_DELAY_MS", "40"}};
    CliResult r =
        runCli(withTestModule({"render", "--size", "32x160", out, "--progress"}), dir, slow);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("\rquillfire: rendering ["), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("100%"), std::string::npos);
    EXPECT_EQ(r.err.back(), '\n');
    r = runCli(withTestModule({"render", "--size", "32x160", out}), dir, slow);
    ASSERT_EQ(r.code, 0);
    EXPECT_TRUE(r.err.empty()) << "stderr is a file here, not a terminal";
}

TEST(CliRender, NewDocumentsOfEveryDepth) {
    const std::string dir = testFolder();
    struct Case {
        std::vector<std::string> extra;
        const char* name;
        int channels;
        SampleFormat format;
    };
    const Case cases[] = {
        {{}, "rgb8.png", 3, SampleFormat::u8},
        {{"--depth", "16", "--gray"}, "gray16.png", 1, SampleFormat::u16},
#if QF_HAVE_OIIO
        {{"--depth", "32"}, "rgb32.tif", 3, SampleFormat::f32},
#else
        {{"--depth", "32"}, "rgb32.pfm", 3, SampleFormat::f32},
#endif
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"render", "--size", "40x30", join(dir, c.name)};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        CliResult r = runCli(withTestModule(args), dir);
        ASSERT_EQ(r.code, 0) << c.name << ": " << r.err;
        cli::Image img;
        ASSERT_TRUE(readTestImage(join(dir, c.name), img));
        EXPECT_EQ(img.width, 40);
        EXPECT_EQ(img.height, 30);
        EXPECT_EQ(img.channels, c.channels);
        EXPECT_EQ(img.format, c.format);
        // White inverted by the stand-in module: black everywhere.
        EXPECT_EQ(sampleOf(img, 39, 29, 0), 0.0) << c.name;
        EXPECT_EQ(sampleOf(img, 0, 0, c.channels - 1), 0.0) << c.name;
    }
}

TEST(CliSample, WritesTheBundledPicture) {
    const std::string dir = testFolder();
    const std::string a = join(dir, "a.png"), b = join(dir, "b.png");
    ASSERT_EQ(runCli({"sample", a}, dir).code, 0);
    ASSERT_EQ(runCli({"sample", b}, dir).code, 0);
    cli::Image ia, ib;
    ASSERT_TRUE(readTestImage(a, ia));
    ASSERT_TRUE(readTestImage(b, ib));
    EXPECT_EQ(ia.width, 512);
    EXPECT_EQ(ia.height, 384);
    EXPECT_EQ(ia.channels, 3);
    EXPECT_EQ(ia.format, SampleFormat::u8);
    EXPECT_EQ(ia.data, ib.data);
}

TEST(CliExport, ClaimsToBeOurOwnHostAndShowsItsProgress) {
    Scene s;
    const std::string out = join(s.dir, "out.jpg");
    // The stand-in module checks the host signature and filters as usual; it
    // does not export, which the CLI notices.
    CliResult r = runCli(withTestModule({"export", s.in, out, "--progress"}), s.dir,
                         {{"QF_TEST_MODULE_HOST_SIG", "qfHS"}});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_NE(r.err.find("\rquillfire: exporting ["), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("100%\nquillfire: the module wrote no file to '" + out + "'"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(filesIn(s.dir), std::vector<std::string>{"in.png"});
    r = runCli(withTestModule({"apply", s.in, s.out}), s.dir,
               {{"QF_TEST_MODULE_HOST_SIG", "qfHS"}});
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r, "host signature 8BIM"); // only an export claims the export keys

    // Running out of memory is a failure, not a cancel; the old file stays.
    writeText(out, "the previous export");
    r = runCli(withTestModule({"export", s.in, out}), s.dir, {{"QF_TEST_MODULE_RESULT", "-108"}});
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r, "quillfire: out of memory");
    EXPECT_EQ(readText(out), "the previous export");
    fs::remove(out);

    r = runCli(withTestModule({"export", s.in, join(join(s.dir, "none"), "x.jpg")}), s.dir);
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r, "the folder does not exist");
    fs::create_directory(join(s.dir, "folder.jpg"));
    r = runCli(withTestModule({"export", s.in, join(s.dir, "folder.jpg")}), s.dir);
    EXPECT_EQ(r.code, 1);
    expectOneErrorLine(r, "is a folder");
    EXPECT_EQ(filesIn(s.dir), (std::vector<std::string>{"folder.jpg", "in.png"}));
}

#ifndef _WIN32
// Files of a folder other than the captured output streams.
TEST(CliCancel, CtrlCEndsEveryCommandWithStatus130AndWritesNothing) {
    const std::string dir = testFolder();
    const std::string in = join(dir, "in.png");
    // 100 bands of 16 rows for the stand-in module, 30 ms each.
    ASSERT_TRUE(writeTestImage(in, makeImage(16, 1600, 3, SampleFormat::u8)));
    struct Case {
        std::vector<std::string> args;
        std::string out;
        const char* label;
    };
    const Case cases[] = {
        {{"apply", in, join(dir, "out.png")}, join(dir, "out.png"), "rendering"},
        {{"render", "--size", "16x1600", join(dir, "out.png")}, join(dir, "out.png"), "rendering"},
        {{"export", in, join(dir, "out.jpg")}, join(dir, "out.jpg"), "exporting"},
    };
    for (const Case& c : cases) {
        writeText(c.out, "the previous picture");
        const std::vector<std::string> before = filesBesideOutput(dir);
        std::vector<std::string> args = withTestModule(c.args);
        args.push_back("--progress");
        BackgroundCli cli(args, dir, {{"QF_TEST_MODULE_DELAY_MS", "30"}});
        ASSERT_TRUE(cli.started());
        ASSERT_TRUE(
            cli.waitForErr(std::string("quillfire: ") + c.label + " [", std::chrono::seconds(20)))
            << c.args[0] << ": " << cli.err();
        cli.interrupt();
        EXPECT_EQ(cli.exitCode(std::chrono::seconds(20)), 130) << c.args[0] << ": " << cli.err();
        EXPECT_NE(cli.err().find("\nquillfire: cancelled\n"), std::string::npos) << cli.err();
        EXPECT_EQ(cli.err().find("100%"), std::string::npos) << "stopped early: " << cli.err();
        EXPECT_EQ(readText(c.out), "the previous picture") << c.args[0];
        EXPECT_EQ(filesBesideOutput(dir), before) << c.args[0];
        fs::remove(c.out);
    }
}
#endif

// ---------------------------------------------------------------------------
// With the module beside the CLI. These need a module that paints; they are
// skipped while the module still leaves the document unchanged.

TEST(RealModule, RendersDeterministicallyAndSettingsMatter) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string a = join(dir, "a.png"), b = join(dir, "b.png"), c = join(dir, "c.png");
    ASSERT_EQ(runCli({"render", "--size", "96x64", a, "--seed", "1"}, dir).code, 0);
    ASSERT_EQ(runCli({"render", "--size", "96x64", b, "--seed", "1"}, dir).code, 0);
    ASSERT_EQ(runCli({"render", "--size", "96x64", c, "--seed", "2"}, dir).code, 0);
    cli::Image ia, ib, ic;
    ASSERT_TRUE(readTestImage(a, ia) && readTestImage(b, ib) && readTestImage(c, ic));
    EXPECT_EQ(ia.data, ib.data) << "the same settings give the same picture";
    EXPECT_NE(ia.data, ic.data) << "another seed, another picture";
}

TEST(RealModule, PrintsTheSettingsItUsed) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    CliResult r = runCli({"render", "--size", "32x32", join(dir, "o.png"), "--glue", "multiply",
                          "--seed", "9", "--print-settings"},
                         dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("--glue multiply"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--seed 9"), std::string::npos);
    EXPECT_NE(r.out.find("--overlap 73"), std::string::npos) << "defaults for what was not given";
    EXPECT_NE(r.out.find("--shape points"), std::string::npos);
}

TEST(RealModule, KeepsDepthChannelsAndUnselectedPixels) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    cli::Image mask = makeImage(24, 16, 1, SampleFormat::u8);
    std::fill(mask.data.begin(), mask.data.end(), 0);
    for (int32_t y = 4; y < 12; ++y)
        for (int32_t x = 6; x < 18; ++x) mask.data[size_t(y * 24 + x)] = 255;
    ASSERT_TRUE(writeTestImage(join(dir, "mask.png"), mask));
    for (SampleFormat f : {SampleFormat::u8, SampleFormat::u16}) {
        for (int ch : {1, 4}) {
            const cli::Image src = makeImage(24, 16, ch, f);
            const std::string in = join(dir, "in.png"), out = join(dir, "out.png");
            ASSERT_TRUE(writeTestImage(in, src));
            CliResult r =
                runCli({"apply", in, out, "--mask", join(dir, "mask.png"), "--seed", "3"}, dir);
            ASSERT_EQ(r.code, 0) << r.err;
            cli::Image got;
            ASSERT_TRUE(readTestImage(out, got));
            ASSERT_EQ(got.format, f);
            ASSERT_EQ(got.channels, ch);
            bool changedInside = false;
            for (int32_t y = 0; y < 16; ++y)
                for (int32_t x = 0; x < 24; ++x)
                    for (int c = 0; c < ch; ++c) {
                        const double d = std::abs(sampleOf(got, x, y, c) - sampleOf(src, x, y, c));
                        if (mask.data[size_t(y * 24 + x)]) {
                            changedInside |= d > 1;
                        } else {
                            // 16-bit samples pass through the host's 15-bit scale.
                            ASSERT_LE(d, f == SampleFormat::u16 ? 1.0 : 0.0) << x << "," << y;
                        }
                    }
            EXPECT_TRUE(changedInside);
        }
    }
}

TEST(RealModule, ShowsProgressOnRequest) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    CliResult r = runCli({"render", "--size", "600x400", join(dir, "o.png"), "--progress"}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("100%"), std::string::npos) << r.err;
}

} // namespace

TEST(RealModule, ALookKeptAsAPresetsFileGivesTheSameResultOnAnotherPicture) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string look = join(dir, "look.sa9");
    const std::string input = join(dir, "in.png");
    ASSERT_TRUE(writeTestImage(input, makeImage(80, 60, 3, cli::SampleFormat::u8)));
    CliResult kept =
        runCli({"apply", input, join(dir, "kept.png"), "--seed", "77", "--complexity", "60",
                "--glue", "soft light", "--shape", "fleurons", "--save-preset", look},
               dir);
    ASSERT_EQ(kept.code, 0) << kept.err;

    // Another picture: the same settings straight from the flags and from
    // the presets file give the same result.
    const std::string other = join(dir, "other.png");
    ASSERT_TRUE(writeTestImage(other, makeImage(90, 70, 3, cli::SampleFormat::u16)));
    const std::string viaFlags = join(dir, "flags.png"), viaPreset = join(dir, "preset.png");
    ASSERT_EQ(runCli({"apply", other, viaFlags, "--seed", "77", "--complexity", "60", "--glue",
                      "soft light", "--shape", "fleurons"},
                     dir)
                  .code,
              0);
    CliResult replayed =
        runCli({"apply", other, viaPreset, "--preset", look, "--print-settings"}, dir);
    ASSERT_EQ(replayed.code, 0) << replayed.err;
    EXPECT_NE(replayed.out.find("--shape fleurons"), std::string::npos) << replayed.out;
    cli::Image a, b;
    ASSERT_TRUE(readTestImage(viaFlags, a) && readTestImage(viaPreset, b));
    EXPECT_EQ(a.data, b.data);

    // A flag given with the file wins over the file's value.
    CliResult overridden = runCli(
        {"apply", other, viaPreset, "--preset", look, "--seed", "5", "--print-settings"}, dir);
    EXPECT_NE(overridden.out.find("--seed 5"), std::string::npos) << overridden.out;
}

TEST(RealModule, AnUnreadablePresetsFileIsOneClearError) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string input = join(dir, "in.png"), out = join(dir, "out.png");
    ASSERT_TRUE(writeTestImage(input, makeImage(20, 20, 3, cli::SampleFormat::u8)));
    CliResult missing = runCli({"apply", input, out, "--preset", join(dir, "none.sa9")}, dir);
    EXPECT_EQ(missing.code, 1);
    EXPECT_NE(missing.err.find("cannot open the presets file"), std::string::npos) << missing.err;
    writeText(join(dir, "short.sa9"), std::string("\0\0\0", 3));
    CliResult damaged = runCli({"apply", input, out, "--preset", join(dir, "short.sa9")}, dir);
    EXPECT_EQ(damaged.code, 1);
    EXPECT_FALSE(fs::exists(out));
}

TEST(RealModule, ExportWritesAJpegOfTheRequestedSizeAndKeepsTheInput) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string input = join(dir, "in.png"), out = join(dir, "export.jpg");
    ASSERT_TRUE(writeTestImage(input, makeImage(50, 40, 3, cli::SampleFormat::u8)));
    const std::string before = readText(input);
    CliResult r =
        runCli({"export", input, out, "--size", "300x120", "--seed", "3", "--quality", "70"}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readText(input), before);
    cli::Image img;
    ASSERT_TRUE(readTestImage(out, img));
    EXPECT_EQ(img.width, 300);
    EXPECT_EQ(img.height, 120);
    CliResult bad = runCli({"export", input, join(join(dir, "missing-folder"), "x.jpg")}, dir);
    EXPECT_EQ(bad.code, 1);
}

namespace {

// The real module run straight through the host library, with the
// descriptor an editor would replay: what the CLI's own pictures must equal.
host::Document runThroughHostLibrary(const cli::Image& picture, const host::Descriptor& settings,
                                     const std::vector<uint8_t>& mask) {
#ifdef QF_DEFAULT_MODULE
    const std::string path = fromEnv("QF_MODULE", QF_DEFAULT_MODULE);
#else
    const std::string path = fromEnv("QF_MODULE", nullptr);
#endif
    std::string error;
    auto module = host::Module::load(path, &error);
    EXPECT_TRUE(module) << error;
    if (!module) return {};
    host::Document doc =
        host::Document::make(picture.width, picture.height, host::ColorModel::rgb, 8);
    EXPECT_EQ(doc.bytes().size(), picture.data.size());
    if (doc.bytes().size() != picture.data.size()) return {};
    doc.bytes() = picture.data;
    if (!mask.empty()) {
        EXPECT_TRUE(doc.setMask(mask));
    }
    host::FilterHost filterHost(module->entry());
    host::RunOptions ro;
    ro.descriptor = settings;
    const host::RunRecord rec = filterHost.run(doc, ro);
    EXPECT_TRUE(rec.ok()) << rec.result << " " << rec.hostError;
    return doc;
}

TEST(RealModule, ApplyGivesExactlyThePixelsOfTheModuleRunThroughTheHostLibrary) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string sample = join(dir, "sample.png");
    ASSERT_EQ(runCli({"sample", sample}, dir).code, 0);
    cli::Image picture;
    ASSERT_TRUE(readTestImage(sample, picture));
    ASSERT_EQ(picture.channels, 3);
    // A selection away from the corner, with a soft left edge.
    std::vector<uint8_t> mask(size_t(picture.width) * size_t(picture.height), 0);
    for (int32_t y = 60; y < 300; ++y)
        for (int32_t x = 100; x < 400; ++x)
            mask[size_t(y) * size_t(picture.width) + size_t(x)] =
                uint8_t(std::min(255, (x - 100) * 8));
    cli::Image maskImage = makeImage(picture.width, picture.height, 1, SampleFormat::u8);
    maskImage.data = mask;
    const std::string maskPath = join(dir, "mask.png");
    ASSERT_TRUE(writeTestImage(maskPath, maskImage));

    // The settings as an editor records them: keys and enumeration values
    // written out here rather than taken from the CLI.
    auto recorded = [](const char* glue) {
        host::Descriptor d;
        d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC({'G', 'L', glue[0], glue[1], '\0'}))
            .putInteger(fourCC("0003"), 40)
            .putInteger(fourCC("0009"), 60)
            .putInteger(fourCC("0010"), 10)
            .putInteger(fourCC("0011"), 2)
            .putEnumerated(fourCC("Hsky"), fourCC("Hsty"), fourCC("Hs05"))
            .putEnumerated(fourCC("Htky"), fourCC("Htty"), fourCC("Ht03"))
            .putInteger(fourCC("0014"), 4242);
        return d;
    };
    const std::vector<std::string> flags = {
        "--stripes", "40",  "--complexity",  "60", "--hue",  "10",  "--merge", "2",
        "--shape",   "TVs", "--stripe-kind", "c",  "--seed", "4242"};
    struct Case {
        const char* glueFlag;
        const char* glueDigits;
        bool masked;
    };
    const Case cases[] = {{"negation", "68", false}, {"hard diff", "26", true}};
    std::vector<std::vector<uint8_t>> results;
    for (const Case& c : cases) {
        const std::string out = join(dir, std::string("out") + c.glueDigits + ".png");
        std::vector<std::string> args = {"apply", sample, out, "--glue", c.glueFlag};
        args.insert(args.end(), flags.begin(), flags.end());
        if (c.masked) args.insert(args.end(), {"--mask", maskPath});
        CliResult r = runCli(args, dir);
        ASSERT_EQ(r.code, 0) << r.err;
        cli::Image got;
        ASSERT_TRUE(readTestImage(out, got));
        const host::Document want = runThroughHostLibrary(picture, recorded(c.glueDigits),
                                                          c.masked ? mask : std::vector<uint8_t>{});
        ASSERT_EQ(got.width, picture.width);
        ASSERT_EQ(got.height, picture.height);
        ASSERT_EQ(got.channels, 3);
        EXPECT_TRUE(got.data == want.bytes())
            << c.glueFlag << ": the CLI's picture differs from the module's";
        EXPECT_NE(got.data, picture.data) << c.glueFlag << ": the filter changed nothing";
        if (c.masked) {
            size_t changedOutside = 0;
            for (size_t i = 0; i < mask.size(); ++i)
                if (!mask[i])
                    for (size_t k = 0; k < 3; ++k)
                        changedOutside += got.data[3 * i + k] != picture.data[3 * i + k];
            EXPECT_EQ(changedOutside, 0u);
        }
        results.push_back(got.data);
    }
    // The other names of mode 26 give the same picture.
    for (const char* name : {"harsh diff", "26", "HARD-DIFF"}) {
        const std::string out = join(dir, "again.png");
        std::vector<std::string> args = {"apply", sample, out, "--glue", name, "--mask", maskPath};
        args.insert(args.end(), flags.begin(), flags.end());
        ASSERT_EQ(runCli(args, dir).code, 0) << name;
        cli::Image got;
        ASSERT_TRUE(readTestImage(out, got));
        EXPECT_TRUE(got.data == results[1]) << name;
    }
}

#ifndef _WIN32
TEST(RealModule, CtrlCDuringABigExportLeavesNoFileAndTheOldOneIntact) {
    SKIP_UNLESS_MODULE_PAINTS();
    const std::string dir = testFolder();
    const std::string in = join(dir, "in.png");
    ASSERT_TRUE(writeTestImage(in, makeImage(64, 48, 3, SampleFormat::u8)));
    for (const char* name : {"old.jpg", "new.jpg"}) {
        const std::string out = join(dir, name);
        const bool existed = std::string(name) == "old.jpg";
        if (existed) writeText(out, "the previous export");
        const std::vector<std::string> before = filesBesideOutput(dir);
        BackgroundCli cli({"export", in, out, "--size", "8000x8000", "--seed", "5", "--progress"},
                          dir);
        ASSERT_TRUE(cli.started());
        // The bar appears with the module's first progress call; interrupt
        // after a while regardless, to see whether the export stops.
        const bool progressed = cli.waitForErr("quillfire: exporting [", std::chrono::seconds(15));
        EXPECT_TRUE(progressed) << "an export reports progress: " << cli.err();
        cli.interrupt();
        const int code = cli.exitCode(std::chrono::seconds(60));
        EXPECT_EQ(code, 130) << cli.err();
        if (existed) {
            EXPECT_EQ(readText(out), "the previous export");
        } else {
            EXPECT_FALSE(fs::exists(out));
        }
        EXPECT_EQ(filesBesideOutput(dir), before) << "no temporary left behind";
        fs::remove(out);
    }
}
#endif

} // namespace
