#include "driver/usbstream/usb_stream_engine_create.h"

#include "driver/usbstream/effect_render_stream_engine.h"
#include "driver/usbstream/processing_render_stream_engine.h"
#include "driver/usbstream/uac1_stream_engines.h"
#include "driver/usbstream/uac2_stream_engines.h"

namespace {

template <class Engine, class... Args>
kernel::NTSTATUS Create(CUsbStreamEngine** engine, kernel::IUnknown* outer, Args... args) {
    Engine* created = nullptr;
    const kernel::NTSTATUS status = CreateDriverObject<Engine>(
        &created, outer, kernel::PoolType::NonPagedNx, StreamEngineTag, args...);
    *engine = created;
    return status;
}

} // namespace

kernel::NTSTATUS CreateUsbStreamEngine(CUsbStreamEngine** engine, UsbStreamKind kind,
                                       kernel::IUnknown* outer, std::uint8_t interfaceNumber,
                                       std::uint32_t terminalId, std::uint32_t clockId) {
    if (engine == nullptr) return kernel::STATUS_INVALID_PARAMETER;
    *engine = nullptr;
    switch (kind) {
    case UsbStreamKind::uac1Render:
        return Create<CUac1RenderStreamEngine>(engine, outer, interfaceNumber, terminalId);
    case UsbStreamKind::uac1Capture:
        return Create<CUac1CaptureStreamEngine>(engine, outer, interfaceNumber, terminalId);
    case UsbStreamKind::effectRender:
        return Create<CEffectRenderStreamEngine>(engine, outer, interfaceNumber, terminalId);
    case UsbStreamKind::processingRender:
        return Create<CUac1ProcessingRenderStreamEngine>(engine, outer, interfaceNumber,
                                                         terminalId);
    case UsbStreamKind::uac2Render:
        return Create<CUac2RenderStreamEngine>(engine, outer, interfaceNumber, terminalId, clockId);
    case UsbStreamKind::uac2Capture:
        return Create<CUac2CaptureStreamEngine>(engine, outer, interfaceNumber, terminalId,
                                                clockId);
    }
    return kernel::STATUS_INVALID_PARAMETER;
}
