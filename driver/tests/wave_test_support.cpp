#include "wave_test_support.h"

#include "driver/common/interface_ids.h"

#include <algorithm>

namespace wave_test {

std::vector<std::uint8_t> AttributeList(const std::vector<AttributeEntry>& entries,
                                        std::uint32_t listSize, std::uint32_t count) {
    std::vector<std::uint8_t> list(sizeof(ks::MultipleItem));
    for (const AttributeEntry& entry : entries) {
        ks::AudioSignalProcessingModeAttribute attribute{};
        attribute.AttributeHeader.Size = entry.size;
        attribute.AttributeHeader.Attribute = entry.id;
        attribute.SignalProcessingMode = entry.mode;
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(&attribute);
        list.insert(list.end(), bytes, bytes + sizeof(attribute));
    }
    ks::MultipleItem head{listSize != 0 ? listSize : static_cast<std::uint32_t>(list.size()),
                          count != ~0u ? count : static_cast<std::uint32_t>(entries.size())};
    std::memcpy(list.data(), &head, sizeof(head));
    return list;
}

NTSTATUS CScriptedEngine::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (IsEqualId(id, IID_IUsbStreamControl))
        return ReturnInterface(static_cast<IUsbStreamControl*>(this), object);
    if (IsEqualId(id, IID_IUsbStreamDrm))
        return ReturnInterface(static_cast<IUsbStreamDrm*>(this), object);
    return CStreamEngine::NonDelegatingQueryInterface(id, object);
}

NTSTATUS CScriptedEngine::RegisterClient(std::uint32_t priority,
                                         const ks::WaveFormatExtensible* format,
                                         std::uint32_t valueA, std::uint32_t valueB,
                                         kernel::CallbackFunction callback, void* context,
                                         UsbStreamClientRecord** record) {
    calls.push_back("register " + std::to_string(priority) + " " + std::to_string(valueA) + " " +
                    std::to_string(valueB));
    if (failStep == "register") return kernel::STATUS_UNSUCCESSFUL;
    UsbStreamClientRecord* made = Foreign(*format);
    made->Priority = priority;
    made->ValueA = valueA;
    made->ValueB = valueB;
    own = made;
    registrations.push_back({made->RegistrationHandle, callback, context});
    *record = made;
    return STATUS_SUCCESS;
}

NTSTATUS CScriptedEngine::UnregisterClient(const void* handle) {
    calls.push_back("unregister");
    std::erase_if(registrations, [&](const Registration& r) { return r.handle == handle; });
    return STATUS_SUCCESS;
}

NTSTATUS CScriptedEngine::OpenClient(const void*, std::uint32_t* valueA, std::uint32_t* valueB,
                                     std::uint32_t* frameValue) {
    calls.push_back("open");
    if (failStep == "open") return kernel::STATUS_UNSUCCESSFUL;
    *valueA = runningA;
    *valueB = runningB;
    *frameValue = frame;
    return STATUS_SUCCESS;
}

NTSTATUS CScriptedEngine::StartClient(const void*, std::uint32_t startFrame, std::uint32_t* valueA,
                                      std::uint32_t* valueB, IDspNode*) {
    calls.push_back("start " + std::to_string(startFrame));
    if (failStep == "start") return kernel::STATUS_UNSUCCESSFUL;
    *valueA = runningA;
    *valueB = runningB;
    Client()->Active = 1;
    return STATUS_SUCCESS;
}

NTSTATUS CScriptedEngine::StopClient(const void*, IDspNode*) {
    calls.push_back("stop");
    Client()->Active = 0;
    return STATUS_SUCCESS;
}

NTSTATUS CScriptedEngine::CloseClient(const void*) {
    calls.push_back("close");
    return STATUS_SUCCESS;
}

UsbStreamClientRecord* CScriptedEngine::Foreign(const ks::WaveFormatExtensible& format) {
    auto record = std::make_unique<UsbStreamClientRecord>();
    std::memset(record.get(), 0, sizeof(UsbStreamClientRecord));
    handles.push_back(std::make_unique<int>(0));
    record->RegistrationHandle = handles.back().get();
    record->Format = format;
    record->Active = 1;
    records.push_back(std::move(record));
    return records.back().get();
}

void CScriptedEngine::Send(UsbStreamClientRecord* client, std::uintptr_t code, std::uintptr_t a1,
                           std::uintptr_t a2) {
    StreamMessage message{client, code, a1, a2};
    for (const Registration& registration : std::vector<Registration>(registrations))
        registration.callback(registration.context, &message, nullptr);
}

void WaveTest::SetUp() {
    hal = Make<CListingHal>();
    ASSERT_EQ(hal->Init(nullptr, nullptr, nullptr, nullptr), STATUS_SUCCESS);
}

void WaveTest::TearDown() {
    CloseStream();
    ReleaseMiniport();
    if (engine != nullptr) engine->NonDelegatingRelease();
    if (hal != nullptr) hal->NonDelegatingRelease();
    engine = nullptr;
    hal = nullptr;
    EXPECT_EQ(port.references.load(), 1u);
}

void WaveTest::MakeEndpoint(std::uint32_t direction,
                            const std::vector<ks::WaveFormatExtensible>& formats,
                            const char16_t* name) {
    engine = Make<CScriptedEngine>();
    ASSERT_EQ(engine->Init(direction), STATUS_SUCCESS);
    for (const auto& format : formats) ASSERT_EQ(engine->AddFormat(&format), STATUS_SUCCESS);
    ASSERT_EQ(engine->SetName(name), STATUS_SUCCESS);
    ASSERT_EQ(hal->AddEndpoint(engine), STATUS_SUCCESS);
}

NTSTATUS WaveTest::InitMiniport() {
    kernel::IUnknown* unknown = nullptr;
    NTSTATUS status = CreateWaveMiniport(&unknown, portcls::CLSID_PortWaveCyclic, nullptr,
                                         kernel::PoolType::NonPagedNx, 0);
    if (!kernel::succeeded(status)) return status;
    void* face = nullptr;
    EXPECT_EQ(unknown->QueryInterface(portcls::IID_IMiniportWaveCyclic, &face), STATUS_SUCCESS);
    unknown->Release();
    miniport = static_cast<CWaveMiniport*>(static_cast<portcls::IMiniportWaveCyclic*>(face));
    return miniport->Init(adapter(), nullptr, &port);
}

void WaveTest::ReleaseMiniport() {
    if (miniport != nullptr) static_cast<portcls::IMiniportWaveCyclic*>(miniport)->Release();
    miniport = nullptr;
}

NTSTATUS WaveTest::OpenStream(const FormatBlock& format) {
    return miniport->NewStream(&stream, nullptr, kernel::PoolType::NonPagedNx, WaveStreamingPin,
                               engine->GetDirection() != EngineDirectionRender, format.get(), &dma,
                               &group);
}

void WaveTest::CloseStream() {
    if (group != nullptr) group->Release();
    if (dma != nullptr) dma->Release();
    if (stream != nullptr) stream->Release();
    group = nullptr;
    dma = nullptr;
    stream = nullptr;
}

} // namespace wave_test
