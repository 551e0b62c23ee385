// Interface references held for a scope: the reference is released at the
// end. A queried interface is the one QueryInterface found; it is empty when
// the object does not answer.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

template <class Interface> class CHeldInterface {
public:
    CHeldInterface() = default;
    ~CHeldInterface() {
        if (m_pInterface != nullptr) m_pInterface->Release();
    }
    CHeldInterface(const CHeldInterface&) = delete;
    CHeldInterface& operator=(const CHeldInterface&) = delete;

    // Where a creation function stores the reference the holder is to release.
    Interface** Out() { return &m_pInterface; }
    explicit operator bool() const { return m_pInterface != nullptr; }
    Interface* operator->() const { return m_pInterface; }
    Interface* Get() const { return m_pInterface; }

private:
    Interface* m_pInterface = nullptr;
};

template <class Interface> class CQueriedInterface : public CHeldInterface<Interface> {
public:
    CQueriedInterface(kernel::IUnknown* object, const kernel::Guid& id) {
        void* found = nullptr;
        if (object != nullptr && kernel::succeeded(object->QueryInterface(id, &found)))
            *this->Out() = static_cast<Interface*>(found);
    }
};
