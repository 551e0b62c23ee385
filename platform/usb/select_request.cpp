#include "platform/usb/select_request.h"

#include <cstring>
#include <limits>
#include <new>
#include <utility>

namespace usb {

using kernel::NTSTATUS;

InterfaceInformation* nextInterfaceInformation(InterfaceInformation* interface) {
    return reinterpret_cast<InterfaceInformation*>(reinterpret_cast<std::uint8_t*>(interface) +
                                                   interface->length);
}

RequestBlock::RequestBlock(RequestBlock&& other) noexcept
    : m_block(std::exchange(other.m_block, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

RequestBlock& RequestBlock::operator=(RequestBlock&& other) noexcept {
    if (this != &other) {
        free();
        m_block = std::exchange(other.m_block, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

RequestBlock::~RequestBlock() { free(); }

void RequestBlock::free() {
    if (m_block != nullptr) kernel::freePool(m_block);
    m_block = nullptr;
    m_size = 0;
}

bool RequestBlock::allocate(std::size_t bytes, kernel::PoolTag tag) {
    free();
    m_block = kernel::allocatePool(kernel::PoolType::NonPagedNx, bytes, tag);
    if (m_block == nullptr) return false;
    std::memset(m_block, 0, bytes);
    m_size = bytes;
    return true;
}

namespace {

// Lays out one interface's record with its pipes at `at`.
InterfaceInformation* placeInterface(void* at, const InterfaceDescriptor& descriptor) {
    auto* info = new (at) InterfaceInformation{};
    info->length = static_cast<std::uint16_t>(interfaceInformationSize(descriptor.bNumEndpoints));
    info->interfaceNumber = descriptor.bInterfaceNumber;
    info->alternateSetting = descriptor.bAlternateSetting;
    info->numberOfPipes = descriptor.bNumEndpoints;
    auto* pipes = reinterpret_cast<PipeInformation*>(info + 1);
    for (std::uint32_t i = 0; i < info->numberOfPipes; ++i) {
        PipeInformation* pipe = new (pipes + i) PipeInformation{}; // what the bus fills stays 0
        pipe->maximumTransferSize = defaultMaximumTransferSize;
    }
    return info;
}

NTSTATUS allocateRequest(std::size_t bytes, Function function, kernel::PoolTag tag,
                         RequestBlock& request) {
    if (bytes > std::numeric_limits<std::uint16_t>::max()) return kernel::STATUS_INVALID_PARAMETER;
    if (!request.allocate(bytes, tag)) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    request.header()->length = static_cast<std::uint16_t>(bytes);
    request.header()->function = function;
    return kernel::STATUS_SUCCESS;
}

bool isInterfaceOf(const ConfigurationView& view, const InterfaceDescriptor* interface) {
    return interface != nullptr && view.contains(interface) &&
           interface->bDescriptorType == descriptor_type::interface;
}

} // namespace

NTSTATUS buildSelectConfiguration(const ConfigurationView& view,
                                  std::span<const InterfaceDescriptor* const> interfaces,
                                  kernel::PoolTag tag, RequestBlock& request) {
    request = RequestBlock();
    if (!view.valid() || interfaces.empty()) return kernel::STATUS_INVALID_PARAMETER;
    std::size_t bytes = sizeof(SelectConfigurationRequest);
    for (const InterfaceDescriptor* interface : interfaces) {
        if (!isInterfaceOf(view, interface)) return kernel::STATUS_INVALID_PARAMETER;
        bytes += interfaceInformationSize(interface->bNumEndpoints);
    }
    const NTSTATUS status = allocateRequest(bytes, Function::selectConfiguration, tag, request);
    if (!kernel::succeeded(status)) return status;

    auto* select = request.as<SelectConfigurationRequest>();
    select->configurationDescriptor = view.configuration();
    void* at = select + 1;
    for (const InterfaceDescriptor* interface : interfaces)
        at = nextInterfaceInformation(placeInterface(at, *interface));
    return kernel::STATUS_SUCCESS;
}

NTSTATUS buildSelectInterface(const ConfigurationView& view,
                              ConfigurationHandle configurationHandle,
                              const InterfaceDescriptor* interface, kernel::PoolTag tag,
                              RequestBlock& request) {
    request = RequestBlock();
    if (!view.valid() || !isInterfaceOf(view, interface)) return kernel::STATUS_INVALID_PARAMETER;
    const std::size_t bytes = offsetof(SelectInterfaceRequest, interface) +
                              interfaceInformationSize(interface->bNumEndpoints);
    const NTSTATUS status = allocateRequest(bytes, Function::selectInterface, tag, request);
    if (!kernel::succeeded(status)) return status;

    auto* select = request.as<SelectInterfaceRequest>();
    select->configurationHandle = configurationHandle;
    placeInterface(&select->interface, *interface);
    return kernel::STATUS_SUCCESS;
}

} // namespace usb
