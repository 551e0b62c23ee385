#include "driver/devmodel/chips/uac1_chip_device.h"

kernel::NTSTATUS CUac1ChipDevice::ParseDescriptors() {
    IUsbDevice* usb = UsbFaceOf(UsbDevice());
    if (usb == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    m_InfoRecord = {};
    kernel::NTSTATUS status = SetInfoMasks(*usb, m_InfoRecord);
    if (kernel::succeeded(status)) status = ParseInterfaces();
    if (kernel::succeeded(status)) status = AfterParse();
    return status;
}
