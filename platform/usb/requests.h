// The request records a driver hands the bus with the submit-request I/O
// control: a header that names the function and the record's length, and a
// body per function. These records stay on the host: they carry pointers, so
// on this 64-bit platform they are pointer-sized (the 32-bit system they
// were made for had the same fields in 4-byte slots). What does cross the
// wire is pinned elsewhere: the setup packet (setup_packet.h), descriptors,
// and the 12-byte packet records of an isochronous transfer.
#pragma once

#include "platform/usb/bus_status.h"
#include "platform/usb/setup_packet.h"

#include <cstddef>
#include <cstdint>

namespace usb {

static_assert(sizeof(void*) == 8, "the request layouts below are pinned for 64-bit");

enum class Function : std::uint16_t {
    selectConfiguration = 0x0000,
    selectInterface = 0x0001,
    abortPipe = 0x0002,
    controlTransfer = 0x0008,
    bulkOrInterruptTransfer = 0x0009,
    isochronousTransfer = 0x000A,
    getDescriptorFromDevice = 0x000B,
    vendorDevice = 0x0017,
    vendorInterface = 0x0018,
    vendorEndpoint = 0x0019,
    classDevice = 0x001A,
    classInterface = 0x001B,
    classEndpoint = 0x001C,
    syncResetPipeAndClearStall = 0x001E,
    classOther = 0x001F,
    vendorOther = 0x0020,
};

// Opaque handles the bus gives out when a configuration or an interface is
// selected; the driver only hands them back.
using ConfigurationHandle = void*;
using InterfaceHandle = void*;
using PipeHandle = void*;

struct RequestHeader {
    std::uint16_t length; // bytes of the whole record, trailing parts included
    Function function;
    BusStatus status;   // set by the bus when the request completes
    void* deviceHandle; // the bus's own
    std::uint32_t flags;
};

// Memory the bus may use while it owns a request.
struct HostControllerArea {
    void* reserved[8];
};

namespace transfer_flags {
inline constexpr std::uint32_t directionIn = 0x1;     // device to host
inline constexpr std::uint32_t shortTransferOk = 0x2; // a short IN packet is no error
inline constexpr std::uint32_t startIsoAsap = 0x4;    // ignore the start frame
inline constexpr std::uint32_t defaultPipe = 0x8;     // control transfer on endpoint 0
} // namespace transfer_flags

// The part shared by every request that moves data.
struct TransferFields {
    PipeHandle pipeHandle;
    std::uint32_t transferFlags;
    std::uint32_t transferBufferLength; // bytes offered; on completion, bytes moved
    void* transferBuffer;
    void* bufferList; // a memory descriptor list used instead of transferBuffer, or null
    RequestHeader* link;
    HostControllerArea hostControllerArea;
};

// A control transfer with its own setup packet (function controlTransfer).
struct ControlTransferRequest {
    RequestHeader header;
    TransferFields transfer;
    SetupPacket setupPacket;
};

// A class or vendor control request (functions classDevice ... vendorOther):
// the function names type and recipient, transferFlags the direction, and
// transferBufferLength is wLength.
struct ClassOrVendorRequest {
    RequestHeader header;
    TransferFields transfer;
    std::uint8_t requestTypeReservedBits;
    std::uint8_t request;
    std::uint16_t value;
    std::uint16_t index;
    std::uint16_t reserved;
};

// GET_DESCRIPTOR to the device (function getDescriptorFromDevice); the pipe
// handle and transfer flags are unused.
struct DescriptorRequest {
    RequestHeader header;
    TransferFields transfer;
    std::uint16_t reserved1;
    std::uint8_t index;
    std::uint8_t descriptorType;
    std::uint16_t languageId;
    std::uint16_t reserved2;
};

// Abort pipe and reset pipe.
struct PipeRequest {
    RequestHeader header;
    PipeHandle pipeHandle;
    std::uint32_t reserved;
};

struct BulkOrInterruptTransfer {
    RequestHeader header;
    TransferFields transfer;
};

// One packet of an isochronous transfer; crosses into the host controller
// as is, so it is pinned at 12 bytes.
struct IsoPacket {
    std::uint32_t offset; // of the packet's bytes in the transfer buffer
    std::uint32_t length; // IN: set by the bus to the bytes received
    BusStatus status;
};

// numberOfPackets IsoPacket records follow the record, at
// sizeof(IsochronousTransfer); isochronousTransferSize gives the whole length.
struct IsochronousTransfer {
    RequestHeader header;
    TransferFields transfer;
    std::uint32_t startFrame; // unless startIsoAsap; on completion, the frame it started in
    std::uint32_t numberOfPackets;
    std::uint32_t errorCount;
    std::uint32_t reserved;

    IsoPacket* packets() { return reinterpret_cast<IsoPacket*>(this + 1); }
    const IsoPacket* packets() const { return reinterpret_cast<const IsoPacket*>(this + 1); }
};

static_assert(sizeof(RequestHeader) == 24 && offsetof(RequestHeader, function) == 2 &&
              offsetof(RequestHeader, status) == 4 && offsetof(RequestHeader, deviceHandle) == 8 &&
              offsetof(RequestHeader, flags) == 16);
static_assert(sizeof(HostControllerArea) == 8 * sizeof(void*));
static_assert(sizeof(TransferFields) == 104 && offsetof(TransferFields, transferFlags) == 8 &&
              offsetof(TransferFields, transferBufferLength) == 12 &&
              offsetof(TransferFields, transferBuffer) == 16 &&
              offsetof(TransferFields, hostControllerArea) == 40);
static_assert(sizeof(ControlTransferRequest) == 136 &&
              offsetof(ControlTransferRequest, setupPacket) == 128);
static_assert(sizeof(ClassOrVendorRequest) == 136 &&
              offsetof(ClassOrVendorRequest, request) == 129 &&
              offsetof(ClassOrVendorRequest, value) == 130 &&
              offsetof(ClassOrVendorRequest, index) == 132);
static_assert(sizeof(DescriptorRequest) == 136 && offsetof(DescriptorRequest, index) == 130 &&
              offsetof(DescriptorRequest, descriptorType) == 131 &&
              offsetof(DescriptorRequest, languageId) == 132);
static_assert(sizeof(PipeRequest) == 40);
static_assert(sizeof(BulkOrInterruptTransfer) == 128);
static_assert(sizeof(IsoPacket) == 12 && offsetof(IsoPacket, status) == 8);
static_assert(sizeof(IsochronousTransfer) == 144 &&
              offsetof(IsochronousTransfer, startFrame) == 128 &&
              offsetof(IsochronousTransfer, numberOfPackets) == 132 &&
              offsetof(IsochronousTransfer, errorCount) == 136);

// The record's length for a number of packets; 0 when the header's 16-bit
// length cannot carry it.
std::uint16_t isochronousTransferSize(std::size_t packets);

// Whether the record's length covers its packets: the bus reads no packet
// record past the length the driver gave.
bool packetsFit(const IsochronousTransfer& transfer);

// The class and vendor functions, whose record is a ClassOrVendorRequest.
bool isClassOrVendor(Function function);

// The setup packet a class or vendor request stands for; false for any
// other function, or for a transfer longer than wLength can carry.
bool setupPacketOf(const ClassOrVendorRequest& request, SetupPacket& setup);

// The record behind a header, when the function is the one given and the
// header's length covers the record; null otherwise.
template <class Record> Record* requestAs(RequestHeader* header, Function function) {
    if (header == nullptr || header->function != function || header->length < sizeof(Record))
        return nullptr;
    return reinterpret_cast<Record*>(header);
}

} // namespace usb
