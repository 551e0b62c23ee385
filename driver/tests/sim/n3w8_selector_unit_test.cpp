// The N3W8 record selector on a rewritten configuration: positions in the
// shortened source list become the chip's own input numbers and back.
#include "driver/devmodel/chips/n3w8/n3w8_selector_unit.h"

#include "driver/devmodel/chips/n3w8/n3w8_configuration_rewrite.h"
#include "sim/usb/fixtures.h"
#include "sim_usb_device.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

using namespace devmodel_test;
using Lines = std::vector<std::string>;

constexpr std::uint8_t SelectorSubtype = 5;

struct N3W8Selector : SimBusFixture {
    void SetUp() override {
        SimBusFixture::SetUp();
        Start(usbsim::fixtures::n3w8Device());
        const auto chipBytes = (*usb)->Configuration();
        rewritten.assign(chipBytes.begin(), chipBytes.end());
        ASSERT_EQ(RewriteConfiguration(rewritten, {.DisableMicInTerminal = true}), STATUS_SUCCESS);
    }
    // The selector parsed from the bytes; the fixture keeps it.
    CN3W8SelectorUnit* ParseFrom(std::span<const std::uint8_t> bytes) {
        const std::vector<std::size_t> found = ControlDescriptorsOf(bytes, SelectorSubtype);
        EXPECT_EQ(found.size(), 1u);
        if (found.empty()) return nullptr;
        auto held = std::make_shared<Held<CN3W8SelectorUnit>>(Make<CN3W8SelectorUnit>());
        units.push_back(held);
        EXPECT_EQ((*held)->Parse(bytes.subspan(found[0]), Device(), Hal()), STATUS_SUCCESS);
        return held->get();
    }
    std::vector<std::uint8_t> rewritten;
};

TEST_F(N3W8Selector, PositionsOfTheShortenedListAreSentAsTheChipsNumbers) {
    CN3W8SelectorUnit* selector = ParseFrom(rewritten); // line, S/PDIF
    ASSERT_NE(selector, nullptr);
    const struct {
        std::uint32_t position;
        const char* sent;
    } cases[] = {{1, "21 01 0000 1100: 02"}, {2, "21 01 0000 1100: 03"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        ASSERT_EQ(selector->SetCurrentInput(c.position), STATUS_SUCCESS);
        EXPECT_EQ(LastRequest(), c.sent);
        std::uint32_t current = 0;
        ASSERT_EQ(selector->GetCurrentInput(&current), STATUS_SUCCESS);
        EXPECT_EQ(current, c.position);
    }
    EXPECT_EQ(selector->SetCurrentInput(3), STATUS_INVALID_PARAMETER);
}

TEST_F(N3W8Selector, AChipInputTheListLacksGivesWayToTheFirstPosition) {
    CN3W8SelectorUnit* whole = ParseFrom((*usb)->Configuration());
    CN3W8SelectorUnit* shortened = ParseFrom(rewritten);
    ASSERT_TRUE(whole != nullptr && shortened != nullptr);
    ASSERT_EQ(whole->SetCurrentInput(4), STATUS_SUCCESS); // the stereo mix
    EXPECT_EQ(LastRequest(), "21 01 0000 1100: 04");
    const std::size_t first = Requests();
    std::uint32_t current = 0;
    ASSERT_EQ(shortened->GetCurrentInput(&current), STATUS_SUCCESS);
    EXPECT_EQ(current, 1u);
    EXPECT_EQ(RequestsFrom(first), (Lines{"A1 81 0000 1100 <1", "21 01 0000 1100: 02"}));
}

} // namespace
