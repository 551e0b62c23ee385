#include "panel/fuzz/hid_replies_fuzz.h"

#include "panel/device_table.h"
#include "panel/fuzz/fuzz_scratch.h"
#include "panel/hid_command_set.h"
#include "panel/pointer_settings.h"
#include "panel/profile_store.h"
#include "panel/settings_sync.h"
#include "platform/fuzz/fuzz_require.h"
#include "sim/hid/hidsim.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace {

using namespace panel;

class NoSleep final : public ISleeper {
public:
    void sleepMs(unsigned) override {}
};

class FixedClock final : public IUtcClock {
public:
    std::int64_t nowSeconds() const override { return 1'700'000'000; }
};

constexpr unsigned kProfile = 1;

// Where each reply lands in the option block (see settings_sync.h).
OptionBlock expectedOption(OptionBlock b, const hidsim::HeadsetState& s) {
    std::copy(s.settings.begin(), s.settings.end(), b.begin());
    std::copy(s.ledType.begin(), s.ledType.end(), b.begin() + 4);
    std::copy(s.keys07.begin(), s.keys07.end(), b.begin() + 8);
    std::copy(s.keys08.begin(), s.keys08.end(), b.begin() + 14);
    for (std::size_t i = 0; i < s.colours.size(); ++i)
        std::copy(s.colours[i].begin(), s.colours[i].end(), b.begin() + 18 + 3 * i);
    b[39] = s.gamingMode;
    return b;
}

} // namespace

int fuzzHidReplies(const std::uint8_t* data, std::size_t size) {
    static_assert(std::is_trivially_copyable_v<hidsim::HeadsetState>);
    if (size < 2) return 0;
    hidsim::HeadsetState state;
    std::memcpy(&state, data + 2, std::min(size - 2, sizeof state));
    const panel_fuzz::InputFolder folder;

    hidsim::reset();
    const hidsim::DeviceId headset = hidsim::addHeadset(state);
    hidsim::setNoInput(headset, true);
    hidsim::setFeatureGetFails(headset, (data[0] & 1) != 0);
    hidsim::failWrite(headset, data[1]);
    {
        DeviceTable devices;
        devices.publish({{"04D9", "A29C", "000C", "0001", "000C", "0001"}});
        devices.curDid = 0;
        NoSleep sleeper;
        const FixedClock clock;
        HidCommandSet hid(devices, sleeper, clock);
        ProfileStore profiles(folder.file("profile.ini"));
        IniPointerSettings pointer(folder.file("pointer.ini"));
        SettingsSync sync(devices, hid, profiles, pointer);

        OptionBlock option;
        MatrixBlock matrix;
        for (std::size_t i = 0; i < option.size(); ++i) option[i] = std::uint8_t(i * 7 + 3);
        for (std::size_t i = 0; i < matrix.size(); ++i) matrix[i] = std::uint8_t(i * 5 + 1);
        profiles.setOption(kProfile, option);
        profiles.setMatrix(kProfile, matrix);

        const bool read = sync.readAllSettings(kProfile);
        OptionBlock optionAfter{};
        MatrixBlock matrixAfter{};
        profiles.option(kProfile, optionAfter);
        profiles.matrix(kProfile, matrixAfter);
        if (!read) {
            fuzzRequire(optionAfter == option && matrixAfter == matrix,
                        "a failed settings read changed the profile");
        } else {
            OptionBlock expected = expectedOption(option, state);
            std::copy_n(optionAfter.begin() + 40, 3, expected.begin() + 40); // pointer codes
            fuzzRequire(optionAfter == expected, "a reply landed in the wrong option bytes");
            MatrixBlock keys = matrix;
            std::copy(state.keyBlock.begin(), state.keyBlock.end(), keys.begin() + 64);
            fuzzRequire(matrixAfter == keys, "the key block landed in the wrong matrix bytes");
        }

        const std::int64_t before = profiles.timeFlag();
        if (sync.autoSync())
            fuzzRequire(profiles.timeFlag() == clock.nowSeconds(),
                        "a sync did not stamp the panel");
        else
            fuzzRequire(profiles.timeFlag() == before || profiles.timeFlag() == clock.nowSeconds(),
                        "a failed sync stored a time it did not send");
        devices.curDid = -1;
        devices.clear();
    }
    fuzzRequire(hidsim::openHandles() == 0, "an interface was left open");
    hidsim::reset();
    return 0;
}
