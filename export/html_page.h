// The HTML pages the dialog publishes: a contact sheet of framed pictures
// in rows, written as a plain HTML 4.01 Transitional file in ISO-8859-1
// with CRLF line ends. The pictures live in a "web_images" folder beside
// the page, together with the four border pictures that frame each one.
//
// The page appears under its name only once it is closed: it is written
// under a temporary name beside it and then takes its place, so a page
// that fails half-way leaves an older page as it was.
//
// Typical use:
//     HtmlPage page;
//     if (page.open(path, kHtmlPresetsPage, 5, folderName) != kFileOk) ...
//     for each picture: write it to page.imagePath(name), page.addCell(name, w, h)
//     page.close();
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/safe_write.h"

namespace qf {

class PyramidImage;

enum HtmlPageKind : int {
    kHtmlPresetsPage = 0,
    kHtmlImagesPage = 1,
    kHtmlOutputModesPage = 2,
    kHtmlMemoryDotsPage = 3,
};

constexpr char kWebImagesFolder[] = "web_images";
constexpr int kHtmlMaxColumns = 10;
constexpr int kPageImageQuality = 80;

// The name's bytes made safe for HTML text and attribute values: '"', '&',
// '<' and '>' as named entities, 123..159 as "&#nnn;", 160..255 as the
// named ISO-8859-1 entities ("&nbsp;" to "&yuml;"), the rest as they are.
// With `utf8`, a name that is valid UTF-8 is decoded first and the same
// rules apply to its characters, those beyond 255 as "&#nnnn;" (HTML 4.01
// allows them in any charset); a name that is not keeps the byte rules.
std::string htmlEscape(std::string_view text, bool utf8 = false);

// Whether `text` is valid UTF-8 with at least one character beyond ASCII.
bool isUtf8BeyondAscii(std::string_view text);

// Letters and digits as they are, every other byte as "%" and two
// lower-case hexadecimal digits.
std::string urlEncode(std::string_view text);

// The file name a page gives a picture called `name`, before its
// extension: control characters become spaces, a byte with the high bit set
// its low seven bits plus 32 ("_" when that is "."), "/", ":" and "\" become
// "_", and everything from the last "." is dropped. With `utf8`, a name
// that is valid UTF-8 keeps its characters beyond ASCII as they are.
std::string htmlImageBaseName(std::string_view name, bool utf8 = false);

// The last component of a folder path, trailing separators ignored.
std::string folderDisplayName(std::string_view folder);

// Writes `picture` (all of it) as a page's JPEG file: quality 80 with the
// usual IPTC and Exif blocks and no keywords. kFileOk, kFileCannotOpen or
// kFileWriteFailed.
int writePageImage(const PyramidImage& picture, const std::string& path);

class HtmlPage {
  public:
    HtmlPage() = default;
    HtmlPage(const HtmlPage&) = delete;
    HtmlPage& operator=(const HtmlPage&) = delete;
    // A page not closed is discarded: its file never appears, and the
    // pictures, border pictures and "web_images" folder it made are removed.
    ~HtmlPage();

    // Captions in bold; off unless set.
    void setBoldCaptions(bool on) { boldCaptions_ = on; }

    // Creates the "web_images" folder beside `pagePath` with the border
    // pictures in it, starts the page and writes its head: the title says
    // what `kind` of page it is, the heading names `sourceName` (HTML-escaped).
    // `columns` is limited to 1..10. `safeWriteFlags` go to SafeWrite::open
    // (the command-line tool's UTF-8 paths on Windows); with
    // kSafeWriteUtf8Path, names that are valid UTF-8 are written as such
    // (see htmlEscape). kFileOk, or kFileCannotOpen when the page or the
    // folder cannot be created; nothing is left behind then.
    int open(const std::string& pagePath, HtmlPageKind kind, int columns,
             std::string_view sourceName, unsigned safeWriteFlags = kSafeWriteDefault);

    // Where the picture of a cell named `name` belongs: the images folder,
    // the name's base name and `extension`; the base name followed by "-2",
    // "-3", ... when another page in the page's folder (or another cell of
    // this page) shows a picture of that name, so that no page's picture is
    // replaced by another's.
    std::string imagePath(std::string_view name, std::string_view extension = ".jpg") const;

    // One framed picture of `width` x `height` pixels with its caption; the
    // row ends after the last column.
    void addCell(std::string_view name, int32_t width, int32_t height);

    // Fills the last row with empty cells, ends the page and moves it into
    // place. kFileOk, kFileWriteFailed or kFileCannotOpen (the page is not
    // there then; SafeWrite's error() in writeError() tells why).
    int close();

    int cells() const { return cells_; }
    int writeError() const { return out_.error(); }
    const std::string& imagesFolder() const { return imagesFolder_; }

  private:
    void put(std::string_view text);
    void putNumber(int64_t value);
    void putImage(const std::string& base, std::string_view extension, int64_t width,
                  int64_t height, bool alt);
    std::string pictureName(std::string_view name, std::string_view extension) const;
    bool createdBefore(const std::string& path) const;
    void discard();
    void endCell();
    void rowTrailer();
    void flush();

    SafeWrite out_;
    std::string buffer_;
    std::string imagesFolder_; // ends with a separator
    int columns_ = 5;
    int column_ = 1;
    int row_ = 1;
    int cells_ = 0;
    bool boldCaptions_ = false;
    bool utf8_ = false;
    bool madeFolder_ = false;
    std::vector<std::string> made_;          // files this page created
    std::set<std::string> usedByOthers_;     // "web_images/..." sources of the folder's other pages
    std::map<std::string, std::string> own_; // this page's picture files, by cell name
    std::set<std::string> existing_;         // the images folder's files when opened
};

} // namespace qf
