// A selector unit of either release: its sources are the descriptor's
// baSourceID list (bNrInPins at byte 4), its one control item the selector,
// and its current input (numbered from 1) lives on the device behind one
// request of the release.
#pragma once

#include "driver/devmodel/uac_entity.h"
#include "driver/devmodel/unit_faces.h"

#include <cstdint>
#include <span>

struct SelectorProtocol {
    usb::AudioRelease release;
    std::uint8_t subtype;
    std::uint8_t read;   // GET_CUR, or CUR read
    std::uint8_t write;  // SET_CUR, or CUR written
    std::uint16_t value; // wValue of both
    kernel::PoolTag tag;
};

class CSelectorUnit : public CForwardingUnknown<CUacEntity, ISelectorUnit> {
public:
    CSelectorUnit(kernel::IUnknown* outer, const SelectorProtocol& protocol)
        : CForwardingUnknown(outer), m_Protocol(protocol) {}
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    kernel::NTSTATUS Parse(std::span<const std::uint8_t> bytes, kernel::IUnknown* device,
                           CAudioHal* hal);
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override;

    kernel::NTSTATUS GetCurrentInput(std::uint32_t* input) override;
    // Inputs 1 to bNrInPins.
    kernel::NTSTATUS SetCurrentInput(std::uint32_t input) override;
    kernel::NTSTATUS GetInputCount(std::uint32_t* count) override;

private:
    bool HoldsSelector() const;

    const SelectorProtocol& m_Protocol;
};
