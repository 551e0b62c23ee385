#include "sim/mixcore/mixcore_sim.h"
#include "sim/mixcore/mixcore_world.h"
#include "sim/mixcore/property_control.h"
#include "sim/mixcore/property_table.h"

#include <algorithm>
#include <cstring>

using mixcoresim::World;

namespace {

using Lock = std::lock_guard<std::mutex>;

template <typename Use> void locked(Use use) {
    World& w = mixcoresim::world();
    Lock lock(w.mutex);
    use(w);
}

bool validFlow(std::int32_t flow) { return flow == 0 || flow == 1; }

} // namespace

extern "C" {

void MixcoreSim_reset(void) {
    locked([](World& w) { w.reset(); });
}

void MixcoreSim_setCounts(std::uint32_t render, std::uint32_t capture) {
    locked([&](World& w) { w.counts = {render, capture}; });
}

void MixcoreSim_setDevice(std::int32_t flow, std::int32_t index, const std::uint32_t info[4]) {
    if (!validFlow(flow) || index < 0 || !info) return;
    locked([&](World& w) { w.devices[{flow, index}] = {info[0], info[1], info[2], info[3]}; });
}

void MixcoreSim_failNextCounts(std::int32_t flow, std::uint32_t times) {
    if (!validFlow(flow)) return;
    locked([&](World& w) { w.failingCounts[flow] = times; });
}

void MixcoreSim_setInitResult(std::int32_t result) {
    locked([&](World& w) { w.initResult = result; });
}

void MixcoreSim_setText(std::uint32_t word0, const char* name, const std::int32_t* selector,
                        std::uint32_t selectorWords, const char* text) {
    if (!name || !text || (selectorWords && !selector)) return;
    // Keyed as the library keys a call: by the words the property looks at.
    const mixcoresim::PropertyDef* def = mixcoresim::findProperty(name);
    const std::uint32_t keyWords =
        def ? std::min<std::uint32_t>(selectorWords, def->selectorWords) : selectorWords;
    mixcoresim::PropertyKey key{word0, name, {selector, selector + keyWords}};
    locked([&](World& w) { w.store[key] = mixcoresim::widen(text); });
}

void MixcoreSim_failName(const char* name) {
    if (!name) return;
    locked([&](World& w) { w.failedNames.insert(name); });
}

std::size_t MixcoreSim_callLog(char* buffer, std::size_t capacity) {
    std::size_t length = 0;
    locked([&](World& w) {
        length = w.log.size();
        if (!buffer || capacity == 0) return;
        const std::size_t copied = std::min(length, capacity - 1);
        std::memcpy(buffer, w.log.data(), copied);
        buffer[copied] = 0;
    });
    return length;
}

void MixcoreSim_clearLog(void) {
    locked([](World& w) { w.log.clear(); });
}

} // extern "C"
