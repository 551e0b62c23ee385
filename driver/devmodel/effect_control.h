// The vendor effect control of a release-1 feature unit (selectors 139 and
// 140): an effect-record item whose enable byte is the device's on/off value
// on channel 0, cached and persisted under the unit value name ("Unit07_").
// It is also a DSP node, doing nothing itself: the effect units built on it
// take the byte over into the value in force at the next block (pending
// flag, then changed flag), and crossfade to the new set.
#pragma once

#include "driver/common/dsp_node.h"
#include "driver/devmodel/feature_unit_access.h"
#include "driver/effects/effect_switch.h"
#include "driver/engine/effect_record_item.h"
#include "platform/io/device_object.h"

#include <atomic>
#include <cstdint>

class CUacEffectControl : public CForwardingUnknown<CEffectRecordItem, IDspNode> {
public:
    CUacEffectControl(kernel::IUnknown* outer, std::uint32_t id, const kernel::Guid& identity = {},
                      std::uint32_t valueCount = 0)
        : CForwardingUnknown(outer, id), m_Identity(identity), m_ulValueCount(valueCount) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // The feature unit's switch access for the selector, the device's byte
    // (a persisted one replaces it), the record set up with the identity and
    // the value count, the id list the single entry 0. A byte that is on
    // is taken over by the first block.
    kernel::NTSTATUS InitEffectControl(kernel::IUnknown* entity, std::uint8_t selector,
                                       io::DeviceObject* settings);
    // How a feature unit creates the plain control.
    kernel::NTSTATUS Bind(kernel::IUnknown* unit, std::uint8_t selector,
                          io::DeviceObject* settings) {
        return InitEffectControl(unit, selector, settings);
    }

    // The device write; on success the byte is stored and persisted. Either
    // way the next block takes the byte over (the device's answer is
    // returned).
    kernel::NTSTATUS SetEnable(std::uint8_t enable) override;
    kernel::NTSTATUS GetEnable(std::uint8_t* enable) override;
    kernel::NTSTATUS ApplyToDevice() override { return SetEnable(m_bValue.load()); }
    kernel::NTSTATUS ReadFromDevice() override;

    // Under the unit's lock: a pending byte becomes the value in force.
    void ApplyPendingValue();

    kernel::NTSTATUS GetParameter(const kernel::Guid&, void*, std::uint32_t) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS SetParameter(const kernel::Guid&, const void*, std::uint32_t) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS SetFormat(const ks::WaveFormatExtensible* format) override;
    kernel::NTSTATUS Reset() override { return kernel::STATUS_SUCCESS; }
    kernel::NTSTATUS Process(const ks::WaveFormatExtensible*, void*, std::uint32_t) override {
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS Flush() override { return kernel::STATUS_SUCCESS; }

    std::uint8_t Value() const { return m_bValue.load(); }
    std::uint32_t SampleRate() const { return m_Format.Format.nSamplesPerSec; }
    CEffectSwitch& Switch() { return m_Switch; }

protected:
    // The byte is stored before the pending flag is raised, and that before
    // the changed flag, so a block in between never takes an old byte.
    void AnnounceValue(std::uint8_t value);
    kernel::NTSTATUS PersistValue();
    // The record's value list's name prefix: "Unit", the node id, "_".
    io::DeviceObject* Settings() const { return m_pSettings; }
    std::uint32_t ValueCount() const { return m_ulValueCount; }
    const ks::WaveFormatExtensible& FormatCopy() const { return m_Format; }

    CEffectSwitch m_Switch;

private:
    const kernel::Guid m_Identity;
    const std::uint32_t m_ulValueCount;
    IFeatureUnitSwitch* m_pAccess = nullptr;
    std::uint8_t m_Selector = 0;
    io::DeviceObject* m_pSettings = nullptr;
    std::atomic<std::uint8_t> m_bValue{0};
    std::atomic<std::int32_t> m_lPending{0};
    ks::WaveFormatExtensible m_Format{};
};
