#include "platform/usb/descriptor_rules.h"

#include "platform/usb/tests/descriptor_bytes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>

namespace {

using namespace usb;
using usbtest::Bytes;
using usbtest::classDescriptor;

constexpr std::uint8_t kControl = 1;
constexpr std::uint8_t kStreaming = 2;

struct RuleCase {
    const char* what;
    AudioRelease release;
    std::uint8_t subclass;
    Bytes descriptor;
    const char* problem; // a part of the expected problem; null: it passes
};

void PrintTo(const RuleCase& c, std::ostream* out) { *out << c.what; }

class ClassDescriptorRules : public testing::TestWithParam<RuleCase> {};

TEST_P(ClassDescriptorRules, PassWhatCoversItsPartsAndRefuseTheRest) {
    const RuleCase& c = GetParam();
    const char* problem = checkClassDescriptor(c.release, c.subclass, c.descriptor);
    if (c.problem == nullptr) {
        EXPECT_EQ(problem, nullptr) << problem;
    } else {
        ASSERT_NE(problem, nullptr);
        EXPECT_NE(std::string(problem).find(c.problem), std::string::npos) << problem;
    }
}

const AudioRelease v1 = AudioRelease::uac1;
const AudioRelease v2 = AudioRelease::uac2;
const char* fixed = "fixed part";
const char* sources = "source list";

// Bodies after bLength, type and subtype.
INSTANTIATE_TEST_SUITE_P(
    Release1Control, ClassDescriptorRules,
    testing::Values(
        RuleCase{"header with one interface", v1, kControl, classDescriptor(1, {0, 1, 9, 0, 1, 1}),
                 nullptr},
        RuleCase{"header short of its collection", v1, kControl,
                 classDescriptor(1, {0, 1, 10, 0, 2, 1}), "interface collection"},
        RuleCase{"input terminal", v1, kControl, classDescriptor(2, {1, 1, 1, 0, 2, 3, 0, 0, 0}),
                 nullptr},
        RuleCase{"input terminal one byte short", v1, kControl,
                 classDescriptor(2, {1, 1, 1, 0, 2, 3, 0, 0}), fixed},
        RuleCase{"output terminal", v1, kControl, classDescriptor(3, {3, 1, 3, 0, 2, 0}), nullptr},
        RuleCase{"output terminal one byte short", v1, kControl,
                 classDescriptor(3, {3, 1, 3, 0, 2}), fixed},
        // Two pins of at least one channel each into two outputs: 4 bits.
        RuleCase{"mixer", v1, kControl, classDescriptor(4, {7, 2, 1, 2, 2, 3, 0, 0, 0x90, 0}),
                 nullptr},
        RuleCase{"mixer without its bitmap", v1, kControl,
                 classDescriptor(4, {7, 2, 1, 2, 2, 3, 0, 0, 0}), "mixer bitmap"},
        RuleCase{"mixer whose pins run past it", v1, kControl,
                 classDescriptor(4, {7, 9, 1, 2, 2, 3, 0}), sources},
        RuleCase{"selector of two", v1, kControl, classDescriptor(5, {8, 2, 1, 2, 0}), nullptr},
        RuleCase{"selector short of its sources", v1, kControl, classDescriptor(5, {8, 3, 1, 2, 0}),
                 sources},
        RuleCase{"feature unit, master and two channels", v1, kControl,
                 classDescriptor(6, {5, 1, 1, 3, 2, 2, 0}), nullptr},
        RuleCase{"feature unit with bControlSize 0", v1, kControl,
                 classDescriptor(6, {5, 1, 0, 3, 2, 2, 0}), "bControlSize is 0"},
        RuleCase{"feature unit with half a channel", v1, kControl,
                 classDescriptor(6, {5, 1, 2, 3, 0, 2, 0, 2, 0}), "whole channels"},
        RuleCase{"feature unit without its master", v1, kControl, classDescriptor(6, {5, 1, 2, 0}),
                 "master"},
        RuleCase{"extension unit, one pin, one control byte", v1, kControl,
                 classDescriptor(8, {9, 1, 0, 1, 5, 2, 3, 0, 0, 1, 1, 0}), nullptr},
        RuleCase{"extension unit short of its bitmap", v1, kControl,
                 classDescriptor(8, {9, 1, 0, 1, 5, 2, 3, 0, 0, 2, 1, 0}), "control bitmap"},
        RuleCase{"processing unit whose pins run past it", v1, kControl,
                 classDescriptor(7, {9, 1, 0, 9, 5, 2, 3, 0, 0, 0}), sources}));

INSTANTIATE_TEST_SUITE_P(
    Release1Streaming, ClassDescriptorRules,
    testing::Values(
        RuleCase{"general", v1, kStreaming, classDescriptor(1, {1, 1, 1, 0}), nullptr},
        RuleCase{"general one byte short", v1, kStreaming, classDescriptor(1, {1, 1, 1}), fixed},
        RuleCase{"type I, two rates", v1, kStreaming,
                 classDescriptor(2, {1, 2, 2, 16, 2, 0x44, 0xAC, 0, 0x80, 0xBB, 0}), nullptr},
        RuleCase{"type I, two rates, one cut", v1, kStreaming,
                 classDescriptor(2, {1, 2, 2, 16, 2, 0x44, 0xAC, 0, 0x80, 0xBB}), "rate table"},
        RuleCase{"type I, a continuous range", v1, kStreaming,
                 classDescriptor(2, {1, 2, 2, 16, 0, 0x44, 0xAC, 0, 0x80, 0xBB, 0}), nullptr},
        RuleCase{"type I, a range cut", v1, kStreaming,
                 classDescriptor(2, {1, 2, 2, 16, 0, 0x44, 0xAC, 0}), "rate table"},
        RuleCase{"type III, one rate", v1, kStreaming,
                 classDescriptor(2, {3, 2, 2, 16, 1, 0x80, 0xBB, 0}), nullptr},
        RuleCase{"type II, one rate", v1, kStreaming,
                 classDescriptor(2, {2, 0x80, 0, 0, 4, 1, 0x80, 0xBB, 0}), nullptr},
        RuleCase{"type II, its rate cut", v1, kStreaming,
                 classDescriptor(2, {2, 0x80, 0, 0, 4, 1, 0x80, 0xBB}), "rate table"},
        RuleCase{"a format type the table does not know", v1, kStreaming,
                 classDescriptor(2, {0x80, 0, 0, 0, 0}), nullptr},
        RuleCase{"isochronous endpoint", v1, kStreaming, classDescriptor(1, {1, 0, 0, 0}, 0x25),
                 nullptr},
        RuleCase{"isochronous endpoint one byte short", v1, kStreaming,
                 classDescriptor(1, {1, 0, 0}, 0x25), fixed},
        // The same subtype in the other subclass is another descriptor.
        RuleCase{"a format type read as an input terminal", v1, kControl,
                 classDescriptor(2, {3, 2, 2, 16, 1, 0x80, 0xBB, 0}), fixed}));

INSTANTIATE_TEST_SUITE_P(
    Release2, ClassDescriptorRules,
    testing::Values(
        RuleCase{"header", v2, kControl, classDescriptor(1, {0, 2, 4, 60, 0, 0}), nullptr},
        RuleCase{"header one byte short", v2, kControl, classDescriptor(1, {0, 2, 4, 60, 0}),
                 fixed},
        RuleCase{"input terminal", v2, kControl,
                 classDescriptor(2, {1, 1, 1, 0, 9, 2, 3, 0, 0, 0, 0, 0, 0, 0}), nullptr},
        RuleCase{"input terminal one byte short", v2, kControl,
                 classDescriptor(2, {1, 1, 1, 0, 9, 2, 3, 0, 0, 0, 0, 0, 0}), fixed},
        RuleCase{"output terminal", v2, kControl, classDescriptor(3, {3, 1, 3, 0, 2, 9, 0, 0, 0}),
                 nullptr},
        RuleCase{"feature unit, master and two channels", v2, kControl,
                 classDescriptor(6, {5, 1, 3, 0, 0, 0, 0xC, 0, 0, 0, 0xC, 0, 0, 0, 0}), nullptr},
        RuleCase{"feature unit with a master only", v2, kControl,
                 classDescriptor(6, {5, 1, 3, 0, 0, 0, 0}), nullptr},
        RuleCase{"feature unit with a short word", v2, kControl,
                 classDescriptor(6, {5, 1, 3, 0, 0, 0, 0xC, 0, 0, 0}), "whole channels"},
        RuleCase{"feature unit without its master", v2, kControl,
                 classDescriptor(6, {5, 1, 3, 0, 0, 0}), fixed},
        RuleCase{"mixer", v2, kControl,
                 classDescriptor(4, {7, 2, 1, 2, 2, 3, 0, 0, 0, 0, 0x90, 0, 0}), nullptr},
        RuleCase{"mixer without its bitmap", v2, kControl,
                 classDescriptor(4, {7, 2, 1, 2, 2, 3, 0, 0, 0, 0, 0, 0}), "mixer bitmap"},
        RuleCase{"selector of two", v2, kControl, classDescriptor(5, {8, 2, 1, 2, 0, 0}), nullptr},
        RuleCase{"selector short of its sources", v2, kControl, classDescriptor(5, {8, 2, 1, 2, 0}),
                 sources},
        RuleCase{"clock source", v2, kControl, classDescriptor(10, {9, 3, 7, 0, 0}), nullptr},
        RuleCase{"clock source one byte short", v2, kControl, classDescriptor(10, {9, 3, 7, 0}),
                 fixed},
        RuleCase{"clock selector of two", v2, kControl, classDescriptor(11, {9, 2, 1, 2, 0, 0}),
                 nullptr},
        RuleCase{"clock selector short of its sources", v2, kControl,
                 classDescriptor(11, {9, 2, 1, 2, 0}), sources},
        RuleCase{"clock multiplier", v2, kControl, classDescriptor(12, {9, 1, 0, 0}), nullptr},
        RuleCase{"clock multiplier one byte short", v2, kControl, classDescriptor(12, {9, 1, 0}),
                 fixed},
        RuleCase{"processing unit, one pin", v2, kControl,
                 classDescriptor(8, {9, 1, 0, 1, 5, 2, 3, 0, 0, 0, 0, 0, 0, 0}), nullptr},
        RuleCase{"extension unit short of its sources", v2, kControl,
                 classDescriptor(9, {9, 1, 0, 2, 5, 2, 0, 0, 0, 0, 0, 0, 0}), sources},
        RuleCase{"a subtype the table does not know", v2, kControl, classDescriptor(7, {}),
                 nullptr},
        RuleCase{"general", v2, kStreaming,
                 classDescriptor(1, {1, 0, 1, 1, 0, 0, 0, 2, 3, 0, 0, 0, 0}), nullptr},
        RuleCase{"general one byte short", v2, kStreaming,
                 classDescriptor(1, {1, 0, 1, 1, 0, 0, 0, 2, 3, 0, 0, 0}), fixed},
        RuleCase{"type I", v2, kStreaming, classDescriptor(2, {1, 2, 16}), nullptr},
        RuleCase{"type I without its resolution", v2, kStreaming, classDescriptor(2, {1, 2}),
                 "type I or III"},
        RuleCase{"type II cut", v2, kStreaming, classDescriptor(2, {2, 0x80, 0, 0}), "type II"},
        RuleCase{"isochronous endpoint", v2, kStreaming, classDescriptor(1, {0, 0, 0, 0, 0}, 0x25),
                 nullptr},
        RuleCase{"isochronous endpoint one byte short", v2, kStreaming,
                 classDescriptor(1, {0, 0, 0, 0}, 0x25), fixed},
        // A release 1 clock-less unit: subtype 10 means nothing there.
        RuleCase{"subtype 10 under release 1", v1, kControl, classDescriptor(10, {9}), nullptr}));

TEST(ClassDescriptorRules, RefuseWhatIsNoClassDescriptor) {
    EXPECT_NE(checkClassDescriptor(v1, kControl, Bytes{2, 0x24}), nullptr);
    Bytes lying = classDescriptor(2, {1, 1, 1, 0, 2, 3, 0, 0, 0});
    lying[0] = 13; // claims a byte more than it has
    EXPECT_NE(checkClassDescriptor(v1, kControl, lying), nullptr);
}

TEST(ClassDescriptorRules, TheTableHasOneRuleForEachDescriptor) {
    std::set<std::tuple<AudioRelease, int, int, int>> seen;
    for (const ClassDescriptorRule& rule : classDescriptorRules()) {
        EXPECT_TRUE(
            seen.emplace(rule.release, rule.interfaceSubclass, rule.descriptorType, rule.subtype)
                .second)
            << rule.name;
        EXPECT_GE(rule.minimumLength, 3) << rule.name;
    }
}

} // namespace
