#include "platform/usb/requests.h"

#include <limits>

namespace usb {

std::uint16_t isochronousTransferSize(std::size_t packets) {
    constexpr std::size_t limit = std::numeric_limits<std::uint16_t>::max();
    if (packets > (limit - sizeof(IsochronousTransfer)) / sizeof(IsoPacket)) return 0;
    return static_cast<std::uint16_t>(sizeof(IsochronousTransfer) + packets * sizeof(IsoPacket));
}

bool packetsFit(const IsochronousTransfer& transfer) {
    const std::uint16_t needed = isochronousTransferSize(transfer.numberOfPackets);
    return needed != 0 && transfer.header.length >= needed;
}

namespace {

struct TypeAndRecipient {
    Function function;
    RequestType type;
    Recipient recipient;
};

constexpr TypeAndRecipient kClassAndVendorFunctions[] = {
    {Function::classDevice, RequestType::classSpecific, Recipient::device},
    {Function::classInterface, RequestType::classSpecific, Recipient::interface},
    {Function::classEndpoint, RequestType::classSpecific, Recipient::endpoint},
    {Function::classOther, RequestType::classSpecific, Recipient::other},
    {Function::vendorDevice, RequestType::vendor, Recipient::device},
    {Function::vendorInterface, RequestType::vendor, Recipient::interface},
    {Function::vendorEndpoint, RequestType::vendor, Recipient::endpoint},
    {Function::vendorOther, RequestType::vendor, Recipient::other},
};

} // namespace

bool isClassOrVendor(Function function) {
    for (const TypeAndRecipient& entry : kClassAndVendorFunctions)
        if (entry.function == function) return true;
    return false;
}

bool setupPacketOf(const ClassOrVendorRequest& request, SetupPacket& setup) {
    if (request.transfer.transferBufferLength > std::numeric_limits<std::uint16_t>::max())
        return false;
    for (const TypeAndRecipient& entry : kClassAndVendorFunctions) {
        if (entry.function != request.header.function) continue;
        const Direction direction = (request.transfer.transferFlags & transfer_flags::directionIn)
                                        ? Direction::in
                                        : Direction::out;
        setup = makeSetupPacket(direction, entry.type, entry.recipient, request.request,
                                request.value, request.index,
                                static_cast<std::uint16_t>(request.transfer.transferBufferLength));
        return true;
    }
    return false;
}

} // namespace usb
