#include "platform/io/registry_tree.h"

#include "platform/kernel/check.h"

#include <algorithm>
#include <utility>

namespace io::detail {
namespace {

constexpr std::u16string_view registryRootName = u"REGISTRY";

struct InForce {
    std::mutex lock;
    std::shared_ptr<RegistryTree> process = std::make_shared<RegistryTree>();
    std::shared_ptr<RegistryTree> installed;
};

InForce& inForce() {
    static InForce* instance = new InForce; // used by threads that may outlive static destruction
    return *instance;
}

} // namespace

std::u16string upcaseName(std::u16string_view name) {
    std::u16string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(), kernel::upcaseChar);
    return upper;
}

RegistryNode* RegistryNode::findSubkey(std::u16string_view subkey) const {
    const auto found = subkeys.find(upcaseName(subkey));
    return found == subkeys.end() ? nullptr : found->second.get();
}

RegistryNode& RegistryNode::addSubkey(std::u16string_view subkey) {
    std::unique_ptr<RegistryNode>& slot = subkeys[upcaseName(subkey)];
    if (!slot) slot = std::make_unique<RegistryNode>(subkey, depth + 1);
    return *slot;
}

const RegistryValue* RegistryNode::findValue(std::u16string_view valueName) const {
    const auto found = valueIndex.find(upcaseName(valueName));
    return found == valueIndex.end() ? nullptr : &values[found->second];
}

RegistryValue* RegistryNode::findValue(std::u16string_view valueName) {
    return const_cast<RegistryValue*>(std::as_const(*this).findValue(valueName));
}

void RegistryNode::setValue(std::u16string_view valueName, RegistryValueType type,
                            std::span<const std::uint8_t> data) {
    const auto [place, added] = valueIndex.try_emplace(upcaseName(valueName), values.size());
    if (added) values.push_back(RegistryValue{std::u16string(valueName), type, {}});
    RegistryValue* target = &values[place->second];
    target->type = type;
    target->data.assign(data.begin(), data.end());
}

std::shared_ptr<RegistryTree> registryInForce() {
    InForce& state = inForce();
    std::lock_guard guard(state.lock);
    return state.installed ? state.installed : state.process;
}

void installRegistry(const std::shared_ptr<RegistryTree>& tree) {
    InForce& state = inForce();
    std::lock_guard guard(state.lock);
    if (kernel::check(!state.installed, "a second registry installed while one is in force"))
        state.installed = tree;
}

void removeRegistry(const std::shared_ptr<RegistryTree>& tree) {
    InForce& state = inForce();
    std::lock_guard guard(state.lock);
    if (state.installed == tree) state.installed.reset();
}

kernel::NTSTATUS splitKeyPath(std::u16string_view path, bool relative,
                              std::vector<std::u16string_view>& names) {
    names.clear();
    if (!relative) {
        if (path.empty() || path.front() != u'\\') return kernel::STATUS_OBJECT_NAME_INVALID;
        path.remove_prefix(1);
    }
    if (path.empty()) return relative ? kernel::STATUS_SUCCESS : kernel::STATUS_OBJECT_NAME_INVALID;
    for (;;) {
        const std::size_t end = std::min(path.find(u'\\'), path.size());
        const std::u16string_view name = path.substr(0, end);
        if (name.empty() || name.size() > maxKeyNameChars)
            return kernel::STATUS_OBJECT_NAME_INVALID;
        // The first name of an absolute path is "Registry", which lies above the levels.
        if (names.size() == maxKeyDepth + (relative ? 0 : 1))
            return kernel::STATUS_OBJECT_NAME_INVALID;
        names.push_back(name);
        if (end == path.size()) break;
        path.remove_prefix(end + 1);
    }
    if (!relative) {
        if (upcaseName(names.front()) != registryRootName)
            return kernel::STATUS_OBJECT_NAME_INVALID;
        names.erase(names.begin());
    }
    return kernel::STATUS_SUCCESS;
}

RegistryNode* walk(RegistryNode& from, std::span<const std::u16string_view> names, bool create) {
    RegistryNode* node = &from;
    for (const std::u16string_view name : names) {
        RegistryNode* next = node->findSubkey(name);
        if (next == nullptr && create) next = &node->addSubkey(name);
        if (next == nullptr) return nullptr;
        node = next;
    }
    return node;
}

} // namespace io::detail
