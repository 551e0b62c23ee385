#include "driver/usbstream/uac2_stream_engines.h"

#include "driver/engine/queried_interface.h"
#include "driver/usbstream/stream_requests.h"
#include "platform/usb/audio_requests.h"

namespace {

// bControlSize, then up to 32 bits of bmValidAltSettings.
constexpr std::uint32_t ValidSettingsReplyBytes = 5;

} // namespace

bool CUac2StreamEngine::QueryReady(std::uint8_t alternateSetting) {
    if (alternateSetting == 0) return true;
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return false;
    std::uint8_t reply[ValidSettingsReplyBytes] = {};
    std::uint32_t transferred = 0;
    const StreamControlRequest request{
        .function = usb::Function::classInterface,
        .in = true,
        .request = usb::uac2::request::cur,
        .value = usb::controlValue(usb::uac2::streaming_control::validAlternateSettings, 0),
        .index = GetInterfaceNumber(),
        .buffer = reply,
        .length = sizeof(reply)};
    if (!kernel::succeeded(SendStreamControl(*usb.Get(), request, &transferred))) return false;
    const std::uint32_t byte = 1u + alternateSetting / 8u;
    if (transferred < 1 || byte >= transferred) return false;
    if (std::uint32_t{reply[0]} * 8u < alternateSetting) return false;
    return (reply[byte] & (1u << (alternateSetting % 8u))) != 0;
}
