#include "sim/mixcore/mixcore_api.h"
#include "sim/mixcore/mixcore_world.h"
#include "sim/mixcore/property_control.h"

#include <string>

using mixcoresim::DeviceInfo;
using mixcoresim::World;

namespace {

using Lock = std::lock_guard<std::mutex>;

// Entries that only answer: logged with their arguments, result 0.
std::int32_t accepted(const std::string& call) {
    World& w = mixcoresim::world();
    Lock lock(w.mutex);
    w.note(call + " =0");
    return mixcoresim::kOk;
}

std::string bytes(std::initializer_list<std::uint8_t> values) {
    std::string out;
    for (std::uint8_t v : values) out += ' ' + std::to_string(v);
    return out;
}

} // namespace

extern "C" {

std::int32_t ConfLibInit(void) {
    World& w = mixcoresim::world();
    Lock lock(w.mutex);
    w.note("ConfLibInit =" + std::to_string(w.initResult));
    return w.initResult;
}

std::int32_t ConfLibUnInit(void) { return accepted("ConfLibUnInit"); }

std::int32_t CreateDeviceList(void) { return accepted("CreateDeviceList"); }

std::int32_t GetDeviceCount(std::int32_t flow, std::uint32_t* count) {
    World& w = mixcoresim::world();
    Lock lock(w.mutex);
    std::int32_t result = mixcoresim::kOk;
    if (flow != 0 && flow != 1) {
        result = mixcoresim::kUnknown;
    } else if (!count) {
        result = mixcoresim::kBadArgument;
    } else if (w.failingCounts[flow] > 0) {
        --w.failingCounts[flow];
        result = mixcoresim::kUnknown;
    } else {
        *count = w.counts[flow];
    }
    w.note("GetDeviceCount " + std::to_string(flow) + ' ' +
           (result == 0 ? std::to_string(*count) : std::string("-")) + " =" +
           std::to_string(result));
    return result;
}

std::int32_t GetDeviceById(std::int32_t flow, std::int32_t index, std::uint32_t info[4]) {
    World& w = mixcoresim::world();
    Lock lock(w.mutex);
    DeviceInfo device{};
    std::int32_t result = mixcoresim::kOk;
    if (!info)
        result = mixcoresim::kBadArgument;
    else if (!w.deviceAt(flow, index, device))
        result = mixcoresim::kUnknown;
    else
        for (int i = 0; i < 4; ++i) info[i] = device[i];
    w.note("GetDeviceById " + std::to_string(flow) + ' ' + std::to_string(index) + " =" +
           std::to_string(result));
    return result;
}

std::int32_t PropertyControl(std::uint32_t word0, std::uint32_t, std::uint32_t, std::uint32_t,
                             const char16_t* name, void** data, void** selector,
                             std::int32_t direction) {
    World& w = mixcoresim::world();
    Lock lock(w.mutex);
    return mixcoresim::controlProperty(w, word0, name, data, selector, direction);
}

std::int32_t RGBI2CMode(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return accepted("RGBI2CMode" + bytes({a, b, c, d}));
}
std::int32_t InitializeSMB(void) { return accepted("InitializeSMB"); }
std::int32_t ShutdownSMB(void) { return accepted("ShutdownSMB"); }
std::int32_t SetPattern(std::uint8_t pattern, std::uint8_t speed) {
    return accepted("SetPattern" + bytes({pattern, speed}));
}
std::int32_t SetRGB(std::uint8_t zone, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    return accepted("SetRGB" + bytes({zone, red, green, blue}));
}
std::int32_t OnTimerApp(void) { return accepted("OnTimerApp"); }
std::int32_t CheckSPD(void) { return accepted("CheckSPD"); }
std::int32_t SaveToMCU(void) { return accepted("SaveToMCU"); }
std::int32_t RegisterCallbackFunction(void*) { return accepted("RegisterCallbackFunction"); }
std::int32_t ShowAsioPanel(void) { return accepted("ShowAsioPanel"); }
std::int32_t PlayTestSound(void) { return accepted("PlayTestSound"); }
std::int32_t StopTestSound(void) { return accepted("StopTestSound"); }
std::int32_t CloseTestSound(void) { return accepted("CloseTestSound"); }

} // extern "C"
