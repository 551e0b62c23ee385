#include "driver/devmodel/chips/n3w8/n3w8_device_profile.h"

#include "driver/common/maker_ids.h"
#include "driver/common/pool_buffer.h"
#include "driver/common/settings_store.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/usb_device.h"
#include "platform/usb/requests.h"

#include <new>

namespace {

constexpr std::uint8_t ChipReadRequest = 0x81;
constexpr std::uint16_t ChipByteAIndex = 9;
constexpr std::uint16_t ChipByteBIndex = 8;
constexpr std::uint8_t ChipByteBMask = 0x63;

kernel::NTSTATUS ReadChipByte(IUsbDevice& usb, std::uint16_t index, std::uint8_t* value) {
    CPoolBuffer block(kernel::PoolType::NonPagedNx, sizeof(usb::ClassOrVendorRequest),
                      N3W8ChipReadTag);
    if (!block.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* record = new (block.Get()) usb::ClassOrVendorRequest{};
    record->header.length = sizeof(*record);
    record->header.function = usb::Function::vendorOther;
    record->transfer.transferFlags = usb::transfer_flags::directionIn;
    record->transfer.transferBufferLength = 1;
    record->transfer.transferBuffer = value;
    record->request = ChipReadRequest;
    record->index = index;
    const kernel::NTSTATUS status = usb.SubmitUrb(&record->header);
    if (!kernel::succeeded(status)) return status;
    return record->transfer.transferBufferLength == 1 ? status : kernel::STATUS_UNSUCCESSFUL;
}

struct SwitchSetting {
    const char16_t* name;
    bool N3W8ConfigurationSwitches::*flag;
};

using S = N3W8ConfigurationSwitches;
constexpr SwitchSetting SwitchSettings[] = {
    {u"DisableMicInAAUnit", &S::DisableMicInAAUnit},
    {u"DisableLineInAAUnit", &S::DisableLineInAAUnit},
    {u"DisableMicInRecUnit", &S::DisableMicInRecUnit},
    {u"DisableLineInRecUnit", &S::DisableLineInRecUnit},
    {u"DisableStereoMixRecUnit", &S::DisableStereoMixRecUnit},
    {u"DisableLineInTerminal", &S::DisableLineInTerminal},
    {u"DisableMicInTerminal", &S::DisableMicInTerminal},
    {u"DisableSpdifInTerminal", &S::DisableSpdifInTerminal},
    {u"Disable2ChOutSupported", &S::Disable2ChOutSupported},
    {u"Disable4ChOutSupported", &S::Disable4ChOutSupported},
    {u"Disable6ChOutSupported", &S::Disable6ChOutSupported},
    {u"Disable8ChOutSupported", &S::Disable8ChOutSupported},
};

void ReadSwitch(io::DeviceObject* device, const char16_t* name, bool& value) {
    std::uint8_t bytes[4] = {};
    if (kernel::succeeded(AccessSetting(device, SETTING_READ, bytes, sizeof bytes, name)))
        value = bytes[0] != 0;
}

// Analog inputs only, no digital ones.
void WithoutLineAndDigital(N3W8DeviceProfile& p) {
    p.switches.DisableLineInTerminal = p.switches.DisableSpdifInTerminal = true;
    p.SupportHPOut = p.SupportSpdifOut = false;
}

} // namespace

kernel::NTSTATUS ReadN3W8ChipBytes(kernel::IUnknown* device, std::uint8_t* a, std::uint8_t* b) {
    CQueriedInterface<IUsbDevice> usb(device, IID_IUsbDevice);
    if (!usb) return kernel::STATUS_UNSUCCESSFUL;
    kernel::NTSTATUS status = ReadChipByte(*usb.Get(), ChipByteAIndex, a);
    if (kernel::succeeded(status)) status = ReadChipByte(*usb.Get(), ChipByteBIndex, b);
    if (kernel::succeeded(status)) *b &= ChipByteBMask;
    return status;
}

void ReadN3W8Switches(io::DeviceObject* device, N3W8DeviceProfile& profile) {
    for (const SwitchSetting& setting : SwitchSettings)
        ReadSwitch(device, setting.name, profile.switches.*setting.flag);
    ReadSwitch(device, u"SupportHPOut", profile.SupportHPOut);
    ReadSwitch(device, u"SupportSpdifOut", profile.SupportSpdifOut);
}

void ApplyN3W8DeviceRows(std::uint16_t vendorId, std::uint16_t productId, bool chipMatches,
                         N3W8DeviceProfile& p) {
    auto is = [&](std::uint16_t vendor, std::uint16_t product) {
        return vendorId == vendor && productId == product;
    };
    N3W8ConfigurationSwitches& s = p.switches;
    if (is(0x1E7D, 0x3750) && chipMatches) {
        s.DisableLineInRecUnit = s.DisableStereoMixRecUnit = s.DisableSpdifInTerminal = true;
        s.Disable4ChOutSupported = s.Disable8ChOutSupported = true;
        p.SupportHPOut = p.SupportSpdifOut = false;
        p.WorkerEnabled = true;
        p.OverridesRegister1 = true;
        p.Register1 = 0x3032;
        p.InfoWord0 = 0x3E0084;
    } else if (is(0x5131, 0x001C) && chipMatches) {
        p.InfoWord0 = 0;
        s.DisableStereoMixRecUnit = s.DisableSpdifInTerminal = true;
        s.Disable2ChOutSupported = s.Disable4ChOutSupported = s.Disable8ChOutSupported = true;
        p.SupportHPOut = p.SupportSpdifOut = false;
    } else if (is(0x28DA, 0x268E)) {
        WithoutLineAndDigital(p);
        p.InfoWord0 = 0x3E09F;
    } else if (is(MakerVendorId, 0x0163)) {
        WithoutLineAndDigital(p);
    } else if ((is(MakerVendorId, 0x0053) && chipMatches) ||
               (is(MakerVendorId, 0x0078) && chipMatches) || is(0x0A1B, 0x0110)) {
        WithoutLineAndDigital(p);
        s.Disable8ChOutSupported = true;
    } else if (is(0x0A6A, 0x0160)) {
        WithoutLineAndDigital(p);
        s.Disable8ChOutSupported = false;
    } else if (chipMatches) {
        s.Disable8ChOutSupported = true;
    }
    if (s.Disable2ChOutSupported) p.SupportHPOut = p.SupportSpdifOut = false;
}
