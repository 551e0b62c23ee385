#include "platform/io/registry_text.h"

#include "platform/io/registry.h"
#include "platform/io/registry_tree.h"

#include <array>
#include <charconv>
#include <deque>
#include <unordered_set>

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

void dumpNode(std::string& out, const RegistryNode& node, std::string& path, KeyLines lines,
              bool first) {
    if (first || lines == KeyLines::Every || !node.values.empty() || node.subkeys.empty()) {
        out += path;
        out += '\n';
    }
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
        dumpNode(out, *subkey, path, lines, false);
        path.resize(length);
    }
}

// One key of a text and the values listed under it.
struct KeyEntry {
    std::vector<std::u16string> names; // below "\Registry"
    std::vector<RegistryValue> values;
    std::unordered_set<std::u16string> upperValueNames;
};

class TextReader {
public:
    TextReader(std::string_view text, std::vector<std::string>* refused)
        : text_(text), refused_(refused) {}

    bool parse(std::deque<KeyEntry>& entries) {
        while (!text_.empty()) {
            ++lineNumber_;
            const std::size_t end = std::min(text_.find('\n'), text_.size());
            const std::string_view line = text_.substr(0, end);
            text_.remove_prefix(std::min(end + 1, text_.size()));
            if (!parseLine(line, entries)) return false;
        }
        return true;
    }

    std::string error() const { return lineLabel() + error_; }

private:
    std::string lineLabel() const { return "line " + std::to_string(lineNumber_) + ": "; }

    bool fail(std::string what) {
        error_ = std::move(what);
        return false;
    }

    // What the registry cannot hold: left out when refusals are taken,
    // otherwise a fault.
    bool refuse(const std::string& what, std::string_view leftOut) {
        if (refused_ == nullptr) return fail(what);
        refused_->push_back(lineLabel() + what + "; " + std::string(leftOut));
        return true;
    }

    bool parseLine(std::string_view line, std::deque<KeyEntry>& entries) {
        for (const char c : line)
            if (c < 0x20 || c > 0x7E) return fail("a character outside printable ASCII");
        if (line.empty()) return true;
        if (line.front() == '\\') return parseKey(line.substr(1), entries);
        if (line.starts_with("  \"")) {
            if (current_ == nullptr) return fail("a value before any key");
            return parseValue(line.substr(3), *current_);
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

    bool parseKey(std::string_view path, std::deque<KeyEntry>& entries) {
        KeyEntry entry;
        std::u16string upperPath;
        std::string beyondLimits; // why the registry cannot hold the key
        std::size_t levels = 0;
        for (bool first = true;; first = false) {
            const std::size_t end = std::min(path.find('\\'), path.size());
            std::u16string name;
            if (!decodeName(path.substr(0, end), name)) return false;
            if (name.empty() || name.find(u'\\') != std::u16string::npos)
                return fail("a key name that is empty or holds a backslash");
            if (first && detail::upcaseName(name) != u"REGISTRY")
                return fail("a key path outside \\Registry");
            if (!first && ++levels > maxKeyDepth && beyondLimits.empty())
                beyondLimits =
                    "a key deeper than " + std::to_string(maxKeyDepth) + " levels below \\Registry";
            if (name.size() > maxKeyNameChars && beyondLimits.empty())
                beyondLimits =
                    "a key name longer than " + std::to_string(maxKeyNameChars) + " characters";
            if (!first && beyondLimits.empty()) {
                upperPath += u'\\';
                upperPath += detail::upcaseName(name);
                entry.names.push_back(std::move(name));
            }
            if (end == path.size()) break;
            path.remove_prefix(end + 1);
        }
        if (!beyondLimits.empty()) {
            leftOut_ = KeyEntry();
            current_ = &leftOut_;
            return refuse(beyondLimits, "the key and its values are left out");
        }
        if (!paths_.insert(std::move(upperPath)).second) return fail("a key listed twice");
        current_ = &entries.emplace_back(std::move(entry));
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
        const bool nameTooLong = value.name.size() > maxValueNameChars;
        if (!nameTooLong && !entry.upperValueNames.insert(detail::upcaseName(value.name)).second)
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
        if (nameTooLong)
            return refuse("a value name longer than " + std::to_string(maxValueNameChars) +
                              " characters",
                          "the value is left out");
        entry.values.push_back(std::move(value));
        return true;
    }

    std::string_view text_;
    std::vector<std::string>* const refused_;
    std::size_t lineNumber_ = 0;
    std::string error_;
    std::unordered_set<std::u16string> paths_; // upper-case paths of the keys read
    KeyEntry* current_ = nullptr;              // the key the next value belongs to
    KeyEntry leftOut_;                         // the values of a key left out
};

} // namespace

std::string dumpRegistry(std::u16string_view path, KeyLines lines) {
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
    dumpNode(text, *node, keyPath, lines, true);
    return text;
}

kernel::NTSTATUS loadRegistry(std::string_view text, std::string* error,
                              std::vector<std::string>* refused) {
    std::vector<std::string> refusedHere;
    std::deque<KeyEntry> entries; // a deque, so the key being read stays in place
    TextReader reader(text, refused != nullptr ? &refusedHere : nullptr);
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
    if (refused != nullptr) refused->insert(refused->end(), refusedHere.begin(), refusedHere.end());
    return kernel::STATUS_SUCCESS;
}

} // namespace io
