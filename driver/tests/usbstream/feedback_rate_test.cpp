// The feedback parse: corrections of quantised values, rates, outliers and
// the doubling of a difference of exactly 500 / ms-per-transfer.
#include "driver/usbstream/feedback_rate.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<std::uint8_t> Packet(std::uint32_t raw, std::uint32_t bytes) {
    std::vector<std::uint8_t> packet(bytes);
    for (std::uint32_t i = 0; i < bytes; ++i) packet[i] = static_cast<std::uint8_t>(raw >> (8 * i));
    return packet;
}

TEST(FeedbackRateTest, QuantisedValuesAreCorrected) {
    struct Case {
        std::uint32_t raw; // as the device sends it
        std::uint32_t bytes;
        std::uint32_t value; // 16.16 after correction
    };
    const Case cases[] = {
        {2857216 / 4, 3, 2857376},   {0x0B0640, 3, 2890138},      {2922752 / 4, 3, 2922912},
        {5747456 / 4, 3, 5747512},   {5780224 / 4, 3, 5780280},   {5812992 / 4, 3, 5813048},
        {11527680 / 4, 3, 11527784}, {11560448 / 4, 3, 11560552}, {11593216 / 4, 3, 11593320},
        {357248, 4, 357172},         {361344, 4, 361268},         {365440, 4, 365364},
        {718400, 4, 718439},         {722496, 4, 722535},         {726592, 4, 726631},
        {1440864, 4, 1440973},       {1444960, 4, 1445069},       {1449056, 4, 1449165},
        {0x0C0000, 3, 0x300000},     {393216, 4, 393216},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FeedbackValue(Packet(c.raw, c.bytes), c.bytes), c.value) << c.raw;
}

TEST(FeedbackRateTest, ValuesBecomeRates) {
    EXPECT_EQ(FeedbackRate(2890138, 1), 44100u) << "44.1 kHz at full speed, exact";
    EXPECT_EQ(FeedbackRate(393216, 8), 48000u);
    EXPECT_EQ(FeedbackRate(393134, 8), 47989u) << "the fraction's share truncated";
}

TEST(FeedbackRateTest, TheMeasuredRateAveragesThePacketsNearNominal) {
    const FeedbackShape shape{4, 8, 48000, 10};
    struct Case {
        const char* name;
        std::vector<std::uint32_t> values; // 16.16 frames a microframe
        bool measured;
        std::uint32_t rate;
    };
    const Case cases[] = {
        {"all at nominal", {393216, 393216}, true, 48000},
        {"an outlier ignored", {393216, 393216 * 2}, true, 48000},
        {"all outliers change nothing", {393216 * 2, 1000}, false, 0},
        {"1000 Hz away is kept", {401408}, true, 49000},
        {"50 Hz above is doubled", {393626}, true, 48100},
        {"50 Hz below is doubled", {392807}, true, 47900},
        {"10 Hz below is not", {393134}, true, 47989},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> buffer;
        std::vector<std::uint32_t> lengths;
        for (std::uint32_t value : c.values) {
            const std::vector<std::uint8_t> packet = Packet(value, 4);
            buffer.insert(buffer.end(), packet.begin(), packet.end());
            lengths.push_back(4);
        }
        std::uint32_t rate = 0;
        EXPECT_EQ(MeasureFeedbackRate(shape, buffer, lengths, &rate), c.measured) << c.name;
        EXPECT_EQ(rate, c.rate) << c.name;
    }
}

TEST(FeedbackRateTest, AShortPacketCarriesNoValue) {
    const std::vector<std::uint8_t> buffer = Packet(393216, 4);
    std::uint32_t rate = 0;
    const std::uint32_t lengths[] = {3};
    EXPECT_FALSE(MeasureFeedbackRate({4, 8, 48000, 10}, buffer, lengths, &rate));
}

} // namespace
