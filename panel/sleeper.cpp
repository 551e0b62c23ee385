#include "panel/sleeper.h"

#include <QThread>

namespace panel {

void ThreadSleeper::sleepMs(unsigned ms) {
    if (ms == 0)
        QThread::yieldCurrentThread();
    else
        QThread::msleep(ms);
}

} // namespace panel
