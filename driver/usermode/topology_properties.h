// What a user-mode program asks the topology filter: the driver's own
// property sets on the filter and its nodes, the ids within them, and the
// identities that name the effect units' nodes.
#pragma once

#include "platform/kernel/guid.h"

#include <cstdint>

// Filter: the interface version and the jack description; nodes: a level
// set that also raises the node's control-change event.
inline constexpr kernel::Guid PROPSETID_Level =
    kernel::makeGuid("{1B4400F0-9627-4EE7-A593-B37C034EF0DE}");
inline constexpr std::uint32_t LEVEL_VERSION = 2;
inline constexpr std::uint32_t LEVEL_JACK_DESCRIPTION = 4;
inline constexpr std::uint32_t LEVEL_NOTIFYING = 3;
// What LEVEL_VERSION answers.
inline constexpr std::uint32_t TopologyInterfaceVersion = 0x00030000;

// The identifier that names a device-specific node.
inline constexpr kernel::Guid PROPSETID_NodeName =
    kernel::makeGuid("{00A34C4A-26E6-4095-98E9-77FAE2F11FB6}");
inline constexpr std::uint32_t NODENAME_IDENTIFIER = 1;

// The terminal-type selection: the types listed and the current one.
inline constexpr kernel::Guid PROPSETID_TypeList =
    kernel::makeGuid("{ED76304D-B322-4ECB-9B9E-8E13C1465F04}");
inline constexpr std::uint32_t TYPELIST_LIST = 1;
inline constexpr std::uint32_t TYPELIST_VALUE = 2;

// The effect-parameters control; its set id is also its node's name.
inline constexpr kernel::Guid PROPSETID_Parameters =
    kernel::makeGuid("{561BABB8-E02F-4500-9BEF-E0BE8B7C4630}");
inline constexpr std::uint32_t PARAMETERS_INFO = 1;
inline constexpr std::uint32_t PARAMETERS_COUNT = 2;
inline constexpr std::uint32_t PARAMETERS_SET = 3;
inline constexpr std::uint32_t PARAMETERS_GET = 4;
inline constexpr std::uint32_t PARAMETERS_PARAMETER_INFO = 5;

// The vendor effect control.
inline constexpr kernel::Guid PROPSETID_EffectUnit =
    kernel::makeGuid("{369C31B9-34E6-4640-99B6-ADD16CF11994}");
inline constexpr std::uint32_t EFFECTUNIT_INFO = 1;
inline constexpr std::uint32_t EFFECTUNIT_COUNT = 2;
inline constexpr std::uint32_t EFFECTUNIT_PARAMETER_INFO = 3;
inline constexpr std::uint32_t EFFECTUNIT_PARAMETERS = 4;

// The block control.
inline constexpr kernel::Guid PROPSETID_Block =
    kernel::makeGuid("{C268AAF7-E045-4B5B-B4AD-02F4FA2586ED}");
inline constexpr std::uint32_t BLOCK_DATA = 1;

// Filter: the 32-byte endpoint record of a pin's terminal.
inline constexpr kernel::Guid PROPSETID_Terminal =
    kernel::makeGuid("{A210D309-0822-456B-BD3C-2196567CADA7}");
inline constexpr std::uint32_t TERMINAL_RECORD = 1;

// The identities of the effect units' nodes (PROPSETID_NodeName) and, for
// the T6L1 virtualizer, which of its values switches it on and off.
inline constexpr kernel::Guid T6L1EffectHostIdentity =
    kernel::makeGuid("{10FB641C-4F95-4AFF-BC19-74FCAD262392}");
inline constexpr std::uint32_t T6L1EffectOnOffValue = 0;
inline constexpr kernel::Guid Q7K2EffectUnitIdentity =
    kernel::makeGuid("{AC02E636-CB62-42EF-A97C-5F4C1CDFEC13}");
inline constexpr kernel::Guid Q7K2VirtualizerUnitIdentity =
    kernel::makeGuid("{C7600B33-1AA6-4383-918D-30D848BBAD3E}");
