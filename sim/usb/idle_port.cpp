#include "sim/usb/idle_port.h"

#include "platform/kernel/check.h"

namespace usbsim {

IdlePort::IdlePort() : m_item(kernel::allocateWorkItem()) {
    kernel::check(m_item != nullptr, "the idle port has no work item");
}

IdlePort::~IdlePort() {
    bool used = false;
    {
        const std::lock_guard guard(m_lock);
        used = m_itemUsed;
    }
    // The routine may still be returning after its last look at this object.
    if (used) kernel::drainWorkItems();
    if (m_item != nullptr) kernel::freeWorkItem(m_item);
}

void IdlePort::setSupported(bool supported) {
    const std::lock_guard guard(m_lock);
    m_supported = supported;
}

kernel::NTSTATUS IdlePort::arrive(io::Irp* irp, const io::IoStackLocation& location) {
    const auto& parameters = location.parameters.deviceIoControl;
    const auto* info = static_cast<const usb::IdleCallbackInfo*>(parameters.type3InputBuffer);
    const std::lock_guard guard(m_lock);
    if (!m_supported) return kernel::STATUS_NOT_SUPPORTED;
    if (info == nullptr || parameters.inputBufferLength < sizeof(usb::IdleCallbackInfo) ||
        info->callback == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    if (m_request != nullptr) return kernel::STATUS_DEVICE_BUSY;
    // The record is the sender's, and freed when the request ends: keep a copy.
    m_callback = *info;
    m_request = irp;
    ++m_serial;
    m_state = State::waiting;
    return kernel::STATUS_PENDING;
}

bool IdlePort::suspend(io::Irp* irp) {
    const std::lock_guard guard(m_lock);
    if (irp != m_request || m_state != State::waiting || irp->cancelled()) return false;
    m_state = State::deciding;
    // A routine queued or running picks the decision up; it is never queued twice.
    if (m_item != nullptr && !m_itemBusy) {
        m_itemBusy = true;
        m_itemUsed = true;
        kernel::queueWorkItem(*m_item, callBack, this);
    }
    return true;
}

void IdlePort::callBack(void* context) {
    IdlePort& port = *static_cast<IdlePort*>(context);
    std::unique_lock lock(port.m_lock);
    while (port.m_state == State::deciding) {
        const usb::IdleCallbackInfo callback = port.m_callback;
        const std::uint64_t serial = port.m_serial;
        port.m_state = State::calling;
        ++port.m_callbacks;
        lock.unlock();
        callback.callback(callback.context);
        lock.lock();
        // Unless the request ended, or resumes, while the callback ran.
        if (port.m_state == State::calling && port.m_serial == serial)
            port.m_state = State::suspended;
    }
    port.m_itemBusy = false;
}

io::Irp* IdlePort::resume() {
    const std::lock_guard guard(m_lock);
    if (m_request == nullptr || m_state == State::resuming) return nullptr;
    m_state = State::resuming;
    return m_request;
}

void IdlePort::ended(io::Irp* irp) {
    const std::lock_guard guard(m_lock);
    if (irp != m_request) return;
    m_request = nullptr;
    m_state = State::none;
}

bool IdlePort::suspended() const {
    const std::lock_guard guard(m_lock);
    return m_state == State::suspended;
}

int IdlePort::callbacks() const {
    const std::lock_guard guard(m_lock);
    return m_callbacks;
}

} // namespace usbsim
