// Folder listing for the presets page of the HTML export and the batch
// tool of the memory dots.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qf {

struct FolderEntry {
    std::string name; // the name within the folder, without a path
    bool isFolder = false;
    bool isReadOnly = false; // the current user cannot write to it
};

// Every entry of `folder` except "." and "..", sorted by nameLess.
// Symbolic links are described by their targets; a dangling link is left
// out. `folder` may end with a separator or not. kFileOk, or
// kFileCannotOpen when the folder cannot be listed (`entries` is empty).
int listFolder(const char* folder, std::vector<FolderEntry>& entries);

// The names of the files (not folders) of `folder` that match `pattern`
// (see matchesPattern), sorted by nameLess. kFileOk or kFileCannotOpen.
int listFiles(const char* folder, std::string_view pattern, std::vector<std::string>& names);

// Wildcard match without regard to letter case (ASCII): '*' stands for any
// run of characters, '?' for one character, every other character for
// itself. The pattern "*.*" matches every name, dotted or not, as on the
// system's own listings. "*.sa9" matches names ending in ".sa9", ".SA9"...
bool matchesPattern(std::string_view name, std::string_view pattern);

// The listing order, the same on every system: names compared without
// regard to ASCII letter case, ties broken by plain byte order.
bool nameLess(std::string_view a, std::string_view b);

} // namespace qf
