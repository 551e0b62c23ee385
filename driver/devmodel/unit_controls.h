// The control items of selector units, mixer units and clock sources. Each
// fills its item from its entity when it binds and forwards changes to it.
#pragma once

#include "driver/devmodel/unit_faces.h"
#include "driver/engine/clock_item.h"
#include "driver/engine/mixer_item.h"
#include "driver/engine/selector_item.h"
#include "platform/io/device_object.h"

#include <cstdint>

// The selector's input: one input table entry per input of the unit; the
// current input from the device unless a persisted one replaces it, kept
// within 1 to the number of inputs.
class CUacSelectorControl : public CSelectorItem {
public:
    using CSelectorItem::CSelectorItem;
    kernel::NTSTATUS Bind(kernel::IUnknown* selector, io::DeviceObject* settings);
    // Selects on the unit; the item and the settings change only when the
    // unit took it.
    kernel::NTSTATUS SetCurrentInput(std::uint32_t input) override;
    kernel::NTSTATUS ApplyToDevice() override;
    kernel::NTSTATUS ReadFromDevice() override;

private:
    ISelectorUnit* m_pUnit = nullptr; // the unit holds the control
    io::DeviceObject* m_pSettings = nullptr;
};

// A mixer's input table: one zero entry per source of the unit, filled when
// the unit's sources are linked.
class CUacMixerControl : public CMixerItem {
public:
    using CMixerItem::CMixerItem;
    kernel::NTSTATUS Bind(IAudioNode* mixer);
};

// A clock source's discrete rates and the rate set on it.
class CUacClockControl : public CClockItem {
public:
    using CClockItem::CClockItem;
    kernel::NTSTATUS Bind(kernel::IUnknown* clock);
    kernel::NTSTATUS SetSampleRate(std::uint32_t rate) override;
    kernel::NTSTATUS GetClockValid(std::uint8_t* valid) override;

private:
    IClockSourceUnit* m_pClock = nullptr; // the clock source holds the control
};
