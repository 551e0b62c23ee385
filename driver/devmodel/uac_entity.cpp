#include "driver/devmodel/uac_entity.h"

#include "driver/common/list.h"
#include "platform/usb/descriptor_rules.h"
#include "platform/usb/descriptors.h"

#include <cstring>

namespace {

// Items that take the item before them in the chain as their source.
bool TakesChainSource(std::uint32_t type) {
    switch (type) {
    case 1:
    case 2:
    case 3:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 13:
    case 15:
    case 18:
    case 19:
    case 20:
    case 22:
    case 23:
    case 24:
        return true;
    default:
        return false;
    }
}

// Items that keep their sources out of the entity's linking: the ones whose
// id list is an input table take every source, these take none.
bool KeepsOwnSources(std::uint32_t type) {
    switch (type) {
    case 0:
    case 12:
    case 14:
    case 16:
    case 17:
    case 21:
        return true;
    default:
        return type > 23;
    }
}

constexpr std::uint8_t ClassInterfaceType = 0x24;

} // namespace

kernel::NTSTATUS CheckEntityDescriptor(std::span<const std::uint8_t> bytes,
                                       usb::AudioRelease release, std::uint8_t subtype) {
    if (bytes.size() < 3 || bytes[0] < 3 || bytes[0] > bytes.size())
        return kernel::STATUS_UNSUCCESSFUL;
    const std::span<const std::uint8_t> descriptor = bytes.first(bytes[0]);
    if (descriptor[1] != ClassInterfaceType || descriptor[2] != subtype)
        return kernel::STATUS_INVALID_PARAMETER;
    if (usb::checkClassDescriptor(release, usb::audio_subclass::control, descriptor) != nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS WriteFirstSource(IAudioNode& node, std::uint32_t id) {
    std::uint32_t count = node.GetIdCount();
    if (count <= 1) return node.SetIdList(1, &id);
    CPoolBuffer ids(kernel::PoolType::Paged, std::size_t{count} * sizeof(std::uint32_t),
                    NodeIdListTag);
    if (!ids.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* list = ids.Get<std::uint32_t>();
    const kernel::NTSTATUS status = node.GetIdList(&count, list);
    if (!kernel::succeeded(status)) return status;
    list[0] = id;
    return node.SetIdList(count, list);
}

CUacEntity::~CUacEntity() { ReleaseItems(); }

kernel::NTSTATUS CUacEntity::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                           static_cast<IUacEntity*>(this), id, IID_IUacEntity, object);
}

kernel::NTSTATUS CUacEntity::StoreDescriptor(std::span<const std::uint8_t> bytes,
                                             kernel::IUnknown* device) {
    if (bytes.data() == nullptr || device == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (bytes.size() < 2) return kernel::STATUS_UNSUCCESSFUL;
    const std::size_t length = bytes[0];
    const std::size_t shortest = bytes[1] == ClassInterfaceType ? 3 : 2;
    if (length < shortest || length > bytes.size()) return kernel::STATUS_UNSUCCESSFUL;

    CPoolBuffer copy(kernel::PoolType::Paged, length, EntityTag);
    CList* items = copy.IsValid() ? new (kernel::PoolType::NonPagedNx, EntityTag) CList : nullptr;
    if (items == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;

    std::memcpy(copy.Get(), bytes.data(), length);
    ReleaseItems();
    m_Descriptor = std::move(copy);
    m_pItems = items;
    m_pDevice = device;
    m_ulEntityType = length > 2 ? bytes[2] : 0;
    m_ulEntityId = length > 3 ? bytes[3] : 0;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacEntity::ParseEntity(std::span<const std::uint8_t> bytes,
                                         kernel::IUnknown* device, CAudioHal* hal,
                                         usb::AudioRelease release, std::uint8_t subtype) {
    if (bytes.data() == nullptr || device == nullptr || hal == nullptr)
        return kernel::STATUS_INVALID_PARAMETER;
    kernel::NTSTATUS status = CheckEntityDescriptor(bytes, release, subtype);
    if (kernel::succeeded(status)) status = StoreDescriptor(bytes, device);
    if (kernel::succeeded(status)) status = CreateControls(hal);
    if (kernel::succeeded(status)) status = ChainItems();
    return status;
}

kernel::NTSTATUS CUacEntity::StoreSourceList(std::size_t countAt) {
    const std::span<const std::uint8_t> descriptor = Descriptor();
    if (descriptor.size() <= countAt) return kernel::STATUS_INVALID_PARAMETER;
    const std::uint32_t count = descriptor[countAt];
    if (descriptor.size() < countAt + 1 + count) return kernel::STATUS_INVALID_PARAMETER;
    std::uint32_t sources[255] = {};
    for (std::uint32_t i = 0; i < count; ++i) sources[i] = descriptor[countAt + 1 + i];
    return SetIdList(count, count != 0 ? sources : nullptr);
}

kernel::NTSTATUS CUacEntity::AddItem(IAudioNode* item) {
    if (item == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    if (m_pItems == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    item->AddRef();
    if (m_pItems->AddHead(item) != nullptr) return kernel::STATUS_SUCCESS;
    item->Release();
    return kernel::STATUS_UNSUCCESSFUL;
}

kernel::NTSTATUS CUacEntity::GetItemCount(std::uint32_t* count) const {
    if (m_pItems == nullptr || count == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    *count = static_cast<std::uint32_t>(m_pItems->GetCount());
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUacEntity::GetItemAt(std::uint32_t index, IAudioNode** item) const {
    if (m_pItems == nullptr || item == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    void* data = nullptr;
    *item = m_pItems->GetAt(index, &data) ? static_cast<IAudioNode*>(data) : nullptr;
    return kernel::STATUS_SUCCESS;
}

IAudioNode* CUacEntity::FindItemOfType(std::uint32_t type) const {
    if (m_pItems == nullptr) return nullptr;
    CListNode* position = m_pItems->GetHead();
    void* data = nullptr;
    while (m_pItems->GetNext(position, &data)) {
        auto* item = static_cast<IAudioNode*>(data);
        if (item->GetType() == type) return item;
    }
    return nullptr;
}

// The front item feeds the next and so on to the back. Output-type items
// (type 1) all take the same source and pass none on: they stand in
// parallel as a terminal's alternative endpoints.
kernel::NTSTATUS CUacEntity::ChainItems() {
    if (m_pItems == nullptr) return kernel::STATUS_SUCCESS;
    CListNode* position = m_pItems->GetHead();
    void* data = nullptr;
    if (!m_pItems->GetNext(position, &data)) return kernel::STATUS_SUCCESS;
    std::uint32_t source = static_cast<IAudioNode*>(data)->GetId();
    while (m_pItems->GetNext(position, &data)) {
        auto* item = static_cast<IAudioNode*>(data);
        const std::uint32_t type = item->GetType();
        if (TakesChainSource(type)) {
            const kernel::NTSTATUS status = WriteFirstSource(*item, source);
            if (!kernel::succeeded(status)) return status;
        }
        if (type != item_type::outputTerminal) source = item->GetId();
    }
    return kernel::STATUS_SUCCESS;
}

void CUacEntity::ReleaseItems() {
    if (m_pItems == nullptr) return;
    void* data = nullptr;
    while (m_pItems->RemoveHead(&data)) static_cast<IAudioNode*>(data)->Release();
    delete m_pItems;
    m_pItems = nullptr;
}

kernel::NTSTATUS CUacEntity::GetOutputNodeId(std::uint32_t* nodeId) {
    void* back = nullptr;
    if (nodeId == nullptr || m_pItems == nullptr || !m_pItems->GetTailData(&back))
        return kernel::STATUS_UNSUCCESSFUL;
    *nodeId = static_cast<IAudioNode*>(back)->GetId();
    return kernel::STATUS_SUCCESS;
}

// The sources go to the front item: all of them into an input table (which
// refuses a count other than its number of inputs; the refusal is the
// item's and not passed on), the first into any other item that takes one.
kernel::NTSTATUS CUacEntity::SetSourceIds(std::uint32_t count, const std::uint32_t* ids) {
    void* front = nullptr;
    if (ids == nullptr || m_pItems == nullptr || !m_pItems->GetHeadData(&front))
        return kernel::STATUS_UNSUCCESSFUL;
    if (count == 0) return kernel::STATUS_INVALID_PARAMETER;
    auto* item = static_cast<IAudioNode*>(front);
    const std::uint32_t type = item->GetType();
    if (type == item_type::selector || type == item_type::mixer) {
        if (count == item->GetIdCount()) return item->SetIdList(count, ids);
        return kernel::STATUS_SUCCESS;
    }
    if (KeepsOwnSources(type)) return kernel::STATUS_SUCCESS;
    return WriteFirstSource(*item, ids[0]);
}

kernel::NTSTATUS CUacEntity::OnDeviceChange(std::uint8_t, std::uint8_t, std::uint32_t* nodeId) {
    void* only = nullptr;
    if (nodeId == nullptr || m_pItems == nullptr || m_pItems->GetCount() != 1 ||
        !m_pItems->GetHeadData(&only))
        return kernel::STATUS_UNSUCCESSFUL;
    *nodeId = static_cast<IAudioNode*>(only)->GetId();
    return kernel::STATUS_SUCCESS;
}
