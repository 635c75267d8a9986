// The HTML page writer: its escaping, URL encoding and file names, the
// markup of a whole page against one written by hand, the border pictures,
// and the page appearing only once complete. Natively the page and the
// pictures are also read by tidy, ImageMagick and Python's HTML decoder.
#include "export/border_gifs.h"
#include "export/html_page.h"
#include "platform/file.h"
#include "platform/path.h"
#include "shell_tools.h"
#include "tests/common/test_paths.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace qf {}
using namespace qf;

using namespace shelltools;

namespace {

std::string text(const std::vector<uint8_t>& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// The hand-written page: its lines end in LF in the repository (so that no
// checkout converts them); every line end of a page is CRLF.
bool expectedPage(const char* name, std::string& page) {
    const char* source = std::getenv("QF_SOURCE_DIR");
    if (!source || !*source) return false;
    const std::string path = qftest::nativePath(std::string(source) + "/tests/export/data/" + name);
    File file;
    if (file.openForReading(path.c_str()) != kFileOk) return false;
    std::string raw(size_t(file.size()), '\0');
    if (file.read(raw.data(), raw.size()) != kFileOk) return false;
    for (const char c : raw) {
        if (c == '\n') page += '\r';
        page += c;
    }
    return true;
}

TEST(HtmlPage, EscapingCoversEveryByteAsThePagesNeedIt) {
    // The markup characters; 123..159 by number, three digits; the Latin-1
    // range by name at its ends and where the names break the pattern.
    EXPECT_EQ(htmlEscape("\"a&b<c>d'"), "&quot;a&amp;b&lt;c&gt;d'");
    EXPECT_EQ(htmlEscape("z{|}~\x7F"), "z&#123;&#124;&#125;&#126;&#127;");
    EXPECT_EQ(htmlEscape("\x80\x89\x9F"), "&#128;&#137;&#159;");
    EXPECT_EQ(htmlEscape("\xA0\xAD\xD7\xE9\xF7\xFF"), "&nbsp;&shy;&times;&eacute;&divide;&yuml;");
    // Every other byte below 123 is copied, control characters included.
    for (int c = 0; c < 123; ++c) {
        if (c == '"' || c == '&' || c == '<' || c == '>') continue;
        const std::string one(1, char(c));
        EXPECT_EQ(htmlEscape(one), one) << c;
    }
    // Each byte from 160 on is one entity.
    for (int c = 160; c < 256; ++c) {
        const std::string e = htmlEscape(std::string(1, char(c)));
        EXPECT_TRUE(e.size() > 3 && e.front() == '&' && e.back() == ';' &&
                    e.find_first_of("&;", 1) == e.size() - 1)
            << c << " " << e;
    }
}

TEST(HtmlPage, UrlEncodingAndImageNames) {
    std::string all;
    for (int c = 0; c < 256; ++c) all += char(c);
    const std::string encoded = urlEncode(all);
    // 62 letters and digits stay, the other 194 bytes take three characters.
    EXPECT_EQ(encoded.size(), 62u + 194u * 3u);
    EXPECT_EQ(urlEncode("Az09 %/.~\xFF"), "Az09%20%25%2f%2e%7e%ff");

    // The presets file "A&B é.sa9", é being byte 233.
    EXPECT_EQ(htmlImageBaseName("A&B \xE9"), "A&B \x89");
    EXPECT_EQ(urlEncode(htmlImageBaseName("A&B \xE9")), "A%26B%20%89");
    EXPECT_EQ(htmlEscape(htmlImageBaseName("A&B \xE9")), "A&amp;B &#137;");
    // Control characters become spaces; a high byte whose low seven bits
    // plus 32 make a "." becomes "_"; separators become "_"; the extension
    // goes, but only the last one.
    EXPECT_EQ(htmlImageBaseName(std::string("a\x01\x1F\0b", 5)), "a   b");
    EXPECT_EQ(htmlImageBaseName("x\x8Ey"), "x_y");
    EXPECT_EQ(htmlImageBaseName("x\x8Dy.z"), "x-y");
    EXPECT_EQ(htmlImageBaseName("c:\\looks/blue.sa9"), "c__looks_blue");
    EXPECT_EQ(htmlImageBaseName("v1.2.3"), "v1.2");
    EXPECT_EQ(htmlImageBaseName(".hidden"), "");
    EXPECT_EQ(htmlImageBaseName("dot 25"), "dot 25");

    // Names in UTF-8 where paths are: characters, not bytes; what Latin-1
    // holds by name, the rest by number; the picture keeps the characters.
    EXPECT_EQ(htmlEscape("look \xC3\xA9 \xE5\x86\x99 \xF0\x9F\x8E\xA8 <&>", true),
              "look &eacute; &#20889; &#127912; &lt;&amp;&gt;");
    EXPECT_EQ(htmlEscape("\xC2\x80\xC2\xA0{", true), "&#128;&nbsp;&#123;");
    EXPECT_EQ(htmlImageBaseName("look \xC3\xA9/x.sa9", true), "look \xC3\xA9_x");
    // Not UTF-8 (a lone lead byte, an overlong form, a surrogate, past
    // U+10FFFF, cut short): the byte rules, as without the flag.
    for (const char* bytes :
         {"a\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE5\x86", "\xE9t\xE9"}) {
        EXPECT_EQ(htmlEscape(bytes, true), htmlEscape(bytes)) << bytes;
        EXPECT_EQ(htmlImageBaseName(bytes, true), htmlImageBaseName(bytes)) << bytes;
        EXPECT_FALSE(isUtf8BeyondAscii(bytes)) << bytes;
    }
    EXPECT_FALSE(isUtf8BeyondAscii("plain"));

    EXPECT_EQ(folderDisplayName("/home/me/my looks/"), "my looks");
    EXPECT_EQ(folderDisplayName("looks"), "looks");
    EXPECT_EQ(folderDisplayName(""), "");
}

TEST(HtmlPage, ASmallPageIsByteForByteTheHandWrittenOne) {
    std::string expected;
    if (!expectedPage("small_page.html", expected))
        GTEST_SKIP() << "QF_SOURCE_DIR is not set (run through ctest)";
    ScratchFiles scratch;
    const std::string path = scratch.file("page.html");
    HtmlPage page;
    ASSERT_EQ(page.open(path, kHtmlPresetsPage, 2, "my <looks>"), kFileOk);
    page.addCell("one", 10, 20);
    page.addCell("Tom & Jerry", 88, 88);
    page.addCell("v1.2", 5, 6);
    // Not there until it is closed.
    EXPECT_FALSE(fileExists(path.c_str()));
    ASSERT_EQ(page.close(), kFileOk);
    EXPECT_EQ(page.cells(), 3);
    EXPECT_EQ(text(scratch.read("page.html")), expected);
    EXPECT_EQ(page.imagePath("v1.2"), scratch.file("web_images") + kPathSeparator + "v1.jpg");
}

TEST(HtmlPage, HeadsOfTheKindsAndRowsThatEndExactly) {
    ScratchFiles scratch;
    struct Case {
        HtmlPageKind kind;
        const char* title;
        const char* heading;
    } cases[] = {
        {kHtmlPresetsPage, "Quillfire presets", "Quillfire presets from src<br>"},
        {kHtmlImagesPage, "Quillfire images", "Quillfire images from src<br>"},
        {kHtmlOutputModesPage, "Quillfire output modes",
         "Quillfire images from src output modes <br>"},
        {kHtmlMemoryDotsPage, "Quillfire memory dots",
         "Quillfire images from src memory dots <br>"},
    };
    for (const Case& c : cases) {
        HtmlPage page;
        ASSERT_EQ(page.open(scratch.file("p.html"), c.kind, 4, "src"), kFileOk);
        // Exactly one full row: no empty cells follow it.
        for (int i = 0; i < 4; ++i) page.addCell("n", 1, 1);
        ASSERT_EQ(page.close(), kFileOk);
        const std::string html = text(scratch.read("p.html"));
        EXPECT_NE(html.find(std::string("<title>") + c.title + "</title>"), std::string::npos);
        EXPECT_NE(html.find(std::string("<b>") + c.heading), std::string::npos) << c.kind;
        EXPECT_EQ(html.find("<p></p>"), std::string::npos);
        const std::string tail = "</td></tr></table><br>\r\n</body></html>";
        EXPECT_EQ(html.substr(html.size() - tail.size()), tail);
    }
    // Bold captions, and a page without cells: no rows at all.
    HtmlPage bold;
    bold.setBoldCaptions(true);
    ASSERT_EQ(bold.open(scratch.file("b.html"), kHtmlPresetsPage, 5, ""), kFileOk);
    bold.addCell("x", 1, 1);
    ASSERT_EQ(bold.close(), kFileOk);
    EXPECT_NE(text(scratch.read("b.html")).find("Arial\"><b>x</b></font>"), std::string::npos);
    HtmlPage empty;
    ASSERT_EQ(empty.open(scratch.file("e.html"), kHtmlMemoryDotsPage, 4, ""), kFileOk);
    ASSERT_EQ(empty.close(), kFileOk);
    const std::string e = text(scratch.read("e.html"));
    EXPECT_EQ(e.find("<tr>"), std::string::npos);
    EXPECT_NE(e.find("align=\"center\"></table><br>\r\n</body></html>"), std::string::npos);
}

TEST(HtmlPage, BorderPicturesAreWrittenByteForByte) {
    const size_t sizes[kBorderGifCount] = {125, 155, 154, 224};
    const char* names[kBorderGifCount] = {"top.gif", "left.gif", "right.gif", "bottom.gif"};
    ScratchFiles scratch;
    // An older, longer file is cut to the picture.
    ASSERT_TRUE(createFolder(scratch.file("web_images").c_str()) == kFileOk);
    scratch.write("web_images/top.gif", std::vector<uint8_t>(1000, 'x'));
    HtmlPage page;
    ASSERT_EQ(page.open(scratch.file("p.html"), kHtmlPresetsPage, 5, ""), kFileOk);
    for (int i = 0; i < kBorderGifCount; ++i) {
        const BorderGif& gif = borderGif(i);
        EXPECT_STREQ(gif.name, names[i]);
        ASSERT_EQ(gif.size, sizes[i]);
        const std::vector<uint8_t> own(gif.bytes, gif.bytes + gif.size);
        EXPECT_EQ(text(own).substr(0, 6), "GIF89a");
        EXPECT_EQ(own.back(), 0x3B); // the trailer
        // The logical screen is the size the table says.
        EXPECT_EQ(own[6] | own[7] << 8, gif.width);
        EXPECT_EQ(own[8] | own[9] << 8, gif.height);
        EXPECT_EQ(scratch.read(std::string("web_images/") + gif.name), own) << gif.name;
    }
    // A page never closed leaves no page behind.
    EXPECT_FALSE(fileExists(scratch.file("p.html").c_str()));
}

TEST(HtmlPage, APageThatCannotBeMadeSaysSo) {
    ScratchFiles scratch;
    HtmlPage page;
    // No folder to put the pictures in.
    EXPECT_EQ(page.open(scratch.file("missing/p.html"), kHtmlPresetsPage, 5, ""), kFileCannotOpen);
    EXPECT_EQ(page.close(), kFileCannotOpen);
    // A folder where the page would go.
    ASSERT_EQ(createFolder(scratch.file("taken.html").c_str()), kFileOk);
    HtmlPage taken;
    EXPECT_EQ(taken.open(scratch.file("taken.html"), kHtmlPresetsPage, 5, ""), kFileCannotOpen);
}

} // namespace

#ifndef _WIN32

namespace {

TEST(HtmlPageReaders, TidyFindsNoErrorsInAPageOfHostileNames) {
    if (!toolPresent("tidy")) GTEST_SKIP() << "tidy is not installed";
    ScratchFiles scratch;
    HtmlPage page;
    ASSERT_EQ(page.open(scratch.file("p.html"), kHtmlPresetsPage, 5, "<\"folder\"> & co"), kFileOk);
    std::string every;
    for (int c = 1; c < 256; ++c) every += char(c);
    page.addCell(every, 88, 88);
    page.addCell("A&B \xE9", 88, 88);
    page.addCell("</td></table>", 40, 20);
    ASSERT_EQ(page.close(), kFileOk);
    int status = 0;
    const std::string report = run("tidy -e -q '" + scratch.file("p.html") + "'", status);
    // 0: clean, 1: warnings (the frame tables' repeated id and height, images
    // without alt text), 2: errors.
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_LT(WEXITSTATUS(status), 2) << report;
    EXPECT_EQ(report.find("Error:"), std::string::npos) << report;
    EXPECT_EQ(report.find("entity"), std::string::npos) << report;
}

// (Python follows the newer rule that maps the numbers 127 to 159 to other
// characters, so those are left out.)
TEST(HtmlPageReaders, PythonDecodesEveryEscapedByteBack) {
    if (!toolPresent("python3")) GTEST_SKIP() << "python3 is not installed";
    std::string every;
    for (int c = 32; c < 256; ++c)
        if (c < 127 || c >= 160) every += char(c);
    ScratchFiles scratch;
    const std::string escaped = htmlEscape(every);
    scratch.write("escaped.txt", std::vector<uint8_t>(escaped.begin(), escaped.end()));
    int status = 0;
    const std::string decoded =
        run("python3 -c \"import html,sys; t=html.unescape(open(sys.argv[1]).read()); "
            "print(','.join(str(ord(c)) for c in t))\" '" +
                scratch.file("escaped.txt") + "'",
            status);
    std::string expected;
    for (int c = 32; c < 256; ++c)
        if (c < 127 || c >= 160) expected += (c > 32 ? "," : "") + std::to_string(c);
    EXPECT_EQ(decoded, expected + "\n");
}

TEST(HtmlPageReaders, ImageMagickReadsEachBorderPictureAtItsSize) {
    if (!toolPresent("identify")) GTEST_SKIP() << "ImageMagick is not installed";
    ScratchFiles scratch;
    for (int i = 0; i < kBorderGifCount; ++i) {
        const BorderGif& gif = borderGif(i);
        scratch.write(gif.name, std::vector<uint8_t>(gif.bytes, gif.bytes + gif.size));
        int status = 0;
        const std::string out =
            run("identify -format '%m %w %h %k' '" + scratch.file(gif.name) + "'", status);
        EXPECT_EQ(status, 0) << out;
        // Format, size, and the number of colours the picture uses.
        const int colours = i == 0 ? 2 : 3;
        EXPECT_EQ(out, "GIF " + std::to_string(gif.width) + " " + std::to_string(gif.height) + " " +
                           std::to_string(colours))
            << gif.name;
    }
}

} // namespace

#endif
