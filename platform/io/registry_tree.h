// The registry's store, shared by the key handles, the text form and the
// file that keeps it. Only platform/io's own sources include this header.
#pragma once

#include "platform/io/registry.h"
#include "platform/io/registry_types.h"
#include "platform/kernel/status.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace io::detail {

// Names compare without regard to case; the key is the upper-case form.
std::u16string upcaseName(std::u16string_view name);

struct RegistryValue {
    std::u16string name; // as first written
    RegistryValueType type = REG_NONE;
    std::vector<std::uint8_t> data;
};

// Keys are never removed, so a handle may point at one for as long as it
// holds its tree.
struct RegistryNode {
    RegistryNode(std::u16string_view keyName, std::size_t keyDepth)
        : name(keyName), depth(keyDepth) {}

    const std::u16string name;                                       // as created
    const std::size_t depth;                                         // levels below "\Registry"
    std::map<std::u16string, std::unique_ptr<RegistryNode>> subkeys; // by upcaseName
    std::vector<RegistryValue> values;                               // in order of creation
    std::map<std::u16string, std::size_t> valueIndex; // by upcaseName: place in values

    RegistryNode* findSubkey(std::u16string_view subkey) const;
    RegistryNode& addSubkey(std::u16string_view subkey); // the existing one when there is one
    const RegistryValue* findValue(std::u16string_view valueName) const;
    RegistryValue* findValue(std::u16string_view valueName);
    void setValue(std::u16string_view valueName, RegistryValueType type,
                  std::span<const std::uint8_t> data); // keeps an existing value's place
};

using FlushHandler = std::function<kernel::NTSTATUS()>;

struct RegistryTree {
    std::mutex lock;
    RegistryNode root{u"Registry", 0}; // the key "\Registry"
    FlushHandler flushHandler;         // under the lock; called without it
};

std::shared_ptr<RegistryTree> registryInForce();
// Installs a tree in place of the process's (a second one fails a check and
// is not installed); removing it puts the process's back.
void installRegistry(const std::shared_ptr<RegistryTree>& tree);
void removeRegistry(const std::shared_ptr<RegistryTree>& tree);

// Splits a key path into its names: absolute ("\Registry\...", the first
// name dropped) unless relative is set. STATUS_OBJECT_NAME_INVALID for an
// empty name, a name over maxKeyNameChars, more names than maxKeyDepth or an
// absolute path outside "\Registry".
kernel::NTSTATUS splitKeyPath(std::u16string_view path, bool relative,
                              std::vector<std::u16string_view>& names);

// Follows the names from a key; null when one is missing. With create, the
// missing keys are made on the way.
RegistryNode* walk(RegistryNode& from, std::span<const std::u16string_view> names, bool create);

// Opens the key at an absolute path, making every missing key on the way.
kernel::NTSTATUS createKeyPath(RegistryKey& key, std::u16string_view path);

} // namespace io::detail
