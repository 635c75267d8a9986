// A small stand-in filter module for the command-line tool's tests: it
// inverts the colour planes of the filter area band by band through
// advanceState, reports progress, honours the abort test, and echoes the
// scripting descriptor it was given back at finish, so that the tests can
// see exactly which settings reached it. Environment variables steer it:
//   QF_TEST_MODULE_RESULT    result code of the start selector instead of filtering
//   QF_TEST_MODULE_MESSAGE   text left in the record's error string with that result
//   QF_TEST_MODULE_DELAY_MS  pause after every band (for the progress bar)
//   QF_TEST_MODULE_HOST_SIG  the host signature the host must show (four
//                            characters); any other fails the run, naming it
//   QF_TEST_MODULE_STUCK     (POSIX) at start, block every signal in the
//                            calling thread, say so on stderr and never return,
//                            as a library stuck in its initialiser may
#include "plugin/host_api.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

#if !defined(_WIN32)
#include <signal.h>
#include <unistd.h>
#endif

#if defined(_WIN32)
#define TEST_MODULE_EXPORT __declspec(dllexport)
#else
#define TEST_MODULE_EXPORT __attribute__((visibility("default")))
#endif

namespace qf {}
using namespace qf;

namespace {

struct Item {
    DescriptorKeyID key;
    DescType type;
    DescType enumType;
    int32 value;
};

Item g_items[32];
int g_itemCount = 0;

int envInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

bool use32(FilterRecord* fr) {
    return fr->bigDocumentData && fr->bigDocumentData->PluginUsing32BitCoordinates;
}

VRect filterRect(FilterRecord* fr) {
    if (use32(fr)) return fr->bigDocumentData->filterRect32;
    return VRect{fr->filterRect.top, fr->filterRect.left, fr->filterRect.bottom,
                 fr->filterRect.right};
}

void setRects(FilterRecord* fr, const VRect& r) {
    if (use32(fr)) {
        fr->bigDocumentData->inRect32 = fr->bigDocumentData->outRect32 = r;
        fr->bigDocumentData->maskRect32 = VRect{0, 0, 0, 0};
    } else {
        Rect s{int16(r.top), int16(r.left), int16(r.bottom), int16(r.right)};
        fr->inRect = fr->outRect = s;
        fr->maskRect = Rect{0, 0, 0, 0};
    }
}

void readDescriptor(FilterRecord* fr) {
    g_itemCount = 0;
    PIDescriptorParameters* dp = fr->descriptorParameters;
    if (!dp || !dp->readDescriptorProcs || !dp->descriptor) return;
    ReadDescriptorProcs* rp = dp->readDescriptorProcs;
    static DescriptorKeyID keys[] = {fourCC("GLUE"), fourCC("0002"), 0};
    PIReadDescriptor token = rp->openReadDescriptorProc(dp->descriptor, keys);
    if (!token) return;
    DescriptorKeyID key;
    DescType type;
    int32 flags;
    while (g_itemCount < 32 && rp->getKeyProc(token, &key, &type, &flags)) {
        Item& it = g_items[g_itemCount];
        it = Item{key, type, 0, 0};
        if (type == typeInteger && rp->getIntegerProc(token, &it.value) == noErr) {
            ++g_itemCount;
        } else if (type == typeEnumerated) {
            DescEnum e = 0;
            if (rp->getEnumeratedProc(token, &e) == noErr) {
                it.value = int32(e);
                it.enumType = 0; // the enumeration type is not handed out by the read procs
                ++g_itemCount;
            }
        }
    }
    rp->closeReadDescriptorProc(token);
    fr->handleProcs->disposeProc(dp->descriptor);
    dp->descriptor = nullptr;
}

void writeDescriptor(FilterRecord* fr) {
    PIDescriptorParameters* dp = fr->descriptorParameters;
    if (!dp || !dp->writeDescriptorProcs) return;
    WriteDescriptorProcs* wp = dp->writeDescriptorProcs;
    PIWriteDescriptor token = wp->openWriteDescriptorProc();
    if (!token) return;
    for (int i = 0; i < g_itemCount; ++i) {
        const Item& it = g_items[i];
        if (it.type == typeInteger) {
            wp->putIntegerProc(token, it.key, it.value);
        } else {
            DescType enumType = it.key == fourCC("GLUE")   ? fourCC("GLty")
                                : it.key == fourCC("Hsky") ? fourCC("Hsty")
                                                           : fourCC("Htty");
            wp->putEnumeratedProc(token, it.key, enumType, DescEnum(it.value));
        }
    }
    if (dp->descriptor) fr->handleProcs->disposeProc(dp->descriptor);
    PIDescriptorHandle out = nullptr;
    wp->closeWriteDescriptorProc(token, &out);
    dp->descriptor = out;
    dp->recordInfo = plugInDialogOptional;
}

void invert(FilterRecord* fr, int32 rows, int32 cols, int colorPlanes, int planes) {
    const int bps = fr->depth / 8;
    for (int32 y = 0; y < rows; ++y) {
        char* row = static_cast<char*>(fr->outData) + size_t(y) * size_t(fr->outRowBytes);
        for (int32 x = 0; x < cols; ++x) {
            for (int c = 0; c < colorPlanes; ++c) {
                char* p = row + (size_t(x) * size_t(planes) + size_t(c)) * size_t(bps);
                if (bps == 1) {
                    *p = char(255 - static_cast<unsigned char>(*p));
                } else if (bps == 2) {
                    uint16_t v;
                    std::memcpy(&v, p, 2);
                    v = uint16_t(32768 - (v > 32768 ? 32768 : v));
                    std::memcpy(p, &v, 2);
                } else {
                    float f;
                    std::memcpy(&f, p, 4);
                    f = 1.0f - f;
                    std::memcpy(p, &f, 4);
                }
            }
        }
    }
}

void setErrorString(FilterRecord* fr, const char* message) {
    if (!message || !fr->errorString) return;
    size_t n = std::strlen(message);
    if (n > 255) n = 255;
    (*fr->errorString)[0] = static_cast<unsigned char>(n);
    std::memcpy(&(*fr->errorString)[1], message, n);
}

int16 start(FilterRecord* fr) {
#if !defined(_WIN32)
    if (envInt("QF_TEST_MODULE_STUCK", 0)) {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        const char note[] = "test module: stuck with every signal blocked\n";
        if (::write(2, note, sizeof note - 1) < 0) return 1;
        for (;;) ::pause();
    }
#endif
    int forced = envInt("QF_TEST_MODULE_RESULT", 0);
    if (forced) {
        setErrorString(fr, std::getenv("QF_TEST_MODULE_MESSAGE"));
        return int16(forced);
    }
    if (const char* want = std::getenv("QF_TEST_MODULE_HOST_SIG"); want && std::strlen(want) == 4) {
        const uint32_t sig = fr->hostSig;
        const char got[] = {char(sig >> 24), char(sig >> 16), char(sig >> 8), char(sig), '\0'};
        if (std::strcmp(got, want) != 0) {
            char message[64] = "host signature ";
            std::strcat(message, got);
            setErrorString(fr, message);
            return errReportString;
        }
    }
    readDescriptor(fr);
    if (fr->bigDocumentData) fr->bigDocumentData->PluginUsing32BitCoordinates = 1;
    const int delay = envInt("QF_TEST_MODULE_DELAY_MS", 0);
    const VRect area = filterRect(fr);
    const int planes = fr->planes;
    const int colorPlanes = fr->filterCase == filterCaseEditableTransparencyNoSelection ||
                                    fr->filterCase == filterCaseEditableTransparencyWithSelection
                                ? planes - 1
                                : planes;
    const int32 band = 16;
    const int32 total = area.bottom - area.top;
    fr->inLoPlane = fr->outLoPlane = 0;
    fr->inHiPlane = fr->outHiPlane = int16(planes - 1);
    fr->inputRate = fr->maskRate = 1 << 16;
    fr->inputPadding = fr->outputPadding = fr->maskPadding = plugInWantsEdgeReplication;
    for (int32 top = area.top; top < area.bottom; top += band) {
        VRect r{top, area.left, top + band < area.bottom ? top + band : area.bottom, area.right};
        setRects(fr, r);
        OSErr err = fr->advanceState();
        if (err != noErr) return err;
        invert(fr, r.bottom - r.top, r.right - r.left, colorPlanes, planes);
        fr->progressProc(r.bottom - area.top, total);
        if (delay > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        if (fr->abortProc()) return userCanceledErr;
    }
    // The last band is written back by the host's loop.
    return noErr;
}

} // namespace

extern "C" TEST_MODULE_EXPORT void PluginMain(int16 selector, void* block, intptr_t* data,
                                              int16* result) {
    if (!result) return;
    *result = noErr;
    if (selector == filterSelectorAbout) return;
    auto* fr = static_cast<FilterRecord*>(block);
    switch (selector) {
    case filterSelectorPrepare:
        if (fr->maxSpace > (1 << 20)) fr->maxSpace = 1 << 20;
        fr->bufferSpace = 0;
        break;
    case filterSelectorStart:
        *result = start(fr);
        break;
    case filterSelectorContinue:
        setRects(fr, VRect{0, 0, 0, 0});
        break;
    case filterSelectorFinish:
        writeDescriptor(fr);
        break;
    default:
        break;
    }
}
