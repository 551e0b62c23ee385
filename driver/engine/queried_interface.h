// An interface found by QueryInterface, held for a scope: the reference the
// query added is released at the end. Empty when the object does not answer.
#pragma once

#include "platform/kernel/guid.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

template <class Interface> class CQueriedInterface {
public:
    CQueriedInterface(kernel::IUnknown* object, const kernel::Guid& id) {
        void* found = nullptr;
        if (object != nullptr && kernel::succeeded(object->QueryInterface(id, &found)))
            m_pInterface = static_cast<Interface*>(found);
    }
    ~CQueriedInterface() {
        if (m_pInterface != nullptr) m_pInterface->Release();
    }
    CQueriedInterface(const CQueriedInterface&) = delete;
    CQueriedInterface& operator=(const CQueriedInterface&) = delete;

    explicit operator bool() const { return m_pInterface != nullptr; }
    Interface* operator->() const { return m_pInterface; }
    Interface* Get() const { return m_pInterface; }

private:
    Interface* m_pInterface = nullptr;
};
