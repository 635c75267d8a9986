// The quillfire CLI driven as a user drives it: command lines, exit
// statuses, error lines, files in and out. Most cases run the CLI with the
// small stand-in module of this suite (--module), whose behaviour is known
// exactly; the RealModule cases use the module beside the CLI.
#include "cli_support.h"
#include "host/cli/document_image.h"

#include <gtest/gtest.h>

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

std::vector<std::string> withTestModule(std::vector<std::string> args) {
    args.push_back("--module");
    args.push_back(testModulePath());
    return args;
}

// One line on stderr, starting with the program's name.
void expectOneErrorLine(const CliResult& r, const std::string& fragment) {
    auto lines = r.errLines();
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_EQ(lines[0].rfind("quillfire: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(fragment), std::string::npos) << lines[0];
}

TEST(CliUsage, HelpAndNoArguments) {
    const std::string dir = testFolder();
    CliResult r = runCli({"--help"}, dir);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("quillfire apply INPUT OUTPUT"), std::string::npos);
    EXPECT_NE(r.out.find("--glue"), std::string::npos);
    r = runCli({}, dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Usage"), std::string::npos);
}

TEST(CliUsage, BadCommandLinesGetOneLineAndStatusTwo) {
    Scene s;
    struct Case {
        std::vector<std::string> args;
        const char* fragment;
    };
    const Case cases[] = {
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"apply", s.in, s.out, "--bogus"}, "unknown option '--bogus'"},
        {{"apply", s.in, s.out, "-x"}, "unknown option '-x'"},
        {{"apply", s.in, s.out, "--overlap", "101"}, "--overlap must be a whole number from 0 to 100"},
        {{"apply", s.in, s.out, "--merge", "0"}, "--merge"},
        {{"apply", s.in, s.out, "--shape", "hexagons"}, "--shape must be"},
        {{"apply", s.in, s.out, "--glue", "sparkle"}, "--glue must be"},
        {{"apply", s.in, s.out, "--glue=70"}, "--glue"},
        {{"apply", s.in, s.out, "--seed", "12abc"}, "--seed"},
        {{"apply", s.in, s.out, "--stripe-kind", "e"}, "--stripe-kind"},
        {{"apply", s.in, s.out, "--hue"}, "--hue needs a value"},
        {{"apply", s.in, s.out, "--progress=yes"}, "takes no value"},
        {{"apply", s.in}, "apply needs INPUT and OUTPUT"},
        {{"apply", s.in, s.out, "--depth", "16"}, "belong to render"},
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
        {{"apply", s.in, s.out, "--mask", join(s.dir, "small.png")}, "the mask is 3x3 but the image is 8x6"},
        {{"apply", s.in, s.out, "--mask", join(s.dir, "rgb.png")}, "one-channel"},
        {{"apply", s.in, s.out, "--mask", join(s.dir, "black.png")}, "the mask selects nothing"},
        {{"apply", s.in, s.out, "--mask", join(s.dir, "none.png")}, "none.png"},
        {{"apply", s.in, join(s.dir, "no/such/folder/out.png")}, "folder does not exist"},
        {{"apply", s.in, join(s.dir, "out.xyz")}, "out.xyz"},
        {{"apply", s.in, s.out, "--module", join(s.dir, "nomodule.so")}, "cannot load the filter module"},
    };
    for (const Case& c : cases) {
        CliResult r = runCli(c.fragment == std::string("cannot load the filter module") ? c.args : withTestModule(c.args),
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
    CliResult r = runCli(withTestModule({"apply", s.in, s.out, "--mask", join(s.dir, "small.png")}), s.dir);
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
        {"1", "no RGB here", 1, "quillfire: the filter refused to run on this document: no RGB here"},
        {"-108", "", 1, "quillfire: out of memory"},
        {"-128", "", 130, "quillfire: cancelled"},
        {"-30904", "the moon is in the wrong phase", 1, "quillfire: the moon is in the wrong phase"},
        {"3", "", 1, "quillfire: the filter could not allocate its render buffers"},
        {"42", "", 1, "quillfire: the filter failed with error 42"},
    };
    for (const Case& c : cases) {
        CliResult r = runCli(withTestModule({"apply", s.in, s.out}), s.dir,
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
                        ASSERT_NEAR(sampleOf(got, x, y, ch), want, 1e-6) << tag << " at " << x << "," << y << "," << ch;
                    }
                }
    }
    for (const std::string& name : filesIn(dir)) EXPECT_EQ(name.find("quillfire-"), std::string::npos) << name;
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
            EXPECT_EQ(sampleOf(got, x, y, 1), x < 4 ? 255 - sampleOf(src, x, y, 1) : sampleOf(src, x, y, 1));
}

TEST(CliSettings, OnlyTheGivenSettingsReachTheModule) {
    Scene s;
    // The stand-in module writes back exactly the descriptor it was given.
    CliResult r = runCli(withTestModule({"apply", s.in, s.out, "--print-settings", "--overlap", "5", "--glue",
                                         "hard light", "--shape", "TVs", "--seed", "-7", "--stripe-kind", "c"}),
                         s.dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "--seed -7 --shape TVs --stripe-kind c --glue \"hard light\" --overlap 5\n");
    r = runCli(withTestModule({"apply", s.in, s.out, "--print-settings", "--glue=64", "--shape", "3"}), s.dir);
    EXPECT_EQ(r.out, "--shape squares --glue 64\n");
    r = runCli(withTestModule({"apply", s.in, s.out, "--print-settings"}), s.dir);
    EXPECT_EQ(r.out, "\n") << "no settings given: an empty descriptor";
    r = runCli(withTestModule({"apply", s.in, s.out}), s.dir);
    EXPECT_TRUE(r.out.empty());
}

TEST(CliProgress, ABarOnRequestOrOnATerminalOnly) {
    const std::string dir = testFolder();
    const std::string out = join(dir, "r.png");
    const std::map<std::string, std::string> slow = {{"QF_TEST_MODULE_DELAY_MS", "40"}};
    CliResult r = runCli(withTestModule({"render", "--size", "32x160", out, "--progress"}), dir, slow);
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

// ---------------------------------------------------------------------------
// With the module beside the CLI. These need a module that paints; they are
// skipped while the module still leaves the document unchanged.

// Whether the module beside the CLI paints: it must load and run; a module
// that runs but leaves the document as it was has not landed its renderer yet.
struct ModuleProbe {
    bool ran = false;
    bool paints = false;
    std::string error;
};

const ModuleProbe& probeRealModule() {
    static ModuleProbe probe;
    static bool done = false;
    if (!done) {
        done = true;
        const std::string dir = testFolder();
        const std::string out = join(dir, "probe.png");
        CliResult r = runCli({"render", "--size", "16x16", out}, dir);
        cli::Image img;
        probe.ran = r.code == 0 && readTestImage(out, img);
        probe.error = r.err;
        if (probe.ran)
            for (uint8_t v : img.data) probe.paints |= v != 255;
    }
    return probe;
}

#define SKIP_UNLESS_MODULE_PAINTS()                                                                \
    do {                                                                                           \
        const ModuleProbe& probe = probeRealModule();                                              \
        ASSERT_TRUE(probe.ran) << "the module beside the CLI does not run: " << probe.error;       \
        if (!probe.paints) GTEST_SKIP() << "the module beside the CLI does not paint yet";         \
    } while (false)

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
    CliResult r = runCli({"render", "--size", "32x32", join(dir, "o.png"), "--glue", "multiply", "--seed", "9",
                          "--print-settings"},
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
            CliResult r = runCli({"apply", in, out, "--mask", join(dir, "mask.png"), "--seed", "3"}, dir);
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
    CliResult kept = runCli({"apply", input, join(dir, "kept.png"), "--seed", "77", "--complexity", "60",
                             "--glue", "soft light", "--shape", "fleurons", "--save-preset", look},
                            dir);
    ASSERT_EQ(kept.code, 0) << kept.err;

    // Another picture: the same settings straight from the flags and from
    // the presets file give the same result.
    const std::string other = join(dir, "other.png");
    ASSERT_TRUE(writeTestImage(other, makeImage(90, 70, 3, cli::SampleFormat::u16)));
    const std::string viaFlags = join(dir, "flags.png"), viaPreset = join(dir, "preset.png");
    ASSERT_EQ(runCli({"apply", other, viaFlags, "--seed", "77", "--complexity", "60", "--glue", "soft light",
                      "--shape", "fleurons"},
                     dir)
                  .code,
              0);
    CliResult replayed = runCli({"apply", other, viaPreset, "--preset", look, "--print-settings"}, dir);
    ASSERT_EQ(replayed.code, 0) << replayed.err;
    EXPECT_NE(replayed.out.find("--shape fleurons"), std::string::npos) << replayed.out;
    cli::Image a, b;
    ASSERT_TRUE(readTestImage(viaFlags, a) && readTestImage(viaPreset, b));
    EXPECT_EQ(a.data, b.data);

    // A flag given with the file wins over the file's value.
    CliResult overridden = runCli({"apply", other, viaPreset, "--preset", look, "--seed", "5", "--print-settings"}, dir);
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
    CliResult r = runCli({"export", input, out, "--size", "300x120", "--seed", "3", "--quality", "70"}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readText(input), before);
    cli::Image img;
    ASSERT_TRUE(readTestImage(out, img));
    EXPECT_EQ(img.width, 300);
    EXPECT_EQ(img.height, 120);
    CliResult bad = runCli({"export", input, join(join(dir, "missing-folder"), "x.jpg")}, dir);
    EXPECT_EQ(bad.code, 1);
}
