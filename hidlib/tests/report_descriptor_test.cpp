#include "hidlib/hidraw_sysfs.h"
#include "hidlib/report_descriptor.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using kestrel::ReportLengths;
using Bytes = std::vector<std::uint8_t>;

// A headset's HID interface as its descriptor would read: a vendor collection
// for buttons (report 1, 15 bytes in) and a consumer collection for commands
// (report 0xFF: 64 bytes in, 64 out, 8 feature; report 0xFE: 4 bytes in),
// with a push/pop around the second report, a long item and a padding usage.
const Bytes kHeadsetDescriptor = {
    0x06, 0x01, 0xFF,             // usage page 0xFF01
    0x09, 0x01,                   // usage 1
    0xA1, 0x01,                   // collection (application)
    0x85, 0x01,                   //   report id 1
    0x15, 0x00,                   //   logical minimum 0
    0x26, 0xFF, 0x00,             //   logical maximum 255
    0x75, 0x08,                   //   report size 8
    0x95, 0x0F,                   //   report count 15
    0x09, 0x01,                   //   usage 1
    0x81, 0x02,                   //   input
    0xC0,                         // end collection
    0x05, 0x0C,                   // usage page consumer
    0x09, 0x01,                   // usage consumer control
    0xA1, 0x01,                   // collection (application)
    0x85, 0xFF,                   //   report id 0xFF
    0x75, 0x08,                   //   report size 8
    0x95, 0x40,                   //   report count 64
    0x09, 0x02, 0x81, 0x02,       //   input
    0xA4,                         //   push
    0x85, 0xFE,                   //     report id 0xFE
    0x95, 0x04,                   //     report count 4
    0x09, 0x06, 0x81, 0x02,       //     input
    0xB4,                         //   pop: report 0xFF, 64 bytes again
    0x09, 0x03, 0x91, 0x02,       //   output
    0xFE, 0x02, 0x10, 0xAA, 0xBB, // long item, skipped
    0x95, 0x08,                   //   report count 8
    0x09, 0x04, 0xB1, 0x02,       //   feature
    0xC0,                         // end collection
};

// No report ids; the collection's usage carries its own page (0xFF00:0001)
// while the global page is Generic Desktop; a nested collection adds to the
// same input report.
const Bytes kUnnumberedDescriptor = {
    0x05, 0x01,                   // usage page generic desktop
    0x0B, 0x01, 0x00, 0x00, 0xFF, // usage 0xFF00:0001
    0xA1, 0x01,                   // collection (application)
    0x75, 0x08, 0x95, 0x06,       //   6 bytes
    0x09, 0x01, 0x81, 0x02,       //   input
    0x09, 0x02, 0xA1, 0x02,       //   collection (logical)
    0x75, 0x01, 0x95, 0x10,       //     16 bits
    0x09, 0x03, 0x81, 0x02,       //     input
    0xC0,                         //   end collection
    0x75, 0x08, 0x95, 0x10,       //   16 bytes
    0x09, 0x04, 0x91, 0x02,       //   output
    0xC0,                         // end collection
};

TEST(ReportDescriptor, LengthsOfEachTopLevelCollectionCountTheReportIdByte) {
    const auto collections = kestrel::parseReportDescriptor(kHeadsetDescriptor);
    ASSERT_TRUE(collections.has_value());
    ASSERT_EQ(collections->size(), 2u);
    EXPECT_EQ((*collections)[0].usagePage, 0xFF01);
    EXPECT_EQ((*collections)[0].usage, 1);
    EXPECT_EQ((*collections)[0].lengths, (ReportLengths{0, 16, 0, true}));
    EXPECT_EQ((*collections)[1].usagePage, 0x000C);
    EXPECT_EQ((*collections)[1].lengths, (ReportLengths{9, 65, 65, true}));

    EXPECT_EQ(kestrel::lengthsForUsage(*collections, 0x000C, 1), (ReportLengths{9, 65, 65, true}));
    EXPECT_EQ(kestrel::lengthsForUsage(*collections, 0x1234, 1), (ReportLengths{0, 16, 0, true}))
        << "an unknown usage falls back to the first collection";
}

TEST(ReportDescriptor, UnnumberedReportsStillCountOneByteForTheId) {
    const auto collections = kestrel::parseReportDescriptor(kUnnumberedDescriptor);
    ASSERT_TRUE(collections.has_value());
    ASSERT_EQ(collections->size(), 1u);
    EXPECT_EQ((*collections)[0].usagePage, 0xFF00);
    EXPECT_EQ((*collections)[0].usage, 1);
    EXPECT_EQ((*collections)[0].lengths, (ReportLengths{0, 9, 17, false}));
}

TEST(ReportDescriptor, MalformedDescriptorsAreRefused) {
    const std::vector<Bytes> malformed = {
        {0x06, 0x01},                                                 // item cut short
        {0xC0},                                                       // end without collection
        {0xB4},                                                       // pop without push
        {0xA1, 0x01, 0x09, 0x01},                                     // collection never ends
        {0xFE, 0x05, 0x10, 0x00},                                     // long item cut short
        {0xA1, 0x01, 0x75, 0xFF, 0x96, 0xFF, 0xFF, 0x81, 0x02, 0xC0}, // report too large
    };
    for (const Bytes& bytes : malformed)
        EXPECT_FALSE(kestrel::parseReportDescriptor(bytes).has_value()) << bytes.size();
    EXPECT_EQ(kestrel::lengthsForUsage({}, 0x000C, 1), ReportLengths{});
}

class HidrawSysfs : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kestrel-sysfs-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    void publish(const std::string& node, const Bytes& descriptor) {
        const auto dir = root / "class/hidraw" / node / "device";
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "report_descriptor", std::ios::binary)
            .write(reinterpret_cast<const char*>(descriptor.data()),
                   static_cast<std::streamsize>(descriptor.size()));
    }

    std::filesystem::path root;
};

TEST_F(HidrawSysfs, ReadsTheNodesDescriptorFromSysfs) {
    publish("hidraw7", kHeadsetDescriptor);
    EXPECT_EQ(kestrel::hidrawReportLengths("/dev/hidraw7", 0x000C, 1, root.string()),
              (ReportLengths{9, 65, 65, true}));
    EXPECT_EQ(kestrel::hidrawReportLengths("/dev/hidraw7", 0xFF01, 1, root.string()),
              (ReportLengths{0, 16, 0, true}));
    EXPECT_EQ(kestrel::hidrawReportLengths("/dev/hidraw8", 0x000C, 1, root.string()),
              ReportLengths{})
        << "no descriptor, no lengths";
    publish("hidraw9", {0xA1, 0x01});
    EXPECT_EQ(kestrel::hidrawReportLengths("/dev/hidraw9", 0x000C, 1, root.string()),
              ReportLengths{});
}

TEST(HidrawSysfsPath, OnlyHidrawNodesMapToADescriptorFile) {
    EXPECT_EQ(kestrel::reportDescriptorFile("/dev/hidraw12", "/sys"),
              "/sys/class/hidraw/hidraw12/device/report_descriptor");
    EXPECT_FALSE(kestrel::reportDescriptorFile("/dev/hidraw", "/sys"));
    EXPECT_FALSE(kestrel::reportDescriptorFile("/dev/hidraw1/../../etc", "/sys"));
    EXPECT_FALSE(kestrel::reportDescriptorFile("1-2:1.0", "/sys"));
}

} // namespace
