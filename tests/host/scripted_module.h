// A stand-in module for the host's tests: an entry point with PluginMain's
// signature whose behaviour each test scripts, plus helpers to ask the host
// for pixels the way a module does.
#pragma once

#include "host/filter_host.h"
#include "plugin/host_api.h"

#include <cstring>
#include <functional>
#include <vector>

namespace qf {}
using namespace qf;

namespace hosttest {

using Script = std::function<void(int16 selector, FilterRecord* fr, intptr_t* data, int16* result)>;

// The script the entry point runs; reset by every ScriptedModule.
inline Script& script() {
    static Script s;
    return s;
}

extern "C" inline void scriptedEntry(int16 selector, void* block, intptr_t* data, int16* result) {
    if (script()) script()(selector, static_cast<FilterRecord*>(block), data, result);
}

// Installs a script for the lifetime of the object.
struct ScriptedModule {
    explicit ScriptedModule(Script s) { script() = std::move(s); }
    ~ScriptedModule() { script() = nullptr; }
};

// A field of the packed filter record by value: gtest's macros bind
// references, and pointers of the record are not naturally aligned on
// 64-bit builds.
template <class T> T field(T value) {
    return value;
}

inline VRect vrect(int32 top, int32 left, int32 bottom, int32 right) {
    return VRect{top, left, bottom, right};
}

inline Rect rect16(const VRect& r) {
    return Rect{int16(r.top), int16(r.left), int16(r.bottom), int16(r.right)};
}

// Asks for input and output over `r` with all planes, rate 1, edge padding,
// through the 16-bit fields.
inline OSErr requestArea(FilterRecord* fr, const VRect& r, const VRect& mask = VRect{0, 0, 0, 0}) {
    fr->inRect = fr->outRect = rect16(r);
    fr->maskRect = rect16(mask);
    fr->inLoPlane = fr->outLoPlane = 0;
    fr->inHiPlane = fr->outHiPlane = int16(fr->planes - 1);
    fr->inputRate = fr->maskRate = 1 << 16;
    fr->inputPadding = fr->outputPadding = fr->maskPadding = plugInWantsEdgeReplication;
    return fr->advanceState();
}

inline void emptyRects(FilterRecord* fr) {
    fr->inRect = fr->outRect = fr->maskRect = Rect{0, 0, 0, 0};
    if (fr->bigDocumentData && fr->bigDocumentData->PluginUsing32BitCoordinates)
        fr->bigDocumentData->inRect32 = fr->bigDocumentData->outRect32 =
            fr->bigDocumentData->maskRect32 = VRect{0, 0, 0, 0};
}

// One sample of an interleaved host buffer as a double.
inline double bufferSample(const void* base, int32 rowBytes, int depth, int planesInBuffer, int x,
                           int y, int plane) {
    const char* p = static_cast<const char*>(base) + size_t(y) * size_t(rowBytes) +
                    (size_t(x) * size_t(planesInBuffer) + size_t(plane)) * size_t(depth / 8);
    if (depth == 8) return static_cast<unsigned char>(*p);
    if (depth == 16) {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return v;
    }
    float f;
    std::memcpy(&f, p, 4);
    return f;
}

inline void setBufferSample(void* base, int32 rowBytes, int depth, int planesInBuffer, int x, int y,
                            int plane, double value) {
    char* p = static_cast<char*>(base) + size_t(y) * size_t(rowBytes) +
              (size_t(x) * size_t(planesInBuffer) + size_t(plane)) * size_t(depth / 8);
    if (depth == 8) {
        *p = char(static_cast<unsigned char>(value));
    } else if (depth == 16) {
        uint16_t v = uint16_t(value);
        std::memcpy(p, &v, 2);
    } else {
        float f = float(value);
        std::memcpy(p, &f, 4);
    }
}

// Selectors in the order the host called them.
inline std::vector<int16> selectorsOf(const host::RunRecord& rec) {
    std::vector<int16> s;
    for (const auto& c : rec.selectors) s.push_back(c.selector);
    return s;
}

} // namespace hosttest
