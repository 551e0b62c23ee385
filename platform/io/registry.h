// The registry: a tree of keys, each with named values of a type, reached by
// paths of the form "\Registry\Machine\SYSTEM\..." whose names compare
// without regard to case. It lives in memory; a program keeps it in a file
// (registry_file.h) and tests set it up and read it back as text
// (registry_text.h). All of it runs at passive level.
#pragma once

#include "platform/io/registry_types.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unicode_string.h"

#include <cstdint>
#include <functional>
#include <memory>

namespace io {

namespace detail {
struct RegistryTree;
struct RegistryNode;
struct RegistryAccess;
} // namespace detail

// A registry of its own. While it lives it is the registry in force, in place
// of the process's (which starts empty and serves programs); the destructor
// puts the process's back. One at a time.
class Registry {
public:
    Registry();
    ~Registry();
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

private:
    std::shared_ptr<detail::RegistryTree> tree_;
};

// An open key. Closed by its destructor; a moved-from handle is closed. A
// handle keeps its registry's store alive, so it stays valid even when the
// registry is no longer in force.
class RegistryKey {
public:
    RegistryKey();
    ~RegistryKey();
    RegistryKey(RegistryKey&& other) noexcept;
    RegistryKey& operator=(RegistryKey&& other) noexcept;

    bool isOpen() const { return node_ != nullptr; }
    void close();

private:
    friend struct detail::RegistryAccess;
    std::shared_ptr<detail::RegistryTree> tree_;
    detail::RegistryNode* node_ = nullptr;
};

// Longest key name in characters, and the most levels a key lies below
// "\Registry" ("\Registry\Machine" lies one level below it).
inline constexpr std::size_t maxKeyNameChars = 255;
inline constexpr std::size_t maxKeyDepth = 512;

// Opens an existing key: by its absolute path, or by a path relative to an
// open key (an empty path opens that key again). STATUS_OBJECT_NAME_NOT_FOUND
// when a key on the way is missing, STATUS_OBJECT_NAME_INVALID for a
// malformed path (an empty name, a name over maxKeyNameChars, a key deeper
// than maxKeyDepth), STATUS_INVALID_HANDLE for a closed root. An open key
// handed in is closed first.
kernel::NTSTATUS openKey(RegistryKey& key, const kernel::UnicodeString& path,
                         const RegistryKey* root = nullptr);

enum class KeyDisposition { Created, Opened };

// Opens the key, creating it when it does not exist; every key before the
// last must exist (STATUS_OBJECT_NAME_NOT_FOUND otherwise).
kernel::NTSTATUS createKey(RegistryKey& key, const kernel::UnicodeString& path,
                           const RegistryKey* root = nullptr,
                           KeyDisposition* disposition = nullptr);

// Longest value name in characters, and most data a value holds.
inline constexpr std::size_t maxValueNameChars = 16383;
inline constexpr std::uint32_t maxValueDataBytes = 1u << 20;

// Fills buffer with a KeyValuePartialInformation of the value (an empty name
// is the key's default value) and sets resultLength to the bytes the whole
// record needs (12 + data length):
// - STATUS_OBJECT_NAME_NOT_FOUND: no such value; resultLength 0;
// - STATUS_BUFFER_TOO_SMALL: length below 12; nothing written;
// - STATUS_BUFFER_OVERFLOW: the header fits but the data does not; the header
//   is written, no data;
// - STATUS_SUCCESS: header and data written.
kernel::NTSTATUS queryValuePartialInformation(const RegistryKey& key,
                                              const kernel::UnicodeString& valueName, void* buffer,
                                              std::uint32_t length, std::uint32_t* resultLength);

// Creates or replaces a value (a replaced value keeps its place among the
// key's values). STATUS_INVALID_PARAMETER for a name over maxValueNameChars,
// data over maxValueDataBytes, or no data pointer for a non-zero length.
kernel::NTSTATUS setValue(const RegistryKey& key, const kernel::UnicodeString& valueName,
                          RegistryValueType type, const void* data, std::uint32_t length);

// Asks for the registry to be written to its keeper now. Success when no one
// keeps it; otherwise the keeper's status.
kernel::NTSTATUS flushKey(const RegistryKey& key);

// The keeper of the registry in force: flushKey calls it (null removes it).
using RegistryFlushHandler = std::function<kernel::NTSTATUS()>;
void setRegistryFlushHandler(RegistryFlushHandler handler);

} // namespace io
