// The topology miniport on a test device: a HAL whose children the test
// lists (the engine's real control items and a few stand-ins for the
// device-specific controls), the miniport bound to a topology port and
// registered as a subdevice, and the filter opened from the system's side.
#pragma once

#include "driver/common/settings_store.h"
#include "driver/engine/audio_hal.h"
#include "driver/engine/device_specific_controls.h"
#include "driver/engine/effect_parameters_item.h"
#include "driver/engine/effect_record_item.h"
#include "driver/engine/engine_binding.h"
#include "driver/engine/level_item.h"
#include "driver/engine/mixer_item.h"
#include "driver/engine/on_off_item.h"
#include "driver/engine/selector_item.h"
#include "driver/engine/terminal_item.h"
#include "driver/engine/terminal_type_item.h"
#include "driver/miniport/topology_miniport.h"
#include "engine_test_doubles.h"
#include "platform/kernel/os_version.h"
#include "platform/portcls/subdevice_access.h"
#include "platform/portcls/tests/toy_device_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <ostream>
#include <vector>

namespace portcls {
inline bool operator==(const ConnectionDescriptor& a, const ConnectionDescriptor& b) {
    return a.FromNode == b.FromNode && a.FromNodePin == b.FromNodePin && a.ToNode == b.ToNode &&
           a.ToNodePin == b.ToNodePin;
}
inline void PrintTo(const ConnectionDescriptor& c, std::ostream* out) {
    *out << "{" << static_cast<std::int32_t>(c.FromNode) << "," << c.FromNodePin << " -> "
         << static_cast<std::int32_t>(c.ToNode) << "," << c.ToNodePin << "}";
}
} // namespace portcls

namespace topology_test {

using engine_test::Held;
using engine_test::Make;
using kernel::NTSTATUS;
using kernel::STATUS_SUCCESS;

// Level items' range: 0 dB down to -96 dB in steps of 0.5 dB (1/65536 dB units).
inline constexpr std::int32_t LevelMaximum = 0;
inline constexpr std::int32_t LevelMinimum = -96 * 65536;
inline constexpr std::int32_t LevelStep = 32768;

// A stand-in for the device-specific controls no engine item implements:
// the capture-bound value (both faces), the ranged value and the block.
class CFakeControl
    : public CForwardingUnknown<CAudioNode, ICaptureBound, IRangedValueControl, IControlBlock> {
public:
    using CForwardingUnknown::CForwardingUnknown;

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        const NTSTATUS status = CAudioNode::NonDelegatingQueryInterface(id, object);
        if (kernel::succeeded(status) || object == nullptr) return status;
        if (IsEqualId(id, IID_ICaptureBoundControl) || IsEqualId(id, IID_ICaptureBoundSwitch))
            return ReturnInterface(static_cast<ICaptureBound*>(this), object);
        if (IsEqualId(id, IID_IRangedValueControl))
            return ReturnInterface(static_cast<IRangedValueControl*>(this), object);
        if (IsEqualId(id, IID_IControlBlock))
            return ReturnInterface(static_cast<IControlBlock*>(this), object);
        return status;
    }
    NTSTATUS SetBoundValue(std::uint32_t v) override { return Store(v); }
    NTSTATUS GetBoundValue(std::uint32_t* v) override { return ReportValue(value, v); }
    NTSTATUS BindEngine(IStreamEngine*) override { return STATUS_SUCCESS; }
    NTSTATUS GetRangedValue(std::uint32_t* v) override { return ReportValue(value, v); }
    NTSTATUS SetRangedValue(std::uint32_t v) override { return Store(v); }
    NTSTATUS GetValueRange(std::uint32_t* maximum, std::uint32_t* minimum) override {
        *maximum = 100;
        *minimum = 10;
        return STATUS_SUCCESS;
    }
    NTSTATUS GetBlockIdentifier(kernel::Guid* identifier) override {
        return ReportValue(blockName, identifier);
    }
    NTSTATUS GetBlock(std::uint32_t bytes, void* out, std::uint32_t* written) override {
        lastBlockBytes = bytes;
        *written = std::min<std::uint32_t>(bytes, static_cast<std::uint32_t>(block.size()));
        std::memcpy(out, block.data(), *written);
        return STATUS_SUCCESS;
    }
    NTSTATUS SetBlock(std::uint32_t bytes, const void* in) override {
        lastBlockBytes = bytes;
        block.assign(static_cast<const std::uint8_t*>(in),
                     static_cast<const std::uint8_t*>(in) + bytes);
        return STATUS_SUCCESS;
    }

    std::uint32_t value = 0;
    std::vector<std::uint8_t> block = std::vector<std::uint8_t>(12, 0xB1);
    std::uint32_t lastBlockBytes = 0;
    kernel::Guid blockName = kernel::makeGuid("{6D3C1F60-2B7A-4C2E-9F0A-1D2E3F405162}");

private:
    NTSTATUS Store(std::uint32_t v) {
        value = v;
        return STATUS_SUCCESS;
    }
};

// Parameter storage behind the effect-parameters and effect-record items,
// which leave their parameters to an owner.
struct ParameterStore {
    std::vector<std::uint32_t> values = std::vector<std::uint32_t>(6, 0);
    int setCalls = 0;
    int getCalls = 0;

    // Trusts the range it is given, as the topology filter checks it.
    NTSTATUS Get(std::uint32_t first, std::uint32_t count, std::uint32_t* out) {
        ++getCalls;
        std::copy_n(values.begin() + first, count, out);
        return STATUS_SUCCESS;
    }
    NTSTATUS Set(std::uint32_t first, std::uint32_t count, const std::uint32_t* in) {
        ++setCalls;
        std::copy_n(in, count, values.begin() + first);
        return STATUS_SUCCESS;
    }
    NTSTATUS Info(std::uint32_t index, std::uint32_t* a, std::uint32_t* b, std::uint32_t* c) const {
        *a = index;
        *b = 0;
        *c = 1000 + index;
        return STATUS_SUCCESS;
    }
};

class CTestParameters : public CEffectParametersItem {
public:
    CTestParameters(kernel::IUnknown* outer, std::uint32_t id)
        : CEffectParametersItem(outer, id,
                                kernel::makeGuid("{0B9F5E6A-1C2D-4E3F-8091-A2B3C4D5E6F7}"), 6) {}
    NTSTATUS GetParameters(std::uint32_t first, std::uint32_t count, std::uint32_t* out) override {
        return store.Get(first, count, out);
    }
    NTSTATUS SetParameters(std::uint32_t first, std::uint32_t count,
                           const std::uint32_t* in) override {
        return store.Set(first, count, in);
    }
    NTSTATUS GetParameterInfo(std::uint32_t index, std::uint32_t* a, std::uint32_t* b,
                              std::uint32_t* c) override {
        return store.Info(index, a, b, c);
    }
    ParameterStore store;
};

class CTestEffectRecord : public CEffectRecordItem {
public:
    using CEffectRecordItem::CEffectRecordItem;
    NTSTATUS GetRecordParameters(std::uint32_t first, std::uint32_t count,
                                 std::uint32_t* out) override {
        return store.Get(first, count, out);
    }
    NTSTATUS SetRecordParameters(std::uint32_t first, std::uint32_t count,
                                 const std::uint32_t* in) override {
        return store.Set(first, count, in);
    }
    NTSTATUS GetRecordParameterInfo(std::uint32_t index, std::uint32_t* a, std::uint32_t* b,
                                    std::uint32_t* c) override {
        return store.Info(index, a, b, c);
    }
    ParameterStore store;
};

inline constexpr kernel::Guid EffectRecordName =
    kernel::makeGuid("{5A4B3C2D-1E0F-4A9B-8C7D-6E5F40312213}");

// A HAL without descriptors of its own: the test lists its children.
class CListingHal : public CAudioHal {
public:
    using CAudioHal::CAudioHal;
    NTSTATUS ParseDescriptors() override { return STATUS_SUCCESS; }
};

// What a property request came back with.
struct Reply {
    NTSTATUS status;
    std::uint32_t size;
    std::vector<std::uint8_t> value;

    std::uint32_t Word(std::size_t index) const {
        std::uint32_t word = 0;
        std::memcpy(&word, value.data() + index * 4, 4);
        return word;
    }
};

class TopologyTest : public portcls::testing::ToyDeviceTest {
protected:
    void SetUp() override {
        ASSERT_EQ(addDevice(), STATUS_SUCCESS);
        ASSERT_EQ(hal->Init(nullptr, functional(), nullptr, nullptr), STATUS_SUCCESS);
    }
    void TearDown() override {
        filter.close();
        if (port != nullptr) port->Release();
        port = nullptr;
        hal.reset();
        remove();
        kernel::setOsVersion(kernel::defaultOsVersion);
    }

public:
    kernel::IUnknown* adapter() const { return static_cast<IAudioHal*>(hal.get()); }

    // Lists the child with the HAL, which keeps it.
    template <class Item> Item* Add(Item* item, std::initializer_list<std::uint32_t> sources) {
        if (sources.size() != 0) {
            EXPECT_EQ(item->SetIdList(static_cast<std::uint32_t>(sources.size()), sources.begin()),
                      STATUS_SUCCESS);
        }
        EXPECT_EQ(hal->AddChildObject(item), STATUS_SUCCESS);
        item->NonDelegatingRelease();
        return item;
    }
    CTerminalItem* AddTerminal(std::uint32_t id, bool output, std::uint32_t endpointType,
                               std::initializer_list<std::uint32_t> sources = {},
                               const std::vector<JackDescription>& jacks = {}) {
        auto* item =
            Make<CTerminalItem>(id, output ? item_type::outputTerminal : item_type::inputTerminal);
        if (endpointType != 0) {
            EXPECT_EQ(item->StoreCodes(1, &endpointType), STATUS_SUCCESS);
        }
        if (!jacks.empty()) {
            EXPECT_EQ(
                item->StoreJackRecords(static_cast<std::uint32_t>(jacks.size()), jacks.data()),
                STATUS_SUCCESS);
        }
        return Add(item, sources);
    }
    CLevelItem* AddLevel(std::uint32_t id, std::uint32_t type, std::uint32_t source,
                         std::uint32_t channels = 2) {
        auto* item = Make<CLevelItem>(id, type);
        EXPECT_EQ(item->AllocateLevel(source, channels, LevelMaximum, LevelMinimum, LevelStep),
                  STATUS_SUCCESS);
        return Add(item, {});
    }
    COnOffItem* AddOnOff(std::uint32_t id, std::uint32_t type, std::uint32_t source,
                         std::uint32_t channels = 2) {
        auto* item = Make<COnOffItem>(id, type);
        EXPECT_EQ(item->AllocateOnOff(source, channels), STATUS_SUCCESS);
        return Add(item, {});
    }
    CSelectorItem* AddSelector(std::uint32_t id, std::vector<std::uint32_t> inputs) {
        auto* item = Make<CSelectorItem>(id);
        const auto count = static_cast<std::uint32_t>(inputs.size());
        EXPECT_EQ(item->AllocateInputs(count), STATUS_SUCCESS);
        EXPECT_EQ(item->SetInputs(count, inputs.data()), STATUS_SUCCESS);
        return Add(item, {});
    }
    CMixerItem* AddMixer(std::uint32_t id, std::vector<std::uint32_t> inputs) {
        auto* item = Make<CMixerItem>(id);
        const auto count = static_cast<std::uint32_t>(inputs.size());
        EXPECT_EQ(item->AllocateInputs(count), STATUS_SUCCESS);
        EXPECT_EQ(item->SetInputs(count, inputs.data()), STATUS_SUCCESS);
        return Add(item, {});
    }
    CFakeControl* AddFake(std::uint32_t id, std::uint32_t type,
                          std::initializer_list<std::uint32_t> sources) {
        return Add(Make<CFakeControl>(id, type), sources);
    }

    // A miniport on a port that is not bound: Init is called directly, with
    // the pool request failRequest of Init's own failed (0: none); requests
    // gets the number Init made.
    NTSTATUS InitUnbound(NTSTATUS* describeStatus = nullptr, std::uint64_t failRequest = 0,
                         std::uint64_t* requests = nullptr) {
        kernel::IUnknown* unknown = nullptr;
        EXPECT_EQ(CreateTopologyMiniport(&unknown, portcls::CLSID_PortTopology, nullptr,
                                         kernel::PoolType::NonPagedNx),
                  STATUS_SUCCESS);
        void* face = nullptr;
        EXPECT_EQ(unknown->QueryInterface(portcls::IID_IMiniportTopology, &face), STATUS_SUCCESS);
        auto* topology = static_cast<portcls::IMiniportTopology*>(face);
        portcls::IPortTopology* unbound = NewPort();
        const std::uint64_t before = kernel::poolRequestCount();
        if (failRequest != 0) kernel::failPoolRequest(failRequest);
        const NTSTATUS status = topology->Init(adapter(), nullptr, unbound);
        kernel::clearPoolFaults();
        if (requests != nullptr) *requests = kernel::poolRequestCount() - before;
        const portcls::FilterDescriptor* descriptor = nullptr;
        if (describeStatus != nullptr) *describeStatus = topology->GetDescription(&descriptor);
        topology->Release();
        unknown->Release();
        unbound->Release();
        return status;
    }

    // The miniport bound to a topology port, registered and its filter open.
    NTSTATUS Install() {
        kernel::IUnknown* unknown = nullptr;
        NTSTATUS status = CreateTopologyMiniport(&unknown, portcls::CLSID_PortTopology, nullptr,
                                                 kernel::PoolType::NonPagedNx);
        if (!kernel::succeeded(status)) return status;
        port = NewPort();
        status = port->Init(functional(), nullptr, unknown, adapter(), nullptr);
        void* face = nullptr;
        if (kernel::succeeded(status))
            status = unknown->QueryInterface(portcls::IID_IMiniportTopology, &face);
        unknown->Release();
        if (!kernel::succeeded(status)) return status;
        auto* topology = static_cast<portcls::IMiniportTopology*>(face);
        miniport = static_cast<CTopologyMiniport*>(topology);
        topology->Release(); // the port holds it
        const char16_t* name = nullptr;
        EXPECT_EQ(miniport->GetName(&name), STATUS_SUCCESS);
        status = portcls::PcRegisterSubdevice(functional(), name, port);
        return kernel::succeeded(status) ? filter.open(functional(), name) : status;
    }

    const portcls::FilterDescriptor& Descriptor() const { return *filter.descriptor(); }
    std::uint32_t NodeOf(std::uint32_t entityId) const {
        return miniport->Graph().FindNode(entityId);
    }

    Reply Property(const kernel::Guid& set, std::uint32_t id, std::uint32_t verb,
                   std::uint32_t node, std::vector<std::uint32_t> instance, std::uint32_t valueSize,
                   std::vector<std::uint8_t> value = {}) const {
        value.resize(std::max<std::size_t>(valueSize, 1));
        std::uint32_t bytes = 0;
        const NTSTATUS status = filter.property(
            ks::Identifier{set, id, verb}, node, instance.empty() ? nullptr : instance.data(),
            static_cast<std::uint32_t>(instance.size() * 4),
            valueSize != 0 ? value.data() : nullptr, valueSize, &bytes);
        value.resize(valueSize);
        return {status, bytes, value};
    }
    static std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint32_t> words) {
        std::vector<std::uint8_t> bytes(words.size() * 4);
        std::memcpy(bytes.data(), words.begin(), bytes.size());
        return bytes;
    }

    Held<CListingHal> hal{Make<CListingHal>()};
    portcls::IPortTopology* port = nullptr;
    CTopologyMiniport* miniport = nullptr;
    portcls::FilterHandle filter;

private:
    static portcls::IPortTopology* NewPort() {
        portcls::IPort* created = nullptr;
        EXPECT_EQ(portcls::PcNewPort(&created, portcls::CLSID_PortTopology), STATUS_SUCCESS);
        void* face = nullptr;
        EXPECT_EQ(created->QueryInterface(portcls::IID_IPortTopology, &face), STATUS_SUCCESS);
        created->Release();
        return static_cast<portcls::IPortTopology*>(face);
    }
};

} // namespace topology_test
