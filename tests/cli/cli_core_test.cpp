// The CLI's parts that need no process: settings flags and their
// descriptor, sample conversions, the stb-side coders, paths.
#include "cli_support.h"
#include "host/cli/document_image.h"
#include "host/cli/file_util.h"
#include "host/cli/image_io.h"
#include "host/cli/sample_picture.h"
#include "host/cli/settings.h"

#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <set>
#include <sstream>

namespace qf {}
using namespace qf;

using namespace clitest;

namespace {

// The enumerations of the module's terminology resource, read from its
// source: prefix ("GL", "Hs", "Ht") and number -> name.
std::map<std::pair<std::string, int>, std::string> terminologyEnumerators() {
    std::map<std::pair<std::string, int>, std::string> names;
    const std::string source = fromEnv("QF_SOURCE_DIR", nullptr);
    if (source.empty()) return names;
    std::stringstream text(readText(join(join(source, "resources"), "terminology.rc")));
    for (std::string line; std::getline(text, line);) {
        // ENUMERATOR("\x0a",  "harsh diff",    FOURCC_LE(G,L,2,6)),
        const size_t at = line.find("ENUMERATOR(");
        const size_t open = line.find('"', line.find(',', at));
        const size_t close = open == std::string::npos ? open : line.find('"', open + 1);
        const size_t code = line.find("FOURCC_LE(", close == std::string::npos ? 0 : close);
        if (at == std::string::npos || close == std::string::npos || code == std::string::npos)
            continue;
        const std::string c = line.substr(code + 10, 7); // "G,L,2,6"
        names[{std::string{c[0], c[2]}, (c[4] - '0') * 10 + (c[6] - '0')}] =
            line.substr(open + 1, close - open - 1);
    }
    return names;
}

TEST(CliNames, TablesAgreeWithTheScriptingEnumerationsAndTheMenu) {
    const auto enumerators = terminologyEnumerators();
    if (enumerators.empty()) GTEST_SKIP() << "QF_SOURCE_DIR is not set (run through ctest)";
    int scripted = 0;
    for (int m = 1; m <= 69; ++m) {
        const auto it = enumerators.find({"GL", m});
        const std::string recorded = it == enumerators.end() ? "" : it->second;
        EXPECT_EQ(::glueScriptingName(m), recorded) << m;
        scripted += !recorded.empty();
        // The menu shows the recorded name, except for mode 26.
        if (!recorded.empty() && m != 26) {
            EXPECT_EQ(::glueMenuName(m), recorded) << m;
        }
    }
    EXPECT_EQ(scripted, 61);
    for (int v = 1; v <= 7; ++v) EXPECT_EQ(::shapeName(v), enumerators.at({"Hs", v})) << v;
    for (int v = 1; v <= 4; ++v) EXPECT_EQ(::stripeKindName(v), enumerators.at({"Ht", v})) << v;

    // The modes only the menu names.
    const std::pair<int, const char*> menuOnly[] = {
        {26, "hard diff"}, {60, "anterior"}, {61, "posterior"},
        {64, "glow"},      {65, "reflect"},  {66, "shimmer"},
        {67, "lustre"},    {68, "negation"}, {69, "contrast negate"},
    };
    for (const auto& [mode, name] : menuOnly) EXPECT_EQ(::glueMenuName(mode), name);
    for (int outside : {0, -1, 70, 99}) {
        EXPECT_EQ(::glueMenuName(outside), "");
        EXPECT_EQ(::glueScriptingName(outside), "");
    }
    EXPECT_EQ(::shapeName(0), "");
    EXPECT_EQ(::shapeName(8), "");
    EXPECT_EQ(::stripeKindName(5), "");
}

TEST(CliNames, EveryGlueModeIsFoundByEachOfItsNamesAndItsNumberOnly) {
    std::set<std::string> seen;
    for (int m = 1; m <= 69; ++m) {
        const std::string menu = ::glueMenuName(m);
        ASSERT_FALSE(menu.empty()) << m;
        EXPECT_TRUE(seen.insert(menu).second) << "two modes named " << menu;
        EXPECT_EQ(cli::glueFromText(menu), m) << menu;
        std::string upper = menu;
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(cli::glueFromText(upper), m) << upper;
        if (!::glueScriptingName(m).empty()) {
            EXPECT_EQ(cli::glueFromText(::glueScriptingName(m)), m);
        }
        EXPECT_EQ(cli::glueFromText(std::to_string(m)), m);
    }
    EXPECT_EQ(cli::glueFromText("harsh diff"), 26);
    EXPECT_EQ(cli::glueFromText("Hard-Diff"), 26);
    EXPECT_EQ(cli::glueFromText("contrast_negate"), 69);
    EXPECT_EQ(cli::glueFromText("procedural -"), 3) << "a '-' after a space is the name's own";
    EXPECT_EQ(cli::glueFromText("procedural"), 0);
    for (const char* bad :
         {"", "0", "70", "-1", "harsh", "hard  diff", " normal", "glow ", "26 ", "0x1a", "negate"})
        EXPECT_EQ(cli::glueFromText(bad), 0) << "'" << bad << "'";
    EXPECT_EQ(cli::shapeFromText("tvs"), 5);
    EXPECT_EQ(cli::shapeFromText("POINTS"), 7);
    EXPECT_EQ(cli::shapeFromText("8"), 0);
    EXPECT_EQ(cli::stripeKindFromText("D"), 4);
    EXPECT_EQ(cli::stripeKindFromText("5"), 0);
}

TEST(CliSettings, EnumerationValuesCarryTheNumberInTheirLastTwoDigits) {
    cli::Settings s;
    s.glue = 69;
    s.shape = 5;
    s.stripeKind = 4;
    host::Descriptor d = s.toDescriptor();
    EXPECT_EQ(d.enumerated(fourCC("GLUE")), fourCC("GL69"));
    EXPECT_EQ(d.enumerated(fourCC("Hsky")), fourCC("Hs05"));
    EXPECT_EQ(d.enumerated(fourCC("Htky")), fourCC("Ht04"));
    ASSERT_EQ(d.size(), 3u);
    EXPECT_EQ(d.items()[0].enumType, fourCC("GLty"));
    EXPECT_EQ(d.items()[1].enumType, fourCC("Hsty"));
    EXPECT_EQ(d.items()[2].enumType, fourCC("Htty"));
    // A presets file may hold any number; one the enumeration cannot carry
    // goes as "<NO>", which the module reads as 0.
    s.glue = 70;
    s.shape = 0;
    s.stripeKind = INT32_MIN;
    d = s.toDescriptor();
    EXPECT_EQ(d.enumerated(fourCC("GLUE")), 0x3C4E4F3Eu);
    EXPECT_EQ(d.enumerated(fourCC("Hsky")), 0x3C4E4F3Eu);
    EXPECT_EQ(d.enumerated(fourCC("Htky")), 0x3C4E4F3Eu);

    // Reading takes the two digits whatever their range.
    EXPECT_EQ(cli::enumNumber(fourCC("GL64"), "GL"), 64);
    EXPECT_EQ(cli::enumNumber(fourCC("GL70"), "GL"), 70);
    EXPECT_EQ(cli::enumNumber(fourCC("Ht07"), "Ht"), 7);
    EXPECT_EQ(cli::enumNumber(fourCC("GL0x"), "GL"), 0);
    EXPECT_EQ(cli::enumNumber(fourCC("<NO>"), "GL"), 0);
    EXPECT_EQ(cli::enumNumber(fourCC("Hs03"), "GL"), 0);
    EXPECT_EQ(cli::enumNumber(fourCC("Zz03"), "Zz"), 0);
}

TEST(CliSettings, FlagsAcceptNamesNumbersAndRanges) {
    struct Case {
        const char* flag;
        const char* value;
        bool ok;
    };
    const Case cases[] = {
        {"glue", "multiply", true},
        {"glue", "Hard Light", true},
        {"glue", "hard-light", true},
        {"glue", "procedural -", true},
        {"glue", "hard diff", true},
        {"glue", "negation", true},
        {"glue", "69", true},
        {"glue", "1", true},
        {"glue", "0", false},
        {"glue", "70", false},
        {"glue", "sparkle", false},
        {"shape", "TVs", true},
        {"shape", "tvs", true},
        {"shape", "7", true},
        {"shape", "8", false},
        {"shape", "hexagons", false},
        {"stripe-kind", "d", true},
        {"stripe-kind", "e", false},
        {"merge", "4", true},
        {"merge", "5", false},
        {"overlap", "0", true},
        {"overlap", "100", true},
        {"overlap", "-1", false},
        {"hue", "50.5", false},
        {"zoom", "", false},
        {"seed", "-2147483648", true},
        {"seed", "4294967295", true},
        {"seed", "4294967296", false},
        {"seed", "-2147483649", false},
        {"seed", "12abc", false},
        {"complexity", "+7", true},
    };
    for (const Case& c : cases) {
        cli::Settings s;
        std::string error;
        cli::FlagResult r = cli::parseSettingFlag(c.flag, c.value, s, error);
        EXPECT_EQ(r, c.ok ? cli::FlagResult::ok : cli::FlagResult::bad) << c.flag << " " << c.value;
        if (!c.ok) {
            EXPECT_NE(error.find(std::string("--") + c.flag), std::string::npos) << error;
            EXPECT_EQ(error.find('\n'), std::string::npos);
        }
    }
    cli::Settings s;
    std::string error;
    EXPECT_EQ(cli::parseSettingFlag("mask", "x.png", s, error), cli::FlagResult::notASetting);
    cli::parseSettingFlag("glue", "Hard_Light", s, error);
    EXPECT_EQ(s.glue, 11);
    cli::parseSettingFlag("glue", "hard diff", s, error);
    EXPECT_EQ(s.glue, 26);
}

TEST(CliSettings, OnlyGivenSettingsReachTheDescriptorInKeyOrder) {
    cli::Settings s;
    EXPECT_TRUE(s.toDescriptor().empty());
    std::string error;
    cli::parseSettingFlag("seed", "99", s, error);
    cli::parseSettingFlag("hue", "3", s, error);
    cli::parseSettingFlag("glue", "multiply", s, error);
    cli::parseSettingFlag("shape", "octagons", s, error);
    host::Descriptor d = s.toDescriptor();
    ASSERT_EQ(d.size(), 4u);
    EXPECT_EQ(d.items()[0].key, fourCC("GLUE"));
    EXPECT_EQ(d.items()[0].type, typeEnumerated);
    EXPECT_EQ(d.items()[0].enumType, fourCC("GLty"));
    EXPECT_EQ(d.items()[0].enumValue, fourCC("GL09"));
    EXPECT_EQ(d.items()[1].key, fourCC("0010"));
    EXPECT_EQ(d.items()[1].integer, 3);
    EXPECT_EQ(d.items()[2].key, fourCC("Hsky"));
    EXPECT_EQ(d.items()[2].enumType, fourCC("Hsty"));
    EXPECT_EQ(d.items()[2].enumValue, fourCC("Hs04"));
    EXPECT_EQ(d.items()[3].key, fourCC("0014"));
    EXPECT_EQ(d.items()[3].integer, 99);
}

TEST(CliSettings, DescribedSettingsReadAsReusableFlags) {
    host::Descriptor d;
    d.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL11"))
        .putInteger(fourCC("0002"), 73)
        .putInteger(fourCC("0011"), 3)
        .putEnumerated(fourCC("Hsky"), fourCC("Hsty"), fourCC("Hs05"))
        .putEnumerated(fourCC("Htky"), fourCC("Htty"), fourCC("Ht02"))
        .putInteger(fourCC("0014"), -4);
    EXPECT_EQ(cli::describeSettings(d),
              "--seed -4 --shape TVs --stripe-kind b --merge 3 --glue hard-light --overlap 73");
    // Only flags the CLI itself accepts are printed; every value beyond a
    // flag's range is named instead, at each end of each range.
    host::Descriptor odd;
    odd.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL64"));
    odd.putEnumerated(fourCC("Hsky"), fourCC("Hsty"), 0x3C4E4F3E);
    std::vector<std::string> notes;
    EXPECT_EQ(cli::describeSettings(odd, &notes), "--glue glow")
        << "modes without a scripting name";
    EXPECT_EQ(notes, std::vector<std::string>{"the module reported --shape '<NO>', outside what "
                                              "the flag accepts"});
    host::Descriptor beyond;
    beyond.putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL26"));
    beyond.putEnumerated(fourCC("Htky"), fourCC("Htty"), fourCC("Ht07"));
    beyond.putEnumerated(fourCC("Hsky"), fourCC("Hsty"), fourCC("Hs07"));
    notes.clear();
    EXPECT_EQ(cli::describeSettings(beyond, &notes), "--shape points --glue hard-diff");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("--stripe-kind 7"), std::string::npos);
    host::Descriptor edges;
    edges.putInteger(fourCC("0011"), 0)
        .putInteger(fourCC("0009"), 0)
        .putInteger(fourCC("0002"), 100)
        .putInteger(fourCC("0003"), 101)
        .putInteger(fourCC("0004"), -1)
        .putInteger(fourCC("0008"), 2147483647)
        .putInteger(fourCC("0014"), -2147483647 - 1)
        .putEnumerated(fourCC("GLUE"), fourCC("GLty"), fourCC("GL70"));
    notes.clear();
    const std::string flags = cli::describeSettings(edges, &notes);
    EXPECT_EQ(flags.find("--merge 0"), std::string::npos) << flags;
    EXPECT_NE(flags.find("--seed -2147483648"), std::string::npos) << flags;
    EXPECT_NE(flags.find("--overlap 100"), std::string::npos) << flags;
    EXPECT_EQ(notes.size(), 5u) << "merge 0, stripes 101, warping -1, zoom 2^31-1, glue 70";
    // What is printed reads back through the flags unchanged.
    cli::Settings back;
    std::string error;
    size_t at = 0;
    while ((at = flags.find("--", at)) != std::string::npos) {
        const size_t space = flags.find(' ', at);
        size_t end = flags.find(" --", space);
        if (end == std::string::npos) end = flags.size();
        EXPECT_EQ(cli::parseSettingFlag(flags.substr(at + 2, space - at - 2),
                                        flags.substr(space + 1, end - space - 1), back, error),
                  cli::FlagResult::ok)
            << error;
        at = end;
    }
    EXPECT_EQ(cli::describeSettings(back.toDescriptor()), flags);
}

TEST(CliSamples, SixteenBitScalingMeetsTheEndsAndRoundTripsWithinOne) {
    EXPECT_EQ(cli::fileToHost16(0), 0);
    EXPECT_EQ(cli::fileToHost16(65535), 32768);
    EXPECT_EQ(cli::hostToFile16(32768), 65535);
    EXPECT_EQ(cli::hostToFile16(0), 0);
    EXPECT_EQ(cli::hostToFile16(40000), 65535) << "above full scale is clamped";
    for (uint32_t v = 0; v <= 65535; ++v) {
        const int back = cli::hostToFile16(cli::fileToHost16(uint16_t(v)));
        ASSERT_LE(std::abs(back - int(v)), 1) << v;
    }
    for (uint32_t h = 0; h <= 32768; ++h)
        ASSERT_EQ(cli::fileToHost16(cli::hostToFile16(uint16_t(h))), h);
}

TEST(CliSamples, DocumentsKeepTheImagesFormatAndTransparency) {
    for (cli::SampleFormat f :
         {cli::SampleFormat::u8, cli::SampleFormat::u16, cli::SampleFormat::f32}) {
        for (int ch = 1; ch <= 4; ++ch) {
            cli::Image img = makeImage(5, 3, ch, f);
            host::Document doc;
            std::string error;
            ASSERT_TRUE(cli::documentFromImage(img, doc, error)) << error;
            EXPECT_EQ(doc.channels(), ch);
            EXPECT_EQ(doc.model(), ch <= 2 ? host::ColorModel::gray : host::ColorModel::rgb);
            EXPECT_EQ(doc.transparency(),
                      ch % 2 == 0 ? host::Transparency::editable : host::Transparency::none);
            cli::Image back = img;
            back.data.clear();
            ASSERT_TRUE(cli::imageFromDocument(std::move(doc), back, error));
            EXPECT_FALSE(doc.valid()) << "the pixels moved";
            EXPECT_EQ(back.format, f);
            EXPECT_EQ(back.channels, ch);
            if (f != cli::SampleFormat::u16) {
                EXPECT_EQ(back.data, img.data);
            }
        }
    }
    cli::Image five = makeImage(2, 2, 4, cli::SampleFormat::u8);
    five.channels = 5;
    host::Document doc;
    std::string error;
    EXPECT_FALSE(cli::documentFromImage(five, doc, error));
}

TEST(CliSamples, MasksMustBeOneChannelOfTheDocumentsSize) {
    host::Document doc = host::Document::make(4, 3, host::ColorModel::rgb, 8);
    std::vector<uint8_t> mask;
    std::string error;
    EXPECT_TRUE(cli::maskFromImage(makeImage(4, 3, 1, cli::SampleFormat::u8), doc, mask, error));
    EXPECT_EQ(mask.size(), 12u);
    cli::Image deep = makeImage(4, 3, 1, cli::SampleFormat::u16);
    EXPECT_TRUE(cli::maskFromImage(deep, doc, mask, error));
    EXPECT_EQ(mask[1], uint8_t((uint32_t(sampleOf(deep, 1, 0, 0)) * 255 + 32767) / 65535));
    EXPECT_FALSE(cli::maskFromImage(makeImage(4, 3, 3, cli::SampleFormat::u8), doc, mask, error));
    EXPECT_NE(error.find("one-channel"), std::string::npos);
    EXPECT_FALSE(cli::maskFromImage(makeImage(3, 3, 1, cli::SampleFormat::u8), doc, mask, error));
    EXPECT_EQ(error, "the mask is 3x3 but the image is 4x3");
}

TEST(CliCoders, SixteenBitPngAndPfmReadBackExactly) {
    const std::string dir = testFolder();
    for (int ch = 1; ch <= 4; ++ch) {
        cli::Image img = makeImage(7, 5, ch, cli::SampleFormat::u16);
        const std::string path = join(dir, "deep" + std::to_string(ch) + ".png");
        std::string error;
        ASSERT_TRUE(cli::writeImageStb(path, img, error)) << error;
        cli::Image back;
        ASSERT_TRUE(readTestImage(path, back)); // OpenImageIO natively: an independent decoder
        EXPECT_EQ(back.format, cli::SampleFormat::u16);
        EXPECT_EQ(back.channels, ch);
        EXPECT_EQ(back.data, img.data) << ch << " channels";
    }
    for (int ch : {1, 3}) {
        cli::Image img = makeImage(6, 4, ch, cli::SampleFormat::f32);
        const std::string path = join(dir, "float" + std::to_string(ch) + ".pfm");
        std::string error;
        ASSERT_TRUE(cli::writeImageStb(path, img, error)) << error;
        cli::Image back;
        ASSERT_TRUE(readTestImage(path, back));
        EXPECT_EQ(back.channels, ch);
        EXPECT_EQ(back.data, img.data) << "rows bottom to top on disk, top to bottom in memory";
        cli::Image again;
        ASSERT_TRUE(cli::readImageStb(path, again, error)) << error;
        EXPECT_EQ(again.data, img.data);
    }
}

#if QF_HAVE_OIIO
TEST(CliCoders, NetpbmFilesAreWholeAndReadByOpenImageIo) {
    const std::string dir = testFolder();
    for (const char* ext : {".ppm", ".PGM", ".pnm"}) {
        for (int ch : {1, 3}) {
            cli::Image img = makeImage(7, 5, ch, cli::SampleFormat::u8);
            std::string name = std::to_string(ch);
            name += ext;
            const std::string path = join(dir, name);
            std::string error;
            ASSERT_TRUE(cli::writeImage(path, img, error)) << error;
            const std::string header(ch == 1 ? "P5\n7 5\n255\n" : "P6\n7 5\n255\n");
            const std::string bytes = readText(path);
            ASSERT_EQ(bytes.size(), header.size() + img.data.size()) << path;
            EXPECT_EQ(bytes.substr(0, header.size()), header) << path;
            cli::Image back;
            ASSERT_TRUE(readTestImage(path, back)) << path;
            EXPECT_EQ(back.width, 7);
            EXPECT_EQ(back.channels, ch);
            EXPECT_EQ(back.data, img.data) << path;
        }
    }
}
#endif

TEST(CliCoders, PfmReaderRefusesDamageAndReadsBigEndian) {
    cli::Image img;
    std::string error;
    const std::string be =
        std::string("Pf\n2 1\n1.0\n") + std::string("\x3f\x80\x00\x00\x40\x00\x00\x00", 8);
    ASSERT_TRUE(cli::decodePfm(reinterpret_cast<const uint8_t*>(be.data()), be.size(), img, error));
    EXPECT_EQ(sampleOf(img, 0, 0, 0), 1.0);
    EXPECT_EQ(sampleOf(img, 1, 0, 0), 2.0);
    for (size_t n = 0; n < be.size(); ++n)
        EXPECT_FALSE(cli::decodePfm(reinterpret_cast<const uint8_t*>(be.data()), n, img, error))
            << n;
    for (const char* bad :
         {"PF\n-2 1\n-1.0\n", "PF\n2 0\n-1.0\n", "PX\n1 1\n-1.0\n", "PF\n99999999 1\n-1\n"}) {
        std::string s = std::string(bad) + std::string(64, '\0');
        EXPECT_FALSE(
            cli::decodePfm(reinterpret_cast<const uint8_t*>(s.data()), s.size(), img, error))
            << bad;
    }
    cli::Image rgba = makeImage(2, 2, 4, cli::SampleFormat::f32);
    EXPECT_TRUE(cli::encodePfm(rgba).empty()) << "PFM has no alpha";
    EXPECT_TRUE(cli::encodePng16(makeImage(2, 2, 3, cli::SampleFormat::u8)).empty());
}

TEST(CliCoders, TheStbWriterRefusesDepthsItsFormatsCannotHold) {
    const std::string dir = testFolder();
    std::string error;
    EXPECT_FALSE(
        cli::writeImageStb(join(dir, "f.png"), makeImage(2, 2, 3, cli::SampleFormat::f32), error));
    EXPECT_NE(error.find(".pfm"), std::string::npos);
    EXPECT_FALSE(
        cli::writeImageStb(join(dir, "d.jpg"), makeImage(2, 2, 3, cli::SampleFormat::u16), error));
    EXPECT_FALSE(
        cli::writeImageStb(join(dir, "x.xyz"), makeImage(2, 2, 3, cli::SampleFormat::u8), error));
    EXPECT_TRUE(filesIn(dir).empty());
}

TEST(CliFiles, WritingReplacesWholeFilesOnlyAndLeavesNothingBehind) {
    const std::string dir = testFolder();
    const std::string out = join(dir, "out.png");
    writeText(out, "previous");
    cli::Image bad = makeImage(2, 2, 3, cli::SampleFormat::u8);
    bad.data.resize(3); // inconsistent: refused before anything is written
    std::string error;
    EXPECT_FALSE(cli::writeImage(out, bad, error));
    EXPECT_EQ(readText(out), "previous");
    EXPECT_FALSE(cli::writeImage(join(dir, "missing/out.png"),
                                 makeImage(2, 2, 3, cli::SampleFormat::u8), error));
    EXPECT_NE(error.find("folder does not exist"), std::string::npos);
    EXPECT_TRUE(cli::writeImage(out, makeImage(2, 2, 3, cli::SampleFormat::u8), error)) << error;
    EXPECT_EQ(filesIn(dir), std::vector<std::string>{"out.png"});
    cli::Image back;
    ASSERT_TRUE(readTestImage(out, back));
    EXPECT_EQ(back.width, 2);
}

TEST(CliSample, TheSamplePictureIsDeterministicAndLooksLikeAPhoto) {
    cli::Image a = cli::makeSamplePicture(), b = cli::makeSamplePicture();
    ASSERT_EQ(a.width, 512);
    ASSERT_EQ(a.height, 384);
    ASSERT_EQ(a.channels, 3);
    EXPECT_EQ(a.data, b.data);
    EXPECT_GT(sampleOf(a, 10, 10, 2), sampleOf(a, 10, 10, 0)) << "a blue sky at the top";
    EXPECT_EQ(sampleOf(a, 0, 380, 0), 0) << "the gray ramp starts black";
    EXPECT_EQ(sampleOf(a, 511, 380, 1), 255) << "and ends white";
    std::set<uint32_t> colours;
    for (int32_t y = 0; y < a.height; y += 7)
        for (int32_t x = 0; x < a.width; x += 7)
            colours.insert(uint32_t(sampleOf(a, x, y, 0)) << 16 |
                           uint32_t(sampleOf(a, x, y, 1)) << 8 | uint32_t(sampleOf(a, x, y, 2)));
    EXPECT_GT(colours.size(), 500u) << "gradients, not flat areas only";
}

} // namespace
