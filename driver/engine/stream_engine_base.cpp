#include "driver/engine/stream_engine_base.h"

#include "driver/engine/callback_registration.h"
#include "driver/engine/endpoint_terminals.h"
#include "driver/engine/queried_interface.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/format.h"
#include "platform/kernel/object.h"
#include "platform/portcls/port.h"

#include <cstring>

namespace {

// The name buffer: EngineNameMaxChars characters and a terminating zero.
constexpr std::size_t NameBufferChars = EngineNameMaxChars + 1;
// "\Callback\StreamEngineAddr" and 16 hex digits, with room to spare.
constexpr std::size_t CallbackNameChars = 64;
constexpr std::uint16_t TwoChannels = 2;

// Characters before the terminating zero, looking no further than limit.
std::size_t BoundedLength(const char16_t* text, std::size_t limit) {
    std::size_t length = 0;
    while (length < limit && text[length] != u'\0') ++length;
    return length;
}

} // namespace

CStreamEngine::~CStreamEngine() {
    m_Entities.Free();
    m_Formats.Free();
    m_TwoChannelFormats.Free();
    // Every client unregisters itself; the engine may not go before.
    while (HasClients()) kernel::delayExecution(EngineClientPollInterval);
    ReleaseChainB();
    ReleaseChainC();
    m_RegisteredClients.Free();
    m_OpenClients.Free();
    m_RunningClients.Free();
    if (m_pCallback != nullptr) kernel::dereferenceObject(*m_pCallback);
    if (m_pWavePort != nullptr) m_pWavePort->Release();
    if (m_pTopologyPort != nullptr) m_pTopologyPort->Release();
}

kernel::NTSTATUS CStreamEngine::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CUnknown::NonDelegatingQueryInterface(id, object),
                           static_cast<IStreamEngine*>(this), id, IID_IStreamEngine, object);
}

kernel::NTSTATUS CStreamEngine::Init(std::uint32_t direction) {
    m_ulDirection = direction;
    kernel::NTSTATUS status = m_Entities.Create(StreamEngineTag);
    if (kernel::succeeded(status)) status = m_Formats.Create();
    if (kernel::succeeded(status)) status = m_TwoChannelFormats.Create();
    if (kernel::succeeded(status))
        status = m_RegisteredClients.Create(kernel::PoolType::NonPagedNx, StreamEngineTag);
    if (kernel::succeeded(status))
        status = m_OpenClients.Create(kernel::PoolType::NonPagedNx, StreamEngineTag);
    if (kernel::succeeded(status))
        status = m_RunningClients.Create(kernel::PoolType::NonPagedNx, StreamEngineTag);
    if (kernel::succeeded(status) && !m_Name.IsValid()) {
        m_Name = CPoolBuffer(kernel::PoolType::Paged, NameBufferChars * sizeof(char16_t),
                             StreamEngineTag);
        if (m_Name.IsValid())
            std::memset(m_Name.Get(), 0, m_Name.Size());
        else
            status = kernel::STATUS_INSUFFICIENT_RESOURCES;
    }
    if (kernel::succeeded(status)) status = CreateCallbackObject();
    return status;
}

kernel::NTSTATUS CStreamEngine::CreateCallbackObject() {
    if (m_pCallback != nullptr) return kernel::STATUS_SUCCESS;
    char16_t name[CallbackNameChars];
    const kernel::NTSTATUS formatted = kernel::formatString(
        name, CallbackNameChars, u"\\Callback\\StreamEngineAddr%p", static_cast<const void*>(this));
    if (!kernel::succeeded(formatted)) return formatted;
    const kernel::NTSTATUS status =
        kernel::createCallbackObject(&m_pCallback, kernel::makeUnicodeString(name), true, true);
    return kernel::succeeded(status) ? status : kernel::STATUS_INSUFFICIENT_RESOURCES;
}

std::uint32_t CStreamEngine::GetEndpointType() {
    return m_ulDirection == EngineDirectionRender ? RenderEndpointType(m_Entities)
                                                  : CaptureEndpointType(m_Entities);
}

const CFormatList& CStreamEngine::OfferedFormats() {
    return OffersTwoChannelFormatsOnly(m_ulDirection, GetEndpointType()) ? m_TwoChannelFormats
                                                                         : m_Formats;
}

kernel::NTSTATUS CStreamEngine::SetName(const char16_t* text) {
    if (text == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const std::size_t length = BoundedLength(text, EngineNameMaxChars + 1);
    if (length > EngineNameMaxChars) return kernel::STATUS_INVALID_PARAMETER;
    if (!m_Name.IsValid()) return kernel::STATUS_UNSUCCESSFUL;
    char16_t* name = m_Name.Get<char16_t>();
    std::memcpy(name, text, length * sizeof(char16_t));
    name[length] = u'\0';
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CStreamEngine::GetName(char16_t* buffer, std::uint32_t roomChars) {
    if (buffer == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (!m_Name.IsValid()) return kernel::STATUS_UNSUCCESSFUL;
    const char16_t* name = m_Name.Get<const char16_t>();
    const std::size_t length = BoundedLength(name, EngineNameMaxChars);
    if (length + 1 > roomChars) return kernel::STATUS_BUFFER_TOO_SMALL;
    std::memcpy(buffer, name, length * sizeof(char16_t));
    buffer[length] = u'\0';
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CStreamEngine::AddUniqueEntity(IAudioNode* entity) {
    if (entity == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t id = entity->GetId();
    bool listed = false;
    m_Entities.ForEachUntilFailure([&](IAudioNode* present) {
        listed = present->GetId() == id;
        return listed ? kernel::STATUS_UNSUCCESSFUL : kernel::STATUS_SUCCESS;
    });
    if (listed) return kernel::STATUS_SUCCESS;
    const kernel::NTSTATUS status = m_Entities.Append(entity);
    if (!kernel::succeeded(status)) return status;
    CQueriedInterface<IDspNode> node(entity, IID_IDspNode);
    return node ? AddChainANode(node.Get()) : kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CStreamEngine::AddFormat(const ks::WaveFormatExtensible* record) {
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = m_Formats.Append(*record);
    if (kernel::succeeded(status) && record->Format.nChannels == TwoChannels)
        status = m_TwoChannelFormats.Append(*record);
    return status;
}

kernel::NTSTATUS CStreamEngine::SetConnection(WaveMiniportFactory waveFactory,
                                              const kernel::Guid& portClassId) {
    if (waveFactory == nullptr) return kernel::STATUS_NO_SUCH_DEVICE;
    m_WaveFactory = waveFactory;
    m_PortClassId = portClassId;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CStreamEngine::RegisterCallback(kernel::CallbackFunction function, void* context,
                                                 kernel::CallbackRegistration** handle) {
    return RegisterOnCallbackObject(m_pCallback, function, context, handle);
}

kernel::NTSTATUS CStreamEngine::UnregisterCallback(kernel::CallbackRegistration* handle) {
    return UnregisterFromCallbackObject(handle);
}

bool CStreamEngine::HasClients() {
    kernel::SpinLockGuard lock(GetSpinLock());
    return !m_RegisteredClients.IsEmpty() || !m_OpenClients.IsEmpty() ||
           !m_RunningClients.IsEmpty();
}

kernel::NTSTATUS CStreamEngine::AddRegisteredClient(StreamClientRecord* record) {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_RegisteredClients.Append(record);
}

StreamClientRecord* CStreamEngine::FindRegisteredClient(const void* handle) {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_RegisteredClients.Find(handle);
}

StreamClientRecord* CStreamEngine::RemoveRegisteredClient(const void* handle) {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_RegisteredClients.Remove(handle);
}

kernel::NTSTATUS CStreamEngine::InsertOpenClient(StreamClientRecord* record) {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_OpenClients.InsertByPriority(record);
}

StreamClientRecord* CStreamEngine::FindOpenClient(const void* handle) {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_OpenClients.Find(handle);
}

StreamClientRecord* CStreamEngine::GetTopOpenClient() {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_OpenClients.Top();
}

StreamClientRecord* CStreamEngine::RemoveOpenClient(const void* handle) {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_OpenClients.Remove(handle);
}

kernel::NTSTATUS CStreamEngine::InsertRunningClient(StreamClientRecord* record) {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_RunningClients.InsertByPriority(record);
}

StreamClientRecord* CStreamEngine::GetTopRunningClient() {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_RunningClients.Top();
}

StreamClientRecord* CStreamEngine::RemoveRunningClient(const void* handle) {
    kernel::SpinLockGuard lock(GetSpinLock());
    return m_RunningClients.Remove(handle);
}
