// Every fixture, with the chip model it names, for tests that run over all
// of them.
#pragma once

#include "platform/usb/configuration.h"
#include "sim/usb/fixtures.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace usbsimtest {

struct FixtureCase {
    const char* name;
    usbsim::FunctionDescription (*make)();
    const char16_t* model;   // the text the model string begins with; null: none
    std::uint8_t modelIndex; // where it stands
};

inline void PrintTo(const FixtureCase& c, std::ostream* out) { *out << c.name; }

inline usbsim::FunctionDescription n3w8() { return usbsim::fixtures::n3w8Device(); }

inline constexpr char16_t kN3W8Code[] = {0x000B, 0x0005, 0x0050, 0};

inline const FixtureCase kFixtures[] = {
    {"Uac1Headset", usbsim::fixtures::uac1Headset, nullptr, 0},
    {"Uac2FeedbackDevice", usbsim::fixtures::uac2FeedbackDevice, nullptr, 0},
    {"N3W8", n3w8, kN3W8Code, usbsim::fixtures::modelStringIndex},
    {"K7D2", usbsim::fixtures::k7d2Device, u"K7D2", usbsim::fixtures::modelStringIndex},
    {"P9F4", usbsim::fixtures::p9f4Device, u"P9F4", usbsim::fixtures::fallbackModelStringIndex},
    {"T6L1", usbsim::fixtures::t6l1Device, u"HXR7D5B", usbsim::fixtures::modelStringIndex},
    {"Q7K2", usbsim::fixtures::q7k2Device, usbsim::fixtures::q7k2ProductCode.data(),
     usbsim::fixtures::fallbackModelStringIndex},
};

// The test name of a case.
inline std::string fixtureName(const testing::TestParamInfo<FixtureCase>& info) {
    return info.param.name;
}

// Setting 0 of interfaces 0, 1, 2... as many as the configuration declares:
// what a driver selects the configuration with. Fewer when one is missing.
inline std::vector<const usb::InterfaceDescriptor*>
firstSettings(const usb::ConfigurationView& view) {
    std::vector<const usb::InterfaceDescriptor*> interfaces;
    for (int number = 0; interfaces.size() < view.configuration()->bNumInterfaces; ++number) {
        const usb::InterfaceDescriptor* found =
            view.findInterface({.number = number, .alternateSetting = 0});
        if (found == nullptr) {
            ADD_FAILURE() << "no interface " << number;
            break;
        }
        interfaces.push_back(found);
    }
    return interfaces;
}

} // namespace usbsimtest
