#include "host/cli/random_look.h"

#include <chrono>
#include <cstdlib>

#include "host/cli/presets_bridge.h"
#include "ui/random_change.h"
#include "values/random_source.h"

namespace qf::cli {

void applyRandomChange(Settings& settings, double strength, uint32_t state) {
    SettingsRecord record = recordFromSettings(settings);
    seedRandom(state);
    if (strength >= kRandomizeFull)
        randomize(record);
    else
        randomChange(record, strength);
    // The seed is not the random change's: left to the module when not given.
    const std::optional<int32_t> seed = settings.seed;
    settingsFromRecord(record, settings);
    settings.seed = seed;
}

bool parseStrength(const std::string& text, std::optional<double>& strength) {
    // Digits with at most one point: what the buttons' strengths look like.
    if (text.empty() || text.size() > 20) return false;
    size_t points = 0;
    for (char c : text) {
        if (c == '.')
            ++points;
        else if (c < '0' || c > '9')
            return false;
    }
    if (points > 1 || text == ".") return false;
    const double value = std::strtod(text.c_str(), nullptr);
    if (!(value >= 0.0 && value <= 1.0)) return false;
    strength = value;
    return true;
}

uint32_t freshRandomState() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    return uint32_t(std::chrono::duration_cast<std::chrono::seconds>(now).count());
}

} // namespace qf::cli
