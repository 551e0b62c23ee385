#include "tools/driver-host/host_effects.h"

#include "driver/devmodel/q7k2_effect_unit.h"
#include "driver/devmodel/q7k2_virtualizer_unit.h"
#include "driver/devmodel/t6l1_effect_host.h"
#include "driver/miniport/topology_sets.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/identifier.h"
#include "platform/ks/topology_ids.h"

#include <algorithm>

namespace driverhost {
namespace {

struct EffectSet {
    const kernel::Guid* set;
    std::uint32_t info, count, parameterInfo;
};
constexpr EffectSet parameterSets[] = {
    {&PROPSETID_Parameters, PARAMETERS_INFO, PARAMETERS_COUNT, PARAMETERS_PARAMETER_INFO},
    {&PROPSETID_EffectUnit, EFFECTUNIT_INFO, EFFECTUNIT_COUNT, EFFECTUNIT_PARAMETER_INFO},
};

std::string EffectName(const kernel::Guid& identity) {
    if (identity == T6L1EffectHostIdentity) return "3D speaker virtualizer";
    if (identity == Q7K2VirtualizerUnitIdentity) return "headphone virtualizer";
    if (identity == Q7K2EffectUnitIdentity) return "reverberator";
    return "effect";
}

class NodeAsker {
public:
    NodeAsker(ossim::SimulatedSystem& system, const portcls::FilterHandle& filter)
        : m_system(system), m_filter(filter) {}
    kernel::NTSTATUS get(const kernel::Guid& set, std::uint32_t id, std::uint32_t node,
                         void* instance, std::uint32_t instanceSize, void* value,
                         std::uint32_t valueSize) {
        return m_system.call([&] {
            std::uint32_t bytes = 0;
            return m_filter.property({set, id, ks::property_verb::get}, node, instance,
                                     instanceSize, value, valueSize, &bytes);
        });
    }

private:
    ossim::SimulatedSystem& m_system;
    const portcls::FilterHandle& m_filter;
};

std::string Ranges(NodeAsker& ask, const EffectSet& set, std::uint32_t node, std::uint32_t values) {
    std::string text, last;
    std::uint32_t run = 0;
    const auto flush = [&] {
        if (run == 0) return;
        text += (text.empty() ? "" : ", ") + (run > 1 ? std::to_string(run) + " x " : "") + last;
    };
    for (std::uint32_t index = 0; index < values; ++index) {
        std::int32_t words[3] = {}; // maximum, minimum, step
        std::string range = "?";
        if (kernel::succeeded(
                ask.get(*set.set, set.parameterInfo, node, &index, sizeof index, words, 12)))
            range = std::to_string(words[1]) + ".." + std::to_string(words[0]);
        if (range == last) {
            ++run;
            continue;
        }
        flush();
        last = range;
        run = 1;
    }
    flush();
    // A control that describes none of its values gives no ranges.
    return text.find_first_not_of("0123456789 x?,") == std::string::npos ? "" : text;
}

} // namespace

std::vector<EffectControl> EffectControls(ossim::SimulatedSystem& system) {
    std::vector<EffectControl> controls;
    for (const portcls::SubdeviceRecord& subdevice : system.host().subdevices(system.device())) {
        if (std::count(subdevice.categories.begin(), subdevice.categories.end(),
                       ks::KSCATEGORY_TOPOLOGY) == 0)
            continue;
        portcls::FilterHandle filter;
        if (!kernel::succeeded(system.host().openFilter(system.device(), subdevice.name, filter)))
            continue;
        const portcls::FilterDescriptor* descriptor = filter.descriptor();
        NodeAsker ask(system, filter);
        for (std::uint32_t node = 0; descriptor != nullptr && node < descriptor->NodeCount; ++node)
            for (const EffectSet& set : parameterSets) {
                std::uint32_t values = 0;
                if (!kernel::succeeded(
                        ask.get(*set.set, set.count, node, nullptr, 0, &values, sizeof values)))
                    continue;
                kernel::Guid identity{};
                ask.get(*set.set, set.info, node, nullptr, 0, &identity, sizeof identity);
                EffectControl control{node, EffectName(identity), values,
                                      Ranges(ask, set, node, values), std::nullopt};
                std::uint32_t channel = 0, on = 0;
                if (&set == &parameterSets[1] &&
                    kernel::succeeded(ask.get(ks::KSPROPSETID_Audio,
                                              ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, node, &channel,
                                              sizeof channel, &on, sizeof on)))
                    control.on = on != 0;
                controls.push_back(std::move(control));
            }
    }
    return controls;
}

} // namespace driverhost
