// The system-independent half of the folder listing: patterns, order and
// the filtered list. The entries themselves come from posix/ or win32/.
#include "platform/folder_listing.h"

#include "platform/file.h"

#include <algorithm>
#include <new>

namespace qf {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool matchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern == "*.*") pattern = "*";
    // Iterative wildcard match with one back-track point: linear in
    // practice and without recursion on hostile patterns.
    size_t n = 0, p = 0;
    size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || lowerAscii(pattern[p]) == lowerAscii(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

bool nameLess(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const unsigned char ca = static_cast<unsigned char>(lowerAscii(a[i]));
        const unsigned char cb = static_cast<unsigned char>(lowerAscii(b[i]));
        if (ca != cb) return ca < cb;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

int listFiles(const char* folder, std::string_view pattern, std::vector<std::string>& names) {
    names.clear();
    std::vector<FolderEntry> entries;
    const int status = listFolder(folder, entries);
    if (status != kFileOk) return status;
    try {
        for (FolderEntry& entry : entries) {
            if (!entry.isFolder && matchesPattern(entry.name, pattern)) {
                names.push_back(std::move(entry.name));
            }
        }
    } catch (const std::bad_alloc&) {
        names.clear();
        return kFileCannotOpen;
    }
    return kFileOk; // already in order: listFolder sorts
}

} // namespace qf
