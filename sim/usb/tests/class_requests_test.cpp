#include "sim/usb/fixtures.h"
#include "sim/usb/tests/fixture_cases.h"
#include "sim/usb/tests/request_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace usbsimtest;
using namespace usbsim;
using namespace usb::feature_control;
namespace uac1 = usb::uac1::request;
namespace uac2 = usb::uac2::request;
namespace fx = usbsim::fixtures;

ControlAddress at(const UsbFunction& f, std::uint8_t entity, std::uint8_t selector,
                  std::uint8_t channel = 0) {
    return entityControl(f.description(), entity, selector, channel);
}

// Per-channel reads and writes of every control are in EveryFixtureKeepsEachControlPerChannel.
TEST(Release1Requests, AnswerVolumeLimitsAndTakeSilence) {
    UsbFunction f(fx::uac1Headset());
    ASSERT_FALSE(classOut(f, uac1::setCur, at(f, 2, volume, 2), le(usb::volumeSilence, 2)).stalled);
    EXPECT_EQ(classIn(f, uac1::getCur, at(f, 2, volume, 2), 2).data, le(usb::volumeSilence, 2));
    EXPECT_EQ(classIn(f, uac1::getMin, at(f, 2, volume, 1), 2).data, le(-16384, 2));
    EXPECT_EQ(classIn(f, uac1::getMax, at(f, 2, volume, 1), 2).data, le(0, 2));
    EXPECT_EQ(classIn(f, uac1::getRes, at(f, 2, volume, 1), 2).data, le(64, 2));
}

TEST(Release1Requests, StallWhatAControlCannotTake) {
    UsbFunction f(fx::uac1Headset());
    const struct {
        const char* what;
        ControlReply reply;
    } cases[] = {
        {"volume on the master, which has none", classIn(f, uac1::getCur, at(f, 2, volume, 0), 2)},
        {"a switch's minimum", classIn(f, uac1::getMin, at(f, 2, mute), 1)},
        {"a value of the wrong size", classOut(f, uac1::setCur, at(f, 2, volume, 1), le(0, 1))},
        {"a GET code sent as OUT", classOut(f, uac1::getCur, at(f, 2, mute), Bytes{0})},
        {"a unit that does not exist", classIn(f, uac1::getCur, at(f, 42, mute), 1)},
        {"input 3 of a two-input selector", classOut(f, uac1::setCur, at(f, 8, 0), Bytes{3})},
        {"input 0", classOut(f, uac1::setCur, at(f, 8, 0), Bytes{0})},
        {"a mixer crossing without a control", classIn(f, uac1::getCur, at(f, 5, 1, 1), 2)},
    };
    for (const auto& c : cases) EXPECT_TRUE(c.reply.stalled) << c.what;
    EXPECT_EQ(classIn(f, uac1::getCur, at(f, 2, volume, 1), 2).data, le(-2560, 2)); // untouched
    EXPECT_EQ(classIn(f, uac1::getCur, at(f, 8, 0), 1).data, Bytes{1});
}

TEST(Release1Requests, SelectInputsAndMixSidetone) {
    UsbFunction f(fx::uac1Headset());
    EXPECT_EQ(classIn(f, uac1::getMax, at(f, 8, 0), 1).data, Bytes{2});
    ASSERT_FALSE(classOut(f, uac1::setCur, at(f, 8, 0), Bytes{2}).stalled);
    EXPECT_EQ(classIn(f, uac1::getCur, at(f, 8, 0), 1).data, Bytes{2});
    // Microphone (input channel 3) into the right output.
    ASSERT_FALSE(classOut(f, uac1::setCur, at(f, 5, 3, 2), le(-512, 2)).stalled);
    EXPECT_EQ(classIn(f, uac1::getCur, at(f, 5, 3, 2), 2).data, le(-512, 2));
    EXPECT_EQ(classIn(f, uac1::getCur, at(f, 5, 3, 1), 2).data, le(0, 2));
}

TEST(Release1Requests, SetTheEndpointRateToOneItsSettingsOffer) {
    UsbFunction f(fx::uac1Headset());
    const ControlAddress rate{usb::Recipient::endpoint, 0x01, 0x0100};
    EXPECT_EQ(classIn(f, uac1::getCur, rate, 3).data, le(44100, 3));
    ASSERT_FALSE(classOut(f, uac1::setCur, rate, le(48000, 3)).stalled);
    EXPECT_EQ(classIn(f, uac1::getCur, rate, 3).data, le(48000, 3));
    EXPECT_TRUE(classOut(f, uac1::setCur, rate, le(32000, 3)).stalled);
    EXPECT_EQ(classIn(f, uac1::getCur, rate, 3).data, le(48000, 3));
}

TEST(Release2Requests, ReadAndWriteTheClockWithinItsRanges) {
    UsbFunction f(fx::uac2FeedbackDevice());
    const ControlAddress frequency = at(f, 10, usb::uac2::clock_source_control::samplingFrequency);
    EXPECT_EQ(classIn(f, uac2::cur, frequency, 4).data, le(48000, 4));
    ASSERT_FALSE(classOut(f, uac2::cur, frequency, le(96000, 4)).stalled);
    EXPECT_EQ(classIn(f, uac2::cur, frequency, 4).data, le(96000, 4));
    EXPECT_TRUE(classOut(f, uac2::cur, frequency, le(32000, 4)).stalled);

    Bytes ranges = le(6, 2);
    for (std::uint32_t rate : {44100u, 48000u, 96000u, 88200u, 176400u, 192000u})
        for (std::uint32_t v : {rate, rate, 0u}) {
            const Bytes b = le(v, 4);
            ranges.insert(ranges.end(), b.begin(), b.end());
        }
    EXPECT_EQ(classIn(f, uac2::range, frequency, 0xFFFF).data, ranges);
    // The driver first reads the count and one sub-range.
    EXPECT_EQ(classIn(f, uac2::range, frequency, 14).data,
              Bytes(ranges.begin(), ranges.begin() + 14));

    const ControlAddress validity = at(f, 10, usb::uac2::clock_source_control::clockValidity);
    EXPECT_EQ(classIn(f, uac2::cur, validity, 1).data, Bytes{1});
    EXPECT_TRUE(classOut(f, uac2::cur, validity, Bytes{0}).stalled);
}

TEST(Release2Requests, AnswerRangeForLevelsAndKeepAccess) {
    UsbFunction f(fx::uac2FeedbackDevice());
    Bytes range = le(1, 2);
    for (std::int64_t v : {-32512, 0, 256}) {
        const Bytes b = le(v, 2);
        range.insert(range.end(), b.begin(), b.end());
    }
    EXPECT_EQ(classIn(f, uac2::range, at(f, 2, volume, 1), 8).data, range);
    EXPECT_TRUE(classIn(f, uac2::range, at(f, 2, mute), 8).stalled); // a switch has no range

    EXPECT_EQ(classIn(f, uac2::cur, at(f, 5, automaticGain), 1).data, Bytes{1});
    EXPECT_TRUE(classOut(f, uac2::cur, at(f, 5, automaticGain), Bytes{0}).stalled); // read-only
    EXPECT_TRUE(classIn(f, uac1::getCur, at(f, 2, mute), 1).stalled); // a release 1 code
}

TEST(Release2Requests, ReportEverySettingOfAStreamingInterfaceValid) {
    UsbFunction f(fx::uac2FeedbackDevice());
    const ControlAddress valid{usb::Recipient::interface, 1, 0x0200};
    EXPECT_EQ(classIn(f, uac2::cur, valid, 5).data, (Bytes{1, 0b1111}));
    const ControlAddress capture{usb::Recipient::interface, 2, 0x0200};
    EXPECT_EQ(classIn(f, uac2::cur, capture, 5).data, (Bytes{1, 0b1111}));
}

TEST(ClassRequests, EveryFixtureKeepsEachControlPerChannel) {
    for (const FixtureCase& fixture : kFixtures) {
        SCOPED_TRACE(fixture.name);
        UsbFunction f(fixture.make());
        const bool v2 = f.description().release == AudioRelease::uac2;
        const std::uint8_t get = v2 ? uac2::cur : uac1::getCur;
        const std::uint8_t set = v2 ? uac2::cur : uac1::setCur;
        for (const Entity& entity : f.description().entities) {
            const auto* unit = std::get_if<FeatureUnit>(&entity);
            if (unit == nullptr) continue;
            for (const FeatureControl& control : unit->controls) {
                if (control.access != usb::uac2::control_access::readWrite) continue;
                const std::size_t size =
                    usb::featureControlSize(f.description().release, control.selector);
                std::int64_t written = control.initial + 1;
                for (std::uint8_t channel : control.channels) {
                    SCOPED_TRACE("unit " + std::to_string(unit->id) + " selector " +
                                 std::to_string(control.selector) + " channel " +
                                 std::to_string(channel));
                    const ControlAddress address = at(f, unit->id, control.selector, channel);
                    EXPECT_EQ(classIn(f, get, address, 4).data, le(control.initial, size));
                    ASSERT_FALSE(classOut(f, set, address, le(written, size)).stalled);
                    EXPECT_EQ(classIn(f, get, address, 4).data, le(written, size));
                    ++written; // so each channel holds its own value
                }
                for (std::size_t i = 0; i < control.channels.size(); ++i)
                    EXPECT_EQ(
                        classIn(f, get, at(f, unit->id, control.selector, control.channels[i]), 4)
                            .data,
                        le(control.initial + 1 + static_cast<std::int64_t>(i), size));
            }
        }
    }
}

TEST(ChipRequests, N3W8RegistersAndIdentificationGoThroughItsHook) {
    auto chip = std::make_shared<fx::N3W8Chip>();
    UsbFunction f(fx::n3w8Device(chip));
    const ControlAddress registers{usb::Recipient::interface, 3, 0x0200};
    ASSERT_FALSE(classOut(f, 0x09, registers, Bytes{0x20, 0x32, 0x30, 1}).stalled);
    EXPECT_EQ(chip->registers[1], 0x3032);
    EXPECT_TRUE(classOut(f, 0x09, registers, Bytes{0x20, 0, 0, 6}).stalled); // six registers

    const auto identification = [&](std::uint16_t index) {
        return f.control(usb::makeSetupPacket(usb::Direction::in, usb::RequestType::vendor,
                                              usb::Recipient::other, 0x81, 0, index, 1));
    };
    EXPECT_EQ(identification(9).data, Bytes{0x9F});
    EXPECT_EQ(identification(8).data, Bytes{0x03});
    EXPECT_TRUE(identification(7).stalled);

    chip->inputReport = {0x10, 0, 0};
    EXPECT_EQ(classIn(f, 0x01, {usb::Recipient::interface, 3, 0x0100}, 3).data,
              (Bytes{0x10, 0, 0}));
    EXPECT_EQ(f.log().size(), 6u);
}

// A script answers each read in turn, or stalls it; the fixed report is
// then not used.
TEST(ChipRequests, N3W8InputReportFollowsItsScript) {
    auto chip = std::make_shared<fx::N3W8Chip>();
    chip->inputReport = {0xFF, 0xFF, 0xFF};
    chip->reportScript = [](std::uint32_t read) -> std::optional<fx::N3W8Chip::Report> {
        if (read == 2) return std::nullopt;
        return fx::N3W8Chip::Report{static_cast<std::uint8_t>(read), 0, 0};
    };
    UsbFunction f(fx::n3w8Device(chip));
    const auto report = [&] { return classIn(f, 0x01, {usb::Recipient::interface, 3, 0x0100}, 3); };
    EXPECT_EQ(report().data, (Bytes{0, 0, 0}));
    EXPECT_EQ(report().data, (Bytes{1, 0, 0}));
    EXPECT_TRUE(report().stalled);
    EXPECT_EQ(report().data, (Bytes{3, 0, 0}));
    EXPECT_EQ(chip->reportReads, 4u);
}

TEST(ChipRequests, Q7K2AnswersItsControlBlockAndEffectControls) {
    UsbFunction f(fx::q7k2Device());
    const ControlAddress unit9{usb::Recipient::interface, 0x0900, 0x0010};
    const Bytes length = classIn(f, uac1::getMem, unit9, 2).data;
    ASSERT_EQ(length.size(), 2u);
    const Bytes block =
        classIn(f, uac1::getMem, {usb::Recipient::interface, 0x0900, 0}, length[0]).data;
    ASSERT_EQ(block.size(), length[0]);
    EXPECT_EQ(block[18], 2); // 16-bit bitmaps
    const std::uint16_t master = static_cast<std::uint16_t>(block[19] | block[20] << 8);
    EXPECT_EQ(master & (1u << (139 - 1) % 32), 1u << 10);
    EXPECT_EQ(master & (1u << (140 - 1) % 32), 1u << 11);
    EXPECT_TRUE(classIn(f, uac1::getMem, {usb::Recipient::interface, 0x0A00, 0x0010}, 2).stalled);

    const auto vendor = [&](usb::Direction direction, std::uint8_t request, std::uint8_t selector,
                            Bytes data) {
        return f.control(usb::makeSetupPacket(direction, usb::RequestType::vendor,
                                              usb::Recipient::interface, request,
                                              usb::controlValue(selector, 0), 0x0900, 1),
                         data);
    };
    EXPECT_EQ(vendor(usb::Direction::in, uac1::getCur, 139, {}).data, Bytes{0});
    ASSERT_FALSE(vendor(usb::Direction::out, uac1::setCur, 139, {1}).stalled);
    EXPECT_EQ(vendor(usb::Direction::in, uac1::getCur, 139, {}).data, Bytes{1});
    EXPECT_EQ(vendor(usb::Direction::in, uac1::getCur, 140, {}).data, Bytes{0});
    EXPECT_TRUE(vendor(usb::Direction::in, uac1::getCur, 141, {}).stalled);
}

TEST(ChipRequests, AFunctionWithoutAHookStallsVendorRequests) {
    UsbFunction f(fx::uac1Headset());
    EXPECT_TRUE(f.control(usb::makeSetupPacket(usb::Direction::in, usb::RequestType::vendor,
                                               usb::Recipient::device, 1, 0, 0, 4))
                    .stalled);
}

} // namespace
