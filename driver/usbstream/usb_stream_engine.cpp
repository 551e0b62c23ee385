#include "driver/usbstream/usb_stream_engine.h"

#include "driver/engine/audio_hal.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/usb_device.h"
#include "driver/usbstream/streaming_descriptors.h"
#include "platform/kernel/format.h"
#include "platform/kernel/object.h"

#include <cstring>

namespace {

// "\Callback\CyclicControlAddr" and 16 hex digits, with room to spare.
constexpr std::size_t CallbackNameChars = 64;
constexpr std::uint16_t ExtensibleTag = 0xFFFE;
constexpr std::size_t BasicFormatBytes = sizeof(ks::WaveFormatEx);

// Whether a table entry carries the requested format.
bool FormatMatches(const ks::WaveFormatExtensible& entry, const ks::WaveFormatEx& request) {
    if (request.wFormatTag == ExtensibleTag) {
        // A request claiming more than a record holds matches nothing, as
        // the format check has it; nothing is read past a record.
        const std::size_t bytes = BasicFormatBytes + request.cbSize;
        return bytes <= sizeof(ks::WaveFormatExtensible) &&
               std::memcmp(&entry, &request, bytes) == 0;
    }
    return entry.Format.wFormatTag == request.wFormatTag &&
           entry.Format.nChannels == request.nChannels &&
           entry.Format.nSamplesPerSec == request.nSamplesPerSec &&
           entry.Format.wBitsPerSample == request.wBitsPerSample;
}

} // namespace

CUsbStreamEngine::CUsbStreamEngine(kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                                   std::uint32_t constructionValue)
    : CForwardingUnknown(outer, interfaceNumber), m_ulConstructionValue(constructionValue) {}

kernel::NTSTATUS CUsbStreamEngine::NonDelegatingQueryInterface(const kernel::Guid& id,
                                                               void** object) {
    const kernel::NTSTATUS base =
        AnswerAfterBase(CStreamEngine::NonDelegatingQueryInterface(id, object),
                        static_cast<IUsbStreamControl*>(this), id, IID_IUsbStreamControl, object);
    return AnswerAfterBase(base, static_cast<IUsbStreamDrm*>(this), id, IID_IUsbStreamDrm, object);
}

CUsbStreamEngine::~CUsbStreamEngine() {
    FreeFormatTable();

    if (m_pWorker != nullptr) {
        m_StopEvent.set();
        kernel::waitForSingleObject(m_ThreadExitedEvent, kernel::Timeout::infinite());
        // The thread's own end, not only its last act: nothing of it may
        // outlive the engine.
        kernel::waitForSingleObject(*m_pWorker, kernel::Timeout::infinite());
        kernel::dereferenceObject(*m_pWorker);
    }
    if (m_pStreamCallback != nullptr) kernel::dereferenceObject(*m_pStreamCallback);
    delete m_pLimiter;
}

kernel::NTSTATUS CUsbStreamEngine::InitStream(std::uint32_t direction, kernel::IUnknown* adapter) {
    kernel::NTSTATUS status = Init(direction);
    if (!kernel::succeeded(status)) return status;
    if (m_pFormatTable == nullptr) {
        m_pFormatTable = new (kernel::PoolType::Paged, UsbStreamTag) CList;
        if (m_pFormatTable == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    status = CreateStreamCallback();
    if (!kernel::succeeded(status)) return status;
    status = StartWorker();
    if (!kernel::succeeded(status)) {
        kernel::dereferenceObject(*m_pStreamCallback);
        m_pStreamCallback = nullptr;
        return status;
    }
    m_pAdapter = adapter;
    m_bDeviceGone = 0;
    CreateLimiter();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbStreamEngine::CreateStreamCallback() {
    if (m_pStreamCallback != nullptr) return kernel::STATUS_SUCCESS;
    char16_t name[CallbackNameChars];
    const kernel::NTSTATUS formatted =
        kernel::formatString(name, CallbackNameChars, u"\\Callback\\CyclicControlAddr%p",
                             static_cast<const void*>(this));
    if (!kernel::succeeded(formatted)) return formatted;
    return kernel::createCallbackObject(&m_pStreamCallback, kernel::makeUnicodeString(name), true,
                                        true);
}

kernel::NTSTATUS CUsbStreamEngine::StartWorker() {
    if (m_pWorker != nullptr) return kernel::STATUS_SUCCESS;
    const kernel::NTSTATUS status =
        kernel::createSystemThread(&m_pWorker, &CUsbStreamEngine::WorkerThreadStart, this);
    if (!kernel::succeeded(status)) {
        m_pWorker = nullptr;
        return status;
    }
    kernel::setThreadPriority(*m_pWorker, HighestThreadPriority);
    kernel::setThreadPriority(*m_pWorker, UsbStreamWorkerPriority);
    return kernel::STATUS_SUCCESS;
}

void CUsbStreamEngine::CreateLimiter() {
    if (m_pLimiter != nullptr) return;
    m_pLimiter = new (kernel::PoolType::NonPagedNx, UsbStreamTag) CFir8;
    if (m_pLimiter == nullptr) return;
    if (m_pLimiter->Allocate() == 0) {
        delete m_pLimiter;
        m_pLimiter = nullptr;
        return;
    }
    m_pLimiter->SetMode(0);
    m_pLimiter->SetTargetGain(1.0f);
    m_pLimiter->SetParam(1.0f);
}

kernel::NTSTATUS CUsbStreamEngine::AddUsbFormat(const ks::WaveFormatExtensible* format,
                                                std::uint8_t alternateSetting) {
    if (format == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pFormatTable == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    auto* entry = static_cast<UsbFormatEntry*>(
        kernel::allocatePool(kernel::PoolType::Paged, sizeof(UsbFormatEntry), UsbStreamTag));
    if (entry == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    entry->AlternateSetting = alternateSetting;
    entry->Format = *format;
    if (m_pFormatTable->AddTail(entry) == nullptr) {
        kernel::freePoolWithTag(entry, UsbStreamTag);
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    const kernel::NTSTATUS status = AddFormat(format);
    if (!kernel::succeeded(status)) {
        // The entry went last into the table.
        CListNode* tail = m_pFormatTable->GetHead();
        while (tail->m_pNext != nullptr) tail = tail->m_pNext;
        m_pFormatTable->RemoveAt(tail);
        kernel::freePoolWithTag(entry, UsbStreamTag);
    }
    return status;
}

void CUsbStreamEngine::FreeFormatTable() {
    if (m_pFormatTable == nullptr) return;
    void* entry = nullptr;
    while (m_pFormatTable->RemoveHead(&entry)) kernel::freePoolWithTag(entry, UsbStreamTag);
    delete m_pFormatTable;
    m_pFormatTable = nullptr;
}

std::uint32_t CUsbStreamEngine::GetFormatTableCount() const {
    return m_pFormatTable != nullptr ? static_cast<std::uint32_t>(m_pFormatTable->GetCount()) : 0;
}

kernel::NTSTATUS CUsbStreamEngine::FindFormat(const ks::WaveFormatEx* format,
                                              std::uint8_t* alternateSetting) {
    if (format == nullptr || alternateSetting == nullptr || m_pFormatTable == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    for (CListNode* node = m_pFormatTable->GetHead(); node != nullptr; node = node->m_pNext) {
        const auto* entry = static_cast<const UsbFormatEntry*>(node->m_pData);
        if (!FormatMatches(entry->Format, *format)) continue;
        *alternateSetting = entry->AlternateSetting;
        return kernel::STATUS_SUCCESS;
    }
    return kernel::STATUS_INVALID_PARAMETER;
}

kernel::NTSTATUS CUsbStreamEngine::FindEntity(std::uint32_t id, IAudioNode** entity) {
    if (entity == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    IAudioNode* found = nullptr;
    const std::uint32_t count = GetEntityCount();
    for (std::uint32_t index = 0; index < count; ++index) {
        IAudioNode* candidate = nullptr;
        if (kernel::succeeded(GetEntity(index, &candidate)) && candidate->GetId() == id)
            found = candidate;
    }
    *entity = found;
    return found != nullptr ? kernel::STATUS_SUCCESS : kernel::STATUS_UNSUCCESSFUL;
}

std::uint32_t CUsbStreamEngine::GetPacketsPerMillisecond(std::uint8_t alternateSetting) {
    CHeldInterface<IUsbDevice> usb;
    *usb.Out() = QueryUsbDevice();
    if (!usb) return 1;
    const usb::ConfigurationView view = ViewConfiguration(*usb.Get());
    const usb::EndpointDescriptor* endpoint =
        FindDataEndpoint(view, FindStreamingSetting(view, GetInterfaceNumber(), alternateSetting));
    if (endpoint == nullptr || !usb->IsHighSpeed()) return 1;
    return HighSpeedPacketsPerMillisecond(endpoint->bInterval);
}

bool CUsbStreamEngine::QueryReady(std::uint8_t) { return true; }

IUsbDevice* CUsbStreamEngine::QueryUsbDevice() const {
    void* face = nullptr;
    if (m_pAdapter == nullptr ||
        !kernel::succeeded(m_pAdapter->QueryInterface(IID_IUsbDevice, &face)))
        return nullptr;
    return static_cast<IUsbDevice*>(face);
}

IAudioHal* CUsbStreamEngine::QueryAudioHal() const {
    void* face = nullptr;
    if (m_pAdapter == nullptr ||
        !kernel::succeeded(m_pAdapter->QueryInterface(IID_IAudioHal, &face)))
        return nullptr;
    return static_cast<IAudioHal*>(face);
}
