// The models the driver ships, in the order they are tried: the chip models
// by their product codes before the generic models.
#include "driver/adapter/device_model_table.h"
#include "driver/devmodel/chips/chip_device_create.h"
#include "driver/devmodel/uac_device_create.h"

namespace {

constexpr DeviceModelRow DefaultRows[] = {
    {UacRelease2Protocol, {}, CreateUac2Device},
    {UacRelease1Protocol, N3W8ProductCode, CreateCUac1DeviceN3W8},
    {UacRelease1Protocol, K7D2ProductCode, CreateCUac1DeviceK7D2},
    {UacRelease1Protocol, P9F4ProductCode, CreateCUac1DeviceP9F4},
    {UacRelease1Protocol, T6L1ProductCode, CreateCUac1DeviceT6L1},
    {UacRelease1Protocol, Q7K2ProductCode, CreateCUac1DeviceQ7K2},
    {UacRelease1Protocol, {}, CreateUac1Device},
};

} // namespace

DeviceModelTable DefaultDeviceModelTable() { return DefaultRows; }
