// The object model of the driver. Every object is reference counted and
// reached through interfaces found by identifier. An object is either on its
// own (its outer unknown is itself) or aggregated into an outer object, to
// which every interface's QueryInterface, AddRef and Release are forwarded;
// the non-delegating half answers for the object itself.
#pragma once

#include "driver/common/pool_object.h"
#include "platform/kernel/guid.h"
#include "platform/kernel/pool.h"
#include "platform/kernel/status.h"
#include "platform/kernel/unknown.h"

#include <cstdint>
#include <utility>

// Compares two identifiers as four 32-bit words.
bool IsEqualId(const kernel::Guid& a, const kernel::Guid& b);

class INonDelegatingUnknown {
public:
    virtual kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) = 0;
    virtual std::uint32_t NonDelegatingAddRef() = 0;
    virtual std::uint32_t NonDelegatingRelease() = 0;

protected:
    ~INonDelegatingUnknown() = default;
};

class CUnknown : public CPoolObject, public INonDelegatingUnknown {
public:
    // Without an outer unknown the object is its own.
    explicit CUnknown(kernel::IUnknown* outer);
    virtual ~CUnknown() = default;
    CUnknown(const CUnknown&) = delete;
    CUnknown& operator=(const CUnknown&) = delete;

    // Answers IUnknown with the object's own unknown. A class answers its
    // identifiers in a fixed order beginning with IUnknown; a class derived
    // from another first asks its base.
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;
    std::uint32_t NonDelegatingAddRef() override;
    // At 0 the count is set to 1 before the object is deleted, so references
    // taken and dropped by its destructor cannot delete it a second time.
    std::uint32_t NonDelegatingRelease() override;

    kernel::IUnknown* GetOuterUnknown() const { return m_pUnknownOuter; }

private:
    // The object as its own outer unknown: the non-delegating half under the IUnknown names.
    class COwnUnknown final : public kernel::IUnknown {
    public:
        explicit COwnUnknown(CUnknown& object) : m_Object(object) {}
        kernel::NTSTATUS QueryInterface(const kernel::Guid& id, void** object) override {
            return m_Object.NonDelegatingQueryInterface(id, object);
        }
        std::uint32_t AddRef() override { return m_Object.NonDelegatingAddRef(); }
        std::uint32_t Release() override { return m_Object.NonDelegatingRelease(); }

    private:
        CUnknown& m_Object;
    };

    COwnUnknown m_OwnUnknown{*this};
    kernel::IUnknown* m_pUnknownOuter;
    std::int32_t m_lRefCount = 0;
};

// The forwarding half: a class lists the interfaces it adds (its primary one
// first) and the CUnknown-derived class it builds on. Every added interface's
// QueryInterface, AddRef and Release go to the outer unknown.
template <class Base, class... Interfaces>
class CForwardingUnknown : public Interfaces..., public Base {
public:
    using Base::Base;

    kernel::NTSTATUS QueryInterface(const kernel::Guid& id, void** object) override {
        return this->GetOuterUnknown()->QueryInterface(id, object);
    }
    std::uint32_t AddRef() override { return this->GetOuterUnknown()->AddRef(); }
    std::uint32_t Release() override { return this->GetOuterUnknown()->Release(); }
};

// The shape of a creatable class's factory, as the port driver calls
// miniport factories: out pointer, class id, outer unknown, pool type.
using CreateInstanceFunction = kernel::NTSTATUS (*)(kernel::IUnknown** unknown,
                                                    const kernel::Guid& classId,
                                                    kernel::IUnknown* outer,
                                                    kernel::PoolType poolType);

// The body every factory shares: allocates the object with its pool type and
// tag, constructs it with the outer unknown, stores the requested interface
// with one reference and returns STATUS_SUCCESS; STATUS_INSUFFICIENT_RESOURCES
// when the block cannot be had. An aggregated object is requested as
// INonDelegatingUnknown, the only face that counts its own references.
// Initialisation is the creator's next step; when it fails the creator
// releases its reference.
template <class Object, class Interface, class... Args>
kernel::NTSTATUS CreateDriverObject(Interface** result, kernel::IUnknown* outer,
                                    kernel::PoolType poolType, kernel::PoolTag tag,
                                    Args&&... args) {
    if (result == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *result = nullptr;
    Object* object = new (poolType, tag) Object(outer, std::forward<Args>(args)...);
    if (object == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    object->NonDelegatingAddRef();
    *result = static_cast<Interface*>(object);
    return kernel::STATUS_SUCCESS;
}

// Stores `face` with one reference added, for a NonDelegatingQueryInterface match.
template <class Interface> kernel::NTSTATUS ReturnInterface(Interface* face, void** object) {
    face->AddRef();
    *object = face;
    return kernel::STATUS_SUCCESS;
}
