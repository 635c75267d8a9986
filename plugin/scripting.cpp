#include "plugin/scripting.h"

#include <cstring>
#include <utility>

#include "plugin/host_handles.h"
#include "plugin/picture_export.h"
#include "plugin/plugin_globals.h"
#include "values/settings_record.h"

namespace {

constexpr uint32_t kKeyGlue = fourCC("GLUE");
constexpr uint32_t kKeyShape = fourCC("Hsky");
constexpr uint32_t kKeyStripeKind = fourCC("Htky");
constexpr uint32_t kTypeGlue = fourCC("GLty");
constexpr uint32_t kTypeShape = fourCC("Hsty");
constexpr uint32_t kTypeStripeKind = fourCC("Htty");
constexpr uint32_t kNoValue = 0x3C4E4F3E; // "<NO>"

// Hosts with these signatures hand out descriptors we must not read.
bool ignoresDescriptors(uint32_t sig) { return sig == fourCC("PSP8") || sig == fourCC("PSP9"); }

// The integer keys in descriptor order and the fields they fill.
struct IntegerKey {
    uint32_t key;
    int32_t SettingsRecord::*field;
};
constexpr IntegerKey kIntegerKeys[] = {
    {fourCC("0002"), &SettingsRecord::overlap},   {fourCC("0003"), &SettingsRecord::stripes},
    {fourCC("0004"), &SettingsRecord::warping},   {fourCC("0005"), &SettingsRecord::softness},
    {fourCC("0006"), &SettingsRecord::doublure},  {fourCC("0007"), &SettingsRecord::color},
    {fourCC("0008"), &SettingsRecord::zoom},      {fourCC("0009"), &SettingsRecord::complexity},
    {fourCC("0010"), &SettingsRecord::hue},       {fourCC("0011"), &SettingsRecord::merge},
};
constexpr uint32_t kKeySeed = fourCC("0014");

// Two-letter prefix with two decimal digits.
uint32_t enumValue(uint32_t prefix, int32_t n, int32_t limit) {
    if (n < 1 || n > limit) return kNoValue;
    return prefix | (uint32_t('0' + n / 10) << 8) | uint32_t('0' + n % 10);
}

// The keys of an export request (our own host's, never an editor's).
bool readExportKey(FilterRecord& fr, ReadDescriptorProcs& rp, PIReadDescriptor token, uint32_t key) {
    if (key == kKeyExportPath) {
        Handle text = nullptr;
        if (rp.getTextProc(token, &text) != 0 || !text) return true;
        HandleProcs* hp = fr.handleProcs;
        // The text handle is ours once the host has handed it over.
        OwnedHandle owned(hp, text);
        if (hp && hp->getSizeProc && hp->lockProc && hp->unlockProc) {
            const int32_t size = hp->getSizeProc(text);
            LockedHandle chars(*hp, text, 0);
            if (chars && size > 0 && size < kNameLength) {
                std::memcpy(exportRequest.path, chars.data(), size_t(size));
                exportRequest.path[size] = '\0';
                exportRequest.requested = std::strlen(exportRequest.path) > 0;
            }
        }
        return true;
    }
    int32_t* field = key == kKeyExportWidth    ? &exportRequest.width
                     : key == kKeyExportHeight ? &exportRequest.height
                     : key == kKeyExportQuality ? &exportRequest.quality
                                                : nullptr;
    if (!field) return false;
    int32 value = 0;
    if (rp.getIntegerProc(token, &value) == 0) *field = value;
    return true;
}

// Disposes of the descriptor the host gave us and leaves none behind.
void disposeDescriptor(FilterRecord& fr, PIDescriptorParameters& dp) {
    OwnedHandle(fr.handleProcs, std::exchange(dp.descriptor, nullptr)).reset();
}

} // namespace

DescriptorKeyID descriptorKeys[15] = {
    kKeyGlue,       fourCC("0002"), fourCC("0003"), fourCC("0004"), fourCC("0005"),
    fourCC("0006"), fourCC("0007"), fourCC("0008"), fourCC("0009"), fourCC("0010"),
    fourCC("0011"), kKeyShape,      kKeyStripeKind, kKeySeed,       0,
};

uint32_t glueEnumValue(int32_t glue) { return enumValue(fourCC("GL\0\0"), glue, 69); }
uint32_t shapeEnumValue(int32_t shape) { return enumValue(fourCC("Hs\0\0"), shape, 7); }
uint32_t stripeKindEnumValue(int32_t kind) { return enumValue(fourCC("Ht\0\0"), kind, 4); }

int32_t enumNumber(uint32_t prefix, int32_t limit, uint32_t value) {
    if ((value & 0xFFFF0000u) != prefix) return 0;
    const uint32_t tens = (value >> 8) & 0xFF, ones = value & 0xFF;
    if (tens < '0' || tens > '9' || ones < '0' || ones > '9') return 0;
    const int32_t n = int32_t(tens - '0') * 10 + int32_t(ones - '0');
    return (n >= 1 && n <= limit) ? n : 0;
}

bool descriptorSuitesAvailable() {
    const FilterRecord* fr = g.record;
    if (!fr || !fr->descriptorParameters) return false;
    const PIDescriptorParameters& dp = *fr->descriptorParameters;
    const ReadDescriptorProcs* r = dp.readDescriptorProcs;
    const WriteDescriptorProcs* w = dp.writeDescriptorProcs;
    if (!r || !w) return false;
    if (dp.descriptorParametersVersion != 0 || r->readDescriptorProcsVersion != 0 ||
        w->writeDescriptorProcsVersion != 0)
        return false;
    if (r->numReadDescriptorProcs < kReadDescriptorProcCount ||
        w->numWriteDescriptorProcs < kWriteDescriptorProcCount)
        return false;
    // Every procedure of both suites must be there.
    const void* const readProcs[] = {
        (void*)r->openReadDescriptorProc, (void*)r->closeReadDescriptorProc,
        (void*)r->getKeyProc,             (void*)r->getIntegerProc,
        (void*)r->getFloatProc,           (void*)r->getUnitFloatProc,
        (void*)r->getBooleanProc,         (void*)r->getTextProc,
        (void*)r->getAliasProc,           (void*)r->getEnumeratedProc,
        (void*)r->getClassProc,           (void*)r->getSimpleReferenceProc,
        (void*)r->getObjectProc,          (void*)r->getCountProc,
        (void*)r->getStringProc,          (void*)r->getPinnedIntegerProc,
        (void*)r->getPinnedFloatProc,     (void*)r->getPinnedUnitFloatProc};
    const void* const writeProcs[] = {
        (void*)w->openWriteDescriptorProc, (void*)w->closeWriteDescriptorProc,
        (void*)w->putIntegerProc,          (void*)w->putFloatProc,
        (void*)w->putUnitFloatProc,        (void*)w->putBooleanProc,
        (void*)w->putTextProc,             (void*)w->putAliasProc,
        (void*)w->putEnumeratedProc,       (void*)w->putClassProc,
        (void*)w->putSimpleReferenceProc,  (void*)w->putObjectProc,
        (void*)w->putCountProc,            (void*)w->putStringProc,
        (void*)w->putScopedClassProc,      (void*)w->putScopedObjectProc};
    for (const void* p : readProcs)
        if (!p) return false;
    for (const void* p : writeProcs)
        if (!p) return false;
    return true;
}

bool descriptorPresent() {
    const FilterRecord* fr = g.record;
    if (!fr || ignoresDescriptors(fr->hostSig) || !descriptorSuitesAvailable()) return false;
    PIDescriptorParameters& dp = *fr->descriptorParameters;
    // The probe closes again at once: the descriptor itself stays for the
    // read.
    return bool(ReadDescriptorToken(*dp.readDescriptorProcs, dp.descriptor, descriptorKeys));
}

void readDescriptor() {
    FilterRecord* fr = g.record;
    if (!fr || !g.settings || !g.context) return;
    if (ignoresDescriptors(fr->hostSig) || !descriptorSuitesAvailable()) return;
    PIDescriptorParameters& dp = *fr->descriptorParameters;
    ReadDescriptorProcs& rp = *dp.readDescriptorProcs;
    SettingsRecord& s = *g.settings;

    ReadDescriptorToken reader(rp, dp.descriptor, descriptorKeys);
    if (reader) {
        const PIReadDescriptor token = reader.get();
        applyPlainDefaults(s);
        DescriptorKeyID key = 0;
        DescType type = 0;
        int32 flags = 0;
        while (rp.getKeyProc(token, &key, &type, &flags)) {
            if (key == kKeyGlue || key == kKeyShape || key == kKeyStripeKind) {
                DescEnum value = 0;
                if (rp.getEnumeratedProc(token, &value) != 0) continue;
                if (key == kKeyGlue) s.glue = enumNumber(fourCC("GL\0\0"), 69, value);
                else if (key == kKeyShape) s.shape = enumNumber(fourCC("Hs\0\0"), 7, value);
                else s.stripeKind = enumNumber(fourCC("Ht\0\0"), 4, value);
                continue;
            }
            // A recorded action can carry any key: our export keys write a
            // file, so they count only when our own host sends them.
            if (fr->hostSig == kOwnHostSignature && readExportKey(*fr, rp, token, key)) continue;
            int32_t SettingsRecord::*field = nullptr;
            for (const IntegerKey& k : kIntegerKeys)
                if (k.key == key) field = k.field;
            if (key == kKeySeed) field = &SettingsRecord::randomSeed;
            if (!field) continue;
            int32 value = 0;
            if (rp.getIntegerProc(token, &value) == 0) s.*field = value;
        }
        reader.close();
        disposeDescriptor(*fr, dp);
    }
    g.context->showDialog = (dp.playInfo == plugInDialogDisplay) ? 1 : 0;
}

void writeDescriptor() {
    FilterRecord* fr = g.record;
    if (!fr || !g.settings || !descriptorSuitesAvailable()) return;
    PIDescriptorParameters& dp = *fr->descriptorParameters;
    WriteDescriptorProcs& wp = *dp.writeDescriptorProcs;
    const SettingsRecord& s = *g.settings;

    g.settings->fileVersion = 200;
    WriteDescriptorToken writer(wp, fr->handleProcs);
    if (!writer) return;
    const PIWriteDescriptor token = writer.get();
    wp.putEnumeratedProc(token, kKeyGlue, kTypeGlue, glueEnumValue(s.glue));
    for (const IntegerKey& k : kIntegerKeys) wp.putIntegerProc(token, k.key, s.*(k.field));
    wp.putEnumeratedProc(token, kKeyShape, kTypeShape, shapeEnumValue(s.shape));
    wp.putEnumeratedProc(token, kKeyStripeKind, kTypeStripeKind, stripeKindEnumValue(s.stripeKind));
    wp.putIntegerProc(token, kKeySeed, s.randomSeed);

    disposeDescriptor(*fr, dp);
    PIDescriptorHandle written = nullptr;
    writer.close(&written);
    dp.descriptor = written;
    dp.recordInfo = plugInDialogOptional;
}
