// The terminals of the maker's K7D2 and P9F4 chips: release-1 terminals
// that keep to their descriptors. They ask the device nothing: no jack
// list, no type list, no terminal switch. An input terminal has its jack
// control, an output terminal one output-type control for its own type,
// coded with a streaming terminal counted as a speaker.
#pragma once

#include "driver/devmodel/input_terminal.h"
#include "driver/devmodel/output_terminal.h"

class CChipInputTerminal : public CUac1InputTerminal {
public:
    using CUac1InputTerminal::CUac1InputTerminal;

protected:
    bool AsksDevice() const override { return false; }
};

class CChipOutputTerminal : public CUac1OutputTerminal {
public:
    using CUac1OutputTerminal::CUac1OutputTerminal;

    // Nothing to read from the device: the type items re-read themselves.
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;

protected:
    bool AsksDevice() const override { return false; }
    std::uint32_t OwnEndpointCode(std::uint16_t terminalType) const override {
        return OutputEndpointCode(terminalType, false);
    }
};

class CK7D2InputTerminal : public CChipInputTerminal {
    using CChipInputTerminal::CChipInputTerminal;
};
class CK7D2OutputTerminal : public CChipOutputTerminal {
    using CChipOutputTerminal::CChipOutputTerminal;
};
class CP9F4InputTerminal : public CChipInputTerminal {
    using CChipInputTerminal::CChipInputTerminal;
};
class CP9F4OutputTerminal : public CChipOutputTerminal {
    using CChipOutputTerminal::CChipOutputTerminal;
};
