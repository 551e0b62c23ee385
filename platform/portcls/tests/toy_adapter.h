// A toy adapter driver written against the port layer: an adapter object
// with power management, a topology miniport (a volume node with
// properties and a control-change event, a jack property on the filter)
// and a wave-cyclic miniport whose one stream runs over a buffer of its
// own and raises notifications when the test plays its interrupt. Its
// StartDevice installs both as subdevices with a physical connection
// between them, as a real adapter does. Everything the toys see goes to
// the world's log, so tests compare whole sequences.
#pragma once

#include "platform/io/device_object.h"
#include "platform/kernel/dispatcher.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/jack.h"
#include "platform/ks/property_description.h"
#include "platform/ks/topology_ids.h"
#include "platform/portcls/adapter.h"
#include "platform/portcls/miniport.h"
#include "platform/portcls/port.h"
#include "platform/portcls/service_group.h"
#include "toy_unknown.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

namespace portcls::testing {

class ToyStream;

struct World {
    std::vector<std::string> log;
    std::int32_t volume[2] = {-100, -200};
    std::uint32_t maxObjects = 4;
    int startCalls = 0;
    const io::ResourceList* resourcesSeen = nullptr;
    kernel::NTSTATUS refuseState = kernel::STATUS_SUCCESS; // for the step into RUN
    kernel::Duration pauseTakes{0}; // clock time the stream's step into PAUSE takes
    ToyStream* stream = nullptr;
    const FilterDescriptor* topologyDescriptor = nullptr; // in place of the toy's own
    IPortEvents* topologyEvents = nullptr;                // while the topology miniport lives
};

inline World* world = nullptr;

// For a test on another thread than the stream's: the stream stepped into
// STOP, the stream went. A test that reads them clears them first.
inline std::atomic<bool> streamStopped{false};
inline std::atomic<bool> streamGone{false};

inline const char* stateName(ks::KsState state) {
    static const char* const names[] = {"STOP", "ACQUIRE", "PAUSE", "RUN"};
    return names[static_cast<std::uint32_t>(state)];
}

inline std::string powerName(io::DevicePowerState state) {
    return "D" + std::to_string(static_cast<int>(state) - 1);
}

class ToyAdapter final : public IAdapterPowerManagement, public ToyCounted {
public:
    TOY_UNKNOWN({kernel::IID_IUnknown, static_cast<IAdapterPowerManagement*>(this)},
                {IID_IAdapterPowerManagement, static_cast<IAdapterPowerManagement*>(this)})
    void PowerChangeState(io::DevicePowerState state) override {
        world->log.push_back("adapter " + powerName(state));
    }
    kernel::NTSTATUS QueryPowerChangeState(io::DevicePowerState) override {
        return kernel::STATUS_SUCCESS;
    }
    // The adapter wakes the device from D2 and says so.
    kernel::NTSTATUS QueryDeviceCapabilities(io::DeviceCapabilities* capabilities) override {
        world->log.push_back("adapter capabilities " + powerName(capabilities->deviceWake));
        capabilities->deviceWake = io::DevicePowerState::D2;
        return kernel::STATUS_SUCCESS;
    }
};

// A range that only says "analog connection", for bridge pins.
inline const ks::DataRange analogRange{sizeof(ks::DataRange),
                                       0,
                                       0,
                                       0,
                                       ks::KSDATAFORMAT_TYPE_AUDIO,
                                       ks::KSDATAFORMAT_SUBTYPE_ANALOG,
                                       ks::KSDATAFORMAT_SPECIFIER_NONE};
inline const DataRangeEntry analogRanges[] = {{&analogRange}};

inline PinDescriptor bridgePin(ks::PinDataFlow flow, const kernel::Guid* category) {
    return {
        0,        0,      0, nullptr, 0, nullptr, 1, analogRanges, flow, ks::PinCommunication::None,
        category, nullptr};
}

class ToyTopology final : public IMiniportTopology, public IPowerNotify, public ToyCounted {
public:
    TOY_UNKNOWN({kernel::IID_IUnknown, static_cast<IMiniportTopology*>(this)},
                {IID_IMiniport, static_cast<IMiniport*>(this)},
                {IID_IMiniportTopology, static_cast<IMiniportTopology*>(this)},
                {IID_IPowerNotify, static_cast<IPowerNotify*>(this)})

    ~ToyTopology() override {
        if (events_ != nullptr) events_->Release();
        if (port_ != nullptr) port_->Release();
        world->topologyEvents = nullptr;
    }

    kernel::NTSTATUS Init(kernel::IUnknown*, const io::ResourceList*,
                          IPortTopology* port) override {
        port->AddRef();
        port_ = port;
        void* events = nullptr;
        const kernel::NTSTATUS status = port->QueryInterface(IID_IPortEvents, &events);
        events_ = static_cast<IPortEvents*>(events);
        world->topologyEvents = events_;
        return status;
    }
    kernel::NTSTATUS GetDescription(const FilterDescriptor** description) override {
        *description =
            world->topologyDescriptor != nullptr ? world->topologyDescriptor : &descriptor;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS DataRangeIntersection(std::uint32_t, const ks::DataRange*,
                                           const ks::DataRange*, std::uint32_t, void*,
                                           std::uint32_t*) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    void PowerChangeNotify(io::DevicePowerState state) override {
        world->log.push_back("topology " + powerName(state));
    }

    // Volume per channel: GET, SET and the description of its steps.
    static kernel::NTSTATUS volume(PropertyRequest* request) {
        world->log.push_back("volume handler");
        if (request->InstanceSize < 4 ||
            (request->ValueSize < 4 && request->Verb != ks::property_verb::basicSupport))
            return kernel::STATUS_INVALID_PARAMETER;
        std::uint32_t channel = 0;
        std::memcpy(&channel, request->Instance, 4);
        if (channel > 1) return kernel::STATUS_INVALID_PARAMETER;
        if (request->Verb == ks::property_verb::get) {
            std::memcpy(request->Value, &world->volume[channel], 4);
        } else if (request->Verb == ks::property_verb::set) {
            std::memcpy(&world->volume[channel], request->Value, 4);
            events(request)->GenerateEventList(&ks::KSEVENTSETID_AudioControlChange,
                                               ks::KSEVENT_CONTROL_CHANGE, false, 0, true,
                                               request->Node);
        } else {
            if (request->ValueSize < sizeof(ks::PropertyDescription)) {
                request->ValueSize = sizeof(ks::PropertyDescription);
                return kernel::STATUS_BUFFER_TOO_SMALL;
            }
            const ks::PropertyDescription description{
                ks::property_verb::get | ks::property_verb::set | ks::property_verb::basicSupport,
                sizeof(ks::PropertyDescription),
                {ks::KSPROPTYPESETID_General, ks::value_type::i4, 0},
                0,
                0};
            std::memcpy(request->Value, &description, sizeof description);
            request->ValueSize = sizeof description;
            return kernel::STATUS_SUCCESS;
        }
        request->ValueSize = 4;
        return kernel::STATUS_SUCCESS;
    }
    static kernel::NTSTATUS mute(PropertyRequest* request) {
        world->log.push_back("mute handler");
        request->ValueSize = 0;
        return kernel::STATUS_SUCCESS;
    }
    static kernel::NTSTATUS jack(PropertyRequest* request) {
        world->log.push_back("jack handler");
        const ks::JackDescription description{3, 0x00FF00, 1, 1, 0, 0, 1};
        if (request->ValueSize < sizeof description) {
            request->ValueSize = sizeof description;
            return kernel::STATUS_BUFFER_TOO_SMALL;
        }
        std::memcpy(request->Value, &description, sizeof description);
        request->ValueSize = sizeof description;
        return kernel::STATUS_SUCCESS;
    }
    static kernel::NTSTATUS controlChange(EventRequest* request) {
        world->log.push_back("event handler " + std::to_string(request->Verb));
        if (request->Verb == event_verb::add)
            events(request)->AddEventToEventList(request->EventEntry);
        return kernel::STATUS_SUCCESS;
    }

    static constexpr PropertyItem nodeProperties[] = {
        {&ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_VOLUMELEVEL,
         ks::property_verb::get | ks::property_verb::set | ks::property_verb::basicSupport, volume},
        {&ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_MUTE, ks::property_verb::get, mute},
    };
    static constexpr EventItem nodeEvents[] = {
        {&ks::KSEVENTSETID_AudioControlChange, ks::KSEVENT_CONTROL_CHANGE,
         ks::event_verb::enable | ks::event_verb::basicSupport, controlChange},
    };
    static constexpr PropertyItem filterProperties[] = {
        {&ks::KSPROPSETID_Jack, ks::KSPROPERTY_JACK_DESCRIPTION, ks::property_verb::get, jack},
    };
    static constexpr AutomationTable nodeTable{sizeof(PropertyItem), 2, nodeProperties,
                                               sizeof(EventItem),    1, nodeEvents};
    static constexpr AutomationTable filterTable{
        sizeof(PropertyItem), 1, filterProperties, 0, 0, nullptr};
    static inline const PinDescriptor pins[] = {
        bridgePin(ks::PinDataFlow::In, &ks::KSCATEGORY_AUDIO),
        bridgePin(ks::PinDataFlow::Out, &ks::KSNODETYPE_SPEAKER),
    };
    static constexpr NodeDescriptor nodes[] = {{0, &nodeTable, &ks::KSNODETYPE_VOLUME, nullptr}};
    static constexpr ConnectionDescriptor connections[] = {{nodeNone, 0, 0, 1},
                                                           {0, 0, nodeNone, 1}};
    static constexpr kernel::Guid categories[] = {ks::KSCATEGORY_AUDIO, ks::KSCATEGORY_TOPOLOGY};
    static inline const FilterDescriptor descriptor{0,
                                                    &filterTable,
                                                    sizeof(PinDescriptor),
                                                    2,
                                                    pins,
                                                    sizeof(NodeDescriptor),
                                                    1,
                                                    nodes,
                                                    2,
                                                    connections,
                                                    2,
                                                    categories};

private:
    // The events of the miniport a property or event request is for.
    template <class Request> static IPortEvents* events(Request* request) {
        return static_cast<ToyTopology*>(static_cast<IMiniport*>(request->MajorTarget))->events_;
    }

    IPortTopology* port_ = nullptr;
    IPortEvents* events_ = nullptr;
};

// 48 kHz, 16 bits, two channels: 192 bytes a millisecond.
inline ks::DataFormatWaveFormatEx pcmFormat() {
    ks::DataFormatWaveFormatEx format{};
    format.DataFormat = {ks::dataFormatWaveFormatExSize,
                         0,
                         4,
                         0,
                         ks::KSDATAFORMAT_TYPE_AUDIO,
                         ks::KSDATAFORMAT_SUBTYPE_PCM,
                         ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX};
    format.WaveFormatEx = {ks::format_tag::pcm, 2, 48000, 192000, 4, 16, 0};
    return format;
}

class ToyStream final : public IMiniportWaveCyclicStream, public IDmaChannel, public ToyCounted {
public:
    static constexpr std::uint32_t bufferBytes = 1920; // 10 ms

    TOY_UNKNOWN({kernel::IID_IUnknown, static_cast<IMiniportWaveCyclicStream*>(this)},
                {IID_IMiniportWaveCyclicStream, static_cast<IMiniportWaveCyclicStream*>(this)},
                {IID_IDmaChannel, static_cast<IDmaChannel*>(this)})

    ToyStream(IPortWaveCyclic* port, IServiceGroup* group) : port_(port), group_(group) {
        world->stream = this;
    }
    ~ToyStream() override {
        group_->Release();
        world->stream = nullptr;
        streamGone = true;
        world->log.push_back("stream gone");
    }

    // The device took bytes from the buffer: the position moves, and the
    // port hears of it as from an interrupt.
    void interrupt(std::uint32_t bytes) {
        position_ = (position_ + bytes) % bufferBytes;
        port_->Notify(group_);
    }

    kernel::NTSTATUS SetFormat(const ks::DataFormat*) override { return kernel::STATUS_SUCCESS; }
    // Keeps any interval up to the buffer's 10 ms; 192 bytes a millisecond.
    std::uint32_t SetNotificationFreq(std::uint32_t interval, std::uint32_t* framing) override {
        world->log.push_back("stream interval " + std::to_string(interval));
        const std::uint32_t kept = std::min<std::uint32_t>(interval, 10);
        *framing = kept * 192;
        return kept;
    }
    kernel::NTSTATUS SetState(ks::KsState state) override {
        if (state == ks::KsState::Run && !kernel::succeeded(world->refuseState))
            return world->refuseState;
        if (state == ks::KsState::Pause && world->pauseTakes > kernel::Duration::zero())
            (void)kernel::delayExecution(world->pauseTakes);
        world->log.push_back(std::string("stream ") + stateName(state));
        if (state == ks::KsState::Stop) streamStopped = true;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetPosition(std::uint32_t* position) override {
        *position = position_;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS NormalizePhysicalPosition(std::int64_t*) override {
        return kernel::STATUS_SUCCESS;
    }
    void Silence(void* buffer, std::uint32_t bytes) override { std::memset(buffer, 0, bytes); }

    kernel::NTSTATUS AllocateBuffer(std::uint32_t, const std::int64_t*) override {
        return kernel::STATUS_SUCCESS;
    }
    void FreeBuffer() override {}
    std::uint32_t TransferCount() override { return bufferBytes; }
    std::uint32_t MaximumBufferSize() override { return bufferBytes; }
    std::uint32_t AllocatedBufferSize() override { return bufferBytes; }
    std::uint32_t BufferSize() override { return bufferBytes; }
    void SetBufferSize(std::uint32_t) override {}
    void* SystemAddress() override { return buffer_; }
    std::int64_t PhysicalAddress() override { return 0; }
    void* GetAdapterObject() override { return nullptr; }
    void CopyTo(void* destination, const void* source, std::uint32_t bytes) override {
        std::memcpy(destination, source, bytes);
    }
    void CopyFrom(void* destination, const void* source, std::uint32_t bytes) override {
        std::memcpy(destination, source, bytes);
    }

private:
    IPortWaveCyclic* const port_; // the miniport holds it
    IServiceGroup* const group_;
    std::uint32_t position_ = 0;
    unsigned char buffer_[bufferBytes] = {};
};

class ToyWave final : public IMiniportWaveCyclic, public IPowerNotify, public ToyCounted {
public:
    TOY_UNKNOWN({kernel::IID_IUnknown, static_cast<IMiniportWaveCyclic*>(this)},
                {IID_IMiniport, static_cast<IMiniport*>(this)},
                {IID_IMiniportWaveCyclic, static_cast<IMiniportWaveCyclic*>(this)},
                {IID_IPowerNotify, static_cast<IPowerNotify*>(this)})

    ~ToyWave() override {
        if (port_ != nullptr) port_->Release();
    }

    kernel::NTSTATUS Init(kernel::IUnknown*, const io::ResourceList*,
                          IPortWaveCyclic* port) override {
        port->AddRef();
        port_ = port;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetDescription(const FilterDescriptor** description) override {
        *description = &descriptor;
        return kernel::STATUS_SUCCESS;
    }
    // Offers 48 kHz 16-bit stereo PCM to any PCM range.
    kernel::NTSTATUS DataRangeIntersection(std::uint32_t, const ks::DataRange* clientRange,
                                           const ks::DataRange*, std::uint32_t length, void* format,
                                           std::uint32_t* formatLength) override {
        if (clientRange->SubFormat != ks::KSDATAFORMAT_SUBTYPE_PCM) return kernel::STATUS_NO_MATCH;
        *formatLength = ks::dataFormatWaveFormatExSize;
        if (length == 0) return kernel::STATUS_BUFFER_OVERFLOW;
        if (length < ks::dataFormatWaveFormatExSize) return kernel::STATUS_BUFFER_TOO_SMALL;
        const ks::DataFormatWaveFormatEx offered = pcmFormat();
        std::memcpy(format, &offered, ks::dataFormatWaveFormatExSize);
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS NewStream(IMiniportWaveCyclicStream** stream, kernel::IUnknown*,
                               kernel::PoolType, std::uint32_t, bool capture, const ks::DataFormat*,
                               IDmaChannel** dma, IServiceGroup** group) override {
        world->log.push_back(capture ? "new capture stream" : "new render stream");
        if (world->stream != nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
        IServiceGroup* own = nullptr;
        const kernel::NTSTATUS status = PcNewServiceGroup(&own, nullptr);
        if (!kernel::succeeded(status)) return status;
        own->AddRef();
        auto* made = new ToyStream(port_, own);
        *stream = made;
        made->AddRef();
        *dma = made;
        *group = own;
        return kernel::STATUS_SUCCESS;
    }
    void PowerChangeNotify(io::DevicePowerState state) override {
        world->log.push_back("wave " + powerName(state));
    }

    static inline const ks::DataRangeAudio pcmRange{
        {sizeof(ks::DataRangeAudio), ks::data_flags::attributes, 0, 0, ks::KSDATAFORMAT_TYPE_AUDIO,
         ks::KSDATAFORMAT_SUBTYPE_PCM, ks::KSDATAFORMAT_SPECIFIER_WAVEFORMATEX},
        2,
        16,
        16,
        48000,
        48000};
    static inline const ks::AudioSignalProcessingModeAttribute rawMode{
        {sizeof(ks::AudioSignalProcessingModeAttribute), 0,
         ks::KSATTRIBUTEID_AUDIOSIGNALPROCESSING_MODE},
        ks::AUDIO_SIGNALPROCESSING_MODE_RAW};
    static inline const ks::Attribute* const rawAttributes[] = {&rawMode.AttributeHeader};
    static inline const AttributeList rawList{1, rawAttributes};
    static inline const DataRangeEntry streamRanges[] = {{&pcmRange.DataRange},
                                                         {.Attributes = &rawList}};
    static inline const ks::Identifier streaming{ks::KSINTERFACESETID_Standard,
                                                 ks::KSINTERFACE_STANDARD_STREAMING, 0};
    static inline const PinDescriptor pins[] = {
        {1, 1, 0, nullptr, 1, &streaming, 2, streamRanges, ks::PinDataFlow::In,
         ks::PinCommunication::Sink, &ks::KSCATEGORY_AUDIO, nullptr},
        bridgePin(ks::PinDataFlow::Out, &ks::KSCATEGORY_AUDIO),
    };
    static constexpr NodeDescriptor nodes[] = {{0, nullptr, &ks::KSNODETYPE_DAC, nullptr}};
    static constexpr ConnectionDescriptor connections[] = {{nodeNone, 0, 0, 1},
                                                           {0, 0, nodeNone, 1}};
    static constexpr kernel::Guid categories[] = {ks::KSCATEGORY_AUDIO, ks::KSCATEGORY_RENDER};
    static inline const FilterDescriptor descriptor{
        0,     nullptr, sizeof(PinDescriptor), 2, pins,      sizeof(NodeDescriptor), 1,
        nodes, 2,       connections,           2, categories};

private:
    IPortWaveCyclic* port_ = nullptr;
};

// Makes a port of the class, binds the miniport and registers it under the name.
inline kernel::NTSTATUS installSubdevice(io::DeviceObject* device, io::Irp* irp,
                                         const kernel::Guid& portClass, kernel::IUnknown* miniport,
                                         kernel::IUnknown* adapter,
                                         const io::ResourceList* resources, const char16_t* name,
                                         IPort** port) {
    kernel::NTSTATUS status = PcNewPort(port, portClass);
    if (kernel::succeeded(status))
        status = (*port)->Init(device, irp, miniport, adapter, resources);
    if (kernel::succeeded(status)) status = PcRegisterSubdevice(device, name, *port);
    miniport->Release(); // the port holds it
    return status;
}

// The adapter's start: a topology and a wave subdevice, the wave filter's
// bridge pin wired to the topology's input, the adapter's power interface.
inline kernel::NTSTATUS toyStartDevice(io::DeviceObject* device, io::Irp* irp,
                                       const io::ResourceList* resources) {
    ++world->startCalls;
    world->resourcesSeen = resources;
    auto* adapter = new ToyAdapter;
    IPort* topology = nullptr;
    IPort* wave = nullptr;
    kernel::NTSTATUS status = installSubdevice(device, irp, CLSID_PortTopology,
                                               static_cast<IMiniportTopology*>(new ToyTopology),
                                               adapter, resources, u"Topology", &topology);
    if (kernel::succeeded(status))
        status = installSubdevice(device, irp, CLSID_PortWaveCyclic,
                                  static_cast<IMiniportWaveCyclic*>(new ToyWave), adapter,
                                  resources, u"Wave", &wave);
    if (kernel::succeeded(status))
        status = PcRegisterPhysicalConnection(device, wave, 1, topology, 0);
    if (kernel::succeeded(status)) status = PcRegisterAdapterPowerManagement(adapter, device);
    if (wave != nullptr) wave->Release();
    if (topology != nullptr) topology->Release();
    adapter->Release();
    return status;
}

inline constexpr std::uint32_t toyExtensionSize = portClassExtensionSize + 16;

inline kernel::NTSTATUS toyAddDevice(io::DriverObject* driver, io::DeviceObject* physical) {
    return PcAddAdapterDevice(driver, physical, toyStartDevice, world->maxObjects,
                              toyExtensionSize);
}

} // namespace portcls::testing
