#include "tools/driver-host/host_device.h"

#include "tools/driver-host/host_formats.h"

#include "sim/usb/fixtures.h"

#include <algorithm>
#include <array>

namespace driverhost {
namespace {

constexpr std::uint8_t firmwareStringIndex = 0x50;

usbsim::FunctionDescription NamedUac1Headset() {
    usbsim::FunctionDescription description = usbsim::fixtures::uac1Headset();
    description.strings.push_back({.index = firmwareStringIndex, .text = u"USB Headset FW"});
    return description;
}

usbsim::FunctionDescription AsioChipHeadset() { return usbsim::fixtures::asioChipHeadset(); }
usbsim::FunctionDescription N3W8Headset() { return usbsim::fixtures::n3w8Device(); }
usbsim::FunctionDescription Q7K2Headset() { return usbsim::fixtures::q7k2Device(); }

const std::array<DeviceModel, 9> models = {{
    {"uac1", "release 1 headset", NamedUac1Headset, false},
    {"uac1-asio", "release 1 chip headset serving ASIO", AsioChipHeadset, true},
    {"uac2", "release 2 headset with explicit feedback", usbsim::fixtures::uac2FeedbackDevice,
     false},
    {"uac2-asio", "release 2 headset serving ASIO, with DSD", usbsim::fixtures::uac2AsioDevice,
     true},
    {"n3w8", "N3W8 7.1 headset", N3W8Headset, false},
    {"k7d2", "K7D2 headset", usbsim::fixtures::k7d2Device, false},
    {"p9f4", "P9F4 headset", usbsim::fixtures::p9f4Device, false},
    {"t6l1", "T6L1 headset with the 3D speaker virtualizer", usbsim::fixtures::t6l1Device, false},
    {"q7k2", "Q7K2 headset with the headphone virtualizer and the reverberator", Q7K2Headset,
     false},
}};

} // namespace

std::span<const DeviceModel> DeviceModels() { return models; }

const DeviceModel* FindDeviceModel(std::string_view name) {
    const auto found = std::find_if(models.begin(), models.end(), [name](const DeviceModel& model) {
        return model.name == name;
    });
    return found == models.end() ? nullptr : &*found;
}

const DeviceModel* RunDeviceModel(std::string_view name, bool asio) {
    const DeviceModel* model = FindDeviceModel(name);
    if (model == nullptr || !asio || model->asio) return model;
    if (name == "uac1" || name == "uac2") return FindDeviceModel(std::string(name) + "-asio");
    return nullptr;
}

std::string DeviceNames(bool asioOnly) {
    std::string names;
    for (const DeviceModel& model : models) {
        if (asioOnly && !model.asio) continue;
        names += (names.empty() ? "" : ", ") + std::string(model.name);
    }
    return names;
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

namespace {

const usbsim::StreamingInterface* DirectionInterface(const usbsim::FunctionDescription& description,
                                                     bool in) {
    for (const usbsim::StreamingInterface& interface : description.streaming)
        for (const usbsim::AlternateSetting& setting : interface.settings) {
            const std::uint8_t address = setting.data.address;
            if (address != 0 && ((address & 0x80) != 0) == in) return &interface;
        }
    return nullptr;
}

} // namespace

std::optional<std::uint8_t> StreamingInterface(const usbsim::FunctionDescription& description,
                                               bool in) {
    const usbsim::StreamingInterface* interface = DirectionInterface(description, in);
    if (interface == nullptr) return std::nullopt;
    return interface->number;
}

std::optional<DataEndpoint> StreamingEndpoint(const usbsim::FunctionDescription& description,
                                              bool in, std::uint32_t rate,
                                              std::uint8_t alternateSetting) {
    const usbsim::StreamingInterface* interface = DirectionInterface(description, in);
    if (interface == nullptr) return std::nullopt;
    const std::size_t index = alternateSetting == 0 || alternateSetting > interface->settings.size()
                                  ? 0
                                  : alternateSetting - 1u;
    const usbsim::AlternateSetting& setting = interface->settings[index];
    return DataEndpoint{setting.data.address,
                        {rate, setting.format.channels, setting.format.subslotSize,
                         setting.format.bitResolution,
                         ClientChannelMask(description, in, setting.format.channels)},
                        setting.feedback ? setting.feedback->address : std::uint8_t{0}};
}

} // namespace driverhost
