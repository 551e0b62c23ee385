#include "tools/driver-host/host_effects.h"

#include "driver/usermode/topology_properties.h"
#include "platform/ks/audio_properties.h"
#include "platform/ks/identifier.h"
#include "platform/ks/topology_ids.h"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace driverhost {
namespace {

struct EffectSet {
    const kernel::Guid* set;
    std::uint32_t info, count, parameterInfo;
};
constexpr EffectSet parameterSets[] = {
    {&PROPSETID_Parameters, PARAMETERS_INFO, PARAMETERS_COUNT, PARAMETERS_PARAMETER_INFO},
    {&PROPSETID_EffectUnit, EFFECTUNIT_INFO, EFFECTUNIT_COUNT, EFFECTUNIT_PARAMETER_INFO},
};

struct EffectNames {
    const char* name;
    const char* key;
};

EffectNames EffectName(const kernel::Guid& identity) {
    if (identity == T6L1EffectHostIdentity) return {"3D speaker virtualizer", "virtualizer"};
    if (identity == Q7K2VirtualizerUnitIdentity) return {"headphone virtualizer", "headphone"};
    if (identity == Q7K2EffectUnitIdentity) return {"reverberator", "reverb"};
    return {"effect", "effect"};
}

// Opens the device's first topology filter, as a user-mode program finds it
// by its category; false when the device has none that opens.
bool OpenTopologyFilter(ossim::SimulatedSystem& system, portcls::FilterHandle& filter) {
    for (const portcls::SubdeviceRecord& subdevice : system.host().subdevices(system.device()))
        if (std::count(subdevice.categories.begin(), subdevice.categories.end(),
                       ks::KSCATEGORY_TOPOLOGY) != 0 &&
            kernel::succeeded(system.host().openFilter(system.device(), subdevice.name, filter)))
            return true;
    return false;
}

class NodeAsker {
public:
    NodeAsker(ossim::SimulatedSystem& system, const portcls::FilterHandle& filter)
        : m_system(system), m_filter(filter) {}
    kernel::NTSTATUS get(const kernel::Guid& set, std::uint32_t id, std::uint32_t node,
                         void* instance, std::uint32_t instanceSize, void* value,
                         std::uint32_t valueSize) {
        return ask(ks::property_verb::get, set, id, node, instance, instanceSize, value, valueSize);
    }
    kernel::NTSTATUS set(const kernel::Guid& set, std::uint32_t id, std::uint32_t node,
                         void* instance, std::uint32_t instanceSize, void* value,
                         std::uint32_t valueSize) {
        return ask(ks::property_verb::set, set, id, node, instance, instanceSize, value, valueSize);
    }

private:
    kernel::NTSTATUS ask(std::uint32_t verb, const kernel::Guid& set, std::uint32_t id,
                         std::uint32_t node, void* instance, std::uint32_t instanceSize,
                         void* value, std::uint32_t valueSize) {
        return m_system.call([&] {
            std::uint32_t bytes = 0;
            return m_filter.property({set, id, verb}, node, instance, instanceSize, value,
                                     valueSize, &bytes);
        });
    }

    ossim::SimulatedSystem& m_system;
    const portcls::FilterHandle& m_filter;
};

std::string Ranges(NodeAsker& ask, const EffectSet& set, std::uint32_t node, std::uint32_t values,
                   std::vector<std::pair<std::int32_t, std::int32_t>>& bounds) {
    std::string text, last;
    std::uint32_t run = 0;
    const auto flush = [&] {
        if (run == 0) return;
        text += (text.empty() ? "" : ", ") + (run > 1 ? std::to_string(run) + " x " : "") + last;
    };
    for (std::uint32_t index = 0; index < values; ++index) {
        std::int32_t words[3] = {}; // maximum, minimum, step
        std::string range = "?";
        if (kernel::succeeded(
                ask.get(*set.set, set.parameterInfo, node, &index, sizeof index, words, 12)))
            range = std::to_string(words[1]) + ".." + std::to_string(words[0]);
        else // undescribed: the control itself is left to refuse what it cannot take
            words[0] = INT32_MAX, words[1] = INT32_MIN;
        bounds.emplace_back(words[1], words[0]);
        if (range == last) {
            ++run;
            continue;
        }
        flush();
        last = range;
        run = 1;
    }
    flush();
    // A control that describes none of its values gives no ranges.
    return text.find_first_not_of("0123456789 x?,") == std::string::npos ? "" : text;
}

// Each value of the control, the effect unit's or the parameter set's way.
kernel::NTSTATUS SetValue(NodeAsker& ask, const EffectControl& control, std::uint32_t index,
                          std::int32_t value) {
    std::uint32_t instance[3] = {index, 1, static_cast<std::uint32_t>(value)};
    std::uint32_t reply = 0;
    return control.effectUnit ? ask.set(PROPSETID_EffectUnit, EFFECTUNIT_PARAMETERS, control.node,
                                        instance, sizeof instance, &reply, sizeof reply)
                              : ask.set(PROPSETID_Parameters, PARAMETERS_SET, control.node,
                                        instance, sizeof instance, &reply, sizeof reply);
}

std::optional<std::int32_t> GetValue(NodeAsker& ask, const EffectControl& control,
                                     std::uint32_t index) {
    std::uint32_t instance[2] = {index, 1};
    std::uint32_t reply[3] = {}; // size, count, the value
    const kernel::NTSTATUS status =
        control.effectUnit ? ask.get(PROPSETID_EffectUnit, EFFECTUNIT_PARAMETERS, control.node,
                                     instance, sizeof instance, reply, sizeof reply)
                           : ask.get(PROPSETID_Parameters, PARAMETERS_GET, control.node, instance,
                                     sizeof instance, reply, sizeof reply);
    if (!kernel::succeeded(status)) return std::nullopt;
    return static_cast<std::int32_t>(reply[2]);
}

std::optional<std::int32_t> ParseInteger(const std::string& text) {
    std::int32_t value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string Usable(const std::vector<EffectControl>& controls) {
    if (controls.empty()) return "this device has no effect controls";
    std::string text = "these would work:";
    for (const EffectControl& control : controls) text += " " + control.settings() + ";";
    text.pop_back();
    return text;
}

// One NAME=VALUE; the reason when it cannot be set.
bool ApplyOne(NodeAsker& ask, const std::vector<EffectControl>& controls,
              const std::string& setting, std::string& error) {
    const std::size_t equals = setting.find('=');
    const std::string name = setting.substr(0, equals);
    const std::string text = equals == std::string::npos ? "" : setting.substr(equals + 1);
    const std::size_t dot = name.find('.');
    const std::string key = name.substr(0, dot);
    const auto control = std::find_if(controls.begin(), controls.end(),
                                      [&key](const EffectControl& c) { return c.key == key; });
    error = "--effect " + setting + ": ";
    if (control == controls.end()) {
        error += controls.empty() ? Usable(controls)
                                  : "no effect control is called " + key + "; " + Usable(controls);
        return false;
    }
    if (dot == std::string::npos) {
        if (text != "on" && text != "off") {
            error += key + " is switched on or off; " + control->settings();
            return false;
        }
        const std::int32_t on = text == "on" ? 1 : 0;
        if (control->switchValue) {
            if (!kernel::succeeded(SetValue(ask, *control, *control->switchValue, on)) ||
                GetValue(ask, *control, *control->switchValue) != on) {
                error += "the " + control->name + " did not take it";
                return false;
            }
            return true;
        }
        std::uint32_t channel = 0, value = static_cast<std::uint32_t>(on), now = 0;
        if (!control->on ||
            !kernel::succeeded(ask.set(ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_DEV_SPECIFIC,
                                       control->node, &channel, sizeof channel, &value,
                                       sizeof value)) ||
            !kernel::succeeded(ask.get(ks::KSPROPSETID_Audio, ks::KSPROPERTY_AUDIO_DEV_SPECIFIC,
                                       control->node, &channel, sizeof channel, &now,
                                       sizeof now)) ||
            (now != 0) != (on != 0)) {
            error += "the " + control->name + " did not take it";
            return false;
        }
        return true;
    }
    const std::optional<std::int32_t> index = ParseInteger(name.substr(dot + 1));
    if (!index || *index < 0 || static_cast<std::uint32_t>(*index) >= control->values) {
        error += "the " + control->name + " has no value " + name.substr(dot + 1) + "; " +
                 control->settings();
        return false;
    }
    const auto [minimum, maximum] = control->bounds[static_cast<std::size_t>(*index)];
    const std::optional<std::int32_t> value = ParseInteger(text);
    if (!value || *value < minimum || *value > maximum) {
        error += name + " takes " + std::to_string(minimum) + ".." + std::to_string(maximum);
        return false;
    }
    const auto at = static_cast<std::uint32_t>(*index);
    const std::optional<std::int32_t> before = GetValue(ask, *control, at);
    if (!kernel::succeeded(SetValue(ask, *control, at, *value)) ||
        GetValue(ask, *control, at) != *value) {
        // The range, when the control describes one; else what it holds.
        const bool described = minimum != INT32_MIN || maximum != INT32_MAX;
        error += "the " + control->name + " refused it (" + name +
                 (described ? " takes " + std::to_string(minimum) + ".." + std::to_string(maximum)
                            : " describes no range") +
                 (before ? "; it holds " + std::to_string(*before) : std::string()) + ")";
        return false;
    }
    return true;
}

} // namespace

std::string EffectControl::settings() const {
    std::string text = key + "=on|off";
    if (values == 1) text += ", " + key + ".0=VALUE";
    if (values > 1) text += ", " + key + ".0.." + std::to_string(values - 1) + "=VALUE";
    return text;
}

std::vector<EffectControl> EffectControls(ossim::SimulatedSystem& system) {
    std::vector<EffectControl> controls;
    portcls::FilterHandle filter;
    if (OpenTopologyFilter(system, filter)) {
        const portcls::FilterDescriptor* descriptor = filter.descriptor();
        NodeAsker ask(system, filter);
        for (std::uint32_t node = 0; descriptor != nullptr && node < descriptor->NodeCount; ++node)
            for (const EffectSet& set : parameterSets) {
                std::uint32_t values = 0;
                if (!kernel::succeeded(
                        ask.get(*set.set, set.count, node, nullptr, 0, &values, sizeof values)))
                    continue;
                kernel::Guid identity{};
                ask.get(*set.set, set.info, node, nullptr, 0, &identity, sizeof identity);
                const EffectNames names = EffectName(identity);
                EffectControl control;
                control.node = node;
                control.name = names.name;
                control.key = names.key;
                control.effectUnit = &set == &parameterSets[1];
                control.values = values;
                control.ranges = Ranges(ask, set, node, values, control.bounds);
                if (identity == T6L1EffectHostIdentity && values > T6L1EffectOnOffValue)
                    control.switchValue = T6L1EffectOnOffValue;
                std::uint32_t channel = 0, on = 0;
                if (&set == &parameterSets[1] &&
                    kernel::succeeded(ask.get(ks::KSPROPSETID_Audio,
                                              ks::KSPROPERTY_AUDIO_DEV_SPECIFIC, node, &channel,
                                              sizeof channel, &on, sizeof on)))
                    control.on = on != 0;
                controls.push_back(std::move(control));
            }
    }
    return controls;
}

bool ApplyEffects(ossim::SimulatedSystem& system, const std::vector<std::string>& settings,
                  std::string& error) {
    if (settings.empty()) return true;
    const std::vector<EffectControl> controls = EffectControls(system);
    portcls::FilterHandle filter;
    if (OpenTopologyFilter(system, filter)) {
        NodeAsker ask(system, filter);
        for (const std::string& setting : settings)
            if (!ApplyOne(ask, controls, setting, error)) return false;
        return true;
    }
    error = "--effect " + settings.front() + ": this device has no effect controls";
    return false;
}

} // namespace driverhost
