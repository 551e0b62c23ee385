// The client operations: registration, and opening, starting, stopping and
// closing under the engine lock. The device runs the format of the running
// client of highest priority and is prepared for the open client of highest
// priority.
#include "driver/usbstream/usb_stream_engine.h"

#include <cstring>

namespace {

constexpr std::uint32_t DirectionForChainRule = 1;
constexpr std::uint32_t FirstNodePriority = 1;
constexpr std::uint32_t SecondNodePriority = 2;

std::uintptr_t WithChangedBit(std::uint32_t valueA) {
    return std::uintptr_t{valueA} | stream_message::formatChangedBit;
}

kernel::NTSTATUS ReportValues(const UsbStreamClientRecord* record, std::uint32_t* valueA,
                              std::uint32_t* valueB) {
    if (valueA != nullptr) *valueA = record != nullptr ? record->ValueA : 0;
    if (valueB != nullptr) *valueB = record != nullptr ? record->ValueB : 0;
    return kernel::STATUS_SUCCESS;
}

} // namespace

kernel::NTSTATUS CUsbStreamEngine::RegisterClient(std::uint32_t priority,
                                                  const ks::WaveFormatExtensible* format,
                                                  std::uint32_t valueA, std::uint32_t valueB,
                                                  kernel::CallbackFunction callback, void* context,
                                                  UsbStreamClientRecord** record) {
    if (format == nullptr || callback == nullptr || record == nullptr || valueA == 0 || valueB == 0)
        return kernel::STATUS_INVALID_PARAMETER;
    *record = nullptr;
    ks::WaveFormatExtensible checked = *format;
    const kernel::NTSTATUS status = CheckFormat(&checked.Format);
    if (!kernel::succeeded(status)) return status;
    if (m_pStreamCallback == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    auto* client = static_cast<UsbStreamClientRecord*>(kernel::allocatePool(
        kernel::PoolType::NonPagedNx, sizeof(UsbStreamClientRecord), UsbStreamTag));
    if (client == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::memset(client, 0, sizeof(*client));
    client->Priority = priority;
    client->ValueA = valueA;
    client->ValueB = valueB;
    client->Format = checked;
    client->Direction = GetDirection();
    kernel::CallbackRegistration* registration =
        kernel::registerCallback(*m_pStreamCallback, callback, context);
    if (registration == nullptr) {
        kernel::freePoolWithTag(client, UsbStreamTag);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    client->RegistrationHandle = registration;
    if (!kernel::succeeded(AddRegisteredClient(client))) {
        kernel::unregisterCallback(registration);
        kernel::freePoolWithTag(client, UsbStreamTag);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    *record = client;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbStreamEngine::UnregisterClient(const void* handle) {
    StreamClientRecord* record = RemoveRegisteredClient(handle);
    if (record == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    kernel::unregisterCallback(
        static_cast<kernel::CallbackRegistration*>(const_cast<void*>(record->RegistrationHandle)));
    kernel::freePoolWithTag(record, UsbStreamTag);
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbStreamEngine::OpenClient(const void* handle, std::uint32_t* valueA,
                                              std::uint32_t* valueB, std::uint32_t* frameValue) {
    CMutexLockScope lock(m_Lock);
    auto* record = static_cast<UsbStreamClientRecord*>(FindRegisteredClient(handle));
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = InsertOpenClient(record);
    if (!kernel::succeeded(status)) return status;
    std::uint32_t frame = 0;
    auto* head = static_cast<UsbStreamClientRecord*>(GetTopOpenClient());
    if (head != m_pOpenClient) {
        if (m_pOpenClient != nullptr) {
            if (IsRunning()) StopStream();
            Teardown();
        }
        status = PrepareFormat(head, &frame);
        if (!kernel::succeeded(status)) {
            RemoveOpenClient(handle);
            m_pOpenClient = nullptr;
            return status;
        }
        m_UsbFormat = head->Format;
        m_pOpenClient = head;
    }
    RemoveRegisteredClient(handle);
    if (frameValue != nullptr) *frameValue = frame;
    return ReportValues(m_pOpenClient, valueA, valueB);
}

kernel::NTSTATUS CUsbStreamEngine::ReprepareFor(UsbStreamClientRecord* head,
                                                std::uint32_t* frameValue) {
    if (GetStreamState() == UsbStreamState::prepared) Teardown();
    const kernel::NTSTATUS status = PrepareFormat(head, frameValue);
    if (!kernel::succeeded(status)) {
        Teardown();
        return status;
    }
    m_UsbFormat = head->Format;
    return status;
}

kernel::NTSTATUS CUsbStreamEngine::CloseClient(const void* handle) {
    CMutexLockScope lock(m_Lock);
    auto* record = static_cast<UsbStreamClientRecord*>(RemoveOpenClient(handle));
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = kernel::STATUS_SUCCESS;
    auto* head = static_cast<UsbStreamClientRecord*>(GetTopOpenClient());
    if (head == nullptr) {
        // A client that closes without stopping leaves nothing streaming.
        if (IsRunning()) StopStream();
        Teardown();
        m_pOpenClient = nullptr;
    } else if (head != m_pOpenClient) {
        if (IsRunning()) StopStream();
        std::uint32_t frame = 0;
        status = ReprepareFor(head, &frame);
        m_pOpenClient = kernel::succeeded(status) ? head : nullptr;
        // A lower client still running when a higher one came and went
        // unstarted: its stream goes on, or its position would freeze.
        if (kernel::succeeded(status) && m_pRunningClient != nullptr) {
            SendMessage(stream_message::formatApplied, WithChangedBit(m_pRunningClient->ValueA),
                        m_pRunningClient->ValueB);
            StartStream(frame + SwitchFrameLead, true);
        }
    }
    if (!kernel::succeeded(AddRegisteredClient(record))) {
        kernel::unregisterCallback(static_cast<kernel::CallbackRegistration*>(
            const_cast<void*>(record->RegistrationHandle)));
        kernel::freePoolWithTag(record, UsbStreamTag);
    }
    return status;
}

void CUsbStreamEngine::AddChainNode(const UsbStreamClientRecord& record, IDspNode* node) {
    if (node == nullptr) return;
    const bool renderRule = GetDirection() == DirectionForChainRule;
    if (record.Priority == FirstNodePriority)
        renderRule ? AddChainBNode(node) : AddChainCNode(node);
    else if (record.Priority == SecondNodePriority)
        renderRule ? AddChainCNode(node) : AddChainBNode(node);
}

void CUsbStreamEngine::RemoveChainNode(const UsbStreamClientRecord& record, IDspNode* node) {
    if (node == nullptr) return;
    const bool renderRule = GetDirection() == DirectionForChainRule;
    if (record.Priority == FirstNodePriority)
        renderRule ? RemoveChainBNode(node) : RemoveChainCNode(node);
    else if (record.Priority == SecondNodePriority)
        renderRule ? RemoveChainCNode(node) : RemoveChainBNode(node);
}

kernel::NTSTATUS CUsbStreamEngine::StartClient(const void* handle, std::uint32_t startFrame,
                                               std::uint32_t* valueA, std::uint32_t* valueB,
                                               IDspNode* node) {
    CMutexLockScope lock(m_Lock);
    if (GetStreamState() == UsbStreamState::closed) return kernel::STATUS_INVALID_PARAMETER;
    auto* record = static_cast<UsbStreamClientRecord*>(FindOpenClient(handle));
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = InsertRunningClient(record);
    if (!kernel::succeeded(status)) return status;
    auto* head = static_cast<UsbStreamClientRecord*>(GetTopRunningClient());
    if (head == m_pRunningClient) {
        SendMessage(stream_message::formatApplied, head->ValueA, head->ValueB);
        record->Active = 1;
    } else {
        UsbStreamClientRecord* previous = m_pRunningClient;
        const ks::WaveFormatExtensible previousFormat = m_UsbFormat;
        if (IsRunning()) StopStream();
        m_pRunningClient = head;
        m_UsbFormat = head->Format;
        SendMessage(stream_message::formatApplied, WithChangedBit(head->ValueA), head->ValueB);
        record->Active = 1;
        status = StartStream(startFrame, true);
        if (!kernel::succeeded(status)) {
            Teardown();
            RemoveRunningClient(handle);
            record->Active = 0;
            m_pRunningClient = previous;
            m_UsbFormat = previousFormat;
            if (previous != nullptr)
                SendMessage(stream_message::formatApplied, previous->ValueA, previous->ValueB);
            return status;
        }
    }
    AddChainNode(*record, node);
    return ReportValues(m_pRunningClient, valueA, valueB);
}

kernel::NTSTATUS CUsbStreamEngine::StopClient(const void* handle, IDspNode* node) {
    CMutexLockScope lock(m_Lock);
    auto* record = static_cast<UsbStreamClientRecord*>(RemoveRunningClient(handle));
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    RemoveChainNode(*record, node);
    auto* head = static_cast<UsbStreamClientRecord*>(GetTopRunningClient());
    if (head == nullptr) {
        StopStream();
        m_pRunningClient = nullptr;
    } else if (record == m_pRunningClient) {
        StopStream();
        record->Active = 0;
        m_pRunningClient = head;
        std::uint32_t frame = 0;
        if (kernel::succeeded(ReprepareFor(head, &frame))) {
            SendMessage(stream_message::formatApplied, WithChangedBit(head->ValueA), head->ValueB);
            if (!kernel::succeeded(StartStream(frame + SwitchFrameLead, true))) Teardown();
        }
    }
    record->Active = 0;
    return kernel::STATUS_SUCCESS;
}
