// Driver memory mapped into a client process: one memory at two addresses,
// the client's below 4 GiB; unmapping, refusals and the faults a driver can
// make with a mapping.
#include "platform/io/user_mapping.h"
#include "platform/kernel/pool.h"
#include "platform/testing/kernel_checks.h"
#include "platform/tests/client_device_test.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/mman.h>

namespace {

using namespace kernel;
using namespace io;
using kernel::testing::ExpectKernelChecks;

class UserMappingTest : public ::testing::Test, protected io::testing::MappingClient {
protected:
    std::uint32_t address = 0;
};

bool mapped(std::uint32_t address) {
    return msync(userPointer(address), 1, MS_ASYNC) == 0 || errno != ENOMEM;
}

TEST_F(UserMappingTest, TheClientSeesTheDriversPagesAtASecondAddressBelow4GiB) {
    auto* driverView = static_cast<std::uint8_t*>(sharedPagesAddress(pages));
    EXPECT_EQ(sharedPagesBytes(pages), 100u);
    EXPECT_EQ(driverView[99], 0xA5); // fresh, like pool

    ASSERT_EQ(map(&address), STATUS_SUCCESS);
    ASSERT_NE(address, 0u);
    auto* clientView = static_cast<std::uint8_t*>(userPointer(address));
    EXPECT_NE(clientView, driverView);
    EXPECT_LE(std::uint64_t{address} + 100, std::uint64_t{1} << 32);
    EXPECT_EQ(userMappings(), 1u);

    driverView[0] = 0x12;
    EXPECT_EQ(clientView[0], 0x12);
    clientView[99] = 0x34;
    EXPECT_EQ(driverView[99], 0x34);
    unmapSharedPagesFromUser(pages, address);
}

TEST_F(UserMappingTest, UnmappingTakesTheClientsViewAwayAndTheDriversStays) {
    ASSERT_EQ(map(&address), STATUS_SUCCESS);
    EXPECT_TRUE(mapped(address));
    unmapSharedPagesFromUser(pages, address);
    EXPECT_FALSE(mapped(address));
    EXPECT_EQ(userMappings(), 0u);
    static_cast<std::uint8_t*>(sharedPagesAddress(pages))[0] = 1;
    ASSERT_EQ(map(&address), STATUS_SUCCESS); // may map again
    unmapSharedPagesFromUser(pages, address);
}

TEST_F(UserMappingTest, PagesMapOnlyIntoTheProcessOfARequestAndOnceAtATime) {
    address = 7;
    EXPECT_EQ(mapSharedPagesToUser(pages, &address), STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(address, 0u);
    ASSERT_EQ(map(&address), STATUS_SUCCESS);
    std::uint32_t again = 0;
    EXPECT_EQ(map(&again), STATUS_INVALID_DEVICE_REQUEST);
    unmapSharedPagesFromUser(pages, address);
}

TEST_F(UserMappingTest, AnInjectedFailureRefusesTheMappingUntilItIsTurnedOff) {
    failUserMappings(true);
    EXPECT_EQ(map(&address), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(userMappings(), 0u);
    failUserMappings(false);
    ASSERT_EQ(map(&address), STATUS_SUCCESS);
    unmapSharedPagesFromUser(pages, address);
}

TEST_F(UserMappingTest, FreeingMappedPagesOrUnmappingAnotherAddressFailsACheckAndChangesNothing) {
    ASSERT_EQ(map(&address), STATUS_SUCCESS);
    {
        ExpectKernelChecks expect;
        freeSharedPages(pages);
        unmapSharedPagesFromUser(pages, address + 4096);
        EXPECT_EQ(
            expect.messages(),
            (std::vector<std::string>{"shared pages freed while mapped into a user process",
                                      "user unmapping of an address the pages are not mapped at"}));
    }
    EXPECT_TRUE(mapped(address));
    unmapSharedPagesFromUser(pages, address);
}

TEST_F(UserMappingTest, AProcessEndingWithDriverMemoryMappedIntoItFailsACheck) {
    ASSERT_EQ(map(&address), STATUS_SUCCESS);
    {
        ExpectKernelChecks expect;
        process.reset();
        EXPECT_EQ(expect.messages(),
                  std::vector<std::string>{"user process ended with driver memory still mapped "
                                           "into it"});
    }
    EXPECT_TRUE(mapped(address)); // still the driver's to unmap
    unmapSharedPagesFromUser(pages, address);
}

TEST(SharedPages, RefusesNothingTooMuchAndWhatThePoolRefuses) {
    SharedPages* pages = reinterpret_cast<SharedPages*>(1);
    EXPECT_EQ(allocateSharedPages(0, poolTag("Ring"), &pages), STATUS_INVALID_PARAMETER);
    EXPECT_EQ(allocateSharedPages((std::size_t{1} << 30) + 1, poolTag("Ring"), &pages),
              STATUS_INSUFFICIENT_RESOURCES);
    failPoolTag(poolTag("Ring"));
    EXPECT_EQ(allocateSharedPages(64, poolTag("Ring"), &pages), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_EQ(pages, nullptr);
}

} // namespace
