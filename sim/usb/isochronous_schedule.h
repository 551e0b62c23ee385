// Isochronous transfers on the simulated bus. A transfer's packets take one
// slot each on its pipe, a (micro)frame apart as the endpoint's interval
// says: as soon as possible (right after the pipe's last scheduled packet,
// or from the next frame when the pipe is idle or fell behind) or from an
// explicit start frame. A packet whose slot has already begun when the
// transfer arrives, or that another transfer of the pipe holds, is not
// accessed ("late") and counts as an error; a start frame more than 1024
// frames ahead refuses the whole transfer. The transfer completes once the
// slot of its last packet has passed, with its start frame, per-packet
// lengths and statuses, and an error status only when every packet failed.
// What a packet carries comes from the endpoint: an OUT sink, an IN source
// running at the device's own sample clock, or a feedback source.
//
// Transfers are placed and completed in one deferred call of the bus (never
// inside the call that sent them), which runs when one arrives and when the
// frame clock says the next transfer's last slot has passed.
#pragma once

#include "platform/io/irp.h"
#include "platform/kernel/dpc.h"
#include "platform/kernel/status.h"
#include "platform/usb/requests.h"
#include "sim/usb/bus_requests.h"
#include "sim/usb/frame_clock.h"
#include "sim/usb/isochronous_endpoints.h"
#include "sim/usb/stream_endpoint.h"
#include "sim/usb/usb_function.h"

#include <cstddef>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>

namespace usbsim {

class IsochronousSchedule {
public:
    // All three must outlive the schedule.
    IsochronousSchedule(const UsbFunction& function, const BusRequests& requests,
                        FrameClock& frames);
    // Requests still here are lost: the bus fails and completes them first.
    ~IsochronousSchedule();
    IsochronousSchedule(const IsochronousSchedule&) = delete;
    IsochronousSchedule& operator=(const IsochronousSchedule&) = delete;

    // A submit-request whose record is an isochronous transfer. Pending on
    // return; `cancel` is the routine the request gets while it waits.
    kernel::NTSTATUS receive(io::Irp* irp, io::CancelRoutine cancel);
    // From the request's cancel routine: it completes cancelled.
    void cancel(io::Irp* irp);
    // Pending and new transfers fail with device gone until replug.
    void unplug();
    void replug();

    // The schedule's wakes held back for `length` from now (a loaded
    // machine's late clock service): the slots that pass meanwhile are
    // served at the late wake, and transfers sent after it find their first
    // slots gone.
    void holdWakes(kernel::Duration length);
    // The device's sample clock runs this far off the rate the host set.
    void setSampleClockOffset(std::int32_t hertz);
    // Every n-th packet of each IN data endpoint goes out empty, its frames
    // held for the next ones (0: none); see SourceShape.
    void setEmptyInPackets(std::uint32_t every);
    // What an OUT endpoint received (empty before its first packet).
    OutSink sink(std::uint8_t address) const;
    // Frames an IN endpoint's source produced that no packet had room for.
    std::uint64_t framesLost(std::uint8_t address) const;
    // Frames an IN endpoint's source sent in packets since its stream
    // (the interface's present selection) started.
    std::uint64_t framesSent(std::uint8_t address) const;
    // Transfers of an endpoint served to their last packet's slot, and those
    // scheduled on it now.
    std::uint64_t transfersServed(std::uint8_t address) const;
    std::size_t transfersScheduled(std::uint8_t address) const;
    // The device clock's rate a feedback endpoint last reported in a packet
    // (0 before the first).
    std::uint32_t feedbackRate(std::uint8_t address) const;
    std::size_t pendingTransfers() const;

private:
    struct Transfer;
    struct Pipe {
        std::list<std::unique_ptr<Transfer>> transfers; // in slot order
        std::int64_t nextFree = 0;                      // the slot after the last one held
        // The stream the pipe ran last: its interface and selection count.
        std::uint8_t interface = 0;
        std::uint32_t selection = 0;
        OutSink sink;
        InSource source;
        std::uint64_t served = 0;       // transfers served to their end
        std::uint32_t feedbackRate = 0; // in the last feedback packet
    };
    using Transfers = std::list<std::unique_ptr<Transfer>>;

    static void run(kernel::Dpc& dpc, void* context, void* argument1, void* argument2);
    // Under the lock.
    void place(std::unique_ptr<Transfer> transfer, std::int64_t now);
    usb::BusStatus check(Transfer& transfer, std::int64_t now) const;
    void schedule(std::unique_ptr<Transfer> transfer, Pipe& pipe, std::int64_t now);
    void advance(Pipe& pipe, std::int64_t now);
    void serve(Pipe& pipe, Transfer& transfer, std::uint32_t packet, std::int64_t slot);
    void end(Transfers& transfers, usb::BusStatus status);
    // After transfers left the pipe early: their slots are free again.
    void release(Pipe& pipe);
    void wake();
    // Outside the lock: the driver's completion routine may send again.
    static void complete(Transfer& transfer);

    const UsbFunction& m_function;
    const BusRequests& m_requests;
    FrameClock& m_frames;
    kernel::Dpc m_dpc;
    mutable std::mutex m_lock;
    Transfers m_arrived;
    Transfers m_done;
    std::map<std::uint8_t, Pipe> m_pipes; // by endpoint address
    bool m_plugged = true;
    std::int32_t m_clockOffset = 0;
    std::uint32_t m_emptyEvery = 0;
};

} // namespace usbsim
