// libFuzzer target: settings descriptors, as an editor replaying a recorded
// action hands them to the module, run over a small document by our own
// host. Input: the host's serialized descriptor layout, or (first byte odd)
// items built from known keys and value types so that every reader of a
// value is reached.
#include "host/filter_host.h"
#include "plugin/plugin_entry.h"
#include "values/scripting_terms.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace qf {}
using namespace qf;

namespace {

void entry(int16 selector, void* block, intptr_t* data, int16* result) {
    pluginEntry(selector, block, data, result);
}

uint32_t word(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// 10 bytes an item: key choice, type choice, a four-byte value, a
// four-byte extra (enumeration type, unit, text length).
host::Descriptor built(const uint8_t* data, size_t size) {
    static const uint32_t kKeys[] = {
        kKeyGlue,        kKeyOverlap,      kKeyStripes,      kKeyWarping,    kKeySoftness,
        kKeyDoublure,    kKeyColor,        kKeyZoom,         kKeyComplexity, kKeyHue,
        kKeyMerge,       kKeyShape,        kKeyStripeKind,   kKeyRandomSeed, kKeyExportPath,
        kKeyExportWidth, kKeyExportHeight, kKeyExportQuality};
    constexpr size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];
    host::Descriptor d;
    for (size_t at = 0; at + 10 <= size; at += 10) {
        const uint32_t key =
            data[at] < 2 * kKeyCount ? kKeys[data[at] % kKeyCount] : word(data + at);
        const uint32_t value = word(data + at + 2), extra = word(data + at + 6);
        switch (data[at + 1] % 7) {
        case 0:
            d.putInteger(key, static_cast<int32_t>(value));
            break;
        case 1:
            d.putFloat(key, static_cast<double>(static_cast<int32_t>(value)) / 7.0);
            break;
        case 2:
            d.putUnitFloat(key, extra, static_cast<double>(static_cast<int32_t>(value)));
            break;
        case 3:
            d.putBoolean(key, value & 1);
            break;
        case 4:
            d.putEnumerated(key, extra, value);
            break;
        case 5:
            d.putText(key, std::string(reinterpret_cast<const char*>(data + at + 2), 8));
            break;
        default:
            d.putOpaque(key, extra, std::string(reinterpret_cast<const char*>(data + at + 2), 4));
        }
    }
    return d;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    host::Descriptor d;
    if (data[0] & 1)
        d = built(data + 1, size - 1);
    else if (!host::Descriptor::parse(data + 1, size - 1, d))
        return 0;
    // An editor's signature: the export keys must be ignored, so nothing is
    // ever written.
    host::HostOptions options;
    host::FilterHost filterHost(entry, options);
    host::Document doc =
        host::Document::make(24, 16, host::ColorModel::rgb, 8, host::Transparency::none);
    doc.fill({128, 64, 32});
    host::RunOptions run;
    run.descriptor = d;
    filterHost.run(doc, run);
    return 0;
}
