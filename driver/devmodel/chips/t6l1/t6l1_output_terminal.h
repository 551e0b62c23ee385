// The T6L1 chip's speaker output terminal: a release-1 output terminal that
// asks the device nothing and carries the chip's speaker virtualizer
// (CT6L1EffectHost) as its last item. It plays as speakers (or headphones)
// and optionally S/PDIF, as the model's walk tells it; only the speaker
// type has a jack. The selected type persists as "UACUnit" and the unit id.
#pragma once

#include "driver/devmodel/output_terminal.h"

#include <cstdint>
#include <span>

class CT6L1OutputTerminal : public CUac1OutputTerminal {
public:
    static constexpr std::uint32_t MaxCodes = 8;

    using CUac1OutputTerminal::CUac1OutputTerminal;

    // headphones: the first type plays as headphones, not speakers; spdif:
    // S/PDIF is a second type.
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal, bool headphones = false, bool spdif = false);
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;

    kernel::NTSTATUS GetEndpointType(std::uint32_t* code) override;
    kernel::NTSTATUS GetEndpointTypeCount(std::uint32_t* count) override;
    kernel::NTSTATUS GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) override;
    // A listed code becomes current and persisted; any other:
    // STATUS_UNSUCCESSFUL, nothing changed.
    kernel::NTSTATUS SelectEndpointType(std::uint32_t code) override;
    kernel::NTSTATUS GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) override;
    // The speaker jack, connected while speakers are current or while the
    // "SetJackConnect" setting says so.
    kernel::NTSTATUS GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                         std::uint32_t typeIndex) override;

protected:
    bool AsksDevice() const override { return false; }

private:
    std::uint32_t m_Codes[MaxCodes] = {};
    std::uint32_t m_ulCodeCount = 0;
    std::uint32_t m_ulCurrentCode = 0;
};
