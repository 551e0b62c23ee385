#include "tools/driver-host/host_list.h"

#include "driver/adapter/driver_entry.h"
#include "platform/io/registry.h"
#include "platform/ks/topology_ids.h"
#include "sim/os/asio_client.h"
#include "sim/os/simulated_system.h"

namespace driverhost {
namespace {

std::vector<PinFormat> PinFormatsOf(ossim::SimulatedSystem& system,
                                    const usbsim::FunctionDescription& description, bool render) {
    const std::u16string name = WaveFilter(system.host().subdevices(system.device()),
                                           render ? ks::KSCATEGORY_RENDER : ks::KSCATEGORY_CAPTURE);
    portcls::FilterHandle filter;
    if (name.empty() || !kernel::succeeded(system.host().openFilter(system.device(), name, filter)))
        return {};
    return PinFormats(filter, CandidateFormats(description, !render));
}

} // namespace

DeviceFormats OfferedFormats(const DeviceModel& model) {
    const io::Registry registry; // each device starts with empty settings
    const usbsim::FunctionDescription description = model.describe();
    ossim::SimulatedSystem system(description, ossim::SystemTime::manual);
    DeviceFormats formats;
    if (!kernel::succeeded(system.load(DriverEntry)) || !kernel::succeeded(system.plug()))
        return formats;
    formats.started = true;
    formats.render = PinFormatsOf(system, description, true);
    formats.capture = PinFormatsOf(system, description, false);
    formats.effects = EffectControls(system);
    if (model.asio) {
        ossim::AsioClient client(system);
        if (kernel::succeeded(client.open()))
            formats.asio = AskAsio(client, DescriptorRates(description));
    }
    system.remove();
    return formats;
}

std::string ListDevices() {
    std::string text;
    for (const DeviceModel& model : DeviceModels()) {
        text += std::string(model.name) + ": " + model.about + "\n";
        const DeviceFormats formats = OfferedFormats(model);
        if (!formats.started) {
            text += "  the driver did not start on it\n";
            continue;
        }
        for (const auto& [heading, list] :
             {std::pair{"  render:\n", &formats.render}, {"  capture:\n", &formats.capture}})
            text += heading + (list->empty() ? "    none\n" : DescribeFormats(*list, "    "));
        if (formats.asio) text += "  ASIO:\n" + DescribeAsio(*formats.asio, "    ");
        text += "  effect controls:" + std::string(formats.effects.empty() ? " none\n" : "\n");
        for (const EffectControl& effect : formats.effects)
            text += "    node " + std::to_string(effect.node) + ", " + effect.name + ": " +
                    std::to_string(effect.values) + (effect.values == 1 ? " value" : " values") +
                    (effect.ranges.empty() ? "" : " (" + effect.ranges + ")") +
                    (effect.on ? (*effect.on ? ", on" : ", off") : std::string()) +
                    "\n      --effect " + effect.settings() + "\n";
    }
    return text;
}

} // namespace driverhost
