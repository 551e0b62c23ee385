#pragma once

// The runs of one Kestrel's vendor poll. At most one run polls at a time; a
// run that was told to stop may still be inside a callback. The callbacks may
// call the object back to stop, restart or reconnect the poll, so:
// - a stop from any other thread tells every run to stop and waits until each
//   has ended, a callback in progress included;
// - a stop from one of the object's own runs (from a callback) only tells them
//   to stop, since a run cannot wait for itself: it ends when its callback
//   returns.
// Nothing here is held across a transfer or a callback.

#include <QFuture>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kestrel {

// One run. Its fields change only under the owning PollRuns' lock.
struct PollRun {
    bool polling = true; // cleared to stop it; the run reads it once per read cycle
    bool ended = false;
    std::uint64_t connection = 0; // the connects begun before it started
    QFuture<void> future;         // set before anyone else sees the run; empty for runHere
};

class PollRuns {
public:
    using Body = std::function<void(PollRun&)>;

    PollRuns() = default;
    PollRuns(const PollRuns&) = delete;
    PollRuns& operator=(const PollRuns&) = delete;

    // A new run replaces every other (they are told to stop, not awaited), on
    // the global thread pool or on the calling thread until it ends. Neither
    // starts anything once close has begun.
    void start(Body body);
    void runHere(const Body& body);

    void stop() { awaitEnd(stopAll(false)); }
    // Stops for good: what a callback starts from now on is refused.
    void close() { awaitEnd(stopAll(true)); }

    // Whether the calling thread is executing one of these runs: it is inside
    // one of their callbacks.
    bool onOwnThread() const;

    // A run goes on while nobody told it to stop.
    bool keepPolling(const PollRun& run) const;
    // Counts a connect that begins; a run clears `connected` only for the
    // connection it was started under, never for one made after it started.
    void noteConnect();
    // The run saw its interface go: it stops and clears `connected` (see
    // noteConnect) before the caller tells anybody, so that a connect made
    // from the lost callback or on another thread stands. False when the run
    // had already been told to stop: a stopped run reports nothing.
    bool endOnLoss(PollRun& run, std::atomic<bool>& connected);

private:
    std::shared_ptr<PollRun> add();
    std::vector<std::shared_ptr<PollRun>> stopAll(bool forGood);
    void awaitEnd(const std::vector<std::shared_ptr<PollRun>>& runs);
    void execute(PollRun& run, const Body& body);

    mutable std::mutex m_lock;
    std::condition_variable m_ended;
    std::vector<std::shared_ptr<PollRun>> m_runs; // not yet ended
    std::uint64_t m_connects = 0;
    bool m_closing = false;
};

} // namespace kestrel
