// The presets page: which files of a folder it shows, how its rows fall,
// the names its pictures take, and the pictures themselves.
#include "composite/picture/pyramid_image.h"
#include "export/html_page.h"
#include "export/jpeg_codec.h"
#include "platform/file.h"
#include "platform/folder_listing.h"
#include "presets/presets_file.h"
#include "presets/presets_page.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

namespace {

struct Rgb {
    int r, g, b;
};

// A presets file whose picture is one colour (stored at 128 x 128, as
// every file we write stores it).
void writePreset(const ScratchFiles& folder, const std::string& name, Rgb colour) {
    PyramidImage picture;
    ASSERT_TRUE(picture.create(40, 30, kPyramidRGBA8));
    const FloatRGBA c{colour.r / 255.0f, colour.g / 255.0f, colour.b / 255.0f, 1.0f};
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 40; ++x) picture.storePixel(x, y, 0, c);
    SettingsRecord settings{};
    applyPlainDefaults(settings);
    ASSERT_EQ(writeSettingsFile(folder.file(name).c_str(), settings, &picture), kFileOk);
}

void fillRow(void* context, int, uint8_t* rgb, int width) {
    const Rgb& c = *static_cast<const Rgb*>(context);
    for (int x = 0; x < width; ++x) {
        rgb[3 * x] = uint8_t(c.r);
        rgb[3 * x + 1] = uint8_t(c.g);
        rgb[3 * x + 2] = uint8_t(c.b);
    }
}

// A presets file as another program may write it: its picture block holds
// a width x height picture (the layout allows up to 128 x 128).
void writePresetWithStoredSize(const ScratchFiles& folder, const std::string& name, Rgb colour,
                               int width, int height) {
    SettingsRecord settings{};
    applyPlainDefaults(settings);
    ASSERT_EQ(writeSettingsFile(folder.file(name).c_str(), settings, nullptr), kFileOk);
    std::vector<uint8_t> bytes = folder.read(name);
    ASSERT_EQ(bytes.size(), 104u); // the settings, then a 0 for "no picture"
    bytes.resize(100);
    std::vector<uint8_t> stream(64 * 1024);
    size_t length = 0;
    ASSERT_EQ(compressJpeg(width, height, 80, JpegMarkerSegments{}, fillRow, &colour, stream.data(),
                           stream.size(), &length),
              kJpegCodecOk);
    for (uint32_t v : {1u, uint32_t(width), uint32_t(height), uint32_t(length)})
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(uint8_t(v >> shift));
    bytes.insert(bytes.end(), stream.begin(), stream.begin() + ptrdiff_t(length));
    folder.write(name, bytes);
}

struct Decoded {
    JpegPictureInfo info;
    std::vector<uint8_t> rgb;
};

bool collect(void* context, int y, const uint8_t* samples, int width, int components) {
    auto& rgb = *static_cast<std::vector<uint8_t>*>(context);
    const size_t n = size_t(width) * size_t(components);
    rgb.resize(std::max(rgb.size(), size_t(y + 1) * n));
    std::copy(samples, samples + n, rgb.begin() + ptrdiff_t(size_t(y) * n));
    return true;
}

Decoded decode(const std::vector<uint8_t>& stream) {
    Decoded d;
    decompressJpeg(stream.data(), stream.size(), JpegDecodeLimits{}, collect, &d.rgb, &d.info);
    return d;
}

// Every pixel within `tolerance` of the colour.
bool allNear(const Decoded& d, Rgb c, int tolerance) {
    if (d.info.components != 3 || d.rgb.size() != size_t(d.info.width) * d.info.height * 3)
        return false;
    for (size_t i = 0; i < d.rgb.size(); i += 3) {
        if (std::abs(d.rgb[i] - c.r) > tolerance || std::abs(d.rgb[i + 1] - c.g) > tolerance ||
            std::abs(d.rgb[i + 2] - c.b) > tolerance)
            return false;
    }
    return true;
}

bool contains(const std::vector<uint8_t>& bytes, const std::string& part) {
    return std::search(bytes.begin(), bytes.end(), part.begin(), part.end()) != bytes.end();
}

// The page's cells and row ends in order: P a picture, E an empty cell,
// | the end of a row, S a spacer row.
std::string shapeOf(const std::string& html) {
    const std::pair<char, std::string> marks[] = {
        {'P', "alt=\""}, {'E', "<p></p>"}, {'|', "\r\n\r\n</tr>"}, {'S', "&nbsp;</p></td></tr>"}};
    std::map<size_t, char> at;
    for (const auto& [letter, mark] : marks)
        for (size_t p = html.find(mark); p != std::string::npos; p = html.find(mark, p + 1))
            at[p] = letter;
    std::string shape;
    for (const auto& [position, letter] : at) shape += letter;
    return shape;
}

std::string text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

TEST(PresetsPage, SevenPresetsFillARowAndTwoOfTheNext) {
    ScratchFiles source, out;
    const std::map<std::string, Rgb> presets = {
        {"1 red.sa9", {220, 30, 30}},     {"2 green.sa9", {30, 200, 40}},
        {"3 blue.sa9", {20, 40, 210}},    {"4 grey.sa9", {128, 128, 128}},
        {"5 white.sa9", {255, 255, 255}}, {"6 UPPER.SA9", {250, 200, 0}},
        {"7 old.sa9.bak", {0, 0, 0}},
    };
    for (const auto& [name, colour] : presets) writePreset(source, name, colour);
    // Neither a file without the extension nor a folder that has it.
    source.write("notes.txt", {'h', 'i'});
    ASSERT_EQ(createFolder(source.file("folder.sa9").c_str()), kFileOk);

    int cells = 0;
    ASSERT_EQ(writePresetsPage(source.folder(), out.file("page.html"), kSafeWriteDefault, &cells),
              kFileOk);
    EXPECT_EQ(cells, 7);
    const std::string html = text(out.read("page.html"));
    EXPECT_EQ(shapeOf(html), "PPPPP|SPPEEE|S");
    // Five columns; the captions in the listing's order, without the
    // extension; the heading names the folder.
    const std::string spacer =
        "<td align=\"center\" valign=\"top\" width=\"20%\"><p>&nbsp;</p></td>";
    int spacerCells = 0;
    for (size_t p = html.find(spacer); p != std::string::npos; p = html.find(spacer, p + 1))
        ++spacerCells;
    EXPECT_EQ(spacerCells, 2 * 5);
    size_t last = 0;
    for (const char* caption : {">1 red<", ">2 green<", ">3 blue<", ">4 grey<", ">5 white<",
                                ">6 UPPER<", ">7 old.sa9<"}) {
        const size_t at = html.find(caption);
        ASSERT_NE(at, std::string::npos) << caption;
        EXPECT_GT(at, last) << caption;
        last = at;
    }
    EXPECT_NE(html.find("presets from " + folderDisplayName(source.folder()) + "<br>"),
              std::string::npos);
    EXPECT_NE(html.find("src=\"web_images/7%20old.jpg\" alt=\"7 old.jpg\" width=\"88\" "
                        "height=\"88\""),
              std::string::npos);

    // Each picture as the file stores it (128 x 128; the cell shows it at
    // 88 x 88), the file's colour, with the usual metadata.
    for (const auto& [name, colour] : presets) {
        std::string stem = name.substr(0, name.rfind('.'));
        const std::vector<uint8_t> jpeg =
            out.read("web_images/" + htmlImageBaseName(stem) + ".jpg");
        const Decoded d = decode(jpeg);
        EXPECT_EQ(d.info.width, 128) << name;
        EXPECT_EQ(d.info.height, 128) << name;
        EXPECT_TRUE(allNear(d, colour, 4)) << name;
        EXPECT_TRUE(contains(jpeg, "Made with Quillfire")) << name;
        EXPECT_TRUE(contains(jpeg, std::string("Exif\0\0MM", 8))) << name;
    }
    std::vector<std::string> written;
    for (const auto& e : std::filesystem::directory_iterator(out.file("web_images")))
        written.push_back(e.path().filename().string());
    EXPECT_EQ(written.size(), 7u + 4u);
}

TEST(PresetsPage, ANameOutsideAsciiAndWithMarkup) {
    ScratchFiles source, out;
    writePreset(source, "A&B \xE9.sa9", {10, 120, 200});
    // The name must come back from the folder as it went in: a Windows
    // whose code page has no character for byte 233 (Wine in a UTF-8
    // locale) cannot hold it.
    std::vector<FolderEntry> entries;
    ASSERT_EQ(listFolder(source.folder().c_str(), entries), kFileOk);
    if (entries.size() != 1 || entries[0].name != "A&B \xE9.sa9")
        GTEST_SKIP() << "the system's code page cannot hold the name's byte 233";
    ASSERT_EQ(writePresetsPage(source.folder(), out.file("p.html")), kFileOk);
    const std::string html = text(out.read("p.html"));
    EXPECT_NE(html.find("<img src=\"web_images/A%26B%20%89.jpg\" alt=\"A&amp;B &#137;.jpg\" "
                        "width=\"88\" height=\"88\" border=\"0\">"),
              std::string::npos);
    EXPECT_NE(html.find("Arial\">A&amp;B &eacute;</font>"), std::string::npos);
    EXPECT_TRUE(allNear(decode(out.read("web_images/A&B \x89.jpg")), {10, 120, 200}, 4));
    // One picture, four empty cells.
    EXPECT_EQ(shapeOf(html), "PEEEE|S");
}

TEST(PresetsPage, FilesWithoutAPictureShowWhite) {
    ScratchFiles source, out;
    SettingsRecord settings{};
    applyPlainDefaults(settings);
    ASSERT_EQ(writeSettingsFile(source.file("bare.sa9").c_str(), settings, nullptr), kFileOk);
    // Not a presets file at all, and one whose picture is cut short.
    source.write("junk.sa9", std::vector<uint8_t>(300, 0xFF));
    writePreset(source, "cut.sa9", {0, 0, 255});
    std::vector<uint8_t> cut = source.read("cut.sa9");
    cut.resize(150);
    source.write("cut.sa9", cut);
    // A smaller stored picture is written at its own size too.
    writePresetWithStoredSize(source, "small.sa9", {200, 100, 0}, 60, 45);
    ASSERT_EQ(writePresetsPage(source.folder(), out.file("p.html")), kFileOk);
    for (const char* name : {"bare", "junk", "cut"}) {
        const Decoded d = decode(out.read(std::string("web_images/") + name + ".jpg"));
        EXPECT_EQ(d.info.width, 88) << name;
        EXPECT_EQ(d.info.height, 88) << name;
        EXPECT_TRUE(allNear(d, {255, 255, 255}, 1)) << name;
    }
    const Decoded small = decode(out.read("web_images/small.jpg"));
    EXPECT_EQ(small.info.width, 60);
    EXPECT_EQ(small.info.height, 45);
    EXPECT_TRUE(allNear(small, {200, 100, 0}, 4));
    const std::string html = text(out.read("p.html"));
    EXPECT_NE(html.find("src=\"web_images/small.jpg\" alt=\"small.jpg\" width=\"88\" "
                        "height=\"88\""),
              std::string::npos);
}

TEST(PresetsPage, NothingToShowWritesNothing) {
    ScratchFiles source, out;
    source.write("readme.txt", {'x'});
    EXPECT_EQ(writePresetsPage(source.folder(), out.file("p.html")), kPresetsPageNothingFound);
    EXPECT_EQ(writePresetsPage(source.file("missing"), out.file("p.html")),
              kPresetsPageNothingFound);
    EXPECT_FALSE(fileExists(out.file("p.html").c_str()));
    EXPECT_FALSE(std::filesystem::exists(out.file("web_images")));
    // A page that cannot be made.
    writePreset(source, "a.sa9", {1, 2, 3});
    EXPECT_EQ(writePresetsPage(source.folder(), out.file("no/such/folder/p.html")),
              kFileCannotOpen);
}

} // namespace
