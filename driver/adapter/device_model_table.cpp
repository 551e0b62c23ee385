#include "driver/adapter/device_model_table.h"

bool NeedsProductCode(DeviceModelTable table, std::uint8_t protocol) {
    for (const DeviceModelRow& row : table)
        if (row.protocol == protocol && !row.productCode.empty()) return true;
    return false;
}

const DeviceModelRow* ChooseDeviceModel(DeviceModelTable table, std::uint8_t protocol,
                                        std::optional<std::u16string_view> productCode) {
    for (const DeviceModelRow& row : table) {
        if (row.protocol != protocol) continue;
        if (row.productCode.empty()) return &row;
        if (productCode && productCode->starts_with(row.productCode)) return &row;
    }
    return nullptr;
}
