// Each simulated function enumerates into its entities, nodes, engines,
// formats and chain A.
#include "uac_device_fixture.h"

#include <sstream>

namespace devmodel_test {
namespace {

// One endpoint as text: direction, type, name-independent facts.
std::string Describe(IStreamEngine& engine) {
    std::ostringstream text;
    text << (engine.GetDirection() == 0 ? "render" : "capture") << " type "
         << engine.GetEndpointType() << " nodes";
    for (std::uint32_t index = 0; index < engine.GetEntityCount(); ++index) {
        IAudioNode* node = nullptr;
        engine.GetEntity(index, &node);
        text << " " << node->GetId() << "/" << node->GetType();
    }
    text << " formats";
    for (std::uint32_t index = 0; index < engine.GetFormatCount(); ++index) {
        ks::WaveFormatExtensible format{};
        engine.GetFormat(index, &format);
        text << " " << format.Format.nChannels << "x" << format.Format.wBitsPerSample << "@"
             << format.Format.nSamplesPerSec << "/" << std::hex << format.dwChannelMask << std::dec;
    }
    return text.str();
}

std::string DescribeChildren(IAudioHal& hal) {
    std::ostringstream text;
    for (std::uint32_t index = 0; index < hal.GetChildCount(); ++index) {
        IAudioNode* node = nullptr;
        hal.GetChild(index, &node);
        text << node->GetId() << "/" << node->GetType() << "<";
        for (std::uint32_t id : IdsOf(*node)) text << id << ",";
        text << "> ";
    }
    return text.str();
}

std::vector<std::string> Endpoints(IAudioHal& hal) {
    std::vector<std::string> found;
    for (std::uint32_t index = 0; index < hal.GetEndpointCount(); ++index) {
        IStreamEngine* engine = nullptr;
        EXPECT_EQ(hal.GetEndpoint(index, &engine), STATUS_SUCCESS);
        found.push_back(Describe(*engine));
    }
    return found;
}

// The sidetone mixer ends the render path's collection: its sources belong
// to other paths.
TEST_F(UacDeviceFixture, Uac1HeadsetEnumerates) {
    ASSERT_EQ(Build(IdentifiedUac1Headset()), STATUS_SUCCESS);
    EXPECT_EQ(Entities(), (std::vector<std::string>{"1:2", "2:6", "3:2", "4:6", "5:4", "6:3", "7:2",
                                                    "8:5", "9:6", "10:3"}));
    EXPECT_EQ(DescribeChildren(*Hal()), "0/0<> 1/2<2,> 2/3<0,> 3/0<> 4/2<5,> 5/3<3,> 6/5<1,4,> "
                                        "7/1<6,> 8/0<> 9/4<3,8,> 10/2<11,> 11/3<12,> 12/6<9,> "
                                        "13/1<10,> ");
    EXPECT_EQ(Endpoints(*Hal()),
              (std::vector<std::string>{
                  "render type 2 nodes 7/1 6/5 formats 2x16@44100/3 2x16@48000/3 "
                  "2x24@44100/3 2x24@48000/3",
                  "capture type 18 nodes 13/1 10/2 11/3 12/6 9/4 3/0 8/0 formats 1x16@48000/4 "
                  "1x16@48000/0"}));
}

TEST_F(UacDeviceFixture, Uac2DeviceEnumerates) {
    ASSERT_EQ(Build(usbsim::fixtures::uac2FeedbackDevice()), STATUS_SUCCESS);
    EXPECT_EQ(Entities(),
              (std::vector<std::string>{"10:10", "1:2", "2:6", "3:3", "4:2", "5:6", "6:3"}));
    EXPECT_EQ(DescribeChildren(*Hal()),
              "0/12<> 1/0<> 2/2<3,> 3/3<1,> 4/1<2,> 5/0<> 6/2<7,> 7/3<8,> 8/6<5,> 9/1<6,> ");
    EXPECT_EQ(Endpoints(*Hal()),
              (std::vector<std::string>{
                  "render type 2 nodes 4/1 2/2 3/3 1/0 formats 2x32@44100/3 2x32@48000/3 "
                  "2x32@96000/3 2x32@88200/3 2x32@176400/3 2x32@192000/3 2x16@44100/3 "
                  "2x16@48000/3 2x16@96000/3 2x16@88200/3 2x16@176400/3 2x16@192000/3 "
                  "2x32@44100/3 2x32@48000/3 2x32@96000/3 2x32@88200/3 2x32@176400/3 "
                  "2x32@192000/3",
                  "capture type 7 nodes 9/1 6/2 7/3 8/6 5/0 formats 1x16@44100/4 1x16@48000/4 "
                  "1x16@96000/4 1x16@88200/4 1x16@176400/4 1x16@192000/4 1x32@44100/4 "
                  "1x32@48000/4 1x32@96000/4 1x32@88200/4 1x32@176400/4 1x32@192000/4 "
                  "1x32@44100/4 1x32@48000/4 1x32@96000/4 1x32@88200/4 1x32@176400/4 "
                  "1x32@192000/4"}));
}

// An input terminal wired straight to an output terminal.
usbsim::FunctionDescription MinimalFunction() {
    usbsim::FunctionDescription d = usbsim::fixtures::namedFunction(
        usb::AudioRelease::uac1, usbsim::fixtures::fixtureVendor, 0x0301, u"Minimal");
    d.strings.push_back({.index = 0x50, .text = u"Minimal FW"});
    d.entities = {
        usbsim::InputTerminal{.id = 1},
        usbsim::OutputTerminal{.id = 2, .terminalType = usb::terminal_type::speaker, .source = 1}};
    d.streaming = {{.number = 1,
                    .settings = {{.terminalLink = 1,
                                  .format = {.rates = {48000}},
                                  .data = {.address = 0x01, .maxPacketSize = 196}}}}};
    return d;
}

// A bare path gets a software mute between its terminals, in chain A.
TEST_F(UacDeviceFixture, MinimalPathGetsSoftMute) {
    ASSERT_EQ(Build(MinimalFunction()), STATUS_SUCCESS);
    EXPECT_EQ(Entities(), (std::vector<std::string>{"1:2", "2:3"}));
    EXPECT_EQ(DescribeChildren(*Hal()), "0/0<> 1/1<2,> 2/2<0,> ");
    ASSERT_EQ(Hal()->GetEndpointCount(), 1u);
    IStreamEngine* engine = nullptr;
    ASSERT_EQ(Hal()->GetEndpoint(0, &engine), STATUS_SUCCESS);
    EXPECT_EQ(Describe(*engine), "render type 1 nodes 1/1 0/0 2/2 formats 2x16@48000/3");
    EXPECT_EQ(static_cast<CStreamEngine*>(engine)->GetChainACount(), 1);
}

} // namespace
} // namespace devmodel_test
