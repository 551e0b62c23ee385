// libKestrel9.so as shipped, on Debian's hidapi over hidraw. The machine's
// own HID devices are unknown, so only ids that no device carries are used.

#include "hidlib/kestrel.h"

#include <gtest/gtest.h>

namespace {

TEST(Kestrel9Library, FindsNothingForIdsNoDeviceCarries) {
    EXPECT_FALSE(Kestrel::testConnect("FFFF", "FFFF", "000C", "0001"));
    EXPECT_TRUE(Kestrel::scanHidDevice("FFFF", "FFFF").isEmpty());
    Kestrel k("FFFF", "FFFF", "000C", "0001", "FF00", "0001");
    EXPECT_FALSE(k.connect());
    unsigned char cmd[8] = {0x01};
    EXPECT_FALSE(k.writeData(8, cmd));
    EXPECT_FALSE(k.getReport(cmd, 8));
    k.disconnect_vendor();
}

} // namespace
