#include "hidlib/tests/kestrel_sim_fixture.h"

#include <limits>

namespace {

using namespace kestrel_test;

const QStringList kHeadsetInterfaces = {
    "Version=0100",
    "Interface=00000003",
    "Page=ff01",
    "Usage=0001",
    "FeatureReportLength=00000000",
    "InputReportLength=00000010",
    "OutputReportLength=00000000",
    "",
    "Version=0100",
    "Interface=00000004",
    "Page=000c",
    "Usage=0001",
    "FeatureReportLength=00000009",
    "InputReportLength=00000041",
    "OutputReportLength=00000041",
    "",
};

TEST_F(KestrelOnSim, ScanListsEveryInterfaceThatOpens) {
    const auto headset = hidsim::addHeadset();
    hidsim::addDevice(deviceWithVendorInterface(true));
    EXPECT_EQ(Kestrel::scanHidDevice("04D9", "A29C"), kHeadsetInterfaces);
    hidsim::setOpenFails(headset, hidsim::kButtonInterface, true);
    EXPECT_EQ(Kestrel::scanHidDevice("04D9", "A29C"), kHeadsetInterfaces.mid(8));
    EXPECT_TRUE(Kestrel::scanHidDevice("04D9", "0001").isEmpty());
    EXPECT_EQ(hidsim::openHandles(), 0);
}

TEST_F(KestrelOnSim, ScanOfEveryDeviceNamesTheIdsAndPadsWithoutCutting) {
    hidsim::DeviceDesc odd;
    odd.vendorId = 0xABCD;
    odd.productId = 0x0012;
    odd.releaseNumber = 0x2;
    odd.interfaces = {{.number = -1,
                       .usagePage = 0xFF00,
                       .usage = 0x1234,
                       .reportId = 0,
                       .featureLength = 0x123,
                       .inputLength = 0,
                       .outputLength = 0}};
    hidsim::addDevice(odd);
    const QStringList expected = {
        "Vid=abcd",
        "Pid=0012",
        "Version=0002",
        "Interface=000000-1",
        "Page=ff00",
        "Usage=1234",
        "FeatureReportLength=00000123",
        "InputReportLength=00000000",
        "OutputReportLength=00000000",
        "",
    };
    EXPECT_EQ(Kestrel::scanHidDevice("0", "0"), expected);
    EXPECT_EQ(Kestrel::scanHidDevice("not hex", "0"), expected) << "text that does not parse is 0";

    odd.productId = 0x0013;
    odd.interfaces[0].number = std::numeric_limits<int>::min();
    hidsim::addDevice(odd);
    EXPECT_EQ(Kestrel::scanHidDevice("ABCD", "0013").value(1), "Interface=-80000000")
        << "a number longer than its width is not cut";
}

} // namespace
