// The N3W8 model's chip poll through the adapter on the manual clock, 50 ms
// at a time: the attenuation the input report's bit 4 leads to, the forced
// mute of the analog unit, stops after the poll ended on its own, and the
// products that have no poll. Also the model's renaming of endpoints, which
// re-reads the announcing node instead of installing.
#include "adapter_test_world.h"

#include "driver/common/settings_store.h"
#include "driver/devmodel/chips/n3w8/n3w8_device.h"
#include "driver/devmodel/chips/n3w8/n3w8_forced_mute.h"
#include "driver/engine/control_change.h"
#include "driver/engine/terminal_type_item.h"
#include "driver/tests/engine_test_doubles.h"
#include "platform/kernel/thread.h"
#include "sim/usb/fixtures.h"

#include <atomic>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace adapter_test {
namespace {

namespace fixtures = usbsim::fixtures;
using Report = fixtures::N3W8Chip::Report;

// Stands in for the analog unit 11 whose mute the worker forces; every
// forced value is kept.
class CForcedMuteDouble : public CForwardingUnknown<CAudioNode, IN3W8ForcedMute> {
public:
    explicit CForcedMuteDouble(kernel::IUnknown* outer)
        : CForwardingUnknown(outer, N3W8ForcedMuteUnit, 6) {}
    NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return AnswerAfterBase(CAudioNode::NonDelegatingQueryInterface(id, object),
                               static_cast<IN3W8ForcedMute*>(this), id, IID_IN3W8ForcedMute,
                               object);
    }
    NTSTATUS SetForcedMute(bool forced) override {
        std::lock_guard guard(m_Lock);
        m_Forced.push_back(forced);
        return kernel::STATUS_SUCCESS;
    }
    std::vector<bool> Forced() const {
        std::lock_guard guard(m_Lock);
        return m_Forced;
    }

private:
    mutable std::mutex m_Lock;
    std::vector<bool> m_Forced;
};

class N3W8Worker : public AdapterWorld {
protected:
    // The headset whose chip the poll is made for, its report scripted.
    NTSTATUS StartHeadset(fixtures::N3W8Chip::ReportScript script, std::uint16_t product = 0x3750,
                          std::uint8_t chipA = 0x9F) {
        chip = std::make_shared<fixtures::N3W8Chip>();
        chip->reportScript = std::move(script);
        chip->identificationA = chipA;
        usbsim::FunctionDescription description = fixtures::n3w8Device(chip);
        description.productId = product;
        Plug(std::move(description));
        if (withoutUnit11) {
            std::uint32_t off = 1;
            EXPECT_EQ(
                AccessSetting(m_pDevice, SETTING_WRITE, &off, sizeof off, u"DisableLineInAAUnit"),
                kernel::STATUS_SUCCESS);
        }
        const NTSTATUS status = Start(DefaultDeviceModelTable());
        if (!kernel::succeeded(status)) return status;
        void* face = nullptr;
        if (!kernel::succeeded(m_pAdapter->QueryInterface(IID_IAudioDeviceModel, &face)))
            return kernel::STATUS_UNSUCCESSFUL;
        static_cast<IAudioDeviceModel*>(face)->Release();
        model = dynamic_cast<CUac1DeviceN3W8*>(static_cast<IAudioDeviceModel*>(face));
        if (model == nullptr) return kernel::STATUS_UNSUCCESSFUL;
        if (withoutUnit11) {
            IAudioNode* unit = nullptr;
            EXPECT_NE(model->FindEntityById(N3W8ForcedMuteUnit, &unit), kernel::STATUS_SUCCESS);
            ReleaseMute();
            mute = engine_test::Make<CForcedMuteDouble>();
            EXPECT_EQ(model->AddEntity(mute), kernel::STATUS_SUCCESS);
        }
        return kernel::STATUS_SUCCESS;
    }
    void TearDown() override {
        AdapterWorld::TearDown();
        ReleaseMute();
    }
    void ReleaseMute() {
        if (mute != nullptr) mute->NonDelegatingRelease();
        mute = nullptr;
    }
    NTSTATUS StartModel() {
        const NTSTATUS status = m_pHal->Start();
        clock.settle();
        return status;
    }
    NTSTATUS StopModel() {
        const NTSTATUS status = m_pHal->Stop();
        clock.settle();
        return status;
    }
    // One period of the poll, and everything it set going.
    void Tick() {
        clock.advance(N3W8WorkerPeriod);
        clock.settle();
    }
    std::uint32_t Mode() const { return model->AttenuateNode()->GetMode(); }
    std::uint32_t Reads() const { return chip->reportReads; }

    bool withoutUnit11 = true;
    std::shared_ptr<fixtures::N3W8Chip> chip;
    CUac1DeviceN3W8* model = nullptr;
    CForcedMuteDouble* mute = nullptr; // the test's reference
};

// Bit 4 of the first byte of the n-th report.
fixtures::N3W8Chip::ReportScript Bit4(std::function<bool(std::uint32_t)> set,
                                      std::uint8_t others = 0) {
    return [set = std::move(set), others](std::uint32_t read) -> std::optional<Report> {
        const auto first = static_cast<std::uint8_t>(set(read) ? others | 0x10 : others & ~0x10);
        return Report{first, 0xFF, 0xFF};
    };
}

// Entries not yet read count as set, and every read from the start counts.
TEST_F(N3W8Worker, BitFourOverTheLastThirtyReadsStepsTheAttenuation) {
    struct Case {
        const char* name;
        std::function<bool(std::uint32_t)> set;
        std::uint8_t others;
        std::vector<std::pair<int, std::uint32_t>> modes; // after n periods
        std::vector<bool> forced;
    };
    const Case cases[] = {
        {"toggling every period",
         [](std::uint32_t n) { return n % 2 == 1; },
         0,
         {{1, 1}, {29, 1}, {30, 1}, {45, 1}},
         {true, false}},
        {"clear throughout, whatever the other bits",
         [](std::uint32_t) { return false; },
         0xEF,
         {{1, 1}, {28, 1}, {29, 2}, {40, 2}},
         {true, false, false}},
        {"clear for thirty reads, then set",
         [](std::uint32_t n) { return n >= 30; },
         0,
         {{29, 2}, {58, 2}, {59, 0}, {70, 0}},
         {true, false, false, true}},
        {"set throughout", [](std::uint32_t) { return true; }, 0x10, {{1, 0}, {40, 0}}, {true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(StartHeadset(Bit4(c.set, c.others)), kernel::STATUS_SUCCESS);
        ASSERT_NE(model->AttenuateNode(), nullptr);
        ASSERT_EQ(StartModel(), kernel::STATUS_SUCCESS);
        ASSERT_TRUE(model->Worker().Running());
        EXPECT_EQ(model->Worker().Thread()->priority(), N3W8WorkerPriority);
        EXPECT_EQ(Reads(), 1u);
        EXPECT_EQ(Mode(), 0u);
        int period = 0;
        for (const auto& [after, mode] : c.modes) {
            while (period < after) {
                Tick();
                ++period;
            }
            EXPECT_EQ(Mode(), mode) << "after " << after << " periods";
        }
        EXPECT_EQ(Reads(), static_cast<std::uint32_t>(period + 1));
        EXPECT_EQ(mute->Forced(), c.forced);
        EXPECT_EQ(StopModel(), kernel::STATUS_SUCCESS);
        EXPECT_FALSE(model->Worker().Running());
        Tick();
        EXPECT_EQ(Reads(), static_cast<std::uint32_t>(period + 1)) << "read after the stop";
        ReleaseAdapter();
        TearDown();
    }
}

// The headset's own unit 11 may be a plain feature unit: then the mute is
// not forced, and the attenuation steps all the same.
TEST_F(N3W8Worker, AUnitWithoutTheForcedMuteIsLeftAlone) {
    withoutUnit11 = false;
    ASSERT_EQ(StartHeadset(Bit4([](std::uint32_t) { return false; })), kernel::STATUS_SUCCESS);
    IAudioNode* unit = nullptr;
    ASSERT_EQ(model->FindEntityById(N3W8ForcedMuteUnit, &unit), kernel::STATUS_SUCCESS);
    ASSERT_EQ(StartModel(), kernel::STATUS_SUCCESS);
    for (int period = 0; period < 29; ++period) Tick();
    EXPECT_EQ(Mode(), 2u);
    EXPECT_TRUE(model->Worker().Running());
}

// A failed read ends the poll, at the start or later; the stop that follows
// must not wait for an end that already came, and no read follows it.
TEST_F(N3W8Worker, AStopAfterAFailedReadReturnsAtOnce) {
    for (const std::uint32_t failing : {0u, 3u}) {
        SCOPED_TRACE(testing::Message() << "read " << failing << " fails");
        ASSERT_EQ(StartHeadset([failing](std::uint32_t read) -> std::optional<Report> {
                      if (read == failing) return std::nullopt;
                      return Report{0x10, 0, 0};
                  }),
                  kernel::STATUS_SUCCESS);
        ASSERT_EQ(StartModel(), kernel::STATUS_SUCCESS);
        for (int period = 0; period < 5; ++period) Tick();
        EXPECT_EQ(Reads(), failing + 1);
        const std::size_t threads = kernel::runningSystemThreads();
        EXPECT_EQ(Call([this] { return m_pHal->Stop(); }, kernel::Duration::zero()),
                  kernel::STATUS_SUCCESS);
        EXPECT_FALSE(model->Worker().Running());
        EXPECT_EQ(kernel::runningSystemThreads(), threads);
        ReleaseAdapter();
        TearDown();
    }
}

TEST_F(N3W8Worker, StartAndStopTwice) {
    ASSERT_EQ(StartHeadset(Bit4([](std::uint32_t) { return true; })), kernel::STATUS_SUCCESS);
    const std::size_t threads = kernel::runningSystemThreads();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        const std::uint32_t before = Reads();
        ASSERT_EQ(StartModel(), kernel::STATUS_SUCCESS);
        ASSERT_EQ(StartModel(), kernel::STATUS_SUCCESS);
        EXPECT_EQ(kernel::runningSystemThreads(), threads + 1);
        Tick();
        EXPECT_EQ(Reads(), before + 2) << "one poll only";
        EXPECT_EQ(StopModel(), kernel::STATUS_SUCCESS);
        EXPECT_EQ(StopModel(), kernel::STATUS_SUCCESS);
        EXPECT_EQ(kernel::runningSystemThreads(), threads);
    }
    // Forced on at each start.
    EXPECT_EQ(mute->Forced(), (std::vector<bool>{true, true}));
}

// A poll stopped while the stream was silenced (after a power-down, say)
// begins idle again: an idle chip would never bring the stream back.
TEST_F(N3W8Worker, ARestartedPollBeginsIdle) {
    auto idle = std::make_shared<std::atomic<bool>>(false);
    ASSERT_EQ(StartHeadset(Bit4([idle](std::uint32_t) { return idle->load(); })),
              kernel::STATUS_SUCCESS);
    ASSERT_EQ(StartModel(), kernel::STATUS_SUCCESS);
    for (int period = 0; period < 29; ++period) Tick();
    ASSERT_EQ(Mode(), 2u);
    ASSERT_EQ(StopModel(), kernel::STATUS_SUCCESS);
    *idle = true;
    ASSERT_EQ(StartModel(), kernel::STATUS_SUCCESS);
    EXPECT_EQ(Mode(), 0u);
    for (int period = 0; period < 35; ++period) Tick();
    EXPECT_EQ(Mode(), 0u);
    EXPECT_EQ(mute->Forced(), (std::vector<bool>{true, false, false, true}));
}

// Only the headset with its own chip polls.
TEST_F(N3W8Worker, NoPollOnOtherProductsOrChips) {
    const struct {
        const char* name;
        std::uint16_t product;
        std::uint8_t chipA;
    } cases[] = {{"the headset with another chip", 0x3750, 0x00},
                 {"another product with the chip", 0x3751, 0x9F}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        withoutUnit11 = false;
        ASSERT_EQ(StartHeadset(Bit4([](std::uint32_t) { return false; }), c.product, c.chipA),
                  kernel::STATUS_SUCCESS);
        const std::size_t threads = kernel::runningSystemThreads();
        ASSERT_EQ(StartModel(), kernel::STATUS_SUCCESS);
        for (int period = 0; period < 3; ++period) Tick();
        EXPECT_FALSE(model->Worker().Running());
        EXPECT_EQ(kernel::runningSystemThreads(), threads);
        EXPECT_EQ(Reads(), 0u);
        ReleaseAdapter();
        TearDown();
    }
}

// An endpoint whose installs are counted.
class CCountingEngine : public engine_test::CTestEngine {
public:
    using CTestEngine::CTestEngine;
    NTSTATUS Install(io::DeviceObject*, io::Irp*, kernel::IUnknown*) override {
        ++installs;
        return kernel::STATUS_SUCCESS;
    }
    NTSTATUS Uninstall(io::DeviceObject*, io::Irp*, kernel::IUnknown*) override {
        ++uninstalls;
        return kernel::STATUS_SUCCESS;
    }
    int installs = 0;
    int uninstalls = 0;
};

// Feature unit 13 (playback) announced the switch: the endpoint is named
// again, the unit re-reads its controls from the device and announces
// them, and nothing is installed again.
TEST_F(N3W8Worker, RenamedEndpointsReReadTheAnnouncingNodeInsteadOfInstalling) {
    withoutUnit11 = false;
    ASSERT_EQ(StartHeadset(Bit4([](std::uint32_t) { return true; }), 0x3751),
              kernel::STATUS_SUCCESS);
    engine_test::Held<CCountingEngine> engine(
        engine_test::Make<CCountingEngine>(EngineDirectionRender, ""));
    engine_test::Held<CTerminalTypeItem> item(engine_test::Make<CTerminalTypeItem>(90u));
    ASSERT_EQ(engine->Init(EngineDirectionRender), kernel::STATUS_SUCCESS);
    ASSERT_EQ(engine->SetName(u"SPKOut05"), kernel::STATUS_SUCCESS);
    const std::uint32_t types[] = {1, 2};
    ASSERT_EQ(item->SetUpTypes(2, types), kernel::STATUS_SUCCESS);
    ASSERT_EQ(item->SelectType(2), kernel::STATUS_SUCCESS);
    engine->entities.push_back(item.get());
    ASSERT_EQ(engine->AddUniqueEntity(item.get()), kernel::STATUS_SUCCESS);
    ASSERT_EQ(model->AddEndpoint(engine.get()), kernel::STATUS_SUCCESS);

    std::vector<std::uint32_t> announced;
    kernel::CallbackRegistration* registration = nullptr;
    const auto record = [](void* context, void* argument, void*) {
        static_cast<std::vector<std::uint32_t>*>(context)->push_back(
            static_cast<const ControlChangeMessage*>(argument)->nodeId);
    };
    ASSERT_EQ(model->RegisterCallback(record, &announced, &registration), kernel::STATUS_SUCCESS);
    const std::size_t first = function->log().size();
    EXPECT_EQ(Call([this] { return model->UpdateEndpoints(13); }), kernel::STATUS_SUCCESS);
    model->UnregisterCallback(registration);

    EXPECT_EQ(engine->uninstalls, 1);
    EXPECT_EQ(engine->installs, 0);
    char16_t name[EngineNameMaxChars + 1] = {};
    ASSERT_EQ(engine->GetName(name, EngineNameMaxChars + 1), kernel::STATUS_SUCCESS);
    EXPECT_EQ(std::u16string(name), u"HPOut05");
    int unitReads = 0;
    for (std::size_t i = first; i < function->log().size(); ++i) {
        const usb::SetupPacket& setup = function->log()[i].setup;
        unitReads += setup.bmRequestType == 0xA1 && setup.wIndex.value() >> 8 == 13;
    }
    EXPECT_GT(unitReads, 0);
    EXPECT_FALSE(announced.empty());
    // Nothing switched since: nothing is named or read again.
    const std::size_t second = function->log().size();
    EXPECT_EQ(Call([this] { return model->UpdateEndpoints(13); }), kernel::STATUS_SUCCESS);
    EXPECT_EQ(engine->uninstalls, 1);
    EXPECT_EQ(function->log().size(), second);
}

} // namespace
} // namespace adapter_test
