#pragma once

// The panel's pauses go through this interface so that tests step time
// instead of waiting.

namespace panel {

class ISleeper {
public:
    virtual ~ISleeper() = default;
    // 0 yields the thread.
    virtual void sleepMs(unsigned ms) = 0;
};

// Sleeps the calling thread.
class ThreadSleeper final : public ISleeper {
public:
    void sleepMs(unsigned ms) override;
};

} // namespace panel
