// The settings a client negotiates before it asks for buffers: sample type,
// latency, rate and kind, and the channel and name queries.
#include "driver/adapter/asio_private.h"

#include "driver/adapter/device_strings.h"
#include "driver/adapter/usb_adapter_tags.h"
#include "driver/common/interface_ids.h"
#include "driver/common/settings_store.h"
#include "driver/engine/stream_engine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr std::uint32_t SampleTypeCandidates[] = {
    asio_sample_type::Int16, asio_sample_type::Int24Packed, asio_sample_type::Int16In32,
    asio_sample_type::Int24In32, asio_sample_type::Int32};
constexpr std::uint32_t DeviceNameWorkBytes = 260;
constexpr std::uint32_t MaxAsioEndpoints = 32;

bool FormatOfKind(const ks::WaveFormatExtensible& format, std::uint32_t kind) {
    return IsEqualId(format.SubFormat,
                     kind == AsioKindDsd ? MakerVendorSubFormat : ks::KSDATAFORMAT_SUBTYPE_PCM);
}

// The formats of an endpoint, one at a time.
template <class Visit> void ForEachFormat(IStreamEngine* engine, Visit visit) {
    if (engine == nullptr) return;
    const std::uint32_t count = engine->GetFormatCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        ks::WaveFormatExtensible format = {};
        if (kernel::succeeded(engine->GetFormat(index, &format))) visit(format);
    }
}

bool DsdFormatHasRate(const ks::WaveFormatExtensible& format, std::uint32_t rate) {
    const std::uint32_t bits = format.Format.wBitsPerSample;
    if (bits == 16) return format.Format.nSamplesPerSec == rate / 16;
    const std::uint32_t pairs = format.Format.nChannels / 2;
    if (bits == 0 || pairs == 0) return false;
    return format.Format.nSamplesPerSec == rate / bits / pairs;
}

void CopyText(char* target, const char* text, std::uint32_t characters) {
    std::memcpy(target, text, characters);
    target[characters] = '\0';
}

} // namespace

AsioClientRecord* CAsioPrivate::FindClient(io::FileObject* file) const {
    CListNode* position = m_Clients.GetHead();
    void* data = nullptr;
    while (m_Clients.GetNext(position, &data)) {
        auto* client = static_cast<AsioClientRecord*>(data);
        if (client->file == file) return client;
    }
    return nullptr;
}

std::uint32_t CAsioPrivate::AsioEndpoints(std::uint32_t* indexes, std::uint32_t room) {
    IAudioHal& hal = m_Host.AsioHal();
    const std::uint32_t endpoints = hal.GetEndpointCount();
    std::uint32_t found = 0;
    for (std::uint32_t index = 0; index < endpoints; ++index) {
        EndpointInfoRecord record = {};
        if (!kernel::succeeded(hal.GetInfoRecord(index, &record)) ||
            (record.words[InfoRecordAsioWord] & InfoRecordAsioBit) == 0)
            continue;
        if (found < room) indexes[found] = index;
        ++found;
    }
    return std::min(found, room);
}

std::uint32_t CAsioPrivate::EndpointChannels(std::uint32_t endpoint, std::uint32_t kind) {
    IStreamEngine* engine = nullptr;
    m_Host.AsioHal().GetEndpoint(endpoint, &engine);
    std::uint32_t channels = 0;
    ForEachFormat(engine, [&](const ks::WaveFormatExtensible& format) {
        if (FormatOfKind(format, kind))
            channels = std::max<std::uint32_t>(channels, format.Format.nChannels);
    });
    return channels;
}

bool CAsioPrivate::EndpointsSupportRate(std::uint32_t rate, std::uint32_t kind) {
    std::uint32_t endpoints[MaxAsioEndpoints];
    const std::uint32_t count = AsioEndpoints(endpoints, MaxAsioEndpoints);
    for (std::uint32_t i = 0; i < count; ++i) {
        IStreamEngine* engine = nullptr;
        m_Host.AsioHal().GetEndpoint(endpoints[i], &engine);
        bool supported = false;
        ForEachFormat(engine, [&](const ks::WaveFormatExtensible& format) {
            if (!FormatOfKind(format, kind)) return;
            if (kind == AsioKindPcm ? format.Format.nSamplesPerSec == rate
                                    : DsdFormatHasRate(format, rate))
                supported = true;
        });
        if (!supported) return false;
    }
    return true;
}

bool CAsioPrivate::EndpointsHaveKind(std::uint32_t kind) {
    std::uint32_t endpoints[MaxAsioEndpoints];
    const std::uint32_t count = AsioEndpoints(endpoints, MaxAsioEndpoints);
    for (std::uint32_t i = 0; i < count; ++i)
        if (EndpointChannels(endpoints[i], kind) == 0) return false;
    return true;
}

void CAsioPrivate::SignalConfigChange() {
    CListNode* position = m_Clients.GetHead();
    void* data = nullptr;
    while (m_Clients.GetNext(position, &data)) {
        auto* client = static_cast<AsioClientRecord*>(data);
        if (client->configEvent != nullptr) client->configEvent->event().set();
    }
}

void CAsioPrivate::WriteSetting(const char16_t* name, std::uint32_t value) {
    AccessSetting(m_Host.AsioSettingsDevice(), SETTING_WRITE, &value, sizeof value, name);
}

kernel::NTSTATUS CAsioPrivate::GetDeviceName(io::FileObject* file, char* buffer,
                                             std::uint32_t* length) {
    CMutexLockScope lock(m_Lock);
    if (FindClient(file) == nullptr || length == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    CPoolBuffer work(kernel::PoolType::NonPagedNx, DeviceNameWorkBytes, UsbAdapterTag);
    if (!work.IsValid()) return kernel::STATUS_INVALID_PARAMETER;
    char* text = work.Get<char>();
    std::uint32_t characters = 0;
    const std::uint8_t productString = m_Host.AsioIds().productString;
    if (productString != 0) {
        char16_t wide[DeviceNameStringBytes / 2] = {};
        std::size_t read = 0;
        const kernel::NTSTATUS status = ReadStringText(
            m_Host.AsioUsb(), productString, UsEnglishLanguage, DeviceNameStringBytes, wide, read);
        if (!kernel::succeeded(status)) return status;
        while (read > 0 && wide[read - 1] == u' ') --read;
        for (std::size_t i = 0; i < read; ++i)
            text[i] = wide[i] < 0x80 ? static_cast<char>(wide[i]) : '?';
        characters = static_cast<std::uint32_t>(read);
    } else {
        characters = sizeof AsioFallbackDeviceName - 1;
        std::memcpy(text, AsioFallbackDeviceName, characters);
    }
    const std::uint32_t needed = characters + 1;
    if (*length == 0 || buffer == nullptr) {
        *length = needed;
        return kernel::STATUS_BUFFER_OVERFLOW;
    }
    if (*length < needed) {
        if (productString != 0) return kernel::STATUS_BUFFER_TOO_SMALL;
        CopyText(buffer, text, *length - 1);
        return kernel::STATUS_SUCCESS;
    }
    CopyText(buffer, text, characters);
    *length = needed;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetChannels(io::FileObject* file, AsioChannels* channels) {
    CMutexLockScope lock(m_Lock);
    if (FindClient(file) == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint32_t endpoints[MaxAsioEndpoints];
    const std::uint32_t count = AsioEndpoints(endpoints, MaxAsioEndpoints);
    *channels = {count, 0, 0, 0};
    for (std::uint32_t i = 0; i < count; ++i) {
        IStreamEngine* engine = nullptr;
        m_Host.AsioHal().GetEndpoint(endpoints[i], &engine);
        const std::uint32_t endpointChannels = EndpointChannels(endpoints[i], AsioKindPcm);
        if (engine != nullptr && engine->GetDirection() != 0)
            channels->inputs += endpointChannels;
        else
            channels->outputs += endpointChannels;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetChannelInfo(io::FileObject* file, AsioChannelInfo* info) {
    CMutexLockScope lock(m_Lock);
    const AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t wanted = info->channel;
    const bool input = info->isInput != 0;
    info->group = 0;
    std::uint32_t endpoints[MaxAsioEndpoints];
    const std::uint32_t count = AsioEndpoints(endpoints, MaxAsioEndpoints);
    std::uint32_t first = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        IStreamEngine* engine = nullptr;
        m_Host.AsioHal().GetEndpoint(endpoints[i], &engine);
        if (engine == nullptr || (engine->GetDirection() != 0) != input) continue;
        const std::uint32_t channels = EndpointChannels(endpoints[i], client->kind);
        if (wanted < first + channels) {
            info->isActive = m_pMaster != nullptr ? 1 : 0;
            info->sampleType = client->kind == AsioKindDsd
                                   ? AsioSampleTypeDsd
                                   : m_Host.AsioSettingsRecord().activeSampleType;
            char16_t wide[EngineNameMaxChars + 1] = {};
            engine->GetName(wide, EngineNameMaxChars + 1);
            char narrow[EngineNameMaxChars + 1] = {};
            for (std::uint32_t c = 0; c < EngineNameMaxChars && wide[c] != 0; ++c)
                narrow[c] = wide[c] < 0x80 ? static_cast<char>(wide[c]) : '?';
            // A long endpoint name is cut to the record's field.
            char name[EngineNameMaxChars + 16] = {};
            std::snprintf(name, sizeof name, "%s_%02u ch", narrow, wanted - first);
            std::memcpy(info->name, name, sizeof info->name - 1);
            info->name[sizeof info->name - 1] = '\0';
            return kernel::STATUS_SUCCESS;
        }
        first += channels;
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::SetConfigEvent(io::FileObject* file, std::uint32_t eventHandle) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || client->configEvent != nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    return io::referenceEventByHandle(eventHandle, &client->configEvent);
}

kernel::NTSTATUS CAsioPrivate::ReleaseConfigEvent(io::FileObject* file) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || client->configEvent == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    kernel::dereferenceObject(*std::exchange(client->configEvent, nullptr));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetBuffersHeld(io::FileObject* file, std::uint32_t* held) {
    CMutexLockScope lock(m_Lock);
    if (FindClient(file) == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *held = m_BuffersHeld;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetSampleTypes(io::FileObject* file, std::uint32_t* buffer,
                                              std::uint32_t* length) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    std::uint32_t endpoints[MaxAsioEndpoints];
    const std::uint32_t count = AsioEndpoints(endpoints, MaxAsioEndpoints);
    std::uint32_t kept[std::size(SampleTypeCandidates)] = {};
    std::uint32_t keptCount = 0;
    for (std::uint32_t candidate : SampleTypeCandidates) {
        bool everywhere = true;
        for (std::uint32_t i = 0; i < count && everywhere; ++i) {
            IStreamEngine* engine = nullptr;
            m_Host.AsioHal().GetEndpoint(endpoints[i], &engine);
            bool offered = false;
            ForEachFormat(engine, [&](const ks::WaveFormatExtensible& format) {
                if (FormatOfKind(format, AsioKindPcm) &&
                    AsioSampleTypeOfFormat(format.Format.wBitsPerSample,
                                           format.wValidBitsPerSample) == candidate)
                    offered = true;
            });
            everywhere = offered;
        }
        if (everywhere) kept[keptCount++] = candidate;
    }
    const std::uint32_t needed = keptCount * 4 + 8;
    if (buffer == nullptr || *length == 0) {
        *length = needed;
        return count > 0 ? kernel::STATUS_BUFFER_OVERFLOW : kernel::STATUS_SUCCESS;
    }
    if (*length < needed) return kernel::STATUS_BUFFER_TOO_SMALL;
    const std::uint32_t requested = m_Host.AsioSettingsRecord().requestedSampleType;
    buffer[0] = requested;
    buffer[1] = keptCount;
    std::copy(kept, kept + keptCount, buffer + 2);
    client->sampleType = requested;
    *length = needed;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetLatencyList(io::FileObject* file, std::uint32_t* buffer,
                                              std::uint32_t* length) {
    constexpr std::uint32_t needed = (2 + AsioLatencyCount) * 4;
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (buffer == nullptr || *length == 0) {
        *length = needed;
        return kernel::STATUS_BUFFER_OVERFLOW;
    }
    if (*length < needed) return kernel::STATUS_BUFFER_TOO_SMALL;
    const std::uint32_t index = m_Host.AsioSettingsRecord().latencyIndex;
    buffer[0] = index;
    buffer[1] = AsioLatencyCount;
    std::copy(std::begin(AsioLatencies), std::end(AsioLatencies), buffer + 2);
    client->latencyIndex = index;
    *length = needed;
    return kernel::STATUS_SUCCESS;
}

// An unknown code would later give no bytes per sample: refused.
kernel::NTSTATUS CAsioPrivate::SetSampleType(io::FileObject* file, std::uint32_t code) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || !IsAsioSampleType(code)) return kernel::STATUS_INVALID_PARAMETER;
    client->sampleType = code;
    m_Host.AsioSettingsRecord().requestedSampleType = code;
    SignalConfigChange();
    return kernel::STATUS_SUCCESS;
}

// An index past the table would later be read past it: refused.
kernel::NTSTATUS CAsioPrivate::SetLatency(io::FileObject* file, std::uint32_t index) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || index >= AsioLatencyCount) return kernel::STATUS_INVALID_PARAMETER;
    client->latencyIndex = index;
    m_Host.AsioSettingsRecord().latencyIndex = index;
    WriteSetting(AsioLatencySetting, index);
    SignalConfigChange();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetLatencies(io::FileObject* file, std::uint32_t latencies[2]) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const AsioSettings& settings = m_Host.AsioSettingsRecord();
    if (!AsioLatencyFrames(settings.sampleRate, client->kind, settings.latencyIndex, latencies))
        return kernel::STATUS_INVALID_PARAMETER;
    client->latencyIndex = settings.latencyIndex;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetSampleRate(io::FileObject* file, std::uint32_t* rate) {
    CMutexLockScope lock(m_Lock);
    if (FindClient(file) == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *rate = m_Host.AsioSettingsRecord().sampleRate;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::CanSampleRate(io::FileObject* file, std::uint32_t rate) {
    CMutexLockScope lock(m_Lock);
    const AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    return EndpointsSupportRate(rate, client->kind) ? kernel::STATUS_SUCCESS
                                                    : kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS CAsioPrivate::SetSampleRate(io::FileObject* file, std::uint32_t rate) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr || !AsioRateFitsKind(rate, client->kind))
        return kernel::STATUS_INVALID_PARAMETER;
    if (!EndpointsSupportRate(rate, client->kind)) return kernel::STATUS_UNSUCCESSFUL;
    if (client->buffersCreated == 0) client->sampleRate = rate;
    m_Host.AsioSettingsRecord().sampleRate = rate;
    WriteSetting(AsioSampleRateSetting, rate);
    if (client->buffersCreated != 0) SignalConfigChange();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetBufferSize(io::FileObject* file, std::uint32_t sizes[4]) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const AsioSettings& settings = m_Host.AsioSettingsRecord();
    if (!AsioBufferSizes(settings.sampleRate, settings.latencyIndex, sizes))
        return kernel::STATUS_INVALID_PARAMETER;
    client->latencyIndex = settings.latencyIndex;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::CanKind(io::FileObject* file, std::uint32_t kind) {
    CMutexLockScope lock(m_Lock);
    if (FindClient(file) == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (kind > AsioKindDsd) return kernel::STATUS_UNSUCCESSFUL;
    return EndpointsHaveKind(kind) ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS CAsioPrivate::SetKind(io::FileObject* file, std::uint32_t kind) {
    CMutexLockScope lock(m_Lock);
    AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (kind > AsioKindDsd || !EndpointsHaveKind(kind)) return kernel::STATUS_UNSUCCESSFUL;
    client->kind = kind;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CAsioPrivate::GetKind(io::FileObject* file, std::uint32_t* kind) {
    CMutexLockScope lock(m_Lock);
    const AsioClientRecord* client = FindClient(file);
    if (client == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *kind = client->kind;
    return kernel::STATUS_SUCCESS;
}
