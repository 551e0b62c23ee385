#include "engine_test_doubles.h"

namespace engine_test {

kernel::NTSTATUS CTestNode::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    const kernel::NTSTATUS status = CAudioNode::NonDelegatingQueryInterface(id, object);
    if (kernel::succeeded(status) || object == nullptr) return status;
    if ((m_Faces & face::binding) != 0 && IsEqualId(id, IID_IStreamBinding))
        return ReturnInterface(static_cast<IStreamBinding*>(this), object);
    if ((m_Faces & face::captureControl) != 0 && IsEqualId(id, IID_ICaptureBoundControl))
        return ReturnInterface(static_cast<ICaptureBound*>(this), object);
    if ((m_Faces & face::captureSwitch) != 0 && IsEqualId(id, IID_ICaptureBoundSwitch))
        return ReturnInterface(static_cast<ICaptureBound*>(this), object);
    if ((m_Faces & face::render) != 0 && IsEqualId(id, IID_IRenderBoundControl))
        return ReturnInterface(static_cast<IRenderBoundControl*>(this), object);
    return status;
}

void CTestNode::Write(const std::string& what) {
    m_pLog->push_back(std::to_string(GetId()) + ":" + what);
}

kernel::NTSTATUS CTestNode::ApplyToDevice() {
    Write("apply");
    return applyStatus;
}
kernel::NTSTATUS CTestNode::Start() {
    Write("start");
    return kernel::STATUS_UNSUCCESSFUL; // the HAL goes on regardless
}
kernel::NTSTATUS CTestNode::Stop() {
    Write("stop");
    return kernel::STATUS_UNSUCCESSFUL;
}
kernel::NTSTATUS CTestNode::OnValueChanging(std::uint32_t newValue, std::uint32_t oldValue) {
    Write("changing " + std::to_string(newValue) + "<-" + std::to_string(oldValue));
    return bindingStatus;
}
kernel::NTSTATUS CTestNode::SetCurrentValue(std::uint32_t value) {
    Write("current " + std::to_string(value));
    return bindingStatus;
}
kernel::NTSTATUS CTestNode::SetOwnValue(std::uint32_t value) {
    Write("own " + std::to_string(value));
    return bindingStatus;
}
kernel::NTSTATUS CTestNode::SetBoundValue(std::uint32_t value) {
    Write("bound value " + std::to_string(value));
    return kernel::STATUS_SUCCESS;
}
kernel::NTSTATUS CTestNode::GetBoundValue(std::uint32_t* value) {
    *value = 0;
    return kernel::STATUS_SUCCESS;
}
kernel::NTSTATUS CTestNode::BindEngine(IStreamEngine* engine) {
    Write("bind " + static_cast<CTestEngine*>(engine)->Name());
    return kernel::STATUS_SUCCESS;
}
kernel::NTSTATUS CTestNode::SetRenderBoundValue(std::uint32_t value) {
    Write("render " + std::to_string(value));
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CTestEngine::GetEntity(std::uint32_t index, IAudioNode** entity) {
    if (index >= entities.size()) return kernel::STATUS_INVALID_PARAMETER;
    *entity = entities[index];
    return kernel::STATUS_SUCCESS;
}

} // namespace engine_test
