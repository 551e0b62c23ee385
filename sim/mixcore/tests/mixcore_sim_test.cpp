// The library stand-in through its own entry points: how values are keyed,
// stored and handed out, and how bad calls are refused.

#include "sim/mixcore/mixcore_api.h"
#include "sim/mixcore/mixcore_sim.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kRender = 0x100;
constexpr std::uint32_t kCapture = 0x200;

struct Text {
    std::vector<char16_t> units = std::vector<char16_t>(600, u'#');
    std::string narrow() const {
        std::string out;
        for (char16_t c : units) {
            if (c == 0) break;
            out += static_cast<char>(c);
        }
        return out;
    }
};

class Mixcore : public ::testing::Test {
protected:
    void SetUp() override { MixcoreSim_reset(); }

    std::int32_t read(std::uint32_t device, const char16_t* name, std::vector<std::int32_t> sel,
                      Text& out) {
        void* data = out.units.data();
        void* selector = sel.data();
        return PropertyControl(device, 0, 0, 0, name, &data, sel.empty() ? nullptr : &selector, 0);
    }
    template <typename T>
    std::int32_t write(std::uint32_t device, const char16_t* name, std::vector<std::int32_t> sel,
                       T value) {
        void* data = &value;
        void* selector = sel.data();
        return PropertyControl(device, 0, 0, 0, name, &data, sel.empty() ? nullptr : &selector, 1);
    }
    std::string readText(std::uint32_t device, const char16_t* name,
                         std::vector<std::int32_t> sel = {}) {
        Text t;
        return read(device, name, std::move(sel), t) == 0 ? t.narrow() : "failed";
    }
};

TEST_F(Mixcore, ValuesAreKeyedByDeviceNameAndTheSelectorWordsThePropertyUses) {
    ASSERT_EQ(write(kRender, u"VolumeScalarControl", {0}, 0.3f), 0);
    ASSERT_EQ(write(kRender, u"VirtualSurroundEffectControl", {4, 1, 0}, 7), 0);
    ASSERT_EQ(write(kCapture, u"Enable_ENC_LFX", {}, 1), 0);
    ASSERT_EQ(write(kRender, u"DefaultDeviceControl", {0, 99}, 5), 0);

    EXPECT_EQ(readText(kRender, u"VolumeScalarControl", {0}), "0.300000");
    EXPECT_EQ(readText(kRender, u"VolumeScalarControl", {-1}), "1.000000");
    EXPECT_EQ(readText(kCapture, u"VolumeScalarControl", {0}), "1.000000");
    EXPECT_EQ(readText(kRender, u"VirtualSurroundEffectControl", {4, 1, 0}), "7");
    EXPECT_EQ(readText(kRender, u"VirtualSurroundEffectControl", {4, 0, 0}), "0");
    // A selector the property does not use changes nothing.
    EXPECT_EQ(readText(kCapture, u"Enable_ENC_LFX", {0, 0, 0}), "1");
    EXPECT_EQ(readText(kRender, u"DefaultDeviceControl", {0, 3}), "5");
}

struct RefusalCase {
    const char* name;
    std::uint32_t device;
    const char16_t* property;
    std::vector<std::int32_t> selector;
    std::int32_t direction;
    bool withData;
    std::int32_t expected;
};

TEST_F(Mixcore, BadCallsAreRefused) {
    const RefusalCase cases[] = {
        {"unknown name", kRender, u"Bass_Boost", {}, 0, true, 1},
        {"unknown device", 0, u"MuteControl", {}, 0, true, 1},
        {"volume without channel", kRender, u"VolumeScalarControl", {}, 0, true, 2},
        {"no data", kRender, u"MuteControl", {}, 0, false, 2},
        {"bad direction", kRender, u"MuteControl", {}, 2, true, 2},
        {"write of a read-only property", kRender, u"GetDeviceID", {}, 1, true, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::int32_t value = 1;
        Text text;
        void* data = c.direction == 1 ? static_cast<void*>(&value) : text.units.data();
        std::vector<std::int32_t> sel = c.selector;
        void* selector = sel.data();
        EXPECT_EQ(PropertyControl(c.device, 0, 0, 0, c.property, c.withData ? &data : nullptr,
                                  sel.empty() ? nullptr : &selector, c.direction),
                  c.expected);
    }
    MixcoreSim_failName("MuteControl");
    EXPECT_EQ(readText(kRender, u"MuteControl"), "failed");
}

TEST_F(Mixcore, TextsFillAtMostTheClientsBuffer) {
    MixcoreSim_setText(kRender, "Enable_EQ_GFX", nullptr, 0, std::string(700, '9').c_str());
    Text t;
    ASSERT_EQ(read(kRender, u"Enable_EQ_GFX", {}, t), 0);
    // 512 characters, no terminator: what follows is untouched.
    EXPECT_EQ(t.units[511], u'9');
    EXPECT_EQ(t.units[512], u'#');

    MixcoreSim_setText(kRender, "Enable_EQ_GFX", nullptr, 0, "12abc");
    EXPECT_EQ(readText(kRender, u"Enable_EQ_GFX"), "12abc");
    ASSERT_EQ(write(kRender, u"Enable_EQ_GFX", {}, 3), 0);
    EXPECT_EQ(readText(kRender, u"Enable_EQ_GFX"), "3");
}

} // namespace
