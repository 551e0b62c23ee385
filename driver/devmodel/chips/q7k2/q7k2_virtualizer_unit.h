// The Q7K2 model's headphone virtualizer unit (vendor control 140): the
// block rendered binaurally into wet planes 0 and 1, raised by up to 6 dB
// through its wet limiter. Its two values, the room (0..2) and the table
// flag, are the virtualizer's and persist as "Unit07_0" and "Unit07_1".
#pragma once

#include "driver/devmodel/chips/q7k2/q7k2_unit.h"
#include "driver/usermode/topology_properties.h"
#include "driver/zurazuvera/common/VSH/vsh_effect.h"

#include <cstdint>
#include <memory>

class CQ7K2VirtualizerUnit : public CQ7K2Unit {
public:
    static constexpr float WetGainLimit = 2.0f; // +6 dB
    static constexpr std::uint32_t ValueCount = 2;
    static constexpr std::uint32_t RoomValue = 0;
    static constexpr std::uint32_t TableFlagValue = 1;
    static constexpr std::uint32_t MaxRoom = 2;

    CQ7K2VirtualizerUnit(kernel::IUnknown* outer, std::uint32_t id)
        : CQ7K2Unit(outer, id, Q7K2VirtualizerUnitIdentity, ValueCount, WetGainLimit) {}

    // The effect control, both plane sets, the limiters and the virtualizer
    // (headphone output, on), then the values: the virtualizer's own unless
    // persisted ones replace them (a persisted room outside 0..2 does not).
    // A refused allocation gives everything back and fails with
    // STATUS_INSUFFICIENT_RESOURCES.
    kernel::NTSTATUS Init(kernel::IUnknown* entity, std::uint8_t selector,
                          io::DeviceObject* settings);

    // first + count within the two values (else STATUS_INVALID_PARAMETER).
    kernel::NTSTATUS GetRecordParameters(std::uint32_t first, std::uint32_t count,
                                         std::uint32_t* values) override;
    // As above and at least one value; a room above 2 refuses the whole
    // call before anything changes. The virtualizer changes under the unit's
    // lock; the values persist after it.
    kernel::NTSTATUS SetRecordParameters(std::uint32_t first, std::uint32_t count,
                                         const std::uint32_t* values) override;

    // The limiters get the stream as float planes, the virtualizer its
    // channels and rate. STATUS_INSUFFICIENT_RESOURCES when the virtualizer
    // renders the format but memory is short (the stream does not start); a
    // format it cannot render goes to its bypass.
    kernel::NTSTATUS SetFormat(const ks::WaveFormatExtensible* format) override;
    kernel::NTSTATUS Flush() override { return Reset(); }

    const CVshEffect* Virtualizer() const { return m_pVirtualizer.get(); }
    const ks::WaveFormatExtensible& FloatFormat() const { return m_FloatFormat; }

protected:
    bool HasEffect() const override { return m_pVirtualizer != nullptr; }
    void RunEffect(float* const* wet, std::uint32_t channels, std::uint32_t frames) override;

private:
    bool CreateVirtualizer();
    void ReadPersistedValues();
    // The room to the set of the output mode in use, the flag to both sets,
    // each only where it differs.
    void ApplyRoom(std::uint32_t room);
    void ApplyTableFlag(std::uint32_t flag);

    std::unique_ptr<CVshEffect> m_pVirtualizer;
    std::uint32_t m_ulRoom = 0;
    std::uint32_t m_ulTableFlag = 0;
    ks::WaveFormatExtensible m_FloatFormat{};
};
