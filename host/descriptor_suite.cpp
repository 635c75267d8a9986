#include "host/descriptor_suite.h"

#include "host/descriptor.h"
#include "host/handle_suite.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_set>

namespace qf::host {
namespace {

// Longest key list the host reads from a module before giving up on its end.
constexpr size_t kMaxKeyList = 4096;

struct ReadToken {
    Descriptor descriptor;
    size_t next = 0;
    const DescriptorItem* current = nullptr;
};

struct WriteToken {
    Descriptor descriptor;
};

struct Session {
    std::mutex mutex;
    std::unordered_set<ReadToken*> reads;
    std::unordered_set<WriteToken*> writes;
    DescriptorRecord* record = nullptr;
    DescriptorRecord scratch; // used when no run is recording
};

Session& session() {
    static Session* s = new Session;
    return *s;
}

DescriptorRecord& rec(Session& s) {
    return s.record ? *s.record : s.scratch;
}

ReadToken* findRead(Session& s, PIReadDescriptor token) {
    auto* t = reinterpret_cast<ReadToken*>(token);
    if (!t || s.reads.count(t) == 0) {
        ++rec(s).badTokens;
        return nullptr;
    }
    return t;
}

WriteToken* findWrite(Session& s, PIWriteDescriptor token) {
    auto* t = reinterpret_cast<WriteToken*>(token);
    if (!t || s.writes.count(t) == 0) {
        ++rec(s).badTokens;
        return nullptr;
    }
    return t;
}

// The current value of a read token, or null (with the reason in `err`).
const DescriptorItem* currentItem(PIReadDescriptor token, OSErr& err) {
    Session& s = session();
    ReadToken* t = findRead(s, token);
    if (!t) {
        err = paramErr;
        return nullptr;
    }
    if (!t->current) {
        err = paramErr; // no get-key call yet
        return nullptr;
    }
    err = noErr;
    return t->current;
}

Handle handleWithBytes(const std::string& bytes) {
    if (bytes.size() > size_t(INT32_MAX)) return nullptr;
    Handle h = newHandle(int32_t(bytes.size()));
    if (!h) return nullptr;
    const LockedHandle locked(h);
    if (!bytes.empty()) std::memcpy(locked.data(), bytes.data(), bytes.size());
    return h;
}

bool bytesOfHandle(Handle h, std::string& out) {
    if (!isLiveHandle(h)) return false;
    int32_t size = handleSize(h);
    const LockedHandle locked(h);
    if (!locked.data()) return false;
    out.assign(locked.data(), size_t(size));
    return true;
}

// --- read procedures -----------------------------------------------------------

PIReadDescriptor openRead(PIDescriptorHandle h, DescriptorKeyID* keys) {
    Session& s = session();
    std::lock_guard lock(s.mutex);
    DescriptorRecord& r = rec(s);
    ++r.readOpens;
    r.keyList.clear();
    if (keys) {
        for (size_t i = 0; i < kMaxKeyList && keys[i] != 0; ++i) r.keyList.push_back(keys[i]);
    }
    if (!h) return nullptr;
    try {
        auto token = std::make_unique<ReadToken>();
        if (!Descriptor::fromHandle(h, token->descriptor)) return nullptr;
        s.reads.insert(token.get());
        ++r.readTokens;
        return reinterpret_cast<PIReadDescriptor>(token.release());
    } catch (...) {
        return nullptr;
    }
}

OSErr closeRead(PIReadDescriptor token) {
    Session& s = session();
    std::lock_guard lock(s.mutex);
    ReadToken* t = findRead(s, token);
    if (!t) return paramErr;
    s.reads.erase(t);
    delete t;
    ++rec(s).readCloses;
    return noErr;
}

Boolean getKey(PIReadDescriptor token, DescriptorKeyID* key, DescType* type, int32* flags) {
    Session& s = session();
    std::lock_guard lock(s.mutex);
    ReadToken* t = findRead(s, token);
    if (!t) return false;
    // Nowhere to put the answer: the walk stays where it is.
    if (!key || !type || !flags) return false;
    const auto& items = t->descriptor.items();
    if (t->next >= items.size()) {
        t->current = nullptr;
        return false;
    }
    t->current = &items[t->next++];
    *key = t->current->key;
    *type = t->current->type;
    *flags = 0;
    try {
        rec(s).keysRead.push_back(t->current->key);
    } catch (...) {
    }
    return true;
}

OSErr getInteger(PIReadDescriptor token, int32* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!value) return paramErr;
    if (it->type != typeInteger) return kWrongTypeErr;
    *value = it->integer;
    return noErr;
}

OSErr getPinnedInteger(PIReadDescriptor token, int32 lo, int32 hi, int32* value) {
    if (!value) return paramErr;
    int32 v = 0;
    OSErr err = getInteger(token, &v);
    if (err != noErr) return err;
    if (lo <= hi) v = std::clamp(v, lo, hi);
    *value = v;
    return noErr;
}

OSErr getFloat(PIReadDescriptor token, double* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!value) return paramErr;
    if (it->type == typeFloat || it->type == typeUnitFloat) {
        *value = it->number;
    } else if (it->type == typeInteger) {
        *value = it->integer;
    } else {
        return kWrongTypeErr;
    }
    return noErr;
}

OSErr getPinnedFloat(PIReadDescriptor token, const double* lo, const double* hi, double* value) {
    if (!value) return paramErr;
    double v = 0;
    OSErr err = getFloat(token, &v);
    if (err != noErr) return err;
    if (lo && v < *lo) v = *lo;
    if (hi && v > *hi) v = *hi;
    *value = v;
    return noErr;
}

OSErr getUnitFloat(PIReadDescriptor token, DescUnitID* unit, double* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!unit || !value) return paramErr;
    if (it->type != typeUnitFloat) return kWrongTypeErr;
    *unit = it->unit;
    *value = it->number;
    return noErr;
}

OSErr getPinnedUnitFloat(PIReadDescriptor token, const double* lo, const double* hi,
                         DescUnitID* unit, double* value) {
    if (!unit || !value) return paramErr;
    double v = 0;
    OSErr err = getUnitFloat(token, unit, &v);
    if (err != noErr) return err;
    if (lo && v < *lo) v = *lo;
    if (hi && v > *hi) v = *hi;
    *value = v;
    return noErr;
}

OSErr getBoolean(PIReadDescriptor token, Boolean* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!value) return paramErr;
    if (it->type != typeBoolean) return kWrongTypeErr;
    *value = it->boolean;
    return noErr;
}

OSErr getBytesAsHandle(PIReadDescriptor token, DescType type, Handle* out) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!out) return paramErr;
    if (it->type != type) return kWrongTypeErr;
    *out = handleWithBytes(it->bytes);
    return *out ? noErr : memFullErr;
}

OSErr getText(PIReadDescriptor token, Handle* out) {
    return getBytesAsHandle(token, typeText, out);
}
OSErr getAlias(PIReadDescriptor token, Handle* out) {
    return getBytesAsHandle(token, typeAlias, out);
}

OSErr getEnumerated(PIReadDescriptor token, DescEnum* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!value) return paramErr;
    if (it->type != typeEnumerated) return kWrongTypeErr;
    *value = it->enumValue;
    return noErr;
}

OSErr getClass(PIReadDescriptor token, DescClassID* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!value) return paramErr;
    if (it->type != typeClass) return kWrongTypeErr;
    *value = it->enumValue;
    return noErr;
}

OSErr getSimpleReference(PIReadDescriptor token, PIDescriptorSimpleReference* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!value) return paramErr;
    if (it->type != typeObjectReference || it->bytes.size() != sizeof(*value)) return kWrongTypeErr;
    std::memcpy(value, it->bytes.data(), sizeof(*value));
    return noErr;
}

OSErr getObject(PIReadDescriptor token, DescClassID* cls, PIDescriptorHandle* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!cls || !value) return paramErr;
    if (it->type != typeObject) return kWrongTypeErr;
    *cls = it->enumValue;
    *value = handleWithBytes(it->bytes);
    return *value ? noErr : memFullErr;
}

OSErr getCount(PIReadDescriptor token, uint32* value) {
    if (!value) return paramErr;
    int32 v = 0;
    OSErr err = getInteger(token, &v);
    if (err != noErr) return err;
    if (v < 0) return kWrongTypeErr;
    *value = uint32(v);
    return noErr;
}

OSErr getString(PIReadDescriptor token, Str255* value) {
    std::lock_guard lock(session().mutex);
    OSErr err;
    const DescriptorItem* it = currentItem(token, err);
    if (!it) return err;
    if (!value) return paramErr;
    if (it->type != typeText) return kWrongTypeErr;
    size_t n = std::min<size_t>(it->bytes.size(), 255);
    (*value)[0] = uint8_t(n);
    std::memcpy(&(*value)[1], it->bytes.data(), n);
    return noErr;
}

// --- write procedures ----------------------------------------------------------

PIWriteDescriptor openWrite() {
    Session& s = session();
    std::lock_guard lock(s.mutex);
    ++rec(s).writeOpens;
    try {
        auto token = std::make_unique<WriteToken>();
        s.writes.insert(token.get());
        return reinterpret_cast<PIWriteDescriptor>(token.release());
    } catch (...) {
        return nullptr;
    }
}

OSErr closeWrite(PIWriteDescriptor token, PIDescriptorHandle* out) {
    Session& s = session();
    std::lock_guard lock(s.mutex);
    WriteToken* t = findWrite(s, token);
    if (!t) return paramErr;
    // Nowhere to put the descriptor: the token stays open (the host closes
    // it at the end of the run if the module never does).
    if (!out) return paramErr;
    std::unique_ptr<WriteToken> owned(t);
    s.writes.erase(t);
    ++rec(s).writeCloses;
    try {
        *out = t->descriptor.toHandle();
    } catch (...) {
        *out = nullptr;
    }
    return *out ? noErr : memFullErr;
}

// Adds one item to a write token's descriptor.
template <class Fill> OSErr put(PIWriteDescriptor token, DescriptorKeyID key, Fill fill) {
    Session& s = session();
    std::lock_guard lock(s.mutex);
    WriteToken* t = findWrite(s, token);
    if (!t) return paramErr;
    try {
        DescriptorItem it;
        it.key = key;
        OSErr err = fill(it);
        if (err != noErr) return err;
        t->descriptor.add(it);
    } catch (...) {
        return memFullErr;
    }
    return noErr;
}

OSErr putInteger(PIWriteDescriptor token, DescriptorKeyID key, int32 v) {
    return put(token, key, [&](DescriptorItem& it) {
        it.type = typeInteger;
        it.integer = v;
        return noErr;
    });
}

OSErr putFloat(PIWriteDescriptor token, DescriptorKeyID key, const double* v) {
    return put(token, key, [&](DescriptorItem& it) {
        if (!v) return paramErr;
        it.type = typeFloat;
        it.number = *v;
        return noErr;
    });
}

OSErr putUnitFloat(PIWriteDescriptor token, DescriptorKeyID key, DescUnitID unit, const double* v) {
    return put(token, key, [&](DescriptorItem& it) {
        if (!v) return paramErr;
        it.type = typeUnitFloat;
        it.unit = unit;
        it.number = *v;
        return noErr;
    });
}

OSErr putBoolean(PIWriteDescriptor token, DescriptorKeyID key, Boolean v) {
    return put(token, key, [&](DescriptorItem& it) {
        it.type = typeBoolean;
        it.boolean = v != 0;
        return noErr;
    });
}

OSErr putHandleBytes(PIWriteDescriptor token, DescriptorKeyID key, DescType type, Handle h) {
    return put(token, key, [&](DescriptorItem& it) {
        it.type = type;
        return bytesOfHandle(h, it.bytes) ? noErr : nilHandleErr;
    });
}

OSErr putText(PIWriteDescriptor token, DescriptorKeyID key, Handle h) {
    return putHandleBytes(token, key, typeText, h);
}

OSErr putAlias(PIWriteDescriptor token, DescriptorKeyID key, Handle h) {
    return putHandleBytes(token, key, typeAlias, h);
}

OSErr putEnumerated(PIWriteDescriptor token, DescriptorKeyID key, DescType type, DescEnum v) {
    return put(token, key, [&](DescriptorItem& it) {
        it.type = typeEnumerated;
        it.enumType = type;
        it.enumValue = v;
        return noErr;
    });
}

OSErr putClass(PIWriteDescriptor token, DescriptorKeyID key, DescClassID cls) {
    return put(token, key, [&](DescriptorItem& it) {
        it.type = typeClass;
        it.enumValue = cls;
        return noErr;
    });
}

OSErr putSimpleReference(PIWriteDescriptor token, DescriptorKeyID key,
                         const PIDescriptorSimpleReference* ref) {
    return put(token, key, [&](DescriptorItem& it) {
        if (!ref) return paramErr;
        it.type = typeObjectReference;
        it.bytes.assign(reinterpret_cast<const char*>(ref), sizeof(*ref));
        return noErr;
    });
}

OSErr putObject(PIWriteDescriptor token, DescriptorKeyID key, DescClassID cls,
                PIDescriptorHandle h) {
    return put(token, key, [&](DescriptorItem& it) {
        it.type = typeObject;
        it.enumValue = cls;
        return bytesOfHandle(h, it.bytes) ? noErr : nilHandleErr;
    });
}

OSErr putCount(PIWriteDescriptor token, DescriptorKeyID key, uint32 count) {
    return put(token, key, [&](DescriptorItem& it) {
        if (count > uint32(INT32_MAX)) return paramErr;
        it.type = typeInteger;
        it.integer = int32(count);
        return noErr;
    });
}

OSErr putString(PIWriteDescriptor token, DescriptorKeyID key, const unsigned char* pascal) {
    return put(token, key, [&](DescriptorItem& it) {
        if (!pascal) return paramErr;
        it.type = typeText;
        it.bytes.assign(reinterpret_cast<const char*>(pascal + 1), pascal[0]);
        return noErr;
    });
}

OSErr putScopedClass(PIWriteDescriptor token, DescriptorKeyID key, DescClassID cls) {
    return putClass(token, key, cls);
}

OSErr putScopedObject(PIWriteDescriptor token, DescriptorKeyID key, DescClassID cls,
                      PIDescriptorHandle* h) {
    if (!h) return paramErr;
    return putObject(token, key, cls, *h);
}

// Null out the procedures a limited suite lacks: those at or beyond `count`
// and the one at `missing`.
struct SuiteLimit {
    int16_t count;
    int missing;
    int index = 0;
    template <class Proc> void operator()(Proc& proc) {
        if (index >= count || index == missing) proc = nullptr;
        ++index;
    }
};

} // namespace

void fillReadDescriptorProcs(ReadDescriptorProcs& p, const DescriptorSuiteOptions& o) {
    p = ReadDescriptorProcs{
        o.readVersion, o.readProcCount, openRead,         closeRead,          getKey,
        getInteger,    getFloat,        getUnitFloat,     getBoolean,         getText,
        getAlias,      getEnumerated,   getClass,         getSimpleReference, getObject,
        getCount,      getString,       getPinnedInteger, getPinnedFloat,     getPinnedUnitFloat,
    };
    SuiteLimit cut{o.readProcCount, o.missingReadProc};
    cut(p.openReadDescriptorProc);
    cut(p.closeReadDescriptorProc);
    cut(p.getKeyProc);
    cut(p.getIntegerProc);
    cut(p.getFloatProc);
    cut(p.getUnitFloatProc);
    cut(p.getBooleanProc);
    cut(p.getTextProc);
    cut(p.getAliasProc);
    cut(p.getEnumeratedProc);
    cut(p.getClassProc);
    cut(p.getSimpleReferenceProc);
    cut(p.getObjectProc);
    cut(p.getCountProc);
    cut(p.getStringProc);
    cut(p.getPinnedIntegerProc);
    cut(p.getPinnedFloatProc);
    cut(p.getPinnedUnitFloatProc);
}

void fillWriteDescriptorProcs(WriteDescriptorProcs& p, const DescriptorSuiteOptions& o) {
    p = WriteDescriptorProcs{
        o.writeVersion, o.writeProcCount, openWrite,          closeWrite, putInteger,
        putFloat,       putUnitFloat,     putBoolean,         putText,    putAlias,
        putEnumerated,  putClass,         putSimpleReference, putObject,  putCount,
        putString,      putScopedClass,   putScopedObject,
    };
    SuiteLimit cut{o.writeProcCount, o.missingWriteProc};
    cut(p.openWriteDescriptorProc);
    cut(p.closeWriteDescriptorProc);
    cut(p.putIntegerProc);
    cut(p.putFloatProc);
    cut(p.putUnitFloatProc);
    cut(p.putBooleanProc);
    cut(p.putTextProc);
    cut(p.putAliasProc);
    cut(p.putEnumeratedProc);
    cut(p.putClassProc);
    cut(p.putSimpleReferenceProc);
    cut(p.putObjectProc);
    cut(p.putCountProc);
    cut(p.putStringProc);
    cut(p.putScopedClassProc);
    cut(p.putScopedObjectProc);
}

void beginDescriptorSession(DescriptorRecord* record) {
    Session& s = session();
    std::lock_guard lock(s.mutex);
    s.record = record;
}

void endDescriptorSession() {
    Session& s = session();
    std::lock_guard lock(s.mutex);
    DescriptorRecord& r = rec(s);
    r.tokensLeftOpen += int32_t(s.reads.size() + s.writes.size());
    for (ReadToken* t : s.reads) delete t;
    for (WriteToken* t : s.writes) delete t;
    s.reads.clear();
    s.writes.clear();
    s.record = nullptr;
}

} // namespace qf::host
