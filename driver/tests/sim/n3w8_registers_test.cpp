// The N3W8 register path against the chip on the simulated bus: what each
// write sends, how masks merge with the cache, the reset pulse on the
// manual clock, and writers on several threads.
#include "driver/devmodel/chips/n3w8/n3w8_registers.h"

#include "driver/devmodel/chips/n3w8/n3w8_dsp_nodes.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/pool.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace devmodel_test;
using Lines = std::vector<std::string>;

struct N3W8Registers : SimBusFixture {
    void SetUp() override {
        SimBusFixture::SetUp();
        Start(usbsim::fixtures::n3w8Device(chip));
        registers = std::make_unique<CN3W8Registers>(Device());
    }
    void TearDown() override {
        registers.reset();
        SimBusFixture::TearDown();
    }
    std::uint16_t Cached(std::uint32_t index) {
        std::uint16_t value = 0;
        EXPECT_EQ(registers->ReadRegister(index, &value), STATUS_SUCCESS);
        return value;
    }

    std::shared_ptr<usbsim::fixtures::N3W8Chip> chip =
        std::make_shared<usbsim::fixtures::N3W8Chip>();
    std::unique_ptr<CN3W8Registers> registers;
};

TEST_F(N3W8Registers, WritesSendTheMergedValueAndKeepItOnlyWhenTaken) {
    registers->Load({{{0x2004, 3}, {0x3002, 2}, {}, {}, {}, {}}});
    const struct {
        const char* name;
        std::uint32_t index;
        std::uint16_t value, mask;
        NTSTATUS status;
        Lines sent;
        std::uint16_t cached;
    } steps[] = {
        {"whole", 2, 0xE7F8, 0xFFFF, STATUS_SUCCESS, {"21 09 0200 0003: 20 F8 E7 02"}, 0xE7F8},
        {"masked into the cache",
         0,
         0x8000,
         0x8000,
         STATUS_SUCCESS,
         {"21 09 0200 0003: 20 04 A0 00"},
         0xA004},
        {"masked bits cleared",
         1,
         0x0010,
         0x0030,
         STATUS_SUCCESS,
         {"21 09 0200 0003: 20 12 30 01"},
         0x3012},
        {"mask 0 sends nothing", 1, 0xFFFF, 0, STATUS_SUCCESS, {}, 0x3012},
        {"past the last register", 6, 1, 0xFFFF, STATUS_UNSUCCESSFUL, {}, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        const std::size_t first = Requests();
        EXPECT_EQ(registers->WriteRegister(s.index, s.value, s.mask), s.status);
        EXPECT_EQ(RequestsFrom(first), s.sent);
        if (s.index < N3W8RegisterCount) {
            EXPECT_EQ(Cached(s.index), s.cached);
        }
    }
    EXPECT_EQ(chip->registers[0], 0xA004);
    EXPECT_EQ(registers->GetEntry(0).flags, CN3W8Registers::RestoreAtReset);
    std::uint16_t value = 0;
    EXPECT_EQ(registers->ReadRegister(6, &value), STATUS_UNSUCCESSFUL);
}

TEST_F(N3W8Registers, AFailedSendLeavesTheCacheAsItWas) {
    registers->Load({{{0x1234, 0}, {}, {}, {}, {}, {}}});
    kernel::failPoolTag(N3W8Tag);
    EXPECT_EQ(registers->WriteRegister(0, 0xFFFF, 0x00FF), STATUS_INSUFFICIENT_RESOURCES);
    kernel::clearPoolFaults();
    EXPECT_EQ(Cached(0), 0x1234);
    EXPECT_EQ(chip->registers[0], 0);
}

TEST_F(N3W8Registers, ResetPulsesRegister5ForAMillisecondThenRestoresMarkedOnes) {
    registers->Load({{{0x2004, 2}, {0x3002, 2}, {0xF800, 0}, {0x143F, 2}, {0, 2}, {0x3000, 2}}});
    const std::size_t first = Requests();
    const auto start = stack->clock.now();
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    std::thread reset([&] { status = registers->ResetRegisters(); });
    ASSERT_TRUE(kernel::awaitBlockedThreads(1));
    EXPECT_EQ(RequestsFrom(first), Lines{"21 09 0200 0003: 20 00 00 05"});
    stack->clock.advance(N3W8ResetSettleTime);
    reset.join();
    EXPECT_EQ(status, STATUS_SUCCESS);
    EXPECT_EQ(stack->clock.now() - start, N3W8ResetSettleTime);
    EXPECT_EQ(RequestsFrom(first), (Lines{
                                       "21 09 0200 0003: 20 00 00 05",
                                       "21 09 0200 0003: 20 00 30 05",
                                       "21 09 0200 0003: 20 04 20 00",
                                       "21 09 0200 0003: 20 02 30 01",
                                       "21 09 0200 0003: 20 3F 14 03",
                                       "21 09 0200 0003: 20 00 00 04",
                                   }));
}

TEST_F(N3W8Registers, ConcurrentMaskedWritersLoseNoBit) {
    constexpr int Writers = 4;
    constexpr int BitsEach = 16 / Writers;
    std::vector<std::thread> writers;
    for (int w = 0; w < Writers; ++w)
        writers.emplace_back([this, w] {
            for (int b = 0; b < BitsEach; ++b) {
                const auto bit = static_cast<std::uint16_t>(1u << (w * BitsEach + b));
                EXPECT_EQ(registers->WriteRegister(4, bit, bit), STATUS_SUCCESS);
            }
        });
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(Cached(4), 0xFFFF);
    EXPECT_EQ(chip->registers[4], 0xFFFF);
}

} // namespace
