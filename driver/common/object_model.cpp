#include "driver/common/object_model.h"

#include "platform/kernel/interlocked.h"

#include <cstring>

bool IsEqualId(const kernel::Guid& a, const kernel::Guid& b) {
    std::uint32_t left[4];
    std::uint32_t right[4];
    std::memcpy(left, &a, sizeof left);
    std::memcpy(right, &b, sizeof right);
    return left[0] == right[0] && left[1] == right[1] && left[2] == right[2] && left[3] == right[3];
}

CUnknown::CUnknown(kernel::IUnknown* outer)
    : m_pUnknownOuter(outer != nullptr ? outer : &m_OwnUnknown) {}

kernel::NTSTATUS CUnknown::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (IsEqualId(id, kernel::IID_IUnknown))
        return ReturnInterface(static_cast<kernel::IUnknown*>(&m_OwnUnknown), object);
    *object = nullptr;
    return kernel::STATUS_INVALID_PARAMETER;
}

std::uint32_t CUnknown::NonDelegatingAddRef() {
    return static_cast<std::uint32_t>(kernel::interlockedIncrement(m_lRefCount));
}

std::uint32_t CUnknown::NonDelegatingRelease() {
    const std::int32_t count = kernel::interlockedDecrement(m_lRefCount);
    if (count != 0) return static_cast<std::uint32_t>(count);
    kernel::interlockedExchange(m_lRefCount, 1);
    delete this;
    return 0;
}
