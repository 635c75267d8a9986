#include "export/html_page.h"

#include <algorithm>
#include <cstdio>

#include "composite/picture/pyramid_image.h"
#include "export/border_gifs.h"
#include "export/exif_block.h"
#include "export/iptc_block.h"
#include "export/jpeg_writer.h"
#include "platform/file.h"
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

// The folder part of a path, with its separator; empty for a bare name.
std::string folderOf(const std::string& path) {
    size_t end = path.size();
    while (end > 0 && !isPathSeparator(path[end - 1])) --end;
    return path.substr(0, end);
}

} // namespace

std::string htmlEscape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"') {
            out += "&quot;";
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c >= 123 && c <= 159) {
            char code[8];
            std::snprintf(code, sizeof code, "&#%03u;", unsigned(c));
            out += code;
        } else if (c >= 160) {
            out += '&';
            out += kLatin1Entities[c - 160];
            out += ';';
        } else {
            out += ch;
        }
    }
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

std::string htmlImageBaseName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (const char ch : name) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 32) c = ' ';
        if (c & 0x80) {
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

    const std::string folder = folderOf(pagePath);
    imagesFolder_ = folder + kWebImagesFolder;
    if (createFolder(imagesFolder_.c_str()) != kFileOk) return kFileCannotOpen;
    imagesFolder_ += kPathSeparator;
    // The border pictures; a picture that cannot be written is not reported,
    // as the page's own pictures are not.
    for (int i = 0; i < kBorderGifCount; ++i) {
        const BorderGif& gif = borderGif(i);
        const std::string path = imagesFolder_ + gif.name;
        File file;
        if (file.openForWriting(path.c_str()) != kFileOk) continue;
        if (file.write(gif.bytes, gif.size) == kFileOk) file.setEndOfFile();
        file.close();
    }
    if (out_.open(pagePath.c_str(), safeWriteFlags) != kFileOk) return kFileCannotOpen;

    put("<!DOCTYPE html PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">\r\n\r\n"
        "<html>\r\n<head>\r\n"
        "<meta http-equiv=\"content-type\" content=\"text/html;charset=ISO-8859-1\">\r\n"
        "<meta name=\"generator\" content=\"Tallowmere Quillfire\">"
        "<title>Quillfire");
    put(kPageTitles[kind]);
    put("</title>\r\n</head>\r\n\r\n<body bgcolor=\"#ffffff\">\r\n<p><br>\r\n\r\n"
        "<font size=\"4\" face=\"Gill Sans,Verdana,Helvetica,Arial,Geneva\"><b>Quillfire");
    put(kind == kHtmlPresetsPage ? " presets from " : " images from ");
    put(htmlEscape(sourceName));
    if (kind == kHtmlOutputModesPage) put(" output modes ");
    if (kind == kHtmlMemoryDotsPage) put(" memory dots ");
    put("<br>\r\n</b></font></p>"
        "<table width=\"100%\" border=\"0\" cellspacing=\"12\" cellpadding=\"0\" "
        "align=\"center\">");
    return kFileOk;
}

std::string HtmlPage::imagePath(std::string_view name, std::string_view extension) const {
    return imagesFolder_ + htmlImageBaseName(name) + std::string(extension);
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

void HtmlPage::putImage(std::string_view name, std::string_view extension, int64_t width,
                        int64_t height, bool alt) {
    const std::string base = htmlImageBaseName(name);
    put("<img src=\"");
    put(kWebImagesFolder);
    put("/");
    put(urlEncode(base));
    put(extension);
    put("\"");
    if (alt) {
        put(" alt=\"");
        put(htmlEscape(base));
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
    putImage(name, ".jpg", w, h, true);
    put("</td>\r\n<td>");
    putImage("right", ".gif", 3, h, false);
    put("</td>\r\n</tr>\r\n<tr>\r\n<td colspan=\"3\">");
    putImage("bottom", ".gif", w + 6, 5, false);
    put("</td>\r\n</tr>\r\n</table>\r\n");

    put("<div align=\"center\">\r\n<br><font  size=\"3\" face=\"Gill "
        "Sans,Verdana,Helvetica,Arial\">");
    if (boldCaptions_) put("<b>");
    put(htmlEscape(name));
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
    return out_.commit();
}

} // namespace qf
