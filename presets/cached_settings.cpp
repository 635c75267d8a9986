#include "presets/cached_settings.h"

#include "platform/file.h"
#include "platform/path.h"
#include "platform/temp_folder.h"
#include "presets/presets_file.h"

namespace qf {

namespace {

bool cachedSettingsPath(char (&path)[kPathLength]) {
    return temporaryPath(kCachedSettingsName, path, sizeof path) == kPlatformOk;
}

} // namespace

int writeCachedSettingsTo(const char* path, SettingsRecord& settings) {
    File file;
    if (file.openForWriting(path, kOpenOwnedOnly) != kFileOk) return kFileCannotOpen;
    int status = writeSettings(file, settings, nullptr);
    if (status == kFileOk) status = file.setEndOfFile();
    const int closed = file.close();
    return status != kFileOk ? status : closed;
}

int readCachedSettingsFrom(const char* path, SettingsRecord& settings) {
    return readSettingsFile(path, kPresetsLoad, &settings, nullptr, nullptr, kOpenOwnedOnly);
}

int writeCachedSettings(SettingsRecord& settings) {
    char path[kPathLength];
    if (!cachedSettingsPath(path)) return kFileCannotOpen;
    return writeCachedSettingsTo(path, settings);
}

int readCachedSettings(SettingsRecord& settings) {
    char path[kPathLength];
    if (!cachedSettingsPath(path)) return kFileCannotOpen;
    return readCachedSettingsFrom(path, settings);
}

} // namespace qf
