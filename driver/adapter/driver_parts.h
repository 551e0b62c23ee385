// What the driver starts each device with: the device models the adapter
// chooses from and the factory of the endpoints' wave miniports. The driver
// itself links default_driver_parts.cpp; a test program defines its own.
#pragma once

#include "driver/adapter/device_model_table.h"
#include "driver/engine/stream_engine.h"

struct DriverParts {
    DeviceModelTable models;
    WaveMiniportFactory waveFactory;
};

const DriverParts& ZovraghDriverParts();
