#include "tools/driver-host/host_device.h"

#include "sim/usb/fixtures.h"

#include <algorithm>

namespace driverhost {
namespace {

constexpr std::uint8_t firmwareStringIndex = 0x50;

} // namespace

usbsim::FunctionDescription Headset(bool uac2, bool asio) {
    if (asio)
        return uac2 ? usbsim::fixtures::uac2AsioDevice() : usbsim::fixtures::asioChipHeadset();
    usbsim::FunctionDescription description =
        uac2 ? usbsim::fixtures::uac2FeedbackDevice() : usbsim::fixtures::uac1Headset();
    if (!uac2)
        description.strings.push_back({.index = firmwareStringIndex, .text = u"USB Headset FW"});
    return description;
}

std::u16string WaveFilter(const std::vector<portcls::SubdeviceRecord>& subdevices,
                          const kernel::Guid& category) {
    for (const portcls::SubdeviceRecord& subdevice : subdevices) {
        const bool wave = subdevice.name.size() >= 4 &&
                          subdevice.name.compare(subdevice.name.size() - 4, 4, u"Wave") == 0;
        if (wave &&
            std::count(subdevice.categories.begin(), subdevice.categories.end(), category) != 0)
            return subdevice.name;
    }
    return {};
}

std::optional<DataEndpoint> FindEndpoint(const usbsim::FunctionDescription& description, bool in,
                                         std::uint32_t rate, std::uint16_t channels,
                                         std::uint16_t bits) {
    std::optional<DataEndpoint> first;
    for (const usbsim::StreamingInterface& interface : description.streaming)
        for (const usbsim::AlternateSetting& setting : interface.settings) {
            const std::uint8_t address = setting.data.address;
            if (address == 0 || ((address & 0x80) != 0) != in) continue;
            // Release 2 names the channels by the cluster's configuration;
            // a release 1 microphone is the mono position, front centre.
            const bool uac2 = description.release == usb::AudioRelease::uac2;
            const DataEndpoint endpoint{address,
                                        {rate, setting.format.channels, setting.format.subslotSize},
                                        uac2 ? setting.format.channelConfig
                                        : in ? 0x4u
                                             : (1u << setting.format.channels) - 1,
                                        setting.feedback ? setting.feedback->address
                                                         : std::uint8_t{0}};
            if (setting.format.channels == channels && setting.format.bitResolution == bits)
                return endpoint;
            if (!first) first = endpoint;
        }
    return first;
}

} // namespace driverhost
