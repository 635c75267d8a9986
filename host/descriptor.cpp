#include "host/descriptor.h"

#include "host/handle_suite.h"

#include <cstring>

namespace qf::host {
namespace {

constexpr uint32_t kMagic = fourCC("QFD1");
// Longest text or opaque payload the host accepts in one value.
constexpr uint32_t kMaxPayload = 16u << 20;

void putU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void putF64(std::vector<uint8_t>& out, double d) {
    uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int i = 0; i < 8; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

// Bounds-checked little-endian reader over untrusted bytes.
struct Reader {
    const uint8_t* p;
    size_t left;
    bool ok = true;

    uint32_t u32() {
        if (left < 4) return fail();
        uint32_t v =
            uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        p += 4;
        left -= 4;
        return v;
    }
    double f64() {
        if (left < 8) return fail();
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i) v |= uint64_t(p[i]) << (8 * i);
        p += 8;
        left -= 8;
        double d;
        std::memcpy(&d, &v, 8);
        return d;
    }
    uint8_t u8() {
        if (left < 1) return uint8_t(fail());
        --left;
        return *p++;
    }
    std::string bytes() {
        uint32_t n = u32();
        if (!ok || n > kMaxPayload || n > left) return fail(), std::string();
        std::string s(reinterpret_cast<const char*>(p), n);
        p += n;
        left -= n;
        return s;
    }
    uint32_t fail() {
        ok = false;
        left = 0;
        return 0;
    }
};

} // namespace

bool operator==(const DescriptorItem& a, const DescriptorItem& b) {
    return a.key == b.key && a.type == b.type && a.integer == b.integer &&
           (a.number == b.number || (a.number != a.number && b.number != b.number)) &&
           a.unit == b.unit && a.boolean == b.boolean && a.enumType == b.enumType &&
           a.enumValue == b.enumValue && a.bytes == b.bytes;
}

Descriptor& Descriptor::add(const DescriptorItem& item) {
    items_.push_back(item);
    return *this;
}

Descriptor& Descriptor::putInteger(DescriptorKeyID key, int32_t value) {
    DescriptorItem it;
    it.key = key;
    it.type = typeInteger;
    it.integer = value;
    return add(it);
}

Descriptor& Descriptor::putFloat(DescriptorKeyID key, double value) {
    DescriptorItem it;
    it.key = key;
    it.type = typeFloat;
    it.number = value;
    return add(it);
}

Descriptor& Descriptor::putUnitFloat(DescriptorKeyID key, DescUnitID unit, double value) {
    DescriptorItem it;
    it.key = key;
    it.type = typeUnitFloat;
    it.unit = unit;
    it.number = value;
    return add(it);
}

Descriptor& Descriptor::putBoolean(DescriptorKeyID key, bool value) {
    DescriptorItem it;
    it.key = key;
    it.type = typeBoolean;
    it.boolean = value;
    return add(it);
}

Descriptor& Descriptor::putEnumerated(DescriptorKeyID key, DescType enumType, DescEnum value) {
    DescriptorItem it;
    it.key = key;
    it.type = typeEnumerated;
    it.enumType = enumType;
    it.enumValue = value;
    return add(it);
}

Descriptor& Descriptor::putText(DescriptorKeyID key, std::string text) {
    DescriptorItem it;
    it.key = key;
    it.type = typeText;
    it.bytes = std::move(text);
    return add(it);
}

Descriptor& Descriptor::putClass(DescriptorKeyID key, DescClassID cls) {
    DescriptorItem it;
    it.key = key;
    it.type = typeClass;
    it.enumValue = cls;
    return add(it);
}

Descriptor& Descriptor::putOpaque(DescriptorKeyID key, DescType type, std::string bytes) {
    DescriptorItem it;
    it.key = key;
    it.type = type;
    it.bytes = std::move(bytes);
    return add(it);
}

const DescriptorItem* Descriptor::find(DescriptorKeyID key) const {
    for (const auto& it : items_)
        if (it.key == key) return &it;
    return nullptr;
}

std::optional<int32_t> Descriptor::integer(DescriptorKeyID key) const {
    const DescriptorItem* it = find(key);
    if (!it || it->type != typeInteger) return std::nullopt;
    return it->integer;
}

std::optional<DescEnum> Descriptor::enumerated(DescriptorKeyID key) const {
    const DescriptorItem* it = find(key);
    if (!it || it->type != typeEnumerated) return std::nullopt;
    return it->enumValue;
}

std::optional<double> Descriptor::number(DescriptorKeyID key) const {
    const DescriptorItem* it = find(key);
    if (!it || (it->type != typeFloat && it->type != typeUnitFloat)) return std::nullopt;
    return it->number;
}

std::optional<bool> Descriptor::boolean(DescriptorKeyID key) const {
    const DescriptorItem* it = find(key);
    if (!it || it->type != typeBoolean) return std::nullopt;
    return it->boolean;
}

std::vector<uint8_t> Descriptor::serialize() const {
    std::vector<uint8_t> out;
    putU32(out, kMagic);
    putU32(out, uint32_t(items_.size()));
    for (const auto& it : items_) {
        putU32(out, it.key);
        putU32(out, it.type);
        switch (it.type) {
        case typeInteger:
            putU32(out, uint32_t(it.integer));
            break;
        case typeFloat:
            putF64(out, it.number);
            break;
        case typeUnitFloat:
            putU32(out, it.unit);
            putF64(out, it.number);
            break;
        case typeBoolean:
            out.push_back(it.boolean ? 1 : 0);
            break;
        case typeEnumerated:
            putU32(out, it.enumType);
            putU32(out, it.enumValue);
            break;
        case typeClass:
            putU32(out, it.enumValue);
            break;
        case typeObject:
            putU32(out, it.enumValue);
            [[fallthrough]];
        default:
            putU32(out, uint32_t(it.bytes.size()));
            out.insert(out.end(), it.bytes.begin(), it.bytes.end());
            break;
        }
    }
    return out;
}

bool Descriptor::parse(const uint8_t* data, size_t size, Descriptor& out) {
    if (!data && size) return false;
    Reader r{data, size};
    if (r.u32() != kMagic || !r.ok) return false;
    uint32_t count = r.u32();
    // Every item takes at least nine bytes: no count can promise more items
    // than the bytes that follow can hold.
    if (!r.ok || count > r.left / 9) return false;
    Descriptor d;
    d.items_.reserve(count);
    for (uint32_t i = 0; i < count && r.ok; ++i) {
        DescriptorItem it;
        it.key = r.u32();
        it.type = r.u32();
        switch (it.type) {
        case typeInteger:
            it.integer = int32_t(r.u32());
            break;
        case typeFloat:
            it.number = r.f64();
            break;
        case typeUnitFloat:
            it.unit = r.u32();
            it.number = r.f64();
            break;
        case typeBoolean: {
            uint8_t b = r.u8();
            if (b > 1) r.fail();
            it.boolean = b != 0;
            break;
        }
        case typeEnumerated:
            it.enumType = r.u32();
            it.enumValue = r.u32();
            break;
        case typeClass:
            it.enumValue = r.u32();
            break;
        case typeObject:
            it.enumValue = r.u32();
            [[fallthrough]];
        default:
            it.bytes = r.bytes();
            break;
        }
        if (r.ok) d.items_.push_back(std::move(it));
    }
    if (!r.ok || r.left != 0) return false;
    out = std::move(d);
    return true;
}

Handle Descriptor::toHandle() const {
    std::vector<uint8_t> bytes = serialize();
    if (bytes.size() > size_t(INT32_MAX)) return nullptr;
    Handle h = newHandle(int32_t(bytes.size()));
    if (!h) return nullptr;
    const LockedHandle locked(h);
    std::memcpy(locked.data(), bytes.data(), bytes.size());
    return h;
}

bool Descriptor::fromHandle(Handle h, Descriptor& out) {
    if (!isLiveHandle(h)) return false;
    int32_t size = handleSize(h);
    const LockedHandle locked(h);
    return locked.data() &&
           parse(reinterpret_cast<const uint8_t*>(locked.data()), size_t(size), out);
}

std::string fourCCText(uint32_t code) {
    std::string s(4, '?');
    for (int i = 0; i < 4; ++i) {
        char c = char((code >> (24 - 8 * i)) & 0xFF);
        if (c >= 32 && c < 127) s[size_t(i)] = c;
    }
    return s;
}

} // namespace qf::host
