// The parts the driver ships: its own device models, the wave miniport and
// the USB audio adapter.
#include "driver/adapter/driver_parts.h"
#include "driver/adapter/usb_audio_adapter.h"
#include "driver/miniport/wave_miniport.h"

const DriverParts& ZovraghDriverParts() {
    static const DriverParts parts{DefaultDeviceModelTable(), CreateWaveMiniport,
                                   CreateUsbAudioAdapter};
    return parts;
}
