// The interfaces a miniport implements for the port: the common part
// (its filter descriptor and the data-range intersection), the topology and
// wave-cyclic miniports, the wave-cyclic stream with the buffer it streams
// through (its DMA channel), and the optional ones the port asks for: power
// notification, signal-processing modes and content protection. Slots are
// in the order given here.
#pragma once

#include "platform/io/pnp.h"
#include "platform/io/power_state.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/unknown.h"
#include "platform/ks/data_format.h"
#include "platform/ks/state.h"
#include "platform/portcls/descriptors.h"

#include <cstdint>

namespace portcls {

class IPortTopology;
class IPortWaveCyclic;
class IServiceGroup;

inline constexpr kernel::Guid IID_IMiniport =
    kernel::makeGuid("{D8D2E36F-0DB7-47EC-86CB-93C1D65F0960}");
inline constexpr kernel::Guid IID_IMiniportTopology =
    kernel::makeGuid("{7C4E60BE-8037-4C85-B4D0-3A259017CBCF}");
inline constexpr kernel::Guid IID_IMiniportWaveCyclic =
    kernel::makeGuid("{5A3D9173-1685-490F-BD1B-C737255E0C4D}");
inline constexpr kernel::Guid IID_IMiniportWaveCyclicStream =
    kernel::makeGuid("{79FE9007-274E-4B9C-893E-1CF578338EDB}");
inline constexpr kernel::Guid IID_IDmaChannel =
    kernel::makeGuid("{7253CD96-4BBF-47C4-8CE3-D2B9C01B75C3}");
inline constexpr kernel::Guid IID_IPowerNotify =
    kernel::makeGuid("{F292C011-F420-46CB-9491-DF53F04AEFCD}");
inline constexpr kernel::Guid IID_IMiniportAudioSignalProcessing =
    kernel::makeGuid("{B532678C-BE50-472D-9973-8A6F16594989}");
inline constexpr kernel::Guid IID_IDrmAudioStream =
    kernel::makeGuid("{38749850-5299-4B2A-9C33-6735A581B9A6}");

class IMiniport : public kernel::IUnknown {
public:
    // The filter descriptor, valid while the miniport lives.
    virtual kernel::NTSTATUS GetDescription(const FilterDescriptor** description) = 0;
    // The format of the pin that fits both the client's range and one of the
    // pin's own: written to resultantFormat (outputBufferLength bytes of
    // room), its length to resultantFormatLength. With no room (length 0)
    // the length needed and STATUS_BUFFER_OVERFLOW.
    virtual kernel::NTSTATUS
    DataRangeIntersection(std::uint32_t pinId, const ks::DataRange* clientRange,
                          const ks::DataRange* myRange, std::uint32_t outputBufferLength,
                          void* resultantFormat, std::uint32_t* resultantFormatLength) = 0;

protected:
    ~IMiniport() = default;
};

class IMiniportTopology : public IMiniport {
public:
    virtual kernel::NTSTATUS Init(kernel::IUnknown* unknownAdapter,
                                  const io::ResourceList* resourceList, IPortTopology* port) = 0;

protected:
    ~IMiniportTopology() = default;
};

class IDmaChannel;
class IMiniportWaveCyclicStream;

class IMiniportWaveCyclic : public IMiniport {
public:
    virtual kernel::NTSTATUS Init(kernel::IUnknown* unknownAdapter,
                                  const io::ResourceList* resourceList, IPortWaveCyclic* port) = 0;
    // A stream on the pin with the format; the stream, its DMA channel and
    // its service group each come with a reference for the port.
    virtual kernel::NTSTATUS NewStream(IMiniportWaveCyclicStream** stream,
                                       kernel::IUnknown* outerUnknown, kernel::PoolType poolType,
                                       std::uint32_t pin, bool capture,
                                       const ks::DataFormat* dataFormat, IDmaChannel** dmaChannel,
                                       IServiceGroup** serviceGroup) = 0;

protected:
    ~IMiniportWaveCyclic() = default;
};

class IMiniportWaveCyclicStream : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS SetFormat(const ks::DataFormat* dataFormat) = 0;
    // The notification interval in milliseconds the stream keeps; framingSize
    // gets the bytes of one interval.
    virtual std::uint32_t SetNotificationFreq(std::uint32_t interval,
                                              std::uint32_t* framingSize) = 0;
    virtual kernel::NTSTATUS SetState(ks::KsState state) = 0;
    // The byte offset in the cyclic buffer that the device has reached.
    virtual kernel::NTSTATUS GetPosition(std::uint32_t* position) = 0;
    // Bytes to 100-nanosecond units.
    virtual kernel::NTSTATUS NormalizePhysicalPosition(std::int64_t* physicalPosition) = 0;
    virtual void Silence(void* buffer, std::uint32_t byteCount) = 0;

protected:
    ~IMiniportWaveCyclicStream() = default;
};

// The cyclic buffer of a stream, as a DMA channel shows it.
class IDmaChannel : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS AllocateBuffer(std::uint32_t bufferSize,
                                            const std::int64_t* physicalAddressConstraint) = 0;
    virtual void FreeBuffer() = 0;
    virtual std::uint32_t TransferCount() = 0;
    virtual std::uint32_t MaximumBufferSize() = 0;
    virtual std::uint32_t AllocatedBufferSize() = 0;
    virtual std::uint32_t BufferSize() = 0;
    virtual void SetBufferSize(std::uint32_t bufferSize) = 0;
    virtual void* SystemAddress() = 0;
    virtual std::int64_t PhysicalAddress() = 0;
    virtual void* GetAdapterObject() = 0;
    virtual void CopyTo(void* destination, const void* source, std::uint32_t byteCount) = 0;
    virtual void CopyFrom(void* destination, const void* source, std::uint32_t byteCount) = 0;

protected:
    ~IDmaChannel() = default;
};

class IPowerNotify : public kernel::IUnknown {
public:
    virtual void PowerChangeNotify(io::DevicePowerState newState) = 0;

protected:
    ~IPowerNotify() = default;
};

class IMiniportAudioSignalProcessing : public kernel::IUnknown {
public:
    // The signal-processing modes of the pin: with modes null or a count of
    // 0, only the count; otherwise up to *count modes and the count written.
    virtual kernel::NTSTATUS GetModes(std::uint32_t pin, kernel::Guid* modes,
                                      std::uint32_t* count) = 0;

protected:
    ~IMiniportAudioSignalProcessing() = default;
};

// The rights that come with protected content.
struct DrmRights {
    std::uint32_t CopyProtect;
    std::uint32_t Reserved;
    std::uint32_t DigitalOutputDisable;
};
static_assert(sizeof(DrmRights) == 12);

class IDrmAudioStream : public kernel::IUnknown {
public:
    virtual kernel::NTSTATUS SetContentId(std::uint32_t contentId, const DrmRights* rights) = 0;

protected:
    ~IDrmAudioStream() = default;
};

} // namespace portcls
