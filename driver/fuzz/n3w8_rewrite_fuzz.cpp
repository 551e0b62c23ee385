#include "driver/fuzz/n3w8_rewrite_fuzz.h"

#include "driver/devmodel/chips/n3w8/n3w8_configuration_rewrite.h"
#include "platform/fuzz/fuzz_require.h"
#include "platform/kernel/pool.h"

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t SwitchBytes = 2;
constexpr std::size_t ConfigurationTotal = 2;
constexpr std::size_t HeaderTotal = 23;

N3W8ConfigurationSwitches SwitchesOf(unsigned bits) {
    auto on = [bits](unsigned bit) { return (bits >> bit & 1) != 0; };
    return {.DisableMicInTerminal = on(0),
            .DisableLineInTerminal = on(1),
            .DisableSpdifInTerminal = on(2),
            .DisableMicInAAUnit = on(3),
            .DisableLineInAAUnit = on(4),
            .DisableMicInRecUnit = on(5),
            .DisableLineInRecUnit = on(6),
            .DisableStereoMixRecUnit = on(7),
            .Disable2ChOutSupported = on(8),
            .Disable4ChOutSupported = on(9),
            .Disable6ChOutSupported = on(10),
            .Disable8ChOutSupported = on(11)};
}

std::size_t Word(const Bytes& bytes, std::size_t at) { return bytes[at] | bytes[at + 1] << 8; }

} // namespace

int FuzzN3W8Rewrite(const std::uint8_t* pData, std::size_t cbData) {
    if (cbData < SwitchBytes) return 0;
    const N3W8ConfigurationSwitches switches = SwitchesOf(pData[0] | pData[1] << 8);
    const Bytes held(pData + SwitchBytes, pData + cbData);
    const std::uint64_t serial = kernel::poolAllocationSerial();

    Bytes bytes = held;
    const bool refused = !kernel::succeeded(RewriteConfiguration(bytes, switches));
    fuzzRequire(kernel::poolBlocksSince(serial).empty(), "the rewrite left a pool block");
    const bool chipSized =
        held.size() >= N3W8ConfigurationLength && Word(held, 2) >= N3W8ConfigurationLength;
    const bool multichannel = !(switches.Disable8ChOutSupported && switches.Disable6ChOutSupported);
    fuzzRequire(refused == !(chipSized && multichannel), "refused the wrong configurations");
    if (refused) {
        fuzzRequire(bytes == held, "a refused rewrite changed the bytes");
        return 0;
    }

    // The same switches on a blank configuration of the chip's length.
    Bytes blank(N3W8ConfigurationLength, 0);
    blank[ConfigurationTotal] = static_cast<std::uint8_t>(N3W8ConfigurationLength);
    blank[ConfigurationTotal + 1] = static_cast<std::uint8_t>(N3W8ConfigurationLength >> 8);
    fuzzRequire(kernel::succeeded(RewriteConfiguration(blank, switches)),
                "a blank configuration was refused");
    const std::size_t total = Word(bytes, ConfigurationTotal);
    fuzzRequire(total == Word(blank, ConfigurationTotal), "the total depends on the bytes");
    fuzzRequire(Word(bytes, HeaderTotal) == Word(blank, HeaderTotal),
                "the header's total depends on the bytes");
    fuzzRequire(total <= N3W8ConfigurationLength, "the rewrite grew the configuration");
    fuzzRequire(Word(bytes, HeaderTotal) + 18 < total, "the header claims the streaming part");
    fuzzRequire(std::equal(bytes.begin() + N3W8ConfigurationLength, bytes.end(),
                           held.begin() + N3W8ConfigurationLength),
                "the rewrite wrote past the chip's configuration");
    return 0;
}
