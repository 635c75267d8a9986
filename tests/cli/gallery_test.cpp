// `quillfire gallery`: the presets page of a folder of presets the CLI
// saved itself, the memory-dots page rendered through the module, what
// the command prints, and what it refuses.
#include "cli_support.h"
#include "export/jpeg_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace clitest;

namespace {

JpegPictureInfo jpegSize(const std::string& path) {
    const std::string stream = readText(path);
    JpegPictureInfo info;
    decompressJpeg(
        reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), JpegDecodeLimits{},
        [](void*, int, const uint8_t*, int, int) { return true; }, nullptr, &info);
    return info;
}

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
    return n;
}

// Three presets saved by `apply --save-preset` in `folder`/looks.
std::string savedPresets(const std::string& folder) {
    const std::string input = join(folder, "in.png"), looks = join(folder, "looks");
    fs::create_directories(looks);
    EXPECT_EQ(runCli({"sample", input}, folder).code, 0);
    const char* shapes[] = {"circles", "TVs", "fleurons"};
    for (int i = 0; i < 3; ++i) {
        const CliResult r = runCli({"apply", input, join(folder, "out.png"), "--shape", shapes[i],
                                    "--seed", std::to_string(i + 1), "--save-preset",
                                    join(looks, std::string(shapes[i]) + ".sa9")},
                                   folder);
        EXPECT_EQ(r.code, 0) << r.err;
    }
    return looks;
}

TEST(CliGallery, ThePresetsPageOfAFolder) {
    const std::string dir = testFolder();
    const std::string looks = savedPresets(dir);
    const std::string page = join(dir, "page.html");
    const CliResult r = runCli({"gallery", looks, page}, dir);
    ASSERT_EQ(r.code, 0) << r.err;
    // The page's path, and nothing else.
    EXPECT_EQ(fs::path(r.out.substr(0, r.out.size() - 1)), fs::absolute(page));
    EXPECT_EQ(r.out.back(), '\n');
    const std::string html = readText(page);
    EXPECT_NE(html.find("<title>Quillfire presets</title>"), std::string::npos);
    EXPECT_NE(html.find("presets from looks<br>"), std::string::npos);
    EXPECT_EQ(count(html, "alt=\""), 3u);
    for (const char* name : {"circles", "TVs", "fleurons"}) {
        EXPECT_NE(html.find(std::string("alt=\"") + name + ".jpg\""), std::string::npos) << name;
        const JpegPictureInfo info =
            jpegSize(join(dir, std::string("web_images/") + name + ".jpg"));
        // The picture as the presets file stores it (the CLI saves 128 x
        // 128), shown in an 88 x 88 cell.
        EXPECT_EQ(info.width, 128) << name;
        EXPECT_EQ(info.height, 128) << name;
    }
    EXPECT_EQ(count(html, "width=\"88\" height=\"88\""), 3u);
    EXPECT_EQ(filesIn(join(dir, "web_images")).size(), 3u + 4u);
}

TEST(CliGallery, RefusalsSayWhy) {
    const std::string dir = testFolder();
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* says;
    } cases[] = {
        {{"gallery", dir}, 2, "gallery needs FOLDER and PAGE.html"},
        {{"gallery", "--dots", dir}, 2, "gallery --dots needs INPUT and PAGE.html"},
        {{"gallery", dir, "p.html", "--seed", "3"}, 2, "unknown option '--seed'"},
        {{"gallery", join(dir, "nothing here"), join(dir, "p.html")}, 1, "is not a folder"},
        {{"gallery", dir, join(dir, "p.html")}, 1, "there are no presets files (.sa9)"},
    };
    for (const Case& c : cases) {
        const CliResult r = runCli(c.args, dir);
        EXPECT_EQ(r.code, c.code) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(fs::exists(join(dir, "p.html")));
    EXPECT_FALSE(fs::exists(join(dir, "web_images")));
    const CliResult help = runCli({"gallery", "--help"}, dir);
    EXPECT_EQ(help.code, 0);
    EXPECT_NE(help.out.find("gallery --dots INPUT PAGE.html"), std::string::npos);
}

#ifndef _WIN32

// (Under Wine a program's temporary folder is the prefix's whatever the
// environment says, so the dots are found only natively.)
TEST(CliGallery, TheMemoryDotsPageRendersEachFilledDotOverTheInput) {
    const std::string dir = testFolder();
    const std::string looks = savedPresets(dir);
    const std::string temp = join(dir, "temp");
    fs::create_directories(temp);
    // Dots 2 and 5 hold settings.
    fs::copy_file(join(looks, "circles.sa9"), join(temp, "Quillfire A memory dot 1.sa9"));
    fs::copy_file(join(looks, "TVs.sa9"), join(temp, "Quillfire A memory dot 4.sa9"));
    const std::map<std::string, std::string> env = {{"TMPDIR", temp}};
    const std::string page = join(dir, "dots.html");
    const CliResult r = runCli({"gallery", "--dots", join(dir, "in.png"), page}, dir, env);
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string html = readText(page);
    EXPECT_EQ(count(html, "alt=\""), 2u);
    // The sample is 512 x 384: 300 x 225.
    for (const char* name : {"dot 2", "dot 5"}) {
        EXPECT_NE(html.find(std::string("alt=\"") + name + ".jpg\" width=\"300\" height=\"225\""),
                  std::string::npos)
            << name;
        const JpegPictureInfo info =
            jpegSize(join(dir, std::string("web_images/") + name + ".jpg"));
        EXPECT_EQ(info.width, 300) << name;
        EXPECT_EQ(info.height, 225) << name;
    }
    // Two different looks.
    EXPECT_NE(readText(join(dir, "web_images/dot 2.jpg")),
              readText(join(dir, "web_images/dot 5.jpg")));

    // No dots: nothing to show.
    fs::remove_all(temp);
    fs::create_directories(temp);
    const CliResult none = runCli({"gallery", "--dots", join(dir, "in.png"), page}, dir, env);
    EXPECT_EQ(none.code, 1);
    EXPECT_NE(none.err.find("no memory dots are filled"), std::string::npos) << none.err;
}

TEST(CliGallery, OpenHandsThePageToTheDesktopOnlyWhenAsked) {
    const std::string dir = testFolder();
    const std::string looks = savedPresets(dir);
    // A stand-in for the desktop's opener, first on the path.
    const std::string bin = join(dir, "bin"), opened = join(dir, "opened.txt");
    fs::create_directories(bin);
    writeText(join(bin, "xdg-open"), "#!/bin/sh\nprintf '%s' \"$1\" > '" + opened + "'\n");
    fs::permissions(join(bin, "xdg-open"), fs::perms::owner_all);
    const std::map<std::string, std::string> env = {
        {"PATH", bin + ":" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "")}};
    const std::string page = join(dir, "page.html");
    ASSERT_EQ(runCli({"gallery", looks, page}, dir, env).code, 0);
    EXPECT_FALSE(fs::exists(opened));
    ASSERT_EQ(runCli({"gallery", looks, page, "--open"}, dir, env).code, 0);
    for (int wait = 0; wait < 100 && readText(opened).empty(); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(fs::path(readText(opened)), fs::absolute(page));
}

#endif

} // namespace
