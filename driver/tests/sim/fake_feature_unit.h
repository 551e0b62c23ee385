// A feature unit whose device is a table: per selector the channel count,
// the range and one value per channel, with answers the test can turn into
// refusals. Every write is logged as "set <selector>/<channel>=<value>".
#pragma once

#include "driver/devmodel/feature_unit.h"
#include "platform/kernel/pool.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace devmodel_test {

inline constexpr kernel::PoolTag TestControlTag = kernel::poolTag("UA10");

// A feature unit descriptor of id 5 fed by entity 2.
inline const std::vector<std::uint8_t> FeatureUnitDescriptor = {0x09, 0x24, 0x06, 0x05, 0x02,
                                                                0x01, 0x03, 0x00, 0x00};

struct FakeControl {
    std::vector<std::int32_t> values; // one per channel
    std::int32_t maximum = 0;
    std::int32_t minimum = 0;
    std::int32_t resolution = 0;
    kernel::NTSTATUS setStatus = kernel::STATUS_SUCCESS;
    kernel::NTSTATUS getStatus = kernel::STATUS_SUCCESS;
};

class CFakeFeatureUnit : public CFeatureUnit {
public:
    using CFeatureUnit::CFeatureUnit;

    std::map<std::uint8_t, FakeControl> controls;
    std::vector<std::string> log;
    std::vector<std::uint8_t> order = {1, 2, 3, 4, 5, 7, 10, 12, 144};

    // A control has one channel element per value and no master element.
    std::size_t ElementCount(std::uint8_t selector) const override {
        const auto found = controls.find(selector);
        return found == controls.end() ? 0 : found->second.values.size() + 1;
    }
    std::uint32_t ElementBits(std::uint8_t selector, std::size_t index) const override {
        return index != 0 && index < ElementCount(selector) ? 1 : 0;
    }
    kernel::NTSTATUS CreateControls(CAudioHal* hal) override {
        return CreateFeatureControls(*hal, order, TestControlTag);
    }

    kernel::NTSTATUS GetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t* value) override {
        std::int32_t wide = 0;
        const kernel::NTSTATUS status = GetValue(selector, channel, &wide);
        if (kernel::succeeded(status)) *value = static_cast<std::uint8_t>(wide);
        return status;
    }
    kernel::NTSTATUS SetByte(std::uint8_t selector, std::uint32_t channel,
                             std::uint8_t value) override {
        return SetValue(selector, channel, value);
    }
    // Vendor selectors too, with no vendor map.
    kernel::NTSTATUS GetChannelCount(std::uint8_t selector, std::uint32_t* count) override {
        if (!HasControl(selector)) return kernel::STATUS_UNSUCCESSFUL;
        *count = static_cast<std::uint32_t>(controls[selector].values.size());
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t* value) override {
        FakeControl* control = Find(selector, channel);
        if (control == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        if (!kernel::succeeded(control->getStatus)) return control->getStatus;
        *value = control->values[channel];
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS SetValue(std::uint8_t selector, std::uint32_t channel,
                              std::int32_t value) override {
        FakeControl* control = Find(selector, channel);
        if (control == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        log.push_back("set " + std::to_string(selector) + "/" + std::to_string(channel) + "=" +
                      std::to_string(value));
        if (!kernel::succeeded(control->setStatus)) return control->setStatus;
        control->values[channel] = value;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetRange(std::uint8_t selector, std::int32_t* maximum, std::int32_t* minimum,
                              std::int32_t* resolution) override {
        if (!HasControl(selector)) return kernel::STATUS_INVALID_PARAMETER;
        const FakeControl& control = controls[selector];
        *maximum = control.maximum;
        *minimum = control.minimum;
        *resolution = control.resolution;
        return kernel::STATUS_SUCCESS;
    }

private:
    FakeControl* Find(std::uint8_t selector, std::uint32_t channel) {
        auto found = controls.find(selector);
        if (found == controls.end() || channel >= found->second.values.size()) return nullptr;
        return &found->second;
    }
};

} // namespace devmodel_test
