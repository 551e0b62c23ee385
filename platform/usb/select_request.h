// Selecting a configuration or an interface: the records the driver sends
// (one interface information record per interface, each followed by one pipe
// information record per endpoint) and the builders that size and fill them
// from a validated configuration. The bus fills in the handles and the pipes'
// endpoint details when the request completes.
#pragma once

#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"
#include "platform/usb/configuration.h"
#include "platform/usb/requests.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace usb {

struct PipeInformation {
    // Filled by the bus.
    std::uint16_t maximumPacketSize;
    std::uint8_t endpointAddress;
    std::uint8_t interval;
    endpoint::TransferType pipeType;
    std::uint8_t reserved[3];
    PipeHandle pipeHandle;
    // Given by the driver.
    std::uint32_t maximumTransferSize;
    std::uint32_t pipeFlags;
};

// numberOfPipes PipeInformation records follow, at sizeof(InterfaceInformation).
struct InterfaceInformation {
    std::uint16_t length; // this record with its pipes
    std::uint8_t interfaceNumber;
    std::uint8_t alternateSetting;
    // Filled by the bus.
    std::uint8_t interfaceClass;
    std::uint8_t interfaceSubclass;
    std::uint8_t interfaceProtocol;
    std::uint8_t reserved;
    InterfaceHandle interfaceHandle;
    std::uint32_t numberOfPipes;

    std::span<PipeInformation> pipes() {
        return {reinterpret_cast<PipeInformation*>(this + 1), numberOfPipes};
    }
    std::span<const PipeInformation> pipes() const {
        return {reinterpret_cast<const PipeInformation*>(this + 1), numberOfPipes};
    }
};

// The interface information records follow, at sizeof(SelectConfigurationRequest).
struct SelectConfigurationRequest {
    RequestHeader header;
    const ConfigurationDescriptor* configurationDescriptor; // null: leave the configured state
    ConfigurationHandle configurationHandle;                // filled by the bus
};

struct SelectInterfaceRequest {
    RequestHeader header;
    ConfigurationHandle configurationHandle;
    InterfaceInformation interface; // its pipes follow the request
};

static_assert(sizeof(PipeInformation) == 24 && offsetof(PipeInformation, pipeType) == 4 &&
              offsetof(PipeInformation, pipeHandle) == 8 &&
              offsetof(PipeInformation, maximumTransferSize) == 16);
static_assert(sizeof(InterfaceInformation) == 24 &&
              offsetof(InterfaceInformation, interfaceHandle) == 8 &&
              offsetof(InterfaceInformation, numberOfPipes) == 16);
static_assert(sizeof(SelectConfigurationRequest) == 40);
static_assert(sizeof(SelectInterfaceRequest) == 56 &&
              offsetof(SelectInterfaceRequest, interface) == 32);

// What a pipe may move in one transfer unless the driver says otherwise.
inline constexpr std::uint32_t defaultMaximumTransferSize = 0x10000;

// Bytes of an interface information record with its pipes.
constexpr std::size_t interfaceInformationSize(std::size_t pipes) {
    return sizeof(InterfaceInformation) + pipes * sizeof(PipeInformation);
}

// The next interface information record of a select-configuration request.
InterfaceInformation* nextInterfaceInformation(InterfaceInformation* interface);

// A request record in its own pool block, given back with the block.
class RequestBlock {
public:
    RequestBlock() = default;
    RequestBlock(RequestBlock&& other) noexcept;
    RequestBlock& operator=(RequestBlock&& other) noexcept;
    RequestBlock(const RequestBlock&) = delete;
    RequestBlock& operator=(const RequestBlock&) = delete;
    ~RequestBlock();

    // Allocates a zeroed block (non-paged); false when the pool has none.
    bool allocate(std::size_t bytes, kernel::PoolTag tag);

    RequestHeader* header() const { return static_cast<RequestHeader*>(m_block); }
    template <class Record> Record* as() const { return static_cast<Record*>(m_block); }
    std::size_t size() const { return m_size; }
    explicit operator bool() const { return m_block != nullptr; }

private:
    void free();
    void* m_block = nullptr;
    std::size_t m_size = 0;
};

// A select-configuration request for the given interfaces (descriptors of
// the view), each with one pipe per endpoint and defaultMaximumTransferSize.
// Whatever `request` held is given back first; on failure it stays empty.
// STATUS_INVALID_PARAMETER for a refused view, no interfaces, an interface
// that is not the view's, or a request longer than its 16-bit length;
// STATUS_INSUFFICIENT_RESOURCES when the block cannot be had.
kernel::NTSTATUS buildSelectConfiguration(const ConfigurationView& view,
                                          std::span<const InterfaceDescriptor* const> interfaces,
                                          kernel::PoolTag tag, RequestBlock& request);

// A select-interface request for one alternate setting, with one pipe per
// endpoint. The same failures.
kernel::NTSTATUS buildSelectInterface(const ConfigurationView& view,
                                      ConfigurationHandle configurationHandle,
                                      const InterfaceDescriptor* interface, kernel::PoolTag tag,
                                      RequestBlock& request);

} // namespace usb
