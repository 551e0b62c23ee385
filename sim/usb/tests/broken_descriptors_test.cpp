// The simulator serves configurations that break the descriptor rules, as a
// faulty device would, and the USB layer's validation refuses each one at
// the descriptor at fault before anything reads it.
#include "platform/usb/configuration.h"
#include "sim/usb/fixtures.h"
#include "sim/usb/tests/request_helpers.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace usbsimtest;
using namespace usbsim;
namespace fx = usbsim::fixtures;

// The offset of the first descriptor that `match` picks in a valid configuration.
std::size_t find(const Bytes& bytes, const std::function<bool(const usb::Descriptor&)>& match) {
    const usb::ConfigurationView view(bytes);
    for (const usb::Descriptor& d : view.descriptors())
        if (match(d)) return d.offset;
    ADD_FAILURE() << "no such descriptor";
    return 0;
}

// The class-specific descriptors of a subtype (and of a length, when given).
std::function<bool(const usb::Descriptor&)> classDescriptor(std::uint8_t type, std::uint8_t subtype,
                                                            std::size_t length = 0) {
    return [=](const usb::Descriptor& d) {
        return d.type() == type && d.subtype() == subtype && (length == 0 || d.length() == length);
    };
}

// Removes `count` bytes at `at` from a descriptor, keeping the configuration's
// and the descriptor's lengths true to what is left.
Bytes cut(Bytes bytes, std::size_t descriptor, std::size_t at, std::size_t count) {
    bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
    bytes[descriptor] = static_cast<std::uint8_t>(bytes[descriptor] - count);
    const std::size_t total = bytes.size();
    bytes[2] = static_cast<std::uint8_t>(total);
    bytes[3] = static_cast<std::uint8_t>(total >> 8);
    return bytes;
}

// Cuts `count` bytes at `offset` into the descriptor.
std::function<Bytes(Bytes, std::size_t)> cutAt(std::size_t offset, std::size_t count) {
    return [=](Bytes b, std::size_t at) { return cut(std::move(b), at, at + offset, count); };
}

// Sets the byte `offset` into the descriptor to `value`.
std::function<Bytes(Bytes, std::size_t)> setByte(std::size_t offset, std::uint8_t value) {
    return [=](Bytes b, std::size_t at) {
        b[at + offset] = value;
        return b;
    };
}

struct BrokenCase {
    const char* what;
    FunctionDescription (*make)();
    std::function<bool(const usb::Descriptor&)> target;
    std::function<Bytes(Bytes, std::size_t)> breakIt;
    kernel::NTSTATUS status;
    const char* descriptor;
};

const kernel::NTSTATUS kMalformed = kernel::STATUS_INVALID_PARAMETER;
const kernel::NTSTATUS kTruncated = kernel::STATUS_UNSUCCESSFUL;

TEST(BrokenDescriptors, AreServedRawAndRefusedWhereTheyBreak) {
    const BrokenCase cases[] = {
        {"release 1 feature unit with bControlSize 0", fx::uac1Headset, classDescriptor(0x24, 6),
         setByte(5, 0), kMalformed, "feature unit"},
        {"release 1 feature unit with half a channel", fx::uac1Headset, classDescriptor(0x24, 6),
         setByte(5, 2), kMalformed, "feature unit"},
        {"mixer without its bitmap", fx::uac1Headset, classDescriptor(0x24, 4), cutAt(11, 2),
         kMalformed, "mixer unit"},
        {"selector claiming more inputs", fx::uac1Headset, classDescriptor(0x24, 5), setByte(4, 3),
         kMalformed, "selector unit"},
        {"header claiming more streaming interfaces", fx::uac1Headset, classDescriptor(0x24, 1),
         setByte(7, 3), kMalformed, "header"},
        // A streaming format of two rates, not the input terminal of the same subtype.
        {"format type missing its last rate byte", fx::uac1Headset, classDescriptor(0x24, 2, 14),
         cutAt(13, 1), kMalformed, "format type"},
        {"input terminal one byte short", fx::uac1Headset, classDescriptor(0x24, 2), cutAt(11, 1),
         kMalformed, "input terminal"},
        {"release 2 feature unit with a short word", fx::uac2FeedbackDevice,
         classDescriptor(0x24, 6), cutAt(9, 1), kMalformed, "feature unit"},
        {"release 2 clock source one byte short", fx::uac2FeedbackDevice, classDescriptor(0x24, 10),
         cutAt(7, 1), kMalformed, "clock source"},
        {"release 2 streaming general one byte short", fx::uac2FeedbackDevice,
         classDescriptor(0x24, 1, 16), cutAt(15, 1), kMalformed, "streaming general"},
        {"an endpoint of bLength 0", fx::uac2FeedbackDevice,
         [](const usb::Descriptor& d) { return d.type() == 5; }, setByte(0, 0), kMalformed,
         "descriptor"},
        {"an endpoint running past the end", fx::k7d2Device,
         [](const usb::Descriptor& d) { return d.type() == 5; },
         [](Bytes b, std::size_t at) {
             b[2] = static_cast<std::uint8_t>(at + 4);
             b[3] = static_cast<std::uint8_t>((at + 4) >> 8);
             return b;
         },
         kTruncated, "endpoint"},
    };
    for (const BrokenCase& c : cases) {
        SCOPED_TRACE(c.what);
        FunctionDescription description = c.make();
        const Bytes good = UsbFunction(description).descriptors().configuration;
        const std::size_t at = find(good, c.target);
        description.rawConfiguration = c.breakIt(good, at);
        UsbFunction function(std::move(description));

        const Bytes served =
            getDescriptor(function, usb::descriptor_type::configuration, 0, 0xFFFF).data;
        EXPECT_EQ(served, *function.description().rawConfiguration);
        const usb::ConfigurationView view(served);
        EXPECT_EQ(view.status(), c.status);
        EXPECT_STREQ(view.fault().descriptor, c.descriptor);
        EXPECT_LE(view.fault().offset, served.size());
    }
}

} // namespace
