#include "platform/io/file_object.h"

#include "platform/kernel/pool.h"

#include <cstring>
#include <new>

namespace io {
namespace {

constexpr kernel::PoolTag fileTag = kernel::poolTag("File");

} // namespace

struct FileObjectAccess {
    static FileObject* make(void* block, DeviceObject& device, kernel::UnicodeString name) {
        return new (block) FileObject(device, name);
    }
};

FileObject::FileObject(DeviceObject& device, kernel::UnicodeString fileName)
    : device_(&device), fileName_(fileName) {
    referenceDevice(device_);
}

FileObject::~FileObject() { dereferenceDevice(device_); }

kernel::NTSTATUS createFileObject(DeviceObject* device, const kernel::UnicodeString& fileName,
                                  FileObject** file) {
    if (device == nullptr || file == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *file = nullptr;
    // The name's characters follow the object in its block.
    const std::size_t nameOffset = (sizeof(FileObject) + 1) & ~std::size_t{1};
    void* block = kernel::allocatePool(kernel::PoolType::NonPagedNx,
                                       nameOffset + fileName.length + sizeof(char16_t), fileTag);
    if (block == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* characters = reinterpret_cast<char16_t*>(static_cast<std::uint8_t*>(block) + nameOffset);
    if (fileName.length != 0) std::memcpy(characters, fileName.buffer, fileName.length);
    characters[fileName.length / 2] = u'\0';
    const kernel::UnicodeString copy{static_cast<std::uint16_t>(fileName.length & ~1u),
                                     static_cast<std::uint16_t>(fileName.length & ~1u), characters};
    *file = FileObjectAccess::make(block, *device, copy);
    return kernel::STATUS_SUCCESS;
}

} // namespace io
