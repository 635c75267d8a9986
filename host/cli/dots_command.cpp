#include "host/cli/dots_command.h"

#include <cstdio>

#include "host/cli/presets_bridge.h"
#include "host/cli/settings.h"
#include "platform/file.h"
#include "presets/memory_dots.h"

namespace qf::cli {

namespace {

// The dot's settings as flags; false with `error` when it cannot be read.
bool dotSettings(int number, std::string& path, std::string& flags, std::string& error) {
    if (!filledDotPath(number, path, error)) return false;
    Settings settings;
    if (!settingsFromPresetsFile(path, settings, error)) return false;
    flags = describeSettings(settings.toDescriptor());
    return true;
}

} // namespace

bool dotPresetPath(int number, std::string& path) {
    if (number < 1 || number > kDotCount) return false;
    return dotFilePath(number - 1, path);
}

bool filledDotPath(int number, std::string& path, std::string& error) {
    if (!dotPresetPath(number, path)) {
        error = "there is no memory dot " + std::to_string(number) + " (dots are 1 to 25)";
        return false;
    }
    // The temporary folder is shared: only a file of our own counts.
    if (!isOwnedRegularFile(path.c_str())) {
        error = "memory dot " + std::to_string(number) + " is empty";
        return false;
    }
    return true;
}

int listDots() {
    DotMap map{};
    loadDotMap(map);
    // Where the dots were looked for: the folder of the first dot's file.
    std::string folder;
    dotPresetPath(1, folder);
    folder.resize(folder.size() - dotFileName(0).size());
    int shown = 0;
    bool starred = false;
    for (int n = 1; n <= kDotCount; ++n) {
        std::string path, flags, error;
        if (!dotSettings(n, path, flags, error)) continue;
        if (shown == 0) std::printf("memory dots in %s:\n", folder.c_str());
        // A dot the dialog keeps for the next run is marked with '*'. The
        // files count from 0, the dots as the dialog shows them from 1.
        std::printf("%2d%s %s  (%s)\n", n, map.entry[n - 1] ? "*" : " ", flags.c_str(),
                    dotFileName(n - 1).c_str());
        starred |= map.entry[n - 1] != 0;
        ++shown;
    }
    if (shown == 0) std::printf("no memory dots are filled in %s\n", folder.c_str());
    if (starred) std::printf("(* the dialog shows the dot filled when it next opens)\n");
    return std::ferror(stdout) ? 1 : 0;
}

int showDot(int number) {
    std::string path, flags, error;
    if (!dotSettings(number, path, flags, error)) {
        std::fprintf(stderr, "quillfire: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\nfile: %s\n", flags.c_str(), path.c_str());
    return std::ferror(stdout) ? 1 : 0;
}

} // namespace qf::cli
