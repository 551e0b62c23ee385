// The stream-binding face of the controls that act on a stream (software
// volume, linked mute): the graph connection gives each its own value and
// the value current on the engine; the control acts only while they match.
#pragma once

#include "driver/engine/stream_binding.h"

#include <cstdint>

class CStreamBoundValues : public IStreamBinding {
public:
    kernel::NTSTATUS OnValueChanging(std::uint32_t, std::uint32_t) override {
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS SetCurrentValue(std::uint32_t value) override {
        if (m_ulCurrent != value) m_ulCurrent = value;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS SetOwnValue(std::uint32_t value) override {
        m_ulOwn = value;
        return kernel::STATUS_SUCCESS;
    }
    bool IsCurrent() const { return m_ulOwn == m_ulCurrent; }

protected:
    ~CStreamBoundValues() = default;

private:
    volatile std::uint32_t m_ulOwn = 0;
    volatile std::uint32_t m_ulCurrent = 0;
};
