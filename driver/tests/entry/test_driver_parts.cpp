#include "driver/tests/entry/test_driver_parts.h"

#include "driver/adapter/driver_parts.h"
#include "driver/adapter/usb_audio_adapter.h"
#include "driver/common/interface_ids.h"
#include "driver/common/object_model.h"
#include "stand_in_wave.h"

namespace entry_test {
namespace {

constexpr kernel::PoolTag OuterTag = kernel::poolTag("TsAd");

class CAdapterWithoutAsio final : public CUnknown {
public:
    CAdapterWithoutAsio() : CUnknown(nullptr) {}
    ~CAdapterWithoutAsio() override {
        if (m_pAdapter != nullptr) m_pAdapter->NonDelegatingRelease();
    }

    kernel::NTSTATUS Init(DeviceModelTable models) {
        return CreateUsbAudioAdapter(&m_pAdapter, GetOuterUnknown(), models);
    }

    kernel::NTSTATUS NonDelegatingQueryInterface(const kernel::Guid& id, void** object) override {
        if (object == nullptr) return kernel::STATUS_INVALID_PARAMETER;
        if (IsEqualId(id, kernel::IID_IUnknown))
            return CUnknown::NonDelegatingQueryInterface(id, object);
        if (IsEqualId(id, IID_IAsioPrivate)) {
            *object = nullptr;
            return kernel::STATUS_INVALID_PARAMETER;
        }
        return m_pAdapter->NonDelegatingQueryInterface(id, object);
    }

private:
    INonDelegatingUnknown* m_pAdapter = nullptr;
};

kernel::NTSTATUS CreateTestAdapter(kernel::IUnknown** adapter, DeviceModelTable models) {
    if (!adapterChoice.withoutAsio) return CreateUsbAudioAdapter(adapter, models);
    *adapter = nullptr;
    auto* outer = new (kernel::PoolType::NonPagedNx, OuterTag) CAdapterWithoutAsio();
    if (outer == nullptr) return kernel::STATUS_INSUFFICIENT_RESOURCES;
    outer->NonDelegatingAddRef();
    const kernel::NTSTATUS status = outer->Init(models);
    if (!kernel::succeeded(status)) {
        outer->NonDelegatingRelease();
        return status;
    }
    *adapter = outer->GetOuterUnknown();
    return status;
}

} // namespace
} // namespace entry_test

const DriverParts& ZovraghDriverParts() {
    static const DriverParts parts{DefaultDeviceModelTable(), entry_test::CreateStandInWave,
                                   entry_test::CreateTestAdapter};
    return parts;
}
