#include "driver/miniport/wave_automation.h"

#include "driver/engine/terminal_item.h"
#include "driver/miniport/wave_miniport.h"
#include "driver/usermode/topology_properties.h"
#include "platform/ks/identifier.h"

#include <cstring>
#include <iterator>

namespace wave_automation {
namespace {

using portcls::PropertyItem;

kernel::NTSTATUS EndpointRecord(portcls::PropertyRequest& request, CWaveMiniport& miniport) {
    if (request.Value == nullptr || request.ValueSize < sizeof(EndpointInfoRecord) ||
        miniport.Hal() == nullptr)
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    EndpointInfoRecord record = {};
    const kernel::NTSTATUS status =
        miniport.Hal()->GetInfoRecord(miniport.EndpointIndex(), &record);
    if (!kernel::succeeded(status)) return status;
    std::memcpy(request.Value, &record, sizeof(record));
    request.ValueSize = sizeof(record);
    return status;
}

// Whether one of the endpoint's formats has the channels, rate, valid bits
// and sub-format of the record.
kernel::NTSTATUS FormatSupport(portcls::PropertyRequest& request, CWaveMiniport& miniport) {
    if (request.Value == nullptr || request.ValueSize < sizeof(ks::WaveFormatExtensible) ||
        miniport.Engine() == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    ks::WaveFormatExtensible asked = {};
    std::memcpy(&asked, request.Value, sizeof(asked));
    IStreamEngine& engine = *miniport.Engine();
    const std::uint32_t count = engine.GetFormatCount();
    for (std::uint32_t i = 0; i < count; ++i) {
        ks::WaveFormatExtensible format = {};
        if (kernel::succeeded(engine.GetFormat(i, &format)) &&
            format.Format.nChannels == asked.Format.nChannels &&
            format.Format.nSamplesPerSec == asked.Format.nSamplesPerSec &&
            format.wValidBitsPerSample == asked.wValidBitsPerSample &&
            IsEqualId(format.SubFormat, asked.SubFormat))
            return kernel::STATUS_SUCCESS;
    }
    return kernel::STATUS_INVALID_PARAMETER;
}

const PropertyItem filterItems[] = {
    {&PROPSETID_Level, LEVEL_ENDPOINT_RECORD, ks::property_verb::get, FilterProperty},
    {&PROPSETID_Level, LEVEL_FORMAT_SUPPORT, ks::property_verb::set, FilterProperty},
};

} // namespace

kernel::NTSTATUS FilterProperty(portcls::PropertyRequest* request) {
    if (request == nullptr || request->PropertyItem == nullptr || request->MajorTarget == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    CWaveMiniport& miniport = *CWaveMiniport::FromTarget(request->MajorTarget);
    const PropertyItem& item = *request->PropertyItem;
    if (item.Set == nullptr || !IsEqualId(*item.Set, PROPSETID_Level))
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    if (item.Id == LEVEL_ENDPOINT_RECORD && request->Verb == ks::property_verb::get)
        return EndpointRecord(*request, miniport);
    if (item.Id == LEVEL_FORMAT_SUPPORT && request->Verb == ks::property_verb::set)
        return FormatSupport(*request, miniport);
    return kernel::STATUS_INVALID_DEVICE_REQUEST;
}

const portcls::AutomationTable filter = {sizeof(PropertyItem),
                                         static_cast<std::uint32_t>(std::size(filterItems)),
                                         filterItems,
                                         sizeof(portcls::EventItem),
                                         0,
                                         nullptr};

} // namespace wave_automation
