#include "stand_in_wave.h"

#include "driver/common/interface_ids.h"
#include "driver/engine/audio_hal.h"
#include "driver/engine/queried_interface.h"
#include "driver/engine/subdevice_name.h"
#include "driver/engine/terminal_item.h"
#include "platform/portcls/tests/toy_adapter.h"

#include <string>

namespace entry_test {
namespace {

class CStandInWave final : public portcls::IMiniportWaveCyclic,
                           public ISubdeviceName,
                           public portcls::testing::ToyCounted {
public:
    TOY_UNKNOWN({kernel::IID_IUnknown, static_cast<portcls::IMiniportWaveCyclic*>(this)},
                {portcls::IID_IMiniport, static_cast<portcls::IMiniport*>(this)},
                {portcls::IID_IMiniportWaveCyclic,
                 static_cast<portcls::IMiniportWaveCyclic*>(this)},
                {IID_ISubdeviceName, static_cast<ISubdeviceName*>(this)})

    explicit CStandInWave(std::uint32_t endpoint) : m_ulEndpoint(endpoint) {}

    kernel::NTSTATUS Init(kernel::IUnknown* adapter, const io::ResourceList*,
                          portcls::IPortWaveCyclic*) override {
        CQueriedInterface<IAudioHal> hal(adapter, IID_IAudioHal);
        IStreamEngine* engine = nullptr;
        if (!hal || !kernel::succeeded(hal->GetEndpoint(m_ulEndpoint, &engine)))
            return kernel::STATUS_UNSUCCESSFUL;
        char16_t name[EngineNameMaxChars + 1] = {};
        const kernel::NTSTATUS status = engine->GetName(name, EngineNameMaxChars + 1);
        if (!kernel::succeeded(status)) return status;
        m_Name = std::u16string(name) + u"Wave";
        m_ulTerminal = StreamingTerminal(*engine);
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetDescription(const portcls::FilterDescriptor** description) override {
        *description = &portcls::testing::ToyWave::descriptor;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS DataRangeIntersection(std::uint32_t, const ks::DataRange*,
                                           const ks::DataRange*, std::uint32_t, void*,
                                           std::uint32_t*) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS NewStream(portcls::IMiniportWaveCyclicStream**, kernel::IUnknown*,
                               kernel::PoolType, std::uint32_t, bool, const ks::DataFormat*,
                               portcls::IDmaChannel**, portcls::IServiceGroup**) override {
        return kernel::STATUS_NOT_IMPLEMENTED;
    }
    kernel::NTSTATUS GetConnection(std::uint32_t, std::uint32_t* terminal) override {
        *terminal = m_ulTerminal;
        return kernel::STATUS_SUCCESS;
    }
    kernel::NTSTATUS GetName(const char16_t** name) override {
        *name = m_Name.c_str();
        return kernel::STATUS_SUCCESS;
    }

private:
    // The terminal of the engine's direction whose endpoint type is the
    // streaming one; the last such wins.
    static std::uint32_t StreamingTerminal(IStreamEngine& engine) {
        const std::uint32_t kind = engine.GetDirection() == EngineDirectionRender
                                       ? item_type::inputTerminal
                                       : item_type::outputTerminal;
        std::uint32_t id = 0;
        for (std::uint32_t i = 0; i < engine.GetEntityCount(); ++i) {
            IAudioNode* node = nullptr;
            if (!kernel::succeeded(engine.GetEntity(i, &node)) || node->GetType() != kind) continue;
            CQueriedInterface<ITerminalInfo> info(node, IID_ITerminalInfo);
            std::uint32_t type = 1;
            if (info && kernel::succeeded(info->GetEndpointType(&type)) && type == 0)
                id = node->GetId();
        }
        return id;
    }

    const std::uint32_t m_ulEndpoint;
    std::u16string m_Name;
    std::uint32_t m_ulTerminal = 0;
};

} // namespace

kernel::NTSTATUS CreateStandInWave(kernel::IUnknown** unknown, const kernel::Guid&,
                                   kernel::IUnknown*, kernel::PoolType,
                                   std::uint32_t endpointIndex) {
    if (endpointIndex == standInWaveFaults.refusedEndpoint)
        return kernel::STATUS_INSUFFICIENT_RESOURCES;
    *unknown = static_cast<portcls::IMiniportWaveCyclic*>(new CStandInWave(endpointIndex));
    return kernel::STATUS_SUCCESS;
}

} // namespace entry_test
