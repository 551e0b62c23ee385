// What the driver starts each device with: the factory of its adapter, the
// device models the adapter chooses from and the factory of the endpoints'
// wave miniports. The driver itself links default_driver_parts.cpp; a test
// program defines its own.
#pragma once

#include "driver/adapter/device_model_table.h"
#include "driver/engine/stream_engine.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

// The adapter's IUnknown with one reference; it answers IAudioHal.
using AdapterFactory = kernel::NTSTATUS (*)(kernel::IUnknown** adapter, DeviceModelTable models);

struct DriverParts {
    DeviceModelTable models;
    WaveMiniportFactory waveFactory;
    AdapterFactory createAdapter;
};

const DriverParts& ZovraghDriverParts();
