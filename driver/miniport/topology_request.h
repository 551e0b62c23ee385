// What every topology property handler starts from: the miniport and the
// node or pin the request names, which property it is, and the control
// face of the entity behind it.
#pragma once

#include "driver/engine/queried_interface.h"
#include "driver/miniport/topology_miniport.h"
#include "platform/portcls/descriptors.h"

#include <cstdint>

namespace topology_request {

inline CTopologyMiniport& Miniport(const portcls::PropertyRequest& request) {
    return *CTopologyMiniport::FromTarget(request.MajorTarget);
}

// The entity of the node; null when the filter has no such node.
inline IAudioNode* NodeEntity(const portcls::PropertyRequest& request) {
    return Miniport(request).NodeEntity(request.Node);
}

inline bool IsProperty(const portcls::PropertyRequest& request, const kernel::Guid& set,
                       std::uint32_t id) {
    return *request.PropertyItem->Set == set && request.PropertyItem->Id == id;
}
inline bool IsInSet(const portcls::PropertyRequest& request, const kernel::Guid& set) {
    return *request.PropertyItem->Set == set;
}

// The interface of the object; the query's status when it has none.
template <class Interface>
kernel::NTSTATUS QueryFace(kernel::IUnknown* object, const kernel::Guid& id,
                           CHeldInterface<Interface>& held) {
    void* found = nullptr;
    const kernel::NTSTATUS status = object->QueryInterface(id, &found);
    if (kernel::succeeded(status)) *held.Out() = static_cast<Interface*>(found);
    return status;
}

} // namespace topology_request
