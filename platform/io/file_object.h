// File objects: one per open of a device, carrying the name that followed the
// device's own name when it was opened (a device interface's reference
// string, as "\HXASIOPrivateInterface") and two words of context that the
// driver owning the device keeps per open.
#pragma once

#include "platform/io/device_object.h"
#include "platform/kernel/object.h"
#include "platform/kernel/unicode_string.h"

namespace io {

class FileObject final : public kernel::Object {
public:
    DeviceObject* device() const { return device_; }
    const kernel::UnicodeString& fileName() const { return fileName_; }

    void* fsContext = nullptr;
    void* fsContext2 = nullptr;

private:
    friend struct FileObjectAccess;
    FileObject(DeviceObject& device, kernel::UnicodeString fileName);
    ~FileObject() override;

    DeviceObject* const device_; // referenced while the file object lives
    const kernel::UnicodeString fileName_;
};

// Makes a file object on the device with a copy of the name; the caller owns
// one reference (kernel::dereferenceObject). STATUS_INSUFFICIENT_RESOURCES
// when the pool refuses it.
kernel::NTSTATUS createFileObject(DeviceObject* device, const kernel::UnicodeString& fileName,
                                  FileObject** file);

} // namespace io
