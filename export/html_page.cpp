#include "export/html_page.h"

#include <algorithm>
#include <cstdio>

#include "composite/picture/pyramid_image.h"
#include "export/border_gifs.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/jpeg_writer.h"
#include "platform/file.h"
#include "platform/folder_listing.h"
#include "platform/path.h"

namespace qf {

namespace {

constexpr char kCrlf[] = "\r\n";
constexpr char kCellStart[] = "<td align=\"center\" valign=\"top\" width=\"20%\">";

// The HTML 4.01 names of the ISO-8859-1 characters 160 to 255.
const char* const kLatin1Entities[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",   "uml",
    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",   "deg",    "plusmn",
    "sup2",   "sup3",   "acute",  "micro",  "para",   "middot", "cedil",  "sup1",   "ordm",
    "raquo",  "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",  "Atilde",
    "Auml",   "Aring",  "AElig",  "Ccedil", "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave",
    "Iacute", "Icirc",  "Iuml",   "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde",
    "Ouml",   "times",  "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",
    "szlig",  "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",   "eth",
    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide", "oslash", "ugrave",
    "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml",
};

const char* const kPageTitles[] = {" presets", " images", " output modes", " memory dots"};

bool isAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Decodes `text` as UTF-8 into code points; false when it is not valid
// UTF-8 (overlong forms, surrogates and values past U+10FFFF included).
bool decodeUtf8(std::string_view text, std::vector<uint32_t>* out) {
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        int extra = 0;
        uint32_t cp = c;
        if (c < 0x80) {
            extra = 0;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (text.size() - i <= size_t(extra) && extra > 0) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto t = static_cast<unsigned char>(text[i + size_t(k)]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3Fu);
        }
        if ((extra == 2 && cp < 0x800) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (out) out->push_back(cp);
        i += size_t(extra) + 1;
    }
    return true;
}

void escapeCharacter(uint32_t c, std::string& out) {
    if (c == '"') {
        out += "&quot;";
    } else if (c == '&') {
        out += "&amp;";
    } else if (c == '<') {
        out += "&lt;";
    } else if (c == '>') {
        out += "&gt;";
    } else if ((c >= 123 && c <= 159) || c > 255) {
        char code[16];
        std::snprintf(code, sizeof code, "&#%03u;", unsigned(c));
        out += code;
    } else if (c >= 160) {
        out += '&';
        out += kLatin1Entities[c - 160];
        out += ';';
    } else {
        out += static_cast<char>(c);
    }
}

bool holdsBytes(const std::string& path, const uint8_t* bytes, size_t size) {
    File file;
    if (file.openForReading(path.c_str()) != kFileOk || file.size() != int64_t(size)) return false;
    std::vector<uint8_t> held(size);
    size_t got = 0;
    return file.read(held.data(), size, &got) == kFileOk && got == size &&
           std::equal(held.begin(), held.end(), bytes);
}

// The pictures the other pages (.htm, .html) of `folder` show from the
// images folder, as their sources read ("web_images/look1.jpg"); the page
// named `pageName` is left out, as it is being replaced.
std::set<std::string> picturesOfOtherPages(const std::string& folder, const std::string& pageName) {
    std::set<std::string> used;
    std::vector<std::string> names;
    const std::string listed = folder.empty() ? std::string(".") : folder;
    if (listFiles(listed.c_str(), "*.htm*", names) != kFileOk) return used;
    const std::string marker = std::string("src=\"") + kWebImagesFolder + "/";
    for (const std::string& name : names) {
        if (name == pageName) continue;
        File file;
        if (file.openForReading((folder + name).c_str()) != kFileOk) continue;
        // Our pages hold about 1.5 KB a picture; a larger file is read in
        // part.
        std::string text(size_t(std::clamp<int64_t>(file.size(), 0, int64_t(1) << 24)), '\0');
        size_t got = 0;
        file.read(text.data(), text.size(), &got);
        text.resize(got);
        for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker, at)) {
            at += 5; // past src="
            const size_t end = text.find('"', at);
            if (end == std::string::npos) break;
            used.insert(text.substr(at, end - at));
        }
    }
    return used;
}

// The folder part of a path, with its separator; empty for a bare name.
std::string folderOf(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && !isPathSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

} // namespace

bool isUtf8BeyondAscii(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; }) &&
           decodeUtf8(text, nullptr);
}

std::string htmlEscape(std::string_view text, bool utf8) {
    std::string out;
    out.reserve(text.size());
    std::vector<uint32_t> characters;
    if (utf8 && isUtf8BeyondAscii(text)) {
        decodeUtf8(text, &characters);
    } else {
        for (const char ch : text) characters.push_back(static_cast<unsigned char>(ch));
    }
    for (const uint32_t c : characters) escapeCharacter(c, out);
    return out;
}

std::string urlEncode(std::string_view text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (isAsciiAlnum(c)) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string htmlImageBaseName(std::string_view name, bool utf8) {
    std::string out;
    out.reserve(name.size());
    const bool keepHighBytes = utf8 && isUtf8BeyondAscii(name);
    for (const char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 32) c = ' ';
        if ((c & 0x80) && !keepHighBytes) {
            c = static_cast<unsigned char>((c & 0x7F) + 32);
            if (c == '.') c = '_';
        }
        if (c == '/' || c == ':' || c == '\\') c = '_';
        out += static_cast<char>(c);
    }
    // No '\' is left, so there is no folder part to drop; only the
    // extension goes.
    const size_t dot = out.rfind('.');
    if (dot != std::string::npos) out.resize(dot);
    return out;
}

std::string folderDisplayName(std::string_view folder) {
    size_t end = folder.size();
    while (end > 0 && isPathSeparator(folder[end - 1])) --end;
    size_t start = end;
    while (start > 0 && !isPathSeparator(folder[start - 1])) --start;
    return std::string(folder.substr(start, end - start));
}

int writePageImage(const PyramidImage& picture, const std::string& path) {
    File file;
    if (file.openForWriting(path.c_str()) != kFileOk) return kFileCannotOpen;
    IptcBlock iptc;
    ExifBlock exif;
    JpegRequest request;
    request.source = &picture;
    request.rect = PixelRect{0, 0, picture.height(), picture.width()};
    request.file = &file;
    request.quality = kPageImageQuality;
    request.iptc = &iptc;
    request.exif = &exif;
    int status = writeJpeg(request) == kJpegWriteOk ? kFileOk : kFileWriteFailed;
    if (status == kFileOk) status = file.setEndOfFile();
    const int closed = file.close();
    return status == kFileOk ? closed : status;
}

int HtmlPage::open(const std::string& pagePath, HtmlPageKind kind, int columns,
                   std::string_view sourceName, unsigned safeWriteFlags) {
    // A value cast from outside the kinds counts as the nearer end.
    kind = HtmlPageKind(std::clamp(int(kind), int(kHtmlPresetsPage), int(kHtmlMemoryDotsPage)));
    columns_ = std::clamp(columns, 1, kHtmlMaxColumns);
    column_ = 1;
    row_ = 1;
    cells_ = 0;
    buffer_.clear();

    discard();
    utf8_ = (safeWriteFlags & kSafeWriteUtf8Path) != 0;
    const std::string folder = folderOf(pagePath);
    // The page first: where it cannot be written, nothing is made.
    if (out_.open(pagePath.c_str(), safeWriteFlags) != kFileOk) return kFileCannotOpen;
    usedByOthers_ = picturesOfOtherPages(folder, pagePath.substr(folder.size()));
    imagesFolder_ = folder + kWebImagesFolder;
    std::vector<FolderEntry> entries;
    madeFolder_ = listFolder(imagesFolder_.c_str(), entries) != kFileOk;
    if (createFolder(imagesFolder_.c_str()) != kFileOk) {
        madeFolder_ = false;
        out_.discard();
        return kFileCannotOpen;
    }
    imagesFolder_ += kPathSeparator;
    for (const FolderEntry& e : entries) existing_.insert(imagesFolder_ + e.name);
    // The border pictures; a picture that cannot be written is not reported,
    // as the page's own pictures are not.
    for (int i = 0; i < kBorderGifCount; ++i) {
        const BorderGif& gif = borderGif(i);
        const std::string path = imagesFolder_ + gif.name;
        if (holdsBytes(path, gif.bytes, gif.size)) continue;
        File file;
        if (file.openForWriting(path.c_str()) != kFileOk) continue;
        if (!createdBefore(path)) made_.push_back(path);
        if (file.write(gif.bytes, gif.size) == kFileOk) file.setEndOfFile();
        file.close();
    }

    put("<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n\r\n"
        "<html>\r\n<head>\r\n"
        "<meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">\r\n"
        "<meta name=\"generator\" content=\"Tallowmere Quillfire\">"
        "<title>Quillfire");
    put(kPageTitles[kind]);
    put("</title>\r\n</head>\r\n\r\n<body bgcolor=\"#ffffff\">\r\n<p><br>\r\n\r\n"
        "<font size=\"4\" face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\"><b>Quillfire");
    put(kind == kHtmlPresetsPage ? " presets from " : " images from ");
    put(htmlEscape(sourceName, utf8_));
    if (kind == kHtmlOutputModesPage) put(" output modes ");
    if (kind == kHtmlMemoryDotsPage) put(" memory dots ");
    put("<br>\r\n</b></font></p>"
        "<table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" "
        "align=\"center\">");
    return kFileOk;
}

std::string HtmlPage::imagePath(std::string_view name, std::string_view extension) const {
    return imagesFolder_ + pictureName(name, extension) + std::string(extension);
}

// The base name of the picture of a cell named `name`: the name's base
// name, or that with "-2", "-3", ... when a picture of that name is shown by
// another page of the folder or by another cell of this one.
std::string HtmlPage::pictureName(std::string_view name, std::string_view extension) const {
    const std::string base = htmlImageBaseName(name, utf8_);
    for (int n = 1;; ++n) {
        const std::string candidate = n == 1 ? base : base + "-" + std::to_string(n);
        const std::string source =
            std::string(kWebImagesFolder) + "/" + urlEncode(candidate) + std::string(extension);
        const auto owner = own_.find(candidate + std::string(extension));
        const bool mine = owner != own_.end() && owner->second == name;
        if (mine || (owner == own_.end() && !usedByOthers_.count(source))) return candidate;
    }
}

void HtmlPage::put(std::string_view text) {
    buffer_ += text;
    if (buffer_.size() >= (1u << 16)) flush();
}

void HtmlPage::putNumber(int64_t value) {
    put(std::to_string(value));
}

void HtmlPage::flush() {
    if (!buffer_.empty() && out_.isOpen()) out_.write(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void HtmlPage::putImage(const std::string& base, std::string_view extension, int64_t width,
                        int64_t height, bool alt) {
    put("<img src=\"");
    put(kWebImagesFolder);
    put("/");
    put(urlEncode(base));
    put(extension);
    put("\"");
    if (alt) {
        put(" alt=\"");
        put(htmlEscape(base, utf8_));
        put(extension);
        put("\"");
    }
    put(" width=\"");
    putNumber(width);
    put("\" height=\"");
    putNumber(height);
    put("\" border=\"0\">");
}

void HtmlPage::addCell(std::string_view name, int32_t width, int32_t height) {
    if (column_ == 1) {
        put("<tr>");
    }
    const int64_t w = width, h = height;
    const std::string picture = pictureName(name, ".jpg");
    own_.emplace(picture + ".jpg", std::string(name));
    // A picture the page has just written is removed if the page fails.
    if (const std::string path = imagesFolder_ + picture + ".jpg"; !createdBefore(path))
        made_.push_back(path);
    put(kCellStart);
    put(kCrlf);
    put("<table id=\"Table_01\" width=\"");
    putNumber(w + 6);
    put("\" border=\"0\" cellspacing=\"0\" cellpadding=\"0\" height=\"");
    putNumber(h + 7);
    put("\">\r\n<tr>\r\n<td colspan=\"3\">");
    putImage("top", ".gif", w + 6, 2, false);
    put("</td>\r\n</tr>\r\n<tr>\r\n<td>");
    putImage("left", ".gif", 3, h, false);
    put("</td>\r\n<td>");
    putImage(picture, ".jpg", w, h, true);
    put("</td>\r\n<td>");
    putImage("right", ".gif", 3, h, false);
    put("</td>\r\n</tr>\r\n<tr>\r\n<td colspan=\"3\">");
    putImage("bottom", ".gif", w + 6, 5, false);
    put("</td>\r\n</tr>\r\n</table>\r\n");

    put("<div align=\"center\">\r\n<br><font  size=\"3\" face=\"Gill "
        "Sans,Verdana,Helvetica,Arial\">");
    if (boldCaptions_) put("<b>");
    put(htmlEscape(name, utf8_));
    if (boldCaptions_) put("</b>");
    put("</font></div></td>\r\n\r\n");
    ++cells_;
    endCell();
}

void HtmlPage::endCell() {
    if (++column_ <= columns_) return;
    put("</tr>");
    rowTrailer();
    ++row_;
    column_ = 1;
}

// The pages have no caption row: a row ends with a spacer row.
void HtmlPage::rowTrailer() {
    put(kCrlf);
    put("<tr>");
    for (int c = 0; c < columns_; ++c) {
        put(kCellStart);
        put("<p>&nbsp;</p></td>");
    }
    put("</tr>");
}

int HtmlPage::close() {
    if (!out_.isOpen()) return kFileCannotOpen;
    while (column_ > 1) {
        put(kCellStart);
        put("<p></p>\r\n<div align=\"center\">\r\n"
            "<p><font face=\"Hoefler Text,Times New Roman,Georgia,Times\"><b></b></font></p>\r\n"
            "</div>\r\n</td>\r\n\r\n");
        endCell();
    }
    put("</table><br>\r\n</body></html>");
    flush();
    const int status = out_.commit();
    if (status == kFileOk) {
        made_.clear();
        madeFolder_ = false;
    } else {
        discard();
    }
    return status;
}

bool HtmlPage::createdBefore(const std::string& path) const {
    return existing_.count(path) != 0;
}

HtmlPage::~HtmlPage() {
    discard();
}

// Removes what an unfinished page made.
void HtmlPage::discard() {
    out_.discard();
    for (const std::string& path : made_) deleteFile(path.c_str());
    made_.clear();
    if (madeFolder_) {
        std::string folder = imagesFolder_;
        while (!folder.empty() && isPathSeparator(folder.back())) folder.pop_back();
        deleteEmptyFolder(folder.c_str());
    }
    madeFolder_ = false;
    own_.clear();
    usedByOthers_.clear();
    existing_.clear();
}

} // namespace qf
