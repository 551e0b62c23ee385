// The N3W8 model's poll of its chip on one headset: every 50 ms the chip's
// input report is read, and bit 4 of its first byte over the last thirty
// reads sets the render streams' attenuation and the forced mute of the
// analog unit. Set in all thirty: the streams pass and the mute is forced;
// clear in all thirty: the streams are silenced and the mute released;
// anything between, seen from the first state, drops the streams by 12 dB
// and releases the mute.
#pragma once

#include "driver/devmodel/chips/n3w8/n3w8_registers.h"
#include "driver/devmodel/stoppable_thread.h"
#include "platform/kernel/status.h"
#include "platform/kernel/time.h"
#include "platform/kernel/timer.h"

#include <array>
#include <chrono>
#include <cstdint>

class CN3W8AttenuateNode;
class CUacDevice;

inline constexpr int N3W8WorkerPriority = 16;
inline constexpr kernel::Duration N3W8WorkerPeriod = std::chrono::milliseconds(50);
// The analog unit whose mute the worker forces.
inline constexpr std::uint32_t N3W8ForcedMuteUnit = 11;

// The last thirty reads of the report's bit 4 and the attenuation they lead
// to (the node's modes: pass, quarter, silence).
class CN3W8ReportHistory {
public:
    static constexpr std::uint32_t Entries = 30;
    static constexpr std::uint8_t StateBit = 0x10;

    // Entry 0 holds the first read, each later read the next entry round
    // the thirty; entries not yet read count as bit 4 set.
    void Store(std::uint8_t firstByte);
    // The mode the history moves to from `mode`; `mode` when it stays.
    std::uint32_t NextMode(std::uint32_t mode) const;

private:
    std::array<std::uint8_t, Entries> m_Entries{}; // 1: bit 4 clear
    std::uint32_t m_Position = 0;
};

class CN3W8Worker {
public:
    // The device finds the forced-mute unit; the registers read the report.
    CN3W8Worker(CUacDevice& device, CN3W8Registers& registers);
    ~CN3W8Worker() { Stop(); }
    CN3W8Worker(const CN3W8Worker&) = delete;
    CN3W8Worker& operator=(const CN3W8Worker&) = delete;

    // Starts the poll (a running one is left as it is). Without a node the
    // reports are read but nothing is decided. The thread's start failing is
    // the status.
    kernel::NTSTATUS Start(CN3W8AttenuateNode* node);
    // Stops the poll and waits for its end; at once when it has ended on a
    // failed read.
    void Stop();
    bool Running() const { return m_Thread.Running(); }
    // The thread while one runs, for its priority.
    kernel::ThreadObject* Thread() const { return m_Thread.Thread(); }

private:
    static void Run(void* context);
    void Poll();
    bool ReadInto(CN3W8ReportHistory& history);
    void ForceMute(bool forced);

    CUacDevice& m_Device;
    CN3W8Registers& m_Registers;
    CN3W8AttenuateNode* m_pNode = nullptr; // the device's, which holds it
    kernel::Timer m_Timer{kernel::TimerType::Synchronization};
    CStoppableThread m_Thread;
};
