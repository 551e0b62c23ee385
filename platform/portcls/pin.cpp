#include "platform/portcls/pin.h"

#include "platform/portcls/port_object.h"

namespace portcls {

Pin::Pin(Port* port, std::uint32_t pinId) : port_(port), pinId_(pinId) { port_->AddRef(); }

Pin::~Pin() {
    detach();
    port_->Release();
}

void Pin::RequestService() {
    ++services_;
    if (serviceRoutine_) serviceRoutine_();
}

kernel::NTSTATUS Pin::open(bool capture, const ks::DataFormat* format) {
    if (opened_.exchange(true)) return kernel::STATUS_INVALID_DEVICE_REQUEST;
    IMiniportWaveCyclicStream* stream = nullptr;
    IDmaChannel* dma = nullptr;
    IServiceGroup* group = nullptr;
    kernel::NTSTATUS status =
        port_->newStream(this, pinId_, capture, format, &stream, &dma, &group);
    if (!kernel::succeeded(status)) return status;
    if (stream == nullptr || dma == nullptr || group == nullptr) {
        status = kernel::STATUS_UNSUCCESSFUL; // a miniport that reports success without all three
    } else {
        status = group->AddMember(this);
    }
    // The port took the pin among its own in newStream, under its lock, and
    // may let it go from then on: a pin the port detached before its stream
    // was in place lets the new stream go at once.
    {
        kernel::MutexGuard guard(control_);
        if (kernel::succeeded(status) && detached_) {
            group->RemoveMember(this);
            status = kernel::STATUS_DEVICE_NOT_CONNECTED;
        }
        if (kernel::succeeded(status)) {
            stream_ = stream;
            dma_ = dma;
            serviceGroup_ = group;
            interval_ = stream_->SetNotificationFreq(requestedInterval, &framing_);
            kernel::SpinLockGuard positions(positionLock_);
            positionStream_ = stream_;
            return kernel::STATUS_SUCCESS;
        }
    }
    if (group != nullptr) group->Release();
    if (dma != nullptr) dma->Release();
    if (stream != nullptr) stream->Release();
    port_->pinClosed(this);
    return status;
}

kernel::NTSTATUS Pin::setState(ks::KsState target) {
    kernel::MutexGuard guard(control_);
    if (stream_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    while (state_ != target) {
        const auto from = static_cast<std::uint32_t>(state_.load());
        const auto step = from < static_cast<std::uint32_t>(target) ? from + 1 : from - 1;
        const kernel::NTSTATUS status = stream_->SetState(static_cast<ks::KsState>(step));
        if (!kernel::succeeded(status)) return status;
        state_ = static_cast<ks::KsState>(step);
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS Pin::position(std::uint32_t* position) {
    if (position == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::SpinLockGuard guard(positionLock_);
    if (positionStream_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    return positionStream_->GetPosition(position);
}

kernel::NTSTATUS Pin::accessBuffer(const std::function<void(std::uint32_t position)>& work) {
    kernel::SpinLockGuard guard(positionLock_);
    if (positionStream_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    std::uint32_t position = 0;
    const kernel::NTSTATUS status = positionStream_->GetPosition(&position);
    if (kernel::succeeded(status)) work(position);
    return status;
}

IDmaChannel* Pin::dmaChannel() const {
    kernel::MutexGuard guard(control_);
    return dma_;
}

void Pin::detach() {
    kernel::MutexGuard guard(control_);
    detached_ = true;
    if (stream_ == nullptr) return;
    // A stream that refuses a step down is let go all the same.
    (void)setState(ks::KsState::Stop);
    {
        kernel::SpinLockGuard positions(positionLock_);
        positionStream_ = nullptr;
    }
    serviceGroup_->RemoveMember(this);
    serviceGroup_->Release();
    dma_->Release();
    stream_->Release();
    serviceGroup_ = nullptr;
    dma_ = nullptr;
    stream_ = nullptr;
    state_ = ks::KsState::Stop;
}

void Pin::close() {
    detach();
    port_->pinClosed(this);
    Release();
}

} // namespace portcls
