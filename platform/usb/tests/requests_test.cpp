#include "platform/usb/requests.h"

#include "platform/usb/string_descriptor.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

using namespace usb;

ClassOrVendorRequest classOrVendor(Function function, bool in) {
    ClassOrVendorRequest request{};
    request.header.length = sizeof(request);
    request.header.function = function;
    request.transfer.transferFlags = in ? transfer_flags::directionIn : 0;
    request.transfer.transferBufferLength = 0x0102;
    request.request = 0x81;
    request.value = 0x0201;
    request.index = 0x0A00;
    return request;
}

TEST(ClassOrVendorRequest, StandsForTheSetupPacketItsFunctionNames) {
    struct Case {
        Function function;
        std::uint8_t out;
        std::uint8_t in;
    };
    const Case cases[] = {
        {Function::classDevice, 0x20, 0xA0},    {Function::classInterface, 0x21, 0xA1},
        {Function::classEndpoint, 0x22, 0xA2},  {Function::classOther, 0x23, 0xA3},
        {Function::vendorDevice, 0x40, 0xC0},   {Function::vendorInterface, 0x41, 0xC1},
        {Function::vendorEndpoint, 0x42, 0xC2}, {Function::vendorOther, 0x43, 0xC3},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(isClassOrVendor(c.function)) << static_cast<int>(c.function);
        for (bool in : {false, true}) {
            SetupPacket setup{};
            ASSERT_TRUE(setupPacketOf(classOrVendor(c.function, in), setup));
            const std::array<std::uint8_t, 8> expected{
                in ? c.in : c.out, 0x81, 0x01, 0x02, 0x00, 0x0A, 0x02, 0x01};
            EXPECT_EQ(std::memcmp(&setup, expected.data(), 8), 0)
                << static_cast<int>(c.function) << (in ? " in" : " out");
        }
    }
}

TEST(ClassOrVendorRequest, IsNoSetupPacketForOtherFunctionsOrLongTransfers) {
    SetupPacket setup{};
    EXPECT_FALSE(isClassOrVendor(Function::isochronousTransfer));
    EXPECT_FALSE(setupPacketOf(classOrVendor(Function::isochronousTransfer, true), setup));
    EXPECT_FALSE(setupPacketOf(classOrVendor(Function::getDescriptorFromDevice, true), setup));
    ClassOrVendorRequest tooLong = classOrVendor(Function::classInterface, true);
    tooLong.transfer.transferBufferLength = 0x10000;
    EXPECT_FALSE(setupPacketOf(tooLong, setup));
}

TEST(SetupPacket, ReadsDirectionTypeAndRecipientFromItsFirstByte) {
    const SetupPacket setup =
        makeSetupPacket(Direction::in, RequestType::vendor, Recipient::other, 2, 0x0051, 0, 1);
    EXPECT_EQ(setup.bmRequestType, 0xC3);
    EXPECT_EQ(directionOf(setup), Direction::in);
    EXPECT_EQ(typeOf(setup), RequestType::vendor);
    EXPECT_EQ(recipientOf(setup), Recipient::other);
    const SetupPacket reserved{0x7F, 0, {}, {}, {}};
    EXPECT_EQ(directionOf(reserved), Direction::out);
    EXPECT_EQ(static_cast<int>(typeOf(reserved)), 0x60);
    EXPECT_EQ(static_cast<int>(recipientOf(reserved)), 0x1F);
}

TEST(LittleEndian, KeepsTheLowByteFirstWhateverTheWidth) {
    const Le24 rate = Le24::of(96000);
    EXPECT_EQ(rate.bytes[0], 0x00);
    EXPECT_EQ(rate.bytes[1], 0x77);
    EXPECT_EQ(rate.bytes[2], 0x01);
    EXPECT_EQ(rate.value(), 96000u);
    EXPECT_EQ(Le16::of(0x12345).value(), 0x2345u); // bits beyond the field are dropped
}

TEST(IsochronousTransfer, IsSizedForItsPacketsWithinItsLengthField) {
    EXPECT_EQ(isochronousTransferSize(0), sizeof(IsochronousTransfer));
    EXPECT_EQ(isochronousTransferSize(10), sizeof(IsochronousTransfer) + 120);
    const std::size_t most = (0xFFFF - sizeof(IsochronousTransfer)) / 12;
    EXPECT_EQ(isochronousTransferSize(most), sizeof(IsochronousTransfer) + 12 * most);
    EXPECT_EQ(isochronousTransferSize(most + 1), 0);
    EXPECT_EQ(isochronousTransferSize(std::size_t(1) << 62), 0); // no wrap-around
}

TEST(IsochronousTransfer, KeepsItsPacketsBehindTheRecord) {
    const std::uint16_t size = isochronousTransferSize(3);
    std::vector<std::uint64_t> storage((size + 7) / 8);
    auto* transfer = new (storage.data()) IsochronousTransfer{};
    transfer->numberOfPackets = 3;
    for (std::uint32_t i = 0; i < 3; ++i)
        transfer->packets()[i] = {i * 192, 192, BusStatus::success};
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(storage.data());
    std::uint32_t lastOffset = 0;
    std::memcpy(&lastOffset, bytes + size - 12, 4);
    EXPECT_EQ(lastOffset, 384u);
}

TEST(IsochronousTransfer, FitsItsPacketsOnlyWithinItsLength) {
    IsochronousTransfer transfer{};
    transfer.numberOfPackets = 10;
    transfer.header.length = isochronousTransferSize(10);
    EXPECT_TRUE(packetsFit(transfer));
    transfer.header.length -= 1; // the last packet record would run past it
    EXPECT_FALSE(packetsFit(transfer));
    transfer.numberOfPackets = 0xFFFFFFFF; // no length can carry them
    transfer.header.length = 0xFFFF;
    EXPECT_FALSE(packetsFit(transfer));
}

TEST(RequestAs, GivesTheRecordOnlyForItsFunctionAndLength) {
    BulkOrInterruptTransfer transfer{};
    transfer.header.length = sizeof(transfer);
    transfer.header.function = Function::bulkOrInterruptTransfer;
    const auto as = [](RequestHeader* header, Function function) {
        return requestAs<BulkOrInterruptTransfer>(header, function);
    };
    EXPECT_EQ(as(&transfer.header, Function::bulkOrInterruptTransfer), &transfer);
    EXPECT_EQ(as(&transfer.header, Function::isochronousTransfer), nullptr);
    transfer.header.length = sizeof(transfer) - 1;
    EXPECT_EQ(as(&transfer.header, Function::bulkOrInterruptTransfer), nullptr);
    EXPECT_EQ(as(nullptr, Function::bulkOrInterruptTransfer), nullptr);
}

TEST(BusStatus, SucceedsUnlessItsTopBitIsSet) {
    EXPECT_TRUE(succeeded(BusStatus::success));
    EXPECT_TRUE(succeeded(BusStatus::pending));
    EXPECT_TRUE(isPending(BusStatus::pending));
    for (BusStatus failure : {BusStatus::stall, BusStatus::cancelled, BusStatus::invalidParameter,
                              BusStatus::isoNotAccessedByHardware}) {
        EXPECT_FALSE(succeeded(failure));
        EXPECT_FALSE(isPending(failure));
    }
}

struct TextCase {
    const char* what;
    std::vector<std::uint8_t> received;
    std::size_t room;
    kernel::NTSTATUS status;
    std::u16string text;
};

TEST(StringDescriptorText, EndsAtBLengthOrAtTheBytesReceived) {
    const std::vector<std::uint8_t> whole{10, 3, 'K', 0, '7', 0, 'D', 0, '2', 0};
    const TextCase cases[] = {
        {"whole", whole, 8, kernel::STATUS_SUCCESS, u"K7D2"},
        {"bytes beyond bLength", {6, 3, 'K', 0, '7', 0, 'D', 0}, 8, kernel::STATUS_SUCCESS, u"K7"},
        {"a read cut short", {10, 3, 'K', 0, '7', 0}, 8, kernel::STATUS_SUCCESS, u"K7"},
        {"an odd bLength", {7, 3, 'K', 0, '7', 0, 'D'}, 8, kernel::STATUS_SUCCESS, u"K7"},
        {"a code unit above Latin", {4, 3, 0x0B, 0x20}, 8, kernel::STATUS_SUCCESS, u"\u200B"},
        {"no text", {2, 3}, 8, kernel::STATUS_SUCCESS, u""},
        {"too little room", whole, 3, kernel::STATUS_BUFFER_OVERFLOW, u"K7D"},
        {"another type", {4, 2, 'K', 0}, 8, kernel::STATUS_INVALID_PARAMETER, u""},
        {"bLength 1", {1, 3, 'K', 0}, 8, kernel::STATUS_INVALID_PARAMETER, u""},
        {"one byte", {4}, 8, kernel::STATUS_INVALID_PARAMETER, u""},
    };
    for (const TextCase& c : cases) {
        std::vector<char16_t> room(c.room, u'#');
        std::size_t characters = 99;
        EXPECT_EQ(stringDescriptorText(c.received, room, characters), c.status) << c.what;
        EXPECT_EQ(std::u16string(room.data(), characters), c.text) << c.what;
    }
}

} // namespace
