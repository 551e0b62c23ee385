// The choice of the device model: a table of rows, each a rule (the
// AudioControl interface's protocol and, for release 1, the start of the
// product code string the device names its chip by) and the factory of the
// model it picks. The adapter takes the table when it is created, so tests
// hand it models of their own.
#pragma once

#include "driver/common/object_model.h"
#include "platform/kernel/status.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// A model factory: the model's non-delegating unknown with one reference,
// aggregated under `outer` (the adapter); the device's vendor and product.
using DeviceModelFactory = kernel::NTSTATUS (*)(INonDelegatingUnknown** out,
                                                kernel::IUnknown* outer, std::uint16_t vendorId,
                                                std::uint16_t productId);

// bInterfaceProtocol of an AudioControl interface.
inline constexpr std::uint8_t UacRelease1Protocol = 0x00;
inline constexpr std::uint8_t UacRelease2Protocol = 0x20;

// The string descriptors that carry a chip's product code, asked in this
// order, with their language and the room given for one.
inline constexpr std::uint8_t ProductCodeStringIndex = 0x50;
inline constexpr std::uint8_t FallbackProductCodeStringIndex = 0x32;
inline constexpr std::uint16_t ProductCodeLanguage = 0x0409;
inline constexpr std::uint32_t ProductCodeStringBytes = 104;

// The product codes of the chip models, as the start of the code string.
inline constexpr char16_t N3W8ProductCodeUnits[] = {0x000B, 0x0005, 0x0050};
inline constexpr std::u16string_view N3W8ProductCode(N3W8ProductCodeUnits, 3);
inline constexpr std::u16string_view K7D2ProductCode = u"K7D2";
inline constexpr std::u16string_view P9F4ProductCode = u"P9F4";
inline constexpr std::u16string_view T6L1ProductCode = u"HXR7D5B";
inline constexpr std::u16string_view Q7K2ProductCode = u"Q7K2HS";

struct DeviceModelRow {
    std::uint8_t protocol;
    // Empty: any device of the protocol, including one without a code string.
    std::u16string_view productCode;
    DeviceModelFactory create;
};

using DeviceModelTable = std::span<const DeviceModelRow>;

// Whether a row of the protocol needs the product code: only then is the
// device asked for it.
bool NeedsProductCode(DeviceModelTable table, std::uint8_t protocol);

// The first row of the protocol whose code starts the device's (none: only
// rows without a code match); null when no row matches.
const DeviceModelRow* ChooseDeviceModel(DeviceModelTable table, std::uint8_t protocol,
                                        std::optional<std::u16string_view> productCode);

// The driver's own models: the generic release 1 and 2 models.
DeviceModelTable DefaultDeviceModelTable();
