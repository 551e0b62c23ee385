#include "platform/portcls/descriptor_check.h"

#include "platform/ks/identifier.h"

namespace portcls {
namespace {

// A table of count items: none, or an array of items of the size the
// descriptor says, which must be the size the port layer reads.
template <class Item>
bool itemsAreSound(std::uint32_t count, const Item* items, std::uint32_t itemSize) {
    return count == 0 || (items != nullptr && itemSize == sizeof(Item));
}

bool tableIsSound(const AutomationTable* table) {
    if (table == nullptr) return true;
    if (!itemsAreSound(table->PropertyCount, table->Properties, table->PropertyItemSize))
        return false;
    for (std::uint32_t i = 0; i < table->PropertyCount; ++i)
        if (table->Properties[i].Set == nullptr) return false;
    if (!itemsAreSound(table->EventCount, table->Events, table->EventItemSize)) return false;
    for (std::uint32_t i = 0; i < table->EventCount; ++i)
        if (table->Events[i].Set == nullptr) return false;
    return true;
}

bool rangesAreSound(const PinDescriptor& pin) {
    if (pin.DataRangesCount != 0 && pin.DataRanges == nullptr) return false;
    for (std::uint32_t i = 0; i < pin.DataRangesCount; ++i) {
        const ks::DataRange* range = pin.DataRanges[i].Range;
        if (range == nullptr || range->FormatSize < sizeof(ks::DataRange)) return false;
        if ((range->Flags & ks::data_flags::attributes) == 0) continue;
        if (++i == pin.DataRangesCount || pin.DataRanges[i].Attributes == nullptr) return false;
    }
    return true;
}

bool endIsSound(const FilterDescriptor& filter, std::uint32_t node, std::uint32_t pin) {
    return node == nodeNone ? pin < filter.PinCount : node < filter.NodeCount;
}

bool matches(const kernel::Guid& own, const kernel::Guid& asked) {
    return own == ks::GUID_NULL || own == asked;
}

} // namespace

bool descriptorIsSound(const FilterDescriptor* descriptor) {
    if (descriptor == nullptr || !tableIsSound(descriptor->AutomationTable)) return false;
    const FilterDescriptor& filter = *descriptor;
    if (!itemsAreSound(filter.PinCount, filter.Pins, filter.PinSize) ||
        !itemsAreSound(filter.NodeCount, filter.Nodes, filter.NodeSize))
        return false;
    if ((filter.ConnectionCount != 0 && filter.Connections == nullptr) ||
        (filter.CategoryCount != 0 && filter.Categories == nullptr))
        return false;
    for (std::uint32_t i = 0; i < filter.PinCount; ++i)
        if (!tableIsSound(filter.Pins[i].AutomationTable) || !rangesAreSound(filter.Pins[i]))
            return false;
    for (std::uint32_t i = 0; i < filter.NodeCount; ++i)
        if (!tableIsSound(filter.Nodes[i].AutomationTable) || filter.Nodes[i].Type == nullptr)
            return false;
    for (std::uint32_t i = 0; i < filter.ConnectionCount; ++i) {
        const ConnectionDescriptor& c = filter.Connections[i];
        if (!endIsSound(filter, c.FromNode, c.FromNodePin) ||
            !endIsSound(filter, c.ToNode, c.ToNodePin))
            return false;
    }
    return true;
}

bool formatFitsPin(const PinDescriptor& pin, const ks::DataFormat& format) {
    for (std::uint32_t i = 0; i < pin.DataRangesCount; ++i) {
        const ks::DataRange& range = *pin.DataRanges[i].Range;
        if ((range.Flags & ks::data_flags::attributes) != 0) ++i;
        if (matches(range.MajorFormat, format.MajorFormat) &&
            matches(range.SubFormat, format.SubFormat) &&
            matches(range.Specifier, format.Specifier))
            return true;
    }
    return false;
}

} // namespace portcls
