// The identifiers a filter descriptor is made of: filter categories, node
// types, pin categories (connector kinds) and the names of nodes and pins
// that the system maps to friendly text. The connector kinds are one family
// whose first field tells them apart.
#pragma once

#include "platform/kernel/guid.h"

#include <cstdint>

namespace ks {

// The connector family: a kind's first field over one fixed tail.
constexpr kernel::Guid connectorKind(std::uint32_t kind) {
    return {kind, 0xF70F, 0x11D0, {0xB9, 0x17, 0x00, 0xA0, 0xC9, 0x22, 0x31, 0x96}};
}

// Filter categories; the category device interfaces of a subdevice carry them.
inline constexpr kernel::Guid KSCATEGORY_AUDIO =
    kernel::makeGuid("{8F0C9F2E-1900-4433-AC18-92EE62586ECB}");
inline constexpr kernel::Guid KSCATEGORY_TOPOLOGY =
    kernel::makeGuid("{B66D56C3-FE21-4219-9FFD-25003E2A8F8A}");
inline constexpr kernel::Guid KSCATEGORY_RENDER =
    kernel::makeGuid("{4B28BF43-E275-4332-A16A-C57AF5CBA056}");
inline constexpr kernel::Guid KSCATEGORY_CAPTURE =
    kernel::makeGuid("{E930C9E9-1860-48BD-B54E-3ACEB8C62D1B}");

// Node types.
inline constexpr kernel::Guid KSNODETYPE_MUTE =
    kernel::makeGuid("{7AB08AE3-2D0B-48B6-92F8-B4D8291CA034}");
inline constexpr kernel::Guid KSNODETYPE_VOLUME =
    kernel::makeGuid("{796B051E-7570-4DB2-9806-A66FE3E2C443}");
inline constexpr kernel::Guid KSNODETYPE_MUX =
    kernel::makeGuid("{895898BE-12F4-48EF-B7B9-20669D7A27FC}");
inline constexpr kernel::Guid KSNODETYPE_DEV_SPECIFIC =
    kernel::makeGuid("{99C365FA-A01B-4CBC-B5E2-DC92675B0E7A}");
inline constexpr kernel::Guid KSNODETYPE_SUM =
    kernel::makeGuid("{69FD2B76-CF40-46E8-8371-123BA0AE2F5C}");
inline constexpr kernel::Guid KSNODETYPE_AGC =
    kernel::makeGuid("{B9DBC203-ED39-45C9-BE04-BD7933EEA856}");
inline constexpr kernel::Guid KSNODETYPE_LOUDNESS =
    kernel::makeGuid("{62273647-CE1E-499B-8476-6BD4C6B8971F}");
inline constexpr kernel::Guid KSNODETYPE_TONE =
    kernel::makeGuid("{683341D0-5B61-417A-8DD6-460C69BD9402}");
inline constexpr kernel::Guid KSNODETYPE_ADC =
    kernel::makeGuid("{4D837FE0-C555-11D0-8A2B-00A0C9255AC1}");
inline constexpr kernel::Guid KSNODETYPE_DAC =
    kernel::makeGuid("{507AE360-C554-11D0-8A2B-00A0C9255AC1}");

// Pin categories: connector kinds.
inline constexpr kernel::Guid KSNODETYPE_SPEAKER = connectorKind(0xDFF21CE1);
inline constexpr kernel::Guid KSNODETYPE_HEADPHONES = connectorKind(0xDFF21CE2);
inline constexpr kernel::Guid KSNODETYPE_MICROPHONE = connectorKind(0xDFF21BE1);
inline constexpr kernel::Guid KSNODETYPE_LINE_CONNECTOR = connectorKind(0xDFF21FE3);
inline constexpr kernel::Guid KSNODETYPE_ANALOG_CONNECTOR = connectorKind(0xDFF21FE1);
inline constexpr kernel::Guid KSNODETYPE_SPDIF_INTERFACE = connectorKind(0xDFF21FE5);

// Node names.
inline constexpr kernel::Guid KSAUDFNAME_BASS =
    kernel::makeGuid("{185FEDE0-9905-11D1-95A9-00C04FB925D3}");
inline constexpr kernel::Guid KSAUDFNAME_MIDRANGE =
    kernel::makeGuid("{A2CBE478-AE84-49A1-8B72-4AD09B78ED34}");
inline constexpr kernel::Guid KSAUDFNAME_TREBLE =
    kernel::makeGuid("{185FEDE1-9905-11D1-95A9-00C04FB925D3}");

// Which way data moves through a pin, seen from the filter.
enum class PinDataFlow : std::uint32_t {
    In = 1,
    Out = 2,
};

// How a pin connects: none (a bridge to hardware), as a sink a client
// connects to, as a source.
enum class PinCommunication : std::uint32_t {
    None = 0,
    Sink = 1,
    Source = 2,
    Both = 3,
    Bridge = 4,
};

// The interface a streaming pin speaks.
inline constexpr kernel::Guid KSINTERFACESETID_Standard =
    kernel::makeGuid("{1EFDB8AC-C764-46A7-8596-5740E3AD6B42}");
inline constexpr std::uint32_t KSINTERFACE_STANDARD_STREAMING = 0;

} // namespace ks
