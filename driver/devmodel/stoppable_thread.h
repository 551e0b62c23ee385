// A device model's system thread that runs until it is told to stop: its
// stop event, and its exit event, which is set whenever the routine returns,
// at its end or early on a failure, so a stop never waits for a thread that
// is already gone.
#pragma once

#include "platform/kernel/event.h"
#include "platform/kernel/status.h"
#include "platform/kernel/thread.h"

class CStoppableThread {
public:
    CStoppableThread() = default;
    // Stops the thread if it still runs.
    ~CStoppableThread() { Stop(); }
    CStoppableThread(const CStoppableThread&) = delete;
    CStoppableThread& operator=(const CStoppableThread&) = delete;

    // Starts the routine on a new thread at the priority, both events clear.
    // A thread already running is left as it is (success).
    kernel::NTSTATUS Start(kernel::ThreadStart routine, void* context, int priority);
    bool Running() const { return m_pThread != nullptr; }
    // Sets the stop event, waits for the exit event and the thread's end,
    // then clears both events. Nothing when no thread runs.
    void Stop();

    // What the routine waits on besides its own work.
    kernel::Event& StopEvent() { return m_Stop; }
    // The thread object while one runs; null otherwise.
    kernel::ThreadObject* Thread() const { return m_pThread; }

private:
    static void Run(void* context);

    kernel::ThreadStart m_Routine = nullptr;
    void* m_pContext = nullptr;
    kernel::Event m_Stop{kernel::EventType::Notification, false};
    kernel::Event m_Exit{kernel::EventType::Notification, false};
    kernel::ThreadObject* m_pThread = nullptr;
};
