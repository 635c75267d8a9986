#include "plugin/scripting.h"

#include <cstring>
#include <utility>

#include "plugin/host_handles.h"
#include "plugin/module_call.h"
#include "plugin/picture_export.h"
#include "values/settings_record.h"

namespace qf {

namespace {

// Hosts with these signatures hand out descriptors we must not read.
bool ignoresDescriptors(uint32_t sig) {
    return sig == fourCC("PSP8") || sig == fourCC("PSP9");
}

// The keys of an export request (our own host's, never an editor's), read
// into the call's request.
bool readExportKey(ModuleCall& call, ReadDescriptorProcs& rp, PIReadDescriptor token,
                   uint32_t key) {
    ExportRequest& request = call.exportRequest;
    if (key == kKeyExportPath) {
        Handle text = nullptr;
        if (rp.getTextProc(token, &text) != 0 || !text) return true;
        HandleProcs* hp = call.record->handleProcs;
        // The text handle is ours once the host has handed it over.
        OwnedHandle owned(hp, text);
        if (hp && hp->getSizeProc && hp->lockProc && hp->unlockProc) {
            const int32_t size = hp->getSizeProc(text);
            LockedHandle chars(*hp, text, 0);
            if (chars && size > 0 && size < kNameLength) {
                std::memcpy(request.path, chars.data(), size_t(size));
                request.path[size] = '\0';
                request.requested = std::strlen(request.path) > 0;
            }
        }
        return true;
    }
    int32_t* field = key == kKeyExportWidth     ? &request.width
                     : key == kKeyExportHeight  ? &request.height
                     : key == kKeyExportQuality ? &request.quality
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

// The interface hands the host a pointer to a key list it may write to.
std::array<DescriptorKeyID, kScriptingKeys.size() + 1> descriptorKeys = scriptingKeyList();

bool descriptorSuitesAvailable(const ModuleCall& call) {
    const FilterRecord* fr = call.record;
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
    const void* const readProcs[] = {(void*)r->openReadDescriptorProc,
                                     (void*)r->closeReadDescriptorProc,
                                     (void*)r->getKeyProc,
                                     (void*)r->getIntegerProc,
                                     (void*)r->getFloatProc,
                                     (void*)r->getUnitFloatProc,
                                     (void*)r->getBooleanProc,
                                     (void*)r->getTextProc,
                                     (void*)r->getAliasProc,
                                     (void*)r->getEnumeratedProc,
                                     (void*)r->getClassProc,
                                     (void*)r->getSimpleReferenceProc,
                                     (void*)r->getObjectProc,
                                     (void*)r->getCountProc,
                                     (void*)r->getStringProc,
                                     (void*)r->getPinnedIntegerProc,
                                     (void*)r->getPinnedFloatProc,
                                     (void*)r->getPinnedUnitFloatProc};
    const void* const writeProcs[] = {(void*)w->openWriteDescriptorProc,
                                      (void*)w->closeWriteDescriptorProc,
                                      (void*)w->putIntegerProc,
                                      (void*)w->putFloatProc,
                                      (void*)w->putUnitFloatProc,
                                      (void*)w->putBooleanProc,
                                      (void*)w->putTextProc,
                                      (void*)w->putAliasProc,
                                      (void*)w->putEnumeratedProc,
                                      (void*)w->putClassProc,
                                      (void*)w->putSimpleReferenceProc,
                                      (void*)w->putObjectProc,
                                      (void*)w->putCountProc,
                                      (void*)w->putStringProc,
                                      (void*)w->putScopedClassProc,
                                      (void*)w->putScopedObjectProc};
    for (const void* p : readProcs)
        if (!p) return false;
    for (const void* p : writeProcs)
        if (!p) return false;
    return true;
}

bool descriptorPresent(const ModuleCall& call) {
    const FilterRecord* fr = call.record;
    if (!fr || ignoresDescriptors(fr->hostSig) || !descriptorSuitesAvailable(call)) return false;
    PIDescriptorParameters& dp = *fr->descriptorParameters;
    // The probe closes again at once: the descriptor itself stays for the
    // read.
    return bool(ReadDescriptorToken(*dp.readDescriptorProcs, dp.descriptor, descriptorKeys.data()));
}

void readDescriptor(ModuleCall& call) {
    FilterRecord* fr = call.record;
    if (!fr || !call.settings || !call.context) return;
    if (ignoresDescriptors(fr->hostSig) || !descriptorSuitesAvailable(call)) return;
    PIDescriptorParameters& dp = *fr->descriptorParameters;
    ReadDescriptorProcs& rp = *dp.readDescriptorProcs;
    SettingsRecord& s = *call.settings;

    ReadDescriptorToken reader(rp, dp.descriptor, descriptorKeys.data());
    if (reader) {
        const PIReadDescriptor token = reader.get();
        applyPlainDefaults(s);
        DescriptorKeyID key = 0;
        DescType type = 0;
        int32 flags = 0;
        while (rp.getKeyProc(token, &key, &type, &flags)) {
            const ScriptingKey* known = findScriptingKey(key);
            if (known && known->enumeration) {
                DescEnum value = 0;
                if (rp.getEnumeratedProc(token, &value) == 0)
                    s.*known->field = enumNumber(*known->enumeration, value);
                continue;
            }
            // A recorded action can carry any key: our export keys write a
            // file, so they count only when our own host sends them.
            if (fr->hostSig == kOwnHostSignature && readExportKey(call, rp, token, key)) continue;
            if (!known) continue;
            int32 value = 0;
            if (rp.getIntegerProc(token, &value) == 0) s.*known->field = value;
        }
        reader.close();
        disposeDescriptor(*fr, dp);
    }
    call.context->showDialog = (dp.playInfo == plugInDialogDisplay) ? 1 : 0;
}

void writeDescriptor(ModuleCall& call) {
    FilterRecord* fr = call.record;
    if (!fr || !call.settings || !descriptorSuitesAvailable(call)) return;
    PIDescriptorParameters& dp = *fr->descriptorParameters;
    WriteDescriptorProcs& wp = *dp.writeDescriptorProcs;
    const SettingsRecord& s = *call.settings;

    call.settings->fileVersion = 200;
    WriteDescriptorToken writer(wp, fr->handleProcs);
    if (!writer) return;
    const PIWriteDescriptor token = writer.get();
    for (const ScriptingKey& k : kScriptingKeys) {
        if (k.enumeration)
            wp.putEnumeratedProc(token, k.key, k.type(), enumValue(*k.enumeration, s.*k.field));
        else
            wp.putIntegerProc(token, k.key, s.*k.field);
    }

    disposeDescriptor(*fr, dp);
    PIDescriptorHandle written = nullptr;
    writer.close(&written);
    dp.descriptor = written;
    dp.recordInfo = plugInDialogOptional;
}

} // namespace qf
