#include "driver/tests/entry/leftovers.h"

#include "platform/io/device_interface.h"
#include "platform/io/user_mapping.h"
#include "platform/io/user_process.h"
#include "platform/kernel/callback_object.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/thread.h"
#include "platform/portcls/adapter_device.h"
#include "platform/portcls/subdevice_access.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace entry_test {

Baseline TakeBaseline() {
    return {kernel::poolAllocationSerial(), io::userHandlesOpen(), kernel::runningSystemThreads()};
}

void ExpectNoBlocksSince(std::uint64_t serial, const char* when) {
    const std::vector<kernel::PoolBlock> blocks = kernel::poolBlocksSince(serial);
    if (blocks.empty()) return;
    std::ostringstream text;
    text << blocks.size() << " pool block(s) left " << when << ":";
    for (std::size_t i = 0; i < blocks.size() && i < 12; ++i)
        text << " \"" << kernel::poolTagText(blocks[i].tag) << "\" (" << blocks[i].bytes << ")";
    ADD_FAILURE() << text.str();
}

void ExpectNothingLeft(const Baseline& before, const char* when) {
    EXPECT_EQ(kernel::runningSystemThreads(), before.threads) << "system threads " << when;
    EXPECT_EQ(kernel::callbackRegistrations(), 0u) << "callback registrations " << when;
    EXPECT_EQ(portcls::liveAdapterDevices(), 0u) << "adapter devices " << when;
    EXPECT_EQ(portcls::registeredSubdeviceCount(), 0u) << "subdevices " << when;
    EXPECT_EQ(io::enabledDeviceInterfaceCount(), 0u) << "enabled device interfaces " << when;
    EXPECT_EQ(io::userMappings(), 0u) << "user mappings " << when;
    EXPECT_LE(io::userHandlesOpen(), before.userHandles) << "user handles " << when;
    ExpectNoBlocksSince(before.poolSerial, when);
}

} // namespace entry_test
