// The simulated bus's answers to the plug-and-play requests a function
// driver sends its physical device: start, remove and surprise removal are
// noted; the queries, cancels and the stop of an orderly stop or removal
// succeed; query capabilities fills what a removable USB device reports; query
// interface hands out the bus interface (platform/usb/bus_interface.h),
// version 1 only. Other plug-and-play requests complete with the status
// their sender preset, as a bus leaves requests it does not know.
#pragma once

#include "platform/io/irp.h"
#include "platform/kernel/status.h"
#include "sim/usb/frame_clock.h"

#include <atomic>

namespace usbsim {

enum class PnpState { added, started, surpriseRemoved, removed };

class BusPlugAndPlay {
public:
    // The clock must outlive the answers (and every interface handed out).
    explicit BusPlugAndPlay(const FrameClock& frames) : m_frames(frames) {}

    // Fills in the request's status and completes it; returns the status.
    kernel::NTSTATUS serve(io::Irp* irp);

    PnpState state() const { return m_state.load(); }
    // Bus interfaces handed out and not yet dereferenced.
    int interfaceReferences() const { return m_references.load(); }

private:
    kernel::NTSTATUS queryInterface(const io::IoStackLocation::Parameters::QueryInterface& query);
    static kernel::NTSTATUS queryCapabilities(io::DeviceCapabilities* capabilities);

    static void reference(void* context);
    static void dereference(void* context);
    static kernel::NTSTATUS queryBusTime(void* context, std::uint32_t* currentFrame);
    static bool isDeviceHighSpeed(void* context);

    const FrameClock& m_frames;
    std::atomic<PnpState> m_state{PnpState::added};
    std::atomic<int> m_references{0};
};

} // namespace usbsim
