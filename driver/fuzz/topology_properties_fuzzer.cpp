// libFuzzer's entry for the topology filter's property requests.
#include "driver/fuzz/topology_properties_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return FuzzTopologyProperties(data, size);
}
