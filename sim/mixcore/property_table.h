#pragma once

// The properties the library knows, with how each is stored and keyed.

#include <string_view>

namespace mixcoresim {

enum class ValueKind {
    Integer, // int32, read as decimal text
    Scalar,  // float32, read as fixed text with six decimals
    Text,    // read-only text
};

struct PropertyDef {
    std::string_view name;
    ValueKind kind;
    // Leading selector words that tell values of the property apart (channel,
    // effect item); the rest of a selector is not looked at.
    int selectorWords;
    bool writable;
};

// Null for a name the library does not know.
const PropertyDef* findProperty(std::string_view name);

} // namespace mixcoresim
