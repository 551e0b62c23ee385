#include "driver/devmodel/terminal_tables.h"

#include "platform/usb/little_endian.h"

namespace {

struct EndpointCodes {
    std::uint16_t first; // terminal types first to last share the row
    std::uint16_t last;
    std::uint32_t output;
    std::uint32_t inputKind;
    std::uint32_t input;
};

constexpr EndpointCodes Rows[] = {
    {0x0101, 0x0101, 0, 6, 0},    {0x0201, 0x0201, 1, 7, 7},  {0x0202, 0x0202, 1, 11, 7},
    {0x0203, 0x0206, 1, 6, 7},    {0x0302, 0x0302, 2, 2, 8},  {0x0401, 0x0401, 13, 13, 13},
    {0x0402, 0x0402, 14, 14, 14}, {0x0403, 0x0405, 1, 6, 15}, {0x0601, 0x0601, 6, 6, 8},
    {0x0603, 0x0603, 6, 6, 6},    {0x0605, 0x0605, 3, 3, 3},
};
constexpr EndpointCodes OtherTypes = {0, 0, 1, 6, 8};

const EndpointCodes& RowOf(std::uint16_t terminalType) {
    for (const EndpointCodes& row : Rows)
        if (terminalType >= row.first && terminalType <= row.last) return row;
    return OtherTypes;
}

constexpr std::uint32_t Colours[16] = {0,        0,        0x808080, 0x0000FF, 0x00FF00, 0xFF0000,
                                       0xFF8000, 0xFFFF00, 0x800080, 0xFF0080, 0,        0,
                                       0,        0,        0xFFFFFF, 0};

} // namespace

std::uint32_t OutputEndpointCode(std::uint16_t terminalType, bool streamingRow) {
    if (!streamingRow && terminalType == 0x0101) return OtherTypes.output;
    return RowOf(terminalType).output;
}

std::uint32_t InputEndpointKind(std::uint16_t terminalType) {
    return RowOf(terminalType).inputKind;
}

std::uint32_t InputEndpointCode(std::uint16_t terminalType) { return RowOf(terminalType).input; }

bool HasVisibleJacks(std::uint16_t terminalType) {
    return (terminalType >= 0x0201 && terminalType <= 0x0206) ||
           (terminalType >= 0x0401 && terminalType <= 0x0405) || terminalType == 0x0601 ||
           terminalType == 0x0603 || terminalType == 0x0605;
}

JackDescription JackFromEntry(std::span<const std::uint8_t, 8> entry, bool reportsPresence) {
    const std::uint32_t details = usb::readLittleEndian<4>(entry, 4);
    const bool alwaysConnected = (details >> 8 & 0xF) != 0;
    JackDescription jack{};
    jack.ChannelMapping = usb::readLittleEndian<4>(entry, 0);
    jack.Color = Colours[details >> 12 & 0xF];
    jack.ConnectionType = details >> 16 & 0xFF;
    jack.GeoLocation = details >> 24 & 0xF;
    jack.GenLocation = details >> 28 & 0xF;
    jack.IsConnected = alwaysConnected ? 1 : 0;
    jack.PresenceFlag = reportsPresence && !alwaysConnected ? 1 : 0;
    return jack;
}
