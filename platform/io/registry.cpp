#include "platform/io/registry.h"

#include "platform/io/registry_tree.h"
#include "platform/kernel/irql.h"

#include <cstring>
#include <utility>

namespace io {
namespace detail {

struct RegistryAccess {
    static void open(RegistryKey& key, std::shared_ptr<RegistryTree> tree, RegistryNode* node) {
        key.close();
        key.tree_ = std::move(tree);
        key.node_ = node;
    }
    static RegistryTree* tree(const RegistryKey& key) { return key.tree_.get(); }
    static RegistryNode* node(const RegistryKey& key) { return key.node_; }
    static const std::shared_ptr<RegistryTree>& sharedTree(const RegistryKey& key) {
        return key.tree_;
    }
};

} // namespace detail

using detail::RegistryAccess;
using detail::RegistryNode;
using detail::RegistryTree;
using kernel::NTSTATUS;

namespace {

// The tree and the key a path starts from: the root handle's, or the registry
// in force for an absolute path.
struct PathStart {
    std::shared_ptr<RegistryTree> tree;
    RegistryNode* node = nullptr;
};

NTSTATUS resolveStart(const RegistryKey* root, PathStart& start) {
    if (root == nullptr) {
        start.tree = detail::registryInForce();
        start.node = &start.tree->root;
        return kernel::STATUS_SUCCESS;
    }
    if (!root->isOpen()) return kernel::STATUS_INVALID_HANDLE;
    start.tree = RegistryAccess::sharedTree(*root);
    start.node = RegistryAccess::node(*root);
    return kernel::STATUS_SUCCESS;
}

NTSTATUS openOrCreate(RegistryKey& key, const kernel::UnicodeString& path, const RegistryKey* root,
                      bool create, KeyDisposition* disposition) {
    if (!kernel::requireIrql(kernel::Irql::Passive, "registry key open"))
        return kernel::STATUS_UNSUCCESSFUL;
    PathStart start;
    NTSTATUS status = resolveStart(root, start);
    if (!kernel::succeeded(status)) return status;
    std::vector<std::u16string_view> names;
    status = detail::splitKeyPath(path.view(), root != nullptr, names);
    if (!kernel::succeeded(status)) return status;
    if (start.node->depth + names.size() > maxKeyDepth) return kernel::STATUS_OBJECT_NAME_INVALID;

    RegistryNode* node = nullptr;
    bool created = false;
    {
        std::lock_guard guard(start.tree->lock);
        if (create && !names.empty()) {
            RegistryNode* parent =
                detail::walk(*start.node, std::span(names).first(names.size() - 1), false);
            if (parent != nullptr) {
                node = parent->findSubkey(names.back());
                if (node == nullptr) {
                    node = &parent->addSubkey(names.back());
                    created = true;
                }
            }
        } else {
            node = detail::walk(*start.node, names, false);
        }
    }
    if (node == nullptr) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    RegistryAccess::open(key, std::move(start.tree), node);
    if (disposition != nullptr)
        *disposition = created ? KeyDisposition::Created : KeyDisposition::Opened;
    return kernel::STATUS_SUCCESS;
}

} // namespace

Registry::Registry() : tree_(std::make_shared<RegistryTree>()) { detail::installRegistry(tree_); }

Registry::~Registry() { detail::removeRegistry(tree_); }

RegistryKey::RegistryKey() = default;
RegistryKey::~RegistryKey() = default;

RegistryKey::RegistryKey(RegistryKey&& other) noexcept
    : tree_(std::move(other.tree_)), node_(std::exchange(other.node_, nullptr)) {}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
        tree_ = std::move(other.tree_);
        node_ = std::exchange(other.node_, nullptr);
    }
    return *this;
}

void RegistryKey::close() {
    tree_.reset();
    node_ = nullptr;
}

NTSTATUS openKey(RegistryKey& key, const kernel::UnicodeString& path, const RegistryKey* root) {
    key.close();
    return openOrCreate(key, path, root, false, nullptr);
}

NTSTATUS createKey(RegistryKey& key, const kernel::UnicodeString& path, const RegistryKey* root,
                   KeyDisposition* disposition) {
    key.close();
    return openOrCreate(key, path, root, true, disposition);
}

NTSTATUS detail::createKeyPath(RegistryKey& key, std::u16string_view path) {
    key.close();
    if (!kernel::requireIrql(kernel::Irql::Passive, "registry key open"))
        return kernel::STATUS_UNSUCCESSFUL;
    std::vector<std::u16string_view> names;
    const NTSTATUS status = splitKeyPath(path, false, names);
    if (!kernel::succeeded(status)) return status;
    std::shared_ptr<RegistryTree> tree = registryInForce();
    RegistryNode* node = nullptr;
    {
        std::lock_guard guard(tree->lock);
        node = walk(tree->root, names, true);
    }
    RegistryAccess::open(key, std::move(tree), node);
    return kernel::STATUS_SUCCESS;
}

NTSTATUS queryValuePartialInformation(const RegistryKey& key,
                                      const kernel::UnicodeString& valueName, void* buffer,
                                      std::uint32_t length, std::uint32_t* resultLength) {
    if (!kernel::requireIrql(kernel::Irql::Passive, "registry value query"))
        return kernel::STATUS_UNSUCCESSFUL;
    if (!key.isOpen()) return kernel::STATUS_INVALID_HANDLE;
    if (resultLength == nullptr || (buffer == nullptr && length != 0))
        return kernel::STATUS_INVALID_PARAMETER;
    *resultLength = 0;
    RegistryTree& tree = *RegistryAccess::tree(key);
    std::lock_guard guard(tree.lock);
    const detail::RegistryValue* value = RegistryAccess::node(key)->findValue(valueName.view());
    if (value == nullptr) return kernel::STATUS_OBJECT_NAME_NOT_FOUND;

    const auto dataLength = static_cast<std::uint32_t>(value->data.size());
    *resultLength = partialInformationHeaderBytes + dataLength;
    if (length < partialInformationHeaderBytes) return kernel::STATUS_BUFFER_TOO_SMALL;
    const KeyValuePartialInformation header{0, value->type, dataLength, {}};
    std::memcpy(buffer, &header, partialInformationHeaderBytes);
    if (length - partialInformationHeaderBytes < dataLength) return kernel::STATUS_BUFFER_OVERFLOW;
    if (dataLength != 0)
        std::memcpy(static_cast<std::uint8_t*>(buffer) + partialInformationHeaderBytes,
                    value->data.data(), dataLength);
    return kernel::STATUS_SUCCESS;
}

NTSTATUS setValue(const RegistryKey& key, const kernel::UnicodeString& valueName,
                  RegistryValueType type, const void* data, std::uint32_t length) {
    if (!kernel::requireIrql(kernel::Irql::Passive, "registry value write"))
        return kernel::STATUS_UNSUCCESSFUL;
    if (!key.isOpen()) return kernel::STATUS_INVALID_HANDLE;
    if (valueName.length / 2u > maxValueNameChars || length > maxValueDataBytes ||
        (data == nullptr && length != 0))
        return kernel::STATUS_INVALID_PARAMETER;
    RegistryTree& tree = *RegistryAccess::tree(key);
    std::lock_guard guard(tree.lock);
    RegistryAccess::node(key)->setValue(valueName.view(), type,
                                        std::span(static_cast<const std::uint8_t*>(data), length));
    return kernel::STATUS_SUCCESS;
}

NTSTATUS flushKey(const RegistryKey& key) {
    if (!kernel::requireIrql(kernel::Irql::Passive, "registry flush"))
        return kernel::STATUS_UNSUCCESSFUL;
    if (!key.isOpen()) return kernel::STATUS_INVALID_HANDLE;
    RegistryTree& tree = *RegistryAccess::tree(key);
    detail::FlushHandler handler;
    {
        std::lock_guard guard(tree.lock);
        handler = tree.flushHandler;
    }
    return handler ? handler() : kernel::STATUS_SUCCESS;
}

void setRegistryFlushHandler(RegistryFlushHandler handler) {
    const std::shared_ptr<RegistryTree> tree = detail::registryInForce();
    std::lock_guard guard(tree->lock);
    tree->flushHandler = std::move(handler);
}

} // namespace io
