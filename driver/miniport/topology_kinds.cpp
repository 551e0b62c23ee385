#include "driver/miniport/topology_kinds.h"

#include "driver/engine/audio_node.h"
#include "driver/engine/device_specific_controls.h"
#include "driver/miniport/topology_automation.h"
#include "driver/usermode/topology_properties.h"
#include "platform/kernel/os_version.h"
#include "platform/ks/topology_ids.h"

#include <iterator>

namespace {

using kernel::Guid;
using kernel::makeGuid;

// The system generation from which connector names and the stereo-mix
// category changed.
constexpr std::uint32_t Generation6 = 0x06000000;

constexpr Guid HdmiCategory = makeGuid("{D1B9CC2A-F519-417F-91C9-55FA65481001}");
constexpr Guid HdmiName = makeGuid("{387BFC03-E7EF-4901-86E0-35B7C32B00EF}");
constexpr Guid DisplayPortCategory = makeGuid("{E47E4031-3EA6-418D-8F9B-B73843CCBA97}");
constexpr Guid DisplayPortName = makeGuid("{21FBB329-1A4A-48DA-A076-2318A3C59B26}");
constexpr Guid AuxName = makeGuid("{5F4BB488-A646-408A-9265-8647F9C374D4}");
constexpr Guid CdCategory = ks::connectorKind(0xDFF220E3);
constexpr Guid VideoCategory = ks::connectorKind(0xDFF220EA);
constexpr Guid FrontMicCategory = ks::connectorKind(0xDFF21BE2);
constexpr Guid TelephoneCategory = ks::connectorKind(0xDFF21EE2);
constexpr Guid HandsetCategory = ks::connectorKind(0xDFF21DE1);
constexpr Guid HeadsetCategory = ks::connectorKind(0xDFF21DE2);
constexpr Guid SpeakerphoneCategory = ks::connectorKind(0xDFF21DE3);
constexpr Guid StereoMixCategoryBefore6 = makeGuid("{00DFF077-96E3-11D2-AC4C-00C04F8EFB68}");
constexpr Guid StereoMixName = makeGuid("{8C5716E6-C984-492E-A2FB-1385F2D0F3C9}");
constexpr Guid SpdifOutName = makeGuid("{12C15946-BA58-42C1-9F11-8341E2198622}");
constexpr Guid SpdifInName = makeGuid("{017D895C-7AE7-4F4D-B78C-CD1FFC0CE776}");

struct PinRow {
    const Guid* category;
    const Guid* categoryBefore6; // null: the same
    const Guid* name;
    bool nameFrom6Only;
    const char16_t* outSetting;
    const char16_t* inSetting;
    const Guid* outUnsetName;
    const Guid* inUnsetName;
};

// Indexed by endpoint type.
const PinRow pinRows[] = {
    {&ks::KSCATEGORY_AUDIO, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
    {&ks::KSNODETYPE_SPEAKER, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
    {&ks::KSNODETYPE_HEADPHONES, nullptr, nullptr, false, u"HeadPhoneOutName", nullptr, nullptr,
     nullptr},
    {&ks::KSNODETYPE_SPDIF_INTERFACE, nullptr, nullptr, false, u"SpdifOutName", u"SpdifInName",
     &SpdifOutName, &SpdifInName},
    {&HdmiCategory, nullptr, &HdmiName, false, nullptr, nullptr, nullptr, nullptr},
    {&DisplayPortCategory, nullptr, &DisplayPortName, false, nullptr, nullptr, nullptr, nullptr},
    {&ks::KSNODETYPE_LINE_CONNECTOR, nullptr, nullptr, false, nullptr, u"LineInName", nullptr,
     nullptr},
    {&ks::KSNODETYPE_MICROPHONE, nullptr, nullptr, false, nullptr, u"MicroPhoneInName", nullptr,
     nullptr},
    {&ks::KSNODETYPE_ANALOG_CONNECTOR, nullptr, &AuxName, true, nullptr, nullptr, nullptr, nullptr},
    {&CdCategory, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
    {&VideoCategory, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
    {&FrontMicCategory, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
    {&TelephoneCategory, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
    {&HandsetCategory, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
    {&HeadsetCategory, nullptr, nullptr, false, u"HeadSetOutName", u"HeadSetInName", nullptr,
     nullptr},
    {&SpeakerphoneCategory, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
    {&ks::KSNODETYPE_ANALOG_CONNECTOR, &StereoMixCategoryBefore6, &StereoMixName, true, nullptr,
     nullptr, nullptr, nullptr},
    {&ks::KSNODETYPE_HEADPHONES, nullptr, nullptr, false, nullptr, nullptr, nullptr, nullptr},
};
static_assert(std::size(pinRows) == 18);

constexpr Guid LevelNodeName = makeGuid("{BAE3AD68-0CB6-4A9A-94B5-0BB628C41D7A}");
constexpr Guid TypeSelectionNodeName = makeGuid("{0D18F5A4-5721-4A07-92E5-843099FA8FDB}");
constexpr Guid CaptureControlNodeName = makeGuid("{97491449-E534-4A7E-B14F-941B207D586D}");
constexpr Guid SecondVolumeNodeName = makeGuid("{2BC31D6A-96E3-11D2-AC4C-00C04F8EFB68}");
constexpr Guid RangedValueNodeName = makeGuid("{A63DF7EA-8A37-450D-832C-5B9064235851}");
constexpr Guid SwitchNodeName = makeGuid("{FDA49636-C86D-4E91-A707-A1252E3F19E6}");
constexpr Guid DeviceSwitchNodeName = makeGuid("{DB357A6F-C4B1-4390-8C07-CBDFA9D5C047}");

namespace automation = topology_automation;
using enum NodeNameFrom;

constexpr TopologyNodeKind Plain(const Guid* type, const portcls::AutomationTable* table) {
    return {type, nullptr, Table, nullptr, table};
}
constexpr TopologyNodeKind Named(const Guid* name, const portcls::AutomationTable* table) {
    return {&ks::KSNODETYPE_DEV_SPECIFIC, name, Table, name, table};
}

struct NodeRow {
    std::uint32_t code;
    TopologyNodeKind kind;
};

const NodeRow nodeRows[] = {
    {item_type::mute, Plain(&ks::KSNODETYPE_MUTE, &automation::mute)},
    {item_type::volume, Plain(&ks::KSNODETYPE_VOLUME, &automation::volume)},
    {item_type::mixer, Plain(&ks::KSNODETYPE_SUM, nullptr)},
    {item_type::automaticGain, Plain(&ks::KSNODETYPE_AGC, &automation::automaticGain)},
    {item_type::loudness, Plain(&ks::KSNODETYPE_LOUDNESS, &automation::loudness)},
    {item_type::level, Named(&LevelNodeName, &automation::deviceSpecific)},
    {item_type::bass,
     {&ks::KSNODETYPE_TONE, &ks::KSAUDFNAME_BASS, Table, nullptr, &automation::tone}},
    {item_type::mid,
     {&ks::KSNODETYPE_TONE, &ks::KSAUDFNAME_MIDRANGE, Table, nullptr, &automation::tone}},
    {item_type::treble,
     {&ks::KSNODETYPE_TONE, &ks::KSAUDFNAME_TREBLE, Table, nullptr, &automation::tone}},
    {item_type::terminalTypeSelection, Named(&TypeSelectionNodeName, &automation::typeList)},
    {item_type::captureBoundControl, Named(&CaptureControlNodeName, &automation::deviceSpecific)},
    {16, {&ks::KSNODETYPE_VOLUME, &SecondVolumeNodeName, Table, nullptr, &automation::volume}},
    {item_type::rangedValue, Named(&RangedValueNodeName, &automation::deviceSpecific)},
    {item_type::onOff, Named(&SwitchNodeName, &automation::deviceSpecific)},
    {item_type::captureBoundSwitch, Named(&SwitchNodeName, &automation::deviceSpecific)},
    {item_type::effectParameters, Named(&PROPSETID_Parameters, &automation::parameters)},
    {item_type::deviceSwitch, Named(&DeviceSwitchNodeName, &automation::deviceSpecific)},
    {item_type::effectRecord,
     {&ks::KSNODETYPE_DEV_SPECIFIC, nullptr, EffectRecord, &PROPSETID_EffectUnit,
      &automation::effect}},
    {item_type::controlBlock,
     {&ks::KSNODETYPE_DEV_SPECIFIC, nullptr, ControlBlock, &PROPSETID_Block, &automation::effect}},
};

const TopologyNodeKind multiplexer = Plain(&ks::KSNODETYPE_MUX, &automation::multiplexer);
const TopologyNodeKind plainSelector = {&ks::KSNODETYPE_DEV_SPECIFIC, &ks::KSNODETYPE_DEV_SPECIFIC,
                                        Table, nullptr, &automation::plainSelector};

} // namespace

bool FindPinKind(std::uint32_t endpointType, bool output, TopologyPinKind* kind) {
    if (endpointType >= std::size(pinRows)) return false;
    const PinRow& row = pinRows[endpointType];
    const bool generation6 = kernel::isVersionAvailable(Generation6);
    kernel::Guid const* category =
        row.categoryBefore6 != nullptr && !generation6 ? row.categoryBefore6 : row.category;
    const kernel::Guid* name = row.nameFrom6Only && !generation6 ? nullptr : row.name;
    *kind = {category, name, output ? row.outSetting : row.inSetting,
             output ? row.outUnsetName : row.inUnsetName};
    return true;
}

const TopologyNodeKind* FindNodeKind(std::uint32_t typeCode, std::uint32_t sources) {
    if (typeCode == item_type::selector) return sources >= 2 ? &multiplexer : &plainSelector;
    for (const NodeRow& row : nodeRows)
        if (row.code == typeCode) return &row.kind;
    return nullptr;
}
