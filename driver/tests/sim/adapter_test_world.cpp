#include "adapter_test_world.h"

#include "driver/adapter/device_strings.h"
#include "driver/common/interface_ids.h"
#include "driver/devmodel/chips/chip_device_create.h"
#include "driver/devmodel/uac_device_create.h"
#include "driver/engine/audio_node.h"
#include "platform/io/device_registry_key.h"
#include "platform/io/irp.h"
#include "platform/kernel/dispatcher.h"
#include "platform/kernel/object.h"
#include "platform/kernel/pool.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace adapter_test {

ModelScript& Script() {
    static ModelScript script;
    return script;
}

NTSTATUS CTestModel::NonDelegatingQueryInterface(const kernel::Guid& id, void** object) {
    return AnswerAfterBase(CAudioHal::NonDelegatingQueryInterface(id, object),
                           static_cast<IAudioDeviceModel*>(this), id, IID_IAudioDeviceModel,
                           object);
}

NTSTATUS CTestModel::ParseDescriptors() {
    // A model reaches its device through its outer unknown, the adapter.
    void* usb = nullptr;
    if (kernel::succeeded(GetOuterUnknown()->QueryInterface(IID_IUsbDevice, &usb)))
        static_cast<IUsbDevice*>(usb)->Release();
    Script().log.push_back(usb != nullptr ? "parse" : "parse without the device");
    return Script().parseStatus;
}

NTSTATUS CTestModel::GetInfoRecord(std::uint32_t, EndpointInfoRecord* record) {
    if (record == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *record = {};
    if (Script().asioEndpoint) record->words[InfoRecordAsioWord] = InfoRecordAsioBit;
    return kernel::STATUS_SUCCESS;
}

void CTestModel::PowerChangeState(io::DevicePowerState state) {
    Script().log.push_back("power D" + std::to_string(static_cast<int>(state) - 1));
    CAudioHal::PowerChangeState(state);
}

NTSTATUS CTestModel::GetCallbackObject(kernel::CallbackObject** object) {
    return ReportValue(CAudioHal::GetCallbackObject(), object);
}

namespace {

constexpr char Uac1[] = "uac1";
constexpr char Uac2[] = "uac2";
constexpr char N3W8[] = "n3w8";
constexpr char K7D2[] = "k7d2";
constexpr char P9F4[] = "p9f4";
constexpr char T6L1[] = "t6l1";
constexpr char Q7K2[] = "q7k2";

template <const char* Kind>
NTSTATUS CreateModel(INonDelegatingUnknown** out, kernel::IUnknown* outer, std::uint16_t,
                     std::uint16_t) {
    Script().log.push_back(std::string("create ") + Kind);
    return CreateDriverObject<CTestModel>(out, outer, kernel::PoolType::NonPagedNx,
                                          kernel::poolTag("TMdl"));
}

constexpr DeviceModelRow TestRows[] = {
    {UacRelease2Protocol, {}, CreateModel<Uac2>},
    {UacRelease1Protocol, N3W8ProductCode, CreateModel<N3W8>},
    {UacRelease1Protocol, K7D2ProductCode, CreateModel<K7D2>},
    {UacRelease1Protocol, P9F4ProductCode, CreateModel<P9F4>},
    {UacRelease1Protocol, T6L1ProductCode, CreateModel<T6L1>},
    {UacRelease1Protocol, Q7K2ProductCode, CreateModel<Q7K2>},
    {UacRelease1Protocol, {}, CreateModel<Uac1>},
};

// A device between the driver's and the bus's that refuses every
// plug-and-play request and passes the rest down.
NTSTATUS FilterDispatch(io::DeviceObject* device, io::Irp* irp) {
    io::skipCurrentStackLocation(irp);
    return io::callDriver(device->lowerDevice(), irp);
}

NTSTATUS FilterPlugAndPlay(io::DeviceObject*, io::Irp* irp) {
    const NTSTATUS status = irp->ioStatus.status; // as preset: not supported
    io::completeRequest(irp);
    return status;
}

} // namespace

DeviceModelTable TestModelTable() { return TestRows; }

RecordedModel& LastModel() {
    static RecordedModel recorded;
    return recorded;
}

CUacDevice* RecordedModel::Uac() const {
    void* face = nullptr;
    if (model == nullptr ||
        !kernel::succeeded(model->NonDelegatingQueryInterface(IID_IAudioHal, &face)))
        return nullptr;
    auto* hal = static_cast<IAudioHal*>(face);
    hal->Release();
    return dynamic_cast<CUacDevice*>(hal);
}

namespace {

template <DeviceModelFactory Create>
NTSTATUS Recorded(INonDelegatingUnknown** out, kernel::IUnknown* outer, std::uint16_t vendor,
                  std::uint16_t product) {
    LastModel().createdAt = kernel::poolRequestCount();
    const NTSTATUS status = Create(out, outer, vendor, product);
    LastModel().model = kernel::succeeded(status) ? *out : nullptr;
    return status;
}

} // namespace

std::vector<DeviceModelRow> RecordingModelTable() {
    const std::pair<DeviceModelFactory, DeviceModelFactory> recorders[] = {
        {CreateUac1Device, Recorded<CreateUac1Device>},
        {CreateUac2Device, Recorded<CreateUac2Device>},
        {CreateCUac1DeviceN3W8, Recorded<CreateCUac1DeviceN3W8>},
        {CreateCUac1DeviceK7D2, Recorded<CreateCUac1DeviceK7D2>},
        {CreateCUac1DeviceP9F4, Recorded<CreateCUac1DeviceP9F4>},
        {CreateCUac1DeviceT6L1, Recorded<CreateCUac1DeviceT6L1>},
        {CreateCUac1DeviceQ7K2, Recorded<CreateCUac1DeviceQ7K2>},
    };
    std::vector<DeviceModelRow> rows(DefaultDeviceModelTable().begin(),
                                     DefaultDeviceModelTable().end());
    for (DeviceModelRow& row : rows) {
        const auto found = std::find_if(std::begin(recorders), std::end(recorders),
                                        [&](const auto& pair) { return pair.first == row.create; });
        EXPECT_NE(found, std::end(recorders)) << "a model of the driver's table is not recorded";
        if (found != std::end(recorders)) row.create = found->second;
    }
    return rows;
}

CSystemCall::CSystemCall(std::function<NTSTATUS()> work) : m_Work(std::move(work)) {
    EXPECT_EQ(kernel::createSystemThread(&m_pThread, Run, this), kernel::STATUS_SUCCESS);
}

CSystemCall::~CSystemCall() {
    if (m_pThread == nullptr) return;
    kernel::waitForSingleObject(*m_pThread, kernel::Timeout::infinite());
    kernel::dereferenceObject(*m_pThread);
}

void CSystemCall::Run(void* context) {
    auto* self = static_cast<CSystemCall*>(context);
    self->m_Status = self->m_Work();
}

bool CSystemCall::Done() const {
    return m_pThread != nullptr &&
           kernel::waitForSingleObject(*m_pThread, kernel::Duration::zero()) ==
               kernel::STATUS_SUCCESS;
}

CPowerHost::CPowerHost() {
    io::setPowerRequestRoutine(Receive, this);
    EXPECT_EQ(kernel::createSystemThread(&m_pThread, Run, this), kernel::STATUS_SUCCESS);
}

CPowerHost::~CPowerHost() {
    {
        std::lock_guard guard(m_Lock);
        m_bStop = true;
    }
    m_Wake.set();
    kernel::waitForSingleObject(*m_pThread, kernel::Timeout::infinite());
    kernel::dereferenceObject(*m_pThread);
    io::setPowerRequestRoutine(nullptr, nullptr);
}

std::vector<io::DevicePowerState> CPowerHost::Served() const {
    std::lock_guard guard(m_Lock);
    return m_Served;
}

NTSTATUS CPowerHost::Receive(void* context, io::DeviceObject*, io::Irp* irp) {
    auto* self = static_cast<CPowerHost*>(context);
    io::markPending(irp);
    {
        std::lock_guard guard(self->m_Lock);
        self->m_Queue.push_back(irp);
    }
    self->m_Wake.set();
    return kernel::STATUS_PENDING;
}

void CPowerHost::Run(void* context) {
    auto* self = static_cast<CPowerHost*>(context);
    for (;;) {
        kernel::waitForSingleObject(self->m_Wake, kernel::Timeout::infinite());
        for (;;) {
            io::Irp* irp = nullptr;
            {
                std::lock_guard guard(self->m_Lock);
                if (self->m_Queue.empty()) {
                    if (self->m_bStop) return;
                    break;
                }
                irp = self->m_Queue.front();
                self->m_Queue.pop_front();
            }
            const io::DevicePowerState state =
                io::currentStackLocation(irp)->parameters.power.state;
            if (self->target != nullptr) self->target->PowerChangeState(state);
            {
                std::lock_guard guard(self->m_Lock);
                self->m_Served.push_back(state);
            }
            irp->ioStatus.status = kernel::STATUS_SUCCESS;
            io::completeRequest(irp);
        }
    }
}

void AdapterWorld::Plug(usbsim::FunctionDescription description, bool refuseBusInterface) {
    Script() = {};
    m_Registry.reset();
    m_Registry.emplace();
    function = std::make_unique<usbsim::UsbFunction>(std::move(description));
    bus = std::make_unique<usbsim::SimulatedBus>(*function);
    io::DeviceObject* below = bus->device();
    if (refuseBusInterface) {
        for (io::DispatchRoutine& routine : m_Filter.majorFunction) routine = FilterDispatch;
        m_Filter.majorFunction[io::major::Pnp] = FilterPlugAndPlay;
        ASSERT_EQ(io::createDevice(m_Filter, 0, &m_pFilter), kernel::STATUS_SUCCESS);
        io::attachDeviceToDeviceStack(m_pFilter, below);
        below = m_pFilter;
    }
    ASSERT_EQ(io::createDevice(m_Driver, 376, &m_pDevice), kernel::STATUS_SUCCESS);
    m_pLower = io::attachDeviceToDeviceStack(m_pDevice, below);
    io::RegistryKey key; // made on first open, as the system makes it at install
    ASSERT_EQ(io::openDeviceRegistryKey(m_pDevice, io::DeviceRegistryKey::Hardware, key),
              kernel::STATUS_SUCCESS);
    power = std::make_unique<CPowerHost>();
}

void AdapterWorld::EnableSelectiveSuspend() {
    io::RegistryKey key;
    ASSERT_EQ(io::openDeviceRegistryKey(m_pDevice, io::DeviceRegistryKey::Hardware, key),
              kernel::STATUS_SUCCESS);
    const std::uint32_t enabled = 1;
    ASSERT_EQ(io::setValue(key, kernel::makeUnicodeString(SelectiveSuspendValue), io::REG_DWORD,
                           &enabled, sizeof enabled),
              kernel::STATUS_SUCCESS);
}

NTSTATUS AdapterWorld::Start(DeviceModelTable models) {
    EXPECT_EQ(CreateUsbAudioAdapter(&m_pAdapter, models), kernel::STATUS_SUCCESS);
    if (m_pAdapter == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    // Plain pointers: the test's one reference keeps the adapter.
    void* face = nullptr;
    m_pAdapter->QueryInterface(IID_IUsbDevice, &face);
    m_pUsb = static_cast<IUsbDevice*>(face);
    m_pUsb->Release();
    m_pAdapter->QueryInterface(IID_IAudioHal, &face);
    m_pHal = static_cast<IAudioHal*>(face);
    m_pHal->Release();
    m_pAdapter->QueryInterface(portcls::IID_IAdapterPowerManagement, &face);
    power->target = static_cast<portcls::IAdapterPowerManagement*>(face);
    power->target->Release();
    return Call([this] { return m_pHal->Init(nullptr, m_pDevice, m_pLower, bus->device()); });
}

NTSTATUS AdapterWorld::Call(std::function<NTSTATUS()> work, kernel::Duration limit) {
    CSystemCall call(std::move(work));
    clock.settle();
    for (kernel::Duration waited{0}; !call.Done() && waited < limit; waited += 1ms) {
        clock.advance(1ms);
        clock.settle();
    }
    EXPECT_TRUE(call.Done());
    return call.Status();
}

void AdapterWorld::Advance(kernel::Duration time) {
    for (kernel::Duration moved{0}; moved < time; moved += 100ms) {
        clock.advance(100ms);
        clock.settle();
    }
}

std::vector<std::uint8_t> AdapterWorld::StringRequests() const {
    std::vector<std::uint8_t> indexes;
    for (const usbsim::LoggedRequest& request : function->log())
        if (request.setup.bmRequestType == 0x80 && request.setup.bRequest == 6 &&
            request.setup.wValue.value() >> 8 == usb::descriptor_type::string)
            indexes.push_back(static_cast<std::uint8_t>(request.setup.wValue.value()));
    return indexes;
}

void AdapterWorld::ReleaseAdapter() {
    if (m_pAdapter == nullptr) return;
    // As removal does: wake the device first, so no idle request is left.
    Call([this] { return m_pHal->WakeDevice(); });
    if (power) power->target = nullptr;
    Call([this] {
        m_pAdapter->Release();
        return kernel::STATUS_SUCCESS;
    });
    m_pAdapter = nullptr;
    m_pUsb = nullptr;
    m_pHal = nullptr;
}

void AdapterWorld::TearDown() {
    ReleaseAdapter();
    power.reset();
    if (m_pDevice != nullptr) {
        io::detachDevice(m_pLower);
        io::deleteDevice(m_pDevice);
        m_pDevice = nullptr;
    }
    if (m_pFilter != nullptr) {
        io::detachDevice(bus->device());
        io::deleteDevice(m_pFilter);
        m_pFilter = nullptr;
    }
    bus.reset();
    function.reset();
    clock.settle();
}

} // namespace adapter_test
