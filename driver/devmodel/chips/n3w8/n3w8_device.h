// The release-1 model of the N3W8 chip. Before its configuration is walked,
// the model loads its register cache, reads the chip's identification bytes
// and the settings' switches, applies the known products' choices and
// rewrites the adapter's copy of the configuration to what stays switched
// on. Its render engines tell the chip each format and carry the channel
// swap (and, on one headset, the attenuation) in their chain A.
#pragma once

#include "driver/devmodel/chips/n3w8/n3w8_device_profile.h"
#include "driver/devmodel/chips/n3w8/n3w8_dsp_nodes.h"
#include "driver/devmodel/chips/n3w8/n3w8_registers.h"
#include "driver/devmodel/chips/n3w8/n3w8_worker.h"
#include "driver/devmodel/chips/uac1_chip_device.h"

#include <cstdint>

inline constexpr kernel::PoolTag N3W8DeviceTag = kernel::poolTag("N3W8");

class CUac1DeviceN3W8 : public CUac1ChipDevice {
public:
    CUac1DeviceN3W8(kernel::IUnknown* outer, std::uint16_t vendorId, std::uint16_t productId);
    ~CUac1DeviceN3W8() override;

    // Unlike the other chip models it answers the device-model interface, so
    // a terminal's switch reaches its UpdateEndpoints.
    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        return CUac1Device::NonDelegatingQueryInterface(id, object);
    }

    kernel::NTSTATUS ParseControlInterface(const usb::InterfaceDescriptor* interface,
                                           std::uint32_t length) override;
    kernel::NTSTATUS ParseStreamingInterfaces(const usb::ConfigurationDescriptor* configuration,
                                              const usb::InterfaceDescriptor* interface,
                                              std::uint32_t length) override;
    // The chip's registers go back to their power-on values.
    kernel::NTSTATUS AfterParse() override { return m_Registers.ResetRegisters(); }
    // The model has no status-interrupt thread: Start only starts the
    // chip's poll, on the product that has it, and Stop only stops it.
    kernel::NTSTATUS Start() override;
    kernel::NTSTATUS Stop() override;

    CN3W8Registers& Registers() { return m_Registers; }
    const N3W8DeviceProfile& Profile() const { return m_Profile; }
    const CN3W8Worker& Worker() const { return m_Worker; }
    // The render engines' attenuation node (the last one made); null on
    // devices without one.
    CN3W8AttenuateNode* AttenuateNode() const { return m_pAttenuateNode; }

protected:
    // Before the walks: the register cache, the chip's identification, the
    // switches and product choices, then the rewrite of the configuration.
    kernel::NTSTATUS SetInfoMasks(IUsbDevice& usb, EndpointInfoRecord& info) override;
    // A renamed endpoint is not installed here: the switch's node re-reads
    // itself as a status message would make it, which for a terminal
    // installs every endpoint again.
    kernel::NTSTATUS AfterRename(IStreamEngine& engine, std::uint32_t nodeId) override;

private:
    kernel::NTSTATUS RewriteStoredConfiguration(IUsbDevice& usb);
    kernel::NTSTATUS AddRenderNodes();

    CN3W8Registers m_Registers;
    N3W8DeviceProfile m_Profile;
    CN3W8AttenuateNode* m_pAttenuateNode = nullptr;
    CN3W8Worker m_Worker{*this, m_Registers};
};
