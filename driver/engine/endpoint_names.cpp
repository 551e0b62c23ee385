#include "driver/engine/endpoint_names.h"

#include "driver/engine/stream_engine.h"
#include "platform/kernel/format.h"

namespace {

constexpr const char16_t* BaseNames[LastEndpointType + 1] = {
    u"Stream",  u"SPK",          u"HP",        u"SPDIF", u"HDMI", u"DisplayPort", u"Line",
    u"Mic",     u"Aux",          u"CD",        u"Video", u"FMic", u"Telephone",   u"HandSet",
    u"HeadSet", u"Speakerphone", u"StereoMix", u"FHP",   u"Rec",
};

} // namespace

const char16_t* EndpointBaseName(std::uint32_t endpointType) {
    return endpointType <= LastEndpointType ? BaseNames[endpointType] : BaseNames[0];
}

kernel::NTSTATUS FormatEndpointName(char16_t* buffer, std::size_t roomChars,
                                    std::uint32_t direction, std::uint32_t endpointType,
                                    std::uint32_t number) {
    const char16_t* format = direction == EngineDirectionRender ? u"%sOut%02d" : u"%sIn%02d";
    const kernel::NTSTATUS status = kernel::formatString(
        buffer, roomChars, format, EndpointBaseName(endpointType), static_cast<int>(number));
    return status == kernel::STATUS_BUFFER_OVERFLOW ? kernel::STATUS_BUFFER_TOO_SMALL : status;
}
