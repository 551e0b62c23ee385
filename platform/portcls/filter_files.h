// Filters opened as files from user mode: a create whose file name is "\"
// followed by a subdevice's name (its interfaces' reference string) opens
// that subdevice's filter on the file; property requests come as
// ks::IOCTL_KS_PROPERTY device controls on it; the close lets it go.
#pragma once

#include "platform/io/device_object.h"
#include "platform/io/irp.h"
#include "platform/kernel/status.h"

namespace portcls {

// Serves a create, close or device control on an adapter device and returns
// the status to complete it with (the byte count in irp->ioStatus).
// Creates: STATUS_OBJECT_NAME_NOT_FOUND for a name no subdevice has; device
// controls: STATUS_INVALID_DEVICE_REQUEST for another code or a file with no
// filter, STATUS_INVALID_PARAMETER for an input shorter than its identifier.
kernel::NTSTATUS serveFileRequest(io::DeviceObject* device, io::Irp* irp);

} // namespace portcls
