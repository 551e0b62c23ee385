// The models the driver ships, in the order they are tried. The chip models
// join this table as their factories land.
#include "driver/adapter/device_model_table.h"
#include "driver/devmodel/uac_device_create.h"

namespace {

constexpr DeviceModelRow DefaultRows[] = {
    {UacRelease2Protocol, {}, CreateUac2Device},
    {UacRelease1Protocol, {}, CreateUac1Device},
};

} // namespace

DeviceModelTable DefaultDeviceModelTable() { return DefaultRows; }
