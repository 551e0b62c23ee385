#include "driver/tests/entry/effect_headsets.h"

#include "driver/usermode/topology_properties.h"
#include "platform/ks/audio_properties.h"
#include "sim/os/pcm_format.h"

namespace e2e {
namespace {

usbsim::FunctionDescription Q7k2() { return usbsim::fixtures::q7k2Device(); }

class NodeAsker {
public:
    NodeAsker(ossim::SimulatedSystem& system, const portcls::FilterHandle& filter)
        : m_system(system), m_filter(filter) {}

    kernel::NTSTATUS operator()(std::uint32_t verb, const kernel::Guid& set, std::uint32_t id,
                                std::uint32_t node, void* instance, std::uint32_t instanceSize,
                                void* value, std::uint32_t valueSize) {
        return m_system.call([&] {
            std::uint32_t bytes = 0;
            return m_filter.property({set, id, verb}, node, instance, instanceSize, value,
                                     valueSize, &bytes);
        });
    }

private:
    ossim::SimulatedSystem& m_system;
    const portcls::FilterHandle& m_filter;
};

bool SwitchParameterOn(NodeAsker& ask, std::uint32_t node) {
    std::uint32_t set[3] = {0, 1, 1}; // value 0, one value, on
    std::uint32_t reply = 0;
    std::uint32_t get[2] = {0, 1};
    std::uint32_t now[3] = {}; // size, count, the value
    return ask(ks::property_verb::set, PROPSETID_Parameters, PARAMETERS_SET, node, set, sizeof set,
               &reply, sizeof reply) == kernel::STATUS_SUCCESS &&
           ask(ks::property_verb::get, PROPSETID_Parameters, PARAMETERS_GET, node, get, sizeof get,
               now, sizeof now) == kernel::STATUS_SUCCESS &&
           now[2] == 1;
}

bool SwitchUnitOn(NodeAsker& ask, std::uint32_t node) {
    std::uint32_t channel = 0, on = 1, now = 0;
    return ask(ks::property_verb::set, ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_DEV_SPECIFIC,
               node, &channel, sizeof channel, &on, sizeof on) == kernel::STATUS_SUCCESS &&
           ask(ks::property_verb::get, ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_DEV_SPECIFIC,
               node, &channel, sizeof channel, &now, sizeof now) == kernel::STATUS_SUCCESS &&
           now == 1;
}

} // namespace

const EffectHeadset EffectHeadsets[2] = {
    {"T6L1", usbsim::fixtures::t6l1Device, 1},
    {"Q7K2", Q7k2, 2},
};

ks::DataFormatWaveFormatExtensible EffectRenderFormat() {
    return ossim::pcmFormat(48000, 16, EffectRenderChannels, 16, SevenPointOne);
}

::testing::AssertionResult SwitchEffectsOn(ossim::SimulatedSystem& system,
                                           const portcls::FilterHandle& topology, int expected) {
    NodeAsker ask(system, topology);
    int switched = 0;
    const portcls::FilterDescriptor* descriptor = topology.descriptor();
    for (std::uint32_t node = 0; descriptor != nullptr && node < descriptor->NodeCount; ++node) {
        std::uint32_t values = 0;
        if (ask(ks::property_verb::get, PROPSETID_Parameters, PARAMETERS_COUNT, node, nullptr, 0,
                &values, sizeof values) == kernel::STATUS_SUCCESS) {
            if (!SwitchParameterOn(ask, node))
                return ::testing::AssertionFailure() << "node " << node << " stays off";
            ++switched;
        }
        if (ask(ks::property_verb::get, PROPSETID_EffectUnit, EFFECTUNIT_COUNT, node, nullptr, 0,
                &values, sizeof values) == kernel::STATUS_SUCCESS) {
            if (!SwitchUnitOn(ask, node))
                return ::testing::AssertionFailure() << "unit node " << node << " stays off";
            ++switched;
        }
    }
    if (switched != expected)
        return ::testing::AssertionFailure() << switched << " effects switched on";
    return ::testing::AssertionSuccess();
}

std::u16string RenderFilter(ossim::SimulatedSystem& system) {
    for (const portcls::SubdeviceRecord& record : system.host().subdevices(system.device()))
        if (record.name.find(u"Out") != std::u16string::npos && record.name.ends_with(u"Wave"))
            return record.name;
    return {};
}

} // namespace e2e
