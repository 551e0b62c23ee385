// Every entity parser checks its descriptor against the descriptor rules
// before it reads a field: a descriptor one byte short of its row, or whose
// counts run past its end, builds nothing and leaks nothing.
#include "driver/devmodel/input_terminal.h"
#include "driver/devmodel/output_terminal.h"
#include "driver/devmodel/uac1_units.h"
#include "driver/devmodel/uac2_clock_source.h"
#include "driver/devmodel/uac2_units.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace {

using namespace devmodel_test;
using Bytes = std::vector<std::uint8_t>;
using Parser = NTSTATUS (*)(std::span<const std::uint8_t>, kernel::IUnknown*, CAudioHal*);

// The head given, zeros to the length, bLength the length.
Bytes Descriptor(std::initializer_list<std::uint8_t> head, std::size_t length) {
    Bytes bytes(head);
    bytes.resize(std::max(length, bytes.size()), 0);
    bytes[0] = static_cast<std::uint8_t>(length);
    return bytes;
}

// A descriptor whose last byte is missing from the configuration.
Bytes Truncated(Bytes bytes) {
    bytes.pop_back();
    return bytes;
}

template <class Unit>
NTSTATUS ParseFresh(std::span<const std::uint8_t> bytes, kernel::IUnknown* device, CAudioHal* hal) {
    Held<Unit> unit(Make<Unit>());
    return unit->Parse(bytes, device, hal);
}

NTSTATUS ParseExtension(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                        CAudioHal* hal) {
    Held<CUac2MixerUnit> unit(Make<CUac2MixerUnit>());
    return unit->ParseExtension(bytes, device, hal);
}

struct EntityDescriptors : SimBusFixture {
    void SetUp() override {
        SimBusFixture::SetUp();
        Start(usbsim::fixtures::uac2FeedbackDevice());
    }
};

TEST_F(EntityDescriptors, ShortOrOverrunningDescriptorsBuildNothing) {
    struct Row {
        const char* name;
        Bytes bytes;
        Parser parse;
        NTSTATUS expected;
    };
    const std::initializer_list<std::uint8_t> it1 = {0, 0x24, 2, 1, 0x01, 0x01};
    const std::initializer_list<std::uint8_t> ot1 = {0, 0x24, 3, 2, 0x01, 0x01, 0, 1};
    const std::initializer_list<std::uint8_t> it2 = {0, 0x24, 2, 1, 0x01, 0x01, 0, 10};
    const std::initializer_list<std::uint8_t> ot2 = {0, 0x24, 3, 2, 0x01, 0x01, 0, 1, 10};
    const std::initializer_list<std::uint8_t> clock = {0, 0x24, 10, 10, 3, 7};
    const std::initializer_list<std::uint8_t> selector = {0, 0x24, 5, 8, 2, 1, 2};
    const std::initializer_list<std::uint8_t> mixer = {0, 0x24, 4, 5, 2, 1, 2, 2};
    const std::initializer_list<std::uint8_t> extension = {0, 0x24, 9, 12, 0x34, 0x12, 2, 1, 2};
    const Row rows[] = {
        {"release 1 input terminal", Descriptor(it1, 12), ParseFresh<CUac1InputTerminal>,
         STATUS_SUCCESS},
        {"release 1 input terminal short", Descriptor(it1, 11), ParseFresh<CUac1InputTerminal>,
         STATUS_INVALID_PARAMETER},
        {"release 1 output terminal", Descriptor(ot1, 9), ParseFresh<CUac1OutputTerminal>,
         STATUS_SUCCESS},
        {"release 1 output terminal short", Descriptor(ot1, 8), ParseFresh<CUac1OutputTerminal>,
         STATUS_INVALID_PARAMETER},
        {"release 2 input terminal", Descriptor(it2, 17), ParseFresh<CUac2InputTerminal>,
         STATUS_SUCCESS},
        {"release 2 input terminal short", Descriptor(it2, 16), ParseFresh<CUac2InputTerminal>,
         STATUS_INVALID_PARAMETER},
        {"release 2 output terminal", Descriptor(ot2, 12), ParseFresh<CUac2OutputTerminal>,
         STATUS_SUCCESS},
        {"release 2 output terminal short", Descriptor(ot2, 11), ParseFresh<CUac2OutputTerminal>,
         STATUS_INVALID_PARAMETER},
        {"clock source", Descriptor(clock, 8), ParseFresh<CUac2ClockSource>, STATUS_SUCCESS},
        {"clock source short", Descriptor(clock, 7), ParseFresh<CUac2ClockSource>,
         STATUS_INVALID_PARAMETER},
        {"selector", Descriptor(selector, 9), ParseFresh<CUac2SelectorUnit>, STATUS_SUCCESS},
        {"selector short", Descriptor(selector, 8), ParseFresh<CUac2SelectorUnit>,
         STATUS_INVALID_PARAMETER},
        {"selector counting past its end", Descriptor({0, 0x24, 5, 8, 3, 1, 2}, 9),
         ParseFresh<CUac2SelectorUnit>, STATUS_INVALID_PARAMETER},
        {"mixer", Descriptor(mixer, 16), ParseFresh<CUac2MixerUnit>, STATUS_SUCCESS},
        {"mixer short", Descriptor(mixer, 15), ParseFresh<CUac2MixerUnit>,
         STATUS_INVALID_PARAMETER},
        {"extension", Descriptor(extension, 17), ParseExtension, STATUS_SUCCESS},
        {"extension short", Descriptor(extension, 16), ParseExtension, STATUS_INVALID_PARAMETER},
        {"extension counting past its end", Descriptor({0, 0x24, 9, 12, 0x34, 0x12, 12, 1, 2}, 17),
         ParseExtension, STATUS_INVALID_PARAMETER},
        {"release 1 selector counting past its end", Descriptor({0, 0x24, 5, 8, 4, 1, 2}, 8),
         ParseFresh<CUac1SelectorUnit>, STATUS_INVALID_PARAMETER},
        {"no descriptor", Bytes(), ParseFresh<CUac1InputTerminal>, STATUS_INVALID_PARAMETER},
        {"bLength 0", Descriptor(it1, 0), ParseFresh<CUac1InputTerminal>, STATUS_UNSUCCESSFUL},
        {"bLength 1", Descriptor(it1, 1), ParseFresh<CUac1InputTerminal>, STATUS_UNSUCCESSFUL},
        {"bLength 2", Descriptor(it1, 2), ParseFresh<CUac1InputTerminal>, STATUS_UNSUCCESSFUL},
        {"bLength past the end", Truncated(Descriptor(it1, 12)), ParseFresh<CUac1InputTerminal>,
         STATUS_UNSUCCESSFUL},
        {"another subtype", Descriptor(ot1, 9), ParseFresh<CUac1InputTerminal>,
         STATUS_INVALID_PARAMETER},
        {"not class-specific", Descriptor({0, 0x04, 2, 1}, 12), ParseFresh<CUac1InputTerminal>,
         STATUS_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::size_t liveBefore = kernel::poolLiveBlocks();
        {
            Held<CPlainHal> fresh(Make<CPlainHal>());
            ASSERT_EQ(fresh->Init(nullptr, m_pFunction, nullptr, nullptr), STATUS_SUCCESS);
            EXPECT_EQ(row.parse(row.bytes, Device(), fresh.get()), row.expected);
            EXPECT_EQ(fresh->GetChildCount(), row.expected == STATUS_SUCCESS ? 1u : 0u);
        }
        EXPECT_EQ(kernel::poolLiveBlocks(), liveBefore);
    }
}

// Whatever allocation is refused, a release-2 parse succeeds whole or leaves
// nothing behind.
TEST_F(EntityDescriptors, EveryRefusedAllocationLeavesNothingBehind) {
    const std::span<const std::uint8_t> bytes = (*usb)->Configuration();
    const auto one = [](std::uint32_t children) { EXPECT_EQ(children, 1u); };
    ExpectCleanUnderRefusals<CUac2ClockSource>(bytes.subspan(ControlDescriptorsOf(bytes, 10)[0]),
                                               Device(), m_pFunction, one);
    ExpectCleanUnderRefusals<CUac2OutputTerminal>(bytes.subspan(ControlDescriptorsOf(bytes, 3)[0]),
                                                  Device(), m_pFunction, one);
}

} // namespace
