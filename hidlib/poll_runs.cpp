#include "hidlib/poll_runs.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace kestrel {

namespace {

// The poll runs whose body this thread is executing, if any.
thread_local const PollRuns* t_executing = nullptr;

class ExecutingMark {
public:
    explicit ExecutingMark(const PollRuns* runs) : m_previous(t_executing) { t_executing = runs; }
    ~ExecutingMark() { t_executing = m_previous; }
    ExecutingMark(const ExecutingMark&) = delete;
    ExecutingMark& operator=(const ExecutingMark&) = delete;

private:
    const PollRuns* m_previous;
};

// The pool hands a task to its thread under Qt's own lock, which
// ThreadSanitizer cannot see; a task taken under this one as well is seen to
// start after everything its launcher wrote.
std::mutex& launchLock() {
    static std::mutex lock;
    return lock;
}

} // namespace

void PollRuns::start(Body body) {
    // Under the lock, so that the run is complete, future included, before
    // anyone else (the run itself too) can see it.
    std::lock_guard<std::mutex> locker(m_lock);
    const std::shared_ptr<PollRun> run = add();
    if (!run) return;
    const std::lock_guard<std::mutex> launching(launchLock());
    run->future =
        QtConcurrent::run(QThreadPool::globalInstance(), [this, run, body = std::move(body)] {
            { const std::lock_guard<std::mutex> taken(launchLock()); }
            execute(*run, body);
        });
}

void PollRuns::runHere(const Body& body) {
    std::shared_ptr<PollRun> run;
    {
        std::lock_guard<std::mutex> locker(m_lock);
        run = add();
    }
    if (run) execute(*run, body);
}

bool PollRuns::onOwnThread() const { return t_executing == this; }

bool PollRuns::keepPolling(const PollRun& run) const {
    std::lock_guard<std::mutex> locker(m_lock);
    return run.polling;
}

void PollRuns::noteConnect() {
    std::lock_guard<std::mutex> locker(m_lock);
    ++m_connects;
}

bool PollRuns::endOnLoss(PollRun& run, std::atomic<bool>& connected) {
    std::lock_guard<std::mutex> locker(m_lock);
    if (!run.polling) return false;
    run.polling = false;
    if (run.connection == m_connects) connected = false;
    return true;
}

std::shared_ptr<PollRun> PollRuns::add() {
    if (m_closing) return nullptr;
    for (const auto& other : m_runs) other->polling = false;
    auto run = std::make_shared<PollRun>();
    run->connection = m_connects;
    m_runs.push_back(run);
    return run;
}

std::vector<std::shared_ptr<PollRun>> PollRuns::stopAll(bool forGood) {
    std::lock_guard<std::mutex> locker(m_lock);
    m_closing = m_closing || forGood;
    for (const auto& run : m_runs) run->polling = false;
    return m_runs;
}

void PollRuns::awaitEnd(const std::vector<std::shared_ptr<PollRun>>& runs) {
    if (onOwnThread()) return;
    // A run that the pool has not begun yet is taken and run here; told to
    // stop, it ends at once. The futures never change once a run is seen.
    for (const auto& run : runs) run->future.waitForFinished();
    // Runs on their callers' threads have no future; every run says when it ended.
    std::unique_lock<std::mutex> locker(m_lock);
    m_ended.wait(locker, [&] {
        return std::all_of(runs.begin(), runs.end(), [](const auto& run) { return run->ended; });
    });
}

void PollRuns::execute(PollRun& run, const Body& body) {
    {
        const ExecutingMark mark(this);
        body(run);
    }
    std::lock_guard<std::mutex> locker(m_lock);
    run.ended = true;
    std::erase_if(m_runs, [&](const auto& each) { return each.get() == &run; });
    // Notified under the lock: a waiter that sees the run ended may free this object.
    m_ended.notify_all();
}

} // namespace kestrel
