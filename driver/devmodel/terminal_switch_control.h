// The terminal switch of an output terminal with several terminal types:
// selecting a code selects that type on the terminal, asks the device model
// to install the terminal's endpoints again under their new names, tells the
// followers and persists the code. Any failure on the way selects the
// previous type again.
#pragma once

#include "driver/engine/audio_hal.h"
#include "driver/engine/terminal_item.h"
#include "driver/engine/terminal_type_item.h"
#include "platform/io/device_object.h"

#include <cstdint>

class CUacTerminalSwitchControl : public CTerminalTypeItem {
public:
    using CTerminalTypeItem::CTerminalTypeItem;

    // The terminal's codes; the current one is the terminal's, or the one
    // persisted for this item when listed.
    kernel::NTSTATUS Bind(kernel::IUnknown* terminal, io::DeviceObject* settings, IAudioHal* hal);

    // The terminal's current code, which the item then keeps.
    kernel::NTSTATUS GetCurrentType(std::uint32_t* code) override;
    kernel::NTSTATUS SelectType(std::uint32_t code) override;
    kernel::NTSTATUS ApplyToDevice() override;
    // Takes over a code the terminal switched to by itself.
    kernel::NTSTATUS ReadFromDevice() override;

private:
    kernel::NTSTATUS AnnounceSwitch(std::uint32_t code);
    void Persist(std::uint32_t code);

    ITerminalInfo* m_pTerminal = nullptr; // the terminal holds the control
    io::DeviceObject* m_pSettings = nullptr;
    IAudioHal* m_pHal = nullptr; // the HAL holds the terminal
};
