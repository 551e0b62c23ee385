#include "tools/driver-host/host_asio.h"

#include "tools/driver-host/host_formats.h"

#include <algorithm>
#include <set>

namespace driverhost {

namespace {

struct SampleTypeRow {
    std::uint32_t code;
    AsioSampleLayout layout;
};

constexpr SampleTypeRow SampleTypes[] = {
    {asio_sample_type::Int16, {16, 16}},     {asio_sample_type::Int24Packed, {24, 24}},
    {asio_sample_type::Int32, {32, 32}},     {asio_sample_type::Int16In32, {16, 32}},
    {asio_sample_type::Int18In32, {18, 32}}, {asio_sample_type::Int20In32, {20, 32}},
    {asio_sample_type::Int24In32, {24, 32}},
};

} // namespace

std::optional<AsioSampleLayout> AsioLayoutOf(std::uint32_t sampleType) {
    for (const SampleTypeRow& row : SampleTypes)
        if (row.code == sampleType) return row.layout;
    return std::nullopt;
}

std::vector<std::uint32_t> DescriptorRates(const usbsim::FunctionDescription& description) {
    std::set<std::uint32_t> rates;
    for (const bool in : {false, true})
        for (const PinFormat& format : CandidateFormats(description, in)) rates.insert(format.rate);
    return {rates.begin(), rates.end()};
}

AsioOffer AskAsio(ossim::AsioClient& client, const std::vector<std::uint32_t>& rates) {
    AsioOffer offer;
    AsioChannels channels{};
    if (kernel::succeeded(
            client.control(ossim::asio::getChannels, {},
                           {reinterpret_cast<std::uint8_t*>(&channels), sizeof channels}))) {
        offer.outputs = channels.outputs;
        offer.inputs = channels.inputs;
    }
    offer.sampleTypes = client.sampleTypes();
    for (const std::uint32_t rate : rates)
        if (client.canSampleRate(rate)) offer.rates.push_back(rate);
    return offer;
}

std::optional<std::uint32_t> MatchSampleType(const AsioOffer& offer, std::uint16_t bits,
                                             std::uint16_t container) {
    std::optional<std::uint32_t> best;
    std::uint16_t bestContainer = 0;
    for (const std::uint32_t type : offer.sampleTypes) {
        const std::optional<AsioSampleLayout> layout = AsioLayoutOf(type);
        if (!layout || layout->bits != bits) continue;
        if (container != 0 && layout->container != container) continue;
        if (!best || (bestContainer != bits && layout->container < bestContainer)) {
            best = type;
            bestContainer = layout->container;
        }
    }
    return best;
}

std::string SampleTypeName(std::uint32_t sampleType) {
    const std::optional<AsioSampleLayout> layout = AsioLayoutOf(sampleType);
    std::string name = std::to_string(sampleType);
    if (!layout) return name;
    name += " (" + std::to_string(layout->bits) + " bits";
    if (layout->container != layout->bits) name += " in " + std::to_string(layout->container);
    return name + ")";
}

std::string DescribeAsio(const AsioOffer& offer, const std::string& indent) {
    std::string types;
    for (const std::uint32_t type : offer.sampleTypes)
        types += (types.empty() ? "" : ", ") + SampleTypeName(type);
    std::string rates;
    for (const std::uint32_t rate : offer.rates)
        rates += (rates.empty() ? "" : ", ") + std::to_string(rate);
    return indent + "channels: " + std::to_string(offer.outputs) + " out, " +
           std::to_string(offer.inputs) + " in\n" + indent +
           "sample types: " + (types.empty() ? "none" : types) + "\n" + indent +
           "rates: " + (rates.empty() ? "none" : rates + " Hz") + "\n";
}

} // namespace driverhost
