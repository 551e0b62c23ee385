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
    if (stream_ != nullptr) return kernel::STATUS_INVALID_DEVICE_REQUEST;
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
    if (!kernel::succeeded(status)) {
        if (group != nullptr) group->Release();
        if (dma != nullptr) dma->Release();
        if (stream != nullptr) stream->Release();
        port_->pinClosed(this);
        return status;
    }
    stream_ = stream;
    dma_ = dma;
    serviceGroup_ = group;
    interval_ = stream_->SetNotificationFreq(requestedInterval, &framing_);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS Pin::setState(ks::KsState target) {
    if (stream_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    while (state_ != target) {
        const auto step = static_cast<std::uint32_t>(state_) < static_cast<std::uint32_t>(target)
                              ? static_cast<std::uint32_t>(state_) + 1
                              : static_cast<std::uint32_t>(state_) - 1;
        const kernel::NTSTATUS status = stream_->SetState(static_cast<ks::KsState>(step));
        if (!kernel::succeeded(status)) return status;
        state_ = static_cast<ks::KsState>(step);
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS Pin::position(std::uint32_t* position) {
    if (position == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (stream_ == nullptr) return kernel::STATUS_DEVICE_NOT_CONNECTED;
    return stream_->GetPosition(position);
}

void Pin::detach() {
    if (stream_ == nullptr) return;
    // A stream that refuses a step down is let go all the same.
    (void)setState(ks::KsState::Stop);
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
