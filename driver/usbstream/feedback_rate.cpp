#include "driver/usbstream/feedback_rate.h"

namespace {

constexpr std::uint32_t HighSpeedPacketBytes = 4;
constexpr std::uint32_t FullSpeedToSixteen = 4; // 10.14 to 16.16
constexpr std::uint32_t AcceptedDistance = 1000;
constexpr std::uint32_t DoublingSpan = 500;

struct Correction {
    std::uint32_t value;
    std::int32_t change;
};

// Values a device's 10.14 and 16.16 quantisation gives for common rates,
// and the change that makes them exact.
constexpr Correction FullSpeedCorrections[] = {
    {2857216, 160}, {2889984, 154},  {2922752, 160},  {5747456, 56},   {5780224, 56},
    {5812992, 56},  {11527680, 104}, {11560448, 104}, {11593216, 104},
};
constexpr Correction HighSpeedCorrections[] = {
    {357248, -76}, {361344, -76},  {365440, -76},  {718400, 39},   {722496, 39},
    {726592, 39},  {1440864, 109}, {1444960, 109}, {1449056, 109},
};

std::uint32_t Corrected(std::uint32_t value, std::span<const Correction> table) {
    for (const Correction& row : table)
        if (row.value == value) return static_cast<std::uint32_t>(std::int64_t{value} + row.change);
    return value;
}

} // namespace

std::uint32_t FeedbackValue(std::span<const std::uint8_t> packet, std::uint32_t packetBytes) {
    std::uint32_t raw = 0;
    for (std::uint32_t i = 0; i < packetBytes && i < packet.size(); ++i)
        raw |= std::uint32_t{packet[i]} << (8 * i);
    if (packetBytes == HighSpeedPacketBytes) return Corrected(raw, HighSpeedCorrections);
    return Corrected(raw * FullSpeedToSixteen, FullSpeedCorrections);
}

std::uint32_t FeedbackRate(std::uint32_t value, std::uint32_t packetsPerMillisecond) {
    const std::uint64_t packetsPerSecond = std::uint64_t{packetsPerMillisecond} * 1000;
    const std::uint64_t whole = (value >> 16) * packetsPerSecond;
    const std::uint64_t fraction = ((value & 0xFFFFu) * packetsPerSecond) >> 16;
    return static_cast<std::uint32_t>(whole + fraction);
}

bool MeasureFeedbackRate(const FeedbackShape& shape, std::span<const std::uint8_t> buffer,
                         std::span<const std::uint32_t> lengths, std::uint32_t* measured) {
    std::uint64_t sum = 0;
    std::uint32_t kept = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const std::size_t offset = i * shape.packetBytes;
        // A packet shorter than its format carries no value.
        if (lengths[i] < shape.packetBytes || offset + shape.packetBytes > buffer.size()) continue;
        const std::uint32_t rate = FeedbackRate(
            FeedbackValue(buffer.subspan(offset, shape.packetBytes), shape.packetBytes),
            shape.packetsPerMillisecond);
        const std::uint32_t distance =
            rate > shape.nominalRate ? rate - shape.nominalRate : shape.nominalRate - rate;
        if (distance > AcceptedDistance) continue;
        sum += rate;
        ++kept;
    }
    if (kept == 0) return false;
    std::int64_t average = static_cast<std::int64_t>(sum / kept);
    const std::int64_t difference = average - shape.nominalRate;
    const std::int64_t doubling =
        shape.millisecondsPerTransfer != 0 ? DoublingSpan / shape.millisecondsPerTransfer : 0;
    if (doubling != 0 && (difference == doubling || difference == -doubling)) average += difference;
    *measured = static_cast<std::uint32_t>(average);
    return true;
}
