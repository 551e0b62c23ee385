// Small stand-ins for the device model's entities and the stream engines, for
// the tests of the control items and the HAL. Every double writes what is
// done to it into a shared log, so tests compare orders as text.
#pragma once

#include "driver/common/object_model.h"
#include "driver/engine/audio_node.h"
#include "driver/engine/engine_binding.h"
#include "driver/engine/stream_binding.h"
#include "driver/engine/stream_engine_base.h"

#include <cstdint>
#include <string>
#include <vector>

namespace engine_test {

inline constexpr kernel::PoolTag TestObjectTag = kernel::poolTag("TEng");

using Log = std::vector<std::string>;

// Creates a driver object with one reference, or null.
template <class Object, class... Args> Object* Make(Args&&... args) {
    Object* object = nullptr;
    CreateDriverObject<Object>(&object, nullptr, kernel::PoolType::NonPagedNx, TestObjectTag,
                               std::forward<Args>(args)...);
    return object;
}

// Drops the creator's reference at the end of a scope.
template <class Object> class Held {
public:
    explicit Held(Object* object) : m_pObject(object) {}
    ~Held() { reset(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    Object* operator->() const { return m_pObject; }
    Object* get() const { return m_pObject; }
    // Drops the reference now.
    void reset() {
        if (m_pObject != nullptr) m_pObject->NonDelegatingRelease();
        m_pObject = nullptr;
    }

private:
    Object* m_pObject;
};

// Drops the creator's reference of every object listed, at the end of a scope.
template <class Object> struct HeldList : std::vector<Object*> {
    HeldList() = default;
    HeldList(const HeldList&) = delete;
    HeldList& operator=(const HeldList&) = delete;
    ~HeldList() {
        for (Object* object : *this) object->NonDelegatingRelease();
    }
};

// Which faces a test node answers besides IAudioNode.
namespace face {
inline constexpr unsigned binding = 1u << 0;
inline constexpr unsigned captureControl = 1u << 1;
inline constexpr unsigned captureSwitch = 1u << 2;
inline constexpr unsigned render = 1u << 3;
} // namespace face

// An entity of the graph: a node that logs what it is told.
class CTestNode
    : public CForwardingUnknown<CAudioNode, IStreamBinding, ICaptureBound, IRenderBoundControl> {
public:
    CTestNode(kernel::IUnknown* outer, std::uint32_t id, std::uint32_t type, Log* log,
              unsigned faces = 0)
        : CForwardingUnknown(outer, id, type), m_pLog(log), m_Faces(faces) {}

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override;

    // What each logged operation returns.
    kernel::NTSTATUS applyStatus = kernel::STATUS_SUCCESS;
    kernel::NTSTATUS bindingStatus = kernel::STATUS_SUCCESS;

    kernel::NTSTATUS ApplyToDevice() override;
    kernel::NTSTATUS Start() override;
    kernel::NTSTATUS Stop() override;
    kernel::NTSTATUS OnValueChanging(std::uint32_t newValue, std::uint32_t oldValue) override;
    kernel::NTSTATUS SetCurrentValue(std::uint32_t value) override;
    kernel::NTSTATUS SetOwnValue(std::uint32_t value) override;
    kernel::NTSTATUS SetBoundValue(std::uint32_t value) override;
    kernel::NTSTATUS GetBoundValue(std::uint32_t* value) override;
    kernel::NTSTATUS BindEngine(IStreamEngine* engine) override;
    kernel::NTSTATUS SetRenderBoundValue(std::uint32_t value) override;

private:
    void Write(const std::string& what);

    Log* m_pLog;
    unsigned m_Faces;
};

// An endpoint with a direction and the entities on its path (no references
// held: the test keeps them alive). The rest is the real engine's, never
// initialised: no lists of its own.
class CTestEngine : public CStreamEngine {
public:
    CTestEngine(kernel::IUnknown* outer, std::uint32_t direction, std::string name)
        : CStreamEngine(outer, 0), m_ulTestDirection(direction), m_Name(std::move(name)) {}

    std::vector<IAudioNode*> entities;
    const std::string& Name() const { return m_Name; }

    std::uint32_t GetDirection() override { return m_ulTestDirection; }
    std::uint32_t GetEntityCount() override { return static_cast<std::uint32_t>(entities.size()); }
    kernel::NTSTATUS GetEntity(std::uint32_t index, IAudioNode** entity) override;

private:
    const std::uint32_t m_ulTestDirection;
    const std::string m_Name;
};

} // namespace engine_test
