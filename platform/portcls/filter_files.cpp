#include "platform/portcls/filter_files.h"

#include "platform/io/file_object.h"
#include "platform/io/io_control_code.h"
#include "platform/ks/identifier.h"
#include "platform/portcls/adapter_device.h"
#include "platform/portcls/port_object.h"

#include <cstring>

namespace portcls {
namespace {

static_assert(ks::IOCTL_KS_PROPERTY ==
              io::controlCode(0x2F, 0, io::TransferMethod::Buffered, io::controlAccess::any));

kernel::NTSTATUS openFilterFile(io::DeviceObject* device, io::FileObject* file) {
    const std::u16string_view name = file->fileName().view();
    if (name.size() < 2 || name.front() != u'\\') return kernel::STATUS_OBJECT_NAME_NOT_FOUND;
    Port* port = nullptr;
    const kernel::NTSTATUS status = findSubdevicePort(device, name.substr(1), &port);
    if (kernel::succeeded(status)) file->fsContext = port;
    return status;
}

void closeFilterFile(io::FileObject* file) {
    if (file->fsContext == nullptr) return;
    static_cast<Port*>(file->fsContext)->Release();
    file->fsContext = nullptr;
}

// The input is the identifier (with the node when the verb names one) and
// the instance; the value travels back in the same system buffer.
kernel::NTSTATUS propertyControl(Port* port, io::Irp* irp,
                                 const io::IoStackLocation::Parameters::DeviceIoControl& control) {
    const std::uint32_t inputLength = control.inputBufferLength;
    if (inputLength < sizeof(ks::Identifier)) return kernel::STATUS_INVALID_PARAMETER;
    auto* buffer = static_cast<unsigned char*>(irp->systemBuffer);
    ks::Identifier property;
    std::memcpy(&property, buffer, sizeof property);
    std::uint32_t node = nodeNone;
    std::uint32_t head = sizeof(ks::Identifier);
    if ((property.Flags & ks::property_verb::topology) != 0) {
        if (inputLength < sizeof(ks::NodeProperty)) return kernel::STATUS_INVALID_PARAMETER;
        std::memcpy(&node, buffer + offsetof(ks::NodeProperty, NodeId), sizeof node);
        head = sizeof(ks::NodeProperty);
    }
    // The handler reads the instance from a copy, since the value may
    // overwrite the buffer it came in.
    std::vector<unsigned char> instance(buffer + head, buffer + inputLength);
    std::uint32_t returned = 0;
    const kernel::NTSTATUS status = port->property(
        property, node, instance.empty() ? nullptr : instance.data(),
        static_cast<std::uint32_t>(instance.size()),
        control.outputBufferLength != 0 ? buffer : nullptr, control.outputBufferLength, &returned);
    irp->ioStatus.information = returned;
    return status;
}

} // namespace

kernel::NTSTATUS serveFileRequest(io::DeviceObject* device, io::Irp* irp) {
    const io::IoStackLocation* location = io::currentStackLocation(irp);
    io::FileObject* file = location->fileObject;
    switch (location->majorFunction) {
    case io::major::Create:
        return file != nullptr ? openFilterFile(device, file) : kernel::STATUS_INVALID_PARAMETER;
    case io::major::Close:
        if (file != nullptr) closeFilterFile(file);
        return kernel::STATUS_SUCCESS;
    default:
        break;
    }
    const auto& control = location->parameters.deviceIoControl;
    if (file == nullptr || file->fsContext == nullptr ||
        control.ioControlCode != ks::IOCTL_KS_PROPERTY)
        return kernel::STATUS_INVALID_DEVICE_REQUEST;
    return propertyControl(static_cast<Port*>(file->fsContext), irp, control);
}

} // namespace portcls
