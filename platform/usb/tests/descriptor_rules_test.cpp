#include "platform/usb/descriptor_rules.h"

#include "platform/usb/tests/descriptor_bytes.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

using namespace usb;
using usbtest::Bytes;
using usbtest::classDescriptor;

constexpr std::uint8_t kControl = 1;
constexpr std::uint8_t kStreaming = 2;

struct RuleCase {
    std::string what;
    AudioRelease release;
    std::uint8_t subclass;
    Bytes descriptor;
    const char* problem; // a part of the expected problem; null: it passes
};

struct Body {
    const char* what;
    Bytes descriptor;
    const char* problem;
    const char* cutProblem = nullptr; // when its last byte is cut; null: no such case
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

// Cases of one release and subclass; bodies after bLength, type and subtype.
// A body with a cut problem is a case again without its last byte.
std::vector<RuleCase> rules(AudioRelease release, std::uint8_t subclass,
                            std::initializer_list<Body> bodies) {
    std::vector<RuleCase> cases;
    for (const Body& b : bodies) {
        cases.push_back({b.what, release, subclass, b.descriptor, b.problem});
        if (b.cutProblem == nullptr) continue;
        Bytes cut(b.descriptor.begin(), b.descriptor.end() - 1);
        cut[0] = static_cast<std::uint8_t>(cut.size());
        cases.push_back(
            {std::string(b.what) + ", its last byte cut", release, subclass, cut, b.cutProblem});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(
    Release1Control, ClassDescriptorRules,
    testing::ValuesIn(
        rules(v1, kControl,
              {{"header with one interface", classDescriptor(1, {0, 1, 9, 0, 1, 1}), nullptr},
               {"header short of its collection", classDescriptor(1, {0, 1, 10, 0, 2, 1}),
                "interface collection"},
               {"input terminal", classDescriptor(2, {1, 1, 1, 0, 2, 3, 0, 0, 0}), nullptr, fixed},
               {"output terminal", classDescriptor(3, {3, 1, 3, 0, 2, 0}), nullptr, fixed},
               // Two pins of at least one channel each into two outputs: 4 bits.
               {"mixer", classDescriptor(4, {7, 2, 1, 2, 2, 3, 0, 0, 0x90, 0}), nullptr},
               {"mixer without its bitmap", classDescriptor(4, {7, 2, 1, 2, 2, 3, 0, 0, 0}),
                "mixer bitmap"},
               {"mixer whose pins run past it", classDescriptor(4, {7, 9, 1, 2, 2, 3, 0}), sources},
               {"selector of two", classDescriptor(5, {8, 2, 1, 2, 0}), nullptr},
               {"selector short of its sources", classDescriptor(5, {8, 3, 1, 2, 0}), sources},
               {"feature unit, master and two channels", classDescriptor(6, {5, 1, 1, 3, 2, 2, 0}),
                nullptr},
               {"feature unit with bControlSize 0", classDescriptor(6, {5, 1, 0, 3, 2, 2, 0}),
                "bControlSize is 0"},
               {"feature unit with half a channel", classDescriptor(6, {5, 1, 2, 3, 0, 2, 0, 2, 0}),
                "whole channels"},
               {"feature unit without its master", classDescriptor(6, {5, 1, 2, 0}), "master"},
               {"extension unit, one pin, one control byte",
                classDescriptor(8, {9, 1, 0, 1, 5, 2, 3, 0, 0, 1, 1, 0}), nullptr},
               {"extension unit short of its bitmap",
                classDescriptor(8, {9, 1, 0, 1, 5, 2, 3, 0, 0, 2, 1, 0}), "control bitmap"},
               {"processing unit whose pins run past it",
                classDescriptor(7, {9, 1, 0, 9, 5, 2, 3, 0, 0, 0}), sources},
               // Pins, then bControlSize bytes: 13 + 2 + 2.
               {"processing unit, two pins, two control bytes",
                classDescriptor(7, {9, 1, 0, 2, 5, 6, 2, 3, 0, 0, 2, 1, 0, 0}), nullptr,
                "control bitmap"},
               // The same subtype in the other subclass is another descriptor.
               {"a format type read as an input terminal",
                classDescriptor(2, {3, 2, 2, 16, 1, 0x80, 0xBB, 0}), fixed},
               // A release 1 clock-less unit: subtype 10 means nothing there.
               {"subtype 10 under release 1", classDescriptor(10, {9}), nullptr}})));

INSTANTIATE_TEST_SUITE_P(
    Release1Streaming, ClassDescriptorRules,
    testing::ValuesIn(rules(
        v1, kStreaming,
        {
            {"general", classDescriptor(1, {1, 1, 1, 0}), nullptr, fixed},
            {"type I, two rates",
             classDescriptor(2, {1, 2, 2, 16, 2, 0x44, 0xAC, 0, 0x80, 0xBB, 0}), nullptr,
             "rate table"},
            {"type I, a continuous range",
             classDescriptor(2, {1, 2, 2, 16, 0, 0x44, 0xAC, 0, 0x80, 0xBB, 0}), nullptr},
            {"type I, a range cut", classDescriptor(2, {1, 2, 2, 16, 0, 0x44, 0xAC, 0}),
             "rate table"},
            {"type III, one rate", classDescriptor(2, {3, 2, 2, 16, 1, 0x80, 0xBB, 0}), nullptr},
            {"type II, one rate", classDescriptor(2, {2, 0x80, 0, 0, 4, 1, 0x80, 0xBB, 0}), nullptr,
             "rate table"},
            {"a format type the table does not know", classDescriptor(2, {0x80, 0, 0, 0, 0}),
             nullptr},
            {"isochronous endpoint", classDescriptor(1, {1, 0, 0, 0}, 0x25), nullptr, fixed},
        })));

INSTANTIATE_TEST_SUITE_P(
    Release2Control, ClassDescriptorRules,
    testing::ValuesIn(rules(
        v2, kControl,
        {{"header", classDescriptor(1, {0, 2, 4, 60, 0, 0}), nullptr, fixed},
         {"input terminal", classDescriptor(2, {1, 1, 1, 0, 9, 2, 3, 0, 0, 0, 0, 0, 0, 0}), nullptr,
          fixed},
         {"output terminal", classDescriptor(3, {3, 1, 3, 0, 2, 9, 0, 0, 0}), nullptr},
         {"feature unit, master and two channels",
          classDescriptor(6, {5, 1, 3, 0, 0, 0, 0xC, 0, 0, 0, 0xC, 0, 0, 0, 0}), nullptr},
         {"feature unit with a master only", classDescriptor(6, {5, 1, 3, 0, 0, 0, 0}), nullptr},
         {"feature unit with a short word", classDescriptor(6, {5, 1, 3, 0, 0, 0, 0xC, 0, 0, 0}),
          "whole channels"},
         {"feature unit without its master", classDescriptor(6, {5, 1, 3, 0, 0, 0}), fixed},
         {"mixer", classDescriptor(4, {7, 2, 1, 2, 2, 3, 0, 0, 0, 0, 0x90, 0, 0}), nullptr},
         {"mixer without its bitmap", classDescriptor(4, {7, 2, 1, 2, 2, 3, 0, 0, 0, 0, 0, 0}),
          "mixer bitmap"},
         {"selector of two", classDescriptor(5, {8, 2, 1, 2, 0, 0}), nullptr, sources},
         {"clock source", classDescriptor(10, {9, 3, 7, 0, 0}), nullptr, fixed},
         {"clock selector of two", classDescriptor(11, {9, 2, 1, 2, 0, 0}), nullptr, sources},
         {"clock multiplier", classDescriptor(12, {9, 1, 0, 0}), nullptr, fixed},
         {"processing unit, one pin",
          classDescriptor(8, {9, 1, 0, 1, 5, 2, 3, 0, 0, 0, 0, 0, 0, 0}), nullptr},
         {"extension unit short of its sources",
          classDescriptor(9, {9, 1, 0, 2, 5, 2, 0, 0, 0, 0, 0, 0, 0}), sources},
         // 16 + pins; its controls are two bytes whatever the pins.
         {"processing unit, two pins",
          classDescriptor(8, {9, 1, 0, 2, 5, 6, 2, 3, 0, 0, 0, 0, 0, 0, 0}), nullptr, sources},
         {"processing unit short of its fixed part",
          classDescriptor(8, {9, 1, 0, 0, 2, 3, 0, 0, 0, 0, 0, 0}), fixed},
         // 15 + pins; one control byte.
         {"extension unit, one pin", classDescriptor(9, {9, 1, 0, 1, 5, 2, 3, 0, 0, 0, 0, 0, 0}),
          nullptr, sources},
         {"a subtype the table does not know", classDescriptor(7, {}), nullptr}})));

INSTANTIATE_TEST_SUITE_P(
    Release2Streaming, ClassDescriptorRules,
    testing::ValuesIn(rules(
        v2, kStreaming,
        {
            {"general", classDescriptor(1, {1, 0, 1, 1, 0, 0, 0, 2, 3, 0, 0, 0, 0}), nullptr,
             fixed},
            {"type I", classDescriptor(2, {1, 2, 16}), nullptr, "type I or III"},
            {"type II cut", classDescriptor(2, {2, 0x80, 0, 0}), "type II"},
            {"isochronous endpoint", classDescriptor(1, {0, 0, 0, 0, 0}, 0x25), nullptr, fixed},
        })));

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

TEST(ClassDescriptorRules, EveryReleaseTwoSubtypeHasARowThatSaysWhetherItIsChecked) {
    for (std::uint8_t subtype = uac2::ac_subtype::header;
         subtype <= uac2::ac_subtype::sampleRateConverter; ++subtype)
        EXPECT_NE(findClassDescriptorRule(v2, kControl, 0x24, subtype), nullptr) << int(subtype);
    for (std::uint8_t subtype = as_subtype::general; subtype <= as_subtype::formatSpecific;
         ++subtype)
        EXPECT_NE(findClassDescriptorRule(v2, kStreaming, 0x24, subtype), nullptr) << int(subtype);
    for (const ClassDescriptorRule& rule : classDescriptorRules()) {
        const bool headerOnly = rule.minimumLength == 3 && rule.variablePart == nullptr;
        EXPECT_EQ(headerOnly, std::string(rule.name).ends_with("(not checked)")) << rule.name;
    }
}

} // namespace

namespace {

// Which interfaces' class-specific descriptors are read as audio ones, and
// by which release's rules.
TEST(AudioInterfaceKind, NamesOnlyAudioInterfacesOfAKnownRelease) {
    struct Case {
        std::uint8_t interfaceClass, subclass, protocol;
        std::optional<AudioInterfaceKind> kind;
    };
    const Case cases[] = {
        {0x01, kStreaming, 0x00, AudioInterfaceKind{AudioRelease::uac1, kStreaming}},
        {0x01, kControl, 0x20, AudioInterfaceKind{AudioRelease::uac2, kControl}},
        {0x01, 0x03, 0x00, AudioInterfaceKind{AudioRelease::uac1, 0x03}},
        {0xA1, kStreaming, 0x00, std::nullopt},
        {0x03, kControl, 0x00, std::nullopt},
        {0x01, kStreaming, 0x30, std::nullopt},
        {0x01, kStreaming, 0x01, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << int{c.interfaceClass} << "/" << int{c.subclass} << "/" << int{c.protocol});
        InterfaceDescriptor interface {};
        interface.bLength = sizeof interface;
        interface.bDescriptorType = descriptor_type::interface;
        interface.bInterfaceClass = c.interfaceClass;
        interface.bInterfaceSubClass = c.subclass;
        interface.bInterfaceProtocol = c.protocol;
        EXPECT_EQ(audioInterfaceKind(interface), c.kind);
    }
}

} // namespace
