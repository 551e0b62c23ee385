#include "driver/devmodel/chips/n3w8/n3w8_worker.h"

#include "driver/devmodel/chips/n3w8/n3w8_dsp_nodes.h"
#include "driver/devmodel/chips/n3w8/n3w8_forced_mute.h"
#include "driver/devmodel/uac_device.h"
#include "driver/engine/queried_interface.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/dispatcher.h"

#include <algorithm>

void CN3W8ReportHistory::Store(std::uint8_t firstByte) {
    m_Entries[m_Position] = (firstByte & StateBit) == 0 ? 1 : 0;
    m_Position = (m_Position + 1) % Entries;
}

std::uint32_t CN3W8ReportHistory::NextMode(std::uint32_t mode) const {
    const auto clear = std::count(m_Entries.begin(), m_Entries.end(), std::uint8_t{1});
    if (clear == 0) return CN3W8AttenuateNode::Pass;
    if (clear == Entries) return CN3W8AttenuateNode::Silence;
    // A mixed history only leaves the idle state; once attenuated, it takes
    // thirty equal reads to move again.
    return mode == CN3W8AttenuateNode::Pass ? CN3W8AttenuateNode::Quarter : mode;
}

CN3W8Worker::CN3W8Worker(CUacDevice& device, CN3W8Registers& registers)
    : m_Device(device), m_Registers(registers) {}

kernel::NTSTATUS CN3W8Worker::Start(CN3W8AttenuateNode* node) {
    if (m_Thread.Running()) return kernel::STATUS_SUCCESS;
    m_pNode = node;
    return m_Thread.Start(Run, this, N3W8WorkerPriority);
}

void CN3W8Worker::Stop() { m_Thread.Stop(); }

void CN3W8Worker::Run(void* context) { static_cast<CN3W8Worker*>(context)->Poll(); }

bool CN3W8Worker::ReadInto(CN3W8ReportHistory& history) {
    std::array<std::uint8_t, N3W8InputReportBytes> report{};
    if (!kernel::succeeded(m_Registers.ReadInputReport(report))) return false;
    history.Store(report[0]);
    return true;
}

// The unit may be a plain feature unit on a device that has no forced mute
// on it; then there is nothing to force.
void CN3W8Worker::ForceMute(bool forced) {
    IAudioNode* unit = nullptr;
    if (!kernel::succeeded(m_Device.FindEntityById(N3W8ForcedMuteUnit, &unit))) return;
    CQueriedInterface<IN3W8ForcedMute> mute(unit, IID_IN3W8ForcedMute);
    if (mute) mute->SetForcedMute(forced);
}

// Runs on the worker thread; a failed read ends it, and the thread's exit
// is signalled however it ends.
void CN3W8Worker::Poll() {
    CN3W8ReportHistory history;
    if (!ReadInto(history)) return;
    const std::int64_t firstDue =
        kernel::querySystemTime() + kernel::Duration(N3W8WorkerPeriod).count();
    m_Timer.setAbsolute(firstDue, N3W8WorkerPeriod);
    // Each poll begins idle: the node may still hold what an earlier poll
    // left, and an idle chip would never move it back.
    std::uint32_t mode = CN3W8AttenuateNode::Pass;
    if (m_pNode != nullptr) {
        m_pNode->SetMode(mode);
        ForceMute(true);
    }
    for (;;) {
        const kernel::NTSTATUS woken = kernel::waitForAnyObject({&m_Timer, &m_Thread.StopEvent()},
                                                                kernel::Timeout::infinite());
        if (woken != kernel::STATUS_WAIT_0 || !ReadInto(history)) break;
        if (m_pNode == nullptr) continue;
        const std::uint32_t next = history.NextMode(mode);
        if (next == mode) continue;
        mode = next;
        m_pNode->SetMode(mode);
        ForceMute(mode == CN3W8AttenuateNode::Pass);
    }
    m_Timer.cancel();
}
