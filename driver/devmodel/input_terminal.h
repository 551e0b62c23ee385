// The input terminals of both releases: one jack control item carrying the
// terminal's endpoint type and the jacks the device lists for it. Release 2
// terminals also name their clock source.
#pragma once

#include "driver/devmodel/clock_source_link.h"
#include "driver/devmodel/uac_terminal.h"

#include <cstdint>

class CUacInputTerminal : public CUacTerminal {
public:
    using CUacTerminal::CUacTerminal;

    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
    // A jack change: the jack control re-reads and is named.
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;

    kernel::NTSTATUS GetEndpointType(std::uint32_t* code) override;
    kernel::NTSTATUS GetEndpointTypeCount(std::uint32_t* count) override;
    kernel::NTSTATUS GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) override;
    // Only the terminal's own code can be selected.
    kernel::NTSTATUS SelectEndpointType(std::uint32_t code) override;
    kernel::NTSTATUS GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) override;
    kernel::NTSTATUS GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                         std::uint32_t typeIndex) override;

protected:
    std::uint8_t Subtype() const override { return 2; }

private:
    CJackRecords m_Jacks;
};

class CUac1InputTerminal : public CUacInputTerminal {
public:
    explicit CUac1InputTerminal(kernel::IUnknown* outer)
        : CUacInputTerminal(outer, Uac1TerminalProtocol) {}
};

class CUac2InputTerminal : public CForwardingUnknown<CUacInputTerminal, IClockSourceLink> {
public:
    explicit CUac2InputTerminal(kernel::IUnknown* outer)
        : CForwardingUnknown(outer, Uac2InputTerminalProtocol) {}
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
    // Only a connector change (selector 2) of the whole terminal (channel 0).
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;
    kernel::NTSTATUS GetClockSourceId(std::uint32_t* id) override;
};
