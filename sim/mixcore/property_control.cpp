#include "sim/mixcore/property_control.h"

#include "sim/mixcore/property_table.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace mixcoresim {

namespace {

constexpr std::int32_t kRead = 0;
constexpr std::int32_t kWrite = 1;
// Longer names are no property's.
constexpr std::size_t kMaxNameUnits = 256;

// The name as ASCII; empty when it is not ASCII or too long to be a name.
std::string narrowName(const char16_t* name) {
    std::string out;
    for (std::size_t i = 0; name[i] != 0; ++i) {
        if (name[i] > 0x7F || i == kMaxNameUnits) return {};
        out += static_cast<char>(name[i]);
    }
    return out;
}

std::string narrow(const std::u16string& text) {
    std::string out;
    for (char16_t c : text) out += c <= 0x7F ? static_cast<char>(c) : '?';
    return out;
}

std::string fixedText(float value) {
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, static_cast<double>(value),
                                   std::chars_format::fixed, 6);
    return std::string(buf, end.ptr);
}

// Read-only values that come from the device itself.
StoredValue deviceValue(const PropertyDef& def, std::uint32_t word0) {
    if (def.name == "GetDeviceID") return static_cast<std::int32_t>(word0);
    if (def.name == "GetSupportFeature") return std::int32_t{3};
    return widen(word0 < 0x200 ? "usb-1-2:1.0/render" : "usb-1-2:1.0/capture");
}

StoredValue defaultValue(const PropertyDef& def, std::uint32_t word0) {
    if (!def.writable) return deviceValue(def, word0);
    if (def.kind == ValueKind::Scalar) return 1.0f;
    return std::int32_t{0};
}

std::string valueText(const StoredValue& value) {
    if (const auto* i = std::get_if<std::int32_t>(&value)) return std::to_string(*i);
    if (const auto* f = std::get_if<float>(&value)) return fixedText(*f);
    return narrow(std::get<std::u16string>(value));
}

std::string selectorText(const PropertyDef* def, void** selector) {
    if (!selector || !*selector) return "-";
    const int words = std::max(def ? def->selectorWords : 1, 1);
    const auto* at = static_cast<const std::int32_t*>(*selector);
    std::string out = "{";
    for (int i = 0; i < words; ++i) out += (i ? "," : "") + std::to_string(at[i]);
    return out + "}";
}

StoredValue sentValue(const PropertyDef* def, const void* value) {
    if (def && def->kind == ValueKind::Scalar) {
        float f = 0;
        std::memcpy(&f, value, sizeof f);
        return f;
    }
    std::int32_t i = 0;
    std::memcpy(&i, value, sizeof i);
    return i;
}

std::string sentText(const PropertyDef* def, const void* value) {
    return valueText(sentValue(def, value));
}

void writeText(const std::u16string& text, void* buffer) {
    const std::size_t units = std::min(text.size(), kMaxTextUnits);
    auto* out = static_cast<char16_t*>(buffer);
    std::copy_n(text.data(), units, out);
    if (units < kMaxTextUnits) out[units] = 0;
}

struct Outcome {
    std::int32_t result = kOk;
    std::string value = "-";
};

Outcome readProperty(World& w, const PropertyDef& def, const PropertyKey& key, void* buffer) {
    const auto stored = w.store.find(key);
    const StoredValue value =
        stored != w.store.end() ? stored->second : defaultValue(def, key.word0);
    const std::string text = valueText(value);
    writeText(std::holds_alternative<std::u16string>(value) ? std::get<std::u16string>(value)
                                                            : widen(text.c_str()),
              buffer);
    return {kOk, text};
}

Outcome writeProperty(World& w, const PropertyDef& def, const PropertyKey& key, const void* value) {
    if (!def.writable) return {kBadArgument};
    w.store[key] = sentValue(&def, value);
    return {kOk};
}

Outcome control(World& w, const PropertyDef* def, const PropertyKey& key, void** data,
                void** selector, std::int32_t direction) {
    if (!def || w.failedNames.count(key.name) || !w.knowsDevice(key.word0)) return {kUnknown};
    if (direction != kRead && direction != kWrite) return {kBadArgument};
    if (!data || !*data) return {kBadArgument};
    if (def->selectorWords > 0 && (!selector || !*selector)) return {kBadArgument};
    if (direction == kRead) return readProperty(w, *def, key, *data);
    return writeProperty(w, *def, key, *data);
}

} // namespace

std::u16string widen(const char* text) {
    std::u16string out;
    for (; *text; ++text) out += static_cast<char16_t>(static_cast<unsigned char>(*text));
    return out;
}

std::int32_t controlProperty(World& w, std::uint32_t word0, const char16_t* name, void** data,
                             void** selector, std::int32_t direction) {
    PropertyKey key{word0, name ? narrowName(name) : std::string(), {}};
    const PropertyDef* def = findProperty(key.name);
    if (def && def->selectorWords > 0 && selector && *selector) {
        const auto* words = static_cast<const std::int32_t*>(*selector);
        key.selector.assign(words, words + def->selectorWords);
    }
    Outcome outcome = control(w, def, key, data, selector, direction);
    // A write shows what was sent, also when it was refused.
    if (direction == kWrite && data && *data) outcome.value = sentText(def, *data);

    char word[16];
    std::snprintf(word, sizeof word, "0x%X", word0);
    const char* way = direction == kRead ? "get" : direction == kWrite ? "set" : "?";
    w.note(std::string(word) + ' ' + (key.name.empty() ? "?" : key.name) + ' ' +
           selectorText(def, selector) + ' ' + way + ' ' + outcome.value + " =" +
           std::to_string(outcome.result));
    return outcome.result;
}

} // namespace mixcoresim
