#include "driver/miniport/topology_automation.h"

#include "driver/miniport/topology_handlers.h"
#include "driver/usermode/topology_properties.h"
#include "platform/ks/audio_properties.h"

#include <iterator>

namespace topology_automation {
namespace {

using portcls::AutomationTable;
using portcls::EventItem;
using portcls::PropertyItem;
namespace handlers = topology_handlers;

constexpr std::uint32_t Get = ks::property_verb::get;
constexpr std::uint32_t Set = ks::property_verb::set;
constexpr std::uint32_t GetSet = Get | Set;
constexpr std::uint32_t Support = ks::property_verb::basicSupport;
constexpr std::uint32_t All = GetSet | Support;

constexpr PropertyItem Audio(std::uint32_t id, std::uint32_t verbs,
                             portcls::PropertyHandler handler) {
    return {&ks::KSPROPSETID_Audio, id, verbs, handler};
}
constexpr PropertyItem NodeNameItem{&PROPSETID_NodeName, NODENAME_IDENTIFIER, Get,
                                    handlers::NodeName};
constexpr PropertyItem NotifyingLevel{&PROPSETID_Level, LEVEL_NOTIFYING, Set, handlers::Level};

const EventItem controlChange[] = {
    {&ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE,
     ks::event_verb::enable | ks::event_verb::basicSupport, handlers::ControlChangeEvent}};

template <std::size_t N>
constexpr AutomationTable Table(const PropertyItem (&items)[N], bool events) {
    return {sizeof(PropertyItem), static_cast<std::uint32_t>(N),   items, sizeof(EventItem),
            events ? 1u : 0u,     events ? controlChange : nullptr};
}

const PropertyItem filterItems[] = {
    {&PROPSETID_Level, LEVEL_VERSION, Get, handlers::Version},
    {&PROPSETID_Level, LEVEL_JACK_DESCRIPTION, Get | Support, handlers::JackDescription},
    {&ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION, Get | Support,
     handlers::JackDescription},
    {&ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION2, Get | Support,
     handlers::JackDescription2},
    {&PROPSETID_Terminal, TERMINAL_RECORD, Get | Support, handlers::TerminalRecord},
};

const PropertyItem muteItems[] = {Audio(ks::KSPROPERTY_AUDIO_MUTE, All, handlers::OnOff)};
const PropertyItem volumeItems[] = {Audio(ks::KSPROPERTY_AUDIO_VOLUMELEVEL, All, handlers::Level),
                                    NotifyingLevel};
const PropertyItem multiplexerItems[] = {
    Audio(ks::KSPROPERTY_AUDIO_MUX_SOURCE, GetSet, handlers::Selector)};
const PropertyItem plainSelectorItems[] = {
    Audio(ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, All, handlers::DeviceSpecific)};
const PropertyItem automaticGainItems[] = {Audio(ks::KSPROPERTY_AUDIO_AGC, All, handlers::OnOff)};
const PropertyItem loudnessItems[] = {Audio(ks::KSPROPERTY_AUDIO_LOUDNESS, All, handlers::OnOff)};
const PropertyItem toneItems[] = {Audio(ks::KSPROPERTY_AUDIO_BASS, All, handlers::Level),
                                  Audio(ks::KSPROPERTY_AUDIO_MID, All, handlers::Level),
                                  Audio(ks::KSPROPERTY_AUDIO_TREBLE, All, handlers::Level),
                                  NotifyingLevel};
const PropertyItem deviceSpecificItems[] = {
    Audio(ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, All, handlers::DeviceSpecific), NodeNameItem};
const PropertyItem typeListItems[] = {
    Audio(ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, Set | Support, handlers::DeviceSpecific),
    NodeNameItem,
    {&PROPSETID_TypeList, TYPELIST_LIST, Get, handlers::DeviceSpecific},
    {&PROPSETID_TypeList, TYPELIST_VALUE, Get, handlers::DeviceSpecific},
};
const PropertyItem parameterItems[] = {
    Audio(ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, Set | Support, handlers::DeviceSpecific),
    NodeNameItem,
    {&PROPSETID_Parameters, PARAMETERS_INFO, Get, handlers::DeviceSpecific},
    {&PROPSETID_Parameters, PARAMETERS_COUNT, Get, handlers::DeviceSpecific},
    {&PROPSETID_Parameters, PARAMETERS_SET, Set, handlers::DeviceSpecific},
    {&PROPSETID_Parameters, PARAMETERS_GET, Get, handlers::DeviceSpecific},
    {&PROPSETID_Parameters, PARAMETERS_PARAMETER_INFO, Get, handlers::DeviceSpecific},
};
const PropertyItem effectItems[] = {
    Audio(ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, All, handlers::DeviceSpecific),
    NodeNameItem,
    {&PROPSETID_EffectUnit, EFFECTUNIT_INFO, Get, handlers::DeviceSpecific},
    {&PROPSETID_EffectUnit, EFFECTUNIT_COUNT, Get, handlers::DeviceSpecific},
    {&PROPSETID_EffectUnit, EFFECTUNIT_PARAMETER_INFO, Get, handlers::DeviceSpecific},
    {&PROPSETID_EffectUnit, EFFECTUNIT_PARAMETERS, GetSet, handlers::DeviceSpecific},
    {&PROPSETID_Block, BLOCK_DATA, GetSet, handlers::DeviceSpecific},
};

} // namespace

const AutomationTable filter = Table(filterItems, false);
const AutomationTable mute = Table(muteItems, true);
const AutomationTable volume = Table(volumeItems, true);
const AutomationTable multiplexer = Table(multiplexerItems, false);
const AutomationTable plainSelector = Table(plainSelectorItems, false);
const AutomationTable automaticGain = Table(automaticGainItems, true);
const AutomationTable loudness = Table(loudnessItems, true);
const AutomationTable tone = Table(toneItems, true);
const AutomationTable deviceSpecific = Table(deviceSpecificItems, true);
const AutomationTable typeList = Table(typeListItems, true);
const AutomationTable parameters = Table(parameterItems, false);
const AutomationTable effect = Table(effectItems, true);

} // namespace topology_automation
