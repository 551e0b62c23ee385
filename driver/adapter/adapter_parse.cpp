// The adapter's part of start-up: the device's descriptors, the selected
// configuration, the bus interface, the device model's choice and
// initialisation, the registry names and the ASIO settings.
#include "driver/adapter/device_strings.h"
#include "driver/adapter/usb_adapter_tags.h"
#include "driver/adapter/usb_audio_adapter.h"
#include "driver/common/interface_ids.h"
#include "platform/usb/configuration.h"

namespace {

constexpr std::uint8_t AudioInterfaceClass = 0x01;
constexpr std::uint8_t AudioControlSubclass = 0x01;
// The interfaces of a configuration are numbered below this.
constexpr int InterfaceNumbers = 256;
// The first interface's pipes may move any amount in one transfer.
constexpr std::uint32_t UnlimitedTransferSize = 0xFFFFFFFF;

} // namespace

kernel::NTSTATUS CUsbAudioAdapter::ParseDescriptors() {
    m_IrpStackSize = static_cast<std::int8_t>(GetDeviceObject()->stackSize() + 1);
    kernel::NTSTATUS status = ReadDescriptors();
    if (kernel::succeeded(status)) status = SelectConfiguration();
    if (kernel::succeeded(status)) status = QueryBusInterface();
    if (kernel::succeeded(status)) status = CreateAudioDevice();
    if (kernel::succeeded(status))
        status = m_pModelHal->Init(nullptr, GetDeviceObject(), GetLowerDeviceObject(),
                                   GetPhysicalDeviceObject());
    if (!kernel::succeeded(status)) return status;
    WriteDeviceNames(*this, GetDeviceObject(),
                     {m_VendorId, m_ProductId, m_ManufacturerString, m_ProductString});
    return LoadAsio();
}

kernel::NTSTATUS CUsbAudioAdapter::ReadDescriptor(std::uint8_t type, void* buffer,
                                                  std::uint32_t length, std::uint32_t* received) {
    usb::DescriptorRequest request{};
    request.header.length = sizeof(request);
    request.header.function = usb::Function::getDescriptorFromDevice;
    request.descriptorType = type;
    request.transfer.transferBuffer = buffer;
    request.transfer.transferBufferLength = length;
    const kernel::NTSTATUS status = SubmitUrb(&request.header);
    *received = request.transfer.transferBufferLength;
    return status;
}

kernel::NTSTATUS CUsbAudioAdapter::ReadDescriptors() {
    CPoolBuffer device(kernel::PoolType::NonPagedNx, sizeof(usb::DeviceDescriptor), UsbAdapterTag);
    CPoolBuffer header(kernel::PoolType::NonPagedNx, sizeof(usb::ConfigurationDescriptor),
                       UsbAdapterTag);
    if (!device.IsValid() || !header.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t received = 0;
    kernel::NTSTATUS status = ReadDescriptor(usb::descriptor_type::device, device.Get(),
                                             sizeof(usb::DeviceDescriptor), &received);
    if (!kernel::succeeded(status)) return status;
    const auto* deviceDescriptor = device.Get<const usb::DeviceDescriptor>();
    if (received < sizeof(usb::DeviceDescriptor) ||
        deviceDescriptor->bDescriptorType != usb::descriptor_type::device)
        return kernel::STATUS_UNSUCCESSFUL;
    m_VendorId = deviceDescriptor->idVendor.value();
    m_ProductId = deviceDescriptor->idProduct.value();
    m_ManufacturerString = deviceDescriptor->iManufacturer;
    m_ProductString = deviceDescriptor->iProduct;

    status = ReadDescriptor(usb::descriptor_type::configuration, header.Get(),
                            sizeof(usb::ConfigurationDescriptor), &received);
    if (!kernel::succeeded(status)) return status;
    const std::uint32_t total =
        header.Get<const usb::ConfigurationDescriptor>()->wTotalLength.value();
    if (received < sizeof(usb::ConfigurationDescriptor) ||
        total < sizeof(usb::ConfigurationDescriptor))
        return kernel::STATUS_UNSUCCESSFUL;
    m_Configuration = CPoolBuffer(kernel::PoolType::NonPagedNx, total, UsbAdapterTag);
    if (!m_Configuration.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    status = ReadDescriptor(usb::descriptor_type::configuration, m_Configuration.Get(), total,
                            &received);
    if (!kernel::succeeded(status)) return status;
    if (received < total) return kernel::STATUS_UNSUCCESSFUL;
    // Nothing reads a field of it before every descriptor in it is known whole.
    return usb::ConfigurationView({m_Configuration.Get<const std::uint8_t>(), total}).status();
}

kernel::NTSTATUS CUsbAudioAdapter::SelectConfiguration() {
    const usb::ConfigurationView view(
        {m_Configuration.Get<const std::uint8_t>(), m_Configuration.Size()});
    CPoolBuffer list(kernel::PoolType::Paged, InterfaceNumbers * sizeof(void*), UsbAdapterTag);
    if (!list.IsValid()) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    auto* interfaces = list.Get<const usb::InterfaceDescriptor*>();
    const std::uint32_t declared = view.configuration()->bNumInterfaces;
    std::uint32_t found = 0;
    for (int number = 0; number < InterfaceNumbers && found < declared; ++number) {
        const usb::InterfaceDescriptor* interface =
            view.findInterface({.number = number, .alternateSetting = 0});
        if (interface != nullptr) interfaces[found++] = interface;
    }
    kernel::NTSTATUS status =
        usb::buildSelectConfiguration(view, {interfaces, found}, UsbAdapterTag, m_Selection);
    if (!kernel::succeeded(status)) return status;
    auto* request = m_Selection.as<usb::SelectConfigurationRequest>();
    auto* first = reinterpret_cast<usb::InterfaceInformation*>(request + 1);
    for (usb::PipeInformation& pipe : first->pipes()) {
        pipe.maximumTransferSize = UnlimitedTransferSize;
        pipe.pipeFlags = 0;
    }
    status = SubmitUrb(m_Selection.header());
    if (!kernel::succeeded(status)) return status;
    m_ConfigurationHandle = request->configurationHandle;
    m_InterfaceCount = found;
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::CreateAudioDevice() {
    if (!m_Configuration.IsValid() || m_pModelUnknown != nullptr)
        return kernel::STATUS_UNSUCCESSFUL;
    const usb::ConfigurationView view(
        {m_Configuration.Get<const std::uint8_t>(), m_Configuration.Size()});
    const usb::InterfaceDescriptor* control = view.findInterface(
        {.interfaceClass = AudioInterfaceClass, .subclass = AudioControlSubclass});
    if (control == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    m_ControlInterface = control->bInterfaceNumber;
    const std::uint8_t protocol = control->bInterfaceProtocol;
    char16_t text[ProductCodeStringBytes / 2] = {};
    std::optional<std::u16string_view> code;
    if (NeedsProductCode(m_Models, protocol)) {
        const kernel::NTSTATUS status = ReadProductCode(text, std::size(text), &code);
        if (!kernel::succeeded(status)) return status;
    }
    const DeviceModelRow* row = ChooseDeviceModel(m_Models, protocol, code);
    if (row == nullptr) return kernel::STATUS_UNSUCCESSFUL;
    return CreateModel(row->create);
}

kernel::NTSTATUS CUsbAudioAdapter::ReadProductCode(char16_t* text, std::size_t room,
                                                   std::optional<std::u16string_view>* code) {
    *code = std::nullopt;
    for (std::uint8_t index : {ProductCodeStringIndex, FallbackProductCodeStringIndex}) {
        std::size_t characters = 0;
        const kernel::NTSTATUS status = ReadStringText(
            *this, index, ProductCodeLanguage, ProductCodeStringBytes, {text, room}, characters);
        if (status == kernel::STATUS_INSUFFICIENT_RESOURCES) return status;
        if (kernel::succeeded(status)) {
            *code = std::u16string_view(text, characters);
            break;
        }
    }
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::CreateModel(DeviceModelFactory create) {
    kernel::NTSTATUS status = create(&m_pModelUnknown, GetOuterUnknown(), m_VendorId, m_ProductId);
    if (!kernel::succeeded(status)) {
        m_pModelUnknown = nullptr;
        return status;
    }
    // Each face the model hands out counts on its outer unknown, the adapter,
    // which must not hold itself: that reference is dropped at once.
    void* face = nullptr;
    status = m_pModelUnknown->NonDelegatingQueryInterface(IID_IAudioHal, &face);
    if (!kernel::succeeded(status)) return status;
    m_pModelHal = static_cast<IAudioHal*>(face);
    GetOuterUnknown()->Release();
    if (kernel::succeeded(
            m_pModelUnknown->NonDelegatingQueryInterface(IID_IAudioDeviceModel, &face))) {
        m_pModel = static_cast<IAudioDeviceModel*>(face);
        GetOuterUnknown()->Release();
    }
    status =
        m_pModelUnknown->NonDelegatingQueryInterface(portcls::IID_IAdapterPowerManagement, &face);
    if (!kernel::succeeded(status)) return status;
    m_pModelPower = static_cast<portcls::IAdapterPowerManagement*>(face);
    GetOuterUnknown()->Release();
    return kernel::STATUS_SUCCESS;
}

kernel::NTSTATUS CUsbAudioAdapter::LoadAsio() {
    const std::uint32_t endpoints = GetEndpointCount();
    bool hasAsioEndpoint = false;
    for (std::uint32_t index = 0; index < endpoints; ++index) {
        EndpointInfoRecord record = {};
        if (kernel::succeeded(GetInfoRecord(index, &record)) &&
            (record.words[InfoRecordAsioWord] & InfoRecordAsioBit) != 0)
            hasAsioEndpoint = true;
    }
    m_Asio = LoadAsioSettings(GetDeviceObject(), hasAsioEndpoint, m_VendorId, m_ProductId);
    return kernel::STATUS_SUCCESS;
}
