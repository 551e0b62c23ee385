// The parts the driver ships: its own device models and the wave miniport.
#include "driver/adapter/driver_parts.h"
#include "driver/miniport/wave_miniport.h"

const DriverParts& ZovraghDriverParts() {
    static const DriverParts parts{DefaultDeviceModelTable(), CreateWaveMiniport};
    return parts;
}
