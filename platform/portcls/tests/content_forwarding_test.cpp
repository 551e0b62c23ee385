// Content ids forwarded to a device are kept in order; a forward that names
// no device, or sets flags none are defined for, is refused and kept nowhere.
#include "platform/portcls/content_forwarding.h"

#include "platform/tests/io_test_devices.h"

#include <gtest/gtest.h>

namespace portcls::testing {
namespace {

TEST(ContentForwarding, ForwardsAreKeptInOrderAndBadOnesRefused) {
    io::testing::TestDevice device;
    int pipe = 0;
    const DrmForward toDevice{0, device.device, nullptr, &pipe};
    const DrmForward flagged{1, device.device, nullptr, nullptr};
    const DrmForward nowhere{0, nullptr, nullptr, nullptr};
    EXPECT_EQ(PcForwardContentToDeviceObject(7, nullptr, &toDevice), kernel::STATUS_SUCCESS);
    EXPECT_EQ(PcForwardContentToDeviceObject(8, nullptr, &flagged),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(PcForwardContentToDeviceObject(9, nullptr, &nowhere),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(PcForwardContentToDeviceObject(10, nullptr, nullptr),
              kernel::STATUS_INVALID_PARAMETER);
    EXPECT_EQ(PcForwardContentToDeviceObject(11, nullptr, &toDevice), kernel::STATUS_SUCCESS);
    EXPECT_EQ(forwardedContents(),
              (std::vector<ForwardedContent>{{7, device.device, nullptr, &pipe},
                                             {11, device.device, nullptr, &pipe}}));
}

} // namespace
} // namespace portcls::testing
