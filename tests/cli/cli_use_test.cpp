// The CLI as people use it, checked with readers nobody here wrote: camera
// photos turned upright with their metadata kept (exiftool, ImageMagick),
// gallery pages over UTF-8 names (tidy, Python's HTML and URL decoders),
// two pages in one folder, a page that fails, mistakes answered with the
// nearest names, printed flags reused from a shell variable, and
// transparency kept on request.
#include "cli_support.h"
#include "host/cli/jpeg_metadata.h"
#include "tests/export/shell_tools.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifndef _WIN32

using namespace clitest;
using namespace shelltools;

namespace {

std::string sh(const std::string& command, int& status) {
    std::string out = run(command, status);
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return out;
}

std::string sh(const std::string& command) {
    int status = 0;
    return sh(command, status);
}

std::string q(const std::string& s) {
    return quote(s);
}

// exiftool's values of `names` in the file, "-" for each it does not hold.
std::map<std::string, std::string> tags(const std::string& file,
                                        const std::vector<std::string>& names) {
    std::string command = "exiftool -s3 -f";
    for (const std::string& n : names) command += " -" + n;
    std::stringstream lines(sh(command + " " + q(file)));
    std::map<std::string, std::string> out;
    for (const std::string& n : names) std::getline(lines, out[n]);
    return out;
}

std::string tag(const std::string& file, const std::string& name) {
    return tags(file, {name})[name];
}

bool toolsPresent(std::initializer_list<const char*> tools) {
    for (const char* t : tools)
        if (!toolPresent(t)) return false;
    return true;
}

// Largest difference of any sample of two 8-bit images of one size; 999
// when they cannot be compared.
int largestDifference(const std::string& a, const std::string& b) {
    cli::Image x, y;
    std::string error;
    if (!cli::readImage(a, x, error) || !cli::readImage(b, y, error) || x.width != y.width ||
        x.height != y.height || x.channels != y.channels || x.format != y.format)
        return 999;
    int worst = 0;
    for (size_t i = 0; i < x.data.size(); ++i)
        worst = std::max(worst, std::abs(int(x.data[i]) - int(y.data[i])));
    return worst;
}

// A 64 x 48 picture stored sideways (48 x 64) as a camera does, with
// orientation `orientation` and the tags people care about.
std::string cameraPhoto(const std::string& dir, int orientation, const std::string& name) {
    const std::string photo = join(dir, name);
    sh("convert -size 48x64 gradient:red-blue -fill yellow -draw 'rectangle 0,0 11,7' "
       "-quality 100 " +
       q(photo));
    sh("exiftool -q -overwrite_original -Orientation#=" + std::to_string(orientation) +
       " -Artist='Ann Example' -Copyright='(c) Ann Example' -IPTC:Keywords=seaside "
       "'-ICC_Profile<=/usr/share/color/icc/ghostscript/esrgb.icc' " +
       q(photo));
    return photo;
}

TEST(CliCameraPhotos, EveryOrientationStandsUprightAsImageMagickTurnsIt) {
    if (!toolsPresent({"convert", "exiftool"})) GTEST_SKIP() << "ImageMagick or exiftool missing";
    const std::string dir = testFolder();
    // The stand-in module changes every pixel alike, so ImageMagick may
    // turn the filtered stored picture: the same pixels as ours turned
    // before filtering.
    const std::string stored = join(dir, "stored.png");
    const std::string plain = cameraPhoto(dir, 1, "o1.jpg");
    CliResult r = runCli({"apply", plain, stored, "--module", testModulePath()}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    const char* const kOrient[] = {"",           "TopLeft", "TopRight", "BottomRight",
                                   "BottomLeft", "LeftTop", "RightTop", "RightBottom",
                                   "LeftBottom"};
    for (int o = 2; o <= 8; ++o) {
        const std::string photo = join(dir, "o.jpg");
        fs::copy_file(plain, photo, fs::copy_options::overwrite_existing);
        sh("exiftool -q -overwrite_original -Orientation#=" + std::to_string(o) + " " + q(photo));
        const std::string ours = join(dir, "ours.png"), theirs = join(dir, "theirs.png");
        r = runCli({"apply", photo, ours, "--module", testModulePath()}, dir);
        ASSERT_EQ(r.code, 0) << r.err;
        sh("convert " + q(stored) + " -orient " + kOrient[o] + " -auto-orient " + q(theirs));
        EXPECT_LE(largestDifference(ours, theirs), 2) << "orientation " << o;
        // The Windows build's reader turns it alike.
        cli::Image library, stb;
        std::string error;
        ASSERT_TRUE(cli::readImage(photo, library, error)) << error;
        ASSERT_TRUE(cli::readImageStb(photo, stb, error)) << error;
        ASSERT_EQ(stb.width, library.width) << o;
        ASSERT_EQ(stb.height, library.height) << o;
        int worst = 0;
        for (size_t i = 0; i < stb.data.size(); ++i)
            worst = std::max(worst, std::abs(int(stb.data[i]) - int(library.data[i])));
        EXPECT_LE(worst, 3) << "orientation " << o;
    }
}

TEST(CliCameraPhotos, ExifIptcAndTheProfileAreKeptAndTheOrientationReset) {
    if (!toolsPresent({"convert", "exiftool", "identify"}))
        GTEST_SKIP() << "ImageMagick or exiftool missing";
    if (!fs::exists("/usr/share/color/icc/ghostscript/esrgb.icc"))
        GTEST_SKIP() << "no ICC profile to embed";
    const std::string dir = testFolder();
    const std::string photo = cameraPhoto(dir, 6, "camera.jpg");
    ASSERT_EQ(tag(photo, "ImageSize"), "48x64");
    for (const std::string name : {"out.jpg", "out.png", "out.tif"}) {
        const std::string out = join(dir, name);
        const CliResult r = runCli({"apply", photo, out, "--glue", "soft-light"}, dir);
        ASSERT_EQ(r.code, 0) << name << ": " << r.err;
        auto t = tags(out, {"ImageSize", "Orientation", "Artist", "Author", "Copyright",
                            "ProfileDescription", "Keywords"});
        EXPECT_EQ(t["ImageSize"], "64x48") << name;
        EXPECT_TRUE(t["Orientation"] == "-" || t["Orientation"] == "Horizontal (normal)")
            << name << ": " << t["Orientation"];
        // PNG's text chunk calls the artist the author.
        EXPECT_EQ(name == "out.png" ? t["Author"] : t["Artist"], "Ann Example") << name;
        EXPECT_EQ(t["Copyright"], "(c) Ann Example") << name;
        EXPECT_NE(t["ProfileDescription"].find("esRGB"), std::string::npos) << name;
        if (name != "out.tif") {
            EXPECT_EQ(t["Keywords"], "seaside") << name;
        }
    }
    // The quality asked for, and the library's 98 otherwise.
    const std::string low = join(dir, "low.jpg");
    ASSERT_EQ(runCli({"apply", photo, low, "--quality", "60"}, dir).code, 0);
    EXPECT_EQ(sh("identify -format %Q " + q(low)), "60");
    EXPECT_EQ(sh("identify -format %Q " + q(join(dir, "out.jpg"))), "98");
    // The module's export takes the picture upright too, with the camera's
    // segments in place of its own.
    sh("exiftool -q -overwrite_original -XMP:Title=Pier " + q(photo));
    const std::string exported = join(dir, "export.jpg");
    const CliResult e = runCli({"export", photo, exported}, dir);
    ASSERT_EQ(e.code, 0) << e.err;
    auto t = tags(exported, {"ImageSize", "Orientation", "Artist", "Copyright", "Keywords",
                             "XMP:Title", "ProfileDescription"});
    EXPECT_EQ(t["ImageSize"], "64x48");
    EXPECT_EQ(t["Orientation"], "Horizontal (normal)");
    EXPECT_EQ(t["Artist"], "Ann Example");
    EXPECT_EQ(t["Copyright"], "(c) Ann Example");
    EXPECT_EQ(t["Keywords"], "seaside");
    EXPECT_EQ(t["XMP:Title"], "Pier");
    EXPECT_NE(t["ProfileDescription"].find("esRGB"), std::string::npos);
    EXPECT_EQ(sh("identify -format %wx%h " + q(exported)), "64x48") << "a stream others read";
}

// The header reader of the export's metadata over every cut of a real
// header and over bytes that lie about their lengths.
TEST(CliCameraPhotos, JpegHeadersAreReadSafelyWhateverTheirBytes) {
    std::vector<uint8_t> exif = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0,    0, 'I', 'I',
                                 42,   0,    8, 0, 0,   0,   1,   0,   0x12, 1, 3,   0,
                                 1,    0,    0, 0, 6,   0,   0,   0,   0,    0, 0,   0};
    exif[3] = uint8_t(exif.size() - 2);
    std::vector<uint8_t> header = {0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 'J', 'F'};
    for (const uint8_t b : exif) header.push_back(b);
    const std::vector<uint8_t> scan = {0xFF, 0xDB, 0, 3, 9, 0xFF, 0xD9};
    std::vector<uint8_t> file = header;
    for (const uint8_t b : scan) file.push_back(b);

    cli::JpegMetadata md = cli::jpegMetadata(file);
    ASSERT_EQ(md.segments.size(), 1u);
    EXPECT_TRUE(md.exif);
    ASSERT_TRUE(cli::setExifUpright(md.segments[0]));
    EXPECT_EQ(md.segments[0][28], 1); // the orientation's value, little-endian
    // Spliced into a stream with its own Exif: one Exif, after the JFIF.
    std::vector<uint8_t> out;
    ASSERT_TRUE(cli::spliceJpegMetadata(file, md, out));
    EXPECT_EQ(out.size(), file.size());
    EXPECT_TRUE(std::equal(scan.begin(), scan.end(), out.end() - std::ptrdiff_t(scan.size())));
    EXPECT_EQ(out[8 + 28], 1);
    // Every cut, and lengths that overrun: no read past the bytes.
    for (size_t n = 0; n <= file.size(); ++n) {
        std::vector<uint8_t> cut(file.begin(), file.begin() + std::ptrdiff_t(n));
        cli::JpegMetadata m = cli::jpegMetadata(cut);
        for (std::vector<uint8_t>& s : m.segments) cli::setExifUpright(s);
        std::vector<uint8_t> spliced;
        cli::spliceJpegMetadata(cut, md, spliced);
        std::vector<uint8_t> segment(exif.begin(),
                                     exif.begin() + std::ptrdiff_t(std::min(n, exif.size())));
        cli::setExifUpright(segment);
    }
    std::vector<uint8_t> lying = exif;
    lying[16] = 0xFF; // the directory's count
    EXPECT_FALSE(cli::setExifUpright(lying));
    lying = exif;
    lying[14] = 0xF0; // the directory's offset
    EXPECT_FALSE(cli::setExifUpright(lying));
    EXPECT_TRUE(cli::jpegMetadata({0x89, 'P', 'N', 'G'}).empty());
    // A profile in APP2 segments of at most 64 KB, numbered.
    const std::vector<std::vector<uint8_t>> icc = cli::iccSegments(std::vector<uint8_t>(140000, 7));
    ASSERT_EQ(icc.size(), 3u);
    for (size_t i = 0; i < icc.size(); ++i) {
        EXPECT_EQ(size_t(icc[i][2]) << 8 | icc[i][3], icc[i].size() - 2);
        EXPECT_EQ(icc[i][16], i + 1);
        EXPECT_EQ(icc[i][17], 3);
    }
}

// `count` presets saved by the CLI into `folder`, each under `name` plus a
// number, with seeds from `seed` on.
void savePresets(const std::string& dir, const std::string& folder, const std::string& name,
                 int count, int seed) {
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        const CliResult r =
            runCli({"render", "--size", "24x24", join(dir, "scratch.png"), "--seed",
                    std::to_string(seed + i), "--save-preset",
                    join(folder, name + (count > 1 ? std::to_string(i + 1) : "") + ".sa9")},
                   dir);
        ASSERT_EQ(r.code, 0) << r.err;
    }
}

// The picture files a page shows, decoded from its sources.
std::vector<std::string> picturesOf(const std::string& page) {
    const std::string script = "import re,sys,urllib.parse\n"
                               "t=open(sys.argv[1],encoding='latin-1').read()\n"
                               "for s in re.findall(r'<img src=\"(web_images/[^\"]*\\.jpg)\"',t):"
                               " print(urllib.parse.unquote(s))\n";
    std::stringstream lines(sh("python3 -c " + q(script) + " " + q(page)));
    std::vector<std::string> out;
    for (std::string line; std::getline(lines, line);) out.push_back(line);
    return out;
}

TEST(CliGallery, UtfEightNamesReadBackThroughTidyAndPython) {
    if (!toolsPresent({"tidy", "python3"})) GTEST_SKIP() << "tidy or python3 missing";
    const std::string dir = testFolder();
    const std::string folder = join(dir, "\xC3\xBCn\xC3\xAF"
                                         "c\xC3\xB6"
                                         "d\xC3\xA9 \xE5\x86\x99\xE7\x9C\x9F");
    savePresets(dir, folder, "look \xC3\xA9", 1, 5);
    savePresets(dir, folder, "\xE5\x86\x99 <&>", 1, 6);
    const std::string page = join(dir, "page \xC3\xA9.html");
    const CliResult r = runCli({"gallery", folder, page}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    int status = 0;
    const std::string tidy = sh("tidy -e -q " + q(page), status);
    EXPECT_LE(status, 1) << tidy; // 1: warnings only
    // The heading and captions decode to the names, the pictures' sources
    // to files that are there.
    const std::string script =
        "import html,re,sys\n"
        "t=open(sys.argv[1],encoding='latin-1').read()\n"
        "print(html.unescape(re.search(r'<b>(Quillfire presets from [^<]*)<br>',t).group(1)))\n"
        "for c in re.findall(r'Arial\">([^<]*)</font>',t): print(html.unescape(c))\n";
    const std::string decoded = sh("python3 -c " + q(script) + " " + q(page));
    EXPECT_NE(decoded.find("Quillfire presets from \xC3\xBCn\xC3\xAF"
                           "c\xC3\xB6"
                           "d\xC3\xA9 \xE5\x86\x99\xE7\x9C\x9F\n"),
              std::string::npos)
        << decoded;
    EXPECT_NE(decoded.find("\nlook \xC3\xA9\n"), std::string::npos) << decoded;
    EXPECT_NE(decoded.find("\n\xE5\x86\x99 <&>\n"), std::string::npos) << decoded;
    const std::vector<std::string> pictures = picturesOf(page);
    ASSERT_EQ(pictures.size(), 2u);
    for (const std::string& p : pictures) EXPECT_TRUE(fs::exists(join(dir, p))) << p;
    EXPECT_NE(std::find(pictures.begin(), pictures.end(), "web_images/look \xC3\xA9.jpg"),
              pictures.end());
}

TEST(CliGallery, TwoPagesInOneFolderKeepTheirOwnPicturesAndFailuresLeaveNothing) {
    if (!toolPresent("python3")) GTEST_SKIP() << "python3 missing";
    const std::string dir = testFolder();
    const std::string a = join(dir, "A"), b = join(dir, "B");
    savePresets(dir, a, "look", 2, 1);
    savePresets(dir, b, "look", 2, 7);
    // A file that only bears the extension: named and left out.
    writeText(join(b, "notes.sa9"), "not a presets file\n");
    ASSERT_EQ(runCli({"gallery", a, join(dir, "a.html")}, dir).code, 0);
    const std::vector<std::string> first = picturesOf(join(dir, "a.html"));
    ASSERT_EQ(first.size(), 2u);
    std::vector<std::string> bytes;
    for (const std::string& p : first) bytes.push_back(readText(join(dir, p)));

    const CliResult second = runCli({"gallery", b, join(dir, "b.html")}, dir);
    ASSERT_EQ(second.code, 0) << second.err;
    ASSERT_EQ(second.errLines().size(), 1u) << second.err;
    EXPECT_NE(second.err.find("notes.sa9' is not a presets file"), std::string::npos);
    EXPECT_NE(second.err.find("left out of the page"), std::string::npos);
    const std::vector<std::string> other = picturesOf(join(dir, "b.html"));
    ASSERT_EQ(other.size(), 2u);
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(readText(join(dir, first[i])), bytes[i]) << first[i] << " was replaced";
        EXPECT_EQ(std::find(other.begin(), other.end(), first[i]), other.end()) << first[i];
        EXPECT_TRUE(fs::exists(join(dir, other[i]))) << other[i];
    }
    // Written again, a page takes its own names back: nothing piles up.
    const std::vector<std::string> before = filesIn(join(dir, "web_images"));
    ASSERT_EQ(runCli({"gallery", b, join(dir, "b.html")}, dir).code, 0);
    EXPECT_EQ(picturesOf(join(dir, "b.html")), other);
    EXPECT_EQ(filesIn(join(dir, "web_images")), before);

    // A page that cannot be written says why and leaves nothing, in a
    // fresh folder and beside the pages already there.
    const std::string fresh = join(dir, "fresh");
    fs::create_directories(fresh);
    CliResult r = runCli({"gallery", a, join(fresh, "missing/page.html")}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "quillfire: cannot write the page '" + join(fresh, "missing/page.html") +
                         "': the folder does not exist\n");
    EXPECT_TRUE(filesIn(fresh).empty());
    writeText(join(fresh, "web_images"), "a file where the pictures go");
    r = runCli({"gallery", a, join(fresh, "p.html")}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is there and is not a folder"), std::string::npos) << r.err;
    EXPECT_EQ(filesIn(fresh), std::vector<std::string>{"web_images"});
    fs::create_directories(join(fresh, "taken.html"));
    r = runCli({"gallery", a, join(fresh, "taken.html")}, dir);
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("': it is a folder"), std::string::npos) << r.err;
}

// A folder with a small input picture.
struct Folder {
    std::string dir = testFolder();
    std::string in = join(dir, "in.png");
    std::string out = join(dir, "out.png");
    Folder() {
        cli::Image image;
        image.width = 8;
        image.height = 6;
        image.channels = 3;
        image.data.assign(image.rowBytes() * 6, 128);
        std::string error;
        EXPECT_TRUE(cli::writeImage(in, image, error)) << error;
    }
};

TEST(CliMistakes, TyposGetTheNearestNamesAndExtraNamesAreNamed) {
    Folder s;
    const struct {
        std::vector<std::string> args;
        const char* fragment;
    } cases[] = {
        {{"--glue", "multipy"}, "did you mean 'multiply'?"},
        {{"--glue", "softlight"}, "did you mean 'soft-light'?"},
        {{"--glue", "color dodge"}, "'color' or 'dodge'"},
        {{"--glue", "harshdiff"}, "'hard-diff'"},
        {{"--shape", "circle"}, "did you mean 'circles'?"},
        {{"--glu", "multiply"}, "unknown option '--glu'; did you mean '--glue'?"},
        {{"--overlp", "5"}, "did you mean '--overlap'?"},
        {{"--randomize", "2"}, "--randomize takes a strength from 0 to 1 (got '2')"},
        {{"--randomize", "abc"}, "'abc' is one name too many ('abc' is not a value of --randomize"},
        {{"extra.png"}, "apply takes INPUT and OUTPUT; 'extra.png' is one name too many"},
        {{"--random-state", "7"}, "--random-state starts the changes of --randomize"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args = {"apply", s.in, s.out};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const CliResult r = runCli(args, s.dir);
        EXPECT_EQ(r.code, 2) << c.fragment;
        ASSERT_EQ(r.errLines().size(), 1u) << r.err;
        EXPECT_NE(r.err.find(c.fragment), std::string::npos) << r.err;
    }
    CliResult r = runCli({"aply", s.in, s.out}, s.dir);
    EXPECT_NE(r.err.find("did you mean 'apply'?"), std::string::npos) << r.err;
    // Nothing near: no guess.
    r = runCli({"apply", s.in, s.out, "--glue", "sparkle"}, s.dir);
    EXPECT_EQ(r.err.find("did you mean"), std::string::npos) << r.err;
    // Bare quillfire: a few lines, not the whole help.
    r = runCli({}, s.dir);
    EXPECT_EQ(r.code, 2);
    EXPECT_LT(r.errLines().size(), 12u) << r.err;
    EXPECT_NE(r.err.find("quillfire --help"), std::string::npos);
    EXPECT_EQ(filesIn(s.dir), std::vector<std::string>{"in.png"});
}

TEST(CliMistakes, PrintedFlagsWorkFromAShellVariableAndDashDashEndsTheOptions) {
    const std::string dir = testFolder();
    const std::string a = join(dir, "a.png"), b = join(dir, "b.png");
    const std::string cli = q(cliPath());
    int status = 0;
    const std::string script = "f=$(" + cli + " render --size 40x30 " + q(a) +
                               " --glue 'soft light' --shape octagons --seed 3000000000"
                               " --randomize 0.5 --random-state 9 --print-settings) && " +
                               cli + " render --size 40x30 " + q(b) + " $f && echo \"$f\"";
    const std::string out = sh(script, status);
    ASSERT_EQ(status, 0) << out;
    EXPECT_NE(out.find("--glue soft-light"), std::string::npos) << out;
    EXPECT_NE(out.find("--seed -1294967296"), std::string::npos) << out;
    EXPECT_EQ(readText(a), readText(b));
    // After "--" a name that starts with dashes is a file.
    const std::string made = sh("cd " + q(dir) + " && " + cli + " sample -- --odd.png", status);
    EXPECT_EQ(status, 0) << made;
    EXPECT_TRUE(fs::exists(join(dir, "--odd.png")));
}

TEST(CliTransparency, KeepTransparencyLetsTheInputsAlphaLimitTheResult) {
    const std::string dir = testFolder();
    cli::Image in;
    in.width = 32;
    in.height = 8;
    in.channels = 4;
    in.data.resize(in.rowBytes() * size_t(in.height));
    for (int32_t y = 0; y < in.height; ++y)
        for (int32_t x = 0; x < in.width; ++x) {
            uint8_t* p = in.data.data() + (size_t(y) * size_t(in.width) + size_t(x)) * 4;
            p[0] = 200, p[1] = 120, p[2] = 40, p[3] = uint8_t(x * 8); // 0 to 248
        }
    std::string error;
    const std::string input = join(dir, "in.png");
    ASSERT_TRUE(cli::writeImage(input, in, error)) << error;
    const std::string kept = join(dir, "kept.png"), filled = join(dir, "filled.png");
    CliResult r = runCli({"apply", input, kept, "--keep-transparency", "--overlap", "100"}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    r = runCli({"apply", input, filled, "--overlap", "100"}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    cli::Image k, f;
    ASSERT_TRUE(cli::readImage(kept, k, error)) << error;
    ASSERT_TRUE(cli::readImage(filled, f, error)) << error;
    ASSERT_EQ(k.channels, 4);
    int filledIn = 0;
    for (size_t i = 3; i < k.data.size(); i += 4) {
        EXPECT_LE(k.data[i], in.data[i]) << "pixel " << i / 4;
        filledIn += f.data[i] > in.data[i];
    }
    EXPECT_GT(filledIn, 0) << "without the flag the pattern fills transparent areas in";
    // A picture without transparency: said, and nothing else changes.
    r = runCli({"apply", join(dir, "kept.png"), join(dir, "x.png"), "--keep-transparency"}, dir);
    EXPECT_EQ(r.code, 0);
    const std::string rgb = join(dir, "rgb.png");
    ASSERT_EQ(runCli({"sample", rgb}, dir).code, 0);
    r = runCli({"apply", rgb, join(dir, "y.png"), "--keep-transparency"}, dir);
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("has no transparency"), std::string::npos) << r.err;
}

} // namespace

#endif
