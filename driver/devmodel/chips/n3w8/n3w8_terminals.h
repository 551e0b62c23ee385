// The N3W8 model's terminals. They ask the device nothing: the chip has no
// jack or type requests. An input terminal carries its one jack control,
// coded by its terminal type. Output terminal 3 plays as speakers, and, as
// the product offers them, headphones and S/PDIF: the chip routes its
// output by three registers, written for the type selected and once when
// the terminal is made, for the type the settings keep ("UACUnit" and the
// unit id).
#pragma once

#include "driver/devmodel/chips/n3w8/n3w8_entity_context.h"
#include "driver/devmodel/input_terminal.h"
#include "driver/devmodel/output_terminal.h"
#include "driver/engine/terminal_code_list.h"

#include <cstdint>
#include <span>

inline constexpr TerminalProtocol N3W8TerminalProtocol = {
    usb::AudioRelease::uac1, true, 0x81, 0x86, 0x81, true, false, 0, N3W8EntityTag};

class CN3W8InputTerminal : public CUacInputTerminal {
public:
    explicit CN3W8InputTerminal(kernel::IUnknown* outer)
        : CUacInputTerminal(outer, N3W8TerminalProtocol) {}

    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal, const N3W8EntityContext&) {
        return CUacInputTerminal::Parse(bytes, device, hal);
    }

protected:
    bool AsksDevice() const override { return false; }
};

class CN3W8OutputTerminal : public CUacOutputTerminal {
public:
    explicit CN3W8OutputTerminal(kernel::IUnknown* outer)
        : CUacOutputTerminal(outer, N3W8TerminalProtocol) {}

    // The types the product offers come with the context.
    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal, const N3W8EntityContext& context);
    // The chip set to the stored type; one output-type item per type, and
    // with several a terminal switch over them.
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;
    // Every output-type item re-reads; the last one is named.
    kernel::NTSTATUS OnDeviceChange(std::uint8_t selector, std::uint8_t channel,
                                    std::uint32_t* nodeId) override;

    kernel::NTSTATUS GetEndpointType(std::uint32_t* code) override;
    kernel::NTSTATUS GetEndpointTypeCount(std::uint32_t* count) override;
    kernel::NTSTATUS GetEndpointTypes(std::uint32_t room, std::uint32_t* codes) override;
    // A listed type is written to the chip (registers 2, 1, 0); when it
    // differs from the current one it becomes current and is persisted.
    // Any other: STATUS_UNSUCCESSFUL, nothing sent.
    kernel::NTSTATUS SelectEndpointType(std::uint32_t code) override;
    kernel::NTSTATUS GetJackCount(std::uint32_t* count, std::uint32_t typeIndex) override;
    // The type's jacks, connected while it is current or while the
    // "SetJackConnect" setting says so; STATUS_INVALID_PARAMETER when the
    // buffer cannot hold them all.
    kernel::NTSTATUS GetJackDescriptions(std::uint32_t bytes, void* buffer,
                                         std::uint32_t typeIndex) override;

protected:
    bool AsksDevice() const override { return false; }

private:
    std::uint32_t JackCount(std::uint32_t code) const;
    kernel::NTSTATUS WriteChip(std::uint32_t code);
    // The type the terminal starts as: the stored one when offered, else
    // the first; the chip follows.
    kernel::NTSTATUS StartCurrentType();
    // Every output-type item re-reads its jacks; the last one, if any.
    IAudioNode* ReloadOutputTypes();

    // Speakers, headphones, S/PDIF as offered: the codes are the types.
    CTerminalCodeList m_Codes;
    bool m_bEightChannels = true;
    IChipRegisters* m_pRegisters = nullptr;
};
