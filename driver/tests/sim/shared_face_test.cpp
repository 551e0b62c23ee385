// Two pairs of faces share an interface id with different slots: a selector
// unit answers ISelectorUnit and a selector item ISelectorControl under one
// id, a clock source IClockSourceUnit and a clock item IClockSource under
// another. Every caller of an item's face takes its object from what the HAL
// hands out (its children, by index or by id, and the nodes of every
// endpoint), so on every headset the driver's own models start, what the HAL
// hands out answers those ids with the item's face, never an entity's.
#include "adapter_test_world.h"
#include "uac_device_fixture.h"

#include "driver/devmodel/uac_entity.h"
#include "driver/devmodel/unit_faces.h"
#include "driver/engine/clock_item.h"
#include "driver/engine/selector_item.h"
#include "sim/usb/fixtures.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace adapter_test {
namespace {

namespace fixtures = usbsim::fixtures;

struct SharedFace {
    const char* name;
    const kernel::Guid& itemId;
    const kernel::Guid& unitId;
    // The face an item of the class that declares it answers; null for an
    // object of any other class.
    void* (*itemFace)(IAudioNode& node);
};

template <class Item, class Face> void* ItemFace(IAudioNode& node) {
    auto* item = dynamic_cast<Item*>(&node);
    return item != nullptr ? static_cast<Face*>(item) : nullptr;
}

const SharedFace SharedFaces[] = {
    {"selector", IID_ISelectorControl, IID_ISelectorUnit,
     ItemFace<CSelectorItem, ISelectorControl>},
    {"clock source", IID_IClockSource, IID_IClockSourceUnit, ItemFace<CClockItem, IClockSource>},
};

// What the object answers under the id, null when it answers nothing.
void* Answer(IAudioNode& node, const kernel::Guid& id) {
    void* face = nullptr;
    if (!kernel::succeeded(node.QueryInterface(id, &face))) return nullptr;
    // Each face derives from IUnknown alone, so it starts with its slots.
    static_cast<kernel::IUnknown*>(face)->Release();
    return face;
}

bool IsEntity(IAudioNode& node) {
    void* face = nullptr;
    if (!kernel::succeeded(node.QueryInterface(IID_IUacEntity, &face))) return false;
    static_cast<IUacEntity*>(face)->Release();
    return true;
}

struct Handed {
    std::string where;
    IAudioNode* node;
};

// Everything the HAL hands out: its children by index (a search by id
// returns one of them) and every endpoint's nodes.
std::vector<Handed> HandedOut(IAudioHal& hal) {
    std::vector<Handed> found;
    for (std::uint32_t index = 0; index < hal.GetChildCount(); ++index) {
        IAudioNode* child = nullptr;
        EXPECT_EQ(hal.GetChild(index, &child), kernel::STATUS_SUCCESS);
        if (child != nullptr) found.push_back({"child " + std::to_string(index), child});
    }
    for (std::uint32_t index = 0; index < hal.GetEndpointCount(); ++index) {
        IStreamEngine* engine = nullptr;
        EXPECT_EQ(hal.GetEndpoint(index, &engine), kernel::STATUS_SUCCESS);
        if (engine == nullptr) continue;
        for (std::uint32_t node = 0; node < engine->GetEntityCount(); ++node) {
            IAudioNode* entity = nullptr;
            EXPECT_EQ(engine->GetEntity(node, &entity), kernel::STATUS_SUCCESS);
            if (entity != nullptr)
                found.push_back(
                    {"endpoint " + std::to_string(index) + " node " + std::to_string(node),
                     entity});
        }
    }
    return found;
}

struct Headset {
    const char* name;
    std::function<usbsim::FunctionDescription()> describe;
};

const Headset Headsets[] = {
    {"release 1 headset", devmodel_test::IdentifiedUac1Headset},
    {"release 2 with feedback", fixtures::uac2FeedbackDevice},
    {"release 2 ASIO product", fixtures::uac2AsioDevice},
    {"ASIO chip headset", [] { return fixtures::asioChipHeadset(); }},
    {"N3W8", [] { return fixtures::n3w8Device(); }},
    {"K7D2", fixtures::k7d2Device},
    {"P9F4", fixtures::p9f4Device},
    {"T6L1", fixtures::t6l1Device},
    {"Q7K2", [] { return fixtures::q7k2Device(); }},
};

class SharedFaceTest : public AdapterWorld {};

TEST_F(SharedFaceTest, TheHalHandsOutOnlyItemsUnderTheIdsItemsShareWithEntities) {
    const std::vector<DeviceModelRow> table = RecordingModelTable();
    std::map<std::string, int> items;    // handed-out items answering each shared id
    std::map<std::string, int> entities; // entities of the models answering it
    for (const Headset& headset : Headsets) {
        SCOPED_TRACE(headset.name);
        LastModel().model = nullptr;
        Plug(headset.describe());
        ASSERT_EQ(Start(table), kernel::STATUS_SUCCESS);
        CUacDevice* model = LastModel().Uac();
        ASSERT_NE(model, nullptr);

        for (const Handed& handed : HandedOut(*Hal())) {
            for (const SharedFace& face : SharedFaces) {
                void* answered = Answer(*handed.node, face.itemId);
                if (answered == nullptr) continue;
                EXPECT_EQ(answered, face.itemFace(*handed.node))
                    << handed.where << " (node " << handed.node->GetId() << ", type "
                    << handed.node->GetType() << (IsEntity(*handed.node) ? ", an entity" : "")
                    << ") answers the " << face.name << " id with another face than the item's";
                EXPECT_FALSE(IsEntity(*handed.node)) << handed.where;
                ++items[face.name];
            }
        }

        // The entities behind the items answer the same ids with their own
        // faces, which the check above tells apart.
        for (std::uint32_t index = 0; index < model->GetEntityCount(); ++index) {
            IAudioNode* entity = model->EntityAt(index);
            ASSERT_NE(entity, nullptr);
            ASSERT_TRUE(IsEntity(*entity));
            for (const SharedFace& face : SharedFaces) {
                void* answered = Answer(*entity, face.unitId);
                if (answered == nullptr) continue;
                EXPECT_NE(answered, face.itemFace(*entity)) << "entity " << entity->GetId();
                ++entities[face.name];
            }
        }
        ReleaseAdapter();
        TearDown();
    }
    for (const SharedFace& face : SharedFaces) {
        EXPECT_TRUE(IsEqualId(face.itemId, face.unitId)) << face.name;
        EXPECT_GT(items[face.name], 0) << "no headset's HAL hands out a " << face.name << " item";
        EXPECT_GT(entities[face.name], 0) << "no headset has a " << face.name << " entity";
    }
}

} // namespace
} // namespace adapter_test
