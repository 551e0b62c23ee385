#include "driver/devmodel/stoppable_thread.h"

#include "platform/kernel/dispatcher.h"
#include "platform/kernel/object.h"

kernel::NTSTATUS CStoppableThread::Start(kernel::ThreadStart routine, void* context, int priority) {
    if (m_pThread != nullptr) return kernel::STATUS_SUCCESS;
    m_Routine = routine;
    m_pContext = context;
    m_Stop.clear();
    m_Exit.clear();
    kernel::ThreadObject* thread = nullptr;
    const kernel::NTSTATUS status = kernel::createSystemThread(&thread, Run, this);
    if (!kernel::succeeded(status)) return status;
    m_pThread = thread;
    kernel::setThreadPriority(*m_pThread, priority);
    return kernel::STATUS_SUCCESS;
}

void CStoppableThread::Run(void* context) {
    auto* self = static_cast<CStoppableThread*>(context);
    self->m_Routine(self->m_pContext);
    self->m_Exit.set();
}

void CStoppableThread::Stop() {
    if (m_pThread == nullptr) return;
    m_Stop.set();
    kernel::waitForSingleObject(m_Exit, kernel::Timeout::infinite());
    kernel::waitForSingleObject(*m_pThread, kernel::Timeout::infinite());
    kernel::dereferenceObject(*m_pThread);
    m_pThread = nullptr;
    m_Stop.clear();
    m_Exit.clear();
}
