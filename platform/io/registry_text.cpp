#include "platform/io/registry_text.h"

#include "platform/io/registry.h"
#include "platform/io/registry_tree.h"

#include <array>
#include <charconv>
#include <set>

namespace io {
namespace {

using detail::RegistryNode;
using detail::RegistryValue;

constexpr std::array<std::string_view, 12> typeWords = {"none",
                                                        "sz",
                                                        "expand_sz",
                                                        "binary",
                                                        "dword",
                                                        "dword_be",
                                                        "link",
                                                        "multi_sz",
                                                        "resource_list",
                                                        "full_resource_descriptor",
                                                        "resource_requirements_list",
                                                        "qword"};

constexpr char hexDigits[] = "0123456789ABCDEF";

bool parseHexByte(std::string_view digits, std::uint8_t& byte) {
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), byte, 16);
    return digits.size() == 2 && ec == std::errc{} && end == digits.data() + digits.size();
}

void appendName(std::string& out, std::u16string_view name) {
    for (const char16_t c : name) {
        if (c >= 0x20 && c <= 0x7E && c != u'%' && c != u'"') {
            out += static_cast<char>(c);
            continue;
        }
        out += '%';
        for (int shift = 12; shift >= 0; shift -= 4) out += hexDigits[(c >> shift) & 0xF];
    }
}

void appendType(std::string& out, RegistryValueType type) {
    if (type < typeWords.size()) {
        out += typeWords[type];
        return;
    }
    out += std::to_string(type);
}

void dumpNode(std::string& out, const RegistryNode& node, std::string& path) {
    out += path;
    out += '\n';
    for (const RegistryValue& value : node.values) {
        out += "  \"";
        appendName(out, value.name);
        out += "\" ";
        appendType(out, value.type);
        for (const std::uint8_t byte : value.data) {
            out += ' ';
            out += hexDigits[byte >> 4];
            out += hexDigits[byte & 0xF];
        }
        out += '\n';
    }
    for (const auto& [upper, subkey] : node.subkeys) {
        const std::size_t length = path.size();
        path += '\\';
        appendName(path, subkey->name);
        dumpNode(out, *subkey, path);
        path.resize(length);
    }
}

// One key of a text and the values listed under it.
struct KeyEntry {
    std::vector<std::u16string> names; // below "\Registry"
    std::vector<RegistryValue> values;
};

class TextReader {
public:
    explicit TextReader(std::string_view text) : text_(text) {}

    bool parse(std::vector<KeyEntry>& entries) {
        while (!text_.empty()) {
            ++lineNumber_;
            const std::size_t end = std::min(text_.find('\n'), text_.size());
            const std::string_view line = text_.substr(0, end);
            text_.remove_prefix(std::min(end + 1, text_.size()));
            if (!parseLine(line, entries)) return false;
        }
        return true;
    }

    std::string error() const { return "line " + std::to_string(lineNumber_) + ": " + error_; }

private:
    bool fail(std::string what) {
        error_ = std::move(what);
        return false;
    }

    bool parseLine(std::string_view line, std::vector<KeyEntry>& entries) {
        for (const char c : line)
            if (c < 0x20 || c > 0x7E) return fail("a character outside printable ASCII");
        if (line.empty()) return true;
        if (line.front() == '\\') return parseKey(line.substr(1), entries);
        if (line.starts_with("  \"")) {
            if (entries.empty()) return fail("a value before any key");
            return parseValue(line.substr(3), entries.back());
        }
        return fail("neither a key path nor a value");
    }

    bool decodeName(std::string_view encoded, std::u16string& name) {
        name.clear();
        for (std::size_t i = 0; i < encoded.size(); ++i) {
            if (encoded[i] == '"') return fail("a double quote inside a name");
            if (encoded[i] != '%') {
                name += static_cast<char16_t>(encoded[i]);
                continue;
            }
            unsigned code = 0;
            const std::string_view digits = encoded.substr(i + 1, 4);
            const auto [end, ec] =
                std::from_chars(digits.data(), digits.data() + digits.size(), code, 16);
            if (digits.size() != 4 || ec != std::errc{} || end != digits.data() + 4)
                return fail("% not followed by four hex digits");
            name += static_cast<char16_t>(code);
            i += 4;
        }
        return true;
    }

    bool parseKey(std::string_view path, std::vector<KeyEntry>& entries) {
        KeyEntry entry;
        bool first = true;
        for (;;) {
            const std::size_t end = std::min(path.find('\\'), path.size());
            std::u16string name;
            if (!decodeName(path.substr(0, end), name)) return false;
            if (name.empty() || name.size() > 255 || name.find(u'\\') != std::u16string::npos)
                return fail("a key name that is empty, longer than 255 characters or holds a "
                            "backslash");
            if (first && detail::upcaseName(name) != u"REGISTRY")
                return fail("a key path outside \\Registry");
            if (!first) entry.names.push_back(std::move(name));
            first = false;
            if (end == path.size()) break;
            path.remove_prefix(end + 1);
        }
        std::u16string upperPath;
        for (const std::u16string& name : entry.names)
            upperPath += u'\\' + detail::upcaseName(name);
        if (!paths_.insert(upperPath).second) return fail("a key listed twice");
        entries.push_back(std::move(entry));
        return true;
    }

    bool parseType(std::string_view word, RegistryValueType& type) {
        for (std::size_t i = 0; i < typeWords.size(); ++i)
            if (word == typeWords[i]) {
                type = static_cast<RegistryValueType>(i);
                return true;
            }
        const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), type);
        if (word.empty() || ec != std::errc{} || end != word.data() + word.size())
            return fail("an unknown value type");
        return true;
    }

    bool parseValue(std::string_view rest, KeyEntry& entry) {
        const std::size_t quote = rest.find('"');
        if (quote == std::string_view::npos) return fail("a value name without its closing quote");
        RegistryValue value;
        if (!decodeName(rest.substr(0, quote), value.name)) return false;
        if (value.name.size() > maxValueNameChars) return fail("a value name too long");
        for (const RegistryValue& other : entry.values)
            if (detail::upcaseName(other.name) == detail::upcaseName(value.name))
                return fail("a value listed twice in one key");
        rest.remove_prefix(quote + 1);
        if (!rest.starts_with(' ')) return fail("no type after the value name");
        rest.remove_prefix(1);
        const std::size_t typeEnd = std::min(rest.find(' '), rest.size());
        if (!parseType(rest.substr(0, typeEnd), value.type)) return false;
        rest.remove_prefix(typeEnd);
        while (!rest.empty()) {
            std::uint8_t byte = 0;
            if (rest.size() < 3 || rest[0] != ' ' || !parseHexByte(rest.substr(1, 2), byte))
                return fail("data that is not a blank and two hex digits per byte");
            if (value.data.size() == maxValueDataBytes) return fail("more data than a value holds");
            value.data.push_back(byte);
            rest.remove_prefix(3);
        }
        entry.values.push_back(std::move(value));
        return true;
    }

    std::string_view text_;
    std::size_t lineNumber_ = 0;
    std::string error_;
    std::set<std::u16string> paths_;
};

} // namespace

std::string dumpRegistry(std::u16string_view path) {
    const std::shared_ptr<detail::RegistryTree> tree = detail::registryInForce();
    std::vector<std::u16string_view> names;
    if (!kernel::succeeded(detail::splitKeyPath(path, false, names))) return {};
    std::lock_guard guard(tree->lock);
    std::string text;
    std::string keyPath = "\\";
    appendName(keyPath, tree->root.name);
    const RegistryNode* node = &tree->root;
    for (const std::u16string_view name : names) {
        node = node->findSubkey(name);
        if (node == nullptr) return {};
        keyPath += '\\';
        appendName(keyPath, node->name);
    }
    dumpNode(text, *node, keyPath);
    return text;
}

kernel::NTSTATUS loadRegistry(std::string_view text, std::string* error) {
    std::vector<KeyEntry> entries;
    TextReader reader(text);
    if (!reader.parse(entries)) {
        if (error != nullptr) *error = reader.error();
        return kernel::STATUS_INVALID_PARAMETER;
    }
    const std::shared_ptr<detail::RegistryTree> tree = detail::registryInForce();
    std::lock_guard guard(tree->lock);
    for (const KeyEntry& entry : entries) {
        const std::vector<std::u16string_view> names(entry.names.begin(), entry.names.end());
        RegistryNode& node = *detail::walk(tree->root, names, true);
        for (const RegistryValue& value : entry.values)
            node.setValue(value.name, value.type, value.data);
    }
    return kernel::STATUS_SUCCESS;
}

} // namespace io
