#include "hidlib/report_descriptor.h"

#include <algorithm>
#include <array>
#include <map>

namespace kestrel {

namespace {

enum ItemType : std::uint8_t { kMain = 0, kGlobal = 1, kLocal = 2 };

enum MainTag : std::uint8_t {
    kInput = 0x8,
    kOutput = 0x9,
    kCollection = 0xA,
    kFeature = 0xB,
    kEndCollection = 0xC,
};

enum GlobalTag : std::uint8_t {
    kUsagePage = 0x0,
    kReportSize = 0x7,
    kReportId = 0x8,
    kReportCount = 0x9,
    kPush = 0xA,
    kPop = 0xB,
};

constexpr std::uint8_t kLocalUsage = 0x0;
constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::uint64_t kMaxReportBits = 0xFFFEull * 8; // leaves room for the id byte

struct Globals {
    std::uint32_t usagePage = 0;
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

struct Usage {
    std::uint32_t value = 0;
    bool extended = false; // a 4-byte usage carries its own page in the high half
};

enum Kind { kInputKind, kOutputKind, kFeatureKind, kKinds };

struct Collecting {
    TopLevelCollection collection;
    std::array<std::map<std::uint32_t, std::uint64_t>, kKinds> bits; // per report id
};

unsigned lengthOf(const std::map<std::uint32_t, std::uint64_t>& reports) {
    std::uint64_t largest = 0;
    for (const auto& [id, bits] : reports) largest = std::max(largest, bits);
    return largest == 0 ? 0u : static_cast<unsigned>((largest + 7) / 8 + 1);
}

class Walker {
public:
    bool item(std::uint8_t type, std::uint8_t tag, std::uint32_t value, std::size_t size);
    bool finished() const { return m_depth == 0; }
    std::vector<TopLevelCollection> result() const;

private:
    bool mainItem(std::uint8_t tag);
    bool globalItem(std::uint8_t tag, std::uint32_t value);
    bool addReport(Kind kind);

    Globals m_globals;
    std::vector<Globals> m_stack;
    std::vector<Usage> m_usages;
    int m_depth = 0;
    std::vector<Collecting> m_collections;
};

bool Walker::item(std::uint8_t type, std::uint8_t tag, std::uint32_t value, std::size_t size) {
    switch (type) {
    case kMain:
        return mainItem(tag);
    case kGlobal:
        return globalItem(tag, value);
    case kLocal:
        if (tag == kLocalUsage) m_usages.push_back({value, size == 4});
        return true;
    default:
        return true; // reserved items carry nothing we need
    }
}

bool Walker::mainItem(std::uint8_t tag) {
    bool ok = true;
    switch (tag) {
    case kCollection:
        if (m_depth++ == 0) {
            Collecting top;
            if (!m_usages.empty()) {
                const Usage& u = m_usages.front();
                top.collection.usagePage =
                    static_cast<std::uint16_t>(u.extended ? u.value >> 16 : m_globals.usagePage);
                top.collection.usage = static_cast<std::uint16_t>(u.value & 0xFFFF);
            }
            m_collections.push_back(std::move(top));
        }
        break;
    case kEndCollection:
        ok = m_depth-- > 0;
        break;
    case kInput:
        ok = addReport(kInputKind);
        break;
    case kOutput:
        ok = addReport(kOutputKind);
        break;
    case kFeature:
        ok = addReport(kFeatureKind);
        break;
    default:
        break;
    }
    m_usages.clear(); // local items last until the next main item
    return ok;
}

bool Walker::globalItem(std::uint8_t tag, std::uint32_t value) {
    switch (tag) {
    case kUsagePage:
        m_globals.usagePage = value;
        break;
    case kReportSize:
        m_globals.reportSize = value;
        break;
    case kReportId:
        m_globals.reportId = value;
        break;
    case kReportCount:
        m_globals.reportCount = value;
        break;
    case kPush:
        m_stack.push_back(m_globals);
        break;
    case kPop:
        if (m_stack.empty()) return false;
        m_globals = m_stack.back();
        m_stack.pop_back();
        break;
    default:
        break;
    }
    return true;
}

// Main items outside every collection belong to no interface and are ignored.
bool Walker::addReport(Kind kind) {
    if (m_depth == 0) return true;
    Collecting& top = m_collections.back();
    std::uint64_t& bits = top.bits[kind][m_globals.reportId];
    bits += std::uint64_t{m_globals.reportSize} * m_globals.reportCount;
    if (m_globals.reportId != 0) top.collection.lengths.numbered = true;
    return bits <= kMaxReportBits;
}

std::vector<TopLevelCollection> Walker::result() const {
    std::vector<TopLevelCollection> out;
    for (const Collecting& c : m_collections) {
        TopLevelCollection top = c.collection;
        top.lengths.input = lengthOf(c.bits[kInputKind]);
        top.lengths.output = lengthOf(c.bits[kOutputKind]);
        top.lengths.feature = lengthOf(c.bits[kFeatureKind]);
        out.push_back(top);
    }
    return out;
}

} // namespace

std::optional<std::vector<TopLevelCollection>>
parseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    Walker walker;
    std::size_t at = 0;
    while (at < descriptor.size()) {
        const std::uint8_t prefix = descriptor[at];
        if (prefix == kLongItemPrefix) {
            if (descriptor.size() - at < 3) return std::nullopt;
            const std::size_t size = descriptor[at + 1];
            if (descriptor.size() - at - 3 < size) return std::nullopt;
            at += 3 + size;
            continue;
        }
        const std::size_t size = (prefix & 3) == 3 ? 4 : (prefix & 3);
        if (descriptor.size() - at - 1 < size) return std::nullopt;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i)
            value |= std::uint32_t{descriptor[at + 1 + i]} << (8 * i);
        if (!walker.item((prefix >> 2) & 3, prefix >> 4, value, size)) return std::nullopt;
        at += 1 + size;
    }
    if (!walker.finished()) return std::nullopt;
    return walker.result();
}

ReportLengths lengthsForUsage(const std::vector<TopLevelCollection>& collections,
                              std::uint16_t usagePage, std::uint16_t usage) {
    for (const TopLevelCollection& c : collections)
        if (c.usagePage == usagePage && c.usage == usage) return c.lengths;
    return collections.empty() ? ReportLengths{} : collections.front().lengths;
}

} // namespace kestrel
