#include "driver/devmodel/parameter_control.h"

bool CUacParameterControl::IsParameterRange(std::uint32_t first, std::uint32_t count) {
    std::uint32_t parameters = 0;
    GetParameterCount(&parameters);
    return first <= parameters && count <= parameters - first;
}

IEffectParameters* CUacParameterControl::OwnerParameters() {
    if (m_pOwner == nullptr) return nullptr;
    void* found = nullptr;
    if (!kernel::succeeded(m_pOwner->QueryInterface(IID_IEffectParameters, &found))) return nullptr;
    auto* parameters = static_cast<IEffectParameters*>(found);
    if (parameters == static_cast<IEffectParameters*>(this)) {
        parameters->Release();
        return nullptr;
    }
    return parameters;
}

kernel::NTSTATUS CUacParameterControl::GetParameters(std::uint32_t first, std::uint32_t count,
                                                     std::uint32_t* values) {
    if (!IsParameterRange(first, count)) return kernel::STATUS_INVALID_PARAMETER;
    IEffectParameters* owner = OwnerParameters();
    if (owner == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const kernel::NTSTATUS status = owner->GetParameters(first, count, values);
    owner->Release();
    return status;
}

kernel::NTSTATUS CUacParameterControl::SetParameters(std::uint32_t first, std::uint32_t count,
                                                     const std::uint32_t* values) {
    if (!IsParameterRange(first, count)) return kernel::STATUS_INVALID_PARAMETER;
    IEffectParameters* owner = OwnerParameters();
    if (owner == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const kernel::NTSTATUS status = owner->SetParameters(first, count, values);
    owner->Release();
    return status;
}

kernel::NTSTATUS CUacParameterControl::GetParameterInfo(std::uint32_t index, std::uint32_t* maximum,
                                                        std::uint32_t* minimum,
                                                        std::uint32_t* step) {
    if (!IsParameterRange(index, 1)) return kernel::STATUS_INVALID_PARAMETER;
    IEffectParameters* owner = OwnerParameters();
    if (owner == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    const kernel::NTSTATUS status = owner->GetParameterInfo(index, maximum, minimum, step);
    owner->Release();
    return status;
}
